#include "corvex/db/CXDBView.h"

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/streams/streams.h"

namespace corvex {

namespace {

TField* BoundField(TDataSource* Source, const std::string& Name) {
  if (Source == nullptr || Source->GetDataSet() == nullptr || !Source->GetDataSet()->GetActive()) return nullptr;
  return Source->GetDataSet()->FieldByName(Name);
}

// Puts Bytes into the field of the current record and posts it.
bool WriteField(TDataSource* Source, const std::string& Name, TMemoryStream& Bytes) {
  TField* f = BoundField(Source, Name);
  if (f == nullptr) return false;
  TCXSQLiteDataSet* ds = Source->GetDataSet();
  ds->Edit();
  f->SetBytes(std::vector<uint8_t>(Bytes.Memory(), Bytes.Memory() + Bytes.GetSize()));
  ds->Post();
  return true;
}

}  // namespace

// ---- TCorvexDBView ------------------------------------------------------------------------------

TCorvexDBView::TCorvexDBView(TComponent* AOwner) : TCorvexView(AOwner) {}

TCorvexDBView::~TCorvexDBView() { SetDataSource(nullptr); }

void TCorvexDBView::SetDataSource(TDataSource* Value) {
  if (Source_ == Value) return;
  if (Source_ != nullptr) {
    Source_->RemoveLink(this);
    Source_->RemoveFreeNotification(this);
  }
  Source_ = Value;
  if (Source_ != nullptr) {
    Source_->AddLink(this, TEvent<void(TDataSource*, bool)>(this, &TCorvexDBView::DataChange));
    Source_->FreeNotification(this);
  }
  LoadField();
}

void TCorvexDBView::SetDataField(const std::string& Value) {
  FieldName_ = Value;
  LoadField();
}

void TCorvexDBView::Notification(TComponent* AComponent, TOperation Operation) {
  TCorvexView::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == Source_) Source_ = nullptr;
}

void TCorvexDBView::DataChange(TDataSource*, bool) {
  if (!Busy_) LoadField();
}

void TCorvexDBView::LoadField() {
  Busy_ = true;
  TField* f = BoundField(Source_, FieldName_);
  TCorvexIO io;
  io.SetAttachedBitmap(GetBitmap());
  if (f != nullptr && !f->IsNull() && !f->AsBytes().empty()) {
    TMemoryStream m;
    m.Write(f->AsBytes().data(), static_cast<int64_t>(f->AsBytes().size()));
    m.SetPosition(0);
    io.LoadFromStream(&m);
    if (io.GetAborting()) GetBitmap()->Allocate(1, 1, pf24bit);
  } else {
    GetBitmap()->Allocate(1, 1, pf24bit);
  }
  Update();
  Busy_ = false;
}

bool TCorvexDBView::UpdateRecord() {
  if (BoundField(Source_, FieldName_) == nullptr) return false;
  Busy_ = true;
  TMemoryStream m;
  TCorvexIO io;
  io.SetAttachedBitmap(GetBitmap());
  io.SaveToStreamPNG(&m);
  bool ok = false;
  try {
    ok = WriteField(Source_, FieldName_, m);
  } catch (...) {
    Busy_ = false;
    throw;
  }
  Busy_ = false;
  return ok;
}

void TCorvexDBView::ImageChange() {
  TCorvexView::ImageChange();
  if (!Busy_) UpdateRecord();
}

// ---- TCorvexDBVect ------------------------------------------------------------------------------

TCorvexDBVect::TCorvexDBVect(TComponent* AOwner) : TCorvexVect(AOwner) {
  OnVectorialChanged = TNotifyEvent(this, &TCorvexDBVect::ObjectsChanged);
}

TCorvexDBVect::~TCorvexDBVect() { SetDataSource(nullptr); }

void TCorvexDBVect::SetDataSource(TDataSource* Value) {
  if (Source_ == Value) return;
  if (Source_ != nullptr) {
    Source_->RemoveLink(this);
    Source_->RemoveFreeNotification(this);
  }
  Source_ = Value;
  if (Source_ != nullptr) {
    Source_->AddLink(this, TEvent<void(TDataSource*, bool)>(this, &TCorvexDBVect::DataChange));
    Source_->FreeNotification(this);
  }
  LoadField();
}

void TCorvexDBVect::SetDataField(const std::string& Value) {
  FieldName_ = Value;
  LoadField();
}

void TCorvexDBVect::Notification(TComponent* AComponent, TOperation Operation) {
  TCorvexVect::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == Source_) Source_ = nullptr;
}

void TCorvexDBVect::DataChange(TDataSource*, bool) {
  if (!Busy_) LoadField();
}

void TCorvexDBVect::LoadField() {
  Busy_ = true;
  TField* f = BoundField(Source_, FieldName_);
  RemoveAllObjects();
  if (f != nullptr && !f->IsNull() && !f->AsBytes().empty()) {
    TMemoryStream m;
    m.Write(f->AsBytes().data(), static_cast<int64_t>(f->AsBytes().size()));
    m.SetPosition(0);
    LoadFromStreamCXV(&m);
  }
  Update();
  Busy_ = false;
}

bool TCorvexDBVect::UpdateRecord() {
  if (BoundField(Source_, FieldName_) == nullptr) return false;
  Busy_ = true;
  TMemoryStream m;
  SaveToStreamCXV(&m);
  bool ok = false;
  try {
    ok = WriteField(Source_, FieldName_, m);
  } catch (...) {
    Busy_ = false;
    throw;
  }
  Busy_ = false;
  return ok;
}

void TCorvexDBVect::ObjectsChanged(TObject*) {
  if (!Busy_) UpdateRecord();
}

}  // namespace corvex
