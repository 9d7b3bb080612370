// exectnum.cpp - CZqlExactNum: comparisons under the scale tolerance, the
// decimal text form and the NUMERIC/DECIMAL attribute limits.

#include <algorithm>
#include <cmath>

#include "zqlsdata.h"

namespace {

enum ECompare { kGt, kGe, kEq, kLe, kLt, kNe };

}  // namespace

// a == b within eps; a < b when b - a reaches eps; the others follow.
int CZqlExactNum::Holds(int op, double a, double b, double eps) {
  const bool less = b - a >= eps;
  const bool greater = a - b >= eps;
  switch (op) {
    case kGt: return greater;
    case kGe: return !less;
    case kEq: return !less && !greater;
    case kLe: return !greater;
    case kLt: return less;
    default: return less || greater;
  }
}

static int Plain(int op, double a, double b) {
  switch (op) {
    case kGt: return a > b;
    case kGe: return a >= b;
    case kEq: return a == b;
    case kLe: return a <= b;
    case kLt: return a < b;
    default: return a != b;
  }
}

int CZqlExactNum::compare(int op, const CZqlNum& b) const {
  if (isNull() || b.isNull()) return 0;
  if (!b.is_exactnumeric()) return Plain(op, realValue(), b.realValue());
  const unsigned int scale = std::min(std::max(Scale(), b.Scale()), 32u);
  return Holds(op, realValue(), b.realValue(), ZqlNumEpsilon[scale]);
}

int CZqlExactNum::compareHost(int op, double b) const {
  if (isNull()) return 0;
  return Holds(op, realValue(), b, ZqlNumEpsilon[std::min(Scale(), 32u)]);
}

#define ZQL_EXACT_COMPARE_DEF(OP, CODE)                                                        \
  int CZqlExactNum::operator OP(const CZqlSmallInt& b) const { return compare(CODE, b); }      \
  int CZqlExactNum::operator OP(const CZqlInt& b) const { return compare(CODE, b); }           \
  int CZqlExactNum::operator OP(const CZqlNumeric& b) const { return compare(CODE, b); }       \
  int CZqlExactNum::operator OP(const CZqlDecimal& b) const { return compare(CODE, b); }       \
  int CZqlExactNum::operator OP(const CZqlFloat& b) const { return compare(CODE, b); }         \
  int CZqlExactNum::operator OP(const CZqlReal& b) const { return compare(CODE, b); }          \
  int CZqlExactNum::operator OP(const CZqlDouble& b) const { return compare(CODE, b); }        \
  int CZqlExactNum::operator OP(short b) const { return compareHost(CODE, b); }                \
  int CZqlExactNum::operator OP(long b) const {                                                \
    return compareHost(CODE, static_cast<double>(b));                                          \
  }                                                                                            \
  int CZqlExactNum::operator OP(double b) const { return compareHost(CODE, b); }               \
  int CZqlExactNum::operator OP(int b) const { return compareHost(CODE, b); }

ZQL_EXACT_COMPARE_DEF(>, kGt)
ZQL_EXACT_COMPARE_DEF(>=, kGe)
ZQL_EXACT_COMPARE_DEF(==, kEq)
ZQL_EXACT_COMPARE_DEF(<=, kLe)
ZQL_EXACT_COMPARE_DEF(<, kLt)
ZQL_EXACT_COMPARE_DEF(!=, kNe)
#undef ZQL_EXACT_COMPARE_DEF

void CZqlExactNum::formatText(char* out, unsigned int size) const {
  ZqlDecimalText(realValue(), Precision(), Scale(), out, size);
}

void CZqlExactNum::ClampAttributes(uint32_t* precision, uint32_t* scale) {
  if (*precision > 31) *precision = 32;
  if (*scale > 31) *scale = 32;
  if (*scale > *precision) *scale = *precision;
}
