// lisproot.h - the module's root object, which owns everything the binding
// keeps between calls, and the handlers of the 33 LISP functions.
#ifndef ZQL_LISPROOT_H
#define ZQL_LISPROOT_H

#include <string>

#include "hvrx.h"
#include "lisphandle.h"
#include "lispobj.h"
#include "zqlclass.h"

class CZqlAppl;
class CZqlConfig;
class CZqlLispBuf;
class CZqlLispDiag;
class CZqlLispDsc;
class CZqlLispRow;
class CZqlLispList;
class CZqlLispSession;
class CZqlLispSQLObj;
class CZqlLispStrCash;
class CZqlLispXmf;

// Number of LISP functions; a function's code is its index in
// ZqlLispFunNames.
constexpr int kZqlLispFunCount = 33;
extern const char* const ZqlLispFunNames[kZqlLispFunCount];

// The one root object of a load of the module, registered in the host's
// system registry under "ZqlLisp_Class". Single-threaded: one call at a
// time, each finished before the next.
class CZqlLispRoot : public HvRxObject,
                     public CZqlLispObj,
                     public CZqlLispRootIf {
 public:
  // The runtime class "CZqlLispRoot" once created (initModule).
  static HvRxClass* gpDesc;

  CZqlLispRoot() = default;
  // Deletes the sessions (with their statements and cursors), then the
  // other members; the application last.
  ~CZqlLispRoot() override;

  HvRxClass* isA() const override;
  EZqlLispClassId lisA() const override { return kZqlLispClsRoot; }
  // One list per session holding its handle list.
  int writeBuf(CZqlLispBuf* buf) const override;
  CZqlLispRootIf* getRoot() const override {
    return const_cast<CZqlLispRoot*>(this);
  }
  CZqlLispDiagIf* getDiag() const override;
  CZqlLispXmfIf* getXmf() const override;
  CZqlLispStrCash* getStrCash() const override { return strCash_; }
  CZqlLispHandle& newID(CZqlLispSQLObj* obj) override;
  int delID(const CZqlLispHandle& handle) override;

  // Creates the owned objects in order; 1, or 0 after kel_fail with the
  // reason (what was made stays owned).
  int init();
  // Runs the call in progress: arguments in, one handler, one result out.
  // Answers the entry point's status (0, or 3 after a binding error).
  int execFun();

  // Reads a handle list at the argument position and answers the live
  // object it names when its class is cls (0: any); else null with
  // kZqlLispErrHandleClass, kZqlLispErrHandleInvalid (malformed, not a
  // whole number, never issued) or kZqlLispErrHandleReleased.
  CZqlLispSQLObj* readDsc(EZqlLispClassId cls);
  // Hands the result buffer to the host: 1, or 0 (empty buffer; a
  // refusal pushes kZqlLispErrResultRefused).
  int retList();
  // As retList, for results that are a list of elements (descriptor
  // lists, pairs, handles): the elements are wrapped in one outer list, so
  // that a result of one element stays a list of one element.
  int retItems();
  // A new connected-to-be session in the session list, or null.
  CZqlLispSession* allocSession(const char* name);
  void freeSession(CZqlLispSession** session);
  // 1 when a condition raised by the binding itself is stored.
  int errIsCritical();

  CZqlAppl* getAppl() const { return appl_; }
  CZqlLispBuf* args() const { return args_; }
  CZqlLispBuf* result() const { return result_; }
  CZqlLispList* sessions() const { return sessions_; }
  CZqlConfig* config() const { return config_; }

  // ---- Handlers: 1 gives T, 0 nil, -1 means the result was handed over --
  int zqll_connect();
  int zqll_disconnect();
  int zqll_prepare();
  int zqll_execute();
  int zqll_iexecute();
  int zqll_nexecute();
  int zqll_deallocstm();
  int zqll_pardsc();
  int zqll_coldsc();
  int zqll_alloc();
  int zqll_open();
  int zqll_close();
  int zqll_fetch();
  int zqll_update();
  int zqll_delete();
  int zqll_statecsr();
  int zqll_stmtype();
  int zqll_cmdtype();
  int zqll_rowqty();
  int zqll_diag();
  int zqll_errqty();
  int zqll_lispversion();
  int zqll_version();
  int zqll_dbms();
  int zqll_msg();
  int zqll_sql();
  int zqll_feature();
  int zqll_cmpident();
  int zqll_objlist();
  int zqll_objname();
  int zqll_objp();
  int zqll_getcfg();
  int zqll_setcfg();

  // ---- Helpers shared by the handlers ------------------------------------
  // 1 when nothing is left in the arguments; else kZqlLispErrArgExtra, 0.
  int argsDone();
  // Returns text with kel_retstr (a refusal pushes kZqlLispErrResultRefused
  // and answers 0); -1 on success.
  int retStr(const char* text);
  // Reads the handle argument required first: kZqlLispErrArgMissing when
  // there are no arguments.
  CZqlLispSQLObj* firstHandle(EZqlLispClassId cls);
  // Shared by ZQL_EXECUTE and ZQL_OPEN: reads the optional value list into
  // a row for obj's parameters and binds it. *row receives the row (owned
  // by the caller, null when no list was given). 1 to go on, 0 on failure.
  int readValues(CZqlLispSQLObj* obj, CZqlLispRow** row);
  // The DBMS / SQL / message text of the handle's object.
  int retObjText(int which);

 private:
  using Handler = int (CZqlLispRoot::*)();
  static const Handler kHandlers[kZqlLispFunCount];

  CZqlLispHandle null_;
  CZqlLispHandle last_;
  CZqlLispDiag* diag_ = nullptr;
  CZqlLispDsc* table_ = nullptr;
  CZqlLispList* sessions_ = nullptr;
  CZqlLispBuf* args_ = nullptr;
  CZqlLispBuf* result_ = nullptr;
  CZqlLispXmf* xmf_ = nullptr;
  CZqlLispStrCash* strCash_ = nullptr;
  CZqlAppl* appl_ = nullptr;
  CZqlConfig* config_ = nullptr;
  CZqlLispSQLObj* scratch_ = nullptr;
};

// The registered root, or null after kel_fail("can't get ZqlLisp from the
// Rx dictionary").
CZqlLispRoot* getRoot();


// Runs body inside an exception handler; a caught exception is stored in
// owner's diagnostics (kZqlLispErrNoMemory when it could not be built).
// 1 when body ran to its end.
template <class Body>
int ZqlLispGuard(const CZqlLispObj* owner, Body&& body);

template <class Body>
int ZqlLispGuard(const CZqlLispObj* owner, Body&& body) {
  CZqlExceptionHandler handler;
  if (!handler.Run(static_cast<Body&&>(body))) return 1;
  if (handler.exception) {
    owner->errPush(handler.exception);
  } else {
    owner->errPush(kZqlLispErrNoMemory);
  }
  return 0;
}

#endif  // ZQL_LISPROOT_H
