// tmstamp.cpp - CZqlTimeStamp: TIMESTAMP(p) [WITH TIME ZONE], a date part
// and a time part; null unless both hold values.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

constexpr double kDay = 86400.0;
// Precision of the timestamps that arithmetic answers.
constexpr unsigned int kResultPrecision = 6;

}  // namespace

CZqlTimeStamp::CZqlTimeStamp(unsigned int precision, EZqlBoolean withTimeZone)
    : time_(precision, withTimeZone) {}

CZqlTimeStamp::~CZqlTimeStamp() = default;

CZqlTimeStamp* CZqlTimeStamp::duplicate() const { return new CZqlTimeStamp(*this); }

CZqlTimeStamp& CZqlTimeStamp::operator=(const CZqlTimeStamp& other) {
  if (this == &other) return *this;
  date_ = other.date_;
  time_ = other.time_;
  null_ = isNull();
  return *this;
}

int CZqlTimeStamp::DateTimeType() const {
  return time_.tzFlag_ ? kZqlDtTimeStampTz : kZqlDtTimeStamp;
}

unsigned int CZqlTimeStamp::ReturnLength() const {
  return (time_.prec_ == 0 ? 19 : time_.prec_ + 20) + (time_.tzFlag_ ? 6 : 0);
}

int CZqlTimeStamp::isNull() const { return date_.isNull() || time_.isNull(); }

void CZqlTimeStamp::setNull() {
  date_.setNull();
  time_.setNull();
  null_ = 1;
}

unsigned int CZqlTimeStamp::Year() const { return isNull() ? 0 : date_.Year(); }
unsigned int CZqlTimeStamp::Month() const { return isNull() ? 0 : date_.Month(); }
unsigned int CZqlTimeStamp::Day() const { return isNull() ? 0 : date_.Day(); }
unsigned int CZqlTimeStamp::Hour() const { return isNull() ? 0 : time_.Hour(); }
unsigned int CZqlTimeStamp::Minute() const { return isNull() ? 0 : time_.Minute(); }
double CZqlTimeStamp::Second() const { return isNull() ? 0.0 : time_.Second(); }

// ---------------------------------------------------------------------------
// Setting: both parts are built aside and taken only together.
// ---------------------------------------------------------------------------

int CZqlTimeStamp::set(unsigned short year, unsigned short month, unsigned short day,
                       unsigned short hour, unsigned short minute, double second) {
  CZqlDate d;
  CZqlTime t(time_);
  if (!d.set(year, month, day) || !t.set(hour, minute, second)) return 0;
  date_ = d;
  time_ = t;
  null_ = 0;
  return 1;
}

int CZqlTimeStamp::set(const zql_timestamp& r) {
  CZqlDate d;
  CZqlTime t(time_);
  if (!d.set(r.date) || !t.set(r.time)) return 0;
  date_ = d;
  time_ = t;
  null_ = 0;
  return 1;
}

int CZqlTimeStamp::get(zql_timestamp* r) const {
  if (r == nullptr || isNull()) return 0;
  return date_.get(&r->date) && time_.get(&r->time);
}

// ---------------------------------------------------------------------------
// Text and other values
// ---------------------------------------------------------------------------

int CZqlTimeStamp::storeValue(const char* text, unsigned int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlTemporalText scan;
    if (!scan.load(text, size)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    scan.skipBlanks();
    const char* all = scan.rest();
    const char* blank = std::strchr(all, ' ');
    if (blank == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    CZqlDate d;
    CZqlTime t(time_);
    if (!d.storeValue(all, static_cast<unsigned int>(blank - all))) return 0;
    if (!t.storeValue(blank + 1, static_cast<unsigned int>(std::strlen(blank + 1)))) return 0;
    date_ = d;
    time_ = t;
    null_ = 0;
    return 1;
  });
}

int CZqlTimeStamp::storeValue(const CZqlData& other) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (&other == this) return 1;
    if (other.isNull()) {
      setNull();
      return 1;
    }
    if (const CZqlTimeStamp* ts = dynamic_cast<const CZqlTimeStamp*>(&other)) {
      *this = *ts;
      return 1;
    }
    if (const CZqlDate* date = dynamic_cast<const CZqlDate*>(&other)) {
      date_ = *date;
      time_.tz_.setNull();
      time_.setTimeOfDay(0.0);
      null_ = 0;
      return 1;
    }
    if (other.is_character()) return CZqlData::storeValue(other);
    ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  });
}

int CZqlTimeStamp::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  char text[48];
  int k = std::snprintf(text, sizeof text, "TIMESTAMP");
  if (time_.prec_ != kResultPrecision) {
    k += std::snprintf(text + k, sizeof text - k, "(%u)", static_cast<unsigned int>(time_.prec_));
  }
  if (time_.tzFlag_) std::snprintf(text + k, sizeof text - k, " WITH TIME ZONE");
  out->Copy(text);
  return 1;
}

void CZqlTimeStamp::formatText(char* out, unsigned int size) const {
  char date[16];
  char time[48];
  date_.getValue(date, sizeof date);
  time_.getValue(time, sizeof time);
  std::snprintf(out, size, "%s %s", date, time);
}

// ---------------------------------------------------------------------------
// Arithmetic
// ---------------------------------------------------------------------------

// The date part moves by months; the time part stays.
CZqlTimeStamp CZqlTimeStamp::movedMonths(const CZqlYM& b, int direction) const {
  CZqlTimeStamp r(kResultPrecision, time_.WithTimeZone());
  if (isNull() || b.isNull()) return r;
  const CZqlDate d = direction > 0 ? date_ + b : date_ - b;
  if (d.isNull()) return r;
  r.date_ = d;
  r.time_ = time_;
  return r;
}

// The time moves by the interval's seconds and whole days carry into the
// date.
CZqlTimeStamp CZqlTimeStamp::moved(const CZqlDT& b, int direction) const {
  CZqlTimeStamp r(kResultPrecision, time_.WithTimeZone());
  if (isNull() || b.isNull()) return r;
  const double total = time_.tod_ + direction * b.SignedSeconds();
  double days = std::floor(total / kDay);
  double rest = total - days * kDay;
  if (rest >= kDay) {
    rest -= kDay;
    days += 1.0;
  }
  if (rest < 0.0) rest = 0.0;
  CZqlDate d;
  if (!d.setDayNumber(date_.DayNumber() + static_cast<int64_t>(days))) return r;
  r.date_ = d;
  r.time_.tz_ = time_.tz_;
  r.time_.setTimeOfDay(rest);
  return r;
}

CZqlTimeStamp CZqlTimeStamp::operator+(const CZqlYM& b) const { return movedMonths(b, 1); }
CZqlTimeStamp CZqlTimeStamp::operator-(const CZqlYM& b) const { return movedMonths(b, -1); }
CZqlTimeStamp CZqlTimeStamp::operator+(const CZqlDT& b) const { return moved(b, 1); }
CZqlTimeStamp CZqlTimeStamp::operator-(const CZqlDT& b) const { return moved(b, -1); }
CZqlTimeStamp operator+(const CZqlYM& a, const CZqlTimeStamp& b) { return b + a; }
CZqlTimeStamp operator+(const CZqlDT& a, const CZqlTimeStamp& b) { return b + a; }

CZqlYM CZqlTimeStamp::YMDiff(const CZqlTimeStamp& other, const CZqlYM& pattern) const {
  if (isNull() || other.isNull()) {
    CZqlYM r(pattern);
    r.setNull();
    return r;
  }
  return date_.YMDiff(other.date_, pattern);
}

CZqlDT CZqlTimeStamp::DTDiff(const CZqlTimeStamp& other, const CZqlDT& pattern) const {
  CZqlDT r(pattern);
  r.setNull();
  if (isNull() || other.isNull()) return r;
  const double days = static_cast<double>(date_.DayNumber() - other.date_.DayNumber());
  const double s = days * kDay + (time_.tod_ - other.time_.tod_);
  r.assign(s < 0 ? kZqlTrue : kZqlFalse, s);
  return r;
}

// ---------------------------------------------------------------------------
// Comparison
// ---------------------------------------------------------------------------

int CZqlTimeStamp::compare(const CZqlTimeStamp& b, int* order) const {
  if (isNull() || b.isNull()) return 0;
  if (date_ != b.date_) {
    *order = date_ < b.date_ ? -1 : 1;
    return 1;
  }
  return time_.compare(b.time_, order);
}

int CZqlTimeStamp::operator>(const CZqlTimeStamp& b) const {
  int o = 0;
  return compare(b, &o) && o > 0;
}
int CZqlTimeStamp::operator>=(const CZqlTimeStamp& b) const {
  int o = 0;
  return compare(b, &o) && o >= 0;
}
int CZqlTimeStamp::operator==(const CZqlTimeStamp& b) const {
  int o = 0;
  return compare(b, &o) && o == 0;
}
int CZqlTimeStamp::operator<=(const CZqlTimeStamp& b) const {
  int o = 0;
  return compare(b, &o) && o <= 0;
}
int CZqlTimeStamp::operator<(const CZqlTimeStamp& b) const {
  int o = 0;
  return compare(b, &o) && o < 0;
}
int CZqlTimeStamp::operator!=(const CZqlTimeStamp& b) const {
  int o = 0;
  return compare(b, &o) && o != 0;
}

// ---------------------------------------------------------------------------
// Packed form
// ---------------------------------------------------------------------------

void CZqlTimeStamp::packItems(CZqlObjPack* pack) const {
  date_.packTo(pack);
  time_.packTo(pack);
}

// The parts read up to their own terminators; what follows up to this
// value's terminator is skipped. The time part writes its precision only
// when it is not 0, a time's default: its absence means 0 here too, not
// the timestamp's default of 6.
int CZqlTimeStamp::unpackFrom(CZqlObjPack* pack) {
  if (pack == nullptr) return 0;
  null_ = 1;
  time_.prec_ = 0;
  date_.unpackFrom(pack);
  time_.unpackFrom(pack);
  while (pack->getNext() != kZqlPackEnd) {
  }
  null_ = isNull();
  return 1;
}
