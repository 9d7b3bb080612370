// lispcol.cpp - parameter and column descriptor lists; ZQL_PARDSC and
// ZQL_COLDSC.
#include "lispcol.h"

#include <new>
#include <string>

#include "kel.h"
#include "lispbuf.h"
#include "lispident.h"
#include "lisplist.h"
#include "lisproot.h"
#include "lispsqlobj.h"
#include "zqlappl.h"

int ZqlLispTypeNumber(int dataType) {
  switch (dataType) {
    case kZqlTypeChar: return 1;
    case kZqlTypeNumeric: return 2;
    case kZqlTypeDecimal: return 3;
    case kZqlTypeInteger: return 4;
    case kZqlTypeSmallInt: return 5;
    case kZqlTypeFloat: return 6;
    case kZqlTypeReal: return 7;
    case kZqlTypeDouble: return 8;
    case kZqlTypeDatetime: return 9;
    case kZqlTypeInterval: return 10;
    case kZqlTypeVarchar: return 11;
    case kZqlTypeBit: return 12;
    case kZqlTypeVarbit: return 13;
    default: return 0;
  }
}

namespace {

int16_t Short(unsigned int v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : v);
}

// Appends (code . T).
int PairT(CZqlLispBuf* buf, int16_t code) {
  return buf->addBList() && buf->addItem(code) && buf->addItemType(RTDOTE) &&
         buf->addItemType(RTT) && buf->addEList();
}

}  // namespace

int ZqlLispWriteDescriptor(const CZqlLispObj* owner, CZqlLispBuf* buf,
                           const CZqlIdent& name, bool nullable,
                           const CZqlData* dsc) {
  if (!buf) return 0;
  // The name in its identifier form (quoted when delimited).
  CZqlLispIdent ident;
  CZqlLispBuf nameBuf;
  if (!ident.copyFrom(name) || !ident.writeBuf(&nameBuf)) return 0;
  nameBuf.getFirstItem();
  int ok = buf->addBList() && owner->writeBufPair(buf, 1, nameBuf.C());
  if (ok && nullable) ok = PairT(buf, 2);
  std::string typeText;
  int haveText = 0;
  if (dsc) {
    ZqlLispGuard(owner, [&] {
      CZqlUcStr text;
      haveText = dsc->SQLType(&text) && ZqlLispText(text, &typeText);
    });
  }
  if (!dsc || !haveText) {
    owner->errPush(kZqlLispErrInternal);
    ok = ok && owner->writeBufPair(buf, 3, int16_t{0});
    if (ok) buf->addEList();
    return 0;
  }
  if (typeText.size() > 128) typeText.resize(128);
  const int type = dsc->Type();
  const int number = ZqlLispTypeNumber(type);
  ok = ok && owner->writeBufPair(buf, 3, static_cast<int16_t>(number));
  if (number == 0) return ok && buf->addEList();
  if (type == kZqlTypeDatetime) {
    const int sub = dsc->DateTimeType();
    ok = ok && owner->writeBufPair(
                   buf, 4, static_cast<int16_t>(sub >= 1 && sub <= 5 ? sub : 0));
  }
  int interval = 0;
  if (type == kZqlTypeInterval) {
    interval = static_cast<int>(dsc->IntervalType());
    if (interval < 1 || interval > 13) interval = 0;
    ok = ok && owner->writeBufPair(buf, 5, static_cast<int16_t>(interval));
  }
  if (type == kZqlTypeFloat || type == kZqlTypeNumeric ||
      type == kZqlTypeDecimal)
    ok = ok && owner->writeBufPair(buf, 6, Short(dsc->Precision()));
  if (type == kZqlTypeNumeric || type == kZqlTypeDecimal)
    ok = ok && owner->writeBufPair(buf, 7, Short(dsc->Scale()));
  if (type == kZqlTypeChar || type == kZqlTypeVarchar || type == kZqlTypeBit ||
      type == kZqlTypeVarbit)
    ok = ok && owner->writeBufPair(buf, 8, Short(dsc->Length()));
  if (type == kZqlTypeDatetime) {
    const int sub = dsc->DateTimeType();
    if (sub == 2 || sub == 4)
      ok = ok && owner->writeBufPair(buf, 9, Short(dsc->TimePrec()));
    if (sub == 3 || sub == 5)
      ok = ok && owner->writeBufPair(buf, 9, Short(dsc->TimeStampPrec()));
  }
  if (type == kZqlTypeInterval) {
    ok = ok && owner->writeBufPair(buf, 10, Short(dsc->LeadFieldPrec()));
    if (interval == 6 || interval == 10 || interval == 12 || interval == 13)
      ok = ok && owner->writeBufPair(buf, 11, Short(dsc->FracSecPrec()));
  }
  ok = ok && owner->writeBufPair(buf, 12, Short(dsc->ReturnLength()));
  ok = ok && owner->writeBufPair(buf, 13, typeText.c_str());
  return ok && buf->addEList();
}

CZqlLispObj* CZqlLispParm::lclone() const {
  auto* copy = new (std::nothrow) CZqlLispParm;
  if (copy) copy->par_ = par_;
  return copy;
}

int CZqlLispParm::writeBuf(CZqlLispBuf* buf) const {
  if (!par_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return ZqlLispWriteDescriptor(this, buf, par_->Name(),
                                par_->isNullable() != kZqlFalse, par_->Dsc());
}

CZqlLispObj* CZqlLispCol::lclone() const {
  auto* copy = new (std::nothrow) CZqlLispCol;
  if (copy) copy->col_ = col_;
  return copy;
}

int CZqlLispCol::writeBuf(CZqlLispBuf* buf) const {
  if (!col_) {
    errPush(kZqlLispErrInternal);
    return 0;
  }
  return ZqlLispWriteDescriptor(this, buf, col_->Name(),
                                col_->Nullable() != kZqlFalse,
                                col_->getData());
}

// ---------------------------------------------------------------------------
// ZQL_PARDSC, ZQL_COLDSC
// ---------------------------------------------------------------------------

namespace {

int Describe(CZqlLispRoot* root, bool columns) {
  CZqlLispSQLObj* obj = root->firstHandle(kZqlLispClsAny);
  if (!obj) return 0;
  if (obj->lisA() != kZqlLispClsStm && obj->lisA() != kZqlLispClsCsr) {
    root->errPush(kZqlLispErrHandleClass);
    return 0;
  }
  CZqlLispBuf* a = root->args();
  CZqlLispList* list = nullptr;
  if (a->isNone() || a->isNil()) {
    if (a->isNil()) a->getNextItem();
    if (!root->argsDone()) return 0;
    list = columns ? obj->getCols() : obj->getParms();
  } else {
    list = columns ? obj->readCols(a) : obj->readParms(a);
    if (list && !root->argsDone()) {
      delete list;
      return 0;
    }
  }
  if (!list) return 0;
  int ok = 1;
  CZqlLispObj* item = nullptr;
  for (int i = 0; ok && i < list->Qty(); ++i) {
    ok = list->getItem(i, &item) && item && item->writeBuf(root->result());
  }
  delete list;
  if (!ok) return 0;
  return root->retItems() ? -1 : 0;
}

}  // namespace

int CZqlLispRoot::zqll_pardsc() { return Describe(this, false); }
int CZqlLispRoot::zqll_coldsc() { return Describe(this, true); }
