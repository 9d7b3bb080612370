// ucpt.cpp - character properties: classification, case mapping, digit
// normalisation and composition of units.
//
// With property tables installed every function answers from them. Without
// (the state until tables are loaded), the C library classifies and maps
// the units below 0x100 in the "C" locale; units above are in no class and
// keep their case, since their low byte says nothing about them.

#include <ctype.h>

#include <cstring>
#include <vector>

#include "ucdefs.h"
#include "zqlucode.h"
#include "zqlxmf.h"

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

// ---------------------------------------------------------------------------
// Loading the property tables from set 2 of zqlloc.xmx
// ---------------------------------------------------------------------------

namespace {

constexpr int kPropertySet = 2;
constexpr int kClassRowUnits = 17;  // row number and 16 words
constexpr int kMapRowUnits = 257;   // row number and 256 units

// The loaded tables with the memory behind them.
struct SZqlUcLoadedCPT {
  SZqlUcPropTables tables;
  const unsigned short* classRows[kZqlUcClassCount][256];
  const unsigned short* mapRows[2][256];
  unsigned short* composition;
  std::vector<unsigned short*> blocks;  // every row, for freeing
};

SZqlUcLoadedCPT* gLoadedCPT = nullptr;

void FreeLoaded(SZqlUcLoadedCPT* l) {
  if (l == nullptr) return;
  for (unsigned short* b : l->blocks) ZqlMemoryFree(b);
  ZqlMemoryFree(l->composition);
  delete l;
}

// Reads the property messages one after another.
class CPropertyReader {
 public:
  explicit CPropertyReader(CZqlXmfUtil& x) : x_(x) {}

  // The next message: its units (when it is a unit text) or null for the
  // end mark; anything else raises "internal ZQL error".
  const unsigned short* Next(int* units) {
    int length = 0;
    const char* text = x_.XmsgIntr(kPropertySet, number_++, &length);
    if (x_.XmfLastType() == kZqlXmfTypeUnits) {
      *units = length;
      return reinterpret_cast<const unsigned short*>(text);
    }
    if (length != 1 || static_cast<unsigned char>(text[0]) != 0xFF) ZQL_RAISE(kZqlErrInternalZQLError);
    return nullptr;
  }

 private:
  CZqlXmfUtil& x_;
  int number_ = 3;
};

// A run of rows of `units` units each into rows[256]; the first unit of a
// row is its number, the rest its data.
void ReadRows(CPropertyReader& r, SZqlUcLoadedCPT* l, int units,
              const unsigned short** rows) {
  int n = 0;
  while (const unsigned short* text = r.Next(&n)) {
    unsigned short first = 0;
    std::memcpy(&first, text, sizeof first);
    if (n != units || first > 0xFF) ZQL_RAISE(kZqlErrInternalZQLError);
    auto* row = static_cast<unsigned short*>(ZqlMemoryMalloc(sizeof(unsigned short) * (units - 1)));
    l->blocks.push_back(row);
    std::memcpy(row, text + 1, sizeof(unsigned short) * static_cast<unsigned>(units - 1));
    rows[first] = row;
  }
}

// The composition entries over messages up to the end mark; each entry is
// checked so that the lookups never run past the table's terminator.
void ReadComposition(CPropertyReader& r, SZqlUcLoadedCPT* l) {
  std::vector<unsigned short> all;
  int n = 0;
  while (const unsigned short* text = r.Next(&n)) {
    const std::size_t at = all.size();
    all.resize(at + static_cast<std::size_t>(n));
    std::memcpy(all.data() + at, text, sizeof(unsigned short) * static_cast<unsigned>(n));
  }
  for (std::size_t i = 0; i < all.size(); i += all[i] + 2u)
    if (all[i] == 0 || i + all[i] + 2u > all.size()) ZQL_RAISE(kZqlErrInternalZQLError);
  l->composition = static_cast<unsigned short*>(
      ZqlMemoryMalloc(sizeof(unsigned short) * (all.size() + 1)));
  std::memcpy(l->composition, all.data(), sizeof(unsigned short) * all.size());
  l->composition[all.size()] = 0;
}

}  // namespace

int ZqlUcLoadCPT() {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlXmfUtil* x = ZqlGetXmxObj();
    if (x == nullptr || !x->XmfAlive()) ZQL_RAISE(kZqlErrInternalZQLError);
    auto* l = new SZqlUcLoadedCPT();
    const int ok = ZqlTry([&] {
      CPropertyReader r(*x);
      for (int c = 0; c < kZqlUcClassCount; ++c) {
        ReadRows(r, l, kClassRowUnits, l->classRows[c]);
        l->tables.classes[c] = l->classRows[c];
      }
      for (int m = 0; m < 2; ++m) {
        ReadRows(r, l, kMapRowUnits, l->mapRows[m]);
        l->tables.maps[m] = l->mapRows[m];
      }
      ReadComposition(r, l);
      l->tables.composition = l->composition;
    });
    if (!ok) {
      const int code = ZqlTryCode();
      FreeLoaded(l);
      // A lookup past a set's end is a malformed run as much as a bad row.
      ZQL_RAISE(code == kZqlErrInsufficientMemory ? code : kZqlErrInternalZQLError);
    }
    ZqlUcTermCPT();
    gLoadedCPT = l;
    ZqlUcInstallCPT(&l->tables);
    return 1;
  });
}

void ZqlUcTermCPT() {
  ZqlUcInstallCPT(nullptr);
  FreeLoaded(gLoadedCPT);
  gLoadedCPT = nullptr;
}
