// ucode.cpp - CZqlUcStr: a 16-bit string whose body is shared between copies
// until one of them changes.
//
// Every change goes through CEdit, which decides between writing in place
// (sole owner, the array is large enough), moving to a larger array (sole
// owner) and building a private body (shared or no body). Allocations run in
// a try frame; on a raise they are freed and the code is raised again, and
// the string is only touched once everything it needs is in hand.

#include <cstdint>
#include <cstring>
#include <new>

#include "ucdefs.h"
#include "zqlsys.h"
#include "zqltry.h"
#include "zqlucode.h"

namespace {

// The unit every empty string shows.
const unsigned short kZeroUnit = 0;

// A block of the library allocator, freed unless released.
class CBlock {
 public:
  CBlock() = default;
  ~CBlock() { reset(nullptr); }
  CBlock(const CBlock&) = delete;
  CBlock& operator=(const CBlock&) = delete;
  void reset(void* p) {
    if (p_ != nullptr) ZqlMemoryFree(p_);
    p_ = p;
  }
  void* get() const { return p_; }
  void* release() {
    void* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  void* p_ = nullptr;
};

// Length of 16-bit text: up to its terminator, or at most n units (n >= 0).
int UnitCount(const unsigned short* text, int n) {
  int len = 0;
  while ((n < 0 || len < n) && text[len] != 0) ++len;
  return len;
}

}  // namespace

// One change of a string: room for `length` units of which the first `keep`
// are the present ones; the caller writes the rest and commits.
class CZqlUcStr::CEdit {
 public:
  explicit CEdit(CZqlUcStr* s) : s_(s) {}

  // Makes room. Raises "insufficient memory" (answers false, nothing
  // changed) when the length is too large or memory is exhausted.
  bool prepare(int keep, int64_t length) {
    if (length > kZqlUcMaxLength) ZQL_RAISE(kZqlErrInsufficientMemory);
    SZqlUcStrBody* old = s_->body_;
    const std::size_t need = ZqlUcRound(static_cast<std::size_t>(length) + 1);
    if (old != nullptr && old->refs < 2 &&
        need <= ZqlUcRound(static_cast<std::size_t>(old->length) + 1)) {
      text_ = old->text;  // sole owner and large enough: in place
      return true;
    }
    const bool newBody = old == nullptr || old->refs >= 2;
    if (!allocate(newBody, need)) return false;
    text_ = static_cast<unsigned short*>(text_block_.get());
    if (old != nullptr && keep > 0) std::memcpy(text_, old->text, keep * sizeof(unsigned short));
    return true;
  }

  unsigned short* text() const { return text_; }

  // Ends the change with `length` units written; never raises.
  void commit(int length) {
    if (length <= 0) {  // an empty result keeps no body
      s_->release();
      return;
    }
    text_[length] = 0;
    SZqlUcStrBody* old = s_->body_;
    if (body_block_.get() != nullptr) {
      SZqlUcStrBody* body = static_cast<SZqlUcStrBody*>(body_block_.release());
      body->text = static_cast<unsigned short*>(text_block_.release());
      body->refs = 1;
      body->length = length;
      if (old != nullptr) --old->refs;  // it was shared: others keep it
      s_->body_ = body;
      return;
    }
    if (text_block_.get() != nullptr) {
      ZqlMemoryFree(old->text);
      old->text = static_cast<unsigned short*>(text_block_.release());
    }
    old->length = length;
  }

 private:
  bool allocate(bool newBody, std::size_t units) {
    const int ok = ZqlTry([&] {
      if (newBody) body_block_.reset(ZqlMemoryMalloc(sizeof(SZqlUcStrBody)));
      text_block_.reset(ZqlMemoryMalloc(units * sizeof(unsigned short)));
      if ((newBody && body_block_.get() == nullptr) || text_block_.get() == nullptr)
        ZQL_RAISE(kZqlErrInsufficientMemory);
    });
    if (ok) return true;
    body_block_.reset(nullptr);  // give back what was allocated so far
    text_block_.reset(nullptr);
    ZQL_RERAISE();
  }

  CZqlUcStr* s_;
  unsigned short* text_ = nullptr;
  CBlock body_block_;
  CBlock text_block_;
};

namespace {

// Empties the string when Copy does not complete, whether it returns early
// or a raise unwinds through it.
class CEmptyOnError {
 public:
  explicit CEmptyOnError(CZqlUcStr* s) : s_(s) {}
  ~CEmptyOnError() {
    if (s_ != nullptr) s_->Clear();
  }
  CEmptyOnError(const CEmptyOnError&) = delete;
  CEmptyOnError& operator=(const CEmptyOnError&) = delete;
  void dismiss() { s_ = nullptr; }

 private:
  CZqlUcStr* s_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Construction and release
// ---------------------------------------------------------------------------

CZqlUcStr::CZqlUcStr() : body_(nullptr) {}

CZqlUcStr::CZqlUcStr(const char* text) : body_(nullptr) {
  ZqlTry([&] { Copy(text); });
}

CZqlUcStr::CZqlUcStr(const char* text, const char* charset) : body_(nullptr) {
  ZqlTry([&] { Copy(text, charset); });
}

CZqlUcStr::CZqlUcStr(const char* text, unsigned long charset) : body_(nullptr) {
  ZqlTry([&] { Copy(text, charset); });
}

CZqlUcStr::CZqlUcStr(const unsigned short* text) : body_(nullptr) {
  ZqlTry([&] { Copy(text); });
}

CZqlUcStr::CZqlUcStr(const CZqlUcStr& other) : body_(nullptr) { share(other.body_); }

CZqlUcStr::CZqlUcStr(const CZqlUcStr* other) : body_(nullptr) {
  if (other != nullptr) share(other->body_);
}

CZqlUcStr::~CZqlUcStr() { release(); }

void CZqlUcStr::release() noexcept {
  SZqlUcStrBody* body = body_;
  body_ = nullptr;
  if (body == nullptr || --body->refs > 0) return;
  ZqlMemoryFree(body->text);
  ZqlMemoryFree(body);
}

void CZqlUcStr::share(SZqlUcStrBody* body) noexcept {
  if (body == body_) return;
  if (body != nullptr) ++body->refs;
  release();
  body_ = body;
}

void CZqlUcStr::Clear() { release(); }

void* CZqlUcStr::operator new(std::size_t n) {
  void* p = ZqlMemoryMalloc(n);  // raises into an open frame or handler
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* CZqlUcStr::operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return ZqlMemoryNblkMalloc(n);
}

void CZqlUcStr::operator delete(void* p) noexcept { ZqlMemoryFree(p); }

void CZqlUcStr::operator delete(void* p, const std::nothrow_t&) noexcept { ZqlMemoryFree(p); }

// ---------------------------------------------------------------------------
// Copy and assignment
// ---------------------------------------------------------------------------

void CZqlUcStr::copyUnits(const unsigned short* text, int n) {
  ZqlEntryVoid([&] {
    CEmptyOnError guard(this);
    if (text == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const int len = UnitCount(text, n);
    if (len == 0) return;  // empty result: the guard releases the body
    // The text may lie in the present array: a shared body outlives the
    // release, a private one is kept until commit (memmove for overlap).
    if (body_ != nullptr && body_->refs >= 2) release();
    CEdit edit(this);
    if (!edit.prepare(0, len)) return;
    std::memmove(edit.text(), text, len * sizeof(unsigned short));
    edit.commit(len);
    guard.dismiss();
  });
}

void CZqlUcStr::copyChars(const char* text, int n, unsigned long table) {
  ZqlEntryVoid([&] {
    CEmptyOnError guard(this);
    if (text == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const int count = ZqlUcCh2UcLenCCT(text, n, table);
    if (count <= 0) return;
    if (body_ != nullptr && body_->refs >= 2) release();  // detach first
    CEdit edit(this);
    if (!edit.prepare(0, count)) return;
    edit.commit(ZqlUcCh2UcCCT(edit.text(), count, text, n, table));
    guard.dismiss();
  });
}

void CZqlUcStr::Copy(const char* text) { copyChars(text, -1, 0); }

void CZqlUcStr::Copy(const char* text, const char* charset) { Copy(text, -1, charset); }

void CZqlUcStr::Copy(const char* text, unsigned long charset) { copyChars(text, -1, charset); }

void CZqlUcStr::Copy(const char* text, int n) { copyChars(text, n, 0); }

void CZqlUcStr::Copy(const char* text, int n, const char* charset) {
  CEmptyOnError guard(this);
  unsigned long id = 0;
  if (!ZqlUcResolveCCT(charset, &id)) return;
  guard.dismiss();
  copyChars(text, n, id);
}

void CZqlUcStr::Copy(const char* text, int n, unsigned long charset) {
  copyChars(text, n, charset);
}

void CZqlUcStr::Copy(const unsigned short* text) { copyUnits(text, -1); }

void CZqlUcStr::Copy(const unsigned short* text, int n) { copyUnits(text, n); }

bool CZqlUcStr::Overwrite(const unsigned short* text, int n) {
  SZqlUcStrBody* b = body_;
  if (text == nullptr || b == nullptr || b->refs >= 2) return false;
  const int len = UnitCount(text, n);
  if (len == 0 || ZqlUcRound(static_cast<std::size_t>(len) + 1) >
                      ZqlUcRound(static_cast<std::size_t>(b->length) + 1))
    return false;
  std::memmove(b->text, text, len * sizeof(unsigned short));
  b->text[len] = 0;
  b->length = len;
  return true;
}

void CZqlUcStr::Copy(const CZqlUcStr& other) { share(other.body_); }

void CZqlUcStr::Copy(const CZqlUcStr* other) {
  if (other != nullptr) share(other->body_);
}

void CZqlUcStr::Copy(const CZqlUcStr& other, int n) {
  if (n < 0 || n >= other.Length())
    share(other.body_);
  else
    copyUnits(other.UcStr(), n);
}

void CZqlUcStr::Copy(const CZqlUcStr* other, int n) {
  if (other != nullptr) Copy(*other, n);
}

CZqlUcStr& CZqlUcStr::operator=(const char* text) {
  Copy(text);
  return *this;
}

CZqlUcStr& CZqlUcStr::operator=(const unsigned short* text) {
  Copy(text);
  return *this;
}

CZqlUcStr& CZqlUcStr::operator=(const CZqlUcStr& other) {
  Copy(other);
  return *this;
}

CZqlUcStr& CZqlUcStr::operator=(const CZqlUcStr* other) {
  Copy(other);
  return *this;
}

// ---------------------------------------------------------------------------
// Access and measurement
// ---------------------------------------------------------------------------

const unsigned short* CZqlUcStr::UcStr() const {
  return body_ != nullptr ? body_->text : &kZeroUnit;
}

int CZqlUcStr::Length() const { return body_ != nullptr ? body_->length : 0; }

int CZqlUcStr::Size() const {
  return body_ != nullptr ? (body_->length + 1) * static_cast<int>(sizeof(unsigned short)) : 0;
}

int CZqlUcStr::Chlen() const { return ZqlUcUc2ChLenCCT(UcStr(), -1, 0); }

int CZqlUcStr::Chlen(const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? Chlen(id) : 0;
}

int CZqlUcStr::Chlen(unsigned long charset) const {
  return ZqlUcUc2ChLenCCT(UcStr(), -1, charset);
}

int CZqlUcStr::ChlenChk() const { return ZqlUcUc2ChLenChkCCT(UcStr(), -1, 0); }

int CZqlUcStr::ChlenChk(const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? ChlenChk(id) : 0;
}

int CZqlUcStr::ChlenChk(unsigned long charset) const {
  return ZqlUcUc2ChLenChkCCT(UcStr(), -1, charset);
}

const unsigned short& CZqlUcStr::operator[](int i) const {
  if (body_ == nullptr) return kZeroUnit;
  return *ZqlEntry<const unsigned short*>(&kZeroUnit, [&] {
    if (i < 0 || i > body_->length) ZQL_RAISE(kZqlErrIndexInOutOfRange);
    return &body_->text[i];
  });
}

char* CZqlUcStr::toChar(char* buf, int size, unsigned long table, bool check) const {
  return ZqlEntry<char*>(nullptr, [&]() -> char* {
    if (buf == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (size <= 0) return buf;
    buf[0] = 0;
    if (body_ == nullptr) return buf;
    // The last byte is kept for the terminator, so buf always ends in one.
    const int n = check ? ZqlUcUc2ChChkCCT(buf, size - 1, body_->text, -1, table)
                        : ZqlUcUc2ChCCT(buf, size - 1, body_->text, -1, table);
    if (n >= 0) buf[n] = 0;
    return buf;
  });
}

char* CZqlUcStr::getToChar(char* buf, int size) const { return toChar(buf, size, 0, false); }

char* CZqlUcStr::getToChar(char* buf, int size, const char* charset) const {
  unsigned long id = 0;
  if (buf != nullptr && size > 0) buf[0] = 0;
  return ZqlUcResolveCCT(charset, &id) ? toChar(buf, size, id, false) : buf;
}

char* CZqlUcStr::getToChar(char* buf, int size, unsigned long charset) const {
  return toChar(buf, size, charset, false);
}

char* CZqlUcStr::getToCharChk(char* buf, int size) const { return toChar(buf, size, 0, true); }

char* CZqlUcStr::getToCharChk(char* buf, int size, const char* charset) const {
  unsigned long id = 0;
  if (buf != nullptr && size > 0) buf[0] = 0;
  return ZqlUcResolveCCT(charset, &id) ? toChar(buf, size, id, true) : buf;
}

char* CZqlUcStr::getToCharChk(char* buf, int size, unsigned long charset) const {
  return toChar(buf, size, charset, true);
}

unsigned short* CZqlUcStr::getToUcChar(unsigned short* buf, int n) const {
  if (buf == nullptr || n <= 0) return buf;
  buf[0] = 0;
  const int64_t room = static_cast<int64_t>(n) * 2;
  const int64_t bytes = room < Size() ? room : Size();
  if (bytes > 0) std::memcpy(buf, body_->text, static_cast<std::size_t>(bytes));
  return buf;
}

// ---------------------------------------------------------------------------
// Changing
// ---------------------------------------------------------------------------

void CZqlUcStr::appendUnits(const unsigned short* text, int n) {
  ZqlEntryVoid([&] {
    if (text == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (body_ == nullptr) {
      copyUnits(text, n);
      return;
    }
    const int len = UnitCount(text, n);
    if (len == 0) return;
    // The text may lie in the present array; it stays alive until commit.
    const int old = body_->length;
    CEdit edit(this);
    if (!edit.prepare(old, static_cast<int64_t>(old) + len)) return;
    std::memmove(edit.text() + old, text, len * sizeof(unsigned short));
    edit.commit(old + len);
  });
}

void CZqlUcStr::appendChars(const char* text, int n, unsigned long table) {
  ZqlEntryVoid([&] {
    if (text == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (body_ == nullptr) {
      copyChars(text, n, table);
      return;
    }
    const int count = ZqlUcCh2UcLenCCT(text, n, table);
    if (count <= 0) return;
    const int old = body_->length;
    CEdit edit(this);
    if (!edit.prepare(old, static_cast<int64_t>(old) + count)) return;
    edit.commit(old + ZqlUcCh2UcCCT(edit.text() + old, count, text, n, table));
  });
}

void CZqlUcStr::appendUnit(unsigned short u) {
  ZqlEntryVoid([&] {
    if (u != 0) appendUnits(&u, 1);
  });
}

void CZqlUcStr::Append(const char* text) { appendChars(text, -1, 0); }

void CZqlUcStr::Append(const char* text, const char* charset) { Append(text, -1, charset); }

void CZqlUcStr::Append(const char* text, unsigned long charset) {
  appendChars(text, -1, charset);
}

void CZqlUcStr::Append(const char* text, int n) { appendChars(text, n, 0); }

void CZqlUcStr::Append(const char* text, int n, const char* charset) {
  unsigned long id = 0;
  if (ZqlUcResolveCCT(charset, &id)) appendChars(text, n, id);
}

void CZqlUcStr::Append(const char* text, int n, unsigned long charset) {
  appendChars(text, n, charset);
}

void CZqlUcStr::Append(const unsigned short* text) { appendUnits(text, -1); }

void CZqlUcStr::Append(const unsigned short* text, int n) { appendUnits(text, n); }

void CZqlUcStr::Append(const CZqlUcStr& other) { Append(other, -1); }

void CZqlUcStr::Append(const CZqlUcStr* other) {
  ZqlEntryVoid([&] {
    if (other == nullptr)
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    else
      Append(*other, -1);
  });
}

void CZqlUcStr::Append(const CZqlUcStr& other, int n) {
  if (other.body_ == nullptr || n == 0) return;
  if (body_ == nullptr)
    Copy(other, n);
  else
    appendUnits(other.body_->text, n < 0 || n > other.body_->length ? other.body_->length : n);
}

void CZqlUcStr::Append(const CZqlUcStr* other, int n) {
  ZqlEntryVoid([&] {
    if (other == nullptr)
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    else
      Append(*other, n);
  });
}

void CZqlUcStr::Append(int c) { appendUnit(ZqlUcMb2UcCCT(c, 0)); }

void CZqlUcStr::Append(int c, const char* charset) {
  unsigned long id = 0;
  if (ZqlUcResolveCCT(charset, &id)) appendUnit(ZqlUcMb2UcCCT(c, id));
}

void CZqlUcStr::Append(int c, unsigned long charset) { appendUnit(ZqlUcMb2UcCCT(c, charset)); }

void CZqlUcStr::Append(unsigned short u) { appendUnit(u); }

void CZqlUcStr::Append(const CZqlUcChar& ch) { appendUnit(ch.getUcChar()); }

void CZqlUcStr::Append(const CZqlUcChar* ch) {
  ZqlEntryVoid([&] {
    if (ch != nullptr) appendUnit(ch->getUcChar());
  });
}

void CZqlUcStr::updateUnit(int i, unsigned short u) {
  ZqlEntryVoid([&] {
    if (body_ == nullptr) ZQL_RAISE(kZqlErrInvalidCZqlUcStrObject);
    const int len = body_->length;
    if (i < 0 || i >= len) ZQL_RAISE(kZqlErrIndexInOutOfRange);
    CEdit edit(this);
    if (!edit.prepare(len, len)) return;
    edit.text()[i] = u;
    edit.commit(len);
  });
}

void CZqlUcStr::Update(int i, unsigned short u) { updateUnit(i, u); }

void CZqlUcStr::Update(int i, int c) { updateUnit(i, ZqlUcMb2UcCCT(c, 0)); }

void CZqlUcStr::Update(int i, int c, const char* charset) {
  unsigned long id = 0;
  if (ZqlUcResolveCCT(charset, &id)) updateUnit(i, ZqlUcMb2UcCCT(c, id));
}

void CZqlUcStr::Update(int i, int c, unsigned long charset) {
  updateUnit(i, ZqlUcMb2UcCCT(c, charset));
}

void CZqlUcStr::Update(int i, const CZqlUcChar& ch) { updateUnit(i, ch.getUcChar()); }

void CZqlUcStr::Update(int i, const CZqlUcChar* ch) {
  ZqlEntryVoid([&] {
    if (ch == nullptr)
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    else
      updateUnit(i, ch->getUcChar());
  });
}

void CZqlUcStr::mapUnits(unsigned short (*map)(unsigned short)) {
  ZqlEntryVoid([&] {
    if (body_ == nullptr) return;
    const int len = body_->length;
    CEdit edit(this);
    if (!edit.prepare(len, len)) return;
    unsigned short* text = edit.text();
    for (int i = 0; i < len; ++i) text[i] = map(text[i]);
    edit.commit(len);
  });
}

void CZqlUcStr::toLower() { mapUnits(ZqlUcToLower); }

void CZqlUcStr::toUpper() { mapUnits(ZqlUcToUpper); }

int CZqlUcStr::Sprintf(const unsigned short* /*format*/, ...) { return 0; }

// ---------------------------------------------------------------------------
// Searching
// ---------------------------------------------------------------------------

int CZqlUcStr::find(const CZqlUcStr& pattern, bool last) const {
  return ZqlUcSearch(UcStr(), Length(), pattern.UcStr(), pattern.Length(), last);
}

int CZqlUcStr::findChars(const char* text, unsigned long table, bool last) const {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (text == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    CZqlUcStr pattern;
    pattern.copyChars(text, -1, table);  // raises on exhaustion
    return find(pattern, last);
  });
}

int CZqlUcStr::findUnit(unsigned short u, bool last) const {
  const unsigned short* text = UcStr();
  const int len = Length();
  if (last) {
    for (int i = len; i >= 0; --i)
      if (text[i] == u) return i;
  } else {
    for (int i = 0; i <= len; ++i)
      if (text[i] == u) return i;
  }
  return -1;
}

int CZqlUcStr::FindFirst(const char* text) const { return findChars(text, 0, false); }

int CZqlUcStr::FindFirst(const char* text, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? findChars(text, id, false) : -1;
}

int CZqlUcStr::FindFirst(const char* text, unsigned long charset) const {
  return findChars(text, charset, false);
}

int CZqlUcStr::FindFirst(const unsigned short* text) const {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (text == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return ZqlUcSearch(UcStr(), Length(), text, ZqlUcStrlen(text), false);
  });
}

int CZqlUcStr::FindFirst(const CZqlUcStr& other) const { return find(other, false); }

int CZqlUcStr::FindFirst(const CZqlUcStr* other) const {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (other == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return find(*other, false);
  });
}

int CZqlUcStr::FindLast(const char* text) const { return findChars(text, 0, true); }

int CZqlUcStr::FindLast(const char* text, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? findChars(text, id, true) : -1;
}

int CZqlUcStr::FindLast(const char* text, unsigned long charset) const {
  return findChars(text, charset, true);
}

int CZqlUcStr::FindLast(const unsigned short* text) const {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (text == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return ZqlUcSearch(UcStr(), Length(), text, ZqlUcStrlen(text), true);
  });
}

int CZqlUcStr::FindLast(const CZqlUcStr& other) const { return find(other, true); }

int CZqlUcStr::FindLast(const CZqlUcStr* other) const {
  return ZqlEntry<int>(-1, [&]() -> int {
    if (other == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return find(*other, true);
  });
}

int CZqlUcStr::FindFirst(int c) const { return findUnit(ZqlUcMb2UcCCT(c, 0), false); }

int CZqlUcStr::FindFirst(int c, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? findUnit(ZqlUcMb2UcCCT(c, id), false) : -1;
}

int CZqlUcStr::FindFirst(int c, unsigned long charset) const {
  return findUnit(ZqlUcMb2UcCCT(c, charset), false);
}

int CZqlUcStr::FindFirst(unsigned short u) const { return findUnit(u, false); }

int CZqlUcStr::FindFirst(const CZqlUcChar& ch) const { return findUnit(ch.getUcChar(), false); }

int CZqlUcStr::FindFirst(const CZqlUcChar* ch) const {
  return ch != nullptr ? findUnit(ch->getUcChar(), false) : -1;
}

int CZqlUcStr::FindLast(int c) const { return findUnit(ZqlUcMb2UcCCT(c, 0), true); }

int CZqlUcStr::FindLast(int c, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? findUnit(ZqlUcMb2UcCCT(c, id), true) : -1;
}

int CZqlUcStr::FindLast(int c, unsigned long charset) const {
  return findUnit(ZqlUcMb2UcCCT(c, charset), true);
}

int CZqlUcStr::FindLast(unsigned short u) const { return findUnit(u, true); }

int CZqlUcStr::FindLast(const CZqlUcChar& ch) const { return findUnit(ch.getUcChar(), true); }

int CZqlUcStr::FindLast(const CZqlUcChar* ch) const {
  return ch != nullptr ? findUnit(ch->getUcChar(), true) : -1;
}

// ---------------------------------------------------------------------------
// Comparing
// ---------------------------------------------------------------------------

int CZqlUcStr::compUnits(const unsigned short* text, int n, bool upper) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr) return body_ == nullptr ? 0 : 1;
    if (body_ == nullptr) return -1;
    if (n == 0) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return ZqlUcCompareUnits(body_->text, text, n, upper);
  });
}

int CZqlUcStr::compChars(const char* text, int n, unsigned long table, bool upper) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (text == nullptr) return body_ == nullptr ? 0 : 1;
    if (body_ == nullptr) return -1;
    if (n == 0) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return ZqlUcCompareWith(body_->text, n, upper,
                            [&](int) { return ZqlUcCh2UcMoveCCT(&text, table); });
  });
}

int CZqlUcStr::Comp(const char* text) const { return compChars(text, -1, 0, false); }

int CZqlUcStr::Comp(const char* text, const char* charset) const {
  return Comp(text, -1, charset);
}

int CZqlUcStr::Comp(const char* text, unsigned long charset) const {
  return compChars(text, -1, charset, false);
}

int CZqlUcStr::Comp(const char* text, int n) const { return compChars(text, n, 0, false); }

int CZqlUcStr::Comp(const char* text, int n, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? compChars(text, n, id, false) : 0;
}

int CZqlUcStr::Comp(const char* text, int n, unsigned long charset) const {
  return compChars(text, n, charset, false);
}

int CZqlUcStr::Comp(const unsigned short* text) const { return compUnits(text, -1, false); }

int CZqlUcStr::Comp(const unsigned short* text, int n) const {
  return compUnits(text, n, false);
}

int CZqlUcStr::Comp(const CZqlUcStr& other) const { return Comp(other, -1); }

int CZqlUcStr::Comp(const CZqlUcStr* other) const { return Comp(other, -1); }

int CZqlUcStr::Comp(const CZqlUcStr& other, int n) const {
  // An empty string on the other side counts as a null text.
  return compUnits(other.body_ != nullptr ? other.body_->text : nullptr, n, false);
}

int CZqlUcStr::Comp(const CZqlUcStr* other, int n) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (other == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return Comp(*other, n);
  });
}

int CZqlUcStr::Compi(const char* text) const { return compChars(text, -1, 0, true); }

int CZqlUcStr::Compi(const char* text, const char* charset) const {
  return Compi(text, -1, charset);
}

int CZqlUcStr::Compi(const char* text, unsigned long charset) const {
  return compChars(text, -1, charset, true);
}

int CZqlUcStr::Compi(const char* text, int n) const { return compChars(text, n, 0, true); }

int CZqlUcStr::Compi(const char* text, int n, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? compChars(text, n, id, true) : 0;
}

int CZqlUcStr::Compi(const char* text, int n, unsigned long charset) const {
  return compChars(text, n, charset, true);
}

int CZqlUcStr::Compi(const unsigned short* text) const { return compUnits(text, -1, true); }

int CZqlUcStr::Compi(const unsigned short* text, int n) const {
  return compUnits(text, n, true);
}

int CZqlUcStr::Compi(const CZqlUcStr& other) const { return Compi(other, -1); }

int CZqlUcStr::Compi(const CZqlUcStr* other) const { return Compi(other, -1); }

int CZqlUcStr::Compi(const CZqlUcStr& other, int n) const {
  return compUnits(other.body_ != nullptr ? other.body_->text : nullptr, n, true);
}

int CZqlUcStr::Compi(const CZqlUcStr* other, int n) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (other == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return Compi(*other, n);
  });
}

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

double CZqlUcStr::Atof() const { return ZqlUcAtof(UcStr()); }

int CZqlUcStr::Atoi() const { return ZqlUcAtoi(UcStr()); }

long CZqlUcStr::Atol() const { return ZqlUcAtol(UcStr()); }

double CZqlUcStr::Strtod(int* end) const {
  const unsigned short* stop = nullptr;
  const double v = ZqlUcStrtod(UcStr(), &stop);
  if (end != nullptr) *end = static_cast<int>(stop - UcStr());
  return v;
}

long CZqlUcStr::Strtol(int* end, int base) const {
  const unsigned short* stop = nullptr;
  const long v = ZqlUcStrtol(UcStr(), &stop, base);
  if (end != nullptr) *end = static_cast<int>(stop - UcStr());
  return v;
}
