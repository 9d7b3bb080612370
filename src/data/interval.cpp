// interval.cpp - CZqlIQualifier, the interval qualifier (type, leading and
// fractional precision), and CZqlInterval, what year-month and day-time
// intervals share: sign, compatibility, result types, conversions, the
// literal and the packed form.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "objpack.h"
#include "zqlsdata.h"

namespace {

constexpr unsigned int kDefaultLead = 4;
constexpr unsigned int kMaxLead = 6;
constexpr unsigned int kMaxFrac = 8;
// Size of the text buffer through which values of different types meet.
constexpr unsigned int kExchangeSize = 260;
// Bytes that hold every interval text: sign, a leading field of at most
// ten digits, three more fields, nine decimals and separators.
constexpr unsigned int kTextSize = 64;

const char* const kFieldName[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};

// Leading and trailing field of each interval type, indexed by EZqlIType.
const int kFirst[] = {-1,
                      kZqlFieldYear,   kZqlFieldMonth,  kZqlFieldDay,    kZqlFieldHour,
                      kZqlFieldMinute, kZqlFieldSecond, kZqlFieldYear,   kZqlFieldDay,
                      kZqlFieldDay,    kZqlFieldDay,    kZqlFieldHour,   kZqlFieldHour,
                      kZqlFieldMinute};
const int kLast[] = {-1,
                     kZqlFieldYear,   kZqlFieldMonth,  kZqlFieldDay,    kZqlFieldHour,
                     kZqlFieldMinute, kZqlFieldSecond, kZqlFieldMonth,  kZqlFieldHour,
                     kZqlFieldMinute, kZqlFieldSecond, kZqlFieldMinute, kZqlFieldSecond,
                     kZqlFieldSecond};

}  // namespace

// ---------------------------------------------------------------------------
// CZqlIQualifier
// ---------------------------------------------------------------------------

CZqlIQualifier::CZqlIQualifier(EZqlIType type, unsigned int lead, unsigned int frac)
    : type_(type), lead_(lead), frac_(frac) {
  ClampAttributes();
}

void CZqlIQualifier::ClampAttributes() {
  if (lead_ > kMaxLead) lead_ = kDefaultLead;
  if (frac_ > kMaxFrac) frac_ = 0;
}

int CZqlIQualifier::FirstField(int type) {
  return type >= kZqlIYear && type <= kZqlIMinuteToSecond ? kFirst[type] : -1;
}

int CZqlIQualifier::LastField(int type) {
  return type >= kZqlIYear && type <= kZqlIMinuteToSecond ? kLast[type] : -1;
}

// The sign, the leading field's digits, two per further field with its
// separator, and for seconds the point and the decimals. A fraction after
// a trailing seconds field brings its point too, so that the length holds
// every text the value writes.
unsigned int CZqlIQualifier::ReturnLength() const {
  const unsigned int p = lead_;
  const unsigned int f = frac_ != 0 ? frac_ + 1 : 0;
  switch (type_) {
    case kZqlIYear:
    case kZqlIMonth:
    case kZqlIDay:
    case kZqlIHour:
    case kZqlIMinute: return p + 1;
    case kZqlISecond: return p + frac_ + 2;
    case kZqlIYearToMonth:
    case kZqlIDayToHour:
    case kZqlIHourToMinute: return p + 4;
    case kZqlIDayToMinute: return p + 7;
    case kZqlIDayToSecond: return p + f + 10;
    case kZqlIHourToSecond: return p + f + 7;
    case kZqlIMinuteToSecond: return p + f + 4;
    default: return 0;
  }
}

void CZqlIQualifier::QualifierText(char* out, unsigned int size) const {
  const int first = FirstField(type_);
  const int last = LastField(type_);
  if (first < 0) {
    std::snprintf(out, size, "?");
    return;
  }
  int k = std::snprintf(out, size, "%s", kFieldName[first]);
  if (first == kZqlFieldSecond && frac_ != 0) {
    k += std::snprintf(out + k, size - k, "(%u,%u)", lead_, frac_);
  } else if (lead_ != kDefaultLead) {
    k += std::snprintf(out + k, size - k, "(%u)", lead_);
  }
  if (last == first) return;
  k += std::snprintf(out + k, size - k, " TO %s", kFieldName[last]);
  if (last == kZqlFieldSecond && frac_ != 0) std::snprintf(out + k, size - k, "(%u)", frac_);
}

int CZqlIQualifier::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  char qualifier[48];
  QualifierText(qualifier, sizeof qualifier);
  char text[64];
  std::snprintf(text, sizeof text, "INTERVAL %s", qualifier);
  out->Copy(text);
  return 1;
}

// ---------------------------------------------------------------------------
// CZqlInterval: type, compatibility, result types
// ---------------------------------------------------------------------------

int CZqlInterval::setIType(EZqlIType type) {
  return ZqlEntry<int>(0, [&]() -> int {
    const int fits = is_yminterval() ? IsYMType(type) : IsDTType(type);
    if (!fits) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    type_ = type;
    return 1;
  });
}

static int SameKind(const CZqlData& a, const CZqlData& b) {
  return b.is_interval() && a.is_yminterval() == b.is_yminterval();
}

static int IsSingleField(const CZqlData& d) {
  const int first = CZqlIQualifier::FirstField(d.IntervalType());
  return first >= 0 && first == CZqlIQualifier::LastField(d.IntervalType());
}

int CZqlInterval::is_comparable(const CZqlData* other) const {
  return other != nullptr && SameKind(*this, *other);
}

int CZqlInterval::is_storable(const CZqlData* other) const { return is_comparable(other); }

int CZqlInterval::is_castable(const CZqlData* other) const {
  if (other == nullptr) return 0;
  if (other->is_character() || SameKind(*this, *other)) return 1;
  return other->is_exactnumeric() && IsSingleField(*this);
}

CZqlData* ZqlIntervalProductType(const CZqlData* interval) {
  if (interval == nullptr || !interval->is_interval()) return nullptr;
  if (interval->is_yminterval()) return new (std::nothrow) CZqlYM(kZqlIMonth, kMaxLead);
  return new (std::nothrow) CZqlDT(kZqlIDayToSecond, kMaxLead, kMaxFrac);
}

CZqlData* CZqlInterval::checkAdd(const CZqlData* other) const {
  if (other == nullptr) return nullptr;
  if (SameKind(*this, *other)) return ZqlIntervalProductType(this);
  return other->is_datetime() ? other->checkAdd(this) : nullptr;
}

// An interval minus a datetime has no meaning.
CZqlData* CZqlInterval::checkSub(const CZqlData* other) const {
  if (other == nullptr || !SameKind(*this, *other)) return nullptr;
  return ZqlIntervalProductType(this);
}

CZqlData* CZqlInterval::checkMul(const CZqlData* other) const {
  return other != nullptr && other->is_numeric() ? other->checkMul(this) : nullptr;
}

CZqlData* CZqlInterval::checkDiv(const CZqlData* other) const {
  return other != nullptr && other->is_numeric() ? other->checkDiv(this) : nullptr;
}

// ---------------------------------------------------------------------------
// Conversions in
// ---------------------------------------------------------------------------

int CZqlInterval::checkLeading(double count) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!(count < ZqlNumScale[lead_])) ZQL_PUSH_RAISE(kZqlErrIntervalFieldOverflow);
    return 1;
  });
}

EZqlBoolean CZqlInterval::TextSign(CZqlTemporalText* scan) {
  scan->skipBlanks();
  return scan->sign() < 0 ? kZqlTrue : kZqlFalse;
}

// Only a seconds field keeps a fraction; the others count whole units.
int CZqlInterval::storeValue(double value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!IsSingleField(*this)) return 0;
    if (!std::isfinite(value)) ZQL_PUSH_RAISE(kZqlErrIntervalFieldOverflow);
    double count = std::fabs(value);
    if (FirstField(type_) != kZqlFieldSecond) count = std::floor(count);
    if (!checkLeading(count)) return 0;
    return assignCount(value < 0 ? kZqlTrue : kZqlFalse, count);
  });
}

int CZqlInterval::storeValue(long value) {
  return ZqlEntry<int>(0, [&]() -> int {
    return storeValue(static_cast<double>(value));
  });
}
int CZqlInterval::storeValue(short value) {
  return ZqlEntry<int>(0, [&]() -> int {
    return storeValue(static_cast<double>(value));
  });
}

int CZqlInterval::storeValue(const CZqlUcStr& text) {
  return ZqlEntry<int>(0, [&]() -> int {
    char buf[kExchangeSize];
    text.getToChar(buf, sizeof buf);
    return storeValue(buf, sizeof buf);
  });
}

int CZqlInterval::storeValue(const CZqlData& other) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (&other == this) return 1;
    if (other.isNull()) {
      setNull();
      return 1;
    }
    if (SameKind(*this, other)) {
      const CZqlInterval* src = dynamic_cast<const CZqlInterval*>(&other);
      if (src != nullptr) return assignInterval(*src);
    }
    if (other.is_exactnumeric() && IsSingleField(*this)) {
      double v = 0.0;
      if (!other.getValue(&v)) ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
      return storeValue(v);
    }
    if (other.is_character()) return CZqlData::storeValue(other);
    ZQL_PUSH_RAISE(kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  });
}

// ---------------------------------------------------------------------------
// Conversions out
// ---------------------------------------------------------------------------

int CZqlInterval::getValue(double* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value == nullptr || isNull() || !IsSingleField(*this)) return 0;
    const double count = leadingCount();
    *value = sign_ && count != 0.0 ? -count : count;
    return 1;
  });
}

int CZqlInterval::getValue(long* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    double v = 0.0;
    if (value == nullptr || !getValue(&v)) return 0;
    if (!(std::fabs(v) <= 2147483647.0)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    *value = static_cast<long>(v);
    return 1;
  });
}

int CZqlInterval::getValue(short* value) const {
  return ZqlEntry<int>(0, [&]() -> int {
    double v = 0.0;
    if (value == nullptr || !getValue(&v)) return 0;
    if (!(std::fabs(v) <= 32767.0)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    *value = static_cast<short>(v);
    return 1;
  });
}

// A text that does not fit is not cut: a shortened interval text would
// read back as another value.
int CZqlInterval::getValue(char* text, unsigned int size) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr || size == 0) return 0;
    text[0] = '\0';
    if (isNull()) return 0;
    char buf[kTextSize + 1];
    buf[0] = '-';
    formatFields(buf + 1, kTextSize);
    const char* shown = sign_ ? buf : buf + 1;
    const size_t n = std::strlen(shown);
    if (n >= size) return 0;
    std::memcpy(text, shown, n + 1);
    return 1;
  });
}

int CZqlInterval::getValue(CZqlUcStr* text) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr) return 0;
    char buf[kTextSize + 1];
    if (!getValue(buf, sizeof buf)) {
      text->Clear();
      return 0;
    }
    text->Copy(buf);
    return 1;
  });
}

// The sign stands before the quotes, so the quoted text is unsigned: a
// signed text inside would negate the value twice.
int CZqlInterval::SQLLiteral(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  if (isNull()) {
    out->Copy("null");
    return 0;
  }
  char fields[kTextSize];
  formatFields(fields, sizeof fields);
  char qualifier[48];
  QualifierText(qualifier, sizeof qualifier);
  char literal[kTextSize + 64];
  std::snprintf(literal, sizeof literal, "INTERVAL %s'%s' %s", sign_ ? "-" : "", fields, qualifier);
  out->Copy(literal);
  return 1;
}

// ---------------------------------------------------------------------------
// Packed form
// ---------------------------------------------------------------------------

void CZqlInterval::packItems(CZqlObjPack* pack) const {
  if (type_ != kZqlINone) pack->add(0, static_cast<int32_t>(type_));
  if (lead_ != kDefaultLead) pack->add(1, static_cast<int32_t>(lead_));
  if (frac_ != 0) pack->add(2, static_cast<int32_t>(frac_));
  if (isNull()) return;
  if (sign_) pack->add(3, static_cast<int32_t>(1));
  packMagnitude(pack);
}

void CZqlInterval::unpackItem(CZqlObjPack* pack, int label) {
  int32_t v = 0;
  switch (label) {
    case 0:
      if (ReadItem(pack, &v)) type_ = static_cast<EZqlIType>(v);
      break;
    case 1:
      if (ReadItem(pack, &v)) lead_ = static_cast<uint32_t>(v);
      break;
    case 2:
      if (ReadItem(pack, &v)) frac_ = static_cast<uint32_t>(v);
      break;
    case 3:
      if (ReadItem(pack, &v)) {
        sign_ = v != 0 ? kZqlTrue : kZqlFalse;
        null_ = 0;
      }
      break;
    case 4:
      unpackMagnitude(pack);
      break;
    default:
      break;
  }
}

// The sign item is written only for a negative value, so the sign starts
// positive: a value read over an old negative one must not keep its sign.
int CZqlInterval::unpackFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (pack == nullptr) return 0;
    sign_ = kZqlFalse;
    CZqlData::unpackFrom(pack);
    ClampAttributes();
    const int fits = is_yminterval() ? IsYMType(type_) : IsDTType(type_);
    if (!fits) type_ = kZqlINone;
    if (!fits || (!isNull() && !validMagnitude())) {
      null_ = 1;
      ZQL_PUSH_RAISE(kZqlErrInternalZQLError);
    }
    return 1;
  });
}
