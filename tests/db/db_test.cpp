// The data-aware views over a real SQLite database, and the design-time plug-in.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "corvex/db/CXDBView.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/package/designer.h"
#include "corvex/package/package.h"
#include "corvex/platform/graphics/bitmap.h"
#include "tests/common/testing.h"

namespace corvex {
namespace {

using namespace testing_support;

std::string Sample(const std::string& Name) { return std::string(CORVEX_SOURCE_DIR) + "/samples/" + Name; }

// A database with two images (the test card as PNG, its bilevel version as PNG) and an empty
// layer column.
std::string MakeDatabase() {
  const std::string Path = TempPath("images.sqlite");
  std::remove(Path.c_str());
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(Path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE images(name TEXT, picture BLOB, layer BLOB)", nullptr, nullptr, nullptr), SQLITE_OK);
  for (const char* name : {"testcard.png", "testcard-1bit.png"}) {
    const std::vector<uint8_t> bytes = ReadFileBytes(Sample(name));
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO images(name, picture) VALUES (?, ?)", -1, &s, nullptr);
    sqlite3_bind_text(s, 1, name, -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 2, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return Path;
}

std::vector<uint8_t> Decoded(const std::string& File) {
  TBitmap b;
  TCorvexIO io;
  io.SetAttachedBitmap(&b);
  io.LoadFromFile(File);
  return RgbBytes(b);
}

// The view follows the record; an edited image goes back into the database (as PNG, so the
// pixels come back unchanged through a fresh connection); the vector view keeps its layer in
// another column of the same record.
TEST(DBViews, ImagesAndLayersRoundTripThroughSQLite) {
  const std::string Path = MakeDatabase();
  TCXSQLiteDataSet Set;
  Set.Open(Path, "images");
  ASSERT_EQ(Set.GetRecordCount(), 2);
  TDataSource Source;
  Source.SetDataSet(&Set);
  TCorvexDBView View(nullptr);
  View.SetDataSource(&Source);
  View.SetDataField("picture");
  EXPECT_TRUE(RgbBytes(*View.GetBitmap()) == Decoded(Sample("testcard.png")));
  Set.Next();
  EXPECT_TRUE(RgbBytes(*View.GetBitmap()) == Decoded(Sample("testcard-1bit.png")));

  // Edit the second image: a black band over its top rows, then the view's change notice.
  Set.First();
  TBitmap* B = View.GetBitmap();
  for (int y = 0; y < 10; ++y) std::fill_n(B->ScanLine(y), size_t(B->GetWidth()) * 3, uint8_t{0});
  View.ImageChange();
  const std::vector<uint8_t> Edited = RgbBytes(*B);

  TCorvexDBVect Vect(nullptr);
  Vect.SetDataSource(&Source);
  Vect.SetDataField("layer");
  EXPECT_EQ(Vect.GetObjectsCount(), 0);
  Vect.AddNewObject();
  Vect.SetObjKind(-2, cxkBOX);
  Vect.SetObjRect(-2, Rect(10, 10, 100, 80));
  ASSERT_TRUE(Vect.UpdateRecord());
  Set.Close();

  TCXSQLiteDataSet Again;
  Again.Open(Path, "images");
  TDataSource Source2;
  Source2.SetDataSet(&Again);
  TCorvexDBView View2(nullptr);
  View2.SetDataSource(&Source2);
  View2.SetDataField("picture");
  EXPECT_TRUE(RgbBytes(*View2.GetBitmap()) == Edited);
  EXPECT_EQ(Again.FieldByName("name")->AsString(), "testcard.png");
  TCorvexDBVect Vect2(nullptr);
  Vect2.SetDataSource(&Source2);
  Vect2.SetDataField("layer");
  EXPECT_EQ(Vect2.GetObjectsCount(), 1);
  Again.Next();  // a record without a layer clears the view
  EXPECT_EQ(Vect2.GetObjectsCount(), 0);

  // Appending a record through the view.
  Again.Append();
  View2.GetBitmap()->Allocate(7, 5, pf24bit);
  View2.ImageChange();
  EXPECT_EQ(Again.GetRecordCount(), 3);
  EXPECT_THROW(Again.Open(Path, "no_such_table"), EDatabaseError);
}

TEST(DBPlugin, RegisterMakesTheTwoRegistrationsOnCorvex) {
  DesignerRegistry().Clear();
  void* Lib = dlopen(CORVEX_DBREG, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(Lib, nullptr) << dlerror();
  auto Register = reinterpret_cast<void (*)()>(dlsym(Lib, "Register"));
  auto Info = reinterpret_cast<const TPackageInfo* (*)()>(dlsym(Lib, "GetPackageInfoTable"));
  ASSERT_NE(Register, nullptr);
  ASSERT_NE(Info, nullptr);
  EXPECT_STREQ(Info()->Description, "Corvex DB Controls");
  ASSERT_EQ(Info()->Requires.size(), 3u);
  EXPECT_STREQ(Info()->Requires[1], "corvexdb");
  Register();
  const auto& E = DesignerRegistry().Entries();
  ASSERT_EQ(E.size(), 2u);
  EXPECT_EQ(E[0].Class.ClassName, "TCorvexDBView");
  EXPECT_EQ(E[1].Class.ClassName, "TCorvexDBVect");
  EXPECT_EQ(E[0].Page, "Corvex");
  EXPECT_EQ(E[1].Page, "Corvex");
  EXPECT_EQ(E[1].PaletteBitmap->GetWidth(), 24);
  TComponent Owner(nullptr);
  EXPECT_NE(dynamic_cast<TCorvexDBVect*>(DesignerRegistry().Create("TCorvexDBVect", &Owner)), nullptr);
  DesignerRegistry().Clear();  // the factories live in the plug-in
  // The plug-in needs the data-aware package: the loader refuses it without libcorvexdb.
  std::string out;
  if (RunCommand(std::string("readelf -d ") + CORVEX_DBREG, &out) == 0) {
    EXPECT_NE(out.find("[libcorvexdb.so"), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace corvex
