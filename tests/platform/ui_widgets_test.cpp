// The dialog widgets driven through the window harness: scripts of keys and clicks with the state
// and a few pixels each must end in. Dialog keys on a form (tab order, default and cancel buttons,
// accelerators, ShowModal ended by keys), message boxes, buttons and check boxes, the radio group,
// the speed-button group and the track bar.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/dialogs.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

TColor Sys(TColor c) { return ColorToRGB(c); }
TPoint Centre(const TRect& r) { return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2}; }

// Runs the steps one per idle turn of a modal loop; the loop ends by itself once they are done.
struct IdleScript {
  explicit IdleScript(std::vector<std::function<void()>> s) : steps(std::move(s)) {
    Application().OnIdle = [this] {
      if (next >= steps.size()) return false;
      steps[next++]();
      return true;
    };
  }
  ~IdleScript() { Application().OnIdle = nullptr; }
  std::vector<std::function<void()>> steps;
  size_t next = 0;
};

struct Counter {
  int n = 0;
  void Hit(TObject*) { ++n; }
  TNotifyEvent Event() { return TNotifyEvent(this, &Counter::Hit); }
};

template <class T>
T* Add(TWinControl* Parent, int X, int Y, int W, int H, const std::string& Caption = {}) {
  auto* c = new T(Parent);
  if (!Caption.empty()) c->SetCaption(Caption);
  c->SetBounds(X, Y, W, H);
  c->SetParent(Parent);
  return c;
}

TEST(WidgetDialogKeys, TabOrderAcceleratorsDefaultAndCancel) {
  UiHarness ui;
  TForm* form = ui.NewForm(400, 240);
  auto* a = Add<TEdit>(form, 80, 10, 120, 22);
  auto* b = Add<TEdit>(form, 80, 40, 120, 22);
  a->SetTabOrder(1);
  b->SetTabOrder(0);  // before a, though created after it
  auto* label = Add<TLabel>(form, 10, 14, 60, 16, "&Name:");
  label->SetFocusControl(a);
  auto* panel = Add<TPanel>(form, 10, 70, 200, 60);
  auto* check = Add<TCheckBox>(panel, 10, 10, 120, 17, "&Check me");
  auto* off = Add<TButton>(form, 220, 10, 75, 25, "Off");
  off->SetEnabled(false);
  auto* hidden = Add<TEdit>(form, 220, 40, 75, 22);
  hidden->SetVisible(false);
  auto* ok = Add<TButton>(form, 220, 200, 75, 25, "OK");
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  auto* cancel = Add<TButton>(form, 300, 200, 75, 25, "Cancel");
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  Counter okClicks, checkClicks;
  ok->OnClick = okClicks.Event();
  check->OnClick = checkClicks.Event();
  ui.Pump();

  // Tab from the form itself: TabOrder first, then creation order, into the panel, skipping the
  // disabled and the hidden control, wrapping round; Shift+Tab walks back.
  auto focus = [] { return Application().GetFocusedControl(); };
  const std::vector<TWinControl*> order = {b, a, check, ok, cancel, b};
  for (TWinControl* expected : order) {
    ui.Key(VK_TAB);
    EXPECT_EQ(focus(), expected);
  }
  ui.Key(VK_TAB, {ssShift});
  EXPECT_EQ(focus(), cancel);
  ui.Key(VK_TAB, {ssShift});
  EXPECT_EQ(focus(), ok);

  // Accelerators: a label focuses its control, a check box toggles and takes the focus.
  ui.Key('N', {ssAlt});
  EXPECT_EQ(focus(), a);
  ui.Key('C', {ssAlt});
  EXPECT_EQ(focus(), check);
  EXPECT_TRUE(check->GetChecked());
  EXPECT_EQ(checkClicks.n, 1);

  // Enter on an edit clicks the default button, whose frame is black meanwhile; on another button
  // Enter clicks that one and the default frame moves with the focus.
  a->SetFocus();
  EXPECT_EQ(ui.Pixel(ok, 0, 0), Sys(clWindowFrame));
  EXPECT_TRUE(ok->IsActiveDefault());
  ui.Key(VK_RETURN);
  EXPECT_EQ(okClicks.n, 1);
  EXPECT_EQ(form->GetModalResult(), mrOk);
  form->SetModalResult(mrNone);
  cancel->SetFocus();
  EXPECT_FALSE(ok->IsActiveDefault());
  EXPECT_NE(ui.Pixel(ok, 0, 0), Sys(clWindowFrame));
  EXPECT_EQ(ui.Pixel(cancel, 0, 0), Sys(clWindowFrame));
  ui.Key(VK_RETURN);
  EXPECT_EQ(okClicks.n, 1);
  EXPECT_EQ(form->GetModalResult(), mrCancel);
  form->SetModalResult(mrNone);
  a->SetFocus();
  ui.Key(VK_ESCAPE);
  EXPECT_EQ(form->GetModalResult(), mrCancel);
}

TEST(WidgetDialogKeys, ShowModalEndsByEnterEscapeAndNotWhileAComboListIsOpen) {
  UiHarness ui;
  auto form = std::make_unique<TForm>(nullptr);
  form->SetBounds(100, 100, 300, 200);
  auto* edit = Add<TEdit>(form.get(), 10, 10, 150, 22);
  auto* combo = Add<TComboBox>(form.get(), 10, 40, 150, 22);
  combo->SetItems({"one", "two", "three"});
  auto* ok = Add<TButton>(form.get(), 130, 160, 75, 25, "OK");
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  auto* cancel = Add<TButton>(form.get(), 210, 160, 75, 25, "Cancel");
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);

  {
    IdleScript s({[&] { EXPECT_EQ(Application().GetFocusedControl(), edit); },
                  [&] { ui.Type(U"hi"); },
                  [&] { ui.Key(VK_RETURN); }});
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(edit->GetText(), "hi");
  }
  {
    // Escape first closes the open list (the form goes on), then cancels the form.
    IdleScript s({[&] { combo->SetFocus(); },
                  [&] { ui.Key(VK_DOWN, {ssAlt}); },
                  [&] {
                    EXPECT_TRUE(combo->GetDroppedDown());
                    ui.Key(VK_ESCAPE);
                  },
                  [&] {
                    EXPECT_FALSE(combo->GetDroppedDown());
                    EXPECT_EQ(form->GetModalResult(), mrNone);
                    ui.Key(VK_ESCAPE);
                  }});
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(s.next, 4u);
  }
  {
    // Enter in the open list chooses the item and leaves the form open; the next Enter ends it.
    IdleScript s({[&] { combo->SetFocus(); },
                  [&] { ui.Key(VK_F4); },
                  [&] { ui.Key(VK_DOWN); },
                  [&] { ui.Key(VK_RETURN); },
                  [&] {
                    EXPECT_EQ(form->GetModalResult(), mrNone);
                    EXPECT_EQ(combo->GetText(), "one");
                    ui.Key(VK_RETURN);
                  }});
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(s.next, 5u);
  }
}

TEST(WidgetMessageDlg, ButtonsDefaultsAndResults) {
  UiHarness ui;
  TForm* shown = nullptr;
  {
    // Default Yes, focus moves to No by Tab and Enter clicks the focused button.
    IdleScript s({[&] {
                    shown = Screen().GetActiveForm();
                    ASSERT_NE(shown, nullptr);
                    EXPECT_EQ(shown->GetCaption(), "Confirmation");
                    auto* yes = dynamic_cast<TButton*>(shown->FindComponent("Yes"));
                    ASSERT_NE(yes, nullptr);
                    EXPECT_TRUE(yes->GetDefault());
                    EXPECT_EQ(Application().GetFocusedControl(), yes);
                    ui.Key(VK_TAB);
                  },
                  [&] { ui.Key(VK_RETURN); }});
    EXPECT_EQ(MessageDlg("Save the changes?", mtConfirmation, mbYesNoCancel, 0), mrNo);
  }
  {
    // Without a Cancel button Escape gives No; Alt+the Retry letter clicks Retry.
    IdleScript s({[&] { ui.Key(VK_ESCAPE); }});
    EXPECT_EQ(MessageDlg("Overwrite?", mtWarning, {mbYes, mbNo}, 0), mrNo);
  }
  {
    IdleScript s({[&] { ui.Key('R', {ssAlt}); }});
    EXPECT_EQ(MessageDlg("Disk error", mtError, mbAbortRetryIgnore, 0), mrRetry);
  }
  {
    // Help does not close; nothing left to do ends the loop with mrCancel.
    IdleScript s({[&] {
      auto* help = dynamic_cast<TButton*>(Screen().GetActiveForm()->FindComponent("Help"));
      ASSERT_NE(help, nullptr);
      ui.Click(help, 5, 5);
    }});
    EXPECT_EQ(MessageDlg("Help?", mtInformation, {mbOK, mbHelp}, 0), mrCancel);
    EXPECT_EQ(s.next, 1u);
  }
  {
    IdleScript s({[&] { ui.Key(VK_RETURN); }});
    ShowMessage("Done & dusted");
    EXPECT_EQ(s.next, 1u);
  }
  // The dialog's pixels: the icon's disc and the face around it.
  std::unique_ptr<TForm> dlg(CreateMessageDialog("Text", mtInformation, {mbOK}));
  dlg->Show();
  auto* icon = dynamic_cast<TImage*>(dlg->FindComponent("Image"));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(ui.Pixel(icon, 0, 0), Sys(clBtnFace));
  EXPECT_NE(ui.Pixel(icon, icon->GetWidth() / 2, icon->GetHeight() - 4), Sys(clBtnFace));
  EXPECT_GE(dlg->GetClientWidth(), dynamic_cast<TButton*>(dlg->FindComponent("OK"))->GetWidth());
  // A text of thousands of lines makes a dialog no taller than the screen.
  std::string huge;
  for (int i = 0; i < 5000; ++i) huge += "line\n";
  std::unique_ptr<TForm> tall(CreateMessageDialog(huge, mtError, {mbOK}));
  EXPECT_LE(tall->GetHeight(), Screen().GetHeight());
}

TEST(WidgetButtons, SpaceMouseAndCheckBoxCycle) {
  UiHarness ui;
  TForm* form = ui.NewForm(300, 120);
  auto* button = Add<TButton>(form, 10, 10, 80, 26, "&Go");
  auto* check = Add<TCheckBox>(form, 10, 50, 120, 17, "Check");
  Counter clicks, checks;
  button->OnClick = clicks.Event();
  check->OnClick = checks.Event();
  button->SetFocus();
  // Space pushes the button in (the face turns to its pressed frame) and clicks on release.
  Application().KeyInput(VK_SPACE, false, U' ');
  EXPECT_TRUE(button->GetPressed());
  EXPECT_EQ(ui.Pixel(button, 1, 1), Sys(clBtnShadow));
  EXPECT_EQ(clicks.n, 0);
  Application().KeyInput(VK_SPACE, true);
  EXPECT_EQ(clicks.n, 1);
  EXPECT_FALSE(button->GetPressed());
  // A press dragged off the button and released outside does not click.
  ui.Press(button, 5, 5);
  ui.Move(button, 200, 5);
  EXPECT_FALSE(button->GetPressed());
  ui.ReleaseAt(button, 200, 5);
  EXPECT_EQ(clicks.n, 1);
  ui.Click(button, 5, 5);
  EXPECT_EQ(clicks.n, 2);

  // The check box: clicks, Space, and code all fire OnClick once per change of State.
  const TRect box = check->GetBoxRect();
  auto inked = [&](TColor ink) {
    int n = 0;
    for (int y = box.Top + 2; y < box.Bottom - 2; ++y)
      for (int x = box.Left + 2; x < box.Right - 2; ++x) n += ui.Pixel(check, x, y) == Sys(ink);
    return n;
  };
  EXPECT_EQ(inked(clWindowText), 0);
  ui.Click(check, 40, 8);
  EXPECT_TRUE(check->GetChecked());
  EXPECT_GE(inked(clWindowText), 15);  // the tick
  EXPECT_EQ(ui.Pixel(check, box.Left + 2, box.Top + 2), Sys(clWindow));
  ui.Key(VK_SPACE, {}, U' ');
  EXPECT_EQ(check->GetState(), cbUnchecked);
  check->SetAllowGrayed(true);
  check->SetChecked(true);
  ui.Key(VK_SPACE, {}, U' ');
  EXPECT_EQ(check->GetState(), cbGrayed);
  check->SetState(cbGrayed);  // no change, no event
  EXPECT_EQ(checks.n, 4);
}

TEST(WidgetRadio, GroupArrowsClicksAndButtons) {
  UiHarness ui;
  TForm* form = ui.NewForm(420, 200);
  auto* group = Add<TRadioGroup>(form, 10, 10, 200, 90, "&Align");
  group->SetItems({"&Left", "&Centre", "&Right", "&Justify"});
  group->SetColumns(2);
  Counter clicks;
  group->OnClick = clicks.Event();
  group->SetItemIndex(0);  // by code: fires too
  EXPECT_EQ(clicks.n, 1);
  group->SetFocus();
  const std::vector<std::pair<uint16_t, int>> steps = {{VK_DOWN, 1}, {VK_RIGHT, 2}, {VK_UP, 1}, {VK_END, 1},
                                                        {VK_DOWN, 2}, {VK_DOWN, 3}, {VK_DOWN, 0}, {VK_LEFT, 3}};
  for (auto [key, index] : steps) {
    ui.Key(key);
    EXPECT_EQ(group->GetItemIndex(), index) << key;
  }
  EXPECT_EQ(clicks.n, 1 + 7);
  // Items run down the first column first: item 2 stands right of item 0.
  EXPECT_GT(group->GetItemRect(2).Left, group->GetItemRect(0).Left);
  EXPECT_EQ(group->GetItemRect(2).Top, group->GetItemRect(0).Top);
  const TRect r1 = group->GetItemRect(1);
  ui.Click(group, r1.Left + 30, Centre(r1).Y);
  EXPECT_EQ(group->GetItemIndex(), 1);
  ui.Key('J', {ssAlt});
  EXPECT_EQ(group->GetItemIndex(), 3);
  // The dot of the chosen item only.
  const int s = ScaleToScreen(13);
  auto dot = [&](int i) {
    const TRect r = group->GetItemRect(i);
    return ui.Pixel(group, r.Left + s / 2, r.Top + (r.Height() - s) / 2 + s / 2);
  };
  EXPECT_EQ(dot(3), Sys(clWindowText));
  EXPECT_EQ(dot(1), Sys(clWindow));

  // Radio buttons of one parent: checking one clears the others; arrows move and check; only the
  // checked one is a tab stop.
  auto* r1b = Add<TRadioButton>(form, 230, 10, 120, 17, "One");
  auto* r2b = Add<TRadioButton>(form, 230, 30, 120, 17, "Two");
  auto* r3b = Add<TRadioButton>(form, 230, 50, 120, 17, "Three");
  EXPECT_TRUE(r1b->GetTabStop());
  EXPECT_FALSE(r2b->GetTabStop());
  ui.Click(r2b, 5, 8);
  EXPECT_TRUE(r2b->GetChecked());
  EXPECT_EQ(Application().GetFocusedControl(), r2b);
  ui.Key(VK_DOWN);
  EXPECT_TRUE(r3b->GetChecked());
  EXPECT_FALSE(r2b->GetChecked());
  EXPECT_EQ(Application().GetFocusedControl(), r3b);
  EXPECT_TRUE(r3b->GetTabStop());
  EXPECT_FALSE(r1b->GetTabStop());
}

TEST(WidgetSpeedButton, GroupStaysDownAndAllowAllUp) {
  UiHarness ui;
  TForm* form = ui.NewForm(200, 60);
  std::vector<TSpeedButton*> group;
  Counter clicks;
  for (int i = 0; i < 3; ++i) {
    auto* b = Add<TSpeedButton>(form, 10 + 30 * i, 10, 25, 24);
    b->SetGroupIndex(1);
    b->OnClick = clicks.Event();
    group.push_back(b);
  }
  auto* plain = Add<TSpeedButton>(form, 120, 10, 25, 24);
  plain->OnClick = clicks.Event();
  auto downs = [&] { return std::vector<bool>{group[0]->GetDown(), group[1]->GetDown(), group[2]->GetDown()}; };

  ui.Click(group[0], 5, 5);
  EXPECT_EQ(downs(), (std::vector<bool>{true, false, false}));
  ui.Click(group[1], 5, 5);
  EXPECT_EQ(downs(), (std::vector<bool>{false, true, false}));
  ui.Click(group[1], 5, 5);  // stays down without AllowAllUp, still clicks
  EXPECT_EQ(downs(), (std::vector<bool>{false, true, false}));
  group[1]->SetDown(false);  // nor can code raise it
  EXPECT_TRUE(group[1]->GetDown());
  group[2]->SetAllowAllUp(true);  // shared by the group
  EXPECT_TRUE(group[0]->GetAllowAllUp());
  ui.Click(group[1], 5, 5);
  EXPECT_EQ(downs(), (std::vector<bool>{false, false, false}));
  group[2]->SetDown(true);  // by code: the group follows, no click
  EXPECT_EQ(downs(), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(clicks.n, 4);
  // A held-down button shows the dither; a plain one springs back and a drag off it does not click.
  EXPECT_EQ(ui.Pixel(group[2], 4, 4), Sys(clBtnHighlight));
  ui.Click(plain, 5, 5);
  EXPECT_FALSE(plain->GetDown());
  ui.Press(plain, 5, 5);
  EXPECT_TRUE(plain->GetPressed());
  ui.Move(plain, 50, 50);
  EXPECT_FALSE(plain->GetPressed());
  ui.ReleaseAt(plain, 50, 50);
  EXPECT_EQ(clicks.n, 5);
}

TEST(WidgetTrackBar, KeysPageClicksOnTheClockAndThumbDrag) {
  UiHarness ui;
  TForm* form = ui.NewForm(260, 80);
  auto* tb = Add<TTrackBar>(form, 10, 10, 220, 45);
  tb->SetMax(20);
  tb->SetLineSize(2);
  tb->SetPageSize(5);
  Counter changes;
  tb->OnChange = changes.Event();
  tb->SetFocus();
  const std::vector<std::pair<uint16_t, int>> keys = {{VK_RIGHT, 2}, {VK_DOWN, 4},  {VK_LEFT, 2}, {VK_NEXT, 7},
                                                       {VK_PRIOR, 2}, {VK_END, 20}, {VK_RIGHT, 20}, {VK_HOME, 0}};
  for (auto [key, pos] : keys) {
    ui.Key(key);
    EXPECT_EQ(tb->GetPosition(), pos) << key;
  }
  EXPECT_EQ(changes.n, 7);
  tb->SetPosition(99);  // by code: clamped, and OnChange fires
  EXPECT_EQ(tb->GetPosition(), 20);
  EXPECT_EQ(changes.n, 8);
  tb->SetPosition(0);

  // A press on the channel pages at once, again after 400 ms and every 100 ms, until the thumb
  // reaches the pointer.
  const int y = Centre(tb->GetChannelRect()).Y;
  const int x = tb->PositionToPixel(15);
  ui.Move(tb, x, y);
  ui.Press(tb, x, y);
  EXPECT_EQ(tb->GetPosition(), 5);
  ui.Advance(399);
  EXPECT_EQ(tb->GetPosition(), 5);
  ui.Advance(1);
  EXPECT_EQ(tb->GetPosition(), 10);
  ui.Advance(100);
  EXPECT_EQ(tb->GetPosition(), 15);
  ui.Advance(500);
  EXPECT_EQ(tb->GetPosition(), 15);
  ui.ReleaseAt(tb, x, y);
  // Channel pixels: the window colour inside, the thumb's face over it.
  const TRect ch = tb->GetChannelRect();
  EXPECT_EQ(ui.Pixel(tb, ch.Left + 3, ch.Top), Sys(clBtnShadow));
  EXPECT_EQ(ui.Pixel(tb, ch.Left + 3, ch.Bottom - 1), Sys(clBtnHighlight));
  const TRect thumb = tb->GetThumbRect();
  EXPECT_EQ(ui.Pixel(tb, Centre(thumb).X, Centre(ch).Y), Sys(clBtnFace));

  // Dragging the thumb: Position follows the pointer, rounded to the nearest value.
  ui.Drag(tb, Centre(thumb).X, Centre(thumb).Y, tb->PositionToPixel(8) + 1, Centre(thumb).Y);
  EXPECT_EQ(tb->GetPosition(), 8);
  ui.Drag(tb, tb->PositionToPixel(8), Centre(thumb).Y, 1000, Centre(thumb).Y);
  EXPECT_EQ(tb->GetPosition(), 20);
  // The other orientation swaps the sides and keys keep their sense.
  tb->SetOrientation(trVertical);
  EXPECT_EQ(tb->GetWidth(), 45);
  ui.Key(VK_UP);
  EXPECT_EQ(tb->GetPosition(), 18);
  EXPECT_LT(tb->PositionToPixel(0), tb->PositionToPixel(18));
}

TEST(WidgetLook, LabelsPanelsGroupBoxesAndScaling) {
  UiHarness ui;
  TForm* form = ui.NewForm(320, 200);
  auto* panel = Add<TPanel>(form, 10, 10, 140, 80);
  panel->SetColor(clRed);
  panel->SetBevelInner(bvLowered);
  auto* label = Add<TLabel>(panel, 60, 20, 5, 5, "&Hello");
  TCanvas m;
  m.SetFont(label->GetFont());
  // Auto size: exactly the text, "&" not counted; a right-aligned label keeps its right edge.
  EXPECT_EQ(label->GetWidth(), m.TextWidth("Hello"));
  EXPECT_EQ(label->GetHeight(), m.TextHeight("Hello"));
  label->SetAlignment(taRightJustify);
  const int right = label->GetLeft() + label->GetWidth();
  label->SetCaption("Hello, you");
  EXPECT_EQ(label->GetLeft() + label->GetWidth(), right);
  // Opaque in its own colour, or the panel showing through.
  EXPECT_EQ(ui.Pixel(label, 0, 0), Sys(clBtnFace));
  label->SetTransparent(true);
  EXPECT_EQ(ui.Pixel(label, 0, 0), Sys(clRed));
  // Word wrap keeps the width and grows the height by whole lines.
  auto* wrapped = new TLabel(form);
  wrapped->SetWordWrap(true);
  wrapped->SetBounds(160, 10, 60, 0);
  wrapped->SetCaption("one two three four");
  wrapped->SetParent(form);
  EXPECT_EQ(wrapped->GetWidth(), 60);
  EXPECT_GE(wrapped->GetHeight(), 2 * m.TextHeight("x"));
  EXPECT_EQ(wrapped->GetHeight() % m.TextHeight("x"), 0);
  // Bevels: raised outside, lowered inside.
  EXPECT_EQ(ui.Pixel(panel, 0, 0), Sys(clBtnHighlight));
  EXPECT_EQ(ui.Pixel(panel, 139, 79), Sys(clBtnShadow));
  EXPECT_EQ(ui.Pixel(panel, 1, 1), Sys(clBtnShadow));
  EXPECT_EQ(ui.Pixel(panel, 2, 2), Sys(clRed));
  // The group box's etched line, below the caption's middle, and the caption cut into it.
  auto* box = Add<TGroupBox>(form, 10, 100, 140, 80, "Box");
  const int line = m.TextHeight("x") / 2;
  EXPECT_EQ(ui.Pixel(box, 2, line), Sys(clBtnShadow));
  EXPECT_EQ(ui.Pixel(box, 2, line + 1), Sys(clBtnHighlight));
  EXPECT_EQ(ui.Pixel(box, ScaleToScreen(8) - 1, line), Sys(clBtnFace));
  // A disabled button's caption is grey.
  auto* off = Add<TButton>(form, 160, 100, 100, 30, "Disabled");
  off->SetEnabled(false);
  int grey = 0, black = 0;
  for (int y = 2; y < 28; ++y)
    for (int x = 2; x < 98; ++x) {
      grey += ui.Pixel(off, x, y) == Sys(clGrayText);
      black += ui.Pixel(off, x, y) == Sys(clBtnText);
    }
  EXPECT_GT(grey, 10);
  EXPECT_EQ(black, 0);

  // At 192 dpi the fixed metrics double.
  const int dpiX = gSystemDPIX, dpiY = gSystemDPIY;
  gSystemDPIX = gSystemDPIY = 192;
  TCheckBox check(nullptr);
  TButton button(nullptr);
  TTrackBar track(nullptr);
  EXPECT_EQ(check.GetBoxRect().Width(), 26);
  EXPECT_EQ(button.GetWidth(), 150);
  EXPECT_EQ(button.GetHeight(), 50);
  EXPECT_EQ(track.GetThumbRect().Width(), 22);
  gSystemDPIX = dpiX;
  gSystemDPIY = dpiY;
}

}  // namespace
}  // namespace corvex
