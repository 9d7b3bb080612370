// int.cpp - CZqlInt: INTEGER, a 32-bit exact numeric; from double and text
// within -2147483647..2147483647, from long any 32-bit value.

#include <cmath>
#include <cstdio>

#include "objpack.h"
#include "zqlsdata.h"

static constexpr double kLimit = 2147483647.0;

CZqlInt::CZqlInt() : CZqlExactNum(10, 0), value_(0) {}

CZqlInt::~CZqlInt() = default;

CZqlInt* CZqlInt::duplicate() const { return new CZqlInt(*this); }

long CZqlInt::read(char* buffer, long start, long count) const {
  return ReadRaw(&value_, sizeof value_, buffer, start, count);
}

int CZqlInt::storeValue(double value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!(std::fabs(value) <= kLimit)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    value_ = static_cast<int32_t>(value);
    null_ = 0;
    return 1;
  });
}

// A platform long may be wider than the 32 bits the value holds.
int CZqlInt::storeValue(long value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (value > INT32_MAX || value < INT32_MIN) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    value_ = static_cast<int32_t>(value);
    null_ = 0;
    return 1;
  });
}

int CZqlInt::storeValue(short value) {
  value_ = value;
  null_ = 0;
  return 1;
}

// The source's own range check decides (getValue(long*)).
int CZqlInt::storeNumber(const CZqlNum& src) {
  long v = 0;
  if (!src.getValue(&v)) return 0;
  return storeValue(v);
}

// The whole 32-bit range, -2147483648 included, goes out unchecked.
int CZqlInt::getValue(long* value) const {
  if (value == nullptr || isNull()) return 0;
  *value = value_;
  return 1;
}

int32_t CZqlInt::intValue() const { return isNull() ? 0 : value_; }
double CZqlInt::realValue() const { return isNull() ? 0.0 : value_; }

int CZqlInt::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy("INTEGER");
  return 1;
}

void CZqlInt::formatText(char* out, unsigned int size) const {
  std::snprintf(out, size, "%d", static_cast<int>(value_));
}

void CZqlInt::packItems(CZqlObjPack* pack) const {
  if (!isNull()) pack->add(0, value_);
}

void CZqlInt::unpackItem(CZqlObjPack* pack, int label) {
  if (label == 0 && ReadItem(pack, &value_)) null_ = 0;
}

CZqlInt& CZqlInt::operator++() {
  if (isNull()) return *this;
  ZqlEntryVoid([&] {
    if (value_ == INT32_MAX) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    ++value_;
  });
  return *this;
}

CZqlInt& CZqlInt::operator--() {
  if (isNull()) return *this;
  ZqlEntryVoid([&] {
    if (value_ == INT32_MIN) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    --value_;
  });
  return *this;
}

// -2147483648 has no positive counterpart in 32 bits.
CZqlInt& CZqlInt::operator-() {
  if (isNull()) return *this;
  ZqlEntryVoid([&] {
    if (value_ == INT32_MIN) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    value_ = -value_;
  });
  return *this;
}
