// numeric.cpp - CZqlScaledNum, the common part of NUMERIC and DECIMAL (a
// double cut to s decimals), and CZqlNumeric, whose magnitude stays below
// 10^(p - s).

#include <cmath>
#include <cstdio>

#include "objpack.h"
#include "zqlsdata.h"

static constexpr unsigned int kDefaultPrecision = 12;

CZqlScaledNum::CZqlScaledNum(unsigned int precision, unsigned int scale)
    : CZqlExactNum(precision, scale), value_(0.0) {
  ClampAttributes(&precision_, &scale_);
}

long CZqlScaledNum::read(char* buffer, long start, long count) const {
  return ReadRaw(&value_, sizeof value_, buffer, start, count);
}

int CZqlScaledNum::storeValue(double value) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!fits(value)) {
      null_ = 1;
      ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    }
    if (!std::isfinite(value)) ZQL_PUSH_RAISE(kZqlErrNumericValueOutOfRange);
    value_ = CutToScale(value, scale_);
    null_ = 0;
    return 1;
  });
}

int CZqlScaledNum::storeValue(long value) { return storeValue(static_cast<double>(value)); }
int CZqlScaledNum::storeValue(short value) { return storeValue(static_cast<double>(value)); }

double CZqlScaledNum::realValue() const { return isNull() ? 0.0 : value_; }

// The scale is written whenever it is not 0, whatever the precision, so
// that the text always names the type it was made from.
int CZqlScaledNum::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  char text[32];
  if (scale_ != 0) {
    std::snprintf(text, sizeof text, "%s(%u,%u)", typeName(), precision_, scale_);
  } else if (precision_ != kDefaultPrecision) {
    std::snprintf(text, sizeof text, "%s(%u)", typeName(), precision_);
  } else {
    std::snprintf(text, sizeof text, "%s", typeName());
  }
  out->Copy(text);
  return 1;
}

void CZqlScaledNum::packItems(CZqlObjPack* pack) const {
  if (!isNull()) pack->add(0, value_);
  if (precision_ != kDefaultPrecision) pack->add(1, static_cast<int32_t>(precision_));
  if (scale_ != 0) pack->add(2, static_cast<int32_t>(scale_));
}

void CZqlScaledNum::unpackItem(CZqlObjPack* pack, int label) {
  int32_t attribute = 0;
  switch (label) {
    case 0:
      if (ReadItem(pack, &value_)) null_ = 0;
      break;
    case 1:
      if (ReadItem(pack, &attribute)) precision_ = static_cast<uint32_t>(attribute);
      break;
    case 2:
      if (ReadItem(pack, &attribute)) scale_ = static_cast<uint32_t>(attribute);
      break;
    default:
      break;
  }
}

// Attributes from the wire index the scale tables: they are held to the
// limits of declared ones.
int CZqlScaledNum::unpackFrom(CZqlObjPack* pack) {
  const int ok = CZqlExactNum::unpackFrom(pack);
  ClampAttributes(&precision_, &scale_);
  return ok;
}

void CZqlScaledNum::addOne(double step) {
  if (!isNull()) value_ += step;
}

void CZqlScaledNum::negate() {
  if (!isNull()) value_ = value_ == 0.0 ? 0.0 : -value_;
}

bool CZqlNumeric::fits(double value) const {
  return std::fabs(value) < ZqlNumScale[precision_ - scale_];
}

CZqlNumeric& CZqlNumeric::operator++() {
  addOne(1.0);
  return *this;
}

CZqlNumeric& CZqlNumeric::operator--() {
  addOne(-1.0);
  return *this;
}

CZqlNumeric& CZqlNumeric::operator-() {
  negate();
  return *this;
}
