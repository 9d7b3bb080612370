// double.cpp - CZqlDouble: DOUBLE PRECISION, precision 64, the result type of numeric arithmetic.

#include "zqlsdata.h"

CZqlDouble::CZqlDouble() : CZqlApproxNum(64) {}

CZqlDouble::~CZqlDouble() = default;

CZqlDouble* CZqlDouble::duplicate() const { return new CZqlDouble(*this); }

int CZqlDouble::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy("DOUBLE PRECISION");
  return 1;
}

CZqlDouble& CZqlDouble::operator++() {
  if (!isNull()) value_ += 1.0;
  return *this;
}

CZqlDouble& CZqlDouble::operator--() {
  if (!isNull()) value_ -= 1.0;
  return *this;
}

CZqlDouble& CZqlDouble::operator-() {
  if (!isNull()) value_ = -value_;
  return *this;
}
