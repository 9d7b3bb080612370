// kelconv.cpp - LISP values to resbuf chains and back.
#include <cstdlib>
#include <cstring>
#include <new>

#include "kelengine.h"
#include "kelmodule.h"

namespace kel {

namespace {

// Emptied nodes of finished chains, linked by rbnext, for the next ones.
constexpr int kSpareMax = kReuseFreed ? 64 : 0;
resbuf* gSpare = nullptr;
int gSpareCount = 0;

}  // namespace

RbChain::~RbChain() {
  while (head_ && gSpareCount < kSpareMax) {
    resbuf* rb = head_;
    head_ = rb->rbnext;
    FreeNodeValue(rb);
    *rb = resbuf{};
    rb->rbnext = gSpare;
    gSpare = rb;
    ++gSpareCount;
  }
  kel_relrb(head_);
}

resbuf* RbChain::append(int16_t type) {
  resbuf* rb = gSpare;
  if (rb) {
    gSpare = rb->rbnext;
    --gSpareCount;
    rb->rbnext = nullptr;
    rb->restype = type;
  } else if (!(rb = kel_newrb(type))) {
    throw std::bad_alloc();
  }
  (tail_ ? tail_->rbnext : head_) = rb;
  tail_ = rb;
  return rb;
}

namespace {

// A proper list of two or three reals travels as a point.
bool IsPoint(const Value& v) {
  size_t n = 0;
  for (Value p = v; !p.isNil(); p = ConsOf(p)->cdr) {
    if (!p.is(Kind::kCons) || !ConsOf(p)->car.is(Kind::kReal) || ++n > 3) return false;
  }
  return n >= 2;
}

void AppendPoint(RbChain& chain, const Value& v) {
  std::vector<Value> items = ListItems(v);
  resbuf* rb = chain.append(items.size() == 2 ? RTPOINT : RT3DPOINT);
  for (size_t i = 0; i < items.size(); ++i) rb->resval.rpoint[i] = RealOf(items[i]);
}

void AppendString(RbChain& chain, const std::string& s) {
  resbuf* rb = chain.append(RTSTR);
  rb->resval.rstring = strdup(s.c_str());
  if (!rb->resval.rstring) throw std::bad_alloc();
}

void AppendAtom(Engine& e, RbChain& chain, const Value& v, const std::string& fnName) {
  if (v.isNil()) {
    chain.append(RTNIL);
  } else if (v == e.symT()) {
    chain.append(RTT);
  } else if (v.is(Kind::kInt)) {
    int32_t i = IntOf(v);
    if (i >= INT16_MIN && i <= INT16_MAX) {
      chain.append(RTSHORT)->resval.rint = static_cast<int16_t>(i);
    } else {
      chain.append(RTLONG)->resval.rlong = i;
    }
  } else if (v.is(Kind::kReal)) {
    chain.append(RTREAL)->resval.rreal = RealOf(v);
  } else if (v.is(Kind::kStr)) {
    AppendString(chain, StrOf(v));
  } else {
    Fail("bad argument type: " + fnName + ": " + ShortForm(v));
  }
}

}  // namespace

void AppendArgument(Engine& e, RbChain& chain, const Value& v, const std::string& fnName) {
  if (!v.is(Kind::kCons)) return AppendAtom(e, chain, v, fnName);
  if (IsPoint(v)) return AppendPoint(chain, v);
  Engine::DepthGuard guard(e);
  chain.append(RTLB);
  Value p = v;
  for (; p.is(Kind::kCons); p = ConsOf(p)->cdr) AppendArgument(e, chain, ConsOf(p)->car, fnName);
  if (!p.isNil()) {
    chain.append(RTDOTE);
    AppendArgument(e, chain, p, fnName);
  }
  chain.append(RTLE);
}

namespace {

class ChainReader {
 public:
  ChainReader(Engine& e, const resbuf* chain) : e_(e), rb_(chain) { items_.reserve(16); }

  // The whole chain: one list stands for itself, anything else for the
  // list of its items.
  Value readAll() {
    bool single = rb_ && rb_->restype == RTLB;
    size_t count = 0;
    for (; rb_; ++count) items_.push_back(readItem());
    if (single && count == 1) return items_[0];
    return takeList(0, nullptr);
  }

 private:
  [[noreturn]] void Malformed() { Fail("malformed result list"); }

  Value readItem() {
    const resbuf* rb = rb_;
    rb_ = rb_->rbnext;
    switch (rb->restype) {
      case RTLB: return readList();
      case RTSHORT: return MakeInt(rb->resval.rint);
      case RTLONG: return MakeInt(rb->resval.rlong);
      case RTREAL: return MakeReal(rb->resval.rreal);
      case RTSTR: return MakeStr(rb->resval.rstring ? rb->resval.rstring : "");
      case RTPOINT: return ListFrom({MakeReal(rb->resval.rpoint[0]), MakeReal(rb->resval.rpoint[1])});
      case RT3DPOINT:
        return ListFrom({MakeReal(rb->resval.rpoint[0]), MakeReal(rb->resval.rpoint[1]),
                         MakeReal(rb->resval.rpoint[2])});
      case RTENAME: return ListFrom({MakeInt(rb->resval.rlname[0]), MakeInt(rb->resval.rlname[1])});
      case RTNIL: return nullptr;
      case RTT: return e_.symT();
      case RTBINXD:
      case RTBINARY: return readBytes(*rb);
      default: Malformed();  // RTLE and RTDOTE out of place, unknown codes
    }
  }

  Value readBytes(const resbuf& rb) {
    int32_t n = rb.resval.rbinary.clen;
    if (n < 0 || (n > 0 && !rb.resval.rbinary.buf)) Malformed();
    return MakeStr(std::string(rb.resval.rbinary.buf ? rb.resval.rbinary.buf : "", size_t(n)));
  }

  // After RTLB: the elements up to RTLE, with "RTDOTE item" before it for
  // a dotted tail.
  Value readList() {
    Engine::DepthGuard guard(e_);
    const size_t base = items_.size();
    Value tail;
    for (;;) {
      if (!rb_) Malformed();
      if (rb_->restype == RTLE) break;
      if (rb_->restype != RTDOTE) {
        items_.push_back(readItem());
        continue;
      }
      rb_ = rb_->rbnext;
      if (items_.size() == base || !rb_ || rb_->restype == RTLE) Malformed();
      tail = readItem();
      if (!rb_ || rb_->restype != RTLE) Malformed();
      break;
    }
    rb_ = rb_->rbnext;
    return takeList(base, std::move(tail));
  }

  // The items from base on, consed onto tail, and taken off the stack.
  Value takeList(size_t base, Value tail) {
    for (size_t i = items_.size(); i > base; --i) tail = Cons(std::move(items_[i - 1]), std::move(tail));
    items_.resize(base);
    return tail;
  }

  Engine& e_;
  const resbuf* rb_;
  // The items of the lists being read, innermost last: one vector for the
  // whole chain rather than one per list.
  std::vector<Value> items_;
};

}  // namespace

Value ChainToValue(Engine& e, const resbuf* chain) { return ChainReader(e, chain).readAll(); }

}  // namespace kel
