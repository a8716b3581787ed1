// Conversions between Qt's and the window layer's terms: keys, modifiers, cursors and packed
// device-independent bitmaps.
#include <QBitmap>
#include <QPainter>
#include <cstring>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/dib.h"
#include "corvex/platform/graphics/dibdraw.h"
#include "host_pvt.h"

namespace corvex::qt {

uint16_t VirtualKeyFromQt(int Key, Qt::KeyboardModifiers Modifiers) {
  const bool keypad = Modifiers.testFlag(Qt::KeypadModifier);
  if (Key >= Qt::Key_A && Key <= Qt::Key_Z) return uint16_t(Key);  // 'A'..'Z' as their characters
  if (Key >= Qt::Key_0 && Key <= Qt::Key_9) return uint16_t(keypad ? VK_NUMPAD0 + (Key - Qt::Key_0) : Key);
  if (Key >= Qt::Key_F1 && Key <= Qt::Key_F24) return uint16_t(VK_F1 + (Key - Qt::Key_F1));
  switch (Key) {
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_Print:
    case Qt::Key_SysReq: return VK_SNAPSHOT;
    case Qt::Key_Clear: return VK_CLEAR;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Meta:
    case Qt::Key_Super_L: return VK_LWIN;
    case Qt::Key_Super_R: return VK_RWIN;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_Help: return VK_HELP;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Asterisk: return keypad ? VK_MULTIPLY : uint16_t('8');
    case Qt::Key_Plus: return keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Minus: return keypad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Period: return keypad ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Slash: return keypad ? VK_DIVIDE : uint16_t(0xBF);  // the OEM "/?" key
    case Qt::Key_Comma: return keypad ? VK_SEPARATOR : VK_OEM_COMMA;
    case Qt::Key_Equal: return VK_OEM_PLUS;  // the "=+" key
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 0xBA;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 0xC0;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 0xDC;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 0xDE;
    default: return 0;
  }
}

TShiftState ShiftStateFromQt(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons) {
  TShiftState s;
  if (Modifiers.testFlag(Qt::ShiftModifier)) s.Include(ssShift);
  if (Modifiers.testFlag(Qt::ControlModifier)) s.Include(ssCtrl);
  if (Modifiers.testFlag(Qt::AltModifier)) s.Include(ssAlt);
  if (Buttons.testFlag(Qt::LeftButton)) s.Include(ssLeft);
  if (Buttons.testFlag(Qt::RightButton)) s.Include(ssRight);
  if (Buttons.testFlag(Qt::MiddleButton)) s.Include(ssMiddle);
  return s;
}

std::optional<Qt::CursorShape> CursorShapeFor(TCursor Id) {
  switch (Id) {
    case crDefault:
    case crArrow: return Qt::ArrowCursor;
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass:
    case crSQLWait: return Qt::WaitCursor;
    case crDrag: return Qt::DragMoveCursor;
    case crMultiDrag: return Qt::DragCopyCursor;
    case crNoDrop:
    case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return std::nullopt;
  }
}

QCursor CursorFromHandle(HCURSOR Cursor) {
  TCursorImage c;
  if (Cursor == 0 || !GetCursorImage(Cursor, c) || c.Width <= 0 || c.Height <= 0) return QCursor(Qt::ArrowCursor);
  if (c.Standard)
    if (const auto shape = CursorShapeFor(*c.Standard)) return QCursor(*shape);
  // Qt's bitmap cursor: bitmap 1 is black where the mask is 1, and "invert" where it is 0. So
  // mask = NOT and-bit, bitmap = NOT (and-bit XOR xor-bit).
  QImage bitmap(c.Width, c.Height, QImage::Format_Mono);
  QImage mask(c.Width, c.Height, QImage::Format_Mono);
  for (QImage* m : {&bitmap, &mask}) {
    m->setColorCount(2);
    m->setColor(0, qRgb(255, 255, 255));  // index 0 = Qt::color0
    m->setColor(1, qRgb(0, 0, 0));        // index 1 = Qt::color1
  }
  for (int y = 0; y < c.Height; ++y)
    for (int x = 0; x < c.Width; ++x) {
      const bool a = c.AndBit(x, y), xr = c.XorBit(x, y);
      mask.setPixel(x, y, a ? 0 : 1);
      bitmap.setPixel(x, y, a != xr ? 0 : 1);
    }
  return QCursor(QBitmap::fromImage(bitmap), QBitmap::fromImage(mask), c.HotSpot.X, c.HotSpot.Y);
}

QImage ImageFromDIB(const void* Data, size_t Size) {
  if (Data == nullptr || Size < sizeof(TBitmapInfoHeader)) return {};
  TBitmapInfoHeader bi;
  std::memcpy(&bi, Data, sizeof bi);
  if (bi.biSize < sizeof bi || bi.biSize > Size || bi.biWidth <= 0 || bi.biHeight == 0) return {};
  const auto* header = static_cast<const TBitmapInfoHeader*>(Data);
  const size_t table = DIBColorTableSize(header);
  const uint64_t width = uint64_t(bi.biWidth);
  const uint64_t height = bi.biHeight < 0 ? uint64_t(-int64_t(bi.biHeight)) : uint64_t(bi.biHeight);
  constexpr uint64_t kMaxPixels = uint64_t(1) << 28;
  if (width * height > kMaxPixels) return {};
  const uint64_t rowLen = ((width * bi.biBitCount + 31) / 32) * 4;
  if (table == 0 && bi.biBitCount <= 8) return {};  // not understood (an indexed image has a table)
  // Every row must be inside the block before the drawer reads it.
  if (uint64_t(bi.biSize) + table + rowLen * height > Size) return {};
  TBitmap pixels;
  pixels.Allocate(int(width), int(height), pf24bit);
  TCanvas canvas(&pixels);
  const HDRAWDIB dd = DrawDibOpen();
  const bool drawn = DrawDibDraw(dd, &canvas, 0, 0, -1, -1, header, nullptr, 0, 0, -1, -1, 0);
  DrawDibClose(dd);
  if (!drawn) return {};
  const QImage view(static_cast<const uchar*>(pixels.Bits()), pixels.GetWidth(), pixels.GetHeight(),
                    qsizetype(pixels.GetRowLength()), QImage::Format_BGR888);
  QImage image = view.convertToFormat(QImage::Format_RGB32);  // a deep copy
  if (bi.biXPelsPerMeter > 0) image.setDotsPerMeterX(bi.biXPelsPerMeter);
  if (bi.biYPelsPerMeter > 0) image.setDotsPerMeterY(bi.biYPelsPerMeter);
  return image;
}

std::vector<uint8_t> DIBFromImage(const QImage& Image) {
  if (Image.isNull() || Image.width() <= 0 || Image.height() <= 0) return {};
  QImage flat;
  if (Image.hasAlphaChannel()) {
    flat = QImage(Image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter p(&flat);
    p.drawImage(0, 0, Image);
    p.end();
    flat = flat.convertToFormat(QImage::Format_BGR888);
  } else {
    flat = Image.convertToFormat(QImage::Format_BGR888);
  }
  const int w = flat.width(), h = flat.height();
  const size_t rowLen = ((size_t(w) * 24 + 31) / 32) * 4;
  TBitmapInfoHeader bi;
  bi.biWidth = w;
  bi.biHeight = h;  // bottom row first
  bi.biBitCount = 24;
  bi.biSizeImage = uint32_t(rowLen * size_t(h));
  bi.biXPelsPerMeter = std::max(0, Image.dotsPerMeterX());
  bi.biYPelsPerMeter = std::max(0, Image.dotsPerMeterY());
  std::vector<uint8_t> dib(sizeof bi + rowLen * size_t(h), 0);
  std::memcpy(dib.data(), &bi, sizeof bi);
  for (int y = 0; y < h; ++y)
    std::memcpy(dib.data() + sizeof bi + size_t(h - 1 - y) * rowLen, flat.constScanLine(y), size_t(w) * 3);
  return dib;
}

}  // namespace corvex::qt
