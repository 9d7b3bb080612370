// sindex.cpp - index of the free small blocks, so that the next-fit search
// of the block allocator skips allocated blocks and whole chunks that hold
// no block large enough.
//
// Every chunk has a record: a bit per 8-byte step of the chunk, set where a
// free block's header starts, and bounds on the size of the largest free
// block per 64-bit word of bits, per group of eight words and per chunk. A
// bound never falls below the true largest size, so a search may skip a
// word, group or chunk whose bound is too small; a bound rises with every
// block freed or grown and is lowered only when a search has read the sizes
// it covers. Records are kept in small-list order (newest chunk first),
// which is the search order. Each chunk also gets a number, which every
// header of the chunk carries (a split's rest inherits it): a block's record
// is found by that number, without a search, and a number whose record does
// not span the block shows an overwritten header. The index holds no sizes
// of its own: it reads them from the headers it points at, so it only has
// to learn which blocks are free.
//
// The block freed last (a split's rest, or a block just released) is held
// back as `pending` and recorded only when another block takes its place or
// a search needs it. Most of the library's requests free what they took
// last, and the block then taken is the one pending: a request and its
// release then touch no record at all.
//
// Records live in C-library memory of their own, never in chunks, so the
// chunk layout is that of an allocator without index. When a record cannot
// be had, or the allocator sees a damaged header, the index is dropped and
// searches walk the list until the allocator is empty again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "salloc.h"

namespace {

using Hdr = SZqlMemHeader;
constexpr std::size_t kChunkBytes = kZqlMemLowBlockSize + kZqlMemHeaderSize;
constexpr std::size_t kSlots = kChunkBytes / 8;  // headers lie on 8-byte steps
constexpr std::size_t kWords = (kSlots + 63) / 64;
constexpr std::size_t kGroupWords = 8;
constexpr std::size_t kGroups = (kWords + kGroupWords - 1) / kGroupWords;

struct SZqlChunkIndex {
  std::uintptr_t base;     // the chunk's first header
  SZqlChunkIndex* newer;   // list neighbours: the chunk before this one
  SZqlChunkIndex* older;   // and the chunk after it (searched next)
  uint32_t maxFree;        // bound on the chunk's largest free block
  uint64_t bits[kWords];   // bit s: a free block's header at base + 8 * s
  uint32_t wordMax[kWords];    // bound on the largest free block of word w
  uint32_t groupMax[kGroups];  // bound for words 8 * g to 8 * g + 7
};

// Chunk numbers fit a header's 16 bits; 0 is no chunk's.
constexpr std::size_t kNumbers = std::size_t{UINT16_MAX} + 1;

struct SZqlIndexState {
  SZqlChunkIndex** byNumber;  // [k]: the record of chunk number k; null for
                              // 0 and numbers not in use (C-library array)
  std::size_t numbers;        // slots of byNumber
  std::size_t count;          // records
  SZqlChunkIndex* newest;  // head of the list order
  Hdr* pending;            // a free block not recorded yet (its bit is clear)
  bool off;                // dropped after damage or a failed allocation
};
SZqlIndexState gIndex;

std::uintptr_t AddrOf(const Hdr* b) { return reinterpret_cast<std::uintptr_t>(b); }

Hdr* HeaderAt(const SZqlChunkIndex* c, std::size_t slot) {
  return reinterpret_cast<Hdr*>(c->base + slot * 8);
}

// The record of the chunk holding header b, or null when b's number names
// no chunk that spans b.
inline __attribute__((always_inline)) SZqlChunkIndex* ChunkOf(const Hdr* b) {
  const std::size_t k = b->chunk;
  SZqlChunkIndex* c = k < gIndex.numbers ? gIndex.byNumber[k] : nullptr;
  return c && AddrOf(b) - c->base < kChunkBytes ? c : nullptr;
}

// Slot of header b in chunk c, or kSlots when b does not lie on one.
std::size_t SlotOf(const SZqlChunkIndex* c, const Hdr* b) {
  const std::uintptr_t off = AddrOf(b) - c->base;
  return off % 8 == 0 ? off / 8 : kSlots;
}

// Raises the bounds of b's word and chunk to cover size.
void Cover(SZqlChunkIndex* c, std::size_t w, uint32_t size) {
  if (size > c->wordMax[w]) c->wordMax[w] = size;
  if (size > c->groupMax[w / kGroupWords]) c->groupMax[w / kGroupWords] = size;
  if (size > c->maxFree) c->maxFree = size;
}

// Searches word w of c from bit `from` on for a free block of at least n
// bytes. A word read in full that holds none gets its bound lowered to the
// largest size seen.
Hdr* SearchWord(SZqlChunkIndex* c, std::size_t w, std::size_t from, std::size_t n) {
  uint32_t largest = 0;
  for (uint64_t bits = c->bits[w] & (~uint64_t{0} << from); bits; bits &= bits - 1) {
    Hdr* h = HeaderAt(c, w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)));
    if (h->size >= n) return h;
    if (h->size > largest) largest = h->size;
  }
  if (from == 0) c->wordMax[w] = largest;
  return nullptr;
}

// The largest of n bounds.
uint32_t MaxOf(const uint32_t* bounds, std::size_t n) {
  uint32_t m = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (bounds[i] > m) m = bounds[i];
  return m;
}

// Searches group g of c from word slot / 64 (bit slot % 64) on. A group read
// in full that holds no block of n bytes gets its bound lowered.
Hdr* SearchGroup(SZqlChunkIndex* c, std::size_t g, std::size_t slot, std::size_t n) {
  const std::size_t first = g * kGroupWords;
  const std::size_t end = std::min(first + kGroupWords, kWords);
  for (std::size_t w = std::max(first, slot / 64); w < end; ++w) {
    if (c->wordMax[w] < n) continue;
    if (Hdr* h = SearchWord(c, w, w == slot / 64 ? slot % 64 : 0, n)) return h;
  }
  if (slot <= first * 64) c->groupMax[g] = MaxOf(c->wordMax + first, end - first);
  return nullptr;
}

// The first free block of at least n bytes in c from slot on, or null. A
// search that finds none lowers the chunk's bound to its groups' bounds.
Hdr* SearchChunk(SZqlChunkIndex* c, std::size_t slot, std::size_t n) {
  for (std::size_t g = slot / 64 / kGroupWords; g < kGroups; ++g) {
    if (c->groupMax[g] < n) continue;
    if (Hdr* h = SearchGroup(c, g, slot, n)) return h;
  }
  c->maxFree = MaxOf(c->groupMax, kGroups);
  return nullptr;
}

// A chunk number not in use, the array grown if need be; 0 when none can
// be had.
uint16_t FreeNumber() {
  for (std::size_t k = 1; k < gIndex.numbers; ++k)
    if (!gIndex.byNumber[k]) return static_cast<uint16_t>(k);
  const std::size_t grown = std::min(kNumbers, gIndex.numbers ? gIndex.numbers * 2 : 16);
  if (grown == gIndex.numbers) return 0;
  void* p = std::realloc(gIndex.byNumber, grown * sizeof(SZqlChunkIndex*));
  if (!p) return 0;
  gIndex.byNumber = static_cast<SZqlChunkIndex**>(p);
  const std::size_t k = gIndex.numbers ? gIndex.numbers : 1;
  std::fill(gIndex.byNumber + gIndex.numbers, gIndex.byNumber + grown, nullptr);
  gIndex.numbers = grown;
  return static_cast<uint16_t>(k);
}

// Compares record c with the free blocks the list shows for its chunk: the
// bits must match, the bounds must not fall below the largest sizes.
std::string CompareChunk(const SZqlChunkIndex* c, const uint64_t* bits,
                         const uint32_t* wordMax) {
  for (std::size_t w = 0; w < kWords; ++w) {
    if (c->bits[w] != bits[w]) return "free bits differ in word " + std::to_string(w);
    if (c->wordMax[w] < wordMax[w]) return "word bound too low in word " + std::to_string(w);
    if (c->groupMax[w / kGroupWords] < wordMax[w]) return "group bound too low";
    if (c->maxFree < wordMax[w]) return "chunk bound too low";
  }
  return "";
}

// Records in c whether b is free; false when b lies on no slot of c (or c
// is null): then the caller drops the index.
inline __attribute__((always_inline)) bool NoteIn(SZqlChunkIndex* c, const Hdr* b, bool isFree) {
  const std::size_t slot = c ? SlotOf(c, b) : kSlots;
  if (slot >= kSlots) return false;  // not a block of ours
  const std::size_t w = slot / 64;
  const uint64_t bit = uint64_t{1} << (slot % 64);
  if (isFree) {
    c->bits[w] |= bit;
    Cover(c, w, b->size);
  } else if ((c->bits[w] &= ~bit) == 0) {
    c->wordMax[w] = 0;  // exact for an empty word, and cheap
  }
  return true;
}

// Records b as free or not; drops the index when b is no block of ours.
void Note(Hdr* b, bool isFree) {
  if (!NoteIn(ChunkOf(b), b, isFree)) ZqlMemIndexOff();
}

// Records the pending block. A header that is no longer a free block's was
// overwritten: the index steps aside.
void Flush() {
  Hdr* b = gIndex.pending;
  gIndex.pending = nullptr;
  if (b->state != kZqlMemFree) return ZqlMemIndexOff();
  Note(b, true);
}

}  // namespace

bool gZqlMemIndexOff = false;

bool ZqlMemIndexOn() { return !gIndex.off; }

void ZqlMemIndexOff() {
  for (std::size_t k = 0; k < gIndex.numbers; ++k) std::free(gIndex.byNumber[k]);
  std::free(gIndex.byNumber);
  gIndex = SZqlIndexState{};
  gIndex.off = true;
  gZqlMemIndexOff = true;
}

void ZqlMemIndexReset() {
  ZqlMemIndexOff();
  gIndex.off = false;
  gZqlMemIndexOff = false;
}

void ZqlMemIndexAddChunk(SZqlMemHeader* c) {
  if (gIndex.off) return;
  auto* rec = static_cast<SZqlChunkIndex*>(std::calloc(1, sizeof(SZqlChunkIndex)));
  const uint16_t k = rec ? FreeNumber() : 0;
  if (k == 0) {
    std::free(rec);
    ZqlMemIndexOff();
    return;
  }
  rec->base = AddrOf(c);
  c->chunk = k;
  gIndex.byNumber[k] = rec;
  ++gIndex.count;
  rec->older = gIndex.newest;
  if (gIndex.newest) gIndex.newest->newer = rec;
  gIndex.newest = rec;
  Note(c, true);
}

void ZqlMemIndexDropChunk(SZqlMemHeader* c) {
  if (gIndex.off) return;
  SZqlChunkIndex* rec = ChunkOf(c);
  if (!rec || rec->base != AddrOf(c)) {
    ZqlMemIndexOff();
    return;
  }
  gIndex.byNumber[c->chunk] = nullptr;
  if (gIndex.pending && AddrOf(gIndex.pending) - rec->base < kChunkBytes) gIndex.pending = nullptr;
  if (rec->newer)
    rec->newer->older = rec->older;
  else
    gIndex.newest = rec->older;
  if (rec->older) rec->older->newer = rec->newer;
  --gIndex.count;
  std::free(rec);
}

void ZqlMemIndexTaken(SZqlMemHeader* b) {
  if (gIndex.off) return;
  if (b == gIndex.pending)
    gIndex.pending = nullptr;  // never recorded
  else
    Note(b, false);
}

void ZqlMemIndexFreed(SZqlMemHeader* b) {
  if (gIndex.off || b == gIndex.pending) return;
  if (gIndex.pending) Flush();
  gIndex.pending = b;
}

void ZqlMemIndexGrown(SZqlMemHeader* b) {
  if (gIndex.off || b == gIndex.pending) return;  // read when recorded
  Note(b, true);
}

bool ZqlMemIndexFind(SZqlMemHeader* start, std::size_t n, SZqlMemHeader** found) {
  if (gIndex.off) return false;
  if (gIndex.pending) Flush();
  if (gIndex.off) return false;
  SZqlChunkIndex* c = ChunkOf(start);
  std::size_t from = c ? SlotOf(c, start) : kSlots;
  if (from >= kSlots) return false;
  for (; c; c = c->older, from = 0) {
    if (c->maxFree < n) continue;
    if ((*found = SearchChunk(c, from, n))) return true;
  }
  *found = nullptr;
  return true;
}

std::string TEST_ZqlMemoryIndexFault(const SZqlMemHeader* smallHead) {
  if (kZqlMemPassthrough || gIndex.off) return "";  // no chunks, or no index
  const SZqlChunkIndex* rec = nullptr;
  const SZqlChunkIndex* nextRec = gIndex.newest;
  uint64_t bits[kWords] = {};
  uint32_t wordMax[kWords] = {};
  std::size_t chunks = 0;
  bool pendingSeen = false;
  for (const Hdr* b = smallHead; b; b = b->next) {
    if (!b->prev) {  // b starts the next chunk
      if (rec) {
        std::string fault = CompareChunk(rec, bits, wordMax);
        if (!fault.empty()) return fault;
      }
      if (nextRec == nullptr || nextRec->base != AddrOf(b)) return "chunk order differs";
      if (ChunkOf(b) != nextRec) return "chunk number misses its record";
      rec = nextRec;
      nextRec = rec->older;
      ++chunks;
      for (std::size_t w = 0; w < kWords; ++w) bits[w] = wordMax[w] = 0;
    }
    if (!rec || ChunkOf(b) != rec || SlotOf(rec, b) >= kSlots) return "block outside its chunk";
    if (b == gIndex.pending) {
      if (b->state != kZqlMemFree) return "pending block not free";
      pendingSeen = true;
      continue;  // its bit stays clear until it is recorded
    }
    if (b->state != kZqlMemFree) continue;
    const std::size_t slot = SlotOf(rec, b);
    bits[slot / 64] |= uint64_t{1} << (slot % 64);
    if (b->size > wordMax[slot / 64]) wordMax[slot / 64] = b->size;
  }
  if (rec) {
    std::string fault = CompareChunk(rec, bits, wordMax);
    if (!fault.empty()) return fault;
  }
  if (nextRec || chunks != gIndex.count) return "index holds chunks the list lacks";
  if (gIndex.pending && !pendingSeen) return "pending block not on the list";
  std::size_t numbered = 0;
  for (std::size_t k = 0; k < gIndex.numbers; ++k) numbered += gIndex.byNumber[k] != nullptr;
  if (numbered != gIndex.count) return "chunk numbers held by no chunk";
  return "";
}
