// Tests of the block allocator: thresholds, kept chunks,
// realloc, tags, the report, damaged headers and exhaustion.
//
// Tests of the chunk layout are skipped in a passthrough build, where every
// block is its own C-library allocation; the others run in both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "alloctest.h"
#include "salloc.h"
#include "zqlsys.h"
#include "zqltry.h"

namespace {

constexpr std::size_t H = kZqlMemHeaderSize;
constexpr std::size_t kChunkFree = kZqlMemLowBlockSize - H;  // fresh chunk's block

SZqlMemHeader* Hdr(void* p) { return ZqlMemHeaderOf(p); }
char* Data(SZqlMemHeader* b) { return reinterpret_cast<char*>(b) + H; }

// Walks the small list and checks the layout invariants: blocks back
// to back, back links right, no two free neighbours.
void ExpectChunksSound() {
  for (SZqlMemHeader* b = TEST_ZqlMemorySmallHead(); b && b->next; b = b->next) {
    SZqlMemHeader* n = b->next;
    if (n->prev == nullptr) continue;  // n starts the next chunk
    EXPECT_EQ(n->prev, b);
    EXPECT_EQ(reinterpret_cast<char*>(n), Data(b) + b->size);
    EXPECT_FALSE(b->state == kZqlMemFree && n->state == kZqlMemFree);
  }
}

// Replaces the hex address (8 to 16 digits) at pos in line, if any, by "@".
void MaskAddress(std::string* line, std::size_t pos) {
  auto upperHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
  std::size_t end = pos;
  while (end < line->size() && upperHex((*line)[end])) ++end;
  if (end - pos >= 8 && end - pos <= 16) line->replace(pos, end - pos, "@");
}

// The report as lines, with the address that starts a line or ends it after
// ": " replaced by "@".
std::vector<std::string> DumpLines(const char* title) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  if (!f) return {};
  ZqlMemoryNblkDumpTo(f, title);
  std::rewind(f);
  std::vector<std::string> lines;
  std::string line;
  for (int c; (c = std::fgetc(f)) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    MaskAddress(&line, 0);
    const std::size_t colon = line.rfind(": ");
    if (colon != std::string::npos) MaskAddress(&line, colon + 2);
    lines.push_back(line);
    line.clear();
  }
  std::fclose(f);
  return lines;
}

// What ZqlMemoryCheck prints of damage (it answers 0), the address masked.
std::string DamageReport(const char* title) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(ZqlMemoryCheck(title), 0);
  std::string out = testing::internal::GetCapturedStdout();
  MaskAddress(&out, out.rfind(": ") + 2);
  return out;
}

// ---------------------------------------------------------------------------
// Sizes, thresholds and rounding
// ---------------------------------------------------------------------------

// Requests round to eight bytes; up to a fresh chunk's free block they are
// small, beyond it large, with a size field counting eights (past 16 bits).
TEST_F(AllocTest, SizesRoundToEightAndSplitSmallFromLarge) {
  const struct {
    std::size_t n, bytes;
    uint8_t state;
  } rows[] = {
      {0, 0, kZqlMemAllocated},   {1, 8, kZqlMemAllocated},     {7, 8, kZqlMemAllocated},
      {8, 8, kZqlMemAllocated},   {9, 16, kZqlMemAllocated},    {23, 24, kZqlMemAllocated},
      {24, 24, kZqlMemAllocated}, {200, 200, kZqlMemAllocated},
      {kChunkFree - 7, kChunkFree, kZqlMemAllocated},  // rounds to the threshold
      {kChunkFree, kChunkFree, kZqlMemAllocated},
      {kChunkFree + 1, kChunkFree + 8, kZqlMemLarge},   // rounds past it
      {600000, 600000, kZqlMemLarge},                   // 600000 / 8 needs 17 bits
  };
  for (const auto& r : rows) {
    void* p = ZqlMemoryNblkMalloc(r.n);
    ASSERT_NE(p, nullptr) << r.n;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u) << r.n;
    EXPECT_EQ(Hdr(p)->state, r.state) << r.n;
    EXPECT_EQ(r.state == kZqlMemLarge ? std::size_t{Hdr(p)->size} * 8 : Hdr(p)->size, r.bytes)
        << r.n;
  }
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 12);
  if (kZqlMemPassthrough) return;
  // A block of no bytes has its own header.
  char* a = static_cast<char*>(ZqlMemoryNblkMalloc(0));
  EXPECT_EQ(static_cast<char*>(ZqlMemoryNblkMalloc(0)), a + H);
}

// Splitting, merging and the search order (rover or head, by the low flag)
// are checked against a model of the walk in salloc_index_test.cpp.

// An empty chunk or a freed large block leaves its list (it is neither
// counted nor reported) but a few are kept for the next requests instead of
// going back to the C library at once.
TEST_F(AllocLayoutTest, EmptyChunksAndLargeBlocksAreKeptForReuse) {
  void* p = ZqlMemoryNblkMalloc(100);
  void* big = ZqlMemoryNblkMalloc(100000);
  std::memset(big, 0x5A, 100000);
  ZqlMemoryNblkFree(p);
  ZqlMemoryNblkFree(big);
  EXPECT_EQ(ZqlMemBlkInUse(), 0);
  EXPECT_EQ(TEST_ZqlMemorySmallHead(), nullptr);
  EXPECT_EQ(TEST_ZqlMemorySpareCount(), 2);
  const std::vector<std::string> report = DumpLines("T");
  for (const char* line : {"Extra blocks: size 0 total blocks 0",
                           "Local block: pages 0 freeblk 0 allocatedblk 0"})
    EXPECT_NE(std::find(report.begin(), report.end(), line), report.end()) << line;
  TEST_ZqlMemoryFailLowAllocAt(1);  // served without the low layer
  void* q = ZqlMemoryNblkMalloc(100);
  auto* again = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(90000));
  ASSERT_TRUE(q && again);
  EXPECT_EQ(again, big);
  for (std::size_t i = 0; i < 90000; ++i) ASSERT_EQ(again[i], 0) << i;  // cleared again
  EXPECT_EQ(Hdr(again)->state, kZqlMemLarge);
  EXPECT_EQ(ZqlMemBlkInUse(), 2);
  TEST_ZqlMemoryFailLowAllocAt(0);
  // Only a few are kept; FreeAll returns them all.
  std::vector<void*> chunks, larges;
  for (int i = 0; i < 10; ++i) chunks.push_back(ZqlMemoryNblkMalloc(kChunkFree));
  for (int i = 0; i < 10; ++i) larges.push_back(ZqlMemoryNblkMalloc(70000));
  for (void* c : chunks) ZqlMemoryNblkFree(c);
  for (void* l : larges) ZqlMemoryNblkFree(l);
  EXPECT_LE(TEST_ZqlMemorySpareCount(), 8);
  ZqlMemoryNblkFreeAll();
  EXPECT_EQ(TEST_ZqlMemorySpareCount(), 0);
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(ZqlMemoryNblkMalloc(100), nullptr);
}

// ---------------------------------------------------------------------------
// Counting, zero-fill, realloc, tags (both builds)
// ---------------------------------------------------------------------------

TEST_F(AllocTest, CountsSmallAndLargeBlocks) {
  void* s = ZqlMemoryMalloc(40);
  void* l = ZqlMemoryMalloc(100000);
  void* c = ZqlMemoryCalloc(3, 5);
  EXPECT_EQ(ZqlMemBlkInUse(), 3);
  EXPECT_EQ(Hdr(c)->size, 16u);
  ZqlMemoryFree(l);
  ZqlMemoryFree(nullptr);
  EXPECT_EQ(ZqlMemBlkInUse(), 2);
  ZqlMemoryFree(s);
  ZqlMemoryFree(c);
  EXPECT_EQ(ZqlMemBlkInUse(), 0);
  ZqlMemoryMalloc(10);
  ZqlMemoryFreeAll();
  EXPECT_EQ(ZqlMemBlkInUse(), 0);
  EXPECT_EQ(ZqlMemoryCheck("empty"), 1);
}

TEST_F(AllocTest, MemoryHandedOutIsZero) {
  ZqlMemoryNblkMalloc(8);  // keeps the chunk alive
  for (std::size_t n : {8, 16, 24, 40, 64, 72, 264, 5000, 70000}) {
    auto* p = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(n));
    std::memset(p, 0xFF, n);
    ZqlMemoryNblkFree(p);
    p = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(n));
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(p[i], 0) << n << " at " << i;
  }
}

TEST_F(AllocTest, ReallocCopiesTheSmallerSizeAndTheTag) {
  auto* keep = static_cast<char*>(ZqlMemoryNblkMalloc(8));  // neighbour
  auto* p = static_cast<char*>(ZqlMemoryNblkMalloc(64));
  std::memset(p, 'x', 64);
  ZqlMemoryNblkAddMsg(p, "grown");
  auto* q = static_cast<char*>(ZqlMemoryNblkRealloc(p, 16));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(std::string(q, 16), std::string(16, 'x'));
  EXPECT_STREQ(Hdr(q)->tag, "grown");
  EXPECT_EQ(ZqlMemoryCheck("shrunk"), 1);  // no copy beyond the new block
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 2);

  auto* r = static_cast<char*>(ZqlMemoryNblkRealloc(q, 300));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::string(r, 16), std::string(16, 'x'));
  EXPECT_EQ(std::string(r + 16, 284), std::string(284, '\0'));
  EXPECT_EQ(keep[0], 0);
}

// 600001 bytes: a size field cut to 16 bits would copy far less.
TEST_F(AllocTest, ReallocOfLargeBlockCopiesItsFullSize) {
  auto* p = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(600001));
  ASSERT_NE(p, nullptr);
  std::memset(p, 0xAB, 600001);
  p[600007] = 0xCD;  // last usable byte after rounding
  auto* q = static_cast<unsigned char*>(ZqlMemoryNblkRealloc(p, 700000));
  ASSERT_NE(q, nullptr);
  for (std::size_t i = 0; i < 600001; ++i) ASSERT_EQ(q[i], 0xAB) << i;
  EXPECT_EQ(q[600007], 0xCD);
  EXPECT_EQ(q[600008], 0);
  auto* s = static_cast<unsigned char*>(ZqlMemoryNblkRealloc(q, 10));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Hdr(s)->state, kZqlMemAllocated);
  EXPECT_EQ(s[9], 0xAB);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 1);
  void* fresh = ZqlMemoryNblkRealloc(nullptr, 20);  // of null: allocates
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Hdr(fresh)->size, 24u);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 2);
}

TEST_F(AllocTest, TagsOnlyLiveBlocks) {
  void* small = ZqlMemoryMalloc(10);
  ZqlMemoryMalloc(10);  // keeps the chunk alive
  void* large = ZqlMemoryMalloc(80000);
  ZqlMemoryAddMsg(small, "small one");
  ZqlMemoryAddMsg(large, "large one");
  ZqlMemoryAddMsg(nullptr, "nothing");  // ignored
  EXPECT_STREQ(Hdr(small)->tag, "small one");
  EXPECT_STREQ(Hdr(large)->tag, "large one");
  // A block handed out again starts without its old owner's tag.
  ZqlMemoryFree(small);
  void* again = ZqlMemoryMalloc(10);
  EXPECT_EQ(Hdr(again)->tag, nullptr);
  if (kZqlMemPassthrough) return;
  // A tag on a free block changes nothing.
  ZqlMemoryFree(again);
  ZqlMemoryAddMsg(again, "late");
  EXPECT_EQ(Hdr(again)->state, kZqlMemFree);
  EXPECT_EQ(Hdr(again)->tag, nullptr);
}

// ---------------------------------------------------------------------------
// Report
// ---------------------------------------------------------------------------

TEST_F(AllocTest, ReportOfOneTaggedBlock) {
  void* p = ZqlMemoryMalloc(24);
  std::memcpy(p, "AB\x01" "DEFGHxyz", 11);
  ZqlMemoryAddMsg(p, "my tag");
  const std::size_t freeBytes = kZqlMemPassthrough ? 0 : kChunkFree - 24 - H;
  std::vector<std::string> want = {
      "Title",
      "-------------------------------------------------------",
      "",
      "Extra blocks: size 0 total blocks 0",
      "@ |     24 |4142014445464748 | AB.DEFGH | my tag",
      "",
      std::string("Local block: pages 1 freeblk ") +
          (kZqlMemPassthrough ? "0" : "1") + " allocatedblk 1",
      "             freed " + std::to_string(freeBytes) + " allocated 24",
  };
  EXPECT_EQ(DumpLines("Title"), want);
}

TEST_F(AllocTest, ReportListsLargeBlocksAndShortPeeks) {
  ZqlMemoryMalloc(70000);
  ZqlMemoryAddMsg(ZqlMemoryMalloc(80000), "big");
  ZqlMemoryMalloc(0);
  std::vector<std::string> lines = DumpLines("T");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[2], "@ big");
  EXPECT_EQ(lines[3], "@");
  EXPECT_EQ(lines[5], "Extra blocks: size 150000 total blocks 2");
  // A block of no bytes shows no bytes, not its neighbour's header.
  EXPECT_EQ(lines[6], "@ |      0 |" + std::string(16, ' ') + " | " + std::string(8, ' '));
}

// ---------------------------------------------------------------------------
// Damaged headers
// ---------------------------------------------------------------------------

// A block whose state is damaged is neither freed, reallocated nor tagged;
// the check and the report name its list, and the list's totals skip it.
TEST_F(AllocTest, DamagedHeaderIsReportedAndLeftAlone) {
  const struct {
    std::size_t n;
    uint8_t state;
    const char* list;
    std::size_t errorAt, totalsAt;
    const char* totals;
  } rows[] = {{48, 'X', "local memlist", 4, 6, "Local block: pages 0 freeblk 0 allocatedblk 0"},
              {100000, 0, "extmemlist", 2, 4, "Extra blocks: size 0 total blocks 0"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.list);
    Reset();
    void* p = ZqlMemoryNblkMalloc(r.n);
    ASSERT_NE(p, nullptr);
    Hdr(p)->state = r.state;
    ZqlMemoryNblkFree(p);  // ignored
    EXPECT_EQ(ZqlMemBlkNblkInUse(), 1);
    EXPECT_EQ(ZqlMemoryNblkRealloc(p, 8), nullptr);
    ZqlMemoryNblkAddMsg(p, "no");
    EXPECT_EQ(Hdr(p)->tag, nullptr);
    EXPECT_EQ(DamageReport("T"), std::string("T\nError in ") + r.list + ": @\n");
    const std::vector<std::string> lines = DumpLines("T");
    ASSERT_GT(lines.size(), r.totalsAt);
    EXPECT_EQ(lines[r.errorAt], std::string("Error in ") + r.list + ": @");
    EXPECT_EQ(lines[r.totalsAt], r.totals);
  }
}

TEST_F(AllocLayoutTest, AllocationStopsAtDamagedListAndSecondFreeIsIgnored) {
  void* p = ZqlMemoryNblkMalloc(48);  // the rover rests on p
  Hdr(p)->state = 'X';
  EXPECT_EQ(ZqlMemoryNblkMalloc(8), nullptr);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 1);
  Reset();
  void* a = ZqlMemoryNblkMalloc(16);
  void* b = ZqlMemoryNblkMalloc(16);
  ZqlMemoryNblkFree(a);
  ZqlMemoryNblkFree(a);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 1);
  EXPECT_EQ(ZqlMemoryCheck("twice"), 1);
  ExpectChunksSound();
  EXPECT_EQ(Hdr(b)->prev, Hdr(a));
}

// ---------------------------------------------------------------------------
// Exhaustion and overflow
// ---------------------------------------------------------------------------

TEST_F(AllocTest, ExhaustionGivesNullAtTheBlockLayer) {
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(ZqlMemoryNblkMalloc(100), nullptr);
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(ZqlMemoryNblkMalloc(100000), nullptr);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 0);

  auto* p = static_cast<char*>(ZqlMemoryNblkMalloc(100));
  std::memset(p, 'k', 100);
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(ZqlMemoryNblkRealloc(p, 100000), nullptr);  // old block untouched
  EXPECT_EQ(Hdr(p)->state, kZqlMemAllocated);
  EXPECT_EQ(std::string(p, 100), std::string(100, 'k'));
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 1);

  TEST_ZqlMemoryFailLowAllocAt(2);  // the second allocation from now fails
  EXPECT_NE(ZqlMemoryNblkMalloc(100000), nullptr);
  EXPECT_EQ(ZqlMemoryNblkMalloc(100000), nullptr);
  EXPECT_NE(ZqlMemoryNblkMalloc(100000), nullptr);
  ZqlMemoryNblkFreeAll();
  // Sizes that overflow give null too.
  EXPECT_EQ(ZqlMemoryNblkCalloc(std::size_t{1} << 16, std::size_t{1} << 16), nullptr);
  EXPECT_EQ(ZqlMemoryNblkCalloc(SIZE_MAX / 2 + 1, 2), nullptr);
  EXPECT_EQ(ZqlMemoryNblkMalloc(SIZE_MAX), nullptr);
  EXPECT_EQ(ZqlMemoryNblkMalloc(SIZE_MAX - 40), nullptr);
  void* zero = ZqlMemoryNblkCalloc(0, 1000);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(Hdr(zero)->size, 0u);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 1);
}

// Each failing request raises 0xA008 in a frame and leaves the old block.
TEST_F(AllocTest, PublicLayerRaisesInsufficientMemory) {
  void* q = ZqlMemoryMalloc(8);
  void* p = reinterpret_cast<void*>(1);
  const struct {
    bool lowFails;
    std::function<void()> call;
  } rows[] = {{true, [&] { p = ZqlMemoryMalloc(kChunkFree); }},  // needs a new chunk
              {false, [&] { p = ZqlMemoryCalloc(std::size_t{1} << 20, std::size_t{1} << 20); }},
              {true, [&] { p = ZqlMemoryRealloc(q, 200000); }}};
  for (const auto& r : rows) {
    EXPECT_EQ(ZqlTry([&] {
                if (r.lowFails) TEST_ZqlMemoryFailLowAllocAt(1);
                r.call();
              }),
              0);
    EXPECT_EQ(ZqlTryCode(), kZqlErrInsufficientMemory);
    EXPECT_EQ(p, reinterpret_cast<void*>(1));
    EXPECT_EQ(ZqlMemBlkInUse(), 1);
  }
  EXPECT_EQ(ZqlTry([&] { p = ZqlMemoryRealloc(q, 200000); }), 1);
  EXPECT_EQ(ZqlMemBlkInUse(), 1);
  // Without a frame the answer is null.
  Reset();
  ASSERT_EQ(ZqlTryReady(), 0);
  TEST_ZqlMemoryFailLowAllocAt(1);
  EXPECT_EQ(ZqlMemoryMalloc(100), nullptr);
}

}  // namespace
