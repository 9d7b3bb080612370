// date.cpp - CZqlDate: DATE, a month count (year * 12 + month - 1) and a
// day of the month, for the years 1 to 9999; validation, text, arithmetic
// with intervals and comparison.

#include <cmath>
#include <cstdio>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

constexpr unsigned int kMinYear = 1;
constexpr unsigned int kMaxYear = 9999;
// Month counts of 0001-01 and 9999-12.
constexpr int64_t kMinMonths = kMinYear * 12;
constexpr int64_t kMaxMonths = kMaxYear * 12 + 11;

const unsigned int kDaysInMonth[] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (the
// civil-days algorithm: years counted from March, in 400-year eras).
int64_t DaysFromCivil(int64_t y, unsigned int m, unsigned int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The inverse of DaysFromCivil.
void CivilFromDays(int64_t z, int64_t* y, unsigned int* m, unsigned int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<unsigned int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<unsigned int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

const int64_t kDayZero = DaysFromCivil(kMinYear, 1, 1);
const int64_t kLastDay = DaysFromCivil(kMaxYear, 12, 31) - kDayZero;

int ValidDate(unsigned int y, unsigned int m, unsigned int d) {
  return y >= kMinYear && y <= kMaxYear && m >= 1 && m <= 12 && d >= 1 &&
         d <= CZqlDate::DaysInMonth(y, m);
}

}  // namespace

int CZqlDate::IsLeapYear(unsigned int year) {
  return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

unsigned int CZqlDate::DaysInMonth(unsigned int year, unsigned int month) {
  if (month < 1 || month > 12) return 0;
  return kDaysInMonth[month] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

CZqlDate::CZqlDate() : months_(0), day_(0) {}

CZqlDate::~CZqlDate() = default;

CZqlDate* CZqlDate::duplicate() const { return new CZqlDate(*this); }

CZqlDate& CZqlDate::operator=(const CZqlDate& other) {
  months_ = other.months_;
  day_ = other.day_;
  null_ = other.null_;
  return *this;
}

unsigned int CZqlDate::Year() const { return isNull() ? 0 : months_ / 12; }
unsigned int CZqlDate::Month() const { return isNull() ? 0 : months_ % 12 + 1; }
unsigned int CZqlDate::Day() const { return isNull() ? 0 : day_; }

// ---------------------------------------------------------------------------
// Setting
// ---------------------------------------------------------------------------

int CZqlDate::set(unsigned short year, unsigned short month, unsigned short day) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!ValidDate(year, month, day)) ZQL_PUSH_RAISE(kZqlErrInvalidDatetimeFormat);
    months_ = static_cast<uint32_t>(year) * 12 + month - 1;
    day_ = day;
    null_ = 0;
    return 1;
  });
}

// A null date has no fields to keep: the others start as January 1st of
// the year 1, so that setting fields one by one builds a date.
int CZqlDate::setYear(unsigned short year) {
  if (isNull()) return set(year, 1, 1);
  return set(year, static_cast<unsigned short>(Month()), day_);
}

int CZqlDate::setMonth(unsigned short month) {
  if (isNull()) return set(kMinYear, month, 1);
  return set(static_cast<unsigned short>(Year()), month, day_);
}

int CZqlDate::setDay(unsigned short day) {
  if (isNull()) return set(kMinYear, 1, day);
  return set(static_cast<unsigned short>(Year()), static_cast<unsigned short>(Month()), day);
}

int CZqlDate::set(const zql_date& r) {
  return ZqlEntry<int>(0, [&]() -> int {
    return set(r.year, r.month, r.day);
  });
}

int CZqlDate::get(zql_date* r) const {
  if (r == nullptr || isNull()) return 0;
  r->year = static_cast<uint16_t>(Year());
  r->month = static_cast<uint16_t>(Month());
  r->day = day_;
  return 1;
}

int64_t CZqlDate::DayNumber() const {
  return DaysFromCivil(Year(), Month(), day_) - kDayZero;
}

int CZqlDate::setDayNumber(int64_t n) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (n < 0) ZQL_PUSH_RAISE(kZqlErrDatetimeFieldUnderflow);
    if (n > kLastDay) ZQL_PUSH_RAISE(kZqlErrDatetimeFieldOverflow);
    int64_t y = 0;
    unsigned int m = 0;
    unsigned int d = 0;
    CivilFromDays(n + kDayZero, &y, &m, &d);
    months_ = static_cast<uint32_t>(y * 12 + m - 1);
    day_ = static_cast<uint16_t>(d);
    null_ = 0;
    return 1;
  });
}

// ---------------------------------------------------------------------------
// Text and other values
// ---------------------------------------------------------------------------

// A date that does not exist is a text that does not convert.
int CZqlDate::storeValue(const char* text, unsigned int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlTemporalText scan;
    int64_t y = 0;
    int64_t m = 0;
    int64_t d = 0;
    if (!scan.load(text, size)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    scan.skipBlanks();
    const int read = scan.number(&y) && scan.accept('-') && scan.number(&m) && scan.accept('-') &&
                     scan.number(&d) && scan.atEnd();
    if (!read || y > kMaxYear || m > 12 || d > 31 ||
        !ValidDate(static_cast<unsigned int>(y), static_cast<unsigned int>(m),
                   static_cast<unsigned int>(d))) {
      ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    }
    return set(static_cast<unsigned short>(y), static_cast<unsigned short>(m),
               static_cast<unsigned short>(d));
  });
}

int CZqlDate::storeValue(const CZqlData& other) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (&other == this) return 1;
    if (other.isNull()) {
      setNull();
      return 1;
    }
    if (const CZqlDate* date = dynamic_cast<const CZqlDate*>(&other)) {
      *this = *date;
      return 1;
    }
    if (const CZqlTimeStamp* ts = dynamic_cast<const CZqlTimeStamp*>(&other)) {
      *this = ts->DatePart();
      return 1;
    }
    if (other.is_character()) return CZqlData::storeValue(other);
    ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  });
}

int CZqlDate::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy("DATE");
  return 1;
}

void CZqlDate::formatText(char* out, unsigned int size) const {
  std::snprintf(out, size, "%04u-%02u-%02u", Year(), Month(), static_cast<unsigned int>(day_));
}

// ---------------------------------------------------------------------------
// Arithmetic
// ---------------------------------------------------------------------------

// The day stays; a month without it is an overflow, as is a year beyond
// 9999; a year before 1 is an underflow.
int CZqlDate::shiftMonths(int64_t delta, CZqlDate* out) const {
  return ZqlEntry<int>(0, [&]() -> int {
    const int64_t m = static_cast<int64_t>(months_) + delta;
    if (m < kMinMonths) ZQL_PUSH_RAISE(kZqlErrDatetimeFieldUnderflow);
    if (m > kMaxMonths) ZQL_PUSH_RAISE(kZqlErrDatetimeFieldOverflow);
    if (day_ > DaysInMonth(static_cast<unsigned int>(m / 12), static_cast<unsigned int>(m % 12 + 1))) {
      ZQL_PUSH_RAISE(kZqlErrDatetimeFieldOverflow);
    }
    out->months_ = static_cast<uint32_t>(m);
    out->day_ = day_;
    out->null_ = 0;
    return 1;
  });
}

// Whole days of a DAY interval, signed, moved over month and year ends.
int CZqlDate::shiftDays(const CZqlDT& b, int direction, CZqlDate* out) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (b.IntervalType() != kZqlIDay) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (isNull() || b.isNull()) return 1;
    const double days = std::floor(b.Seconds() / 86400.0 + 1e-9);
    const int64_t delta = static_cast<int64_t>(days) * (b.Sign() ? -direction : direction);
    return out->setDayNumber(DayNumber() + delta);
  });
}

static int64_t SignedMonths(const CZqlYM& b, int direction) {
  const int64_t m = b.Months();
  return b.Sign() ? -m * direction : m * direction;
}

CZqlDate CZqlDate::operator+(const CZqlYM& b) const {
  CZqlDate r;
  if (!isNull() && !b.isNull()) shiftMonths(SignedMonths(b, 1), &r);
  return r;
}

CZqlDate CZqlDate::operator-(const CZqlYM& b) const {
  CZqlDate r;
  if (!isNull() && !b.isNull()) shiftMonths(SignedMonths(b, -1), &r);
  return r;
}

CZqlDate CZqlDate::operator+(const CZqlDT& b) const {
  CZqlDate r;
  shiftDays(b, 1, &r);
  return r;
}

CZqlDate CZqlDate::operator-(const CZqlDT& b) const {
  CZqlDate r;
  shiftDays(b, -1, &r);
  return r;
}

CZqlDate operator+(const CZqlYM& a, const CZqlDate& b) { return b + a; }
CZqlDate operator+(const CZqlDT& a, const CZqlDate& b) { return b + a; }

CZqlYM CZqlDate::YMDiff(const CZqlDate& other, const CZqlYM& pattern) const {
  CZqlYM r(pattern);
  r.setNull();
  if (isNull() || other.isNull()) return r;
  const int64_t d = static_cast<int64_t>(months_) - static_cast<int64_t>(other.months_);
  r.assign(d < 0 ? kZqlTrue : kZqlFalse, static_cast<uint64_t>(d < 0 ? -d : d));
  return r;
}

CZqlDT CZqlDate::DTDiff(const CZqlDate& other, const CZqlDT& pattern) const {
  CZqlDT r(pattern);
  r.setNull();
  if (isNull() || other.isNull()) return r;
  const double s = static_cast<double>(DayNumber() - other.DayNumber()) * 86400.0;
  r.assign(s < 0 ? kZqlTrue : kZqlFalse, s);
  return r;
}

// ---------------------------------------------------------------------------
// Comparison
// ---------------------------------------------------------------------------

int CZqlDate::compare(const CZqlDate& b, int* order) const {
  if (isNull() || b.isNull()) return 0;
  if (months_ != b.months_) {
    *order = months_ < b.months_ ? -1 : 1;
  } else {
    *order = day_ < b.day_ ? -1 : day_ > b.day_ ? 1 : 0;
  }
  return 1;
}

int CZqlDate::operator>(const CZqlDate& b) const {
  int o = 0;
  return compare(b, &o) && o > 0;
}
int CZqlDate::operator>=(const CZqlDate& b) const {
  int o = 0;
  return compare(b, &o) && o >= 0;
}
int CZqlDate::operator==(const CZqlDate& b) const {
  int o = 0;
  return compare(b, &o) && o == 0;
}
int CZqlDate::operator<=(const CZqlDate& b) const {
  int o = 0;
  return compare(b, &o) && o <= 0;
}
int CZqlDate::operator<(const CZqlDate& b) const {
  int o = 0;
  return compare(b, &o) && o < 0;
}
int CZqlDate::operator!=(const CZqlDate& b) const {
  int o = 0;
  return compare(b, &o) && o != 0;
}

// ---------------------------------------------------------------------------
// Packed form
// ---------------------------------------------------------------------------

void CZqlDate::packItems(CZqlObjPack* pack) const {
  if (isNull()) return;
  pack->add(0, static_cast<int32_t>(months_));
  pack->add(1, static_cast<int32_t>(day_));
}

void CZqlDate::unpackItem(CZqlObjPack* pack, int label) {
  int32_t v = 0;
  if ((label != 0 && label != 1) || !ReadItem(pack, &v)) return;
  if (label == 0) {
    months_ = static_cast<uint32_t>(v);
  } else {
    day_ = v >= 0 && v <= 0xFFFF ? static_cast<uint16_t>(v) : 0;
  }
  null_ = 0;
}

int CZqlDate::unpackFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (pack == nullptr) return 0;
    CZqlDatetime::unpackFrom(pack);
    if (!isNull() && !ValidDate(months_ / 12, months_ % 12 + 1, day_)) {
      null_ = 1;
      ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
    }
    return 1;
  });
}
