// kelread.cpp - the reader: text to LISP values.
//
// Symbols are folded to upper case; "nil" reads as nil. An integer that
// does not fit 32 bits reads as a real. Comments run from ';' to the end of
// the line, or from ";|" to "|;".
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "kelengine.h"

namespace kel {

namespace {

bool IsDelimiter(char c) {
  return std::isspace(static_cast<unsigned char>(c)) || c == '(' || c == ')' ||
         c == '\'' || c == '"' || c == ';';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t ScanDigits(std::string_view t, size_t i) {
  while (i < t.size() && IsDigit(t[i])) ++i;
  return i;
}

// The exponent part at i ("e", optional sign, digits), or i when there is
// none.
size_t ScanExponent(std::string_view t, size_t i) {
  if (i >= t.size() || (t[i] != 'e' && t[i] != 'E')) return i;
  size_t j = i + 1;
  if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
  size_t k = ScanDigits(t, j);
  return k > j ? k : i;
}

// A decimal integer literal as int32, or a real when it does not fit.
Value NumberValue(std::string_view token, bool isInt) {
  std::string s(token);
  if (isInt) {
    errno = 0;
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (errno == 0 && v >= INT32_MIN && v <= INT32_MAX) {
      return MakeInt(static_cast<int32_t>(v));
    }
  }
  return MakeReal(std::strtod(s.c_str(), nullptr));
}

int OctalValue(char c) { return (c >= '0' && c <= '7') ? c - '0' : -1; }

}  // namespace

size_t ScanNumber(std::string_view t, bool* isInt) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t intEnd = ScanDigits(t, i);
  bool haveInt = intEnd > i;
  size_t end = intEnd;
  bool haveFrac = false;
  if (end < t.size() && t[end] == '.') {
    size_t fracEnd = ScanDigits(t, end + 1);
    haveFrac = fracEnd > end + 1;
    if (haveInt || haveFrac) end = fracEnd;  // "1." and ".5" are reals
  }
  if (!haveInt && !haveFrac) return 0;
  size_t expEnd = ScanExponent(t, end);
  *isInt = (end == intEnd && expEnd == end);
  return expEnd;
}

bool Reader::next(Value* out) {
  skipBlanks();
  if (atEnd()) return false;
  if (text_[pos_] == ')') {
    ++pos_;
    Fail("extra right paren on input");
  }
  *out = readForm();
  return true;
}

void Reader::skipBlanks() {
  while (!atEnd()) {
    char c = text_[pos_];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++pos_;
    } else if (c == ';' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '|') {
      size_t close = text_.find("|;", pos_ + 2);
      if (close == std::string_view::npos) throw Incomplete("malformed comment on input");
      pos_ = close + 2;
    } else if (c == ';') {
      size_t nl = text_.find('\n', pos_);
      pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
    } else {
      return;
    }
  }
}

Value Reader::readForm() {
  Engine::DepthGuard guard(e_);
  skipBlanks();
  if (atEnd()) throw Incomplete("malformed list on input");
  char c = text_[pos_];
  if (c == '(') {
    ++pos_;
    return readList();
  }
  if (c == ')') Fail("extra right paren on input");
  if (c == '"') {
    ++pos_;
    return readString();
  }
  if (c == '\'') {
    ++pos_;
    Value quoted = readForm();
    return Cons(e_.symQuote(), Cons(quoted, nullptr));
  }
  return readAtom();
}

// After "(": the elements up to ")", with an optional ". tail".
Value Reader::readList() {
  std::vector<Value> items;
  Value tail;
  for (;;) {
    skipBlanks();
    if (atEnd()) throw Incomplete("malformed list on input");
    if (text_[pos_] == ')') {
      ++pos_;
      break;
    }
    bool loneDot = text_[pos_] == '.' &&
                   (pos_ + 1 >= text_.size() || IsDelimiter(text_[pos_ + 1]));
    if (!loneDot) {
      items.push_back(readForm());
      continue;
    }
    ++pos_;
    if (items.empty()) Fail("misplaced dot on input");
    tail = readForm();
    skipBlanks();
    if (atEnd()) throw Incomplete("malformed list on input");
    if (text_[pos_] != ')') Fail("malformed dotted pair on input");
    ++pos_;
    break;
  }
  Value list = tail;
  for (auto it = items.rbegin(); it != items.rend(); ++it) list = Cons(*it, list);
  return list;
}

// After the opening quote: the text up to the closing one, with escapes.
Value Reader::readString() {
  std::string s;
  for (;;) {
    if (atEnd()) throw Incomplete("malformed string on input");
    char c = text_[pos_++];
    if (c == '"') return MakeStr(std::move(s));
    if (c != '\\') {
      s += c;
      continue;
    }
    if (atEnd()) throw Incomplete("malformed string on input");
    char e = text_[pos_++];
    switch (e) {
      case 'n': s += '\n'; break;
      case 't': s += '\t'; break;
      case 'r': s += '\r'; break;
      case 'e': s += '\x1b'; break;
      default:
        if (OctalValue(e) < 0) {
          s += e;  // \" \\ and any other character stand for themselves
          break;
        }
        int code = OctalValue(e);
        for (int k = 0; k < 2 && !atEnd() && OctalValue(text_[pos_]) >= 0; ++k) {
          code = code * 8 + OctalValue(text_[pos_++]);
        }
        s += static_cast<char>(code & 0xFF);
    }
  }
}

Value Reader::readAtom() {
  size_t start = pos_;
  while (!atEnd() && !IsDelimiter(text_[pos_])) ++pos_;
  std::string_view token = text_.substr(start, pos_ - start);
  if (token == ".") Fail("misplaced dot on input");
  bool isInt = false;
  if (ScanNumber(token, &isInt) == token.size()) return NumberValue(token, isInt);
  if (token.size() == 3 && std::toupper(static_cast<unsigned char>(token[0])) == 'N' &&
      std::toupper(static_cast<unsigned char>(token[1])) == 'I' &&
      std::toupper(static_cast<unsigned char>(token[2])) == 'L') {
    return nullptr;
  }
  return e_.intern(token);
}

}  // namespace kel
