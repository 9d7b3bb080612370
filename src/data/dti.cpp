// dti.cpp - CZqlDT: day-time intervals (DAY, HOUR, MINUTE, SECOND and their
// ranges) held as a sign and a double count of seconds.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

// Precisions of the DAY TO SECOND intervals that arithmetic answers.
constexpr unsigned int kResultLead = 6;
constexpr unsigned int kResultFrac = 8;
// Leading counts beyond this fit no precision; a packed value holding one
// is damaged.
constexpr double kMaxLeading = 1e6;

// Seconds per unit of each field (year and month have none here), and the
// bound of each field when it is not the leading one.
const double kUnit[] = {0, 0, 86400, 3600, 60, 1};
const double kLimit[] = {0, 12, 0, 24, 60, 60};

// The representation noise a count of seconds may carry from sums of
// fields and arithmetic: a few units in the last place, and never less
// than a tenth of the finest fraction shown (10^-8 s).
double Noise(double seconds) {
  return std::max(1e-10, 8 * DBL_EPSILON * std::fabs(seconds));
}

// Whole units (of unit seconds) in seconds, except that a count within
// noise of the next whole unit is that unit: 7199.9999999999 seconds are
// two hours.
double FloorUnits(double seconds, double unit) {
  const double q = seconds / unit;
  const double r = std::nearbyint(q);
  return std::fabs(r * unit - seconds) <= Noise(seconds) ? r : std::floor(q);
}

// The fields first..last of a magnitude; the leading field takes the whole
// count above the fields that follow it, seconds keep their fraction, and
// what lies below a trailing field other than SECOND is dropped. Fields
// outside the range are 0.
void Fields(double seconds, int first, int last, double out[6]) {
  for (int f = 0; f < 6; ++f) out[f] = 0.0;
  if (first < kZqlFieldDay) return;
  double rest = seconds;
  for (int f = first; f <= last; ++f) {
    if (f == kZqlFieldSecond) {
      out[f] = rest;
      break;
    }
    out[f] = FloorUnits(rest, kUnit[f]);
    rest = std::max(0.0, rest - out[f] * kUnit[f]);
  }
}

// Two magnitudes are equal within the noise that sums of fields and
// arithmetic leave in a double.
int Near(double a, double b) {
  return std::fabs(a - b) <= std::max(ZqlNumEpsilon[9], 4e-16 * std::max(std::fabs(a), std::fabs(b)));
}

}  // namespace

CZqlDT::CZqlDT(EZqlIType type, unsigned int lead, unsigned int frac)
    : CZqlInterval(type, lead, frac), seconds_(0.0) {
  if (!IsDTType(type)) {
    type_ = kZqlINone;
    ZqlEntryVoid([] { ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments); });
  }
}

CZqlDT::~CZqlDT() = default;

CZqlDT* CZqlDT::duplicate() const { return new CZqlDT(*this); }

CZqlDT& CZqlDT::operator=(const CZqlDT& other) {
  storeValue(static_cast<const CZqlData&>(other));
  return *this;
}

double CZqlDT::SignedSeconds() const {
  if (isNull()) return 0.0;
  return sign_ ? -seconds_ : seconds_;
}

// ---------------------------------------------------------------------------
// Fields
// ---------------------------------------------------------------------------

// Checks a complete set of fields against the type and sets the value:
// fields the type lacks must be 0, the leading one below the precision,
// the others within their bounds.
static int Compose(int first, int last, const double v[6], double* seconds) {
  double sum = 0.0;
  for (int f = kZqlFieldDay; f <= kZqlFieldSecond; ++f) {
    if ((f < first || f > last) && v[f] != 0.0) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (!(v[f] >= 0.0) || !std::isfinite(v[f])) ZQL_PUSH_RAISE(kZqlErrInvalidIntervalFormat);
    if (f > first && f <= last && v[f] >= kLimit[f]) ZQL_PUSH_RAISE(kZqlErrInvalidIntervalFormat);
    sum += v[f] * kUnit[f];
  }
  *seconds = sum;
  return 1;
}

int CZqlDT::setField(int field, double value) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int first = FirstField(type_);
    const int last = LastField(type_);
    if (first < 0 || field < first || field > last) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (!(value >= 0.0) || !std::isfinite(value)) ZQL_PUSH_RAISE(kZqlErrInvalidIntervalFormat);
    if (field == first && !checkLeading(value)) return 0;
    double v[6];
    Fields(isNull() ? 0.0 : seconds_, first, last, v);
    v[field] = value;
    double sum = 0.0;
    if (!Compose(first, last, v, &sum)) return 0;
    seconds_ = sum;
    null_ = 0;
    return 1;
  });
}

int CZqlDT::setDays(unsigned int days) { return setField(kZqlFieldDay, days); }
int CZqlDT::setHours(unsigned int hours) { return setField(kZqlFieldHour, hours); }
int CZqlDT::setMinutes(unsigned int minutes) { return setField(kZqlFieldMinute, minutes); }
int CZqlDT::setSeconds(double seconds) { return setField(kZqlFieldSecond, seconds); }

int CZqlDT::set(EZqlBoolean negative, unsigned int days, unsigned int hours,
                unsigned int minutes, double seconds) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int first = FirstField(type_);
    const int last = LastField(type_);
    if (first < 0) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    const double v[6] = {0, 0, static_cast<double>(days), static_cast<double>(hours),
                         static_cast<double>(minutes), seconds};
    double sum = 0.0;
    if (!Compose(first, last, v, &sum) || !checkLeading(v[first])) return 0;
    sign_ = negative ? kZqlTrue : kZqlFalse;
    seconds_ = sum;
    null_ = 0;
    return 1;
  });
}

int CZqlDT::get(EZqlBoolean* negative, unsigned int* days, unsigned int* hours,
                unsigned int* minutes, double* seconds) const {
  if (isNull() || negative == nullptr || days == nullptr || hours == nullptr ||
      minutes == nullptr || seconds == nullptr) {
    return 0;
  }
  double v[6];
  Fields(seconds_, FirstField(type_), LastField(type_), v);
  *negative = sign_;
  *days = static_cast<unsigned int>(v[kZqlFieldDay]);
  *hours = static_cast<unsigned int>(v[kZqlFieldHour]);
  *minutes = static_cast<unsigned int>(v[kZqlFieldMinute]);
  *seconds = v[kZqlFieldSecond];
  return 1;
}

int CZqlDT::getDays(unsigned int* days) const {
  EZqlBoolean n;
  unsigned int h, m;
  double s;
  return get(&n, days, &h, &m, &s);
}

int CZqlDT::getHours(unsigned int* hours) const {
  EZqlBoolean n;
  unsigned int d, m;
  double s;
  return get(&n, &d, hours, &m, &s);
}

int CZqlDT::getMinutes(unsigned int* minutes) const {
  EZqlBoolean n;
  unsigned int d, h;
  double s;
  return get(&n, &d, &h, minutes, &s);
}

int CZqlDT::getSeconds(double* seconds) const {
  EZqlBoolean n;
  unsigned int d, h, m;
  return get(&n, &d, &h, &m, seconds);
}

// ---------------------------------------------------------------------------
// Host records: set on an empty copy through the setters, so that a failure
// leaves the value; get converts into the record's own fields.
// ---------------------------------------------------------------------------

namespace {

// The record's fields (days, hours, minutes, seconds) of a value, split by
// the record's type.
struct SDTFields {
  unsigned int days, hours, minutes;
  double seconds;
};

SDTFields Split(double seconds, EZqlIType recordType) {
  double v[6];
  Fields(seconds, CZqlIQualifier::FirstField(recordType), CZqlIQualifier::LastField(recordType),
         v);
  return SDTFields{static_cast<unsigned int>(v[kZqlFieldDay]),
                   static_cast<unsigned int>(v[kZqlFieldHour]),
                   static_cast<unsigned int>(v[kZqlFieldMinute]), v[kZqlFieldSecond]};
}

}  // namespace

#define ZQL_DT_RECORD_SET(REC, BODY)                \
  int CZqlDT::set(const REC& r) {                   \
    CZqlDT v(*this);                                \
    v.setNull();                                    \
    v.setSign(r.sign);                              \
    if (!(BODY)) return 0;                          \
    return storeValue(static_cast<const CZqlData&>(v)); \
  }
ZQL_DT_RECORD_SET(zql_day, v.setDays(r.days))
ZQL_DT_RECORD_SET(zql_hour, v.setHours(r.hours))
ZQL_DT_RECORD_SET(zql_minute, v.setMinutes(r.minutes))
ZQL_DT_RECORD_SET(zql_second, v.setSeconds(r.seconds))
ZQL_DT_RECORD_SET(zql_daytohour, v.setDays(r.days) && v.setHours(r.hours))
ZQL_DT_RECORD_SET(zql_daytominute,
                  v.setDays(r.days) && v.setHours(r.hours) && v.setMinutes(r.minutes))
ZQL_DT_RECORD_SET(zql_daytosecond, v.setDays(r.days) && v.setHours(r.hours) &&
                                       v.setMinutes(r.minutes) && v.setSeconds(r.seconds))
ZQL_DT_RECORD_SET(zql_hourtominute, v.setHours(r.hours) && v.setMinutes(r.minutes))
ZQL_DT_RECORD_SET(zql_hourtosecond,
                  v.setHours(r.hours) && v.setMinutes(r.minutes) && v.setSeconds(r.seconds))
ZQL_DT_RECORD_SET(zql_minuteitosecond, v.setMinutes(r.minutes) && v.setSeconds(r.seconds))
#undef ZQL_DT_RECORD_SET

#define ZQL_DT_RECORD_GET(REC, TYPE, BODY)        \
  int CZqlDT::get(REC* r) const {                 \
    if (r == nullptr || isNull()) return 0;       \
    const SDTFields f = Split(seconds_, TYPE);    \
    r->sign = sign_;                              \
    BODY;                                         \
    return 1;                                     \
  }
ZQL_DT_RECORD_GET(zql_day, kZqlIDay, r->days = f.days)
ZQL_DT_RECORD_GET(zql_hour, kZqlIHour, r->hours = f.hours)
ZQL_DT_RECORD_GET(zql_minute, kZqlIMinute, r->minutes = f.minutes)
ZQL_DT_RECORD_GET(zql_second, kZqlISecond, r->seconds = f.seconds)
ZQL_DT_RECORD_GET(zql_daytohour, kZqlIDayToHour, (r->days = f.days, r->hours = f.hours))
ZQL_DT_RECORD_GET(zql_daytominute, kZqlIDayToMinute,
                  (r->days = f.days, r->hours = f.hours, r->minutes = f.minutes))
ZQL_DT_RECORD_GET(zql_daytosecond, kZqlIDayToSecond,
                  (r->days = f.days, r->hours = f.hours, r->minutes = f.minutes,
                   r->seconds = f.seconds))
ZQL_DT_RECORD_GET(zql_hourtominute, kZqlIHourToMinute, (r->hours = f.hours, r->minutes = f.minutes))
ZQL_DT_RECORD_GET(zql_hourtosecond, kZqlIHourToSecond,
                  (r->hours = f.hours, r->minutes = f.minutes, r->seconds = f.seconds))
ZQL_DT_RECORD_GET(zql_minuteitosecond, kZqlIMinuteToSecond,
                  (r->minutes = f.minutes, r->seconds = f.seconds))
#undef ZQL_DT_RECORD_GET

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

// Reads the separator before field f: blanks between the day and the hour,
// a colon elsewhere. 1 when read, 0 when absent. A sign after it would make
// a trailing field negative: -1 after raising "wrong interval string".
static int Separator(CZqlTemporalText* scan, int first, int f) {
  if (f == kZqlFieldHour && first == kZqlFieldDay) {
    if (scan->peek() != ' ') return 0;
    scan->skipBlanks();
  } else if (!scan->accept(':')) {
    return 0;
  }
  if (scan->peek() == '-' || scan->peek() == '+') ZQL_PUSH_RAISE(kZqlErrWrongIntervalString);
  return 1;
}

static int ReadField(CZqlTemporalText* scan, int f, double* out) {
  if (f == kZqlFieldSecond) return scan->seconds(out);
  int64_t n = 0;
  if (!scan->number(&n)) return 0;
  *out = static_cast<double>(n);
  return 1;
}

// The sign is read from the text itself, so that "-00:30" keeps it
// although its leading field is 0.
int CZqlDT::storeValue(const char* text, unsigned int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlTemporalText scan;
    if (!scan.load(text, size)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    const int first = FirstField(type_);
    const int last = LastField(type_);
    if (first < 0) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    const EZqlBoolean negative = TextSign(&scan);
    double v[6] = {0, 0, 0, 0, 0, 0};
    int count = 0;
    for (int f = first; f <= last; ++f) {
      if (f > first) {
        const int sep = Separator(&scan, first, f);
        if (sep < 0) return 0;
        if (sep == 0) break;
      }
      if (!ReadField(&scan, f, &v[f])) {
        if (f == first) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
        ZQL_PUSH_RAISE(kZqlErrWrongIntervalString);
      }
      ++count;
    }
    if (count < last - first + 1 || !scan.atEnd()) ZQL_PUSH_RAISE(kZqlErrWrongIntervalString);
    if (!checkLeading(v[first])) return 0;
    double sum = 0.0;
    if (!Compose(first, last, v, &sum)) return 0;
    sign_ = negative;
    seconds_ = sum;
    null_ = 0;
    return 1;
  });
}

// The magnitude in units of 10^-digits seconds, cut (not rounded) so that
// no field is ever shown as 60.
static int64_t Ticks(double seconds, unsigned int digits) {
  const double x = seconds * ZqlNumScale[digits];
  const double r = std::nearbyint(x);
  return static_cast<int64_t>(std::fabs(r - x) <= Noise(seconds) * ZqlNumScale[digits] ? r
                                                                                   : std::floor(x));
}

void CZqlDT::formatFields(char* out, unsigned int size) const {
  const int first = FirstField(type_);
  const int last = LastField(type_);
  out[0] = '\0';
  if (first < 0) return;
  const unsigned int digits = last == kZqlFieldSecond ? frac_ : 0;
  const int64_t scale = static_cast<int64_t>(ZqlNumScale[digits]);
  int64_t rest = Ticks(seconds_, digits);
  int k = 0;
  for (int f = first; f <= last; ++f) {
    const int64_t unit = static_cast<int64_t>(kUnit[f]) * scale;
    const long long n = static_cast<long long>(rest / unit);
    rest %= unit;
    if (f == first) {
      k += std::snprintf(out + k, size - k, "%0*lld", static_cast<int>(lead_), n);
    } else {
      const char sep = f == kZqlFieldHour && first == kZqlFieldDay ? ' ' : ':';
      k += std::snprintf(out + k, size - k, "%c%02lld", sep, n);
    }
  }
  if (digits > 0) {
    std::snprintf(out + k, size - k, ".%0*lld", static_cast<int>(digits),
                  static_cast<long long>(rest));
  }
}

// ---------------------------------------------------------------------------
// Conversion hooks and the packed magnitude
// ---------------------------------------------------------------------------

double CZqlDT::leadingCount() const {
  const int first = FirstField(type_);
  if (first < kZqlFieldDay) return 0.0;
  return first == kZqlFieldSecond ? seconds_ : FloorUnits(seconds_, kUnit[first]);
}

int CZqlDT::assignCount(EZqlBoolean negative, double count) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int first = FirstField(type_);
    if (first < kZqlFieldDay) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    return assign(negative, count * kUnit[first]);
  });
}

// What lies below the trailing field is cut; the leading field must fit
// the precision.
int CZqlDT::assign(EZqlBoolean negative, double seconds) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int first = FirstField(type_);
    const int last = LastField(type_);
    if (first < kZqlFieldDay) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (!std::isfinite(seconds)) ZQL_PUSH_RAISE(kZqlErrIntervalFieldOverflow);
    double s = std::fabs(seconds);
    if (last != kZqlFieldSecond) s = FloorUnits(s, kUnit[last]) * kUnit[last];
    const double leading = first == kZqlFieldSecond ? s : FloorUnits(s, kUnit[first]);
    if (!checkLeading(leading)) return 0;
    sign_ = negative ? kZqlTrue : kZqlFalse;
    seconds_ = s;
    null_ = 0;
    return 1;
  });
}

int CZqlDT::assignInterval(const CZqlInterval& src) {
  return ZqlEntry<int>(0, [&]() -> int {
    const CZqlDT* dt = dynamic_cast<const CZqlDT*>(&src);
    if (dt == nullptr) ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
    if (dt->isNull()) {
      setNull();
      return 1;
    }
    return assign(dt->sign_, dt->seconds_);
  });
}

int CZqlDT::validMagnitude() const {
  return std::isfinite(seconds_) && seconds_ >= 0.0 && leadingCount() < kMaxLeading;
}

void CZqlDT::packMagnitude(CZqlObjPack* pack) const { pack->add(4, seconds_); }

void CZqlDT::unpackMagnitude(CZqlObjPack* pack) {
  double v = 0.0;
  if (!ReadItem(pack, &v)) return;
  seconds_ = v;
  null_ = 0;
}

// ---------------------------------------------------------------------------
// Arithmetic and comparison
// ---------------------------------------------------------------------------

static CZqlDT FromSigned(double seconds) {
  CZqlDT r(kZqlIDayToSecond, kResultLead, kResultFrac);
  r.assign(seconds < 0 ? kZqlTrue : kZqlFalse, seconds);
  return r;
}

CZqlDT CZqlDT::operator+(const CZqlDT& b) const {
  if (isNull() || b.isNull()) return CZqlDT(kZqlIDayToSecond, kResultLead, kResultFrac);
  return FromSigned(SignedSeconds() + b.SignedSeconds());
}

CZqlDT CZqlDT::operator-(const CZqlDT& b) const {
  if (isNull() || b.isNull()) return CZqlDT(kZqlIDayToSecond, kResultLead, kResultFrac);
  return FromSigned(SignedSeconds() - b.SignedSeconds());
}

CZqlDT CZqlDT::scaled(double factor, int divide, int isNullFactor) const {
  return ZqlEntry<CZqlDT>(CZqlDT(kZqlIDayToSecond, kResultLead, kResultFrac), [&]() -> CZqlDT {
    if (isNull() || isNullFactor) return CZqlDT(kZqlIDayToSecond, kResultLead, kResultFrac);
    if (divide && factor == 0.0) ZQL_PUSH_RAISE(kZqlErrDivisionByZero);
    const double s = SignedSeconds();
    return FromSigned(divide ? s / factor : s * factor);
  });
}

CZqlDT CZqlDT::operator*(const CZqlExactNum& b) const {
  return scaled(b.realValue(), 0, b.isNull());
}
CZqlDT CZqlDT::operator*(long b) const { return scaled(static_cast<double>(b), 0, 0); }
CZqlDT CZqlDT::operator/(const CZqlExactNum& b) const {
  return scaled(b.realValue(), 1, b.isNull());
}
CZqlDT CZqlDT::operator/(long b) const { return scaled(static_cast<double>(b), 1, 0); }

CZqlDT operator*(const CZqlExactNum& a, const CZqlDT& b) { return b * a; }
CZqlDT operator*(long a, const CZqlDT& b) { return b * a; }

CZqlDT& CZqlDT::operator-() {
  if (!isNull()) sign_ = sign_ ? kZqlFalse : kZqlTrue;
  return *this;
}

int CZqlDT::compare(const CZqlDT& b, int* order) const {
  if (isNull() || b.isNull()) return 0;
  const double x = SignedSeconds();
  const double y = b.SignedSeconds();
  *order = Near(x, y) ? 0 : x < y ? -1 : 1;
  return 1;
}

int CZqlDT::operator>(const CZqlDT& b) const {
  int o = 0;
  return compare(b, &o) && o > 0;
}
int CZqlDT::operator>=(const CZqlDT& b) const {
  int o = 0;
  return compare(b, &o) && o >= 0;
}
int CZqlDT::operator==(const CZqlDT& b) const {
  int o = 0;
  return compare(b, &o) && o == 0;
}
int CZqlDT::operator<=(const CZqlDT& b) const {
  int o = 0;
  return compare(b, &o) && o <= 0;
}
int CZqlDT::operator<(const CZqlDT& b) const {
  int o = 0;
  return compare(b, &o) && o < 0;
}
int CZqlDT::operator!=(const CZqlDT& b) const {
  int o = 0;
  return compare(b, &o) && o != 0;
}
