// lispident.cpp - SQL identifiers as LISP strings (see lispident.h).
#include "lispident.h"

#include <cstring>
#include <new>

#include "lispbuf.h"
#include "zqlucode.h"

namespace {

// Stores a caught exception; a handler left without one ran out of memory
// building it.
void PushCaught(const CZqlLispObj& obj, const CZqlExceptionHandler& handler) {
  if (handler.exception) {
    obj.errPush(handler.exception);
  } else {
    obj.errPush(kZqlLispErrNoMemory);
  }
}

// Longest body written, in bytes, and the quoted form's buffer.
constexpr int kMaxBody = 256;
constexpr int kMaxQuoted = kMaxBody + 2;

}  // namespace

CZqlLispObj* CZqlLispIdent::lclone() const {
  auto* copy = new (std::nothrow) CZqlLispIdent(*this);
  if (!copy) errPush(kZqlLispErrNoMemory);
  return copy;
}

CZqlObject* CZqlLispIdent::duplicate() const {
  return new (std::nothrow) CZqlLispIdent(*this);
}

int CZqlLispIdent::lcopyFrom(const CZqlLispObj* other) {
  if (!other || other->lisA() != kZqlLispClsIdent) return 0;
  return copyFrom(*static_cast<const CZqlLispIdent*>(other));
}

int CZqlLispIdent::copyFrom(const CZqlIdent& other) {
  if (&other == this) return 1;
  CZqlExceptionHandler handler;
  if (handler.Run([&] { CZqlIdent::operator=(other); })) {
    PushCaught(*this, handler);
    return 0;
  }
  return 1;
}

int CZqlLispIdent::operator==(const CZqlLispIdent& other) const {
  return CZqlIdent::operator==(other);
}

int CZqlLispIdent::operator==(const CZqlLispObj& other) const {
  if (other.lisA() != kZqlLispClsIdent) return 0;
  return CZqlIdent::operator==(static_cast<const CZqlLispIdent&>(other));
}

int CZqlLispIdent::cmp(const CZqlLispObj* other) const {
  if (!other || other->lisA() != kZqlLispClsIdent) return -1;
  const auto& id = static_cast<const CZqlLispIdent&>(*other);
  return ZqlUcStrcmp(Body().UcStr(), id.Body().UcStr());
}

int CZqlLispIdent::readBuf(CZqlLispBuf* buf) {
  if (!buf || !buf->isChar() || !buf->C()) {
    errPush(kZqlLispErrArgType);
    return 0;
  }
  const char* text = buf->C();
  const int n = static_cast<int>(std::strlen(text));
  const bool quoted = n >= 2 && text[0] == '"' && text[n - 1] == '"';
  CZqlExceptionHandler handler;
  const int raised = handler.Run([&] {
    CZqlUcStr body;
    if (quoted) {
      if (n > 2) body.Copy(text + 1, n - 2);
      set(kZqlTrue, CZqlUcStr(), body);
    } else {
      // Regular even when the text could not be written bare (a lone
      // double quote): folded, and not turned into a delimited one.
      body.Copy(text);
      body.toUpper();
      CZqlIdent::operator=(CZqlIdent(CZqlUcStr(), body));
    }
  });
  if (raised) {
    PushCaught(*this, handler);
    return 0;
  }
  buf->getNextItem();
  return 1;
}

int CZqlLispIdent::writeBuf(CZqlLispBuf* buf) const {
  if (!buf) return 0;
  char text[kMaxQuoted + 1] = {0};
  const bool quoted = isDelimited() || Body().Length() == 0;
  CZqlExceptionHandler handler;
  const int raised = handler.Run([&] {
    Body().getToChar(text + (quoted ? 1 : 0), kMaxBody + 1);
  });
  if (raised) {
    PushCaught(*this, handler);
    return 0;
  }
  if (quoted) {
    const size_t len = std::strlen(text + 1);
    text[0] = '"';
    text[len + 1] = '"';
    text[len + 2] = '\0';
  }
  return buf->addItem(text);
}
