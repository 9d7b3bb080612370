// Start-up and memory: what a program waits for before its first statement,
// and whether a long cursor makes either process grow.
//   startup.zqlsh   zqlsh -e '(ZQL_VERSION)' to its exit, beside the host
//                   alone (zqlsh --no-module -e 1); goal 20 ms.
//   connect.first   a first Connect that starts the SQLite driver process,
//                   beside opening the same database in process
//                   (sqlite3_open_v2 and a first statement); goal 50 ms.
//   connect.second  a second client process connecting to the running
//                   driver, beside the same in-process open; goal 5 ms.
//   memory.client / memory.driver  resident memory after 1,000,000 rows of
//                   a non-scroll cursor, beside the same after its first
//                   row; goal: at most 1.05 of it (flat).
// The start-up figures are medians of wall-clock times; their goal is a
// time limit on ZQL's figure, printed with its unit.
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "benchenv.h"
#include "ipcux.h"
#include "zqldispa.h"
#include "zqlident.h"
#include "zqltry.h"

extern char** environ;

namespace {

using namespace zqlbench;

constexpr int kRuns = 15;
constexpr int kCursorRows = 1000000;
const std::string kIniMore = "MEM = x\n";

std::string IniSections() {
  return "[MEM]\nDriver = zqlsqlite\nDatabase = :memory:\n[zqlsqlite]\nPath = " + BinDir() +
         "zqlsqlite\n";
}

// Seconds from spawning argv to its exit; negative when it did not exit 0.
double RunTimed(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  const double start = Now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) != pid) return -1;
  const double took = Now() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

// Seconds of a client's Init and Connect to MEM; negative on failure.
double TimedConnect(CZqlDispClient* client, CZqlDDA* dda, uint32_t* session) {
  const double start = Now();
  if (!ZqlTry([&] {
        dda->Init(10);
        client->Init(dda);
        client->Connect(dda, session, CZqlUcStr("MEM"), CZqlUcStr(), CZqlUcStr());
      }))
    return -1;
  return Now() - start;
}

// The in-process peer of a connect: open the database, run a first statement.
double TimedSqliteOpen() {
  const double start = Now();
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  bool ok = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, "SELECT 1", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW;
  sqlite3_finalize(st);
  sqlite3_close(db);
  return ok ? Now() - start : -1;
}

// Kilobytes resident of process pid (0: this one); 0 when unreadable.
long ResidentKiB(pid_t pid) {
  std::ifstream in(pid == 0 ? "/proc/self/status" : "/proc/" + std::to_string(pid) + "/status");
  std::string word;
  while (in >> word)
    if (word == "VmRSS:") {
      long kib = 0;
      in >> kib;
      return kib;
    }
  return 0;
}

pid_t DriverPid() {
  const SZqlComBuf* buf = ZqlIpcComBuf();
  if (buf == nullptr) return 0;
  for (const linkinf& slot : buf->slots)
    if (slot.driverPid > 0) return slot.driverPid;
  return 0;
}

// A second client: this program again, connecting once and printing the
// seconds it took.
int SecondClient() {
  CZqlDispClient client;
  CZqlDDA dda;
  uint32_t session = 0;
  const double took = TimedConnect(&client, &dda, &session);
  ZqlTry([&] { client.Term(&dda); });
  std::printf("%.9f\n", took);
  return took > 0 ? 0 : 1;
}

double SecondConnect() {
  std::string cmd = "'" + BinDir() + "bench_startup' --second-client";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return -1;
  double took = -1;
  if (std::fscanf(p, "%lf", &took) != 1) took = -1;
  return pclose(p) == 0 ? took : -1;
}

// The 1,000,000-row cursor: resident memory of both processes after its
// first row and after its last.
bool CursorMemory(CZqlDispClient* client, uint32_t session, const char* mode) {
  CZqlDDA stm, csr;
  uint32_t statement = 0, cursor = 0;
  long start[2] = {}, end[2] = {};
  const pid_t driver = DriverPid();
  const bool ok = ZqlTry([&] {
    stm.Init(10);
    csr.Init(10);
    client->Prepare(&stm, session, &statement,
                    CZqlUcStr("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                              "WHERE i < 1000000) SELECT i, 'row number ' || i, i * 0.5 FROM n"));
    client->AllocCsr(&csr, statement, &cursor, CZqlIdent(), kZqlCurNonScroll,
                     kZqlCurSensitivityDefault);
    client->Open(&csr, cursor);
    client->Fetch(&csr, cursor, kZqlFetchNext, 0);
    start[0] = ResidentKiB(0);
    start[1] = ResidentKiB(driver);
    for (int i = 1; i < kCursorRows; ++i) client->Fetch(&csr, cursor, kZqlFetchNext, 0);
    end[0] = ResidentKiB(0);
    end[1] = ResidentKiB(driver);
    client->Close(&csr, cursor);
  });
  if (!ok || start[0] == 0 || start[1] == 0) return false;
  std::printf("memory client %ld KiB -> %ld KiB, driver %ld KiB -> %ld KiB\n", start[0], end[0],
              start[1], end[1]);
  Figure("memory.client", mode, end[0], start[0], "KiB", 1.05);
  Figure("memory.driver", mode, end[1], start[1], "KiB", 1.05);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  NeedResources(argv);
  if (argc > 1 && std::strcmp(argv[1], "--second-client") == 0) return SecondClient();
  const char* mode = ApplyPinning();

  // zqlsh with and without the module.
  const std::string zqlsh = BinDir() + "zqlsh";
  std::vector<double> shell, host;
  for (int i = 0; i < kRuns; ++i) {
    shell.push_back(RunTimed({zqlsh, "-e", "(ZQL_VERSION)"}) * 1e3);
    host.push_back(RunTimed({zqlsh, "--no-module", "-e", "1"}) * 1e3);
  }
  if (*std::min_element(shell.begin(), shell.end()) < 0 ||
      *std::min_element(host.begin(), host.end()) < 0) {
    std::fprintf(stderr, "bench_startup: zqlsh failed\n");
    return 1;
  }
  FigureLimit("startup.zqlsh", mode, Median(&shell), Median(&host), "ms", 20);

  // The first connect of a fresh configuration starts the driver; a new
  // folder each run, so that every run starts one.
  std::vector<double> first, second, peer;
  for (int i = 0; i < kRuns; ++i) {
    SIniDir where(kIniMore, IniSections());
    SInDir in(where.dir);
    CZqlDispClient client;
    CZqlDDA dda;
    uint32_t session = 0;
    const double took = TimedConnect(&client, &dda, &session);
    const double other = took > 0 ? SecondConnect() : -1;
    const double open = TimedSqliteOpen();
    const bool last = i == kRuns - 1;
    if (took > 0 && other > 0 && last && !CursorMemory(&client, session, mode)) {
      std::fprintf(stderr, "bench_startup: the long cursor failed\n");
      return 1;
    }
    ZqlTry([&] { client.Term(&dda); });
    if (took < 0 || other < 0 || open < 0) {
      std::fprintf(stderr, "bench_startup: a connect failed\n");
      return 1;
    }
    first.push_back(took * 1e3);
    second.push_back(other * 1e3);
    peer.push_back(open * 1e3);
  }
  const double open = Median(&peer);
  FigureLimit("connect.first", mode, Median(&first), open, "ms", 50);
  FigureLimit("connect.second", mode, Median(&second), open, "ms", 5);
  return 0;
}
