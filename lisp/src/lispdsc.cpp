// lispdsc.cpp - the handle table (see lispdsc.h).
#include "lispdsc.h"

#include <cstring>
#include <new>

namespace {

constexpr int32_t kDscItemSize = sizeof(SZqlLispDscEntry);
constexpr int32_t kDscPageItems = 10;
constexpr int32_t kDscSpareLimit = 1;

SZqlLispDscEntry EntryAt(const void* item) {
  SZqlLispDscEntry entry{0.0, nullptr};
  if (item) std::memcpy(&entry, item, sizeof entry);
  return entry;
}

}  // namespace

CZqlLispDsc::CZqlLispDsc()
    : CZqlLispPack(kDscItemSize, kDscItemSize * kDscPageItems,
                   kDscSpareLimit) {}

CZqlLispObj* CZqlLispDsc::lclone() const {
  auto* copy = new (std::nothrow) CZqlLispDsc();
  if (!copy) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  copy->lcopyFrom(this);
  return copy;
}

int CZqlLispDsc::lcopyFrom(const CZqlLispObj* other) {
  if (other != this && !dynamic_cast<const CZqlLispDsc*>(other)) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return CZqlLispPack::lcopyFrom(other);
}

int CZqlLispDsc::yield(const void* item, CZqlLispHandle* handle,
                       CZqlLispSQLObj** obj) {
  const SZqlLispDscEntry entry = EntryAt(item);
  if (handle) *handle = entry.handle;
  if (obj) *obj = entry.obj;
  return item != nullptr;
}

int CZqlLispDsc::getNextItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj) {
  void* item = nullptr;
  CZqlLispPack::getNextItem(&item);
  return yield(item, handle, obj);
}

int CZqlLispDsc::getPrevItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj) {
  void* item = nullptr;
  CZqlLispPack::getPrevItem(&item);
  return yield(item, handle, obj);
}

int CZqlLispDsc::getFirstItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj) {
  void* item = nullptr;
  CZqlLispPack::getFirstItem(&item);
  return yield(item, handle, obj);
}

int CZqlLispDsc::getLastItem(CZqlLispHandle* handle, CZqlLispSQLObj** obj) {
  void* item = nullptr;
  CZqlLispPack::getLastItem(&item);
  return yield(item, handle, obj);
}

int CZqlLispDsc::getItem(int index, CZqlLispHandle* handle,
                         CZqlLispSQLObj** obj) {
  void* item = nullptr;
  CZqlLispPack::getItem(index, &item);
  return yield(item, handle, obj);
}

int CZqlLispDsc::findItem(const CZqlLispHandle& handle, CZqlLispSQLObj** obj) {
  const SZqlLispDscEntry key{handle.Value(), nullptr};
  if (!CZqlLispPack::findItem(static_cast<const void*>(&key))) {
    if (obj) *obj = nullptr;
    return 0;
  }
  return getItem(-1, nullptr, obj);
}

int CZqlLispDsc::delItem(const CZqlLispHandle& handle) {
  const int saved = getPos();
  setPos(0);
  if (findItem(handle, nullptr)) {
    CZqlLispPack::delItem(-1);
  } else {
    setPos(saved);
  }
  return 1;
}

int CZqlLispDsc::insertItem(const CZqlLispHandle& handle, CZqlLispSQLObj* obj,
                            int index) {
  if (!obj) return 0;
  const SZqlLispDscEntry entry{handle.Value(), obj};
  return CZqlLispPack::insertItem(static_cast<const void*>(&entry), index);
}

int CZqlLispDsc::addItem(const CZqlLispHandle& handle, CZqlLispSQLObj* obj,
                         int index) {
  if (!obj) return 0;
  const SZqlLispDscEntry entry{handle.Value(), obj};
  return CZqlLispPack::addItem(static_cast<const void*>(&entry), index);
}

int CZqlLispDsc::updItem(const CZqlLispHandle& handle, CZqlLispSQLObj* obj,
                         int index) {
  if (!obj) return 0;
  const SZqlLispDscEntry entry{handle.Value(), obj};
  return CZqlLispPack::updItem(static_cast<const void*>(&entry), index);
}

int CZqlLispDsc::cmpItem(const void* a, const void* b) const {
  if (!a || !b) return a == b ? 0 : 1;
  const double x = EntryAt(a).handle;
  const double y = EntryAt(b).handle;
  return x < y ? -1 : (x > y ? 1 : 0);
}
