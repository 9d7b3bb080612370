// uclt.cpp - collations: the built-in "unicode" order, collations loaded
// from their definition files, weights with multi-character entries, and
// the comparisons under a collation.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ucdefs.h"
#include "ucload.h"
#include "zqlconf.h"
#include "zqldiag.h"
#include "zqlucode.h"
#include "zqlxmf.h"

// A collation table; its address is the collation's identifier.
struct SZqlUcCollation {
  SZqlUcCollation* next;  // next loaded table
  // Indexed by the high byte of a unit, then by its low byte: the weight; a
  // null row means that the unit is its own weight.
  unsigned short* rows[256];
  int count;  // multi-character entries
  // The source sequence and the weight sequence of each entry (zero-
  // terminated, pointing into buffer), longest source first.
  const unsigned short** sources;
  const unsigned short** weights;
  unsigned short* buffer;
  char* name;  // as asked for; compared without regard to case
};

namespace {

constexpr const char* kUnicodeName = "unicode";
constexpr const char* kSection = "Collations";
constexpr int kErrorSet = 7;  // zqlloc.xmx: character-set and collation errors
constexpr int kDefinitionSet = 1;
constexpr int kRowUnits = 257;
constexpr unsigned short kBlank = 0x20;

char gUnicodeName[] = "unicode";
SZqlUcCollation gUnicode = {nullptr, {}, 0, nullptr, nullptr, nullptr, gUnicodeName};
SZqlUcCollation* gDefault = &gUnicode;
SZqlUcCollation* gLoaded = nullptr;  // newest first

// The table of an identifier: null for 0 (code units), else a table that is
// loaded now. A stale or foreign identifier raises "invalid function
// arguments" instead of being followed.
const SZqlUcCollation* TableOf(unsigned long id, bool* ok) {
  return ZqlEntry<const SZqlUcCollation*>(nullptr, [&]() -> const SZqlUcCollation* {
    *ok = true;
    if (id == 0) return nullptr;
    const auto* t = reinterpret_cast<const SZqlUcCollation*>(id);
    if (t == &gUnicode) return t;
    for (const SZqlUcCollation* l = gLoaded; l != nullptr; l = l->next)
      if (l == t) return t;
    *ok = false;
    ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  });
}

unsigned short RowWeight(const SZqlUcCollation* t, unsigned short u) {
  const unsigned short* row = t->rows[u >> 8];
  return row != nullptr ? row[u & 0xFF] : u;
}

int Length(const unsigned short* s) {
  int n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// The weights of a text one after another: at each position the longest
// multi-character entry whose source starts there gives its weights, any
// other unit its row weight. Works as a stream, so no entry is ever split.
class CWeights {
 public:
  CWeights(const SZqlUcCollation* t, const unsigned short* s) : t_(t), p_(s) {}

  bool Next(unsigned short* w) {
    for (;;) {
      if (pending_ != nullptr && *pending_ != 0) {
        *w = *pending_++;
        return true;
      }
      pending_ = nullptr;
      if (*p_ == 0) return false;
      if (!entry()) {
        *w = RowWeight(t_, *p_++);
        return true;
      }
    }
  }

 private:
  // Takes the entry at the current position; false when none matches.
  bool entry() {
    for (int i = 0; i < t_->count; ++i) {
      const unsigned short* src = t_->sources[i];
      int n = 0;
      while (src[n] != 0 && p_[n] == src[n]) ++n;
      if (src[n] != 0) continue;
      p_ += n;
      pending_ = t_->weights[i];
      return true;
    }
    return false;
  }

  const SZqlUcCollation* t_;
  const unsigned short* p_;
  const unsigned short* pending_ = nullptr;
};

// Weight-by-weight comparison of at most n weights (n < 0: all); with
// padded, a text that ends goes on as blanks.
int Compare(const SZqlUcCollation* t, const unsigned short* a, const unsigned short* b,
            bool padded, int n) {
  CWeights wa(t, a);
  CWeights wb(t, b);
  const unsigned short blank = RowWeight(t, kBlank);
  for (int i = 0; n < 0 || i < n; ++i) {
    unsigned short x = 0;
    unsigned short y = 0;
    const bool ha = wa.Next(&x);
    const bool hb = wb.Next(&y);
    if (!ha && !hb) return 0;
    if (!ha) {
      if (!padded) return -1;
      x = blank;
    }
    if (!hb) {
      if (!padded) return 1;
      y = blank;
    }
    if (x != y) return static_cast<int>(x) - static_cast<int>(y);
  }
  return 0;
}

// 8-bit text in a character set as units (empty when it cannot be had).
CZqlUcStr Units(const char* text, unsigned long charset) {
  CZqlUcStr s;
  s.Copy(text, charset);
  return s;
}

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

// Splits the multi-character entries (count pairs of zero-terminated unit
// strings filling exactly n units) into the table. False when malformed.
bool ReadEntries(SZqlUcCollation* t, const char* text, int n, int count) {
  t->buffer = static_cast<unsigned short*>(ZqlMemoryMalloc(sizeof(unsigned short) * (n + 1u)));
  t->sources = static_cast<const unsigned short**>(ZqlMemoryCalloc(count, sizeof(void*)));
  t->weights = static_cast<const unsigned short**>(ZqlMemoryCalloc(count, sizeof(void*)));
  if (t->buffer == nullptr || t->sources == nullptr || t->weights == nullptr) return false;
  std::memcpy(t->buffer, text, sizeof(unsigned short) * static_cast<unsigned>(n));
  t->buffer[n] = 0;
  int pos = 0;
  for (int i = 0; i < count; ++i) {
    const int src = pos;
    while (pos < n && t->buffer[pos] != 0) ++pos;
    if (pos >= n || pos == src) return false;  // no terminator, or no source
    const int w = ++pos;
    while (pos < n && t->buffer[pos] != 0) ++pos;
    if (pos >= n) return false;
    ++pos;
    t->sources[i] = t->buffer + src;
    t->weights[i] = t->buffer + w;
  }
  if (pos != n) return false;
  t->count = count;
  // The longest source wins where several start at one position.
  std::vector<int> order(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
    return Length(t->sources[x]) > Length(t->sources[y]);
  });
  std::vector<const unsigned short*> s(t->sources, t->sources + count);
  std::vector<const unsigned short*> wt(t->weights, t->weights + count);
  for (int i = 0; i < count; ++i) {
    t->sources[i] = s[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
    t->weights[i] = wt[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
  }
  return true;
}

// Reads set 1 of a collation definition file into t; false when its format
// is wrong. Lookups that fail raise, which the caller turns into the format
// error as well.
bool ReadDefinition(CZqlXmfUtil& x, SZqlUcCollation* t) {
  int length = 0;
  const char* text = x.XmsgIntr(kDefinitionSet, 3, &length);
  if (length < 1) return false;
  const int count = static_cast<unsigned char>(text[0]);
  int number = 4;
  for (;; ++number) {
    text = x.XmsgIntr(kDefinitionSet, number, &length);
    if (ZqlUcIsEndMark(x, text, length)) break;
    if (x.XmfLastType() != kZqlXmfTypeUnits || length != kRowUnits) return false;
    unsigned short row[kRowUnits];
    std::memcpy(row, text, sizeof row);
    if (row[0] > 0xFF || !ZqlUcNewCollationCode(t, row[0], row + 1)) return false;
  }
  if (count == 0) return true;
  text = x.XmsgIntr(kDefinitionSet, ++number, &length);
  if (x.XmfLastType() != kZqlXmfTypeUnits || !ReadEntries(t, text, length, count)) return false;
  text = x.XmsgIntr(kDefinitionSet, ++number, &length);
  return ZqlUcIsEndMark(x, text, length);
}

constexpr SZqlUcLoadCodes kLoadCodes = {kZqlErrCollationNameNotDefinedInZQLINIFile, kZqlErrCollationDefinitionFileNotFound,
                                    kZqlErrInvalidFormatOfTheCollationDefinitionFile};

SZqlUcCollation* LoadFile(const char* name, CZqlConfig* config) {
  return ZqlUcLoadDefinition<SZqlUcCollation>(kSection, name, config, kLoadCodes, ReadDefinition, ZqlUcFreeCLT,
                                  [](int code, const char* text) { ZqlUcCLTGenErrMsg(code, text); });
}

// The built-in text of a loading error, and its message in zqlloc.xmx.
const char* BuiltInText(int code, int* number) {
  switch (code) {
    case kZqlErrCollationNameNotDefinedInZQLINIFile:
      *number = 5;
      return "collation name %s not defined in ZQL.INI file";
    case kZqlErrCollationDefinitionFileNotFound:
      *number = 6;
      return "collation definition file %s not found";
    case kZqlErrInvalidFormatOfTheCollationDefinitionFile:
      *number = 7;
      return "invalid format of the collation definition file %s";
    default:
      *number = 0;
      return nullptr;
  }
}

// A message text from a file becomes a format only when its one conversion
// is the expected "%s"; anything else could read arguments that are not
// there.
bool SafeFormat(const char* f) {
  int conversions = 0;
  for (const char* p = f; *p != '\0'; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      ++p;
      continue;
    }
    if (p[1] != 's') return false;
    ++conversions;
    ++p;
  }
  return conversions == 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tables and names
// ---------------------------------------------------------------------------

int ZqlUcNewCollationCode(SZqlUcCollation* table, int row, const unsigned short* weights) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (table == nullptr || weights == nullptr || row < 0 || row > 0xFF || table == &gUnicode)
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    unsigned short* r = table->rows[row];
    if (r == nullptr) {
      r = static_cast<unsigned short*>(ZqlMemoryMalloc(256 * sizeof(unsigned short)));
      if (r == nullptr) return 0;
      table->rows[row] = r;
    }
    std::memcpy(r, weights, 256 * sizeof(unsigned short));
    return 1;
  });
}

void ZqlUcFreeCLT(SZqlUcCollation* table) {
  if (table == nullptr || table == &gUnicode) return;
  for (SZqlUcCollation** l = &gLoaded; *l != nullptr; l = &(*l)->next) {
    if (*l == table) {
      *l = table->next;
      break;
    }
  }
  if (gDefault == table) gDefault = &gUnicode;
  for (unsigned short* row : table->rows) ZqlMemoryFree(row);
  ZqlMemoryFree(table->sources);
  ZqlMemoryFree(table->weights);
  ZqlMemoryFree(table->buffer);
  ZqlMemoryFree(table->name);
  ZqlMemoryFree(table);
}

const SZqlUcCollation* ZqlUcLoadCLT(const char* name, CZqlConfig* config) {
  return ZqlEntry<const SZqlUcCollation*>(nullptr, [&]() -> const SZqlUcCollation* {
    if (name == nullptr || *name == '\0') return gDefault;
    if (ZqlUcSameName(name, kUnicodeName)) return &gUnicode;
    for (const SZqlUcCollation* t = gLoaded; t != nullptr; t = t->next)
      if (ZqlUcSameName(name, t->name)) return t;
    SZqlUcCollation* t = LoadFile(name, config);
    if (t == nullptr) return nullptr;
    t->next = gLoaded;
    gLoaded = t;
    return t;
  });
}

unsigned long ZqlUcLoadDefaultCLT(const char* name, CZqlConfig* config) {
  return ZqlEntry<unsigned long>(0, [&]() -> unsigned long {
    const SZqlUcCollation* t = ZqlUcLoadCLT(name, config);
    if (t == nullptr) return 0;
    gDefault = const_cast<SZqlUcCollation*>(t);
    return reinterpret_cast<unsigned long>(t);
  });
}

void ZqlUcTermCLT() {
  while (gLoaded != nullptr) ZqlUcFreeCLT(gLoaded);
  gDefault = &gUnicode;
}

unsigned long ZqlUcGetIdCLT(const char* name) {
  return reinterpret_cast<unsigned long>(ZqlUcLoadCLT(name, nullptr));
}

const char* ZqlUcGetNmCLT(unsigned long id) {
  if (id == 0) return gDefault->name;
  bool ok = false;
  const SZqlUcCollation* t = TableOf(id, &ok);
  return ok ? t->name : "";
}

const char* ZqlUcDefaultCLT() { return gDefault->name; }

char* ZqlUcCLTFormatErrMsg(int code, const char* name, char* buf, std::size_t size) {
  if (buf == nullptr || size == 0) return buf;
  buf[0] = '\0';
  int number = 0;
  const char* builtIn = BuiltInText(code, &number);
  if (builtIn == nullptr) return buf;
  char format[256] = "";
  ZqlTry([&] {
    CZqlUcStr text;
    ZqlGetResStrObj(kErrorSet, number, builtIn, &text);
    text.getToChar(format, sizeof format);
  });
  std::snprintf(buf, size, SafeFormat(format) ? format : builtIn, name != nullptr ? name : "");
  return buf;
}

int ZqlUcCLTGenErrMsg(int code, const char* name) {
  return ZqlEntry<int>(0, [&]() -> int {
    CZqlDDA* dda = ZqlGetCurrentDDA();
    if (dda != nullptr && code != 0) {
      ZqlTry([&] {
        char text[kZqlMaxPath + 256];
        const CZqlUcStr msg(ZqlUcCLTFormatErrMsg(code, name, text, sizeof text));
        ZqlDDAPushCondition(dda, code, &msg);
      });
    }
    ZQL_RAISE(code);
  });
}

// ---------------------------------------------------------------------------
// Weights and comparisons
// ---------------------------------------------------------------------------

unsigned short ZqlUcSpaceWeight(unsigned long id) { return ZqlUcCiChToWeight(id, kBlank); }

unsigned short ZqlUcCiChToWeight(unsigned long id, unsigned short u) {
  bool ok = false;
  const SZqlUcCollation* t = TableOf(id, &ok);
  return t != nullptr ? RowWeight(t, u) : u;
}

unsigned short ZqlUcCiChToWeightUpper(unsigned long id, unsigned short u) {
  return ZqlUcCiChToWeight(id, ZqlUcToUpper(u));
}

int ZqlUcCiStrweight(unsigned long id, const unsigned short* src, unsigned short* target,
                     int size) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (src == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    bool ok = false;
    const SZqlUcCollation* t = TableOf(id, &ok);
    if (!ok) return 0;
    CWeights w(t != nullptr ? t : &gUnicode, src);
    int n = 0;
    unsigned short x = 0;
    while (w.Next(&x)) {
      if (target != nullptr && n < size - 1) target[n] = x;
      ++n;
    }
    if (target != nullptr && size > 0) target[std::min(n, size - 1)] = 0;
    return n;
  });
}

int ZqlUcCiStrcmp(unsigned long id, const unsigned short* a, const unsigned short* b) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (a == nullptr || b == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (id == 0) return ZqlUcStrcmp(a, b);
    bool ok = false;
    const SZqlUcCollation* t = TableOf(id, &ok);
    return ok ? Compare(t, a, b, false, -1) : 0;
  });
}

int ZqlUcCiStrcmpB(unsigned long id, const unsigned short* a, const unsigned short* b) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (a == nullptr || b == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    bool ok = false;
    const SZqlUcCollation* t = TableOf(id, &ok);
    if (!ok) return 0;
    return Compare(t != nullptr ? t : &gUnicode, a, b, true, -1);
  });
}

int ZqlUcCiStrncmp(unsigned long id, const unsigned short* a, const unsigned short* b, int n) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (a == nullptr || b == nullptr || n < 1) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    if (id == 0) return ZqlUcStrncmp(a, b, n);
    bool ok = false;
    const SZqlUcCollation* t = TableOf(id, &ok);
    return ok ? Compare(t, a, b, false, n) : 0;
  });
}

int ZqlUcCiChcmp(unsigned long id, unsigned short a, unsigned short b) {
  return static_cast<int>(ZqlUcCiChToWeight(id, a)) - static_cast<int>(ZqlUcCiChToWeight(id, b));
}

int ZqlUcCiUcChStrcmp(unsigned long id, const unsigned short* a, const char* b) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (a == nullptr || b == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const CZqlUcStr ub = Units(b, 0);
    return ZqlUcCiStrcmp(id, a, ub.UcStr());
  });
}

int ZqlUcCiStrStrcmp(unsigned long id, const char* a, const char* b, unsigned long charset) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (a == nullptr || b == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    const CZqlUcStr ua = Units(a, charset);
    const CZqlUcStr ub = Units(b, charset);
    return ZqlUcCiStrcmp(id, ua.UcStr(), ub.UcStr());
  });
}

int ZqlUcCiStrStrIcmp(unsigned long id, const char* a, const char* b, unsigned long charset) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (a == nullptr || b == nullptr) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    CZqlUcStr ua = Units(a, charset);
    CZqlUcStr ub = Units(b, charset);
    ua.toUpper();
    ub.toUpper();
    return ZqlUcCiStrcmp(id, ua.UcStr(), ub.UcStr());
  });
}

int ZqlUcCnStrcmp(const char* collation, const unsigned short* a, const unsigned short* b) {
  const unsigned long id = ZqlUcGetIdCLT(collation);
  return id != 0 ? ZqlUcCiStrcmp(id, a, b) : 0;
}

int ZqlUcCnStrncmp(const char* collation, const unsigned short* a, const unsigned short* b,
                   int n) {
  const unsigned long id = ZqlUcGetIdCLT(collation);
  return id != 0 ? ZqlUcCiStrncmp(id, a, b, n) : 0;
}

int ZqlUcCnChcmp(const char* collation, unsigned short a, unsigned short b) {
  const unsigned long id = ZqlUcGetIdCLT(collation);
  return id != 0 ? ZqlUcCiChcmp(id, a, b) : 0;
}
