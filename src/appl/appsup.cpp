// CZqlObject: the root of the library's classes.

#include "zqlclass.h"

namespace {
long gObjectsInUse = 0;
}  // namespace

CZqlObject::CZqlObject() { ++gObjectsInUse; }
CZqlObject::CZqlObject(const CZqlObject&) { ++gObjectsInUse; }
CZqlObject::~CZqlObject() { --gObjectsInUse; }

CZqlObject* CZqlObject::duplicate() const { return nullptr; }
void CZqlObject::Clear() {}
unsigned int CZqlObject::packSize() const { return 0; }
int CZqlObject::packTo(CZqlObjPack*) const { return 0; }
int CZqlObject::unpackFrom(CZqlObjPack*) { return 1; }
unsigned int CZqlObject::packValueSize() const { return 0; }
int CZqlObject::packValueTo(CZqlObjPack*) const { return 0; }
int CZqlObject::unpackValueFrom(CZqlObjPack*) { return 1; }

void* CZqlObject::operator new(std::size_t n) {
  void* p = ZqlMemoryMalloc(n);  // raises into an open frame or handler
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* CZqlObject::operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return ZqlMemoryNblkMalloc(n);
}

void CZqlObject::operator delete(void* p) noexcept { ZqlMemoryFree(p); }

void CZqlObject::operator delete(void* p, const std::nothrow_t&) noexcept {
  ZqlMemoryFree(p);
}

long ZqlObjectsInUse() { return gObjectsInUse; }
