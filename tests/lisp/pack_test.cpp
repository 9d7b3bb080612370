// CZqlLispPack: page splits, spare pages, releasing pages, copy on write,
// positions and searching.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "lisppack.h"
#include "lisptest.h"
#include "zqlsys.h"

namespace {

std::vector<int32_t> Counts(const CZqlLispPack& pack) {
  std::vector<int32_t> counts(64);
  counts.resize(pack.pageCounts(counts.data(), 64));
  return counts;
}

// The int32 items of a pack of 4-byte items, in order.
std::vector<int32_t> Items(CZqlLispPack& pack) {
  std::vector<int32_t> out;
  void* item = nullptr;
  for (int ok = pack.getFirstItem(&item); ok; ok = pack.getNextItem(&item)) {
    int32_t v;
    std::memcpy(&v, item, sizeof v);
    out.push_back(v);
  }
  return out;
}

int32_t Current(CZqlLispPack& pack) {
  void* item = nullptr;
  int32_t v = -1;
  if (pack.getItem(-1, &item)) std::memcpy(&v, item, sizeof v);
  return v;
}

void Append(CZqlLispPack& pack, int32_t from, int32_t to) {
  for (int32_t v = from; v < to; ++v) ASSERT_EQ(pack.addItem(&v, pack.Qty()), 1);
}

std::vector<int32_t> Range(int32_t from, int32_t to) {
  std::vector<int32_t> out;
  for (int32_t v = from; v < to; ++v) out.push_back(v);
  return out;
}

// An eleventh item splits a full page of ten into five and five; the new
// item joins the half it belongs to and becomes current.
TEST(LispPackPages, EleventhItemSplitsFullPageFiveAndFive) {
  struct {
    int32_t at;
    std::vector<int32_t> counts, items;
  } const cases[] = {
      {10, {5, 6}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 100}},
      {3, {6, 5}, {0, 1, 2, 100, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const auto& c : cases) {
    CZqlLispPack pack(4, 40, 1);
    Append(pack, 0, 10);
    EXPECT_EQ(Counts(pack), (std::vector<int32_t>{10}));
    int32_t v = 100;
    ASSERT_EQ(pack.insertItem(&v, c.at), 1);
    EXPECT_EQ(Counts(pack), c.counts) << c.at;
    EXPECT_EQ(pack.getPos(), c.at);
    EXPECT_EQ(Current(pack), 100);
    EXPECT_EQ(pack.pagesInUse(), 2);
    EXPECT_EQ(pack.pagesAllocated(), 2);
    EXPECT_EQ(Items(pack), c.items);
  }
}

TEST(LispPackPages, AddAtPositionKeepsOrder) {
  CZqlLispPack pack(4, 40, 1);
  Append(pack, 0, 4);
  ASSERT_EQ(pack.setPos(2), 1);
  for (int32_t v = 10; v < 13; ++v) {  // each lands after the previous one
    ASSERT_EQ(pack.addItem(&v, -1), 1);
  }
  EXPECT_EQ(Items(pack), (std::vector<int32_t>{0, 1, 10, 11, 12, 2, 3}));
}

TEST(LispPackPages, OnePerPageSplitsEitherWay) {
  CZqlLispPack pack(4, 4, 1);
  int32_t a = 1, b = 2, c = 3;
  ASSERT_EQ(pack.addItem(&a, -1), 1);
  ASSERT_EQ(pack.insertItem(&b, 0), 1);  // in front of a full page
  ASSERT_EQ(pack.insertItem(&c, 2), 1);  // behind it
  EXPECT_EQ(pack.pagesInUse(), 3);
  EXPECT_EQ(Items(pack), (std::vector<int32_t>{2, 1, 3}));
}

TEST(LispPackPages, EmptiedPageFreedWhileOthersInUseWithLimitOne) {
  CZqlLispPack pack(4, 40, 1);
  Append(pack, 0, 11);  // {5, 6}
  const int blocks = ZqlMemBlkNblkInUse();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(pack.delItem(0), 1);
  EXPECT_EQ(Counts(pack), (std::vector<int32_t>{6}));
  EXPECT_EQ(pack.pagesAllocated(), 1);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), blocks - 1);
  // The last page in use stays allocated, empty.
  for (int i = 0; i < 6; ++i) ASSERT_EQ(pack.delItem(-1), 1);
  EXPECT_EQ(pack.Qty(), 0);
  EXPECT_EQ(Counts(pack), (std::vector<int32_t>{0}));
  EXPECT_EQ(pack.pagesAllocated(), 1);
  EXPECT_EQ(pack.delItem(-1), 0);
}

TEST(LispPackPages, SparePageKeptAndReusedBySplit) {
  CZqlLispPack pack(4, 40, 3);
  Append(pack, 0, 16);  // {5, 5, 6}
  ASSERT_EQ(Counts(pack), (std::vector<int32_t>{5, 5, 6}));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(pack.delItem(0), 1);
  // Three in use, not more than the limit: the page becomes a spare.
  EXPECT_EQ(Counts(pack), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(pack.pagesInUse(), 2);
  EXPECT_EQ(pack.pagesAllocated(), 3);
  const int blocks = ZqlMemBlkNblkInUse();
  Append(pack, 16, 21);  // the last page fills and splits
  EXPECT_EQ(Counts(pack), (std::vector<int32_t>{5, 5, 6}));
  EXPECT_EQ(pack.pagesAllocated(), 3);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), blocks);  // the spare, no new page
  EXPECT_EQ(Items(pack), Range(5, 21));
  // With limit two, three pages in use: an emptied page is freed; once one
  // is in use, the next emptied page is kept as a spare.
  CZqlLispPack two(4, 40, 2);
  Append(two, 0, 16);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(two.delItem(0), 1);
  EXPECT_EQ(two.pagesAllocated(), 2);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(two.delItem(0), 1);
  EXPECT_EQ(two.pagesInUse(), 1);
  EXPECT_EQ(two.pagesAllocated(), 2);
}

TEST(LispPackPages, CompressFillsPagesFromTheFront) {
  CZqlLispPack pack(4, 40, 1);
  Append(pack, 0, 26);  // {5, 5, 5, 5, 6}
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pack.delItem(1), 1);  // {2, 5, ...}
  ASSERT_EQ(pack.compress(), 1);
  EXPECT_EQ(Counts(pack), (std::vector<int32_t>{10, 10, 3}));
  EXPECT_EQ(pack.getPos(), 0);
  std::vector<int32_t> want{0};
  for (int32_t v = 4; v < 26; ++v) want.push_back(v);
  EXPECT_EQ(Items(pack), want);
}

TEST(LispPackPosition, WalkingAndIndexes) {
  CZqlLispPack pack(4, 40, 1);
  void* item = nullptr;
  EXPECT_EQ(pack.getFirstItem(&item), 0);
  EXPECT_EQ(item, nullptr);
  Append(pack, 0, 25);
  ASSERT_EQ(pack.getItem(24, &item), 1);
  EXPECT_EQ(pack.getNextItem(&item), 0);  // the last item was current
  EXPECT_EQ(pack.getPos(), 25);
  EXPECT_EQ(pack.getItem(-1, &item), 0);
  EXPECT_EQ(pack.getPrevItem(&item), 1);
  EXPECT_EQ(Current(pack), 24);
  ASSERT_EQ(pack.getItem(13, nullptr), 1);  // upper half: from the end
  EXPECT_EQ(Current(pack), 13);
  ASSERT_EQ(pack.getItem(4, nullptr), 1);
  EXPECT_EQ(Current(pack), 4);
  EXPECT_EQ(pack.getItem(25, nullptr), 0);
  EXPECT_EQ(pack.getPos(), 4);  // unchanged by a miss
  ASSERT_EQ(pack.getFirstItem(&item), 1);
  EXPECT_EQ(pack.getPrevItem(&item), 0);
  EXPECT_EQ(pack.getPos(), 0);
}

TEST(LispPackPosition, FindStartsAtCurrentPosition) {
  CZqlLispPack pack(4, 40, 1);
  Append(pack, 0, 20);
  int32_t key = 7;
  ASSERT_EQ(pack.setPos(0), 1);
  ASSERT_EQ(pack.findItem(&key), 1);
  EXPECT_EQ(pack.getPos(), 7);
  ASSERT_EQ(pack.setPos(8), 1);
  EXPECT_EQ(pack.findItem(&key), 0);
  EXPECT_EQ(pack.getPos(), 20);  // past the end after a miss
  EXPECT_EQ(pack.delItem(&key), 1);  // searches from the first item
  EXPECT_EQ(pack.Qty(), 19);
}

TEST(LispPackPosition, InsertingAnItemOfThePackItself) {
  CZqlLispPack pack(4, 40, 1);
  Append(pack, 0, 10);
  void* item = nullptr;
  ASSERT_EQ(pack.getItem(9, &item), 1);
  ASSERT_EQ(pack.insertItem(item, 0), 1);  // the page splits under it
  EXPECT_EQ(Items(pack).front(), 9);
  ASSERT_EQ(pack.getItem(3, &item), 1);
  ASSERT_EQ(pack.updItem(item, 3), 1);
  EXPECT_EQ(Items(pack)[3], 2);
}

TEST(LispPackShare, CloneSharesUntilFirstChangeCopyingPagesInUse) {
  CZqlLispPack pack(4, 40, 3);
  Append(pack, 0, 16);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(pack.delItem(0), 1);  // one spare
  ASSERT_EQ(pack.pagesInUse(), 2);
  ASSERT_EQ(pack.pagesAllocated(), 3);

  const int before = ZqlMemBlkNblkInUse();
  std::unique_ptr<CZqlLispPack> copy(
      static_cast<CZqlLispPack*>(pack.lclone()));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->firstPage(), pack.firstPage());
  EXPECT_TRUE(pack.isShared());
  EXPECT_EQ(Items(*copy), Range(5, 16));  // walking changes nothing
  EXPECT_EQ(copy->firstPage(), pack.firstPage());

  int32_t v = -1;
  ASSERT_EQ(copy->updItem(&v, 0), 1);
  EXPECT_NE(copy->firstPage(), pack.firstPage());
  EXPECT_FALSE(pack.isShared());
  EXPECT_FALSE(copy->isShared());
  // Two pages in use were copied, the spare was not.
  EXPECT_EQ(ZqlMemBlkNblkInUse(), before + 2);
  EXPECT_EQ(copy->pagesAllocated(), 2);
  EXPECT_EQ(pack.pagesAllocated(), 3);
  EXPECT_EQ(Items(pack), Range(5, 16));
  std::vector<int32_t> want = Range(5, 16);
  want[0] = -1;
  EXPECT_EQ(Items(*copy), want);
}

TEST(LispPackShare, SourceChangeLeavesCloneIntact) {
  CZqlLispPack pack(4, 40, 1);
  Append(pack, 0, 12);
  std::unique_ptr<CZqlLispObj> clone(pack.lclone());
  auto* copy = static_cast<CZqlLispPack*>(clone.get());
  ASSERT_EQ(copy->setPos(4), 1);
  ASSERT_EQ(pack.delItem(4), 1);
  EXPECT_EQ(Current(*copy), 4);  // the clone keeps the old pages
  EXPECT_EQ(Items(*copy), Range(0, 12));
  EXPECT_EQ(pack.Qty(), 11);
}

TEST(LispPackShare, ClearOfOneSharerLeavesPagesToTheOther) {
  CZqlLispPack pack(4, 40, 1);
  Append(pack, 0, 12);
  CZqlLispPack other(4, 40, 1);
  Append(other, 100, 103);
  ASSERT_EQ(other.lcopyFrom(&pack), 1);  // its own pages are freed
  EXPECT_EQ(other.firstPage(), pack.firstPage());
  const int blocks = ZqlMemBlkNblkInUse();
  ASSERT_EQ(pack.lclear(), 1);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), blocks);
  EXPECT_EQ(Items(other), Range(0, 12));
  EXPECT_FALSE(other.isShared());
}

TEST(LispPackShare, CopyFromAnotherGeometryRefused) {
  CZqlLispPack pack(4, 40, 1);
  CZqlLispPack wide(8, 80, 1);
  Append(pack, 0, 3);
  EXPECT_EQ(wide.lcopyFrom(&pack), 0);
  EXPECT_EQ(wide.Qty(), 0);
  EXPECT_EQ(pack.lcopyFrom(&pack), 1);
  EXPECT_EQ(pack.Qty(), 3);
}

using LispPackMemory = RootTest;

// Pages larger than the allocator's chunk are one C-library allocation
// each, so the fault hook can fail exactly the second page copy.
TEST_F(LispPackMemory, FailedCopyOnWriteLeavesPackEmpty) {
  constexpr int32_t kItem = 8192;
  CZqlLispPack pack(kItem, 8 * kItem, 1);
  std::vector<char> item(kItem);
  for (int i = 0; i < 16; ++i) {  // {4, 4, 8}
    item[0] = static_cast<char>(i);
    ASSERT_EQ(pack.addItem(item.data(), -1), 1);
  }
  ASSERT_EQ(pack.pagesInUse(), 3);
  std::unique_ptr<CZqlLispObj> clone(pack.lclone());
  auto* copy = static_cast<CZqlLispPack*>(clone.get());
  const int blocks = ZqlMemBlkNblkInUse();
  TEST_ZqlMemoryFailLowAllocAt(2);
  EXPECT_EQ(copy->updItem(item.data(), 0), 0);
  TEST_ZqlMemoryFailLowAllocAt(0);
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrNoMemory}));
  EXPECT_EQ(copy->Qty(), 0);
  EXPECT_EQ(copy->firstPage(), nullptr);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), blocks);  // the page copied was freed
  EXPECT_FALSE(pack.isShared());
  EXPECT_EQ(pack.Qty(), 16);
  ASSERT_EQ(pack.getItem(15, nullptr), 1);
}

}  // namespace
