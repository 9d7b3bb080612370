// lisplist.cpp - lists of binding objects (see lisplist.h).
#include "lisplist.h"

#include <cstring>
#include <new>

namespace {

constexpr int32_t kListItemSize = sizeof(CZqlLispObj*);
constexpr int32_t kListPageItems = 10;
constexpr int32_t kListSpareLimit = 1;

}  // namespace

CZqlLispList::CZqlLispList(EZqlBoolean owner)
    : CZqlLispPack(kListItemSize, kListItemSize * kListPageItems,
                   kListSpareLimit),
      owner_(owner == kZqlTrue) {}

CZqlLispList::~CZqlLispList() { CZqlLispList::lclear(); }

CZqlLispObj* CZqlLispList::objectAt(const void* item) {
  CZqlLispObj* obj = nullptr;
  if (item) std::memcpy(&obj, item, sizeof obj);
  return obj;
}

CZqlLispObj* CZqlLispList::lclone() const {
  auto* copy = new (std::nothrow) CZqlLispList(kZqlFalse);
  if (!copy) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  if (!copy->lcopyFrom(this)) {
    delete copy;
    return nullptr;
  }
  return copy;
}

int CZqlLispList::lcopyFrom(const CZqlLispObj* other) {
  if (other == this) return 1;
  if (!dynamic_cast<const CZqlLispList*>(other)) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  CZqlLispList::lclear();
  owner_ = false;  // the source (or its owner) keeps the objects
  if (!CZqlLispPack::lcopyFrom(other)) return 0;
  return makePrivate();
}

int CZqlLispList::lclear() {
  if (owner_) {
    // One at a time, out of the list before deletion (see the header).
    while (Qty() > 0) {
      void* item = nullptr;
      CZqlLispPack::getItem(0, &item);
      CZqlLispObj* obj = objectAt(item);
      if (!CZqlLispPack::delItem(0)) break;  // cannot happen: pages private
      delete obj;
    }
  }
  return CZqlLispPack::lclear();
}

// ---------------------------------------------------------------------------
// Walking and searching
// ---------------------------------------------------------------------------

int CZqlLispList::getNextItem(CZqlLispObj** obj) {
  void* item = nullptr;
  const int ok = CZqlLispPack::getNextItem(&item);
  if (obj) *obj = objectAt(item);
  return ok;
}

int CZqlLispList::getPrevItem(CZqlLispObj** obj) {
  void* item = nullptr;
  const int ok = CZqlLispPack::getPrevItem(&item);
  if (obj) *obj = objectAt(item);
  return ok;
}

int CZqlLispList::getFirstItem(CZqlLispObj** obj) {
  void* item = nullptr;
  const int ok = CZqlLispPack::getFirstItem(&item);
  if (obj) *obj = objectAt(item);
  return ok;
}

int CZqlLispList::getLastItem(CZqlLispObj** obj) {
  void* item = nullptr;
  const int ok = CZqlLispPack::getLastItem(&item);
  if (obj) *obj = objectAt(item);
  return ok;
}

int CZqlLispList::getItem(int index, CZqlLispObj** obj) {
  void* item = nullptr;
  const int ok = CZqlLispPack::getItem(index, &item);
  if (obj) *obj = objectAt(item);
  return ok;
}

int CZqlLispList::findItem(const CZqlLispObj* obj) {
  return CZqlLispPack::findItem(static_cast<const void*>(&obj));
}

int CZqlLispList::findItemValue(const CZqlLispObj* obj) {
  for (CZqlLispObj* cur = nullptr; getItem(-1, &cur);
       CZqlLispPack::getNextItem(nullptr)) {
    if (cmpItemValue(cur, obj) == 0) return 1;
  }
  return 0;
}

int CZqlLispList::cmpItemValue(const CZqlLispObj* a,
                               const CZqlLispObj* b) const {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  return a->cmp(b);
}

// ---------------------------------------------------------------------------
// Changes
// ---------------------------------------------------------------------------

int CZqlLispList::delItem(int index) {
  void* item = nullptr;
  if (!CZqlLispPack::getItem(index, &item)) return 0;
  CZqlLispObj* obj = objectAt(item);
  const int at = getPos();
  if (!CZqlLispPack::delItem(at)) return 0;
  if (owner_) delete obj;
  return 1;
}

int CZqlLispList::delItem(CZqlLispObj** obj) {
  if (!obj || !*obj) return 0;
  int saved = getPos();
  setPos(0);
  if (!findItem(*obj)) {
    setPos(saved);
    return 0;
  }
  const int at = getPos();
  if (!delItem(at)) {
    setPos(saved);
    return 0;
  }
  *obj = nullptr;
  if (at < saved) --saved;  // the items after the removed one moved down
  setPos(saved < Qty() ? saved : Qty());
  return 1;
}

int CZqlLispList::insertItem(CZqlLispObj* obj, int index) {
  if (!obj) return 0;
  return CZqlLispPack::insertItem(static_cast<const void*>(&obj), index);
}

int CZqlLispList::addItem(CZqlLispObj* obj, int index) {
  if (!obj) return 0;
  return CZqlLispPack::addItem(static_cast<const void*>(&obj), index);
}

int CZqlLispList::updItem(CZqlLispObj* obj, int index) {
  if (!obj) return 0;
  void* item = nullptr;
  if (!CZqlLispPack::getItem(index, &item)) return 0;
  CZqlLispObj* old = objectAt(item);
  if (!CZqlLispPack::updItem(static_cast<const void*>(&obj), -1)) return 0;
  if (owner_ && old != obj) delete old;
  return 1;
}
