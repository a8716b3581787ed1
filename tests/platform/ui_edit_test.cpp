// The single-line edit and the hint window, driven through the window harness: scripts of keys
// and mouse input with the text and selection after each step, the clipboard, code points in
// UTF-8, the caret's blink on the virtual clock, scrolling, and the pixels of both windows.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "corvex/platform/clipboard.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/hintwindow.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

std::string ClipboardText() {
  std::string s;
  if (!OpenClipboard(0)) return "<clipboard busy>";
  if (HGLOBAL h = GetClipboardData(CF_TEXT)) {
    const auto* p = static_cast<const char*>(GlobalLock(h));
    s.assign(p, strnlen(p, GlobalSize(h)));
    GlobalUnlock(h);
  }
  CloseClipboard();
  return s;
}

void PutClipboardText(const std::string& s) {
  ASSERT_TRUE(OpenClipboard(0));
  EmptyClipboard();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, s.size() + 1);
  std::memcpy(GlobalLock(h), s.c_str(), s.size() + 1);
  GlobalUnlock(h);
  SetClipboardData(CF_TEXT, h);
  CloseClipboard();
}

// A character as a host delivers one without a key of its own (the key code of an input method).
void TypeChar(char32_t c) {
  Application().KeyInput(0xE5, false, c);
  Application().KeyInput(0xE5, true);
}

int Darkness(TColor c) { return 255 - std::min({GetRValue(c), GetGValue(c), GetBValue(c)}); }

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = ui.NewForm(320, 120);
    edit = new TEdit(form);
    edit->SetParent(form);
    edit->SetBounds(10, 10, 200, 24);
    edit->OnChange = TNotifyEvent(this, &EditTest::Changed);
    edit->OnKeyDown = TKeyEvent(this, &EditTest::OwnerKeyDown);
    edit->OnKeyPress = TKeyPressEvent(this, &EditTest::OwnerKeyPress);
    edit->SetFocus();
    ui.Pump();
  }
  void Changed(TObject*) { ++changes; }
  void OwnerKeyDown(TObject*, uint16_t& Key, TShiftState) {
    if (Key == VK_RETURN || Key == VK_ESCAPE) ownerKeys.push_back(Key);
    if (Key == VK_ESCAPE) Key = 0;  // the owner takes Escape whole
  }
  void OwnerKeyPress(TObject*, char32_t& Key) { ownerChars.push_back(Key); }
  int TextX(const std::string& prefix) {
    TCanvas m;
    m.SetFont(edit->GetFont());
    return edit->PosFromChar(0).X + m.TextWidth(prefix);
  }

  UiHarness ui;
  TForm* form = nullptr;
  TEdit* edit = nullptr;
  int changes = 0;
  std::vector<uint16_t> ownerKeys;
  std::u32string ownerChars;
};

TEST_F(EditTest, KeyScriptWithClipboard) {
  struct Step {
    const char* what;
    std::function<void()> act;
    const char* text;
    int selStart, selLength;
    const char* clipboard;  // nullptr: not checked
  };
  const Step script[] = {
      {"type", [&] { ui.Type(U"hello world"); }, "hello world", 11, 0, nullptr},
      {"Home", [&] { ui.Key(VK_HOME); }, "hello world", 0, 0, nullptr},
      {"Shift+Ctrl+Right", [&] { ui.Key(VK_RIGHT, {ssShift, ssCtrl}); }, "hello world", 0, 6, nullptr},
      {"Ctrl+X", [&] { ui.Key('X', {ssCtrl}); }, "world", 0, 0, "hello "},
      {"End", [&] { ui.Key(VK_END); }, "world", 5, 0, nullptr},
      {"Ctrl+V", [&] { ui.Key('V', {ssCtrl}); }, "worldhello ", 11, 0, "hello "},
      {"Ctrl+Left", [&] { ui.Key(VK_LEFT, {ssCtrl}); }, "worldhello ", 0, 0, nullptr},
      {"Ctrl+Right", [&] { ui.Key(VK_RIGHT, {ssCtrl}); }, "worldhello ", 11, 0, nullptr},
      {"Shift+Home", [&] { ui.Key(VK_HOME, {ssShift}); }, "worldhello ", 0, 11, nullptr},
      {"Shift+Right", [&] { ui.Key(VK_RIGHT, {ssShift}); }, "worldhello ", 1, 10, nullptr},
      {"Right collapses", [&] { ui.Key(VK_RIGHT); }, "worldhello ", 11, 0, nullptr},
      {"Backspace", [&] { ui.Key(VK_BACK); }, "worldhello", 10, 0, nullptr},
      {"Left x5, Delete", [&] { for (int i = 0; i < 5; ++i) ui.Key(VK_LEFT); ui.Key(VK_DELETE); }, "worldello", 5, 0, nullptr},
      {"Ctrl+A, Ctrl+C", [&] { ui.Key('A', {ssCtrl}); ui.Key('C', {ssCtrl}); }, "worldello", 0, 9, "worldello"},
      {"Delete selection", [&] { ui.Key(VK_DELETE); }, "", 0, 0, nullptr},
      {"Shift+Insert", [&] { ui.Key(VK_INSERT, {ssShift}); }, "worldello", 9, 0, nullptr},
      {"type space, word", [&] { ui.Type(U" ok"); }, "worldello ok", 12, 0, nullptr},
      {"Ctrl+Backspace", [&] { ui.Key(VK_BACK, {ssCtrl}); }, "worldello ", 10, 0, nullptr},
      {"Home, Shift+Ctrl+Right, Ctrl+Insert", [&] { ui.Key(VK_HOME); ui.Key(VK_RIGHT, {ssShift, ssCtrl}); ui.Key(VK_INSERT, {ssCtrl}); },
       "worldello ", 0, 10, "worldello "},
      {"Left, Shift+Right x5, Shift+Delete", [&] { ui.Key(VK_LEFT); for (int i = 0; i < 5; ++i) ui.Key(VK_RIGHT, {ssShift}); ui.Key(VK_DELETE, {ssShift}); },
       "ello ", 0, 0, "world"},
      {"Ctrl+Delete", [&] { ui.Key(VK_DELETE, {ssCtrl}); }, "", 0, 0, nullptr},
      {"typed over a selection", [&] { ui.Type(U"abc"); ui.Key(VK_HOME, {}); ui.Key(VK_END, {ssShift}); ui.Type(U"z"); }, "z", 1, 0, nullptr},
  };
  for (const Step& s : script) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(edit->GetText(), s.text);
    EXPECT_EQ(edit->GetSelStart(), s.selStart);
    EXPECT_EQ(edit->GetSelLength(), s.selLength);
    if (s.clipboard != nullptr) {
      EXPECT_EQ(ClipboardText(), s.clipboard);
    }
  }
}

TEST_F(EditTest, ChangeEventsLimitsAndOwnerKeys) {
  ui.Type(U"hello world");
  EXPECT_EQ(changes, 11);  // one per character typed
  ui.Key(VK_LEFT);
  ui.Key(VK_HOME, {ssShift});
  EXPECT_EQ(changes, 11);  // moves change nothing
  EXPECT_TRUE(edit->GetModified());

  edit->SetText("abc");  // code: the event fires too, the caret goes to the start
  EXPECT_EQ(changes, 12);
  EXPECT_EQ(edit->GetCaretIndex(), 0);
  EXPECT_FALSE(edit->GetModified());
  edit->SetText("abc");
  EXPECT_EQ(changes, 12);
  edit->SetSelStart(1);
  edit->SetSelLength(1);
  edit->SetSelText("XY");
  EXPECT_EQ(edit->GetText(), "aXYc");
  EXPECT_EQ(changes, 13);

  // Enter and Escape are the owner's; control characters are never text.
  ownerChars.clear();
  ui.Key(VK_RETURN, {}, U'\r');
  ui.Key(VK_ESCAPE, {}, U'\x1b');
  TypeChar(U'\t');
  TypeChar(U'\x01');
  EXPECT_EQ(edit->GetText(), "aXYc");
  EXPECT_EQ(ownerKeys, (std::vector<uint16_t>{VK_RETURN, VK_ESCAPE}));
  EXPECT_EQ(ownerChars, std::u32string(U"\r\t\x01"));  // Escape was taken whole in OnKeyDown

  // MaxLength bounds typing and pasting, in code points, but not what code sets.
  edit->SetText("");
  edit->SetMaxLength(3);
  ui.Type(U"abcdef");
  EXPECT_EQ(edit->GetText(), "abc");
  PutClipboardText("\xC3\xA9\xC3\xA9\xC3\xA9\nsecond line");
  ui.Key(VK_HOME);
  ui.Key(VK_RIGHT, {ssShift});
  ui.Key('V', {ssCtrl});  // room for one after the selection goes
  EXPECT_EQ(edit->GetText(), "\xC3\xA9" "bc");
  edit->SetText("longer than three");
  EXPECT_EQ(edit->GetText(), "longer than three");
  edit->SetMaxLength(0);
  edit->SetText("");
  ui.Key(VK_INSERT, {ssShift});  // only the first line of the clipboard
  EXPECT_EQ(edit->GetText(), "\xC3\xA9\xC3\xA9\xC3\xA9");

  // Read-only: moves and copies, never changes.
  edit->SetReadOnly(true);
  const int before = changes;
  ui.Key(VK_HOME);
  ui.Key(VK_RIGHT, {ssShift});
  ui.Type(U"q");
  ui.Key(VK_BACK);
  ui.Key(VK_DELETE);
  ui.Key('X', {ssCtrl});
  ui.Key('V', {ssCtrl});
  ui.Key('C', {ssCtrl});
  EXPECT_EQ(edit->GetText(), "\xC3\xA9\xC3\xA9\xC3\xA9");
  EXPECT_EQ(changes, before);
  EXPECT_EQ(ClipboardText(), "\xC3\xA9");
}

TEST_F(EditTest, CodePointsInUtf8) {
  edit->SetText("na\xC3\xAFve \xE2\x82\xAC");  // "naïve €": 7 code points, 10 bytes
  EXPECT_EQ(edit->GetTextLength(), 7);
  ui.Key(VK_END);
  EXPECT_EQ(edit->GetCaretIndex(), 7);
  ui.Key(VK_BACK);
  EXPECT_EQ(edit->GetText(), "na\xC3\xAFve ");
  ui.Key(VK_HOME);
  for (int i = 0; i < 3; ++i) ui.Key(VK_RIGHT);
  ui.Key(VK_LEFT, {ssShift});
  EXPECT_EQ(edit->GetSelText(), "\xC3\xAF");
  ui.Type(U"i");
  EXPECT_EQ(edit->GetText(), "naive ");
  ui.Key(VK_END);
  TypeChar(U'\u20AC');
  TypeChar(U'\U0001F600');
  EXPECT_EQ(edit->GetText(), "naive \xE2\x82\xAC\xF0\x9F\x98\x80");
  ui.Key(VK_LEFT, {ssShift});
  EXPECT_EQ(edit->GetSelText(), "\xF0\x9F\x98\x80");
  ui.Key(VK_BACK);
  ui.Key(VK_BACK);
  EXPECT_EQ(edit->GetText(), "naive ");
  // Ctrl+Left treats letters beyond ASCII as word characters.
  edit->SetText("caf\xC3\xA9 cr\xC3\xA8me");
  ui.Key(VK_END);
  ui.Key(VK_LEFT, {ssCtrl, ssShift});
  EXPECT_EQ(edit->GetSelText(), "cr\xC3\xA8me");
  // A stray byte is a position of its own; nothing splits the sequences around it.
  edit->SetText("\xC3\xA9\xFF\xE2\x82\xAC");
  EXPECT_EQ(edit->GetTextLength(), 3);
  edit->SetSelStart(1);
  ui.Key(VK_DELETE);
  EXPECT_EQ(edit->GetText(), "\xC3\xA9\xE2\x82\xAC");
}

TEST_F(EditTest, MousePlacesSelectsAndDrags) {
  edit->SetText("hello world");
  const int y = edit->GetClientHeight() / 2;
  // A press a pixel either side of the boundary after "hel" lands on it.
  ui.Click(edit, TextX("hel") + 1, y);
  EXPECT_EQ(edit->GetCaretIndex(), 3);
  EXPECT_EQ(edit->GetSelLength(), 0);
  ui.Advance(1000);  // the next press is not a double click
  ui.Click(edit, TextX("hel") - 1, y);
  EXPECT_EQ(edit->GetCaretIndex(), 3);
  EXPECT_EQ(edit->GetCaretPos().X, TextX("hel"));
  ui.Advance(1000);
  // Dragging from the start to after "hello" selects it, holding the capture meanwhile.
  ui.Move(edit, TextX(""), y);
  ui.Press(edit, TextX(""), y);
  EXPECT_TRUE(edit->GetMouseCapture());
  ui.Move(edit, TextX("hel"), y);
  EXPECT_EQ(edit->GetSelText(), "hel");
  ui.Move(edit, TextX("hello"), y);
  ui.ReleaseAt(edit, TextX("hello"), y);
  EXPECT_EQ(edit->GetSelText(), "hello");
  EXPECT_FALSE(edit->GetMouseCapture());
  ui.Advance(1000);
  // A drag past the right edge selects to the end; Shift+press extends from the anchor.
  ui.Drag(edit, TextX("hello "), y, edit->GetClientWidth() + 40, y);
  EXPECT_EQ(edit->GetSelText(), "world");
  ui.Advance(1000);
  ui.Click(edit, TextX("h") + 1, y);
  ui.Advance(1000);
  ui.Click(edit, TextX("hell"), y, mbLeft, {ssShift});
  EXPECT_EQ(edit->GetSelText(), "ell");
  ui.Advance(1000);
  // A double click selects the word under the pointer.
  ui.DoubleClick(edit, TextX("hello wo"), y);
  EXPECT_EQ(edit->GetSelText(), "world");
  ui.Advance(1000);
  ui.DoubleClick(edit, TextX("he"), y);
  EXPECT_EQ(edit->GetSelText(), "hello");
}

TEST_F(EditTest, PixelsSelectionCaretBlinkAndScroll) {
  const TColor window = ColorToRGB(clWindow), highlight = ColorToRGB(clHighlight);
  edit->SetText("hello world");
  edit->SetSelStart(6);
  edit->SetSelLength(5);  // "world", the caret at its end
  ui.Pump();
  const TPoint a = edit->PosFromChar(6), b = edit->PosFromChar(11);
  TCanvas m;
  m.SetFont(edit->GetFont());
  const int top = a.Y, cell = m.TextHeight("");
  int highlighted = 0, area = 0;
  for (int yy = top; yy < top + cell; ++yy)
    for (int x = a.X; x < b.X; ++x) {
      ++area;
      if (ui.Pixel(edit, x, yy) == highlight) ++highlighted;
    }
  EXPECT_GT(highlighted, area / 2);
  EXPECT_EQ(ui.Pixel(edit, a.X - 1, top), window);  // before the selection
  EXPECT_EQ(ui.Pixel(edit, 0, 0), window);

  // The caret column inverts and blinks every 500 ms; typing shows it again at once.
  edit->SetSelStart(3);
  ui.Pump();
  const TPoint c = edit->GetCaretPos();
  auto column = [&] {
    std::vector<TColor> v;
    for (int yy = c.Y; yy < c.Y + cell; ++yy) v.push_back(ui.Pixel(edit, c.X, yy));
    return v;
  };
  ASSERT_TRUE(edit->GetCaretShown());
  const std::vector<TColor> shown = column();
  ui.Advance(499);
  EXPECT_EQ(column(), shown);
  ui.Advance(1);
  EXPECT_FALSE(edit->GetCaretShown());
  const std::vector<TColor> hidden = column();
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i], RGBColor(255 - GetRValue(hidden[i]), 255 - GetGValue(hidden[i]), 255 - GetBValue(hidden[i])))
        << "row " << i;
  }
  ui.Advance(500);
  EXPECT_EQ(column(), shown);
  ui.Advance(500);
  EXPECT_EQ(column(), hidden);
  ui.Key(VK_LEFT);
  ui.Key(VK_RIGHT);
  EXPECT_EQ(column(), shown);

  // Without the focus: no caret, no selection drawn, no timer running.
  edit->SelectAll();
  form->SetFocus();
  ui.Advance(500);
  EXPECT_EQ(column(), hidden);
  for (int x = a.X; x < b.X; ++x) EXPECT_NE(ui.Pixel(edit, x, top), highlight);

  // Enabled text has dark ink; disabled text is grey.
  auto darkest = [&] {
    int d = 0;
    for (int yy = 0; yy < edit->GetClientHeight(); ++yy)
      for (int x = 0; x < edit->GetClientWidth(); ++x) d = std::max(d, Darkness(ui.Pixel(edit, x, yy)));
    return d;
  };
  EXPECT_GT(darkest(), 200);
  edit->SetEnabled(false);
  EXPECT_LE(darkest(), Darkness(ColorToRGB(clGrayText)));
  EXPECT_GT(darkest(), Darkness(ColorToRGB(clGrayText)) - 30);
  edit->SetEnabled(true);

  // A long text scrolls so that the caret column stays inside the client.
  edit->SetFocus();
  edit->SetWidth(90);
  edit->SetText("");
  ui.Type(U"the quick brown fox jumps over the lazy dog ");
  const int n = edit->GetTextLength();
  EXPECT_GT(edit->GetScrollOffset(), 0);
  TPoint p = edit->GetCaretPos();
  EXPECT_GE(p.X, 0);
  EXPECT_LT(p.X, edit->GetClientWidth());
  EXPECT_EQ(p.X, edit->PosFromChar(n).X);
  EXPECT_EQ(ui.Pixel(edit, p.X, p.Y + cell / 2), ColorToRGB(clBlack));  // the caret over the background
  ui.Key(VK_HOME);
  EXPECT_EQ(edit->GetScrollOffset(), 0);
  EXPECT_EQ(edit->GetCaretPos().X, edit->PosFromChar(0).X);
  for (int i = 0; i < n; ++i) {
    ui.Key(VK_RIGHT);
    p = edit->GetCaretPos();
    ASSERT_GE(p.X, 0) << i;
    ASSERT_LT(p.X, edit->GetClientWidth()) << i;
  }
  // What shows of the scrolled text is the whole text drawn shifted and cut to the text area,
  // with the view at the end and in the middle.
  auto unlikeWholeText = [&] {
    const int w = edit->GetClientWidth(), h = edit->GetClientHeight();
    const int margin = edit->PosFromChar(0).X + edit->GetScrollOffset();
    TBitmap expected(w, h, pf24bit);
    TCanvas* ec = expected.GetCanvas();
    ec->SetFont(edit->GetFont());
    ec->GetBrush()->SetColor(clWindow);
    ec->FillRect(Rect(0, 0, w, h));
    ec->GetBrush()->SetStyle(bsClear);
    ec->TextRect(Rect(margin, 0, w - margin, h), edit->PosFromChar(0).X, edit->PosFromChar(0).Y, edit->GetText());
    int differ = 0;
    for (int yy = 0; yy < h; ++yy)
      for (int x = 0; x < w; ++x) differ += ui.Pixel(edit, x, yy) != ec->GetPixels(x, yy);
    return differ;
  };
  const int endScroll = edit->GetScrollOffset();
  form->SetFocus();
  EXPECT_EQ(unlikeWholeText(), 0);
  edit->SetFocus();
  ui.Key(VK_HOME);
  for (int i = 0; i < 25; ++i) ui.Key(VK_RIGHT);
  form->SetFocus();
  EXPECT_GT(edit->GetScrollOffset(), 0);
  EXPECT_LT(edit->GetScrollOffset(), endScroll);
  EXPECT_EQ(unlikeWholeText(), 0);
  // Room for the whole text again: it scrolls back.
  edit->SetWidth(300);
  EXPECT_EQ(edit->GetScrollOffset(), 0);
}

// A hint window that counts its paints.
class CountingHint : public THintWindow {
 public:
  using THintWindow::THintWindow;
  int Paints = 0;

 protected:
  void Paint() override {
    ++Paints;
    THintWindow::Paint();
  }
};

TEST_F(EditTest, HintWindowShowsWithoutTakingTheFocus) {
  int exits = 0;
  struct ExitCounter {
    int* n;
    void Exit(TObject*) { ++*n; }
  } counter{&exits};
  edit->OnExit = TNotifyEvent(&counter, &ExitCounter::Exit);

  CountingHint hint(nullptr);
  EXPECT_FALSE(hint.IsShowing());
  const std::string text = "12.5 mm\n30\xC2\xB0";
  const TRect r = hint.CalcHintRect(300, text);
  TCanvas m;
  m.SetFont(hint.GetFont());
  const int line = m.TextHeight("");
  EXPECT_EQ(r.Width(), m.TextWidth("12.5 mm") + 2 + 2 * 3);
  EXPECT_EQ(r.Height(), 2 * line + 2 + 2 * 1);
  // Past MaxWidth the lines break at spaces.
  EXPECT_EQ(hint.CalcHintRect(m.TextWidth("one two") + 8, "one two three").Height(), 2 * line + 4);
  EXPECT_EQ(hint.CalcHintRect(0, "one two three").Height(), line + 4);

  hint.ActivateHint(Bounds(400, 300, r.Width(), r.Height()), text);
  ui.Pump();
  EXPECT_TRUE(hint.IsShowing());
  EXPECT_EQ(Application().GetTopLevel(Application().GetTopLevelCount() - 1), &hint);
  EXPECT_EQ(Application().GetFocusedControl(), edit);
  EXPECT_EQ(exits, 0);
  EXPECT_EQ(hint.Paints, 1);
  TBitmap* s = Application().WindowSurface(&hint);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->GetWidth(), r.Width());
  ASSERT_EQ(s->GetHeight(), r.Height());
  const TColor frame = ColorToRGB(clWindowFrame), back = ColorToRGB(clInfoBk);
  for (TPoint p : {TPoint{0, 0}, TPoint{r.Width() - 1, 0}, TPoint{0, r.Height() - 1}, TPoint{r.Width() / 2, r.Height() - 1},
                   TPoint{r.Width() - 1, r.Height() / 2}})
    EXPECT_EQ(ui.SurfacePixel(&hint, p.X, p.Y), frame) << p.X << "," << p.Y;
  EXPECT_EQ(ui.SurfacePixel(&hint, 1, 1), back);
  // Ink on both lines, dark on the light background.
  for (int l = 0; l < 2; ++l) {
    int ink = 0;
    for (int yy = 2 + l * line; yy < 2 + (l + 1) * line; ++yy)
      for (int x = 1; x < r.Width() - 1; ++x) ink = std::max(ink, Darkness(ui.SurfacePixel(&hint, x, yy)));
    EXPECT_GT(ink, 150) << "line " << l;
  }

  // Moved with a new text: one repaint, never hidden in between, the focus stays.
  hint.ActivateHint(Bounds(420, 310, r.Width(), r.Height()), "13.0 mm\n31\xC2\xB0");
  EXPECT_TRUE(hint.IsShowing());
  ui.Pump();
  EXPECT_EQ(hint.Paints, 2);
  EXPECT_EQ(hint.GetLeft(), 420);
  hint.ActivateHint(Bounds(440, 320, r.Width(), r.Height()), "13.0 mm\n31\xC2\xB0");
  ui.Pump();
  EXPECT_EQ(hint.Paints, 2);  // only moved: the surface is the same picture
  // Sticking out of the screen, it moves inside.
  hint.ActivateHint(Bounds(Screen().GetWidth() - 5, 10, r.Width(), r.Height()), "x");
  EXPECT_EQ(hint.GetLeft(), Screen().GetWidth() - r.Width());
  EXPECT_EQ(hint.GetWidth(), r.Width());

  // Pressing on it does not focus it; the mouse is meant to pass through.
  EXPECT_EQ(hint.Perform(WM_NCHITTEST, 0, 0), HTTRANSPARENT);
  ui.Click(&hint, 3, 3);
  EXPECT_EQ(Application().GetFocusedControl(), edit);

  hint.ReleaseHandle();
  ui.Pump();
  EXPECT_FALSE(hint.IsShowing());
  EXPECT_EQ(Application().WindowSurface(&hint), nullptr);
  EXPECT_EQ(Application().GetFocusedControl(), edit);
  EXPECT_EQ(exits, 0);
  edit->OnExit = nullptr;
}

}  // namespace
}  // namespace corvex
