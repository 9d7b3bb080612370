// zqlsdata.h - SQL data values: the abstract value CZqlData with its null
// indicator, type codes and attributes, and the numeric families (exact:
// SMALLINT, INTEGER, NUMERIC, DECIMAL; approximate: FLOAT, REAL, DOUBLE
// PRECISION) with their operators, plus the implementation-defined value.
//
// Every value is created null. storeValue makes it hold a value, setNull
// makes it null again; attributes (precision, scale, ...) are fixed by the
// constructor, which clamps them silently.
//
// "May raise" below means: the operation pushes the condition onto the
// current descriptor area (ZqlPushError) and raises its code (ZqlTryThrow).
// With no try frame or handler open the raise returns and the operation
// answers its failure value (0, or a null result) with the target unchanged.
// Warnings are pushed without raising.
#ifndef ZQL_ZQLSDATA_H
#define ZQL_ZQLSDATA_H

#include <cstdint>

#include "zqlclass.h"

class CZqlObjPack;
class CZqlSmallInt;
class CZqlInt;
class CZqlNumeric;
class CZqlDecimal;
class CZqlFloat;
class CZqlReal;
class CZqlDouble;

// Data type codes answered by Type() (dynamic SQL codes).
enum EZqlDataType : int32_t {
  kZqlTypeImplDef = -1,    // implementation-defined (CZqlImplDef)
  kZqlTypeChar = 1,        // CHARACTER
  kZqlTypeNumeric = 2,     // NUMERIC
  kZqlTypeDecimal = 3,     // DECIMAL
  kZqlTypeInteger = 4,     // INTEGER
  kZqlTypeSmallInt = 5,    // SMALLINT
  kZqlTypeFloat = 6,       // FLOAT
  kZqlTypeReal = 7,        // REAL
  kZqlTypeDouble = 8,      // DOUBLE PRECISION
  kZqlTypeDatetime = 9,    // DATE, TIME, TIMESTAMP (subcode: DateTimeType)
  kZqlTypeInterval = 10,   // year-month and day-time (subcode: IntervalType)
  kZqlTypeVarchar = 12,    // CHARACTER VARYING
  kZqlTypeBit = 14,        // BIT
  kZqlTypeVarbit = 15,     // BIT VARYING
};

// Datetime subcodes answered by DateTimeType().
enum EZqlDateTimeType : int32_t {
  kZqlDtDate = 1,
  kZqlDtTime = 2,
  kZqlDtTimeStamp = 3,
  kZqlDtTimeTz = 4,       // TIME WITH TIME ZONE
  kZqlDtTimeStampTz = 5,  // TIMESTAMP WITH TIME ZONE
};

// Interval types answered by IntervalType(). 1, 2 and 7 are year-month
// intervals, the others day-time intervals.
enum EZqlIType : int32_t {
  kZqlINone = 0,  // not an interval
  kZqlIYear = 1,
  kZqlIMonth = 2,
  kZqlIDay = 3,
  kZqlIHour = 4,
  kZqlIMinute = 5,
  kZqlISecond = 6,
  kZqlIYearToMonth = 7,
  kZqlIDayToHour = 8,
  kZqlIDayToMinute = 9,
  kZqlIDayToSecond = 10,
  kZqlIHourToMinute = 11,
  kZqlIHourToSecond = 12,
  kZqlIMinuteToSecond = 13,
};

// NumScale[i] = 10^i and NumEpsilon[i] = 0.5 * 10^-i for i = 0..32: the
// scale factors and the comparison tolerances of the exact numerics.
extern const double NumScale[33];
extern const double NumEpsilon[33];

// Strips pad from both ends of text: writes zero bytes over the trailing
// pads and answers a pointer to the first character that is not pad (null
// for a null text). Never raises.
char* zql_kill_pad_characters(char* text, char pad);

// ---------------------------------------------------------------------------
// CZqlData: the abstract SQL value.
// ---------------------------------------------------------------------------
class CZqlData : public CZqlObject {
 public:
  // A null value without attached object.
  CZqlData();
  // Copies the null indicator; the copy gets its own duplicate of the
  // attached object. May raise 0xA008.
  CZqlData(const CZqlData& other);
  // Releases the attached object.
  ~CZqlData() override;

  // 1. A new object of the same class, attributes, null indicator and value,
  // owned by the caller. May raise 0xA008.
  CZqlData* duplicate() const override = 0;
  // 2. Releases the attached object. Never raises.
  void Clear() override;

  // 3. Packing. packTo writes the class's items and a terminator (label
  // 0xFFFF, long) and answers the pack's Size(); unpackFrom makes the value
  // null, then reads items up to the terminator, ignoring unknown labels,
  // and answers 1. The value forms do the same; the size forms pack into a
  // pack without buffer. May raise the pack's codes (0xA00C on a damaged
  // buffer, also when a known item has the wrong payload width).
  unsigned int packSize() const override;
  int packTo(CZqlObjPack* pack) const override;
  int unpackFrom(CZqlObjPack* pack) override;
  unsigned int packValueSize() const override;
  int packValueTo(CZqlObjPack* pack) const override;
  int unpackValueFrom(CZqlObjPack* pack) override;

  // 4. The data type code (EZqlDataType).
  virtual int Type() const = 0;
  // 5. Subcodes: 0 here.
  virtual int DateTimeType() const;
  virtual EZqlIType IntervalType() const;
  virtual int ImplDataType() const;
  // 6. Attributes: 0 here.
  virtual unsigned int Length() const;
  virtual unsigned int Precision() const;
  virtual unsigned int Scale() const;
  virtual unsigned int TimePrec() const;
  virtual unsigned int TimeStampPrec() const;
  virtual unsigned int LeadFieldPrec() const;
  virtual unsigned int FracSecPrec() const;
  // 7. Characters of the value's text form: 0 here.
  virtual unsigned int ReturnLength() const;

  // 8. Family tests: 1 for the family, else 0. Never raise.
  virtual int is_numeric() const;
  virtual int is_exactnumeric() const;
  virtual int is_approxnumeric() const;
  virtual int is_character() const;
  virtual int is_binary() const;
  virtual int is_datetime() const;
  virtual int is_interval() const;
  virtual int is_yminterval() const;
  virtual int is_dtinterval() const;
  virtual int is_implement() const;

  // 9. Whether this value can be compared with, assigned from or cast from
  // other's type: 1 or 0 (0 here and for null other). Never raise.
  virtual int is_comparable(const CZqlData* other) const;
  virtual int is_storable(const CZqlData* other) const;
  virtual int is_castable(const CZqlData* other) const;

  // 10. The result type of this op other as a new null value owned by the
  // caller, or null when the operation is not allowed (null here, for null
  // other and when memory is exhausted). Never raise.
  virtual CZqlData* checkAdd(const CZqlData* other) const;
  virtual CZqlData* checkSub(const CZqlData* other) const;
  virtual CZqlData* checkMul(const CZqlData* other) const;
  virtual CZqlData* checkDiv(const CZqlData* other) const;
  virtual CZqlData* checkCat(const CZqlData* other) const;

  // 11. Copies at most count bytes of the raw storage, from byte start on,
  // into buffer; answers the bytes copied (0 for a null buffer, count < 1,
  // or start at or past the end; 0 here). size(): bytes of the raw storage
  // (0 here). Never raise.
  virtual long read(char* buffer, long start, long count) const;
  virtual long size() const;

  // 12. Null indicator. A new value is null; setNull keeps the attributes.
  virtual void setNull();
  virtual int isNull() const;

  // 13. Assign from a host value: 1 on success (the value is then not
  // null), 0 when the conversion is not supported. Conversion errors raise.
  // The text forms take the text and the size of its buffer; the text ends
  // at a NUL or after size bytes.
  // Base: storeValue(const CZqlData&) makes this null for a null source,
  // else goes through the source's text (260-byte buffer);
  // storeValue(const unsigned short*) converts to CZqlUcStr and stores
  // that (0 for null text); the others answer 0.
  virtual int storeValue(double value);
  virtual int storeValue(long value);
  virtual int storeValue(short value);
  virtual int storeValue(const char* text, unsigned int size);
  virtual int storeValue(const CZqlUcStr& text);
  virtual int storeValue(const char* text, unsigned int size, unsigned int* used);
  virtual int storeValue(const CZqlData& other);
  virtual int storeValue(const unsigned short* text);

  // 14. Convert to a host value: 1 on success; 0 when the value is null
  // (text forms then yield an empty string) or the conversion is not
  // supported. The char* form writes at most size - 1 characters and always
  // terminates (nothing for size 0). Conversion errors raise.
  // Base: getValue(unsigned short*, n) goes through getValue(CZqlUcStr*);
  // getValue(CZqlData&) stores this value's text (260-byte buffer) into the
  // target, and makes the target null when this value is null (answer 0);
  // the others answer 0.
  virtual int getValue(double* value) const;
  virtual int getValue(long* value) const;
  virtual int getValue(short* value) const;
  virtual int getValue(char* text, unsigned int size) const;
  virtual int getValue(CZqlUcStr* text) const;
  virtual int getValue(char* text, unsigned int size, unsigned int* used) const;
  virtual int getValue(unsigned short* text, unsigned int size) const;
  virtual int getValue(CZqlData& target) const;

  // 15. The SQL type text into out; 1, or 0 for null out. May raise 0xA008.
  virtual int SQLType(CZqlUcStr* out) const = 0;
  // 16. The value as an SQL literal into out: "null" and answer 0 for a
  // null value, else 1 (0 for null out). May raise 0xA008.
  virtual int SQLLiteral(CZqlUcStr* out) const = 0;

 protected:
  // Copies the null indicator and a duplicate of the attached object.
  CZqlData& operator=(const CZqlData& other);

  // Packing hooks used by packTo and unpackFrom: the class's items without
  // the terminator, one item read (unknown labels ignored), and the value
  // the terminator carries (Type() by default).
  virtual void packItems(CZqlObjPack* pack) const;
  virtual void unpackItem(CZqlObjPack* pack, int label);
  virtual int32_t packEndValue() const;

  // Copies at most count bytes of raw[0..rawSize) from start into buffer.
  static long ReadRaw(const void* raw, long rawSize, char* buffer, long start, long count);
  // Copies the text into buffer as the char* getValue forms do. Pushes the
  // warning "string data, right truncation" when it does not fit.
  static int CopyText(const char* text, char* buffer, unsigned int size);
  // The current payload as a value of exactly sizeof(*out) bytes; raises
  // 0xA00C for another width (a damaged item).
  static int ReadItem(CZqlObjPack* pack, int16_t* out);
  static int ReadItem(CZqlObjPack* pack, int32_t* out);
  static int ReadItem(CZqlObjPack* pack, double* out);

  int32_t null_;          // 1 = null
  CZqlObject* attached_;  // owned; null except for CZqlImplDef
};

// Creates the value that a data descriptor group describes: the current item
// of pack (labelled label) holds the type code; for 9 and 10 the next item,
// labelled label + 1, holds the subcode; the next item, labelled label + 2,
// is the marker before the value's own packed form, which the new value
// reads. Answers the value (owned by the caller), or null after raising:
// 0xA00C for an unknown code or subcode, a missing item or a damaged buffer,
// 0xA00F for types whose value classes are not part of this build
// (character, bit, datetime and interval values), 0xA00B for a null pack.
CZqlData* ZqlUnpackDataDescriptor(CZqlObjPack* pack, int label);
// Writes the group that ZqlUnpackDataDescriptor reads: label with Type(),
// for 9 and 10 label + 1 with the subcode, label + 2 as marker, then the
// value's packTo. Answers 1. May raise the pack's codes.
int ZqlPackDataDescriptor(CZqlObjPack* pack, int label, const CZqlData& value);

// ---------------------------------------------------------------------------
// Numerics
// ---------------------------------------------------------------------------

// Bytes that hold every numeric text form and its terminator.
constexpr unsigned int kZqlNumTextSize = 64;

// Comparison operators, declared on CZqlNum for each right operand type.
#define ZQL_NUM_COMPARE_ONE(OP, SPEC)                    \
  virtual int operator OP(const CZqlSmallInt& b) const SPEC; \
  virtual int operator OP(const CZqlInt& b) const SPEC;      \
  virtual int operator OP(const CZqlNumeric& b) const SPEC;  \
  virtual int operator OP(const CZqlDecimal& b) const SPEC;  \
  virtual int operator OP(const CZqlFloat& b) const SPEC;    \
  virtual int operator OP(const CZqlReal& b) const SPEC;     \
  virtual int operator OP(const CZqlDouble& b) const SPEC;   \
  virtual int operator OP(short b) const SPEC;               \
  virtual int operator OP(long b) const SPEC;                \
  virtual int operator OP(double b) const SPEC;              \
  virtual int operator OP(int b) const SPEC;
#define ZQL_NUM_COMPARE_ALL(SPEC) \
  ZQL_NUM_COMPARE_ONE(>, SPEC)    \
  ZQL_NUM_COMPARE_ONE(>=, SPEC)   \
  ZQL_NUM_COMPARE_ONE(==, SPEC)   \
  ZQL_NUM_COMPARE_ONE(<=, SPEC)   \
  ZQL_NUM_COMPARE_ONE(<, SPEC)    \
  ZQL_NUM_COMPARE_ONE(!=, SPEC)

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
  // divided by an interval would give an interval, whose classes are not
  // part of this build: null for now. Anything else: null.
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
  // class's rules (may raise "numeric value out of range"). Character or
  // single-field interval source: through its text. Else raises
  // "Expression cannot be cast to the specified type".
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

  // Exact with exact: equal when |a - b| < NumEpsilon[max(scales)], ordered
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

// NUMERIC(p, s): a double cut to s decimals whose magnitude stays below
// 10^(p - s). Precision above 31 becomes 32, scale above 31 becomes 32, a
// scale above the precision becomes the precision.
class CZqlNumeric : public CZqlExactNum {
 public:
  explicit CZqlNumeric(unsigned int precision = 12, unsigned int scale = 0);
  CZqlNumeric(const CZqlNumeric& other) = default;
  ~CZqlNumeric() override;
  CZqlNumeric* duplicate() const override;  // may raise 0xA008

  int Type() const override { return kZqlTypeNumeric; }
  unsigned int ReturnLength() const override { return precision_ + 2; }
  long read(char* buffer, long start, long count) const override;
  long size() const override { return 8; }

  // Raises "numeric value out of range" when |v| >= 10^(p - s) or v is not
  // finite, marking the value null first; else keeps v cut to the scale.
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  using CZqlNum::storeValue;
  double realValue() const override;
  // "NUMERIC", "NUMERIC(p)" when p is not 12, "NUMERIC(p,s)" when s is not 0.
  int SQLType(CZqlUcStr* out) const override;
  // Reads the packed form; attributes out of their limits are clamped.
  int unpackFrom(CZqlObjPack* pack) override;

  // ++ and -- add and subtract 1 without any check.
  ZQL_NUM_LEAF_OPERATORS(CZqlNumeric)

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;

 private:
  double value_;
};

// DECIMAL(p, s): as NUMERIC, without the magnitude limit (a non-finite
// value still raises, leaving the value unchanged).
class CZqlDecimal : public CZqlExactNum {
 public:
  explicit CZqlDecimal(unsigned int precision = 12, unsigned int scale = 0);
  CZqlDecimal(const CZqlDecimal& other) = default;
  ~CZqlDecimal() override;
  CZqlDecimal* duplicate() const override;  // may raise 0xA008

  int Type() const override { return kZqlTypeDecimal; }
  unsigned int ReturnLength() const override { return precision_ + 2; }
  long read(char* buffer, long start, long count) const override;
  long size() const override { return 8; }

  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  using CZqlNum::storeValue;
  double realValue() const override;
  // "DECIMAL", "DECIMAL(p)" when p is not 12, "DECIMAL(p,s)" when s is not 0.
  int SQLType(CZqlUcStr* out) const override;
  int unpackFrom(CZqlObjPack* pack) override;

  ZQL_NUM_LEAF_OPERATORS(CZqlDecimal)

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;

 private:
  double value_;
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

// ---------------------------------------------------------------------------
// Implementation-defined values
// ---------------------------------------------------------------------------

// The raw bytes of an implementation-defined value: a body shared between
// duplicates (reference count, byte count, bytes), made only for 1 to 4096
// bytes; any other count, or exhausted memory, leaves the object without
// body (size 0).
class CZqlImplDefFxd : public CZqlObject {
 public:
  // Copies length bytes of data (borrowed for the call). Never raises.
  CZqlImplDefFxd(const void* data, long length);
  CZqlImplDefFxd(const CZqlImplDefFxd&) = delete;
  CZqlImplDefFxd& operator=(const CZqlImplDefFxd&) = delete;
  // Releases this holder's share of the body.
  ~CZqlImplDefFxd() override;
  // A new holder sharing the body, owned by the caller. May raise 0xA008.
  CZqlImplDefFxd* duplicate() const override;

  // As CZqlData::read and size over the bytes. Never raise.
  long read(char* buffer, long start, long count) const;
  long size() const;
  const void* data() const;  // the bytes, null without body

 private:
  struct SBody;
  CZqlImplDefFxd() : body_(nullptr) {}
  SBody* body_;
};

// A value of a type only the driver knows: its type number, type name and
// raw bytes (in the attached CZqlImplDefFxd).
class CZqlImplDef : public CZqlData {
 public:
  CZqlImplDef();
  CZqlImplDef(const CZqlImplDef& other) = default;  // duplicates the bytes' holder
  CZqlImplDef& operator=(const CZqlImplDef&) = delete;
  ~CZqlImplDef() override;
  CZqlImplDef* duplicate() const override;  // may raise 0xA008

  int Type() const override { return kZqlTypeImplDef; }
  int ImplDataType() const override { return type_; }
  int is_implement() const override { return 1; }
  long read(char* buffer, long start, long count) const override;
  long size() const override;  // the byte count

  // Sets the implementation type number / the type name (may raise 0xA008).
  void setType(int type) { type_ = type; }
  void setName(const CZqlUcStr& name);
  const CZqlUcStr& Name() const { return name_; }
  // Replaces the raw bytes by a copy of data (1 to 4096 bytes) and makes
  // the value not null. Answers 1; 0 for another length; raises 0xA008
  // when memory is exhausted.
  int setBytes(const void* data, long length);

  int SQLType(CZqlUcStr* out) const override;     // "." and the type name
  int SQLLiteral(CZqlUcStr* out) const override;  // empty (1), or "null" (0)

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;

 private:
  const CZqlImplDefFxd* bytes() const;

  int32_t type_;
  CZqlUcStr name_;
};

#undef ZQL_NUM_COMPARE_ONE
#undef ZQL_NUM_COMPARE_ALL
#undef ZQL_NUM_COMPOUND
#undef ZQL_NUM_LEAF_OPERATORS

#endif  // ZQL_ZQLSDATA_H
