// CZqlExecStm and its native and inter-database kinds: the life cycle of a
// prepared statement, immediate execution, and raw reads of result values.

#include <memory>

#include "zqldispa.h"
#include "zqlstm.h"

namespace {

// The immediate-execution requests of the three statement kinds.
enum EImmediate { kPlain, kNative, kInterDB };

// REQUIRES: session is not null.
int Immediate(CZqlSession* session, CZqlDDA* dda, const CZqlUcStr& text, int kind) {
  CZqlDispClient* client = session->Dispatcher();
  switch (kind) {
    case kNative: return client->IExeNative(dda, session->SessionId(), text);
    case kInterDB: return client->IExeInterDB(dda, session->SessionId(), text);
    default: return client->IExecute(dda, session->SessionId(), text);
  }
}

}  // namespace

CZqlExecStm::CZqlExecStm() : prepared_(kZqlStmUndefined) {}

// A destructor cannot report: a deallocation that fails (no memory for the
// request or its reply) leaves the statement known to the dispatcher and
// the driver until its connection ends, which frees it on both sides.
CZqlExecStm::~CZqlExecStm() {
  if (statementId != 0 && dispatcher != nullptr && dda != nullptr)
    ZqlTry([&] { dispatcher->DeallocStm(dda, &statementId); });
}

// ---------------------------------------------------------------------------
// Life cycle
// ---------------------------------------------------------------------------

int CZqlExecStm::prepare(CZqlSession* session, const CZqlUcStr& text, bool interDB) {
  int answer = 0;
  Protect([&] {
    FreshArea();
    if (session == nullptr || session->SessionId() == 0 || session->Dispatcher() == nullptr)
      ZQL_PUSH_RAISE(kZqlErrConnectionDoesNotExist);
    // Old bindings never survive a new preparation.
    dropBindings();
    prepared_ = kZqlStmUndefined;
    CZqlDispClient* client = session->Dispatcher();
    // The statement's own client exists before the driver holds the
    // statement, so that a prepared statement can always be deallocated.
    std::unique_ptr<CZqlDispClient> own;
    if (dispatcher == nullptr) {
      own.reset(client->duplicate());
      if (own == nullptr) ZQL_PUSH_RAISE(kZqlErrInsufficientMemory);
    }
    answer = interDB ? client->PrepareInterDB(dda, session->SessionId(), &statementId, text)
                     : client->Prepare(dda, session->SessionId(), &statementId, text);
    sessionId = session->SessionId();
    if (own != nullptr) dispatcher = own.release();
    prepared_ = dda->StmType();
  });
  return answer;
}

int CZqlExecStm::Prepare(CZqlSession* session, const CZqlUcStr& text) {
  return prepare(session, text, false);
}

int CZqlExecStm::Deallocate() {
  return Protect([&] {
    FreshArea();
    if (statementId == 0 || dispatcher == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidSQLStatementName);
    dispatcher->DeallocStm(dda, &statementId);
    delete dispatcher;
    dispatcher = nullptr;
    statementId = 0;
    prepared_ = kZqlStmUndefined;
  });
}

int CZqlExecStm::Execute() {
  int answer = 0;
  Protect([&] {
    FreshArea();
    if (statementId == 0 || dispatcher == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidSQLStatementName);
    if (!pInput()) return;
    const bool select = prepared_ == kZqlStmSelect;
    if (select && (outputs == nullptr || !outputs->isAllBound()))
      ZQL_PUSH_RAISE(kZqlErrUsingClauseRequiredForResultFields);
    answer = dispatcher->Execute(dda, statementId);
    if (select && answer == 1) deliverRow();
  });
  return answer;
}

int CZqlExecStm::immediate(CZqlSession* session, const CZqlUcStr& text, int kind) {
  int answer = 0;
  Protect([&] {
    FreshArea();
    if (session == nullptr || session->Dispatcher() == nullptr)
      ZQL_PUSH_RAISE(kZqlErrInvalidSQLStatementName);
    answer = Immediate(session, dda, text, kind);
  });
  return answer;
}

int CZqlExecStm::ImmediateExecute(CZqlSession* session, const CZqlUcStr& text) {
  return immediate(session, text, kPlain);
}

// ---------------------------------------------------------------------------
// Binding: a cursor specification takes its parameters through its cursor
// ---------------------------------------------------------------------------

template <class Call>
int CZqlExecStm::bindChecked(Call&& call) {
  int answer = 0;
  Protect([&] {
    if (!isInit()) return;
    if (prepared_ == kZqlStmCursor)
      ZQL_PUSH_RAISE(kZqlErrUsingClauseDoesNotMatchDynamicParameterSpecification);
    answer = call();
  });
  return answer;
}

int CZqlExecStm::Bind(int i, CZqlData* value) {
  return bindChecked([&] { return CZqlStm::Bind(i, value); });
}

int CZqlExecStm::Bind(int i, void* buffer, int16_t* indicator, int32_t length,
                      EZqlHostType type) {
  return bindChecked([&] { return CZqlStm::Bind(i, buffer, indicator, length, type); });
}

int CZqlExecStm::Bind(const CZqlIdent& name, CZqlData* value) {
  return bindChecked([&] { return CZqlStm::Bind(name, value); });
}

int CZqlExecStm::Bind(const CZqlIdent& name, void* buffer, int16_t* indicator, int32_t length,
                      EZqlHostType type) {
  return bindChecked([&] { return CZqlStm::Bind(name, buffer, indicator, length, type); });
}

// ---------------------------------------------------------------------------
// Raw reads of the current row
// ---------------------------------------------------------------------------

long CZqlExecStm::Read(int i, char* buffer, long start, long count) const {
  long copied = 0;
  ProtectRaising([&] {
    const CZqlData* value = rawValue(i, statementId, kZqlErrInvalidSQLStatementName);
    if (value != nullptr) copied = value->read(buffer, start, count);
  });
  return copied;
}

long CZqlExecStm::Size(int i) const {
  long size = 0;
  ProtectRaising([&] {
    const CZqlData* value = rawValue(i, statementId, kZqlErrInvalidSQLStatementName);
    if (value != nullptr) size = value->size();
  });
  return size;
}

// ---------------------------------------------------------------------------
// Native and inter-database statements
// ---------------------------------------------------------------------------

int CZqlNativeStm::Prepare(CZqlSession*, const CZqlUcStr&) {
  Protect([&] {
    FreshArea();
    dda->pushErr(kZqlErrNativeStatementCannotBePrepared);
  });
  return 0;
}

int CZqlNativeStm::Execute() {
  Protect([&] {
    FreshArea();
    dda->pushErr(kZqlErrNativeStatementCannotBeExecuted);
  });
  return 0;
}

int CZqlNativeStm::ImmediateExecute(CZqlSession* session, const CZqlUcStr& text) {
  return immediate(session, text, kNative);
}

int CZqlInterDBStm::Prepare(CZqlSession* session, const CZqlUcStr& text) {
  return prepare(session, text, true);
}

int CZqlInterDBStm::ImmediateExecute(CZqlSession* session, const CZqlUcStr& text) {
  return immediate(session, text, kInterDB);
}
