// real.cpp - CZqlReal: REAL, an approximate numeric of precision 32 held as a double.

#include "zqlsdata.h"

CZqlReal::CZqlReal() : CZqlApproxNum(32) {}

CZqlReal::~CZqlReal() = default;

CZqlReal* CZqlReal::duplicate() const { return new CZqlReal(*this); }

int CZqlReal::SQLType(CZqlUcStr* out) const {
  if (out == nullptr) return 0;
  out->Copy("REAL");
  return 1;
}

CZqlReal& CZqlReal::operator++() {
  if (!isNull()) value_ += 1.0;
  return *this;
}

CZqlReal& CZqlReal::operator--() {
  if (!isNull()) value_ -= 1.0;
  return *this;
}

CZqlReal& CZqlReal::operator-() {
  if (!isNull()) value_ = -value_;
  return *this;
}
