// time.cpp - CZqlTime: TIME(p) [WITH TIME ZONE], seconds since midnight
// rounded to p decimals, with the time-zone displacement as an HOUR(2) TO
// MINUTE interval.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

constexpr double kDay = 86400.0;
// Decimals a time of day keeps: a double holds about 16 significant
// digits, five of which are whole seconds.
constexpr unsigned int kMaxPrecision = 9;
// Leading precision of the displacement interval.
constexpr unsigned int kZoneLead = 2;

}  // namespace

CZqlTime::CZqlTime(unsigned int precision, EZqlBoolean withTimeZone)
    : prec_(static_cast<uint16_t>(precision > kMaxPrecision ? kMaxPrecision : precision)),
      tzFlag_(withTimeZone ? 1 : 0),
      tod_(0.0),
      tz_(kZqlIHourToMinute, kZoneLead) {}

CZqlTime::~CZqlTime() = default;

CZqlTime* CZqlTime::duplicate() const { return new CZqlTime(*this); }

CZqlTime& CZqlTime::operator=(const CZqlTime& other) {
  if (this == &other) return *this;
  tz_ = other.tz_;
  if (other.isNull()) {
    setNull();
  } else {
    tod_ = rounded(other.tod_);
    null_ = 0;
  }
  return *this;
}

unsigned int CZqlTime::ReturnLength() const {
  return (prec_ == 0 ? 8 : prec_ + 9) + (tzFlag_ ? 6 : 0);
}

unsigned int CZqlTime::Hour() const {
  return isNull() ? 0 : static_cast<unsigned int>(tod_ / 3600.0);
}

unsigned int CZqlTime::Minute() const {
  if (isNull()) return 0;
  return static_cast<unsigned int>(tod_ - Hour() * 3600.0) / 60;
}

double CZqlTime::Second() const {
  if (isNull()) return 0.0;
  return tod_ - Hour() * 3600.0 - Minute() * 60.0;
}

// ---------------------------------------------------------------------------
// Setting
// ---------------------------------------------------------------------------

// Multiply by 10^p, take the floor and add one only when the part cut off
// exceeds a half: an exact half rounds down. The half is judged with a
// margin for the binary noise of decimal fractions, so that 30.115 at two
// decimals rounds down whichever side of the half its double lies. A time
// that would round up to midnight is cut instead, as it has no next day.
double CZqlTime::rounded(double seconds) const {
  const double scale = ZqlNumScale[prec_];
  const double x = seconds * scale;
  const double down = std::floor(x);
  double n = down;
  if (x - down > 0.5 + 1e-7) n += 1.0;
  if (n >= kDay * scale) n = down;
  return n / scale;
}

int CZqlTime::setTimeOfDay(double seconds) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!(seconds >= 0.0 && seconds < kDay)) ZQL_PUSH_RAISE(kZqlErrInvalidDatetimeFormat);
    tod_ = rounded(seconds);
    null_ = 0;
    return 1;
  });
}

int CZqlTime::set(unsigned short hour, unsigned short minute, double second) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (hour > 23 || minute > 59 || !(second >= 0.0 && second < 60.0)) {
      ZQL_PUSH_RAISE(kZqlErrInvalidDatetimeFormat);
    }
    return setTimeOfDay(hour * 3600.0 + minute * 60.0 + second);
  });
}

int CZqlTime::setHour(unsigned short hour) {
  return set(hour, static_cast<unsigned short>(Minute()), Second());
}

int CZqlTime::setMinute(unsigned short minute) {
  return set(static_cast<unsigned short>(Hour()), minute, Second());
}

int CZqlTime::setSecond(double second) {
  return set(static_cast<unsigned short>(Hour()), static_cast<unsigned short>(Minute()), second);
}

void CZqlTime::setWithTimeZone(EZqlBoolean withTimeZone) { tzFlag_ = withTimeZone ? 1 : 0; }

int CZqlTime::setTimeZone(const CZqlDT& zone) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (zone.isNull()) {
      tz_.setNull();
      return 1;
    }
    const EZqlIType t = zone.IntervalType();
    if (t != kZqlIHourToMinute && t != kZqlIHour && t != kZqlIMinute) {
      ZQL_PUSH_RAISE(kZqlErrNotATimeZoneInterval);
    }
    CZqlDT z(kZqlIHourToMinute, kZoneLead);
    if (!z.assign(zone.Sign(), zone.Seconds())) return 0;
    tz_ = z;
    return 1;
  });
}

// The record always carries a displacement; it is taken when it is not
// zero or when the value has the time-zone flag.
int CZqlTime::set(const zql_time& r) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlTime t(*this);
    if (!t.set(r.hour, r.minute, r.seconds)) return 0;
    t.tz_.setNull();
    if (r.tz_sign || r.tz_hours != 0 || r.tz_minutes != 0 || tzFlag_) {
      CZqlDT zone(kZqlIHourToMinute, kZoneLead);
      if (!zone.set(r.tz_sign, 0, r.tz_hours, r.tz_minutes, 0.0) || !t.setTimeZone(zone)) return 0;
    }
    *this = t;
    return 1;
  });
}

int CZqlTime::get(zql_time* r) const {
  if (r == nullptr || isNull()) return 0;
  r->hour = static_cast<uint16_t>(Hour());
  r->minute = static_cast<uint16_t>(Minute());
  r->seconds = Second();
  zql_hourtominute zone = {kZqlFalse, 0, 0};
  tz_.get(&zone);
  r->tz_sign = zone.sign;
  r->tz_hours = zone.hours;
  r->tz_minutes = zone.minutes;
  return 1;
}

// ---------------------------------------------------------------------------
// Text and other values
// ---------------------------------------------------------------------------

// The displacement starts at the first sign; it is read before the time so
// that nothing changes when either part fails.
int CZqlTime::storeValue(const char* text, unsigned int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlTemporalText scan;
    if (!scan.load(text, size)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    CZqlDT zone(kZqlIHourToMinute, kZoneLead);
    const char* all = scan.rest();
    const size_t at = std::strcspn(all, "+-");
    if (all[at] != '\0') {
      if (!zone.storeValue(all + at, static_cast<unsigned int>(std::strlen(all + at)))) return 0;
      scan.cut(static_cast<int>(at));
    }
    int64_t h = 0;
    int64_t m = 0;
    double s = 0.0;
    scan.skipBlanks();
    const int read = scan.number(&h, 2) && scan.accept(':') && scan.number(&m, 2) &&
                     scan.accept(':') && scan.seconds(&s) && scan.atEnd();
    if (!read || h > 23 || m > 59 || !(s < 60.0)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    tz_ = zone;
    return setTimeOfDay(static_cast<double>(h * 3600 + m * 60) + s);
  });
}

int CZqlTime::storeValue(const CZqlData& other) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (&other == this) return 1;
    if (other.isNull()) {
      setNull();
      return 1;
    }
    if (const CZqlTime* time = dynamic_cast<const CZqlTime*>(&other)) {
      *this = *time;
      return 1;
    }
    if (const CZqlTimeStamp* ts = dynamic_cast<const CZqlTimeStamp*>(&other)) {
      *this = ts->TimePart();
      return 1;
    }
    if (other.is_character()) return CZqlData::storeValue(other);
    ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  });
}

int CZqlTime::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  char text[48];
  int k = std::snprintf(text, sizeof text, "TIME");
  if (prec_ != 0) k += std::snprintf(text + k, sizeof text - k, "(%u)", prec_);
  if (tzFlag_) std::snprintf(text + k, sizeof text - k, " WITH TIME ZONE");
  out->Copy(text);
  return 1;
}

// hh:mm:ss, the fraction without trailing zeros when there is one, and
// with the time-zone flag the displacement as +hh:mm or -hh:mm.
void CZqlTime::formatText(char* out, unsigned int size) const {
  const int64_t scale = static_cast<int64_t>(ZqlNumScale[prec_]);
  const int64_t n = std::llround(tod_ * ZqlNumScale[prec_]);
  const int64_t whole = n / scale;
  int64_t fraction = n % scale;
  int k = std::snprintf(out, size, "%02lld:%02lld:%02lld",
                        static_cast<long long>(whole / 3600 % 24),
                        static_cast<long long>(whole % 3600 / 60), static_cast<long long>(whole % 60));
  if (fraction != 0) {
    int digits = prec_;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
    k += std::snprintf(out + k, size - k, ".%0*lld", digits, static_cast<long long>(fraction));
  }
  zql_hourtominute zone = {kZqlFalse, 0, 0};
  if (tzFlag_ && tz_.get(&zone)) {
    std::snprintf(out + k, size - k, "%c%02u:%02u", zone.sign ? '-' : '+', zone.hours, zone.minutes);
  }
}

// ---------------------------------------------------------------------------
// Arithmetic and comparison
// ---------------------------------------------------------------------------

// Intervals with a day field do not move a time of day.
CZqlTime CZqlTime::shifted(const CZqlDT& b, int direction) const {
  CZqlTime r(6, WithTimeZone());
  r.tz_ = tz_;
  ZqlEntryVoid([&] {
    if (CZqlIQualifier::FirstField(b.IntervalType()) <= kZqlFieldDay) {
      ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    }
    if (isNull() || b.isNull()) return;
    double sum = std::fmod(tod_ + direction * b.SignedSeconds(), kDay);
    if (sum < 0.0) sum += kDay;
    if (sum >= kDay) sum = 0.0;
    r.setTimeOfDay(sum);
  });
  return r;
}

CZqlTime CZqlTime::operator+(const CZqlDT& b) const { return shifted(b, 1); }
CZqlTime CZqlTime::operator-(const CZqlDT& b) const { return shifted(b, -1); }
CZqlTime operator+(const CZqlDT& a, const CZqlTime& b) { return b + a; }

CZqlDT CZqlTime::DTDiff(const CZqlTime& other, const CZqlDT& pattern) const {
  CZqlDT r(pattern);
  r.setNull();
  if (isNull() || other.isNull()) return r;
  const double d = tod_ - other.tod_;
  r.assign(d < 0 ? kZqlTrue : kZqlFalse, d);
  return r;
}

int CZqlTime::compare(const CZqlTime& b, int* order) const {
  if (isNull() || b.isNull()) return 0;
  const double eps = ZqlNumEpsilon[prec_ > b.prec_ ? prec_ : b.prec_];
  const double d = tod_ - b.tod_;
  *order = std::fabs(d) < eps ? 0 : d < 0 ? -1 : 1;
  return 1;
}

int CZqlTime::operator>(const CZqlTime& b) const {
  int o = 0;
  return compare(b, &o) && o > 0;
}
int CZqlTime::operator>=(const CZqlTime& b) const {
  int o = 0;
  return compare(b, &o) && o >= 0;
}
int CZqlTime::operator==(const CZqlTime& b) const {
  int o = 0;
  return compare(b, &o) && o == 0;
}
int CZqlTime::operator<=(const CZqlTime& b) const {
  int o = 0;
  return compare(b, &o) && o <= 0;
}
int CZqlTime::operator<(const CZqlTime& b) const {
  int o = 0;
  return compare(b, &o) && o < 0;
}
int CZqlTime::operator!=(const CZqlTime& b) const {
  int o = 0;
  return compare(b, &o) && o != 0;
}

// ---------------------------------------------------------------------------
// Packed form
// ---------------------------------------------------------------------------

void CZqlTime::packItems(CZqlObjPack* pack) const {
  if (prec_ != 0) pack->add(0, static_cast<int16_t>(prec_));
  if (tzFlag_) pack->add(1, static_cast<int16_t>(1));
  if (isNull()) return;
  pack->add(2, tod_);
  tz_.packTo(pack);
}

// The displacement is read into an interval of its own and taken only when
// it is an HOUR TO MINUTE below 100 hours.
void CZqlTime::unpackItem(CZqlObjPack* pack, int label) {
  ZqlEntryVoid([&] {
    int16_t v = 0;
    switch (label) {
      case 0:
        if (ReadItem(pack, &v)) prec_ = static_cast<uint16_t>(v);
        break;
      case 1:
        if (ReadItem(pack, &v)) tzFlag_ = v != 0 ? 1 : 0;
        break;
      case 2: {
        if (!ReadItem(pack, &tod_)) break;
        null_ = 0;
        CZqlDT zone(kZqlIHourToMinute, kZoneLead);
        zone.unpackFrom(pack);
        if (zone.IntervalType() != kZqlIHourToMinute ||
            (!zone.isNull() && !(zone.Seconds() < 100 * 3600.0))) {
          ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
          break;
        }
        tz_ = zone;
        break;
      }
      default:
        break;
    }
  });
}

int CZqlTime::unpackFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (pack == nullptr) return 0;
    CZqlDatetime::unpackFrom(pack);
    if (prec_ > kMaxPrecision) prec_ = kMaxPrecision;
    if (!isNull() && !(tod_ >= 0.0 && tod_ < kDay)) {
      null_ = 1;
      ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
    }
    return 1;
  });
}
