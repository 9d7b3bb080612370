// zqlstime.h - intervals (year-month, day-time) and datetimes (DATE,
// TIME, TIMESTAMP) with their host records and operators.
// Reached through zqlsdata.h (and zqlappl.h), whose opening comment says
// what "may raise" means for every value.

#ifndef ZQL_ZQLSTIME_H
#define ZQL_ZQLSTIME_H

#include "zqlsbase.h"

ZQL_PUBLIC_BEGIN

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
  // Equal when the times of day differ by less than ZqlNumEpsilon[max of the
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

ZQL_PUBLIC_END

#endif  // ZQL_ZQLSTIME_H
