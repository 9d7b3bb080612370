// Fuzzes the SQLite driver's request handling in this process: the input's
// first byte chooses between a raw packed request for the driver's decoder
// and an SQL text that goes through immediate execution, Prepare, a cursor
// (scroll or not) and fetches in every direction. A connection to an
// in-memory database with a small table stays open across inputs; every
// input ends with a rollback.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "request/loop_server.h"
#include "zqldda.h"
#include "zqldrvsql.h"
#include "zqlident.h"
#include "zqlsqlite.h"

namespace {

struct SHarness {
  zqlsqlite::CSqliteDriver driver{-1};
  CZqlDrvDecoder decoder{&driver, 1024 * 1024};
  zqltest::CLoopServer server{&decoder};
  uint32_t connection = 0;

  SHarness() {
    static char tmpl[] = "/tmp/zqlfuzzXXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) std::abort();
    std::ofstream("zql.ini") << "[M]\nDriver = zqlsqlite\nDatabase = :memory:\n";
    // The folder goes when the run ends.
    std::atexit([] {
      unlink((std::string(tmpl) + "/zql.ini").c_str());
      rmdir(tmpl);
    });
    connect();
  }

  void connect() {
    CZqlDDA dda;
    dda.Init(10);
    ZqlTry([&] { connection = server.Connect(&dda, CZqlUcStr("M"), CZqlUcStr(), CZqlUcStr()); });
    exec("CREATE TABLE t (id INTEGER, name VARCHAR(10), x REAL, b BLOB)");
    exec("INSERT INTO t VALUES (1, 'one', 1.5, x'01'), (2, 'two', NULL, NULL), (3, 'three', 3, x'0304')");
    exec("COMMIT WORK");
  }

  void exec(const char* sql) {
    CZqlDDA dda;
    dda.Init(10);
    ZqlTry([&] { server.IExecute(&dda, connection, CZqlUcStr(sql)); });
  }

  void text(const uint8_t* data, size_t size, bool scroll) {
    CZqlUcStr sql;
    ZqlDrvUtf8ToUcStr(reinterpret_cast<const char*>(data), size, &sql);
    CZqlDDA dda;
    dda.Init(10);
    ZqlTry([&] { server.IExecute(&dda, connection, sql); });
    CZqlDDA stm;
    stm.Init(10);
    uint32_t st = 0;
    if (!ZqlTry([&] { st = server.Prepare(&stm, connection, sql); })) return;
    ZqlTry([&] { server.Execute(&stm, st); });
    CZqlDDA csr;
    csr.Init(10);
    uint32_t k = 0;
    if (ZqlTry([&] {
          k = server.AllocCsr(&csr, st, CZqlIdent("C"), scroll ? kZqlCurScroll : kZqlCurNonScroll,
                              kZqlCurSensitivityDefault);
        })) {
      ZqlTry([&] { server.Open(&csr, k); });
      const EZqlDirection dirs[] = {kZqlFetchNext, kZqlFetchLast, kZqlFetchPrior, kZqlFetchAbsolute,
                                    kZqlFetchRelative, kZqlFetchFirst, kZqlFetchNext};
      for (EZqlDirection d : dirs) ZqlTry([&] { server.Fetch(&csr, k, d, -1); });
      exec("UPDATE t SET x = 0 WHERE CURRENT OF C");
      exec("DELETE FROM t WHERE CURRENT OF C");
      ZqlTry([&] { server.Close(&csr, k); });
    }
    ZqlTry([&] { server.DeallocStm(&stm, st); });
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SHarness* h = new SHarness;
  if (size == 0 || size > 65536) return 0;
  if (data[0] < 128) {
    std::vector<unsigned char> reply;
    h->decoder.Serve(data + 1, static_cast<uint32_t>(size - 1), &reply);
  } else {
    h->text(data + 1, size - 1, (data[0] & 1) != 0);
  }
  h->exec("ROLLBACK WORK");
  // A raw request may have ended the connection.
  if (h->driver.ConnectionCount() == 0) h->connect();
  return 0;
}
