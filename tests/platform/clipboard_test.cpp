// The in-process clipboard: opening, ownership of the blocks and formats.
#include <gtest/gtest.h>

#include <cstring>

#include "corvex/platform/clipboard.h"

namespace corvex {
namespace {

HGLOBAL Block(const char* text) {
  const HGLOBAL h = GlobalAlloc(GHND, std::strlen(text) + 1);
  std::memcpy(GlobalLock(h), text, std::strlen(text) + 1);
  GlobalUnlock(h);
  return h;
}

TEST(Clipboard, OpenSetGetAndOwnership) {
  ASSERT_TRUE(OpenClipboard(0));
  EXPECT_FALSE(OpenClipboard(0));  // already open
  EXPECT_TRUE(EmptyClipboard());
  const size_t before = GlobalBlockCount();
  const HGLOBAL a = Block("first");
  EXPECT_EQ(SetClipboardData(CF_DIB, a), a);
  EXPECT_EQ(GetClipboardData(CF_DIB), a);
  EXPECT_EQ(GetClipboardData(CF_TEXT), 0u);
  // Replacing frees the old block: the clipboard owns what it was given.
  const HGLOBAL b = Block("second");
  SetClipboardData(CF_DIB, b);
  EXPECT_EQ(GlobalBlockCount(), before + 1);
  EXPECT_EQ(GlobalSize(a), 0u);
  SetClipboardData(CF_TEXT, Block("text"));
  EXPECT_EQ(CountClipboardFormats(), 2);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());

  // Closed: the data stays and can be asked about, but not read or changed.
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_EQ(GetClipboardData(CF_DIB), 0u);
  const HGLOBAL c = Block("refused");
  EXPECT_EQ(SetClipboardData(CF_DIB, c), 0u);  // still the caller's
  GlobalFree(c);
  EXPECT_FALSE(EmptyClipboard());

  ASSERT_TRUE(OpenClipboard(0));
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(GetClipboardData(CF_DIB))), "second");
  GlobalUnlock(GetClipboardData(CF_DIB));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(GlobalBlockCount(), before);
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
  CloseClipboard();
}

}  // namespace
}  // namespace corvex
