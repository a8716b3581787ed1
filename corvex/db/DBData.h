// The data side of the data-aware views: a table of records whose fields hold values (images and
// vector layers in blob fields), a data set over an SQLite table, and the data source that
// links views to a data set and tells them when the record or its data change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/component.h"
#include "corvex/platform/events.h"
#include "corvex/platform/object.h"

struct sqlite3;

namespace corvex {

class TDataSource;

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// One column of the current record; blob and text values are bytes.
class TField {
 public:
  TField(std::string Name, bool Blob) : Name_(std::move(Name)), Blob_(Blob) {}
  const std::string& GetFieldName() const { return Name_; }
  bool IsBlob() const { return Blob_; }
  bool IsNull() const { return Null_; }
  const std::vector<uint8_t>& AsBytes() const { return Value_; }
  std::string AsString() const { return std::string(Value_.begin(), Value_.end()); }
  // Changes the value of the record being edited (the data set must be in edit or insert state).
  void SetBytes(const std::vector<uint8_t>& Value);
  void Clear();

 private:
  friend class TCXSQLiteDataSet;
  std::string Name_;
  bool Blob_;
  bool Null_ = true;
  std::vector<uint8_t> Value_;
  class TCXSQLiteDataSet* Owner_ = nullptr;
};

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// The records of one SQLite table, in rowid order, one at a time. Edit or Append, change fields,
// Post writes the record (UPDATE or INSERT); Cancel drops the changes. Errors of the database
// raise EDatabaseError with SQLite's message.
class TCXSQLiteDataSet : public TComponent {
 public:
  explicit TCXSQLiteDataSet(TComponent* AOwner = nullptr);
  ~TCXSQLiteDataSet() override;

  // Opens Table of the database file (created when missing). The table must exist.
  void Open(const std::string& DatabaseFile, const std::string& Table);
  void Close();
  bool GetActive() const { return State_ != dsInactive; }
  TDataSetState GetState() const { return State_; }

  int GetRecordCount() const { return static_cast<int>(RowIds_.size()); }
  int GetRecNo() const { return RecNo_; }  // 0-based; -1 when empty
  void First() { MoveTo(0); }
  void Next() { MoveTo(RecNo_ + 1); }
  void Prior() { MoveTo(RecNo_ - 1); }
  void MoveTo(int RecNo);
  bool Eof() const { return RecNo_ >= GetRecordCount() - 1; }

  TField* FieldByName(const std::string& Name);
  const std::vector<std::unique_ptr<TField>>& Fields() const { return Fields_; }

  void Edit();
  void Append();
  void Post();
  void Cancel();

  // Runs a statement that returns nothing (creating a table, for instance).
  void ExecSQL(const std::string& Sql);
  sqlite3* Handle() const { return Db_; }

 private:
  friend class TField;
  friend class TDataSource;
  void LoadRecord();
  void Changed(bool RecordMoved);
  void Fail(const std::string& What);

  sqlite3* Db_ = nullptr;
  std::string Table_;
  TDataSetState State_ = dsInactive;
  std::vector<int64_t> RowIds_;
  int RecNo_ = -1;
  std::vector<std::unique_ptr<TField>> Fields_;
  std::vector<TDataSource*> Sources_;
};

// Links data-aware controls to a data set.
class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  ~TDataSource() override;
  TCXSQLiteDataSet* GetDataSet() const { return DataSet_; }
  void SetDataSet(TCXSQLiteDataSet* Value);
  // Called when the record moves (RecordMoved) or a field of it changes.
  TEvent<void(TDataSource* Sender, bool RecordMoved)> OnDataChange;

  // The controls that follow this source (they add and remove themselves).
  void AddLink(TObject* Link, TEvent<void(TDataSource*, bool)> Handler);
  void RemoveLink(TObject* Link);

 private:
  friend class TCXSQLiteDataSet;
  void Notify(bool RecordMoved);
  TCXSQLiteDataSet* DataSet_ = nullptr;
  std::vector<std::pair<TObject*, TEvent<void(TDataSource*, bool)>>> Links_;
};

}  // namespace corvex
