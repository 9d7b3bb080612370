// Exhausted memory in the middle of a program's work: an allocator that
// fails its n-th request, for every n of one connect-prepare-execute-
// fetch-disconnect cycle, and the Memmax ceiling reached by a statement.
// Each failure must come back as a failed call with 0xA008, never a crash
// or a success that lost something, with nothing left allocated and the
// session usable after; only the few requests listed below are optional.
#include <algorithm>
#include <climits>
#include <optional>

#include "appl_fixture.h"
#include "salloc.h"
#include "zqlsys.h"

namespace zqltest {
namespace {

using OutOfMemory = ApplTest;

// The steps of one cycle, in order.
enum EStep {
  kConnect, kInsert, kHostValues, kQuery, kCursor, kFetch, kStatementsEnd, kDisconnect, kSteps
};
const char* const kStepNames[kSteps] = {"connect", "insert", "host values", "query",
                                        "cursor", "fetch", "statements end", "disconnect"};

// Failing requests that a cycle absorbs by design, per step; any other
// failing request must fail its call with 0xA008.
//   - a new character value copies the default character set's and
//     collation's names (a body and its text each): an empty name stands
//     for the default (CZqlChar), 4 requests per value;
// (A statement's destructor deallocating it in the driver and the link's
// Detach at the last disconnect allocate nothing: requests and replies use
// the buffers the connection keeps.)
constexpr int kAbsorbed[kSteps] = {0, 4 + 4 /* NAME parameter described, name bound */,
                                   4 /* CZqlChar atName */, 4 /* NAME column described */,
                                   4 /* the cursor's NAME column */, 0, 0, 0};

// One cycle; answers 0 when every step succeeded, with the first row read
// whole, else the code of the first failing step. ends receives the
// allocator's request count at the end of each step. Objects of the cycle
// end in it.
int Cycle(CZqlAppl* app, long* ends = nullptr) {
  int step = 0;
  auto done = [&] {
    if (ends != nullptr) ends[step] = TEST_ZqlMemoryCalls();
    ++step;
  };
  // 0xA008 when it is among the conditions (a later one may say that the
  // object is unusable after it), else the last one.
  auto failure = [](const CZqlSQLObject& o) {
    for (int code : Codes(o))
      if (code == kZqlErrInsufficientMemory) return code;
    return o.Err(0);
  };
  CZqlSession session(app);
  if (session.CondQty() > 0) return failure(session);  // the session is unusable
  CZqlUcStr environment("DB1");
  if (environment.Length() == 0) return kZqlErrInsufficientMemory;  // constructors do not raise
  if (session.Connect(environment, CZqlUcStr(), CZqlUcStr()) != 1) return failure(session);
  done();
  int code = 0;
  {
    // Texts are made before the calls: their converting constructors do
    // not raise, an application looks at the result.
    CZqlUcStr insertText("INSERT INTO T VALUES (?, ?)"), queryText("SELECT * FROM T");
    if (insertText.Length() == 0 || queryText.Length() == 0) return kZqlErrInsufficientMemory;
    std::optional<CZqlExecStm> insert;  // on the stack: no operator new
    insert.emplace();
    CZqlInt id;
    id.storeValue(7L);
    char name[11] = "seven";
    int16_t indicator = 0;
    if (insert->Prepare(&session, insertText) != 1 || insert->Bind(0, &id) != 1 ||
        insert->Bind(1, name, &indicator, sizeof name, kZqlHostChar) != 1 || insert->Execute() != 1)
      return failure(*insert);
    done();
    CZqlInt at;
    CZqlChar atName(10);
    atName.setVarying();
    done();
    std::optional<CZqlExecStm> query;
    query.emplace();
    if (query->Prepare(&session, queryText) != 1) return failure(*query);
    done();
    std::optional<CZqlCsr> csr;
    csr.emplace();
    if (csr->Allocate(&*query, "C", kZqlCurNonScroll, kZqlCurSensitivityDefault) != 1 ||
        csr->Sob(0, &at) != 1 || csr->Sob(1, &atName) != 1 || csr->Open() != 1)
      return failure(*csr);
    done();
    if (csr->Fetch() != 1 || csr->Close() != 1) return failure(*csr);
    long got = 0;
    const CZqlUcStr& text = atName.charValue();  // read without allocating
    // The driver's table starts with (1, 'one').
    if (!at.getValue(&got) || got != 1 || text.Length() != 3 || text.Compi("one") != 0)
      code = -2;  // a success that lost the row
    done();
    csr.reset();
    query.reset();
    insert.reset();
    done();
  }
  if (session.Disconnect() != 1) return failure(session);
  done();
  return code;
}

TEST_F(OutOfMemory, EveryRequestOfACycleMayFail) {
  ASSERT_EQ(app->Init(), 1);
  ASSERT_EQ(Cycle(app.get()), 0);  // the driver is started and warm
  // Where each step's requests end, from a cycle that counts them all.
  long ends[kSteps] = {};
  TEST_ZqlMemoryFailAt(LONG_MAX);
  ASSERT_EQ(Cycle(app.get(), ends), 0);
  TEST_ZqlMemoryFailAt(0);
  const long objects = ZqlObjectsInUse();
  int absorbed[kSteps] = {};
  long n = 1;
  for (;; ++n) {
    int code = 0;
    long calls = 0;
    int blocks = 0;
    // A failure's message is read once and then kept: an n that leaves
    // blocks behind runs again, and the second run must leave none.
    for (int run = 0; run < 2; ++run) {
      blocks = ZqlMemBlkNblkInUse();
      TEST_ZqlMemoryFailAt(n);
      code = Cycle(app.get());
      calls = TEST_ZqlMemoryCalls();
      TEST_ZqlMemoryFailAt(0);
      if (ZqlMemBlkNblkInUse() == blocks) break;
    }
    ASSERT_EQ(ZqlObjectsInUse(), objects) << "request " << n;
    ASSERT_EQ(ZqlMemBlkNblkInUse(), blocks) << "request " << n;
    if (calls < n) {  // the cycle made fewer requests: none failed
      EXPECT_EQ(code, 0);
      break;
    }
    const int step = static_cast<int>(std::lower_bound(ends, ends + kSteps, n) - ends);
    ASSERT_LT(step, kSteps) << "request " << n;
    if (code == 0) {
      ++absorbed[step];
    } else {
      EXPECT_EQ(code, kZqlErrInsufficientMemory) << "request " << n << ", " << kStepNames[step] << ": 0x" << std::hex << code;
    }
    if (n % 16 == 0) {
      ASSERT_EQ(Cycle(app.get()), 0) << "not usable after request " << n;
    }
  }
  for (int i = 0; i < kSteps; ++i) {
    EXPECT_EQ(absorbed[i], kAbsorbed[i]) << "failed requests reported as success in " << kStepNames[i];
  }
  ASSERT_EQ(Cycle(app.get()), 0);
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
