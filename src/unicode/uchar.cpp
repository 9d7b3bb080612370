// uchar.cpp - CZqlUcChar: one 16-bit unit with the character-set mappings,
// properties and comparisons of the Unicode text.

#include <new>

#include "ucdefs.h"
#include "zqlsys.h"
#include "zqltry.h"
#include "zqlucode.h"

void CZqlUcChar::setChar(int c, const char* charset) {
  unsigned long id = 0;
  if (ZqlUcResolveCCT(charset, &id)) unit_ = ZqlUcMb2UcCCT(c, id);
}

CZqlUcChar& CZqlUcChar::operator=(char c) {
  unit_ = ZqlUcMb2UcCCT(static_cast<unsigned char>(c), 0);
  return *this;
}

int CZqlUcChar::getChar() const { return ZqlUcUc2MbCCT(unit_, 0); }

int CZqlUcChar::getChar(unsigned long charset) const { return ZqlUcUc2MbCCT(unit_, charset); }

int CZqlUcChar::getChar(const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? ZqlUcUc2MbCCT(unit_, id) : -1;
}

int CZqlUcChar::isUpper() const { return ZqlUcIsUpper(unit_); }
int CZqlUcChar::isLower() const { return ZqlUcIsLower(unit_); }
int CZqlUcChar::isAlpha() const { return ZqlUcIsAlpha(unit_); }
int CZqlUcChar::isDigit() const { return ZqlUcIsDigit(unit_); }
int CZqlUcChar::isXdigit() const { return ZqlUcIsXdigit(unit_); }
int CZqlUcChar::isSpace() const { return ZqlUcIsSpace(unit_); }
int CZqlUcChar::isPunct() const { return ZqlUcIsPunct(unit_); }
int CZqlUcChar::isAlnum() const { return ZqlUcIsAlnum(unit_); }
int CZqlUcChar::isGraph() const { return ZqlUcIsGraph(unit_); }
int CZqlUcChar::isPrint() const { return ZqlUcIsPrint(unit_); }
int CZqlUcChar::isCntrl() const { return ZqlUcIsCntrl(unit_); }

void CZqlUcChar::setUpper() { unit_ = ZqlUcToUpper(unit_); }
void CZqlUcChar::setLower() { unit_ = ZqlUcToLower(unit_); }
CZqlUcChar CZqlUcChar::Upper() const { return CZqlUcChar(ZqlUcToUpper(unit_)); }
CZqlUcChar CZqlUcChar::Lower() const { return CZqlUcChar(ZqlUcToLower(unit_)); }

int CZqlUcChar::Comp(int c) const { return Comp(ZqlUcMb2UcCCT(c, 0)); }

int CZqlUcChar::Comp(int c, unsigned long charset) const {
  return Comp(ZqlUcMb2UcCCT(c, charset));
}

int CZqlUcChar::Comp(int c, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? Comp(ZqlUcMb2UcCCT(c, id)) : 0;
}

int CZqlUcChar::Comp(unsigned short u) const {
  return static_cast<int>(unit_) - static_cast<int>(u);
}

int CZqlUcChar::Comp(const CZqlUcChar& ch) const { return Comp(ch.unit_); }

int CZqlUcChar::Comp(const CZqlUcChar* ch) const { return ch != nullptr ? Comp(ch->unit_) : 0; }

int CZqlUcChar::Compi(int c) const { return Compi(ZqlUcMb2UcCCT(c, 0)); }

int CZqlUcChar::Compi(int c, unsigned long charset) const {
  return Compi(ZqlUcMb2UcCCT(c, charset));
}

int CZqlUcChar::Compi(int c, const char* charset) const {
  unsigned long id = 0;
  return ZqlUcResolveCCT(charset, &id) ? Compi(ZqlUcMb2UcCCT(c, id)) : 0;
}

int CZqlUcChar::Compi(unsigned short u) const {
  return static_cast<int>(ZqlUcToUpper(unit_)) - static_cast<int>(ZqlUcToUpper(u));
}

int CZqlUcChar::Compi(const CZqlUcChar& ch) const { return Compi(ch.unit_); }

int CZqlUcChar::Compi(const CZqlUcChar* ch) const {
  return ch != nullptr ? Compi(ch->unit_) : 0;
}

void* CZqlUcChar::operator new(std::size_t n) {
  void* p = ZqlMemoryMalloc(n);  // raises into an open frame or handler
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* CZqlUcChar::operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return ZqlMemoryNblkMalloc(n);
}

void CZqlUcChar::operator delete(void* p) noexcept { ZqlMemoryFree(p); }

void CZqlUcChar::operator delete(void* p, const std::nothrow_t&) noexcept { ZqlMemoryFree(p); }
