// lispstrcash.h - the cache of temporary C strings the binding hands to the
// host (results, message texts, names).
#ifndef ZQL_LISPSTRCASH_H
#define ZQL_LISPSTRCASH_H

#include <cstdint>

#include "lispobj.h"

// One block of the cache; its characters follow the header.
struct SZqlLispStrBlock {
  SZqlLispStrBlock* next;
  uint32_t capacity;  // characters; the block holds capacity + 1 bytes
  uint8_t inUse;
};

// A singly linked list of blocks, reused from call to call: a buffer given
// back stays allocated for the next request while it is among the first
// eight blocks of the list, and is freed otherwise. Blocks come from the
// library's block allocator. A buffer is valid until it is given back or
// the cache is destroyed.
class CZqlLispStrCash : public CZqlLispObj {
 public:
  // Blocks kept for reuse when given back (the first ones of the list).
  static constexpr int kZqlLispStrCashKept = 8;

  CZqlLispStrCash() = default;
  CZqlLispStrCash(const CZqlLispStrCash&) = delete;
  CZqlLispStrCash& operator=(const CZqlLispStrCash&) = delete;
  // Frees every block; buffers still out become invalid.
  ~CZqlLispStrCash() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsStrCash; }

  // A zero-filled buffer of at least length + 1 bytes, owned by the cache:
  // the first free block large enough; else the largest free block (the
  // later of equals) grown to length; else a new block put at the head of
  // the list. Null for a negative length (kZqlLispErrInternal pushed) or
  // when memory is exhausted (kZqlLispErrNoMemory).
  char* allocBuf(int32_t length) const override;
  // Gives *buf back and nulls it. A null *buf, or one the cache did not
  // hand out, is only nulled.
  void freeBuf(char** buf) const override;

  // Blocks in the list, and those handed out.
  int blockQty() const;
  int blocksInUse() const;

 private:
  mutable SZqlLispStrBlock* head_ = nullptr;
};

#endif  // ZQL_LISPSTRCASH_H
