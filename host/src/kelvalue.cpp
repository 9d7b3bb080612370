// kelvalue.cpp - cells, their release, and the structural predicates.
#include "kelvalue.h"

#include <cmath>
#include <utility>

namespace kel {

namespace {

// Cells whose count reached 0 while another release was in progress. Freeing
// a cell releases its members, which land here instead of recursing, so the
// C++ stack stays flat whatever the depth of the structure.
std::vector<Cell*>& PendingCells() {
  static std::vector<Cell*> pending;
  return pending;
}
bool gDraining = false;

// Freed cells of up to 64 bytes, kept by size for the next cell of that
// size: a program makes and drops cells by the thousand (every number,
// string and pair it computes), and most would otherwise be a call of the C
// library each way. A few thousand are kept per size; beyond that they go
// back. One pool for the process, as the interpreter runs one at a time.
constexpr size_t kPoolStep = 16;
constexpr size_t kPoolSizes = 4;
constexpr size_t kPoolKeep = 4096;

struct FreeCell {
  FreeCell* next;
};

struct CellPool {
  FreeCell* lists[kPoolSizes];
  size_t counts[kPoolSizes];
};
CellPool gPool;  // zero-initialised, and never destroyed: cells may outlive statics

// The pool list for cells of size bytes, or kPoolSizes or more for none.
size_t PoolOf(size_t size) {
  if (!kReuseFreed) return kPoolSizes;
  return size == 0 ? 0 : (size - 1) / kPoolStep;
}

}  // namespace

void* Cell::operator new(size_t size) {
  const size_t k = PoolOf(size);
  if (k >= kPoolSizes) return ::operator new(size);
  if (FreeCell* f = gPool.lists[k]) {
    gPool.lists[k] = f->next;
    --gPool.counts[k];
    return f;
  }
  return ::operator new((k + 1) * kPoolStep);  // any cell of its list fits
}

void Cell::operator delete(void* p, size_t size) noexcept {
  const size_t k = PoolOf(size);
  if (k >= kPoolSizes || gPool.counts[k] >= kPoolKeep) {
    ::operator delete(p);
    return;
  }
  auto* f = static_cast<FreeCell*>(p);
  f->next = gPool.lists[k];
  gPool.lists[k] = f;
  ++gPool.counts[k];
}

void ReleaseCell(Cell* c) noexcept {
  if (--c->refs != 0) return;
  if (gDraining) {
    PendingCells().push_back(c);  // freed by the loop below, one level up
    return;
  }
  gDraining = true;
  delete c;
  std::vector<Cell*>& pending = PendingCells();
  while (!pending.empty()) {
    Cell* next = pending.back();
    pending.pop_back();
    delete next;
  }
  gDraining = false;
}

void Fail(const std::string& text) { throw LispError(text); }

std::string ShortForm(const Value& v) {
  // A huge value would bury the message: show its beginning only.
  constexpr size_t kShown = 200;
  std::string shown = PrintForm(v, true);
  if (shown.size() > kShown) shown = shown.substr(0, kShown) + " ...";
  return shown;
}

void BadType(const char* pred, const Value& v) {
  Fail(std::string("bad argument type: ") + pred + ": " + ShortForm(v));
}

Value MakeInt(int32_t v) { return Value(new IntCell(v)); }
Value MakeReal(double v) { return Value(new RealCell(v)); }
Value MakeStr(std::string s) { return Value(new StrCell(std::move(s))); }
Value Cons(Value car, Value cdr) {
  return Value(new ConsCell(std::move(car), std::move(cdr)));
}

Value Car(const Value& v) {
  if (v.isNil()) return nullptr;
  if (!v.is(Kind::kCons)) BadType("consp", v);
  return ConsOf(v)->car;
}

Value Cdr(const Value& v) {
  if (v.isNil()) return nullptr;
  if (!v.is(Kind::kCons)) BadType("consp", v);
  return ConsOf(v)->cdr;
}

Value ListFrom(const std::vector<Value>& items) {
  Value list;
  for (auto it = items.rbegin(); it != items.rend(); ++it) list = Cons(*it, list);
  return list;
}

std::vector<Value> ListItems(const Value& list) {
  std::vector<Value> items;
  const Cell* p = list.get();
  while (p && p->kind == Kind::kCons) {
    const auto* c = static_cast<const ConsCell*>(p);
    items.push_back(c->car);
    p = c->cdr.get();
  }
  if (p) BadType("listp", list);  // a dotted tail
  return items;
}

bool Eq(const Value& a, const Value& b) {
  if (a == b) return true;
  return a.is(Kind::kInt) && b.is(Kind::kInt) && IntOf(a) == IntOf(b);
}

namespace {

// Equality of two atoms (or a cons against anything, which fails unless
// identical); conses are compared by the caller.
bool AtomsEqual(const Value& a, const Value& b, double fuzz) {
  if (IsNumber(a) && IsNumber(b)) {
    if (a.is(Kind::kInt) && b.is(Kind::kInt)) {
      return std::fabs(static_cast<double>(IntOf(a)) - IntOf(b)) <= fuzz;
    }
    return std::fabs(NumOf(a) - NumOf(b)) <= fuzz;
  }
  if (a.is(Kind::kStr) && b.is(Kind::kStr)) return StrOf(a) == StrOf(b);
  return a == b;
}

}  // namespace

bool Equal(const Value& a, const Value& b, double fuzz) {
  std::vector<std::pair<const Cell*, const Cell*>> todo{{a.get(), b.get()}};
  while (!todo.empty()) {
    auto [x, y] = todo.back();
    todo.pop_back();
    if (x == y) continue;
    if (x && y && x->kind == Kind::kCons && y->kind == Kind::kCons) {
      const auto* cx = static_cast<const ConsCell*>(x);
      const auto* cy = static_cast<const ConsCell*>(y);
      todo.emplace_back(cx->cdr.get(), cy->cdr.get());
      todo.emplace_back(cx->car.get(), cy->car.get());
      continue;
    }
    // Borrow the cells as values for the atom comparison.
    Value vx(const_cast<Cell*>(x));
    Value vy(const_cast<Cell*>(y));
    if (!AtomsEqual(vx, vy, fuzz)) return false;
  }
  return true;
}

}  // namespace kel
