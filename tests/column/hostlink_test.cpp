// Host binding: each family of host variables in and out, the failures a
// write reports into the descriptor area, and fetching a row into links.
#include <gtest/gtest.h>

#include <cstring>

#include "dda/packbytes.h"
#include "zqlcol.h"
#include "zqldda.h"

namespace {

class HostLink : public ::testing::Test {
 protected:
  void SetUp() override { dda.Init(10); }

  // Writes source into link; answers the code raised, 0 for success.
  int Write(CZqlHostLink& link, const CZqlData& source) {
    return Raised([&] { link.writeToBuffer(&source, &dda); });
  }

  CZqlDDA dda;
};

TEST_F(HostLink, IntegersAndDoublesRoundTrip) {
  int16_t s = -1234;
  int32_t l = 2000000000;
  double d = 2.5;
  CZqlHostLink ls, ll, ld, lr;
  ASSERT_EQ(ls.init(kZqlHostSmallInt, &s, nullptr, 0), 1);
  ASSERT_EQ(ll.init(kZqlHostInteger, &l, nullptr, 0), 1);
  ASSERT_EQ(ld.init(kZqlHostDouble, &d, nullptr, 0), 1);
  ASSERT_EQ(lr.init(kZqlHostReal, &d, nullptr, 0), 1);
  for (CZqlHostLink* link : {&ls, &ll, &ld, &lr}) ASSERT_EQ(link->prepInput(), 1);
  EXPECT_EQ(ls.getData()->Type(), kZqlTypeInteger);
  EXPECT_EQ(lr.getData()->Type(), kZqlTypeDouble);
  EXPECT_EQ(Text(*ll.getData()), "2000000000");
  s = l = 0;
  d = 0;
  CZqlInt i;
  i.storeValue(-77L);
  EXPECT_EQ(Write(ls, i), 0);
  EXPECT_EQ(Write(ll, i), 0);
  EXPECT_EQ(Write(lr, i), 0);
  EXPECT_EQ(s, -77);
  EXPECT_EQ(l, -77);
  EXPECT_EQ(d, -77.0);
  CZqlDouble big;
  big.storeValue(3e9);
  EXPECT_EQ(Write(ll, big), kZqlErrNumericValueOutOfRange);
  EXPECT_EQ(dda.Err(0), kZqlErrNumericValueOutOfRange);
}

// Host text is read up to its terminator or, unterminated, its length.
TEST_F(HostLink, TextIsReadUpToItsTerminatorOrLength) {
  char hello[10] = "hello";
  char abcd[4] = {'a', 'b', 'c', 'd'};
  unsigned short hi[8] = {'h', 'i', 0};
  unsigned short xyz[3] = {'x', 'y', 'z'};
  const struct {
    EZqlHostType type;
    void* buffer;
    int32_t length;
    const char* text;
  } cases[] = {
      {kZqlHostChar, hello, 10, "hello"}, {kZqlHostChar, abcd, 4, "abcd"},
      {kZqlHostUcChar, hi, 8, "hi"},      {kZqlHostUcChar, xyz, 3, "xyz"},
  };
  for (const auto& c : cases) {
    CZqlHostLink link;
    ASSERT_EQ(link.init(c.type, c.buffer, nullptr, c.length), 1);
    ASSERT_EQ(link.prepInput(), 1);
    EXPECT_EQ(Text(*link.getData()), c.text);
  }
}

TEST_F(HostLink, TextIsWrittenTerminatedAndCut) {
  char text[10];
  CZqlInt i;
  i.storeValue(42L);
  int16_t ind = -5;
  CZqlHostLink out;
  out.init(kZqlHostChar, text, &ind, 10);
  EXPECT_EQ(Write(out, i), 0);
  EXPECT_STREQ(text, "42");
  EXPECT_EQ(ind, static_cast<int16_t>(i.ReturnLength()));
  // Cut to the buffer: a warning in the area, not a failure.
  CZqlChar longer(20);
  longer.storeValue("abcdefghijkl", 13);
  EXPECT_EQ(Write(out, longer), 0);
  EXPECT_STREQ(text, "abcdefghi");
  EXPECT_EQ(dda.Err(0), kZqlErrStringDataRightTruncation0104);
  unsigned short units[8];
  std::memset(units, 0xFF, sizeof units);
  CZqlHostLink uc;
  uc.init(kZqlHostUcChar, units, nullptr, 8);
  CZqlChar c(4);
  c.setVarying();
  c.storeValue("ok", 3);
  EXPECT_EQ(Write(uc, c), 0);
  EXPECT_EQ(units[0], 'o');
  EXPECT_EQ(units[1], 'k');
  EXPECT_EQ(units[2], 0);
}

TEST_F(HostLink, BitStringsTravelAsHexadecimalDigits) {
  char hex[16] = "1F0A";
  CZqlHostLink link;
  link.init(kZqlHostBit, hex, nullptr, sizeof hex);
  ASSERT_EQ(link.prepInput(), 1);
  const CZqlBinary* bin = dynamic_cast<const CZqlBinary*>(link.getData());
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(bin->BitCount(), 16u);
  std::memset(hex, 0, sizeof hex);
  EXPECT_EQ(Write(link, *bin), 0);
  EXPECT_STREQ(hex, "1F0A");
}

// Each record is read into its value, written into an empty record of its
// kind and read back from there.
TEST_F(HostLink, RecordsRoundTrip) {
  zql_date date{2000, 2, 29};
  zql_time time{30.0, kZqlTrue, 1, 30, 10, 20};
  zql_timestamp ts{{58.25, kZqlFalse, 0, 0, 23, 59}, {1999, 12, 31}};
  zql_yeartomonth ym{kZqlTrue, 3, 11};
  zql_month mo{kZqlFalse, 14};
  zql_daytosecond ds{4.5, kZqlFalse, 1, 2, 3};
  zql_hourtominute hm{kZqlTrue, 99, 59};
  zql_second sec{1.25, kZqlTrue};
  const struct {
    EZqlHostType type;
    void* record;
    const char* text;
  } cases[] = {
      {kZqlHostDate, &date, "2000-02-29"},
      {kZqlHostTime, &time, "10:20:30-01:30"},
      {kZqlHostTimeStamp, &ts, "1999-12-31 23:59:58.25+00:00"},
      {kZqlHostYearToMonth, &ym, "-000003-11"},
      {kZqlHostMonth, &mo, "000014"},
      {kZqlHostDayToSecond, &ds, "000001 02:03:04.500000"},
      {kZqlHostHourToMinute, &hm, "-000099:59"},
      {kZqlHostSecond, &sec, "-000001.250000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    CZqlHostLink in;
    in.init(c.type, c.record, nullptr, 0);
    ASSERT_EQ(in.prepInput(), 1);
    EXPECT_EQ(Text(*in.getData()), c.text);
    double back[8] = {};  // room and alignment for every record
    CZqlHostLink out;
    out.init(c.type, back, nullptr, 0);
    EXPECT_EQ(Write(out, *in.getData()), 0);
    ASSERT_EQ(out.prepInput(), 1);
    EXPECT_EQ(Text(*out.getData()), c.text);
  }
}

// Values go to records of other kinds of the same family only; numbers go
// to single-field intervals as sign and magnitude.
TEST_F(HostLink, RecordsOfOtherKinds) {
  CZqlDT ds(kZqlIDayToSecond, 4, 1);
  ds.storeValue("1 02:03:04.5", 13);
  zql_hourtominute hm{};
  CZqlHostLink lhm;
  lhm.init(kZqlHostHourToMinute, &hm, nullptr, 0);
  EXPECT_EQ(Write(lhm, ds), 0);
  EXPECT_EQ(hm.hours, 26u);
  EXPECT_EQ(hm.minutes, 3u);
  CZqlInt n;
  n.storeValue(-12L);
  zql_year y{};
  CZqlHostLink ly;
  ly.init(kZqlHostYear, &y, nullptr, 0);
  EXPECT_EQ(Write(ly, n), 0);
  EXPECT_EQ(y.sign, kZqlTrue);
  EXPECT_EQ(y.years, 12u);
  CZqlDouble d;
  d.storeValue(-1.25);
  zql_second s{};
  CZqlHostLink lsec;
  lsec.init(kZqlHostSecond, &s, nullptr, 0);
  EXPECT_EQ(Write(lsec, d), 0);
  EXPECT_EQ(s.sign, kZqlTrue);
  EXPECT_DOUBLE_EQ(s.seconds, 1.25);
  // Mismatches fail and are reported.
  CZqlYM ym(kZqlIYearToMonth);
  CZqlTime time;
  time.set(10, 20, 30);
  zql_date date{};
  zql_daytohour dh{};
  CZqlHostLink ld, ldh;
  ld.init(kZqlHostDate, &date, nullptr, 0);
  ldh.init(kZqlHostDayToHour, &dh, nullptr, 0);
  ym.setYears(1);
  const std::pair<CZqlHostLink*, const CZqlData*> mismatches[] = {
      {&ld, &time}, {&lhm, &ym}, {&ldh, &n}};
  for (const auto& m : mismatches) {
    EXPECT_EQ(Write(*m.first, *m.second), kZqlErrDataTypesMismatch);
    EXPECT_EQ(dda.Err(0), kZqlErrDataTypesMismatch);
  }
}

TEST_F(HostLink, NullsNeedAnIndicator) {
  int32_t l = 55;
  int16_t ind = 0;
  CZqlHostLink link;
  link.init(kZqlHostInteger, &l, &ind, 0);
  const CZqlInt null;
  EXPECT_EQ(Write(link, null), 0);
  EXPECT_EQ(ind, -1);
  EXPECT_EQ(l, 55);  // untouched
  // A negative indicator sends null.
  ASSERT_EQ(link.prepInput(), 1);
  EXPECT_TRUE(link.getData()->isNull());
  CZqlHostLink bare;
  bare.init(kZqlHostInteger, &l, nullptr, 0);
  EXPECT_EQ(Write(bare, null), kZqlErrNullValueNoIndicatorParameter);
  EXPECT_EQ(dda.Err(0), kZqlErrNullValueNoIndicatorParameter);
}

TEST_F(HostLink, MissingStorageIsReported) {
  CZqlHostLink empty;
  const CZqlInt i;
  int32_t stray = 0;
  EXPECT_EQ(Write(empty, i), kZqlErrUsingClauseRequiredForResultFields);
  CZqlHostLink noBuffer;
  noBuffer.init(kZqlHostInteger, nullptr, nullptr, 0);
  EXPECT_EQ(noBuffer.prepInput(), 0);
  EXPECT_EQ(Write(noBuffer, i), kZqlErrUsingClauseRequiredForResultFields);
  EXPECT_EQ(dda.CondCount(), 2);
  EXPECT_EQ(Raised([&] { empty.init(static_cast<EZqlHostType>(24), &stray, nullptr, 0); }),
            kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(empty.isSet(), 0);
}

TEST_F(HostLink, DataLinksStoreIntoTheCallersValue) {
  CZqlInt target;
  CZqlHostLink link;
  EXPECT_EQ(link.init(static_cast<CZqlData*>(nullptr)), 0);
  ASSERT_EQ(link.init(&target), 1);
  EXPECT_EQ(link.prepInput(), 1);
  CZqlDouble d;
  d.storeValue(8.0);
  EXPECT_EQ(Write(link, d), 0);
  EXPECT_EQ(Text(target), "8");
  // The caller's value decides what it accepts, and says why not.
  CZqlDate date;
  date.set(2001, 1, 1);
  EXPECT_EQ(Write(link, date), kZqlErrExpressionCannotBeCastToTheSpecifiedType);
  EXPECT_EQ(dda.Err(0), kZqlErrExpressionCannotBeCastToTheSpecifiedType);
}

TEST_F(HostLink, BindingChecksTheDescriptor) {
  CZqlParameter p;
  const CZqlInt dsc;
  p.setDsc(&dsc);
  int32_t l = 3;
  zql_date date{2000, 1, 1};
  CZqlHostLink link;
  EXPECT_EQ(link.init(kZqlHostDate, &date, nullptr, 0, &p), 0);
  EXPECT_EQ(link.isSet(), 0);
  ASSERT_EQ(link.init(kZqlHostInteger, &l, nullptr, 0, &p), 1);
  CZqlData* bound = nullptr;
  ASSERT_EQ(p.getBind(&bound), 1);
  EXPECT_EQ(bound, link.getData());
  CZqlColumn col(CZqlIdent("C"), dsc);
  EXPECT_EQ(link.init(kZqlHostDate, &date, nullptr, 0, &col), 0);
  EXPECT_EQ(link.init(kZqlHostDouble, &l, nullptr, 0, &col), 1);
  CZqlDate value;
  EXPECT_EQ(link.init(&value, &col), 0);
  EXPECT_EQ(link.init(&value, &p), 0);
  CZqlInt i;
  EXPECT_EQ(link.init(&i, &p), 1);
  EXPECT_EQ(link.init(&i, static_cast<CZqlColumn*>(nullptr)), 0);
}

// ---------------------------------------------------------------------------
// Binding sets
// ---------------------------------------------------------------------------

TEST_F(HostLink, FetchWritesEveryColumnAndKeepsFailures) {
  dda.AllocColDsc(3);
  const CZqlInt i;
  CZqlChar c(8);
  for (int k = 0; k < 3; ++k) dda.ColDsc(k)->setDataDsc(k == 1 ? static_cast<CZqlData*>(&c) : &i);
  ASSERT_EQ(dda.CreateOutput(), 1);
  CZqlData* v = nullptr;
  dda.OutDsc(0)->getBind(&v);  // stays null: no indicator for it
  dda.OutDsc(1)->getBind(&v);
  v->storeValue("row", 4);
  dda.OutDsc(2)->getBind(&v);
  v->storeValue(9L);

  int32_t a = 0, b = 0;
  char text[16] = "";
  CZqlHostBind bind(3);
  EXPECT_EQ(bind.isAllBound(), 0);
  bind[0]->init(kZqlHostInteger, &a, nullptr, 0);
  bind[1]->init(kZqlHostChar, text, nullptr, sizeof text);
  bind[2]->init(kZqlHostInteger, &b, nullptr, 0);
  EXPECT_EQ(bind.isAllBound(), 1);
  EXPECT_EQ(bind.fetchBuffers(&dda), 1);
  EXPECT_STREQ(text, "row     ");
  EXPECT_EQ(b, 9);
  ASSERT_EQ(dda.CondCount(), 1);
  EXPECT_EQ(dda.Err(0), kZqlErrNullValueNoIndicatorParameter);

  CZqlHostBind wider(4);
  for (int k = 0; k < 3; ++k) wider[k]->init(kZqlHostInteger, &a, nullptr, 0);
  EXPECT_EQ(wider.fetchBuffers(&dda), 0);  // no fourth output
  EXPECT_EQ(wider.fetchBuffers(nullptr), 0);
}

TEST_F(HostLink, PrepareMovesEveryHostVariable) {
  int32_t a = 4;
  CZqlInt own;
  CZqlHostBind bind(2);
  bind[0]->init(kZqlHostInteger, &a, nullptr, 0);
  bind[1]->init(&own);
  EXPECT_EQ(bind.prepare(), 1);
  EXPECT_EQ(Text(*bind[0]->getData()), "4");
  bind[1]->init(kZqlHostInteger, nullptr, nullptr, 0);
  EXPECT_EQ(bind.prepare(), 0);
  EXPECT_EQ(bind.Count(), 2);
}

}  // namespace
