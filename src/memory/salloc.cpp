// salloc.cpp - block and public layers of the allocator.
//
// Small requests are served next-fit from chunks of the low layer; each
// chunk is a run of blocks, every block a header followed by its usable
// bytes. Free neighbours are merged at once. Requests that do not fit a
// chunk become large blocks: one low-layer allocation each, on a doubly
// linked list. With ZQL_ALLOC_PASSTHROUGH every block is its own allocation
// (so sanitizers see each one), small blocks on a doubly linked list of
// their own.
//
// The search goes through an index of the free blocks (sindex.cpp), which
// answers the block the walk would reach without visiting the blocks in
// between; the walk remains for lists the allocator finds damaged. The
// search begins where the last request was served or the last block freed,
// runs to the list's end and then from the newest chunk up to where it
// began, and only then adds a chunk: a free followed by a request of about
// its size takes the block just freed, without a search from the newest
// chunk.
//
// A chunk that becomes one free block leaves the small list, and a large
// block that is freed leaves the large list, as before; but up to a few of
// each are kept aside (off both lists, so the counts and the report do not
// see them) and serve the next chunk or large block, instead of going back
// to the C library at once. Handing memory back and asking for it again is
// what made the C library trim its heap and every new page fault in. A kept
// large block is cleared for its next owner, as calloc would; chunks need
// no clearing, since each small block is cleared as it is handed out.
//
// One process-wide state, no lock: the library runs on one thread.
#include <algorithm>
#include <malloc.h>

#include <cinttypes>
#include <cstring>
#include <memory>

#include "salloc.h"
#include "zqlsys.h"
#include "zqltry.h"

// The paths every request takes start on a cache line of their own: where
// the linker puts them otherwise moves their speed by a tenth with code
// that has nothing to do with them.
#define ZQL_HOT __attribute__((aligned(64)))

namespace {

using Hdr = SZqlMemHeader;
constexpr std::size_t kHdr = kZqlMemHeaderSize;
// A free block is split off only if it can hold a header and 8 bytes.
constexpr std::size_t kMinSplit = kHdr + 8;
// Largest request: a large block stores its usable size / 8 in 32 bits.
constexpr std::size_t kMaxRequest = std::size_t{UINT32_MAX} * 8;

// Empty chunks and freed large blocks kept aside for reuse, at most.
constexpr int kSpareChunks = 4;
constexpr int kSpareLarge = 4;
// Larger blocks go back at once: keeping them would hold much memory.
constexpr std::size_t kSpareLargeMax = std::size_t{1} << 20;

struct SZqlAllocState {
  Hdr* smallHead;   // newest chunk's first block (passthrough: newest block)
  Hdr* largeHead;   // newest large block
  Hdr* rover;       // where the next small search begins
  int blocksInUse;  // allocated blocks, small and large
  Hdr* spareChunks;  // empty chunks kept aside, linked by next
  int spareChunkCount;
  Hdr* spareLarge;   // freed large blocks kept aside, linked by next
  int spareLargeCount;
};
SZqlAllocState gAlloc;
ZqlMemTraceFn gTrace = nullptr;  // test and benchmark hook, see salloc.h

char* DataOf(Hdr* b) { return reinterpret_cast<char*>(b) + kHdr; }

unsigned long AddrOf(const void* p) {
  return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(p));
}

bool IsSmallState(uint8_t s) { return s == kZqlMemAllocated || s == kZqlMemFree; }

// A header with a state byte of no block was overwritten: the index cannot
// vouch for the blocks it has not looked at, so searches walk from now on.
void NoteDamage() { ZqlMemIndexOff(); }

// A small-list neighbour that is absent or has a sound state.
bool SoundOrNull(const Hdr* b) { return !b || IsSmallState(b->state); }

// Both small-list neighbours of b absent or sound, tested without a branch
// per neighbour: whether a neighbour exists is data, not a pattern.
bool SoundNeighbours(const Hdr* b) {
  const uint8_t before = b->prev ? b->prev->state : kZqlMemFree;
  const uint8_t after = b->next ? b->next->state : kZqlMemFree;
  return IsSmallState(before) & IsSmallState(after);
}

bool IsLive(const Hdr* b) {
  return b->state == kZqlMemAllocated || b->state == kZqlMemLarge;
}

std::size_t UsableSize(const Hdr* b) {
  return b->state == kZqlMemLarge ? std::size_t{b->size} * 8 : b->size;
}

// Requests whose header would not fit in a chunk take the large path.
// (The low layer's block size is a constant: used as one, it costs no call.)
bool IsLargeRequest(std::size_t n) { return kZqlMemLowBlockSize < n + kHdr; }

// A small-list block that starts a page of its own.
bool StartsPage(const Hdr* b) { return kZqlMemPassthrough || b->prev == nullptr; }

// --- doubly linked lists (large blocks; passthrough small blocks) ---------

void PushFront(Hdr** head, Hdr* b) {
  b->prev = nullptr;
  b->next = *head;
  if (*head) (*head)->prev = b;
  *head = b;
}

void Unlink(Hdr** head, Hdr* b) {
  if (b->prev)
    b->prev->next = b->next;
  else
    *head = b->next;
  if (b->next) b->next->prev = b->prev;
}

// A zero-filled block of n usable bytes of its own, on the list at *head.
Hdr* NewListedBlock(Hdr** head, std::size_t n, uint32_t size, uint8_t state) {
  auto* b = static_cast<Hdr*>(ZqlMemoryLowAlloc(n + kHdr));
  if (!b) return nullptr;
  b->size = size;
  b->state = state;
  PushFront(head, b);
  return b;
}

// --- small blocks carved from chunks ---------------------------------------

// Prepends a chunk holding one free block, a kept one if there is one, else
// a fresh one; it becomes the rover.
Hdr* NewChunk() {
  const std::size_t usable = kZqlMemLowBlockSize;
  Hdr* c = gAlloc.spareChunks;
  if (c) {
    gAlloc.spareChunks = c->next;
    --gAlloc.spareChunkCount;
  } else if (!(c = static_cast<Hdr*>(ZqlMemoryLowAlloc(usable + kHdr)))) {
    return nullptr;
  }
  *c = Hdr{nullptr, gAlloc.smallHead, nullptr, static_cast<uint32_t>(usable - kHdr), 0,
           kZqlMemFree, 0};
  gAlloc.smallHead = c;
  gAlloc.rover = c;
  ZqlMemIndexAddChunk(c);
  return c;
}

// a when pick, else b, chosen without a branch: FindFree's choice depends
// on whether a release or a request came last, which no predictor learns,
// and GCC compiles a plain ?: on pointers to a branch.
Hdr* Select(bool pick, Hdr* a, Hdr* b) {
  const std::uintptr_t mask = std::uintptr_t{0} - std::uintptr_t{pick};
  const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
  return reinterpret_cast<Hdr*>((x & mask) | (y & ~mask));
}

// Next-fit walk from start for a free block of at least n bytes: to the
// list's end, then from the head up to start; a new chunk when none fits
// (a new chunk's block fits every small request). Null on exhaustion or a
// damaged header.
Hdr* WalkFree(Hdr* start, std::size_t n) {
  bool wrapped = start == nullptr || start == gAlloc.smallHead;
  for (Hdr* b = start;; b = b->next) {
    if (!b && !wrapped) {
      wrapped = true;
      b = gAlloc.smallHead;
    }
    if (!b || (b == start && wrapped && b != gAlloc.smallHead)) return NewChunk();
    if (b->state == kZqlMemFree && b->size >= n) return b;
    if (!IsSmallState(b->state)) return nullptr;  // damaged list
  }
}

// The walk's first two steps, which mostly end it: the rover itself (a
// block just freed) or the block after it (what the last split left); null
// when neither serves n bytes. Which of the two it is depends on whether a
// release or a request came last, so it is chosen without a branch. No
// calls: the common request costs no saved registers.
inline Hdr* NearFree(Hdr* start, std::size_t n) {
  if (!start || !ZqlMemIndexKept()) return nullptr;
  const uint8_t state = start->state;
  Hdr* near = Select(state == kZqlMemFree, start, start->next);
  if (IsSmallState(state) && near && near->state == kZqlMemFree && near->size >= n) return near;
  return nullptr;
}

// The block WalkFree would take, found through the index. The walk stops at
// a damaged start; a block the index offers must be free and large enough,
// or the headers have been overwritten behind its back and the walk decides.
__attribute__((noinline)) Hdr* FarFree(Hdr* start, std::size_t n) {
  Hdr* head = gAlloc.smallHead;
  Hdr* b = nullptr;
  bool indexed = start && IsSmallState(start->state) && ZqlMemIndexFind(start, n, &b);
  // Nothing from start to the list's end: from the head on (what lies
  // after start was just found wanting, and its bounds say so now).
  if (indexed && !b && start != head) indexed = ZqlMemIndexFind(head, n, &b);
  if (indexed) {
    if (!b) return NewChunk();
    if (b->state == kZqlMemFree && b->size >= n) return b;
  }
  // Unless the index was already off, the headers proved unsound: the walk
  // goes from the head, to stop at the first damaged one.
  if (start) NoteDamage();
  return WalkFree(head, n);
}

Hdr* FindFree(std::size_t n) {
  Hdr* start = ZqlMemLowFlagIsSet() ? gAlloc.rover : gAlloc.smallHead;
  Hdr* near = NearFree(start, n);
  return __builtin_expect(near != nullptr, 1) ? near : FarFree(start, n);
}

// Cuts the tail beyond n bytes off b as a new free block, if worth it, and
// answers that block (null when b stays whole).
Hdr* Split(Hdr* b, std::size_t n) {
  if (b->size - n < kMinSplit) return nullptr;
  auto* rest = reinterpret_cast<Hdr*>(DataOf(b) + n);
  const auto restSize = static_cast<uint32_t>(b->size - n - kHdr);
  *rest = Hdr{b, b->next, nullptr, restSize, 0, kZqlMemFree, b->chunk};
  if (b->next && b->next->prev == b) b->next->prev = rest;
  b->next = rest;
  b->size = static_cast<uint32_t>(n);
  return rest;
}

// Zero-fills size bytes at d (8-aligned, a multiple of 8). Up to 64 bytes,
// the most common, it is two stores of a fixed width that may overlap: a
// loop would end at a count the branch predictor has to guess, and a call
// of memset costs more than the work.
inline void Clear(char* d, std::size_t size) {
  if (size <= 16) {
    if (size == 0) return;
    std::memset(d, 0, 8);
    std::memset(d + size - 8, 0, 8);
  } else if (size <= 32) {
    std::memset(d, 0, 16);
    std::memset(d + size - 16, 0, 16);
  } else if (size <= 64) {
    std::memset(d, 0, 32);
    std::memset(d + size - 32, 0, 32);
  } else {
    std::memset(d, 0, size);
  }
}

ZQL_HOT Hdr* TakeSmall(std::size_t n) {
  Hdr* b = FindFree(n);
  if (!b) return nullptr;
  if (!SoundOrNull(b->next)) NoteDamage();
  ZqlMemIndexTaken(b);
  if (Hdr* rest = Split(b, n)) ZqlMemIndexFreed(rest);
  gAlloc.rover = b;
  b->state = kZqlMemAllocated;
  b->flags = 0;
  b->tag = nullptr;  // a tag left by an earlier owner may point to dead text
  Clear(DataOf(b), b->size);
  return b;
}

// a absorbs its physical successor b.
void Absorb(Hdr* a, Hdr* b) {
  a->next = b->next;
  a->size += b->size + static_cast<uint32_t>(kHdr);
  if (b->next && b->next->prev == b) b->next->prev = a;
}

// True when b spans its whole chunk.
bool IsWholeChunk(const Hdr* b) {
  return b->prev == nullptr && (b->next == nullptr || b->next->prev == nullptr);
}

// Unlinks the single-block chunk c from the small list and keeps it aside,
// or frees it when enough are kept.
void ReturnChunk(Hdr* c) {
  if (gAlloc.smallHead == c) {
    gAlloc.smallHead = c->next;
  } else {
    Hdr* q = gAlloc.smallHead;
    while (q && q->next != c) q = q->next;
    if (!q) {  // not on the list: keep it rather than corrupt the list
      NoteDamage();
      return;
    }
    q->next = c->next;
  }
  ZqlMemIndexDropChunk(c);
  if (gAlloc.spareChunkCount < kSpareChunks) {
    c->next = gAlloc.spareChunks;
    gAlloc.spareChunks = c;
    ++gAlloc.spareChunkCount;
  } else {
    ZqlMemoryLowFree(c);
  }
}

ZQL_HOT void FreeSmall(Hdr* b) {
  b->state = kZqlMemFree;
  --gAlloc.blocksInUse;
  if (kZqlMemPassthrough) {
    Unlink(&gAlloc.smallHead, b);
    ZqlMemoryLowFree(b);
  } else {
    if (__builtin_expect(!SoundNeighbours(b), 0)) NoteDamage();
    const bool joined = b->prev && b->prev->state == kZqlMemFree;
    if (joined) {
      Hdr* before = b->prev;
      Absorb(before, b);
      b = before;
    }
    Hdr* after = b->next;
    if (after && after->prev && after->state == kZqlMemFree) {
      ZqlMemIndexTaken(after);  // before its header goes stale
      Absorb(b, after);
    }
    if (joined)
      ZqlMemIndexGrown(b);
    else
      ZqlMemIndexFreed(b);
    if (ZqlMemLowFlagIsSet() && IsWholeChunk(b)) {
      ReturnChunk(b);
      b = gAlloc.smallHead;
    }
  }
  // The next search begins at the block just freed.
  gAlloc.rover = kZqlMemPassthrough ? gAlloc.smallHead : b;
}

// --- large blocks ----------------------------------------------------------

// A large block of n usable bytes, zero-filled: a kept one whose allocation
// holds n bytes without wasting more than as many again, else a new one.
Hdr* TakeLarge(std::size_t n) {
  const auto size = static_cast<uint32_t>(n / 8);
  for (Hdr** at = &gAlloc.spareLarge; *at; at = &(*at)->next) {
    Hdr* b = *at;
    const std::size_t room = malloc_usable_size(b);
    if (room < n + kHdr || room > 2 * (n + kHdr)) continue;
    *at = b->next;
    --gAlloc.spareLargeCount;
    std::memset(DataOf(b), 0, n);
    *b = Hdr{nullptr, nullptr, nullptr, size, 0, kZqlMemLarge, 0};
    PushFront(&gAlloc.largeHead, b);
    return b;
  }
  return NewListedBlock(&gAlloc.largeHead, n, size, kZqlMemLarge);
}

// Keeps the unlinked large block b aside, or frees it.
void DropLarge(Hdr* b) {
  if (kZqlMemPassthrough || gAlloc.spareLargeCount >= kSpareLarge ||
      malloc_usable_size(b) > kSpareLargeMax) {
    ZqlMemoryLowFree(b);
    return;
  }
  b->state = 0;  // no block of any list
  b->next = gAlloc.spareLarge;
  gAlloc.spareLarge = b;
  ++gAlloc.spareLargeCount;
}

// Frees every block on the list at head, linked by next.
void FreeChain(Hdr* head) {
  while (head) {
    Hdr* next = head->next;
    ZqlMemoryLowFree(head);
    head = next;
  }
}

// The first block of the next page after b's page.
Hdr* NextPage(Hdr* b) {
  b = b->next;
  while (!kZqlMemPassthrough && b && b->prev) b = b->next;
  return b;
}

// --- report ----------------------------------------------------------------

void DumpLarge(std::FILE* out) {
  int64_t bytes = 0;
  int count = 0;
  for (Hdr* b = gAlloc.largeHead; b; b = b->next) {
    if (b->state != kZqlMemLarge) {
      std::fprintf(out, "Error in extmemlist: %08lX\n", AddrOf(b));
      break;
    }
    if (b->tag)
      std::fprintf(out, "%08lX %s\n", AddrOf(DataOf(b)), b->tag);
    else
      std::fprintf(out, "%08lX\n", AddrOf(DataOf(b)));
    bytes += static_cast<int64_t>(UsableSize(b));
    ++count;
  }
  std::fprintf(out, "\nExtra blocks: size %" PRId64 " total blocks %d\n", bytes,
               count);
}

// One line for an allocated small block: address, size, a peek at its first
// bytes in hex and as text, and its tag. Only bytes of the block are peeked.
void DumpSmallLine(std::FILE* out, Hdr* b) {
  const auto* d = reinterpret_cast<const unsigned char*>(DataOf(b));
  const std::size_t shown = std::min<std::size_t>(8, b->size);
  std::fprintf(out, "%08lX | %6d |", AddrOf(d), static_cast<int>(b->size));
  for (std::size_t i = 0; i < 8; ++i) {
    if (i < shown)
      std::fprintf(out, "%02X", d[i]);
    else
      std::fputs("  ", out);
  }
  std::fputs(" | ", out);
  for (std::size_t i = 0; i < 8; ++i) {
    const bool printable = i < shown && d[i] >= 0x20 && d[i] < 0x7F;
    std::fputc(i >= shown ? ' ' : printable ? d[i] : '.', out);
  }
  if (b->tag)
    std::fprintf(out, " | %s\n", b->tag);
  else
    std::fputc('\n', out);
}

void DumpSmall(std::FILE* out) {
  int pages = 0, freeBlocks = 0, usedBlocks = 0;
  int64_t freeBytes = 0, usedBytes = 0;
  for (Hdr* b = gAlloc.smallHead; b; b = b->next) {
    if (!IsSmallState(b->state)) {
      NoteDamage();
      std::fprintf(out, "Error in local memlist: %08lX\n", AddrOf(b));
      break;
    }
    if (StartsPage(b)) ++pages;
    if (b->state == kZqlMemFree) {
      ++freeBlocks;
      freeBytes += b->size;
    } else {
      ++usedBlocks;
      usedBytes += b->size;
      DumpSmallLine(out, b);
    }
  }
  std::fprintf(out, "\nLocal block: pages %d freeblk %d allocatedblk %d\n",
               pages, freeBlocks, usedBlocks);
  std::fprintf(out, "             freed %" PRId64 " allocated %" PRId64 "\n",
               freeBytes, usedBytes);
}

struct SZqlFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The first header on the list at b whose state fails ok, or null.
template <class Ok>
const Hdr* FirstBad(const Hdr* b, Ok ok) {
  for (; b; b = b->next)
    if (!ok(b->state)) return b;
  return nullptr;
}

// Raises 0xA008 for a null result; answers p (null when nothing took the raise).
void* NullRaises(void* p) {
  if (!p) ZqlTryThrow(kZqlErrInsufficientMemory, 0, 0);
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// Block layer
// ---------------------------------------------------------------------------

namespace {

// Limits on the block layer, off unless set: the ceiling on the bytes the
// library holds in blocks (the "Memmax" setting), and the test hook that
// fails one chosen call. While either is on, the bytes in use are counted.
struct SZqlMemLimits {
  bool on = false;
  int64_t ceiling = 0;  // 0: none
  int64_t inUse = 0;    // usable bytes of the blocks handed out while on
  long failAt = 0;      // the call that fails, counted from when it was set; 0: none
  long calls = 0;
};
SZqlMemLimits gLimits;

void UpdateLimits() { gLimits.on = gLimits.ceiling > 0 || gLimits.failAt > 0; }

// Whether a request of n bytes may go ahead.
bool Admit(std::size_t n) {
  if (gLimits.failAt > 0 && ++gLimits.calls == gLimits.failAt) return false;
  return gLimits.ceiling <= 0 ||
         gLimits.inUse + static_cast<int64_t>(n) <= gLimits.ceiling;
}

inline __attribute__((always_inline)) void* Malloc(std::size_t n) {
  if (n > kMaxRequest) return nullptr;
  if (__builtin_expect(gLimits.on, 0) && !Admit(n)) return nullptr;
  const std::size_t asked = n;
  n = (n + 7) & ~std::size_t{7};
  Hdr* b;
  if (IsLargeRequest(n))
    b = TakeLarge(n);
  else if (kZqlMemPassthrough)
    b = NewListedBlock(&gAlloc.smallHead, n, static_cast<uint32_t>(n),
                       kZqlMemAllocated);
  else
    b = TakeSmall(n);
  if (!b) return nullptr;
  ++gAlloc.blocksInUse;
  if (__builtin_expect(gLimits.on, 0)) gLimits.inUse += static_cast<int64_t>(UsableSize(b));
  if (gTrace) gTrace(kZqlMemTraceAlloc, DataOf(b), nullptr, asked);
  return DataOf(b);
}

}  // namespace

ZQL_HOT void* ZqlMemoryNblkMalloc(std::size_t n) { return Malloc(n); }

void* ZqlMemoryNblkCalloc(std::size_t count, std::size_t size) {
  std::size_t n;
  // An overflowing product must not become a short block.
  if (__builtin_mul_overflow(count, size, &n) || n > UINT32_MAX) return nullptr;
  return ZqlMemoryNblkMalloc(n);
}

void* ZqlMemoryNblkRealloc(void* p, std::size_t n) {
  if (!p) return ZqlMemoryNblkMalloc(n);
  Hdr* old = ZqlMemHeaderOf(p);
  if (!IsLive(old)) {  // freed or damaged: its size is no guide
    if (old->state != kZqlMemFree) NoteDamage();
    return nullptr;
  }
  const ZqlMemTraceFn trace = gTrace;  // one event, not a malloc and a free
  gTrace = nullptr;
  void* q = ZqlMemoryNblkMalloc(n);
  if (q) {
    ZqlMemHeaderOf(q)->tag = old->tag;
    std::memcpy(q, p, std::min(UsableSize(old), n));
    ZqlMemoryNblkFree(p);
  }
  gTrace = trace;
  if (q && trace) trace(kZqlMemTraceRealloc, q, p, n);
  return q;
}

namespace {

inline __attribute__((always_inline)) void Free(void* p) {
  if (!p) return;
  Hdr* b = ZqlMemHeaderOf(p);
  if (__builtin_expect(gLimits.on, 0) && IsLive(b)) {
    // Blocks handed out before the limits went on were not counted.
    gLimits.inUse -= static_cast<int64_t>(UsableSize(b));
    if (gLimits.inUse < 0) gLimits.inUse = 0;
  }
  if (b->state == kZqlMemLarge) {
    if (gTrace) gTrace(kZqlMemTraceFree, p, nullptr, 0);
    --gAlloc.blocksInUse;
    Unlink(&gAlloc.largeHead, b);
    DropLarge(b);
  } else if (b->state == kZqlMemAllocated) {
    if (gTrace) gTrace(kZqlMemTraceFree, p, nullptr, 0);
    FreeSmall(b);
  } else if (b->state != kZqlMemFree) {
    NoteDamage();  // damaged: leave it alone (a free block is freed twice)
  }
}

}  // namespace

ZQL_HOT void ZqlMemoryNblkFree(void* p) { Free(p); }

void ZqlMemorySetCeiling(int64_t bytes) {
  if (bytes > 0 && gLimits.ceiling <= 0 && !gLimits.on) gLimits.inUse = 0;
  gLimits.ceiling = bytes > 0 ? bytes : 0;
  UpdateLimits();
}

int64_t ZqlMemoryBytesInUse() { return gLimits.on ? gLimits.inUse : -1; }

void TEST_ZqlMemoryFailAt(long n) {
  if (!gLimits.on) gLimits.inUse = 0;
  gLimits.failAt = n > 0 ? n : 0;
  gLimits.calls = 0;
  UpdateLimits();
}

long TEST_ZqlMemoryCalls() { return gLimits.calls; }

void ZqlMemoryNblkFreeAll() {
  FreeChain(gAlloc.largeHead);
  FreeChain(gAlloc.spareLarge);
  FreeChain(gAlloc.spareChunks);
  for (Hdr* b = gAlloc.smallHead; b;) {
    Hdr* next = NextPage(b);  // read before the page goes
    ZqlMemoryLowFree(b);
    b = next;
  }
  gAlloc = SZqlAllocState{};
  ZqlMemIndexReset();
}

void ZqlMemoryNblkAddMsg(void* p, const char* text) {
  if (!p) return;
  Hdr* b = ZqlMemHeaderOf(p);
  if (IsLive(b))
    b->tag = text;
  else if (b->state != kZqlMemFree)
    NoteDamage();
}

void ZqlMemoryNblkDumpTo(std::FILE* out, const char* title) {
  std::fputs(title ? title : "", out);
  std::fputs("\n-------------------------------------------------------\n", out);
  DumpLarge(out);
  DumpSmall(out);
}

void ZqlMemoryNblkDump(const char* title) {
  const char* name = ZqlSysDump();
  if (!name || !*name) return;
  std::unique_ptr<std::FILE, SZqlFileCloser> f(std::fopen(name, "a"));
  if (f) ZqlMemoryNblkDumpTo(f.get(), title);
}

int ZqlMemBlkNblkInUse() { return gAlloc.blocksInUse; }

SZqlMemHeader* TEST_ZqlMemorySmallHead() { return gAlloc.smallHead; }

void TEST_ZqlMemorySetTrace(ZqlMemTraceFn fn) { gTrace = fn; }

int TEST_ZqlMemorySpareCount() { return gAlloc.spareChunkCount + gAlloc.spareLargeCount; }

int ZqlMemoryCheck(const char* title) {
  const char* list = "extmemlist";
  const Hdr* bad =
      FirstBad(gAlloc.largeHead, [](uint8_t s) { return s == kZqlMemLarge; });
  if (!bad) {
    list = "local memlist";
    bad = FirstBad(gAlloc.smallHead, IsSmallState);
  }
  if (!bad) return 1;
  NoteDamage();
  std::printf("%s\nError in %s: %08lX\n", title ? title : "", list, AddrOf(bad));
  std::fflush(stdout);
  return 0;
}

// ---------------------------------------------------------------------------
// Public layer
// ---------------------------------------------------------------------------

// The public layer calls the block layer's bodies in line, not through
// the symbol table.
ZQL_HOT void* ZqlMemoryMalloc(std::size_t n) {
  void* p = Malloc(n);
  return __builtin_expect(p != nullptr, 1) ? p : NullRaises(p);
}

void* ZqlMemoryCalloc(std::size_t count, std::size_t size) {
  return NullRaises(ZqlMemoryNblkCalloc(count, size));
}

void* ZqlMemoryRealloc(void* p, std::size_t n) {
  return NullRaises(ZqlMemoryNblkRealloc(p, n));
}

ZQL_HOT void ZqlMemoryFree(void* p) { Free(p); }
void ZqlMemoryFreeAll() { ZqlMemoryNblkFreeAll(); }
void ZqlMemoryAddMsg(void* p, const char* text) { ZqlMemoryNblkAddMsg(p, text); }
void ZqlMemoryDump(const char* title) { ZqlMemoryNblkDump(title); }
int ZqlMemBlkInUse() { return ZqlMemBlkNblkInUse(); }
