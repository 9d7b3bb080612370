// umisc.cpp - free functions over zero-terminated arrays of 16-bit units:
// length, copy, comparison, search, case mapping and number conversion.

#include <locale.h>
#include <stdlib.h>

#include <algorithm>

#include "ucdefs.h"
#include "zqltry.h"
#include "zqlucode.h"

namespace {

// Number text: at most this many bytes of the default-set conversion.
constexpr int kNumberBytes = 63;

// The first kNumberBytes bytes of s in the default set, terminated.
void NumberText(const unsigned short* s, char (&buf)[kNumberBytes + 1]) {
  const int n = ZqlUcUc2ChCCT(buf, kNumberBytes, s, -1, 0);
  buf[n] = 0;
}

// The number of units of s whose 8-bit form lies within its first `bytes`
// bytes: the unit index matching a byte offset into NumberText(s).
int UnitsWithin(const unsigned short* s, int bytes) {
  int i = 0;
  for (int used = 0; s[i] != 0; ++i) {
    used += ZqlUcUc2ChLenCCT(s + i, 1, 0);
    if (used > bytes) break;
  }
  return i;
}

// Calls strtod or strtol (in the "C" locale) on the number text of s and
// stores the end in *end.
double ToDouble(const unsigned short* s, const unsigned short** end) {
  if (s == nullptr) {
    if (end != nullptr) *end = s;
    return 0.0;
  }
  char buf[kNumberBytes + 1];
  NumberText(s, buf);
  char* stop = buf;
  const locale_t l = ZqlUcCLocale();
  const double v = l != static_cast<locale_t>(0) ? strtod_l(buf, &stop, l) : strtod(buf, &stop);
  if (end != nullptr) *end = s + UnitsWithin(s, static_cast<int>(stop - buf));
  return v;
}

long ToLong(const unsigned short* s, const unsigned short** end, int base) {
  if (s == nullptr) {
    if (end != nullptr) *end = s;
    return 0;
  }
  char buf[kNumberBytes + 1];
  NumberText(s, buf);
  char* stop = buf;
  const locale_t l = ZqlUcCLocale();
  const long v =
      l != static_cast<locale_t>(0) ? strtol_l(buf, &stop, base, l) : strtol(buf, &stop, base);
  if (end != nullptr) *end = s + UnitsWithin(s, static_cast<int>(stop - buf));
  return v;
}

// Start of the character (a base unit and its marks) at s[i], its end in
// *next and its precomposed unit in *unit.
void CharAt(const unsigned short* s, int i, int* next, unsigned short* unit) {
  int j = i + 1;
  while (s[j] != 0 && ZqlUcIsNonSpace(s[j])) ++j;
  *unit = ZqlUcPreCompose(s + i, j - i);
  *next = j;
}

const unsigned short* FindChar(const unsigned short* s, unsigned short u, bool last) {
  if (s == nullptr) return nullptr;
  if (u == 0) return s + ZqlUcStrlen(s);
  const unsigned short* found = nullptr;
  for (int i = 0, next = 0; s[i] != 0; i = next) {
    unsigned short ch;
    CharAt(s, i, &next, &ch);
    if (ch != u) continue;
    found = s + i;
    if (!last) break;
  }
  return found;
}

const unsigned short* FindText(const unsigned short* s, const unsigned short* t, bool last) {
  if (s == nullptr || t == nullptr) return nullptr;
  const int L = ZqlUcStrlen(s);
  const int m = ZqlUcStrlen(t);
  if (m == 0) return s + L;
  const int i = ZqlUcSearch(s, L, t, m, last);
  return i < 0 ? nullptr : s + i;
}

// The comparisons of the C-style functions: null arguments and n < 1 are
// the caller's error.
int Compare(const unsigned short* a, const unsigned short* b, int n, bool upper) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (a == nullptr || b == nullptr || n == 0) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    return ZqlUcCompareUnits(a, b, n, upper);
  });
}

}  // namespace

locale_t ZqlUcCLocale() {
  // Created once and kept for the life of the process.
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

int ZqlUcSearch(const unsigned short* s, int L, const unsigned short* p, int m, bool last) {
  if (m <= 0) return L == 0 ? 0 : -1;
  // k: the first later position of p holding p[0]. After j matched units no
  // match can start before min(j, k) positions further on.
  int k = m;
  for (int j = 1; j < m; ++j) {
    if (p[j] == p[0]) {
      k = j;
      break;
    }
  }
  int found = -1;
  for (int i = 0; i < L;) {
    int j = 0;
    while (j < m && i + j < L && p[j] == s[i + j]) ++j;
    if (j == m) {
      if (!last) return i;
      found = i;
    }
    i += j == 0 ? 1 : std::min(j, k);
  }
  return found;
}

int ZqlUcCompareUnits(const unsigned short* a, const unsigned short* b, int n, bool upper) {
  return ZqlUcCompareWith(a, n, upper, [b](int i) { return b[i]; });
}

int ZqlUcStrlen(const unsigned short* s) {
  if (s == nullptr) return 0;
  int n = 0;
  while (s[n] != 0) ++n;
  return n;
}

int ZqlUcStrsize(const unsigned short* s) { return 4 * ZqlUcStrlen(s); }

unsigned short* ZqlUcStrcpy(unsigned short* d, const unsigned short* s) {
  if (d == nullptr || s == nullptr) return d;
  int i = 0;
  for (; s[i] != 0; ++i) d[i] = s[i];
  d[i] = 0;
  return d;
}

unsigned short* ZqlUcStrncpy(unsigned short* d, const unsigned short* s, int n) {
  if (d == nullptr || s == nullptr) return d;
  int i = 0;
  for (; i < n && s[i] != 0; ++i) d[i] = s[i];
  if (i < n) d[i] = 0;  // terminated only while room is left
  return d;
}

unsigned short* ZqlUcStrcat(unsigned short* d, const unsigned short* s) {
  if (d != nullptr) ZqlUcStrcpy(d + ZqlUcStrlen(d), s);
  return d;
}

unsigned short* ZqlUcStrncat(unsigned short* d, const unsigned short* s, int n) {
  if (d == nullptr || s == nullptr) return d;
  unsigned short* end = d + ZqlUcStrlen(d);
  int i = 0;
  for (; i < n && s[i] != 0; ++i) end[i] = s[i];
  end[i] = 0;
  return d;
}

int ZqlUcStrcmp(const unsigned short* a, const unsigned short* b) {
  return Compare(a, b, -1, false);
}

int ZqlUcStrncmp(const unsigned short* a, const unsigned short* b, int n) {
  return Compare(a, b, n < 1 ? 0 : n, false);
}

int ZqlUcStricmp(const unsigned short* a, const unsigned short* b) {
  return Compare(a, b, -1, true);
}

int ZqlUcStrnicmp(const unsigned short* a, const unsigned short* b, int n) {
  return Compare(a, b, n < 1 ? 0 : n, true);
}

int ZqlUcCmpUCandUC(const unsigned short* a, const unsigned short* b) {
  return Compare(a, b, -1, false);
}

const unsigned short* ZqlUcStrstr(const unsigned short* s, const unsigned short* t) {
  return FindText(s, t, false);
}

const unsigned short* ZqlUcStrrstr(const unsigned short* s, const unsigned short* t) {
  return FindText(s, t, true);
}

const unsigned short* ZqlUcStrchr(const unsigned short* s, unsigned short u) {
  return FindChar(s, u, false);
}

const unsigned short* ZqlUcStrrchr(const unsigned short* s, unsigned short u) {
  return FindChar(s, u, true);
}

unsigned short* ZqlUcStrLower(unsigned short* s) {
  for (unsigned short* p = s; p != nullptr && *p != 0; ++p) *p = ZqlUcToLower(*p);
  return s;
}

unsigned short* ZqlUcStrUpper(unsigned short* s) {
  for (unsigned short* p = s; p != nullptr && *p != 0; ++p) *p = ZqlUcToUpper(*p);
  return s;
}

int ZqlUcStrchln(const unsigned short* s, const char* charset) {
  unsigned long id = 0;
  if (!ZqlUcResolveCCT(charset, &id)) return 0;
  return ZqlUcUc2ChLenCCT(s, -1, id);
}

int ZqlUcStrchlnIdCCT(const unsigned short* s, unsigned long charset) {
  return ZqlUcUc2ChLenCCT(s, -1, charset);
}

double ZqlUcAtof(const unsigned short* s) { return ToDouble(s, nullptr); }

int ZqlUcAtoi(const unsigned short* s) { return static_cast<int>(ToLong(s, nullptr, 10)); }

long ZqlUcAtol(const unsigned short* s) { return ToLong(s, nullptr, 10); }

double ZqlUcStrtod(const unsigned short* s, const unsigned short** end) {
  return ToDouble(s, end);
}

long ZqlUcStrtol(const unsigned short* s, const unsigned short** end, int base) {
  return ToLong(s, end, base);
}

int ZqlUcSprintf(unsigned short* /*buf*/, const unsigned short* /*format*/, ...) { return 0; }
