// lisphandle.h - the number by which LISP code names a binding object.
#ifndef ZQL_LISPHANDLE_H
#define ZQL_LISPHANDLE_H

#include "lispobj.h"

// A handle value. The root issues 1.0, 2.0, ... in order within one load of
// the module and never reuses one; 0.0 is the null handle. In LISP a handle
// travels inside its object's list form, ("SQLSESSION" 3.0) (see
// CZqlLispSQLObj); here only the number is read and written.
class CZqlLispHandle : public CZqlLispObj {
 public:
  CZqlLispHandle() : value_(0.0) {}
  explicit CZqlLispHandle(double value) : value_(value) {}
  CZqlLispHandle(const CZqlLispHandle& other) = default;
  CZqlLispHandle& operator=(const CZqlLispHandle& other) {
    value_ = other.value_;
    return *this;
  }
  CZqlLispHandle& operator=(double value) {
    value_ = value;
    return *this;
  }

  EZqlLispClassId lisA() const override { return kZqlLispClsHandle; }
  // A new handle with the same value, owned by the caller.
  CZqlLispObj* lclone() const override;
  // Copies the value of another handle; 0 (and nothing copied) when other
  // is not a handle.
  int lcopyFrom(const CZqlLispObj* other) override;
  // Equal values; another class is never equal.
  int operator==(const CZqlLispObj& other) const override;
  int operator==(double value) const { return value_ == value; }
  // Orders by value; a handle sorts before any other class.
  int cmp(const CZqlLispObj* other) const override;

  // Adds 1.0 (the next handle to issue).
  CZqlLispHandle& operator++() {
    value_ += 1.0;
    return *this;
  }
  double Value() const { return value_; }
  bool isNull() const { return value_ == 0.0; }

  // Appends the value as a real (RTREAL); 1 on success.
  int writeBuf(CZqlLispBuf* buf) const override;
  // Reads the number at buf's position: a real, or an integer (RTSHORT or
  // RTLONG) taken as a real. Anything else, and a negative or non-finite
  // value, pushes kZqlLispErrHandleInvalid and answers 0 with the value and
  // the position unchanged. On success the position moves past the number.
  int readBuf(CZqlLispBuf* buf) override;

 private:
  double value_;
};

#endif  // ZQL_LISPHANDLE_H
