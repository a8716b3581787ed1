// The window layer: scroll bars and the size message, coalesced paints, timers on the virtual
// clock, double clicks, capture, the modal loop, cursors, and the composed window surface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/platform/ui/ui_pvt.h"
#include "corvex/proc/CorvexProc.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

// A control that records its messages and paints, and draws a red dot where it was pressed.
class Probe : public TCustomControl {
 public:
  explicit Probe(TComponent* Owner) : TCustomControl(Owner) {}
  std::vector<std::string> log;
  std::vector<TRect> paints;
  TPoint dot{-1, -1};

  void WndProc(TMessage& M) override {
    switch (M.Msg) {
      case WM_SIZE: log.push_back("size " + std::to_string(GET_X_LPARAM(M.LParam)) + "x" + std::to_string(GET_Y_LPARAM(M.LParam))); break;
      case WM_LBUTTONDOWN: log.push_back("down " + Pos(M)); break;
      case WM_LBUTTONUP: log.push_back("up " + Pos(M)); break;
      case WM_LBUTTONDBLCLK: log.push_back("dbl " + Pos(M)); break;
      case WM_MOUSEMOVE: log.push_back("move " + Pos(M)); break;
      case WM_VSCROLL: log.push_back("vscroll " + std::to_string(LOWORD(M.WParam)) + " " + std::to_string(HIWORD(M.WParam))); break;
      case WM_MOUSEWHEEL: log.push_back("wheel " + std::to_string(GET_WHEEL_DELTA_WPARAM(M.WParam))); break;
      case WM_KEYDOWN: log.push_back("key " + std::to_string(M.WParam)); break;
      case WM_CHAR: log.push_back("char " + std::to_string(M.WParam)); break;
      case WM_SETFOCUS: log.push_back("focus"); break;
      case WM_KILLFOCUS: log.push_back("unfocus"); break;
      case WM_CAPTURECHANGED: log.push_back("capture lost"); break;
      case WM_USER: log.push_back("user " + std::to_string(M.WParam)); break;
      case WM_TIMER: log.push_back("timer " + std::to_string(M.WParam)); break;
      default: break;
    }
    TCustomControl::WndProc(M);
  }
  void MouseDown(TMouseButton B, TShiftState S, int X, int Y) override {
    dot = {X, Y};
    Invalidate();
    TCustomControl::MouseDown(B, S, X, Y);
  }
  void Paint() override {
    paints.push_back(GetCanvas()->GetClipRect());
    log.push_back("paint");
    if (dot.X >= 0) {
      GetCanvas()->GetBrush()->SetColor(clRed);
      GetCanvas()->FillRect(Rect(dot.X - 1, dot.Y - 1, dot.X + 2, dot.Y + 2));
    }
  }
  static std::string Pos(const TMessage& M) {
    return std::to_string(GET_X_LPARAM(M.LParam)) + "," + std::to_string(GET_Y_LPARAM(M.LParam));
  }
  void Clear() {
    log.clear();
    paints.clear();
  }
};

TEST(UiWindow, ScrollBarsTakeTheirRoomAndSendTheSizeAtOnce) {
  UiHarness ui;
  TForm* form = ui.NewForm(400, 300);
  auto* p = new Probe(form);
  p->SetParent(form);
  p->SetBorderStyle(bsSingle);  // the 3-D edge: 2 pixels each side
  p->SetBounds(10, 10, 200, 100);
  EXPECT_EQ(p->GetClientRect(), Rect(0, 0, 196, 96));
  p->SetCtl3D(false);
  EXPECT_EQ(p->GetClientRect(), Rect(0, 0, 198, 98));
  p->SetCtl3D(true);
  p->Clear();

  p->ShowScrollBar(SB_VERT, true);  // the size message comes before the call returns
  ASSERT_EQ(p->log, std::vector<std::string>{"size 180x96"});
  EXPECT_EQ(p->GetBackingBitmap()->GetWidth(), 180);
  p->ShowScrollBar(SB_BOTH, true);
  EXPECT_EQ(p->GetClientRect(), Rect(0, 0, 180, 80));
  p->ShowScrollBar(SB_VERT, true);  // no change, no message
  EXPECT_EQ(p->log.size(), 2u);

  // Position clamped to max - page + 1; range and page as set.
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 999;
  si.nPage = 100;
  si.nPos = 950;
  EXPECT_EQ(p->SetScrollInfo(SB_VERT, si, true), 900);
  EXPECT_EQ(p->SetScrollPos(SB_VERT, -5, true), 900);
  EXPECT_EQ(p->GetScrollPos(SB_VERT), 0);
  si.fMask = SIF_PAGE;
  si.nPage = 5000;  // a page beyond the range is cut to it
  p->SetScrollInfo(SB_VERT, si, false);
  EXPECT_EQ(p->ScrollBarState(SB_VERT).Page, 1000);

  // The thickness follows the screen's dpi.
  const int dpi = gSystemDPIX;
  gSystemDPIX = 144;
  EXPECT_EQ(ScrollBarThickness(), 24);
  gSystemDPIX = dpi;
  EXPECT_EQ(ScrollBarThickness(), 16);

  // By handle, as the toolkit's free functions.
  EXPECT_TRUE(ShowScrollBar(p->GetHandle(), SB_HORZ, false));
  TRect r;
  EXPECT_TRUE(GetClientRect(p->GetHandle(), r));
  EXPECT_EQ(r, Rect(0, 0, 180, 96));
  EXPECT_FALSE(ShowScrollBar(p->GetHandle() + 1, SB_HORZ, false));
}

TEST(UiWindow, PaintsAreCoalescedAndComeAfterPostedMessages) {
  UiHarness ui;
  TForm* form = ui.NewForm(300, 200);
  auto* p = new Probe(form);
  p->SetParent(form);
  p->SetBounds(0, 0, 100, 100);
  ui.Pump();
  p->Clear();

  p->InvalidateRect(Rect(10, 10, 20, 20));
  p->InvalidateRect(Rect(50, 40, 60, 70));
  PostMessage(p->GetHandle(), WM_USER, 1, 0);
  PostMessage(p->GetHandle(), WM_USER, 2, 0);
  EXPECT_TRUE(p->log.empty());
  ui.Pump();
  EXPECT_EQ(p->log, (std::vector<std::string>{"user 1", "user 2", "paint"}));
  ASSERT_EQ(p->paints.size(), 1u);
  EXPECT_EQ(p->paints[0], Rect(10, 10, 60, 70));  // one paint of the union

  // Update paints at once; nothing is left for the queue.
  p->Clear();
  p->Invalidate();
  p->Update();
  EXPECT_EQ(p->log, std::vector<std::string>{"paint"});
  ui.Pump();
  EXPECT_EQ(p->log.size(), 1u);

  // A window invalidated inside a hidden one paints when its container is shown.
  auto* box = new Probe(form);
  box->SetParent(form);
  box->SetBounds(120, 0, 100, 100);
  box->SetVisible(false);
  ui.Pump();
  auto* inner = new Probe(form);
  inner->SetParent(box);
  inner->SetBounds(10, 10, 50, 50);
  inner->Invalidate();
  ui.Pump();
  EXPECT_TRUE(inner->paints.empty());
  box->SetVisible(true);
  ui.Pump();
  EXPECT_FALSE(inner->paints.empty());

  // A message to a window that is gone is dropped.
  const HWND h = p->GetHandle();
  PostMessage(h, WM_USER, 3, 0);
  delete p;
  ui.Pump();
  EXPECT_EQ(FindControl(h), nullptr);
  EXPECT_FALSE(PostMessage(h, WM_USER, 4, 0));
}

struct TimerLog : TObject {
  std::vector<std::string> ticks;
  TTimer* a = nullptr;
  TTimer* b = nullptr;
  TTimer* freeMe = nullptr;
  int64_t base = 0;
  void A(TObject*) { ticks.push_back("A@" + std::to_string(Application().Now() - base)); }
  void B(TObject*) {
    ticks.push_back("B@" + std::to_string(Application().Now() - base));
    if (ticks.size() >= 5) b->SetEnabled(false);  // stops itself
  }
  void Once(TObject*) {
    ticks.push_back("once@" + std::to_string(Application().Now() - base));
    delete freeMe;  // frees itself
    freeMe = nullptr;
  }
};

TEST(UiWindow, TimersFireInTimeOrderWithTiesInCreationOrder) {
  UiHarness ui;
  TimerLog log;
  log.base = Application().Now();
  TTimer a(nullptr), b(nullptr);
  log.a = &a;
  log.b = &b;
  a.SetInterval(100);
  b.SetInterval(150);
  a.OnTimer = TNotifyEvent(&log, &TimerLog::A);
  b.OnTimer = TNotifyEvent(&log, &TimerLog::B);
  log.freeMe = new TTimer(nullptr);
  log.freeMe->SetInterval(120);
  log.freeMe->OnTimer = TNotifyEvent(&log, &TimerLog::Once);
  ui.Advance(299);
  EXPECT_EQ(log.ticks, (std::vector<std::string>{"A@100", "once@120", "B@150", "A@200"}));
  ui.Advance(1);  // both due at 300: A was created first
  EXPECT_EQ(log.ticks.back(), "B@300");
  EXPECT_EQ(log.ticks[log.ticks.size() - 2], "A@300");
  ui.Advance(300);  // B stopped itself after the fifth tick
  EXPECT_EQ(log.ticks, (std::vector<std::string>{"A@100", "once@120", "B@150", "A@200", "A@300", "B@300", "A@400",
                                                 "A@500", "A@600"}));
  EXPECT_FALSE(b.GetEnabled());

  // A window timer sends WM_TIMER with its id.
  TForm* form = ui.NewForm(50, 50);
  auto* p = new Probe(form);
  p->SetParent(form);
  EXPECT_EQ(SetTimer(p->GetHandle(), 7, 40), 7u);
  p->Clear();
  ui.Advance(100);
  EXPECT_EQ(p->log, (std::vector<std::string>{"timer 7", "timer 7"}));
  EXPECT_TRUE(KillTimer(p->GetHandle(), 7));
  EXPECT_FALSE(KillTimer(p->GetHandle(), 7));
}

TEST(UiWindow, DoubleClicksCaptureAndFocusFollowTheMouse) {
  UiHarness ui;
  TForm* form = ui.NewForm(300, 200);
  auto* p = new Probe(form);
  p->SetParent(form);
  p->SetBounds(20, 30, 100, 80);
  auto* other = new Probe(form);
  other->SetParent(form);
  other->SetBounds(150, 30, 100, 80);
  ui.Pump();
  p->Clear();

  // Two presses within the time and the 4-pixel square: a double click.
  ui.Click(p, 10, 10);
  ui.Advance(300);
  ui.Press(p, 12, 8);
  ui.ReleaseAt(p, 12, 8);
  ui.Advance(100);
  ui.Press(p, 12, 8);  // a third press is a plain one again
  ui.ReleaseAt(p, 12, 8);
  ui.Advance(600);
  ui.Press(p, 12, 8);  // too late
  ui.ReleaseAt(p, 12, 8);
  ui.Advance(10);
  ui.Press(p, 15, 8);  // too far
  ui.ReleaseAt(p, 15, 8);
  std::vector<std::string> presses;
  for (auto& s : p->log)
    if (s.rfind("down", 0) == 0 || s.rfind("dbl", 0) == 0) presses.push_back(s);
  EXPECT_EQ(presses, (std::vector<std::string>{"down 10,10", "dbl 12,8", "down 12,8", "down 12,8", "down 15,8"}));
  EXPECT_TRUE(p->Focused());

  // Captured from press to release: moves outside the client arrive with negative coordinates,
  // the other control hears nothing; the capture ends with the release.
  p->Clear();
  other->Clear();
  ui.Press(p, 50, 40);
  EXPECT_TRUE(p->GetMouseCapture());
  ui.Move(p, -15, 150);
  ui.Move(other, 10, 10);
  ui.ReleaseAt(other, 10, 10);
  EXPECT_FALSE(p->GetMouseCapture());
  EXPECT_EQ(GetCapture(), HWND(0));
  EXPECT_EQ(p->log, (std::vector<std::string>{"down 50,40", "paint", "move -15,150", "move 140,10", "capture lost",
                                              "up 140,10"}));
  for (auto& s : other->log) EXPECT_EQ(s.rfind("move", 0) == 0 || s.rfind("down", 0) == 0, false) << s;

  // Keys and the wheel go to the focused window.
  ui.Click(other, 5, 5);
  EXPECT_TRUE(other->Focused());
  p->Clear();
  other->Clear();
  ui.Key('A', {}, U'a');
  ui.Wheel(p, -1, 5, 5);  // over p, but other has the focus
  EXPECT_EQ(other->log, (std::vector<std::string>{"key 65", "char 97", "wheel -120"}));
  EXPECT_TRUE(p->log.empty());

  // Disabled: no input, and the focus leaves.
  other->SetEnabled(false);
  EXPECT_FALSE(other->Focused());
  other->Clear();
  ui.Click(other, 5, 5);
  EXPECT_TRUE(other->log.empty() || other->log == std::vector<std::string>{"paint"});
}

TEST(UiWindow, ScrollBarClicksSendScrollMessages) {
  UiHarness ui;
  TForm* form = ui.NewForm(300, 200);
  auto* p = new Probe(form);
  p->SetParent(form);
  p->SetBounds(0, 0, 120, 120);  // no border: the bar is the last 16 columns
  p->ShowScrollBar(SB_VERT, true);
  TScrollInfo si;
  si.fMask = SIF_ALL;
  si.nMax = 65535;
  si.nPage = 32768;
  p->SetScrollInfo(SB_VERT, si, true);
  p->Clear();
  ui.Click(p, 104 + 8, 3);    // the up arrow (client coordinates run past the client)
  ui.Click(p, 104 + 8, 116);  // the down arrow
  ui.Click(p, 104 + 8, 100);  // the track below the thumb
  std::vector<std::string> scrolls;
  for (auto& s : p->log)
    if (s.rfind("vscroll", 0) == 0) scrolls.push_back(s);
  EXPECT_EQ(scrolls, (std::vector<std::string>{"vscroll 0 0", "vscroll 8 0", "vscroll 1 0", "vscroll 8 0", "vscroll 3 0",
                                               "vscroll 8 0"}));
  // Dragging the thumb to the end tracks, then sets the position (an unsigned high word).
  p->Clear();
  ui.Move(p, 112, 30);
  ui.Press(p, 112, 30);
  ui.Move(p, 112, 200);
  ui.ReleaseAt(p, 112, 200);
  scrolls.clear();
  for (auto& s : p->log)
    if (s.rfind("vscroll", 0) == 0) scrolls.push_back(s);
  EXPECT_EQ(scrolls, (std::vector<std::string>{"vscroll 5 32768", "vscroll 4 32768", "vscroll 8 0"}));
}

TEST(UiWindow, ModalLoopEndsOnModalResultOrWhenNothingDrivesIt) {
  UiHarness ui;
  TForm dialog(nullptr);
  dialog.SetBounds(200, 200, 120, 80);
  auto* ok = new Probe(&dialog);
  ok->SetParent(&dialog);
  ok->SetBounds(10, 10, 50, 20);
  struct Ok : TObject {
    TForm* form;
    void Click(TObject*) { form->SetModalResult(mrOk); }
  } okHandler;
  okHandler.form = &dialog;
  ok->OnClick = TNotifyEvent(&okHandler, &Ok::Click);

  int idle = 0;
  Application().OnIdle = [&] {
    // The first idle moment: a click on the button, as a user would.
    if (idle++ > 0) return false;
    ui.Click(ok, 5, 5);
    return true;
  };
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_FALSE(dialog.GetVisible());
  Application().OnIdle = nullptr;
  EXPECT_EQ(dialog.ShowModal(), mrCancel);  // nothing left to drive it
  // Close on a modal form ends it with mrCancel.
  Application().OnIdle = [&] {
    dialog.Close();
    return true;
  };
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

TEST(UiWindow, CursorsComeFromTheControlUnderThePointerOrTheScreen) {
  UiHarness ui;
  RegisterCorvexCursors();
  TForm* form = ui.NewForm(200, 100);
  auto* p = new Probe(form);
  p->SetParent(form);
  p->SetBounds(0, 0, 100, 100);
  p->SetCursor(1785);
  form->SetCursor(crCross);
  ui.Move(p, 10, 10);
  EXPECT_EQ(Application().CurrentCursor(), Screen().GetCursors(1785));
  ui.Move(form, 150, 10);
  EXPECT_EQ(Application().CurrentCursor(), Screen().GetCursors(crCross));
  Screen().SetCursor(crHourGlass);
  EXPECT_EQ(Application().CurrentCursor(), Screen().GetCursors(crHourGlass));
  Screen().SetCursor(crDefault);
  EXPECT_NE(Screen().GetCursors(1785), Screen().GetCursors(1786));
}

TEST(UiWindow, TheSurfaceShowsBordersChildrenAndWhatWasDrawn) {
  UiHarness ui;
  TForm* form = ui.NewForm(200, 150);
  form->SetColor(clWhite);
  auto* p = new Probe(form);
  p->SetParent(form);
  p->SetColor(clYellow);
  p->SetBorderStyle(bsSingle);
  p->SetCtl3D(false);  // a 1-pixel black frame
  p->SetBounds(40, 30, 60, 50);
  auto* image = new TImage(form);
  image->SetParent(form);
  image->SetBounds(120, 10, 20, 20);
  image->GetBitmap()->Allocate(4, 4, pf24bit);
  image->GetPictureCanvas()->GetBrush()->SetColor(clBlue);
  image->GetPictureCanvas()->FillRect(Rect(0, 0, 4, 4));
  ui.Click(p, 20, 10);

  EXPECT_EQ(ui.SurfacePixel(form, 5, 5), clWhite);
  EXPECT_EQ(ui.SurfacePixel(form, 40, 30), clBlack);           // the frame
  EXPECT_EQ(ui.SurfacePixel(form, 41 + 5, 31 + 5), clYellow);  // the background
  EXPECT_EQ(ui.SurfacePixel(form, 41 + 20, 31 + 10), clRed);   // the dot where it was clicked
  EXPECT_EQ(ui.Pixel(p, 20, 10), clRed);
  EXPECT_EQ(ui.SurfacePixel(form, 121, 11), clBlue);  // the image at its top-left
  EXPECT_EQ(ui.SurfacePixel(form, 130, 20), clWhite);

  // A child window that sticks out of its parent is cut to the parent's client.
  p->SetBounds(180, 130, 60, 50);
  ui.Pump();
  EXPECT_EQ(Application().WindowSurface(form)->GetWidth(), 200);
  EXPECT_EQ(ui.SurfacePixel(form, 180, 130), clBlack);
  EXPECT_EQ(ui.SurfacePixel(form, 40, 30), clWhite);  // the old place is repainted
}

// A host draws the surface and then the windows left out of it straight from their backings;
// the two together are the whole window, and the list holds only windows nothing covers.
TEST(UiWindow, SurfacePiecesMakeTheWholeWindow) {
  UiHarness ui;
  TForm* form = ui.NewForm(240, 180);
  form->SetColor(clWhite);
  auto add = [&](TWinControl* parent, TRect r, TColor color) {
    auto* w = new Probe(form);
    w->SetParent(parent);
    w->SetColor(color);
    w->SetBounds(r.Left, r.Top, r.Width(), r.Height());
    return w;
  };
  Probe* framed = add(form, Rect(10, 10, 70, 50), clRed);
  framed->SetBorderStyle(bsSingle);
  Probe* under = add(form, Rect(100, 10, 160, 50), clBlue);     // covered in part by the next one
  Probe* over = add(form, Rect(130, 30, 180, 80), clLime);
  Probe* holder = add(form, Rect(10, 80, 110, 140), clYellow);  // has a window inside
  Probe* inner = add(holder, Rect(5, 5, 45, 35), clFuchsia);
  add(form, Rect(200, 150, 260, 200), clAqua);                  // cut by the form's client
  ui.Pump();

  std::vector<TWindowPiece> pieces;
  TBitmap partial;
  partial.Assign(Application().WindowSurface(form, pieces));
  std::vector<const TWinControl*> windows;
  for (const TWindowPiece& p : pieces) windows.push_back(p.Window);
  EXPECT_EQ(windows, (std::vector<const TWinControl*>{framed, over, inner}));
  for (const TWindowPiece& p : pieces)
    ui_pvt::CopyPixels(p.Window->GetBackingBitmap(), p.Window->GetClientRect(), &partial, p.At.X, p.At.Y);
  TBitmap plain(form->GetWidth(), form->GetHeight(), pf24bit);
  form->DrawWindow(&plain, 0, 0);
  EXPECT_TRUE(_BitmapCompareX(&partial, &plain));
  EXPECT_TRUE(_BitmapCompareX(Application().WindowSurface(form), &plain));
  EXPECT_EQ(ui.SurfacePixel(form, 150, 40), clLime);

  // A piece's window going away takes its pixels with it: the form is composed again.
  delete over;
  ui.Pump();
  Application().WindowSurface(form, pieces);
  windows.clear();
  for (const TWindowPiece& p : pieces) windows.push_back(p.Window);
  EXPECT_EQ(windows, (std::vector<const TWinControl*>{framed, under, inner}));  // nothing covers the blue one now
  EXPECT_EQ(ui.SurfacePixel(form, 150, 40), clBlue);
  EXPECT_EQ(ui.SurfacePixel(form, 170, 70), clWhite);
}

TEST(UiWindow, FormsArePlacedAndTheFrontOneGetsTheMouse) {
  UiHarness ui;
  TForm a(nullptr), b(nullptr);
  a.SetBounds(0, 0, 200, 100);
  b.SetBounds(0, 0, 100, 60);
  a.SetPosition(poScreenCenter);
  a.Show();
  EXPECT_EQ(a.GetBoundsRect(), Bounds((Screen().GetWidth() - 200) / 2, (Screen().GetHeight() - 100) / 2, 200, 100));
  Application().CreateForm(&a);  // the main form
  b.SetPosition(poMainFormCenter);
  b.Show();
  EXPECT_EQ(b.GetLeft(), a.GetLeft() + 50);
  EXPECT_EQ(b.GetTop(), a.GetTop() + 20);

  // b was shown last: it is on top where the two overlap, until a is brought to the front.
  const TPoint p = a.ClientToScreen({100, 50});
  EXPECT_EQ(Application().WindowAt(p), &b);
  Application().BringToFront(&a);
  EXPECT_EQ(Application().WindowAt(p), &a);
  // Moving a form keeps its surface; a new size draws it again.
  TBitmap* before = Application().WindowSurface(&a);
  const uint8_t first = before->ScanLine(0)[0];
  a.SetBounds(a.GetLeft() + 5, a.GetTop(), 200, 100);
  EXPECT_EQ(Application().WindowSurface(&a)->ScanLine(0)[0], first);
  a.SetBounds(a.GetLeft(), a.GetTop(), 150, 100);
  EXPECT_EQ(Application().WindowSurface(&a)->GetWidth(), 150);
  a.Hide();
  b.Hide();
}

}  // namespace
}  // namespace corvex
