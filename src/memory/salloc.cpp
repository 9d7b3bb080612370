// salloc.cpp - block and public layers of the allocator.
//
// Small requests are served next-fit from chunks of the low layer; each
// chunk is a run of blocks, every block a header followed by its usable
// bytes. Free neighbours are merged at once, and a chunk that becomes one
// free block goes back to the C library. Requests that do not fit a chunk
// become large blocks: one low-layer allocation each, on a doubly linked
// list. With ZQL_ALLOC_PASSTHROUGH every block is its own allocation (so
// sanitizers see each one), small blocks on a doubly linked list of their own.
//
// The search itself goes through an index of the free blocks (sindex.cpp),
// which answers the block the walk would reach without visiting the blocks
// in between; the walk remains for lists the allocator finds damaged.
//
// One process-wide state, no lock: the library runs on one thread.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <memory>

#include "salloc.h"
#include "zqlsys.h"
#include "zqltry.h"

namespace {

using Hdr = SZqlMemHeader;
constexpr std::size_t kHdr = kZqlMemHeaderSize;
// A free block is split off only if it can hold a header and 8 bytes.
constexpr std::size_t kMinSplit = kHdr + 8;
// Largest request: a large block stores its usable size / 8 in 32 bits.
constexpr std::size_t kMaxRequest = std::size_t{UINT32_MAX} * 8;

struct SZqlAllocState {
  Hdr* smallHead;   // newest chunk's first block (passthrough: newest block)
  Hdr* largeHead;   // newest large block
  Hdr* rover;       // where the next small search begins
  int blocksInUse;  // allocated blocks, small and large
};
SZqlAllocState gAlloc;

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

bool IsLive(const Hdr* b) {
  return b->state == kZqlMemAllocated || b->state == kZqlMemLarge;
}

std::size_t UsableSize(const Hdr* b) {
  return b->state == kZqlMemLarge ? std::size_t{b->size} * 8 : b->size;
}

// Requests whose header would not fit in a chunk take the large path.
bool IsLargeRequest(std::size_t n) { return ZqlMemoryLowBlockSize() < n + kHdr; }

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

// Prepends a fresh chunk holding one free block; it becomes the rover.
Hdr* NewChunk() {
  const std::size_t usable = ZqlMemoryLowBlockSize();
  auto* c = static_cast<Hdr*>(ZqlMemoryLowAlloc(usable + kHdr));
  if (!c) return nullptr;
  c->next = gAlloc.smallHead;  // prev, tag and flags are already zero
  c->size = static_cast<uint32_t>(usable - kHdr);
  c->state = kZqlMemFree;
  gAlloc.smallHead = c;
  gAlloc.rover = c;
  ZqlMemIndexAddChunk(c);
  return c;
}

// Next-fit walk from b for a free block of at least n bytes, adding a chunk
// when the walk runs off the list. Null on exhaustion or a damaged header.
Hdr* WalkFree(Hdr* b, std::size_t n) {
  for (;;) {
    if (!b && !(b = NewChunk())) return nullptr;
    if (b->state == kZqlMemFree && b->size >= n) return b;
    if (!IsSmallState(b->state)) return nullptr;  // damaged list
    b = b->next;
  }
}

// The block WalkFree would take, found through the index. The walk stops at
// a damaged start; a block the index offers must be free and large enough,
// or the headers have been overwritten behind its back and the walk decides.
Hdr* FindFree(std::size_t n) {
  Hdr* start = ZqlMemoryLowFlag() == 1 ? gAlloc.rover : gAlloc.smallHead;
  Hdr* b = nullptr;
  if (start && IsSmallState(start->state) && ZqlMemIndexFind(start, n, &b)) {
    if (!b) return NewChunk();  // nothing fits from start to the list's end
    if (b->state == kZqlMemFree && b->size >= n) return b;
  }
  if (start) NoteDamage();  // unless the index was already off
  return WalkFree(start, n);
}

// Cuts the tail beyond n bytes off b as a new free block, if worth it, and
// answers that block (null when b stays whole).
Hdr* Split(Hdr* b, std::size_t n) {
  if (b->size - n < kMinSplit) return nullptr;
  auto* rest = reinterpret_cast<Hdr*>(DataOf(b) + n);
  const auto restSize = static_cast<uint32_t>(b->size - n - kHdr);
  *rest = Hdr{b, b->next, nullptr, restSize, 0, kZqlMemFree, {0, 0}};
  if (b->next && b->next->prev == b) b->next->prev = rest;
  b->next = rest;
  b->size = static_cast<uint32_t>(n);
  return rest;
}

Hdr* TakeSmall(std::size_t n) {
  Hdr* b = FindFree(n);
  if (!b) return nullptr;
  if (!SoundOrNull(b->next)) NoteDamage();
  Hdr* rest = Split(b, n);
  ZqlMemIndexNote(b, false);
  if (rest) ZqlMemIndexNote(rest, true);
  gAlloc.rover = b;
  b->state = kZqlMemAllocated;
  b->flags = 0;
  b->tag = nullptr;  // a tag left by an earlier owner may point to dead text
  std::memset(DataOf(b), 0, b->size);
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

// Unlinks the single-block chunk c from the small list and frees it.
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
  ZqlMemoryLowFree(c);
}

void FreeSmall(Hdr* b) {
  b->state = kZqlMemFree;
  --gAlloc.blocksInUse;
  if (kZqlMemPassthrough) {
    Unlink(&gAlloc.smallHead, b);
    ZqlMemoryLowFree(b);
  } else {
    if (!SoundOrNull(b->prev) || !SoundOrNull(b->next)) NoteDamage();
    if (b->prev && b->prev->state == kZqlMemFree) {
      Hdr* before = b->prev;
      Absorb(before, b);
      b = before;
    }
    Hdr* after = b->next;
    if (after && after->prev && after->state == kZqlMemFree) {
      ZqlMemIndexNote(after, false);  // its header stays behind, stale
      Absorb(b, after);
    }
    ZqlMemIndexNote(b, true);
    if (ZqlMemoryLowFlag() == 1 && IsWholeChunk(b)) ReturnChunk(b);
  }
  gAlloc.rover = gAlloc.smallHead;
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

void* ZqlMemoryNblkMalloc(std::size_t n) {
  if (n > kMaxRequest) return nullptr;
  n = (n + 7) & ~std::size_t{7};
  Hdr* b;
  if (IsLargeRequest(n))
    b = NewListedBlock(&gAlloc.largeHead, n, static_cast<uint32_t>(n / 8),
                       kZqlMemLarge);
  else if (kZqlMemPassthrough)
    b = NewListedBlock(&gAlloc.smallHead, n, static_cast<uint32_t>(n),
                       kZqlMemAllocated);
  else
    b = TakeSmall(n);
  if (!b) return nullptr;
  ++gAlloc.blocksInUse;
  return DataOf(b);
}

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
  void* q = ZqlMemoryNblkMalloc(n);
  if (!q) return nullptr;
  ZqlMemHeaderOf(q)->tag = old->tag;
  std::memcpy(q, p, std::min(UsableSize(old), n));
  ZqlMemoryNblkFree(p);
  return q;
}

void ZqlMemoryNblkFree(void* p) {
  if (!p) return;
  Hdr* b = ZqlMemHeaderOf(p);
  if (b->state == kZqlMemLarge) {
    --gAlloc.blocksInUse;
    Unlink(&gAlloc.largeHead, b);
    ZqlMemoryLowFree(b);
  } else if (b->state == kZqlMemAllocated) {
    FreeSmall(b);
  } else if (b->state != kZqlMemFree) {
    NoteDamage();  // damaged: leave it alone (a free block is freed twice)
  }
}

void ZqlMemoryNblkFreeAll() {
  for (Hdr* b = gAlloc.largeHead; b;) {
    Hdr* next = b->next;
    ZqlMemoryLowFree(b);
    b = next;
  }
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

void* ZqlMemoryMalloc(std::size_t n) { return NullRaises(ZqlMemoryNblkMalloc(n)); }

void* ZqlMemoryCalloc(std::size_t count, std::size_t size) {
  return NullRaises(ZqlMemoryNblkCalloc(count, size));
}

void* ZqlMemoryRealloc(void* p, std::size_t n) {
  return NullRaises(ZqlMemoryNblkRealloc(p, n));
}

void ZqlMemoryFree(void* p) { ZqlMemoryNblkFree(p); }
void ZqlMemoryFreeAll() { ZqlMemoryNblkFreeAll(); }
void ZqlMemoryAddMsg(void* p, const char* text) { ZqlMemoryNblkAddMsg(p, text); }
void ZqlMemoryDump(const char* title) { ZqlMemoryNblkDump(title); }
int ZqlMemBlkInUse() { return ZqlMemBlkNblkInUse(); }
