// The open and save dialogs without a host: their own form driven with input events on a
// temporary folder of images written by the library's own writers, and the preview pane.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "corvex/dialogs/FileDialogs.h"
#include "corvex/dialogs/PreviewPane.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/lzw/lzw.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/CorvexView.h"
#include "tests/common/testing.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;
using testing_support::UiHarness;

void Fill(TBitmap& B, int W, int H, TRGB C) {
  B.Allocate(W, H, pf24bit);
  for (int y = 0; y < H; ++y) {
    auto* row = reinterpret_cast<TRGB*>(B.ScanLine(y));
    for (int x = 0; x < W; ++x) row[x] = C;
  }
}

void Save(TBitmap& B, const std::string& Path) {
  TCorvexIO io(nullptr);
  io.SetAttachedBitmap(&B);
  io.SaveToFile(Path);
  ASSERT_FALSE(io.GetAborting()) << Path;
}

// A two-frame animation: red for 0.3 s, then blue for 0.5 s.
void SaveAnimation(const std::string& Path) {
  TBitmap b;
  bool abort = false;
  TProgressRec pr;
  pr.Aborting = &abort;
  Fill(b, 20, 10, TRGB{0, 0, 255});
  TIOParamsVals p;
  p.GIF_DelayTime = 30;
  WriteGif(Path, &b, p, pr);
  Fill(b, 20, 10, TRGB{255, 0, 0});
  TIOParamsVals p2;
  p2.GIF_ImageIndex = 1;
  p2.GIF_DelayTime = 50;
  ASSERT_EQ(_InsertGifIm(Path, &b, p2, pr), 2);
  _GifMakeAnimate(Path, 0, 20, 10);
  ASSERT_FALSE(abort);
}

TColor PixelOf(TBitmap* B, int X, int Y) {
  const uint8_t* q = B->ScanLine(Y) + 3 * X;
  return RGBColor(q[2], q[1], q[0]);
}

// A folder of a few images, a damaged one, a text file and two subfolders.
class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CXInstallLZW();
    char tmpl[] = "/tmp/corvex-dialogs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    Dir = tmpl;
    fs::create_directories(Dir + "/sub");
    fs::create_directories(Dir + "/Attic");
    TBitmap b;
    Fill(b, 64, 48, TRGB{0, 200, 0});
    Save(b, Dir + "/photo.jpg");
    Fill(b, 32, 16, TRGB{255, 0, 0});
    Save(b, Dir + "/Banner.png");
    Fill(b, 8, 8, TRGB{255, 0, 0});
    Save(b, Dir + "/sub/inner.bmp");
    SaveAnimation(Dir + "/anim.gif");
    testing_support::WriteFileBytes(Dir + "/broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9});
    testing_support::WriteFileBytes(Dir + "/notes.txt", {'h', 'i'});
  }
  void TearDown() override {
    Application().OnIdle = nullptr;
    std::error_code ec;
    fs::permissions(Dir + "/sub", fs::perms::owner_all, ec);
    fs::remove_all(Dir, ec);
  }

  // Runs the dialog; each idle moment while its form is up runs the next step. A dialog the
  // steps do not end is cancelled by the modal loop running out of things to do.
  bool Run(TCXCommonDialog& Dialog, std::vector<std::function<void(TCXFileDialogForm*)>> Steps) {
    size_t next = 0;
    Application().OnIdle = [&] {
      TCXFileDialogForm* f = Dialog.GetForm();
      if (f == nullptr || next >= Steps.size()) return false;
      Steps[next++](f);
      return true;
    };
    const bool ok = Dialog.Execute();
    Application().OnIdle = nullptr;
    EXPECT_EQ(next, Steps.size()) << "the dialog ended before its script";
    return ok;
  }

  std::vector<std::string> Items(TCXFileDialogForm* F) { return F->GetFileList()->GetItems(); }
  void ClickItem(TCXFileDialogForm* F, const std::string& Name, bool Double = false) {
    TListBox* list = F->GetFileList();
    const int i = F->IndexOfEntry(Name);
    ASSERT_GE(i, 0) << Name;
    const TRect r = list->ItemRect(i);
    if (Double) ui.DoubleClick(list, r.Left + 4, r.Top + r.Height() / 2);
    else ui.Click(list, r.Left + 4, r.Top + r.Height() / 2);
  }
  void TypeName(TCXFileDialogForm* F, const std::u32string& Text) {
    F->GetFileNameEdit()->SetFocus();
    F->GetFileNameEdit()->SelectAll();
    ui.Type(Text);
    ui.Key(VK_RETURN);
  }
  // Chooses a filter entry with the mouse: opens the combo box's list and clicks the item.
  void ChooseFilter(TCXFileDialogForm* F, int Index) {
    TComboBox* combo = F->GetFilterCombo();
    const TRect b = combo->GetButtonRect();
    ui.Click(combo, b.Left + 2, b.Top + 2);
    TComboListPopup* popup = combo->GetListPopup();
    ASSERT_TRUE(popup->GetVisible());
    popup->MakeVisible(Index);
    const TRect r = popup->ItemRect(Index);
    ui.Click(popup, r.Left + 4, r.Top + r.Height() / 2);
  }
  // Answers the message box that is up with the given result.
  static void Answer(TModalResult Result) {
    TForm* box = Screen().GetActiveForm();
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(dynamic_cast<TCXFileDialogForm*>(box), nullptr) << "no message box is up";
    box->SetModalResult(Result);
  }

  UiHarness ui;
  std::string Dir;
};

TEST(FileDialogFilters, ComeFromTheRegistryAndMatchNames) {
  const auto open = CXParseFilter(CXImageFilter(false));
  ASSERT_GE(open.size(), 3u);
  EXPECT_EQ(open.front().Caption, "All images");
  const auto& all = open.front().Patterns;
  for (const char* p : {"*.jpg", "*.jpe", "*.gif", "*.tif", "*.png", "*.bmp", "*.ico", "*.wmf", "*.tga"})
    EXPECT_NE(std::find(all.begin(), all.end(), p), all.end()) << p;
  // "PIX" is registered for Targa, but nothing reads a file by that name.
  EXPECT_EQ(std::find(all.begin(), all.end(), "*.pix"), all.end());
  EXPECT_EQ(open.back().Caption, "All files (*.*)");
  EXPECT_EQ(open[3].Caption, "JPEG Bitmap (*.jpg;*.jpeg;*.jpe)");

  // Saving offers only what can be written, under the names the writers go by.
  const auto save = CXParseFilter(CXImageFilter(true));
  std::vector<std::string> captions;
  for (const auto& e : save) captions.push_back(e.Caption);
  const std::vector<std::string> expected = {
      "All images", "TIFF Bitmap (*.tif;*.tiff)", "CompuServe Bitmap (*.gif)", "JPEG Bitmap (*.jpg;*.jpeg)",
      "PaintBrush (*.pcx)", "Windows Bitmap (*.bmp)", "Portable Network Graphics (*.png)", "Targa Bitmap (*.tga)",
      "All files (*.*)"};
  EXPECT_EQ(captions, expected);

  // A format removed from the registry leaves the dialogs; an added one with a writer joins them.
  std::vector<TCXFileFormatInfo> registry;
  for (const auto& info : cxgFileFormats) registry.push_back(*info);
  CXFileFormatRemove(ioTIFF);
  TCXFileFormatInfo added;
  added.FileType = 100;
  added.FullName = "Sketch";
  added.Extension = "SKT";
  added.WriteFunction = [](TStream*, TBitmap*, TIOParamsVals&, TProgressRec&) {};
  CXFileFormatAdd(added);
  const std::string later = CXImageFilter(true);
  cxgFileFormats.clear();
  for (const TCXFileFormatInfo& info : registry) cxgFileFormats.push_back(std::make_unique<TCXFileFormatInfo>(info));
  EXPECT_EQ(later.find("TIFF"), std::string::npos);
  EXPECT_NE(later.find("|Sketch (*.skt)|*.skt|"), std::string::npos);
  EXPECT_EQ(CXImageFilter(false).find("Sketch"), std::string::npos);  // no reader

  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  } cases[] = {{"PHOTO.JPG", "*.jpg", true}, {"a.jpeg", "*.jpg", false}, {"noext", "*.*", true},
               {"abc", "a?c", true},         {"aXbYc", "a*b*c", true},    {"ab", "a*b*c", false},
               {"x.tar.gz", "*.gz", true},   {"", "*", true},              {"a", "", false}};
  for (const Case& c : cases) EXPECT_EQ(CXMatchFileName(c.name, c.pattern), c.match) << c.name << " " << c.pattern;

  const auto custom = CXParseFilter("Text|*.txt;*.md|Anything");
  ASSERT_EQ(custom.size(), 2u);
  EXPECT_EQ(custom[0].Patterns, (std::vector<std::string>{"*.txt", "*.md"}));
  EXPECT_EQ(custom[1].Patterns, (std::vector<std::string>{"*"}));
}

TEST_F(FileDialogTest, OpenListsTheFolderAndChoosesATypedName) {
  TOpenCorvexDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  int selections = 0, types = 0, shows = 0, closes = 0;
  struct Counter {
    int* n;
    void Hit(TObject*) { ++*n; }
  } sel{&selections}, typ{&types}, shw{&shows}, cls{&closes};
  dlg.OnSelectionChange = TNotifyEvent(&sel, &Counter::Hit);
  dlg.OnTypeChange = TNotifyEvent(&typ, &Counter::Hit);
  dlg.OnShow = TNotifyEvent(&shw, &Counter::Hit);
  dlg.OnClose = TNotifyEvent(&cls, &Counter::Hit);
  const bool ok = Run(dlg, {
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(f->GetFolder(), Dir);
        EXPECT_EQ(f->GetFolderEdit()->GetText(), Dir);
        // Folders first, then the images (the text file is no image), each sorted without case.
        const std::vector<std::string> all = {"Attic/", "sub/", "anim.gif", "Banner.png", "broken.png", "photo.jpg"};
        EXPECT_EQ(Items(f), all);
        EXPECT_EQ(f->GetOkButton()->GetCaption(), "&Open");
        EXPECT_EQ(f->GetOptionsButton(), nullptr);
        ChooseFilter(f, 3);  // JPEG
      },
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(Items(f), (std::vector<std::string>{"Attic/", "sub/", "photo.jpg"}));
        EXPECT_EQ(dlg.GetFilterIndex(), 4);
        EXPECT_EQ(types, 1);
        ChooseFilter(f, int(f->GetFilterCombo()->GetItems().size()) - 1);  // All files
      },
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(f->IndexOfEntry("notes.txt"), 5);
        TypeName(f, U"*.png");  // a pattern filters the list
      },
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(Items(f), (std::vector<std::string>{"Attic/", "sub/", "Banner.png", "broken.png"}));
        TypeName(f, U"missing.png");  // not there: a message box, and the dialog stays
      },
      [&](TCXFileDialogForm*) { Answer(mrOk); },
      [&](TCXFileDialogForm* f) {
        EXPECT_TRUE(f->IsShowing());
        TypeName(f, U"sub");  // a folder is entered
      },
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(f->GetFolder(), Dir + "/sub");
        EXPECT_EQ(f->GetFileNameEdit()->GetText(), "");
        TypeName(f, U"../Banner.png");  // relative to the folder shown
      },
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(dlg.GetFileName(), Dir + "/Banner.png");
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(dlg.GetForm(), nullptr);
  EXPECT_EQ(dlg.GetPreviewPane(), nullptr);

  // An absolute name, straight away.
  TOpenCorvexDialog again(nullptr);
  again.SetInitialDir(Dir + "/sub");
  EXPECT_TRUE(Run(again, {[&](TCXFileDialogForm* f) { TypeName(f, fs::path(Dir + "/photo.jpg").u32string()); }}));
  EXPECT_EQ(again.GetFileName(), Dir + "/photo.jpg");
}

TEST_F(FileDialogTest, OpenByClickingFoldersAndFilesAndCancel) {
  TOpenCorvexDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  bool ok = Run(dlg, {
      [&](TCXFileDialogForm* f) { ClickItem(f, "sub", true); },  // a double click enters a folder
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(f->GetFolder(), Dir + "/sub");
        EXPECT_EQ(Items(f), (std::vector<std::string>{"inner.bmp"}));
        ui.Click(f->GetUpButton(), 5, 5);
      },
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(f->GetFolder(), Dir);
        EXPECT_EQ(f->GetFileList()->GetItemIndex(), f->IndexOfEntry("sub"));  // where we came from
        ClickItem(f, "photo.jpg");
      },
      [&](TCXFileDialogForm* f) {
        // The click names the file and previews it.
        EXPECT_EQ(f->GetFileNameEdit()->GetText(), "photo.jpg");
        EXPECT_EQ(dlg.GetCurrentFile(), Dir + "/photo.jpg");
        EXPECT_EQ(f->GetPreviewPane()->GetFileName(), Dir + "/photo.jpg");
        ui.Click(f->GetOkButton(), 5, 5);
      },
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(dlg.GetFileName(), Dir + "/photo.jpg");

  // Cancel (and Escape) end without a file; the name chosen before stays.
  TOpenCorvexDialog cancel(nullptr);
  cancel.SetInitialDir(Dir);
  cancel.SetFileName("before.png");
  EXPECT_FALSE(Run(cancel, {[&](TCXFileDialogForm* f) {
                     ClickItem(f, "Banner.png");
                     ui.Click(f->GetCancelButton(), 5, 5);
                   }}));
  EXPECT_EQ(cancel.GetFileName(), "before.png");
  EXPECT_FALSE(Run(cancel, {[&](TCXFileDialogForm*) { ui.Key(VK_ESCAPE); }}));
}

TEST_F(FileDialogTest, PreviewPaneShowsPicturesLinesAndMessages) {
  TForm* form = ui.NewForm(260, 260);
  auto* pane = new TCXPreviewPane(form);
  pane->SetParent(form);
  pane->SetBounds(0, 0, 200, 220);

  // A picture: fitted (never enlarged), centred on white, and its line.
  ASSERT_TRUE(pane->ShowFile(Dir + "/Banner.png"));
  const auto size = fs::file_size(Dir + "/Banner.png");
  EXPECT_EQ(pane->GetInfoLine(), CXPreviewInfoLine(32, 16, 24, int64_t(size)));
  EXPECT_EQ(pane->GetMessage(), "");
  TCorvexView* view = pane->GetView();
  EXPECT_TRUE(view->GetVisible());
  EXPECT_EQ(view->GetZoom(), 100);
  TBitmap* pixels = ui.Pixels(view);
  const int cx = view->GetClientWidth() / 2, cy = view->GetClientHeight() / 2;
  EXPECT_EQ(PixelOf(pixels, cx, cy), clBlue);
  EXPECT_EQ(PixelOf(pixels, cx, cy - 12), clWhite);   // above the 16-row picture
  EXPECT_EQ(PixelOf(pixels, cx - 20, cy), clWhite);   // left of the 32-column picture
  EXPECT_EQ(PixelOf(pixels, cx - 14, cy), clBlue);

  // A large picture is shrunk to fit.
  TBitmap big;
  Fill(big, 800, 100, TRGB{0, 0, 0});
  Save(big, Dir + "/wide.bmp");
  ASSERT_TRUE(pane->ShowFile(Dir + "/wide.bmp"));
  EXPECT_LE(view->GetExtentX(), view->GetClientWidth());
  EXPECT_EQ(pane->GetInfoLine().substr(0, 20), "800 x 100, 24 bits, ");

  // Damaged, not an image, a folder: a message or nothing, never a picture.
  EXPECT_FALSE(pane->ShowFile(Dir + "/broken.png"));
  EXPECT_NE(pane->GetMessage(), "");
  EXPECT_EQ(pane->GetInfoLine(), "");
  EXPECT_FALSE(view->GetVisible());
  EXPECT_FALSE(pane->ShowFile(Dir + "/notes.txt"));
  EXPECT_NE(pane->GetMessage(), "");
  EXPECT_FALSE(pane->ShowFile(Dir + "/sub"));
  EXPECT_EQ(pane->GetMessage(), "");
  EXPECT_FALSE(pane->ShowFile(Dir + "/gone.png"));

  // An animation stands still unless asked to play; playing, it follows its own delays.
  ASSERT_TRUE(pane->ShowFile(Dir + "/anim.gif"));
  EXPECT_EQ(pane->GetFrameCount(), 0);
  pane->SetAlwaysAnimate(true);
  ASSERT_TRUE(pane->ShowFile(Dir + "/anim.gif"));
  ASSERT_EQ(pane->GetFrameCount(), 2);
  EXPECT_EQ(pane->GetFrameDelay(0), 300);
  EXPECT_EQ(pane->GetFrameDelay(1), 500);
  const int mx = view->GetClientWidth() / 2, my = view->GetClientHeight() / 2;
  EXPECT_EQ(PixelOf(ui.Pixels(view), mx, my), clRed);
  ui.Advance(299);
  EXPECT_EQ(pane->GetFrameIndex(), 0);
  ui.Advance(1);
  EXPECT_EQ(pane->GetFrameIndex(), 1);
  EXPECT_EQ(PixelOf(ui.Pixels(view), mx, my), clBlue);
  ui.Advance(500);
  EXPECT_EQ(pane->GetFrameIndex(), 0);
  pane->Clear();
  ui.Advance(1000);
  EXPECT_EQ(pane->GetFrameCount(), 0);

  EXPECT_EQ(CXPreviewInfoLine(640, 480, 24, 12595), "640 x 480, 24 bits, 12.3 KB");
  EXPECT_EQ(CXPreviewInfoLine(1, 1, 1, 58), "1 x 1, 1 bit, 58 bytes");
  EXPECT_EQ(CXPreviewInfoLine(4000, 3000, 8, 5u << 20), "4000 x 3000, 8 bits, 5.0 MB");
}

TEST_F(FileDialogTest, AFolderThatCannotBeReadShowsAMessage) {
  ASSERT_EQ(chmod((Dir + "/sub").c_str(), 0), 0);
  if (access((Dir + "/sub").c_str(), R_OK) == 0) GTEST_SKIP() << "running as root: the folder stays readable";
  TOpenCorvexDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  EXPECT_FALSE(Run(dlg, {
      [&](TCXFileDialogForm* f) { ClickItem(f, "sub", true); },
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(f->GetFolder(), Dir + "/sub");
        EXPECT_FALSE(f->GetFolderReadable());
        EXPECT_TRUE(Items(f).empty());
        EXPECT_NE(f->GetPreviewPane()->GetMessage().find("cannot be read"), std::string::npos);
        ui.Click(f->GetUpButton(), 5, 5);
      },
      [&](TCXFileDialogForm* f) {
        EXPECT_TRUE(f->GetFolderReadable());
        EXPECT_EQ(f->GetPreviewPane()->GetMessage(), "");
        ui.Key(VK_ESCAPE);
      },
  }));
}

TEST_F(FileDialogTest, SaveAddsTheExtensionAsksBeforeReplacingAndEditsOptions) {
  TBitmap image;
  Fill(image, 16, 16, TRGB{10, 20, 30});
  TCorvexIO io(nullptr);
  io.SetAttachedBitmap(&image);
  TSaveCorvexDialog dlg(nullptr);
  dlg.SetAttachedCorvexIO(&io);
  dlg.SetInitialDir(Dir);

  // The typed name gets the chosen filter's extension; one a writer knows is kept.
  const auto jpeg = CXParseFilter(dlg.GetFilter());
  ASSERT_EQ(jpeg[3].Caption, "JPEG Bitmap (*.jpg;*.jpeg)");
  EXPECT_TRUE(Run(dlg, {
      [&](TCXFileDialogForm* f) {
        EXPECT_EQ(f->GetOkButton()->GetCaption(), "&Save");
        ASSERT_NE(f->GetOptionsButton(), nullptr);
        EXPECT_EQ(Items(f), (std::vector<std::string>{"Attic/", "sub/", "anim.gif", "Banner.png", "broken.png",
                                                      "photo.jpg"}));
        ChooseFilter(f, 3);
      },
      [&](TCXFileDialogForm* f) { TypeName(f, U"holiday"); },
  }));
  EXPECT_EQ(dlg.GetFileName(), Dir + "/holiday.jpg");
  EXPECT_TRUE(Run(dlg, {[&](TCXFileDialogForm* f) { TypeName(f, U"chart.png"); }}));
  EXPECT_EQ(dlg.GetFileName(), Dir + "/chart.png");
  EXPECT_TRUE(Run(dlg, {[&](TCXFileDialogForm* f) { TypeName(f, U"v1.2"); }}));
  EXPECT_EQ(dlg.GetFileName(), Dir + "/v1.2.jpg");  // the filter index stayed on JPEG

  // An existing file: No keeps the dialog up, Yes takes it.
  EXPECT_TRUE(Run(dlg, {
      [&](TCXFileDialogForm* f) { TypeName(f, U"photo"); },
      [&](TCXFileDialogForm*) { Answer(mrNo); },
      [&](TCXFileDialogForm* f) {
        EXPECT_TRUE(f->IsShowing());
        TypeName(f, U"photo.jpg");
      },
      [&](TCXFileDialogForm*) { Answer(mrYes); },
  }));
  EXPECT_EQ(dlg.GetFileName(), Dir + "/photo.jpg");

  // Options: the format-parameters dialog of the chosen format edits the component's Params.
  static TPreviewPages pages;
  static TIOParamsVals* edited = nullptr;
  const TIOPreviewsMaker before = GetIOPreviewsMaker();
  SetIOPreviewsMaker([](TCorvexIO& IO, TIOParamsVals& Params, TPreviewPages Pages) -> TForm* {
    pages = Pages;
    edited = &Params;
    auto* f = new TForm(&IO);
    f->SetCaption("Options");
    return f;
  });
  io.GetParams().JPEG_Quality = 80;
  EXPECT_FALSE(Run(dlg, {
      [&](TCXFileDialogForm* f) { ui.Click(f->GetOptionsButton(), 5, 5); },
      [&](TCXFileDialogForm*) {
        ASSERT_NE(edited, nullptr);
        edited->JPEG_Quality = 35;
        Screen().GetActiveForm()->SetModalResult(mrOk);
      },
      [&](TCXFileDialogForm* f) { ui.Click(f->GetCancelButton(), 5, 5); },
  }));
  SetIOPreviewsMaker(before);
  EXPECT_EQ(pages, TPreviewPages{ppJPEG});
  EXPECT_EQ(edited, &io.GetParams());
  EXPECT_EQ(io.GetParams().JPEG_Quality, 35);

  // Without a filter set, saving starts on the component's format, and a bare name takes it.
  TSaveCorvexDialog fresh(nullptr);
  fresh.SetAttachedCorvexIO(&io);
  fresh.SetInitialDir(Dir);
  io.GetParams().FileType = ioPNG;
  EXPECT_TRUE(Run(fresh, {[&](TCXFileDialogForm* f) {
                    EXPECT_EQ(f->GetFilterCombo()->GetItemIndex(), 6);
                    TypeName(f, U"x");
                  }}));
  EXPECT_EQ(fresh.GetFileName(), Dir + "/x.png");
  EXPECT_EQ(fresh.GetFilterIndex(), 7);

  // The component may go first; the dialog then offers no options.
  {
    TCorvexIO gone(nullptr);
    dlg.SetAttachedCorvexIO(&gone);
  }
  EXPECT_EQ(dlg.GetAttachedCorvexIO(), nullptr);
}

}  // namespace
}  // namespace corvex
