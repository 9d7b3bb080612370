// Two client processes sharing one driver and its table through the
// dispatcher client.
#include "dispatch_fixture.h"

namespace zqltest {
namespace {

using EndToEnd = DispatchTest;

// Inserts (id, name) through a prepared INSERT on session.
int Insert(CZqlDispClient* c, uint32_t session, long id, const char* name) {
  CZqlDDA area;
  area.Init(10);
  uint32_t stm = 0;
  CZqlInt idValue;
  CZqlChar nameValue(10);
  nameValue.setVarying();
  return Raised([&] {
    c->Prepare(&area, session, &stm, CZqlUcStr("INSERT INTO T VALUES (?, ?)"));
    if (area.StmType() != kZqlStmInsert || area.ParCount() != 2) ZQL_RAISE(1);
    idValue.storeValue(id);
    nameValue.storeValue(name, static_cast<unsigned>(std::strlen(name)));
    area.ParDsc(0)->setBind(&idValue);
    area.ParDsc(1)->setBind(&nameValue);
    c->Execute(&area, stm);
    if (area.RowCount() != 1) ZQL_RAISE(2);
    c->DeallocStm(&area, &stm);
  });
}

// The ids of the rows a cursor over SELECT * FROM T sees, in order.
std::vector<long> Ids(CZqlDispClient* c, uint32_t session) {
  CZqlDDA stmArea, csrArea;
  stmArea.Init(10);
  csrArea.Init(10);
  uint32_t stm = 0, csr = 0;
  std::vector<long> ids;
  const int code = Raised([&] {
    c->Prepare(&stmArea, session, &stm, CZqlUcStr("SELECT * FROM T"));
    c->AllocCsr(&csrArea, stm, &csr, CZqlIdent(), kZqlCurNonScroll, kZqlCurSensitivityDefault);
    c->Open(&csrArea, csr);
    while (ZqlTry([&] { c->Fetch(&csrArea, csr, kZqlFetchNext, 0); })) ids.push_back(OutInt(csrArea, 0));
    if (ZqlTryCode() != kZqlErrNoData0200) ZQL_RAISE(ZqlTryCode());
    c->Close(&csrArea, csr);
    c->DeallocStm(&stmArea, &stm);
  });
  if (code != 0) ids.assign(1, -code);
  return ids;
}

TEST_F(EndToEnd, TwoClientProcessesShareOneDriverAndItsTable) {
  Pipe up[2], down[2];
  pid_t pids[2];
  for (int i = 0; i < 2; ++i) {
    pids[i] = Child([&, i] {
      client.reset();  // the parent's: not this process's to close
      CZqlDispClient mine;
      CZqlDDA area;
      area.Init(10);
      uint32_t s = 0;
      if (!ZqlTry([&] {
            mine.Init(&area);
            mine.Connect(&area, &s, CZqlUcStr("DB1"), CZqlUcStr(), CZqlUcStr());
          }))
        return 1;
      up[i].Put(ZqlIpcComBuf()->slots[mine.Record()->sessions->getObji(s)->server
                                           ->ServerBody()->slot].driverPid);
      if (down[i].Get() != 1) return 2;
      if (i == 0 && Insert(&mine, s, 10 + i, "mine") != 0) return 3;
      up[i].Put(static_cast<int32_t>(Ids(&mine, s).size()));
      if (down[i].Get() != 2) return 4;
      return ZqlTry([&] { mine.Term(&area); }) ? 0 : 5;
    });
  }
  const int32_t driver = up[0].Get();
  drivers_.insert(driver);
  EXPECT_GT(driver, 0);
  EXPECT_EQ(up[1].Get(), driver);  // one driver process for both
  const SZqlComBuf* buf = Peek();
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(buf->attached, 2);
  int connections = 0;
  for (const linkinf& slot : buf->slots)
    if (slot.driverPid == driver) connections = slot.connections;
  EXPECT_EQ(connections, 2);
  down[0].Put(1);
  EXPECT_EQ(up[0].Get(), 4);  // three rows and the one it inserted
  down[1].Put(1);
  EXPECT_EQ(up[1].Get(), 4);  // the other process sees it too
  // The first to leave leaves the driver to the other; the last stops it.
  down[0].Put(2);
  EXPECT_TRUE(ExitedWith(WaitChild(pids[0]), 0));
  EXPECT_EQ(buf->attached, 1);
  EXPECT_TRUE(Alive(driver));
  down[1].Put(2);
  EXPECT_TRUE(ExitedWith(WaitChild(pids[1]), 0));
  EXPECT_FALSE(SemaphoresExist());
  EXPECT_FALSE(BufferExists());
}

}  // namespace
}  // namespace zqltest
