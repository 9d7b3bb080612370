// lispobj.cpp - the base of the binding's classes: finding the root and
// forwarding reports to its diagnostics, message file and string cache.
#include "lispobj.h"

#include <cstring>
#include <functional>
#include <string>

#include "hvrx.h"
#include "kel.h"
#include "lispbuf.h"
#include "lispstrcash.h"
#include "zqlappl.h"

namespace {

// The object last found under the registry key and the root it proved to
// be. Every LISP call looks the root up, most of them twice, and the class
// checks are far dearer than the key's lookup. A root forgets itself as it
// is destroyed, so a new object at a dead root's address is checked afresh.
const HvRxObject* gCheckedObject = nullptr;
CZqlLispRootIf* gCheckedRoot = nullptr;

}  // namespace

CZqlLispRootIf* ZqlLispFindRoot() {
  HvRxDictionary* registry = hvrxSysRegistry();
  HvRxObject* object = registry->at(kZqlLispRegistryKey);
  if (!object) return nullptr;
  if (object == gCheckedObject) return gCheckedRoot;
  auto* classes =
      dynamic_cast<HvRxDictionary*>(registry->at(kHvRxClassDictionary));
  if (!classes) return nullptr;
  auto* rootClass = dynamic_cast<HvRxClass*>(classes->at(kZqlLispRootClassName));
  // Someone else's object under our key is not our root.
  if (!rootClass || !object->isKindOf(rootClass)) return nullptr;
  auto* root = dynamic_cast<CZqlLispRootIf*>(object);
  if (root) {
    gCheckedObject = object;
    gCheckedRoot = root;
  }
  return root;
}

CZqlLispRootIf::~CZqlLispRootIf() {
  if (this != gCheckedRoot) return;
  gCheckedObject = nullptr;
  gCheckedRoot = nullptr;
}

CZqlLispObj::CZqlLispObj() : root_(ZqlLispFindRoot()) {}

CZqlLispObj::CZqlLispObj(const CZqlLispObj& other) : root_(other.root_) {}

CZqlLispObj::~CZqlLispObj() = default;

CZqlLispObj* CZqlLispObj::lclone() const { return nullptr; }

int CZqlLispObj::lcopyFrom(const CZqlLispObj*) { return 0; }

int CZqlLispObj::operator==(const CZqlLispObj& other) const {
  return this == &other;
}

int CZqlLispObj::cmp(const CZqlLispObj* other) const {
  if (this == other) return 0;
  return std::less<const CZqlLispObj*>()(this, other) ? -1 : 1;
}

int CZqlLispObj::writeBuf(CZqlLispBuf*) const { return 0; }

int CZqlLispObj::readBuf(CZqlLispBuf*) { return 0; }

int CZqlLispObj::writeBufPair(CZqlLispBuf* buf, const char* key,
                              const char* value) const {
  return buf && buf->addBList() && buf->addItem(key) &&
         buf->addItemType(RTDOTE) && buf->addItem(value) &&
         buf->addEList();
}

int CZqlLispObj::writeBufPair(CZqlLispBuf* buf, int16_t code,
                              const char* value) const {
  return buf && buf->addBList() && buf->addItem(code) &&
         buf->addItemType(RTDOTE) && buf->addItem(value) &&
         buf->addEList();
}

int CZqlLispObj::writeBufPair(CZqlLispBuf* buf, int16_t code,
                              int16_t value) const {
  return buf && buf->addBList() && buf->addItem(code) &&
         buf->addItemType(RTDOTE) && buf->addItem(value) &&
         buf->addEList();
}

// ---------------------------------------------------------------------------
// Forwarding to the root
// ---------------------------------------------------------------------------

CZqlLispRootIf* CZqlLispObj::getRoot() const {
  if (!root_) root_ = ZqlLispFindRoot();
  return root_;
}

CZqlLispDiagIf* CZqlLispObj::getDiag() const {
  CZqlLispRootIf* root = getRoot();
  return root ? root->getDiag() : nullptr;
}

CZqlLispXmfIf* CZqlLispObj::getXmf() const {
  CZqlLispRootIf* root = getRoot();
  return root ? root->getXmf() : nullptr;
}

CZqlLispStrCash* CZqlLispObj::getStrCash() const {
  CZqlLispRootIf* root = getRoot();
  return root ? root->getStrCash() : nullptr;
}

int CZqlLispObj::errQty() const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errQty() : 0;
}

int CZqlLispObj::errClear() const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errClear() : 0;
}

int CZqlLispObj::errPush(const CZqlException* e) const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errPush(e) : 0;
}

int CZqlLispObj::errPush(const CZqlSQLObject* o) const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errPush(o) : 0;
}

int CZqlLispObj::errPush(EZqlLispErrCodes code, const char* text) const {
  // Recording an error may itself need memory (the message text comes from
  // the string cache); an error raised while one is being recorded is
  // dropped instead of recursing.
  static int pushing = 0;
  CZqlLispDiagIf* diag = getDiag();
  if (!diag || pushing) return 0;
  ++pushing;
  const int ok = diag->errPush(code, text);
  --pushing;
  return ok;
}

int CZqlLispObj::errSetParm(int item, const char* value) const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errSetParm(item, value) : 0;
}

int CZqlLispObj::errSetParm(int item, int32_t value) const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errSetParm(item, value) : 0;
}

char* CZqlLispObj::errGetParm(int condition, int item) const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errGetParm(condition, item) : nullptr;
}

int CZqlLispObj::errFind(int item, const void* value) const {
  CZqlLispDiagIf* diag = getDiag();
  return diag ? diag->errFind(item, value) : -1;
}

char* CZqlLispObj::errMsg(int message, int set) const {
  CZqlLispXmfIf* xmf = getXmf();
  return xmf ? xmf->errMsg(message, set) : nullptr;
}

char* CZqlLispObj::allocBuf(int32_t length) const {
  CZqlLispStrCash* cash = getStrCash();
  return cash ? cash->allocBuf(length) : nullptr;
}

void CZqlLispObj::freeBuf(char** buf) const {
  if (!buf || !*buf) return;
  CZqlLispStrCash* cash = getStrCash();
  if (cash) {
    cash->freeBuf(buf);
  } else {
    *buf = nullptr;
  }
}

int ZqlLispText(const CZqlUcStr& text, std::string* out) {
  if (!out) return 0;
  out->clear();
  const int ok = ZqlTry([&] {
    // Chlen counts an unmappable unit as its escape, so the buffer holds
    // the whole text whatever its length.
    const int n = text.Chlen();
    if (n <= 0) return;
    out->resize(static_cast<size_t>(n));
    text.getToChar(&(*out)[0], n + 1);  // the terminator's byte is the string's own
    out->resize(std::strlen(out->c_str()));
  });
  if (!ok) out->clear();
  return ok;
}
