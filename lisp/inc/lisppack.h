// lisppack.h - the paged container under the binding's object lists and
// handle table.
#ifndef ZQL_LISPPACK_H
#define ZQL_LISPPACK_H

#include <cstdint>

#include "lispcoll.h"

// One page of a pack: a header followed by the item bytes.
struct SZqlLispPage {
  SZqlLispPage* next;
  SZqlLispPage* prev;
  int32_t count;  // items on this page
  int32_t share;  // packs sharing the chain; kept on the first page only
};

// Fixed-size items stored by value (copied bytes) in a doubly linked chain
// of pages of `page bytes` each, items per page = page bytes / item size.
//
// A full page that receives an item is split: its upper half moves to a
// page linked after it (a spare page when there is one, else a new one).
// A page that empties is freed while more pages are in use than the spare
// limit, else kept after the last used page as a spare; the only page in
// use stays, empty.
//
// Copies share their pages (lclone, lcopyFrom) until one of them changes:
// the changing pack then copies the pages in use (spare pages are not
// copied) and leaves the others to the remaining sharers.
//
// Item pointers handed out (void** out-parameters) point into a page and
// stay valid until the next change of the pack; items are not aligned, so
// read them with memcpy. Pages come from the library's block allocator; a
// page that cannot be allocated pushes kZqlLispErrNoMemory and the change
// answers 0.
class CZqlLispPack : public CZqlLispCollection {
 public:
  // itemSize is capped at pageBytes; both are at least 1.
  CZqlLispPack(int32_t itemSize, int32_t pageBytes, int32_t spareLimit);
  CZqlLispPack(const CZqlLispPack&) = delete;
  CZqlLispPack& operator=(const CZqlLispPack&) = delete;
  // Frees the pages (or leaves them to the other sharers).
  ~CZqlLispPack() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsPack; }
  // A new pack (spare limit 1) sharing this pack's pages, owned by the
  // caller; null when it cannot be allocated.
  CZqlLispObj* lclone() const override;
  // Clears this pack and shares other's pages. other must be a pack of the
  // same item size and page bytes (else 0, nothing changed).
  int lcopyFrom(const CZqlLispObj* other) override;

  int Qty() const override { return count_; }
  // Walking (see CZqlLispCollection). getNextItem on the last item moves
  // past the end and answers 0; getPrevItem on the first item answers 0 and
  // stays.
  int getNextItem(void** item) override;
  int getPrevItem(void** item) override;
  int getFirstItem(void** item) override;
  int getLastItem(void** item) override;
  // index -1: the current item (none past the end); 0 .. Qty()-1: that item
  // becomes current. 0 and position unchanged otherwise.
  int getItem(int index, void** item) override;
  // From the current position onward (not from the first item), compares
  // with the virtual cmpItem; 1 with the match current, else 0 and the
  // position past the end.
  int findItem(const void* item) override;
  // Removes the item at index (-1: current); the position becomes the
  // removed index. 0 when there is no such item.
  int delItem(int index) override;
  // Removes the first item equal to item (searched from the first item).
  int delItem(const void* item) override;
  // Copies itemSize bytes of item in before index (-1: current position;
  // beyond Qty(): the end); the new item becomes current.
  int insertItem(const void* item, int index) override;
  // insertItem, then the position moves past the new item.
  int addItem(const void* item, int index) override;
  // Overwrites the item at index (-1: current).
  int updItem(const void* item, int index) override;
  int setPos(int index) override;
  int getPos() const override { return index_; }
  // Frees every page (spares too) or, while shared, leaves them to the
  // other sharers. The pack is empty. Answers 1.
  int lclear() override;
  // Byte comparison of two items.
  int cmpItem(const void* a, const void* b) const override;
  // Moves items down so that every page but the last used is full; pages
  // emptied are released. The position returns to the first item. 1 on
  // success, 0 when making the pages private failed.
  int compress();

  int32_t itemSize() const { return itemSize_; }
  int32_t pageBytes() const { return pageBytes_; }
  int32_t itemsPerPage() const { return pageBytes_ / itemSize_; }
  int32_t pagesInUse() const { return pagesInUse_; }
  int32_t pagesAllocated() const { return pagesAllocated_; }
  int32_t spareLimit() const { return spareLimit_; }
  // Items on each page in use, first to last, into counts (up to max);
  // answers the number of pages in use.
  int pageCounts(int32_t* counts, int max) const;
  // True while this pack shares its pages with another.
  bool isShared() const { return first_ && first_->share > 1; }
  // The first page (for telling shared chains apart); null when none.
  const SZqlLispPage* firstPage() const { return first_; }

 protected:
  // Copies the shared pages in use so that this pack may change them;
  // 1 when the pages are (now) private.
  int makePrivate();
  // The bytes of the current item, or null past the end.
  unsigned char* currentItem() const;

 private:
  unsigned char* data(SZqlLispPage* page, int slot) const;
  SZqlLispPage* newPage() const;
  // Finds the page of item index (0 .. count_) from the nearer end and
  // makes it the position. index == count_ gives the past-end position.
  void seek(int index);
  void shareFrom(const CZqlLispPack& other);
  void forget();  // all fields empty, no pages
  void freeChain(SZqlLispPage* page);
  // Splits the full *page for an insertion at *slot, and points page and
  // slot at where the item goes. 0 when no page could be had.
  int split(SZqlLispPage** page, int* slot);
  void releasePage(SZqlLispPage* page);
  void unlink(SZqlLispPage* page);
  void linkAfter(SZqlLispPage* page, SZqlLispPage* after);
  SZqlLispPage* lastPage() const;  // the last page of the chain, spares too

  int32_t pageBytes_;
  int32_t itemSize_;
  int32_t count_ = 0;           // items stored
  int32_t pagesInUse_ = 0;
  int32_t pagesAllocated_ = 0;  // in use plus spare
  int32_t index_ = 0;           // position, 0 .. count_
  int32_t inPage_ = 0;          // the position's slot in cur_
  int32_t spareLimit_;
  SZqlLispPage* first_ = nullptr;
  SZqlLispPage* cur_ = nullptr;   // the position's page
  SZqlLispPage* last_ = nullptr;  // last used page; spares follow it
};

#endif  // ZQL_LISPPACK_H
