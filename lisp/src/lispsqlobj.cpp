// lispsqlobj.cpp - identity of the binding's SQL objects and the handle
// list form (see lispsqlobj.h).
#include "lispsqlobj.h"

#include <cstring>
#include <new>

#include "kel.h"
#include "lispbuf.h"
#include "lispcol.h"
#include "lispident.h"
#include "lisplist.h"
#include "lisproot.h"
#include "lisprow.h"
#include "lispstrcash.h"
#include "zqlappl.h"

namespace {

const char* const kObjTypes[] = {kZqlLispTypeSession, kZqlLispTypeStatement,
                                 kZqlLispTypeCursor};

}  // namespace

CZqlLispSQLObj::CZqlLispSQLObj(const char* name) {
  const char* text = name ? name : "";
  const size_t n = std::strlen(text);
  // A name beyond 32-bit lengths is not a name LISP can have given.
  if (n <= INT32_MAX) name_ = allocBuf(static_cast<int32_t>(n));
  if (name_) std::memcpy(name_, text, n);
}

CZqlLispSQLObj::~CZqlLispSQLObj() {
  // Only the handle init() obtained is withdrawn: the scratch object's
  // handle is merely the last one read and names another object.
  if (issued_) {
    if (CZqlLispRootIf* root = getRoot()) root->delID(handle_);
  }
  freeBuf(&name_);
  keepRows(nullptr, nullptr);
}

void CZqlLispSQLObj::keepRows(CZqlLispRow* in, CZqlLispRow* out) {
  if (in != keptIn_) delete keptIn_;
  if (out != keptOut_) delete keptOut_;
  keptIn_ = in;
  keptOut_ = out;
}

int CZqlLispSQLObj::init() {
  CZqlLispRootIf* root = getRoot();
  if (!root) return 0;
  handle_ = root->newID(this);
  issued_ = !handle_.isNull();
  return issued_ ? 1 : 0;
}

int CZqlLispSQLObj::setObjType(const char* type) {
  if (type) {
    for (const char* known : kObjTypes) {
      if (std::strcmp(type, known) == 0) {
        type_ = known;
        return 1;
      }
    }
  }
  errPush(kZqlLispErrHandleInvalid);
  return 0;
}

int CZqlLispSQLObj::writeBuf(CZqlLispBuf* buf) const {
  if (!type_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return buf && buf->addBList() && buf->addItem(type_) &&
         handle_.writeBuf(buf) && buf->addEList();
}

int CZqlLispSQLObj::readBuf(CZqlLispBuf* buf) {
  if (lisA() != kZqlLispClsSQLObj || !buf) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  type_ = nullptr;
  handle_ = 0.0;
  if (!buf->isBList() || !buf->getNextItem() || !buf->isChar()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  if (!setObjType(buf->C())) return 0;
  if (!buf->getNextItem()) {
    type_ = nullptr;
    errPush(kZqlLispErrHandleInvalid);
    return 0;
  }
  if (!handle_.readBuf(buf)) {  // it has pushed the error
    type_ = nullptr;
    return 0;
  }
  if (!buf->isEList()) {
    type_ = nullptr;
    errPush(kZqlLispErrHandleInvalid);
    return 0;
  }
  buf->getNextItem();
  return 1;
}

// ---------------------------------------------------------------------------
// The SQL side: defaults of the scratch class, type names, descriptors
// ---------------------------------------------------------------------------

namespace {

// Statement and command type names by the client's EZqlStatement code.
const char* const kTypeNames[] = {
    "TYPE_UNDEFINED", "ALLOC_CURSOR", "ALLOC_STATEMENT", "ALTER_DOMAIN",
    "ALTER_TABLE", "CREATE_ASSERTION", "CREATE_CATALOG",
    "CREATE_CHARACTER_SET", "CREATE_COLLATION", "CREATE_DOMAIN",
    "CLOSE_CURSOR", "COMMIT", "CONNECT", "CREATE_SCHEMA", "CREATE_TABLE",
    "CREATE_VIEW", "CREATE_INDEX", "CREATE_TRANSLATION", "CURSOR",
    "DELETE_CURSOR", "DELETE_WHERE", "DEALLOCATE_STATEMENT", "DISCONNECT",
    "DROP_ASSERTION", "DROP_CATALOG", "DROP_CHARACTER_SET", "DROP_COLLATION",
    "DROP_DOMAIN", "DROP_SCHEMA", "DROP_TABLE", "DROP_TRANSLATION",
    "DROP_VIEW", "DROP_INDEX", "EXECUTE_IMMEDIATE", "EXECUTE", "FETCH",
    "GRANT", "INSERT", "OPEN", "PREPARE", "REVOKE", "ROLLBACK", "SELECT",
    "SET_CATALOG", "SET_SCHEMA", "SET_TIME_ZONE", "SET_NAMES",
    "SET_TRANSACTION", "SET_CONSTRAINT", "SET_AUTHORIZATION",
    "UPDATE_CURSOR", "UPDATE_WHERE"};
constexpr int kTypeCount = sizeof kTypeNames / sizeof kTypeNames[0];
static_assert(kTypeCount == 52, "the type table has 52 names");

const char* TypeName(int code) {
  return code >= 0 && code < kTypeCount ? kTypeNames[code] : kTypeNames[0];
}

}  // namespace

int CZqlLispSQLObj::ZqlStmType() {
  errPush(kZqlLispErrInternal);
  return 0;
}
int CZqlLispSQLObj::ZqlCmdType() {
  errPush(kZqlLispErrInternal);
  return 0;
}
int32_t CZqlLispSQLObj::ZqlRowCount() {
  errPush(kZqlLispErrInternal);
  return 0;
}
int CZqlLispSQLObj::ZqlCheckOp(uint32_t) {
  errPush(kZqlLispErrInternal);
  return 0;
}
int CZqlLispSQLObj::parQty() {
  errPush(kZqlLispErrInternal);
  return 0;
}
int CZqlLispSQLObj::colQty() {
  errPush(kZqlLispErrInternal);
  return 0;
}
CZqlParameter* CZqlLispSQLObj::getZqlPar(int) {
  errPush(kZqlLispErrInternal);
  return nullptr;
}
CZqlColumn* CZqlLispSQLObj::getZqlCol(int) {
  errPush(kZqlLispErrInternal);
  return nullptr;
}
int CZqlLispSQLObj::bindZql(int, CZqlData*) {
  errPush(kZqlLispErrInternal);
  return 0;
}

CZqlSQLObject* CZqlLispStmObj::sqlObject() const { return stm(); }

int CZqlLispStmObj::ZqlStmType() {
  const int t = stm()->StmType();
  errPush(sqlObject());
  return t;
}

int CZqlLispStmObj::ZqlCmdType() {
  const int t = stm()->CmdStmType();
  errPush(sqlObject());
  return t;
}

int32_t CZqlLispStmObj::ZqlRowCount() {
  const int32_t n = stm()->RowCount();
  errPush(sqlObject());
  return n;
}

int CZqlLispStmObj::ZqlCheckOp(uint32_t mask) { return stm()->CheckOp(mask); }

int CZqlLispStmObj::parQty() { return stm()->ParamQty(); }

int CZqlLispStmObj::colQty() {
  const int n = stm()->ColQty();
  return n < 0 ? 0 : n;
}

CZqlParameter* CZqlLispStmObj::getZqlPar(int i) {
  CZqlParameter* p = stm()->ParamDsc(i);
  if (!p) errPush(sqlObject());
  return p;
}

CZqlColumn* CZqlLispStmObj::getZqlCol(int i) {
  CZqlColumn* c = stm()->ColDsc(i);
  if (!c) errPush(sqlObject());
  return c;
}

int CZqlLispStmObj::bindZql(int i, CZqlData* value) {
  if (!value) {
    errPush(kZqlLispErrValueMissing);
    return 0;
  }
  const int ok = stm()->Bind(i, value);
  errPush(sqlObject());
  return ok;
}

const char* CZqlLispSQLObj::stmType() { return TypeName(ZqlStmType()); }
const char* CZqlLispSQLObj::cmdType() { return TypeName(ZqlCmdType()); }

CZqlLispParm* CZqlLispSQLObj::getParm(int i) {
  if (i < 0 || i >= parQty()) {
    errPush(kZqlLispErrParmNumber);
    return nullptr;
  }
  CZqlParameter* par = getZqlPar(i);
  if (!par) return nullptr;
  auto* p = new (std::nothrow) CZqlLispParm;
  if (!p) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  p->setPar(par);
  return p;
}

CZqlLispParm* CZqlLispSQLObj::getParm(const CZqlLispIdent* name) {
  const int n = name ? parQty() : 0;
  for (int i = 0; i < n; ++i) {
    CZqlParameter* par = getZqlPar(i);
    if (!par) return nullptr;
    int equal = 0;
    if (!ZqlLispGuard(this, [&] { equal = par->Name() == *name; }))
      return nullptr;
    if (equal) return getParm(i);
  }
  errPush(kZqlLispErrParmNumber);
  return nullptr;
}

CZqlLispCol* CZqlLispSQLObj::getCol(int i) {
  if (i < 0 || i >= colQty()) {
    errPush(kZqlLispErrParmNumber);
    return nullptr;
  }
  CZqlColumn* col = getZqlCol(i);
  if (!col) return nullptr;
  auto* c = new (std::nothrow) CZqlLispCol;
  if (!c) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  c->setCol(col);
  return c;
}

CZqlLispCol* CZqlLispSQLObj::getCol(const CZqlLispIdent* name) {
  const int n = name ? colQty() : 0;
  for (int i = 0; i < n; ++i) {
    CZqlColumn* col = getZqlCol(i);
    if (!col) return nullptr;
    int equal = 0;
    if (!ZqlLispGuard(this, [&] { equal = col->Name() == *name; }))
      return nullptr;
    if (equal) return getCol(i);
  }
  errPush(kZqlLispErrColumnName);
  return nullptr;
}

CZqlLispList* CZqlLispSQLObj::getParms() {
  auto* list = new (std::nothrow) CZqlLispList;
  if (!list) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  const int n = parQty();
  for (int i = 0; i < n; ++i) {
    CZqlLispParm* p = getParm(i);
    if (!p || !list->addItem(p, list->Qty())) {
      delete p;
      delete list;
      return nullptr;
    }
  }
  return list;
}

CZqlLispList* CZqlLispSQLObj::getCols() {
  auto* list = new (std::nothrow) CZqlLispList;
  if (!list) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  const int n = colQty();
  for (int i = 0; i < n; ++i) {
    CZqlLispCol* c = getCol(i);
    if (!c || !list->addItem(c, list->Qty())) {
      delete c;
      delete list;
      return nullptr;
    }
  }
  return list;
}

CZqlLispList* CZqlLispSQLObj::readParms(CZqlLispBuf* buf) {
  return readSelection(buf, false);
}

CZqlLispList* CZqlLispSQLObj::readCols(CZqlLispBuf* buf) {
  return readSelection(buf, true);
}

namespace {

// A selection number: a short, or a real truncated; false for anything
// else or a real outside int range.
bool SelectionNumber(double v, int* out) {
  if (!(v > -2147483648.0 && v < 2147483648.0)) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

CZqlLispList* CZqlLispSQLObj::readSelection(CZqlLispBuf* buf, bool columns) {
  if (!buf) return nullptr;
  auto* list = new (std::nothrow) CZqlLispList;
  if (!list) {
    errPush(kZqlLispErrNoMemory);
    return nullptr;
  }
  auto add = [&](CZqlLispObj* item) {
    if (item && list->addItem(item, list->Qty())) return true;
    delete item;
    return false;
  };
  auto byNumber = [&](double v) -> bool {
    int i = 0;
    if (!SelectionNumber(v, &i)) {
      errPush(kZqlLispErrParmNumber);
      return false;
    }
    return add(columns ? static_cast<CZqlLispObj*>(getCol(i)) : getParm(i));
  };
  bool ok = true;
  const int type = buf->ItemType();
  if (type == RTPOINT || type == RT3DPOINT) {
    ok = byNumber(buf->PX()) && byNumber(buf->PY()) &&
         (type == RTPOINT || byNumber(buf->PZ()));
    buf->getNextItem();
  } else if (type == RTLB) {
    buf->getNextItem();
    if (buf->isNone() || buf->isEList()) {
      errPush(kZqlLispErrArgType);
      ok = false;
    }
    while (ok && !buf->isEList()) {
      if (buf->isShort()) {
        ok = byNumber(buf->S());
        buf->getNextItem();
      } else if (buf->isLong()) {
        ok = byNumber(buf->L());
        buf->getNextItem();
      } else if (buf->isReal()) {
        ok = byNumber(buf->R());
        buf->getNextItem();
      } else if (buf->isChar()) {
        CZqlLispIdent name;
        ok = name.readBuf(buf) &&
             add(columns ? static_cast<CZqlLispObj*>(getCol(&name))
                         : getParm(&name));
      } else {
        errPush(kZqlLispErrArgType);
        ok = false;
      }
    }
    if (ok) buf->getNextItem();  // past the list end
  } else {
    errPush(kZqlLispErrArgType);
    ok = false;
  }
  if (!ok) {
    delete list;
    return nullptr;
  }
  return list;
}

int CZqlLispSQLObj::bindParms(CZqlLispRow* row) {
  CZqlRow* r = row ? row->getRow() : nullptr;
  if (!r) {
    errPush(kZqlLispErrValueMissing);
    return 0;
  }
  for (int i = 0; i < r->ColNum(); ++i) {
    if (!bindZql(i, row->getData(i))) return 0;
  }
  return 1;
}
