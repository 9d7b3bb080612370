// ident.cpp - SQL identifiers and the word tables that decide whether a
// name must be delimited (see zqlident.h).
#include "zqlident.h"

#include <cstdint>

#include "objpack.h"

namespace {

struct SZqlWord {
  const char* text;  // upper case
  int code;
};

// Each table is sorted by its upper-case text (byte order, so "_" sorts
// after the letters) for the binary search below.
const SZqlWord kSetFuncs[] = {
    {"AVG", 0}, {"COUNT", 1}, {"MAX", 2}, {"MIN", 3}, {"SUM", 4},
};

const SZqlWord kNumFuncs[] = {
    {"BIT_LENGTH", 0},   {"CHARACTER_LENGTH", 1}, {"CHAR_LENGTH", 1},
    {"EXTRACT", 2},      {"OCTET_LENGTH", 3},     {"POSITION", 4},
};

const SZqlWord kStrFuncs[] = {
    {"CONVERT", 0}, {"LOWER", 1}, {"SUBSTRING", 2},
    {"TRANSLATE", 3}, {"TRIM", 4}, {"UPPER", 5},
};

const SZqlWord kDTFuncs[] = {
    {"CURRENT_DATE", 0}, {"CURRENT_TIME", 1}, {"CURRENT_TIMESTAMP", 2},
};

// The reserved words. Their codes follow from the position (see KWordCode).
const char* const kKeyWords[] = {
    "ABSOLUTE", "ACTION", "ADD", "ALL", "ALLOCATE", "ALTER", "AND", "ANY",
    "ARE", "AS", "ASC", "ASSERTION", "AT", "AUTHORIZATION", "BEGIN", "BETWEEN",
    "BIT", "BOTH", "BY", "CASCADE", "CASCADED", "CASE", "CAST", "CATALOG",
    "CHAR", "CHARACTER", "CHECK", "CLOSE", "COALESCE", "COLLATE", "COLLATION",
    "COLUMN", "COMMIT", "COMMITTED", "CONNECT", "CONNECTION", "CONSTRAINT",
    "CONSTRAINTS", "CONTINUE", "CORRESPONDING", "CREATE", "CROSS", "CURRENT",
    "CURRENT_USER", "CURSOR", "DATE", "DAY", "DEALLOCATE", "DEC", "DECIMAL",
    "DECLARE", "DEFAULT", "DEFERRABLE", "DEFERRED", "DELETE", "DESC",
    "DESCRIBE", "DESCRIPTOR", "DIAGNOSTICS", "DISCONNECT", "DISTINCT",
    "DOMAIN", "DOUBLE", "DROP", "ELSE", "END", "END_EXEC", "ESCAPE", "EXCEPT",
    "EXCEPTION", "EXEC", "EXECUTE", "EXISTS", "EXTERNAL", "FALSE", "FETCH",
    "FIRST", "FLOAT", "FOR", "FOREIGN", "FOUND", "FROM", "FULL", "GET",
    "GLOBAL", "GO", "GOTO", "GRANT", "GROUP", "HAVING", "HOUR", "IDENTITY",
    "IMMEDIATE", "IN", "INDEX", "INDICATOR", "INITIALLY", "INNER", "INPUT",
    "INSENSITIVE", "INSERT", "INT", "INTEGER", "INTERSECT", "INTERVAL", "INTO",
    "IS", "ISOLATION", "JOIN", "KEY", "LANGUAGE", "LAST", "LEADING", "LEFT",
    "LEVEL", "LIKE", "LOCAL", "MATCH", "MINUTE", "MODULE", "MONTH", "NAMES",
    "NATIONAL", "NATURAL", "NCHAR", "NEXT", "NO", "NOT", "NULL", "NULLIF",
    "NUMERIC", "OF", "ON", "ONLY", "OPEN", "OPTION", "OR", "ORDER", "OUTER",
    "OUTPUT", "OVERLAPS", "PAD", "PARTIAL", "PRECISION", "PREPARE", "PRESERVE",
    "PRIMARY", "PRIOR", "PRIVILEGES", "PROCEDURE", "PUBLIC", "READ", "REAL",
    "REFERENCES", "RELATIVE", "REPEATABLE", "RESTRICT", "REVOKE", "RIGHT",
    "ROLLBACK", "ROWS", "SCHEMA", "SCROLL", "SECOND", "SECTION", "SELECT",
    "SERIALIZABLE", "SESSION", "SESSION_USER", "SET", "SIZE", "SMALLINT",
    "SOME", "SPACE", "SQL", "SQLCODE", "SQLERROR", "SQLSTATE", "SYSTEM_USER",
    "TABLE", "TEMPORARY", "THEN", "TIME", "TIMESTAMP", "TIMEZONE_HOUR",
    "TIMEZONE_MINUTE", "TO", "TRAILING", "TRANSACTION", "TRANSLATION", "TRUE",
    "UNCOMMITTED", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "USAGE", "USER",
    "USING", "VALUE", "VALUES", "VARCHAR", "VARYING", "VIEW", "WHEN",
    "WHENEVER", "WHERE", "WITH", "WORK", "WRITE", "YEAR", "ZONE",
};

constexpr int kKeyWordCount = sizeof kKeyWords / sizeof kKeyWords[0];
static_assert(kKeyWordCount == 212, "the reserved-word list is fixed");

constexpr int kKWordFirstCode = 28;
constexpr int kKWordDecimal = 49;  // position of DECIMAL, just after DEC
constexpr int kKWordAbsent = -3;
constexpr int kFuncAbsent = -1;

// The first word codes 28 and each later one a code higher, except that
// DECIMAL is a synonym of DEC and takes its code, shifting the rest by one.
int KWordCode(int i) {
  return kKWordFirstCode + i - (i >= kKWordDecimal ? 1 : 0);
}

// Three-way comparison of units (mapped with ZqlUcToUpper) against an
// upper-case ASCII word, as CZqlUcStr::Compi would decide it, but without
// converting the word.
int CompareUpper(const unsigned short* units, const char* word) {
  for (;; ++units, ++word) {
    const int a = *units ? ZqlUcToUpper(*units) : 0;
    const int b = static_cast<unsigned char>(*word);
    if (a != b) return a - b;
    if (a == 0) return 0;
  }
}

// Position of text in a sorted list of n words, or -1.
template <class Text>
int Search(const CZqlUcStr& text, int n, Text wordAt) {
  const unsigned short* units = text.UcStr();
  int lo = 0;
  int hi = n - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = CompareUpper(units, wordAt(mid));
    if (c == 0) return mid;
    if (c < 0) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  return -1;
}

template <size_t N>
int FindFunc(const CZqlUcStr& text, const SZqlWord (&table)[N]) {
  const int i = Search(text, int(N), [&](int k) { return table[k].text; });
  return i < 0 ? kFuncAbsent : table[i].code;
}

bool IsWordUnit(unsigned short u) {
  return ZqlUcIsAlpha(u) || ZqlUcIsDigit(u) || u == '_';
}

}  // namespace

int ZqlFindSetFunc(const CZqlUcStr& text) { return FindFunc(text, kSetFuncs); }
int ZqlFindNumFunc(const CZqlUcStr& text) { return FindFunc(text, kNumFuncs); }
int ZqlFindStrFunc(const CZqlUcStr& text) { return FindFunc(text, kStrFuncs); }
int ZqlFindDTFunc(const CZqlUcStr& text) { return FindFunc(text, kDTFuncs); }

int ZqlFindKWord(const CZqlUcStr& text) {
  const int i =
      Search(text, kKeyWordCount, [](int k) { return kKeyWords[k]; });
  return i < 0 ? kKWordAbsent : KWordCode(i);
}

int ZqlKWordCount() { return kKeyWordCount; }

const char* ZqlKWordText(int i) {
  return i >= 0 && i < kKeyWordCount ? kKeyWords[i] : nullptr;
}

int ZqlIsDelimited(const CZqlUcStr& text) {
  const unsigned short* units = text.UcStr();
  if (!ZqlUcIsAlpha(units[0])) return 1;  // also the empty text
  if (ZqlFindSetFunc(text) >= 0 || ZqlFindNumFunc(text) >= 0 ||
      ZqlFindStrFunc(text) >= 0 || ZqlFindDTFunc(text) >= 0 ||
      ZqlFindKWord(text) != kKWordAbsent) {
    return 1;
  }
  for (const unsigned short* p = units + 1; *p; ++p) {
    if (!IsWordUnit(*p)) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// CZqlIdent
// ---------------------------------------------------------------------------

CZqlIdent::CZqlIdent() : delimited_(kZqlFalse) {}

// setBody of the text that copy(&s) makes, in a frame of its own: a
// failing conversion or fold leaves the identifier empty and Lost().
template <class Convert>
void CZqlIdent::convert(Convert copy) {
  lost_ = !ZqlTry([&] {
    CZqlUcStr text;
    copy(&text);
    setBody(text);
  });
  if (lost_) body_.Clear();
}

CZqlIdent::CZqlIdent(const char* text) : delimited_(kZqlFalse) {
  if (text) convert([&](CZqlUcStr* s) { s->Copy(text); });
}

CZqlIdent::CZqlIdent(const unsigned short* text) : delimited_(kZqlFalse) {
  if (text) convert([&](CZqlUcStr* s) { s->Copy(text); });
}

CZqlIdent::CZqlIdent(const CZqlUcStr& text) : delimited_(kZqlFalse) {
  convert([&](CZqlUcStr* s) { *s = text; });
}

CZqlIdent::CZqlIdent(const CZqlUcStr& charSet, const CZqlUcStr& body)
    : delimited_(kZqlFalse), charSet_(charSet), body_(body) {}

CZqlIdent::CZqlIdent(const CZqlIdent& other)
    : CZqlObject(other),
      delimited_(other.delimited_),
      charSet_(other.charSet_),
      body_(other.body_),
      lost_(other.lost_) {}

CZqlIdent& CZqlIdent::operator=(const CZqlIdent& other) {
  delimited_ = other.delimited_;
  charSet_ = other.charSet_;
  body_ = other.body_;
  lost_ = other.lost_;
  return *this;
}

CZqlIdent& CZqlIdent::operator=(const CZqlUcStr& text) {
  setBody(text);
  return *this;
}

CZqlIdent& CZqlIdent::operator=(const char* text) {
  if (text) {
    convert([&](CZqlUcStr* s) { s->Copy(text); });
  } else {
    setBody(CZqlUcStr());
  }
  return *this;
}

CZqlIdent::~CZqlIdent() = default;

void CZqlIdent::set(EZqlBoolean delimited, const CZqlUcStr& charSet,
                    const CZqlUcStr& body) {
  setDelimited(delimited);
  setCharSet(charSet);
  setBody(body);
}

void CZqlIdent::setDelimited(EZqlBoolean delimited) {
  delimited_ = delimited ? kZqlTrue : kZqlFalse;
  if (!delimited_) body_.toUpper();
}

void CZqlIdent::setDelimited() { delimited_ = kZqlTrue; }

void CZqlIdent::setCharSet(const CZqlUcStr& charSet) { charSet_ = charSet; }

void CZqlIdent::setBody(const CZqlUcStr& text) {
  lost_ = false;
  if (ZqlIsDelimited(text)) delimited_ = kZqlTrue;
  body_ = text;
  if (!delimited_) body_.toUpper();
}

int CZqlIdent::Length() const { return body_.Length() + charSet_.Length(); }

void CZqlIdent::Clear() {
  lost_ = false;
  delimited_ = kZqlFalse;
  charSet_.Clear();
  body_.Clear();
}

int CZqlIdent::operator==(const CZqlIdent& other) const {
  return ZqlUcCmpUCandUC(body_.UcStr(), other.body_.UcStr()) == 0;
}

namespace {

// 1 when name is the name of the default character set (any case). The
// names are compared, not resolved: writing an identifier must not load a
// character set or fail on a name that zql.ini does not define.
int IsDefaultCharSet(const CZqlUcStr& name) {
  const char* def = ZqlUcDefaultCCT();
  if (!def) return 0;
  const unsigned short* u = name.UcStr();
  for (;; ++u, ++def) {
    const unsigned short a = *u ? ZqlUcToUpper(*u) : 0;
    const unsigned short b =
        *def ? ZqlUcToUpper(static_cast<unsigned char>(*def)) : 0;
    if (a != b) return 0;
    if (a == 0) return 1;
  }
}

}  // namespace

int CZqlIdent::ToString(CZqlUcStr* out) const {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!out) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    bool quoted = delimited_ != kZqlFalse;
    if (charSet_.Length() > 0 && !IsDefaultCharSet(charSet_)) {
      out->Append(static_cast<unsigned short>('_'));
      out->Append(charSet_);
      quoted = true;  // a character-set prefix needs the delimited form
    }
    if (!quoted) {
      out->Append(body_);
      return 1;
    }
    const unsigned short quote = '"';
    out->Append(quote);
    for (const unsigned short* p = body_.UcStr(); *p; ++p) {
      if (*p == quote) out->Append(quote);
      out->Append(*p);
    }
    out->Append(quote);
    return 1;
  });
}

CZqlObject* CZqlIdent::duplicate() const { return new CZqlIdent(*this); }

// The size always matches what packTo writes: a container sizes its buffer
// with packSize and then packs into exactly that many bytes.
unsigned int CZqlIdent::packSize() const {
  CZqlObjPack sizing;
  packTo(&sizing);
  return sizing.Size();
}

int CZqlIdent::packTo(CZqlObjPack* pack) const {
  if (!pack) return 0;
  pack->add(1, body_);
  pack->add(2, charSet_);
  pack->add(3, int32_t{delimited_});
  return int(pack->Size());
}

namespace {

// Reads the next item into *text; it must carry label and hold a string.
int ReadText(CZqlObjPack* pack, int label, CZqlUcStr* text) {
  if (pack->getNext() != label || pack->getType() != kZqlPackUcStr) return 0;
  pack->getPackedValue(text);
  return 1;
}

// Reads the next item into *flag; it must carry label and hold 4 bytes.
int ReadFlag(CZqlObjPack* pack, int label, int32_t* flag) {
  if (pack->getNext() != label) return 0;
  const EZqlPackObjType type = pack->getType();
  if (type < kZqlPackInt || type > kZqlPackULong) return 0;
  return pack->getPackedValue(flag);
}

}  // namespace

int CZqlIdent::unpackFrom(CZqlObjPack* pack) {
  return ZqlEntry<int>(0, [&]() -> int {
    if (!pack) ZQL_RAISE(kZqlErrInvalidFunctionArguments);
    CZqlUcStr body;
    CZqlUcStr charSet;
    int32_t flag = 0;
    if (!ReadText(pack, 1, &body) || !ReadText(pack, 2, &charSet) ||
        !ReadFlag(pack, 3, &flag)) {
      ZQL_RAISE(kZqlErrInternalZQLError);
    }
    // Taken as they are: the writer already folded a regular body.
    delimited_ = flag ? kZqlTrue : kZqlFalse;
    charSet_ = charSet;
    body_ = body;
    return 1;
  });
}
