// numeric.cpp - CZqlNumeric: NUMERIC(p, s), a double cut to s decimals whose
// magnitude stays below 10^(p - s).

#include <cmath>
#include <cstdio>

#include "objpack.h"
#include "zqlsdata.h"

static constexpr unsigned int kDefaultPrecision = 12;

static int Raise(EZqlError code) {
  ZqlPushnThrow(code);
  return 0;
}

CZqlNumeric::CZqlNumeric(unsigned int precision, unsigned int scale)
    : CZqlExactNum(precision, scale), value_(0.0) {
  ClampAttributes(&precision_, &scale_);
}

CZqlNumeric::~CZqlNumeric() = default;

CZqlNumeric* CZqlNumeric::duplicate() const { return new CZqlNumeric(*this); }

long CZqlNumeric::read(char* buffer, long start, long count) const {
  return ReadRaw(&value_, sizeof value_, buffer, start, count);
}

// Out of range marks the value null before raising.
int CZqlNumeric::storeValue(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= NumScale[precision_ - scale_]) {
    null_ = 1;
    return Raise(kZqlErrNumericValueOutOfRange);
  }
  value_ = CutToScale(value, scale_);
  null_ = 0;
  return 1;
}

int CZqlNumeric::storeValue(long value) { return storeValue(static_cast<double>(value)); }
int CZqlNumeric::storeValue(short value) { return storeValue(static_cast<double>(value)); }

double CZqlNumeric::realValue() const { return isNull() ? 0.0 : value_; }

// The scale is written whenever it is not 0, whatever the precision, so
// that the text always names the type it was made from.
int CZqlNumeric::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  char text[32];
  if (scale_ != 0) {
    std::snprintf(text, sizeof text, "NUMERIC(%u,%u)", precision_, scale_);
  } else if (precision_ != kDefaultPrecision) {
    std::snprintf(text, sizeof text, "NUMERIC(%u)", precision_);
  } else {
    std::snprintf(text, sizeof text, "NUMERIC");
  }
  out->Copy(text);
  return 1;
}

void CZqlNumeric::packItems(CZqlObjPack* pack) const {
  if (!isNull()) pack->add(0, value_);
  if (precision_ != kDefaultPrecision) pack->add(1, static_cast<int32_t>(precision_));
  if (scale_ != 0) pack->add(2, static_cast<int32_t>(scale_));
}

void CZqlNumeric::unpackItem(CZqlObjPack* pack, int label) {
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
int CZqlNumeric::unpackFrom(CZqlObjPack* pack) {
  const int ok = CZqlExactNum::unpackFrom(pack);
  ClampAttributes(&precision_, &scale_);
  return ok;
}

CZqlNumeric& CZqlNumeric::operator++() {
  if (!isNull()) value_ += 1.0;
  return *this;
}

CZqlNumeric& CZqlNumeric::operator--() {
  if (!isNull()) value_ -= 1.0;
  return *this;
}

CZqlNumeric& CZqlNumeric::operator-() {
  if (!isNull()) value_ = value_ == 0.0 ? 0.0 : -value_;
  return *this;
}
