// Exhausted memory in the middle of a program's work: an allocator that
// fails its n-th request, for every n of one connect-prepare-execute-
// fetch-disconnect cycle, and the Memmax ceiling reached by a statement.
// Each failure must come back as a failed call (0xA008 where the call
// reports it), never a crash, with nothing left allocated and the session
// usable after.
#include "appl_fixture.h"
#include "salloc.h"
#include "zqlsys.h"

namespace zqltest {
namespace {

using OutOfMemory = ApplTest;

// One cycle; true when every step succeeded. Objects of the cycle end in it.
bool Cycle(CZqlAppl* app) {
  CZqlSession session(app);
  if (session.Connect(CZqlUcStr("DB1"), CZqlUcStr(), CZqlUcStr()) != 1) return false;
  bool ok = true;
  {
    CZqlExecStm insert;
    CZqlInt id;
    id.storeValue(7L);
    char name[11] = "seven";
    int16_t indicator = 0;
    ok = insert.Prepare(&session, "INSERT INTO T VALUES (?, ?)") == 1 && insert.Bind(0, &id) == 1 &&
         insert.Bind(1, name, &indicator, sizeof name, kZqlHostChar) == 1 &&
         insert.Execute() == 1;
    CZqlExecStm query;
    CZqlCsr csr;
    CZqlInt at;
    CZqlChar atName(10);
    atName.setVarying();
    ok = ok && query.Prepare(&session, "SELECT * FROM T") == 1 &&
         csr.Allocate(&query, "C", kZqlCurNonScroll, kZqlCurSensitivityDefault) == 1 &&
         csr.Sob(0, &at) == 1 && csr.Sob(1, &atName) == 1 && csr.Open() == 1 && csr.Fetch() == 1 && csr.Close() == 1;
  }
  ok = ok && session.Disconnect() == 1;
  return ok;
}

TEST_F(OutOfMemory, EveryRequestOfACycleMayFail) {
  ASSERT_EQ(app->Init(), 1);
  ASSERT_TRUE(Cycle(app.get()));  // the driver is started and warm
  const long objects = ZqlObjectsInUse();
  long n = 1;
  for (;; ++n) {
    bool ok = false;
    long calls = 0;
    int blocks = 0;
    // A failure's message is read once and then kept: an n that leaves
    // blocks behind runs again, and the second run must leave none.
    for (int run = 0; run < 2; ++run) {
      blocks = ZqlMemBlkNblkInUse();
      TEST_ZqlMemoryFailAt(n);
      ok = Cycle(app.get());
      calls = TEST_ZqlMemoryCalls();
      TEST_ZqlMemoryFailAt(0);
      if (ZqlMemBlkNblkInUse() == blocks) break;
    }
    ASSERT_EQ(ZqlObjectsInUse(), objects) << "request " << n;
    ASSERT_EQ(ZqlMemBlkNblkInUse(), blocks) << "request " << n;
    if (calls < n) {  // the cycle made fewer requests: none failed
      EXPECT_TRUE(ok);
      break;
    }
    // A failed request may also be absorbed (an optional part dropped).
    if (n % 16 == 0) {
      ASSERT_TRUE(Cycle(app.get())) << "not usable after request " << n;
    }
  }
  ASSERT_TRUE(Cycle(app.get()));
  EXPECT_GT(n, 20);
  EXPECT_EQ(app->Term(), 1);
}

// The ceiling reached by a statement's large reply (a condition message of
// 20,000 characters): that call fails with 0xA008, the next works.
TEST_F(OutOfMemory, CeilingReachedMidStatement) {
  ASSERT_EQ(app->Init(), 1);
  std::unique_ptr<CZqlSession> session = Session();
  ZqlMemorySetCeiling(1);
  ZqlMemorySetCeiling(ZqlMemoryBytesInUse() + 16 * 1024);
  CZqlExecStm big;
  EXPECT_EQ(big.ImmediateExecute(session.get(), "BIG 20000"), 0);
  EXPECT_EQ(Codes(big).empty() ? 0 : Codes(big)[0], kZqlErrInsufficientMemory);
  CZqlExecStm small;
  EXPECT_EQ(small.ImmediateExecute(session.get(), "DELETE FROM T"), 1) << Text(small.ErrMsg(0));
  ZqlMemorySetCeiling(0);
  EXPECT_EQ(session->Disconnect(), 1);
}

}  // namespace
}  // namespace zqltest
