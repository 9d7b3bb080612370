// Fetch speed of the SQLite driver: 100,000 rows of (INTEGER, VARCHAR(20),
// DOUBLE PRECISION) fetched one row per request through a cursor, through
// the whole client stack (dispatcher, request packing, transport, the
// driver's decoder, SQLite, reply unpacking), beside a bare transport round
// trip to the scripted driver (bench_ipc's), timed in interleaved rounds.
// Reports microseconds per row against the round trip as a FIGURE line.
//
// The drivers are looked up next to this program, the library's resources
// in ../share/zql from it unless ZQL names them.
#include <cstdio>
#include <cstring>
#include <vector>

#include "benchenv.h"
#include "ipclink.h"
#include "uxlink.h"
#include "zqldispa.h"
#include "zqlident.h"
#include "zqltry.h"

namespace {

using namespace zqlbench;

constexpr int kRows = 100000;
constexpr int kRounds = 20;  // of kRows / kRounds rows each
constexpr uint32_t kRequestSize = 56;         // that of a Fetch request
constexpr uint32_t kTestMarker = 0x54534554;  // echoed by the scripted driver

// Seconds per call of step, over n calls; negative when it failed.
template <class Step>
double Time(int n, Step step) {
  const double start = Now();
  for (int i = 0; i < n; ++i)
    if (!step()) return -1;
  return (Now() - start) / n;
}

}  // namespace

int main(int, char** argv) {
  NeedResources(argv);
  const char* mode = ApplyPinning();
  SIniDir where("MEM = x\n", "[MEM]\nDriver = zqlsqlite\nDatabase = :memory:\n[zqlsqlite]\nPath = " +
                                 BinDir() + "zqlsqlite\n");
  SInDir in(where.dir);
  CZqlDispClient client;
  CZqlDDA dda, stm, csr;
  uint32_t session = 0, statement = 0, cursor = 0;
  if (!ZqlTry([&] {
        dda.Init(10);
        stm.Init(10);
        csr.Init(10);
        client.Init(&dda);
        client.Connect(&dda, &session, CZqlUcStr("MEM"), CZqlUcStr(), CZqlUcStr());
        client.IExecute(&dda, session, CZqlUcStr("CREATE TABLE t (i INTEGER, s VARCHAR(20), d DOUBLE)"));
        client.IExecute(&dda, session,
                        CZqlUcStr("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                  "WHERE i < 100000) INSERT INTO t SELECT i, 'row number ' || i, "
                                  "i * 0.5 FROM n"));
        client.Prepare(&stm, session, &statement, CZqlUcStr("SELECT i, s, d FROM t"));
        client.AllocCsr(&csr, statement, &cursor, CZqlIdent(), kZqlCurNonScroll,
                        kZqlCurSensitivityDefault);
        client.Open(&csr, cursor);
      })) {
    std::fprintf(stderr, "bench_fetch: cannot set up the SQLite driver's table\n");
    return 1;
  }
  SZqlServer rec{};
  rec.slot = -1;
  const std::string driver = DriverPath();
  if (ZqlLoadServerOnUnix(where.ini.c_str(), driver.c_str(), &rec) != kZqlOk) {
    std::fprintf(stderr, "bench_fetch: cannot start %s\n", driver.c_str());
    return 1;
  }
  rec.request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(kRequestSize));
  std::memset(rec.request, 'r', kRequestSize);
  std::memcpy(rec.request, &kTestMarker, 4);
  std::memcpy(rec.request + 4, &kRequestSize, 4);

  auto fetch = [&] { return ZqlTry([&] { client.Fetch(&csr, cursor, kZqlFetchNext, 0); }) != 0; };
  auto transport = [&] {
    rec.size = kRequestSize;
    return ZqlSendDataToServer(&rec) == kZqlOk;
  };
  std::vector<double> rows, trips;
  bool ok = true;
  for (int round = 0; ok && round < kRounds; ++round) {
    const double f = Time(kRows / kRounds, fetch), t = Time(kRows / kRounds, transport);
    ok = f > 0 && t > 0;
    rows.push_back(f * 1e6);
    trips.push_back(t * 1e6);
  }
  ZqlMemoryNblkFree(rec.request);
  ZqlMemoryNblkFree(rec.reply);
  ZqlDisconServerOnUnix(rec.slot);
  ZqlTry([&] {
    client.Close(&csr, cursor);
    client.IExecute(&dda, session, CZqlUcStr("ROLLBACK WORK"));
    client.Term(&dda);
  });
  if (!ok) {
    std::fprintf(stderr, "bench_fetch: a fetch or round trip failed\n");
    return 1;
  }
  const double row = Median(&rows);
  std::printf("fetch %.0f rows/s\n", 1e6 / row);
  // A row should cost no more than two bare round trips.
  Figure("fetch.sqlite", mode, row, Median(&trips), "us", 2.00);
  return 0;
}
