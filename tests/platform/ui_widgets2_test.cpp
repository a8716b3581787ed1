// The list widgets, the spin edit and the page control driven through the window harness: key and
// mouse scripts with the state and pixels they end in, the combo box's popup list included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "tests/common/ui_harness.h"

namespace corvex {
namespace {

using testing_support::UiHarness;

TColor Sys(TColor c) { return ColorToRGB(c); }

struct Counter {
  int n = 0;
  void Hit(TObject*) { ++n; }
  TNotifyEvent Event() { return TNotifyEvent(this, &Counter::Hit); }
};

template <class T>
T* Add(TWinControl* Parent, int X, int Y, int W, int H) {
  auto* c = new T(Parent);
  c->SetBounds(X, Y, W, H);
  c->SetParent(Parent);
  return c;
}

TEST(WidgetComboBox, KeyboardAndTheOpenList) {
  UiHarness ui;
  TForm* form = ui.NewForm(300, 260);
  auto* combo = Add<TComboBox>(form, 10, 10, 150, 22);
  combo->SetStyle(csDropDownList);
  combo->SetItems({"Apple", "Banana", "Cherry", "Date", "Elder", "Fig"});
  combo->SetDropDownCount(4);
  auto* below = Add<TButton>(form, 10, 200, 75, 25);
  Counter changes, selects, buttonClicks;
  combo->OnChange = changes.Event();
  combo->OnSelect = selects.Event();
  below->OnClick = buttonClicks.Event();
  combo->SetFocus();

  // Closed: the arrows and Home / End choose, a typed letter finds the next item with it.
  const std::vector<std::pair<uint16_t, int>> keys = {{VK_DOWN, 0}, {VK_DOWN, 1}, {VK_END, 5}, {VK_UP, 4}, {VK_HOME, 0}};
  for (auto [key, index] : keys) {
    ui.Key(key);
    EXPECT_EQ(combo->GetItemIndex(), index) << key;
  }
  ui.Type(U"c");
  EXPECT_EQ(combo->GetText(), "Cherry");
  EXPECT_EQ(changes.n, 6);
  EXPECT_EQ(selects.n, 6);
  combo->SetItemIndex(1);  // code fires nothing
  EXPECT_EQ(changes.n, 6);
  // The focused list-style box shows its item highlighted.
  EXPECT_EQ(ui.Pixel(combo, 2, combo->GetClientHeight() / 2), Sys(clHighlight));

  // Alt+Down opens under the box, the highlight on the item; arrows move only the highlight, Enter
  // chooses; F4 opens and Escape closes without a change.
  ui.Key(VK_DOWN, {ssAlt});
  TComboListPopup* popup = combo->GetListPopup();
  ASSERT_TRUE(combo->GetDroppedDown());
  EXPECT_EQ(Application().GetPopup(), popup);
  EXPECT_EQ(popup->GetTop(), combo->ClientToScreen({0, 0}).Y + combo->GetClientHeight() + 2);
  EXPECT_TRUE(popup->ScrollBarState(SB_VERT).Visible);  // 6 items, 4 rows
  EXPECT_EQ(Application().GetFocusedControl(), combo);
  ui.Key(VK_DOWN);
  ui.Key(VK_DOWN);
  EXPECT_EQ(popup->GetHighlight(), 3);
  EXPECT_EQ(combo->GetItemIndex(), 1);
  const TRect hi = popup->ItemRect(3);
  EXPECT_EQ(ui.Pixel(popup, hi.Left + 1, hi.Top + 1), Sys(clHighlight));
  ui.Key(VK_RETURN);
  EXPECT_FALSE(combo->GetDroppedDown());
  EXPECT_EQ(combo->GetText(), "Date");
  EXPECT_EQ(selects.n, 7);
  ui.Key(VK_F4);
  ui.Key(VK_UP);
  ui.Key(VK_ESCAPE);
  EXPECT_FALSE(combo->GetDroppedDown());
  EXPECT_EQ(combo->GetItemIndex(), 3);

  // A click opens the list; a click on an item chooses it.
  ui.Click(combo, 20, 8);
  ASSERT_TRUE(combo->GetDroppedDown());
  const TRect apple = popup->ItemRect(0);
  ui.Click(popup, apple.Left + 5, apple.Top + 3);
  EXPECT_FALSE(combo->GetDroppedDown());
  EXPECT_EQ(combo->GetItemIndex(), 0);
  // Press on the box, drag into the list and release on an item.
  ui.Move(combo, 20, 8);
  ui.Press(combo, 20, 8);
  ASSERT_TRUE(combo->GetDroppedDown());
  const TPoint banana = combo->ScreenToClient(popup->ClientToScreen({5, popup->ItemRect(1).Top + 3}));
  ui.Move(combo, banana.X, banana.Y);
  EXPECT_EQ(popup->GetHighlight(), 1);
  ui.ReleaseAt(combo, banana.X, banana.Y);
  EXPECT_EQ(combo->GetText(), "Banana");
  // A click outside closes the list and goes no further: the button under it is not clicked.
  ui.Key(VK_F4);
  ui.Click(below, 10, 10);
  EXPECT_FALSE(combo->GetDroppedDown());
  EXPECT_EQ(Application().GetPopup(), nullptr);
  EXPECT_EQ(buttonClicks.n, 0);
  EXPECT_EQ(combo->GetItemIndex(), 1);

  // The edit style: typing fires OnChange and finds the item equal to the text.
  auto* edit = Add<TComboBox>(form, 10, 60, 150, 22);
  edit->SetItems({"Small", "Medium", "Large"});
  Counter editChanges;
  edit->OnChange = editChanges.Event();
  edit->SetFocus();
  EXPECT_EQ(Application().GetFocusedControl(), edit->GetEdit());
  ui.Type(U"med");
  EXPECT_EQ(edit->GetItemIndex(), -1);
  ui.Type(U"ium");
  EXPECT_EQ(edit->GetItemIndex(), 1);
  EXPECT_EQ(edit->GetText(), "medium");
  EXPECT_EQ(editChanges.n, 6);
  ui.Key(VK_DOWN);
  EXPECT_EQ(edit->GetText(), "Large");
  ui.Key(VK_TAB);  // leaving it closes nothing and moves on
  EXPECT_NE(Application().GetFocusedControl(), edit->GetEdit());

  // However many rows are asked for, the list is no taller than the screen.
  std::vector<std::string> many(5000, "item");
  edit->SetItems(many);
  edit->SetDropDownCount(100000);
  edit->SetDroppedDown(true);
  EXPECT_LE(edit->GetListPopup()->GetHeight(), Screen().GetHeight());
  edit->SetDroppedDown(false);
}

TEST(WidgetListBox, KeysTypeToFindClicksAndMultiSelect) {
  UiHarness ui;
  TForm* form = ui.NewForm(300, 260);
  auto* list = Add<TListBox>(form, 10, 10, 150, 100);
  list->SetItemHeight(16);
  list->SetSorted(true);
  for (const char* s : {"charlie", "Bravo", "alpha", "Beta", "delta", "echo", "foxtrot", "golf", "hotel", "india"})
    list->AddItem(s);
  ASSERT_EQ(list->GetItems()[0], "alpha");
  ASSERT_EQ(list->GetItems()[2], "Bravo");
  Counter clicks, dbl;
  list->OnClick = clicks.Event();
  list->OnDblClick = dbl.Event();
  const int visible = list->VisibleItemCount();  // 96 / 16
  EXPECT_EQ(visible, 6);
  EXPECT_TRUE(list->ScrollBarState(SB_VERT).Visible);
  list->SetFocus();

  const std::vector<std::pair<uint16_t, int>> keys = {{VK_DOWN, 0}, {VK_DOWN, 1}, {VK_NEXT, 6}, {VK_END, 9},
                                                       {VK_UP, 8},   {VK_HOME, 0}, {VK_UP, 0}};
  for (auto [key, index] : keys) {
    ui.Key(key);
    EXPECT_EQ(list->GetItemIndex(), index) << key;
    EXPECT_GE(index, list->GetTopIndex());
    EXPECT_LT(index, list->GetTopIndex() + visible);
  }
  EXPECT_EQ(clicks.n, 6);
  // Type-to-find: "b" twice steps through the b-items; after a pause "de" finds delta.
  ui.Type(U"b");
  EXPECT_EQ(list->GetItemIndex(), 1);
  ui.Type(U"b");
  EXPECT_EQ(list->GetItemIndex(), 2);
  ui.Advance(1001);
  ui.Type(U"de");
  EXPECT_EQ(list->GetItemIndex(), 4);
  ui.Advance(1001);
  ui.Type(U"zz");
  EXPECT_EQ(list->GetItemIndex(), 4);

  // Clicks select the row under the pointer; a double click on an item fires OnDblClick.
  list->SetTopIndex(2);
  ui.Advance(1000);
  ui.Click(list, 20, 16 * 1 + 5);
  EXPECT_EQ(list->GetItemIndex(), 3);
  EXPECT_EQ(ui.Pixel(list, 5, 16 + 2), Sys(clHighlight));
  EXPECT_EQ(ui.Pixel(list, 5, 2), Sys(clWindow));
  ui.DoubleClick(list, 20, 5);
  EXPECT_EQ(dbl.n, 1);
  list->SetItemIndex(7);  // by code: no OnClick
  const int before = clicks.n;
  ui.Wheel(list, -1, 10, 10);
  EXPECT_EQ(list->GetTopIndex(), 4);
  EXPECT_EQ(clicks.n, before);

  // Multi-select: Shift extends from the anchor, Ctrl toggles, Space toggles the focused item.
  list->SetMultiSelect(true);
  list->SetTopIndex(0);
  ui.Click(list, 20, 16 * 1 + 5);
  ui.Click(list, 20, 16 * 4 + 5, mbLeft, {ssShift});
  EXPECT_EQ(list->GetSelCount(), 4);
  ui.Click(list, 20, 16 * 2 + 5, mbLeft, {ssCtrl});
  ui.Move(list, 20, 16 * 2 + 5);  // Ctrl let go
  EXPECT_FALSE(list->GetSelected(2));
  EXPECT_EQ(list->GetSelCount(), 3);
  ui.Key(VK_SPACE, {}, U' ');
  EXPECT_TRUE(list->GetSelected(2));
  ui.Key(VK_DOWN, {ssShift});
  EXPECT_EQ(list->GetItemIndex(), 3);
  EXPECT_EQ(list->GetSelCount(), 2);  // anchor 2 .. 3
  list->DeleteItem(2);
  EXPECT_EQ(list->GetItemIndex(), 2);
  EXPECT_EQ(list->GetSelCount(), 1);
}

TEST(WidgetSpinEdit, TypingArrowsButtonsAndExit) {
  UiHarness ui;
  TForm* form = ui.NewForm(300, 100);
  auto* spin = Add<TSpinEdit>(form, 10, 10, 100, 24);
  auto* other = Add<TEdit>(form, 150, 10, 100, 22);
  spin->SetMinValue(0);
  spin->SetMaxValue(100);
  spin->SetIncrement(5);
  spin->SetValue(5);
  Counter changes;
  spin->OnChange = changes.Event();
  spin->SetFocus();
  EXPECT_EQ(Application().GetFocusedControl(), spin->GetEdit());

  ui.Key(VK_UP);
  EXPECT_EQ(spin->GetValue(), 10);
  ui.Key(VK_DOWN);
  EXPECT_EQ(spin->GetValue(), 5);
  ui.Key(VK_PRIOR);
  EXPECT_EQ(spin->GetValue(), 55);
  EXPECT_EQ(spin->GetText(), "55");
  // The step selected the text: typing replaces it; letters are refused.
  ui.Type(U"7x");
  EXPECT_EQ(spin->GetText(), "7");
  EXPECT_EQ(spin->GetValue(), 7);
  ui.Key(VK_BACK);
  EXPECT_EQ(spin->GetText(), "");
  EXPECT_EQ(spin->GetValue(), 7);  // not a number: Value stays
  ui.Type(U"-");
  EXPECT_EQ(spin->GetValue(), 7);
  ui.Key(VK_BACK);
  ui.Type(U"250");
  EXPECT_EQ(spin->GetValue(), 100);  // the nearest end
  EXPECT_EQ(spin->GetText(), "250");
  ui.Key(VK_TAB);  // leaving rewrites the text as Value
  EXPECT_EQ(Application().GetFocusedControl(), other);
  EXPECT_EQ(spin->GetText(), "100");
  const int typed = changes.n;
  EXPECT_EQ(typed, 3 + 1 + 1 + 1 + 1 + 3 + 1);  // steps, "7", "", "-", "", "250", exit

  // The buttons: a click steps once; held, it repeats after 400 ms and every 100 ms.
  const TRect up = spin->GetUpButtonRect(), down = spin->GetDownButtonRect();
  EXPECT_EQ(ui.Pixel(spin, up.Left + 2, up.Top + 2), Sys(clBtnFace));
  ui.Click(spin, down.Left + 4, down.Top + 3);
  EXPECT_EQ(spin->GetValue(), 95);
  EXPECT_EQ(Application().GetFocusedControl(), spin->GetEdit());
  ui.Move(spin, down.Left + 4, down.Top + 3);
  ui.Press(spin, down.Left + 4, down.Top + 3);
  EXPECT_EQ(spin->GetValue(), 90);
  ui.Advance(399);
  EXPECT_EQ(spin->GetValue(), 90);
  ui.Advance(200);  // repeats at 400 and 500 ms
  EXPECT_EQ(spin->GetValue(), 80);
  ui.ReleaseAt(spin, down.Left + 4, down.Top + 3);
  ui.Advance(1000);
  EXPECT_EQ(spin->GetValue(), 80);
  ui.Click(spin, up.Left + 4, up.Top + 3);
  EXPECT_EQ(spin->GetValue(), 85);
  spin->SetValue(-3);  // by code: clamped
  EXPECT_EQ(spin->GetText(), "0");
}

TEST(WidgetPageControl, TabsCtrlTabChangingAndFocus) {
  UiHarness ui;
  TForm* form = ui.NewForm(360, 260);
  auto* pc = Add<TPageControl>(form, 10, 10, 320, 220);
  std::vector<TEdit*> edits;
  for (const char* caption : {"First", "Second", "Third"}) {
    auto* sheet = new TTabSheet(form);
    sheet->SetCaption(caption);
    sheet->SetPageControl(pc);
    edits.push_back(Add<TEdit>(sheet, 10, 10, 100, 22));
  }
  ASSERT_EQ(pc->GetPageCount(), 3);
  EXPECT_EQ(pc->GetActivePageIndex(), 0);
  EXPECT_TRUE(pc->GetPage(0)->GetVisible());
  EXPECT_FALSE(pc->GetPage(1)->GetVisible());
  EXPECT_EQ(pc->GetPage(1)->GetBoundsRect(), pc->GetDisplayRect());
  Counter changes;
  pc->OnChange = changes.Event();
  bool refuse = false;
  int asked = 0;
  struct Guard {
    bool* refuse;
    int* asked;
    void Changing(TObject*, bool& Allow) {
      ++*asked;
      if (*refuse) Allow = false;
    }
  } guard{&refuse, &asked};
  pc->OnChanging = TTabChangingEvent(&guard, &Guard::Changing);

  // A click on a tab changes page and focuses the page control.
  const TRect tab1 = pc->GetTabRect(1);
  ui.Click(pc, tab1.Left + 5, tab1.Top + 5);
  EXPECT_EQ(pc->GetActivePageIndex(), 1);
  EXPECT_EQ(Application().GetFocusedControl(), pc);
  EXPECT_EQ(changes.n, 1);
  // The active tab merges with the frame; under another tab the frame's highlight line shows.
  const int frameTop = pc->GetDisplayRect().Top - ScaleToScreen(4);
  EXPECT_EQ(ui.Pixel(pc, (tab1.Left + tab1.Right) / 2, frameTop), Sys(clBtnFace));
  const TRect tab2 = pc->GetTabRect(2);
  EXPECT_EQ(ui.Pixel(pc, (tab2.Left + tab2.Right) / 2, frameTop), Sys(clBtnHighlight));

  // Tab goes into the page; Ctrl+Tab from there changes page and the focus goes to the control.
  ui.Key(VK_TAB);
  EXPECT_EQ(Application().GetFocusedControl(), edits[1]);
  ui.Key(VK_TAB, {ssCtrl});
  EXPECT_EQ(pc->GetActivePageIndex(), 2);
  EXPECT_EQ(Application().GetFocusedControl(), pc);
  ui.Key(VK_TAB, {ssCtrl});
  EXPECT_EQ(pc->GetActivePageIndex(), 0);  // wraps
  ui.Key(VK_TAB, {ssCtrl, ssShift});
  EXPECT_EQ(pc->GetActivePageIndex(), 2);
  ui.Key(VK_RIGHT);  // arrows stop at the last tab
  EXPECT_EQ(pc->GetActivePageIndex(), 2);
  ui.Key(VK_LEFT);
  EXPECT_EQ(pc->GetActivePageIndex(), 1);
  EXPECT_EQ(changes.n, 5);

  // OnChanging can refuse; code changes pages without asking or telling.
  refuse = true;
  ui.Click(pc, tab2.Left + 5, tab2.Top + 5);
  EXPECT_EQ(pc->GetActivePageIndex(), 1);
  const int askedBefore = asked;
  pc->SetActivePageIndex(0);
  EXPECT_EQ(pc->GetActivePageIndex(), 0);
  EXPECT_EQ(asked, askedBefore);
  EXPECT_EQ(changes.n, 5);

  // A hidden tab is skipped; removing the active page shows the next one.
  pc->GetPage(1)->SetTabVisible(false);
  EXPECT_TRUE(pc->GetTabRect(1).IsEmpty());
  EXPECT_EQ(pc->FindNextPage(pc->GetPage(0), true), pc->GetPage(2));
  delete pc->GetPage(0);
  EXPECT_EQ(pc->GetPageCount(), 2);
  EXPECT_EQ(pc->GetActivePage(), pc->GetPage(1));
  EXPECT_EQ(pc->GetPage(1)->GetCaption(), "Third");
}

}  // namespace
}  // namespace corvex
