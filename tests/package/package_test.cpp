// The package table and its shared unit counters, and the designer registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvex/package/designer.h"
#include "corvex/package/package.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/component.h"
#include "corvex/platform/ui/cursors.h"

namespace corvex {
namespace {

std::vector<std::string> gLog;

// Two packages that share the unit "shared": it starts with the first package loaded and ends
// with the last one unloaded, whatever the order; each package's own units run in table order
// and end in reverse.
TEST(Package, SharedUnitsStartOnceAndEndOnce) {
  gLog.clear();
  auto unit = [](const char* name) {
    return TPackageUnit{name, nullptr, nullptr};
  };
  TPackageUnit a = unit("pkgtest.a"), shared = unit("pkgtest.shared"), b = unit("pkgtest.b");
  a.Initialization = [] { gLog.push_back("+a"); };
  a.Finalization = [] { gLog.push_back("-a"); };
  shared.Initialization = [] { gLog.push_back("+shared"); };
  shared.Finalization = [] { gLog.push_back("-shared"); };
  b.Initialization = [] { gLog.push_back("+b"); };
  b.Finalization = [] { gLog.push_back("-b"); };
  const TPackageInfo one{"one", "One", {}, {a, shared}};
  const TPackageInfo two{"two", "Two", {"one"}, {shared, b}};
  EXPECT_EQ(InitializePackage(one), 2);
  EXPECT_EQ(InitializePackage(two), 1);
  EXPECT_EQ(UnitCounter("pkgtest.shared"), -2);
  EXPECT_EQ(FinalizePackage(one), 1);  // the shared unit is still held by the other package
  EXPECT_EQ(UnitCounter("pkgtest.shared"), -1);
  EXPECT_EQ(FinalizePackage(two), 2);
  EXPECT_EQ(FinalizePackage(two), 0);  // ending again does nothing
  EXPECT_EQ(UnitCounter("pkgtest.shared"), 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"+a", "+shared", "+b", "-a", "-b", "-shared"}));
}

TEST(Package, RuntimePackageTable) {
  const TPackageInfo* p = GetPackageInfoTable();
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p->Description, "Corvex Controls");
  ASSERT_EQ(p->Units.size(), 35u);
  EXPECT_STREQ(p->Units.front().Name, "corvexctrl");
  EXPECT_STREQ(p->Units[11].Name, "CorvexView");
  EXPECT_STREQ(p->Units.back().Name, "CXGradientBar");
  Initialize();
  EXPECT_TRUE(CursorTable().Contains(crCXZoomOut));  // the view's unit installs the cursors
  EXPECT_EQ(UnitCounter("CorvexView"), -1);
  Finalize();
  EXPECT_EQ(UnitCounter("CorvexView"), 0);
  // Without a language module beside it, the library is its own resource module.
  const std::string self = PackageResourceModule(reinterpret_cast<const void*>(&GetPackageInfoTable));
  EXPECT_NE(self.find("libcorvexctrl.so"), std::string::npos) << self;
}

TEST(Designer, RegisterComponentsInOrderOnPages) {
  TDesignerRegistry r;
  auto cls = [](const char* name) {
    return TComponentClass{name, [](TComponent* Owner) { return new TComponent(Owner); }, nullptr};
  };
  TComponentClass drawn = cls("TDrawn");
  drawn.DrawPaletteBitmap = [](TBitmap& b) { b.ScanLine(0)[0] = 7; };
  r.RegisterComponents("Corvex", {cls("TOne")});
  r.RegisterComponents("Other", {drawn});
  r.RegisterComponents("Corvex", {cls("TTwo")});
  ASSERT_EQ(r.Entries().size(), 3u);
  EXPECT_EQ(r.Entries()[2].Class.ClassName, "TTwo");
  EXPECT_EQ(r.Pages(), (std::vector<std::string>{"Corvex", "Other"}));
  const auto* e = r.Find("TDrawn");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->PaletteBitmap->GetWidth(), 24);
  EXPECT_EQ(e->PaletteBitmap->ScanLine(0)[0], 7);
  TComponent owner(nullptr);
  EXPECT_NE(r.Create("TOne", &owner), nullptr);
  EXPECT_EQ(r.Create("TNone", &owner), nullptr);
}

}  // namespace
}  // namespace corvex
