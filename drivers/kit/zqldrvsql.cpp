// SQL text helpers shared by the drivers: see zqldrvsql.h.

#include "zqldrvsql.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "zqlsbase.h"
#include "zqltry.h"

namespace {

bool IsHigh(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }

void PutUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 character at s[i] (n bytes in all): its code point and
// byte count, or false (one bad byte) for anything that is not UTF-8.
bool DecodeUtf8(const unsigned char* s, size_t n, size_t i, uint32_t* c, size_t* len) {
  const unsigned b = s[i];
  size_t need;
  uint32_t min;
  if (b < 0x80) {
    *c = b;
    *len = 1;
    return true;
  } else if ((b & 0xE0) == 0xC0) {
    need = 2, min = 0x80, *c = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    need = 3, min = 0x800, *c = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    need = 4, min = 0x10000, *c = b & 0x07;
  } else {
    return false;
  }
  if (i + need > n) return false;
  for (size_t k = 1; k < need; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return false;
    *c = (*c << 6) | (s[i + k] & 0x3F);
  }
  if (*c < min || *c > 0x10FFFF || (*c >= 0xD800 && *c <= 0xDFFF)) return false;
  *len = need;
  return true;
}

bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The end of a literal quoted by q starting at i (the opening quote); a
// doubled quote stays inside. n when unterminated.
size_t QuotedEnd(const std::string& s, size_t i, char q, bool* unterminated,
                 bool backslash = false) {
  for (size_t k = i + 1; k < s.size(); ++k) {
    if (backslash && s[k] == '\\') {  // E'..': a backslash escapes the next byte
      ++k;
      continue;
    }
    if (s[k] != q) continue;
    if (k + 1 < s.size() && s[k + 1] == q) {
      ++k;
      continue;
    }
    return k + 1;
  }
  *unterminated = true;
  return s.size();
}

}  // namespace

// ---------------------------------------------------------------------------
// UTF-8 and 16-bit Unicode
// ---------------------------------------------------------------------------

bool ZqlDrvUtf16ToUtf8(const unsigned short* u, size_t n, std::string* out) {
  out->clear();
  out->reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const unsigned c = u[i];
    if (IsHigh(c)) {
      if (i + 1 >= n || !IsLow(u[i + 1])) return false;
      PutUtf8(0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00), out);
      ++i;
    } else if (IsLow(c)) {
      return false;
    } else {
      PutUtf8(c, out);
    }
  }
  return true;
}

bool ZqlDrvToUtf8(const CZqlUcStr& s, std::string* out) {
  return ZqlDrvUtf16ToUtf8(s.UcStr(), static_cast<size_t>(s.Length()), out);
}

bool ZqlDrvUtf8ToUtf16(const char* s, size_t n, std::vector<unsigned short>* out) {
  out->clear();
  out->reserve(n);
  const auto* b = reinterpret_cast<const unsigned char*>(s);
  bool good = true;
  for (size_t i = 0; i < n;) {
    if (b[i] < 0x80) {  // most text is ASCII
      out->push_back(b[i++]);
      continue;
    }
    uint32_t c;
    size_t len;
    if (!DecodeUtf8(b, n, i, &c, &len)) {
      out->push_back(0xFFFD);
      good = false;
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(static_cast<unsigned short>(0xD800 + (c >> 10)));
      out->push_back(static_cast<unsigned short>(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(static_cast<unsigned short>(c));
    }
    i += len;
  }
  return good;
}

namespace {

// The units of the last conversion, kept for the next: a driver converts
// every text value it delivers.
thread_local std::vector<unsigned short> tUnits;

// Gives back the storage of a rare long text.
void TrimUnits() {
  if (tUnits.capacity() > (1u << 16)) std::vector<unsigned short>().swap(tUnits);
}

}  // namespace

bool ZqlDrvUtf8ToUcStr(const char* s, size_t n, CZqlUcStr* out) {
  std::vector<unsigned short>& units = tUnits;
  const bool good = ZqlDrvUtf8ToUtf16(s, n, &units);
  out->Clear();
  if (!units.empty()) out->Copy(units.data(), static_cast<int>(units.size()));
  TrimUnits();
  return good;
}

size_t ZqlDrvStoreUtf8(CZqlData* out, const char* s, size_t n) {
  std::vector<unsigned short>& units = tUnits;
  ZqlDrvUtf8ToUtf16(s, n, &units);
  const size_t count = units.size();
  if (count <= out->Length()) {
    units.push_back(0);
    out->storeValue(units.data());
  }
  TrimUnits();
  return count;
}

int32_t ZqlDrvUnitsBefore(const std::string& utf8, size_t byteOffset) {
  const size_t end = byteOffset < utf8.size() ? byteOffset : utf8.size();
  const auto* b = reinterpret_cast<const unsigned char*>(utf8.data());
  int32_t units = 0;
  for (size_t i = 0; i < end;) {
    uint32_t c;
    size_t len;
    if (!DecodeUtf8(b, utf8.size(), i, &c, &len)) len = 1, c = 0xFFFD;
    units += c >= 0x10000 ? 2 : 1;
    i += len;
  }
  return units;
}

// ---------------------------------------------------------------------------
// Scanner
// ---------------------------------------------------------------------------

SZqlSqlScan ZqlDrvScan(const std::string& s, const SZqlSqlDialect& d) {
  SZqlSqlScan scan;
  scan.hasNul = std::memchr(s.data(), '\0', s.size()) != nullptr;
  const size_t n = s.size();
  bool inStatement = false;
  auto add = [&](EZqlSqlToken kind, size_t b, size_t e) {
    scan.tokens.push_back(SZqlSqlToken{kind, b, e});
    if (kind == EZqlSqlToken::kSemicolon) {
      inStatement = false;
    } else if (!inStatement) {
      inStatement = true;
      ++scan.statements;
    }
  };
  size_t i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const unsigned char next = i + 1 < n ? static_cast<unsigned char>(s[i + 1]) : 0;
    if (std::isspace(c) || c == '\0') {
      ++i;
    } else if (c == '-' && next == '-') {
      while (i < n && s[i] != '\n') ++i;
    } else if (c == '/' && next == '*') {
      int depth = 1;
      i += 2;
      while (i < n && depth > 0) {
        if (s[i] == '*' && i + 1 < n && s[i + 1] == '/') {
          --depth;
          i += 2;
        } else if (d.nestedComments && s[i] == '/' && i + 1 < n && s[i + 1] == '*') {
          ++depth;
          i += 2;
        } else {
          ++i;
        }
      }
      if (depth > 0) scan.unterminated = true;
    } else if (c == '\'') {
      const size_t e = QuotedEnd(s, i, '\'', &scan.unterminated);
      add(EZqlSqlToken::kString, i, e);
      i = e;
    } else if ((c == 'x' || c == 'X' || c == 'e' || c == 'E' || c == 'b' || c == 'B' ||
                c == 'n' || c == 'N') && next == '\'') {
      const bool escapes = d.dollarQuotes && (c == 'e' || c == 'E');  // PostgreSQL's E strings
      const size_t e = QuotedEnd(s, i + 1, '\'', &scan.unterminated, escapes);
      add(EZqlSqlToken::kString, i, e);
      i = e;
    } else if (c == '"' || (d.brackets && c == '`')) {
      const size_t e = QuotedEnd(s, i, static_cast<char>(c), &scan.unterminated);
      add(EZqlSqlToken::kQuoted, i, e);
      i = e;
    } else if (d.brackets && c == '[') {
      const size_t close = s.find(']', i + 1);
      const size_t e = close == std::string::npos ? n : close + 1;
      if (close == std::string::npos) scan.unterminated = true;
      add(EZqlSqlToken::kQuoted, i, e);
      i = e;
    } else if (d.dollarQuotes && c == '$' && (next == '$' || IsWordStart(next))) {
      // $tag$ ... $tag$ when a second '$' closes the tag; else $name.
      size_t t = i + 1;
      while (t < n && IsWordChar(static_cast<unsigned char>(s[t])) && s[t] != '$') ++t;
      if (t < n && s[t] == '$') {
        const std::string tag = s.substr(i, t - i + 1);
        const size_t close = s.find(tag, t + 1);
        const size_t e = close == std::string::npos ? n : close + tag.size();
        if (close == std::string::npos) scan.unterminated = true;
        add(EZqlSqlToken::kString, i, e);
        i = e;
      } else {
        add(d.atDollarNames ? EZqlSqlToken::kPlaceholder : EZqlSqlToken::kOther, i, t);
        i = t;
      }
    } else if (c == '$' && std::isdigit(next)) {
      size_t e = i + 1;
      while (e < n && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
      add(d.dollarQuotes ? EZqlSqlToken::kPlaceholder : EZqlSqlToken::kOther, i, e);
      i = e;
    } else if (c == '?') {
      size_t e = i + 1;
      while (e < n && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
      add(EZqlSqlToken::kPlaceholder, i, e);
      i = e;
    } else if (c == ':' && next == ':') {
      add(EZqlSqlToken::kOther, i, i + 2);
      i += 2;
    } else if (((c == ':' && d.colonNames) || ((c == '@' || c == '$') && d.atDollarNames)) &&
               IsWordStart(next)) {
      size_t e = i + 1;
      while (e < n && IsWordChar(static_cast<unsigned char>(s[e]))) ++e;
      add(EZqlSqlToken::kPlaceholder, i, e);
      i = e;
    } else if (std::isdigit(c) || (c == '.' && std::isdigit(next))) {
      size_t e = i;
      while (e < n && (std::isalnum(static_cast<unsigned char>(s[e])) || s[e] == '.' ||
                       ((s[e] == '+' || s[e] == '-') && (s[e - 1] == 'e' || s[e - 1] == 'E'))))
        ++e;
      add(EZqlSqlToken::kNumber, i, e);
      i = e;
    } else if (IsWordStart(c)) {
      size_t e = i + 1;
      while (e < n && IsWordChar(static_cast<unsigned char>(s[e]))) ++e;
      add(EZqlSqlToken::kWord, i, e);
      i = e;
    } else if (c == ';') {
      add(EZqlSqlToken::kSemicolon, i, i + 1);
      ++i;
    } else {
      add(EZqlSqlToken::kOther, i, i + 1);
      ++i;
    }
  }
  return scan;
}

std::string ZqlDrvTokenText(const std::string& utf8, const SZqlSqlToken& t) {
  return utf8.substr(t.begin, t.end - t.begin);
}

bool ZqlDrvIsWord(const std::string& utf8, const SZqlSqlToken& t, const char* keyword) {
  const size_t n = std::strlen(keyword);
  if (t.kind != EZqlSqlToken::kWord || t.end - t.begin != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(utf8[t.begin + i])) !=
        std::toupper(static_cast<unsigned char>(keyword[i])))
      return false;
  }
  return true;
}

std::string ZqlDrvIdentBody(const std::string& utf8, const SZqlSqlToken& t) {
  if (t.kind == EZqlSqlToken::kWord) return Upper(ZqlDrvTokenText(utf8, t));
  if (t.kind != EZqlSqlToken::kQuoted || t.end - t.begin < 2) return std::string();
  const char open = utf8[t.begin];
  const char close = open == '[' ? ']' : open;
  const size_t last = utf8[t.end - 1] == close ? t.end - 1 : t.end;  // unterminated: to the end
  std::string body;
  for (size_t i = t.begin + 1; i < last; ++i) {
    body.push_back(utf8[i]);
    if (utf8[i] == close && open != '[' && i + 1 < last && utf8[i + 1] == close) ++i;
  }
  return body;
}

bool ZqlDrvFindCurrentOf(const std::string& utf8, const SZqlSqlScan& scan, SZqlCurrentOf* out) {
  size_t n = scan.tokens.size();
  while (n > 0 && scan.tokens[n - 1].kind == EZqlSqlToken::kSemicolon) --n;
  if (n < 4) return false;
  const SZqlSqlToken* t = &scan.tokens[n - 4];
  if (!ZqlDrvIsWord(utf8, t[0], "WHERE") || !ZqlDrvIsWord(utf8, t[1], "CURRENT") ||
      !ZqlDrvIsWord(utf8, t[2], "OF"))
    return false;
  if (t[3].kind != EZqlSqlToken::kWord && t[3].kind != EZqlSqlToken::kQuoted) return false;
  out->whereBegin = t[0].begin;
  out->nameEnd = t[3].end;
  out->name = ZqlDrvIdentBody(utf8, t[3]);
  return true;
}

// ---------------------------------------------------------------------------
// Statements
// ---------------------------------------------------------------------------

EZqlStatement ZqlDrvStatementType(const std::string& s, const SZqlSqlScan& scan) {
  const auto& t = scan.tokens;
  auto word = [&](size_t i, const char* k) { return i < t.size() && ZqlDrvIsWord(s, t[i], k); };
  if (t.empty()) return kZqlStmUndefined;
  SZqlCurrentOf current;
  const bool positioned = ZqlDrvFindCurrentOf(s, scan, &current);
  if (word(0, "SELECT") || word(0, "VALUES") || word(0, "WITH") || t[0].kind == EZqlSqlToken::kOther) {
    // WITH ... may lead to INSERT, UPDATE or DELETE: the first of those
    // words outside parentheses decides.
    if (word(0, "WITH")) {
      int depth = 0;
      for (size_t i = 1; i < t.size(); ++i) {
        const char c = t[i].kind == EZqlSqlToken::kOther ? s[t[i].begin] : 0;
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (depth != 0) continue;
        if (word(i, "INSERT") || word(i, "REPLACE")) return kZqlStmInsert;
        if (word(i, "UPDATE")) return kZqlStmUpdateWhere;
        if (word(i, "DELETE")) return kZqlStmDeleteWhere;
        if (word(i, "SELECT") || word(i, "VALUES")) return kZqlStmSelect;
      }
      return kZqlStmUndefined;
    }
    return t[0].kind == EZqlSqlToken::kOther ? (s[t[0].begin] == '(' ? kZqlStmSelect : kZqlStmUndefined)
                                             : kZqlStmSelect;
  }
  if (word(0, "INSERT") || word(0, "REPLACE")) return kZqlStmInsert;
  if (word(0, "UPDATE")) return positioned ? kZqlStmUpdateCursor : kZqlStmUpdateWhere;
  if (word(0, "DELETE")) return positioned ? kZqlStmDeleteCursor : kZqlStmDeleteWhere;
  if (word(0, "COMMIT") || word(0, "END")) return kZqlStmCommit;
  if (word(0, "ROLLBACK")) return kZqlStmRollback;
  if (word(0, "GRANT")) return kZqlStmGrant;
  if (word(0, "REVOKE")) return kZqlStmRevoke;
  size_t k = 1;  // the object word after CREATE / DROP / ALTER and their options
  auto skip = [&](std::initializer_list<const char*> words) {
    for (bool again = true; again;) {
      again = false;
      for (const char* w : words)
        if (word(k, w)) ++k, again = true;
    }
  };
  if (word(0, "CREATE")) {
    skip({"OR", "REPLACE", "TEMP", "TEMPORARY", "UNIQUE", "GLOBAL", "LOCAL", "VIRTUAL",
          "UNLOGGED", "MATERIALIZED"});
    if (word(k, "TABLE")) return kZqlStmCreateTable;
    if (word(k, "VIEW")) return kZqlStmCreateView;
    if (word(k, "INDEX")) return kZqlStmCreateIndex;
    if (word(k, "SCHEMA")) return kZqlStmCreateSchema;
    if (word(k, "DOMAIN")) return kZqlStmCreateDomain;
    if (word(k, "ASSERTION")) return kZqlStmCreateAssertion;
    if (word(k, "COLLATION")) return kZqlStmCreateCollation;
    return kZqlStmUndefined;
  }
  if (word(0, "DROP")) {
    if (word(1, "TABLE")) return kZqlStmDropTable;
    if (word(1, "VIEW")) return kZqlStmDropView;
    if (word(1, "INDEX")) return kZqlStmDropIndex;
    if (word(1, "SCHEMA")) return kZqlStmDropSchema;
    if (word(1, "DOMAIN")) return kZqlStmDropDomain;
    if (word(1, "ASSERTION")) return kZqlStmDropAssertion;
    if (word(1, "COLLATION")) return kZqlStmDropCollation;
    return kZqlStmUndefined;
  }
  if (word(0, "ALTER")) {
    if (word(1, "TABLE")) return kZqlStmAlterTable;
    if (word(1, "DOMAIN")) return kZqlStmAlterDomain;
    return kZqlStmUndefined;
  }
  if (word(0, "SET")) {
    if (word(1, "CATALOG")) return kZqlStmSetCatalog;
    if (word(1, "SCHEMA")) return kZqlStmSetSchema;
    if (word(1, "TIME")) return kZqlStmSetTimeZone;
    if (word(1, "NAMES")) return kZqlStmSetNames;
    if (word(1, "TRANSACTION")) return kZqlStmSetTransaction;
    if (word(1, "CONSTRAINTS")) return kZqlStmSetConstraint;
    if (word(1, "SESSION")) return kZqlStmSetAuthorization;
  }
  return kZqlStmUndefined;
}

namespace {

// The value of a string literal token without its quotes, doubled quotes
// made single.
std::string LiteralValue(const std::string& s, const SZqlSqlToken& t) {
  std::string v;
  if (t.kind != EZqlSqlToken::kString || t.end - t.begin < 2 || s[t.begin] != '\'') return v;
  for (size_t i = t.begin + 1; i + 1 < t.end; ++i) {
    v.push_back(s[i]);
    if (s[i] == '\'' && s[i + 1] == '\'') ++i;
  }
  return v;
}

// SET TRANSACTION's modes: comma-separated, from token k on.
void TransactionModes(const std::string& s, const SZqlSqlScan& scan, size_t k, SZqlSessionText* r) {
  const auto& t = scan.tokens;
  auto word = [&](size_t i, const char* w) { return i < t.size() && ZqlDrvIsWord(s, t[i], w); };
  size_t n = t.size();
  while (n > 0 && t[n - 1].kind == EZqlSqlToken::kSemicolon) --n;
  while (k < n) {
    if (word(k, "READ") && word(k + 1, "ONLY")) {
      r->readOnly = true, k += 2;
    } else if (word(k, "READ") && word(k + 1, "WRITE")) {
      r->readWrite = true, k += 2;
    } else if (word(k, "ISOLATION") && word(k + 1, "LEVEL")) {
      k += 2;
      if (word(k, "READ") && word(k + 1, "UNCOMMITTED")) {
        r->isolation = 1, k += 2;
      } else if (word(k, "READ") && word(k + 1, "COMMITTED")) {
        r->isolation = 2, k += 2;
      } else if (word(k, "REPEATABLE") && word(k + 1, "READ")) {
        r->isolation = 3, k += 2;
      } else if (word(k, "SERIALIZABLE")) {
        r->isolation = 4, k += 1;
      } else {
        r->kind = EZqlSessionStm::kMalformed;
        return;
      }
    } else if (word(k, "DIAGNOSTICS") && word(k + 1, "SIZE") && k + 2 < n &&
               t[k + 2].kind == EZqlSqlToken::kNumber) {
      r->diagnostics = static_cast<int32_t>(std::strtol(ZqlDrvTokenText(s, t[k + 2]).c_str(), nullptr, 10));
      k += 3;
    } else {
      r->kind = EZqlSessionStm::kMalformed;
      return;
    }
    if (k < n) {
      if (t[k].kind != EZqlSqlToken::kOther || s[t[k].begin] != ',' || k + 1 == n) {
        r->kind = EZqlSessionStm::kMalformed;
        return;
      }
      ++k;
    }
  }
  if (r->readOnly && r->readWrite) r->kind = EZqlSessionStm::kMalformed;
}

}  // namespace

SZqlSessionText ZqlDrvParseSession(const std::string& s, const SZqlSqlScan& scan) {
  SZqlSessionText r;
  const auto& t = scan.tokens;
  size_t n = t.size();
  while (n > 0 && t[n - 1].kind == EZqlSqlToken::kSemicolon) --n;
  auto word = [&](size_t i, const char* w) { return i < n && ZqlDrvIsWord(s, t[i], w); };
  if (scan.statements != 1 || n == 0) return r;
  if (word(0, "COMMIT") || word(0, "ROLLBACK")) {
    if (n == 1 || (n == 2 && word(1, "WORK")))
      r.kind = word(0, "COMMIT") ? EZqlSessionStm::kCommit : EZqlSessionStm::kRollback;
    return r;
  }
  if (!word(0, "SET")) return r;
  // SET <keyword> '<value>' for the name-setting statements.
  auto named = [&](size_t k, EZqlSessionStm kind) {
    if (n == k + 1 && t[k].kind == EZqlSqlToken::kString) {
      r.kind = kind;
      r.value = LiteralValue(s, t[k]);
    } else if (n == k + 1 && (t[k].kind == EZqlSqlToken::kWord || t[k].kind == EZqlSqlToken::kQuoted)) {
      r.kind = kind;
      r.value = ZqlDrvIdentBody(s, t[k]);
    } else {
      r.kind = EZqlSessionStm::kMalformed;
    }
  };
  if (word(1, "TRANSACTION")) {
    r.kind = EZqlSessionStm::kSetTransaction;
    TransactionModes(s, scan, 2, &r);
  } else if (word(1, "CONSTRAINTS")) {
    r.kind = EZqlSessionStm::kSetConstraints;
    if (n < 4 || !(word(n - 1, "DEFERRED") || word(n - 1, "IMMEDIATE"))) {
      r.kind = EZqlSessionStm::kMalformed;
      return r;
    }
    r.deferred = word(n - 1, "DEFERRED");
    r.allConstraints = n == 4 && word(2, "ALL");
  } else if (word(1, "CATALOG")) {
    named(2, EZqlSessionStm::kSetCatalog);
  } else if (word(1, "SCHEMA")) {
    named(2, EZqlSessionStm::kSetSchema);
  } else if (word(1, "NAMES")) {
    named(2, EZqlSessionStm::kSetNames);
  } else if (word(1, "SESSION") && word(2, "AUTHORIZATION")) {
    named(3, EZqlSessionStm::kSetAuthorization);
  } else if (word(1, "TIME") && word(2, "ZONE")) {
    if (n == 4 && word(3, "LOCAL")) {
      r.kind = EZqlSessionStm::kSetTimeZone;
      r.value = "LOCAL";
    } else if (n >= 4) {
      r.kind = EZqlSessionStm::kSetTimeZone;
      r.value = s.substr(t[3].begin, t[n - 1].end - t[3].begin);
    } else {
      r.kind = EZqlSessionStm::kMalformed;
    }
  }
  return r;
}

// ---------------------------------------------------------------------------
// DBMS name text and diagnostics
// ---------------------------------------------------------------------------

std::string ZqlDrvDbmsName(const std::string& lead, const std::string& dbms,
                           const std::string& code, const std::string& object,
                           const std::string& message) {
  auto field = [](std::string v) {
    for (char& c : v)
      if (c == '-') c = '_';
    return v;
  };
  std::string out = lead.substr(0, 14);
  out.resize(14, ' ');
  out += field(dbms) + "-" + field(code) + "-" + field(object) + "-" + message;
  return out;
}

int32_t ZqlDrvCondition(CZqlDDA* dda, int32_t code, const std::string& message,
                        const std::string& table) {
  if (dda == nullptr) return code;
  ZqlTry([&] {
    dda->setErr(static_cast<EZqlError>(code));
    CZqlUcStr text;
    if (!message.empty()) {
      ZqlDrvUtf8ToUcStr(message.data(), message.size(), &text);
      dda->setErrMsg(text);
    }
    if (!table.empty()) {
      CZqlUcStr name;
      ZqlDrvUtf8ToUcStr(table.data(), table.size(), &name);
      dda->setDiagPar(kZqlDiagTableName, name);
    }
    dda->PushCond();
  });
  return code;
}

// ---------------------------------------------------------------------------
// ISO transactions
// ---------------------------------------------------------------------------

bool CZqlIsoTx::On(EZqlTxEvent event, bool* impossible) {
  bool wrong = false;
  bool begin = false;
  switch (state_) {
    case EZqlTxState::kIdle:
      if (event == EZqlTxEvent::kStatement) begin = true;
      if (event == EZqlTxEvent::kBegun) state_ = EZqlTxState::kOpen;
      break;
    case EZqlTxState::kOpen:
      if (event == EZqlTxEvent::kBegun) wrong = true;
      if (event == EZqlTxEvent::kEnded) state_ = EZqlTxState::kIdle;
      break;
    case EZqlTxState::kAuto:
      if (event == EZqlTxEvent::kBegun) wrong = true;
      break;
  }
  if (impossible != nullptr) *impossible = wrong;
  return begin;
}
