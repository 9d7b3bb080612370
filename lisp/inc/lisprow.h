// lisprow.h - one row of values between LISP and the client library.
#ifndef ZQL_LISPROW_H
#define ZQL_LISPROW_H

#include "lispobj.h"

class CZqlData;
class CZqlLispList;
class CZqlRow;

// Carries values both ways: parameter values read from a LISP list
// (initParms + readBuf), a fetched row written as a LISP list (setRow +
// writeBuf), and the values of a positioned update (initCols + readValue).
class CZqlLispRow : public CZqlLispObj {
 public:
  // Shared state of readValue across the columns: how many coordinates of
  // the point at the position were used already.
  struct SReadState {
    int coordinatesUsed = 0;
  };

  CZqlLispRow() = default;
  CZqlLispRow(const CZqlLispRow&) = delete;
  CZqlLispRow& operator=(const CZqlLispRow&) = delete;
  ~CZqlLispRow() override;  // deletes the row held

  EZqlLispClassId lisA() const override { return kZqlLispClsRow; }
  // A copy (deep copy of the row) owned by the caller, or null.
  CZqlLispObj* lclone() const override;
  int lcopyFrom(const CZqlLispObj* other) override;

  // Deletes the row held and takes row over (null: none).
  void setRow(CZqlRow* row);
  CZqlRow* getRow() const { return row_; }
  // Gives the row up without deleting it; the caller owns it.
  CZqlRow* release();
  // Column i's value (owned by the row), or null.
  CZqlData* getData(int i) const;

  // A new row with one column per descriptor of the list (CZqlLispParm or
  // CZqlLispCol items); 1, or 0 with no row (a missing descriptor or a
  // library exception, which is stored).
  int initParms(CZqlLispList* parms);
  int initCols(CZqlLispList* cols);

  // Reads one value per column from buf's position (readValue); 1, or 0 at
  // the first failure.
  int readBuf(CZqlLispBuf* buf) override;
  // Reads column i's value from the item at buf's position: nil or no item
  // makes it null; reals, integers, strings and the coordinates of points
  // convert into the column's type. 1, or 0 (kZqlLispErrArgType for
  // another item or a bad index, a conversion's exception stored).
  int readValue(int i, CZqlLispBuf* buf, SReadState* state);
  // One item per column: nil for null, reals for numbers, strings for
  // characters, datetimes and intervals, hexadecimal strings for bit
  // strings. 1, or 0 (kZqlLispErrInternal without a row).
  int writeBuf(CZqlLispBuf* buf) const override;

 private:
  CZqlRow* row_ = nullptr;  // owned
};

// One value as CZqlLispRow::writeBuf writes it; null data writes nil. 1, or
// 0 (kZqlLispErrInternal, stored in owner, for a type with no LISP form).
// REQUIRES: inside a guard (ZqlLispGuard): the conversion may raise.
int ZqlLispWriteValue(const CZqlLispObj* owner, CZqlLispBuf* buf, const CZqlData* data);

#endif  // ZQL_LISPROW_H
