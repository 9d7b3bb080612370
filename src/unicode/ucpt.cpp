// ucpt.cpp - character properties: classification, case mapping, digit
// normalisation and composition of units.
//
// With property tables installed every function answers from them. Without
// (the state until tables are loaded), the C library classifies and maps
// the units below 0x100 in the "C" locale; units above are in no class and
// keep their case, since their low byte says nothing about them.

#include <ctype.h>

#include "ucdefs.h"
#include "zqlucode.h"

namespace {

const SZqlUcPropTables* gProps = nullptr;  // borrowed; null: C library

// The C library tests used when no tables are installed.
enum ECTest { kCUpper, kCLower, kCAlpha, kCDigit, kCXdigit, kCSpace, kCPunct, kCAlnum, kCGraph,
              kCPrint, kCCntrl };

int CTestWith(ECTest test, int c, locale_t l) {
  switch (test) {
    case kCUpper: return isupper_l(c, l);
    case kCLower: return islower_l(c, l);
    case kCAlpha: return isalpha_l(c, l);
    case kCDigit: return isdigit_l(c, l);
    case kCXdigit: return isxdigit_l(c, l);
    case kCSpace: return isspace_l(c, l);
    case kCPunct: return ispunct_l(c, l);
    case kCAlnum: return isalnum_l(c, l);
    case kCGraph: return isgraph_l(c, l);
    case kCPrint: return isprint_l(c, l);
    case kCCntrl: return iscntrl_l(c, l);
  }
  return 0;
}

// The C library's answer for u: 1 or 0.
int CTest(ECTest test, unsigned short u) {
  if (u > 0xFF) return 0;
  const locale_t l = ZqlUcCLocale();
  if (l == static_cast<locale_t>(0)) return 0;  // no "C" locale: nothing classifies
  return CTestWith(test, u, l) != 0 ? 1 : 0;
}

int In(EZqlUcClass c, unsigned short u) { return ZqlUcClassBit(gProps->classes[c], u); }

// u through map (256 rows of 256 units); a missing row or a zero entry keeps u.
unsigned short Map(const unsigned short* const* map, unsigned short u) {
  const unsigned short* row = map != nullptr ? map[u >> 8] : nullptr;
  if (row == nullptr || row[u & 0xFF] == 0) return u;
  return row[u & 0xFF];
}

// The composition entry whose sequence is seq (n units), or null.
const unsigned short* FindComposition(const unsigned short* seq, int n) {
  const unsigned short* e = gProps != nullptr ? gProps->composition : nullptr;
  for (; e != nullptr && e[0] != 0; e += e[0] + 2) {
    if (e[0] != n) continue;
    int k = 0;
    while (k < n && e[1 + k] == seq[k]) ++k;
    if (k == n) return e;
  }
  return nullptr;
}

// The composition entry whose result is u, or null.
const unsigned short* FindDecomposition(unsigned short u) {
  const unsigned short* e = gProps != nullptr ? gProps->composition : nullptr;
  for (; e != nullptr && e[0] != 0; e += e[0] + 2)
    if (e[e[0] + 1] == u) return e;
  return nullptr;
}

}  // namespace

void ZqlUcInstallCPT(const SZqlUcPropTables* tables) { gProps = tables; }

int ZqlUcClassBit(ZqlUcClassTable table, unsigned short u) {
  const unsigned short* row = table != nullptr ? table[u >> 8] : nullptr;
  if (row == nullptr) return 0;
  return (row[(u >> 4) & 15] & (0x8000u >> (u & 15))) != 0 ? 1 : 0;
}

int ZqlUcIsUpper(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassUpper, u) : CTest(kCUpper, u);
}

int ZqlUcIsLower(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassLower, u) : CTest(kCLower, u);
}

int ZqlUcIsAlpha(unsigned short u) {
  if (gProps == nullptr) return CTest(kCAlpha, u);
  return In(kZqlUcClassUpper, u) | In(kZqlUcClassLower, u) | In(kZqlUcClassAlpha, u);
}

int ZqlUcIsDigit(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassDigit, u) : CTest(kCDigit, u);
}

int ZqlUcIsXdigit(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassXdigit, u) : CTest(kCXdigit, u);
}

int ZqlUcIsSpace(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassSpace, u) : CTest(kCSpace, u);
}

int ZqlUcIsPunct(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassPunct, u) : CTest(kCPunct, u);
}

int ZqlUcIsAlnum(unsigned short u) {
  if (gProps == nullptr) return CTest(kCAlnum, u);
  return ZqlUcIsAlpha(u) | In(kZqlUcClassDigit, u);
}

// Graphic: letters, digits, punctuation and the marks drawn on them.
int ZqlUcIsGraph(unsigned short u) {
  if (gProps == nullptr) return CTest(kCGraph, u);
  return ZqlUcIsAlnum(u) | In(kZqlUcClassPunct, u) | In(kZqlUcClassNonSpace, u);
}

// Printable: graphic or a blank that is not a control (as ' ' in C).
int ZqlUcIsPrint(unsigned short u) {
  if (gProps == nullptr) return CTest(kCPrint, u);
  return ZqlUcIsGraph(u) | (In(kZqlUcClassSpace, u) & (In(kZqlUcClassCntrl, u) ^ 1));
}

int ZqlUcIsCntrl(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassCntrl, u) : CTest(kCCntrl, u);
}

int ZqlUcIsNonSpace(unsigned short u) {
  return gProps != nullptr ? In(kZqlUcClassNonSpace, u) : 0;
}

unsigned short ZqlUcToUpper(unsigned short u) {
  if (gProps != nullptr) return In(kZqlUcClassLower, u) ? Map(gProps->maps[0], u) : u;
  const locale_t l = ZqlUcCLocale();
  if (u > 0xFF || l == static_cast<locale_t>(0)) return u;
  return static_cast<unsigned short>(toupper_l(u, l));
}

unsigned short ZqlUcToLower(unsigned short u) {
  if (gProps != nullptr) return In(kZqlUcClassUpper, u) ? Map(gProps->maps[0], u) : u;
  const locale_t l = ZqlUcCLocale();
  if (u > 0xFF || l == static_cast<locale_t>(0)) return u;
  return static_cast<unsigned short>(tolower_l(u, l));
}

unsigned short ZqlUcPreCompose(const unsigned short* seq, int n) {
  if (seq == nullptr || n < 1) return 0;
  if (n == 1) return seq[0];
  const unsigned short* e = FindComposition(seq, n);
  return e != nullptr ? e[n + 1] : seq[0];
}

int ZqlUcDeCompose(unsigned short u, unsigned short* out, int size) {
  if (out == nullptr) return 0;
  const unsigned short* e = FindDecomposition(u);
  const int n = e != nullptr ? e[0] : 1;
  if (size < n) return 0;
  if (e == nullptr) {
    out[0] = u;
    return 1;
  }
  for (int k = 0; k < n; ++k) out[k] = e[1 + k];
  return n;
}

// Decimal digits come in runs of ten starting at zero (runs may touch), so
// the value of a digit is its distance from the start of its run, modulo 10.
unsigned short ZqlUcNormDigit(unsigned short u) {
  if (gProps == nullptr || u < 0x80 || !In(kZqlUcClassDigit, u)) return u;
  unsigned short zero = u;
  while (zero > 0 && u - zero < 0x100 &&
         In(kZqlUcClassDigit, static_cast<unsigned short>(zero - 1)))
    --zero;
  return static_cast<unsigned short>('0' + (u - zero) % 10);
}
