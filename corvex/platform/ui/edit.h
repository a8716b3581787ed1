// TEdit: a single-line text box, headless, drawn like a plain desktop edit control.
//
// The text is UTF-8 (Text, from TControl). Positions (SelStart, SelLength, MaxLength, the caret)
// count code points, so a caret never stands inside a UTF-8 sequence; a byte that does not start
// a valid sequence counts as one position of its own, as the text drawing treats it.
//
// Keys (on the focused edit, after the owner's OnKeyDown had its chance):
//   Left / Right           a character; with Ctrl a word; with Shift the selection follows
//   Home / End             the start or end of the text (Shift extends)
//   Backspace / Delete     the selection, else the character (Ctrl: the word) before / after
//   Ctrl+A                 select all
//   Ctrl+C, Ctrl+Insert    copy the selection to the clipboard (CF_TEXT)
//   Ctrl+X, Shift+Delete   cut
//   Ctrl+V, Shift+Insert   paste (the first line of the clipboard text)
//   typed characters       WM_CHAR after the owner's OnKeyPress; control characters (below 32),
//                          Enter and Escape among them, are not inserted and stay the owner's
// Mouse: a press puts the caret at the nearest character boundary (Shift extends the selection),
// dragging selects (the edit holds the capture), a double click selects the word.
//
// Drawing: Color (clWindow) behind the text, the font colour (clWindowText) for the text,
// clGrayText while disabled, the selection in clHighlight / clHighlightText while focused, and a
// 1-pixel caret that inverts the pixels under it and blinks every 500 ms on a TTimer while
// focused (any edit or caret move shows it again). The text scrolls horizontally so that the caret
// column stays inside the client; GetScrollOffset and GetCaretPos tell where it stands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/ui/controls.h"

namespace corvex {

class TTimer;

class TEdit : public TCustomControl {
 public:
  explicit TEdit(TComponent* AOwner);
  ~TEdit() override;

  // The number of code points of Text.
  int GetTextLength() const { return static_cast<int>(Bounds_.size()) - 1; }
  // The most code points the user can type or paste; 0 is no limit. Text set by code is not cut.
  int GetMaxLength() const { return MaxLength_; }
  void SetMaxLength(int Value);
  // The selection: SelStart is its first position, SelLength its length (both in code points).
  // Setting SelStart moves the caret there and empties the selection; setting SelLength selects
  // that many code points from SelStart (negative: backwards).
  int GetSelStart() const;
  void SetSelStart(int Value);
  int GetSelLength() const;
  void SetSelLength(int Value);
  std::string GetSelText() const;
  // Replaces the selection (also in a read-only edit, as code may), leaving the caret after it.
  void SetSelText(const std::string& Value);
  void SelectAll();
  void ClearSelection();
  void Clear() { SetText(std::string()); }
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  // A read-only edit takes no typing, cutting or pasting; its caret moves and it copies.
  bool GetReadOnly() const { return ReadOnly_; }
  void SetReadOnly(bool Value) { ReadOnly_ = Value; }
  // Select the whole text when the edit gets the focus (true by default).
  bool GetAutoSelect() const { return AutoSelect_; }
  void SetAutoSelect(bool Value) { AutoSelect_ = Value; }
  // True once the user changed the text; setting Text clears it.
  bool GetModified() const { return Modified_; }
  void SetModified(bool Value) { Modified_ = Value; }

  // Where things are, in client coordinates: the caret (the moving end of the selection) as a
  // code-point index and as the top of its 1-pixel column; the left of a character boundary; the
  // boundary nearest to a point. GetScrollOffset is how many pixels of text lie left of the view.
  int GetCaretIndex() const { return Caret_; }
  TPoint GetCaretPos() const { return PosFromChar(Caret_); }
  TPoint PosFromChar(int Index) const;
  int CharFromPos(TPoint P) const;
  int GetScrollOffset() const { return Scroll_; }
  // The blink phase: true while the caret is drawn (only ever while focused).
  bool GetCaretShown() const { return CaretOn_ && Focused(); }

  // Fired after every change of Text, by the user or by code.
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char32_t& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMCaptureChanged(TMessage& Message) override;
  void TextChanged() override;
  void FontChanged() override;
  virtual void Change();

 private:
  void Layout();
  void SetSelection(int Anchor, int Caret);
  void MoveCaret(int Index, bool Extend);
  void CaretMoved();
  void ScrollToCaret();
  void RestartBlink();
  void Blink(TObject* Sender);
  // Replaces code points [From, To) with Insert (valid UTF-8); the caret goes after it.
  void Replace(int From, int To, const std::string& Insert);
  // Replaces the selection with user input, cut to MaxLength.
  void InsertInput(const std::string& Insert);
  bool DeleteSelection();
  int WordLeft(int Index) const;
  int WordRight(int Index) const;
  int CharClassAt(int Index) const;
  TRect TextArea() const;
  int TextTop() const;
  int Margin() const;

  std::vector<size_t> Bounds_{0};  // byte offset of every code-point boundary, the end included
  std::vector<int> Widths_{0};     // text width up to every boundary, in pixels
  int CellHeight_ = 0;
  int Anchor_ = 0, Caret_ = 0;
  int Scroll_ = 0;
  int MaxLength_ = 0;
  int PendingCaret_ = -1;  // the caret an edit of our own leaves, while Text changes
  bool ReadOnly_ = false;
  bool AutoSelect_ = true;
  bool Modified_ = false;
  bool Dragging_ = false;
  bool CaretOn_ = false;
  std::unique_ptr<TTimer> BlinkTimer_;
};

}  // namespace corvex
