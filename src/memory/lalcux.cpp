// lalcux.cpp - low layer of the block allocator on Unix: the C library, plus
// a fault hook that lets tests exhaust memory on demand.
#include <cstdlib>

#include "salloc.h"
#include "zqlsys.h"

namespace {

long gFailCountdown = 0;  // > 0: allocations left until the one that fails

// Consumes one step of the fault countdown; true when this call must fail.
bool FaultDue() {
  if (gFailCountdown <= 0) return false;
  return --gFailCountdown == 0;
}

}  // namespace

int gZqlMemLowFlag = 1;  // see ZqlMemoryLowFlag

void* ZqlMemoryLowAlloc(std::size_t n) {
  if (FaultDue()) return nullptr;
  // calloc also guards against a size that overflows in the C library.
  return std::calloc(1, n);
}

void ZqlMemoryLowFree(void* p) { std::free(p); }

unsigned ZqlMemoryLowBlockSize() { return kZqlMemLowBlockSize; }

int ZqlMemoryLowFlag() { return gZqlMemLowFlag; }

void TEST_ZqlMemoryFailLowAllocAt(long n) { gFailCountdown = n > 0 ? n : 0; }

void TEST_ZqlMemorySetLowFlag(int flag) { gZqlMemLowFlag = flag; }
