// numdata.cpp - CZqlNum: what all numerics share: compatibility and result
// types, text input in the "C" locale, conversions out, the compound
// assignment engine, the binary arithmetic operators, and the decimal
// digits behind the text forms and the scale cut.

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <typeinfo>

#include "zqlsdata.h"

namespace {

// Longest number text that is converted; the rest may only be blanks.
constexpr unsigned int kMaxNumberText = 64;
// Size of the text buffer through which values of different types meet.
constexpr unsigned int kExchangeSize = 260;

// The "C" locale object, made once: number texts are read the same way
// whatever locale the process has chosen.
class CCLocale {
 public:
  CCLocale() : loc_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0))) {}
  ~CCLocale() {
    if (loc_ != static_cast<locale_t>(0)) freelocale(loc_);
  }
  CCLocale(const CCLocale&) = delete;
  CCLocale& operator=(const CCLocale&) = delete;
  locale_t get() const { return loc_; }

 private:
  locale_t loc_;
};

locale_t CLocale() {
  static CCLocale c;
  return c.get();
}

bool IsAsciiLetter(unsigned int c) {
  return (c | 0x20u) >= 'a' && (c | 0x20u) <= 'z';
}

// strtod also reads hexadecimal, inf and nan, none of which is an SQL
// number: the converted part may hold no letter but the exponent's.
bool PlainNumber(const char* begin, const char* end) {
  for (const char* p = begin; p < end; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (IsAsciiLetter(c) && c != 'e' && c != 'E') return false;
  }
  return true;
}

bool OnlyBlanks(const char* p) {
  while (*p == ' ') ++p;
  return *p == '\0';
}

// A converted number that overflowed reads as infinite.
int Converted(double v, double* out) {
  if (std::isnan(v)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
  if (std::isinf(v)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
  *out = v;
  return 1;
}

int IsSingleFieldInterval(const CZqlData& d) {
  const EZqlIType t = d.IntervalType();
  return d.is_interval() && t >= kZqlIYear && t <= kZqlISecond;
}

double Apply(char op, double a, double b) {
  switch (op) {
    case '+': return a + b;
    case '-': return a - b;
    case '*': return a * b;
    default: return a / b;
  }
}

}  // namespace

CZqlNum::CZqlNum(unsigned int precision, unsigned int scale)
    : precision_(precision), scale_(scale) {}

// ---------------------------------------------------------------------------
// Compatibility and result types
// ---------------------------------------------------------------------------

int CZqlNum::is_comparable(const CZqlData* other) const {
  return other != nullptr && other->is_numeric();
}

int CZqlNum::is_storable(const CZqlData* other) const {
  return other != nullptr && other->is_numeric();
}

int CZqlNum::is_castable(const CZqlData* other) const {
  if (other == nullptr) return 0;
  return other->is_numeric() || other->is_character() || IsSingleFieldInterval(*other);
}

static CZqlData* NewDouble() { return new (std::nothrow) CZqlDouble(); }

CZqlData* CZqlNum::checkAdd(const CZqlData* other) const {
  return other != nullptr && other->is_numeric() ? NewDouble() : nullptr;
}

CZqlData* CZqlNum::checkSub(const CZqlData* other) const { return checkAdd(other); }

// An exact numeric times an interval is an interval (MONTH(6) or DAY(6) TO
// SECOND(8)); an approximate one cannot scale an interval.
CZqlData* CZqlNum::checkMul(const CZqlData* other) const {
  if (other == nullptr) return nullptr;
  if (other->is_numeric()) return NewDouble();
  return is_exactnumeric() ? ZqlIntervalProductType(other) : nullptr;
}

CZqlData* CZqlNum::checkDiv(const CZqlData* other) const { return checkMul(other); }

// ---------------------------------------------------------------------------
// Text input
// ---------------------------------------------------------------------------

int CZqlNum::TextToDouble(const char* text, unsigned int size, double* out) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    char copy[kMaxNumberText + 1];
    unsigned int n = 0;
    while (n < size && n < kMaxNumberText && text[n] != '\0') {
      copy[n] = text[n];
      ++n;
    }
    copy[n] = '\0';
    if (n == 0) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    // Cutting a longer text would silently change the number it holds.
    for (unsigned int i = n; i < size && text[i] != '\0'; ++i) {
      if (text[i] != ' ') ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    }
    const locale_t c = CLocale();
    if (c == static_cast<locale_t>(0)) ZQL_PUSH_RAISE(kZqlErrInsufficientMemory);
    char* end = copy;
    const double v = strtod_l(copy, &end, c);
    if (!OnlyBlanks(end) || !PlainNumber(copy, end)) {
      ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    }
    return Converted(v, out);
  });
}

int CZqlNum::UcTextToDouble(const CZqlUcStr& text, double* out) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int length = text.Length();
    if (length == 0) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    int end = 0;
    const double v = text.Strtod(&end);
    const unsigned short* units = text.UcStr();
    if (end < 0 || end > length) end = 0;
    for (int i = end; i < length; ++i) {
      if (!ZqlUcIsSpace(units[i])) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    }
    for (int i = 0; i < end; ++i) {
      if (IsAsciiLetter(units[i]) && units[i] != 'e' && units[i] != 'E') {
        ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
      }
    }
    return Converted(v, out);
  });
}

int CZqlNum::storeValue(const char* text, unsigned int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    double v = 0.0;
    if (!TextToDouble(text, size, &v)) return 0;
    return storeValue(v);
  });
}

int CZqlNum::storeValue(const CZqlUcStr& text) {
  return ZqlEntry<int>(0, [&]() -> int {
    double v = 0.0;
    if (!UcTextToDouble(text, &v)) return 0;
    return storeValue(v);
  });
}

int CZqlNum::storeNumber(const CZqlNum& src) { return storeValue(src.realValue()); }

int CZqlNum::storeValue(const CZqlData& other) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (&other == this) return 1;
    if (other.isNull()) {
      setNull();
      return 1;
    }
    // A value of this very class (a fetched row's copy) needs no search of
    // the class tree.
    if (typeid(other) == typeid(*this)) return storeNumber(static_cast<const CZqlNum&>(other));
    if (other.is_numeric()) {
      const CZqlNum* num = dynamic_cast<const CZqlNum*>(&other);
      if (num != nullptr) return storeNumber(*num);
    }
    // A single-field interval gives its signed field count, seconds with
    // their fraction (its text may show fewer decimals than it holds).
    if (IsSingleFieldInterval(other)) {
      double v = 0.0;
      if (!other.getValue(&v)) ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
      return storeValue(v);
    }
    // Character values give their number as text.
    if (other.is_character()) {
      char text[kExchangeSize];
      if (!other.getValue(text, kExchangeSize)) {
        ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
      }
      return storeValue(text, kExchangeSize);
    }
    ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  });
}

// ---------------------------------------------------------------------------
// Conversions out
// ---------------------------------------------------------------------------

int CZqlNum::is_exectnumeric() const { return 0; }

int32_t CZqlNum::intValue() const {
  return ZqlEntry<int32_t>(0, [&]() -> int32_t {
    if (isNull()) return 0;
    const double v = realValue();
    if (!(std::fabs(v) <= 2147483647.0)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    return static_cast<int32_t>(v);  // truncates toward zero
  });
}

int CZqlNum::getValue(double* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value == nullptr || isNull()) return 0;
    *value = realValue();
    return 1;
  });
}

int CZqlNum::getValue(long* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value == nullptr || isNull()) return 0;
    const double v = realValue();
    if (!(std::fabs(v) <= 2147483647.0)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    *value = static_cast<long>(v);
    return 1;
  });
}

int CZqlNum::getValue(short* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value == nullptr || isNull()) return 0;
    const double v = realValue();
    if (!(std::fabs(v) <= 32767.0)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    *value = static_cast<short>(v);
    return 1;
  });
}

int CZqlNum::getValue(char* text, unsigned int size) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr || size == 0) return 0;
    if (isNull()) {
      text[0] = '\0';
      return 0;
    }
    char buf[kZqlNumTextSize];
    formatText(buf, sizeof buf);
    return CopyText(buf, text, size);
  });
}

int CZqlNum::getValue(CZqlUcStr* text) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr) return 0;
    if (isNull()) {
      text->Clear();
      return 0;
    }
    char buf[kZqlNumTextSize];
    formatText(buf, sizeof buf);
    text->Copy(buf);
    return 1;
  });
}

int CZqlNum::SQLLiteral(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  if (isNull()) {
    out->Copy("null");
    return 0;
  }
  return getValue(out);
}

// ---------------------------------------------------------------------------
// Compound assignment
// ---------------------------------------------------------------------------

// SMALLINT computes with a SMALLINT or host integer in integers; SMALLINT
// and INTEGER divide by their own class or a host integer with integer
// division. Everything else is computed in double.
static bool IntegerMode(char op, int left, const CZqlNum* right, int hostInt) {
  const int rightType = right != nullptr ? right->Type() : 0;
  if (left == kZqlTypeSmallInt) return hostInt || rightType == kZqlTypeSmallInt;
  if (left == kZqlTypeInteger && op == '/') return hostInt || rightType == kZqlTypeInteger;
  return false;
}

// 64-bit arithmetic with overflow detection, so that no operand pair can
// wrap around; the store rule then range-checks the result.
static void CompoundInt(CZqlNum* left, char op, int64_t b) {
  const int64_t a = static_cast<int64_t>(left->realValue());
  int64_t r = 0;
  bool overflow = false;
  switch (op) {
    case '+': overflow = __builtin_add_overflow(a, b, &r); break;
    case '-': overflow = __builtin_sub_overflow(a, b, &r); break;
    case '*': overflow = __builtin_mul_overflow(a, b, &r); break;
    default:
      if (b == 0) ZQL_PUSH_RAISE(kZqlErrDivisionByZero);
      r = a / b;  // truncates toward zero; a is a 32-bit value
  }
  if (overflow || r < INT32_MIN || r > INT32_MAX) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
  left->storeValue(static_cast<long>(r));
}

void CZqlNum::compound(char op, const SArg& r) {
  ZqlEntryVoid([&] {
    if (isNull()) return;
    if (r.value != nullptr && r.value->isNull()) {
      setNull();
      return;
    }
    if (IntegerMode(op, Type(), r.value, r.hostInt)) {
      const int64_t b = r.value != nullptr ? static_cast<int64_t>(r.value->realValue()) : r.i;
      CompoundInt(this, op, b);
      return;
    }
    const double b = r.value != nullptr ? r.value->realValue() : r.d;
    if (op == '/' && b == 0.0) ZQL_PUSH_RAISE(kZqlErrDivisionByZero);
    storeValue(Apply(op, realValue(), b));
  });
}

// ---------------------------------------------------------------------------
// Binary arithmetic
// ---------------------------------------------------------------------------

// a op b with a host number standing in for a null operand pointer.
static CZqlDouble Arith(char op, const CZqlNum* a, double ah, const CZqlNum* b, double bh) {
  return ZqlEntry<CZqlDouble>(CZqlDouble(), [&]() -> CZqlDouble {
    CZqlDouble result;
    if ((a != nullptr && a->isNull()) || (b != nullptr && b->isNull())) return result;
    const double x = a != nullptr ? a->realValue() : ah;
    const double y = b != nullptr ? b->realValue() : bh;
    if (op == '/' && y == 0.0) ZQL_PUSH_RAISE(kZqlErrDivisionByZero);
    result.storeValue(Apply(op, x, y));
    return result;
  });
}

#define ZQL_NUM_ARITHMETIC_DEF(OP, CH)                                                        \
  CZqlDouble operator OP(const CZqlNum& a, const CZqlNum& b) {                                \
    return Arith(CH, &a, 0, &b, 0);                                                           \
  }                                                                                           \
  CZqlDouble operator OP(const CZqlNum& a, short b) { return Arith(CH, &a, 0, nullptr, b); }  \
  CZqlDouble operator OP(const CZqlNum& a, long b) {                                          \
    return Arith(CH, &a, 0, nullptr, static_cast<double>(b));                                 \
  }                                                                                           \
  CZqlDouble operator OP(const CZqlNum& a, double b) { return Arith(CH, &a, 0, nullptr, b); } \
  CZqlDouble operator OP(const CZqlNum& a, int b) { return Arith(CH, &a, 0, nullptr, b); }    \
  CZqlDouble operator OP(short a, const CZqlNum& b) { return Arith(CH, nullptr, a, &b, 0); }  \
  CZqlDouble operator OP(long a, const CZqlNum& b) {                                          \
    return Arith(CH, nullptr, static_cast<double>(a), &b, 0);                                 \
  }                                                                                           \
  CZqlDouble operator OP(double a, const CZqlNum& b) { return Arith(CH, nullptr, a, &b, 0); } \
  CZqlDouble operator OP(int a, const CZqlNum& b) { return Arith(CH, nullptr, a, &b, 0); }

ZQL_NUM_ARITHMETIC_DEF(+, '+')
ZQL_NUM_ARITHMETIC_DEF(-, '-')
ZQL_NUM_ARITHMETIC_DEF(*, '*')
ZQL_NUM_ARITHMETIC_DEF(/, '/')
#undef ZQL_NUM_ARITHMETIC_DEF

// ---------------------------------------------------------------------------
// Decimal digits and the text forms
// ---------------------------------------------------------------------------

namespace {

// Digit arrays are indexed from 1, as the digits of a number are counted.
constexpr int kMaxDigits = 21;

// The first n (at most 21) significant digits of a >= 0, finite, rounded at
// digit n, into d[1..n], with e such that a = 0.d1d2... x 10^e (zero: all
// digits 0 and e = 1). The digits come from printf, which reads the exact
// binary value; whatever decimal point the locale prints is skipped.
void Digits(double a, int n, int* d, int* e) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*e", n - 1, a);
  int k = 0;
  const char* p = buf;
  for (; *p != '\0' && *p != 'e' && *p != 'E'; ++p) {
    if (*p >= '0' && *p <= '9' && k < n) d[++k] = *p - '0';
  }
  while (k < n) d[++k] = 0;
  const int x = *p != '\0' ? static_cast<int>(std::strtol(p + 1, nullptr, 10)) : 0;
  *e = a == 0.0 ? 1 : x + 1;
}

// The double nearest to 0.d1..dn x 10^e.
double DigitsValue(const int* d, int n, int e) {
  char text[kMaxDigits + 24];
  int k = 0;
  text[k++] = '0';
  text[k++] = '.';
  for (int i = 1; i <= n; ++i) text[k++] = static_cast<char>('0' + d[i]);
  std::snprintf(text + k, sizeof text - static_cast<size_t>(k), "e%d", e);
  const locale_t c = CLocale();
  return c != static_cast<locale_t>(0) ? strtod_l(text, nullptr, c) : -1.0;
}

// The shortest digit string (15 to 17 digits, trailing zeros dropped) that
// reads back as a > 0. Answers its length.
int ShortestDigits(double a, int* d, int* e) {
  int n = 15;
  for (; n < 17; ++n) {
    Digits(a, n, d, e);
    if (DigitsValue(d, n, *e) == a) break;
  }
  if (n == 17) Digits(a, n, d, e);
  while (n > 1 && d[n] == 0) --n;
  return n;
}

int PutText(const char* text, char* out, unsigned int size) {
  const size_t n = std::strlen(text);
  if (n < size) {
    std::memcpy(out, text, n + 1);
    return 1;
  }
  std::memcpy(out, text, size - 1);
  out[size - 1] = '\0';
  return 0;
}

const char* NonFiniteText(double v) {
  if (std::isnan(v)) return "nan";
  return v < 0 ? "-inf" : "inf";
}

// Adds one unit to digit i, carrying through nines; a carry out of the
// first digit makes it 1 and raises the exponent.
void CarryInto(int* d, int i, int* e) {
  for (; i >= 1; --i) {
    if (d[i] != 9) {
      ++d[i];
      return;
    }
    d[i] = 0;
  }
  d[1] = 1;
  ++*e;
}

// The noise rule of the decimal form: digits 17 down to r + 2 make a
// carry (digit plus carry above 4) that lands on digit r + 1, the first
// digit not shown; only a 9 there passes it on into the shown digits.
void AbsorbNoise(int* d, int r, int* e) {
  int carry = 0;
  for (int i = 17; i >= r + 2; --i) carry = d[i] + carry > 4 ? 1 : 0;
  if (carry == 0) return;
  for (int i = r + 2; i <= kMaxDigits; ++i) d[i] = 0;  // absorbed
  if (d[r + 1] != 9) {
    ++d[r + 1];
    return;
  }
  d[r + 1] = 0;
  CarryInto(d, r, e);
}

// Drops the trailing zeros of a fraction, and the point when nothing is
// left after it.
int TrimFraction(char* text, int k) {
  if (std::memchr(text, '.', static_cast<size_t>(k)) == nullptr) return k;
  while (k > 0 && text[k - 1] == '0') --k;
  if (k > 0 && text[k - 1] == '.') --k;
  return k;
}

// Fixed form: "0." and -e zeros, or the e integer digits and "."; then
// digits up to `last`; the fraction trimmed.
int PutFixed(char* text, int k, const int* d, int last, int e) {
  if (e <= 0) {
    text[k++] = '0';
    text[k++] = '.';
    for (int i = 0; i < -e; ++i) text[k++] = '0';
    for (int i = 1; i <= last; ++i) text[k++] = static_cast<char>('0' + d[i]);
  } else {
    for (int i = 1; i <= e; ++i) text[k++] = static_cast<char>('0' + d[i]);
    text[k++] = '.';
    for (int i = e + 1; i <= last; ++i) text[k++] = static_cast<char>('0' + d[i]);
  }
  return TrimFraction(text, k);
}

// Exponential form: the first digit, ".", up to `following` more digits
// without trailing zeros, "E", the sign and three digits of e - 1.
int PutExponential(char* text, int k, const int* d, int following, int e) {
  text[k++] = static_cast<char>('0' + d[1]);
  text[k++] = '.';
  int last = 1 + following;
  while (last > 1 && d[last] == 0) --last;
  for (int i = 2; i <= last; ++i) text[k++] = static_cast<char>('0' + d[i]);
  const int x = e - 1;
  const int m = x < 0 ? -x : x;
  text[k++] = 'E';
  text[k++] = x < 0 ? '-' : '+';
  text[k++] = static_cast<char>('0' + m / 100 % 10);
  text[k++] = static_cast<char>('0' + m / 10 % 10);
  text[k++] = static_cast<char>('0' + m % 10);
  return k;
}

}  // namespace

int ZqlDecimalText(double value, unsigned int p, unsigned int s, char* out, unsigned int size) {
  if (out == nullptr || size == 0) return 0;
  if (!std::isfinite(value)) return PutText(NonFiniteText(value), out, size);
  if (value == 0.0) return PutText("0", out, size);
  if (p > 32) p = 32;
  if (s > p) s = p;
  int d[kMaxDigits + 2] = {0};
  int e = 0;
  Digits(std::fabs(value), kMaxDigits, d, &e);
  const int ip = static_cast<int>(p);
  const int is = static_cast<int>(s);
  // The form follows from e before the noise rule may raise it.
  const bool exponential = e > ip - is || e > 16 || (e < 0 && -e > is);
  int r = exponential ? std::min(ip, 15) : std::min(e + is, 15);
  if (r < 0) r = 0;
  AbsorbNoise(d, r, &e);
  char text[kZqlNumTextSize];
  int k = 0;
  if (value < 0) text[k++] = '-';
  if (exponential) {
    k = PutExponential(text, k, d, ip > 0 ? std::min(ip - 1, 15) : 0, e);
  } else {
    k = PutFixed(text, k, d, r, e);
  }
  text[k] = '\0';
  return PutText(std::strcmp(text, "-0") == 0 ? "0" : text, out, size);
}

int ZqlApproxText(double value, char* out, unsigned int size) {
  if (out == nullptr || size == 0) return 0;
  if (!std::isfinite(value)) return PutText(NonFiniteText(value), out, size);
  if (value == 0.0) return PutText("0", out, size);
  int d[kMaxDigits + 2] = {0};
  int e = 0;
  Digits(std::fabs(value), kMaxDigits, d, &e);
  if (d[17] >= 5) CarryInto(d, 16, &e);  // half up to 16 digits
  for (int i = 17; i <= kMaxDigits; ++i) d[i] = 0;
  char text[kZqlNumTextSize];
  int k = 0;
  if (value < 0) text[k++] = '-';
  const int x = e - 1;
  if (x >= -16 && x <= 16) {
    k = PutFixed(text, k, d, 16, e);
  } else {
    k = PutExponential(text, k, d, 15, e);
  }
  text[k] = '\0';
  return PutText(text, out, size);
}

// The cut is made on the shortest decimal digits that read back as v: a
// value entered as 0.29 is held as 0.28999999999999998, and cutting that
// binary value would lose a unit of the last decimal.
double CZqlExactNum::CutToScale(double v, unsigned int s) {
  if (v == 0.0 || !std::isfinite(v)) return v == 0.0 ? 0.0 : v;
  if (CLocale() == static_cast<locale_t>(0)) {
    // Without a locale object the digits cannot be read back: cut the
    // binary value instead (no digit lies below the scale from 2^53 on).
    if (std::fabs(v) * ZqlNumScale[s] >= 9007199254740992.0) return v;
    const double t = std::trunc(v * ZqlNumScale[s]) / ZqlNumScale[s];
    return t == 0.0 ? 0.0 : t;
  }
  int d[kMaxDigits + 2] = {0};
  int e = 0;
  const int n = ShortestDigits(std::fabs(v), d, &e);
  const int keep = e + static_cast<int>(s);
  if (keep <= 0) return 0.0;
  if (keep >= n) return v;
  const double t = DigitsValue(d, keep, e);
  return v < 0 ? -t : t;
}
