// zqlsdata.h - SQL data values: the abstract value CZqlData with its null
// indicator, type codes and attributes, and the numeric families (exact:
// SMALLINT, INTEGER, NUMERIC, DECIMAL; approximate: FLOAT, REAL, DOUBLE
// PRECISION) with their operators, the datetimes (DATE, TIME, TIMESTAMP)
// and intervals (year-month, day-time) with their host records, plus the
// implementation-defined value.
//
// Every value is created null. storeValue makes it hold a value, setNull
// makes it null again; attributes (precision, scale, ...) are fixed by the
// constructor, which clamps them silently.
//
// "May raise" below means: the operation pushes the condition onto the
// current descriptor area (ZqlPushError) and raises its code into the
// caller's frame or handler. With neither open the operation takes the raise
// itself (ZqlEntry) and answers its failure value (0, or a null result) with
// the target unchanged.
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
// 0xA00B for a null pack.
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

// ---------------------------------------------------------------------------
// Character strings
// ---------------------------------------------------------------------------

// Collating coercibility of a character value: which collation an operator
// takes when its operands name different ones.
enum EZqlCAttr : int32_t {
  kZqlCoercible = 0,    // the default: yields to the other operand
  kZqlImplicit = 1,     // from a column's or character set's definition
  kZqlNoCollating = 2,  // no collating sequence (two implicit ones met)
  kZqlExplicit = 3,     // named by a COLLATE clause
};

// Which ends CZqlChar::Trim trims.
enum EZqlTrimSpec : int32_t {
  kZqlTrimLeading = 0,
  kZqlTrimTrailing = 1,
  kZqlTrimBoth = 2,
};

// Longest declared length of a character value.
constexpr unsigned int kZqlMaxCharLength = 256;

// CHARACTER(n), CHARACTER VARYING(n) and their NATIONAL forms. The text is
// held as Unicode without its trailing blanks; the logical value is that
// text padded with blanks up to the declared length (fixed) or the current
// length (varying). Every value carries a character set (for 8-bit text)
// and a collation with its coercibility; identifier 0 names the default.
//
// Store rules: cutting text or another character value to the declared
// length pushes the warning "string data, right truncation"; a value of
// another type whose text does not fit raises it instead.
class CZqlChar : public CZqlData {
 public:
  // A null fixed value of length (0 becomes 1, above 256 becomes 256) in
  // the default character set and collation, coercible; its current length
  // is the declared length.
  explicit CZqlChar(unsigned int length = 1);
  CZqlChar(const CZqlChar& other) = default;  // may raise 0xA008
  ~CZqlChar() override;
  CZqlChar* duplicate() const override;  // may raise 0xA008

  // Attributes. setCharSet looks name up (the errors of an undefined
  // character set are raised and the value keeps its set), takes the set's
  // identifier and name and makes the coercibility implicit. setDefCharSet
  // returns to the default set, coercible. setCollName and setCollIdent
  // select a collation by name or identifier (a name that is not defined
  // raises its loading error and changes nothing); setCollIdent makes the
  // coercibility explicit. setCharSet, setCollName and setCollIdent answer
  // 1, or 0 when a raise found nothing open.
  void setVarying() { flags_ |= kVarying; }
  void setNational() { flags_ |= kNational; }
  int setCharSet(const CZqlUcStr& name);
  void setDefCharSet();
  int setCollName(const CZqlUcStr& name);
  int setCollIdent(unsigned long id);
  void setCoerc(EZqlCAttr coerc);

  int Type() const override { return is_varying() ? kZqlTypeVarchar : kZqlTypeChar; }
  unsigned int Length() const override { return length_; }
  // The current length when varying, else the declared length.
  unsigned int ReturnLength() const override;
  // Bytes of the text in its character set plus 2 per padding blank.
  unsigned int ByteSize() const;
  const CZqlUcStr& CollName() const { return collName_; }
  const CZqlUcStr& CharSetName() const { return charSetName_; }
  unsigned long CollIdent() const { return collId_; }
  unsigned long CharSetIdent() const { return charSetId_; }
  EZqlCAttr Coercibility() const { return coerc_; }
  int is_national() const { return (flags_ & kNational) != 0; }
  int is_varying() const { return (flags_ & kVarying) != 0; }
  // The text without its padding; valid until the value changes.
  const CZqlUcStr& charValue() const { return text_; }
  int is_character() const override { return 1; }

  // Comparable with and storable from a character value whose collation
  // does not conflict with this one's; castable from every type. checkCat
  // with a character value: a varying-when-either value whose length is
  // the sum of both (at most 256) with the dyadic collation; else null.
  int is_comparable(const CZqlData* other) const override;
  int is_storable(const CZqlData* other) const override;
  int is_castable(const CZqlData* other) const override;
  CZqlData* checkCat(const CZqlData* other) const override;

  // The padded text's 16-bit units as bytes, the terminating unit
  // included; size() is the padded text's byte size without it.
  long read(char* buffer, long start, long count) const override;
  long size() const override;

  // 8-bit text (up to a NUL, at most size bytes) in the value's character
  // set; the character count beyond the declared length is cut with the
  // warning. Trailing blanks are dropped and come back as padding.
  int storeValue(const char* text, unsigned int size) override;
  // As above; *used (when not null) receives the bytes read.
  int storeValue(const char* text, unsigned int size, unsigned int* used) override;
  // As above with the character set of identifier charset (0: default).
  int storeValue(const char* text, unsigned int size, unsigned long charset);
  // 16-bit text, by the same rules.
  int storeValue(const CZqlUcStr& text) override;
  // Numbers in the forms "%E", "%ld" and "%d"; a form longer than the
  // declared length raises "string data, right truncation" (unchanged).
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  // Same object: 1. Null source: this becomes null. Character source: the
  // dyadic collation becomes this one's (a conflict of explicit collations
  // raises "not permitted collating sequence"), its logical value is cut
  // with the warning. Bit string: one character per 16 bits (a zero unit
  // raises "invalid character value for cast"); cut with the truncation
  // warning, fewer characters than the declared length push "implicit
  // zero-bit padding". Any other type: its text without trailing blanks in
  // the default set; longer than the declared length raises "string data,
  // right truncation"; a type without text raises "Expression cannot be
  // cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlData::storeValue;

  // The logical value as 8-bit text in the character set (unmappable
  // characters as escapes), at most size - 1 bytes, always terminated; a
  // cut pushes the truncation warning. *used receives the bytes written.
  int getValue(char* text, unsigned int size) const override;
  int getValue(char* text, unsigned int size, unsigned int* used) const override;
  int getValue(CZqlUcStr* text) const override;  // the logical value
  // The number at the start of the text ("C" locale, at most 31 bytes):
  // 0 when none can be read; a number outside the target's range raises
  // "numeric value out of range".
  int getValue(double* value) const override;
  int getValue(long* value) const override;
  int getValue(short* value) const override;
  // target.storeValue(*this): the target's own rules decide.
  int getValue(CZqlData& target) const override;
  using CZqlData::getValue;

  // "CHARACTER", "NATIONAL CHARACTER", " VARYING", "(n)", " CHARACTER SET x".
  int SQLType(CZqlUcStr* out) const override;
  // The text (varying: the logical value) between single quotes, each
  // quote doubled.
  int SQLLiteral(CZqlUcStr* out) const override;

  // storeValue of the argument; answer *this.
  CZqlChar& operator=(const CZqlChar& other);
  CZqlChar& operator=(const CZqlUcStr& text);

  // Concatenation: the logical values one after the other, cut to 256
  // characters with the truncation warning; null when an operand is null.
  // The dyadic collation rule decides the result's collation (two
  // different explicit ones raise "not permitted collating sequence").
  // May raise 0xA008.
  CZqlChar operator+(const CZqlChar& other) const;
  CZqlChar operator+(const CZqlUcStr& text) const;

  // Comparisons: 0 when an operand is null. Two values compare padded under
  // the collation the coercibility rules choose (a conflict raises "not
  // permitted collating sequence" and answers 0); a CZqlUcStr compares
  // unpadded with the text under this value's collation.
  int operator==(const CZqlChar& b) const;
  int operator!=(const CZqlChar& b) const;
  int operator<(const CZqlChar& b) const;
  int operator<=(const CZqlChar& b) const;
  int operator>(const CZqlChar& b) const;
  int operator>=(const CZqlChar& b) const;
  int operator==(const CZqlUcStr& b) const;
  int operator!=(const CZqlUcStr& b) const;
  int operator<(const CZqlUcStr& b) const;
  int operator<=(const CZqlUcStr& b) const;
  int operator>(const CZqlUcStr& b) const;
  int operator>=(const CZqlUcStr& b) const;

  // this LIKE pattern ESCAPE escape, on the logical values: 1 match, 0 no
  // match, -1 when an operand is null. The escape must be one character
  // ("invalid escape character") and may only precede %, _ or itself
  // ("invalid escape sequence"). Without escape: the form of one argument.
  // Answers 0 when a raise found nothing open.
  int Like(const CZqlChar& pattern, const CZqlChar& escape) const;
  int Like(const CZqlChar& pattern) const;
  // SUBSTRING(this FROM start [FOR count]), positions from 1: a varying
  // value with this value's attributes; null for null. May raise 0xA008.
  CZqlChar Substring(unsigned int start) const;
  CZqlChar Substring(unsigned int start, unsigned int count) const;
  // A copy with every unit mapped to upper / lower case.
  CZqlChar Upper() const;
  CZqlChar Lower() const;
  // TRIM(side trim FROM this): a varying copy; null when either is null.
  // A trim value not of one character raises "trim error" (null answer).
  CZqlChar Trim(EZqlTrimSpec side, const CZqlChar& trim) const;
  // POSITION(search IN this) as NUMERIC(4): 1 for an empty search, the
  // 1-based position of its text in the logical value, else 0; null when
  // either is null.
  CZqlNumeric Position(const CZqlChar& search) const;

  // The collation of a comparison with other: CompColSet answers its
  // identifier, isCompColSet 1; a conflict raises "not permitted collating
  // sequence" (answer 0). The dyadic forms answer collation 0 and
  // coercibility "no collating sequence" for a conflict, except for two
  // different explicit collations, which raise. *coerc, when not null,
  // receives the result's coercibility.
  int isCompColSet(const CZqlChar& other) const;
  unsigned long CompColSet(const CZqlChar& other) const;
  int isDyadicOpColSet(const CZqlChar& other) const;
  unsigned long DyadicOpColSet(const CZqlChar& other, EZqlCAttr* coerc = nullptr) const;

  // Reads the packed form, then holds the attributes to their limits and
  // looks the character-set and collation names up again (a failed lookup
  // keeps the identifier).
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  int32_t packEndValue() const override { return kZqlTypeChar; }

 private:
  static constexpr uint16_t kVarying = 1;
  static constexpr uint16_t kNational = 2;
  struct SColl;
  class CUnits;

  unsigned int padLength() const { return ReturnLength(); }
  void padded(CUnits* out) const;
  int pickColl(const CZqlChar& other, bool dyadic, SColl* out) const;
  void takeColl(const SColl& c);
  int storeUnits(const unsigned short* units, unsigned int n);
  int setText(const unsigned short* units, unsigned int n, unsigned int current);
  int storeOtherText(const char* text);
  int storeBits(const CZqlData& bits);
  int compare(int op, const CZqlChar& b) const;
  int compareText(int op, const CZqlUcStr& b) const;
  int match(const CZqlChar& pattern, const CZqlChar* escape) const;
  CZqlChar derived() const;
  void lookUpNames();

  uint32_t length_;
  uint32_t current_;
  CZqlUcStr text_;
  uint16_t flags_;
  unsigned long charSetId_;
  CZqlUcStr charSetName_;
  unsigned long collId_;
  CZqlUcStr collName_;
  EZqlCAttr coerc_;

  friend int operator==(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator!=(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator<(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator<=(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator>(const CZqlUcStr& a, const CZqlChar& b);
  friend int operator>=(const CZqlUcStr& a, const CZqlChar& b);
};

// A CZqlUcStr against a character value: the relation in that order,
// unpadded, under the value's collation; 0 for a null value.
int operator==(const CZqlUcStr& a, const CZqlChar& b);
int operator!=(const CZqlUcStr& a, const CZqlChar& b);
int operator<(const CZqlUcStr& a, const CZqlChar& b);
int operator<=(const CZqlUcStr& a, const CZqlChar& b);
int operator>(const CZqlUcStr& a, const CZqlChar& b);
int operator>=(const CZqlUcStr& a, const CZqlChar& b);

// ---------------------------------------------------------------------------
// Bit strings
// ---------------------------------------------------------------------------

// Longest declared length of a bit string, in bits.
constexpr unsigned int kZqlMaxBitLength = 2048;

// The digit work of the bit strings. Bits are packed most significant
// first: bit i is bit 7 - i % 8 of byte i / 8. None raises.
// Leading hexadecimal / binary digits of text (up to a NUL, at most size).
unsigned int hexLength(const char* text, unsigned int size);
unsigned int binLength(const char* text, unsigned int size);
// Packs the digits that cover bitCount bits into bits ((bitCount + 7) / 8
// bytes, the caller's); the bits after bitCount in the last byte are 0.
// REQUIRES: digits holds that many digits.
void hexPut(unsigned char* bits, const char* digits, unsigned int bitCount);
void binPut(unsigned char* bits, const char* digits, unsigned int bitCount);
// Writes count upper-case hexadecimal digits / count "0" and "1" digits of
// bits into out (count + 1 bytes, the caller's) and terminates it.
void hexGet(char* out, const unsigned char* bits, unsigned int count);
void binGet(char* out, const unsigned char* bits, unsigned int count);
// The bytes the shorter string occupies by memcmp, then the bit counts:
// negative, 0 or positive.
int binCompare(const unsigned char* a, unsigned int aBits, const unsigned char* b,
               unsigned int bBits);

// BIT(n) and BIT VARYING(n): up to n bits (n at most 2048) in an owned
// buffer that grows as needed and never shrinks. Text input and output
// are hexadecimal (storeValue, getValue) or binary digits (storeBinValue,
// getBinValue). Truncation and zero-bit padding are warnings.
class CZqlBinary : public CZqlData {
 public:
  // A null fixed value of length bits (0 becomes 1, above 2048 becomes
  // 2048) without buffer.
  explicit CZqlBinary(unsigned int length = 1);
  CZqlBinary(const CZqlBinary& other);  // copies the bits; may raise 0xA008
  ~CZqlBinary() override;
  CZqlBinary* duplicate() const override;  // may raise 0xA008

  void setVarying() { varying_ = 1; }
  int is_varying() const { return varying_ != 0; }
  int Type() const override { return varying_ ? kZqlTypeVarbit : kZqlTypeBit; }
  unsigned int Length() const override { return length_; }
  // The bit count when varying, else the declared length.
  unsigned int ReturnLength() const override;
  unsigned int BitCount() const { return bitCount_; }
  // The bits, (BitCount() + 7) / 8 bytes; null before the first store.
  // Valid until the value changes.
  const unsigned char* Bits() const { return bits_; }
  int is_binary() const override { return 1; }

  // Comparable with and storable from a bit string; castable from a bit or
  // character string. checkCat with a bit string: a value of both lengths
  // together (at most 2048), varying when either is; else null.
  int is_comparable(const CZqlData* other) const override;
  int is_storable(const CZqlData* other) const override;
  int is_castable(const CZqlData* other) const override;
  CZqlData* checkCat(const CZqlData* other) const override;

  // The bytes the bits occupy.
  long read(char* buffer, long start, long count) const override;
  long size() const override { return isNull() ? 0 : static_cast<long>((bitCount_ + 7) / 8); }

  // The leading hexadecimal (binary) digits of text, 4 bits (1 bit) each;
  // beyond the declared length the bits are cut with the truncation
  // warning. *used (when not null) receives the digits stored. Answer 1;
  // 0 for a null text or when memory is exhausted (raises 0xA008).
  int storeHexValue(const char* text, unsigned int size, unsigned int* used);
  int storeHexValue(const CZqlUcStr& text);
  int storeBinValue(const char* text, unsigned int size, unsigned int* used);
  int storeBinValue(const CZqlUcStr& text);
  // Upper-case hexadecimal digits (the last one filled with zero bits) /
  // one digit per bit, at most size - 1 of them (a cut pushes the
  // truncation warning), terminated; *used receives the digits written.
  // 0 and an empty text for a null value.
  int getHexValue(char* text, unsigned int size, unsigned int* used) const;
  int getHexValue(CZqlUcStr* text) const;
  int getBinValue(char* text, unsigned int size, unsigned int* used) const;
  int getBinValue(CZqlUcStr* text) const;

  // Hexadecimal forms.
  int storeValue(const char* text, unsigned int size) override;
  int storeValue(const char* text, unsigned int size, unsigned int* used) override;
  int storeValue(const CZqlUcStr& text) override;
  // Same object: 1. Null source: null. Bit string: its bits, cut to the
  // declared length with the truncation warning. Character value: the
  // 16-bit units of its logical value, cut with the truncation warning;
  // fewer bits than the declared length push "implicit zero-bit padding".
  // Anything else raises "Expression cannot be cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlData::storeValue;
  int getValue(char* text, unsigned int size) const override;
  int getValue(char* text, unsigned int size, unsigned int* used) const override;
  int getValue(CZqlUcStr* text) const override;
  // target.storeValue(*this).
  int getValue(CZqlData& target) const override;
  using CZqlData::getValue;

  int SQLType(CZqlUcStr* out) const override;  // "BIT", " VARYING", "(n)"
  // X'hex' when the bit count is a multiple of 4, else B'digits', so that
  // the literal names exactly these bits.
  int SQLLiteral(CZqlUcStr* out) const override;

  CZqlBinary& operator=(const CZqlBinary& other);  // storeValue(other)
  // The bits of both, cut to 2048 with the truncation warning; null when
  // either is null. May raise 0xA008.
  CZqlBinary operator+(const CZqlBinary& other) const;
  // Bits start .. start + count - 1 (from 1) as a varying value of this
  // declared length; null for null. May raise 0xA008.
  CZqlBinary Substring(unsigned int start) const;
  CZqlBinary Substring(unsigned int start, unsigned int count) const;

  // binCompare; 0 when an operand is null.
  int operator==(const CZqlBinary& b) const;
  int operator!=(const CZqlBinary& b) const;
  int operator<(const CZqlBinary& b) const;
  int operator<=(const CZqlBinary& b) const;
  int operator>(const CZqlBinary& b) const;
  int operator>=(const CZqlBinary& b) const;

  // Reads the packed form, then holds the attributes to their limits and
  // the bit count to the bytes held.
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  int32_t packEndValue() const override { return kZqlTypeBit; }

 private:
  int reserve(unsigned int bytes);
  int assign(const unsigned char* bits, unsigned int count);
  int storeDigits(const char* digits, unsigned int n, bool hex, unsigned int* used);
  int storeChars(const CZqlData& chars);
  int compare(int op, const CZqlBinary& b) const;

  uint32_t length_;
  uint32_t bitCount_;
  uint32_t bufSize_;
  unsigned char* bits_;  // owned, ZqlMemoryMalloc
  int16_t varying_;
};

// ---------------------------------------------------------------------------
// Intervals and datetimes
// ---------------------------------------------------------------------------

class CZqlYM;
class CZqlDT;
class CZqlDate;
class CZqlTime;
class CZqlTimeStamp;

static_assert(sizeof(EZqlBoolean) == 4, "host records carry the sign as 32 bits");

// Host records of the interval host types. sign is kZqlTrue for a negative
// interval; the records with seconds start with them as a double.
struct zql_year { EZqlBoolean sign; uint32_t years; };
struct zql_month { EZqlBoolean sign; uint32_t months; };
struct zql_day { EZqlBoolean sign; uint32_t days; };
struct zql_hour { EZqlBoolean sign; uint32_t hours; };
struct zql_minute { EZqlBoolean sign; uint32_t minutes; };
struct zql_yeartomonth { EZqlBoolean sign; uint32_t years; uint32_t months; };
struct zql_daytohour { EZqlBoolean sign; uint32_t days; uint32_t hours; };
struct zql_daytominute { EZqlBoolean sign; uint32_t days; uint32_t hours; uint32_t minutes; };
struct zql_hourtominute { EZqlBoolean sign; uint32_t hours; uint32_t minutes; };
struct zql_second { double seconds; EZqlBoolean sign; };
struct zql_daytosecond {
  double seconds;
  EZqlBoolean sign;
  uint32_t days;
  uint32_t hours;
  uint32_t minutes;
};
struct zql_hourtosecond { double seconds; EZqlBoolean sign; uint32_t hours; uint32_t minutes; };
struct zql_minuteitosecond { double seconds; EZqlBoolean sign; uint32_t minutes; };

// Host records of the datetime host types. A zql_time carries the
// time-zone displacement as a sign (kZqlTrue: negative) with hours and
// minutes; a zql_timestamp is a time followed by a date.
struct zql_date { uint16_t year; uint16_t month; uint16_t day; };
struct zql_time {
  double seconds;  // with the fraction
  EZqlBoolean tz_sign;
  uint32_t tz_hours;
  uint32_t tz_minutes;
  uint16_t hour;
  uint16_t minute;
};
struct zql_timestamp { zql_time time; zql_date date; };

// Reads datetime and interval texts: a terminated copy of at most 64
// characters and a position in it. Internal to the value classes; never
// raises.
class CZqlTemporalText {
 public:
  // Longest text that is read; only blanks may follow it.
  static constexpr unsigned int kMax = 64;

  // Copies text (size bytes at most, up to a NUL). Answers 0 for a null
  // text or one whose characters beyond the first 64 are not all blanks.
  int load(const char* text, unsigned int size);
  void skipBlanks();
  // The next character, or 0 at the end.
  int peek() const { return static_cast<unsigned char>(text_[pos_]); }
  // Consumes c when it is next: 1, else 0.
  int accept(char c);
  // Consumes a leading '+' or '-': -1 for '-', 1 for '+', 0 for none.
  int sign();
  // An unsigned decimal integer of at most maxDigits digits (0: any
  // number; values beyond 10^15 read as 10^15). 1 when a digit was read.
  int number(int64_t* out, int maxDigits = 0);
  // Digits with an optional fraction ("30", "30.5", ".5"); the first nine
  // fraction digits count. 1 when a digit was read.
  int seconds(double* out);
  // 1 when only blanks remain.
  int atEnd() const;
  // The rest of the copy from the current position.
  const char* rest() const { return text_ + pos_; }
  // Cuts the copy at offset i (used to split off a time-zone text).
  void cut(int i) { text_[i] = '\0'; }

 private:
  char text_[kMax + 1] = {0};
  int pos_ = 0;
};

// Fields of the interval types, leading to trailing.
enum EZqlIField : int {
  kZqlFieldYear = 0,
  kZqlFieldMonth = 1,
  kZqlFieldDay = 2,
  kZqlFieldHour = 3,
  kZqlFieldMinute = 4,
  kZqlFieldSecond = 5,
};

// The interval qualifier: the interval type with its leading field
// precision (default 4; above 6 becomes 4) and fractional seconds precision
// (default 0; above 8 becomes 0).
class CZqlIQualifier : public CZqlData {
 public:
  CZqlIQualifier(EZqlIType type, unsigned int lead, unsigned int frac);
  CZqlIQualifier(const CZqlIQualifier& other) = default;

  int Type() const override { return kZqlTypeInterval; }
  EZqlIType IntervalType() const override { return type_; }
  unsigned int LeadFieldPrec() const override { return lead_; }
  unsigned int FracSecPrec() const override { return frac_; }
  // Characters of the text form, sign included.
  unsigned int ReturnLength() const override;
  int is_interval() const override { return 1; }
  // "INTERVAL " and the qualifier, e.g. "INTERVAL DAY(2) TO SECOND(3)".
  int SQLType(CZqlUcStr* out) const override;

  // Leading and trailing field of a type (year-month or day-time); -1 for
  // a code that is no interval type. Never raise.
  static int FirstField(int type);
  static int LastField(int type);
  // 1 for the year-month types 1, 2 and 7.
  static int IsYMType(int type) { return type == kZqlIYear || type == kZqlIMonth || type == kZqlIYearToMonth; }
  // 1 for the day-time types 3 to 6 and 8 to 13.
  static int IsDTType(int type) { return FirstField(type) >= kZqlFieldDay; }

 protected:
  // The qualifier text into out (at least 48 bytes).
  void QualifierText(char* out, unsigned int size) const;
  // Holds the attributes to the constructor's limits.
  void ClampAttributes();

  EZqlIType type_;
  uint32_t lead_;
  uint32_t frac_;
};

// What year-month and day-time intervals share: the sign, compatibility
// and result types, text and numeric conversions, the literal and the
// packed form (attributes, sign, magnitude).
class CZqlInterval : public CZqlIQualifier {
 public:
  CZqlInterval(EZqlIType type, unsigned int lead, unsigned int frac)
      : CZqlIQualifier(type, lead, frac), sign_(kZqlFalse) {}
  CZqlInterval(const CZqlInterval& other) = default;

  EZqlBoolean Sign() const { return sign_; }
  // Sets the sign; the magnitude and the null indicator stay. Never raises.
  void setSign(EZqlBoolean negative) { sign_ = negative ? kZqlTrue : kZqlFalse; }
  // Changes the interval type within the value's kind (year-month or
  // day-time), keeping the magnitude; another type raises "invalid function
  // arguments". 1 on success.
  int setIType(EZqlIType type);

  // Comparable and storable with an interval of the same kind; castable
  // from a character string, an interval of the same kind and, for a
  // single-field interval, an exact numeric. Never raise.
  int is_comparable(const CZqlData* other) const override;
  int is_storable(const CZqlData* other) const override;
  int is_castable(const CZqlData* other) const override;
  // Interval plus or minus interval of the same kind: MONTH(6), or DAY(6)
  // TO SECOND(8). Interval plus datetime: the datetime's checkAdd. Times or
  // divided by a numeric: the numeric's checkMul. Else null. Never raise.
  CZqlData* checkAdd(const CZqlData* other) const override;
  CZqlData* checkSub(const CZqlData* other) const override;
  CZqlData* checkMul(const CZqlData* other) const override;
  CZqlData* checkDiv(const CZqlData* other) const override;

  // Host numbers into a single-field interval: the field's count with the
  // number's sign (whole units except for SECOND). A multi-field interval
  // answers 0. Raises "interval field overflow" beyond the leading
  // precision.
  int storeValue(double value) override;
  int storeValue(long value) override;
  int storeValue(short value) override;
  // Text by the type's format; see the leaf classes.
  int storeValue(const char* text, unsigned int size) override = 0;
  // Through 8-bit text.
  int storeValue(const CZqlUcStr& text) override;
  // Null source: null. Interval of the same kind: its sign and magnitude,
  // cut to this type's trailing field (raises "interval field overflow"
  // beyond the leading precision). Exact numeric into a single-field
  // interval: as storeValue(double). Character value: through its text.
  // Anything else raises "Expression cannot be cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlData::storeValue;

  // A single-field interval as its signed field count (whole units except
  // for SECOND; long and short truncate toward zero, and raise "numeric
  // value out of range" outside their range). 0 for a multi-field interval
  // or a null value.
  int getValue(double* value) const override;
  int getValue(long* value) const override;
  int getValue(short* value) const override;
  // "-" for a negative value, then the fields by the type's template
  // (leading field as wide as its precision, the others two digits,
  // seconds with FracSecPrec() decimals). Answers 0, with an empty text,
  // when it does not fit in size - 1 characters.
  int getValue(char* text, unsigned int size) const override;
  int getValue(CZqlUcStr* text) const override;
  using CZqlData::getValue;
  // "INTERVAL ", "-" when negative, the unsigned text in quotes, a blank
  // and the qualifier; "null" (answer 0) for a null value.
  int SQLLiteral(CZqlUcStr* out) const override;
  // Reads the packed form and checks it: a type of another kind or a
  // magnitude out of the type's range raise 0xA00C (the value is then null);
  // other attributes are clamped.
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  // The unsigned fields of a non-null value as text into out (at least 64
  // bytes).
  virtual void formatFields(char* out, unsigned int size) const = 0;
  // The magnitude counted in units of the leading field (years, months,
  // days, ..., seconds).
  virtual double leadingCount() const = 0;
  // Sets the value from a field count of a single-field interval (already
  // checked to be a whole number where required). 1, or 0 after raising.
  virtual int assignCount(EZqlBoolean negative, double count) = 0;
  // Copies sign and magnitude of an interval of the same kind.
  virtual int assignInterval(const CZqlInterval& src) = 0;
  // 1 when the magnitude read from a packed form is one of this type.
  virtual int validMagnitude() const = 0;

  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  virtual void packMagnitude(CZqlObjPack* pack) const = 0;
  virtual void unpackMagnitude(CZqlObjPack* pack) = 0;

  // Raises "interval field overflow" when a leading field count reaches
  // 10^LeadFieldPrec(). 1 when it fits.
  int checkLeading(double count) const;
  // The sign of a text that starts with '-' (blanks before it skipped).
  static EZqlBoolean TextSign(CZqlTemporalText* scan);

  EZqlBoolean sign_;
};

// Year-month intervals (YEAR, MONTH, YEAR TO MONTH): the magnitude as a
// count of months.
class CZqlYM : public CZqlInterval {
 public:
  // Only the types 1, 2 and 7; another raises "invalid function arguments"
  // and leaves the type 0. The value is null.
  explicit CZqlYM(EZqlIType type = kZqlIYear, unsigned int lead = 4, unsigned int frac = 0);
  CZqlYM(const CZqlYM& other) = default;
  // Assigns the other's value (storeValue): this type and its attributes
  // stay. May raise as storeValue.
  CZqlYM& operator=(const CZqlYM& other);
  ~CZqlYM() override;
  CZqlYM* duplicate() const override;  // may raise 0xA008

  int is_yminterval() const override { return 1; }

  // Field setters; each makes the value not null and keeps the other field
  // of a non-null value. The leading field must stay below
  // 10^LeadFieldPrec() ("interval field overflow"), months after years
  // within 0..11 ("invalid interval format"); a field the type lacks raises
  // "invalid function arguments". 1 on success; a failure leaves the value.
  int setYears(unsigned int years);
  int setMonths(unsigned int months);
  // Sign and both fields at once; a field the type lacks must be 0.
  int set(EZqlBoolean negative, unsigned int years, unsigned int months);
  // The fields as the type shows them: years above a MONTH leading field
  // are 0, a MONTH interval's months are its whole count. 0 for null.
  int getYears(unsigned int* years) const;
  int getMonths(unsigned int* months) const;
  int get(EZqlBoolean* negative, unsigned int* years, unsigned int* months) const;
  // The magnitude in months.
  uint32_t Months() const { return months_; }

  // Host records: set goes through setSign and the field setters (as
  // above); get converts the value into the record's fields (a record's
  // leading field takes the whole count). get answers 0 for null.
  int set(const zql_year& r);
  int set(const zql_month& r);
  int set(const zql_yeartomonth& r);
  int get(zql_year* r) const;
  int get(zql_month* r) const;
  int get(zql_yeartomonth* r) const;

  // "%ld-%ld" text: years and months for YEAR TO MONTH, one number for
  // YEAR and MONTH, an optional leading sign, blanks around. Raises
  // "invalid character value for cast" (no number, junk, two numbers for a
  // single field, one for YEAR TO MONTH, negative months), "interval field
  // overflow" (leading field beyond the precision), "invalid interval
  // format" (months above 11).
  int storeValue(const char* text, unsigned int size) override;
  using CZqlInterval::storeValue;

  // Sum and difference: MONTH(6) with the signed result; null when an
  // operand is null; raises "interval field overflow" beyond 999999 months.
  CZqlYM operator+(const CZqlYM& b) const;
  CZqlYM operator-(const CZqlYM& b) const;
  // Times or divided by a number: MONTH(6), the result truncated toward
  // zero; null when an operand is null. Raises "division by zero", and
  // "interval field overflow" beyond 999999 months.
  CZqlYM operator*(const CZqlExactNum& b) const;
  CZqlYM operator*(long b) const;
  CZqlYM operator/(const CZqlExactNum& b) const;
  CZqlYM operator/(long b) const;
  // Flips the sign of a non-null value in place.
  CZqlYM& operator-();
  // Signed magnitudes; 0 when either operand is null (!= included).
  int operator>(const CZqlYM& b) const;
  int operator>=(const CZqlYM& b) const;
  int operator==(const CZqlYM& b) const;
  int operator<=(const CZqlYM& b) const;
  int operator<(const CZqlYM& b) const;
  int operator!=(const CZqlYM& b) const;

 protected:
  void formatFields(char* out, unsigned int size) const override;
  double leadingCount() const override;
  int assignCount(EZqlBoolean negative, double count) override;
  int assignInterval(const CZqlInterval& src) override;
  int validMagnitude() const override;
  void packMagnitude(CZqlObjPack* pack) const override;
  void unpackMagnitude(CZqlObjPack* pack) override;

 private:
  friend class CZqlDate;
  // Sets sign and magnitude after checking the leading field.
  int assign(EZqlBoolean negative, uint64_t months);
  int compare(const CZqlYM& b, int* order) const;
  CZqlYM scaled(double factor, int divide, int isNull) const;

  uint32_t months_;
};
CZqlYM operator*(const CZqlExactNum& a, const CZqlYM& b);
CZqlYM operator*(long a, const CZqlYM& b);

// Day-time intervals (DAY, HOUR, MINUTE, SECOND and their ranges): the
// magnitude as a double count of seconds.
class CZqlDT : public CZqlInterval {
 public:
  // Types 1, 2 and 7 raise "invalid function arguments" and leave the type
  // 0. The value is null.
  explicit CZqlDT(EZqlIType type = kZqlIDay, unsigned int lead = 4, unsigned int frac = 0);
  CZqlDT(const CZqlDT& other) = default;
  // Assigns the other's value (storeValue); this type stays. May raise.
  CZqlDT& operator=(const CZqlDT& other);
  ~CZqlDT() override;
  CZqlDT* duplicate() const override;  // may raise 0xA008

  int is_dtinterval() const override { return 1; }

  // Field setters as CZqlYM's: the leading field below 10^LeadFieldPrec(),
  // hours after days 0..23, minutes after hours 0..59, seconds after
  // minutes at least 0 and below 60; seconds as the leading field must not
  // be negative either ("invalid interval format").
  int setDays(unsigned int days);
  int setHours(unsigned int hours);
  int setMinutes(unsigned int minutes);
  int setSeconds(double seconds);
  int set(EZqlBoolean negative, unsigned int days, unsigned int hours, unsigned int minutes,
          double seconds);
  int getDays(unsigned int* days) const;
  int getHours(unsigned int* hours) const;
  int getMinutes(unsigned int* minutes) const;
  int getSeconds(double* seconds) const;
  int get(EZqlBoolean* negative, unsigned int* days, unsigned int* hours, unsigned int* minutes,
          double* seconds) const;
  // The magnitude in seconds.
  double Seconds() const { return seconds_; }

  // Host records, as CZqlYM's.
  int set(const zql_day& r);
  int set(const zql_hour& r);
  int set(const zql_minute& r);
  int set(const zql_second& r);
  int set(const zql_daytohour& r);
  int set(const zql_daytominute& r);
  int set(const zql_daytosecond& r);
  int set(const zql_hourtominute& r);
  int set(const zql_hourtosecond& r);
  int set(const zql_minuteitosecond& r);
  int get(zql_day* r) const;
  int get(zql_hour* r) const;
  int get(zql_minute* r) const;
  int get(zql_second* r) const;
  int get(zql_daytohour* r) const;
  int get(zql_daytominute* r) const;
  int get(zql_daytosecond* r) const;
  int get(zql_hourtominute* r) const;
  int get(zql_hourtosecond* r) const;
  int get(zql_minuteitosecond* r) const;

  // Text by type: "d h:m:s" for the DAY types, "h:m:s" for the HOUR
  // types, "m:s" for the MINUTE types, "s" for SECOND, as many fields as
  // the type has; an optional leading sign, blanks around. Raises "invalid
  // character value for cast" (no leading number), "wrong interval string"
  // (fewer or more fields, a signed trailing field, junk), "interval field
  // overflow" and "invalid interval format" (field limits).
  int storeValue(const char* text, unsigned int size) override;
  using CZqlInterval::storeValue;

  // Sum, difference, product and quotient: DAY(6) TO SECOND(8); null when
  // an operand is null. Raise "division by zero", and "interval field
  // overflow" from 10^6 days on.
  CZqlDT operator+(const CZqlDT& b) const;
  CZqlDT operator-(const CZqlDT& b) const;
  CZqlDT operator*(const CZqlExactNum& b) const;
  CZqlDT operator*(long b) const;
  CZqlDT operator/(const CZqlExactNum& b) const;
  CZqlDT operator/(long b) const;
  CZqlDT& operator-();
  // Signed magnitudes, equal within representation noise; 0 when either
  // operand is null.
  int operator>(const CZqlDT& b) const;
  int operator>=(const CZqlDT& b) const;
  int operator==(const CZqlDT& b) const;
  int operator<=(const CZqlDT& b) const;
  int operator<(const CZqlDT& b) const;
  int operator!=(const CZqlDT& b) const;

  // Sets sign and magnitude, cut to the type's trailing field; raises
  // "interval field overflow" beyond the leading precision. 1 on success.
  int assign(EZqlBoolean negative, double seconds);
  // The signed magnitude in seconds (0 for null).
  double SignedSeconds() const;

 protected:
  void formatFields(char* out, unsigned int size) const override;
  double leadingCount() const override;
  int assignCount(EZqlBoolean negative, double count) override;
  int assignInterval(const CZqlInterval& src) override;
  int validMagnitude() const override;
  void packMagnitude(CZqlObjPack* pack) const override;
  void unpackMagnitude(CZqlObjPack* pack) override;

 private:
  int setField(int field, double value);
  int compare(const CZqlDT& b, int* order) const;
  CZqlDT scaled(double factor, int divide, int isNull) const;

  double seconds_;
};
CZqlDT operator*(const CZqlExactNum& a, const CZqlDT& b);
CZqlDT operator*(long a, const CZqlDT& b);

// The result type of an exact numeric times or divided by an interval: a
// new null MONTH(6) for a year-month interval, DAY(6) TO SECOND(8) for a
// day-time one, owned by the caller; null for anything else or when memory
// is exhausted. Never raises.
CZqlData* ZqlIntervalProductType(const CZqlData* interval);

// The abstract datetime: the field accessors, compatibility and result
// types, text conversions and the literal.
class CZqlDatetime : public CZqlData {
 public:
  CZqlDatetime() = default;
  CZqlDatetime(const CZqlDatetime& other) = default;

  int Type() const override { return kZqlTypeDatetime; }
  int is_datetime() const override { return 1; }

  // The fields of the value; 0 for a null value and for fields the type
  // lacks. Never raise.
  virtual unsigned int Year() const;
  virtual unsigned int Month() const;
  virtual unsigned int Day() const;
  virtual unsigned int Hour() const;
  virtual unsigned int Minute() const;
  virtual double Second() const;

  // Comparable and storable: a date with a date, a time with a time, a
  // timestamp with a timestamp (with or without time zone). Castable: from
  // a character string, and DATE from DATE or TIMESTAMP, TIME from TIME or
  // TIMESTAMP, TIMESTAMP from DATE or TIMESTAMP. Never raise.
  int is_comparable(const CZqlData* other) const override;
  int is_storable(const CZqlData* other) const override;
  int is_castable(const CZqlData* other) const override;
  // Plus or minus an interval: DATE with a year-month or DAY interval gives
  // DATE; TIME with a day-time interval without day field gives TIME(6)
  // (with this time-zone flag); TIMESTAMP with any interval gives
  // TIMESTAMP(6). Else null. Never raise.
  CZqlData* checkAdd(const CZqlData* other) const override;
  CZqlData* checkSub(const CZqlData* other) const override;

  // Through 8-bit text.
  int storeValue(const CZqlUcStr& text) override;
  using CZqlData::storeValue;
  // The text form (see the leaf classes); a text longer than size - 1
  // characters is cut with the warning "string data, right truncation".
  int getValue(char* text, unsigned int size) const override;
  int getValue(CZqlUcStr* text) const override;
  using CZqlData::getValue;
  // "DATE '...'", "TIME '...'", "TIMESTAMP '...'"; "null" (answer 0) for
  // a null value.
  int SQLLiteral(CZqlUcStr* out) const override;

 protected:
  // The text of a non-null value into out (at least 64 bytes).
  virtual void formatText(char* out, unsigned int size) const = 0;
  // 1 date, 2 time, 3 timestamp, 0 not a datetime.
  static int Kind(const CZqlData* d);
};

// DATE: a month count (year * 12 + month - 1) and a day of the month, for
// the years 1 to 9999.
class CZqlDate : public CZqlDatetime {
 public:
  CZqlDate();
  CZqlDate(const CZqlDate& other) = default;
  // Assigns the other's value. Never raises.
  CZqlDate& operator=(const CZqlDate& other);
  ~CZqlDate() override;
  CZqlDate* duplicate() const override;  // may raise 0xA008

  int DateTimeType() const override { return kZqlDtDate; }
  unsigned int ReturnLength() const override { return 10; }
  unsigned int Year() const override;
  unsigned int Month() const override;
  unsigned int Day() const override;

  // Sets a valid date (month 1..12, year 1..9999, day 1 to the month's
  // days, Feb 29 in leap years) and makes the value not null; anything
  // else raises "invalid datetime format" and leaves the value. The field
  // setters check the new field with the other two of the present value.
  int set(unsigned short year, unsigned short month, unsigned short day);
  int setYear(unsigned short year);
  int setMonth(unsigned short month);
  int setDay(unsigned short day);
  int set(const zql_date& r);
  int get(zql_date* r) const;  // 0 for null

  // "yyyy-mm-dd" (one or more digits each, blanks around); anything else
  // or an invalid date raises "invalid character value for cast".
  int storeValue(const char* text, unsigned int size) override;
  // Null source: null. DATE: its value; TIMESTAMP: its date part;
  // character value: through its text; else raises "Expression cannot be
  // cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlDatetime::storeValue;
  int SQLType(CZqlUcStr* out) const override;  // "DATE"

  // Plus or minus a year-month interval: the months moved, the day kept;
  // raises "datetime field overflow" when the day does not exist in the
  // resulting month or the year passes 9999, "datetime field underflow"
  // before the year 1. Plus or minus a day-time interval: only DAY
  // (otherwise "invalid function arguments"), whole days over month and
  // year ends, with the same overflow and underflow errors. A null operand
  // gives a null date.
  CZqlDate operator+(const CZqlYM& b) const;
  CZqlDate operator-(const CZqlYM& b) const;
  CZqlDate operator+(const CZqlDT& b) const;
  CZqlDate operator-(const CZqlDT& b) const;
  // This date minus other as a copy of pattern: the difference of the
  // month counts (days ignored) or of the days, cut to the pattern's
  // trailing field; null when a date is null. Raises "interval field
  // overflow" beyond the pattern's leading precision.
  CZqlYM YMDiff(const CZqlDate& other, const CZqlYM& pattern) const;
  CZqlDT DTDiff(const CZqlDate& other, const CZqlDT& pattern) const;
  // By month count, then day; 0 when either is null.
  int operator>(const CZqlDate& b) const;
  int operator>=(const CZqlDate& b) const;
  int operator==(const CZqlDate& b) const;
  int operator<=(const CZqlDate& b) const;
  int operator<(const CZqlDate& b) const;
  int operator!=(const CZqlDate& b) const;

  // Days since 0001-01-01 of a non-null value.
  int64_t DayNumber() const;
  // Sets the date of a day number; raises "datetime field underflow"
  // before 0001-01-01 and "datetime field overflow" after 9999-12-31.
  int setDayNumber(int64_t n);
  // 1 for a leap year, and the days of a month (1..12) in a year.
  static int IsLeapYear(unsigned int year);
  static unsigned int DaysInMonth(unsigned int year, unsigned int month);
  // Reads the packed form; a month count or day that is no valid date
  // raises 0xA00C (the value is then null).
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  void formatText(char* out, unsigned int size) const override;
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  int32_t packEndValue() const override { return 1; }

 private:
  int shiftMonths(int64_t delta, CZqlDate* out) const;
  int shiftDays(const CZqlDT& b, int direction, CZqlDate* out) const;
  int compare(const CZqlDate& b, int* order) const;

  uint32_t months_;
  uint16_t day_;
};
CZqlDate operator+(const CZqlYM& a, const CZqlDate& b);
CZqlDate operator+(const CZqlDT& a, const CZqlDate& b);

// TIME(p) [WITH TIME ZONE]: seconds since midnight rounded to p decimals
// (p above 9 becomes 9), the time-zone flag, and the displacement as an
// HOUR(2) TO MINUTE interval (null when the value has no zone).
class CZqlTime : public CZqlDatetime {
 public:
  explicit CZqlTime(unsigned int precision = 0, EZqlBoolean withTimeZone = kZqlFalse);
  CZqlTime(const CZqlTime& other) = default;
  // Assigns the other's value rounded to this precision, with its
  // displacement. Never raises.
  CZqlTime& operator=(const CZqlTime& other);
  ~CZqlTime() override;
  CZqlTime* duplicate() const override;  // may raise 0xA008

  int DateTimeType() const override { return tzFlag_ ? kZqlDtTimeTz : kZqlDtTime; }
  unsigned int TimePrec() const override { return prec_; }
  unsigned int ReturnLength() const override;
  unsigned int Hour() const override;
  unsigned int Minute() const override;
  double Second() const override;
  // Seconds since midnight; 0 for null.
  double TimeOfDay() const { return isNull() ? 0.0 : tod_; }

  // Sets a valid time (hours 0..23, minutes 0..59, seconds at least 0 and
  // below 60), rounded to the precision (an exact half rounds down; a time
  // that would round up to midnight is cut instead); anything else raises
  // "invalid datetime format" and leaves the value. The field setters keep
  // the other fields of the present value.
  int set(unsigned short hour, unsigned short minute, double second);
  int setHour(unsigned short hour);
  int setMinute(unsigned short minute);
  int setSecond(double second);
  // The time-zone flag (DateTimeType 4 instead of 2).
  void setWithTimeZone(EZqlBoolean withTimeZone);
  EZqlBoolean WithTimeZone() const { return tzFlag_ ? kZqlTrue : kZqlFalse; }
  // Sets the displacement from an HOUR, MINUTE or HOUR TO MINUTE interval
  // (a null one removes it); another type raises "not a time zone
  // interval", more than 99:59 "interval field overflow". 1 on success.
  int setTimeZone(const CZqlDT& zone);
  // The displacement (valid while this value lives).
  const CZqlDT& TimeZone() const { return tz_; }
  // Host record: hour, minute, seconds through set, the displacement
  // through setTimeZone (only when the record carries one or the value has
  // the time-zone flag). get answers 0 for null.
  int set(const zql_time& r);
  int get(zql_time* r) const;

  // "hh:mm:ss[.f]" (hours and minutes at most two digits), then optionally
  // a displacement "+hh:mm" or "-hh:mm" read as an HOUR TO MINUTE interval.
  // A malformed or invalid time raises "invalid character value for cast";
  // the displacement raises as interval text does.
  int storeValue(const char* text, unsigned int size) override;
  // Null source: null. TIME: its value; TIMESTAMP: its time part;
  // character value: through its text; else raises "Expression cannot be
  // cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlDatetime::storeValue;
  // "TIME", "(p)" when p is not 0, " WITH TIME ZONE" with the flag.
  int SQLType(CZqlUcStr* out) const override;

  // Plus or minus a day-time interval without day field ("invalid function
  // arguments" otherwise): TIME(6) wrapped into 0..86400 seconds, with this
  // flag and displacement; null when an operand is null.
  CZqlTime operator+(const CZqlDT& b) const;
  CZqlTime operator-(const CZqlDT& b) const;
  // This time minus other as a copy of pattern (see CZqlDate::DTDiff).
  CZqlDT DTDiff(const CZqlTime& other, const CZqlDT& pattern) const;
  // Equal when the times of day differ by less than NumEpsilon[max of the
  // precisions], else ordered by time of day; 0 when either is null.
  int operator>(const CZqlTime& b) const;
  int operator>=(const CZqlTime& b) const;
  int operator==(const CZqlTime& b) const;
  int operator<=(const CZqlTime& b) const;
  int operator<(const CZqlTime& b) const;
  int operator!=(const CZqlTime& b) const;

  // Sets seconds since midnight (0 to below 86400) with the rounding of
  // set; another value raises "invalid datetime format".
  int setTimeOfDay(double seconds);
  // Compares with b: -1, 0 or 1 into *order; 0 when either is null.
  int compare(const CZqlTime& b, int* order) const;
  // Reads the packed form; a time of day outside 0..86400 or a
  // displacement that is no HOUR TO MINUTE interval raises 0xA00C.
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  void formatText(char* out, unsigned int size) const override;
  void packItems(CZqlObjPack* pack) const override;
  void unpackItem(CZqlObjPack* pack, int label) override;
  int32_t packEndValue() const override { return 2; }

 private:
  friend class CZqlTimeStamp;
  double rounded(double seconds) const;
  CZqlTime shifted(const CZqlDT& b, int direction) const;

  uint16_t prec_;
  int16_t tzFlag_;
  double tod_;
  CZqlDT tz_;
};
CZqlTime operator+(const CZqlDT& a, const CZqlTime& b);

// TIMESTAMP(p) [WITH TIME ZONE]: a date and a time (precision default 6);
// null unless both parts hold values.
class CZqlTimeStamp : public CZqlDatetime {
 public:
  explicit CZqlTimeStamp(unsigned int precision = 6, EZqlBoolean withTimeZone = kZqlFalse);
  CZqlTimeStamp(const CZqlTimeStamp& other) = default;
  // Assigns the other's value (the time rounded to this precision).
  CZqlTimeStamp& operator=(const CZqlTimeStamp& other);
  ~CZqlTimeStamp() override;
  CZqlTimeStamp* duplicate() const override;  // may raise 0xA008

  int DateTimeType() const override;
  unsigned int TimeStampPrec() const override { return time_.prec_; }
  unsigned int ReturnLength() const override;
  int isNull() const override;
  void setNull() override;
  unsigned int Year() const override;
  unsigned int Month() const override;
  unsigned int Day() const override;
  unsigned int Hour() const override;
  unsigned int Minute() const override;
  double Second() const override;

  // The parts (valid while this value lives).
  const CZqlDate& DatePart() const { return date_; }
  const CZqlTime& TimePart() const { return time_; }
  // Sets both parts as CZqlDate::set and CZqlTime::set do; a failure
  // leaves the value.
  int set(unsigned short year, unsigned short month, unsigned short day, unsigned short hour,
          unsigned short minute, double second);
  int setYear(unsigned short year) { return date_.setYear(year); }
  int setMonth(unsigned short month) { return date_.setMonth(month); }
  int setDay(unsigned short day) { return date_.setDay(day); }
  int setHour(unsigned short hour) { return time_.setHour(hour); }
  int setMinute(unsigned short minute) { return time_.setMinute(minute); }
  int setSecond(double second) { return time_.setSecond(second); }
  void setWithTimeZone(EZqlBoolean withTimeZone) { time_.setWithTimeZone(withTimeZone); }
  int setTimeZone(const CZqlDT& zone) { return time_.setTimeZone(zone); }
  const CZqlDT& TimeZone() const { return time_.TimeZone(); }
  // Host record: the date part, then the time part.
  int set(const zql_timestamp& r);
  int get(zql_timestamp* r) const;

  // The date text, blanks, the time text; a text without blank raises
  // "invalid character value for cast", the parts raise as theirs do.
  int storeValue(const char* text, unsigned int size) override;
  // Null source: null. TIMESTAMP: its value; DATE: that date at midnight;
  // character value: through its text; else raises "Expression cannot be
  // cast to the specified type".
  int storeValue(const CZqlData& other) override;
  using CZqlDatetime::storeValue;
  // "TIMESTAMP", "(p)" when p is not 6, " WITH TIME ZONE" with the flag.
  int SQLType(CZqlUcStr* out) const override;

  // Plus or minus an interval: TIMESTAMP(6). Year-month intervals move the
  // date part as CZqlDate does; day-time intervals move the time and carry
  // whole days into the date. Errors as CZqlDate's; null when an operand
  // is null.
  CZqlTimeStamp operator+(const CZqlYM& b) const;
  CZqlTimeStamp operator-(const CZqlYM& b) const;
  CZqlTimeStamp operator+(const CZqlDT& b) const;
  CZqlTimeStamp operator-(const CZqlDT& b) const;
  // This minus other: the date parts' month difference, or the whole
  // difference in seconds, as a copy of pattern (see CZqlDate).
  CZqlYM YMDiff(const CZqlTimeStamp& other, const CZqlYM& pattern) const;
  CZqlDT DTDiff(const CZqlTimeStamp& other, const CZqlDT& pattern) const;
  // By date, then time; 0 when either is null.
  int operator>(const CZqlTimeStamp& b) const;
  int operator>=(const CZqlTimeStamp& b) const;
  int operator==(const CZqlTimeStamp& b) const;
  int operator<=(const CZqlTimeStamp& b) const;
  int operator<(const CZqlTimeStamp& b) const;
  int operator!=(const CZqlTimeStamp& b) const;

  // Packed form: the date part's items and terminator, the time part's
  // items and terminator, then this value's terminator (3).
  int unpackFrom(CZqlObjPack* pack) override;

 protected:
  void formatText(char* out, unsigned int size) const override;
  void packItems(CZqlObjPack* pack) const override;
  int32_t packEndValue() const override { return 3; }

 private:
  int compare(const CZqlTimeStamp& b, int* order) const;
  CZqlTimeStamp moved(const CZqlDT& b, int direction) const;
  CZqlTimeStamp movedMonths(const CZqlYM& b, int direction) const;

  CZqlDate date_;
  CZqlTime time_;
};
CZqlTimeStamp operator+(const CZqlYM& a, const CZqlTimeStamp& b);
CZqlTimeStamp operator+(const CZqlDT& a, const CZqlTimeStamp& b);

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
