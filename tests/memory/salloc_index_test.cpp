// The indexed search against a model of the plain next-fit walk: the model
// keeps the small list as offsets (chunks newest first, blocks in address
// order) and searches from the rover to the end, then from the head, as the
// allocator did before it had an index. Long random workloads run on both;
// every block handed out must be the model's, the layouts must match, and
// the index must agree with the headers after every step. Skipped in a
// passthrough build.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "alloctest.h"
#include "salloc.h"
#include "zqlsys.h"

namespace {

constexpr uint32_t H = kZqlMemHeaderSize;
constexpr uint32_t kChunkFree = kZqlMemLowBlockSize - H;

// ---------------------------------------------------------------------------
// Model of the walk
// ---------------------------------------------------------------------------

struct SBlock {
  uint32_t off;  // header offset in the chunk
  uint32_t size;
  bool free;
};

struct SChunk {
  int id;
  std::vector<SBlock> blocks;  // address order
};

// Where a small block lies: chunk id and header offset.
struct SPlace {
  int chunk = -1;
  uint32_t off = 0;
  bool operator==(const SPlace& o) const { return chunk == o.chunk && off == o.off; }
};

class CWalkModel {
 public:
  explicit CWalkModel(int lowFlag) : lowFlag_(lowFlag) {}

  void SetLowFlag(int flag) { lowFlag_ = flag; }
  const std::vector<SChunk>& Chunks() const { return chunks_; }
  int InUse() const { return inUse_; }
  // Id the next new chunk gets; a malloc answering it made a chunk.
  int NextId() const { return nextId_; }

  // Allocates n bytes (not rounded yet); answers the small block taken, or
  // chunk -1 for a large block.
  SPlace Malloc(std::size_t n) {
    n = (n + 7) & ~std::size_t{7};
    ++inUse_;
    if (kZqlMemLowBlockSize < n + H) return SPlace{};
    auto [ci, bi] = Find(static_cast<uint32_t>(n));
    SChunk& c = chunks_[ci];
    SBlock& b = c.blocks[bi];
    if (b.size - n >= H + 8) {
      const auto restOff = static_cast<uint32_t>(b.off + H + n);
      SBlock rest{restOff, static_cast<uint32_t>(b.size - n - H), true};
      b.size = static_cast<uint32_t>(n);
      c.blocks.insert(c.blocks.begin() + static_cast<std::ptrdiff_t>(bi) + 1, rest);
    }
    c.blocks[bi].free = false;
    rover_ = SPlace{c.id, c.blocks[bi].off};
    return rover_;
  }

  // Frees a block Malloc answered.
  void Free(SPlace p) {
    --inUse_;
    if (p.chunk < 0) return;
    const std::size_t ci = ChunkIndex(p.chunk);
    std::vector<SBlock>& bs = chunks_[ci].blocks;
    std::size_t bi = BlockIndex(bs, p.off);
    bs[bi].free = true;
    if (bi > 0 && bs[bi - 1].free) {
      bs[bi - 1].size += bs[bi].size + H;
      bs.erase(bs.begin() + static_cast<std::ptrdiff_t>(bi));
      --bi;
    }
    if (bi + 1 < bs.size() && bs[bi + 1].free) {
      bs[bi].size += bs[bi + 1].size + H;
      bs.erase(bs.begin() + static_cast<std::ptrdiff_t>(bi) + 1);
    }
    rover_ = SPlace{p.chunk, bs[bi].off};  // the search resumes at the freed block
    if (lowFlag_ == 1 && bs.size() == 1) {
      chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(ci));
      rover_ = chunks_.empty() ? SPlace{} : SPlace{chunks_[0].id, 0};
    }
  }

  void FreeAll() {
    chunks_.clear();
    rover_ = SPlace{};
    inUse_ = 0;
  }

 private:
  // Chunk and block index of the block the walk takes, prepending a chunk
  // when it runs off the list.
  std::pair<std::size_t, std::size_t> Find(uint32_t n) {
    const SPlace head = chunks_.empty() ? SPlace{} : SPlace{chunks_[0].id, 0};
    const SPlace start = lowFlag_ == 1 ? rover_ : head;
    // From start to the end, then from the head (the blocks after start
    // fail again, which changes nothing).
    for (const SPlace& from : {start, head}) {
      if (from.chunk < 0) continue;
      std::size_t bi = BlockIndex(chunks_[ChunkIndex(from.chunk)].blocks, from.off);
      for (std::size_t ci = ChunkIndex(from.chunk); ci < chunks_.size(); ++ci, bi = 0)
        for (; bi < chunks_[ci].blocks.size(); ++bi)
          if (chunks_[ci].blocks[bi].free && chunks_[ci].blocks[bi].size >= n) return {ci, bi};
    }
    chunks_.insert(chunks_.begin(), SChunk{nextId_++, {SBlock{0, kChunkFree, true}}});
    return {0, 0};
  }

  std::size_t ChunkIndex(int id) const {
    for (std::size_t i = 0; i < chunks_.size(); ++i)
      if (chunks_[i].id == id) return i;
    ADD_FAILURE() << "model has no chunk " << id;
    return 0;
  }

  static std::size_t BlockIndex(const std::vector<SBlock>& bs, uint32_t off) {
    for (std::size_t i = 0; i < bs.size(); ++i)
      if (bs[i].off == off) return i;
    ADD_FAILURE() << "model has no block at " << off;
    return 0;
  }

  std::vector<SChunk> chunks_;  // list order: newest first
  SPlace rover_;
  int inUse_ = 0;
  int nextId_ = 0;
  int lowFlag_;
};

// ---------------------------------------------------------------------------
// Allocator and model side by side
// ---------------------------------------------------------------------------

struct SLive {
  unsigned char* data;
  std::size_t n;
  SPlace place;
};

class CTwin {
 public:
  explicit CTwin(int lowFlag) : model_(lowFlag) { TEST_ZqlMemorySetLowFlag(lowFlag); }

  void SetLowFlag(int flag) {
    TEST_ZqlMemorySetLowFlag(flag);
    model_.SetLowFlag(flag);
  }
  std::vector<SLive>& Live() { return live_; }

  // Allocates on both and checks that the allocator took the model's block.
  void Malloc(std::size_t n) {
    const int newId = model_.NextId();
    const SPlace want = model_.Malloc(n);
    auto* p = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(n));
    ASSERT_NE(p, nullptr) << n;
    Track(p, n, want, newId);
    live_.push_back({p, n, want});
    Fill(live_.back());
  }

  // Reallocates live_[i] on both: a new block, then the old one freed.
  void Realloc(std::size_t i, std::size_t n) {
    SLive& old = live_[i];
    const int newId = model_.NextId();
    const SPlace want = model_.Malloc(n);
    model_.Free(old.place);
    Forget(old.place);
    const std::size_t kept = std::min(old.n, n);
    const unsigned char mark = Mark(old);
    auto* p = static_cast<unsigned char*>(ZqlMemoryNblkRealloc(old.data, n));
    ASSERT_NE(p, nullptr) << n;
    Track(p, n, want, newId);
    for (std::size_t k = 0; k < kept; ++k) ASSERT_EQ(p[k], mark) << k;
    old = SLive{p, n, want};
    Fill(old);
  }

  void Free(std::size_t i) {
    SLive b = live_[i];
    live_.erase(live_.begin() + static_cast<std::ptrdiff_t>(i));
    for (std::size_t k = 0; k < b.n; ++k) ASSERT_EQ(b.data[k], Mark(b)) << k;
    model_.Free(b.place);
    Forget(b.place);
    ZqlMemoryNblkFree(b.data);
  }

  void FreeAll() {
    model_.FreeAll();
    ZqlMemoryNblkFreeAll();
    live_.clear();
    base_.clear();
  }

  // The whole small list against the model, block by block (back links
  // too), and the index against the list.
  void ExpectSameLayout() {
    ASSERT_EQ(ZqlMemBlkNblkInUse(), model_.InUse());
    const SZqlMemHeader* b = TEST_ZqlMemorySmallHead();
    for (const SChunk& c : model_.Chunks()) {
      ASSERT_TRUE(base_.count(c.id)) << c.id;
      const SZqlMemHeader* prev = nullptr;  // a chunk's first block has none
      for (const SBlock& m : c.blocks) {
        ASSERT_NE(b, nullptr) << "list ends early in chunk " << c.id;
        ASSERT_EQ(reinterpret_cast<const char*>(b), base_[c.id] + m.off) << "chunk " << c.id;
        ASSERT_EQ(b->size, m.size) << "chunk " << c.id << " offset " << m.off;
        ASSERT_EQ(b->state, m.free ? kZqlMemFree : kZqlMemAllocated);
        ASSERT_EQ(b->prev, prev) << "chunk " << c.id << " offset " << m.off;
        prev = b;
        b = b->next;
      }
    }
    ASSERT_EQ(b, nullptr) << "list longer than the model";
    ASSERT_EQ(TEST_ZqlMemoryIndexFault(TEST_ZqlMemorySmallHead()), "");
    ASSERT_TRUE(ZqlMemIndexOn());
  }

 private:
  static unsigned char Mark(const SLive& b) {
    return static_cast<unsigned char>((reinterpret_cast<std::uintptr_t>(b.data) >> 3) | 1);
  }
  static void Fill(const SLive& b) { std::memset(b.data, Mark(b), b.n); }

  // Checks that p is the block the model chose; learns a new chunk's base.
  void Track(unsigned char* p, std::size_t n, SPlace want, int newId) {
    const char* hdr = reinterpret_cast<const char*>(ZqlMemHeaderOf(p));
    if (want.chunk < 0) {
      EXPECT_EQ(ZqlMemHeaderOf(p)->state, kZqlMemLarge) << n;
      return;
    }
    if (want.chunk == newId) {
      EXPECT_EQ(ZqlMemHeaderOf(p)->prev, nullptr) << "new chunk expected for " << n;
      base_[want.chunk] = hdr - want.off;
    }
    ASSERT_TRUE(base_.count(want.chunk));
    ASSERT_EQ(hdr, base_[want.chunk] + want.off)
        << "request " << n << ": model takes chunk " << want.chunk << " offset " << want.off;
  }

  // Drops the base of a chunk the model has given back.
  void Forget(SPlace p) {
    if (p.chunk < 0) return;
    for (const SChunk& c : model_.Chunks())
      if (c.id == p.chunk) return;
    base_.erase(p.chunk);
  }

  CWalkModel model_;
  std::vector<SLive> live_;
  std::map<int, const char*> base_;  // model chunk id -> real first header
};

// A request size from 0 to 70000: mostly library-sized, some near and at the
// small/large threshold.
std::size_t RandomSize(std::mt19937& rng) {
  const uint32_t r = rng() % 100;
  if (r < 55) return rng() % 257;
  if (r < 75) return 256 + rng() % 3841;
  if (r < 87) return 4096 + rng() % 26000;
  if (r < 93) return 30000 + rng() % (kChunkFree - 30000 + 1);
  if (r < 97) return kChunkFree - 48 + rng() % 64;  // both sides of the threshold
  return kChunkFree + 1 + rng() % (70001 - kChunkFree - 1);
}

// Which live block goes next: at random, newest or oldest.
std::size_t PickVictim(std::mt19937& rng, std::size_t count, int mode) {
  if (mode == 0) return rng() % count;
  if (mode == 1) return count - 1;
  return 0;
}

// Runs steps of mixed malloc, realloc, free (with bursts) and, rarely,
// FreeAll, checking the allocator against the model after every step.
void RunWorkload(CTwin& twin, uint32_t seed, int steps, bool toggleFlag) {
  std::mt19937 rng(seed);
  int mode = 0;
  for (int step = 0; step < steps; ++step) {
    std::vector<SLive>& live = twin.Live();
    const uint32_t r = rng() % 1000;
    if (r < 5) mode = static_cast<int>(rng() % 3);
    if (toggleFlag && r == 999) twin.SetLowFlag(static_cast<int>(rng() % 2));
    if (r == 998) {
      twin.FreeAll();
    } else if (live.empty() || r < 520) {
      ASSERT_NO_FATAL_FAILURE(twin.Malloc(RandomSize(rng)));
    } else if (r < 620) {
      ASSERT_NO_FATAL_FAILURE(twin.Realloc(rng() % live.size(), RandomSize(rng)));
    } else if (r < 640) {  // a burst of frees
      for (uint32_t k = rng() % 40; k > 0 && !live.empty(); --k)
        ASSERT_NO_FATAL_FAILURE(twin.Free(PickVictim(rng, live.size(), mode)));
    } else {
      ASSERT_NO_FATAL_FAILURE(twin.Free(PickVictim(rng, live.size(), mode)));
    }
    ASSERT_NO_FATAL_FAILURE(twin.ExpectSameLayout()) << "seed " << seed << " step " << step;
  }
  EXPECT_EQ(ZqlMemoryCheck("workload"), 1);
}

using AllocIndexTest = AllocLayoutTest;

// ---------------------------------------------------------------------------
// Equivalence with the walk
// ---------------------------------------------------------------------------

// Searching from the rover (flag 1) or from the head keeping empty chunks
// (flag 0), and switching the flag midway.
TEST_F(AllocIndexTest, RandomWorkloadsTakeTheWalksBlocks) {
  const struct {
    int lowFlag;
    uint32_t seed;
    int steps;
    bool toggle;
  } runs[] = {{1, 301, 12000, false}, {1, 7, 12000, false},  {1, 90210, 12000, false},
              {0, 4242, 8000, false}, {1, 1234, 12000, true}};
  for (const auto& r : runs) {
    CTwin twin(r.lowFlag);
    ASSERT_NO_FATAL_FAILURE(RunWorkload(twin, r.seed, r.steps, r.toggle));
    twin.FreeAll();
  }
}

// Many small blocks freed in scattered order leave many holes per chunk:
// the search has to pass over many free blocks too small for the request.
TEST_F(AllocIndexTest, ManyHolesAcrossChunks) {
  CTwin twin(1);
  std::mt19937 rng(55);
  for (int i = 0; i < 3000; ++i) ASSERT_NO_FATAL_FAILURE(twin.Malloc(rng() % 97));
  for (int i = 0; i < 2000; ++i) {
    ASSERT_NO_FATAL_FAILURE(twin.Free(rng() % twin.Live().size()));
    ASSERT_NO_FATAL_FAILURE(twin.Malloc(rng() % 4 == 0 ? rng() % 2000 : rng() % 120));
    if (i % 16 == 0) {
      ASSERT_NO_FATAL_FAILURE(twin.ExpectSameLayout()) << i;
    }
  }
  ASSERT_NO_FATAL_FAILURE(twin.ExpectSameLayout());
}

// The search resumes at the rover and wraps around to the head: a fitting
// hole before the rover is taken before a chunk is added; a block just
// freed serves the next request of its size.
TEST_F(AllocIndexTest, SearchWrapsToAHoleBeforeTheRover) {
  void* a = ZqlMemoryNblkMalloc(200);
  void* keep = ZqlMemoryNblkMalloc(8);
  ZqlMemoryNblkFree(a);                                       // rover: a's hole
  void* big = ZqlMemoryNblkMalloc(kChunkFree - 2 * H - 300);  // after keep; rover there
  ASSERT_TRUE(keep && big);
  void* c = ZqlMemoryNblkMalloc(100);  // fits a's hole, which lies behind
  EXPECT_EQ(c, a);
  EXPECT_EQ(ZqlMemHeaderOf(c)->prev, nullptr);
  EXPECT_EQ(ZqlMemHeaderOf(c)->next->next, ZqlMemHeaderOf(keep));  // one chunk still
  ZqlMemoryNblkFree(keep);  // merges with the rest of a's hole
  EXPECT_EQ(ZqlMemHeaderOf(ZqlMemoryNblkMalloc(8)), ZqlMemHeaderOf(c)->next);  // just freed
  EXPECT_EQ(TEST_ZqlMemoryIndexFault(TEST_ZqlMemorySmallHead()), "");
}

// ---------------------------------------------------------------------------
// Damaged headers: the index steps aside and the walk decides
// ---------------------------------------------------------------------------

// Of four blocks the second is damaged: met by a search (as a hole the index
// knows of), by a free of its neighbour or by a check, the damage turns the
// index off and the walk stops at it. An empty allocator keeps an index again.
TEST_F(AllocIndexTest, DamageTurnsTheIndexOffAndTheWalkStopsThere) {
  const struct {
    const char* what;
    bool freedFirst;  // the damaged block is a hole
    int freeAfter;    // the block freed after the damage, or -1
    bool check;
  } rows[] = {{"hole", true, -1, false},
              {"neighbour freed", false, 2, false},
              {"checked", false, 3, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    ZqlMemoryNblkFreeAll();
    EXPECT_TRUE(ZqlMemIndexOn());
    void* blocks[4];
    for (void*& p : blocks) p = ZqlMemoryNblkMalloc(32);
    if (r.freedFirst) ZqlMemoryNblkFree(blocks[1]);
    ZqlMemHeaderOf(blocks[1])->state = 'X';
    if (r.freeAfter >= 0) ZqlMemoryNblkFree(blocks[r.freeAfter]);
    if (r.check) {
      testing::internal::CaptureStdout();
      EXPECT_EQ(ZqlMemoryCheck("T"), 0);
      testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(ZqlMemIndexOn(), r.freedFirst);  // a hole is seen by the search only
    EXPECT_EQ(ZqlMemoryNblkMalloc(8), nullptr);
    EXPECT_FALSE(ZqlMemIndexOn());
    EXPECT_EQ(ZqlMemHeaderOf(blocks[0])->state, kZqlMemAllocated);
  }
}

TEST_F(AllocIndexTest, WalkAfterDamageStillServesRequests) {
  void* a = ZqlMemoryNblkMalloc(32);
  ZqlMemoryNblkMalloc(32);
  ZqlMemHeaderOf(a)->state = 'X';
  ZqlMemoryNblkFree(a);  // ignored, but noticed
  EXPECT_FALSE(ZqlMemIndexOn());
  ZqlMemHeaderOf(a)->state = kZqlMemAllocated;  // repaired: the walk passes it
  void* b = ZqlMemoryNblkMalloc(8);
  ASSERT_NE(b, nullptr);
  ZqlMemoryNblkFree(b);
  ZqlMemoryNblkFree(a);
  EXPECT_EQ(ZqlMemBlkNblkInUse(), 1);
  EXPECT_EQ(ZqlMemoryCheck("repaired"), 1);
}

}  // namespace
