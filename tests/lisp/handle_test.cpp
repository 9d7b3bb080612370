// Handles and the handle list form: reading ("SQLSESSION" 3.0) and its
// malformed variants, writing, and how objects enter and leave the root's
// handle table.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "lispbuf.h"
#include "lisprow.h"
#include "lispsqlobj.h"
#include "lisptest.h"
#include "zqlsimpl.h"

namespace {

// A binding object of another class than the scratch object.
class Session : public CZqlLispSQLObj {
 public:
  explicit Session(const char* name) : CZqlLispSQLObj(name) {}
  EZqlLispClassId lisA() const override { return kZqlLispClsSession; }
};

class LispHandleTest : public RootTest {
 protected:
  // Reads the handle list at the start of buf_ into the scratch object.
  int Read() {
    buf_.getFirstItem();
    return scratch_->readBuf(&buf_);
  }
  void List(const char* type) {
    buf_.lclear();
    buf_.addBList();
    buf_.addItem(type);
  }

  void TearDown() override {
    scratch_.reset();  // binding objects go before their root
    RootTest::TearDown();
  }

  CZqlLispBuf buf_;
  std::unique_ptr<CZqlLispSQLObj> scratch_ = std::make_unique<CZqlLispSQLObj>();
};

// Integer handles of both widths (real ones: every handle in
// tests/lisp/e2e); reading leaves the position on the argument after the
// list.
TEST_F(LispHandleTest, HandlesAccepted) {
  const struct {
    const char* type;
    std::function<void(CZqlLispBuf*)> add;
    double id;
  } cases[] = {
      {"SQLCURSOR", [](CZqlLispBuf* b) { b->addItem(int16_t{2}); }, 2.0},
      {"SQLSTATEMENT", [](CZqlLispBuf* b) { b->addItem(int32_t{70000}); }, 70000.0},
  };
  for (const auto& c : cases) {
    List(c.type);
    c.add(&buf_);
    buf_.addEList();
    buf_.addItem(int16_t{7});
    ASSERT_EQ(Read(), 1) << c.type;
    EXPECT_STREQ(scratch_->getObjType(), c.type) << c.type;
    EXPECT_EQ(scratch_->ID().Value(), c.id) << c.type;
    EXPECT_TRUE(buf_.isShort()) << c.type;
  }
  EXPECT_TRUE(codes().empty());
}

// What a LISP list cannot hold: a handle list that never ends (refused
// with 10, no type taken) and no argument at all (3); and a good handle list
// read by another class than the scratch object's (an internal error). The
// malformed lists a script can write (names, values, widths, extra or
// missing items, not a list): tests/lisp/e2e/conn.lsp.
TEST_F(LispHandleTest, UnendedListNoArgumentOrOtherReaderRefused) {
  List("SQLSESSION");
  buf_.addItem(2.0);
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrHandleInvalid}));
  EXPECT_EQ(scratch_->getObjType(), nullptr);
  buf_.lclear();
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrArgType}));
  Session session("db");
  List("SQLSESSION");
  buf_.addItem(1.0);
  buf_.addEList();
  buf_.getFirstItem();
  EXPECT_EQ(session.readBuf(&buf_), 0);
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrInternal}));
}

// Written and read back, the list names the same object. The owner's
// withdrawal when it goes: ZQL_OBJP after ZQL_DISCONNECT in
// tests/lisp/e2e/conn.lsp.
TEST_F(LispHandleTest, ObjectsEnterAndLeaveTheHandleTable) {
  auto a = std::make_unique<Session>("env1");
  auto b = std::make_unique<Session>(nullptr);
  ASSERT_EQ(a->init(), 1);
  ASSERT_EQ(b->init(), 1);
  EXPECT_STREQ(a->getName(), "env1");
  EXPECT_STREQ(b->getName(), "");
  EXPECT_EQ(root_->table().Qty(), 2);
  ASSERT_EQ(a->writeBuf(&buf_), 0);  // no type yet
  EXPECT_EQ(taken(), (std::vector<int>{kZqlLispErrInternal}));
  ASSERT_EQ(a->setObjType("SQLSESSION"), 1);
  ASSERT_EQ(a->writeBuf(&buf_), 1);
  EXPECT_EQ(buf_.Qty(), 4);
  ASSERT_EQ(Read(), 1);
  CZqlLispSQLObj* found = nullptr;
  root_->table().setPos(0);
  ASSERT_EQ(root_->table().findItem(scratch_->ID(), &found), 1);
  EXPECT_EQ(found, a.get());
  // The scratch object read a's handle but never owned it: destroying it
  // withdraws nothing.
  scratch_.reset();
  EXPECT_EQ(root_->table().Qty(), 2);
  a.reset();
  b.reset();
  EXPECT_EQ(root_->table().Qty(), 0);
  EXPECT_EQ(root_->cash().blocksInUse(), 0);  // the names went back
}

// A fetched value of no LISP form (implementation-defined) goes out as nil.
TEST_F(LispHandleTest, ImplementationDefinedValuesWriteNil) {
  Session owner("env1");
  CZqlImplDef opaque;
  opaque.setBytes("abc", 3);
  ASSERT_EQ(ZqlLispWriteValue(&owner, &buf_, &opaque), 1);
  EXPECT_TRUE(taken().empty());
  buf_.getFirstItem();
  EXPECT_EQ(buf_.Qty(), 1);
}

TEST(LispHandle, ValueOperations) {
  CZqlLispHandle h, g(5.0);
  EXPECT_TRUE(h.isNull());
  EXPECT_TRUE(++(++h) == 2.0);
  EXPECT_LT(h.cmp(&g), 0);
  ASSERT_EQ(h.lcopyFrom(&g), 1);
  EXPECT_TRUE(h == g);
  std::unique_ptr<CZqlLispObj> c(g.lclone());
  EXPECT_EQ(c->cmp(&g), 0);
}

TEST(LispHandle, WithoutRootInitFailsAndErrorsAreDropped) {
  CZqlLispSQLObj obj("x");
  EXPECT_EQ(obj.init(), 0);
  EXPECT_EQ(obj.getRoot(), nullptr);
  EXPECT_EQ(obj.errPush(kZqlLispErrInternal), 0);
  EXPECT_EQ(obj.errQty(), 0);
  EXPECT_EQ(obj.allocBuf(3), nullptr);
  EXPECT_STREQ(obj.getName(), "");
  EXPECT_EQ(obj.setObjType("bad"), 0);  // still answers its failure
  EXPECT_EQ(obj.setObjType(nullptr), 0);
  EXPECT_EQ(obj.setObjType("SQLCURSOR "), 0);
  EXPECT_EQ(obj.setObjType("SQLCURSOR"), 1);
}

}  // namespace
