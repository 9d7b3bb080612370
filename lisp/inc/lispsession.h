// lispsession.h - a session (connection) as LISP sees it.
#ifndef ZQL_LISPSESSION_H
#define ZQL_LISPSESSION_H

#include "lispsqlobj.h"
#include "zqlappl.h"

class CZqlLispStm;

// A CZqlSession with a handle. Owns its statements (and through them
// their cursors), and the immediate and native statements it reuses for
// ZQL_IEXECUTE and ZQL_NEXECUTE.
class CZqlLispSession : public CZqlLispSQLObj, public CZqlSession {
 public:
  // name: the environment; appl borrowed (the root's, outlives the
  // session). May raise 0xA008 (inside the caller's frame).
  CZqlLispSession(const char* name, CZqlAppl* appl);
  // Deletes the statements (their cursors with them), the immediate and
  // native statements, then rolls back and disconnects (CZqlSession).
  ~CZqlLispSession() override;

  EZqlLispClassId lisA() const override { return kZqlLispClsSession; }
  // Creates the statement list, then registers the handle. 1 or 0.
  int init();

  CZqlSQLObject* sqlObject() const override {
    return const_cast<CZqlLispSession*>(this);
  }
  int ZqlStmType() override { return lastStmType_; }
  int ZqlCmdType() override { return lastCmdType_; }
  int32_t ZqlRowCount() override { return lastRowCount_; }
  int ZqlCheckOp(uint32_t mask) override { return CheckOp(mask); }

  // One list per statement holding its handle list; 1 when at least one
  // was written and all writes succeeded.
  int writeBuf(CZqlLispBuf* buf) const override;
  // A handle list (CZqlLispSQLObj's form).
  int writeHandle(CZqlLispBuf* buf) const { return CZqlLispSQLObj::writeBuf(buf); }

  CZqlLispList* statements() const { return stms_; }
  // A new statement in the list, live, or null (condition pushed).
  CZqlLispStm* allocStm(const char* name);
  // Removes *stm from the list (deleting it) and nulls the pointer.
  void freeStm(CZqlLispStm** stm);
  // Executes sql at once (prepared text / native text) and records the
  // statement's types and row count. 1 or 0 (diagnostics stored).
  int iExecute(const char* sql);
  int nExecute(const char* sql);

 private:
  int immediate(const char* sql, bool native);

  CZqlLispList* stms_ = nullptr;        // owned
  CZqlNativeStm* nativeStm_ = nullptr;  // owned
  CZqlExecStm* immStm_ = nullptr;       // owned
  int lastStmType_ = 0;
  int lastCmdType_ = 0;
  int32_t lastRowCount_ = 0;
};

#endif  // ZQL_LISPSESSION_H
