// CZqlSession: one connection, its defaults from "zql.ini", and the
// session statements, which it writes as SQL text and executes at once.

#include <cstdio>
#include <memory>

#include "zqlconf.h"
#include "zqldispa.h"
#include "zqlsql.h"

namespace {

// The environment keys applied after connecting, in this order, and the
// condition a failing one leaves.
enum EDefault { kCatalog, kSchema, kTimeZone, kNames, kDefaultCount };

struct SDefault {
  const char* key;
  EZqlError failure;
};

constexpr SDefault kDefaults[kDefaultCount] = {
    {"CATALOG", kZqlErrInvalidCatalogName},
    {"SCHEMA", kZqlErrInvalidSchemaName},
    {"TIMEZONE", kZqlErrInvalidTimeZoneDisplacementValue},
    {"NAMES", kZqlErrInvalidCharacterSetName},
};

// Leading precision of the interval a "TIMEZONE" default is read into.
constexpr unsigned int kZoneLead = 2;

// Appends value as one SQL character literal: in single quotes, each quote
// inside doubled, so that no name can end the literal early.
void AppendLiteral(CZqlUcStr* out, const CZqlUcStr& value) {
  out->Append('\'');
  const unsigned short* u = value.UcStr();
  for (int i = 0; i < value.Length(); ++i) {
    if (u[i] == '\'') out->Append(static_cast<unsigned short>('\''));
    out->Append(u[i]);
  }
  out->Append('\'');
}

bool IsLocal(const CZqlUcStr& value) {
  return value.Length() == 5 && value.Compi("LOCAL") == 0;
}

const char* LevelText(EZqlTILevel level) {
  switch (level) {
    case kZqlReadUncommitted: return "READ UNCOMMITTED,";
    case kZqlReadCommitted: return "READ COMMITTED,";
    case kZqlRepeatableRead: return "REPEATABLE READ,";
    default: return "SERIALIZABLE,";
  }
}

}  // namespace

CZqlSession::CZqlSession(CZqlAppl* application) : connected(0), appl(nullptr) {
  if (dda == nullptr) return;
  dda->FlushCond();
  if (application == nullptr || application->Dispatcher() == nullptr) {
    dda->pushErr(kZqlErrZQLWasNotInitialized);
    return;
  }
  std::unique_ptr<CZqlDispClient> own;
  const int done = ZqlTry([&] {
    own.reset(application->Dispatcher()->duplicate());
    if (own == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
    if (!application->addConnection(this)) ZQL_RAISE(kZqlErrZQLWasNotInitialized);
  });
  if (!done) {
    dda->pushErr(static_cast<EZqlError>(ZqlTryCode()));
    return;
  }
  dispatcher = own.release();
  appl = application;
}

CZqlSession::~CZqlSession() {
  // Separate frames: a refused rollback must not keep the connection open.
  if (dispatcher != nullptr && connected) {
    ZqlTry([&] { Rollback(); });
    ZqlTry([&] { Disconnect(); });
    // A Disconnect that failed (out of memory after the driver ended the
    // connection, a driver gone) must not keep the entries, and with them
    // the link connection, for the application's lifetime.
    if (connected) {
      dispatcher->Forget(&sessionId);
      connected = 0;
    }
  }
  if (appl != nullptr) ZqlTry([&] { appl->removeConnection(this); });
}

// ---------------------------------------------------------------------------
// Connecting
// ---------------------------------------------------------------------------

int CZqlSession::Connect(const CZqlUcStr& environment, const CZqlUcStr& user,
                         const CZqlUcStr& password) {
  return Protect([&] {
    if (!isInit()) return;
    dispatcher->Connect(dda, &sessionId, environment, user, password);
    connected = 1;
    const SZqlInterrupt target = dispatcher->InterruptOf(sessionId);
    interruptSlot = target.slot;
    interruptConnection = target.connection;
    name = environment;
    if (applyDefaults(environment)) return;
    // Memory ran out before the defaults were known: a connection without
    // them would run its statements under the wrong catalog, schema or
    // names, so it does not stand.
    ZqlTry([&] {
      CZqlUcStr rollback;
      rollback.Copy("ROLLBACK WORK");
      iexecute(rollback);
    });
    if (!ZqlTry([&] { dispatcher->Disconnect(dda, &sessionId); })) dispatcher->Forget(&sessionId);
    connected = 0;
    name.Clear();
    dda->FlushCond();
    ZQL_PUSH_RAISE(kZqlErrInsufficientMemory);
  });
}

// Each default runs in a frame of its own; the conditions of those that
// failed are pushed at the end, after every statement the later defaults
// sent (each of which clears the area first). A default that is wrong
// leaves its condition and the connection stands; exhausted memory (the
// configuration could not be read, or a default not applied) answers false.
bool CZqlSession::applyDefaults(const CZqlUcStr& environment) {
  std::unique_ptr<CZqlConfig> reader;
  if (!ZqlTry([&] { reader.reset(new CZqlConfig); })) return false;
  CZqlConfig& config = *reader;
  EZqlError failed[kDefaultCount];
  int failures = 0;
  for (int i = 0; i < kDefaultCount; ++i) {
    const SDefault& d = kDefaults[i];
    const int done = ZqlTry([&] {
      CZqlUcStr key, value;
      key.Copy(d.key);  // raises where the converting constructor would not
      if (!config.readCfgString(environment, key, &value)) return;
      if (value.Length() == 0) return;
      switch (i) {
        case kCatalog: SetCatalog(value); break;
        case kSchema: SetSchema(value); break;
        case kNames: SetNames(value); break;
        default: {
          if (IsLocal(value)) {
            SetTimeZone();
            break;
          }
          // A text that is no displacement is skipped without a report.
          CZqlDT zone(kZqlIHourToMinute, kZoneLead, 0);
          int stored = 0;
          CZqlDDA* previous = ZqlSetCurrentDDA(nullptr);
          ZqlTry([&] { stored = zone.storeValue(value); });
          ZqlSetCurrentDDA(previous);
          if (stored) SetTimeZone(zone);
          break;
        }
      }
    });
    if (!done && ZqlTryCode() == kZqlErrInsufficientMemory) return false;
    if (!done) failed[failures++] = d.failure;
  }
  zql_detail::WidenConditions(dda);
  for (int i = 0; i < failures; ++i) dda->pushErr(failed[i]);
  return true;
}

int CZqlSession::Disconnect() {
  int answer = 0;
  Protect([&] {
    if (!isInit()) return;
    answer = dispatcher->Disconnect(dda, &sessionId);
    if (answer == 1) connected = 0;
  });
  return answer;
}

int CZqlSession::Disconnect(CZqlObject* area) {
  CZqlDDA* target = dynamic_cast<CZqlDDA*>(area);
  return Protect([&] {
    if (target == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    if (!isInit()) return;
    // The caller's area receives the dispatcher's conditions: it is current
    // for the call, so the dispatcher adds to it instead of clearing it.
    zql_detail::CZqlCurrentArea current(target);
    if (!ZqlTry([&] { dispatcher->Disconnect(target, &sessionId); })) {
      zql_detail::WidenConditions(target);
      target->setErr(kZqlErrInvalidTransactionState);
      target->setDiagPar(kZqlDiagServerName, name);
      target->setDiagPar(kZqlDiagConnectionName, name);
      target->PushCond();
      ZQL_RAISE(kZqlErrInvalidTransactionState);
    }
    connected = 0;
  });
}

// ---------------------------------------------------------------------------
// Session statements
// ---------------------------------------------------------------------------

int CZqlSession::iexecute(const CZqlUcStr& text) {
  int answer = 0;
  Protect([&] {
    FreshArea();
    if (sessionId == 0 || dispatcher == nullptr) ZQL_PUSH_RAISE(kZqlErrInvalidSQLStatementName);
    answer = dispatcher->IExecute(dda, sessionId, text);
  });
  return answer;
}

int CZqlSession::named(const char* head, const CZqlUcStr& value, EZqlError empty) {
  return Protect([&] {
    FreshArea();
    if (value.Length() == 0) ZQL_PUSH_RAISE(empty);
    CZqlUcStr text(head);
    AppendLiteral(&text, value);
    iexecute(text);
  });
}

int CZqlSession::statement(const char* text) {
  return Protect([&] {
    FreshArea();
    CZqlUcStr sql;
    sql.Copy(text);  // raises where the converting constructor would send ""
    iexecute(sql);
  });
}

int CZqlSession::SetCatalog(const CZqlUcStr& name) {
  return named("SET CATALOG ", name, kZqlErrInvalidCatalogName);
}

int CZqlSession::SetSchema(const CZqlUcStr& name) {
  return named("SET SCHEMA ", name, kZqlErrInvalidSchemaName);
}

int CZqlSession::SetNames(const CZqlUcStr& name) {
  return named("SET NAMES ", name, kZqlErrInvalidCharacterSetName);
}

int CZqlSession::SetAuthor(const CZqlUcStr& user) {
  return named("SET SESSION AUTHORIZATION ", user, kZqlErrInvalidAuthorizationSpecification);
}

int CZqlSession::SetTimeZone(const CZqlDT& displacement) {
  return Protect([&] {
    FreshArea();
    if (displacement.IntervalType() != kZqlIHourToMinute || displacement.isNull())
      ZQL_PUSH_RAISE(kZqlErrInvalidFunctionArguments);
    CZqlUcStr literal;
    displacement.SQLLiteral(&literal);
    CZqlUcStr text("SET TIME ZONE ");
    text.Append(literal);
    iexecute(text);
  });
}

int CZqlSession::SetTimeZone() { return statement("SET TIME ZONE LOCAL"); }

int CZqlSession::SetTrans(EZqlTILevel level, EZqlTMode mode, uint32_t diagnosticsSize) {
  return Protect([&] {
    FreshArea();
    char size[16];
    std::snprintf(size, sizeof size, "%u", diagnosticsSize);
    CZqlUcStr text("SET TRANSACTION ");
    text.Append(mode == kZqlReadOnly ? "READ ONLY," : "READ WRITE,");
    text.Append("ISOLATION LEVEL ");
    text.Append(LevelText(level));
    text.Append("DIAGNOSTICS SIZE ");
    text.Append(size);
    iexecute(text);
  });
}

int CZqlSession::constraints(const CZqlIdent* name, const char* mode) {
  return Protect([&] {
    FreshArea();
    CZqlUcStr text("SET CONSTRAINTS ");
    if (name != nullptr && name->Length() != 0)
      name->ToString(&text);
    else
      text.Append("ALL");
    text.Append(mode);
    iexecute(text);
  });
}

int CZqlSession::DeferrConstr(const CZqlIdent* name) { return constraints(name, " DEFERRED"); }

int CZqlSession::ImmConstr(const CZqlIdent* name) { return constraints(name, " IMMEDIATE"); }

int CZqlSession::Commit() { return statement("COMMIT WORK"); }

int CZqlSession::Rollback() { return statement("ROLLBACK WORK"); }

// Connected, it goes out of band (see the header) and reads only what
// Connect stored. Otherwise nothing can be running, and the request
// layer's refusal reaches the area as for any other call.
int CZqlSession::Cancel() {
  if (connected && interruptSlot >= 0) {
    SZqlInterrupt target;
    target.slot = interruptSlot;
    target.connection = interruptConnection;
    return ZqlInterruptServerOnUnix(target) == kZqlOk ? 1 : 0;
  }
  int answer = 0;
  Protect([&] {
    if (!isInit()) return;
    answer = dispatcher->Cancel(dda, sessionId);
  });
  return answer;
}
