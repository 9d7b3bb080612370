// lispident.h - SQL identifiers as LISP strings.
#ifndef ZQL_LISPIDENT_H
#define ZQL_LISPIDENT_H

#include "lispobj.h"
#include "zqlident.h"

// An SQL identifier read from or written to a LISP string. A string that
// begins and ends with a double quote (at least two characters) is a
// delimited identifier whose body lies between the quotes; any other string
// is a regular identifier (folded to upper case by CZqlIdent). Operations
// that may raise inside the library run in an exception frame; a caught
// exception is pushed onto the diagnostics and the operation answers 0.
class CZqlLispIdent : public CZqlLispObj, public CZqlIdent {
 public:
  CZqlLispIdent() = default;
  CZqlLispIdent(const CZqlLispIdent& other) = default;
  CZqlLispIdent& operator=(const CZqlLispIdent&) = delete;

  EZqlLispClassId lisA() const override { return kZqlLispClsIdent; }
  // A new copy owned by the caller, or null.
  CZqlLispObj* lclone() const override;
  CZqlObject* duplicate() const override;
  // Copies another CZqlLispIdent; 0 for another class.
  int lcopyFrom(const CZqlLispObj* other) override;
  // Copies an identifier; 1 on success, 0 (exception pushed) on failure.
  int copyFrom(const CZqlIdent& other);
  // Equal as SQL identifiers (CZqlIdent's ==); another class is unequal.
  int operator==(const CZqlLispObj& other) const override;
  using CZqlIdent::operator==;
  int operator==(const CZqlLispIdent& other) const;
  // Orders by body, unit by unit.
  int cmp(const CZqlLispObj* other) const override;

  // Reads the string at buf's position (else kZqlLispErrArgType) and moves
  // the position to the next item; 1 on success.
  int readBuf(CZqlLispBuf* buf) override;
  // Appends one string: the body, in double quotes when the identifier is
  // delimited or its body is empty. At most 256 bytes of body are written.
  int writeBuf(CZqlLispBuf* buf) const override;
};

#endif  // ZQL_LISPIDENT_H
