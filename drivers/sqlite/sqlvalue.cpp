// The SQLite driver's configuration (zql.ini, environments, paths) and its
// values: declared types to ZQL types, client values to SQLite bindings,
// SQLite values to the outputs of a row.

#include <sys/ipc.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zqlconf.h"
#include "zqlio.h"
#include "zqlproto.h"
#include "zqlsdata.h"
#include "zqlsqlite.h"

namespace zqlsqlite {

namespace {

std::string Upper(const char* s) {
  std::string out(s != nullptr ? s : "");
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool Has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// The numbers in "(p)" or "(p, s)" of a declared type; absent ones are -1.
void Sizes(const std::string& decl, long* p, long* s) {
  *p = -1;
  *s = -1;
  const size_t open = decl.find('(');
  if (open == std::string::npos) return;
  char* end = nullptr;
  *p = std::strtol(decl.c_str() + open + 1, &end, 10);
  if (end == decl.c_str() + open + 1) *p = -1;
  while (end != nullptr && *end == ' ') ++end;
  if (end != nullptr && *end == ',') *s = std::strtol(end + 1, nullptr, 10);
}

// SQLite keeps text of any length whatever the declared CHAR(n) or
// VARCHAR(n), so a character column is as long as the client's longest
// text: a value that SQLite kept is fetched whole.
CZqlChar* Varchar() {
  auto* c = new CZqlChar(kZqlSqliteMaxChars);
  c->setVarying();
  return c;
}

CZqlBinary* Varbit() {
  auto* b = new CZqlBinary(kZqlSqliteMaxBlob * 8);
  b->setVarying();
  return b;
}

// Text of a value through its own text form (datetimes, intervals).
std::string TextOf(const CZqlData* v) {
  CZqlUcStr text;
  v->getValue(&text);
  std::string out;
  ZqlDrvToUtf8(text, &out);
  return out;
}

bool Integral(double d) { return std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18; }

}  // namespace

// ---------------------------------------------------------------------------
// Configuration
// ---------------------------------------------------------------------------

bool FindIni(int32_t key, std::string* path) {
  std::vector<std::string> candidates;
  ZqlTry([&] {
    CZqlDirMisc dir;
    char found[4096] = {};
    if (dir.Find("zql.ini", found, sizeof found)) candidates.push_back(found);
  });
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) != nullptr) candidates.push_back(std::string(cwd) + "/zql.ini");
  for (const char* var : {"ZQL", "KOVA", "PATH"}) {
    const char* v = std::getenv(var);
    if (v == nullptr) continue;
    std::string list = v;
    for (size_t at = 0; at <= list.size();) {
      size_t colon = list.find(':', at);
      if (colon == std::string::npos) colon = list.size();
      if (colon > at) candidates.push_back(list.substr(at, colon - at) + "/zql.ini");
      at = colon + 1;
    }
  }
  for (const std::string& c : candidates) {
    if (access(c.c_str(), R_OK) != 0) continue;
    if (key == -1 || ftok(c.c_str(), kZqlIpcProjectId) == key) {
      *path = c;
      return true;
    }
  }
  return false;
}

std::string ExpandPath(const std::string& path, const std::string& folder) {
  std::string out;
  size_t i = 0;
  if (!path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/')) {
    const char* home = std::getenv("HOME");
    out = home != nullptr ? home : "";
    i = 1;
  }
  while (i < path.size()) {
    if (path[i] != '$') {
      out.push_back(path[i++]);
      continue;
    }
    size_t b = i + 1, e;
    const bool braced = b < path.size() && path[b] == '{';
    if (braced) {
      e = path.find('}', b + 1);
      if (e == std::string::npos) {
        out.append(path, i, std::string::npos);
        break;
      }
      ++b;
    } else {
      e = b;
      while (e < path.size() && (std::isalnum(static_cast<unsigned char>(path[e])) || path[e] == '_')) ++e;
    }
    const std::string name = path.substr(b, e - b);
    if (name.empty()) {
      out.push_back('$');
      ++i;
      continue;
    }
    const char* v = std::getenv(name.c_str());
    if (v != nullptr) out += v;
    i = braced ? e + 1 : e;
  }
  if (out == ":memory:" || out.empty() || out[0] == '/') return out;
  return folder + "/" + out;
}

int32_t ReadEnvironment(const std::string& ini, const std::string& name, SEnvironment* env,
                        std::string* message) {
  CZqlWinIni file(ini.c_str());
  // A platform section replaces the plain one, as the client reads them.
  std::string section = name + ".Unix";
  if (file.openCfgFile(section.c_str()) < 0) section = name;
  if (file.openCfgFile(section.c_str()) < 0) {
    *message = "environment " + name + " is not defined in " + ini;
    return kZqlErrEnvironmentIsNotDefinedInZQLINI;
  }
  auto read = [&](const char* key, std::string* out) {
    CZqlUcStr value;
    if (!file.readCfgString(section.c_str(), key, &value)) return false;
    ZqlDrvToUtf8(value, out);
    return true;
  };
  env->name = name;
  std::string database, autoCommit, timeout;
  if (!read("Database", &database) || database.empty()) {
    *message = "environment " + name + " names no Database in " + ini;
    return kZqlErrSQLServerRejectedEstablishmentOfSQLConnection;
  }
  const size_t slash = ini.rfind('/');
  env->database = ExpandPath(database, slash == std::string::npos ? "." : ini.substr(0, slash));
  env->autoCommit = read("AutoCommit", &autoCommit) && Upper(autoCommit.c_str()) == "YES";
  env->timeoutMs = 0;
  if (read("Timeout", &timeout) && !timeout.empty()) {
    char* end = nullptr;
    const long ms = std::strtol(timeout.c_str(), &end, 10);
    if (*end != '\0' || ms < 0 || ms > INT32_MAX) {
      *message = "environment " + name + ": Timeout " + timeout + " is not a number of milliseconds";
      return kZqlErrInvalidEnvironmentParameterInZQLINI;
    }
    env->timeoutMs = static_cast<int32_t>(ms);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

CZqlData* TypeFromDecl(const char* declared) {
  if (declared == nullptr || *declared == '\0') return nullptr;
  const std::string d = Upper(declared);
  long p, s;
  Sizes(d, &p, &s);
  if (Has(d, "BOOL")) return new CZqlSmallInt;
  if (Has(d, "INT")) {
    if (Has(d, "BIGINT") || Has(d, "INT8")) return new CZqlDecimal(19, 0);
    if (Has(d, "SMALLINT") || Has(d, "TINYINT")) return new CZqlSmallInt;
    return new CZqlInt;
  }
  if (Has(d, "CHAR") || Has(d, "CLOB") || Has(d, "TEXT")) return Varchar();
  if (Has(d, "BLOB")) return Varbit();
  if (Has(d, "REAL") || Has(d, "FLOA") || Has(d, "DOUB")) return new CZqlDouble;
  if (Has(d, "TIMESTAMP") || Has(d, "DATETIME")) return new CZqlTimeStamp(6);
  if (Has(d, "DATE")) return new CZqlDate;
  if (Has(d, "TIME")) return new CZqlTime(6);
  if ((Has(d, "NUMERIC") || Has(d, "DECIMAL")) && p > 0 && p <= 32)
    return new CZqlNumeric(static_cast<unsigned>(p), static_cast<unsigned>(s > 0 && s <= p ? s : 0));
  // NUMERIC without precision and any other name: numeric affinity, which
  // holds integers and reals alike.
  return new CZqlDouble;
}

CZqlData* TypeFromValue(int t) {
  switch (t) {
    case SQLITE_INTEGER: return new CZqlDecimal(19, 0);
    case SQLITE_FLOAT: return new CZqlDouble;
    case SQLITE_BLOB: return Varbit();
    default: return Varchar();
  }
}

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

int BindValue(sqlite3_stmt* s, int index, const CZqlData* v) {
  if (v == nullptr || v->isNull()) return sqlite3_bind_null(s, index);
  switch (v->Type()) {
    case kZqlTypeInteger:
    case kZqlTypeSmallInt: {
      long n = 0;
      v->getValue(&n);
      return sqlite3_bind_int64(s, index, static_cast<sqlite3_int64>(n));
    }
    case kZqlTypeNumeric:
    case kZqlTypeDecimal: {
      double d = 0;
      v->getValue(&d);
      if (v->Scale() == 0 && Integral(d)) return sqlite3_bind_int64(s, index, static_cast<sqlite3_int64>(d));
      return sqlite3_bind_double(s, index, d);
    }
    case kZqlTypeFloat:
    case kZqlTypeReal:
    case kZqlTypeDouble: {
      double d = 0;
      v->getValue(&d);
      return sqlite3_bind_double(s, index, d);
    }
    case kZqlTypeChar:
    case kZqlTypeVarchar: {
      const auto* c = static_cast<const CZqlChar*>(v);
      std::string text;
      CZqlUcStr value;
      c->getValue(&value);
      if (!ZqlDrvToUtf8(value, &text)) return -kZqlErrCharacterNotInRepertoire;
      return sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    case kZqlTypeBit:
    case kZqlTypeVarbit: {
      const auto* b = static_cast<const CZqlBinary*>(v);
      const int n = static_cast<int>((b->BitCount() + 7) / 8);
      if (n == 0 || b->Bits() == nullptr) return sqlite3_bind_zeroblob(s, index, 0);
      return sqlite3_bind_blob(s, index, b->Bits(), n, SQLITE_TRANSIENT);
    }
    default: {
      const std::string text = TextOf(v);
      return sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
  }
}

namespace {

void ReadValue(sqlite3_stmt* s, int i, SValue* v) {
  v->type = sqlite3_column_type(s, i);
  switch (v->type) {
    case SQLITE_INTEGER: v->i = sqlite3_column_int64(s, i); break;
    case SQLITE_FLOAT: v->d = sqlite3_column_double(s, i); break;
    case SQLITE_TEXT: {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
      v->bytes.assign(t != nullptr ? t : "", static_cast<size_t>(sqlite3_column_bytes(s, i)));
      break;
    }
    case SQLITE_BLOB: {
      const auto* b = static_cast<const char*>(sqlite3_column_blob(s, i));
      v->bytes.assign(b != nullptr ? b : "", static_cast<size_t>(sqlite3_column_bytes(s, i)));
      break;
    }
    default: break;
  }
}

}  // namespace

void ReadRow(sqlite3_stmt* s, SRow* row) {
  row->resize(static_cast<size_t>(sqlite3_column_count(s)));
  for (size_t i = 0; i < row->size(); ++i) ReadValue(s, static_cast<int>(i), &(*row)[i]);
}

int32_t StoreValue(const SValue& v, CZqlData* out, std::string* message) {
  if (v.type == SQLITE_NULL) {
    out->setNull();
    return 0;
  }
  const int type = out->Type();
  int32_t code = 0;
  const bool stored = ZqlTry([&] {
    if (type == kZqlTypeChar || type == kZqlTypeVarchar) {
      std::string number;  // the text of a number; text values are read in place
      if (v.type == SQLITE_INTEGER) {
        number = std::to_string(v.i);
      } else if (v.type == SQLITE_FLOAT) {
        char b[40];
        std::snprintf(b, sizeof b, "%.17g", v.d);
        number = b;
      }
      const std::string& text = v.type == SQLITE_INTEGER || v.type == SQLITE_FLOAT ? number : v.bytes;
      const size_t units = ZqlDrvStoreUtf8(out, text.data(), text.size());
      if (units > out->Length()) {
        *message = "a value of " + std::to_string(units) + " characters does not fit " +
                   std::to_string(out->Length());
        code = kZqlErrStringDataRightTruncation2201;
      }
      return;
    }
    if (type == kZqlTypeBit || type == kZqlTypeVarbit) {
      if (v.bytes.size() * 8 > out->Length()) {
        *message = "a value of " + std::to_string(v.bytes.size()) + " bytes does not fit " +
                   std::to_string(out->Length() / 8);
        code = kZqlErrStringDataRightTruncation2201;
        return;
      }
      static const char kHex[] = "0123456789ABCDEF";
      std::string hex;
      for (unsigned char c : v.bytes) hex += {kHex[c >> 4], kHex[c & 15]};
      static_cast<CZqlBinary*>(out)->storeHexValue(CZqlUcStr(hex.c_str()));
      return;
    }
    if (v.type == SQLITE_INTEGER) {
      if (type == kZqlTypeInteger || type == kZqlTypeSmallInt) {
        if (v.i > INT32_MAX || v.i < INT32_MIN) ZQL_RAISE(kZqlErrNumericValueOutOfRange);
        out->storeValue(static_cast<long>(v.i));
      } else if (type == kZqlTypeDatetime) {
        out->storeValue(std::to_string(v.i).c_str(), static_cast<unsigned>(std::to_string(v.i).size()));
      } else {
        out->storeValue(static_cast<double>(v.i));
      }
      return;
    }
    if (v.type == SQLITE_FLOAT) {
      out->storeValue(v.d);
      return;
    }
    // Text (or a blob) into a number or a datetime: its own text rules.
    out->storeValue(v.bytes.c_str(), static_cast<unsigned>(v.bytes.size()));
  });
  if (!stored) {
    code = ZqlTryCode();
    *message = "the value does not convert to the column's type";
  }
  return code;
}

}  // namespace zqlsqlite
