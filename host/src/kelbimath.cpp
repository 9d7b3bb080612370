// kelbimath.cpp - numbers: arithmetic, comparison and numeric predicates.
//
// Integers are 32-bit and wrap around on overflow, as in CAD LISPs. An
// operation on integers alone stays integral (division truncates); once a
// real takes part, the rest of the computation is real.
#include <cmath>

#include "kelengine.h"

namespace kel {

namespace {

int32_t Wrap(uint32_t u) { return static_cast<int32_t>(u); }
int32_t WrapAdd(int32_t a, int32_t b) { return Wrap(uint32_t(a) + uint32_t(b)); }
int32_t WrapSub(int32_t a, int32_t b) { return Wrap(uint32_t(a) - uint32_t(b)); }
int32_t WrapMul(int32_t a, int32_t b) { return Wrap(uint32_t(a) * uint32_t(b)); }

enum class Op { kAdd, kSub, kMul, kDiv, kRem };

int32_t IntOp(Op op, int32_t a, int32_t b) {
  switch (op) {
    case Op::kAdd: return WrapAdd(a, b);
    case Op::kSub: return WrapSub(a, b);
    case Op::kMul: return WrapMul(a, b);
    case Op::kDiv:
      if (b == 0) Fail("divide by zero");
      return (b == -1) ? WrapSub(0, a) : a / b;  // INT32_MIN / -1 wraps
    case Op::kRem:
      if (b == 0) Fail("divide by zero");
      return (b == -1) ? 0 : a % b;
  }
  return 0;
}

double RealOp(Op op, double a, double b) {
  switch (op) {
    case Op::kAdd: return a + b;
    case Op::kSub: return a - b;
    case Op::kMul: return a * b;
    case Op::kDiv:
      if (b == 0.0) Fail("divide by zero");
      return a / b;
    case Op::kRem:
      if (b == 0.0) Fail("divide by zero");
      return std::fmod(a, b);
  }
  return 0.0;
}

// Folds op over the arguments from the left.
Value Fold(Op op, const std::vector<Value>& args) {
  for (const Value& v : args) NeedNumber(v);
  Value acc = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    const Value& b = args[i];
    if (acc.is(Kind::kInt) && b.is(Kind::kInt)) {
      acc = MakeInt(IntOp(op, IntOf(acc), IntOf(b)));
    } else {
      acc = MakeReal(RealOp(op, NumOf(acc), NumOf(b)));
    }
  }
  return acc;
}

Value Plus(Engine&, std::vector<Value>& a) { return a.empty() ? MakeInt(0) : Fold(Op::kAdd, a); }
Value Times(Engine&, std::vector<Value>& a) { return a.empty() ? MakeInt(1) : Fold(Op::kMul, a); }
Value Divide(Engine&, std::vector<Value>& a) { return a.empty() ? MakeInt(0) : Fold(Op::kDiv, a); }
Value Rem(Engine&, std::vector<Value>& a) { return a.empty() ? MakeInt(0) : Fold(Op::kRem, a); }

Value Negate(const Value& v) {
  NeedNumber(v);
  return v.is(Kind::kInt) ? MakeInt(WrapSub(0, IntOf(v))) : MakeReal(-RealOf(v));
}

Value Minus(Engine&, std::vector<Value>& a) {
  if (a.empty()) return MakeInt(0);
  if (a.size() == 1) return Negate(a[0]);
  return Fold(Op::kSub, a);
}

Value AddOne(const Value& v, int32_t d) {
  NeedNumber(v);
  return v.is(Kind::kInt) ? MakeInt(WrapAdd(IntOf(v), d)) : MakeReal(RealOf(v) + d);
}
Value OnePlus(Engine&, std::vector<Value>& a) { return AddOne(a[0], 1); }
Value OneMinus(Engine&, std::vector<Value>& a) { return AddOne(a[0], -1); }

Value Abs(Engine&, std::vector<Value>& a) {
  NeedNumber(a[0]);
  if (a[0].is(Kind::kInt)) return IntOf(a[0]) < 0 ? Negate(a[0]) : a[0];
  return MakeReal(std::fabs(RealOf(a[0])));
}

Value Fix(Engine&, std::vector<Value>& a) {
  NeedNumber(a[0]);
  if (a[0].is(Kind::kInt)) return a[0];
  double t = std::trunc(RealOf(a[0]));
  if (!(t >= INT32_MIN && t <= INT32_MAX)) {  // also rejects NaN
    Fail("bad argument value: out of integer range: " + ShortForm(a[0]));
  }
  return MakeInt(static_cast<int32_t>(t));
}

Value Float(Engine&, std::vector<Value>& a) {
  NeedNumber(a[0]);
  return MakeReal(NumOf(a[0]));
}

// max and min: the result is real when any argument is.
Value Extreme(const std::vector<Value>& a, bool wantMax) {
  bool anyReal = false;
  for (const Value& v : a) {
    NeedNumber(v);
    anyReal = anyReal || v.is(Kind::kReal);
  }
  const Value* best = &a[0];
  for (const Value& v : a) {
    if (wantMax ? NumOf(v) > NumOf(*best) : NumOf(v) < NumOf(*best)) best = &v;
  }
  return anyReal ? MakeReal(NumOf(*best)) : *best;
}
Value Max(Engine&, std::vector<Value>& a) { return Extreme(a, true); }
Value Min(Engine&, std::vector<Value>& a) { return Extreme(a, false); }

// -1, 0 or 1 for two numbers or two strings; anything else raises.
int Compare(const Value& x, const Value& y) {
  if (x.is(Kind::kStr) && y.is(Kind::kStr)) {
    int c = StrOf(x).compare(StrOf(y));
    return (c > 0) - (c < 0);
  }
  NeedNumber(x);
  NeedNumber(y);
  double a = NumOf(x), b = NumOf(y);
  return (a > b) - (a < b);
}

template <typename Pred>
Value CompareChain(Engine& e, const std::vector<Value>& a, Pred ok) {
  for (size_t i = 1; i < a.size(); ++i) {
    if (!ok(Compare(a[i - 1], a[i]))) return nullptr;
  }
  if (a.size() == 1 && !IsNumber(a[0]) && !a[0].is(Kind::kStr)) BadType("numberp", a[0]);
  return e.symT();
}

Value NumEq(Engine& e, std::vector<Value>& a) { return CompareChain(e, a, [](int c) { return c == 0; }); }
Value NumNe(Engine& e, std::vector<Value>& a) { return CompareChain(e, a, [](int c) { return c != 0; }); }
Value Less(Engine& e, std::vector<Value>& a) { return CompareChain(e, a, [](int c) { return c < 0; }); }
Value Greater(Engine& e, std::vector<Value>& a) { return CompareChain(e, a, [](int c) { return c > 0; }); }
Value LessEq(Engine& e, std::vector<Value>& a) { return CompareChain(e, a, [](int c) { return c <= 0; }); }
Value GreaterEq(Engine& e, std::vector<Value>& a) { return CompareChain(e, a, [](int c) { return c >= 0; }); }

Value Minusp(Engine& e, std::vector<Value>& a) {
  NeedNumber(a[0]);
  return e.boolValue(NumOf(a[0]) < 0);
}

Value Zerop(Engine& e, std::vector<Value>& a) {
  NeedNumber(a[0]);
  return e.boolValue(NumOf(a[0]) == 0);
}

Value Numberp(Engine& e, std::vector<Value>& a) { return e.boolValue(IsNumber(a[0])); }

// A real function of one number; outside its domain it raises.
Value RealFunction(const Value& v, double (*f)(double), bool (*inDomain)(double)) {
  NeedNumber(v);
  double x = NumOf(v);
  if (inDomain && !inDomain(x)) Fail("function undefined for argument: " + ShortForm(v));
  return MakeReal(f(x));
}

Value Sqrt(Engine&, std::vector<Value>& a) {
  return RealFunction(a[0], [](double x) { return std::sqrt(x); }, [](double x) { return x >= 0; });
}
Value Log(Engine&, std::vector<Value>& a) {
  return RealFunction(a[0], [](double x) { return std::log(x); }, [](double x) { return x > 0; });
}
Value Exp(Engine&, std::vector<Value>& a) {
  return RealFunction(a[0], [](double x) { return std::exp(x); }, nullptr);
}
Value Sin(Engine&, std::vector<Value>& a) {
  return RealFunction(a[0], [](double x) { return std::sin(x); }, nullptr);
}
Value Cos(Engine&, std::vector<Value>& a) {
  return RealFunction(a[0], [](double x) { return std::cos(x); }, nullptr);
}

Value Atan(Engine&, std::vector<Value>& a) {
  for (const Value& v : a) NeedNumber(v);
  if (a.size() == 1) return MakeReal(std::atan(NumOf(a[0])));
  return MakeReal(std::atan2(NumOf(a[0]), NumOf(a[1])));
}

// (expt base power): integral for integers with a non-negative power.
Value Expt(Engine&, std::vector<Value>& a) {
  NeedNumber(a[0]);
  NeedNumber(a[1]);
  if (a[0].is(Kind::kInt) && a[1].is(Kind::kInt) && IntOf(a[1]) >= 0) {
    int32_t r = 1, base = IntOf(a[0]);
    for (int32_t n = IntOf(a[1]); n > 0; n >>= 1) {  // by squaring, wrapping
      if (n & 1) r = WrapMul(r, base);
      base = WrapMul(base, base);
    }
    return MakeInt(r);
  }
  return MakeReal(std::pow(NumOf(a[0]), NumOf(a[1])));
}

const Builtin kMath[] = {
    {"+", 0, -1, Plus, nullptr},
    {"-", 0, -1, Minus, nullptr},
    {"*", 0, -1, Times, nullptr},
    {"/", 0, -1, Divide, nullptr},
    {"REM", 0, -1, Rem, nullptr},
    {"1+", 1, 1, OnePlus, nullptr},
    {"1-", 1, 1, OneMinus, nullptr},
    {"ABS", 1, 1, Abs, nullptr},
    {"FIX", 1, 1, Fix, nullptr},
    {"FLOAT", 1, 1, Float, nullptr},
    {"MAX", 1, -1, Max, nullptr},
    {"MIN", 1, -1, Min, nullptr},
    {"=", 1, -1, NumEq, nullptr},
    {"/=", 1, -1, NumNe, nullptr},
    {"<", 1, -1, Less, nullptr},
    {">", 1, -1, Greater, nullptr},
    {"<=", 1, -1, LessEq, nullptr},
    {">=", 1, -1, GreaterEq, nullptr},
    {"MINUSP", 1, 1, Minusp, nullptr},
    {"ZEROP", 1, 1, Zerop, nullptr},
    {"NUMBERP", 1, 1, Numberp, nullptr},
    {"SQRT", 1, 1, Sqrt, nullptr},
    {"LOG", 1, 1, Log, nullptr},
    {"EXP", 1, 1, Exp, nullptr},
    {"SIN", 1, 1, Sin, nullptr},
    {"COS", 1, 1, Cos, nullptr},
    {"ATAN", 1, 2, Atan, nullptr},
    {"EXPT", 2, 2, Expt, nullptr},
};

}  // namespace

void RegisterMathBuiltins(Engine& e) {
  e.defineBuiltins(kMath, sizeof kMath / sizeof kMath[0]);
}

}  // namespace kel
