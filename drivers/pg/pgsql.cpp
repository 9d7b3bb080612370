// Scans of the client's SQL text.

#include "pgsql.h"

#include <cctype>
#include <cstring>

namespace zqlpg {

namespace {

// One token of the text outside literals and comments.
struct SToken {
  size_t pos;
  size_t len;
  int depth;         // parentheses around it
  bool word;         // a keyword or regular identifier
  bool quoted;       // a quoted identifier or a literal
  std::string upper;  // a word in upper case, else the token's text
};

bool WordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }

// The end of a dollar quote's opening tag at i ("$tag$" or "$$"), or 0.
size_t DollarTag(const std::string& s, size_t i) {
  size_t j = i + 1;
  while (j < s.size() && (std::isalpha(static_cast<unsigned char>(s[j])) || s[j] == '_' ||
                          (j > i + 1 && std::isdigit(static_cast<unsigned char>(s[j])))))
    ++j;
  return j < s.size() && s[j] == '$' ? j + 1 : 0;
}

std::vector<SToken> Tokens(const std::string& s) {
  std::vector<SToken> out;
  int depth = 0;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      int nest = 0;
      do {
        if (s.compare(i, 2, "/*") == 0) {
          ++nest;
          i += 2;
        } else if (s.compare(i, 2, "*/") == 0) {
          --nest;
          i += 2;
        } else {
          ++i;
        }
      } while (i < s.size() && nest > 0);
    } else if (c == '\'' || c == '"' ||
               ((c == 'E' || c == 'e') && i + 1 < s.size() && s[i + 1] == '\'' &&
                (i == 0 || !WordChar(static_cast<unsigned char>(s[i - 1]))))) {
      const size_t start = i;
      const bool escapes = c == 'E' || c == 'e';
      if (escapes) ++i;
      const char quote = s[i++];
      while (i < s.size()) {
        if (escapes && s[i] == '\\') {
          i += 2;
          continue;
        }
        if (s[i] == quote) {
          if (i + 1 < s.size() && s[i + 1] == quote) {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      if (i > s.size()) i = s.size();
      out.push_back({start, i - start, depth, false, true, s.substr(start, i - start)});
    } else if (c == '$' && DollarTag(s, i) != 0) {
      const size_t start = i, open = DollarTag(s, i);
      const std::string tag = s.substr(i, open - i);
      const size_t close = s.find(tag, open);
      i = close == std::string::npos ? s.size() : close + tag.size();
      out.push_back({start, i - start, depth, false, true, s.substr(start, i - start)});
    } else if (WordChar(c)) {
      const size_t start = i;
      while (i < s.size() && WordChar(static_cast<unsigned char>(s[i]))) ++i;
      std::string upper = s.substr(start, i - start);
      for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      out.push_back({start, i - start, depth, true, false, upper});
    } else {
      if (c == ')') --depth;
      out.push_back({i, 1, depth, false, false, std::string(1, static_cast<char>(c))});
      if (c == '(') ++depth;
      ++i;
    }
  }
  return out;
}

bool Is(const std::vector<SToken>& t, size_t i, const char* word) {
  return i < t.size() && t[i].upper == word && !t[i].quoted;
}

// A name: a word or quoted identifier, optionally qualified. Answers the
// index after it, or i when there is none.
size_t Name(const std::vector<SToken>& t, size_t i) {
  auto part = [&](size_t k) { return k < t.size() && (t[k].word || (t[k].quoted && t[k].upper[0] == '"')); };
  if (!part(i)) return i;
  size_t k = i + 1;
  while (Is(t, k, ".") && part(k + 1)) k += 2;
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
  const size_t clientByte =
      byte < map.size() ? static_cast<size_t>(map[byte]) : client.size();
  int units = 0;
  for (size_t i = 0; i < clientByte && i < client.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(client[i]);
    if ((ch & 0xC0) != 0x80) units += ch >= 0xF0 ? 2 : 1;  // beyond the BMP: a pair
  }
  return units + 1;
}

EZqlStatement StatementTypeOf(const std::string& sql) {
  const std::vector<SToken> t = Tokens(sql);
  size_t i = 0;
  while (i < t.size() && t[i].upper == "(") ++i;
  if (Is(t, i, "SELECT") || Is(t, i, "WITH") || Is(t, i, "VALUES") || Is(t, i, "TABLE"))
    return kZqlStmSelect;
  if (Is(t, i, "INSERT")) return kZqlStmInsert;
  if (Is(t, i, "UPDATE")) return kZqlStmUpdateWhere;
  if (Is(t, i, "DELETE")) return kZqlStmDeleteWhere;
  if (Is(t, i, "COMMIT")) return kZqlStmCommit;
  if (Is(t, i, "ROLLBACK")) return kZqlStmRollback;
  if (Is(t, i, "GRANT")) return kZqlStmGrant;
  if (Is(t, i, "REVOKE")) return kZqlStmRevoke;
  if (Is(t, i, "SET")) {
    if (Is(t, i + 1, "TRANSACTION")) return kZqlStmSetTransaction;
    if (Is(t, i + 1, "CONSTRAINTS")) return kZqlStmSetConstraint;
    if (Is(t, i + 1, "CATALOG")) return kZqlStmSetCatalog;
    if (Is(t, i + 1, "SCHEMA")) return kZqlStmSetSchema;
    if (Is(t, i + 1, "NAMES")) return kZqlStmSetNames;
    if (Is(t, i + 1, "TIME") && Is(t, i + 2, "ZONE")) return kZqlStmSetTimeZone;
    if (Is(t, i + 1, "SESSION") && Is(t, i + 2, "AUTHORIZATION")) return kZqlStmSetAuthorization;
    return kZqlStmUndefined;
  }
  const bool create = Is(t, i, "CREATE"), drop = Is(t, i, "DROP"), alter = Is(t, i, "ALTER");
  if (!create && !drop && !alter) return kZqlStmUndefined;
  size_t k = i + 1;
  while (Is(t, k, "UNIQUE") || Is(t, k, "TEMPORARY") || Is(t, k, "TEMP") || Is(t, k, "OR") ||
         Is(t, k, "REPLACE") || Is(t, k, "GLOBAL") || Is(t, k, "LOCAL"))
    ++k;
  struct SKind {
    const char* word;
    EZqlStatement create, drop, alter;
  };
  static const SKind kinds[] = {
      {"TABLE", kZqlStmCreateTable, kZqlStmDropTable, kZqlStmAlterTable},
      {"VIEW", kZqlStmCreateView, kZqlStmDropView, kZqlStmUndefined},
      {"INDEX", kZqlStmCreateIndex, kZqlStmDropIndex, kZqlStmUndefined},
      {"SCHEMA", kZqlStmCreateSchema, kZqlStmDropSchema, kZqlStmUndefined},
      {"DOMAIN", kZqlStmCreateDomain, kZqlStmDropDomain, kZqlStmAlterDomain},
      {"COLLATION", kZqlStmCreateCollation, kZqlStmDropCollation, kZqlStmUndefined},
  };
  for (const SKind& kind : kinds)
    if (Is(t, k, kind.word)) return create ? kind.create : drop ? kind.drop : kind.alter;
  return kZqlStmUndefined;
}

bool IsBlank(const std::string& sql) { return Tokens(sql).empty(); }

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
    if (tok.upper != "?") continue;
    copy(tok.pos);
    const std::string number = "$" + std::to_string(++n);
    for (char ch : number) {
      out.sent += ch;
      out.map.push_back(static_cast<int>(tok.pos));
    }
    from = tok.pos + 1;
  }
  copy(sql.size());
  out.map.push_back(static_cast<int>(sql.size()));
  return out;
}

size_t FindCurrentOf(const std::string& sql, std::string* name) {
  const std::vector<SToken> t = Tokens(sql);
  for (size_t i = 0; i + 3 < t.size(); ++i) {
    if (t[i].depth != 0 || !Is(t, i, "WHERE") || !Is(t, i + 1, "CURRENT") || !Is(t, i + 2, "OF"))
      continue;
    const size_t end = Name(t, i + 3);
    if (end != i + 4 || (end < t.size() && !(Is(t, end, ";") && end + 1 == t.size()))) continue;
    *name = SqlNameOf(sql.substr(t[i + 3].pos, t[i + 3].len));
    return t[i].pos;
  }
  return std::string::npos;
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
  if (!Is(t, 0, "SELECT")) return sql;
  const size_t at = t[0].pos + t[0].len;
  return sql.substr(0, at) + " " + columns + sql.substr(at);
}

std::string StripDiagnosticsSize(const std::string& modes) {
  const std::vector<SToken> t = Tokens(modes);
  for (size_t i = 0; i + 2 < t.size(); ++i) {
    if (!Is(t, i, "DIAGNOSTICS") || !Is(t, i + 1, "SIZE")) continue;
    size_t from = t[i].pos, to = t[i + 2].pos + t[i + 2].len;
    // Its comma goes with it.
    if (i > 0 && Is(t, i - 1, ",")) from = t[i - 1].pos;
    else if (i + 3 < t.size() && Is(t, i + 3, ",")) to = t[i + 3].pos + 1;
    return modes.substr(0, from) + modes.substr(to);
  }
  return modes;
}

std::string SqlNameOf(const std::string& name) {
  if (!name.empty() && name[0] == '"') return name;
  std::string out = name;
  for (char& ch : out) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return out;
}

}  // namespace zqlpg
