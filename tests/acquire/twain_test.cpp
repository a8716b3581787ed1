// The TWAIN records as a source manager on 64-bit Linux lays them out (2-byte packing, 32-bit
// TW_UINT32, 8-byte handles), and the fixed-point conversions the negotiation relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

#include "corvex/acquire/twain.h"

namespace corvex {
namespace {

#define FIELD(T, f) {#T "::" #f, offsetof(T, f), sizeof(T::f)}

struct Field {
  const char* name;
  size_t offset, size;
};

// Every field of every record, at the offset the packing gives it. A field that moved breaks
// every source that reads the record, so the whole table is checked, not only the sizes.
TEST(TwainLayout, EveryFieldAtItsOffset) {
  const Field fields[] = {
      FIELD(TW_FIX32, Whole), FIELD(TW_FIX32, Frac),
      FIELD(TW_FRAME, Left), FIELD(TW_FRAME, Top), FIELD(TW_FRAME, Right), FIELD(TW_FRAME, Bottom),
      FIELD(TW_VERSION, MajorNum), FIELD(TW_VERSION, MinorNum), FIELD(TW_VERSION, Language),
      FIELD(TW_VERSION, Country), FIELD(TW_VERSION, Info),
      FIELD(TW_IDENTITY, Id), FIELD(TW_IDENTITY, Version), FIELD(TW_IDENTITY, ProtocolMajor),
      FIELD(TW_IDENTITY, ProtocolMinor), FIELD(TW_IDENTITY, SupportedGroups),
      FIELD(TW_IDENTITY, Manufacturer), FIELD(TW_IDENTITY, ProductFamily), FIELD(TW_IDENTITY, ProductName),
      FIELD(TW_CAPABILITY, Cap), FIELD(TW_CAPABILITY, ConType), FIELD(TW_CAPABILITY, hContainer),
      FIELD(TW_ONEVALUE, ItemType), FIELD(TW_ONEVALUE, Item),
      FIELD(TW_ENUMERATION, ItemType), FIELD(TW_ENUMERATION, NumItems), FIELD(TW_ENUMERATION, CurrentIndex),
      FIELD(TW_ENUMERATION, DefaultIndex), FIELD(TW_ENUMERATION, ItemList),
      FIELD(TW_RANGE, ItemType), FIELD(TW_RANGE, MinValue), FIELD(TW_RANGE, MaxValue), FIELD(TW_RANGE, StepSize),
      FIELD(TW_RANGE, DefaultValue), FIELD(TW_RANGE, CurrentValue),
      FIELD(TW_ARRAY, ItemType), FIELD(TW_ARRAY, NumItems), FIELD(TW_ARRAY, ItemList),
      FIELD(TW_IMAGEINFO, XResolution), FIELD(TW_IMAGEINFO, YResolution), FIELD(TW_IMAGEINFO, ImageWidth),
      FIELD(TW_IMAGEINFO, ImageLength), FIELD(TW_IMAGEINFO, SamplesPerPixel), FIELD(TW_IMAGEINFO, BitsPerSample),
      FIELD(TW_IMAGEINFO, BitsPerPixel), FIELD(TW_IMAGEINFO, Planar), FIELD(TW_IMAGEINFO, PixelType),
      FIELD(TW_IMAGEINFO, Compression),
      FIELD(TW_IMAGELAYOUT, Frame), FIELD(TW_IMAGELAYOUT, DocumentNumber), FIELD(TW_IMAGELAYOUT, PageNumber),
      FIELD(TW_IMAGELAYOUT, FrameNumber),
      FIELD(TW_MEMORY, Flags), FIELD(TW_MEMORY, Length), FIELD(TW_MEMORY, TheMem),
      FIELD(TW_IMAGEMEMXFER, Compression), FIELD(TW_IMAGEMEMXFER, BytesPerRow), FIELD(TW_IMAGEMEMXFER, Columns),
      FIELD(TW_IMAGEMEMXFER, Rows), FIELD(TW_IMAGEMEMXFER, XOffset), FIELD(TW_IMAGEMEMXFER, YOffset),
      FIELD(TW_IMAGEMEMXFER, BytesWritten), FIELD(TW_IMAGEMEMXFER, Memory),
      FIELD(TW_SETUPMEMXFER, MinBufSize), FIELD(TW_SETUPMEMXFER, MaxBufSize), FIELD(TW_SETUPMEMXFER, Preferred),
      FIELD(TW_USERINTERFACE, ShowUI), FIELD(TW_USERINTERFACE, ModalUI), FIELD(TW_USERINTERFACE, hParent),
      FIELD(TW_PENDINGXFERS, Count), FIELD(TW_PENDINGXFERS, EOJ), FIELD(TW_PENDINGXFERS, Reserved),
      FIELD(TW_STATUS, ConditionCode), FIELD(TW_STATUS, Reserved),
      FIELD(TW_EVENT, pEvent), FIELD(TW_EVENT, TWMessage),
  };
  // {offset, size} in the same order.
  const size_t expected[][2] = {
      {0, 2}, {2, 2},
      {0, 4}, {4, 4}, {8, 4}, {12, 4},
      {0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 34},
      {0, 4}, {4, 42}, {46, 2}, {48, 2}, {50, 4}, {54, 34}, {88, 34}, {122, 34},
      {0, 2}, {2, 2}, {4, 8},
      {0, 2}, {2, 4},
      {0, 2}, {2, 4}, {6, 4}, {10, 4}, {14, 1},
      {0, 2}, {2, 4}, {6, 4}, {10, 4}, {14, 4}, {18, 4},
      {0, 2}, {2, 4}, {6, 1},
      {0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 2}, {18, 16}, {34, 2}, {36, 2}, {38, 2}, {40, 2},
      {0, 16}, {16, 4}, {20, 4}, {24, 4},
      {0, 4}, {4, 4}, {8, 8},
      {0, 2}, {2, 4}, {6, 4}, {10, 4}, {14, 4}, {18, 4}, {22, 4}, {26, 16},
      {0, 4}, {4, 4}, {8, 4},
      {0, 2}, {2, 2}, {4, 8},
      {0, 2}, {2, 4}, {2, 4},
      {0, 2}, {2, 2},
      {0, 8}, {8, 2},
  };
  static_assert(std::size(fields) == std::size(expected));
  for (size_t i = 0; i < std::size(fields); ++i) {
    EXPECT_EQ(fields[i].offset, expected[i][0]) << fields[i].name;
    EXPECT_EQ(fields[i].size, expected[i][1]) << fields[i].name;
  }

  const std::pair<const char*, size_t> sizes[] = {
      {"TW_FIX32", sizeof(TW_FIX32)}, {"TW_FRAME", sizeof(TW_FRAME)}, {"TW_VERSION", sizeof(TW_VERSION)},
      {"TW_IDENTITY", sizeof(TW_IDENTITY)}, {"TW_CAPABILITY", sizeof(TW_CAPABILITY)},
      {"TW_ONEVALUE", sizeof(TW_ONEVALUE)}, {"TW_ENUMERATION", sizeof(TW_ENUMERATION)},
      {"TW_RANGE", sizeof(TW_RANGE)}, {"TW_ARRAY", sizeof(TW_ARRAY)}, {"TW_IMAGEINFO", sizeof(TW_IMAGEINFO)},
      {"TW_IMAGELAYOUT", sizeof(TW_IMAGELAYOUT)}, {"TW_MEMORY", sizeof(TW_MEMORY)},
      {"TW_IMAGEMEMXFER", sizeof(TW_IMAGEMEMXFER)}, {"TW_SETUPMEMXFER", sizeof(TW_SETUPMEMXFER)},
      {"TW_USERINTERFACE", sizeof(TW_USERINTERFACE)}, {"TW_PENDINGXFERS", sizeof(TW_PENDINGXFERS)},
      {"TW_STATUS", sizeof(TW_STATUS)}, {"TW_EVENT", sizeof(TW_EVENT)}, {"TW_STR32", sizeof(TW_STR32)},
      {"TW_STR64", sizeof(TW_STR64)}, {"TW_STR128", sizeof(TW_STR128)}, {"TW_STR255", sizeof(TW_STR255)},
  };
  const size_t expectedSizes[] = {4, 16, 42, 156, 12, 6, 16, 22, 8, 42, 28, 16, 42, 12, 12, 6, 4, 10,
                                  34, 66, 130, 256};
  static_assert(std::size(sizes) == std::size(expectedSizes));
  for (size_t i = 0; i < std::size(sizes); ++i) EXPECT_EQ(sizes[i].second, expectedSizes[i]) << sizes[i].first;

  // The container sizes that follow from the types: what a reader multiplies NumItems by.
  EXPECT_EQ(TWItemSize(TWTY_BOOL), 2u);
  EXPECT_EQ(TWItemSize(TWTY_FIX32), 4u);
  EXPECT_EQ(TWItemSize(TWTY_FRAME), 16u);
  EXPECT_EQ(TWItemSize(TWTY_STR255), 256u);
  EXPECT_EQ(TWItemSize(0x0e), 0u);  // a type this revision does not define
}

// Known FIX32 values: nearest 1/65536 with ties to even, negatives as two's complement
// (Whole rounds down, Frac adds up), and out-of-range input clamped instead of wrapping.
TEST(TwainFix32, KnownValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double v;
    TW_INT16 whole;
    TW_UINT16 frac;
    double back;  // FIX32ToFloat of the result
  } table[] = {
      {0.0, 0, 0, 0.0},
      {1.0, 1, 0, 1.0},
      {300.0, 300, 0, 300.0},
      {2.5, 2, 0x8000, 2.5},
      {-1.5, -2, 0x8000, -1.5},
      {-1.0, -1, 0, -1.0},
      {0.1, 0, 6554, 6554 / 65536.0},
      {-0.1, -1, 58982, -6554 / 65536.0},
      {0.5 / 65536, 0, 0, 0.0},            // tie: to even (0)
      {1.5 / 65536, 0, 2, 2 / 65536.0},    // tie: to even (2)
      {-0.5 / 65536, 0, 0, 0.0},
      {32767.99999, 32767, 65535, 32767 + 65535 / 65536.0},
      {40000.0, 32767, 65535, 32767 + 65535 / 65536.0},
      {-32768.0, -32768, 0, -32768.0},
      {-1e300, -32768, 0, -32768.0},
      {nan, 0, 0, 0.0},
  };
  for (const auto& t : table) {
    const TW_FIX32 f = FloatToFIX32(t.v);
    EXPECT_EQ(f.Whole, t.whole) << t.v;
    EXPECT_EQ(f.Frac, t.frac) << t.v;
    EXPECT_EQ(FIX32ToFloat(f), t.back) << t.v;
  }

  // Every FIX32 value converts to a double and back unchanged (a spread of bit patterns).
  for (uint64_t bits = 0; bits <= 0xffffffffu; bits += 65521 * 7) {
    const TW_FIX32 f{static_cast<TW_INT16>(static_cast<uint16_t>(bits >> 16)), static_cast<TW_UINT16>(bits & 0xffff)};
    const TW_FIX32 g = FloatToFIX32(FIX32ToFloat(f));
    ASSERT_TRUE(g.Whole == f.Whole && g.Frac == f.Frac) << std::hex << bits;
  }
}

// A FIX32 in a one-value container travels by its bytes: Whole first in memory, so on this
// little-endian machine in Item's low half.
TEST(TwainFix32, InContainerSlot) {
  TW_ONEVALUE one{TWTY_FIX32, FIX32ToItem(FloatToFIX32(-1.5))};
  EXPECT_EQ(TW_UINT32{one.Item}, 0x8000fffeu);  // copied: the packed field is unaligned
  unsigned char raw[sizeof one];
  std::memcpy(raw, &one, sizeof one);
  const unsigned char expected[] = {0x07, 0x00, 0xfe, 0xff, 0x00, 0x80};
  EXPECT_EQ(std::memcmp(raw, expected, sizeof raw), 0);
  EXPECT_EQ(FIX32ToFloat(ItemToFIX32(one.Item)), -1.5);
  EXPECT_EQ(FIX32ToFloat(ItemToFIX32(0x00000048u)), 72.0);
}

}  // namespace
}  // namespace corvex
