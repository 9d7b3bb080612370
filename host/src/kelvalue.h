// kelvalue.h - LISP values of the host interpreter.
//
// A value is a reference-counted pointer to a cell; nil is the null pointer.
// Conses never change after construction and variables live in symbols, so
// the only reference cycles run through interned symbols, which the engine
// breaks when it clears every symbol value at shutdown. Releasing a long or
// deep structure is iterative, so it cannot exhaust the C++ stack.
#ifndef ZQLHOST_KELVALUE_H
#define ZQLHOST_KELVALUE_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kel {

class Engine;
class Module;
struct Builtin;

enum class Kind : uint8_t {
  kInt,     // 32-bit integer
  kReal,    // double
  kStr,     // byte string
  kSym,     // interned symbol
  kCons,    // pair
  kSubr,    // built-in function or special form
  kUsubr,   // function defined in LISP (defun, lambda)
  kExsubr,  // function defined by a module (kel_defun)
};

// Whether freed cells and chain nodes are kept for reuse: not under
// AddressSanitizer, which must see every release to catch a later use.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kReuseFreed = false;
#else
constexpr bool kReuseFreed = true;
#endif

struct Cell {
  explicit Cell(Kind k) : kind(k) {}
  virtual ~Cell() = default;
  Cell(const Cell&) = delete;
  Cell& operator=(const Cell&) = delete;
  // Small cells come from a pool of freed ones (kelvalue.cpp).
  static void* operator new(size_t size);
  static void operator delete(void* p, size_t size) noexcept;
  uint32_t refs = 0;
  const Kind kind;
};

// Drops one reference; a cell whose count reaches 0 is freed (iteratively,
// with everything it alone keeps alive).
void ReleaseCell(Cell* c) noexcept;

class Value {
 public:
  Value() noexcept = default;
  Value(std::nullptr_t) noexcept {}  // NOLINT: nil converts implicitly
  explicit Value(Cell* c) noexcept : p_(c) {
    if (p_) ++p_->refs;
  }
  Value(const Value& o) noexcept : Value(o.p_) {}
  Value(Value&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Value& operator=(const Value& o) noexcept {
    Value tmp(o);
    swap(tmp);
    return *this;
  }
  Value& operator=(Value&& o) noexcept {
    Value tmp(std::move(o));
    swap(tmp);
    return *this;
  }
  ~Value() {
    if (p_) ReleaseCell(p_);
  }
  void swap(Value& o) noexcept {
    Cell* t = p_;
    p_ = o.p_;
    o.p_ = t;
  }

  Cell* get() const noexcept { return p_; }
  bool isNil() const noexcept { return p_ == nullptr; }
  bool is(Kind k) const noexcept { return p_ && p_->kind == k; }
  bool operator==(const Value& o) const noexcept { return p_ == o.p_; }
  bool operator!=(const Value& o) const noexcept { return p_ != o.p_; }

 private:
  Cell* p_ = nullptr;
};

struct IntCell : Cell {
  explicit IntCell(int32_t v) : Cell(Kind::kInt), value(v) {}
  int32_t value;
};

struct RealCell : Cell {
  explicit RealCell(double v) : Cell(Kind::kReal), value(v) {}
  double value;
};

struct StrCell : Cell {
  explicit StrCell(std::string s) : Cell(Kind::kStr), text(std::move(s)) {}
  std::string text;
};

struct SymCell : Cell {
  explicit SymCell(std::string n) : Cell(Kind::kSym), name(std::move(n)) {}
  std::string name;      // upper case as read
  Value value;           // nil when unbound
  bool constant = false; // T and the empty symbol cannot be set
};

struct ConsCell : Cell {
  ConsCell(Value a, Value d) : Cell(Kind::kCons), car(std::move(a)), cdr(std::move(d)) {}
  const Value car;
  const Value cdr;
};

struct SubrCell : Cell {
  explicit SubrCell(const Builtin* d) : Cell(Kind::kSubr), def(d) {}
  const Builtin* def;
};

struct UsubrCell : Cell {
  UsubrCell() : Cell(Kind::kUsubr) {}
  std::string name;             // defun name, or "LAMBDA"
  std::vector<Value> params;    // symbols bound to the arguments
  std::vector<Value> locals;    // symbols after "/" bound to nil
  Value body;                   // list of forms
};

struct ExsubrCell : Cell {
  ExsubrCell(std::string n, int16_t c, Module* m)
      : Cell(Kind::kExsubr), name(std::move(n)), code(c), module(m) {}
  std::string name;
  int16_t code;
  Module* module;  // owned by the engine, outlives every cell naming it
};

// A LISP error: the message is what "; error: " precedes.
class LispError : public std::runtime_error {
 public:
  explicit LispError(const std::string& text) : std::runtime_error(text) {}
};

// An interrupt from the user: an error that catch-error lets pass.
class LispCancel : public LispError {
 public:
  using LispError::LispError;
};

// (exit n): unwinds every catch-error up to the caller of the evaluation.
struct LispExit {
  int32_t code;
};

[[noreturn]] void Fail(const std::string& text);

// Constructors; each may raise std::bad_alloc.
Value MakeInt(int32_t v);
Value MakeReal(double v);
Value MakeStr(std::string s);
Value Cons(Value car, Value cdr);

// Typed access. REQUIRES: the value has that kind.
inline int32_t IntOf(const Value& v) { return static_cast<IntCell*>(v.get())->value; }
inline double RealOf(const Value& v) { return static_cast<RealCell*>(v.get())->value; }
inline const std::string& StrOf(const Value& v) {
  return static_cast<StrCell*>(v.get())->text;
}
inline SymCell* SymOf(const Value& v) { return static_cast<SymCell*>(v.get()); }
inline ConsCell* ConsOf(const Value& v) { return static_cast<ConsCell*>(v.get()); }

inline bool IsNumber(const Value& v) { return v.is(Kind::kInt) || v.is(Kind::kReal); }
inline bool IsList(const Value& v) { return v.isNil() || v.is(Kind::kCons); }
inline bool IsFunctionCell(const Value& v) {
  return v.is(Kind::kSubr) || v.is(Kind::kUsubr) || v.is(Kind::kExsubr);
}
// A number as a double. REQUIRES: IsNumber(v).
inline double NumOf(const Value& v) {
  return v.is(Kind::kInt) ? IntOf(v) : RealOf(v);
}

// car and cdr of a cons, nil for nil. Any other value raises
// "bad argument type: consp: V".
Value Car(const Value& v);
Value Cdr(const Value& v);

// Builds a proper list from items in order.
Value ListFrom(const std::vector<Value>& items);
// The elements of a proper list; raises "bad argument type: listp: V" for
// anything else.
std::vector<Value> ListItems(const Value& list);

// Text forms: prin1 (escape true: strings quoted and escaped) or princ.
// Iterative, so any depth prints.
std::string PrintForm(const Value& v, bool escape);
// A real as printed: up to 15 significant digits, always a point or an
// exponent (3.0, 0.1, 1e+20, 1.5e-7).
std::string FormatReal(double d);

// The prin1 form for an error message, cut short when long.
std::string ShortForm(const Value& v);

// Raises "bad argument type: PRED: V".
[[noreturn]] void BadType(const char* pred, const Value& v);

// LISP equal: numbers by value (within fuzz), strings by content, conses by
// structure, anything else by identity. Iterative.
bool Equal(const Value& a, const Value& b, double fuzz = 0.0);
// LISP eq: identity, integers by value.
bool Eq(const Value& a, const Value& b);

}  // namespace kel

#endif  // ZQLHOST_KELVALUE_H
