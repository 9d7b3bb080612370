// ucct.cpp - character sets: the built-in "ascii" table, name resolution and
// the conversions between 8-bit (or double-byte) text and 16-bit units.

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "ucdefs.h"
#include "ucload.h"
#include "zqlconf.h"
#include "zqldiag.h"
#include "zqlsys.h"
#include "zqltry.h"
#include "zqlucode.h"
#include "zqlxmf.h"

namespace {

// Kind of a table with conversion rows (the built-in one included).
constexpr int kKindRows = 1;

// Row 0 of both directions of "ascii": 0x00-0x7F map to themselves, the
// other bytes and units have no mapping.
struct SAsciiRows {
  unsigned short to[256];
  unsigned short from[256];
};

constexpr SAsciiRows MakeAsciiRows() {
  SAsciiRows rows{};
  for (int b = 0; b < 256; ++b) {
    const unsigned short v = b < 0x80 ? static_cast<unsigned short>(b) : kZqlUcNoMapping;
    rows.to[b] = v;
    rows.from[b] = v;
  }
  return rows;
}

SAsciiRows gAsciiRows = MakeAsciiRows();
SZqlUcTable gAscii = {nullptr, {gAsciiRows.to}, {gAsciiRows.from}, {0}, kKindRows, 0, "ascii"};

const SZqlUcTable* gDefault = &gAscii;  // the default character set
SZqlUcTable* gLoaded = nullptr;         // loaded tables, newest first

bool IsLead(const SZqlUcTable* t, unsigned b) {
  return (t->leadBytes[(b >> 4) & 15] & (0x8000u >> (b & 15))) != 0;
}

// The unit of a single-byte character.
unsigned short Single(const SZqlUcTable* t, unsigned b) {
  if (t->kind == kZqlUcKindDirect) return static_cast<unsigned short>(b);
  const unsigned short* row = t->toUc[0];
  return row != nullptr ? row[b] : kZqlUcNoMapping;
}

// The unit of a double-byte character.
unsigned short Pair(const SZqlUcTable* t, unsigned first, unsigned second) {
  if (t->kind == kZqlUcKindDirect) return static_cast<unsigned short>(first << 8 | second);
  const unsigned short* row = t->toUc[first];
  return row != nullptr ? row[second] : kZqlUcNoMapping;
}

// Decodes the character at p (p[0] != 0, left >= 1 bytes available) into
// *unit; answers the bytes it takes. A lead byte without its second byte
// (the text ends first) is one character without mapping, so that nothing
// past the end is read.
int DecodeChar(const SZqlUcTable* t, const unsigned char* p, int left, unsigned short* unit) {
  if (IsLead(t, p[0])) {
    if (left < 2 || p[1] == 0) {
      *unit = kZqlUcNoMapping;
      return 1;
    }
    *unit = Pair(t, p[0], p[1]);
    return 2;
  }
  *unit = Single(t, p[0]);
  return 1;
}

// Reads 8-bit text unit by unit: escapes first, then characters. The escape
// of 0xE800 is skipped, since it stands for nothing.
class CCharReader {
 public:
  CCharReader(const SZqlUcTable* t, const char* src, int bytes)
      : t_(t), p_(reinterpret_cast<const unsigned char*>(src)), left_(bytes < 0 ? INT_MAX : bytes) {}

  // The next unit into *unit; false at the end of the text.
  bool Next(unsigned short* unit) {
    while (left_ > 0 && *p_ != 0) {
      int used = 1;
      if (*p_ == '\\' && left_ >= kZqlUcEscapeBytes &&
          ZqlUcReadCIF(reinterpret_cast<const char*>(p_ + 1), unit)) {
        used = kZqlUcEscapeBytes;
      } else {
        used = DecodeChar(t_, p_, left_, unit);
      }
      p_ += used;
      left_ -= used;
      if (used != kZqlUcEscapeBytes || *unit != kZqlUcEscapeNothing) return true;
    }
    return false;
  }

 private:
  const SZqlUcTable* t_;
  const unsigned char* p_;
  int left_;  // bytes still allowed
};

// The built-in text of a character-set error and its message number in set
// 7 of zqlloc.xmx; null for another code.
const char* BuiltInText(int code, int* number) {
  switch (code) {
    case kZqlErrCharacterNotInRepertoire:
      *number = 1;
      return "character U+%04X not in repertoire %s";
    case kZqlErrCharacterSetNameNotDefinedInZQLINIFile:
      *number = 2;
      return "character set name %s not defined in ZQL.INI file";
    case kZqlErrCharacterSetDefinitionFileNotFound:
      *number = 3;
      return "character set definition file %s not found";
    case kZqlErrInvalidFormatOfTheCharacterSetDefinitionFile:
      *number = 4;
      return "invalid format of the character set definition file %s";
    default:
      *number = 0;
      return nullptr;
  }
}

// The conversions of a format, "%%" left out: the text from one '%' up to
// and including its conversion letter, one after another.
std::string Conversions(const char* f) {
  std::string out;
  for (const char* p = f; *p != 0; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      ++p;
      continue;
    }
    const char* q = p + 1;
    while (*q != 0 && std::strchr("0123456789", *q) != nullptr) ++q;
    out.append(p, static_cast<std::size_t>(q - p) + (*q != 0 ? 1 : 0));
    if (*q == 0) break;
    p = q;
  }
  return out;
}

bool SameConversions(const char* format, const char* builtIn) {
  return format[0] != 0 && Conversions(format) == Conversions(builtIn);
}

// Writes the escape of u ("\U+XXXX") into out (8 bytes).
void FormatEscape(unsigned short u, char out[8]) {
  std::snprintf(out, 8, "\\U+%04X", static_cast<unsigned>(u));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Composes the collected sequence of a base unit and its marks.
unsigned short Flush(const unsigned short* seq, int n) {
  return n == 1 ? seq[0] : ZqlUcPreCompose(seq, n);
}

// Whether t writes unit u, below 0x80, as the one byte u: what the
// converters try first, as most text is ASCII and most sets keep it.
inline bool KeepsAscii(const SZqlUcTable* t, unsigned short u) {
  if (t->kind == kZqlUcKindDirect) return !IsLead(t, u);
  const unsigned short* row = t->fromUc[0];
  return row != nullptr && row[u] == u;
}

// Units to bytes in t; on an unmappable unit either escapes it or, with
// check, terminates what was written and raises "character not in
// repertoire". Stops before a character that does not fit.
int Uc2Ch(char* target, int targetBytes, const unsigned short* src, int srcUnits,
          const SZqlUcTable* t, bool check) {
  if (target == nullptr || targetBytes == 0) return 0;
  const int limit = targetBytes < 0 ? INT_MAX : targetBytes;
  int out = 0;
  for (int i = 0; src != nullptr && (srcUnits < 0 || i < srcUnits) && src[i] != 0; ++i) {
    if (out >= limit) break;  // nothing more fits
    if (src[i] < 0x80 && KeepsAscii(t, src[i])) {
      target[out++] = static_cast<char>(src[i]);
      continue;
    }
    char bytes[8];
    int n = ZqlUcEncodeUnit(t, src[i], reinterpret_cast<unsigned char*>(bytes));
    if (n == 0) {
      if (check) {
        target[out] = 0;
        ZqlUcGenErrMsg(kZqlErrCharacterNotInRepertoire, src[i], t->name);
        return -1;
      }
      FormatEscape(src[i], bytes);
      n = kZqlUcEscapeBytes;
    }
    if (n > limit - out) break;
    for (int k = 0; k < n; ++k) target[out++] = bytes[k];
  }
  if (out < limit) target[out] = 0;
  return out;
}

// Bytes the units need in t; with check an unmappable unit raises.
int Uc2ChLen(const unsigned short* src, int srcUnits, const SZqlUcTable* t, bool check) {
  int64_t total = 0;
  for (int i = 0; src != nullptr && (srcUnits < 0 || i < srcUnits) && src[i] != 0; ++i) {
    if (src[i] < 0x80 && KeepsAscii(t, src[i])) {
      ++total;
      continue;
    }
    unsigned char bytes[2];
    int n = ZqlUcEncodeUnit(t, src[i], bytes);
    if (n == 0) {
      if (check) {
        ZqlUcGenErrMsg(kZqlErrCharacterNotInRepertoire, src[i], t->name);
        return -1;
      }
      n = kZqlUcEscapeBytes;
    }
    total += n;
  }
  return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

}  // namespace

// ---------------------------------------------------------------------------
// Loading character sets from their definition files
// ---------------------------------------------------------------------------

namespace {

constexpr const char* kCharsetSection = "Character Sets";
constexpr int kDefinitionSet = 1;
constexpr int kErrorSet = 7;  // zqlloc.xmx: character-set and collation errors
constexpr int kRowUnits = 257;

// A row of 256 units, all without mapping.
unsigned short* NewRow() {
  auto* row = static_cast<unsigned short*>(ZqlMemoryMalloc(256 * sizeof(unsigned short)));
  if (row != nullptr)
    for (int i = 0; i < 256; ++i) row[i] = kZqlUcNoMapping;
  return row;
}

// Reads set 1 of a definition file into t; false when its format is wrong.
bool ReadDefinition(CZqlXmfUtil& x, SZqlUcTable* t) {
  int length = 0;
  const char* text = x.XmsgIntr(kDefinitionSet, 3, &length);
  if (length < 1) return false;
  t->kind = static_cast<unsigned char>(text[0]);
  text = x.XmsgIntr(kDefinitionSet, 4, &length);
  if (length < 1) return false;
  t->attribute = static_cast<unsigned char>(text[0]);
  text = x.XmsgIntr(kDefinitionSet, 5, &length);
  if (x.XmfLastType() != kZqlXmfTypeUnits || length != 16) return false;
  std::memcpy(t->leadBytes, text, sizeof t->leadBytes);
  for (int number = 6;; ++number) {
    text = x.XmsgIntr(kDefinitionSet, number, &length);
    if (ZqlUcIsEndMark(x, text, length)) return true;
    if (t->kind == kZqlUcKindDirect || t->kind == kZqlUcKindNoRows) return false;
    if (x.XmfLastType() != kZqlXmfTypeUnits || length != kRowUnits) return false;
    unsigned short row[kRowUnits];
    std::memcpy(row, text, sizeof row);
    if (row[0] > 0xFF) return false;
    for (int b = 0; b < 256; ++b) {
      if (row[1 + b] == kZqlUcNoMapping) continue;
      if (!ZqlUcNewConvCode(t, row[0] << 8 | b, row[1 + b])) return false;
    }
  }
}

constexpr SZqlUcLoadCodes kLoadCodes = {kZqlErrCharacterSetNameNotDefinedInZQLINIFile, kZqlErrCharacterSetDefinitionFileNotFound,
                                    kZqlErrInvalidFormatOfTheCharacterSetDefinitionFile};

SZqlUcTable* LoadFile(const char* name, CZqlConfig* config) {
  return ZqlUcLoadDefinition<SZqlUcTable>(kCharsetSection, name, config, kLoadCodes, ReadDefinition, ZqlUcFreeCCT,
                                  [](int code, const char* text) { ZqlUcGenErrMsg(code, 0, text); });
}

}  // namespace

int ZqlUcNewConvCode(SZqlUcTable* table, int code, unsigned short unit) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (table == nullptr || table == &gAscii || code < 0 || code > 0xFFFF)
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    unsigned short*& to = table->toUc[code >> 8];
    if (to == nullptr && (to = NewRow()) == nullptr) return 0;
    to[code & 0xFF] = unit;
    if (unit == kZqlUcNoMapping) return 1;
    unsigned short*& from = table->fromUc[unit >> 8];
    if (from == nullptr && (from = NewRow()) == nullptr) return 0;
    from[unit & 0xFF] = static_cast<unsigned short>(code);
    return 1;
  });
}

void TEST_ZqlUcRegisterCCT(SZqlUcTable* table) {
  table->next = gLoaded;
  gLoaded = table;
}

void TEST_ZqlUcUnregisterCCT(SZqlUcTable* table) {
  for (SZqlUcTable** l = &gLoaded; *l != nullptr; l = &(*l)->next) {
    if (*l == table) {
      *l = table->next;
      return;
    }
  }
}

void ZqlUcFreeCCT(SZqlUcTable* table) {
  if (table == nullptr || table == &gAscii) return;
  for (SZqlUcTable** l = &gLoaded; *l != nullptr; l = &(*l)->next) {
    if (*l == table) {
      *l = table->next;
      break;
    }
  }
  if (gDefault == table) gDefault = &gAscii;
  for (int i = 0; i < 256; ++i) {
    ZqlMemoryFree(table->toUc[i]);
    ZqlMemoryFree(table->fromUc[i]);
  }
  ZqlMemoryFree(const_cast<char*>(table->name));
  ZqlMemoryFree(table);
}

// ---------------------------------------------------------------------------
// Tables and names
// ---------------------------------------------------------------------------

const SZqlUcTable* ZqlUcTableOf(unsigned long id) {
  // The default set, by far the most asked for (once per character by the
  // character-wise readers), needs no check and no try frame.
  if (id == 0) return gDefault;
  return ZqlEntry<const SZqlUcTable*>(gDefault, [&]() -> const SZqlUcTable* {
    const auto* t = reinterpret_cast<const SZqlUcTable*>(id);
    if (t == &gAscii) return t;
    for (const SZqlUcTable* l = gLoaded; l != nullptr; l = l->next)
      if (l == t) return t;
    // A stale or foreign identifier is never followed; with nothing to catch
    // the raise, the default set serves.
    ZQL_RAISE(kZqlErrInvalidFunctionArguments);
  });
}

const SZqlUcTable* ZqlUcAsciiTable() { return &gAscii; }

const SZqlUcTable* ZqlUcLoadCCT(const char* name, CZqlConfig* config) {
  return ZqlEntry<const SZqlUcTable*>(nullptr, [&]() -> const SZqlUcTable* {
    if (name == nullptr) return gDefault;
    if (ZqlUcSameName(name, gAscii.name)) return &gAscii;
    for (const SZqlUcTable* t = gLoaded; t != nullptr; t = t->next)
      if (ZqlUcSameName(name, t->name)) return t;
    SZqlUcTable* t = LoadFile(name, config);
    if (t == nullptr) return nullptr;
    t->next = gLoaded;
    gLoaded = t;
    return t;
  });
}

const SZqlUcTable* ZqlUcLoadDefaultCCT(const char* name, CZqlConfig* config) {
  return ZqlEntry<const SZqlUcTable*>(nullptr, [&]() -> const SZqlUcTable* {
    const SZqlUcTable* t = ZqlUcLoadCCT(name, config);
    if (t != nullptr) gDefault = t;
    return t;
  });
}

void ZqlUcTermCCT() {
  while (gLoaded != nullptr) ZqlUcFreeCCT(gLoaded);
  gDefault = &gAscii;
}

bool ZqlUcResolveCCT(const char* name, unsigned long* id) {
  return ZqlEntry<bool>(false, [&]() -> bool {
    const SZqlUcTable* t = ZqlUcLoadCCT(name);
    if (t == nullptr) {  // the loading error found nobody to take it
      ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    }
    *id = reinterpret_cast<unsigned long>(t);
    return true;
  });
}

unsigned long ZqlUcGetIdCCT(const char* name) {
  return reinterpret_cast<unsigned long>(ZqlUcLoadCCT(name));
}

const char* ZqlUcGetNmCCT(unsigned long id) { return ZqlUcTableOf(id)->name; }

const char* ZqlUcDefaultCCT() { return gDefault->name; }

int ZqlUcIsMb(int b, unsigned long table) {
  return IsLead(ZqlUcTableOf(table), static_cast<unsigned>(b) & 0xFF) ? 1 : 0;
}

int ZqlUcReadCIF(const char* text, unsigned short* unit) {
  if (text == nullptr || text[0] != 'U' || text[1] != '+') return 0;
  unsigned value = 0;
  for (int k = 2; k < 6; ++k) {
    const int digit = HexValue(text[k]);  // a zero byte ends the scan here
    if (digit < 0) return 0;
    value = value << 4 | static_cast<unsigned>(digit);
  }
  if (unit != nullptr) *unit = static_cast<unsigned short>(value);
  return 1;
}

// ---------------------------------------------------------------------------
// Error messages
// ---------------------------------------------------------------------------

char* ZqlUcFormatErrMsg(int code, unsigned short unit, const char* name, char* buf,
                        std::size_t size) {
  if (buf == nullptr || size == 0) return buf;
  if (name == nullptr) name = "";
  int number = 0;
  const char* builtIn = BuiltInText(code, &number);
  if (builtIn == nullptr) {
    buf[0] = 0;
    return buf;
  }
  // The text comes from the message file when it has one whose conversions
  // are the built-in text's; any other would read arguments not given.
  char format[256];
  format[0] = 0;
  ZqlTry([&] {
    CZqlUcStr text;
    ZqlGetResStrObj(kErrorSet, number, builtIn, &text);
    text.getToChar(format, sizeof format);
  });
  const bool withUnit = code == kZqlErrCharacterNotInRepertoire;
  if (!SameConversions(format, builtIn)) std::snprintf(format, sizeof format, "%s", builtIn);
  if (withUnit)
    std::snprintf(buf, size, format, static_cast<unsigned>(unit), name);
  else
    std::snprintf(buf, size, format, name);
  return buf;
}

int ZqlUcGenErrMsg(int code, unsigned short unit, const char* name) {
  return ZqlEntry<int>(0, [&]() -> int {
    // The filled-in text goes into the diagnostics of the current descriptor
    // area (when there is one) before the code is raised.
    CZqlDDA* dda = ZqlGetCurrentDDA();
    if (dda != nullptr) {
      char text[320];
      ZqlUcFormatErrMsg(code, unit, name, text, sizeof text);
      ZqlTry([&] {
        const CZqlUcStr msg(text);
        ZqlDDAPushCondition(dda, code, &msg);
      });
    }
    ZQL_RAISE(code);
  });
}

// ---------------------------------------------------------------------------
// Conversions
// ---------------------------------------------------------------------------

int ZqlUcEncodeUnit(const SZqlUcTable* t, unsigned short u, unsigned char out[2]) {
  const unsigned high = u >> 8;
  const unsigned low = u & 0xFF;
  if (t->kind == kZqlUcKindDirect) {
    // One byte when the unit is a byte that does not open a pair; two when
    // its high byte opens one. A zero second byte would end the text.
    if (high == 0 && !IsLead(t, low)) {
      out[0] = static_cast<unsigned char>(low);
      return 1;
    }
    if (high != 0 && low != 0 && IsLead(t, high)) {
      out[0] = static_cast<unsigned char>(high);
      out[1] = static_cast<unsigned char>(low);
      return 2;
    }
    return 0;
  }
  const unsigned short* row = t->fromUc[high];
  if (row == nullptr || row[low] == kZqlUcNoMapping) return 0;
  const unsigned code = row[low];
  if (code < 0x100) {
    out[0] = static_cast<unsigned char>(code);
    return 1;
  }
  out[0] = static_cast<unsigned char>(code >> 8);
  out[1] = static_cast<unsigned char>(code & 0xFF);
  return 2;
}

int ZqlUcCh2UcCCT(unsigned short* target, int targetUnits, const char* src, int srcBytes,
                  unsigned long table) {
  if (target == nullptr || targetUnits == 0) return 0;
  const int limit = targetUnits < 0 ? INT_MAX : targetUnits;
  int out = 0;
  if (src != nullptr) {
    CCharReader reader(ZqlUcTableOf(table), src, srcBytes);
    unsigned short seq[32];  // a base unit and its marks
    int n = 0;
    unsigned short u;
    while (out < limit && reader.Next(&u)) {
      if (n > 0 && n < 32 && ZqlUcIsNonSpace(u)) {
        seq[n++] = u;  // a mark joins the character before it
        continue;
      }
      if (n > 0) target[out++] = Flush(seq, n);
      seq[0] = u;
      n = 1;
    }
    if (n > 0 && out < limit) target[out++] = Flush(seq, n);
  }
  if (out < limit) target[out] = 0;
  return out;
}

int ZqlUcCh2UcLenCCT(const char* src, int srcBytes, unsigned long table) {
  if (src == nullptr) return 0;
  CCharReader reader(ZqlUcTableOf(table), src, srcBytes);
  int count = 0;
  unsigned short u;
  while (count < INT_MAX && reader.Next(&u)) ++count;
  return count;
}

unsigned short ZqlUcCh2UcMoveCCT(const char** src, unsigned long table) {
  if (src == nullptr || *src == nullptr || **src == 0) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(*src);
  unsigned short u;
  *src += DecodeChar(ZqlUcTableOf(table), p, 2, &u);
  return u;
}

int ZqlUcUc2ChCCT(char* target, int targetBytes, const unsigned short* src, int srcUnits,
                  unsigned long table) {
  return Uc2Ch(target, targetBytes, src, srcUnits, ZqlUcTableOf(table), false);
}

int ZqlUcUc2ChChkCCT(char* target, int targetBytes, const unsigned short* src, int srcUnits,
                     unsigned long table) {
  return ZqlEntry<int>(-1, [&]() -> int {
    return Uc2Ch(target, targetBytes, src, srcUnits, ZqlUcTableOf(table), true);
  });
}

int ZqlUcUc2ChLenCCT(const unsigned short* src, int srcUnits, unsigned long table) {
  return Uc2ChLen(src, srcUnits, ZqlUcTableOf(table), false);
}

int ZqlUcUc2ChLenChkCCT(const unsigned short* src, int srcUnits, unsigned long table) {
  return ZqlEntry<int>(-1, [&]() -> int {
    return Uc2ChLen(src, srcUnits, ZqlUcTableOf(table), true);
  });
}

unsigned short ZqlUcMb2UcCCT(int code, unsigned long table) {
  const SZqlUcTable* t = ZqlUcTableOf(table);
  const unsigned first = static_cast<unsigned>(code) & 0xFF;
  const unsigned second = (static_cast<unsigned>(code) >> 8) & 0xFF;
  return IsLead(t, first) ? Pair(t, first, second) : Single(t, first);
}

int ZqlUcUc2MbCCT(unsigned short u, unsigned long table) {
  unsigned char bytes[2];
  switch (ZqlUcEncodeUnit(ZqlUcTableOf(table), u, bytes)) {
    case 1:
      return bytes[0];
    case 2:
      return bytes[0] | bytes[1] << 8;
    default:
      return -1;
  }
}
