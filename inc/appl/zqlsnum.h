// zqlsnum.h - the numeric families: exact (SMALLINT, INTEGER, NUMERIC,
// DECIMAL) and approximate (FLOAT, REAL, DOUBLE PRECISION), with their
// operators.
// Reached through zqlsdata.h (and zqlappl.h), whose opening comment says
// what "may raise" means for every value.

#ifndef ZQL_ZQLSNUM_H
#define ZQL_ZQLSNUM_H

#include "zqlsbase.h"

ZQL_PUBLIC_BEGIN

// ---------------------------------------------------------------------------
// Numerics
// ---------------------------------------------------------------------------

// Bytes that hold every numeric text form and its terminator.
constexpr unsigned int kZqlNumTextSize = 64;

// Comparison operators, declared on CZqlNum for each right operand type.
#define ZQL_NUM_COMPARE_ONE(OP, QUAL)                    \
  virtual int operator OP(const CZqlSmallInt& b) const QUAL; \
  virtual int operator OP(const CZqlInt& b) const QUAL;      \
  virtual int operator OP(const CZqlNumeric& b) const QUAL;  \
  virtual int operator OP(const CZqlDecimal& b) const QUAL;  \
  virtual int operator OP(const CZqlFloat& b) const QUAL;    \
  virtual int operator OP(const CZqlReal& b) const QUAL;     \
  virtual int operator OP(const CZqlDouble& b) const QUAL;   \
  virtual int operator OP(short b) const QUAL;               \
  virtual int operator OP(long b) const QUAL;                \
  virtual int operator OP(double b) const QUAL;              \
  virtual int operator OP(int b) const QUAL;
#define ZQL_NUM_COMPARE_ALL(QUAL) \
  ZQL_NUM_COMPARE_ONE(>, QUAL)    \
  ZQL_NUM_COMPARE_ONE(>=, QUAL)   \
  ZQL_NUM_COMPARE_ONE(==, QUAL)   \
  ZQL_NUM_COMPARE_ONE(<=, QUAL)   \
  ZQL_NUM_COMPARE_ONE(<, QUAL)    \
  ZQL_NUM_COMPARE_ONE(!=, QUAL)

// The abstract numeric: precision and scale, the compatibility and result
// type rules, text input and the engine of the compound assignments.
class CZqlNum : public CZqlData {
 public:
  CZqlNum(unsigned int precision, unsigned int scale);
  CZqlNum(const CZqlNum& other) = default;

  unsigned int Precision() const override { return precision_; }
  unsigned int Scale() const override { return scale_; }
  int is_numeric() const override { return 1; }

  // Comparable and storable with any numeric; castable from any numeric,
  // any character string and the single-field intervals.
  int is_comparable(const CZqlData* other) const override;
  int is_storable(const CZqlData* other) const override;
  int is_castable(const CZqlData* other) const override;
  // Numeric with numeric: a new CZqlDouble. An exact numeric times or
  // divided by an interval: the interval result (ZqlIntervalProductType);
  // an approximate one: null. Anything else: null.
  CZqlData* checkAdd(const CZqlData* other) const override;
  CZqlData* checkSub(const CZqlData* other) const override;
  CZqlData* checkMul(const CZqlData* other) const override;
  CZqlData* checkDiv(const CZqlData* other) const override;

  // Text input: at most 64 characters converted by strtod in the "C"
  // locale; only blanks may surround the number, and a text of blanks only
  // stores 0. Raises "invalid character value for cast" (an empty or
  // malformed text, hexadecimal, inf or nan) or "numeric value out of
  // range" (overflow), then stores the double by the class's rules.
  int storeValue(const char* text, unsigned int size) override;
  // As above through CZqlUcStr::Strtod; every unit after the number must be
  // a space (ZqlUcIsSpace).
  int storeValue(const CZqlUcStr& text) override;
  // Same object: 1. Null source: this becomes null. Numeric source: by the
  // class's rules (may raise "numeric value out of range"). Character
  // source: through its text. Single-field interval: its signed field count
  // (getValue(double*)). Else raises "Expression cannot be cast to the
  // specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlData::storeValue;

  // getValue(double*): the value. getValue(long*): intValue(). getValue
  // (short*): raises "numeric value out of range" when the magnitude
  // exceeds 32767, else the value truncated toward zero. getValue
  // (CZqlUcStr*) and getValue(char*, size): the text form (a cut text
  // pushes the warning "string data, right truncation"). All answer 0 for
  // a null value.
  int getValue(double* value) const override;
  int getValue(long* value) const override;
  int getValue(short* value) const override;
  int getValue(char* text, unsigned int size) const override;
  int getValue(CZqlUcStr* text) const override;
  using CZqlData::getValue;
  // The text form, or "null" (answer 0) for a null value.
  int SQLLiteral(CZqlUcStr* out) const override;

  // 1 for the exact numerics.
  virtual int is_exectnumeric() const;
  // The value truncated toward zero as a 32-bit integer; raises "numeric
  // value out of range" when the magnitude exceeds 2147483647. 0 for null.
  virtual int32_t intValue() const;
  // The value as a double; 0 for null. Never raises.
  virtual double realValue() const = 0;

  // Comparisons: 1 or 0; 0 whenever an operand is null (!= included).
  // Exact with exact use the scale tolerance (CZqlExactNum), everything
  // else plain double comparison. Never raise.
  ZQL_NUM_COMPARE_ALL(= 0)

 protected:
  // One right operand of a compound assignment.
  struct SArg {
    const CZqlNum* value;  // the operand, or null for a host number
    int hostInt;           // 1: host short, int or long (in i and d)
    int64_t i;
    double d;
  };
  static SArg Arg(const CZqlNum& v) { return SArg{&v, 0, 0, 0.0}; }
  static SArg Arg(long v) {
    return SArg{nullptr, 1, static_cast<int64_t>(v), static_cast<double>(v)};
  }
  static SArg Arg(double v) { return SArg{nullptr, 0, 0, v}; }

  // this op= r for op in + - * /: nothing for a null left operand; a null
  // r makes it null; otherwise computes (integer or double arithmetic as
  // the family's rules say) and stores the result through the left type's
  // store rule. Division by zero raises and leaves the value unchanged.
  void compound(char op, const SArg& r);
  // Stores a numeric source by the class's rules (getValue(short*) for
  // SMALLINT, getValue(long*) for INTEGER, realValue() otherwise).
  virtual int storeNumber(const CZqlNum& src);
  // The text of a non-null value into out, terminated. REQUIRES: size is
  // at least kZqlNumTextSize, which holds every numeric text form.
  virtual void formatText(char* out, unsigned int size) const = 0;

  // Converts text (at most size bytes) as storeValue(const char*, ...)
  // describes. Answers 1 with *out set, or 0 after raising.
  static int TextToDouble(const char* text, unsigned int size, double* out);
  static int UcTextToDouble(const CZqlUcStr& text, double* out);

  uint32_t precision_;
  uint32_t scale_;
};

// The text forms of the numerics into out (at most size - 1 characters,
// always terminated for size > 0). Answer 1 when the whole text fitted, 0
// when it was cut (or out is null or size is 0). Never raise.
// Decimal form of NUMERIC(p, s) and DECIMAL(p, s): fixed or exponential
// ("1.2345E+005") by the magnitude, digits beyond the scale truncated, with
// representation noise below the 17th digit absorbed. p and s are clamped
// as NUMERIC's attributes are.
int ZqlDecimalText(double value, unsigned int p, unsigned int s, char* out, unsigned int size);
// Approximate form: 16 significant digits rounded half up, fixed when the
// decimal exponent lies in -16..16, else exponential; non-finite values as
// "inf", "-inf", "nan".
int ZqlApproxText(double value, char* out, unsigned int size);

// The exact numerics: comparisons with the scale tolerance.
class CZqlExactNum : public CZqlNum {
 public:
  CZqlExactNum(unsigned int precision, unsigned int scale) : CZqlNum(precision, scale) {}
  CZqlExactNum(const CZqlExactNum& other) = default;

  int is_exactnumeric() const override { return 1; }
  int is_exectnumeric() const override { return 1; }

  // Exact with exact: equal when |a - b| < ZqlNumEpsilon[max(scales)], ordered
  // when the difference is at least that tolerance. Exact with a host
  // number: the tolerance of this scale. Exact with approximate: plain.
  ZQL_NUM_COMPARE_ALL(override)

 protected:
  // The decimal text form with this precision and scale.
  void formatText(char* out, unsigned int size) const override;
  // v truncated toward zero to s decimals (-0 becomes 0). The cut is made
  // on the shortest decimal form that reads back as v, so that 0.29 keeps
  // 0.29 instead of losing a unit to the binary representation.
  static double CutToScale(double v, unsigned int s);
  // Applies the NUMERIC/DECIMAL attribute limits.
  static void ClampAttributes(uint32_t* precision, uint32_t* scale);
  // Answers 1 when the comparison op of a and b holds with tolerance eps.
  static int Holds(int op, double a, double b, double eps);

 private:
  int compare(int op, const CZqlNum& b) const;
  int compareHost(int op, double b) const;
};

// The approximate numerics: plain double comparisons, no range on store.
class CZqlApproxNum : public CZqlNum {
 public:
  explicit CZqlApproxNum(unsigned int precision) : CZqlNum(precision, 0), value_(0.0) {}
  CZqlApproxNum(const CZqlApproxNum& other) = default;

  int is_approxnumeric() const override { return 1; }
  unsigned int ReturnLength() const override { return 25; }
  long read(char* buffer, long start, long count) const override;
  long size() const override { return 8; }

  // Store the number as a double, unchanged. Never raise.
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  using CZqlNum::storeValue;
  double realValue() const override;

  ZQL_NUM_COMPARE_ALL(override)

 protected:
  // The approximate text form.
  void formatText(char* out, unsigned int size) const override;
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  double value_;

 private:
  int compare(int op, const CZqlNum* b, double host) const;
};

// Assignment, compound assignment, increment, decrement and unary minus of
// a numeric leaf class. Each returns the object. Assignment may raise as
// the matching storeValue does (the int form acts as long); compound
// assignment follows CZqlNum::compound. ++, -- and unary minus change a
// non-null value in place (each class states its limits).
#define ZQL_NUM_COMPOUND(CLS, OP, CH)                                         \
  CLS& operator OP(const CZqlNum& b) {                                        \
    compound(CH, Arg(b));                                                     \
    return *this;                                                             \
  }                                                                           \
  CLS& operator OP(short b) {                                                 \
    compound(CH, Arg(static_cast<long>(b)));                                  \
    return *this;                                                             \
  }                                                                           \
  CLS& operator OP(long b) {                                                  \
    compound(CH, Arg(b));                                                     \
    return *this;                                                             \
  }                                                                           \
  CLS& operator OP(double b) {                                                \
    compound(CH, Arg(b));                                                     \
    return *this;                                                             \
  }                                                                           \
  CLS& operator OP(int b) {                                                   \
    compound(CH, Arg(static_cast<long>(b)));                                  \
    return *this;                                                             \
  }
#define ZQL_NUM_LEAF_OPERATORS(CLS)                                           \
  CLS& operator=(const CLS& b) {                                              \
    storeValue(static_cast<const CZqlData&>(b));                              \
    return *this;                                                             \
  }                                                                           \
  CLS& operator=(const CZqlNum& b) {                                          \
    storeValue(static_cast<const CZqlData&>(b));                              \
    return *this;                                                             \
  }                                                                           \
  CLS& operator=(short b) {                                                   \
    storeValue(b);                                                            \
    return *this;                                                             \
  }                                                                           \
  CLS& operator=(long b) {                                                    \
    storeValue(b);                                                            \
    return *this;                                                             \
  }                                                                           \
  CLS& operator=(double b) {                                                  \
    storeValue(b);                                                            \
    return *this;                                                             \
  }                                                                           \
  CLS& operator=(int b) {                                                     \
    storeValue(static_cast<long>(b));                                         \
    return *this;                                                             \
  }                                                                           \
  ZQL_NUM_COMPOUND(CLS, +=, '+')                                              \
  ZQL_NUM_COMPOUND(CLS, -=, '-')                                              \
  ZQL_NUM_COMPOUND(CLS, *=, '*')                                              \
  ZQL_NUM_COMPOUND(CLS, /=, '/')                                              \
  CLS& operator++();                                                          \
  CLS& operator--();                                                          \
  CLS& operator-();

// SMALLINT: a 16-bit value; stored values have magnitude at most 32767
// (from short any 16-bit value is taken).
class CZqlSmallInt : public CZqlExactNum {
 public:
  CZqlSmallInt();
  CZqlSmallInt(const CZqlSmallInt& other) = default;
  ~CZqlSmallInt() override;
  CZqlSmallInt* duplicate() const override;  // may raise 0xA008

  int Type() const override { return kZqlTypeSmallInt; }
  unsigned int ReturnLength() const override { return 6; }
  long read(char* buffer, long start, long count) const override;
  long size() const override { return 2; }

  // From double: raises "numeric value out of range" when the magnitude
  // exceeds 32767 (or the value is not finite), else truncates toward
  // zero. From long: raises when the magnitude exceeds 32767. From short:
  // unchanged.
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  using CZqlNum::storeValue;
  int getValue(short* value) const override;  // the value, unchecked
  using CZqlNum::getValue;
  int32_t intValue() const override;
  double realValue() const override;
  int SQLType(CZqlUcStr* out) const override;  // "SMALLINT"

  // ++ raises at 32767, -- at -32768, unary minus at -32768 ("numeric
  // value out of range"); nothing happens to a null value.
  ZQL_NUM_LEAF_OPERATORS(CZqlSmallInt)

 protected:
  int storeNumber(const CZqlNum& src) override;
  void formatText(char* out, unsigned int size) const override;
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;

 private:
  int16_t value_;
};

// INTEGER: a 32-bit value; from double and text the magnitude is at most
// 2147483647, from long any 32-bit value is taken.
class CZqlInt : public CZqlExactNum {
 public:
  CZqlInt();
  CZqlInt(const CZqlInt& other) = default;
  ~CZqlInt() override;
  CZqlInt* duplicate() const override;  // may raise 0xA008

  int Type() const override { return kZqlTypeInteger; }
  unsigned int ReturnLength() const override { return precision_; }
  long read(char* buffer, long start, long count) const override;
  long size() const override { return 4; }

  // From double: raises "numeric value out of range" when the magnitude
  // exceeds 2147483647 (or the value is not finite), else truncates toward
  // zero. From long: raises outside the 32-bit range. From short: unchanged.
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  using CZqlNum::storeValue;
  int getValue(long* value) const override;  // the value, unchecked
  using CZqlNum::getValue;
  int32_t intValue() const override;  // the value, unchecked
  double realValue() const override;
  int SQLType(CZqlUcStr* out) const override;  // "INTEGER"

  // ++ raises at 2147483647, -- and unary minus at -2147483648.
  ZQL_NUM_LEAF_OPERATORS(CZqlInt)

 protected:
  int storeNumber(const CZqlNum& src) override;
  void formatText(char* out, unsigned int size) const override;
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  int32_t packEndValue() const override { return kZqlTypeSmallInt; }

 private:
  int32_t value_;
};

// NUMERIC and DECIMAL: a double cut to s decimals. Precision above 31
// becomes 32, scale above 31 becomes 32, a scale above the precision becomes
// the precision. The two differ only in their name and in the magnitude
// they accept.
class CZqlScaledNum : public CZqlExactNum {
 public:
  unsigned int ReturnLength() const override { return precision_ + 2; }
  long read(char* buffer, long start, long count) const override;
  long size() const override { return 8; }

  // Raises "numeric value out of range" for a value the type does not
  // accept (see fits); else keeps v cut to the scale.
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  using CZqlNum::storeValue;
  double realValue() const override;
  // "NAME", "NAME(p)" when p is not 12, "NAME(p,s)" when s is not 0.
  int SQLType(CZqlUcStr* out) const override;
  // Reads the packed form; attributes out of their limits are clamped.
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  CZqlScaledNum(unsigned int precision, unsigned int scale);
  CZqlScaledNum(const CZqlScaledNum& other) = default;
  // The type's name in its SQL type text.
  virtual const char* typeName() const = 0;
  // Whether value fits the type. A value that does not fit is refused and
  // leaves the value null; a non-finite one that "fits" is refused too but
  // leaves the value unchanged.
  virtual bool fits(double value) const = 0;
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  // ++, -- and unary minus of the leaves; a null value stays null.
  void addOne(double step);
  void negate();

 private:
  double value_;
};

// NUMERIC(p, s): the magnitude stays below 10^(p - s).
class CZqlNumeric : public CZqlScaledNum {
 public:
  explicit CZqlNumeric(unsigned int precision = 12, unsigned int scale = 0)
      : CZqlScaledNum(precision, scale) {}
  CZqlNumeric(const CZqlNumeric& other) = default;
  CZqlNumeric* duplicate() const override { return new CZqlNumeric(*this); }
  int Type() const override { return kZqlTypeNumeric; }

  // ++ and -- add and subtract 1 without any check.
  ZQL_NUM_LEAF_OPERATORS(CZqlNumeric)

 protected:
  const char* typeName() const override { return "NUMERIC"; }
  bool fits(double value) const override;
};

// DECIMAL(p, s): as NUMERIC, without the magnitude limit.
class CZqlDecimal : public CZqlScaledNum {
 public:
  explicit CZqlDecimal(unsigned int precision = 12, unsigned int scale = 0)
      : CZqlScaledNum(precision, scale) {}
  CZqlDecimal(const CZqlDecimal& other) = default;
  CZqlDecimal* duplicate() const override { return new CZqlDecimal(*this); }
  int Type() const override { return kZqlTypeDecimal; }

  ZQL_NUM_LEAF_OPERATORS(CZqlDecimal)

 protected:
  const char* typeName() const override { return "DECIMAL"; }
  bool fits(double) const override { return true; }
};

// FLOAT(p): precision default 16, at most 32.
class CZqlFloat : public CZqlApproxNum {
 public:
  explicit CZqlFloat(unsigned int precision = 16);
  CZqlFloat(const CZqlFloat& other) = default;
  ~CZqlFloat() override;
  CZqlFloat* duplicate() const override;  // may raise 0xA008
  int Type() const override { return kZqlTypeFloat; }
  int SQLType(CZqlUcStr* out) const override;  // "FLOAT", "FLOAT(p)" if p != 16
  int unpackFrom(CZqlObjPack* pack) override;
  ZQL_NUM_LEAF_OPERATORS(CZqlFloat)

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
};

// REAL: precision 32; held as a double (not narrowed).
class CZqlReal : public CZqlApproxNum {
 public:
  CZqlReal();
  CZqlReal(const CZqlReal& other) = default;
  ~CZqlReal() override;
  CZqlReal* duplicate() const override;  // may raise 0xA008
  int Type() const override { return kZqlTypeReal; }
  int SQLType(CZqlUcStr* out) const override;  // "REAL"
  ZQL_NUM_LEAF_OPERATORS(CZqlReal)
};

// DOUBLE PRECISION: precision 64; the result type of numeric arithmetic.
class CZqlDouble : public CZqlApproxNum {
 public:
  CZqlDouble();
  CZqlDouble(const CZqlDouble& other) = default;
  ~CZqlDouble() override;
  CZqlDouble* duplicate() const override;  // may raise 0xA008
  int Type() const override { return kZqlTypeDouble; }
  int SQLType(CZqlUcStr* out) const override;  // "DOUBLE PRECISION"
  ZQL_NUM_LEAF_OPERATORS(CZqlDouble)
};

// Binary arithmetic of the numerics: computed in double, answered as a
// CZqlDouble by value; null when an operand is null. Division by a zero
// operand raises "division by zero" (the answer is then null).
#define ZQL_NUM_ARITHMETIC(OP)                              \
  CZqlDouble operator OP(const CZqlNum& a, const CZqlNum& b); \
  CZqlDouble operator OP(const CZqlNum& a, short b);          \
  CZqlDouble operator OP(const CZqlNum& a, long b);           \
  CZqlDouble operator OP(const CZqlNum& a, double b);         \
  CZqlDouble operator OP(const CZqlNum& a, int b);            \
  CZqlDouble operator OP(short a, const CZqlNum& b);          \
  CZqlDouble operator OP(long a, const CZqlNum& b);           \
  CZqlDouble operator OP(double a, const CZqlNum& b);         \
  CZqlDouble operator OP(int a, const CZqlNum& b);
ZQL_NUM_ARITHMETIC(+)
ZQL_NUM_ARITHMETIC(-)
ZQL_NUM_ARITHMETIC(*)
ZQL_NUM_ARITHMETIC(/)
#undef ZQL_NUM_ARITHMETIC

#undef ZQL_NUM_COMPARE_ONE
#undef ZQL_NUM_COMPARE_ALL
#undef ZQL_NUM_COMPOUND
#undef ZQL_NUM_LEAF_OPERATORS

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSNUM_H
