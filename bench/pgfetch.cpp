// Fetching 100,000 rows of (INTEGER, VARCHAR(20), DOUBLE PRECISION) from
// PostgreSQL, one row per request: through a ZQL cursor on zqlpg (client
// library, driver link, the driver's batches of FETCH FORWARD), beside
// libpq's own FETCH NEXT loop over the same table, the peer a program would
// use instead; and the same rows fetched by a zqlsh script, one ZQL_FETCH a
// row, on zqlpg and on the SQLite driver, beside the same libpq loop. The
// servers and drivers are private to the run (tests/pg/pgserver.sh); prints
// rows/s and microseconds per row, and a FIGURE line for each.
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "benchenv.h"
#include "zqlappl.h"
#include "zqlstm.h"

namespace {

using zqlbench::BinDir;

constexpr int kRows = 100000;

int Server(const std::string& command, const std::string& state) {
  return std::system((std::string(ZQL_PG_SERVER) + " " + command + " " + state).c_str());
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// libpq alone: one FETCH NEXT a row, each value read as a program would.
double LibpqFetch(const std::string& info, long* checksum) {
  PGconn* c = PQconnectdb(info.c_str());
  PQclear(PQexec(c, "BEGIN"));
  PQclear(PQexec(c, "DECLARE p NO SCROLL CURSOR FOR SELECT id, name, x FROM bench"));
  const auto start = std::chrono::steady_clock::now();
  int rows = 0;
  for (;;) {
    PGresult* r = PQexec(c, "FETCH NEXT FROM p");
    if (PQntuples(r) == 0) {
      PQclear(r);
      break;
    }
    *checksum += std::atol(PQgetvalue(r, 0, 0)) + static_cast<long>(std::strtod(PQgetvalue(r, 0, 2), nullptr));
    *checksum += static_cast<long>(std::string(PQgetvalue(r, 0, 1)).size());
    PQclear(r);
    ++rows;
  }
  const double t = Seconds(start);
  PQclear(PQexec(c, "COMMIT"));
  PQfinish(c);
  return rows == kRows ? t : -1;
}

// ZQL: a non-scroll cursor, one Fetch request a row into bound values.
double ZqlFetch(long* checksum) {
  CZqlAppl app;
  if (app.Init() != 1) return -1;
  double t = -1;
  {
    CZqlSession s(&app);
    if (s.Connect(CZqlUcStr("PG"), CZqlUcStr(), CZqlUcStr()) != 1) return -1;
    CZqlExecStm q;
    CZqlCsr k;
    CZqlInt id;
    CZqlChar name(20);
    name.setVarying();
    CZqlDouble x;
    if (q.Prepare(&s, CZqlUcStr("SELECT id, name, x FROM bench")) != 1 ||
        k.Allocate(&q, CZqlIdent("B"), kZqlCurNonScroll, kZqlCurSensitivityDefault) != 1 ||
        k.Sob(0, &id) != 1 || k.Sob(1, &name) != 1 || k.Sob(2, &x) != 1 || k.Open() != 1)
      return -1;
    const auto start = std::chrono::steady_clock::now();
    int rows = 0;
    while (k.Fetch() == 1) {
      long v = 0;
      double d = 0;
      CZqlUcStr text;
      id.getValue(&v);
      x.getValue(&d);
      name.getValue(&text);
      *checksum += v + static_cast<long>(d) + text.Length();
      ++rows;
    }
    if (rows == kRows) t = Seconds(start);
    k.Close();
    s.Rollback();
    s.Disconnect();
  }
  app.Term();
  return t;
}

// A zqlsh script fetching `limit` rows, one ZQL_FETCH each, from
// environment env (after the statements of setup); seconds to its exit.
double ZqlshRun(const std::string& dir, const std::string& env, const std::string& setup,
                const std::string& query, int limit) {
  const std::string script = dir + "/fetch.lsp";
  std::ofstream(script) << "(setq s (ZQL_CONNECT \"" << env << "\"))\n"
                        << setup << "(setq c (ZQL_ALLOC (ZQL_PREPARE s \"" << query
                        << "\") \"b\"))\n(ZQL_OPEN c)\n(setq n 0)\n"
                        << "(while (and (< n " << limit
                        << ") (ZQL_FETCH c)) (setq n (+ n 1)))\n(ZQL_CLOSE c)\n"
                        << "(ZQL_IEXECUTE s \"ROLLBACK WORK\")\n(ZQL_DISCONNECT s)\n"
                        << "(if (= n " << limit << ") (exit 0) (exit 1))\n";
  const std::string command = "'" + BinDir() + "zqlsh' '" + script + "' >/dev/null 2>&1";
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(command.c_str());
  const double t = Seconds(start);
  return rc == 0 ? t : -1;
}

// Seconds per row of a zqlsh fetch loop: a run of kRows fetches less a run
// of none (start-up, connect, prepare and open), medians of five each.
double ZqlshFetch(const std::string& dir, const std::string& env, const std::string& setup,
                  const std::string& query) {
  std::vector<double> rows, none;
  for (int i = 0; i < 5; ++i) {
    rows.push_back(ZqlshRun(dir, env, setup, query, kRows));
    none.push_back(ZqlshRun(dir, env, setup, query, 0));
    if (rows.back() < 0 || none.back() < 0) return -1;
  }
  return (zqlbench::Median(&rows) - zqlbench::Median(&none)) / kRows;
}

}  // namespace

int main(int, char** argv) {
  zqlbench::NeedResources(argv);
  const char* mode = zqlbench::ApplyPinning();
  char tmpl[] = "/tmp/zqlpgbenchXXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  const std::string dir = tmpl, state = dir + "/server.state";
  if (Server("start", state) != 0) return 1;
  std::ifstream in(state);
  std::string socket;
  std::getline(in, socket);
  const std::string info = "host=" + socket + " dbname=postgres user=zql";
  PGconn* c = PQconnectdb(info.c_str());
  PQclear(PQexec(c, "CREATE TABLE bench (id int, name varchar(20), x float8); "
                    "INSERT INTO bench SELECT g, 'name ' || g, g * 0.5 "
                    "FROM generate_series(1, 100000) g"));
  PQfinish(c);
  std::ofstream(dir + "/zql.ini") << "[ZQL]\n[ENVIRONMENTS]\nPG = x\nMEM = x\n[PG]\nDriver = zqlpg\n"
                                  << "Conninfo = " << info << "\n[zqlpg]\nPath = " << BinDir()
                                  << "zqlpg\n[MEM]\nDriver = zqlsqlite\nDatabase = :memory:\n"
                                  << "[zqlsqlite]\nPath = " << BinDir() << "zqlsqlite\n";
  char saved[PATH_MAX];
  if (getcwd(saved, sizeof saved) == nullptr || chdir(dir.c_str()) != 0) return 1;
  long zqlSum = 0, pqSum = 0;
  const double zql = ZqlFetch(&zqlSum);
  // The peer's median of three, as the scripts' figures are medians: one
  // slow run must not move the ratio either way.
  std::vector<double> pqRuns;
  for (int i = 0; i < 3; ++i) {
    long sum = 0;
    pqRuns.push_back(LibpqFetch(info, &sum));
    if (i == 0) pqSum = sum;
  }
  const double pq = *std::min_element(pqRuns.begin(), pqRuns.end()) <= 0 ? -1 : zqlbench::Median(&pqRuns);
  // The same rows from a zqlsh script, on zqlpg and on the SQLite driver.
  const std::string query = "SELECT id, name, x FROM bench";
  const double shPg = ZqlshFetch(dir, "PG", "", query);
  const double shSqlite = ZqlshFetch(
      dir, "MEM",
      "(ZQL_IEXECUTE s \"CREATE TABLE bench (id INTEGER, name VARCHAR(20), x DOUBLE)\")\n"
      "(ZQL_IEXECUTE s \"WITH RECURSIVE g(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM g "
      "WHERE i < 100000) INSERT INTO bench SELECT i, 'name ' || i, i * 0.5 FROM g\")\n",
      query);
  if (chdir(saved) != 0) std::perror("chdir");
  Server("stop", state);
  std::system(("rm -rf '" + dir + "'").c_str());
  if (zql <= 0 || pq <= 0 || zqlSum != pqSum) {
    std::fprintf(stderr, "benchmark failed (zql %.3f s, libpq %.3f s, sums %ld %ld)\n", zql, pq,
                 zqlSum, pqSum);
    return 1;
  }
  std::printf("%-34s %10.0f rows/s %8.2f us/row\n", "zqlpg cursor, one Fetch a row", kRows / zql,
              zql * 1e6 / kRows);
  std::printf("%-34s %10.0f rows/s %8.2f us/row\n", "libpq FETCH NEXT loop", kRows / pq,
              pq * 1e6 / kRows);
  zqlbench::Figure("pgfetch.rows", mode, zql * 1e6 / kRows, pq * 1e6 / kRows, "us", 0.80);
  if (shPg > 0) zqlbench::Figure("pgfetch.zqlsh", mode, shPg * 1e6, pq * 1e6 / kRows, "us", 0.80);
  if (shSqlite > 0)
    zqlbench::Figure("fetch.zqlsh-sqlite", mode, shSqlite * 1e6, pq * 1e6 / kRows, "us", 0.80);
  if (shPg <= 0 || shSqlite <= 0) std::fprintf(stderr, "a zqlsh fetch script failed\n");
  return 0;
}
