// lispcol.h - parameter and column descriptors as LISP descriptor lists.
#ifndef ZQL_LISPCOL_H
#define ZQL_LISPCOL_H

#include "lispobj.h"

class CZqlColumn;
class CZqlData;
class CZqlIdent;
class CZqlParameter;

// Writes the descriptor list of one parameter or column: the dotted pairs
// (code . value) in code order - 1 name, 2 T when nullable, 3 type number,
// then the type's attributes (4 datetime subtype, 5 interval code, 6
// precision, 7 scale, 8 length, 9 time/timestamp precision, 10 leading
// field precision, 11 fractional seconds precision), 12 return length and
// 13 the SQL type text. Unknown types give (3 . 0) and nothing more.
// Answers 1 when every item was appended; a missing descriptor pushes
// kZqlLispErrInternal. Never raises.
int ZqlLispWriteDescriptor(const CZqlLispObj* owner, CZqlLispBuf* buf,
                           const CZqlIdent& name, bool nullable,
                           const CZqlData* dsc);

// The type number of item 3 for a data type code; 0 for unknown types.
int ZqlLispTypeNumber(int dataType);

// A parameter descriptor (borrowed from the statement's area).
class CZqlLispParm : public CZqlLispObj {
 public:
  CZqlLispParm() = default;
  EZqlLispClassId lisA() const override { return kZqlLispClsParm; }
  // A new object pointing at the same parameter, owned by the caller.
  CZqlLispObj* lclone() const override;
  void setPar(CZqlParameter* par) { par_ = par; }
  CZqlParameter* getPar() const { return par_; }
  // The descriptor list; without a parameter kZqlLispErrInternal.
  int writeBuf(CZqlLispBuf* buf) const override;

 private:
  CZqlParameter* par_ = nullptr;  // borrowed
};

// A column descriptor (borrowed from the statement's or cursor's area).
class CZqlLispCol : public CZqlLispObj {
 public:
  CZqlLispCol() = default;
  EZqlLispClassId lisA() const override { return kZqlLispClsCol; }
  CZqlLispObj* lclone() const override;
  void setCol(CZqlColumn* col) { col_ = col; }
  CZqlColumn* getCol() const { return col_; }
  int writeBuf(CZqlLispBuf* buf) const override;

 private:
  CZqlColumn* col_ = nullptr;  // borrowed
};

#endif  // ZQL_LISPCOL_H
