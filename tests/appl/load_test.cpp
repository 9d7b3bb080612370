// Many client processes through one shared driver: writers that insert in
// committed batches and readers that walk cursors at the same time. Every
// row must arrive exactly once and no client may fail or hang. The soak
// variant (ZQL_SOAK set; scripts/soak) runs mixed clients for a while with
// driver kills and reports what was served.
#include <map>

#include "appl_fixture.h"

namespace zqltest {
namespace {

using Load = ApplTest;

// Bound of the waits here: thousands of requests take their time on a busy
// machine (and under the sanitizers).
constexpr int kLoadWaitMs = 600 * 1000;

int32_t GetSlow(Pipe* p) {
  pollfd fd{p->fd[0], POLLIN, 0};
  int32_t value = INT32_MIN;
  if (poll(&fd, 1, kLoadWaitMs) == 1 && read(p->fd[0], &value, sizeof value) != sizeof value)
    value = INT32_MIN;
  return value;
}

int WaitSlow(pid_t pid) {
  for (int ms = 0; ms < kLoadWaitMs; ms += 10) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

// Inserts rows first .. first+count-1, committing every 100. Answers the
// first failing code, or 0.
int Write(CZqlSession* session, long first, long count) {
  CZqlExecStm insert;
  if (insert.Prepare(session, "INSERT INTO T VALUES (?, ?)") != 1) return insert.Err(0);
  CZqlInt id;
  char name[11] = "load";
  int16_t indicator = 0;
  if (insert.Bind(0, &id) != 1 || insert.Bind(1, name, &indicator, sizeof name, kZqlHostChar) != 1)
    return insert.Err(0);
  for (long i = 0; i < count; ++i) {
    id.storeValue(first + i);
    if (insert.Execute() != 1) return insert.Err(0);
    if ((i + 1) % 100 == 0 && session->Commit() != 1) return session->Err(0);
  }
  return session->Commit() == 1 ? 0 : session->Err(0);
}

// The rows a cursor over T delivers, or -code.
long Count(CZqlSession* session) {
  CZqlExecStm query;
  CZqlCsr csr;
  CZqlInt id;
  CZqlChar name(10);
  name.setVarying();
  if (query.Prepare(session, "SELECT * FROM T") != 1) return -query.Err(0);
  if (csr.Allocate(&query, "C", kZqlCurNonScroll, kZqlCurSensitivityDefault) != 1 ||
      csr.Sob(0, &id) != 1 || csr.Sob(1, &name) != 1 || csr.Open() != 1)
    return -csr.Err(0);
  long rows = 0;
  while (csr.Fetch() == 1) ++rows;
  if (csr.Err(0) != kZqlErrNoData0200) return -csr.Err(0);
  return csr.Close() == 1 ? rows : -csr.Err(0);
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
    if (GetSlow(go) != 1) return 3;
    out->Put(static_cast<int32_t>(body(&session)));
    session.Disconnect();
    return 0;
  });
}

TEST_F(Load, WritersAndReadersShareOneDriver) {
  struct Case {
    int writers, readers;
    long rowsEach;
  };
  const Case cases[] = {{8, 0, 1000}, {4, 4, 1000}};
  ASSERT_EQ(app->Init(), 1);
  for (const Case& c : cases) {
    std::unique_ptr<CZqlSession> here = Session();  // keeps the driver and T
    CZqlExecStm clear;
    ASSERT_EQ(clear.ImmediateExecute(here.get(), "DELETE FROM T"), 1);
    Pipe go, out;
    std::vector<pid_t> pids;
    for (int w = 0; w < c.writers; ++w)
      pids.push_back(Client(&go, &out, [=](CZqlSession* s) {
        return Write(s, 100000L * (w + 1), c.rowsEach);
      }));
    for (int r = 0; r < c.readers; ++r)
      pids.push_back(Client(&go, &out, [](CZqlSession* s) {
        for (int pass = 0; pass < 20; ++pass) {
          const long rows = Count(s);
          if (rows < 0) return static_cast<int>(rows);
        }
        return 0;
      }));
    for (size_t i = 0; i < pids.size(); ++i) go.Put(1);
    for (size_t i = 0; i < pids.size(); ++i) EXPECT_EQ(GetSlow(&out), 0) << "client " << i;
    for (pid_t pid : pids) EXPECT_TRUE(ExitedWith(WaitSlow(pid), 0));
    EXPECT_EQ(Count(here.get()), c.writers * c.rowsEach);
    EXPECT_EQ(here->Disconnect(), 1);
  }
  EXPECT_EQ(app->Term(), 1);
}

// Soak: clients write and read for ZQL_SOAK_SECONDS (default 60), the
// driver is killed every 10 seconds; each client counts the requests that
// were served and the errors by code, and reconnects after one. Prints
// "soak:" lines; fails only on a hung or crashed client.
TEST_F(Load, Soak) {
  if (std::getenv("ZQL_SOAK") == nullptr) GTEST_SKIP() << "ZQL_SOAK not set";
  const char* secs = std::getenv("ZQL_SOAK_SECONDS");
  const long seconds = secs != nullptr ? std::atol(secs) : 60;
  ASSERT_EQ(app->Init(), 1);
  Pipe results;
  std::vector<pid_t> pids;
  const time_t end = time(nullptr) + seconds;
  for (int k = 0; k < 6; ++k) {
    pids.push_back(Child([&, k] {
      TEST_ZqlIpcReset();
      CZqlAppl appl;
      if (appl.Init() != 1) return 1;
      std::map<int, int> errors;
      long served = 0;
      for (long round = 0; time(nullptr) < end; ++round) {
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
      results.Put(static_cast<int32_t>(served));
      results.Put(static_cast<int32_t>(errors.size()));
      for (const auto& e : errors) {
        results.Put(e.first);
        results.Put(e.second);
      }
      return 0;
    }));
  }
  auto rss = [&](pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
      if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1L;
  };
  std::unique_ptr<CZqlSession> here = Session();
  const pid_t first = ZqlIpcComBuf()->slots[kZqlIpcSlotCount - 1].driverPid;
  const long rssStart = rss(first);
  int kills = 0;
  while (time(nullptr) + 10 < end) {
    sleep(10);
    const pid_t driver = ZqlIpcComBuf()->slots[kZqlIpcSlotCount - 1].driverPid;
    drivers_.insert(driver);
    if (kill(driver, SIGKILL) == 0) ++kills;
  }
  std::map<int, long> errors;
  long served = 0;
  for (size_t i = 0; i < pids.size(); ++i) {
    served += GetSlow(&results);
    const int32_t kinds = GetSlow(&results);
    for (int32_t e = 0; e < kinds && e >= 0; ++e) {
      const int32_t code = GetSlow(&results);
      errors[code] += GetSlow(&results);
    }
  }
  for (pid_t pid : pids) EXPECT_TRUE(ExitedWith(WaitSlow(pid), 0));
  CZqlExecStm probe;
  probe.ImmediateExecute(here.get(), "DELETE FROM T");  // reaches the last driver
  const pid_t last = ZqlIpcComBuf()->slots[kZqlIpcSlotCount - 1].driverPid;
  drivers_.insert(last);
  std::printf("soak: requests served %ld, driver kills %d\n", served, kills);
  for (const auto& e : errors) std::printf("soak: error 0x%X x %ld\n", e.first, e.second);
  std::printf("soak: driver rss start %ld kB (pid %d), end %ld kB (pid %d)\n", rssStart, first,
              rss(last), last);
  here->Disconnect();
  app->Term();
}

}  // namespace
}  // namespace zqltest
