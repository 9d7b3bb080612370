// lispstrcash.cpp - the string cache (see lispstrcash.h).
#include "lispstrcash.h"

#include <cstring>

#include "zqlsys.h"

namespace {

char* DataOf(SZqlLispStrBlock* block) {
  return reinterpret_cast<char*>(block + 1);
}

size_t BlockBytes(int32_t length) {
  return sizeof(SZqlLispStrBlock) + static_cast<size_t>(length) + 1;
}

}  // namespace

CZqlLispStrCash::~CZqlLispStrCash() {
  while (head_) {
    SZqlLispStrBlock* next = head_->next;
    ZqlMemoryNblkFree(head_);
    head_ = next;
  }
}

char* CZqlLispStrCash::allocBuf(int32_t length) const {
  if (length < 0) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  const uint32_t want = static_cast<uint32_t>(length);
  SZqlLispStrBlock* block = nullptr;
  SZqlLispStrBlock** largest = nullptr;  // the link to the largest free one
  for (SZqlLispStrBlock** link = &head_; *link; link = &(*link)->next) {
    SZqlLispStrBlock* b = *link;
    if (b->inUse) continue;
    if (b->capacity >= want) {
      block = b;
      break;
    }
    if (!largest || b->capacity >= (*largest)->capacity) largest = link;
  }
  if (!block && largest) {  // grow it where it stands in the list
    void* grown = ZqlMemoryNblkRealloc(*largest, BlockBytes(length));
    if (!grown) {
      errPush(kZqlLispErrNoMemory);
      return nullptr;
    }
    block = static_cast<SZqlLispStrBlock*>(grown);
    block->capacity = want;
    *largest = block;
  }
  if (!block) {
    block = static_cast<SZqlLispStrBlock*>(
        ZqlMemoryNblkCalloc(1, BlockBytes(length)));
    if (!block) {
      errPush(kZqlLispErrNoMemory);
      return nullptr;
    }
    block->capacity = want;
    block->next = head_;
    head_ = block;
  }
  std::memset(DataOf(block), 0, static_cast<size_t>(length) + 1);
  block->inUse = 1;
  return DataOf(block);
}

void CZqlLispStrCash::freeBuf(char** buf) const {
  if (!buf) return;
  if (*buf) {
    int place = 0;
    for (SZqlLispStrBlock** link = &head_; *link; link = &(*link)->next) {
      SZqlLispStrBlock* b = *link;
      if (b->inUse && DataOf(b) == *buf) {
        b->inUse = 0;
        if (place >= kZqlLispStrCashKept) {
          *link = b->next;
          ZqlMemoryNblkFree(b);
        }
        break;
      }
      ++place;
    }
  }
  *buf = nullptr;
}

int CZqlLispStrCash::blockQty() const {
  int n = 0;
  for (const SZqlLispStrBlock* b = head_; b; b = b->next) ++n;
  return n;
}

int CZqlLispStrCash::blocksInUse() const {
  int n = 0;
  for (const SZqlLispStrBlock* b = head_; b; b = b->next) n += b->inUse;
  return n;
}
