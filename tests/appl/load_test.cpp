// Many client processes through one shared driver: writers that insert in
// committed batches and readers that walk cursors at the same time. Every
// row must arrive exactly once and no client may fail or hang. The same
// clients run on the scripted driver, on the SQLite driver over a database
// file of the test's folder, where writers and readers meet SQLite's locks
// (a client that finds the database locked backs off and tries again: a
// batch from its start, a refused COMMIT as it was), and on the PostgreSQL
// driver against the tests' private server (tests/pg/pgserver.sh), in a
// schema of their own. On SQLite and PostgreSQL also a client killed in the
// middle of a transaction: its work is rolled back and the others go on.
// The soak variant (ZQL_SOAK set; scripts/soak) runs mixed clients for a
// while with driver kills and reports what was served.
#include <map>
#include <set>

#include "appl_fixture.h"

namespace zqltest {
namespace {

enum class EDriver { kScripted, kSqlite, kPg };

class Load : public ApplTest, public ::testing::WithParamInterface<EDriver> {
 protected:
  void SetUp() override {
    ApplTest::SetUp();
#ifdef ZQL_SQLITE_DRIVER
    if (GetParam() == EDriver::kSqlite)
      std::ofstream(ini_) << "[ENVIRONMENTS]\nDB1 = x\n[DB1]\nDriver = zqlsqlite\n"
                          << "Database = load.db\n[zqlsqlite]\nPath = " ZQL_SQLITE_DRIVER "\n";
#endif
#ifdef ZQL_PG_DRIVER
    if (GetParam() == EDriver::kPg) {
      const std::string socket = PgSocket();
      if (socket.empty()) GTEST_SKIP() << "no PostgreSQL server";
      std::ofstream(ini_) << "[ENVIRONMENTS]\nDB1 = x\n[DB1]\nDriver = zqlpg\nConninfo = host=" << socket
                          << " dbname=postgres user=zql options=-csearch_path=zqlload\n"
                          << "[zqlpg]\nPath = " ZQL_PG_DRIVER "\n";
    }
#endif
  }
  // Initialises the application and makes table T (the scripted driver
  // has it; on PostgreSQL in a fresh schema).
  void Start() {
    ASSERT_EQ(app->Init(), 1);
    if (GetParam() == EDriver::kScripted) return;
    std::unique_ptr<CZqlSession> s = Session();
    CZqlNativeStm schema;
    if (GetParam() == EDriver::kPg) {
      ASSERT_EQ(schema.ImmediateExecute(s.get(), "DROP SCHEMA IF EXISTS zqlload CASCADE; CREATE SCHEMA zqlload"), 1)
          << Text(schema.ErrMsg(0));
    }
    CZqlExecStm create;
    ASSERT_EQ(create.ImmediateExecute(s.get(), "CREATE TABLE T (ID INTEGER, NAME VARCHAR(10))"), 1)
        << Text(create.ErrMsg(0));
    ASSERT_EQ(s->Commit(), 1);
    ASSERT_EQ(s->Disconnect(), 1);
  }
};

// Bound of the waits here: thousands of requests take their time on a busy
// machine (and under the sanitizers).
constexpr int kLoadWaitMs = 600 * 1000;
// Tries of one step that finds the database locked, a few milliseconds
// apart.
constexpr int kLockedTries = 50000;

// After a step refused with code: true (after a pause that differs between
// processes) when it is worth another try.
bool Again(int code, int* tries) {
  if (code != kZqlErrTableIsLockedByAnotherCursor || ++*tries > kLockedTries) return false;
  usleep(500 + static_cast<useconds_t>((getpid() * 7919L + *tries * 104729L) % 3000));
  return true;
}

// Inserts rows first .. first+count-1, committing every 100. Answers the
// first failing code, or 0.
int Write(CZqlSession* session, long first, long count) {
  CZqlExecStm insert;
  int tries = 0;
  while (insert.Prepare(session, "INSERT INTO T VALUES (?, ?)") != 1)  // reads the schema
    if (!Again(insert.Err(0), &tries)) return insert.Err(0);
  CZqlInt id;
  char name[11] = "load";
  int16_t indicator = 0;
  if (insert.Bind(0, &id) != 1 || insert.Bind(1, name, &indicator, sizeof name, kZqlHostChar) != 1)
    return insert.Err(0);
  for (long done = 0; done < count;) {
    const long batch = std::min(100L, count - done);
    int code = 0;
    for (long i = 0; i < batch && code == 0; ++i) {
      id.storeValue(first + done + i);
      if (insert.Execute() != 1) code = insert.Err(0);
    }
    if (code != 0) {  // the batch goes again from its start
      if (session->Rollback() != 1 || !Again(code, &tries)) return code;
      continue;
    }
    // A refused COMMIT leaves the batch in place: only the COMMIT goes again.
    while (session->Commit() != 1)
      if (!Again(session->Err(0), &tries)) return session->Err(0);
    done += batch;
  }
  return 0;
}

// The rows a cursor over T delivers (their ids into *ids when given), or
// -code. Ends the transaction it reads in.
long Count(CZqlSession* session, std::multiset<long>* ids = nullptr) {
  for (int tries = 0;;) {
    CZqlExecStm query;
    CZqlCsr csr;
    CZqlInt id;
    CZqlChar name(10);
    name.setVarying();
    int code = 0;
    long rows = 0;
    if (ids != nullptr) ids->clear();
    if (query.Prepare(session, "SELECT * FROM T") != 1) {
      code = query.Err(0);
    } else if (csr.Allocate(&query, "C", kZqlCurNonScroll, kZqlCurSensitivityDefault) != 1 ||
               csr.Sob(0, &id) != 1 || csr.Sob(1, &name) != 1 || csr.Open() != 1) {
      code = csr.Err(0);
    } else {
      for (long at = 0; csr.Fetch() == 1; ++rows)
        if (ids != nullptr && id.getValue(&at)) ids->insert(at);
      if (csr.Err(0) != kZqlErrNoData0200) code = csr.Err(0);
      else if (csr.Close() != 1) code = csr.Err(0);
    }
    if (code == 0 && session->Commit() == 1) return rows;
    if (code == 0) code = session->Err(0);
    session->Rollback();
    if (!Again(code, &tries)) return -code;
  }
}

// A client process: its own application and session; waits for go, runs
// body, and puts body's answer.
template <class Body>
pid_t Client(Pipe* go, Pipe* out, Body body) {
  return Child([=] {
    TEST_ZqlIpcReset();
    CZqlAppl appl;
    if (appl.Init() != 1) return 1;
    CZqlSession session(&appl);
    if (session.Connect(CZqlUcStr("DB1"), CZqlUcStr(), CZqlUcStr()) != 1) return 2;
    if (go->Get(kLoadWaitMs) != 1) return 3;
    out->Put(static_cast<int32_t>(body(&session)));
    session.Disconnect();
    return 0;
  });
}

TEST_P(Load, WritersAndReadersShareOneDriver) {
  struct Case {
    int writers, readers;
    long rowsEach;
  };
  const Case cases[] = {{8, 0, 1000}, {4, 4, 1000}};
  ASSERT_NO_FATAL_FAILURE(Start());
  for (const Case& c : cases) {
    std::unique_ptr<CZqlSession> here = Session();  // keeps the driver and T
    CZqlExecStm clear;
    ASSERT_EQ(clear.ImmediateExecute(here.get(), "DELETE FROM T"), 1);
    ASSERT_EQ(here->Commit(), 1);
    Pipe go, out;
    std::vector<pid_t> pids;
    std::multiset<long> expected;
    for (int w = 0; w < c.writers; ++w) {
      const long first = 100000L * (w + 1);
      for (long i = 0; i < c.rowsEach; ++i) expected.insert(first + i);
      pids.push_back(Client(&go, &out, [=](CZqlSession* s) { return Write(s, first, c.rowsEach); }));
    }
    for (int r = 0; r < c.readers; ++r)
      pids.push_back(Client(&go, &out, [](CZqlSession* s) {
        for (int pass = 0; pass < 20; ++pass) {
          const long rows = Count(s);
          if (rows < 0) return static_cast<int>(rows);
        }
        return 0;
      }));
    for (size_t i = 0; i < pids.size(); ++i) go.Put(1);
    for (size_t i = 0; i < pids.size(); ++i) EXPECT_EQ(out.Get(kLoadWaitMs), 0) << "client " << i;
    for (pid_t pid : pids) EXPECT_TRUE(ExitedWith(WaitChild(pid, kLoadWaitMs), 0));
    std::multiset<long> ids;
    EXPECT_EQ(Count(here.get(), &ids), c.writers * c.rowsEach);
    EXPECT_TRUE(ids == expected) << "rows lost or twice";
    EXPECT_EQ(here->Disconnect(), 1);
  }
  EXPECT_EQ(app->Term(), 1);
}

// The one INTEGER a query answers, or -code. Ends the transaction.
long Scalar(CZqlSession* session, const char* text) {
  CZqlExecStm query;
  CZqlCsr csr;
  CZqlInt value;
  long got = 0;
  if (query.Prepare(session, text) != 1) return -query.Err(0);
  if (csr.Allocate(&query, "S", kZqlCurNonScroll, kZqlCurSensitivityDefault) != 1 ||
      csr.Sob(0, &value) != 1 || csr.Open() != 1 || csr.Fetch() != 1 || !value.getValue(&got))
    got = -csr.Err(0);
  csr.Close();
  session->Commit();
  return got;
}

// A client killed with an uncommitted insert: the driver finds it gone,
// rolls its connection back, and another client writes. On SQLite the
// victim held the database's write lock, and no lock wait is configured,
// so a lock still held would refuse the insert; on PostgreSQL its server
// session, idle in its transaction, ends.
using Killed = Load;

TEST_P(Killed, ClientsTransactionIsRolledBack) {
  ASSERT_NO_FATAL_FAILURE(Start());
  std::unique_ptr<CZqlSession> here = Session();
  Pipe go, out;
  const pid_t victim = Client(&go, &out, [&](CZqlSession* s) {
    CZqlExecStm insert;
    out.Put(insert.ImmediateExecute(s, "INSERT INTO T VALUES (1, 'lost')") == 1 ? 0 : insert.Err(0));
    pause();
    return 0;
  });
  go.Put(1);
  ASSERT_EQ(out.Get(kLoadWaitMs), 0);
  const char* const open =
      "SELECT CAST(COUNT(*) AS INTEGER) FROM pg_stat_activity WHERE state = 'idle in transaction'";
  if (GetParam() == EDriver::kPg) {
    EXPECT_EQ(Scalar(here.get(), open), 1);
  } else {
    CZqlExecStm blocked;
    EXPECT_EQ(blocked.ImmediateExecute(here.get(), "INSERT INTO T VALUES (2, 'x')"), 0);
    EXPECT_EQ(blocked.Err(0), kZqlErrTableIsLockedByAnotherCursor);
    ASSERT_EQ(here->Rollback(), 1);
  }
  kill(victim, SIGKILL);
  EXPECT_FALSE(ExitedWith(WaitChild(victim, kLoadWaitMs), 0));
  if (GetParam() == EDriver::kPg) {  // the driver's idle check, then the server
    long left = 1;
    for (int ms = 0; ms < 20000 && left != 0; ms += 100) {
      usleep(100000);
      left = Scalar(here.get(), open);
    }
    EXPECT_EQ(left, 0) << "the killed client's transaction is still open";
  }
  CZqlExecStm insert;
  EXPECT_EQ(insert.ImmediateExecute(here.get(), "INSERT INTO T VALUES (3, 'kept')"), 1)
      << Text(insert.ErrMsg(0));
  EXPECT_EQ(here->Commit(), 1);
  std::multiset<long> ids;
  EXPECT_EQ(Count(here.get(), &ids), 1);
  EXPECT_EQ(ids, std::multiset<long>{3});
  EXPECT_EQ(here->Disconnect(), 1);
  EXPECT_EQ(app->Term(), 1);
}

// Soak: clients write and read for ZQL_SOAK_SECONDS (default 60), the
// driver is killed every 5 seconds; each client counts the requests that
// were served and the errors by code, and reconnects after one. Prints
// "soak:" lines; fails only on a hung or crashed client.
TEST_P(Load, Soak) {
  if (std::getenv("ZQL_SOAK") == nullptr) GTEST_SKIP() << "ZQL_SOAK not set";
  const char* secs = std::getenv("ZQL_SOAK_SECONDS");
  const long seconds = secs != nullptr ? std::atol(secs) : 60;
  ASSERT_NO_FATAL_FAILURE(Start());
  Pipe results;
  std::vector<pid_t> pids;
  const time_t end = time(nullptr) + seconds;
  for (int k = 0; k < 6; ++k) {
    pids.push_back(Child([&, k] {
      TEST_ZqlIpcReset();
      CZqlAppl appl;
      std::map<int, int> errors;
      long served = 0;
      const bool ready = appl.Init() == 1;
      if (!ready) ++errors[appl.Err(0)];
      for (long round = 0; ready && time(nullptr) < end; ++round) {
        CZqlSession s(&appl);
        if (s.Connect(CZqlUcStr("DB1"), CZqlUcStr(), CZqlUcStr()) != 1) {
          ++errors[s.Err(0)];
          continue;
        }
        const long got = k % 2 == 0 ? Write(&s, 1000000L * (k + 1) + round * 10, 10) : Count(&s);
        if (got < 0 || (k % 2 == 0 && got != 0))
          ++errors[static_cast<int>(got < 0 ? -got : got)];
        else
          ++served;
        s.Disconnect();
      }
      // One write, so that the clients' records do not interleave (a pipe
      // keeps a write of up to PIPE_BUF bytes whole).
      std::vector<int32_t> record{static_cast<int32_t>(served),
                                  static_cast<int32_t>(errors.size())};
      for (const auto& e : errors) {
        record.push_back(e.first);
        record.push_back(e.second);
      }
      const size_t bytes = record.size() * sizeof(int32_t);
      if (bytes > PIPE_BUF || write(results.fd[1], record.data(), bytes) != static_cast<ssize_t>(bytes))
        return 2;
      return ready ? 0 : 1;
    }));
  }
  // The test's one driver runs in the highest slot.
  auto driverPid = [] { return ZqlIpcComBuf()->slots[kZqlIpcSlotCount - 1].driverPid; };
  auto rss = [&](pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
      if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1L;
  };
  std::unique_ptr<CZqlSession> here = Session();
  const pid_t first = driverPid();
  const long rssStart = rss(first);
  int kills = 0;
  while (time(nullptr) + 5 < end) {
    sleep(5);
    // -1 while a client starts the next driver: kill(-1) would end every
    // process of the user.
    const pid_t driver = driverPid();
    if (driver <= 0) continue;
    drivers_.insert(driver);
    if (kill(driver, SIGKILL) == 0) ++kills;
  }
  std::map<int, long> errors;
  long served = 0;
  for (size_t i = 0; i < pids.size(); ++i) {
    const int32_t count = results.Get(kLoadWaitMs);
    ASSERT_NE(count, INT32_MIN) << "a client sent no counts";
    served += count;
    const int32_t kinds = results.Get(kLoadWaitMs);
    for (int32_t e = 0; e < kinds && e >= 0; ++e) {
      const int32_t code = results.Get(kLoadWaitMs);
      errors[code] += results.Get(kLoadWaitMs);
    }
  }
  for (pid_t pid : pids) EXPECT_TRUE(ExitedWith(WaitChild(pid, kLoadWaitMs), 0));
  CZqlExecStm probe;
  probe.ImmediateExecute(here.get(), "DELETE FROM T");  // reaches the last driver
  const pid_t last = driverPid();
  drivers_.insert(last);
  std::printf("soak: requests served %ld, driver kills %d\n", served, kills);
  for (const auto& e : errors) std::printf("soak: error 0x%X x %ld\n", e.first, e.second);
  std::printf("soak: driver rss start %ld kB (pid %d), end %ld kB (pid %d)\n", rssStart, first,
              rss(last), last);
  here->Disconnect();
  app->Term();
}

INSTANTIATE_TEST_SUITE_P(Scripted, Load, ::testing::Values(EDriver::kScripted));
#ifdef ZQL_SQLITE_DRIVER
INSTANTIATE_TEST_SUITE_P(Sqlite, Load, ::testing::Values(EDriver::kSqlite));
INSTANTIATE_TEST_SUITE_P(Sqlite, Killed, ::testing::Values(EDriver::kSqlite));
#endif
#ifdef ZQL_PG_DRIVER
INSTANTIATE_TEST_SUITE_P(Pg, Load, ::testing::Values(EDriver::kPg));
INSTANTIATE_TEST_SUITE_P(Pg, Killed, ::testing::Values(EDriver::kPg));
#endif
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Killed);

}  // namespace
}  // namespace zqltest
