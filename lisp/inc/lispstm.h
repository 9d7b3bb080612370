// lispstm.h - a prepared statement as LISP sees it.
#ifndef ZQL_LISPSTM_H
#define ZQL_LISPSTM_H

#include "lispsqlobj.h"
#include "zqlappl.h"

class CZqlLispCsr;
class CZqlLispSession;

// A CZqlExecStm with a handle, owned by its session's list; owns its
// cursors.
class CZqlLispStm : public CZqlLispStmObj, public CZqlExecStm {
 public:
  explicit CZqlLispStm(const char* name);
  ~CZqlLispStm() override;  // deletes the cursors, then deallocates

  EZqlLispClassId lisA() const override { return kZqlLispClsStm; }
  int init();  // creates the cursor list, registers the handle

  CZqlStm* stm() const override { return const_cast<CZqlLispStm*>(this); }

  // One list per cursor holding its handle list.
  int writeBuf(CZqlLispBuf* buf) const override;
  int writeHandle(CZqlLispBuf* buf) const { return CZqlLispSQLObj::writeBuf(buf); }

  CZqlLispSession* getSession() const { return session_; }
  void setSession(CZqlLispSession* session) { session_ = session; }
  CZqlLispList* cursors() const { return csrs_; }
  // A new cursor in the list, live, or null (condition pushed).
  CZqlLispCsr* allocCsr(const char* name);
  void freeCsr(CZqlLispCsr** csr);
  // Binds value i of row as output target i (Sob); 1, or 0 at the first
  // failure (kZqlLispErrValueMissing for a missing value).
  int sobParms(CZqlLispRow* row);

 private:
  CZqlLispSession* session_ = nullptr;  // borrowed: the owner
  CZqlLispList* csrs_ = nullptr;        // owned
};

#endif  // ZQL_LISPSTM_H
