// datetime.cpp - CZqlDatetime, what DATE, TIME and TIMESTAMP share:
// compatibility and result types, text conversions and the literal; and
// CZqlTemporalText, the reader of datetime and interval texts.

#include <cstdio>
#include <cstring>
#include <new>

#include "zqlsdata.h"

namespace {

// Size of the text buffer through which values of different types meet.
constexpr unsigned int kExchangeSize = 260;
// Numbers are held below this cap while read: any larger one is beyond
// every precision a field may have.
constexpr int64_t kNumberCap = 1000000000000000LL;
// Fraction digits of seconds that count.
constexpr int kFractionDigits = 9;

const double kPow10[kFractionDigits + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

// ---------------------------------------------------------------------------
// CZqlTemporalText
// ---------------------------------------------------------------------------

int CZqlTemporalText::load(const char* text, unsigned int size) {
  pos_ = 0;
  text_[0] = '\0';
  if (text == nullptr) return 0;
  unsigned int n = 0;
  while (n < size && n < kMax && text[n] != '\0') {
    text_[n] = text[n];
    ++n;
  }
  text_[n] = '\0';
  // Cutting a longer text would silently change the value it holds.
  for (unsigned int i = n; i < size && text[i] != '\0'; ++i) {
    if (text[i] != ' ') return 0;
  }
  return 1;
}

void CZqlTemporalText::skipBlanks() {
  while (text_[pos_] == ' ' || text_[pos_] == '\t') ++pos_;
}

int CZqlTemporalText::accept(char c) {
  if (text_[pos_] != c || c == '\0') return 0;
  ++pos_;
  return 1;
}

int CZqlTemporalText::sign() {
  if (accept('-')) return -1;
  return accept('+') ? 1 : 0;
}

int CZqlTemporalText::number(int64_t* out, int maxDigits) {
  int64_t v = 0;
  int n = 0;
  while (IsDigit(text_[pos_]) && (maxDigits == 0 || n < maxDigits)) {
    v = v * 10 + (text_[pos_] - '0');
    if (v > kNumberCap) v = kNumberCap;
    ++pos_;
    ++n;
  }
  if (n == 0) return 0;
  *out = v;
  return 1;
}

// The value is whole * 10^n + fraction over 10^n: one correctly rounded
// division as long as the numerator is exact, so "30.1" reads as the
// double nearest to 30.1.
int CZqlTemporalText::seconds(double* out) {
  int64_t whole = 0;
  const int hasWhole = number(&whole);
  int64_t fraction = 0;
  int n = 0;
  int hasFraction = 0;
  if (accept('.')) {
    for (; IsDigit(text_[pos_]); ++pos_) {
      hasFraction = 1;
      if (n < kFractionDigits) {
        fraction = fraction * 10 + (text_[pos_] - '0');
        ++n;
      }
    }
  }
  if (!hasWhole && !hasFraction) return 0;
  if (whole < 1000000) {
    *out = static_cast<double>(whole * static_cast<int64_t>(kPow10[n]) + fraction) / kPow10[n];
  } else {
    *out = static_cast<double>(whole) + static_cast<double>(fraction) / kPow10[n];
  }
  return 1;
}

int CZqlTemporalText::atEnd() const {
  for (int i = pos_; text_[i] != '\0'; ++i) {
    if (text_[i] != ' ' && text_[i] != '\t') return 0;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// CZqlDatetime: fields, compatibility, result types
// ---------------------------------------------------------------------------

unsigned int CZqlDatetime::Year() const { return 0; }
unsigned int CZqlDatetime::Month() const { return 0; }
unsigned int CZqlDatetime::Day() const { return 0; }
unsigned int CZqlDatetime::Hour() const { return 0; }
unsigned int CZqlDatetime::Minute() const { return 0; }
double CZqlDatetime::Second() const { return 0.0; }

int CZqlDatetime::Kind(const CZqlData* d) {
  if (d == nullptr || !d->is_datetime()) return 0;
  switch (d->DateTimeType()) {
    case kZqlDtDate: return 1;
    case kZqlDtTime:
    case kZqlDtTimeTz: return 2;
    case kZqlDtTimeStamp:
    case kZqlDtTimeStampTz: return 3;
    default: return 0;
  }
}

int CZqlDatetime::is_comparable(const CZqlData* other) const {
  const int k = Kind(other);
  return k != 0 && k == Kind(this);
}

int CZqlDatetime::is_storable(const CZqlData* other) const { return is_comparable(other); }

// A date and a time can each be taken from a timestamp; a timestamp can
// be made from a date (at midnight) but not from a time of no known day.
int CZqlDatetime::is_castable(const CZqlData* other) const {
  if (other == nullptr) return 0;
  if (other->is_character()) return 1;
  const int mine = Kind(this);
  const int theirs = Kind(other);
  if (theirs == 0) return 0;
  if (mine == theirs || theirs == 3) return 1;
  return mine == 3 && theirs == 1;
}

static int IsDayInterval(const CZqlData* d) {
  return d->is_dtinterval() && d->IntervalType() == kZqlIDay;
}

// A time moves only by intervals without a day field.
static int IsTimeInterval(const CZqlData* d) {
  if (!d->is_dtinterval()) return 0;
  return CZqlIQualifier::FirstField(d->IntervalType()) > kZqlFieldDay;
}

CZqlData* CZqlDatetime::checkAdd(const CZqlData* other) const {
  if (other == nullptr || !other->is_interval()) return nullptr;
  const EZqlBoolean tz = DateTimeType() == kZqlDtTimeTz || DateTimeType() == kZqlDtTimeStampTz
                             ? kZqlTrue
                             : kZqlFalse;
  switch (Kind(this)) {
    case 1:
      if (other->is_yminterval() || IsDayInterval(other)) return new (std::nothrow) CZqlDate();
      return nullptr;
    case 2:
      return IsTimeInterval(other) ? new (std::nothrow) CZqlTime(6, tz) : nullptr;
    case 3:
      return new (std::nothrow) CZqlTimeStamp(6, tz);
    default:
      return nullptr;
  }
}

CZqlData* CZqlDatetime::checkSub(const CZqlData* other) const { return checkAdd(other); }

// ---------------------------------------------------------------------------
// Text conversions and the literal
// ---------------------------------------------------------------------------

// Units that have no 8-bit form become escapes, which no datetime text
// holds: the text then fails to read as one.
int CZqlDatetime::storeValue(const CZqlUcStr& text) {
  char buf[kExchangeSize];
  text.getToChar(buf, sizeof buf);
  return storeValue(buf, sizeof buf);
}

int CZqlDatetime::getValue(char* text, unsigned int size) const {
  if (text == nullptr || size == 0) return 0;
  if (isNull()) {
    text[0] = '\0';
    return 0;
  }
  char buf[64];
  formatText(buf, sizeof buf);
  return CopyText(buf, text, size);
}

int CZqlDatetime::getValue(CZqlUcStr* text) const {
  if (text == nullptr) return 0;
  if (isNull()) {
    text->Clear();
    return 0;
  }
  char buf[64];
  formatText(buf, sizeof buf);
  text->Copy(buf);
  return 1;
}

int CZqlDatetime::SQLLiteral(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  if (isNull()) {
    out->Copy("null");
    return 0;
  }
  static const char* const kKeyword[] = {"", "DATE", "TIME", "TIMESTAMP"};
  char text[64];
  formatText(text, sizeof text);
  char literal[96];
  std::snprintf(literal, sizeof literal, "%s '%s'", kKeyword[Kind(this)], text);
  out->Copy(literal);
  return 1;
}
