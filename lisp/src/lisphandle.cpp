// lisphandle.cpp - handle values and their LISP number form.
#include "lisphandle.h"

#include <cmath>
#include <new>

#include "lispbuf.h"

CZqlLispObj* CZqlLispHandle::lclone() const {
  return new (std::nothrow) CZqlLispHandle(*this);
}

int CZqlLispHandle::lcopyFrom(const CZqlLispObj* other) {
  if (!other || other->lisA() != kZqlLispClsHandle) return 0;
  value_ = static_cast<const CZqlLispHandle*>(other)->value_;
  return 1;
}

int CZqlLispHandle::operator==(const CZqlLispObj& other) const {
  return other.lisA() == kZqlLispClsHandle &&
         static_cast<const CZqlLispHandle&>(other).value_ == value_;
}

int CZqlLispHandle::cmp(const CZqlLispObj* other) const {
  if (!other || other->lisA() != kZqlLispClsHandle) return -1;
  const double v = static_cast<const CZqlLispHandle*>(other)->value_;
  return value_ < v ? -1 : (value_ > v ? 1 : 0);
}

int CZqlLispHandle::writeBuf(CZqlLispBuf* buf) const {
  return buf && buf->addItem(value_);
}

int CZqlLispHandle::readBuf(CZqlLispBuf* buf) {
  if (!buf) return 0;
  double v = -1.0;
  // The host passes a small integer as a short, so ("SQLSESSION" 2) arrives
  // with RTSHORT; both integer widths are accepted.
  switch (buf->ItemType()) {
    case RTREAL: v = buf->R(); break;
    case RTLONG: v = buf->L(); break;
    case RTSHORT: v = buf->S(); break;
    default: break;
  }
  if (!(v >= 0.0) || !std::isfinite(v)) {
    errPush(kZqlLispErrHandleInvalid);
    return 0;
  }
  value_ = v;
  buf->getNextItem();
  return 1;
}
