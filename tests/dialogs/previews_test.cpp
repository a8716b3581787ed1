// The processing preview dialog, driven through TCorvexProc::DoPreviews with keys and clicks while
// it runs, and directly as a shown form.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <functional>

#include "corvex/core/utils.h"
#include "corvex/dialogs/FileDialogs.h"
#include "corvex/dialogs/Previews.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/Corvex.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::TempPath;
using testing_support::UiHarness;

// Steps run one per idle turn of the modal loops (nested ones included); when they run out the
// loop ends (Cancel).
struct Script : TObject, testing_support::ModalSteps {
  TfPreviews* form = nullptr;
  void Shown(TObject*, TForm* f) { form = dynamic_cast<TfPreviews*>(f); }
};

// A 24-bit image with detail in every channel: gradients, a bright block and a dark stripe.
void Pattern(TBitmap& b, int W, int H) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(W, H);
  for (int y = 0; y < H; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < W; ++x, p += 3) {
      const bool block = x > W / 3 && x < W / 2 && y > H / 4 && y < H / 2;
      p[0] = uint8_t(block ? 240 : (x * 5 + y) & 0xFF);
      p[1] = uint8_t(block ? 230 : (y * 7) & 0xFF);
      p[2] = uint8_t(x % 9 == 0 ? 10 : (x * 3 + y * 2) & 0xFF);
    }
  }
}

bool SamePixels(const TBitmap* a, const TBitmap* b) {
  if (a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight()) return false;
  for (int y = 0; y < a->GetHeight(); ++y)
    if (std::memcmp(a->ScanLine(y), b->ScanLine(y), size_t(a->GetWidth()) * 3) != 0) return false;
  return true;
}

const uint8_t* Px(const TBitmap* b, int x, int y) { return b->ScanLine(y) + 3 * x; }

// A shown dialog on a copy of the pattern (not modal), for the tests of its own steps.
struct ShownDialog {
  TfPreviews f{nullptr};
  explicit ShownDialog(TPreviewEffects Effects = {peAll}, bool Lock = false, int W = 160, int H = 120) {
    TBitmap img;
    Pattern(img, W, H);
    f.GetSourceView()->Assign(&img);
    f.SetEffects(Effects);
    f.SetDefaultLockPreview(Lock);
    f.Show();
    Application().ProcessMessages();
  }
  ~ShownDialog() { f.Hide(); }
  const TBitmap* Result() const { return f.GetResultView()->GetBitmap(); }
};

TEST(Previews, OnlyTheLensPageWithPeLens) {
  UiHarness ui;
  TBitmap img;
  Pattern(img, 90, 60);
  TBitmap before;
  before.Assign(&img);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&img);
  Script s;
  proc.OnPreview = TCXPreviewEvent(&s, &Script::Shown);
  s.steps = {[&] {
               ASSERT_NE(s.form, nullptr);
               EXPECT_EQ(s.form->GetActiveEffect(), peLens);
               for (int e = peContrast; e <= peFFT; ++e)
                 EXPECT_EQ(s.form->GetPage(TPreviewEffectsItem(e))->GetTabVisible(), e == peLens) << e;
               // Reset from the source: the centre and half the longer side.
               EXPECT_EQ(s.form->LensLeft->GetValue(), 45);
               EXPECT_EQ(s.form->LensTop->GetValue(), 30);
               EXPECT_EQ(s.form->LensWidth->GetValue(), 45);
               EXPECT_EQ(s.form->LensRefraction->GetValue(), 120);
             },
             [&] { ui.Key(VK_ESCAPE); }};
  EXPECT_FALSE(proc.DoPreviews({peLens}));
  EXPECT_TRUE(SamePixels(&img, &before));  // Cancel changes nothing
  EXPECT_FALSE(proc.GetCanUndo());
}

TEST(Previews, ValuesSurvivePageSwitchesAndResetOncePerShowing) {
  UiHarness ui;
  ShownDialog d;
  TfPreviews& f = d.f;
  EXPECT_EQ(f.GetActiveEffect(), peContrast);
  f.Contrast->SetValue(30);
  f.SelectPage(peLens);
  f.LensWidth->SetValue(20);
  f.SelectPage(peRGB);
  f.RgbGreen->Edit->SetValue(-40);  // typed into the number box: the track bar follows
  EXPECT_EQ(f.RgbGreen->Track->GetPosition(), -40);
  f.SelectPage(peContrast);
  EXPECT_EQ(f.Contrast->GetValue(), 30);
  f.SelectPage(peLens);
  EXPECT_EQ(f.LensWidth->GetValue(), 20);

  // "<<": the lens goes into the source, every page starts again.
  const TBitmap* src = f.GetSourceView()->GetBitmap();
  TBitmap before;
  before.Assign(src);
  ui.Click(f.CopyToSource, 5, 5);
  EXPECT_FALSE(SamePixels(src, &before));
  EXPECT_EQ(f.LensWidth->GetValue(), 80);
  f.SelectPage(peRGB);
  EXPECT_EQ(f.RgbGreen->GetValue(), 0);

  // A new showing resets too.
  f.RgbGreen->SetValue(12);
  f.Hide();
  f.Show();
  f.SelectPage(peRGB);
  EXPECT_EQ(f.RgbGreen->GetValue(), 0);
}

TEST(Previews, LockOffWaitsForPreviewLockOnPreviewsAtOnce) {
  UiHarness ui;
  ShownDialog d;
  TfPreviews& f = d.f;
  ASSERT_FALSE(f.GetLockPreview());
  EXPECT_TRUE(f.PreviewButton->GetEnabled());
  f.SelectPage(peRGB);
  TBitmap start;
  start.Assign(d.Result());  // the source as its view shows it
  ASSERT_GT(start.GetWidth(), 10);
  const int x = start.GetWidth() / 5, y = start.GetHeight() / 5;

  f.RgbRed->SetValue(60);
  EXPECT_TRUE(SamePixels(d.Result(), &start));
  ui.Click(f.PreviewButton, 10, 10);
  EXPECT_EQ(Px(d.Result(), x, y)[2], std::min(255, Px(&start, x, y)[2] + 60));
  EXPECT_EQ(Px(d.Result(), x, y)[1], Px(&start, x, y)[1]);

  // The lock: the Preview button is off and every change shows at once, from the same start.
  ui.Click(f.Lock, 5, 5);
  EXPECT_TRUE(f.GetLockPreview());
  EXPECT_FALSE(f.PreviewButton->GetEnabled());
  f.RgbRed->SetValue(0);
  EXPECT_TRUE(SamePixels(d.Result(), &start));
  f.RgbBlue->Track->SetFocus();
  ui.Key(VK_HOME);  // -255: no blue left
  EXPECT_EQ(Px(d.Result(), x, y)[0], 0);
  EXPECT_EQ(Px(d.Result(), x, y)[2], Px(&start, x, y)[2]);

  // A page change shows the new page's effect at once (the lens of its reset parameters).
  f.SelectPage(peLens);
  EXPECT_FALSE(SamePixels(d.Result(), &start));
  // The source zoomed in: the result follows what the source shows.
  f.GetSourceView()->SetZoom(400);
  EXPECT_EQ(d.Result()->GetWidth(), f.GetSourceView()->GetDisplayWidth());
}

// OK on each page gives what the processing component's own operation gives on the whole image.
TEST(Previews, OkAtFullSizeEqualsTheOperation) {
  UiHarness ui;
  const struct {
    const char* name;
    TPreviewEffectsItem page;
    std::function<void(TfPreviews&)> set;
    std::function<void(TCorvexProc&)> direct;
  } cases[] = {
      {"rgb", peRGB, [](TfPreviews& f) { f.RgbRed->SetValue(30), f.RgbGreen->SetValue(-20), f.RgbBlue->SetValue(9); },
       [](TCorvexProc& p) { p.IntensityRGBall(30, -20, 9); }},
      {"hsv", peHSV, [](TfPreviews& f) { f.HsvHue->SetValue(40), f.HsvValue->SetValue(-10); },
       [](TCorvexProc& p) { p.HSVvar(40, 0, -10); }},
      {"hsl", peHSL, [](TfPreviews& f) { f.HslSaturation->SetValue(-30); }, [](TCorvexProc& p) { p.HSLvar(0, -30, 0); }},
      {"contrast", peContrast, [](TfPreviews& f) { f.Contrast->SetValue(25); },
       [](TCorvexProc& p) { p.Contrast(25); }},
      {"user filter", peUserFilt,
       [](TfPreviews& f) {
         f.Presets->SetItemIndex(fpBlur);
         f.Presets->OnChange(f.Presets);
       },
       [](TCorvexProc& p) { p.ApplyFilterPreset(fpBlur); }},
      {"threshold", peEqualize, [](TfPreviews& f) { f.ThresholdLow[1]->SetValue(100); },
       [](TCorvexProc& p) { p.Threshold(CreateRGB(0, 100, 0), CreateRGB(255, 255, 255), CreateRGB(0, 0, 0), CreateRGB(255, 255, 255)); }},
      {"lens", peLens,
       [](TfPreviews& f) {
         f.LensLeft->SetValue(30), f.LensTop->SetValue(20), f.LensWidth->SetValue(50), f.LensRefraction->SetValue(200);
       },
       [](TCorvexProc& p) { p.Lens(30, 20, 50, 45, 2.0); }},
      {"bump map", peBumpMap, [](TfPreviews& f) { f.BumpSource->SetValue(40); },
       [](TCorvexProc& p) { p.BumpMapping(45, 30, 45, 45, 40, CreateRGB(255, 255, 255)); }},
      {"wave", peWave, [](TfPreviews& f) { f.WaveAmplitude->SetValue(4), f.WavePhase->SetValue(90); },
       [](TCorvexProc& p) { p.Wave(4, 10, 90, false); }},
      {"morph", peMorph, [](TfPreviews& f) { f.MorphOperation->SetItemIndex(3), f.MorphWindow->SetValue(2); },
       [](TCorvexProc& p) { p.Closing(2); }},
      {"rotate", peRotate,
       [](TfPreviews& f) {
         f.RotateAngle->SetValue(30);
         f.FlipVertical->Click();
       },
       [](TCorvexProc& p) { p.Flip(fdVertical), p.Rotate(30, true); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap img, want;
    Pattern(img, 90, 60);
    want.Assign(&img);
    TCorvexProc proc, direct;
    proc.SetAttachedBitmap(&img);
    proc.SetBackground(clNavy);
    direct.SetAttachedBitmap(&want);
    direct.SetBackground(clNavy);
    c.direct(direct);
    Script s;
    proc.OnPreview = TCXPreviewEvent(&s, &Script::Shown);
    s.steps = {[&] {
                 s.form->SelectPage(c.page);
                 c.set(*s.form);
               },
               [&] { ui.Click(s.form->OkButton, 5, 5); }};
    ASSERT_TRUE(proc.DoPreviews({peAll}));
    EXPECT_TRUE(SamePixels(&img, &want));
    EXPECT_TRUE(proc.GetCanUndo());
    proc.Undo();
    TBitmap original;
    Pattern(original, 90, 60);
    EXPECT_TRUE(SamePixels(&img, &original));
  }
}

TEST(Previews, PixelsOutsideAPolygonSelectionAreUntouched) {
  UiHarness ui;
  TBitmap img, before;
  Pattern(img, 80, 60);
  before.Assign(&img);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&img);
  const TPoint tri[] = {{10, 5}, {70, 20}, {25, 55}};
  proc.SelectPolygon(tri, 3);
  Script s;
  proc.OnPreview = TCXPreviewEvent(&s, &Script::Shown);
  s.steps = {[&] {
               // The source is the polygon's bounding box.
               EXPECT_EQ(s.form->GetSourceView()->GetBitmap()->GetWidth(), 60);
               EXPECT_EQ(s.form->GetSourceView()->GetBitmap()->GetHeight(), 50);
               s.form->SelectPage(peWave);
               s.form->WaveAmplitude->SetValue(6);
             },
             [&] { ui.Key(VK_RETURN); }};
  ASSERT_TRUE(proc.DoPreviews({peWave, peRGB}));
  int changed = 0, outsideChanged = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const bool same = std::memcmp(Px(&img, x, y), Px(&before, x, y), 3) == 0;
      // Outside the triangle's box, or clearly left of its edge (10,5)-(25,55) or above its edge
      // (10,5)-(70,20).
      const bool outside = x < 10 || x >= 70 || y < 5 || y >= 55 || x < 10 + (y - 5) * 15 / 50 - 1 ||
                           y < 5 + (x - 10) * 15 / 60 - 1;
      if (outside && !same) ++outsideChanged;
      if (!same) ++changed;
    }
  EXPECT_EQ(outsideChanged, 0);
  EXPECT_GT(changed, 100);
}

// Faults of the dialog's first design, mended.
TEST(Previews, FrequencyPageOkKeepsTheImageSizeAndZonesStayInThePlane) {
  UiHarness ui;
  TBitmap img;
  Pattern(img, 150, 100);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&img);
  Script s;
  proc.OnPreview = TCXPreviewEvent(&s, &Script::Shown);
  // The whole spectrum cleared, the zone reaching every edge: a black image of the same size.
  s.steps = {[&] {
               TCorvexView* sp = s.form->GetSpectrumView();
               EXPECT_EQ(sp->GetBitmap()->GetWidth(), 128);  // the preview works on 128 pixels
               sp->Select(0, 0, 128, 128);
               ui.Click(s.form->FftClear, 5, 5);
               ui.Click(s.form->PreviewButton, 5, 5);
               EXPECT_EQ(s.form->GetResultView()->GetBitmap()->GetWidth(), s.form->GetSourceView()->GetDisplayWidth());
             },
             [&] { ui.Click(s.form->OkButton, 5, 5); }};
  ASSERT_TRUE(proc.DoPreviews({peFFT}));
  ASSERT_EQ(img.GetWidth(), 150);
  ASSERT_EQ(img.GetHeight(), 100);
  int lit = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 150; ++x) lit += Px(&img, x, y)[0] | Px(&img, x, y)[1] | Px(&img, x, y)[2];
  EXPECT_EQ(lit, 0);

  // A zone at the centre (the lowest frequencies): the full-size result differs from the
  // round trip without it, and keeps the size.
  Pattern(img, 150, 100);
  TBitmap plain;
  plain.Assign(&img);
  TCorvexProc roundTrip;
  roundTrip.SetAttachedBitmap(&plain);
  std::unique_ptr<TCXFtImage> ft(roundTrip.FTCreateImage(cxitRGB, -1, -1));
  roundTrip.FTConvertFrom(ft.get());
  s.steps = {[&] { s.form->GetSpectrumView()->Select(60, 60, 68, 68); }, [&] { ui.Key(VK_RETURN); }};
  ASSERT_TRUE(proc.DoPreviews({peFFT}));
  EXPECT_EQ(img.GetWidth(), 150);
  EXPECT_FALSE(SamePixels(&img, &plain));
}

TEST(Previews, SubRectangleKeepsTheImageSizeAndTheRestOfIt) {
  UiHarness ui;
  TBitmap img, before;
  Pattern(img, 80, 60);
  before.Assign(&img);
  TCorvexProc proc;
  proc.SetAttachedBitmap(&img);
  proc.Select(10, 12, 50, 40);
  Script s;
  proc.OnPreview = TCXPreviewEvent(&s, &Script::Shown);
  // A rotation grows the result past the rectangle: it is cut there.
  s.steps = {[&] {
               s.form->SelectPage(peRotate);
               s.form->RotateAngle->SetValue(45);
             },
             [&] { ui.Key(VK_RETURN); }};
  ASSERT_TRUE(proc.DoPreviews({peAll}));
  ASSERT_EQ(img.GetWidth(), 80);
  ASSERT_EQ(img.GetHeight(), 60);
  int outsideChanged = 0, insideChanged = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const bool same = std::memcmp(Px(&img, x, y), Px(&before, x, y), 3) == 0;
      const bool inside = x >= 10 && x < 50 && y >= 12 && y < 40;
      (inside ? insideChanged : outsideChanged) += same ? 0 : 1;
    }
  EXPECT_EQ(outsideChanged, 0);
  EXPECT_GT(insideChanged, 100);

  // A colour change lands exactly on the rectangle.
  img.Assign(&before);
  TBitmap want;
  want.Assign(&before);
  TCorvexProc direct;
  direct.SetAttachedBitmap(&want);
  direct.Select(10, 12, 50, 40);
  direct.IntensityRGBall(0, 50, 0);
  s.steps = {[&] {
               s.form->SelectPage(peRGB);
               s.form->RgbGreen->SetValue(50);
             },
             [&] { ui.Key(VK_RETURN); }};
  ASSERT_TRUE(proc.DoPreviews({peRGB}));
  EXPECT_TRUE(SamePixels(&img, &want));
}

TEST(Previews, NeutralPagesLeaveTheImageAsItWas) {
  UiHarness ui;
  // HSV at zero shifts: the integer colour model alone would move pixels.
  TBitmap probe;
  Pattern(probe, 90, 60);
  TBitmap hsvOnly;
  hsvOnly.Assign(&probe);
  _HSVvar(&hsvOnly, 0, 0, 0, 0, 0, 90, 60, nullptr, nullptr);
  EXPECT_FALSE(SamePixels(&hsvOnly, &probe));
  for (TPreviewEffectsItem page : {peContrast, peHSL, peRGB, peUserFilt, peHSV, peEqualize, peRotate}) {
    SCOPED_TRACE(int(page));
    TBitmap img;
    Pattern(img, 90, 60);
    TCorvexProc proc;
    proc.SetAttachedBitmap(&img);
    Script s;
    proc.OnPreview = TCXPreviewEvent(&s, &Script::Shown);
    s.steps = {[&] { ui.Key(VK_RETURN); }};
    ASSERT_TRUE(proc.DoPreviews({page}));
    EXPECT_TRUE(SamePixels(&img, &probe));
  }
}

TEST(Previews, FilterFilesLoadSaveAndBadHeadersAreRefused) {
  UiHarness ui;
  ShownDialog d({peUserFilt});
  TfPreviews& f = d.f;
  TGraphFilter k;
  k.Values[0][1] = -2;
  k.Values[1][1] = 9;
  k.Values[2][2] = 3;
  k.Divisor = 7;
  f.SetKernel(k);
  std::string error;
  const std::string good = TempPath("kernel.flt");
  ASSERT_TRUE(f.SaveFilter(good, error)) << error;

  // Bad header, short file, missing file: refused with a reason, the kernel kept.
  const std::string bad = TempPath("bad.flt"), shortFile = TempPath("short.flt");
  std::vector<uint8_t> bytes(43, 0);
  bytes[0] = 2, bytes[1] = 3, bytes[2] = 3;
  for (const auto& [path, data] : {std::pair{bad, bytes}, std::pair{shortFile, std::vector<uint8_t>{1, 3, 3, 5}}}) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(data.data(), 1, data.size(), out);
    std::fclose(out);
  }
  for (const std::string& path : {bad, shortFile, TempPath("missing.flt")}) {
    error.clear();
    EXPECT_FALSE(f.LoadFilter(path, error));
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_EQ(f.GetKernel().Values[1][1], 9);
    EXPECT_EQ(f.GetKernel().Divisor, 7);
  }

  // Through the Load button and our open dialog: the file typed, the kernel shown in the grid.
  f.SetKernel(TGraphFilter{});
  ASSERT_TRUE(f.Kernel[1][1]->GetValue() == 0);
  Script s;
  s.steps = {[&] {
               auto* dlg = dynamic_cast<TCXFileDialogForm*>(Screen().GetActiveForm());
               ASSERT_NE(dlg, nullptr);
               EXPECT_EQ(dlg->GetCaption(), "Load filter");
               dlg->GetFileNameEdit()->SetText(good);
               ui.Click(dlg->GetOkButton(), 5, 5);
             }};
  f.LoadButton->Click();
  EXPECT_EQ(f.Kernel[0][1]->GetValue(), -2);
  EXPECT_EQ(f.Kernel[2][2]->GetValue(), 3);
  EXPECT_EQ(f.Divisor->GetValue(), 7);
  // A bad file through the button: an error box, the kernel kept.
  s.steps = {[&] {
               auto* dlg = dynamic_cast<TCXFileDialogForm*>(Screen().GetActiveForm());
               ASSERT_NE(dlg, nullptr);
               dlg->GetFileNameEdit()->SetText(bad);
               ui.Click(dlg->GetOkButton(), 5, 5);
             },
             [&] {
               ASSERT_NE(Screen().GetActiveForm(), nullptr);
               EXPECT_EQ(Screen().GetActiveForm()->GetCaption(), "Error");
               ui.Key(VK_RETURN);
             }};
  f.LoadButton->Click();
  EXPECT_EQ(f.Divisor->GetValue(), 7);
  std::remove(good.c_str());
  std::remove(bad.c_str());
  std::remove(shortFile.c_str());
}

}  // namespace
}  // namespace corvex
