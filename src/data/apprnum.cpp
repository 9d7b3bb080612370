// apprnum.cpp - CZqlApproxNum: the value held as a double without range,
// plain comparisons, the approximate text form and the packed value item.

#include "objpack.h"
#include "zqlsdata.h"

namespace {

enum ECompare { kGt, kGe, kEq, kLe, kLt, kNe };

}  // namespace

long CZqlApproxNum::read(char* buffer, long start, long count) const {
  return ReadRaw(&value_, sizeof value_, buffer, start, count);
}

int CZqlApproxNum::storeValue(double value) {
  value_ = value;
  null_ = 0;
  return 1;
}

int CZqlApproxNum::storeValue(long value) { return storeValue(static_cast<double>(value)); }
int CZqlApproxNum::storeValue(short value) { return storeValue(static_cast<double>(value)); }

double CZqlApproxNum::realValue() const { return isNull() ? 0.0 : value_; }

void CZqlApproxNum::formatText(char* out, unsigned int size) const {
  ZqlApproxText(value_, out, size);
}

// b is the operand, or null for the host number `host`.
int CZqlApproxNum::compare(int op, const CZqlNum* b, double host) const {
  if (isNull() || (b != nullptr && b->isNull())) return 0;
  const double x = value_;
  const double y = b != nullptr ? b->realValue() : host;
  switch (op) {
    case kGt: return x > y;
    case kGe: return x >= y;
    case kEq: return x == y;
    case kLe: return x <= y;
    case kLt: return x < y;
    default: return x != y;
  }
}

#define ZQL_APPROX_COMPARE_DEF(OP, CODE)                                                          \
  int CZqlApproxNum::operator OP(const CZqlSmallInt& b) const { return compare(CODE, &b, 0); }    \
  int CZqlApproxNum::operator OP(const CZqlInt& b) const { return compare(CODE, &b, 0); }         \
  int CZqlApproxNum::operator OP(const CZqlNumeric& b) const { return compare(CODE, &b, 0); }     \
  int CZqlApproxNum::operator OP(const CZqlDecimal& b) const { return compare(CODE, &b, 0); }     \
  int CZqlApproxNum::operator OP(const CZqlFloat& b) const { return compare(CODE, &b, 0); }       \
  int CZqlApproxNum::operator OP(const CZqlReal& b) const { return compare(CODE, &b, 0); }        \
  int CZqlApproxNum::operator OP(const CZqlDouble& b) const { return compare(CODE, &b, 0); }      \
  int CZqlApproxNum::operator OP(short b) const { return compare(CODE, nullptr, b); }             \
  int CZqlApproxNum::operator OP(long b) const {                                                  \
    return compare(CODE, nullptr, static_cast<double>(b));                                        \
  }                                                                                               \
  int CZqlApproxNum::operator OP(double b) const { return compare(CODE, nullptr, b); }            \
  int CZqlApproxNum::operator OP(int b) const { return compare(CODE, nullptr, b); }

ZQL_APPROX_COMPARE_DEF(>, kGt)
ZQL_APPROX_COMPARE_DEF(>=, kGe)
ZQL_APPROX_COMPARE_DEF(==, kEq)
ZQL_APPROX_COMPARE_DEF(<=, kLe)
ZQL_APPROX_COMPARE_DEF(<, kLt)
ZQL_APPROX_COMPARE_DEF(!=, kNe)
#undef ZQL_APPROX_COMPARE_DEF

void CZqlApproxNum::packItems(CZqlObjPack* pack) const {
  if (!isNull()) pack->add(0, value_);
}

void CZqlApproxNum::unpackItem(CZqlObjPack* pack, int label) {
  if (label == 0 && ReadItem(pack, &value_)) null_ = 0;
}
