// kelprint.cpp - the printer: LISP values to text.
#include <cmath>
#include <cstdio>

#include "kelengine.h"

namespace kel {

namespace {

void AppendEscaped(const std::string& text, std::string& out) {
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case 0x1b: out += "\\e"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\%03o", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void AppendAtom(const Value& v, bool escape, std::string& out) {
  if (v.isNil()) {
    out += "nil";
    return;
  }
  switch (v.get()->kind) {
    case Kind::kInt: out += std::to_string(IntOf(v)); break;
    case Kind::kReal: out += FormatReal(RealOf(v)); break;
    case Kind::kStr:
      if (escape) {
        AppendEscaped(StrOf(v), out);
      } else {
        out += StrOf(v);
      }
      break;
    case Kind::kSym: out += SymOf(v)->name; break;
    case Kind::kSubr:
      out += std::string("#<SUBR ") + static_cast<SubrCell*>(v.get())->def->name + ">";
      break;
    case Kind::kUsubr:
      out += "#<USUBR " + static_cast<UsubrCell*>(v.get())->name + ">";
      break;
    case Kind::kExsubr:
      out += "#<EXRXSUBR " + static_cast<ExsubrCell*>(v.get())->name + ">";
      break;
    case Kind::kCons: break;  // never reached: lists are walked by PrintForm
  }
}

}  // namespace

std::string FormatReal(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  std::string s(buf);
  size_t e = s.find('e');
  if (e == std::string::npos) {
    if (s.find('.') == std::string::npos) s += ".0";
    return s;
  }
  // One exponent form everywhere: sign always, no leading zeros (1.5e-7).
  std::string mantissa = s.substr(0, e);
  char sign = s[e + 1];
  size_t digits = s.find_first_not_of('0', e + 2);
  std::string exponent = digits == std::string::npos ? "0" : s.substr(digits);
  return mantissa + "e" + sign + exponent;
}

std::string PrintForm(const Value& v, bool escape) {
  std::string out;
  std::vector<Value> tails;  // for each open list: what follows its element
  Value cur = v;
  for (;;) {
    while (cur.is(Kind::kCons)) {
      out += '(';
      tails.push_back(ConsOf(cur)->cdr);
      cur = ConsOf(cur)->car;
    }
    AppendAtom(cur, escape, out);
    // Close finished lists until one has another element to print.
    for (;;) {
      if (tails.empty()) return out;
      Value& tail = tails.back();
      if (tail.is(Kind::kCons)) {
        out += ' ';
        cur = ConsOf(tail)->car;
        tail = ConsOf(tail)->cdr;
        break;
      }
      if (!tail.isNil()) {
        out += " . ";
        AppendAtom(tail, escape, out);
      }
      out += ')';
      tails.pop_back();
    }
  }
}

}  // namespace kel
