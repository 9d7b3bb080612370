// CZqlList: a singly linked list that owns its objects.

#include <memory>

#include "zqlcol.h"

struct CZqlList::SNode {
  SNode* next;
  CZqlObject* object;
};

CZqlList::CZqlList()
    : head_(nullptr), tail_(nullptr), current_(nullptr), count_(0) {}

CZqlList::~CZqlList() { removeAll(true); }

// ---------------------------------------------------------------------------
// Nodes
// ---------------------------------------------------------------------------

CZqlList::SNode* CZqlList::nodeAt(int i) const {
  if (i < 0) return nullptr;
  SNode* n = head_;
  for (; n != nullptr && i > 0; --i) n = n->next;
  return n;
}

// Links object in after prev (at the front for null prev).
int CZqlList::insert(SNode* prev, CZqlObject* object) {
  SNode* node = static_cast<SNode*>(ZqlMemoryMalloc(sizeof(SNode)));
  if (node == nullptr) return 0;
  node->object = object;
  SNode** link = prev != nullptr ? &prev->next : &head_;
  node->next = *link;
  *link = node;
  if (node->next == nullptr) tail_ = node;
  ++count_;
  current_ = nullptr;
  return 1;
}

// Unlinks the node after prev (the first one for null prev) and answers
// its object. REQUIRES: that node exists.
CZqlObject* CZqlList::takeAfter(SNode* prev) {
  SNode** link = prev != nullptr ? &prev->next : &head_;
  SNode* node = *link;
  *link = node->next;
  if (tail_ == node) tail_ = prev;
  CZqlObject* object = node->object;
  ZqlMemoryFree(node);
  --count_;
  current_ = nullptr;
  return object;
}

int CZqlList::removeAt(int i, bool destroy) {
  if (i < 0 || i >= count_) return 0;
  CZqlObject* object = takeAfter(i == 0 ? nullptr : nodeAt(i - 1));
  if (destroy) delete object;
  return 1;
}

int CZqlList::removeObject(const CZqlObject* object, bool destroy) {
  SNode* prev = nullptr;
  for (SNode* n = head_; n != nullptr; prev = n, n = n->next) {
    if (n->object != object) continue;
    CZqlObject* found = takeAfter(prev);
    if (destroy) delete found;
    return 1;
  }
  return 0;
}

int CZqlList::removeTail(int i, bool destroy) {
  if (i < 0 || i >= count_) return 0;
  SNode* prev = i == 0 ? nullptr : nodeAt(i - 1);
  while (count_ > i) {
    CZqlObject* object = takeAfter(prev);
    if (destroy) delete object;
  }
  return 1;
}

void CZqlList::removeAll(bool destroy) {
  while (head_ != nullptr) {
    CZqlObject* object = takeAfter(nullptr);
    if (destroy) delete object;
  }
}

// ---------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------

int CZqlList::addFirst(CZqlObject* object) { return insert(nullptr, object); }
int CZqlList::addLast(CZqlObject* object) { return insert(tail_, object); }

int CZqlList::del(CZqlObject* object) { return removeObject(object, true); }
int CZqlList::del(int i) { return removeAt(i, true); }
int CZqlList::detach(CZqlObject* object) { return removeObject(object, false); }
int CZqlList::detach(int i) { return removeAt(i, false); }
int CZqlList::delFirst() { return removeAt(0, true); }
int CZqlList::delLast() { return removeAt(count_ - 1, true); }
int CZqlList::detachFirst() { return removeAt(0, false); }
int CZqlList::detachLast() { return removeAt(count_ - 1, false); }
int CZqlList::delTail(int i) { return removeTail(i, true); }
int CZqlList::detachTail(int i) { return removeTail(i, false); }

int CZqlList::replace(int i, CZqlObject* object) {
  SNode* n = nodeAt(i);
  if (n == nullptr) return 0;
  if (n->object != object) delete n->object;
  n->object = object;
  return 1;
}

int CZqlList::overwrite(int i, CZqlObject* object) {
  SNode* n = nodeAt(i);
  if (n == nullptr) return 0;
  n->object = object;
  return 1;
}

CZqlObject* CZqlList::first() {
  current_ = head_;
  return getCurrent();
}

CZqlObject* CZqlList::last() {
  current_ = tail_;
  return getCurrent();
}

CZqlObject* CZqlList::next() {
  if (current_ == nullptr) return nullptr;
  current_ = current_->next;
  return getCurrent();
}

uintptr_t CZqlList::position() const {
  return reinterpret_cast<uintptr_t>(current_);
}

CZqlObject* CZqlList::next(uintptr_t position) {
  if (position == static_cast<uintptr_t>(-1)) return first();
  current_ = position != 0 ? reinterpret_cast<SNode*>(position) : nullptr;
  return next();
}

CZqlObject* CZqlList::getAt(uintptr_t position) const {
  if (position == 0 || position == static_cast<uintptr_t>(-1)) return nullptr;
  return reinterpret_cast<SNode*>(position)->object;
}

CZqlObject* CZqlList::getCurrent() const {
  return current_ != nullptr ? current_->object : nullptr;
}

CZqlObject* CZqlList::operator[](int i) {
  current_ = nodeAt(i);
  return getCurrent();
}

void CZqlList::detachAll() { removeAll(false); }
void CZqlList::Clear() { removeAll(true); }

CZqlList* CZqlList::duplicate() const {
  std::unique_ptr<CZqlList> copy(new CZqlList);
  for (SNode* n = head_; n != nullptr; n = n->next) {
    std::unique_ptr<CZqlObject> object(n->object != nullptr ? n->object->duplicate()
                                                            : nullptr);
    if (!copy->addLast(object.get())) return nullptr;
    object.release();
  }
  return copy.release();
}
