// lispsqlobj.cpp - identity of the binding's SQL objects and the handle
// list form (see lispsqlobj.h).
#include "lispsqlobj.h"

#include <cstring>

#include "lispbuf.h"
#include "lispstrcash.h"

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
