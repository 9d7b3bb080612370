// lispbuf.cpp - resbuf chains with a position (see lispbuf.h).
//
// The position is kept as the current node and the node before it. Past the
// end the current node is null and the node before it is the last node, so
// that appending to a buffer being built costs no walk.
#include "lispbuf.h"

#include <cstdlib>
#include <cstring>

namespace {

// Types whose nodes carry a value (see cmpItem).
bool HasValue(int type) {
  switch (type) {
    case RTREAL: case RTPOINT: case RT3DPOINT: case RTSHORT: case RTSTR:
    case RTENAME: case RTLONG: case RTBINXD: case RTBINARY:
      return true;
    default:
      return false;
  }
}

bool IsBytes(int type) { return type == RTBINXD || type == RTBINARY; }

bool IsValueless(int type) {
  return type == RTLB || type == RTLE || type == RTDOTE || type == RTNIL ||
         type == RTT;
}

resbuf* LastOf(resbuf* node) {
  while (node && node->rbnext) node = node->rbnext;
  return node;
}

bool SameText(const char* a, const char* b) {
  if (!a || !b) return a == b;
  return std::strcmp(a, b) == 0;
}

bool SameBytes(const resbuf* node, const void* bytes, int32_t length) {
  const int32_t have = node->resval.rbinary.clen;
  if (have != length) return false;
  if (length <= 0) return true;
  if (!node->resval.rbinary.buf || !bytes) return false;
  return std::memcmp(node->resval.rbinary.buf, bytes,
                     static_cast<size_t>(length)) == 0;
}

// Values of two nodes of the same type: 0 when equal.
int CmpSameType(const resbuf* a, const resbuf* b) {
  const auto& x = a->resval;
  const auto& y = b->resval;
  switch (a->restype) {
    case RTREAL: return x.rreal == y.rreal ? 0 : 1;
    case RTPOINT: return std::memcmp(x.rpoint, y.rpoint, 2 * sizeof(double));
    case RT3DPOINT: return std::memcmp(x.rpoint, y.rpoint, 3 * sizeof(double));
    case RTSHORT: return x.rint == y.rint ? 0 : 1;
    case RTLONG: return x.rlong == y.rlong ? 0 : 1;
    case RTSTR: return SameText(x.rstring, y.rstring) ? 0 : 1;
    case RTENAME:
      return x.rlname[0] == y.rlname[0] && x.rlname[1] == y.rlname[1] ? 0 : 1;
    case RTBINXD: case RTBINARY:
      return SameBytes(a, y.rbinary.buf, y.rbinary.clen) ? 0 : 1;
    default:
      return HasValue(a->restype) ? 1 : 0;
  }
}

}  // namespace

CZqlLispBuf::CZqlLispBuf(EZqlBoolean kind) : kind_(kind) {}

CZqlLispBuf::~CZqlLispBuf() {
  kel_relrb(head_);
  kel_relrb(spare_);
}

// ---------------------------------------------------------------------------
// Position and walking
// ---------------------------------------------------------------------------

int CZqlLispBuf::Qty() const {
  int n = 0;
  for (const resbuf* p = head_; p; p = p->rbnext) ++n;
  return n;
}

resbuf* CZqlLispBuf::nodeAt(int index, resbuf** before) const {
  *before = nullptr;
  if (index == -1) {
    *before = cur_ ? prev_ : nullptr;
    return cur_;
  }
  if (index < 0) return nullptr;
  resbuf* node = head_;
  for (int i = 0; node && i < index; ++i) {
    *before = node;
    node = node->rbnext;
  }
  if (!node) *before = nullptr;
  return node;
}

int CZqlLispBuf::getFirstItem(resbuf** node) {
  prev_ = nullptr;
  cur_ = head_;
  if (node) *node = cur_;
  return cur_ != nullptr;
}

int CZqlLispBuf::getLastItem(resbuf** node) {
  resbuf* before = nullptr;
  resbuf* p = head_;
  while (p && p->rbnext) {
    before = p;
    p = p->rbnext;
  }
  cur_ = p;
  prev_ = before;
  if (node) *node = cur_;
  return cur_ != nullptr;
}

int CZqlLispBuf::getNextItem(resbuf** node) {
  if (cur_) {
    prev_ = cur_;
    cur_ = cur_->rbnext;
  }
  if (node) *node = cur_;
  return cur_ != nullptr;
}

int CZqlLispBuf::getPrevItem(resbuf** node) {
  if (!prev_) {  // at the first node, or nothing at all
    if (node) *node = nullptr;
    return 0;
  }
  resbuf* target = prev_;
  resbuf* before = nullptr;
  for (resbuf* p = head_; p != target; p = p->rbnext) before = p;
  cur_ = target;
  prev_ = before;
  if (node) *node = cur_;
  return 1;
}

int CZqlLispBuf::getItem(int index, resbuf** node) {
  resbuf* before = nullptr;
  resbuf* found = nodeAt(index, &before);
  if (node) *node = found;
  if (!found) return 0;
  cur_ = found;
  prev_ = before;
  return 1;
}

int CZqlLispBuf::setPos(int index) {
  if (index < 0) return 0;
  resbuf* before = nullptr;
  resbuf* p = head_;
  for (int i = 0; i < index; ++i) {
    if (!p) return 0;
    before = p;
    p = p->rbnext;
  }
  cur_ = p;
  prev_ = before;
  return 1;
}

int CZqlLispBuf::setPos(const resbuf* node) {
  resbuf* before = nullptr;
  resbuf* p = head_;
  while (p != node) {
    if (!p) return 0;  // not a node of this chain
    before = p;
    p = p->rbnext;
  }
  cur_ = p;
  prev_ = before;
  return 1;
}

int CZqlLispBuf::getPos() const {
  int i = 0;
  for (const resbuf* p = head_; p && p != cur_; p = p->rbnext) ++i;
  return i;
}

int CZqlLispBuf::getPos(resbuf** node) const {
  if (node) *node = cur_;
  return getPos();
}

// ---------------------------------------------------------------------------
// Accessors
// ---------------------------------------------------------------------------

const resbuf* CZqlLispBuf::checked(int type, int type2) const {
  if (!head_ || !cur_) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  if (cur_->restype != type && (type2 == 0 || cur_->restype != type2)) {
    errPush(kZqlLispErrItemType);
    return nullptr;
  }
  return cur_;
}

int16_t CZqlLispBuf::S() const {
  const resbuf* n = checked(RTSHORT);
  return n ? n->resval.rint : 0;
}

int32_t CZqlLispBuf::L() const {
  const resbuf* n = checked(RTLONG);
  return n ? n->resval.rlong : 0;
}

double CZqlLispBuf::R() const {
  const resbuf* n = checked(RTREAL);
  return n ? n->resval.rreal : 0.0;
}

const char* CZqlLispBuf::C() const {
  const resbuf* n = checked(RTSTR);
  return n ? n->resval.rstring : nullptr;
}

const double* CZqlLispBuf::P() const {
  const resbuf* n = checked(RTPOINT);
  return n ? n->resval.rpoint : nullptr;
}

double CZqlLispBuf::PX() const {
  const resbuf* n = checked(RTPOINT, RT3DPOINT);
  return n ? n->resval.rpoint[0] : 0.0;
}

double CZqlLispBuf::PY() const {
  const resbuf* n = checked(RTPOINT, RT3DPOINT);
  return n ? n->resval.rpoint[1] : 0.0;
}

double CZqlLispBuf::PZ() const {
  const resbuf* n = checked(RT3DPOINT);
  return n ? n->resval.rpoint[2] : 0.0;
}

const int32_t* CZqlLispBuf::E() const {
  const resbuf* n = checked(RTENAME);
  return n ? n->resval.rlname : nullptr;
}

const char* CZqlLispBuf::B(int32_t* length) const {
  const resbuf* n = checked(RTBINXD, RTBINARY);
  if (length) *length = n ? n->resval.rbinary.clen : 0;
  return n ? n->resval.rbinary.buf : nullptr;
}

// ---------------------------------------------------------------------------
// Making nodes
// ---------------------------------------------------------------------------

resbuf* CZqlLispBuf::newNode(int type) const {
  if (resbuf* node = spare_) {
    spare_ = node->rbnext;
    --spareCount_;
    *node = resbuf{};
    node->restype = static_cast<int16_t>(type);
    return node;
  }
  resbuf* node = kel_newrb(type);
  if (!node) errPush(kZqlLispErrNoMemory);
  return node;
}

resbuf* CZqlLispBuf::newString(const char* text) const {
  if (!text) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  resbuf* node = newNode(RTSTR);
  if (!node) return nullptr;
  const size_t n = std::strlen(text);
  // malloc, not calloc: glibc's calloc skips its per-thread cache, and
  // every byte is written anyway.
  node->resval.rstring = static_cast<char*>(std::malloc(n + 1));
  if (!node->resval.rstring) {
    kel_relrb(node);
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  std::memcpy(node->resval.rstring, text, n + 1);
  return node;
}

resbuf* CZqlLispBuf::newBytes(const void* bytes, int32_t length) const {
  if (length < 0 || (length > 0 && !bytes)) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  resbuf* node = newNode(RTBINARY);
  if (!node) return nullptr;
  // One byte more than needed, so that an empty buffer is not a null one.
  char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
  if (!copy) {
    kel_relrb(node);
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  if (length > 0) std::memcpy(copy, bytes, static_cast<size_t>(length));
  copy[length] = 0;
  node->resval.rbinary.clen = length;
  node->resval.rbinary.buf = copy;
  return node;
}

resbuf* CZqlLispBuf::newPoint(const double* point, EZqlBoolean is2D) const {
  if (!point) {
    errPush(kZqlLispErrInternal);
    return nullptr;
  }
  resbuf* node = newNode(is2D ? RTPOINT : RT3DPOINT);
  if (!node) return nullptr;
  std::memcpy(node->resval.rpoint, point, (is2D ? 2 : 3) * sizeof(double));
  return node;
}

resbuf* CZqlLispBuf::copyResBuf(const resbuf* node) const {
  if (node->restype == RTSTR && node->resval.rstring)
    return newString(node->resval.rstring);
  if (IsBytes(node->restype)) {
    const int32_t n = node->resval.rbinary.clen > 0 ? node->resval.rbinary.clen : 0;
    resbuf* copy = newBytes(n > 0 ? node->resval.rbinary.buf : nullptr, n);
    if (copy) copy->restype = node->restype;
    return copy;
  }
  resbuf* copy = newNode(node->restype);
  if (copy) copy->resval = node->resval;
  return copy;
}

// ---------------------------------------------------------------------------
// Linking
// ---------------------------------------------------------------------------

void CZqlLispBuf::link(resbuf* first, resbuf* last) {
  if (prev_) {
    prev_->rbnext = first;
  } else {
    head_ = first;
  }
  last->rbnext = cur_;
  prev_ = last;
}

int CZqlLispBuf::append(resbuf* node) {
  if (!node) return 0;
  link(node, LastOf(node));
  return 1;
}

int CZqlLispBuf::insertNode(resbuf* node) {
  if (!node) return 0;
  resbuf* before = prev_;
  link(node, LastOf(node));
  cur_ = node;
  prev_ = before;
  return 1;
}

int CZqlLispBuf::addItem(double value) {
  resbuf* node = newNode(RTREAL);
  if (node) node->resval.rreal = value;
  return append(node);
}

int CZqlLispBuf::addItem(const double* point, EZqlBoolean is2D) {
  return append(newPoint(point, is2D));
}

int CZqlLispBuf::addItem(int16_t value) {
  resbuf* node = newNode(RTSHORT);
  if (node) node->resval.rint = value;
  return append(node);
}

int CZqlLispBuf::addItem(int32_t value) {
  resbuf* node = newNode(RTLONG);
  if (node) node->resval.rlong = value;
  return append(node);
}

int CZqlLispBuf::addItem(const char* text) { return append(newString(text)); }

int CZqlLispBuf::addSetItem(char* text) {
  if (!text) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  resbuf* node = newNode(RTSTR);
  if (!node) {
    std::free(text);
    return 0;
  }
  node->resval.rstring = text;
  return append(node);
}

int CZqlLispBuf::addBinItem(const void* bytes, int32_t length) {
  return append(newBytes(bytes, length));
}

int CZqlLispBuf::addSetBinItem(void* bytes, int32_t length) {
  if (length < 0 || (length > 0 && !bytes)) {
    errPush(kZqlLispErrInternal);
    std::free(bytes);
    return 0;
  }
  resbuf* node = newNode(RTBINARY);
  if (!node) {
    std::free(bytes);
    return 0;
  }
  node->resval.rbinary.clen = length;
  node->resval.rbinary.buf = static_cast<char*>(bytes);
  return append(node);
}

int CZqlLispBuf::addItem(const int32_t* ename) {
  if (!ename) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  resbuf* node = newNode(RTENAME);
  if (node) std::memcpy(node->resval.rlname, ename, 2 * sizeof(int32_t));
  return append(node);
}

int CZqlLispBuf::addItemType(int16_t type) {
  if (!IsValueless(type)) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return append(newNode(type));
}

int CZqlLispBuf::addItem(const resbuf* node) {
  return node ? append(copyResBuf(node)) : 0;
}

int CZqlLispBuf::addSetItem(resbuf* node) { return append(node); }

int CZqlLispBuf::addItemList(const resbuf* chain) {
  for (const resbuf* p = chain; p; p = p->rbnext) {
    if (!append(copyResBuf(p))) return 0;
  }
  return 1;
}

int CZqlLispBuf::addSetItemList(resbuf* chain) {
  return chain ? append(chain) : 1;
}

int CZqlLispBuf::insertItem(const resbuf* node) {
  return node ? insertNode(copyResBuf(node)) : 0;
}

int CZqlLispBuf::insertSetItem(resbuf* node) { return insertNode(node); }

int CZqlLispBuf::insertItemType(int16_t type) {
  if (!IsValueless(type)) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return insertNode(newNode(type));
}

// ---------------------------------------------------------------------------
// Updating and removing
// ---------------------------------------------------------------------------

int CZqlLispBuf::replace(int index, resbuf* node) {
  if (!node) return 0;
  resbuf* before = nullptr;
  resbuf* old = nodeAt(index, &before);
  if (!old) {
    kel_relrb(node);
    return 0;
  }
  LastOf(node)->rbnext = old->rbnext;
  if (before) {
    before->rbnext = node;
  } else {
    head_ = node;
  }
  old->rbnext = nullptr;
  kel_relrb(old);
  cur_ = node;
  prev_ = before;
  return 1;
}

int CZqlLispBuf::updItem(int index, const resbuf* node) {
  return node ? replace(index, copyResBuf(node)) : 0;
}

int CZqlLispBuf::updSetItem(int index, resbuf* node) {
  return replace(index, node);
}

int CZqlLispBuf::updItem(int index, int16_t value) {
  resbuf* node = newNode(RTSHORT);
  if (node) node->resval.rint = value;
  return replace(index, node);
}

int CZqlLispBuf::updItem(int index, int32_t value) {
  resbuf* node = newNode(RTLONG);
  if (node) node->resval.rlong = value;
  return replace(index, node);
}

int CZqlLispBuf::updItem(int index, double value) {
  resbuf* node = newNode(RTREAL);
  if (node) node->resval.rreal = value;
  return replace(index, node);
}

int CZqlLispBuf::updItem(int index, const char* text) {
  return replace(index, newString(text));
}

int CZqlLispBuf::updItem(int index, const double* point, EZqlBoolean is2D) {
  return replace(index, newPoint(point, is2D));
}

int CZqlLispBuf::updItem(int index, const int32_t* ename) {
  if (!ename) return 0;
  resbuf* node = newNode(RTENAME);
  if (node) std::memcpy(node->resval.rlname, ename, 2 * sizeof(int32_t));
  return replace(index, node);
}

int CZqlLispBuf::updItem(int index, const void* bytes, int32_t length) {
  return replace(index, newBytes(bytes, length));
}

int CZqlLispBuf::updSetItem(int index, char* text) {
  if (!text) return 0;
  resbuf* node = newNode(RTSTR);
  if (!node) {
    std::free(text);
    return 0;
  }
  node->resval.rstring = text;
  return replace(index, node);
}

int CZqlLispBuf::delItem(int index) {
  if (index < -1 || !head_) return 0;
  resbuf* before = nullptr;
  resbuf* node = (index == -1 && !cur_) ? head_ : nodeAt(index, &before);
  if (!node) return 0;
  if (before) {
    before->rbnext = node->rbnext;
  } else {
    head_ = node->rbnext;
  }
  cur_ = node->rbnext;
  prev_ = before;
  node->rbnext = nullptr;
  kel_relrb(node);
  return 1;
}

int CZqlLispBuf::lclear() {
  // None kept under AddressSanitizer: a node used after its release is
  // still caught.
#ifdef __SANITIZE_ADDRESS__
  constexpr int kSpareMax = 0;
#else
  constexpr int kSpareMax = 64;
#endif
  while (head_ && spareCount_ < kSpareMax) {
    resbuf* node = head_;
    head_ = node->rbnext;
    // What kel_relrb would free with the node (see kel.h).
    if (node->restype == RTSTR) std::free(node->resval.rstring);
    if (IsBytes(node->restype)) std::free(node->resval.rbinary.buf);
    *node = resbuf{};
    node->restype = RTNIL;
    node->rbnext = spare_;
    spare_ = node;
    ++spareCount_;
  }
  kel_relrb(head_);
  head_ = cur_ = prev_ = nullptr;
  return 1;
}

int CZqlLispBuf::lclear(int index) {
  resbuf* rest = release(index);
  if (!rest) return 0;
  kel_relrb(rest);
  return 1;
}

resbuf* CZqlLispBuf::release(int index) {
  resbuf* before = nullptr;
  resbuf* node = nodeAt(index, &before);
  if (!node) return nullptr;
  if (before) {
    before->rbnext = nullptr;
  } else {
    head_ = nullptr;
  }
  cur_ = nullptr;
  prev_ = before;
  return node;
}

// ---------------------------------------------------------------------------
// Searching
// ---------------------------------------------------------------------------

template <class Pred>
int CZqlLispBuf::findIf(Pred pred) {
  for (; cur_; prev_ = cur_, cur_ = cur_->rbnext) {
    if (pred(cur_)) return 1;
  }
  return 0;
}

int CZqlLispBuf::cmpItem(const resbuf* a, const resbuf* b) const {
  if (!a || !b) return a == b ? 0 : 1;
  if (a->restype != b->restype) {
    if (HasValue(a->restype) && HasValue(b->restype))
      errPush(kZqlLispErrItemType);
    return 1;
  }
  return CmpSameType(a, b);
}

int CZqlLispBuf::findItem(const resbuf* node) {
  if (!node) {
    cur_ = nullptr;
    prev_ = LastOf(head_);
    return 0;
  }
  // Only nodes of the same type are compared: a search over a mixed chain
  // is not a type error.
  return findIf([&](const resbuf* p) {
    return p->restype == node->restype && CmpSameType(p, node) == 0;
  });
}

int CZqlLispBuf::findItem(double value) {
  return findIf([&](const resbuf* p) {
    return p->restype == RTREAL && p->resval.rreal == value;
  });
}

int CZqlLispBuf::findItem(const double* point, EZqlBoolean is2D) {
  const int type = is2D ? RTPOINT : RT3DPOINT;
  const size_t n = (is2D ? 2 : 3) * sizeof(double);
  return findIf([&](const resbuf* p) {
    return point && p->restype == type &&
           std::memcmp(p->resval.rpoint, point, n) == 0;
  });
}

int CZqlLispBuf::findItem(int16_t value) {
  return findIf([&](const resbuf* p) {
    return p->restype == RTSHORT && p->resval.rint == value;
  });
}

int CZqlLispBuf::findItem(int32_t value) {
  return findIf([&](const resbuf* p) {
    return p->restype == RTLONG && p->resval.rlong == value;
  });
}

int CZqlLispBuf::findItem(const char* text) {
  return findIf([&](const resbuf* p) {
    return text && p->restype == RTSTR && p->resval.rstring &&
           std::strcmp(p->resval.rstring, text) == 0;
  });
}

int CZqlLispBuf::findItem(const void* bytes, int32_t length) {
  return findIf([&](const resbuf* p) {
    return IsBytes(p->restype) && SameBytes(p, bytes, length);
  });
}

int CZqlLispBuf::findItem(const int32_t* ename) {
  return findIf([&](const resbuf* p) {
    return ename && p->restype == RTENAME && p->resval.rlname[0] == ename[0] &&
           p->resval.rlname[1] == ename[1];
  });
}

int CZqlLispBuf::findItemType(int16_t type) {
  return findIf([&](const resbuf* p) { return p->restype == type; });
}

// ---------------------------------------------------------------------------
// The container interface
// ---------------------------------------------------------------------------

int CZqlLispBuf::getNextItem(void** item) {
  resbuf* node = nullptr;
  const int ok = getNextItem(&node);
  if (item) *item = node;
  return ok;
}

int CZqlLispBuf::getPrevItem(void** item) {
  resbuf* node = nullptr;
  const int ok = getPrevItem(&node);
  if (item) *item = node;
  return ok;
}

int CZqlLispBuf::getFirstItem(void** item) {
  resbuf* node = nullptr;
  const int ok = getFirstItem(&node);
  if (item) *item = node;
  return ok;
}

int CZqlLispBuf::getLastItem(void** item) {
  resbuf* node = nullptr;
  const int ok = getLastItem(&node);
  if (item) *item = node;
  return ok;
}

int CZqlLispBuf::getItem(int index, void** item) {
  resbuf* node = nullptr;
  const int ok = getItem(index, &node);
  if (item) *item = node;
  return ok;
}

int CZqlLispBuf::findItem(const void* item) {
  return findItem(static_cast<const resbuf*>(item));
}

int CZqlLispBuf::delItem(const void* item) {
  if (!item || !getFirstItem()) return 0;
  return findItem(static_cast<const resbuf*>(item)) ? delItem(-1) : 0;
}

int CZqlLispBuf::insertItem(const void* item, int index) {
  if (index != -1 && !setPos(index < Qty() ? index : Qty())) return 0;
  return insertItem(static_cast<const resbuf*>(item));
}

int CZqlLispBuf::addItem(const void* item, int index) {
  if (index != -1 && !setPos(index < Qty() ? index : Qty())) return 0;
  return addItem(static_cast<const resbuf*>(item));
}

int CZqlLispBuf::updItem(const void* item, int index) {
  return updItem(index, static_cast<const resbuf*>(item));
}

int CZqlLispBuf::cmpItem(const void* a, const void* b) const {
  return cmpItem(static_cast<const resbuf*>(a), static_cast<const resbuf*>(b));
}
