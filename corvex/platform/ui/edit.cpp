// TEdit: the text, the selection and the caret in code points, keys, mouse, clipboard and drawing.
#include "corvex/platform/ui/edit.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "corvex/platform/clipboard.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/screen.h"
#include "corvex/platform/ui/forms.h"

namespace corvex {

namespace {

constexpr unsigned kBlinkMs = 500;

int Scaled(int Pixels) { return std::max(1, MulDiv(Pixels, gSystemDPIX > 0 ? gSystemDPIX : 96, 96)); }

// The length of the UTF-8 sequence at byte I and its code point. A byte that does not start a
// complete, shortest-form sequence is one position of its own (its value as the code point), the
// same rule the text drawing follows, so that positions and glyphs stay in step.
int SequenceAt(const std::string& S, size_t I, uint32_t& Cp) {
  const auto* p = reinterpret_cast<const unsigned char*>(S.data());
  const size_t n = S.size();
  const unsigned c = p[I];
  Cp = c;
  const int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len <= 1 || I + size_t(len) > n) return 1;
  uint32_t cp = c & (0x7Fu >> len);
  for (int k = 1; k < len; ++k) {
    if ((p[I + size_t(k)] & 0xC0) != 0x80) return 1;
    cp = (cp << 6) | (p[I + size_t(k)] & 0x3F);
  }
  if (cp > 0x10FFFF || (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)) return 1;
  Cp = cp;
  return len;
}

void AppendUtf8(std::string& S, uint32_t Cp) {
  if (Cp < 0x80) {
    S += char(Cp);
  } else if (Cp < 0x800) {
    S += char(0xC0 | (Cp >> 6));
    S += char(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    S += char(0xE0 | (Cp >> 12));
    S += char(0x80 | ((Cp >> 6) & 0x3F));
    S += char(0x80 | (Cp & 0x3F));
  } else {
    S += char(0xF0 | (Cp >> 18));
    S += char(0x80 | ((Cp >> 12) & 0x3F));
    S += char(0x80 | ((Cp >> 6) & 0x3F));
    S += char(0x80 | (Cp & 0x3F));
  }
}

int CountCodePoints(const std::string& S) {
  int count = 0;
  uint32_t cp;
  for (size_t i = 0; i < S.size(); i += size_t(SequenceAt(S, i, cp))) ++count;
  return count;
}

// Text from outside (the clipboard) made fit for one line: cut at the first line break, other
// control characters dropped, bytes outside valid UTF-8 replaced by U+FFFD.
std::string SingleLine(const std::string& S) {
  std::string out;
  for (size_t i = 0; i < S.size();) {
    uint32_t cp;
    const int len = SequenceAt(S, i, cp);
    const bool valid = len > 1 || cp < 0x80;
    if (cp == '\r' || cp == '\n') break;
    if (!valid) AppendUtf8(out, 0xFFFD);
    else if (cp >= 32 && cp != 127) out.append(S, i, size_t(len));
    i += size_t(len);
  }
  return out;
}

// The words of the word moves and of the double click: runs of spaces, of punctuation and of
// everything else (letters, digits, the underscore and all that is not ASCII).
int CharClass(uint32_t Cp) {
  if (Cp == ' ' || Cp == '\t' || Cp == 0xA0 || Cp == 0x3000 || (Cp >= 0x2000 && Cp <= 0x200A)) return 0;
  if (Cp < 0x80 && !((Cp >= '0' && Cp <= '9') || (Cp >= 'A' && Cp <= 'Z') || (Cp >= 'a' && Cp <= 'z') || Cp == '_'))
    return 1;
  return 2;
}

}  // namespace

TEdit::TEdit(TComponent* AOwner) : TCustomControl(AOwner), BlinkTimer_(std::make_unique<TTimer>(nullptr)) {
  BlinkTimer_->SetEnabled(false);
  BlinkTimer_->SetInterval(kBlinkMs);
  BlinkTimer_->OnTimer = TNotifyEvent(this, &TEdit::Blink);
  SetColor(clWindow);
  SetCursor(crIBeam);
  SetTabStop(true);
  SetBorderStyle(bsSingle);
  SetBounds(0, 0, Scaled(121), Scaled(21));
  Layout();
}

TEdit::~TEdit() = default;

// --- Layout: code-point boundaries and the text width up to each. Glyph advances are whole
// pixels and add up, so the width of a prefix is the sum of its characters' widths.

void TEdit::Layout() {
  const std::string& text = GetText();
  TCanvas measure;
  measure.SetFont(GetFont());
  Bounds_.assign(1, 0);
  Widths_.assign(1, 0);
  // Each distinct character is measured once (a stray byte apart from the code point it equals).
  std::unordered_map<uint32_t, int> widths;
  for (size_t i = 0; i < text.size();) {
    uint32_t cp;
    const size_t len = size_t(SequenceAt(text, i, cp));
    const uint32_t key = len == 1 && cp >= 0x80 ? cp | 0x80000000u : cp;
    auto it = widths.find(key);
    if (it == widths.end()) it = widths.emplace(key, measure.TextWidth(text.substr(i, len))).first;
    Widths_.push_back(Widths_.back() + it->second);
    i += len;
    Bounds_.push_back(i);
  }
  CellHeight_ = measure.TextHeight(std::string());
  const int n = GetTextLength();
  Anchor_ = std::clamp(Anchor_, 0, n);
  Caret_ = std::clamp(Caret_, 0, n);
}

int TEdit::Margin() const { return Scaled(2); }

TRect TEdit::TextArea() const {
  const TRect c = GetClientRect();
  const int m = Margin();
  return Rect(m, 0, std::max(m + 1, c.Right - m), c.Bottom);
}

int TEdit::TextTop() const { return (GetClientHeight() - CellHeight_) / 2; }

TPoint TEdit::PosFromChar(int Index) const {
  Index = std::clamp(Index, 0, GetTextLength());
  return {Margin() + Widths_[size_t(Index)] - Scroll_, TextTop()};
}

// The first boundary whose character's middle lies right of the point (the widths only grow, so
// the middles do too).
int TEdit::CharFromPos(TPoint P) const {
  const int64_t x = P.X - Margin() + Scroll_;
  int lo = 0, hi = GetTextLength();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (2 * x < int64_t(Widths_[size_t(mid)]) + Widths_[size_t(mid) + 1]) hi = mid;
    else lo = mid + 1;
  }
  return lo;
}

int TEdit::CharClassAt(int Index) const {
  uint32_t cp;
  SequenceAt(GetText(), Bounds_[size_t(Index)], cp);
  return CharClass(cp);
}

// Ctrl+Left: back over spaces, then over the word before them.
int TEdit::WordLeft(int Index) const {
  while (Index > 0 && CharClassAt(Index - 1) == 0) --Index;
  if (Index > 0) {
    const int c = CharClassAt(Index - 1);
    while (Index > 0 && CharClassAt(Index - 1) == c) --Index;
  }
  return Index;
}

// Ctrl+Right: over the rest of this word, then over the spaces after it (to the next word).
int TEdit::WordRight(int Index) const {
  const int n = GetTextLength();
  if (Index < n) {
    const int c = CharClassAt(Index);
    if (c != 0)
      while (Index < n && CharClassAt(Index) == c) ++Index;
  }
  while (Index < n && CharClassAt(Index) == 0) ++Index;
  return Index;
}

// --- Selection and caret

int TEdit::GetSelStart() const { return std::min(Anchor_, Caret_); }
int TEdit::GetSelLength() const { return std::abs(Caret_ - Anchor_); }

std::string TEdit::GetSelText() const {
  const size_t a = Bounds_[size_t(GetSelStart())], b = Bounds_[size_t(GetSelStart() + GetSelLength())];
  return GetText().substr(a, b - a);
}

void TEdit::SetSelection(int Anchor, int Caret) {
  const int n = GetTextLength();
  Anchor = std::clamp(Anchor, 0, n);
  Caret = std::clamp(Caret, 0, n);
  if (Anchor == Anchor_ && Caret == Caret_) return;
  Anchor_ = Anchor;
  Caret_ = Caret;
  CaretMoved();
}

void TEdit::SetSelStart(int Value) { SetSelection(Value, Value); }

void TEdit::SetSelLength(int Value) {
  const int start = GetSelStart();
  SetSelection(start, start + Value);
}

void TEdit::SelectAll() { SetSelection(0, GetTextLength()); }

void TEdit::MoveCaret(int Index, bool Extend) { SetSelection(Extend ? Anchor_ : Index, Index); }

void TEdit::CaretMoved() {
  ScrollToCaret();
  RestartBlink();
  Invalidate();
}

// The smallest scroll that shows the caret column; leaving on the left it jumps a quarter of the
// view back so that some text before the caret shows. No blank room stays right of the text.
void TEdit::ScrollToCaret() {
  const int view = std::max(1, TextArea().Width());
  const int x = Widths_[size_t(Caret_)];
  const int total = Widths_.back();
  if (x < Scroll_) Scroll_ = std::max(0, x - view / 4);
  if (x - Scroll_ > view - 1) Scroll_ = x - view + 1;
  Scroll_ = std::max(0, std::min(Scroll_, total - view + 1));
}

void TEdit::RestartBlink() {
  CaretOn_ = true;
  const bool run = Focused() && GetEnabled();
  BlinkTimer_->SetEnabled(false);
  if (run) BlinkTimer_->SetEnabled(true);
}

void TEdit::Blink(TObject*) {
  if (!Focused()) {
    BlinkTimer_->SetEnabled(false);
    return;
  }
  CaretOn_ = !CaretOn_;
  const TPoint p = GetCaretPos();
  InvalidateRect(Rect(p.X, p.Y, p.X + 1, p.Y + CellHeight_));
}

// --- Text

void TEdit::SetMaxLength(int Value) { MaxLength_ = std::max(Value, 0); }

void TEdit::TextChanged() {
  // Text set by code puts the caret at the start; an edit of our own says where it goes.
  const bool own = PendingCaret_ >= 0;
  const int caret = own ? PendingCaret_ : 0;
  PendingCaret_ = -1;
  Layout();
  Modified_ = own;
  Anchor_ = Caret_ = std::min(caret, GetTextLength());
  CaretMoved();
  Change();
}

void TEdit::Change() { OnChange(this); }

void TEdit::FontChanged() {
  Layout();
  ScrollToCaret();
  Invalidate();
}

void TEdit::Replace(int From, int To, const std::string& Insert) {
  const std::string& text = GetText();
  const size_t a = Bounds_[size_t(From)], b = Bounds_[size_t(To)];
  std::string next = text.substr(0, a);
  next += Insert;
  next.append(text, b, std::string::npos);
  const int caret = From + CountCodePoints(Insert);
  if (next == text) {
    SetSelection(caret, caret);
    return;
  }
  PendingCaret_ = caret;  // TextChanged takes it (and the OnChange handler may free the edit)
  SetText(next);
}

void TEdit::SetSelText(const std::string& Value) {
  Replace(GetSelStart(), GetSelStart() + GetSelLength(), SingleLine(Value));
}

void TEdit::ClearSelection() {
  if (GetSelLength() > 0) Replace(GetSelStart(), GetSelStart() + GetSelLength(), std::string());
}

void TEdit::InsertInput(const std::string& Insert) {
  if (ReadOnly_) return;
  std::string s = Insert;
  if (MaxLength_ > 0) {
    const int room = MaxLength_ - (GetTextLength() - GetSelLength());
    if (room <= 0) return;
    int count = 0;
    size_t cut = 0;
    uint32_t cp;
    while (cut < s.size() && count < room) {
      cut += size_t(SequenceAt(s, cut, cp));
      ++count;
    }
    s.resize(cut);
  }
  if (s.empty() && GetSelLength() == 0) return;
  Replace(GetSelStart(), GetSelStart() + GetSelLength(), s);
}

bool TEdit::DeleteSelection() {
  if (GetSelLength() == 0) return false;
  Replace(GetSelStart(), GetSelStart() + GetSelLength(), std::string());
  return true;
}

// --- Clipboard: the selection as CF_TEXT, a zero-terminated UTF-8 block.

void TEdit::CopyToClipboard() {
  if (GetSelLength() == 0) return;
  const std::string s = GetSelText();
  if (!OpenClipboard(GetHandle())) return;
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, s.size() + 1)) {
    if (auto* p = static_cast<char*>(GlobalLock(mem))) {
      std::memcpy(p, s.data(), s.size());
      p[s.size()] = 0;
      GlobalUnlock(mem);
      if (SetClipboardData(CF_TEXT, mem) == 0) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

void TEdit::CutToClipboard() {
  if (ReadOnly_ || GetSelLength() == 0) return;
  CopyToClipboard();
  DeleteSelection();
}

void TEdit::PasteFromClipboard() {
  if (ReadOnly_ || !OpenClipboard(GetHandle())) return;
  std::string s;
  if (HGLOBAL mem = GetClipboardData(CF_TEXT)) {
    if (const auto* p = static_cast<const char*>(GlobalLock(mem))) {
      const size_t size = GlobalSize(mem);
      s.assign(p, strnlen(p, size));
      GlobalUnlock(mem);
    }
  }
  CloseClipboard();
  s = SingleLine(s);
  if (!s.empty()) InsertInput(s);
}

// --- Keys

void TEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  // Handled by the owner, or the owner's to handle (it may even have freed the edit).
  if (Key == 0 || Key == VK_RETURN || Key == VK_ESCAPE || Key == VK_TAB) return;
  const bool shift = Shift.Contains(ssShift);
  const bool ctrl = Shift.Contains(ssCtrl) && !Shift.Contains(ssAlt);
  const int n = GetTextLength();
  switch (Key) {
    case VK_LEFT:
      if (GetSelLength() > 0 && !shift && !ctrl) MoveCaret(GetSelStart(), false);
      else MoveCaret(ctrl ? WordLeft(Caret_) : std::max(Caret_ - 1, 0), shift);
      break;
    case VK_RIGHT:
      if (GetSelLength() > 0 && !shift && !ctrl) MoveCaret(GetSelStart() + GetSelLength(), false);
      else MoveCaret(ctrl ? WordRight(Caret_) : std::min(Caret_ + 1, n), shift);
      break;
    case VK_HOME:
      MoveCaret(0, shift);
      break;
    case VK_END:
      MoveCaret(n, shift);
      break;
    case VK_BACK:
      if (ReadOnly_ || DeleteSelection() || Caret_ == 0) break;
      Replace(ctrl ? WordLeft(Caret_) : Caret_ - 1, Caret_, std::string());
      break;
    case VK_DELETE:
      if (shift && !ctrl) {
        CutToClipboard();
        break;
      }
      if (ReadOnly_ || DeleteSelection() || Caret_ == n) break;
      Replace(Caret_, ctrl ? WordRight(Caret_) : Caret_ + 1, std::string());
      break;
    case VK_INSERT:
      if (ctrl && !shift) CopyToClipboard();
      else if (shift && !ctrl) PasteFromClipboard();
      break;
    default:
      if (!ctrl || shift) break;
      if (Key == 'A') SelectAll();
      else if (Key == 'C') CopyToClipboard();
      else if (Key == 'X') CutToClipboard();
      else if (Key == 'V') PasteFromClipboard();
      break;
  }
}

void TEdit::KeyPress(char32_t& Key) {
  TCustomControl::KeyPress(Key);
  // Control characters (Backspace, Enter, Escape, Ctrl+letter) are keys, not text.
  if (Key < 32 || Key == 127 || Key > 0x10FFFF || (Key >= 0xD800 && Key <= 0xDFFF)) return;
  std::string s;
  AppendUtf8(s, uint32_t(Key));
  InsertInput(s);
}

// --- Mouse

void TEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (Shift.Contains(ssDouble)) {
      // The word under the pointer: the run of its character's class.
      const int n = GetTextLength();
      Dragging_ = false;
      if (n > 0) {
        const int x = X - Margin() + Scroll_;
        int i = 0;
        while (i < n - 1 && x >= Widths_[size_t(i) + 1]) ++i;
        const int c = CharClassAt(i);
        int a = i, b = i + 1;
        while (a > 0 && CharClassAt(a - 1) == c) --a;
        while (b < n && CharClassAt(b) == c) ++b;
        SetSelection(a, b);
      }
    } else {
      Dragging_ = true;
      MoveCaret(CharFromPos({X, Y}), Shift.Contains(ssShift));
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TEdit::MouseMove(TShiftState Shift, int X, int Y) {
  if (Dragging_ && Shift.Contains(ssLeft)) MoveCaret(CharFromPos({X, Y}), true);
  TCustomControl::MouseMove(Shift, X, Y);
}

void TEdit::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) Dragging_ = false;
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TEdit::WMCaptureChanged(TMessage& Message) {
  Dragging_ = false;
  TCustomControl::WMCaptureChanged(Message);
}

// --- Focus and size

void TEdit::WMSetFocus(TMessage& Message) {
  // The owner's OnEnter comes last: it may move the focus on, or free the edit.
  if (AutoSelect_ && !Application().GetShiftState().Contains(ssLeft)) {
    Anchor_ = 0;
    Caret_ = GetTextLength();
  }
  ScrollToCaret();
  RestartBlink();
  TCustomControl::WMSetFocus(Message);
}

void TEdit::WMKillFocus(TMessage& Message) {
  BlinkTimer_->SetEnabled(false);
  CaretOn_ = false;
  Dragging_ = false;
  TCustomControl::WMKillFocus(Message);
}

void TEdit::WMSize(TMessage& Message) {
  ScrollToCaret();
  Invalidate();
  TCustomControl::WMSize(Message);
}

// --- Drawing

void TEdit::Paint() {
  TCanvas* c = GetCanvas();
  const TRect area = TextArea();
  const int x = Margin() - Scroll_, y = TextTop();
  const bool enabled = GetEnabled();
  const bool focused = Focused();
  // Only the characters in view are laid out, with one more on each side for glyphs that reach
  // past their advance; the advances add up, so they land where the whole text would put them.
  const auto begin = Widths_.begin();
  const int first = std::max(0, int(std::upper_bound(begin, Widths_.end(), Scroll_) - begin) - 2);
  const int last = std::min(GetTextLength(), int(std::lower_bound(begin, Widths_.end(), Scroll_ + area.Width()) - begin) + 1);
  const std::string text = first < last ? GetText().substr(Bounds_[size_t(first)], Bounds_[size_t(last)] - Bounds_[size_t(first)])
                                        : std::string();
  const int tx = x + Widths_[size_t(first)];
  c->GetBrush()->SetStyle(bsClear);
  c->GetFont()->SetColor(enabled ? GetFont()->GetColor() : clGrayText);
  c->TextRect(area, tx, y, text);
  if (focused && enabled && GetSelLength() > 0) {
    const TPoint a = PosFromChar(GetSelStart()), b = PosFromChar(GetSelStart() + GetSelLength());
    const TRect sel = IntersectRect(Rect(a.X, y, b.X, y + CellHeight_), area);
    if (!sel.IsEmpty()) {
      c->GetBrush()->SetStyle(bsSolid);
      c->GetBrush()->SetColor(clHighlight);
      c->GetFont()->SetColor(clHighlightText);
      c->TextRect(sel, tx, y, text);
    }
  }
  if (focused && enabled && CaretOn_) {
    // The caret inverts what is under it.
    const TPoint p = GetCaretPos();
    c->GetPen()->SetStyle(psSolid);
    c->GetPen()->SetWidth(1);
    c->GetPen()->SetMode(pmNot);
    c->MoveTo(p.X, p.Y);
    c->LineTo(p.X, p.Y + CellHeight_);
    c->GetPen()->SetMode(pmCopy);
  }
  c->GetBrush()->SetStyle(bsSolid);
}

}  // namespace corvex
