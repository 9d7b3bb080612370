// Parser of the message-source language (see xmc.h).

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "xmc.h"

namespace xmc {
namespace {

// Record types.
constexpr int kText = 0;
constexpr int kBytes = 1;
constexpr int kClear = 7;
constexpr int kUnits = 9;
constexpr int kUnits32 = 10;
constexpr int kUnits64 = 11;

// One logical line split into words; a quoted string is one word whose
// first character is '"' and whose escapes are already resolved.
class CLine {
 public:
  CLine(const std::string& text, const SPlace& place) : place_(place) { split(text); }
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::vector<std::string>& words() const { return words_; }

 private:
  void split(const std::string& text);
  std::size_t quoted(const std::string& text, std::size_t i);

  SPlace place_;
  std::vector<std::string> words_;
  std::string error_;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the quoted string starting at text[i] ('"'); answers the index
// after the closing quote, or npos after setting the error.
std::size_t CLine::quoted(const std::string& text, std::size_t i) {
  std::string w = "\"";
  for (++i; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      words_.push_back(w);
      return i + 1;
    }
    if (c != '\\') {
      w.push_back(c);
      continue;
    }
    if (++i >= text.size()) break;
    switch (text[i]) {
      case '\\': w.push_back('\\'); break;
      case '"': w.push_back('"'); break;
      case 'n': w.push_back('\n'); break;
      case 't': w.push_back('\t'); break;
      case 'r': w.push_back('\r'); break;
      case 'x': {
        const int hi = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
          error_ = "\\x needs two hexadecimal digits";
          return std::string::npos;
        }
        w.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default:
        error_ = std::string("unknown escape \\") + text[i];
        return std::string::npos;
    }
  }
  error_ = "string not closed";
  return std::string::npos;
}

void CLine::split(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '#') return;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '"') {
      i = quoted(text, i);
      if (i == std::string::npos) return;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
           text[i] != '"' && text[i] != '#')
      ++i;
    words_.push_back(text.substr(start, i - start));
  }
}

bool ParseInt(const std::string& word, long long lo, long long hi, long long* out) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(word.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseHex(const std::string& word, unsigned long long max, unsigned long long* out) {
  if (word.empty() || word.size() > 16) return false;
  unsigned long long v = 0;
  std::size_t i = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X') ? 2 : 0;
  if (i == word.size()) return false;
  for (; i < word.size(); ++i) {
    const int d = HexDigit(word[i]);
    if (d < 0) return false;
    v = v * 16 + static_cast<unsigned>(d);
  }
  if (v > max) return false;
  *out = v;
  return true;
}

// Parser state over all source files.
class CParser {
 public:
  explicit CParser(SModel* model) : model_(model) {}
  bool line(const std::string& text, const SPlace& place, SError* error);

 private:
  bool fail(const SPlace& place, const std::string& message, SError* error) {
    error->place = place;
    error->message = message;
    return false;
  }
  bool option(const std::vector<std::string>& w, const SPlace& place, SError* error);
  bool message(const std::vector<std::string>& w, const SPlace& place, SError* error);
  bool units(const std::vector<std::string>& w, int width, SMessage* m, std::string* why);

  SModel* model_;
  int set_ = -1;
  int last_ = 0;  // last message number of the current set
};

bool CParser::units(const std::vector<std::string>& w, int width, SMessage* m,
                    std::string* why) {
  const unsigned long long max = width >= 8 ? ~0ULL : (1ULL << (width * 8)) - 1;
  for (std::size_t i = 2; i < w.size(); ++i) {
    unsigned long long v = 0;
    if (!ParseHex(w[i], max, &v)) {
      *why = "'" + w[i] + "' is not a hexadecimal value of " + std::to_string(width * 8) +
             " bits";
      return false;
    }
    for (int b = 0; b < width; ++b) m->bytes.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
  }
  return true;
}

bool CParser::message(const std::vector<std::string>& w, const SPlace& place, SError* error) {
  if (set_ < 0) return fail(place, "message before the first 'set'", error);
  long long number = 0;
  if (w[0] == "+") {
    number = last_ + 1;
  } else if (!ParseInt(w[0], 1, kMaxNumber, &number)) {
    return fail(place, "message number '" + w[0] + "' is not 1 to 32767", error);
  }
  if (number > kMaxNumber) return fail(place, "message number beyond 32767", error);
  auto& set = model_->sets[set_];
  if (set.count(static_cast<int>(number)))
    return fail(place, "message " + std::to_string(number) + " of set " + std::to_string(set_) +
                           " defined twice (first at line " +
                           std::to_string(set[static_cast<int>(number)].place.line) + ")",
                error);
  SMessage m;
  m.place = place;
  if (w.size() < 2) return fail(place, "message without text", error);
  const std::string& form = w[1];
  const bool quotedText = form[0] == '"';
  std::string why;
  if (quotedText && w.size() == 2) {
    m.type = kText;
    m.bytes = form.substr(1);
    m.bytes.push_back('\0');
  } else if ((form == "text" || form == "clear") && w.size() == 3 && w[2][0] == '"') {
    m.type = form == "text" ? kText : kClear;
    m.bytes = w[2].substr(1);
    if (m.type == kText) m.bytes.push_back('\0');
  } else if (form == "end" && w.size() == 2) {
    m.type = kText;
    m.bytes = std::string("\xFF", 1) + std::string(1, '\0');
  } else if (form == "bytes" && w.size() > 2) {
    m.type = kBytes;
    if (!units(w, 1, &m, &why)) return fail(place, why, error);
  } else if ((form == "units" || form == "units32" || form == "units64") && w.size() > 2) {
    const int width = form == "units" ? 2 : form == "units32" ? 4 : 8;
    m.type = width == 2 ? kUnits : width == 4 ? kUnits32 : kUnits64;
    if (!units(w, width, &m, &why)) return fail(place, why, error);
  } else {
    return fail(place, "malformed message '" + form + "'", error);
  }
  if (m.bytes.size() + 8 > static_cast<std::size_t>(kMaxRecord))
    return fail(place, "message longer than " + std::to_string(kMaxRecord - 8) + " bytes", error);
  set[static_cast<int>(number)] = m;
  last_ = static_cast<int>(number);
  return true;
}

bool CParser::option(const std::vector<std::string>& w, const SPlace& place, SError* error) {
  const std::string& key = w[0];
  auto arg = [&](std::string* out) {
    if (w.size() != 2) return false;
    *out = w[1][0] == '"' ? w[1].substr(1) : w[1];
    return true;
  };
  auto number = [&](long long lo, long long hi, long long* out) {
    return w.size() == 2 && ParseInt(w[1], lo, hi, out);
  };
  std::string s;
  long long n = 0;
  if (key == "codepage" && arg(&s) && !s.empty() && s.size() <= 20) {
    model_->codePage = s;
  } else if (key == "language" && arg(&s) && s.size() <= 8) {
    model_->language = s;
  } else if (key == "title" && arg(&s) && s.size() <= 82) {
    model_->title = s;
  } else if (key == "subtitle" && arg(&s) && s.size() <= 20) {
    model_->subtitle = s;
  } else if (key == "per-block" && number(1, kMaxNumber, &n)) {
    model_->perBlock = static_cast<int>(n);
  } else if (key == "cache-limit" && number(-1, 0x7FFFFFFF, &n)) {
    model_->cacheLimit = static_cast<int32_t>(n);
  } else if (key == "attributes" && arg(&s) && (s == "ascii" || s == "none")) {
    model_->asciiAttributes = s == "ascii";
  } else if (key == "prefix" && number(0, 1 << 20, &n)) {
    model_->prefix = static_cast<int>(n);
  } else if (key == "lock" && number(0, 0xFFFF, &n)) {
    model_->lockedSets.insert(static_cast<int>(n));
  } else if (key == "set" && number(0, 0xFFFF, &n)) {
    set_ = static_cast<int>(n);
    auto& set = model_->sets[set_];
    last_ = set.empty() ? 0 : set.rbegin()->first;
  } else {
    return fail(place, "malformed statement '" + key + "'", error);
  }
  return true;
}

bool CParser::line(const std::string& text, const SPlace& place, SError* error) {
  CLine l(text, place);
  if (!l.ok()) return fail(place, l.error(), error);
  const auto& w = l.words();
  if (w.empty()) return true;
  const char c = w[0][0];
  if (c == '+' || std::isdigit(static_cast<unsigned char>(c))) return message(w, place, error);
  return option(w, place, error);
}

bool ParseStream(const std::string& name, std::istream& in, CParser& parser, SError* error) {
  std::string line;
  std::string logical;
  int number = 0;
  int start = 0;
  while (std::getline(in, line)) {
    ++number;
    if (logical.empty()) start = number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\\') {
      logical += line.substr(0, line.size() - 1);
      logical.push_back(' ');
      continue;
    }
    logical += line;
    if (!parser.line(logical, SPlace{name, start}, error)) return false;
    logical.clear();
  }
  if (!logical.empty()) return parser.line(logical, SPlace{name, start}, error);
  return true;
}

}  // namespace

bool ParseText(const std::string& name, const std::string& text, SModel* model,
               SError* error) {
  std::istringstream in(text);
  CParser parser(model);
  return ParseStream(name, in, parser, error);
}

bool ParseFile(const std::string& path, SModel* model, SError* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error->place = SPlace{path, 0};
    error->message = "cannot open the file";
    return false;
  }
  CParser parser(model);
  return ParseStream(path, in, parser, error);
}

}  // namespace xmc
