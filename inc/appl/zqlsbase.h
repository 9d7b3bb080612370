// zqlsbase.h - the abstract SQL value CZqlData with its null indicator,
// type codes and attributes, and the numeric scale tables.
// Reached through zqlsdata.h (and zqlappl.h), whose opening comment says
// what "may raise" means for every value.

#ifndef ZQL_ZQLSBASE_H
#define ZQL_ZQLSBASE_H

#include <cstdint>

#include "zqlclass.h"

ZQL_PUBLIC_BEGIN


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

// ZqlNumScale[i] = 10^i and ZqlNumEpsilon[i] = 0.5 * 10^-i for i = 0..32: the
// scale factors and the comparison tolerances of the exact numerics.
extern const double ZqlNumScale[33];
extern const double ZqlNumEpsilon[33];

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

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSBASE_H
