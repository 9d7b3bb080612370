// Scans of the client's SQL text.

#include "pgsql.h"

#include <cctype>
#include <cstring>

#include "zqldrvsql.h"

namespace zqlpg {

namespace {

// The shared scanner under PostgreSQL's rules: $tag$ strings, $n
// placeholders, nested comments; no :name placeholders (a[1:2] is a slice).
SZqlSqlDialect Dialect() {
  SZqlSqlDialect d;
  d.dollarQuotes = true;
  d.nestedComments = true;
  d.colonNames = false;
  return d;
}

// A token with the parentheses around it.
struct SToken {
  size_t pos;
  size_t len;
  int depth;
  bool word;
  std::string upper;  // a word in upper case, else the token's text
};

std::vector<SToken> Tokens(const std::string& s) {
  std::vector<SToken> out;
  int depth = 0;
  for (const SZqlSqlToken& t : ZqlDrvScan(s, Dialect()).tokens) {
    std::string text = s.substr(t.begin, t.end - t.begin);
    const bool word = t.kind == EZqlSqlToken::kWord;
    if (word)
      for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (text == ")") --depth;
    out.push_back({t.begin, t.end - t.begin, depth, word || t.kind == EZqlSqlToken::kQuoted, text});
    if (text == "(") ++depth;
  }
  return out;
}

bool Is(const std::vector<SToken>& t, size_t i, const char* word) {
  return i < t.size() && t[i].upper == word;
}

// A name: a word or quoted identifier, optionally qualified. Answers the
// index after it, or i when there is none.
size_t Name(const std::vector<SToken>& t, size_t i) {
  if (i >= t.size() || !t[i].word) return i;
  size_t k = i + 1;
  while (Is(t, k, ".") && k + 1 < t.size() && t[k + 1].word) k += 2;
  return k;
}

}  // namespace

int SPgText::ClientPosition(int serverPosition) const {
  // Character serverPosition - 1 of sent, as a byte offset.
  size_t byte = 0;
  for (int chars = 1; byte < sent.size() && chars < serverPosition; ++chars) {
    ++byte;
    while (byte < sent.size() && (static_cast<unsigned char>(sent[byte]) & 0xC0) == 0x80) ++byte;
  }
  const size_t clientByte = byte < map.size() ? static_cast<size_t>(map[byte]) : client.size();
  return ZqlDrvUnitsBefore(client, clientByte) + 1;
}

EZqlStatement StatementTypeOf(const std::string& sql) {
  return ZqlDrvStatementType(sql, ZqlDrvScan(sql, Dialect()));
}

SZqlSessionText SessionTextOf(const std::string& sql) {
  return ZqlDrvParseSession(sql, ZqlDrvScan(sql, Dialect()));
}

bool IsBlank(const std::string& sql) { return ZqlDrvScan(sql, Dialect()).tokens.empty(); }

SPgText WithNumberedPlaceholders(const std::string& sql) {
  SPgText out;
  out.client = sql;
  size_t from = 0;
  int n = 0;
  auto copy = [&](size_t to) {
    for (size_t i = from; i < to; ++i) {
      out.sent += sql[i];
      out.map.push_back(static_cast<int>(i));
    }
    from = to;
  };
  for (const SToken& tok : Tokens(sql)) {
    if (tok.upper[0] != '?') continue;
    copy(tok.pos);
    // ?NNN names parameter NNN; a bare ? the next one.
    const std::string number = "$" + (tok.len > 1 ? tok.upper.substr(1) : std::to_string(n + 1));
    ++n;
    for (char ch : number) {
      out.sent += ch;
      out.map.push_back(static_cast<int>(tok.pos));
    }
    from = tok.pos + tok.len;
  }
  copy(sql.size());
  out.map.push_back(static_cast<int>(sql.size()));
  return out;
}

size_t FindCurrentOf(const std::string& sql, std::string* name) {
  SZqlCurrentOf found;
  if (!ZqlDrvFindCurrentOf(sql, ZqlDrvScan(sql, Dialect()), &found)) return std::string::npos;
  *name = found.name;
  return found.whereBegin;
}

size_t FindForUpdate(const std::string& sql) {
  const std::vector<SToken> t = Tokens(sql);
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i].depth != 0 || !Is(t, i, "FOR") || !Is(t, i + 1, "UPDATE")) continue;
    size_t k = i + 2;
    if (Is(t, k, "OF")) {
      k = Name(t, k + 1);
      while (Is(t, k, ",")) k = Name(t, k + 1);
    }
    if (Is(t, k, ";")) ++k;
    if (k == t.size()) return t[i].pos;
  }
  return std::string::npos;
}

bool SingleTable(const std::string& sql, std::string* table) {
  const std::vector<SToken> t = Tokens(sql);
  size_t i = 0;
  if (!Is(t, i, "SELECT") || Is(t, 1, "DISTINCT")) return false;
  for (; i < t.size(); ++i)
    if (t[i].depth == 0 && Is(t, i, "FROM")) break;
  if (i == t.size()) return false;
  const size_t end = Name(t, i + 1);
  if (end == i + 1) return false;
  *table = sql.substr(t[i + 1].pos, t[end - 1].pos + t[end - 1].len - t[i + 1].pos);
  size_t k = end;
  if (Is(t, k, "AS")) ++k;
  static const char* const kEnds[] = {"WHERE", "ORDER", "LIMIT", "OFFSET", "FETCH", ";"};
  auto ends = [&](size_t j) {
    if (j == t.size()) return true;
    for (const char* e : kEnds)
      if (Is(t, j, e)) return true;
    return false;
  };
  if (!ends(k) && t[k].word) ++k;  // an alias
  if (!ends(k)) return false;
  for (size_t j = k; j < t.size(); ++j)
    if (t[j].depth == 0 && (Is(t, j, "GROUP") || Is(t, j, "HAVING") || Is(t, j, "UNION") ||
                            Is(t, j, "INTERSECT") || Is(t, j, "EXCEPT")))
      return false;
  return true;
}

std::string WithHiddenColumns(const std::string& sql, const std::string& columns) {
  const std::vector<SToken> t = Tokens(sql);
  for (const SToken& tok : t)
    if (tok.depth == 0 && tok.upper == "FROM")
      return sql.substr(0, tok.pos) + columns.substr(0) + " " + sql.substr(tok.pos);
  return sql;
}

std::string WithByteaLiterals(const std::string& sql) {
  std::string out;
  size_t done = 0;
  for (const SZqlSqlToken& t : ZqlDrvScan(sql, Dialect()).tokens) {
    if (t.kind != EZqlSqlToken::kString || t.end - t.begin < 3 || (sql[t.begin] != 'X' && sql[t.begin] != 'x') ||
        sql[t.begin + 1] != '\'')
      continue;
    out.append(sql, done, t.begin - done);
    out += "'\\x";
    out.append(sql, t.begin + 2, t.end - t.begin - 2);
    done = t.end;
  }
  out.append(sql, done, std::string::npos);
  return out;
}

}  // namespace zqlpg
