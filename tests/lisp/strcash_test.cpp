// CZqlLispStrCash: block reuse, growing, the eight blocks kept, and
// lengths beyond 16 bits.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "lispstrcash.h"
#include "zqlsys.h"

namespace {

bool AllZero(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

TEST(LispStrCash, SameBlockForEqualOrSmallerLengths) {
  CZqlLispStrCash cash;
  char* a = cash.allocBuf(20);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(AllZero(a, 21));
  std::memset(a, 'x', 20);
  char* keep = a;
  cash.freeBuf(&a);
  EXPECT_EQ(a, nullptr);
  for (int32_t n : {20, 5, 0}) {
    char* b = cash.allocBuf(n);
    EXPECT_EQ(b, keep) << n;
    EXPECT_TRUE(AllZero(b, static_cast<size_t>(n) + 1)) << n;
    cash.freeBuf(&b);
  }
  EXPECT_EQ(cash.blockQty(), 1);
  a = cash.allocBuf(8);  // blocks in use are not handed out twice
  char* b = cash.allocBuf(8);
  EXPECT_NE(a, b);
  EXPECT_EQ(cash.blocksInUse(), 2);
  cash.freeBuf(&a);
  cash.freeBuf(&b);
  EXPECT_EQ(cash.blocksInUse(), 0);
}

TEST(LispStrCash, LargestFreeBlockGrowsWhenNoneFits) {
  CZqlLispStrCash cash;
  char* small = cash.allocBuf(4);
  char* big = cash.allocBuf(10);
  char* busy = cash.allocBuf(100);
  cash.freeBuf(&small);
  cash.freeBuf(&big);
  const int blocks = ZqlMemBlkNblkInUse();
  char* p = cash.allocBuf(50);  // grows the 10-block, no new block
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(AllZero(p, 51));
  std::memset(p, 'y', 50);
  EXPECT_EQ(cash.blockQty(), 3);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), blocks);
  char* q = cash.allocBuf(3);  // the 4-block is still free
  EXPECT_EQ(cash.blockQty(), 3);
  cash.freeBuf(&p);
  cash.freeBuf(&q);
  cash.freeBuf(&busy);
}

TEST(LispStrCash, EightBlocksKept) {
  CZqlLispStrCash cash;
  std::vector<char*> bufs;
  for (int i = 0; i < 12; ++i) bufs.push_back(cash.allocBuf(16));
  EXPECT_EQ(cash.blockQty(), 12);
  // New blocks go to the head: the first allocated are the farthest.
  for (char*& p : bufs) cash.freeBuf(&p);
  EXPECT_EQ(cash.blockQty(), CZqlLispStrCash::kZqlLispStrCashKept);
  EXPECT_EQ(cash.blocksInUse(), 0);
  for (int i = 0; i < 12; ++i) bufs[i] = cash.allocBuf(16);
  EXPECT_EQ(cash.blockQty(), 12);
  for (int i = 11; i >= 0; --i) cash.freeBuf(&bufs[i]);
  EXPECT_EQ(cash.blockQty(), 8);
}

TEST(LispStrCash, ForeignPointersLongAndNegativeLengths) {
  CZqlLispStrCash cash;
  char* mine = cash.allocBuf(4);
  char other[8];
  char* p = other;
  cash.freeBuf(&p);
  EXPECT_EQ(p, nullptr);
  char* none = nullptr;
  cash.freeBuf(&none);
  cash.freeBuf(nullptr);
  EXPECT_EQ(cash.blocksInUse(), 1);
  cash.freeBuf(&mine);
  char* big = cash.allocBuf(70000);
  ASSERT_NE(big, nullptr);
  std::memset(big, 'z', 70000);
  EXPECT_EQ(big[70000], '\0');
  cash.freeBuf(&big);
  char* q = cash.allocBuf(69999);  // the same block fits again
  EXPECT_EQ(cash.blockQty(), 1);  // the 4-byte block grew for 70000
  cash.freeBuf(&q);
  EXPECT_EQ(cash.allocBuf(-1), nullptr);
}

}  // namespace
