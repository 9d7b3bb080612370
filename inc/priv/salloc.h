// salloc.h - internals of the block allocator, shared by its sources and
// its tests.
//
// A chunk of the low layer holds small blocks back to back; each block is a
// header followed by `size` usable bytes. Large blocks are separate low-layer
// allocations kept on their own list. See zqlsys.h for the public contract.
#ifndef ZQL_SALLOC_H
#define ZQL_SALLOC_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "zqlsys.h"

// State byte of a block header.
constexpr uint8_t kZqlMemAllocated = 'A';  // small block in use
constexpr uint8_t kZqlMemFree = 'F';       // small block on offer
constexpr uint8_t kZqlMemLarge = 'O';      // large block (always in use)

// Header in front of every block. In a chunk, a block's address + header +
// size is the next block of that chunk.
struct SZqlMemHeader {
  SZqlMemHeader* prev;  // small: physical predecessor in the chunk, null for
                        // a chunk's first block; large: list predecessor
  SZqlMemHeader* next;  // small: next in the small list (physical successor
                        // or the next chunk's first block); large: list
                        // successor
  const char* tag;      // borrowed text describing the allocation, or null
  uint32_t size;        // small: usable bytes; large: usable bytes / 8
  uint8_t flags;        // always 0
  uint8_t state;        // kZqlMemAllocated, kZqlMemFree or kZqlMemLarge
  uint16_t chunk;       // small: the index's number for the block's chunk
                        // (a split's rest inherits it), 0 when none
};
static_assert(sizeof(SZqlMemHeader) == kZqlMemHeaderSize,
              "block header must be kZqlMemHeaderSize bytes");

// True when every block is its own C-library allocation (sanitizer builds):
// no chunks, no splitting or merging, but the same headers, lists and counts.
#ifdef ZQL_ALLOC_PASSTHROUGH
constexpr bool kZqlMemPassthrough = true;
#else
constexpr bool kZqlMemPassthrough = false;
#endif

// The header of the block whose data starts at p. REQUIRES: p non-null.
inline SZqlMemHeader* ZqlMemHeaderOf(void* p) {
  return reinterpret_cast<SZqlMemHeader*>(static_cast<char*>(p) -
                                          kZqlMemHeaderSize);
}

// What ZqlMemoryLowFlag() answers (lalcux.cpp), read without a call.
extern int gZqlMemLowFlag;
inline bool ZqlMemLowFlagIsSet() { return gZqlMemLowFlag == 1; }

// --- index of free small blocks (sindex.cpp) -------------------------------
// Mirrors which small blocks are free, chunk by chunk in list order, so that
// a search skips allocated blocks and chunks with no block large enough. It
// follows the headers only while they are sound: on any sign of damage the
// allocator drops it (ZqlMemIndexOff) and searches walk the list as before,
// until ZqlMemoryNblkFreeAll empties the allocator. None of these raise.

// True while the index is kept; ZqlMemIndexKept is the same, without a call.
bool ZqlMemIndexOn();
extern bool gZqlMemIndexOff;
inline bool ZqlMemIndexKept() { return !gZqlMemIndexOff; }
// Drops the index; later calls other than ZqlMemIndexReset do nothing.
void ZqlMemIndexOff();
// Empties the index and keeps it again. REQUIRES: the small list is empty.
void ZqlMemIndexReset();
// Records c, the only block of the chunk just prepended to the small list,
// and numbers the chunk in c->chunk. Drops the index when the C library has
// no memory for the record.
void ZqlMemIndexAddChunk(SZqlMemHeader* c);
// Forgets the chunk whose first header is c, before it is freed.
void ZqlMemIndexDropChunk(SZqlMemHeader* c);
// The free block b (recorded or the pending one) is no longer free: taken
// by a request, or absorbed by its neighbour.
void ZqlMemIndexTaken(SZqlMemHeader* b);
// b is a free block the index does not hold (a split's rest, or a block
// just released that joined no free block before it). It is held back as
// the pending block, and the one held before is recorded: the next request
// mostly takes b again, and then no record changes.
void ZqlMemIndexFreed(SZqlMemHeader* b);
// The free block b (recorded or pending) has absorbed its successor.
void ZqlMemIndexGrown(SZqlMemHeader* b);
// Sets *found to the first free block of at least n bytes at or after start
// in list order, or to null when there is none up to the end of the list,
// and answers true. Answers false when the index is off or start is not a
// block it knows; the caller then walks the list.
bool ZqlMemIndexFind(SZqlMemHeader* start, std::size_t n, SZqlMemHeader** found);

// Test hook: compares the index with the small list starting at smallHead.
// Answers "" when they agree (or the index is off), else what differs.
std::string TEST_ZqlMemoryIndexFault(const SZqlMemHeader* smallHead);

// Writes the report of all live blocks (as ZqlMemoryNblkDump appends it to
// the memory log) to out. REQUIRES: out open for writing; title non-null.
// Never raises.
void ZqlMemoryNblkDumpTo(std::FILE* out, const char* title);

// The ceiling on the bytes the library holds in blocks (the "Memmax"
// setting of zql.ini, set at resource start-up); bytes <= 0: none. A request
// that would pass it fails as exhausted memory does (null from the block
// layer, 0xA008 from ZqlMemoryMalloc). Only blocks handed out while a limit
// is on count towards it.
void ZqlMemorySetCeiling(int64_t bytes);
// Bytes counted towards the ceiling, -1 while no limit is on.
int64_t ZqlMemoryBytesInUse();

// Test hook: the n-th request to the block layer from now on fails (once),
// as exhausted memory does; n <= 0 turns it off. TEST_ZqlMemoryCalls
// answers the requests counted since it was set.
void TEST_ZqlMemoryFailAt(long n);
long TEST_ZqlMemoryCalls();

// Test hook: sets the answer of ZqlMemoryLowFlag() (normally 1). With 0,
// searches start at the newest chunk and empty chunks are kept.
void TEST_ZqlMemorySetLowFlag(int flag);

// Test hook: the first block of the small list (the newest chunk), or null.
SZqlMemHeader* TEST_ZqlMemorySmallHead();

// Test hook: empty chunks and large blocks kept aside for reuse (off the
// lists: neither counted nor reported).
int TEST_ZqlMemorySpareCount();

// Test and benchmark hook: fn (null: none) sees every allocation, release
// and reallocation of the block layer that succeeds, to record the
// library's allocation mix: p the block handed out or released, old the
// block a reallocation replaced, n the bytes asked for. fn must not
// allocate through the allocator.
enum EZqlMemTrace { kZqlMemTraceAlloc, kZqlMemTraceFree, kZqlMemTraceRealloc };
using ZqlMemTraceFn = void (*)(EZqlMemTrace op, const void* p, const void* old, std::size_t n);
void TEST_ZqlMemorySetTrace(ZqlMemTraceFn fn);

#endif  // ZQL_SALLOC_H
