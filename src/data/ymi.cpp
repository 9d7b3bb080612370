// ymi.cpp - CZqlYM: year-month intervals (YEAR, MONTH, YEAR TO MONTH) held
// as a sign and a count of months.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

// Lead precision of the MONTH intervals that arithmetic answers.
constexpr unsigned int kResultLead = 6;
// Leading counts beyond this fit no precision; a packed value holding one
// is damaged.
constexpr double kMaxLeading = 1e6;

}  // namespace

CZqlYM::CZqlYM(EZqlIType type, unsigned int lead, unsigned int frac)
    : CZqlInterval(type, lead, frac), months_(0) {
  if (!IsYMType(type)) {
    type_ = kZqlINone;
    ZqlEntryVoid([] { ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments); });
  }
}

CZqlYM::~CZqlYM() = default;

CZqlYM* CZqlYM::duplicate() const { return new CZqlYM(*this); }

CZqlYM& CZqlYM::operator=(const CZqlYM& other) {
  storeValue(static_cast<const CZqlData&>(other));
  return *this;
}

// ---------------------------------------------------------------------------
// Fields
// ---------------------------------------------------------------------------

// A YEAR interval holds whole years: months below the year are dropped.
int CZqlYM::assign(EZqlBoolean negative, uint64_t months) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int first = FirstField(type_);
    if (first < 0) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    const uint64_t leading = first == kZqlFieldYear ? months / 12 : months;
    if (!checkLeading(static_cast<double>(leading))) return 0;
    if (type_ == kZqlIYear) months -= months % 12;
    sign_ = negative ? kZqlTrue : kZqlFalse;
    months_ = static_cast<uint32_t>(months);
    null_ = 0;
    return 1;
  });
}

int CZqlYM::setYears(unsigned int years) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (FirstField(type_) != kZqlFieldYear) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (!checkLeading(years)) return 0;
    const uint32_t keep = type_ == kZqlIYearToMonth && !isNull() ? months_ % 12 : 0;
    months_ = static_cast<uint32_t>(years) * 12 + keep;
    null_ = 0;
    return 1;
  });
}

int CZqlYM::setMonths(unsigned int months) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (LastField(type_) != kZqlFieldMonth) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (type_ == kZqlIMonth) {
      if (!checkLeading(months)) return 0;
      months_ = months;
    } else {
      if (months > 11) ZQL_PUSH_RAISE(kZqlErrInvalidIntervalFormat);
      const uint32_t years = isNull() ? 0 : months_ / 12;
      months_ = years * 12 + months;
    }
    null_ = 0;
    return 1;
  });
}

int CZqlYM::set(EZqlBoolean negative, unsigned int years, unsigned int months) {
  return ZqlEntry<int>(0, [&]() -> int {
    switch (type_) {
      case kZqlIYear:
        if (months != 0) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
        break;
      case kZqlIMonth:
        if (years != 0) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
        break;
      case kZqlIYearToMonth:
        if (months > 11) ZQL_PUSH_RAISE(kZqlErrInvalidIntervalFormat);
        break;
      default:
        ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    }
    if (!checkLeading(type_ == kZqlIMonth ? months : years)) return 0;
    sign_ = negative ? kZqlTrue : kZqlFalse;
    months_ = static_cast<uint32_t>(years) * 12 + months;
    null_ = 0;
    return 1;
  });
}

int CZqlYM::getYears(unsigned int* years) const {
  if (years == nullptr || isNull()) return 0;
  *years = FirstField(type_) == kZqlFieldYear ? months_ / 12 : 0;
  return 1;
}

int CZqlYM::getMonths(unsigned int* months) const {
  if (months == nullptr || isNull()) return 0;
  *months = type_ == kZqlIMonth ? months_ : months_ % 12;
  return 1;
}

int CZqlYM::get(EZqlBoolean* negative, unsigned int* years, unsigned int* months) const {
  if (negative == nullptr || !getYears(years) || !getMonths(months)) return 0;
  *negative = sign_;
  return 1;
}

// ---------------------------------------------------------------------------
// Host records: set on a copy through the setters, so that a failure
// leaves the value; get converts into the record's fields.
// ---------------------------------------------------------------------------

int CZqlYM::set(const zql_year& r) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlYM v(*this);
    v.setNull();
    v.setSign(r.sign);
    if (!v.setYears(r.years)) return 0;
    return storeValue(static_cast<const CZqlData&>(v));
  });
}

int CZqlYM::set(const zql_month& r) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlYM v(*this);
    v.setNull();
    v.setSign(r.sign);
    if (!v.setMonths(r.months)) return 0;
    return storeValue(static_cast<const CZqlData&>(v));
  });
}

int CZqlYM::set(const zql_yeartomonth& r) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlYM v(*this);
    v.setNull();
    v.setSign(r.sign);
    if (!v.setYears(r.years) || !v.setMonths(r.months)) return 0;
    return storeValue(static_cast<const CZqlData&>(v));
  });
}

int CZqlYM::get(zql_year* r) const {
  if (r == nullptr || isNull()) return 0;
  r->sign = sign_;
  r->years = months_ / 12;
  return 1;
}

int CZqlYM::get(zql_month* r) const {
  if (r == nullptr || isNull()) return 0;
  r->sign = sign_;
  r->months = months_;
  return 1;
}

int CZqlYM::get(zql_yeartomonth* r) const {
  if (r == nullptr || isNull()) return 0;
  r->sign = sign_;
  r->years = months_ / 12;
  r->months = months_ % 12;
  return 1;
}

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

// The sign is read from the text itself, so that "-0-06" keeps it although
// its years are 0. A second number is the months of YEAR TO MONTH only: in
// YEAR or MONTH it would be dropped or counted twelve times.
int CZqlYM::storeValue(const char* text, unsigned int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlTemporalText scan;
    if (!scan.load(text, size)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    if (FirstField(type_) < 0) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    const EZqlBoolean negative = TextSign(&scan);
    int64_t lead = 0;
    int64_t months = 0;
    if (!scan.number(&lead)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    const int two = scan.accept('-');
    if (two && !scan.number(&months)) ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    if (!scan.atEnd() || two != (type_ == kZqlIYearToMonth)) {
      ZQL_PUSH_RAISE(kZqlErrInvalidCharacterValueForCast);
    }
    if (!checkLeading(static_cast<double>(lead))) return 0;
    if (months > 11) ZQL_PUSH_RAISE(kZqlErrInvalidIntervalFormat);
    const int64_t total = type_ == kZqlIMonth ? lead : lead * 12 + months;
    sign_ = negative;
    months_ = static_cast<uint32_t>(total);
    null_ = 0;
    return 1;
  });
}

void CZqlYM::formatFields(char* out, unsigned int size) const {
  const int width = static_cast<int>(lead_);
  switch (type_) {
    case kZqlIYear:
      std::snprintf(out, size, "%0*u", width, months_ / 12);
      break;
    case kZqlIMonth:
      std::snprintf(out, size, "%0*u", width, months_);
      break;
    case kZqlIYearToMonth:
      std::snprintf(out, size, "%0*u-%02u", width, months_ / 12, months_ % 12);
      break;
    default:
      out[0] = '\0';
  }
}

// ---------------------------------------------------------------------------
// Conversion hooks and the packed magnitude
// ---------------------------------------------------------------------------

double CZqlYM::leadingCount() const {
  return FirstField(type_) == kZqlFieldYear ? months_ / 12 : months_;
}

int CZqlYM::assignCount(EZqlBoolean negative, double count) {
  const uint64_t n = static_cast<uint64_t>(count);
  return assign(negative, type_ == kZqlIYear ? n * 12 : n);
}

int CZqlYM::assignInterval(const CZqlInterval& src) {
  return ZqlEntry<int>(0, [&]() -> int {
    const CZqlYM* ym = dynamic_cast<const CZqlYM*>(&src);
    if (ym == nullptr) ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
    if (ym->isNull()) {
      setNull();
      return 1;
    }
    return assign(ym->sign_, ym->months_);
  });
}

int CZqlYM::validMagnitude() const { return leadingCount() < kMaxLeading; }

void CZqlYM::packMagnitude(CZqlObjPack* pack) const {
  pack->add(4, static_cast<int32_t>(months_));
}

void CZqlYM::unpackMagnitude(CZqlObjPack* pack) {
  int32_t v = 0;
  if (!ReadItem(pack, &v)) return;
  months_ = static_cast<uint32_t>(v);
  null_ = 0;
}

// ---------------------------------------------------------------------------
// Arithmetic and comparison
// ---------------------------------------------------------------------------

static int64_t SignedMonths(const CZqlYM& v) {
  const int64_t m = v.Months();
  return v.Sign() ? -m : m;
}

static CZqlYM FromSigned(int64_t months) {
  CZqlYM r(kZqlIMonth, kResultLead);
  r.set(months < 0 ? kZqlTrue : kZqlFalse, 0,
        static_cast<unsigned int>(std::min<int64_t>(std::llabs(months), UINT32_MAX)));
  return r;
}

CZqlYM CZqlYM::operator+(const CZqlYM& b) const {
  if (isNull() || b.isNull()) return CZqlYM(kZqlIMonth, kResultLead);
  return FromSigned(SignedMonths(*this) + SignedMonths(b));
}

CZqlYM CZqlYM::operator-(const CZqlYM& b) const {
  if (isNull() || b.isNull()) return CZqlYM(kZqlIMonth, kResultLead);
  return FromSigned(SignedMonths(*this) - SignedMonths(b));
}

// The product is computed in double and truncated toward zero, which for
// an integer divisor is integer division.
CZqlYM CZqlYM::scaled(double factor, int divide, int isNullFactor) const {
  return ZqlEntry<CZqlYM>(CZqlYM(kZqlIMonth, kResultLead), [&]() -> CZqlYM {
    if (isNull() || isNullFactor) return CZqlYM(kZqlIMonth, kResultLead);
    if (divide && factor == 0.0) ZQL_PUSH_RAISE(kZqlErrDivisionByZero);
    const double m = static_cast<double>(SignedMonths(*this));
    const double v = divide ? m / factor : m * factor;
    if (!(std::fabs(v) <= 2147483647.0)) ZQL_PUSH_RAISE(kZqlErrIntervalFieldOverflow);
    return FromSigned(static_cast<int64_t>(std::trunc(v)));
  });
}

CZqlYM CZqlYM::operator*(const CZqlExactNum& b) const {
  return scaled(b.realValue(), 0, b.isNull());
}
CZqlYM CZqlYM::operator*(long b) const { return scaled(static_cast<double>(b), 0, 0); }
CZqlYM CZqlYM::operator/(const CZqlExactNum& b) const {
  return scaled(b.realValue(), 1, b.isNull());
}
CZqlYM CZqlYM::operator/(long b) const { return scaled(static_cast<double>(b), 1, 0); }

CZqlYM operator*(const CZqlExactNum& a, const CZqlYM& b) { return b * a; }
CZqlYM operator*(long a, const CZqlYM& b) { return b * a; }

CZqlYM& CZqlYM::operator-() {
  if (!isNull()) sign_ = sign_ ? kZqlFalse : kZqlTrue;
  return *this;
}

int CZqlYM::compare(const CZqlYM& b, int* order) const {
  if (isNull() || b.isNull()) return 0;
  const int64_t x = SignedMonths(*this);
  const int64_t y = SignedMonths(b);
  *order = x < y ? -1 : x > y ? 1 : 0;
  return 1;
}

int CZqlYM::operator>(const CZqlYM& b) const {
  int o = 0;
  return compare(b, &o) && o > 0;
}
int CZqlYM::operator>=(const CZqlYM& b) const {
  int o = 0;
  return compare(b, &o) && o >= 0;
}
int CZqlYM::operator==(const CZqlYM& b) const {
  int o = 0;
  return compare(b, &o) && o == 0;
}
int CZqlYM::operator<=(const CZqlYM& b) const {
  int o = 0;
  return compare(b, &o) && o <= 0;
}
int CZqlYM::operator<(const CZqlYM& b) const {
  int o = 0;
  return compare(b, &o) && o < 0;
}
int CZqlYM::operator!=(const CZqlYM& b) const {
  int o = 0;
  return compare(b, &o) && o != 0;
}
