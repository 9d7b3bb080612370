// decimal.cpp - CZqlDecimal: DECIMAL(p, s), NUMERIC's representation
// without the magnitude limit (see numeric.cpp).

#include "zqlsdata.h"

CZqlDecimal& CZqlDecimal::operator++() {
  addOne(1.0);
  return *this;
}

CZqlDecimal& CZqlDecimal::operator--() {
  addOne(-1.0);
  return *this;
}

CZqlDecimal& CZqlDecimal::operator-() {
  negate();
  return *this;
}
