// lispdiag.h - the binding's diagnostics area: the conditions of the last
// call, read by ZQL_DIAG and ZQL_ERRQTY.
#ifndef ZQL_LISPDIAG_H
#define ZQL_LISPDIAG_H

#include "lispobj.h"

class CZqlException;

// Item codes of the binding's own items.
constexpr int kZqlLispItemErrCode = 1044;    // ZQLLISP_ERRCODE
constexpr int kZqlLispItemSyntaxPos = 1029;  // ZQLLISP_SYNTAX_POS
// The condition code of every binding error.
constexpr int kZqlLispConditionCode = 0xE002;

// The conditions live in one CZqlException, numbered from 0 (the most
// recent). Every operation runs in an exception frame and answers 0 when
// anything inside fails; none raises.
class CZqlLispDiag : public CZqlLispObj, public CZqlLispDiagIf {
 public:
  CZqlLispDiag() = default;
  CZqlLispDiag(const CZqlLispDiag&) = delete;
  CZqlLispDiag& operator=(const CZqlLispDiag&) = delete;
  ~CZqlLispDiag() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsDiag; }
  // Creates the condition store; 1 on success.
  int init();

  int errQty() override;
  int errClear() override;
  int errPush(const CZqlException* e) override;
  int errPush(const CZqlSQLObject* o) override;
  int errPush(EZqlLispErrCodes code, const char* text = nullptr) override;
  int errSetParm(int item, const char* value) override;
  int errSetParm(int item, int32_t value) override;
  char* errGetParm(int condition, int item) override;
  int errFind(int item, const void* value) override;

  // The item table: by order (0 to 18; name answered, code and type
  // through the out-parameters), by code, or by name (case ignored).
  // Misses answer null or -1. type: 1 integer, 0 text.
  static const char* errDiagDsc(int order, int* code, int* type);
  static int errDiagDsc(int code, int* type);
  static int errDiagDsc(const char* name, int* type);
  static int itemCount();

  // Appends the (name . value) pairs of condition `condition` to out, for
  // every item of the table it holds (or those named in selection, a list
  // of names at its position). 0 with nothing written when there are no
  // conditions; kZqlLispErrInternal for a bad number, kZqlLispErrArgType,
  // kZqlLispErrDiagItem, kZqlLispErrArgMissing for a bad selection.
  int writeBuf(CZqlLispBuf* out, int condition, CZqlLispBuf* selection);

 private:
  CZqlException* exc_ = nullptr;  // owned
};

#endif  // ZQL_LISPDIAG_H
