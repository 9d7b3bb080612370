// lisppack.cpp - fixed-size items in a chain of pages, with splits, spare
// pages and copy-on-write sharing (see lisppack.h).
//
// Position invariant: while index_ < count_, cur_ is the page holding item
// index_ at slot inPage_; past the end (index_ == count_) cur_ is the last
// used page and inPage_ its count. Pages in use are never empty, except the
// only one.
#include "lisppack.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "zqlsys.h"

namespace {

// A copy of an item, so that inserting or updating with a pointer into the
// pack itself stays correct while items move.
class CItemCopy {
 public:
  CItemCopy(const void* item, int32_t size) {
    if (size > static_cast<int32_t>(sizeof small_)) {
      big_.reset(new (std::nothrow) unsigned char[size]);
      if (!big_) return;
      bytes_ = big_.get();
    }
    std::memcpy(bytes_, item, static_cast<size_t>(size));
    ok_ = true;
  }
  bool ok() const { return ok_; }
  const unsigned char* bytes() const { return bytes_; }

 private:
  unsigned char small_[64];
  std::unique_ptr<unsigned char[]> big_;
  unsigned char* bytes_ = small_;
  bool ok_ = false;
};

}  // namespace

CZqlLispPack::CZqlLispPack(int32_t itemSize, int32_t pageBytes,
                           int32_t spareLimit)
    : pageBytes_(std::max<int32_t>(pageBytes, 1)),
      itemSize_(std::clamp<int32_t>(itemSize, 1, pageBytes_)),
      spareLimit_(std::max<int32_t>(spareLimit, 0)) {}

CZqlLispPack::~CZqlLispPack() { CZqlLispPack::lclear(); }

// ---------------------------------------------------------------------------
// Pages
// ---------------------------------------------------------------------------

unsigned char* CZqlLispPack::data(SZqlLispPage* page, int slot) const {
  return reinterpret_cast<unsigned char*>(page + 1) +
         static_cast<size_t>(slot) * static_cast<size_t>(itemSize_);
}

SZqlLispPage* CZqlLispPack::newPage() const {
  void* p = ZqlMemoryNblkCalloc(1, sizeof(SZqlLispPage) +
                                       static_cast<size_t>(pageBytes_));
  if (!p) errPush(kZqlLispErrNoMemory);
  return static_cast<SZqlLispPage*>(p);
}

void CZqlLispPack::freeChain(SZqlLispPage* page) {
  while (page) {
    SZqlLispPage* next = page->next;
    ZqlMemoryNblkFree(page);
    page = next;
  }
}

void CZqlLispPack::forget() {
  count_ = pagesInUse_ = pagesAllocated_ = index_ = inPage_ = 0;
  first_ = cur_ = last_ = nullptr;
}

SZqlLispPage* CZqlLispPack::lastPage() const {
  SZqlLispPage* page = last_;
  while (page && page->next) page = page->next;
  return page;
}

void CZqlLispPack::unlink(SZqlLispPage* page) {
  if (page->prev) page->prev->next = page->next;
  if (page->next) page->next->prev = page->prev;
  if (page == first_) {
    first_ = page->next;
    if (first_) first_->share = page->share;
  }
  if (page == last_) last_ = page->prev;
  page->next = page->prev = nullptr;
}

void CZqlLispPack::linkAfter(SZqlLispPage* page, SZqlLispPage* after) {
  page->prev = after;
  page->next = after->next;
  if (after->next) after->next->prev = page;
  after->next = page;
}

void CZqlLispPack::releasePage(SZqlLispPage* page) {
  page->count = 0;
  if (pagesInUse_ > spareLimit_) {
    unlink(page);
    ZqlMemoryNblkFree(page);
    --pagesInUse_;
    --pagesAllocated_;
    if (pagesInUse_ == 0) {  // no page left in use: spares go too
      freeChain(first_);
      forget();
    }
  } else if (pagesInUse_ > 1) {
    unlink(page);
    SZqlLispPage* end = lastPage();
    linkAfter(page, end);
    --pagesInUse_;
  }
  // else: the only page in use stays, empty.
}

int CZqlLispPack::split(SZqlLispPage** page, int* slot) {
  SZqlLispPage* full = *page;
  const int ipp = itemsPerPage();
  // The upper half moves; with one item per page, the item moves when the
  // new one goes in front of it.
  int moved = ipp / 2;
  if (moved == 0 && *slot == 0) moved = 1;
  SZqlLispPage* fresh = last_->next;  // a spare, if any
  if (fresh) {
    unlink(fresh);
  } else {
    fresh = newPage();
    if (!fresh) return 0;
    ++pagesAllocated_;
  }
  linkAfter(fresh, full);
  if (last_ == full) last_ = fresh;
  ++pagesInUse_;
  std::memcpy(data(fresh, 0), data(full, ipp - moved),
              static_cast<size_t>(moved) * static_cast<size_t>(itemSize_));
  fresh->count = moved;
  full->count -= moved;
  const int keep = ipp - moved;
  if (*slot > keep || (*slot == keep && keep == ipp)) {
    *page = fresh;
    *slot -= keep;
  }
  return 1;
}

int CZqlLispPack::makePrivate() {
  if (!first_ || first_->share <= 1) return 1;
  --first_->share;  // the other sharers keep the old chain
  SZqlLispPage* copyFirst = nullptr;
  SZqlLispPage* copyLast = nullptr;
  SZqlLispPage* copyCur = nullptr;
  for (SZqlLispPage* p = first_;; p = p->next) {
    SZqlLispPage* c = newPage();
    if (!c) {
      freeChain(copyFirst);
      forget();
      return 0;
    }
    c->count = p->count;
    std::memcpy(data(c, 0), data(p, 0),
                static_cast<size_t>(p->count) * static_cast<size_t>(itemSize_));
    c->prev = copyLast;
    if (copyLast) {
      copyLast->next = c;
    } else {
      copyFirst = c;
    }
    copyLast = c;
    if (p == cur_) copyCur = c;
    if (p == last_) break;
  }
  copyFirst->share = 1;
  first_ = copyFirst;
  last_ = copyLast;
  cur_ = copyCur ? copyCur : copyLast;
  pagesAllocated_ = pagesInUse_;
  return 1;
}

// ---------------------------------------------------------------------------
// Position
// ---------------------------------------------------------------------------

void CZqlLispPack::seek(int index) {
  index_ = std::clamp(index, 0, static_cast<int>(count_));
  if (index_ == count_) {
    cur_ = last_;
    inPage_ = last_ ? last_->count : 0;
    return;
  }
  SZqlLispPage* page;
  int base;  // index of the page's first item
  if (index_ > count_ / 2) {
    page = last_;
    base = count_ - page->count;
    while (index_ < base) {
      page = page->prev;
      base -= page->count;
    }
  } else {
    page = first_;
    base = 0;
    while (index_ >= base + page->count) {
      base += page->count;
      page = page->next;
    }
  }
  cur_ = page;
  inPage_ = index_ - base;
}

unsigned char* CZqlLispPack::currentItem() const {
  return index_ < count_ ? data(cur_, inPage_) : nullptr;
}

int CZqlLispPack::setPos(int index) {
  if (index < 0 || index > count_) return 0;
  seek(index);
  return 1;
}

int CZqlLispPack::getFirstItem(void** item) {
  seek(0);
  if (item) *item = currentItem();
  return count_ > 0;
}

int CZqlLispPack::getLastItem(void** item) {
  seek(count_ > 0 ? count_ - 1 : 0);
  if (item) *item = currentItem();
  return count_ > 0;
}

int CZqlLispPack::getNextItem(void** item) {
  if (index_ < count_) {
    ++index_;
    ++inPage_;
    if (inPage_ >= cur_->count && cur_ != last_) {
      cur_ = cur_->next;
      inPage_ = 0;
    }
  }
  if (item) *item = currentItem();
  return index_ < count_;
}

int CZqlLispPack::getPrevItem(void** item) {
  if (index_ == 0) {
    if (item) *item = nullptr;
    return 0;
  }
  --index_;
  if (inPage_ > 0) {
    --inPage_;
  } else {
    cur_ = cur_->prev;
    inPage_ = cur_->count - 1;
  }
  if (item) *item = currentItem();
  return 1;
}

int CZqlLispPack::getItem(int index, void** item) {
  if (index == -1) {
    if (item) *item = currentItem();
    return index_ < count_;
  }
  if (index < 0 || index >= count_) {
    if (item) *item = nullptr;
    return 0;
  }
  seek(index);
  if (item) *item = currentItem();
  return 1;
}

int CZqlLispPack::findItem(const void* item) {
  for (; index_ < count_; getNextItem(nullptr)) {
    if (cmpItem(currentItem(), item) == 0) return 1;
  }
  return 0;
}

int CZqlLispPack::cmpItem(const void* a, const void* b) const {
  if (!a || !b) return a == b ? 0 : 1;
  return std::memcmp(a, b, static_cast<size_t>(itemSize_));
}

int CZqlLispPack::pageCounts(int32_t* counts, int max) const {
  int n = 0;
  for (SZqlLispPage* p = first_; p; p = p->next) {
    if (counts && n < max) counts[n] = p->count;
    ++n;
    if (p == last_) break;
  }
  return n;
}

// ---------------------------------------------------------------------------
// Changes
// ---------------------------------------------------------------------------

int CZqlLispPack::insertItem(const void* item, int index) {
  if (!item || index < -1) return 0;
  if (index == -1) index = index_;
  if (index > count_) index = count_;
  CItemCopy copy(item, itemSize_);
  if (!copy.ok()) {
    errPush(kZqlLispErrNoMemory);
    return 0;
  }
  if (!makePrivate()) return 0;
  if (!first_) {
    first_ = last_ = newPage();
    if (!first_) return 0;
    first_->share = 1;
    pagesInUse_ = pagesAllocated_ = 1;
  }
  seek(index);
  SZqlLispPage* page = cur_;
  int slot = inPage_;
  if (page->count == itemsPerPage() && !split(&page, &slot)) {
    seek(index);
    return 0;
  }
  std::memmove(data(page, slot + 1), data(page, slot),
               static_cast<size_t>(page->count - slot) *
                   static_cast<size_t>(itemSize_));
  std::memcpy(data(page, slot), copy.bytes(), static_cast<size_t>(itemSize_));
  ++page->count;
  ++count_;
  index_ = index;
  cur_ = page;
  inPage_ = slot;
  return 1;
}

int CZqlLispPack::addItem(const void* item, int index) {
  if (!insertItem(item, index)) return 0;
  getNextItem(nullptr);
  return 1;
}

int CZqlLispPack::updItem(const void* item, int index) {
  if (!item || index < -1) return 0;
  if (index == -1) index = index_;
  if (index >= count_) return 0;
  const int saved = index_;
  if (!makePrivate()) return 0;
  seek(index);
  std::memmove(currentItem(), item, static_cast<size_t>(itemSize_));
  seek(saved);
  return 1;
}

int CZqlLispPack::delItem(int index) {
  if (index < -1) return 0;
  if (index == -1) index = index_;
  if (index >= count_) return 0;
  if (!makePrivate()) return 0;
  seek(index);
  SZqlLispPage* page = cur_;
  --count_;  // before releasing: that may empty the whole pack
  if (page->count == 1) {
    releasePage(page);
  } else {
    std::memmove(data(page, inPage_), data(page, inPage_ + 1),
                 static_cast<size_t>(page->count - inPage_ - 1) *
                     static_cast<size_t>(itemSize_));
    --page->count;
  }
  seek(index);
  return 1;
}

int CZqlLispPack::delItem(const void* item) {
  seek(0);
  return findItem(item) ? delItem(-1) : 0;
}

int CZqlLispPack::compress() {
  if (!makePrivate()) return 0;
  const int ipp = itemsPerPage();
  SZqlLispPage* dst = first_;
  while (dst && dst != last_) {
    SZqlLispPage* src = dst->next;
    const int n = std::min(ipp - dst->count, src->count);
    const size_t bytes = static_cast<size_t>(itemSize_);
    std::memcpy(data(dst, dst->count), data(src, 0), n * bytes);
    std::memmove(data(src, 0), data(src, n), (src->count - n) * bytes);
    dst->count += n;
    src->count -= n;
    if (src->count == 0) {
      releasePage(src);  // dst may take items from the page after it
    } else {
      dst = dst->next;
    }
  }
  seek(0);
  return 1;
}

int CZqlLispPack::lclear() {
  if (first_ && first_->share > 1) {
    --first_->share;  // the pages stay with the other sharers
  } else {
    freeChain(first_);
  }
  forget();
  return 1;
}

// ---------------------------------------------------------------------------
// Sharing
// ---------------------------------------------------------------------------

void CZqlLispPack::shareFrom(const CZqlLispPack& other) {
  count_ = other.count_;
  pagesInUse_ = other.pagesInUse_;
  pagesAllocated_ = other.pagesAllocated_;
  index_ = other.index_;
  inPage_ = other.inPage_;
  first_ = other.first_;
  cur_ = other.cur_;
  last_ = other.last_;
  if (first_) ++first_->share;
}

CZqlLispObj* CZqlLispPack::lclone() const {
  auto* copy = new (std::nothrow) CZqlLispPack(itemSize_, pageBytes_, 1);
  if (!copy) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  copy->shareFrom(*this);
  return copy;
}

int CZqlLispPack::lcopyFrom(const CZqlLispObj* other) {
  if (other == this) return 1;
  auto* pack = dynamic_cast<const CZqlLispPack*>(other);
  // Pages of another geometry would be read with the wrong item size.
  if (!pack || pack->itemSize_ != itemSize_ || pack->pageBytes_ != pageBytes_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  CZqlLispPack::lclear();
  shareFrom(*pack);
  return 1;
}
