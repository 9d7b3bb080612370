// lispdiag.cpp - the binding's diagnostics area and ZQL_DIAG / ZQL_ERRQTY.
#include "lispdiag.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "kel.h"
#include "lispbuf.h"
#include "lisproot.h"
#include "lispxmf.h"
#include "zqlappl.h"

namespace {

struct SItem {
  const char* name;
  int code;
  int integer;  // 1: integer value, 0: text
};

// The items ZQL_DIAG knows, in the order it lists them.
const SItem kItems[] = {
    {"MESSAGE_TEXT", kZqlDiagMessageText, 0},
    {"ZQLLISP_ERRCODE", kZqlLispItemErrCode, 1},
    {"ZQLLISP_SYNTAX_POS", kZqlLispItemSyntaxPos, 1},
    {"RETURNED_SQLSTATE", kZqlDiagReturnedSqlstate, 0},
    {"SERVER_NAME", kZqlDiagServerName, 0},
    {"CATALOG_NAME", kZqlDiagCatalogName, 0},
    {"SCHEMA_NAME", kZqlDiagSchemaName, 0},
    {"TABLE_NAME", kZqlDiagTableName, 0},
    {"COLUMN_NAME", kZqlDiagColumnName, 0},
    {"CURSOR_NAME", kZqlDiagCursorName, 0},
    {"CONDITION_NUMBER", kZqlDiagConditionNumber, 1},
    {"CLASS_ORIGIN", kZqlDiagClassOrigin, 0},
    {"SUBCLASS_ORIGIN", kZqlDiagSubclassOrigin, 0},
    {"CONNECTION_NAME", kZqlDiagConnectionName, 0},
    {"CONSTRAINT_CATALOG", kZqlDiagConstraintCatalog, 0},
    {"CONSTRAINT_SCHEMA", kZqlDiagConstraintSchema, 0},
    {"CONSTRAINT_NAME", kZqlDiagConstraintName, 0},
    {"MESSAGE_LENGTH", kZqlDiagMessageLength, 1},
    {"MESSAGE_OCTET_LENGTH", kZqlDiagMessageOctetLength, 1},
};
constexpr int kItemCount = sizeof kItems / sizeof kItems[0];

// The items copied from a source's condition (all but the two of the
// binding, which sources do not carry, and the computed ones).
bool Copied(const SItem& item) {
  return item.code != kZqlLispItemErrCode &&
         item.code != kZqlLispItemSyntaxPos &&
         item.code != kZqlDiagConditionNumber &&
         item.code != kZqlDiagMessageLength &&
         item.code != kZqlDiagMessageOctetLength &&
         item.code != kZqlDiagMessageText;
}

// Copies every condition of a source (exception or SQL object; both count
// from the most recent) into exc, the oldest first so the order stays.
template <class Source>
void CopyConditions(CZqlException* exc, const Source& src, int syntaxPos,
                    bool withPos) {
  for (int k = src.CondQty() - 1; k >= 0; --k) {
    exc->setErr(src.Err(k));
    if (const CZqlUcStr* msg = src.ErrMsg(k)) {
      exc->setErrMsg(*msg);
      exc->setDiagPar(kZqlDiagMessageText, *msg);
    }
    exc->setSQLSTATE(src.SQLSTATE(k) ? src.SQLSTATE(k) : "");
    for (const SItem& item : kItems) {
      if (!Copied(item) || item.code == kZqlDiagReturnedSqlstate) continue;
      CZqlUcStr text;
      if (src.getDiagPar(k, static_cast<EZqlDiag>(item.code), &text) &&
          text.Length() > 0)
        exc->setDiagPar(static_cast<EZqlDiag>(item.code), text);
    }
    if (withPos)
      exc->setDiagPar(static_cast<EZqlDiag>(kZqlLispItemSyntaxPos),
                      static_cast<int32_t>(syntaxPos));
    exc->pushCond();
  }
}

}  // namespace

CZqlLispDiag::~CZqlLispDiag() { delete exc_; }

int CZqlLispDiag::init() {
  if (exc_) return 1;
  return ZqlTry([&] { exc_ = new CZqlException; }) && exc_;
}

int CZqlLispDiag::itemCount() { return kItemCount; }

const char* CZqlLispDiag::errDiagDsc(int order, int* code, int* type) {
  if (order < 0 || order >= kItemCount) return nullptr;
  if (code) *code = kItems[order].code;
  if (type) *type = kItems[order].integer;
  return kItems[order].name;
}

int CZqlLispDiag::errDiagDsc(int code, int* type) {
  for (int i = 0; i < kItemCount; ++i) {
    if (kItems[i].code == code) {
      if (type) *type = kItems[i].integer;
      return i;
    }
  }
  return -1;
}

int CZqlLispDiag::errDiagDsc(const char* name, int* type) {
  if (!name) return -1;
  for (int i = 0; i < kItemCount; ++i) {
    if (strcasecmp(kItems[i].name, name) == 0) {
      if (type) *type = kItems[i].integer;
      return kItems[i].code;
    }
  }
  return -1;
}

int CZqlLispDiag::errQty() {
  if (!exc_) return 0;
  int n = 0;
  ZqlTry([&] { n = exc_->CondQty(); });
  return n;
}

int CZqlLispDiag::errClear() {
  if (!exc_) return 0;
  int ok = 0;
  ZqlTry([&] { ok = exc_->flushCond(); });
  return ok;
}

int CZqlLispDiag::errPush(const CZqlException* e) {
  if (!exc_ || !e) return 0;
  return ZqlTry([&] { CopyConditions(exc_, *e, 0, false); });
}

int CZqlLispDiag::errPush(const CZqlSQLObject* o) {
  if (!exc_ || !o) return 0;
  const int cmd = o->CmdStmType();
  const bool withPos = cmd == kZqlStmPrepare || cmd == kZqlStmExecuteImmediate;
  const int pos = withPos ? o->ErrPosition() : 0;
  return ZqlTry([&] { CopyConditions(exc_, *o, pos, withPos); });
}

int CZqlLispDiag::errPush(EZqlLispErrCodes code, const char* text) {
  if (!exc_) return 0;
  char* own = text ? nullptr : errMsg(ZqlLispMessageNumber(code), 1);
  const char* message = text ? text : own;
  const int ok = ZqlTry([&] {
    exc_->setDiagPar(static_cast<EZqlDiag>(kZqlLispItemErrCode),
                     static_cast<int32_t>(code));
    exc_->setErr(kZqlLispConditionCode);
    if (message) {
      CZqlUcStr msg(message);
      exc_->setErrMsg(msg);
    }
    exc_->pushCond();
  });
  freeBuf(&own);
  return ok;
}

int CZqlLispDiag::errSetParm(int item, const char* value) {
  if (!exc_ || !value) return 0;
  return ZqlTry([&] {
    exc_->setDiagPar(static_cast<EZqlDiag>(item), CZqlUcStr(value));
  });
}

int CZqlLispDiag::errSetParm(int item, int32_t value) {
  if (!exc_) return 0;
  return ZqlTry([&] { exc_->setDiagPar(static_cast<EZqlDiag>(item), value); });
}

char* CZqlLispDiag::errGetParm(int condition, int item) {
  if (!exc_ || condition < 0 || condition >= errQty()) return nullptr;
  int integer = 0;
  if (errDiagDsc(item, &integer) < 0) integer = item >= kZqlDiagUserDefined;
  std::string text;
  int held = 0;
  ZqlTry([&] {
    if (integer) {
      int32_t v = 0;
      held = exc_->getDiagPar(condition, static_cast<EZqlDiag>(item), &v);
      char num[16];
      std::snprintf(num, sizeof num, "%ld", static_cast<long>(v));
      text = num;
    } else {
      CZqlUcStr value;
      held = exc_->getDiagPar(condition, static_cast<EZqlDiag>(item), &value);
      if (held) held = value.Length() > 0 && ZqlLispText(value, &text);
    }
  });
  if (!held || text.size() > INT32_MAX) return nullptr;
  char* out = allocBuf(static_cast<int32_t>(text.size()));
  if (out) std::memcpy(out, text.data(), text.size());
  return out;
}

int CZqlLispDiag::errFind(int item, const void* value) {
  const int n = errQty();
  for (int i = 0; i < n; ++i) {
    char* v = errGetParm(i, item);
    if (!v) continue;
    bool match = true;
    if (value) {
      int integer = 0;
      errDiagDsc(item, &integer);
      if (integer || item >= kZqlDiagUserDefined) {
        int32_t want;
        std::memcpy(&want, value, sizeof want);
        match = std::strtol(v, nullptr, 10) == want;
      } else {
        match = std::strcmp(v, static_cast<const char*>(value)) == 0;
      }
    }
    freeBuf(&v);
    if (match) return i;
  }
  return -1;
}

int CZqlLispDiag::writeBuf(CZqlLispBuf* out, int condition,
                           CZqlLispBuf* selection) {
  const int n = errQty();
  if (n == 0) return 0;
  if (!out || !exc_ || condition < 0 || condition >= n) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  bool chosen[kItemCount] = {};
  if (selection) {
    selection->getFirstItem();
    if (!selection->isBList()) {
      errPush(kZqlLispErrArgType);
      return 0;
    }
    selection->getNextItem();
    if (selection->isEList() || selection->isNone()) {
      errPush(kZqlLispErrArgMissing);
      return 0;
    }
    for (; !selection->isEList(); selection->getNextItem()) {
      if (!selection->isChar()) {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      const char* name = selection->C();
      if (errDiagDsc(name, nullptr) < 0) {
        errPush(kZqlLispErrDiagItem);
        return 0;
      }
      // Accepted in any case, but only the table's spelling selects.
      for (int i = 0; i < kItemCount; ++i)
        if (std::strcmp(kItems[i].name, name) == 0) chosen[i] = true;
    }
  }
  for (int i = 0; i < kItemCount; ++i) {
    if (selection && !chosen[i]) continue;
    char* value = errGetParm(condition, kItems[i].code);
    if (!value) continue;
    const int ok = writeBufPair(out, kItems[i].name, value);
    freeBuf(&value);
    if (!ok) return 0;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// ZQL_DIAG, ZQL_ERRQTY
// ---------------------------------------------------------------------------

int CZqlLispRoot::zqll_diag() {
  if (!diag_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  CZqlLispBuf* a = args_;
  if (a->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  if (!a->isNum()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  double number = 0.0;
  if (a->isShort()) {
    number = a->S();
  } else if (a->isLong()) {
    number = a->L();
  } else {
    number = a->R();
  }
  a->getNextItem();
  // Truncation of a real that fits no int is out of range as well.
  if (!(number >= 0.0) || number >= 2147483647.0 ||
      (diag_->errQty() > 0 && static_cast<int>(number) >= diag_->errQty())) {
    errPush(kZqlLispErrCondNumber);
    return 0;
  }
  const int condition = static_cast<int>(number);
  CZqlLispBuf* selection = nullptr;
  if (!a->isNone() && !a->isNil()) {
    selection = new (std::nothrow) CZqlLispBuf(kZqlTrue);
    if (!selection) {
      errPush(kZqlLispErrNoMemory);
      return 0;
    }
    // The selection list, up to its end: the rest must be empty.
    int depth = 0;
    do {
      resbuf* node = nullptr;
      a->getItem(-1, &node);
      if (a->isBList()) ++depth;
      if (a->isEList()) --depth;
      resbuf copy = *node;
      copy.rbnext = nullptr;
      if (!selection->addItem(&copy)) {
        delete selection;
        return 0;
      }
      a->getNextItem();
    } while (depth > 0 && !a->isNone());
  } else if (a->isNil()) {
    a->getNextItem();
  }
  if (!argsDone()) {
    delete selection;
    return 0;
  }
  const int ok = diag_->writeBuf(result_, condition, selection);
  delete selection;
  if (!ok) return 0;
  return retItems() ? -1 : 0;
}

int CZqlLispRoot::zqll_errqty() {
  if (!argsDone()) return 0;
  if (kel_retint(diag_ ? diag_->errQty() : 0) != RTNORM) {
    errPush(kZqlLispErrResultRefused);
    return 0;
  }
  return -1;
}
