// Fetch speed of the SQLite driver: 100,000 rows of (INTEGER, VARCHAR(20),
// DOUBLE PRECISION) fetched one row per request through a cursor, through
// the whole client stack (dispatcher, request packing, transport, the
// driver's decoder, SQLite, reply unpacking), beside a bare transport round
// trip to the scripted driver measured in the same run (bench_ipc's floor).
// Prints rows/s, microseconds per row and the ratio to the round trip.
//
// The drivers are looked up next to this program, the library's resources
// in ../share/zql from it unless ZQL names them.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "ipclink.h"
#include "uxlink.h"
#include "zqldispa.h"
#include "zqlident.h"
#include "zqltry.h"

namespace {

constexpr int64_t kRows = 100000;
constexpr uint32_t kRequestSize = 56;         // that of a Fetch request
constexpr uint32_t kTestMarker = 0x54534554;  // echoed by the scripted driver
constexpr char kFetchName[] = "BM_FetchSqliteRows";
constexpr char kTransportName[] = "BM_TransportRoundTrip";

std::string BinDir() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  self[n] = '\0';
  const std::string path(self);
  return path.substr(0, path.rfind('/') + 1);
}

// A private zql.ini: MEM on the SQLite driver, and the scripted driver.
struct SIniDir {
  std::string dir, ini;
  SIniDir() {
    char tmpl[] = "/tmp/zqlbenchXXXXXX";
    if (mkdtemp(tmpl) != nullptr) dir = tmpl;
    ini = dir + "/zql.ini";
    std::ofstream(ini) << "[ZQL]\n[ENVIRONMENTS]\nMEM = x\n[MEM]\nDriver = zqlsqlite\n"
                       << "Database = :memory:\n[zqlsqlite]\nPath = " << BinDir() << "zqlsqlite\n";
  }
  ~SIniDir() {
    std::remove(ini.c_str());
    rmdir(dir.c_str());
  }
};

struct SInDir {
  char saved[PATH_MAX] = {};
  explicit SInDir(const std::string& dir) {
    if (getcwd(saved, sizeof saved) == nullptr || chdir(dir.c_str()) != 0) saved[0] = '\0';
  }
  ~SInDir() {
    if (saved[0] != '\0' && chdir(saved) != 0) std::perror("chdir");
  }
};

void BM_FetchSqliteRows(benchmark::State& state) {
  SIniDir where;
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
    state.SkipWithError("cannot set up the SQLite driver's table");
    return;
  }
  for (auto _ : state) {
    if (!ZqlTry([&] { client.Fetch(&csr, cursor, kZqlFetchNext, 0); })) {
      state.SkipWithError("fetch failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  ZqlTry([&] {
    client.Close(&csr, cursor);
    client.IExecute(&dda, session, CZqlUcStr("ROLLBACK WORK"));
    client.Term(&dda);
  });
}

void BM_TransportRoundTrip(benchmark::State& state) {
  SIniDir where;
  SZqlServer rec{};
  rec.slot = -1;
  const std::string driver = BinDir() + "zql_test_driver";
  if (ZqlLoadServerOnUnix(where.ini.c_str(), driver.c_str(), &rec) != kZqlOk) {
    state.SkipWithError(("cannot start " + driver).c_str());
    return;
  }
  rec.request = static_cast<unsigned char*>(ZqlMemoryNblkMalloc(kRequestSize));
  std::memset(rec.request, 'r', kRequestSize);
  std::memcpy(rec.request, &kTestMarker, 4);
  std::memcpy(rec.request + 4, &kRequestSize, 4);
  for (auto _ : state) {
    rec.size = kRequestSize;
    if (ZqlSendDataToServer(&rec) != kZqlOk) {
      state.SkipWithError("request failed");
      break;
    }
  }
  ZqlMemoryNblkFree(rec.request);
  ZqlMemoryNblkFree(rec.reply);
  ZqlDisconServerOnUnix(rec.slot);
}

// One pass over the table: exactly its 100,000 rows.
BENCHMARK(BM_FetchSqliteRows)->Iterations(kRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TransportRoundTrip)->Iterations(kRows)->Unit(benchmark::kMicrosecond);

class CRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool usable = run.run_type == Run::RT_Iteration || run.aggregate_name == "median";
      if (!run.error_occurred && usable) times[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

// As bench_ipc: one CPU, unless ZQL_BENCH_UNPINNED is set.
void PinToOneCpu() {
  if (std::getenv("ZQL_BENCH_UNPINNED") != nullptr) return;
  const int cpu = sched_getcpu();
  if (cpu < 0) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  if (sched_setaffinity(0, sizeof one, &one) == 0) std::printf("pinned to CPU %d\n", cpu);
}

int main(int argc, char** argv) {
  if (std::getenv("ZQL") == nullptr && !BinDir().empty()) {
    setenv("ZQL", (BinDir() + "../share/zql").c_str(), 1);
    execv("/proc/self/exe", argv);
  }
  benchmark::Initialize(&argc, argv);
  PinToOneCpu();
  CRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto find = [&](const char* name) {
    const auto it = reporter.times.find(name);
    return it != reporter.times.end() ? it->second : 0.0;
  };
  const double fetch = find(kFetchName);
  const double transport = find(kTransportName);
  if (fetch > 0) std::printf("fetch %.0f rows/s, %.2f us per row\n", 1e6 / fetch, fetch);
  if (fetch > 0 && transport > 0)
    std::printf("transport round trip %.2f us; a fetched row costs %.2f round trips\n", transport,
                fetch / transport);
  return 0;
}
