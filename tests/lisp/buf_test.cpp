// CZqlLispBuf: reading items by type, building, positions, searching, and
// round trips of LISP values through resbuf chains (by hand and through the
// host's interpreter with a test module).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "kelinterp.h"
#include "lispbuf.h"
#include "lisptest.h"

namespace {

using LispBufTest = RootTest;

// A host-made chain, as kel_getargs hands it over.
class Chain {
 public:
  ~Chain() { kel_relrb(head_); }
  resbuf* add(int type) {
    resbuf* rb = kel_newrb(type);
    (tail_ ? tail_->rbnext : head_) = rb;
    tail_ = rb;
    return rb;
  }
  void str(const char* s) { add(RTSTR)->resval.rstring = strdup(s); }
  resbuf* head() const { return head_; }

 private:
  resbuf* head_ = nullptr;
  resbuf* tail_ = nullptr;
};

std::vector<int> Types(CZqlLispBuf& buf) {
  std::vector<int> out;
  for (int ok = buf.getFirstItem(); ok; ok = buf.getNextItem())
    out.push_back(buf.ItemType());
  return out;
}

// Reading what is not there: an empty buffer, an item of another type,
// past the last argument.
TEST_F(LispBufTest, ReadingWhatIsNotThere) {
  CZqlLispBuf empty(kZqlTrue);
  EXPECT_EQ(empty.getKind(), kZqlTrue);
  EXPECT_EQ(empty.Qty(), 0);
  EXPECT_TRUE(empty.isNone());
  EXPECT_EQ(empty.ItemType(), 0);
  EXPECT_EQ(empty.getFirstItem(), 0);
  EXPECT_EQ(empty.S(), 0);
  EXPECT_EQ(empty.C(), nullptr);
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrInternal, kZqlLispErrInternal}));
  EXPECT_EQ(empty.delItem(-1), 0);
  EXPECT_EQ(empty.addItemList(nullptr), 1);  // a null chain is an empty success
  EXPECT_EQ(empty.Qty(), 0);

  CZqlLispBuf buf;
  buf.addItem(int32_t{40000});
  buf.addItem(1.5);
  buf.getFirstItem();
  EXPECT_EQ(buf.S(), 0);
  EXPECT_EQ(buf.R(), 0.0);
  EXPECT_EQ(buf.C(), nullptr);
  EXPECT_EQ(buf.PX(), 0.0);
  EXPECT_EQ(taken(), std::vector<int>(4, kZqlLispErrItemType));
  EXPECT_EQ(buf.L(), 40000);
  EXPECT_TRUE(buf.isNum());
  EXPECT_TRUE(buf.isLong());
  EXPECT_FALSE(buf.isShort());
  EXPECT_TRUE(codes().empty());
  buf.getNextItem();
  EXPECT_EQ(buf.getNextItem(), 0);
  EXPECT_TRUE(buf.isNone());
  EXPECT_FALSE(buf.isNum() || buf.isChar() || buf.isBList() || buf.isEList());
  EXPECT_EQ(buf.R(), 0.0);
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrInternal}));
  EXPECT_EQ(buf.getNextItem(), 0);
  EXPECT_EQ(buf.getPrevItem(), 1);  // back to the last node
  EXPECT_EQ(buf.R(), 1.5);
}

// The nodes no LISP value makes (integers, lists and pairs: lb_echo and
// lb_types below), copied deeply.
TEST_F(LispBufTest, CopiesHostChainDeeply) {
  Chain chain;
  resbuf* p = chain.add(RTPOINT);
  p->resval.rpoint[0] = 1.0;
  p->resval.rpoint[1] = 2.0;
  chain.add(RT3DPOINT)->resval.rpoint[2] = -3.5;
  chain.str("x");
  resbuf* bin = chain.add(RTBINXD);
  bin->resval.rbinary.clen = 3;
  bin->resval.rbinary.buf = static_cast<char*>(malloc(3));
  std::memcpy(bin->resval.rbinary.buf, "a\0b", 3);
  chain.add(RTENAME)->resval.rlname[1] = 77;
  chain.add(RTNIL);
  chain.add(RTT);

  CZqlLispBuf buf;
  ASSERT_EQ(buf.addItemList(chain.head()), 1);
  EXPECT_EQ(Types(buf), (std::vector<int>{RTPOINT, RT3DPOINT, RTSTR, RTBINXD, RTENAME, RTNIL, RTT}));
  buf.getFirstItem();
  EXPECT_EQ(buf.PX(), 1.0);
  EXPECT_EQ(buf.PY(), 2.0);
  EXPECT_EQ(buf.P()[1], 2.0);
  buf.getNextItem();
  EXPECT_EQ(buf.PZ(), -3.5);
  EXPECT_EQ(buf.P(), nullptr);  // a 3D point is not a 2D one
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrItemType}));
  buf.getNextItem();
  EXPECT_STREQ(buf.C(), "x");
  EXPECT_NE(buf.C(), chain.head()->rbnext->rbnext->resval.rstring);
  buf.getNextItem();
  int32_t len = 0;
  const char* bytes = buf.B(&len);
  ASSERT_EQ(len, 3);
  EXPECT_EQ(std::memcmp(bytes, "a\0b", 3), 0);
  EXPECT_NE(bytes, bin->resval.rbinary.buf);
  buf.getNextItem();
  EXPECT_EQ(buf.E()[1], 77);
  EXPECT_TRUE(codes().empty());
}

TEST_F(LispBufTest, AdditionsGoBeforeThePositionInOrder) {
  CZqlLispBuf buf;
  buf.addItem(int16_t{1});
  buf.addItem(int16_t{4});
  ASSERT_EQ(buf.setPos(1), 1);
  buf.addItem(int16_t{2});
  buf.addItem(int16_t{3});
  EXPECT_EQ(buf.S(), 4);  // the position stays on the node it was on
  ASSERT_EQ(buf.insertItemType(RTNIL), 1);
  EXPECT_TRUE(buf.isNil());  // insertion makes the new node current
  ASSERT_EQ(buf.getFirstItem(), 1);
  ASSERT_EQ(buf.insertItemType(RTT), 1);  // becomes the head
  EXPECT_EQ(buf.getPos(), 0);
  EXPECT_EQ(Types(buf), (std::vector<int>{RTT, RTSHORT, RTSHORT, RTSHORT,
                                          RTNIL, RTSHORT}));
  EXPECT_EQ(buf.addItemType(RTSTR), 0);  // would need a value
  EXPECT_EQ(buf.addItem(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(buf.Qty(), 6);
}

TEST_F(LispBufTest, UpdateDeleteClearAndRelease) {
  CZqlLispBuf buf;
  for (int16_t i = 0; i < 6; ++i) buf.addItem(i);
  ASSERT_EQ(buf.updItem(2, "two"), 1);
  EXPECT_STREQ(buf.C(), "two");  // the replacement is current
  ASSERT_EQ(buf.updItem(-1, 2.0), 1);
  EXPECT_TRUE(buf.isReal());
  EXPECT_EQ(buf.updItem(9, int32_t{1}), 0);
  ASSERT_EQ(buf.delItem(0), 1);
  EXPECT_EQ(buf.S(), 1);  // the next node is current
  buf.getLastItem();
  buf.getNextItem();
  ASSERT_EQ(buf.delItem(-1), 1);  // past the end: the first node
  EXPECT_EQ(buf.getPos(), 0);
  EXPECT_EQ(buf.Qty(), 4);  // 2.0 3 4 5
  EXPECT_EQ(buf.delItem(-2), 0);
  resbuf* rest = buf.release(2);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->resval.rint, 4);
  EXPECT_EQ(buf.Qty(), 2);
  EXPECT_TRUE(buf.isNone());
  kel_relrb(rest);
  ASSERT_EQ(buf.lclear(1), 1);
  EXPECT_EQ(buf.Qty(), 1);
  EXPECT_EQ(buf.lclear(5), 0);
  ASSERT_EQ(buf.lclear(0), 1);
  EXPECT_EQ(buf.getHead(), nullptr);
  buf.addItem(int16_t{9});  // appends to the emptied chain
  EXPECT_EQ(buf.Qty(), 1);
}

TEST_F(LispBufTest, FindFromThePositionByTypeAndValue) {
  CZqlLispBuf buf, key;
  const double pt[] = {1.0, 2.0};
  const int32_t ent[] = {5, 6};
  buf.addItem("ab");
  buf.addItem(int16_t{7});
  buf.addItem(int32_t{7});
  buf.addItem(7.0);
  buf.addItem(pt, kZqlTrue);
  buf.addItem("abc");
  buf.addBinItem("ab", 2);
  buf.addItem(ent);
  key.addItem("abc");
  // Each search starts at the first item; -1: not found.
  const std::pair<std::function<int()>, int> cases[] = {
      {[&] { return buf.findItem(int32_t{7}); }, 2},  // not the short 7
      {[&] { return buf.findItem(7.0); }, 3},
      {[&] { return buf.findItem(pt, kZqlTrue); }, 4},
      {[&] { return buf.findItem(pt, kZqlFalse); }, -1},  // not as a 3D point
      {[&] { return buf.findItem("abc"); }, 5},           // "ab" is not it
      {[&] { return buf.findItem(static_cast<const void*>("ab"), 2); }, 6},
      {[&] { return buf.findItem(ent); }, 7},
      {[&] { return buf.findItemType(RTREAL); }, 3},
      {[&] { return buf.findItem(key.getHead()); }, 5},  // by node: no type error
  };
  for (const auto& c : cases) {
    buf.getFirstItem();
    EXPECT_EQ(c.first(), c.second >= 0 ? 1 : 0) << &c - cases;
    if (c.second >= 0) {
      EXPECT_EQ(buf.getPos(), c.second) << &c - cases;
    }
  }
  ASSERT_EQ(buf.setPos(2), 1);
  EXPECT_EQ(buf.findItem(int16_t{7}), 0);  // behind the position
  EXPECT_TRUE(buf.isNone());
  EXPECT_TRUE(codes().empty());
}

TEST_F(LispBufTest, CompareNodes) {
  CZqlLispBuf buf;
  buf.addBList();
  buf.addBList();
  buf.addItem(int16_t{1});
  buf.addItem(int32_t{1});
  buf.addItem("a");
  buf.addItem("a");
  resbuf* n[6];
  for (int i = 0; i < 6; ++i) buf.getItem(i, &n[i]);
  EXPECT_EQ(buf.cmpItem(n[0], n[1]), 0);
  EXPECT_EQ(buf.cmpItem(n[4], n[5]), 0);
  EXPECT_NE(buf.cmpItem(n[0], n[2]), 0);
  EXPECT_TRUE(codes().empty());  // a list begin carries no value
  EXPECT_NE(buf.cmpItem(n[2], n[3]), 0);
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrItemType}));
}

TEST_F(LispBufTest, TakesOverNodesAndTexts) {
  CZqlLispBuf buf;
  ASSERT_EQ(buf.addSetItem(strdup("owned")), 1);
  resbuf* node = kel_newrb(RTREAL);
  node->resval.rreal = 4.0;
  ASSERT_EQ(buf.addSetItem(node), 1);
  void* bytes = malloc(4);
  std::memcpy(bytes, "wxyz", 4);
  ASSERT_EQ(buf.addSetBinItem(bytes, 4), 1);
  ASSERT_EQ(buf.updSetItem(0, strdup("replaced")), 1);
  buf.getFirstItem();
  EXPECT_STREQ(buf.C(), "replaced");
  buf.getNextItem();
  EXPECT_EQ(buf.R(), 4.0);
}

// ---------------------------------------------------------------------------
// Through the host: LISP values become argument chains, the module copies
// them with CZqlLispBuf and hands its chains back with kel_retlist.
// ---------------------------------------------------------------------------

class LispBufHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    interp_.setOutput([](std::string_view) {});
    std::string error;
    ASSERT_TRUE(interp_.loadModule(LISP_ECHO_MODULE, &error)) << error;
  }
  std::string Eval(const char* text) {
    kel::EvalResult r = interp_.evalString(text);
    EXPECT_TRUE(r.ok()) << text << ": " << r.error;
    return r.value;
  }

  kel::Interp interp_;
};

// The host's own type codes of each value: tests/host/module_test.cpp.
TEST_F(LispBufHostTest, ValuesCrossBothWays) {
  const char* const cases[][2] = {
      // Integers cross as short or long at the 16-bit boundary.
      {"(lb_echo 32767 32768 -32768 -32769 2147483647)", "(32767 32768 -32768 -32769 2147483647)"},
      {"(lb_sum 32767 32768 -0.5)", "65534.5"},
      // Nested lists and dotted pairs (points, nil and T: lb_build below),
      // node by node.
      {"(lb_echo '(1 (2 (3 \"x\")) ()))", "(1 (2 (3 \"x\")) nil)"},  // one list: that list
      {"(lb_echo '(\"a\" . \"b\") '(1 . 2.5))", "((\"a\" . \"b\") (1 . 2.5))"},
      {"(lb_types 32767 -32769 '(1 (\"x\" . 2.5)))",
       "(5003 5010 5016 5003 5016 5005 5018 5001 5017 5017)"},
      // Lists built by the module.
      {"(lb_build)", "(-32768 -32769 (1.5 -2.0) (1.0 2.0 3.0) (1 (2 (3))) "
                     "(\"key\" . \"value\") (8 . \"text\") (34 . 7) nil T)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c[0]), c[1]);
}

}  // namespace
