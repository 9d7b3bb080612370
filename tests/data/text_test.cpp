// Text forms: the decimal form of NUMERIC/DECIMAL (noise carry, fixed and
// exponential forms), the approximate form, SQL type texts and literals,
// and number texts under a locale with a decimal comma.

#include <locale.h>
#include <stdlib.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "common.h"

namespace {

std::string Decimal(double v, unsigned p, unsigned s) {
  char buf[kZqlNumTextSize];
  EXPECT_EQ(ZqlDecimalText(v, p, s, buf, sizeof buf), 1);
  return buf;
}

std::string Approx(double v) {
  char buf[kZqlNumTextSize];
  EXPECT_EQ(ZqlApproxText(v, buf, sizeof buf), 1);
  return buf;
}

struct DecimalCase {
  double value;
  unsigned p, s;
  const char* text;
};

TEST(DecimalText, Table) {
  const DecimalCase cases[] = {
      {12.5, 12, 2, "12.5"}, {-3, 12, 2, "-3"}, {0.05, 12, 2, "0.05"}, {0, 12, 2, "0"},
      {0, 2, 2, "0"}, {0.5, 2, 2, "0.5"}, {999.99, 5, 2, "999.99"},
      // noise carried through nines into the shown digits
      {0.29, 12, 2, "0.29"}, {-0.29, 12, 2, "-0.29"}, {0.57, 12, 2, "0.57"},
      {0.1 + 0.2, 12, 2, "0.3"},
      // the carry runs out of the first digit and raises the exponent
      {99.99999999999999, 12, 2, "100"}, {1.0 - DBL_EPSILON / 2, 12, 2, "1"},
      // beyond the carry the value is truncated, not rounded
      {2.0 / 3.0, 20, 10, "0.6666666666"}, {2.0 / 3.0, 32, 20, "0.666666666666666"},
      {1.0 / 3.0, 12, 5, "0.33333"},
      // a 16th integer digit is written from the digit after the shown ones
      {1234567890123456.0, 20, 0, "1234567890123456"}, {2147483647.0, 10, 0, "2147483647"},
      // exponential forms: beyond p - s or 16 integer digits, or small
      {123456.78, 5, 2, "1.2345E+005"}, {-123456.78, 5, 2, "-1.2345E+005"},
      {1e20, 32, 2, "1.E+020"},
      // the 16th digit shown takes the carry from the 17th
      {12345678901234567890.0, 32, 0, "1.234567890123457E+019"},
      {0.0001234, 12, 2, "1.234E-004"}, {0.000999, 12, 2, "9.99E-004"},
      {0.001, 12, 2, "0"},  // fixed form, nothing left at scale 2
  };
  for (const DecimalCase& c : cases) {
    EXPECT_EQ(Decimal(c.value, c.p, c.s), c.text) << c.value << " (" << c.p << "," << c.s << ")";
  }
}

TEST(DecimalText, CutToTheBuffer) {
  char buf[4];
  EXPECT_EQ(ZqlDecimalText(12345.0, 12, 0, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "123");
  EXPECT_EQ(ZqlDecimalText(1.0, 12, 0, nullptr, 4), 0);
}

TEST(ApproxText, Table) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"}, {-2.5, "-2.5"}, {0, "0"}, {1e20, "1.E+020"}, {1e16, "10000000000000000"},
      {1e17, "1.E+017"}, {1e-16, "0.0000000000000001"}, {1.5e-17, "1.5E-017"},
      {1.0 / 3.0, "0.3333333333333333"},
      {2.0 / 3.0, "0.6666666666666666"},  // the double lies below 2/3
      {0.7 / 3.0, "0.2333333333333333"}, {0.1 + 0.2, "0.3"},
      {1.0 - DBL_EPSILON / 2, "0.9999999999999999"},  // ...98|8 rounded up
      {1e-299, "1.E-299"},  // 16 nines and a 9: the carry leaves the first digit
      {123456789.125, "123456789.125"}, {1e300, "1.E+300"},
      {5e-324, "4.940656458412465E-324"}, {-1.7976931348623157e308, "-1.797693134862316E+308"},
      {HUGE_VAL, "inf"}, {-HUGE_VAL, "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(Approx(c.value), c.text) << c.value;
  EXPECT_EQ(Approx(std::nan("")), "nan");
}

TEST(ApproxText, ThroughTheValueClasses) {
  CZqlReal r;
  r = 1e300;  // not narrowed to single precision
  EXPECT_EQ(r.realValue(), 1e300);
  CZqlUcStr out;
  EXPECT_EQ(r.getValue(&out), 1);
  EXPECT_EQ(Str(out), "1.E+300");
}

TEST(SqlType, Texts) {
  CZqlImplDef impl;
  impl.setName(CZqlUcStr("BLOB"));
  const struct {
    const CZqlData& value;
    const char* text;
  } cases[] = {
      {CZqlSmallInt(), "SMALLINT"}, {CZqlInt(), "INTEGER"}, {CZqlNumeric(), "NUMERIC"},
      {CZqlNumeric(10, 2), "NUMERIC(10,2)"}, {CZqlNumeric(10, 0), "NUMERIC(10)"},
      // the default precision with a scale still names the scale
      {CZqlNumeric(12, 2), "NUMERIC(12,2)"}, {CZqlDecimal(5, 2), "DECIMAL(5,2)"},
      {CZqlDecimal(), "DECIMAL"}, {CZqlFloat(), "FLOAT"}, {CZqlFloat(20), "FLOAT(20)"},
      {CZqlFloat(50), "FLOAT(32)"}, {CZqlReal(), "REAL"}, {CZqlDouble(), "DOUBLE PRECISION"},
      {impl, ".BLOB"},
  };
  for (const auto& c : cases) EXPECT_EQ(TypeText(c.value), c.text);
}

// Nulls: every class's null goes through Literal() in the descriptor round
// trips.
TEST(SqlLiteral, Values) {
  EXPECT_EQ(Literal(CZqlImplDef()), "null");
  CZqlUcStr out;
  CZqlNumeric twelve = With(CZqlNumeric(12, 2), 12.5);
  EXPECT_EQ(Literal(twelve), "12.5");
  CZqlDouble d = With(CZqlDouble(), 0.1);
  EXPECT_EQ(Literal(d), "0.1");
  CZqlImplDef bytes;
  const char raw[2] = {1, 2};
  bytes.setBytes(raw, 2);
  EXPECT_EQ(bytes.SQLLiteral(&out), 1);
  EXPECT_EQ(Str(out), "");
}

// Makes a locale whose decimal point is a comma current, compiling one into
// a scratch directory when none is installed. Answers false when neither
// works on this machine.
bool UseCommaLocale(std::string* scratch) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (setlocale(LC_ALL, name) != nullptr) return true;
  }
  char dir[] = "/tmp/zqlloc.XXXXXX";
  if (mkdtemp(dir) == nullptr) return false;
  *scratch = dir;
  const std::string cmd =
      "localedef -i de_DE -f UTF-8 " + *scratch + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return false;
  setenv("LOCPATH", dir, 1);
  return setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(Locale, NumberTextsIgnoreTheProcessLocale) {
  std::string scratch;
  const bool ok = UseCommaLocale(&scratch);
  if (ok) {
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");  // the locale is really in force
    CZqlDouble d;
    EXPECT_EQ(d.storeValue("1.5", 4), 1);
    EXPECT_EQ(d.realValue(), 1.5);
    EXPECT_EQ(Approx(1.5), "1.5");
    EXPECT_EQ(Approx(1.5e-20), "1.5E-020");
    CZqlNumeric n = With(CZqlNumeric(12, 2), 0.29);
    EXPECT_EQ(n.realValue(), 0.29);
    EXPECT_EQ(Decimal(1234.5, 12, 2), "1234.5");
    EXPECT_EQ(ZqlTry([&] { d.storeValue("1,5", 4); }), 0);
  }
  setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  if (!scratch.empty() && std::system(("rm -rf " + scratch).c_str()) != 0) {
    ADD_FAILURE() << "could not remove " << scratch;
  }
  if (!ok) GTEST_SKIP() << "no locale with a decimal comma";
}

}  // namespace
