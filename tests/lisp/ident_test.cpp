// CZqlLispIdent: quoted strings read as delimited identifiers, the others
// as regular ones, and the string form written back.
#include <gtest/gtest.h>

#include <string>

#include "lispbuf.h"
#include "lispident.h"
#include "lisptest.h"

namespace {

std::string Narrow(const CZqlUcStr& s) {
  std::string out;
  for (const unsigned short* p = s.UcStr(); *p; ++p) out += char(*p);
  return out;
}

using LispIdentTest = RootTest;

struct IdentCase {
  const char* text;
  bool delimited;
  const char* body;
  const char* written;
};

TEST_F(LispIdentTest, ReadAndWriteBack) {
  const IdentCase cases[] = {
      {"\"Mixed Case\"", true, "Mixed Case", "\"Mixed Case\""},
      {"employees", false, "EMPLOYEES", "EMPLOYEES"},
      {"\"\"", true, "", "\"\""},
      {"\"", false, "\"", "\""},  // a lone quote is a regular identifier
      {"\"abc", false, "\"ABC", "\"ABC"},
  };
  for (const IdentCase& c : cases) {
    CZqlLispBuf in;
    in.addItem(c.text);
    in.addItem(int16_t{1});
    in.getFirstItem();
    CZqlLispIdent id;
    ASSERT_EQ(id.readBuf(&in), 1) << c.text;
    EXPECT_TRUE(in.isShort()) << c.text;  // moved to the next item
    EXPECT_EQ(id.isDelimited() == kZqlTrue, c.delimited) << c.text;
    EXPECT_EQ(Narrow(id.Body()), c.body) << c.text;
    CZqlLispBuf out;
    ASSERT_EQ(id.writeBuf(&out), 1);
    out.getFirstItem();
    EXPECT_STREQ(out.C(), c.written) << c.text;
  }
  EXPECT_TRUE(codes().empty());
}

TEST_F(LispIdentTest, LongBodyWrittenUpTo256Bytes) {
  CZqlLispIdent id;
  std::string text = "\"" + std::string(300, 'a') + "\"";
  CZqlLispBuf in;
  in.addItem(text.c_str());
  in.getFirstItem();
  ASSERT_EQ(id.readBuf(&in), 1);
  CZqlLispBuf out;
  ASSERT_EQ(id.writeBuf(&out), 1);
  out.getFirstItem();
  EXPECT_EQ(std::string(out.C()), "\"" + std::string(256, 'a') + "\"");
}

// Equality and a non-string refused with 3: ZQL_CMPIDENT in
// tests/lisp/e2e/info.lsp.
TEST_F(LispIdentTest, EqualityAndCopies) {
  CZqlLispBuf in;
  in.addItem("abc");
  in.addItem("\"ABC\"");
  in.addItem("\"abc\"");
  in.getFirstItem();
  CZqlLispIdent a, b, c;
  ASSERT_EQ(a.readBuf(&in) && b.readBuf(&in) && c.readBuf(&in), 1);
  EXPECT_EQ(a.cmp(&b), 0);
  EXPECT_NE(a.cmp(&c), 0);
  const CZqlLispObj& asObj = b;
  EXPECT_TRUE(a == asObj);
  std::unique_ptr<CZqlLispObj> copy(c.lclone());
  ASSERT_TRUE(copy);
  EXPECT_TRUE(c == *copy);
  ASSERT_EQ(a.lcopyFrom(&c), 1);
  EXPECT_TRUE(a.isDelimited());
  EXPECT_EQ(Narrow(a.Body()), "abc");
  CZqlLispHandle h;
  EXPECT_EQ(a.lcopyFrom(&h), 0);
}

}  // namespace
