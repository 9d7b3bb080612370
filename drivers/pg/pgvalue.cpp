// Server types to client types, and values both ways in the server's text
// format.

#include "pgvalue.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pgtext.h"

namespace zqlpg {

namespace {

// Interval field bits of an interval type modifier (the range in its upper
// 16 bits; the fractional precision in the lower 16, 0xFFFF for none).
constexpr int32_t kPgMonthBit = 1 << 1;
constexpr int32_t kPgYearBit = 1 << 2;
constexpr int32_t kPgFullRange = 0x7FFF;
constexpr unsigned kPgDayLead = 6;    // DAY(6): the client's widest lead
constexpr unsigned kPgMaxFrac = 6;    // microseconds
constexpr int32_t kPgVarHeader = 4;   // varchar / numeric modifiers carry it

[[noreturn]] void Refuse(CZqlDDA* dda, EZqlError code, const CZqlUcStr& column,
                         const std::string& what) {
  dda->setErr(code);
  CZqlUcStr message = Utf16Of(what);
  if (column.Length() != 0) {
    message.Append(" (column ");
    message.Append(column);
    message.Append(")");
    dda->setDiagPar(kZqlDiagColumnName, column);
  }
  dda->setErrMsg(message);
  dda->PushCond();
  ZQL_RAISE(code);
}

// Reads an unsigned decimal number of at most max digits at *p.
bool Digits(const char** p, const char* end, int64_t* out, int max = 18) {
  int n = 0;
  int64_t v = 0;
  while (*p < end && std::isdigit(static_cast<unsigned char>(**p)) && n < max) {
    v = v * 10 + (**p - '0');
    ++*p;
    ++n;
  }
  *out = v;
  return n > 0;
}

// Seconds with an optional fraction.
bool Seconds(const char** p, const char* end, double* out) {
  const char* start = *p;
  int64_t whole = 0;
  if (!Digits(p, end, &whole)) return false;
  if (*p < end && **p == '.') {
    ++*p;
    int64_t ignored;
    Digits(p, end, &ignored);
  }
  *out = std::strtod(std::string(start, *p).c_str(), nullptr);
  return true;
}

bool Accept(const char** p, const char* end, char c) {
  if (*p < end && **p == c) {
    ++*p;
    return true;
  }
  return false;
}

// "HH:MM:SS[.f]" then an optional zone "+HH[:MM[:SS]]".
bool ParseTime(const char** p, const char* end, zql_time* t, bool zone) {
  int64_t h, m;
  double s;
  if (!Digits(p, end, &h, 2) || !Accept(p, end, ':') || !Digits(p, end, &m, 2) ||
      !Accept(p, end, ':') || !Seconds(p, end, &s))
    return false;
  *t = zql_time{};
  t->hour = static_cast<uint16_t>(h);
  t->minute = static_cast<uint16_t>(m);
  t->seconds = s;
  if (!zone) return *p == end;
  if (*p == end || (**p != '+' && **p != '-')) return false;
  t->tz_sign = **p == '-' ? kZqlTrue : kZqlFalse;
  ++*p;
  int64_t zh = 0, zm = 0, zs = 0;
  if (!Digits(p, end, &zh, 2)) return false;
  if (Accept(p, end, ':') && !Digits(p, end, &zm, 2)) return false;
  if (Accept(p, end, ':') && (!Digits(p, end, &zs, 2) || zs != 0)) return false;
  t->tz_hours = static_cast<uint32_t>(zh);
  t->tz_minutes = static_cast<uint32_t>(zm);
  return *p == end;
}

// "YYYY-MM-DD" (years 1 to 9999, no era).
bool ParseDate(const char** p, const char* end, zql_date* d) {
  int64_t y, m, day;
  if (!Digits(p, end, &y, 5) || !Accept(p, end, '-') || !Digits(p, end, &m, 2) ||
      !Accept(p, end, '-') || !Digits(p, end, &day, 2))
    return false;
  if (y < 1 || y > 9999) return false;
  d->year = static_cast<uint16_t>(y);
  d->month = static_cast<uint16_t>(m);
  d->day = static_cast<uint16_t>(day);
  return true;
}

// An interval in the sql_standard style: fields "[+-]Y-M", "[+-]D",
// "[+-]H:M:S[.f]" separated by blanks; a sign on the first field alone
// applies to all of them. Answers months and microseconds (days as 24
// hours) or false for a text it does not know.
bool ParseInterval(const char* text, const char* end, int64_t* months, double* seconds) {
  std::vector<std::string> fields;
  for (const char* p = text; p < end;) {
    while (p < end && *p == ' ') ++p;
    const char* start = p;
    while (p < end && *p != ' ') ++p;
    if (p > start) fields.emplace_back(start, p);
  }
  bool perField = false;
  for (size_t i = 1; i < fields.size(); ++i)
    perField = perField || fields[i][0] == '+' || fields[i][0] == '-';
  const bool allNegative = !perField && !fields.empty() && fields[0][0] == '-';
  *months = 0;
  *seconds = 0;
  for (const std::string& f : fields) {
    const char* p = f.c_str();
    const char* fend = p + f.size();
    int sign = 1;
    if (*p == '+' || *p == '-') sign = *p++ == '-' ? -1 : 1;
    if (allNegative) sign = -1;
    int64_t a = 0, b = 0;
    if (f.find(':') != std::string::npos) {
      double s = 0;
      if (!Digits(&p, fend, &a) || !Accept(&p, fend, ':') || !Digits(&p, fend, &b) ||
          !Accept(&p, fend, ':') || !Seconds(&p, fend, &s) || p != fend)
        return false;
      *seconds += sign * (static_cast<double>(a) * 3600 + static_cast<double>(b) * 60 + s);
    } else if (f.find('-', 1) != std::string::npos) {
      if (!Digits(&p, fend, &a) || !Accept(&p, fend, '-') || !Digits(&p, fend, &b) || p != fend)
        return false;
      *months += sign * (a * 12 + b);
    } else {
      if (!Digits(&p, fend, &a) || p != fend) return false;
      *seconds += sign * static_cast<double>(a) * 86400;
    }
  }
  return !fields.empty();
}

void TwoDigits(std::string* out, unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u", v % 100);
  *out += buf;
}

std::string DateText(const zql_date& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", d.year, d.month, d.day);
  return buf;
}

std::string TimeText(const zql_time& t, bool zone) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%09.6f", t.hour, t.minute, t.seconds);
  std::string out = buf;
  if (zone) {
    out += t.tz_sign == kZqlTrue ? "-" : "+";
    TwoDigits(&out, t.tz_hours);
    out += ":";
    TwoDigits(&out, t.tz_minutes);
  }
  return out;
}

bool IsSpecialNumber(const char* text, int length) {
  // NaN and the infinities have no exact client value.
  return length > 0 && (std::isalpha(static_cast<unsigned char>(text[length - 1])) != 0);
}

}  // namespace

SPgType PgTypeOf(uint32_t oid, int32_t typmod) {
  SPgType t;
  t.oid = oid;
  switch (oid) {
    case kPgInt2: t.kind = EPgKind::kSmallInt; break;
    case kPgInt4:
    case kPgOid: t.kind = EPgKind::kInteger; break;
    case kPgInt8: t.kind = EPgKind::kBigInt; t.length = 19; break;
    case kPgNumeric: {
      const int32_t m = typmod - kPgVarHeader;
      const unsigned p = typmod >= kPgVarHeader ? static_cast<unsigned>((m >> 16) & 0xFFFF) : 0;
      const unsigned s = typmod >= kPgVarHeader ? static_cast<unsigned>(m & 0xFFFF) : 0;
      if (p > 0 && p <= static_cast<unsigned>(kPgExactDigits) && s <= p) {
        t.kind = EPgKind::kNumeric;
        t.length = p;
        t.scale = s;
      } else {
        t.kind = EPgKind::kNumericText;
      }
      break;
    }
    case kPgFloat4: t.kind = EPgKind::kReal; break;
    case kPgFloat8: t.kind = EPgKind::kDouble; break;
    case kPgBpchar:
    case kPgVarchar: {
      t.kind = oid == kPgBpchar ? EPgKind::kChar : EPgKind::kVarChar;
      const int32_t n = typmod - kPgVarHeader;
      if (n > 0 && n <= static_cast<int32_t>(kZqlMaxCharLength)) t.length = static_cast<unsigned>(n);
      if (oid == kPgBpchar && (n <= 0 || n > static_cast<int32_t>(kZqlMaxCharLength)))
        t.kind = EPgKind::kVarChar;  // bpchar without length, or too long: varying
      break;
    }
    case kPgChar: t.kind = EPgKind::kChar; t.length = 1; break;
    case kPgBytea: t.kind = EPgKind::kBytes; t.length = kZqlMaxBitLength; break;
    case kPgBool: t.kind = EPgKind::kBool; break;
    case kPgDate: t.kind = EPgKind::kDate; break;
    case kPgTime:
    case kPgTimeTz:
    case kPgTimestamp:
    case kPgTimestampTz:
      t.kind = oid == kPgTime || oid == kPgTimeTz ? EPgKind::kTime : EPgKind::kTimestamp;
      t.zone = oid == kPgTimeTz || oid == kPgTimestampTz;
      t.scale = typmod >= 0 && typmod <= static_cast<int32_t>(kPgMaxFrac)
                    ? static_cast<unsigned>(typmod)
                    : kPgMaxFrac;
      break;
    case kPgInterval: {
      const int32_t range = typmod >= 0 ? (typmod >> 16) & kPgFullRange : kPgFullRange;
      const int32_t frac = typmod >= 0 ? typmod & 0xFFFF : 0xFFFF;
      const bool ym = range != kPgFullRange && (range & ~(kPgYearBit | kPgMonthBit)) == 0;
      t.kind = ym ? EPgKind::kYearMonth : EPgKind::kDayTime;
      t.scale = frac >= 0 && frac <= static_cast<int32_t>(kPgMaxFrac) ? static_cast<unsigned>(frac)
                                                                       : kPgMaxFrac;
      break;
    }
    default: t.kind = EPgKind::kVarChar; break;
  }
  return t;
}

std::unique_ptr<CZqlData> NewValue(const SPgType& type) {
  std::unique_ptr<CZqlData> v;
  switch (type.kind) {
    case EPgKind::kSmallInt:
    case EPgKind::kBool: v.reset(new CZqlSmallInt); break;
    case EPgKind::kInteger: v.reset(new CZqlInt); break;
    case EPgKind::kBigInt: v.reset(new CZqlDecimal(19, 0)); break;
    case EPgKind::kNumeric: v.reset(new CZqlNumeric(type.length, type.scale)); break;
    case EPgKind::kReal: v.reset(new CZqlReal); break;
    case EPgKind::kDouble: v.reset(new CZqlDouble); break;
    case EPgKind::kChar: v.reset(new CZqlChar(type.length)); break;
    case EPgKind::kNumericText:
    case EPgKind::kVarChar: {
      std::unique_ptr<CZqlChar> c(new CZqlChar(type.length));
      c->setVarying();
      v = std::move(c);
      break;
    }
    case EPgKind::kBytes: {
      std::unique_ptr<CZqlBinary> b(new CZqlBinary(type.length));
      b->setVarying();
      v = std::move(b);
      break;
    }
    case EPgKind::kDate: v.reset(new CZqlDate); break;
    case EPgKind::kTime: v.reset(new CZqlTime(type.scale, type.zone ? kZqlTrue : kZqlFalse)); break;
    case EPgKind::kTimestamp:
      v.reset(new CZqlTimeStamp(type.scale, type.zone ? kZqlTrue : kZqlFalse));
      break;
    case EPgKind::kYearMonth: v.reset(new CZqlYM(kZqlIYearToMonth, kPgDayLead, 0)); break;
    case EPgKind::kDayTime: v.reset(new CZqlDT(kZqlIDayToSecond, kPgDayLead, type.scale)); break;
  }
  if (v == nullptr) ZQL_RAISE(kZqlErrInsufficientMemory);
  return v;
}

void StoreText(CZqlDDA* dda, const CZqlUcStr& column, const SPgType& type, const char* text,
               int length, CZqlData* out) {
  const char* end = text + length;
  const char* p = text;
  switch (type.kind) {
    case EPgKind::kSmallInt:
    case EPgKind::kInteger: {
      long v = 0;
      std::from_chars(text, end, v);
      if (type.kind == EPgKind::kSmallInt)
        out->storeValue(static_cast<short>(v));
      else
        out->storeValue(v);
      return;
    }
    case EPgKind::kBool:
      out->storeValue(static_cast<short>(length > 0 && text[0] == 't' ? 1 : 0));
      return;
    case EPgKind::kBigInt: {
      long long v = 0;
      std::from_chars(text, end, v);
      if (v > kPgExactInt || v < -kPgExactInt)
        Refuse(dda, kZqlErrNumericValueOutOfRange, column,
               "bigint " + std::string(text, end) + " exceeds the client's exact range");
      out->storeValue(static_cast<double>(v));
      return;
    }
    case EPgKind::kNumeric:
      if (IsSpecialNumber(text, length))
        Refuse(dda, kZqlErrNumericValueOutOfRange, column,
               "numeric " + std::string(text, end) + " has no exact client value");
      out->storeValue(text, static_cast<unsigned>(length));
      return;
    case EPgKind::kReal:
    case EPgKind::kDouble: {
      double v = 0;  // as strtod, also for "Infinity" and "NaN"
      std::from_chars(text, end, v);
      out->storeValue(v);
      return;
    }
    case EPgKind::kNumericText:
    case EPgKind::kVarChar:
    case EPgKind::kChar: {
      const size_t units = ZqlDrvStoreUtf8(out, text, static_cast<size_t>(length));
      if (units > out->Length())
        Refuse(dda, kZqlErrStringDataRightTruncation2201, column,
               "value of " + std::to_string(units) + " characters exceeds " +
                   std::to_string(out->Length()));
      return;
    }
    case EPgKind::kBytes: {
      // Hex format: "\x" then two digits a byte.
      if (length < 2 || text[0] != '\\' || text[1] != 'x')
        Refuse(dda, kZqlErrInvalidCharacterValueForCast, column, "bytea not in hex format");
      const unsigned bits = static_cast<unsigned>(length - 2) * 4;
      if (bits > type.length)
        Refuse(dda, kZqlErrStringDataRightTruncation2201, column,
               "bytea of " + std::to_string(bits / 8) + " bytes exceeds " +
                   std::to_string(type.length / 8));
      out->storeValue(text + 2, static_cast<unsigned>(length - 2));
      return;
    }
    case EPgKind::kDate: {
      zql_date d{};
      if (!ParseDate(&p, end, &d) || p != end)
        Refuse(dda, kZqlErrDatetimeFieldOverflow, column,
               "date " + std::string(text, end) + " has no client value");
      static_cast<CZqlDate*>(out)->set(d);
      return;
    }
    case EPgKind::kTime: {
      zql_time t{};
      if (!ParseTime(&p, end, &t, type.zone))
        Refuse(dda, kZqlErrDatetimeFieldOverflow, column,
               "time " + std::string(text, end) + " has no client value");
      static_cast<CZqlTime*>(out)->set(t);
      return;
    }
    case EPgKind::kTimestamp: {
      zql_timestamp ts{};
      if (!ParseDate(&p, end, &ts.date) || !Accept(&p, end, ' ') ||
          !ParseTime(&p, end, &ts.time, type.zone))
        Refuse(dda, kZqlErrDatetimeFieldOverflow, column,
               "timestamp " + std::string(text, end) + " has no client value");
      static_cast<CZqlTimeStamp*>(out)->set(ts);
      return;
    }
    case EPgKind::kYearMonth:
    case EPgKind::kDayTime: {
      int64_t months = 0;
      double seconds = 0;
      if (!ParseInterval(text, end, &months, &seconds))
        Refuse(dda, kZqlErrInvalidIntervalFormat, column,
               "interval " + std::string(text, end) + " not understood");
      if (type.kind == EPgKind::kYearMonth) {
        if (seconds != 0)
          Refuse(dda, kZqlErrIntervalFieldOverflow, column,
                 "interval " + std::string(text, end) + " has days in a year-month column");
        const int64_t m = months < 0 ? -months : months;
        zql_yeartomonth r{months < 0 ? kZqlTrue : kZqlFalse, static_cast<uint32_t>(m / 12),
                          static_cast<uint32_t>(m % 12)};
        static_cast<CZqlYM*>(out)->set(r);
        return;
      }
      if (months != 0)
        Refuse(dda, kZqlErrIntervalFieldOverflow, column,
               "interval " + std::string(text, end) + " mixes months with days");
      const double total = std::fabs(seconds);
      const double days = std::floor(total / 86400);
      if (days > 999999)
        Refuse(dda, kZqlErrIntervalFieldOverflow, column,
               "interval " + std::string(text, end) + " exceeds DAY(6)");
      double rest = total - days * 86400;
      const double hours = std::floor(rest / 3600);
      rest -= hours * 3600;
      const double minutes = std::floor(rest / 60);
      rest -= minutes * 60;
      zql_daytosecond r{rest, seconds < 0 ? kZqlTrue : kZqlFalse, static_cast<uint32_t>(days),
                        static_cast<uint32_t>(hours), static_cast<uint32_t>(minutes)};
      static_cast<CZqlDT*>(out)->set(r);
      return;
    }
  }
}

std::string ParamText(const CZqlData& value, uint32_t oid) {
  if (value.is_binary()) {
    const CZqlBinary& b = static_cast<const CZqlBinary&>(value);
    const unsigned bytes = (b.BitCount() + 7) / 8;
    std::string out = "\\x";
    static const char kHex[] = "0123456789abcdef";
    for (unsigned i = 0; i < bytes; ++i) {
      out += kHex[b.Bits()[i] >> 4];
      out += kHex[b.Bits()[i] & 0xF];
    }
    return out;
  }
  if (value.is_datetime()) {
    switch (value.DateTimeType()) {
      case kZqlDtDate: {
        zql_date d{};
        static_cast<const CZqlDate&>(value).get(&d);
        return DateText(d);
      }
      case kZqlDtTime:
      case kZqlDtTimeTz: {
        zql_time t{};
        static_cast<const CZqlTime&>(value).get(&t);
        return TimeText(t, value.DateTimeType() == kZqlDtTimeTz);
      }
      default: {
        zql_timestamp ts{};
        static_cast<const CZqlTimeStamp&>(value).get(&ts);
        return DateText(ts.date) + " " +
               TimeText(ts.time, value.DateTimeType() == kZqlDtTimeStampTz);
      }
    }
  }
  if (oid == kPgBool && value.is_numeric()) {
    double v = 0;
    value.getValue(&v);
    return v != 0 ? "t" : "f";
  }
  CZqlUcStr text;
  value.getValue(&text);
  return Utf8Of(text);
}

EZqlError CodeOfSqlstate(const char* sqlstate) {
  if (sqlstate == nullptr || std::strlen(sqlstate) != 5) return kZqlErrExceptionRaisedByDBMSDriver;
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  const int hi = hex(sqlstate[0]), lo = hex(sqlstate[1]);
  if (hi < 0 || lo < 0) return kZqlErrExceptionRaisedByDBMSDriver;
  const int cls = (hi << 4 | lo) << 8;
  bool decimal = true;
  int sub = 0;
  for (int i = 2; i < 5; ++i) {
    decimal = decimal && std::isdigit(static_cast<unsigned char>(sqlstate[i])) != 0;
    sub = sub * 10 + (sqlstate[i] - '0');
  }
  if (decimal && sub <= 0xFF && ZqlErrorDefaultText(cls | sub) != nullptr)
    return static_cast<EZqlError>(cls | sub);
  if (ZqlErrorDefaultText(cls) != nullptr) return static_cast<EZqlError>(cls);
  return kZqlErrExceptionRaisedByDBMSDriver;
}

}  // namespace zqlpg
