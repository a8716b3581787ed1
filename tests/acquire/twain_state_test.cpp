// The TWAIN state machine against a scripted source manager: loading, opening, refusals at every
// step unwinding to the right state, buffered-memory transfers with their pixels, and faulty
// sources (short, oversized, cancelled, absurd) that must end cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvex/acquire/CXTWain.h"
#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"

namespace corvex {
namespace {

// A source manager and one source, driven by a script the test sets up.
struct FakeDSM {
  std::vector<std::string> Sources{"Flatbed A", "", "HP ScanJet 5"};
  std::string Default = "HP ScanJet 5";
  std::map<std::pair<TW_UINT16, TW_UINT16>, TW_UINT16> Refuse;  // (DAT, MSG) -> return code
  TW_UINT16 Condition = TWCC_SUCCESS;
  TW_UINT16 PostedMessage = MSG_XFERREADY;
  // The image: raw rows as the source sends them (RGB order for 24 bits).
  int W = 0, H = 0, Bpp = 24;
  std::vector<std::vector<uint8_t>> Rows;
  int StripRows = 2, Padding = 3;
  TW_UINT32 Preferred = 64;
  int StripsBeforeDone = -1;      // >= 0: claim XFERDONE after that many strips
  int ExtraWritten = 0;            // added to BytesWritten
  int CancelAtStrip = -1;
  int Pages = 1, JamAtPage = -1, Page = 0;  // a feeder: pages in the tray, the page that jams
  bool RefuseMemory = false, BadHeader = false;
  // What the application did.
  bool DsmOpen = false, DsOpen = false, Enabled = false;
  std::vector<std::pair<TW_UINT16, TW_UINT16>> Log;
  size_t Next = 0;
  int Strip = 0, NextRow = 0;

  TW_UINT16 Entry(pTW_IDENTITY Dest, TW_UINT16 DAT, TW_UINT16 MSG, void* Data) {
    (void)Dest;
    Log.emplace_back(DAT, MSG);
    auto it = Refuse.find({DAT, MSG});
    if (it != Refuse.end()) return it->second;
    switch (DAT) {
      case DAT_PARENT:
        DsmOpen = MSG == MSG_OPENDSM;
        return TWRC_SUCCESS;
      case DAT_STATUS:
        static_cast<TW_STATUS*>(Data)->ConditionCode = Condition;
        return TWRC_SUCCESS;
      case DAT_IDENTITY: {
        auto* Id = static_cast<TW_IDENTITY*>(Data);
        if (MSG == MSG_GETFIRST) Next = 0;
        if (MSG == MSG_GETFIRST || MSG == MSG_GETNEXT) {
          if (Next >= Sources.size()) return TWRC_ENDOFLIST;
          SetName(*Id, Sources[Next++]);
          return TWRC_SUCCESS;
        }
        if (MSG == MSG_GETDEFAULT || MSG == MSG_USERSELECT) {
          SetName(*Id, Default);
          return TWRC_SUCCESS;
        }
        if (MSG == MSG_OPENDS) {
          if (Id->ProductName[0] == 0) SetName(*Id, Default);
          DsOpen = true;
        }
        if (MSG == MSG_CLOSEDS) DsOpen = false;
        return TWRC_SUCCESS;
      }
      case DAT_USERINTERFACE:
        Enabled = MSG == MSG_ENABLEDS;
        return TWRC_SUCCESS;
      case DAT_EVENT:
        static_cast<TW_EVENT*>(Data)->TWMessage = PostedMessage;
        return TWRC_DSEVENT;
      case DAT_IMAGEINFO: {
        auto* I = static_cast<TW_IMAGEINFO*>(Data);
        I->ImageWidth = W;
        I->ImageLength = H;
        I->BitsPerPixel = static_cast<TW_INT16>(Bpp);
        I->XResolution = FloatToFIX32(299.6);
        I->YResolution = FloatToFIX32(150.0);
        I->Compression = TWCP_NONE;
        return TWRC_SUCCESS;
      }
      case DAT_CAPABILITY: {
        auto* C = static_cast<TW_CAPABILITY*>(Data);
        if (MSG == MSG_GET) return GetCap(*C);
        if (MSG == MSG_SET) Sets[C->Cap] = static_cast<TW_ONEVALUE*>(C->hContainer)->Item;
        return C->Cap == ICAP_XFERMECH && RefuseMemory ? TWRC_FAILURE : TWRC_SUCCESS;
      }
      case DAT_SETUPMEMXFER:
        static_cast<TW_SETUPMEMXFER*>(Data)->Preferred = Preferred;
        return TWRC_SUCCESS;
      case DAT_IMAGEMEMXFER: return Strip_(*static_cast<TW_IMAGEMEMXFER*>(Data));
      case DAT_IMAGENATIVEXFER: {
        // A 24-bit bottom-up packed DIB of the image, malloc'ed as a Linux source does.
        const size_t Stride = (static_cast<size_t>(W) * 3 + 3) / 4 * 4;
        auto* D = static_cast<uint8_t*>(std::calloc(1, 40 + Stride * static_cast<size_t>(H)));
        const int32_t Hdr[] = {BadHeader ? 0 : 40, W, H};
        const uint16_t PlanesBits[] = {1, 24};
        std::memcpy(D, Hdr, sizeof(Hdr));
        std::memcpy(D + 12, PlanesBits, sizeof(PlanesBits));
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c)
              D[40 + Stride * static_cast<size_t>(H - 1 - y) + 3 * x + c] = Rows[static_cast<size_t>(y)][static_cast<size_t>(3 * x + 2 - c)];
        *static_cast<TW_HANDLE*>(Data) = D;
        return TWRC_XFERDONE;
      }
      case DAT_PENDINGXFERS:
        if (MSG == MSG_ENDXFER) ++Page;
        if (MSG == MSG_RESET) Page = Pages;
        Strip = NextRow = 0;
        static_cast<TW_PENDINGXFERS*>(Data)->Count = static_cast<TW_UINT16>(Pages - Page);
        return TWRC_SUCCESS;
      default: return TWRC_FAILURE;
    }
  }

  TW_UINT16 Strip_(TW_IMAGEMEMXFER& X) {
    if (Strip == CancelAtStrip) return TWRC_CANCEL;
    if (Page == JamAtPage && Strip == 1) return TWRC_FAILURE;
    const TW_UINT32 RowBytes = static_cast<TW_UINT32>((W * Bpp + 7) / 8 + Padding);
    const int n = std::min({StripRows, H - NextRow, static_cast<int>(X.Memory.Length / RowBytes)});
    auto* m = static_cast<uint8_t*>(X.Memory.TheMem);
    for (int r = 0; r < n; ++r) {
      std::memcpy(m + r * RowBytes, Rows[static_cast<size_t>(NextRow + r)].data(), Rows[0].size());
      m[r * RowBytes] = static_cast<uint8_t>(m[r * RowBytes] + Page);  // pages differ in their first byte
    }
    X.Compression = TWCP_NONE;
    X.BytesPerRow = RowBytes;
    X.Columns = static_cast<TW_UINT32>(W);
    X.Rows = static_cast<TW_UINT32>(n);
    X.XOffset = 0;
    X.YOffset = static_cast<TW_UINT32>(NextRow);
    X.BytesWritten = static_cast<TW_UINT32>(static_cast<int>(RowBytes) * n + ExtraWritten);
    NextRow += n;
    ++Strip;
    const bool Done = StripsBeforeDone >= 0 ? Strip >= StripsBeforeDone : NextRow >= H;
    return Done ? TWRC_XFERDONE : TWRC_SUCCESS;
  }

  // Containers as a Linux manager hands them over: malloc'ed, freed by the application.
  std::map<TW_UINT16, TW_UINT32> Sets;
  template <class T>
  static T* Alloc(size_t extra = 0) {
    return static_cast<T*>(std::calloc(1, sizeof(T) + extra));
  }
  TW_UINT16 GetCap(TW_CAPABILITY& C) {
    auto Enum = [&](TW_UINT16 Type, std::vector<TW_UINT32> v, TW_UINT32 Cur, TW_UINT32 Claimed) {
      const size_t size = TWItemSize(Type);
      auto* E = Alloc<TW_ENUMERATION>(v.size() * size);
      E->ItemType = Type;
      E->NumItems = Claimed;
      E->CurrentIndex = Cur;
      for (size_t i = 0; i < v.size(); ++i) std::memcpy(E->ItemList + i * size, &v[i], size);
      C.ConType = TWON_ENUMERATION;
      C.hContainer = E;
      return TWRC_SUCCESS;
    };
    auto One = [&](TW_UINT16 Type, TW_UINT32 v) {
      auto* O = Alloc<TW_ONEVALUE>();
      *O = TW_ONEVALUE{Type, v};
      C.ConType = TWON_ONEVALUE;
      C.hContainer = O;
      return TWRC_SUCCESS;
    };
    auto Fix = [](double v) { return FIX32ToItem(FloatToFIX32(v)); };
    switch (C.Cap) {
      case ICAP_UNITS: return One(TWTY_UINT16, TWUN_CENTIMETERS);
      case ICAP_XRESOLUTION: return Enum(TWTY_FIX32, {Fix(75), Fix(150), Fix(300)}, 2, 3);
      case ICAP_YRESOLUTION: return Enum(TWTY_FIX32, {Fix(75)}, 0, 0x7fffffff);  // a count beyond reason
      case ICAP_PIXELTYPE: return Enum(TWTY_UINT16, {0, 1, 2}, 1, 3);
      case ICAP_GAMMA: return One(TWTY_FIX32, Fix(1.8));
      case CAP_FEEDERENABLED: return One(TWTY_BOOL, 1);
      case ICAP_XSCALING: {
        auto* R = Alloc<TW_RANGE>();
        *R = TW_RANGE{TWTY_FIX32, Fix(0.5), Fix(2), Fix(0.25), Fix(1), Fix(1.25)};
        C.ConType = TWON_RANGE;
        C.hContainer = R;
        return TWRC_SUCCESS;
      }
      default: return TWRC_FAILURE;
    }
  }

  static void SetName(TW_IDENTITY& Id, const std::string& Name) {
    Id = TW_IDENTITY{};
    std::memcpy(Id.ProductName, Name.data(), std::min(Name.size(), sizeof(Id.ProductName)));
  }
};

FakeDSM* gFake = nullptr;

TW_UINT16 FakeEntry(pTW_IDENTITY, pTW_IDENTITY Dest, TW_UINT32, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  return gFake->Entry(Dest, DAT, MSG, Data);
}

class TwainState : public ::testing::Test {
 protected:
  void SetUp() override {
    gFake = &Fake;
    CXTW_SetEntryPoint(&FakeEntry);
  }
  void TearDown() override {
    CXTW_SetEntryPoint(nullptr);
    CXTW_SetLibraryName("");
    gFake = nullptr;
  }
  // Everything the session opened was closed again.
  void ExpectClosed() {
    EXPECT_FALSE(Fake.Enabled);
    EXPECT_FALSE(Fake.DsOpen);
    EXPECT_FALSE(Fake.DsmOpen);
  }
  // A session at state 6, ready to transfer.
  bool ReadyToTransfer(TCXTWSession& S) {
    return S.LoadManager() && S.OpenManager() && S.OpenSource("") && S.EnableSource(false) && S.WaitForTransfer();
  }
  FakeDSM Fake;
};

TEST_F(TwainState, MissingManagerFailsCleanly) {
  CXTW_SetEntryPoint(nullptr);
  for (const char* Name : {"/nonexistent/libnodsm.so", "libz.so.1"}) {  // absent; present without DSM_Entry
    CXTW_SetLibraryName(Name);
    std::vector<TW_IDENTITY> List(1);
    EXPECT_FALSE(CXTW_GetSourceList(List)) << Name;
    EXPECT_TRUE(List.empty());
    EXPECT_EQ(CXTW_GetDefaultSource(nullptr), "");
    std::string Chosen = "x";
    EXPECT_FALSE(CXTW_SelectImageSource(nullptr, Chosen));
    EXPECT_EQ(Chosen, "x");
    TCXTWainParams P;
    EXPECT_EQ(P.GetSourceCount(), 0);
    EXPECT_EQ(P.GetDefaultSource(), -1);
    TCXTWSession S(&P);
    EXPECT_FALSE(S.LoadManager());
    EXPECT_EQ(S.GetState(), 1);
  }
  EXPECT_TRUE(Fake.Log.empty());
}

TEST_F(TwainState, SourceListNamesAndSelection) {
  Fake.Sources.push_back(std::string(40, 'Z'));  // no terminator inside the field
  TCXTWainParams P;
  P.SetAppProductName("Corvex test");
  EXPECT_EQ(TW_UINT32{P.AppIdentity().SupportedGroups}, 3u);  // copied: packed fields may be unaligned
  ASSERT_EQ(P.GetSourceCount(), 3);  // the unnamed source is skipped
  EXPECT_EQ(P.GetSourceName(0), "Flatbed A");
  EXPECT_EQ(P.GetSourceName(1), "HP ScanJet 5");
  EXPECT_EQ(P.GetSourceName(2), std::string(33, 'Z'));
  EXPECT_EQ(P.GetSourceName(3), "");
  EXPECT_TRUE(P.SelectSourceByName("hp"));
  EXPECT_EQ(P.GetSelectedSource(), 1);
  EXPECT_FALSE(P.SelectSourceByName("Canon"));
  EXPECT_EQ(P.GetDefaultSource(), 1);
  std::string Chosen;
  EXPECT_TRUE(CXTW_SelectImageSource(nullptr, Chosen));
  EXPECT_EQ(Chosen, "HP ScanJet 5");
  ExpectClosed();

  // Opening by name finds that source; an unknown name is refused, not replaced by another.
  TCXTWSession S(&P);
  ASSERT_TRUE(S.LoadManager() && S.OpenManager());
  EXPECT_FALSE(S.OpenSource("Scanner that is not there"));
  EXPECT_EQ(S.GetState(), 3);
  EXPECT_EQ(S.GetConditionCode(), TWCC_NODS);
  ASSERT_TRUE(S.OpenSource("Flatbed A"));
  EXPECT_EQ(CXTW_Name(S.GetSourceIdentity().ProductName), "Flatbed A");
  S.Unwind();
  EXPECT_EQ(S.GetState(), 1);
  ExpectClosed();
}

// A refusal at each step leaves the session in the state before it; the destructor then closes
// everything that was opened, in reverse order.
TEST_F(TwainState, RefusalAtEachStepUnwinds) {
  struct Case {
    TW_UINT16 DAT, MSG, RC;
    int State;  // where the session stops
  } const Cases[] = {
      {DAT_PARENT, MSG_OPENDSM, TWRC_FAILURE, 2},
      {DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE, 3},
      {DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_CANCEL, 4},
      {DAT_EVENT, MSG_PROCESSEVENT, 77, 5},  // a code no manager should return
      {DAT_IMAGEINFO, MSG_GET, TWRC_FAILURE, 5},
  };
  for (const Case& c : Cases) {
    Fake = FakeDSM{};
    Fake.W = Fake.H = 1;
    Fake.Rows.assign(1, std::vector<uint8_t>(3, 0));
    Fake.Refuse[{c.DAT, c.MSG}] = c.RC;
    Fake.Condition = TWCC_MAXCONNECTIONS;
    bool Abort = false;
    TProgressRec Progress;
    Progress.Aborting = &Abort;
    {
      TCXTWSession S(nullptr);
      TBitmap B;
      const bool ok = ReadyToTransfer(S) && S.TransferMemory(&B, nullptr, Progress);
      EXPECT_FALSE(ok);
      EXPECT_EQ(S.GetState(), c.State) << c.DAT << "/" << c.MSG;
      if (c.MSG == MSG_OPENDS) {
        EXPECT_EQ(S.GetConditionCode(), TWCC_MAXCONNECTIONS);
      }
      if (c.DAT == DAT_IMAGEINFO) {
        EXPECT_TRUE(Abort);
      }
    }
    ExpectClosed();
    if (c.State >= 3) {
      ASSERT_GE(Fake.Log.size(), 1u);
      EXPECT_EQ(Fake.Log.back(), std::make_pair(DAT_PARENT, MSG_CLOSEDSM));
    }
  }
  // A source that asks to be closed instead of offering an image.
  Fake = FakeDSM{};
  Fake.PostedMessage = MSG_CLOSEDSREQ;
  TCXTWSession S(nullptr);
  EXPECT_FALSE(ReadyToTransfer(S));
  EXPECT_EQ(S.GetState(), 5);
}

TEST_F(TwainState, MemoryTransferRgbAndBilevel) {
  // 5 x 3 RGB in strips of 2 rows, rows padded by 3 bytes.
  Fake.W = 5;
  Fake.H = 3;
  for (int y = 0; y < 3; ++y) {
    std::vector<uint8_t> Row(15);
    for (int x = 0; x < 5; ++x) {
      Row[static_cast<size_t>(3 * x)] = static_cast<uint8_t>(10 * x + y);
      Row[static_cast<size_t>(3 * x + 1)] = static_cast<uint8_t>(100 + y);
      Row[static_cast<size_t>(3 * x + 2)] = static_cast<uint8_t>(200 + x);
    }
    Fake.Rows.push_back(Row);
  }
  TCXTWainParams P;
  TIOParamsVals IO;
  std::vector<int> Percent;
  {
    TCXTWSession S(&P);
    TBitmap B;
    TProgressRec Progress;
    ASSERT_TRUE(ReadyToTransfer(S));
    ASSERT_TRUE(S.TransferMemory(&B, &IO, Progress));
    EXPECT_EQ(S.GetState(), 5);  // nothing pending
    ASSERT_EQ(B.GetPixelFormat(), pf24bit);
    ASSERT_EQ(B.GetWidth(), 5);
    ASSERT_EQ(B.GetHeight(), 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const uint8_t* p = B.ScanLine(y) + 3 * x;  // blue, green, red
        EXPECT_EQ(p[0], 200 + x);
        EXPECT_EQ(p[1], 100 + y);
        EXPECT_EQ(p[2], 10 * x + y);
      }
    EXPECT_EQ(IO.BitsPerSample, 8);
    EXPECT_EQ(IO.SamplesPerPixel, 3);
    EXPECT_EQ(IO.DpiX, 300);
    EXPECT_EQ(IO.DpiY, 150);
    EXPECT_EQ(IO.Width, 5);
    EXPECT_EQ(IO.Height, 3);
  }
  ExpectClosed();

  // 10 x 2 bilevel: bits copied as sent (0 black, 1 white), one row per strip.
  Fake = FakeDSM{};
  Fake.W = 10;
  Fake.H = 2;
  Fake.Bpp = 1;
  Fake.StripRows = 1;
  Fake.Rows = {{0xA5, 0xC0}, {0x0F, 0x40}};
  TCXTWSession S(&P);
  TBitmap B;
  TProgressRec Progress;
  ASSERT_TRUE(ReadyToTransfer(S));
  ASSERT_TRUE(S.TransferMemory(&B, &IO, Progress));
  ASSERT_EQ(B.GetPixelFormat(), pf1bit);
  EXPECT_EQ(B.ScanLine(0)[0], 0xA5);
  EXPECT_EQ(B.ScanLine(0)[1] & 0xC0, 0xC0);
  EXPECT_EQ(B.ScanLine(1)[0], 0x0F);
  EXPECT_EQ(B.ScanLine(1)[1] & 0xC0, 0x40);
  EXPECT_EQ(IO.BitsPerSample, 1);
  EXPECT_EQ(IO.SamplesPerPixel, 1);
}

// Sources that misbehave during the transfer: no image is kept, the abort flag is set, the
// session is back at state 5 and closes cleanly.
TEST_F(TwainState, FaultyTransfersEndCleanly) {
  enum Fault { Short, Oversized, Undersized, Cancel, ZeroSize, Absurd, UserAbort };
  for (Fault f : {Short, Oversized, Undersized, Cancel, ZeroSize, Absurd, UserAbort}) {
    Fake = FakeDSM{};
    Fake.W = 4;
    Fake.H = 6;
    Fake.Rows.assign(6, std::vector<uint8_t>(12, 0x55));
    if (f == Short) Fake.StripsBeforeDone = 1;
    if (f == Oversized) Fake.ExtraWritten = 1000;
    if (f == Undersized) Fake.ExtraWritten = -5;
    if (f == Cancel) Fake.CancelAtStrip = 1;
    if (f == ZeroSize) Fake.W = 0;
    if (f == Absurd) Fake.W = Fake.H = 2000000;
    bool Abort = false;
    TProgressRec Progress;
    Progress.Aborting = &Abort;
    if (f == UserAbort) {
      Progress.OnProgress = TCXProgressEvent::FromFunction([](void* a, TObject*, int32_t) { *static_cast<bool*>(a) = true; }, &Abort);
    }
    {
      TCXTWSession S(nullptr);
      TBitmap B;
      ASSERT_TRUE(ReadyToTransfer(S));
      EXPECT_FALSE(S.TransferMemory(&B, nullptr, Progress)) << f;
      EXPECT_EQ(B.GetWidth() * B.GetHeight(), 0) << f;
      EXPECT_TRUE(Abort) << f;
      EXPECT_EQ(S.GetState(), 5) << f;
    }
    ExpectClosed();
  }
}

// Negotiation sends the application's choices (a pixel type beyond RGB as RGB, with its bit depth
// and flavour); reading fills every capability, with defaults where the source has none and an
// unreasonable container refused.
TEST_F(TwainState, CapabilitiesNegotiatedAndRead) {
  TCXTWainParams P;
  P.Caps.PixelType.Add(5);
  P.Caps.PixelType.SetCurrentValue(5);
  P.Caps.XResolution.Add(200);
  P.Caps.XResolution.SetCurrentValue(200);
  P.Caps.FeederEnabled = true;
  ASSERT_TRUE(CXTW_GetCapabilities(&P, P.Caps, true));
  EXPECT_EQ(Fake.Sets[ICAP_UNITS], TWUN_INCHES);
  EXPECT_EQ(Fake.Sets[ICAP_PIXELTYPE], TWPT_RGB);
  EXPECT_EQ(Fake.Sets[ICAP_BITDEPTH], 24u);
  EXPECT_EQ(Fake.Sets[ICAP_PIXELFLAVOR], TWPF_CHOCOLATE);
  EXPECT_EQ(Fake.Sets[ICAP_XRESOLUTION], FIX32ToItem(FloatToFIX32(200)));
  EXPECT_EQ(Fake.Sets[CAP_FEEDERENABLED], 1u);
  EXPECT_EQ(Fake.Sets.count(ICAP_YRESOLUTION), 0u);  // the list was empty: nothing to ask for
  ExpectClosed();

  const TCXTWSourceCaps& C = P.Caps;
  ASSERT_EQ(C.XResolution.GetCount(), 3);
  EXPECT_EQ(C.XResolution.GetItem(1), 150);
  EXPECT_EQ(C.XResolution.GetCurrentValue(), 300);
  EXPECT_EQ(C.YResolution.GetCount(), 0);
  ASSERT_EQ(C.XScaling.GetCount(), 1);
  EXPECT_EQ(C.XScaling.GetCurrentValue(), 1.25);
  EXPECT_EQ(C.XScaling.GetRangeMin(), 0.5);
  EXPECT_EQ(C.XScaling.GetRangeStep(), 0.25);
  EXPECT_EQ(C.YScaling.GetCount(), 1);
  EXPECT_EQ(C.YScaling.GetCurrentValue(), 1.0);
  EXPECT_EQ(C.PixelType.GetCount(), 3);
  EXPECT_EQ(C.PixelType.GetCurrentValue(), 1);
  EXPECT_NEAR(C.Gamma, 1.8, 1.0 / 65536);
  EXPECT_EQ(C.PhysicalWidth, 0);
  EXPECT_TRUE(C.FeederEnabled);
  EXPECT_FALSE(C.DuplexEnabled);
  EXPECT_EQ(C.Orientation.GetCount(), 1);
  EXPECT_TRUE(C.Indicators);
  EXPECT_FALSE(C.XResolution.Changed.Empty());

  ASSERT_TRUE(CXTW_GetCapabilities(&P, P.Caps, false));
  EXPECT_TRUE(C.XResolution.Changed.Empty());
  EXPECT_TRUE(C.PixelType.Changed.Empty());
}

// A receiver of feeder pages, as a multi-image component would be: it keeps each page and hands
// back the parameter record of the new image.
struct PageSink : TObject {
  std::vector<std::unique_ptr<TBitmap>> Pages;
  std::vector<std::unique_ptr<TIOParamsVals>> Records;
  void OnPage(TBitmap* Bitmap, TIOParamsVals*& IOParams) {
    Pages.push_back(std::make_unique<TBitmap>());
    Pages.back()->Assign(Bitmap);
    Records.push_back(std::make_unique<TIOParamsVals>());
    IOParams = Records.back().get();
  }
};

// Single and feeder acquisitions through the whole state sequence; a jam on the third page keeps
// the first two, reports the abort and closes the source and manager.
TEST_F(TwainState, AcquireSingleAndFeeder) {
  auto Setup = [&](int Pages, int Jam) {
    Fake = FakeDSM{};
    Fake.W = 2;
    Fake.H = 3;
    Fake.Rows.assign(3, std::vector<uint8_t>{10, 20, 30, 40, 50, 60});
    Fake.Pages = Pages;
    Fake.JamAtPage = Jam;
  };
  TCXTWainParams P;
  P.SetSelectedSource(1);  // "HP ScanJet 5"
  TProgressRec Progress;
  bool Abort = false;
  Progress.Aborting = &Abort;

  Setup(2, -1);
  TBitmap B;
  TIOParamsVals IO;
  ASSERT_TRUE(CXTW_Acquire(nullptr, &B, false, nullptr, &P, &IO, Progress));
  EXPECT_EQ(B.ScanLine(2)[3], 60);
  EXPECT_EQ(IO.Width, 2);
  EXPECT_FALSE(Abort);
  ExpectClosed();
  EXPECT_NE(std::find(Fake.Log.begin(), Fake.Log.end(), std::make_pair(DAT_PENDINGXFERS, MSG_RESET)), Fake.Log.end());

  Setup(4, 2);
  PageSink Sink;
  ASSERT_TRUE(CXTW_Acquire(nullptr, nullptr, true, TCXTWMultiCallBack(&Sink, &PageSink::OnPage), &P, nullptr, Progress));
  ASSERT_EQ(Sink.Pages.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Sink.Pages[i]->ScanLine(0)[2], 10 + i);  // red of the first pixel, page-marked
    EXPECT_EQ(Sink.Records[i]->Height, 3);
    EXPECT_EQ(Sink.Records[i]->DpiX, 300);
  }
  EXPECT_TRUE(Abort);
  ExpectClosed();

  // A source without memory transfers falls back to a native one; a DIB whose header is not
  // readable gives no image.
  for (bool Bad : {false, true}) {
    Setup(1, -1);
    Fake.RefuseMemory = true;
    Fake.BadHeader = Bad;
    Abort = false;
    TBitmap N;
    EXPECT_EQ(CXTW_Acquire(nullptr, &N, false, nullptr, &P, &IO, Progress), !Bad);
    EXPECT_EQ(Abort, Bad);
    if (!Bad) {
      ASSERT_EQ(N.GetHeight(), 3);
      const uint8_t* p = N.ScanLine(2);  // blue, green, red of the first pixel: 30, 20, 10
      EXPECT_EQ(p[0], 30);
      EXPECT_EQ(p[1], 20);
      EXPECT_EQ(p[2], 10);
      EXPECT_EQ(p[5], 40);
    }
    ExpectClosed();
  }
}

}  // namespace
}  // namespace corvex
