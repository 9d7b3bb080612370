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

// Read and written back; a body longer than 256 bytes is written up to 256.
TEST_F(LispIdentTest, ReadAndWriteBack) {
  const std::string longBody(300, 'a');
  const struct {
    std::string text;
    bool delimited;
    std::string body, written;
  } cases[] = {
      {"\"Mixed Case\"", true, "Mixed Case", "\"Mixed Case\""},
      {"employees", false, "EMPLOYEES", "EMPLOYEES"},
      {"\"\"", true, "", "\"\""},
      {"\"", false, "\"", "\""},  // a lone quote is a regular identifier
      {"\"abc", false, "\"ABC", "\"ABC"},
      {"\"" + longBody + "\"", true, longBody, "\"" + longBody.substr(0, 256) + "\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CZqlLispBuf in;
    in.addItem(c.text.c_str());
    in.addItem(int16_t{1});
    in.getFirstItem();
    CZqlLispIdent id;
    ASSERT_EQ(id.readBuf(&in), 1);
    EXPECT_TRUE(in.isShort());  // moved to the next item
    EXPECT_EQ(id.isDelimited() == kZqlTrue, c.delimited);
    EXPECT_EQ(Narrow(id.Body()), c.body);
    CZqlLispBuf out;
    ASSERT_EQ(id.writeBuf(&out), 1);
    out.getFirstItem();
    EXPECT_EQ(std::string(out.C()), c.written);
  }
  EXPECT_TRUE(codes().empty());
}

// Equality of two identifiers and a non-string refused with 3: ZQL_CMPIDENT
// in tests/lisp/e2e/info.lsp.
TEST_F(LispIdentTest, EqualityAndCopies) {
  CZqlLispBuf in;
  in.addItem("abc");
  in.addItem("\"ABC\"");
  in.addItem("\"abc\"");
  in.getFirstItem();
  CZqlLispIdent a, b, c;
  ASSERT_EQ(a.readBuf(&in) && b.readBuf(&in) && c.readBuf(&in), 1);
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
