#include "corvex/db/DBData.h"

#include <sqlite3.h>

#include <algorithm>

namespace corvex {

namespace {

// Table and column names go into statements quoted, with quotes doubled.
std::string Quote(const std::string& Name) {
  std::string q = "\"";
  for (char c : Name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

struct Stmt {
  sqlite3_stmt* S = nullptr;
  ~Stmt() { sqlite3_finalize(S); }
};

}  // namespace

void TField::SetBytes(const std::vector<uint8_t>& Value) {
  if (Owner_ == nullptr || (Owner_->State_ != dsEdit && Owner_->State_ != dsInsert))
    throw EDatabaseError("Dataset not in edit or insert mode");
  Value_ = Value;
  Null_ = false;
  Owner_->Changed(false);
}

void TField::Clear() {
  if (Owner_ == nullptr || (Owner_->State_ != dsEdit && Owner_->State_ != dsInsert))
    throw EDatabaseError("Dataset not in edit or insert mode");
  Value_.clear();
  Null_ = true;
  Owner_->Changed(false);
}

TCXSQLiteDataSet::TCXSQLiteDataSet(TComponent* AOwner) : TComponent(AOwner) {}

TCXSQLiteDataSet::~TCXSQLiteDataSet() {
  for (TDataSource* s : Sources_) s->DataSet_ = nullptr;
  Close();
}

void TCXSQLiteDataSet::Fail(const std::string& What) {
  throw EDatabaseError(What + ": " + (Db_ != nullptr ? sqlite3_errmsg(Db_) : "no database"));
}

void TCXSQLiteDataSet::Open(const std::string& DatabaseFile, const std::string& Table) {
  Close();
  if (sqlite3_open(DatabaseFile.c_str(), &Db_) != SQLITE_OK) {
    const std::string msg = Db_ != nullptr ? sqlite3_errmsg(Db_) : "out of memory";
    sqlite3_close_v2(Db_);
    Db_ = nullptr;
    throw EDatabaseError(DatabaseFile + ": " + msg);
  }
  Table_ = Table;
  Stmt info;
  if (sqlite3_prepare_v2(Db_, ("PRAGMA table_info(" + Quote(Table) + ")").c_str(), -1, &info.S, nullptr) != SQLITE_OK)
    Fail(Table);
  while (sqlite3_step(info.S) == SQLITE_ROW) {
    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(info.S, 1));
    std::string type = reinterpret_cast<const char*>(sqlite3_column_text(info.S, 2) ? sqlite3_column_text(info.S, 2) : reinterpret_cast<const unsigned char*>(""));
    std::transform(type.begin(), type.end(), type.begin(), ::toupper);
    Fields_.push_back(std::make_unique<TField>(name != nullptr ? name : "", type.find("BLOB") != std::string::npos || type.empty()));
    Fields_.back()->Owner_ = this;
  }
  if (Fields_.empty()) {
    sqlite3_close_v2(Db_);
    Db_ = nullptr;
    throw EDatabaseError(Table + ": no such table");
  }
  Stmt rows;
  if (sqlite3_prepare_v2(Db_, ("SELECT rowid FROM " + Quote(Table) + " ORDER BY rowid").c_str(), -1, &rows.S, nullptr) != SQLITE_OK)
    Fail(Table);
  while (sqlite3_step(rows.S) == SQLITE_ROW) RowIds_.push_back(sqlite3_column_int64(rows.S, 0));
  State_ = dsBrowse;
  RecNo_ = RowIds_.empty() ? -1 : 0;
  LoadRecord();
  Changed(true);
}

void TCXSQLiteDataSet::Close() {
  if (Db_ != nullptr) sqlite3_close_v2(Db_);
  Db_ = nullptr;
  Fields_.clear();
  RowIds_.clear();
  RecNo_ = -1;
  State_ = dsInactive;
}

void TCXSQLiteDataSet::LoadRecord() {
  for (auto& f : Fields_) {
    f->Value_.clear();
    f->Null_ = true;
  }
  if (RecNo_ < 0 || RecNo_ >= GetRecordCount()) return;
  Stmt q;
  if (sqlite3_prepare_v2(Db_, ("SELECT * FROM " + Quote(Table_) + " WHERE rowid = ?").c_str(), -1, &q.S, nullptr) != SQLITE_OK)
    Fail(Table_);
  sqlite3_bind_int64(q.S, 1, RowIds_[static_cast<size_t>(RecNo_)]);
  if (sqlite3_step(q.S) != SQLITE_ROW) return;
  const int n = std::min<int>(sqlite3_column_count(q.S), static_cast<int>(Fields_.size()));
  for (int i = 0; i < n; ++i) {
    TField& f = *Fields_[static_cast<size_t>(i)];
    if (sqlite3_column_type(q.S, i) == SQLITE_NULL) continue;
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(q.S, i));
    const int len = sqlite3_column_bytes(q.S, i);
    f.Value_.assign(p, p + len);
    f.Null_ = false;
  }
}

void TCXSQLiteDataSet::MoveTo(int RecNo) {
  if (State_ == dsInactive || RowIds_.empty()) return;
  if (State_ == dsEdit || State_ == dsInsert) Post();
  RecNo = std::clamp(RecNo, 0, GetRecordCount() - 1);
  if (RecNo == RecNo_) return;
  RecNo_ = RecNo;
  LoadRecord();
  Changed(true);
}

TField* TCXSQLiteDataSet::FieldByName(const std::string& Name) {
  for (auto& f : Fields_)
    if (f->GetFieldName() == Name) return f.get();
  return nullptr;
}

void TCXSQLiteDataSet::Edit() {
  if (State_ == dsInactive) throw EDatabaseError("Cannot perform this operation on a closed dataset");
  if (State_ == dsBrowse && RecNo_ < 0) {
    Append();
    return;
  }
  if (State_ == dsBrowse) State_ = dsEdit;
}

void TCXSQLiteDataSet::Append() {
  if (State_ == dsInactive) throw EDatabaseError("Cannot perform this operation on a closed dataset");
  if (State_ == dsEdit || State_ == dsInsert) Post();
  for (auto& f : Fields_) {
    f->Value_.clear();
    f->Null_ = true;
  }
  State_ = dsInsert;
  Changed(true);
}

void TCXSQLiteDataSet::Post() {
  if (State_ != dsEdit && State_ != dsInsert) return;
  std::string sql;
  if (State_ == dsEdit) {
    sql = "UPDATE " + Quote(Table_) + " SET ";
    for (size_t i = 0; i < Fields_.size(); ++i) sql += (i ? ", " : "") + Quote(Fields_[i]->GetFieldName()) + " = ?";
    sql += " WHERE rowid = ?";
  } else {
    sql = "INSERT INTO " + Quote(Table_) + " (";
    for (size_t i = 0; i < Fields_.size(); ++i) sql += (i ? ", " : "") + Quote(Fields_[i]->GetFieldName());
    sql += ") VALUES (";
    for (size_t i = 0; i < Fields_.size(); ++i) sql += i ? ", ?" : "?";
    sql += ")";
  }
  Stmt q;
  if (sqlite3_prepare_v2(Db_, sql.c_str(), -1, &q.S, nullptr) != SQLITE_OK) Fail("Post");
  for (size_t i = 0; i < Fields_.size(); ++i) {
    const TField& f = *Fields_[i];
    const int at = static_cast<int>(i) + 1;
    if (f.Null_) sqlite3_bind_null(q.S, at);
    else if (f.Blob_) sqlite3_bind_blob(q.S, at, f.Value_.data(), static_cast<int>(f.Value_.size()), SQLITE_TRANSIENT);
    else sqlite3_bind_text(q.S, at, reinterpret_cast<const char*>(f.Value_.data()), static_cast<int>(f.Value_.size()), SQLITE_TRANSIENT);
  }
  if (State_ == dsEdit) sqlite3_bind_int64(q.S, static_cast<int>(Fields_.size()) + 1, RowIds_[static_cast<size_t>(RecNo_)]);
  if (sqlite3_step(q.S) != SQLITE_DONE) Fail("Post");
  if (State_ == dsInsert) {
    RowIds_.push_back(sqlite3_last_insert_rowid(Db_));
    RecNo_ = GetRecordCount() - 1;
  }
  State_ = dsBrowse;
}

void TCXSQLiteDataSet::Cancel() {
  if (State_ != dsEdit && State_ != dsInsert) return;
  State_ = dsBrowse;
  LoadRecord();
  Changed(true);
}

void TCXSQLiteDataSet::ExecSQL(const std::string& Sql) {
  char* err = nullptr;
  if (sqlite3_exec(Db_, Sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err != nullptr ? err : "error";
    sqlite3_free(err);
    throw EDatabaseError(msg);
  }
}

void TCXSQLiteDataSet::Changed(bool RecordMoved) {
  const std::vector<TDataSource*> sources = Sources_;
  for (TDataSource* s : sources) s->Notify(RecordMoved);
}

TDataSource::~TDataSource() { SetDataSet(nullptr); }

void TDataSource::SetDataSet(TCXSQLiteDataSet* Value) {
  if (DataSet_ == Value) return;
  if (DataSet_ != nullptr) DataSet_->Sources_.erase(std::remove(DataSet_->Sources_.begin(), DataSet_->Sources_.end(), this), DataSet_->Sources_.end());
  DataSet_ = Value;
  if (DataSet_ != nullptr) DataSet_->Sources_.push_back(this);
  Notify(true);
}

void TDataSource::AddLink(TObject* Link, TEvent<void(TDataSource*, bool)> Handler) { Links_.emplace_back(Link, Handler); }

void TDataSource::RemoveLink(TObject* Link) {
  Links_.erase(std::remove_if(Links_.begin(), Links_.end(), [&](const auto& l) { return l.first == Link; }), Links_.end());
}

void TDataSource::Notify(bool RecordMoved) {
  const auto links = Links_;
  for (const auto& l : links)
    if (l.second) l.second(this, RecordMoved);
  if (OnDataChange) OnDataChange(this, RecordMoved);
}

}  // namespace corvex
