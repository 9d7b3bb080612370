// kelbistr.cpp - strings, conversions and output: strcat strlen substr
// strcase chr ascii itoa atoi atof rtos read, princ prin1 print prompt
// terpri, getenv.
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "kelengine.h"

namespace kel {

namespace {

Value Strcat(Engine&, std::vector<Value>& a) {
  std::string s;
  for (const Value& v : a) {
    NeedStr(v);
    s += StrOf(v);
  }
  return MakeStr(std::move(s));
}

Value Strlen(Engine&, std::vector<Value>& a) {
  size_t n = 0;
  for (const Value& v : a) {
    NeedStr(v);
    n += StrOf(v).size();
  }
  return MakeInt(static_cast<int32_t>(n));
}

// (substr s start [length]), start counting from 1.
Value Substr(Engine&, std::vector<Value>& a) {
  NeedStr(a[0]);
  NeedInt(a[1]);
  if (IntOf(a[1]) < 1) Fail("bad argument value: positive: " + ShortForm(a[1]));
  const std::string& s = StrOf(a[0]);
  size_t start = static_cast<size_t>(IntOf(a[1])) - 1;
  size_t len = std::string::npos;
  if (a.size() > 2) {
    NeedInt(a[2]);
    if (IntOf(a[2]) < 0) Fail("bad argument value: non-negative: " + ShortForm(a[2]));
    len = static_cast<size_t>(IntOf(a[2]));
  }
  return MakeStr(start >= s.size() ? std::string() : s.substr(start, len));
}

// (strcase s [lower]): upper case, or lower case when lower is not nil.
Value Strcase(Engine&, std::vector<Value>& a) {
  NeedStr(a[0]);
  bool lower = a.size() > 1 && !a[1].isNil();
  std::string s = StrOf(a[0]);
  for (char& c : s) {
    auto u = static_cast<unsigned char>(c);
    c = static_cast<char>(lower ? std::tolower(u) : std::toupper(u));
  }
  return MakeStr(std::move(s));
}

Value Chr(Engine&, std::vector<Value>& a) {
  NeedInt(a[0]);
  return MakeStr(std::string(1, static_cast<char>(IntOf(a[0]) & 0xFF)));
}

Value Ascii(Engine&, std::vector<Value>& a) {
  NeedStr(a[0]);
  const std::string& s = StrOf(a[0]);
  return MakeInt(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
}

Value Itoa(Engine&, std::vector<Value>& a) {
  NeedInt(a[0]);
  return MakeStr(std::to_string(IntOf(a[0])));
}

// The number at the start of text after blanks ("12abc" -> 12), or the
// empty view when there is none.
std::string_view LeadingNumber(const std::string& text, bool* isInt) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::string_view rest = std::string_view(text).substr(i);
  return rest.substr(0, ScanNumber(rest, isInt));
}

// (atoi s): the leading integer, wrapped to 32 bits; 0 when there is none.
Value Atoi(Engine&, std::vector<Value>& a) {
  NeedStr(a[0]);
  bool isInt = false;
  std::string_view num = LeadingNumber(StrOf(a[0]), &isInt);
  uint32_t v = 0;
  size_t i = (!num.empty() && (num[0] == '+' || num[0] == '-')) ? 1 : 0;
  for (; i < num.size() && num[i] >= '0' && num[i] <= '9'; ++i) v = v * 10 + uint32_t(num[i] - '0');
  if (!num.empty() && num[0] == '-') v = 0u - v;
  return MakeInt(static_cast<int32_t>(v));
}

Value Atof(Engine&, std::vector<Value>& a) {
  NeedStr(a[0]);
  bool isInt = false;
  std::string num(LeadingNumber(StrOf(a[0]), &isInt));
  return MakeReal(num.empty() ? 0.0 : std::strtod(num.c_str(), nullptr));
}

// (rtos number [mode [precision]]): mode 1 scientific, 2 decimal (the
// default); precision 0 to 15 digits after the point, 4 by default.
Value Rtos(Engine&, std::vector<Value>& a) {
  NeedNumber(a[0]);
  int32_t mode = 2, prec = 4;
  if (a.size() > 1 && !a[1].isNil()) {
    NeedInt(a[1]);
    mode = IntOf(a[1]);
  }
  if (a.size() > 2 && !a[2].isNil()) {
    NeedInt(a[2]);
    prec = IntOf(a[2]);
  }
  if (mode != 1 && mode != 2) Fail("bad argument value: mode: " + ShortForm(a[1]));
  if (prec < 0 || prec > 15) Fail("bad argument value: precision: " + ShortForm(a[2]));
  char buf[512];
  std::snprintf(buf, sizeof buf, mode == 1 ? "%.*E" : "%.*f", static_cast<int>(prec), NumOf(a[0]));
  return MakeStr(buf);
}

// (read [text]): the first form of text, nil for blank text.
Value Read(Engine& e, std::vector<Value>& a) {
  if (a.empty()) return nullptr;
  NeedStr(a[0]);
  Reader reader(e, StrOf(a[0]));
  Value form;
  return reader.next(&form) ? form : Value();
}

// princ and prin1 answer their argument; without one, the empty symbol.
Value Princ(Engine& e, std::vector<Value>& a) {
  if (a.empty()) return e.symEmpty();
  e.write(PrintForm(a[0], false));
  return a[0];
}

Value Prin1(Engine& e, std::vector<Value>& a) {
  if (a.empty()) return e.symEmpty();
  e.write(PrintForm(a[0], true));
  return a[0];
}

// print: a new line, the prin1 form, a space.
Value Print(Engine& e, std::vector<Value>& a) {
  if (a.empty()) return e.symEmpty();
  e.write("\n" + PrintForm(a[0], true) + " ");
  return a[0];
}

Value Prompt(Engine& e, std::vector<Value>& a) {
  NeedStr(a[0]);
  e.write(StrOf(a[0]));
  return nullptr;
}

Value Terpri(Engine& e, std::vector<Value>&) {
  e.write("\n");
  return nullptr;
}

Value Getenv(Engine&, std::vector<Value>& a) {
  NeedStr(a[0]);
  const char* v = std::getenv(StrOf(a[0]).c_str());
  return v ? MakeStr(v) : Value();
}

const Builtin kString[] = {
    {"STRCAT", 0, -1, Strcat, nullptr},
    {"STRLEN", 0, -1, Strlen, nullptr},
    {"SUBSTR", 2, 3, Substr, nullptr},
    {"STRCASE", 1, 2, Strcase, nullptr},
    {"CHR", 1, 1, Chr, nullptr},
    {"ASCII", 1, 1, Ascii, nullptr},
    {"ITOA", 1, 1, Itoa, nullptr},
    {"ATOI", 1, 1, Atoi, nullptr},
    {"ATOF", 1, 1, Atof, nullptr},
    {"RTOS", 1, 3, Rtos, nullptr},
    {"READ", 0, 1, Read, nullptr},
    {"PRINC", 0, 1, Princ, nullptr},
    {"PRIN1", 0, 1, Prin1, nullptr},
    {"PRINT", 0, 1, Print, nullptr},
    {"PROMPT", 1, 1, Prompt, nullptr},
    {"TERPRI", 0, 0, Terpri, nullptr},
    {"GETENV", 1, 1, Getenv, nullptr},
};

}  // namespace

void RegisterStringBuiltins(Engine& e) {
  e.defineBuiltins(kString, sizeof kString / sizeof kString[0]);
}

}  // namespace kel
