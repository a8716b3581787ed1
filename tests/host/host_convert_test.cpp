// Conversions between Qt's terms and ours (keys, cursors, packed DIBs) and the clipboard bridge.
#include <QBitmap>
#include <QClipboard>
#include <QGuiApplication>
#include <cstring>

#include "corvex/platform/clipboard.h"
#include "corvex/platform/graphics/dib.h"
#include "host_testing.h"

namespace corvex::qt::testing {
namespace {

TEST(HostConvert, KeysModifiersAndCursors) {
  const struct {
    int Key;
    Qt::KeyboardModifiers Mods;
    uint16_t Vk;
  } keys[] = {
      {Qt::Key_A, Qt::NoModifier, 'A'},        {Qt::Key_Z, Qt::ShiftModifier, 'Z'},
      {Qt::Key_7, Qt::NoModifier, '7'},        {Qt::Key_7, Qt::KeypadModifier, VK_NUMPAD0 + 7},
      {Qt::Key_F1, Qt::NoModifier, VK_F1},     {Qt::Key_F12, Qt::NoModifier, VK_F12},
      {Qt::Key_Return, Qt::NoModifier, VK_RETURN}, {Qt::Key_Enter, Qt::KeypadModifier, VK_RETURN},
      {Qt::Key_Escape, Qt::NoModifier, VK_ESCAPE}, {Qt::Key_Backtab, Qt::ShiftModifier, VK_TAB},
      {Qt::Key_PageUp, Qt::NoModifier, VK_PRIOR},  {Qt::Key_PageDown, Qt::NoModifier, VK_NEXT},
      {Qt::Key_Delete, Qt::NoModifier, VK_DELETE}, {Qt::Key_Shift, Qt::ShiftModifier, VK_SHIFT},
      {Qt::Key_Alt, Qt::AltModifier, VK_MENU},     {Qt::Key_Plus, Qt::KeypadModifier, VK_ADD},
      {Qt::Key_Minus, Qt::NoModifier, VK_OEM_MINUS}, {Qt::Key_Eacute, Qt::NoModifier, 0},
  };
  for (const auto& k : keys) EXPECT_EQ(VirtualKeyFromQt(k.Key, k.Mods), k.Vk) << std::hex << k.Key;
  EXPECT_EQ(ShiftStateFromQt(Qt::ShiftModifier | Qt::ControlModifier, Qt::LeftButton),
            (TShiftState{ssShift, ssCtrl, ssLeft}));
  EXPECT_EQ(ShiftStateFromQt(Qt::AltModifier | Qt::KeypadModifier), TShiftState{ssAlt});

  // Standard cursors become Qt's shapes; the library's own become bitmap cursors with the same
  // pixels and hot spot.
  EXPECT_EQ(CursorFromHandle(StandardCursor(crIBeam)).shape(), Qt::IBeamCursor);
  EXPECT_EQ(CursorFromHandle(StandardCursor(crSizeWE)).shape(), Qt::SizeHorCursor);
  EXPECT_EQ(CursorFromHandle(0).shape(), Qt::ArrowCursor);
  for (const char* name : {"MOVE", "PENNA"}) {
    const HCURSOR h = LoadCursor(name);
    TCursorImage ci;
    ASSERT_TRUE(GetCursorImage(h, ci));
    const QCursor qc = CursorFromHandle(h);
    EXPECT_EQ(qc.shape(), Qt::BitmapCursor);
    EXPECT_EQ(qc.hotSpot(), QPoint(ci.HotSpot.X, ci.HotSpot.Y));
    const QImage bitmap = qc.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage mask = qc.mask().toImage().convertToFormat(QImage::Format_RGB32);
    int black = 0, white = 0;
    for (int y = 0; y < ci.Height; ++y)
      for (int x = 0; x < ci.Width; ++x) {
        const bool opaque = !ci.AndBit(x, y);
        ASSERT_EQ(Pixel(mask, x, y) == 0, opaque) << name << " " << x << "," << y;  // color1 is black
        if (!opaque) continue;
        const bool isBlack = !ci.XorBit(x, y);
        EXPECT_EQ(Pixel(bitmap, x, y) == 0, isBlack);
        (isBlack ? black : white)++;
      }
    EXPECT_GT(black, 0);
    EXPECT_GT(white, 0);
    DestroyCursor(h);
  }
}

// A packed 8-bit DIB of W x H with a 4-colour table, bottom row first.
std::vector<uint8_t> IndexedDIB(int W, int H, const std::vector<uint8_t>& TopDownIndices) {
  TBitmapInfoHeader bi;
  bi.biWidth = W;
  bi.biHeight = H;
  bi.biBitCount = 8;
  bi.biClrUsed = 4;
  const size_t row = (size_t(W) + 3) & ~size_t(3);
  std::vector<uint8_t> dib(sizeof bi + 16 + row * size_t(H), 0);
  std::memcpy(dib.data(), &bi, sizeof bi);
  const uint8_t table[16] = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};  // black, red, green, blue
  std::memcpy(dib.data() + sizeof bi, table, 16);
  for (int y = 0; y < H; ++y)
    std::memcpy(dib.data() + sizeof bi + 16 + size_t(H - 1 - y) * row, TopDownIndices.data() + size_t(y) * size_t(W),
                size_t(W));
  return dib;
}

TEST(HostConvert, PackedDIBsBothWaysAndDamagedOnes) {
  const std::vector<uint8_t> dib = IndexedDIB(3, 2, {1, 2, 3, 0, 1, 2});
  const QImage image = ImageFromDIB(dib.data(), dib.size());
  ASSERT_EQ(image.size(), QSize(3, 2));
  const QRgb expected[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFF0000, 0x00FF00};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Pixel(image, i % 3, i / 3), expected[i]) << i;

  // Back to a 24-bit DIB, bottom row first, and to the same image again.
  const std::vector<uint8_t> out = DIBFromImage(image);
  TBitmapInfoHeader bi;
  ASSERT_GE(out.size(), sizeof bi);
  std::memcpy(&bi, out.data(), sizeof bi);
  EXPECT_EQ(bi.biBitCount, 24);
  EXPECT_EQ(bi.biHeight, 2);
  ASSERT_EQ(out.size(), sizeof bi + 2 * 12);
  const uint8_t bottomLeft[3] = {out[40], out[41], out[42]};  // black, blue-green-red
  EXPECT_EQ(bottomLeft[0] + bottomLeft[1] + bottomLeft[2], 0);
  EXPECT_EQ(out[40 + 12 + 2], 255);  // top-left red
  EXPECT_EQ(ImageFromDIB(out.data(), out.size()), image);

  // Transparent pixels are laid on white.
  QImage alpha(1, 1, QImage::Format_ARGB32);
  alpha.fill(Qt::transparent);
  const std::vector<uint8_t> white = DIBFromImage(alpha);
  ASSERT_EQ(white.size(), 44u);
  EXPECT_EQ(white[40] & white[41] & white[42], 255);

  // Cut or nonsense blocks give a null image, never a read past the block.
  for (size_t cut : {size_t(0), size_t(39), size_t(40), size_t(55), dib.size() - 1})
    EXPECT_TRUE(ImageFromDIB(dib.data(), cut).isNull()) << cut;
  std::vector<uint8_t> bad = dib;
  bad[14] = 3;  // 3 bits a pixel
  EXPECT_TRUE(ImageFromDIB(bad.data(), bad.size()).isNull());
  bad = dib;
  bad[4] = 0xFF, bad[5] = 0xFF, bad[6] = 0xFF, bad[7] = 0x7F;  // a huge width
  EXPECT_TRUE(ImageFromDIB(bad.data(), bad.size()).isNull());
  EXPECT_TRUE(DIBFromImage(QImage()).empty());
}

HGLOBAL BlockOf(const std::vector<uint8_t>& Bytes) {
  const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, Bytes.size());
  std::memcpy(GlobalLock(h), Bytes.data(), Bytes.size());
  GlobalUnlock(h);
  return h;
}

std::vector<uint8_t> BytesOf(HGLOBAL H) {
  std::vector<uint8_t> v(GlobalSize(H));
  std::memcpy(v.data(), GlobalLock(H), v.size());
  GlobalUnlock(H);
  return v;
}

TEST_F(HostTest, ClipboardBridgesImagesAndTextBothWays) {
  QClipboard* cb = QGuiApplication::clipboard();
  ASSERT_NE(cb, nullptr);
  ASSERT_NE(GetClipboardBridge(), nullptr);

  // Ours to Qt's: a CF_DIB becomes an image, CF_TEXT text.
  const std::vector<uint8_t> dib = IndexedDIB(3, 2, {1, 2, 3, 0, 1, 2});
  ASSERT_TRUE(OpenClipboard(0));
  EmptyClipboard();
  SetClipboardData(CF_DIB, BlockOf(dib));
  const char text[] = "grüße";
  SetClipboardData(CF_TEXT, BlockOf(std::vector<uint8_t>(text, text + sizeof text)));
  EXPECT_EQ(cb->image().isNull(), true);  // published when the clipboard closes
  CloseClipboard();
  EXPECT_EQ(cb->image().convertToFormat(QImage::Format_RGB32), ImageFromDIB(dib.data(), dib.size()));
  EXPECT_EQ(cb->text(), QString::fromUtf8("grüße"));
  // Still ours: read back as we put it.
  ASSERT_TRUE(OpenClipboard(0));
  EXPECT_EQ(BytesOf(GetClipboardData(CF_DIB)), dib);
  CloseClipboard();

  // Another application copies an image: it is read as a 24-bit CF_DIB.
  QImage other(4, 3, QImage::Format_RGB32);
  other.fill(qRgb(10, 20, 30));
  other.setPixel(0, 0, qRgb(200, 100, 50));
  cb->setImage(other);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ(CountClipboardFormats(), 1);
  ASSERT_TRUE(OpenClipboard(0));
  const HGLOBAL got = GetClipboardData(CF_DIB);
  ASSERT_NE(got, 0u);
  EXPECT_EQ(GetClipboardData(CF_DIB), got);  // fetched once, then kept
  const std::vector<uint8_t> bytes = BytesOf(got);
  CloseClipboard();
  EXPECT_EQ(ImageFromDIB(bytes.data(), bytes.size()), other);

  // And text.
  cb->setText("from elsewhere");
  ASSERT_TRUE(OpenClipboard(0));
  const std::vector<uint8_t> t = BytesOf(GetClipboardData(CF_TEXT));
  EXPECT_EQ(GetClipboardData(CF_DIB), 0u);
  EmptyClipboard();
  CloseClipboard();
  EXPECT_STREQ(reinterpret_cast<const char*>(t.data()), "from elsewhere");
  EXPECT_EQ(CountClipboardFormats(), 0);
  EXPECT_TRUE(cb->text().isEmpty());  // emptied here, emptied there
}

// The bridge's contract without Qt: what is published, when, and what is fetched.
struct FakeBridge : TClipboardBridge {
  std::vector<std::vector<TClipboardItem>> Published;
  std::vector<unsigned> Formats;
  int Fetches = 0;
  void DataPublished(const std::vector<TClipboardItem>& Items) override { Published.push_back(Items); }
  std::vector<unsigned> AvailableFormats() override { return Formats; }
  bool FetchFormat(unsigned Format, std::vector<uint8_t>& Data) override {
    ++Fetches;
    if (std::find(Formats.begin(), Formats.end(), Format) == Formats.end()) return false;
    Data = {uint8_t(Format), 1, 2};
    return true;
  }
};

TEST(HostClipboard, BridgeContract) {
  FakeBridge bridge;
  SetClipboardBridge(&bridge);
  ClipboardChangedElsewhere();
  bridge.Formats = {CF_TEXT};
  ASSERT_TRUE(OpenClipboard(0));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  const HGLOBAL fetched = GetClipboardData(CF_TEXT);
  EXPECT_EQ(BytesOf(fetched), (std::vector<uint8_t>{uint8_t(CF_TEXT), 1, 2}));
  EXPECT_EQ(GetClipboardData(CF_TEXT), fetched);
  EXPECT_EQ(GetClipboardData(CF_DIB), 0u);
  EXPECT_EQ(bridge.Fetches, 2);  // CF_TEXT once, CF_DIB once
  CloseClipboard();
  EXPECT_TRUE(bridge.Published.empty());  // reading publishes nothing

  // Writing publishes at close; the fetched data is gone.
  ASSERT_TRUE(OpenClipboard(0));
  SetClipboardData(CF_DIB, BlockOf({7, 8}));
  ClipboardChangedElsewhere();  // arrives while open: the application's data is newer
  EXPECT_TRUE(bridge.Published.empty());
  CloseClipboard();
  ASSERT_EQ(bridge.Published.size(), 1u);
  ASSERT_EQ(bridge.Published[0].size(), 1u);
  EXPECT_EQ(bridge.Published[0][0].Format, CF_DIB);
  EXPECT_EQ(bridge.Published[0][0].Data, (std::vector<uint8_t>{7, 8}));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ(CountClipboardFormats(), 1);

  // Without the bridge, the clipboard is in-process again.
  SetClipboardBridge(nullptr);
  ClipboardChangedElsewhere();
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
  ASSERT_TRUE(OpenClipboard(0));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_EQ(bridge.Published.size(), 1u);
}

}  // namespace
}  // namespace corvex::qt::testing
