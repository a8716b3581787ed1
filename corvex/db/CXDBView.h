// TCorvexDBView and TCorvexDBVect: the image view and the vector view bound to a blob field of a
// data source. When the record moves (or its field changes from elsewhere) the view loads the
// field: an image file of any format the library reads into TCorvexDBView, a CXV layer into
// TCorvexDBVect; an empty field clears the view. When the view's content is edited (the image
// changed, the objects changed) the view writes it back into the field, as PNG or as CXV, and
// posts the record; UpdateRecord does the same on demand.
#pragma once

#include <string>

#include "corvex/db/DBData.h"
#include "corvex/view/CXVect.h"
#include "corvex/view/CorvexView.h"

namespace corvex {

class TCorvexDBView : public TCorvexView {
 public:
  explicit TCorvexDBView(TComponent* AOwner);
  ~TCorvexDBView() override;
  TDataSource* GetDataSource() const { return Source_; }
  void SetDataSource(TDataSource* Value);
  const std::string& GetDataField() const { return FieldName_; }
  void SetDataField(const std::string& Value);
  // Writes the image into the field (PNG) and posts; false without a field.
  bool UpdateRecord();
  void ImageChange() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void DataChange(TDataSource* Sender, bool RecordMoved);
  void LoadField();
  TDataSource* Source_ = nullptr;
  std::string FieldName_;
  bool Busy_ = false;
};

class TCorvexDBVect : public TCorvexVect {
 public:
  explicit TCorvexDBVect(TComponent* AOwner);
  ~TCorvexDBVect() override;
  TDataSource* GetDataSource() const { return Source_; }
  void SetDataSource(TDataSource* Value);
  const std::string& GetDataField() const { return FieldName_; }
  void SetDataField(const std::string& Value);
  // Writes the objects into the field (CXV) and posts; false without a field.
  bool UpdateRecord();
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void DataChange(TDataSource* Sender, bool RecordMoved);
  void ObjectsChanged(TObject* Sender);
  void LoadField();
  TDataSource* Source_ = nullptr;
  std::string FieldName_;
  bool Busy_ = false;
};

}  // namespace corvex
