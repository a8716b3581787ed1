#include "corvex/platform/streams/streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace corvex {
namespace {

std::string TempPath(const std::string& name) {
  return testing::TempDir() + "corvex_streams_" + std::to_string(getpid()) + "_" + name;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

// Random reads, writes and seeks on a buffered file must behave exactly like the same operations
// on a memory stream, across buffer boundaries and mixed directions.
TEST(FileStream, BufferedAccessMatchesAMemoryModel) {
  const std::string path = TempPath("model.bin");
  std::mt19937 rng(1234);
  TMemoryStream model;
  {
    TFileStream f(path, fmCreate);
    std::vector<uint8_t> buf(200000), got(200000), want(200000);
    for (int op = 0; op < 3000; ++op) {
      const int kind = static_cast<int>(rng() % 10);
      const int64_t n = (rng() % 4 == 0) ? static_cast<int64_t>(rng() % 150000) : static_cast<int64_t>(rng() % 300);
      if (kind < 4) {
        for (int64_t i = 0; i < n; ++i) buf[size_t(i)] = static_cast<uint8_t>(rng());
        ASSERT_EQ(f.Write(buf.data(), n), n);
        model.Write(buf.data(), n);
      } else if (kind < 8) {
        const int64_t a = f.Read(got.data(), n), b = model.Read(want.data(), n);
        ASSERT_EQ(a, b) << "op " << op;
        ASSERT_EQ(std::memcmp(got.data(), want.data(), size_t(a)), 0) << "op " << op;
      } else {
        const int64_t size = model.GetSize();
        const int64_t to = size > 0 ? static_cast<int64_t>(rng() % uint64_t(size + 10)) : 0;
        ASSERT_EQ(f.Seek(to, soBeginning), model.Seek(to, soBeginning));
      }
      ASSERT_EQ(f.GetPosition(), model.GetPosition());
      // The model fills gaps left by seeking past the end with zeros, as a file does.
      ASSERT_EQ(f.GetSize(), std::max(model.GetSize(), int64_t{0}));
    }
    f.Flush();
  }
  TMemoryStream reread;
  reread.LoadFromFile(path);
  ASSERT_EQ(reread.GetSize(), model.GetSize());
  EXPECT_EQ(std::memcmp(reread.Memory(), model.Memory(), size_t(model.GetSize())), 0);
  std::remove(path.c_str());
}

TEST(FileStream, OpenErrorsNameTheFile) {
  const std::string missing = TempPath("does-not-exist.bmp");
  std::string msg = ErrorOf([&] { TFileStream f(missing, fmOpenRead); });
  EXPECT_NE(msg.find(missing), std::string::npos) << msg;
  EXPECT_THROW(TFileStream(missing, fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream("/nonexistent-dir/x.bmp", fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(testing::TempDir(), fmOpenRead), EFOpenError);  // a directory
}

TEST(FileStream, ShortReadRaisesAndSeekRules) {
  const std::string path = TempPath("short.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("abcdef", 6);
    EXPECT_THROW(f.Seek(-1, soBeginning), EStreamError);
    EXPECT_EQ(f.Seek(-2, soEnd), 4);
    char two[2];
    f.ReadBuffer(two, 2);
    EXPECT_EQ(std::string(two, 2), "ef");
    EXPECT_EQ(f.Read(two, 2), 0);  // at the end
    EXPECT_EQ(f.Seek(10, soBeginning), 10);  // past the end is allowed
    f.SetSize(3);
    EXPECT_EQ(f.GetSize(), 3);
    EXPECT_EQ(f.GetPosition(), 3);
  }
  TFileStream r(path, fmOpenRead | fmShareDenyWrite);
  char buf[8];
  std::string msg = ErrorOf([&] { r.ReadBuffer(buf, 8); });
  EXPECT_NE(msg.find("3 of 8"), std::string::npos) << msg;
  EXPECT_NE(msg.find(path), std::string::npos) << msg;
  EXPECT_THROW(r.WriteBuffer("x", 1), EWriteError);  // opened for reading only
  std::remove(path.c_str());
}

TEST(MemoryStream, GrowsFillsGapsAndCopies) {
  TMemoryStream m;
  m.Seek(4, soBeginning);
  m.WriteBuffer("xy", 2);
  ASSERT_EQ(m.GetSize(), 6);
  EXPECT_EQ(m.Memory()[0], 0);
  EXPECT_EQ(m.Memory()[5], 'y');
  m.SetSize(5);
  EXPECT_EQ(m.GetPosition(), 5);

  TMemoryStream copy;
  copy.WriteBuffer("!", 1);
  EXPECT_EQ(copy.CopyFrom(&m, 0), 5);  // 0 = all of the source, from its beginning
  EXPECT_EQ(copy.GetSize(), 6);
  EXPECT_EQ(copy.Memory()[5], 'x');
  m.SetPosition(4);
  char c;
  EXPECT_THROW(copy.CopyFrom(&m, 3), EReadError);  // only one byte left
  m.SetPosition(4);
  EXPECT_EQ(m.Read(&c, 1), 1);
  EXPECT_EQ(c, 'x');

  const std::string path = TempPath("mem.bin");
  copy.SaveToFile(path);
  TMemoryStream back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.GetSize(), 6);
  EXPECT_EQ(back.GetPosition(), 0);
  std::remove(path.c_str());
}

TEST(PointerStream, ReadsForeignMemoryOnly) {
  const char data[] = "hello";
  TPointerStream p(data, 5);
  char buf[8] = {};
  EXPECT_EQ(p.Read(buf, 8), 5);
  EXPECT_EQ(std::string(buf), "hello");
  EXPECT_THROW(p.Write("x", 1), EWriteError);
  EXPECT_THROW(p.SetSize(2), EStreamError);
  EXPECT_EQ(p.Seek(-2, soEnd), 3);
  EXPECT_THROW(p.Seek(-6, soEnd), EStreamError);
  EXPECT_THROW(p.Seek(INT64_MAX, soCurrent), EStreamError);  // overflow is refused
  // The bytes from the position on, in place (a reader takes them without a copy).
  int64_t count = -1;
  p.Seek(3, soBeginning);
  EXPECT_EQ(p.BytesInPlace(count), reinterpret_cast<const uint8_t*>(data) + 3);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(p.GetPosition(), 3);
  p.Seek(9, soBeginning);
  EXPECT_EQ(p.BytesInPlace(count), nullptr);
  EXPECT_EQ(count, 0);
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  m.SetPosition(1);
  EXPECT_EQ(m.BytesInPlace(count), m.Memory() + 1);
  EXPECT_EQ(count, 2);
  const std::string path = TempPath("inplace.bin");
  {
    TFileStream f(path, fmCreate);
    EXPECT_EQ(f.BytesInPlace(count), nullptr);  // a file is read through its buffer
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace corvex
