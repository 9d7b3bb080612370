// Identifiers: the word tables, regular versus delimited, the SQL text form
// and the packed form.
#include <cctype>

#include "../data/common.h"
#include "zqlident.h"

namespace {

TEST(IdentWords, FunctionTablesAnyCase) {
  using Finder = int (*)(const CZqlUcStr&);
  const Finder set = ZqlFindSetFunc, num = ZqlFindNumFunc, str = ZqlFindStrFunc, dt = ZqlFindDTFunc;
  const struct {
    Finder find;
    const char* text;
    int code;
  } cases[] = {{set, "avg", 0},        {set, "Count", 1},  {set, "SUM", 4},
               {set, "SUMS", -1},      {num, "character_length", 1},
               {num, "CHAR_LENGTH", 1}, {num, "position", 4}, {str, "trim", 4},
               {str, "UPPER", 5},      {str, "CONVERT", 0}, {dt, "current_timestamp", 2},
               {dt, "CURRENT_TIMES", -1}};
  for (const auto& c : cases) EXPECT_EQ(c.find(CZqlUcStr(c.text)), c.code) << c.text;
  EXPECT_EQ(ZqlFindDTFunc(CZqlUcStr()), -1);
}

TEST(IdentWords, ReservedWordCodes) {
  ASSERT_EQ(ZqlKWordCount(), 212);
  const std::pair<const char*, int> words[] = {{"ABSOLUTE", 28}, {"dec", 76},    {"Decimal", 76},
                                               {"DECLARE", 77},  {"ZONE", 238},  {"CHA", -3},
                                               {"ZONES", -3},    {"", -3}};
  for (const auto& w : words) EXPECT_EQ(ZqlFindKWord(CZqlUcStr(w.first)), w.second) << w.first;
  // Every word is found at its own code, so the order the binary search
  // relies on holds throughout the table.
  int previous = 0;
  for (int i = 0; i < ZqlKWordCount(); ++i) {
    const int code = ZqlFindKWord(CZqlUcStr(ZqlKWordText(i)));
    EXPECT_EQ(code, i <= 48 ? 28 + i : 27 + i) << ZqlKWordText(i);
    EXPECT_GE(code, previous);
    previous = code;
  }
  EXPECT_EQ(ZqlKWordText(212), nullptr);
}

// Regular texts are folded to upper case; reserved and malformed ones are
// delimited and kept as they are.
TEST(IdentWords, WhichTextsMustBeDelimited) {
  const char* regular[] = {"orders", "a_1", "CHA", "x", "Z9", "ORDERS_"};
  const char* delimited[] = {"",    "order", "Count", "trim",    "current_date", "1abc",
                             "a-b", "a b",   "_x",    "DECIMAL", "a\"b",         "9lives"};
  for (const char* t : regular) {
    EXPECT_EQ(ZqlIsDelimited(CZqlUcStr(t)), 0) << t;
    CZqlIdent id(t);
    EXPECT_EQ(id.isDelimited(), kZqlFalse) << t;
    std::string upper(t);
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(Str(id.Body()), upper);
  }
  for (const char* t : delimited) {
    EXPECT_EQ(ZqlIsDelimited(CZqlUcStr(t)), 1) << t;
    if (*t == '\0') continue;
    CZqlIdent id(t);
    EXPECT_EQ(id.isDelimited(), kZqlTrue) << t;
    EXPECT_EQ(Str(id.Body()), t);
  }
  // The same from 16-bit text.
  const unsigned short units[] = {'c', 'h', 'a', 0};
  CZqlIdent cha(units);
  EXPECT_EQ(cha.isDelimited(), kZqlFalse);
  EXPECT_EQ(Str(cha.Body()), "CHA");
  EXPECT_EQ(CZqlIdent(CZqlUcStr("two words")).isDelimited(), kZqlTrue);
}

// Made regular, a body is folded; made delimited again it stays folded. A
// new body never clears the flag.
TEST(Ident, SettersFoldOnlyRegularBodies) {
  CZqlIdent id("order");
  id = CZqlUcStr("orders");
  EXPECT_EQ(id.isDelimited(), kZqlTrue);
  EXPECT_EQ(Str(id.Body()), "orders");
  id.setDelimited(kZqlFalse);
  EXPECT_EQ(id.isDelimited(), kZqlFalse);
  EXPECT_EQ(Str(id.Body()), "ORDERS");
  id.setDelimited();
  EXPECT_EQ(id.isDelimited(), kZqlTrue);
  EXPECT_EQ(Str(id.Body()), "ORDERS");
  CZqlIdent plain;
  plain = "orders";
  EXPECT_EQ(Str(plain.Body()), "ORDERS");
  // set applies the flag, then the character set, then the body.
  id.set(kZqlTrue, CZqlUcStr("latin1"), CZqlUcStr("MixedCase"));
  EXPECT_EQ(id.isDelimited(), kZqlTrue);
  EXPECT_EQ(Str(id.Body()), "MixedCase");
  EXPECT_EQ(Str(id.CharSet()), "latin1");
  EXPECT_EQ(id.Length(), 9 + 6);
  id.set(kZqlFalse, CZqlUcStr(), CZqlUcStr("select"));
  EXPECT_EQ(id.isDelimited(), kZqlTrue);  // a reserved word
  EXPECT_EQ(Str(id.Body()), "select");
  // The two-text constructor stores both unchanged.
  CZqlIdent two(CZqlUcStr("ascii"), CZqlUcStr("lower case"));
  EXPECT_EQ(two.isDelimited(), kZqlFalse);
  EXPECT_EQ(Str(two.Body()), "lower case");
  EXPECT_EQ(Str(two.CharSet()), "ascii");
}

TEST(Ident, ClearCopyAndDuplicate) {
  CZqlIdent id("order");
  id.setCharSet(CZqlUcStr("latin1"));
  CZqlIdent copy(id);
  CZqlIdent assigned;
  assigned = id;
  std::unique_ptr<CZqlObject> dup(id.duplicate());
  auto* d = dynamic_cast<CZqlIdent*>(dup.get());
  ASSERT_NE(d, nullptr);
  const CZqlIdent* copies[] = {&copy, &assigned, d};
  for (const CZqlIdent* c : copies) {
    EXPECT_EQ(c->isDelimited(), kZqlTrue);
    EXPECT_EQ(Str(c->Body()), "order");
    EXPECT_EQ(Str(c->CharSet()), "latin1");
  }
  id.Clear();
  EXPECT_EQ(id.isDelimited(), kZqlFalse);
  EXPECT_EQ(id.Length(), 0);
  EXPECT_EQ(Str(copy.Body()), "order");  // the copies keep their text
}

TEST(Ident, ComparisonLooksAtBodiesOnly) {
  EXPECT_TRUE(CZqlIdent("orders") == CZqlIdent("ORDERS"));
  CZqlIdent quoted;
  quoted.set(kZqlTrue, CZqlUcStr("latin1"), CZqlUcStr("ORDERS"));
  EXPECT_TRUE(quoted == CZqlIdent("Orders"));
  EXPECT_TRUE(CZqlIdent("order") != CZqlIdent("ORDER"));
  EXPECT_TRUE(CZqlIdent() == CZqlIdent());
}

// The SQL text of an identifier made delimited or not, with a character
// set, from a body; it is appended to what the output holds.
TEST(IdentText, RegularDelimitedAndCharacterSetForms) {
  const char* deflt = ZqlUcDefaultCCT();
  const struct {
    int delimited;
    const char *set, *body, *sql;
  } rows[] = {
      {-1, "", "orders", "ORDERS"},
      {-1, "", "order", "\"order\""},
      {1, "", "ab\"c", "\"ab\"\"c\""},
      {1, "", "\"\"", "\"\"\"\"\"\""},
      {-1, "latin1", "orders", "_latin1\"ORDERS\""},
      {-1, deflt, "orders", "ORDERS"},  // the default set needs no prefix
      {-1, "ASCII", "orders", "ORDERS"},  // names compare without regard to case
  };
  for (const auto& r : rows) {
    CZqlIdent id(r.body);  // -1: delimited as the text requires
    if (r.delimited >= 0) id.set(EZqlBoolean(r.delimited), CZqlUcStr(), CZqlUcStr(r.body));
    id.setCharSet(CZqlUcStr(r.set));
    CZqlUcStr out("FROM ");
    id.ToString(&out);
    EXPECT_EQ(Str(out), std::string("FROM ") + r.sql) << r.body << " " << r.set;
  }
  EXPECT_EQ(Raised([] { CZqlIdent("x").ToString(nullptr); }), kZqlErrInvalidFunctionArguments);
}

// ---------------------------------------------------------------------------
// Packed form
// ---------------------------------------------------------------------------

std::vector<unsigned char> Pack(const CZqlIdent& id) {
  std::vector<unsigned char> buf(id.packSize());
  CZqlObjPack pack(buf.data(), uint32_t(buf.size()));
  EXPECT_EQ(id.packTo(&pack), int(buf.size()));
  return buf;
}
using ::Pack;  // two passes of a fill

TEST(IdentPack, ExactBytes) {
  CZqlIdent id("ab");  // regular: body AB, no character set
  auto buf = Pack(id);
  // 8 header; body 6 + 6; empty set 6 + 2; flag 4 + 4.
  ASSERT_EQ(buf.size(), 8u + 12 + 8 + 8);
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  ASSERT_EQ(r.getNext(), 1);
  EXPECT_EQ(r.getType(), kZqlPackUcStr);
  EXPECT_EQ(r.getSize(), 6u);
  ASSERT_EQ(r.getNext(), 2);
  EXPECT_EQ(r.getSize(), 2u);
  ASSERT_EQ(r.getNext(), 3);
  EXPECT_EQ(r.getType(), kZqlPackLong);
  int32_t flag = -1;
  EXPECT_TRUE(r.getPackedValue(&flag) && flag == 0);
  EXPECT_EQ(r.getNext(), kZqlPackEnd);
  // Even the empty regular identifier packs all three items.
  EXPECT_EQ(CZqlIdent().packSize(), 8u + 8 + 8 + 8);
  id.setCharSet(CZqlUcStr("latin1"));
  CZqlObjPack sizing;
  EXPECT_EQ(id.packTo(&sizing), int(id.packSize()));
  EXPECT_EQ(CZqlIdent().packTo(nullptr), 0);
}

TEST(IdentPack, RoundTripKeepsTextsUnfolded) {
  CZqlIdent order("order");
  order.setCharSet(CZqlUcStr("latin1"));
  const CZqlIdent raw(CZqlUcStr(), CZqlUcStr("lower"));  // regular, not folded
  CZqlIdent back;
  for (const CZqlIdent* id : {static_cast<const CZqlIdent*>(&order), &raw}) {
    auto buf = Pack(*id);
    CZqlObjPack r(buf.data(), uint32_t(buf.size()));
    EXPECT_EQ(back.unpackFrom(&r), 1);
    EXPECT_EQ(back.isDelimited(), id->isDelimited());
    EXPECT_EQ(Str(back.Body()), Str(id->Body()));
    EXPECT_EQ(Str(back.CharSet()), Str(id->CharSet()));
  }
  EXPECT_EQ(order.isDelimited(), kZqlTrue);
  EXPECT_EQ(Str(raw.Body()), "lower");
}

TEST(IdentPack, NestedBehindOtherItems) {
  CZqlIdent a("first");
  CZqlIdent b("second one");
  auto fill = [&](CZqlObjPack* p) {
    p->add(7, int32_t{0});  // marker
    a.packTo(p);
    p->add(8, int32_t{0});
    b.packTo(p);
    p->add(kZqlPackEnd, int32_t{0});
  };
  Buffer buf = Pack(fill);
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  CZqlIdent x, y;
  ASSERT_EQ(r.getNext(), 7);
  ASSERT_EQ(x.unpackFrom(&r), 1);
  ASSERT_EQ(r.getNext(), 8);
  ASSERT_EQ(y.unpackFrom(&r), 1);
  EXPECT_EQ(r.getNext(), kZqlPackEnd);
  EXPECT_TRUE(x == a);
  EXPECT_TRUE(y == b);
}

// Builds a buffer from fill and answers what unpacking an identifier from it
// raises; the target must stay unchanged when it fails.
int UnpackRaises(const std::function<void(CZqlObjPack*)>& fill) {
  Buffer buf = Pack(fill);
  CZqlObjPack r(buf.data(), uint32_t(buf.size()));
  CZqlIdent target("keep");
  const int code = Raised([&] { target.unpackFrom(&r); });
  if (code) {
    EXPECT_EQ(Str(target.Body()), "KEEP");
  }
  return code;
}

TEST(IdentPack, UnexpectedItemsRaiseInternalError) {
  const CZqlUcStr t("x");
  // Label 2 first, no flag, a character body, a 1-byte flag.
  const std::function<void(CZqlObjPack*)> fills[] = {
      [&](CZqlObjPack* p) { p->add(2, t), p->add(1, t), p->add(3, int32_t{0}); },
      [&](CZqlObjPack* p) { p->add(1, t), p->add(2, t); },
      [&](CZqlObjPack* p) { p->add(1, "x"), p->add(2, t), p->add(3, int32_t{0}); },
      [&](CZqlObjPack* p) { p->add(1, t), p->add(2, t), p->add(3, 'a'); },
  };
  for (size_t k = 0; k < 4; ++k) EXPECT_EQ(UnpackRaises(fills[k]), kZqlErrInternalZQLError) << k;
  EXPECT_EQ(UnpackRaises([&](CZqlObjPack* p) {
              p->add(1, t);
              p->add(2, t);
              p->add(3, int32_t{1});
            }),
            0);
}

TEST(IdentPack, TruncatedStreamsRaiseInternalError) {
  CZqlIdent id("order");
  const auto whole = Pack(id);
  for (size_t n = 1; n < whole.size(); ++n) {
    std::vector<unsigned char> cut(whole.begin(), whole.begin() + n);
    CZqlObjPack r(cut.data(), uint32_t(cut.size()));
    CZqlIdent back;
    EXPECT_EQ(Raised([&] { back.unpackFrom(&r); }), kZqlErrInternalZQLError) << n;
  }
}

}  // namespace
