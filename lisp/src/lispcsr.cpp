// lispcsr.cpp - cursors; ZQL_ALLOC, ZQL_OPEN, ZQL_CLOSE, ZQL_FETCH,
// ZQL_UPDATE, ZQL_DELETE, ZQL_STATECSR.
#include "lispcsr.h"

#include <strings.h>

#include <new>

#include "kel.h"
#include "lispbuf.h"
#include "lispcol.h"
#include "lispident.h"
#include "lisplist.h"
#include "lisproot.h"
#include "lisprow.h"
#include "lispstm.h"

CZqlLispCsr::CZqlLispCsr(const char* name) : CZqlLispStmObj(name) {
  setObjType(kZqlLispTypeCursor);
}

CZqlLispCsr::~CZqlLispCsr() = default;

int CZqlLispCsr::status() {
  int bits = 0;
  // The driver's word decides: a COMMIT or ROLLBACK closes the cursor
  // without a Close.
  if (isOpen() && is_open() == 1) bits |= kZqlLispCsrOpen;
  const int updatable = is_updatable();
  if (updatable) bits |= kZqlLispCsrUpdatable;
  if (!updatable && scrollability == kZqlCurScroll) bits |= kZqlLispCsrScrollable;
  if (sensitivity == kZqlCurInsensitive) bits |= kZqlLispCsrInsensitive;
  return bits;
}

int CZqlLispCsr::ZqlAllocate(CZqlLispStm* stm, const CZqlLispIdent& name,
                             CZqlLispBuf* buf) {
  EZqlCurScr scr = kZqlCurNonScroll;
  EZqlCurSns sns = kZqlCurSensitivityDefault;
  if (!buf->isNone()) {
    if (!buf->isNil()) {
      if (!buf->isChar()) {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      if (strcasecmp(buf->C(), "SCROLL") == 0) {
        scr = kZqlCurScroll;
      } else if (strcasecmp(buf->C(), "NON_SCROLL") != 0) {
        errPush(kZqlLispErrCursorOption);
        return 0;
      }
    }
    buf->getNextItem();
  }
  if (!buf->isNone()) {
    if (!buf->isNil()) {
      if (!buf->isChar()) {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      if (strcasecmp(buf->C(), "INSENSITIVE") != 0) {
        errPush(kZqlLispErrCursorOption);
        return 0;
      }
      sns = kZqlCurInsensitive;
    }
    buf->getNextItem();
  }
  if (!buf->isNone()) {
    errPush(kZqlLispErrArgExtra);
    return 0;
  }
  const int ok = Allocate(stm, name, scr, sns);
  errPush(static_cast<const CZqlSQLObject*>(this));
  return ok == 1;
}

namespace {

// A fetch position: a short or a real truncated to an integer.
bool Position(CZqlLispBuf* buf, int32_t* out) {
  if (buf->isShort()) {
    *out = buf->S();
    return true;
  }
  if (buf->isReal()) {
    const double v = buf->R();
    if (!(v > -2147483649.0 && v < 2147483648.0)) return false;
    *out = static_cast<int32_t>(v);
    return true;
  }
  return false;
}

}  // namespace

int CZqlLispCsr::ZqlFetch(CZqlLispBuf* buf, CZqlLispBuf* out) {
  int ok = 0;
  if (buf->isNone() || buf->isNil()) {
    if (buf->isNil()) buf->getNextItem();
    if (!buf->isNone()) {
      errPush(kZqlLispErrArgExtra);
      return 0;
    }
    ok = Fetch();
  } else {
    if (!buf->isChar()) {
      errPush(kZqlLispErrArgType);
      return 0;
    }
    const char* word = buf->C();
    buf->getNextItem();
    const bool absolute = strcasecmp(word, "ABSOLUTE") == 0;
    const bool relative = strcasecmp(word, "RELATIVE") == 0;
    int32_t position = 0;
    if (absolute || relative) {
      if (buf->isNone()) {
        errPush(kZqlLispErrArgMissing);
        return 0;
      }
      if (!Position(buf, &position)) {
        errPush(kZqlLispErrArgType);
        return 0;
      }
      buf->getNextItem();
    }
    int which = 0;
    if (strcasecmp(word, "NEXT") == 0) {
      which = 1;
    } else if (strcasecmp(word, "PRIOR") == 0) {
      which = 2;
    } else if (strcasecmp(word, "FIRST") == 0) {
      which = 3;
    } else if (strcasecmp(word, "LAST") == 0) {
      which = 4;
    } else if (absolute) {
      which = 5;
    } else if (relative) {
      which = 6;
    } else {
      errPush(kZqlLispErrFetchDirection);
      return 0;
    }
    if (!buf->isNone()) {
      errPush(kZqlLispErrArgExtra);
      return 0;
    }
    switch (which) {
      case 1: ok = Fetch(); break;
      case 2: ok = FetchPrior(); break;
      case 3: ok = FetchFirst(); break;
      case 4: ok = FetchLast(); break;
      case 5: ok = FetchAbsolute(position); break;
      default: ok = FetchRelative(position); break;
    }
  }
  errPush(static_cast<const CZqlSQLObject*>(this));
  return ok == 1 && writeFetched(out);
}

int CZqlLispCsr::writeFetched(CZqlLispBuf* out) {
  if (getFetchedValues(&asIs_)) {
    int ok = 1;
    const int guarded = ZqlLispGuard(this, [&] {
      for (size_t i = 0; ok && i < asIs_.size(); ++i) ok = ZqlLispWriteValue(this, out, asIs_[i]);
    });
    return guarded && ok;
  }
  CZqlLispRow row;
  row.setRow(getFetchedRow());
  errPush(static_cast<const CZqlSQLObject*>(this));
  if (!row.getRow()) {
    if (errQty() == 0) errPush(kZqlLispErrInternal);
    return 0;
  }
  return row.writeBuf(out);
}

CZqlRow* CZqlLispCsr::readPairs(CZqlLispBuf* buf) {
  auto* cols = new (std::nothrow) CZqlLispList;
  auto* row = new (std::nothrow) CZqlLispRow;
  CZqlRow* result = nullptr;
  auto done = [&] {
    delete cols;
    delete row;
    return result;
  };
  if (!cols || !row) {
    errPush(kZqlLispErrNoMemory);
    return done();
  }
  if (!buf->isBList()) {
    errPush(kZqlLispErrArgType);
    return done();
  }
  buf->getNextItem();
  if (buf->isNone()) {
    errPush(kZqlLispErrArgType);
    return done();
  }
  const int start = buf->getPos();
  const int columns = colQty();
  // First pass: the column of every pair.
  while (!buf->isEList()) {
    CZqlLispCol* col = nullptr;
    if (buf->ItemType() == RTPOINT) {
      const double n = buf->PX();
      if (!(n > -1.0 && n < 2147483648.0)) {
        errPush(kZqlLispErrParmNumber);
        return done();
      }
      col = getCol(static_cast<int>(n));
      buf->getNextItem();
    } else if (buf->isBList()) {
      buf->getNextItem();
      if (buf->isShort()) {
        col = getCol(buf->S());
        buf->getNextItem();
      } else if (buf->isReal()) {
        const double n = buf->R();
        if (!(n > -1.0 && n < 2147483648.0)) {
          errPush(kZqlLispErrParmNumber);
          return done();
        }
        col = getCol(static_cast<int>(n));
        buf->getNextItem();
      } else if (buf->isChar()) {
        CZqlLispIdent name;
        if (!name.readBuf(buf)) return done();
        col = getCol(&name);
      } else {
        errPush(kZqlLispErrArgType);
        return done();
      }
      if (!col) return done();
      // The value, then the pair's end.
      if (buf->isNone() || buf->isEList() || buf->isBList()) {
        delete col;
        errPush(kZqlLispErrArgType);
        return done();
      }
      buf->getNextItem();
      if (!buf->isEList()) {
        delete col;
        errPush(kZqlLispErrArgType);
        return done();
      }
      buf->getNextItem();
    } else {
      errPush(kZqlLispErrArgType);
      return done();
    }
    if (!col) return done();
    if (!cols->addItem(col, cols->Qty())) {
      delete col;
      return done();
    }
    if (cols->Qty() > columns) {
      errPush(kZqlLispErrArgExtra);
      return done();
    }
    if (buf->isNone()) {
      errPush(kZqlLispErrArgType);
      return done();
    }
  }
  const int end = buf->getPos();
  if (cols->Qty() == 0) {
    errPush(kZqlLispErrArgMissing);
    return done();
  }
  if (!row->initCols(cols)) return done();
  // Second pass: the values.
  buf->setPos(start);
  CZqlLispRow::SReadState state;
  for (int i = 0; i < cols->Qty(); ++i) {
    if (buf->ItemType() == RTPOINT) {
      double point[2] = {buf->PY(), 0.0};
      CZqlLispBuf value;
      if (!value.addItem(point[0])) return done();
      value.getFirstItem();
      if (!row->readValue(i, &value, &state)) return done();
      buf->getNextItem();
    } else {
      buf->getNextItem();  // the pair's list begin
      buf->getNextItem();  // the designator
      if (!row->readValue(i, buf, &state)) return done();
      if (state.coordinatesUsed != 0) {  // a point value: take one only
        state.coordinatesUsed = 0;
        buf->getNextItem();
      }
      buf->getNextItem();  // the pair's list end
    }
  }
  buf->setPos(end);
  buf->getNextItem();  // past the pairs list
  result = row->release();
  return done();
}

// ---------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------

int CZqlLispRoot::zqll_alloc() {
  auto* stm = static_cast<CZqlLispStm*>(firstHandle(kZqlLispClsStm));
  if (!stm) return 0;
  CZqlLispBuf* a = args_;
  const char* name = a->isNone() ? nullptr : a->C();
  if (!name) {
    if (a->isNone()) errPush(kZqlLispErrArgType);
    return 0;
  }
  auto* ident = new (std::nothrow) CZqlLispIdent;
  if (!ident) {
    errPush(kZqlLispErrNoMemory);
    return 0;
  }
  int answer = 0;
  if (ident->readBuf(a)) {
    CZqlLispCsr* csr = stm->allocCsr(name);
    if (csr) {
      if (csr->ZqlAllocate(stm, *ident, a) &&
          csr->CZqlLispSQLObj::writeBuf(result_) && retList()) {
        answer = -1;
      } else {
        stm->freeCsr(&csr);
      }
    }
  }
  delete ident;
  return answer;
}

int CZqlLispRoot::zqll_open() {
  auto* csr = static_cast<CZqlLispCsr*>(firstHandle(kZqlLispClsCsr));
  if (!csr) return 0;
  CZqlLispRow* values = nullptr;
  if (!readValues(csr, &values)) return 0;
  if (values && !csr->bindParms(values)) {
    csr->keepRows(values, nullptr);
    return 0;
  }
  if (!values && csr->parQty() > 0) {
    errPush(kZqlLispErrNoValues);
    return 0;
  }
  const int ok = csr->Open();
  errPush(static_cast<const CZqlSQLObject*>(csr));
  csr->keepRows(values, nullptr);
  return ok == 1;
}

int CZqlLispRoot::zqll_close() {
  auto* csr = static_cast<CZqlLispCsr*>(firstHandle(kZqlLispClsCsr));
  if (!csr || !argsDone()) return 0;
  const int ok = csr->Close();
  errPush(static_cast<const CZqlSQLObject*>(csr));
  return ok == 1;
}

int CZqlLispRoot::zqll_fetch() {
  auto* csr = static_cast<CZqlLispCsr*>(firstHandle(kZqlLispClsCsr));
  if (!csr) return 0;
  return csr->ZqlFetch(args_, result_) && retList() ? -1 : 0;
}

int CZqlLispRoot::zqll_update() {
  auto* csr = static_cast<CZqlLispCsr*>(firstHandle(kZqlLispClsCsr));
  if (!csr) return 0;
  if (args_->isNone()) {
    errPush(kZqlLispErrArgMissing);
    return 0;
  }
  CZqlRow* row = csr->readPairs(args_);
  if (!row) return 0;
  int ok = 0;
  if (argsDone()) {
    ok = csr->Update(row);
    errPush(static_cast<const CZqlSQLObject*>(csr));
  }
  delete row;
  return ok == 1;
}

int CZqlLispRoot::zqll_delete() {
  auto* csr = static_cast<CZqlLispCsr*>(firstHandle(kZqlLispClsCsr));
  if (!csr || !argsDone()) return 0;
  const int ok = csr->Delete();
  errPush(static_cast<const CZqlSQLObject*>(csr));
  return ok == 1;
}

int CZqlLispRoot::zqll_statecsr() {
  auto* csr = static_cast<CZqlLispCsr*>(firstHandle(kZqlLispClsCsr));
  if (!csr || !argsDone()) return 0;
  if (kel_retint(csr->status()) != RTNORM) {
    errPush(kZqlLispErrResultRefused);
    return 0;
  }
  return -1;
}
