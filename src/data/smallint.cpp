// smallint.cpp - CZqlSmallInt: SMALLINT, a 16-bit exact numeric whose
// stored values stay within -32767..32767 (a short is taken as it is).

#include <cmath>
#include <cstdio>

#include "objpack.h"
#include "zqlsdata.h"

static constexpr double kLimit = 32767.0;

CZqlSmallInt::CZqlSmallInt() : CZqlExactNum(6, 0), value_(0) {}

CZqlSmallInt::~CZqlSmallInt() = default;

CZqlSmallInt* CZqlSmallInt::duplicate() const { return new CZqlSmallInt(*this); }

long CZqlSmallInt::read(char* buffer, long start, long count) const {
  return ReadRaw(&value_, sizeof value_, buffer, start, count);
}

// Not finite, or beyond the limit: out of range; else truncated toward 0.
int CZqlSmallInt::storeValue(double value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!(std::fabs(value) <= kLimit)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    value_ = static_cast<int16_t>(value);
    null_ = 0;
    return 1;
  });
}

int CZqlSmallInt::storeValue(long value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value > 32767 || value < -32767) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    value_ = static_cast<int16_t>(value);
    null_ = 0;
    return 1;
  });
}

int CZqlSmallInt::storeValue(short value) {
  value_ = value;
  null_ = 0;
  return 1;
}

// The source's own range check decides (getValue(short*)).
int CZqlSmallInt::storeNumber(const CZqlNum& src) {
  short v = 0;
  if (!src.getValue(&v)) return 0;
  return storeValue(v);
}

int CZqlSmallInt::getValue(short* value) const {
  if (value == nullptr || isNull()) return 0;
  *value = value_;
  return 1;
}

int32_t CZqlSmallInt::intValue() const { return isNull() ? 0 : value_; }
double CZqlSmallInt::realValue() const { return isNull() ? 0.0 : value_; }

int CZqlSmallInt::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy("SMALLINT");
  return 1;
}

void CZqlSmallInt::formatText(char* out, unsigned int size) const {
  std::snprintf(out, size, "%d", static_cast<int>(value_));
}

void CZqlSmallInt::packItems(CZqlObjPack* pack) const {
  if (!isNull()) pack->add(0, value_);
}

void CZqlSmallInt::unpackItem(CZqlObjPack* pack, int label) {
  if (label == 0 && ReadItem(pack, &value_)) null_ = 0;
}

CZqlSmallInt& CZqlSmallInt::operator++() {
  if (isNull()) return *this;
  ZqlEntryVoid([&] {
    if (value_ == 32767) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    ++value_;
  });
  return *this;
}

CZqlSmallInt& CZqlSmallInt::operator--() {
  if (isNull()) return *this;
  ZqlEntryVoid([&] {
    if (value_ == -32768) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    --value_;
  });
  return *this;
}

// -32768 has no positive counterpart in 16 bits.
CZqlSmallInt& CZqlSmallInt::operator-() {
  if (isNull()) return *this;
  ZqlEntryVoid([&] {
    if (value_ == -32768) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    value_ = static_cast<int16_t>(-value_);
  });
  return *this;
}
