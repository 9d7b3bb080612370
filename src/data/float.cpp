// float.cpp - CZqlFloat: FLOAT(p), an approximate numeric with a declared
// precision (default 16, at most 32).

#include <cstdio>

#include "objpack.h"
#include "zqlsdata.h"

static constexpr unsigned int kDefaultPrecision = 16;
static constexpr unsigned int kMaxPrecision = 32;

CZqlFloat::CZqlFloat(unsigned int precision)
    : CZqlApproxNum(precision > kMaxPrecision ? kMaxPrecision : precision) {}

CZqlFloat::~CZqlFloat() = default;

CZqlFloat* CZqlFloat::duplicate() const { return new CZqlFloat(*this); }

int CZqlFloat::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  if (precision_ == kDefaultPrecision) {
    out->Copy("FLOAT");
  } else {
    char text[24];
    std::snprintf(text, sizeof text, "FLOAT(%u)", precision_);
    out->Copy(text);
  }
  return 1;
}

void CZqlFloat::packItems(CZqlObjPack* pack) const {
  CZqlApproxNum::packItems(pack);
  if (precision_ != kDefaultPrecision) pack->add(1, static_cast<int32_t>(precision_));
}

void CZqlFloat::unpackItem(CZqlObjPack* pack, int label) {
  int32_t p = 0;
  if (label == 1) {
    if (ReadItem(pack, &p)) precision_ = static_cast<uint32_t>(p);
    return;
  }
  CZqlApproxNum::unpackItem(pack, label);
}

// A precision from the wire is held to the same limit as a declared one.
int CZqlFloat::unpackFrom(CZqlObjPack* pack) {
  const int ok = CZqlApproxNum::unpackFrom(pack);
  if (precision_ > kMaxPrecision) precision_ = kMaxPrecision;
  return ok;
}

CZqlFloat& CZqlFloat::operator++() {
  if (!isNull()) value_ += 1.0;
  return *this;
}

CZqlFloat& CZqlFloat::operator--() {
  if (!isNull()) value_ -= 1.0;
  return *this;
}

CZqlFloat& CZqlFloat::operator-() {
  if (!isNull()) value_ = -value_;
  return *this;
}
