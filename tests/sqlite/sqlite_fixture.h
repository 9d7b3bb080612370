// A dispatcher client with its own zql.ini whose environments reach the
// SQLite driver: FILE (a database in a subfolder, created on connect),
// MEMORY, AUTO (AutoCommit = Yes) and a few broken ones. Every test runs in
// its own temporary folder, which holds the databases.
#ifndef ZQL_TESTS_SQLITE_FIXTURE_H
#define ZQL_TESTS_SQLITE_FIXTURE_H

#include <string>
#include <vector>

#include "client_fixture.h"
#include "zqlcol.h"
#include "zqldrvsql.h"
#include "zqlident.h"
#include "zqlsdata.h"

namespace zqltest {

// The text of output i of area ("NULL" for a null value).
inline std::string OutText(const CZqlDDA& area, int i) {
  CZqlData* v = nullptr;
  if (!area.OutDsc(i)->getBind(&v) || v == nullptr) return "<unbound>";
  if (v->isNull()) return "NULL";
  CZqlUcStr text;
  v->getValue(&text);
  std::string out;
  ZqlDrvToUtf8(text, &out);
  return out;
}

class SqliteTest : public DispClientTest {
 protected:
  void SetUp() override {
    DispClientTest::SetUp();
    driver_ = ZQL_SQLITE_DRIVER;
    std::ofstream(dir_ + "/garbage.db") << "this is not a database, only some text to read\n";
    std::ofstream(ini_) << "[ENVIRONMENTS]\nFILE = x\nMEMORY = x\nAUTO = x\n"
                        << "[zqlsqlite]\nPath = " << driver_ << "\n"
                        << "[FILE]\nDriver = zqlsqlite\nDatabase = data/sub/test.db\nTimeout = 0\n"
                        << "[MEMORY]\nDriver = zqlsqlite\nDatabase = :memory:\n"
                        << "[AUTO]\nDriver = zqlsqlite\nDatabase = ${ZQL_TEST_DIR}/auto.db\n"
                        << "AutoCommit = Yes\n"
                        << "[GARBAGE]\nDriver = zqlsqlite\nDatabase = garbage.db\n"
                        << "[NODB]\nDriver = zqlsqlite\n"
                        << "[BADTIME]\nDriver = zqlsqlite\nDatabase = t.db\nTimeout = soon\n"
                        << "[RO]\nDriver = zqlsqlite\nDatabase = ro.db\n"
                        << "[NOFOLDER]\nDriver = zqlsqlite\nDatabase = garbage.db/x.db\n";
    setenv("ZQL_TEST_DIR", dir_.c_str(), 1);
    StartClient();
  }

  void TearDown() override {
    if (client) Raised([&] { client->Abort(&dda); });
    DispClientTest::TearDown();
  }

#ifdef ZQL_PG_DRIVER
  // Adds the zqlpg driver and environment `name` on the tests' private
  // server (tests/pg/pgserver.sh) to the zql.ini; `more` ends its Conninfo.
  void AddPgEnvironment(const char* name, const std::string& more = "") {
    std::ofstream(ini_, std::ios::app)
        << "[zqlpg]\nPath = " << ZQL_PG_DRIVER << "\n[" << name << "]\nDriver = zqlpg\nConninfo = host="
        << PgSocket() << " dbname=postgres user=zql" << more << "\n";
  }
#endif

  int Connect(uint32_t* session, const char* environment = "FILE") {
    *session = 0;
    return ConnectAs(session, environment, "");
  }

  // Executes sql at once; answers the raised code or 0.
  int Exec(uint32_t s, const std::string& sql) {
    CZqlUcStr text;
    Units(sql, &text);
    return Raised([&] { client->IExecute(&dda, s, text); });
  }

  // sql (UTF-8) as client text.
  static void Units(const std::string& sql, CZqlUcStr* out) {
    std::vector<unsigned short> u;
    ZqlDrvUtf8ToUtf16(sql.data(), sql.size(), &u);
    out->Clear();
    if (!u.empty()) out->Copy(u.data(), static_cast<int>(u.size()));
  }

  // A prepared statement with its own area.
  struct SStm {
    CZqlDDA area;
    uint32_t id = 0;
  };
  int Prepare(uint32_t s, const std::string& sql, SStm* out) {
    out->area.Init(10);
    CZqlUcStr text;
    Units(sql, &text);
    return Raised([&] { client->Prepare(&out->area, s, &out->id, text); });
  }
  int Execute(SStm* st) {
    return Raised([&] { client->Execute(&st->area, st->id); });
  }

  // Allocates cursor name on st (area made ready here) and opens it.
  int OpenCsr(const SStm& st, CZqlDDA* area, uint32_t* csr, const char* name = nullptr) {
    area->Init(10);
    return Raised([&] {
      client->AllocCsr(area, st.id, csr, name ? CZqlIdent(name) : CZqlIdent(), kZqlCurNonScroll,
                       kZqlCurSensitivityDefault);
      client->Open(area, *csr);
    });
  }

  // The rows of a query (all columns as text, NULL as "NULL"), through a
  // non-scroll cursor; a failure gives one row holding "ERROR <code>".
  std::vector<std::string> Rows(uint32_t s, const std::string& sql) {
    SStm st;
    CZqlDDA csrArea;
    uint32_t csr = 0;
    std::vector<std::string> rows;
    const int code = Raised([&] {
      if (int r = Prepare(s, sql, &st)) ZQL_RAISE(r);
      if (int r = OpenCsr(st, &csrArea, &csr)) ZQL_RAISE(r);
      while (ZqlTry([&] { client->Fetch(&csrArea, csr, kZqlFetchNext, 0); })) {
        std::string row;
        for (int i = 0; i < csrArea.ColCount(); ++i) row += (i ? "|" : "") + OutText(csrArea, i);
        rows.push_back(row);
      }
      if (ZqlTryCode() != kZqlErrNoData0200) ZQL_RAISE(ZqlTryCode());
      client->Close(&csrArea, csr);
      client->DeallocStm(&st.area, &st.id);
    });
    if (code != 0) rows.assign(1, "ERROR " + std::to_string(code));
    return rows;
  }
};


}  // namespace zqltest

#endif  // ZQL_TESTS_SQLITE_FIXTURE_H
