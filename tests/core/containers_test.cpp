#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "corvex/core/utils.h"

namespace corvex {
namespace {

TEST(CXList, InsertDeleteFindAndChangeFlags) {
  TCXIntegerList l;
  EXPECT_EQ(l.GetItemSize(), 4);
  l.Add(10);
  l.Add(30);
  l.Insert(1, 20);
  l.Insert(3, 40);   // at Count: appends
  l.Insert(99, 50);  // beyond Count: appends
  ASSERT_EQ(l.GetCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(l.GetItem(i), 10 * (i + 1));
  EXPECT_EQ(l.IndexOf(30), 2);
  EXPECT_EQ(l.IndexOf(31), -1);
  l.Delete(-1);
  l.Delete(5);
  EXPECT_EQ(l.GetCount(), 5);
  l.Delete(0);
  EXPECT_EQ(l.GetItem(0), 20);
  EXPECT_EQ(l.GetItem(99), 0);
  EXPECT_TRUE(l.Changed.Contains(cxlItems));
  EXPECT_FALSE(l.Changed.Contains(cxlRange));
  l.SetRangeMax(7);
  l.SetCurrentValue(3);
  EXPECT_TRUE(l.Changed.Contains(cxlRange));
  EXPECT_TRUE(l.Changed.Contains(cxlCurrentValue));

  TCXIntegerList copy;
  copy.Assign(&l);
  EXPECT_EQ(copy.GetCount(), 4);
  EXPECT_EQ(copy.GetRangeMax(), 7);
  EXPECT_EQ(copy.GetCurrentValue(), 3);
  EXPECT_EQ(copy.Changed, l.Changed);

  l.Clear();
  EXPECT_EQ(l.GetCount(), 0);
  EXPECT_TRUE(l.Changed.Empty());
  EXPECT_EQ(l.GetRangeMax(), 0);
  l.SetCount(3);
  EXPECT_EQ(l.GetCount(), 3);
  l.SetItem(2, 9);
  l.SetItem(3, 9);  // out of range: ignored
  EXPECT_EQ(l.GetItem(2), 9);
}

TEST(CXList, DoublesAndRecords) {
  TCXDoubleList d;
  d.Add(1.5);
  d.Add(-2.25);
  EXPECT_EQ(d.GetItemSize(), 8);
  EXPECT_EQ(d.IndexOf(-2.25), 1);
  d.SetRangeStep(0.5);
  TCXDoubleList e;
  e.Assign(&d);
  EXPECT_DOUBLE_EQ(e.GetItem(0), 1.5);
  EXPECT_DOUBLE_EQ(e.GetRangeStep(), 0.5);

  struct Rec {
    int a;
    char tag[4];
  };
  TCXRecordList r(sizeof(Rec));
  Rec x{1, "ab"}, y{2, "cd"};
  r.Add(&x);
  r.Insert(0, &y);
  EXPECT_EQ(static_cast<Rec*>(r.GetItem(0))->a, 2);
  EXPECT_EQ(r.IndexOf(&x), 1);
  r.Insert(0, r.GetItem(1));  // an item of the list itself
  EXPECT_EQ(static_cast<Rec*>(r.GetItem(0))->a, 1);
  r.Clear();
  EXPECT_EQ(r.GetItemSize(), static_cast<int>(sizeof(Rec)));
}

TEST(CXByteArray, CapacityFollowsTheGrowthBlock) {
  TCXByteArray a;
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_EQ(a.GetCapacity(), 8192);
  a.SetSize(10000);
  EXPECT_EQ(a.GetCapacity(), 18192);
  a.GetData()[8999] = 42;
  const uint8_t* block = a.GetData();
  a.SetSize(9000);  // keeps the block
  EXPECT_EQ(a.GetData(), block);
  EXPECT_EQ(a.GetCapacity(), 18192);
  a.SetSize(100);  // reallocates
  EXPECT_EQ(a.GetCapacity(), 8292);
  a.SetSize(9000);
  a.AddByte(7);
  EXPECT_EQ(a.GetSize(), 9001);
  EXPECT_EQ(a.GetData()[9000], 7);

  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  s.SetPosition(2);
  TCXByteArray b;
  EXPECT_EQ(b.AppendFromStream(&s, 10), 4);  // only 4 bytes were left
  EXPECT_EQ(b.GetSize(), 4);
  EXPECT_EQ(std::memcmp(b.GetData(), "cdef", 4), 0);
  b.Clear();
  EXPECT_EQ(b.GetSize(), 0);
  EXPECT_EQ(b.GetCapacity(), 8192);
}

TEST(THash1, BucketsChainsAndCounts) {
  THash1 h(8);
  EXPECT_EQ(h.HashFunc(1), h.HashFunc(257));
  EXPECT_TRUE(h.Insert(1));
  EXPECT_TRUE(h.Insert(257));
  EXPECT_TRUE(h.Insert(513));
  EXPECT_FALSE(h.Insert(257));
  EXPECT_TRUE(h.KeyPresent(1));
  EXPECT_TRUE(h.KeyPresent(257));
  EXPECT_TRUE(h.KeyPresent(513));
  EXPECT_FALSE(h.KeyPresent(769));
  EXPECT_FALSE(h.KeyPresent(2));
  EXPECT_EQ(h.GetCount(), 3);

  THash1 colours(13);
  for (uint32_t i = 0; i < 100000; ++i) colours.Insert((i * 2654435761u) & 0xFFFFFF);
  int present = 0;
  for (uint32_t i = 0; i < 100000; ++i) present += colours.KeyPresent((i * 2654435761u) & 0xFFFFFF);
  EXPECT_EQ(present, 100000);
  EXPECT_LE(colours.GetCount(), 100000);
  EXPECT_GT(colours.GetCount(), 99000);
}

TEST(TNulStream, CountsWithoutData) {
  TNulStream n;
  uint8_t buf[100] = {};
  EXPECT_EQ(n.Write(buf, 100), 100);
  EXPECT_EQ(n.GetSize(), 100);
  EXPECT_EQ(n.Seek(0, soEnd), 100);
  EXPECT_EQ(n.Seek(-50, soCurrent), 50);
  EXPECT_EQ(n.Read(buf, 10), 10);
  EXPECT_EQ(n.GetPosition(), 60);
  EXPECT_EQ(n.Seek(500, soBeginning), 500);
  EXPECT_EQ(n.GetSize(), 500);  // seeking past the end raises the size
  EXPECT_THROW(n.Seek(-1, soBeginning), EStreamError);
}

TEST(StringPersistence, LengthPrefixAndHostileLengths) {
  TMemoryStream s;
  SaveStringToStream(&s, "Grün");
  ASSERT_EQ(s.GetSize(), 4 + 5);
  EXPECT_EQ(s.Memory()[0], 5);
  EXPECT_EQ(s.Memory()[3], 0);
  s.SetPosition(0);
  std::string t;
  LoadStringFromStream(&s, t);
  EXPECT_EQ(t, "Grün");

  const uint8_t lie[6] = {0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'};
  TPointerStream p(lie, 6);
  EXPECT_THROW(LoadStringFromStream(&p, t), EReadError);  // longer than the stream
  const uint8_t neg[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  TPointerStream q(neg, 4);
  EXPECT_THROW(LoadStringFromStream(&q, t), EReadError);
}

TEST(FileSize, ExistingMissingAndFolders) {
  const std::string path = testing::TempDir() + "corvex_filesize.bin";
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("12345", 5);
  }
  EXPECT_EQ(_getfilesize(path), 5);
  EXPECT_EQ(_getfilesize(path + ".missing"), -1);
  EXPECT_EQ(_getfilesize(testing::TempDir()), -1);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace corvex
