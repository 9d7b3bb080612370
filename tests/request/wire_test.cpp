// Requests and replies byte for byte: the server's request methods against
// a transport that keeps what they send and answers scripted replies.
#include <gtest/gtest.h>

#include <functional>

#include "ipc_fixture.h"
#include "loop_server.h"
#include "zqldda.h"
#include "zqlident.h"

namespace zqltest {
namespace {

using Bytes = std::vector<unsigned char>;

// Little-endian words, as this platform packs them.
#define LE32(v) \
  static_cast<unsigned char>((v) & 0xFF), static_cast<unsigned char>(((v) >> 8) & 0xFF), \
      static_cast<unsigned char>(((v) >> 16) & 0xFF), static_cast<unsigned char>(((v) >> 24) & 0xFF)
#define LE16(v) static_cast<unsigned char>((v) & 0xFF), static_cast<unsigned char>(((v) >> 8) & 0xFF)

class Wire : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dda.Init(10)); }
  CLoopServer server;
  CZqlDDA dda;
};

// A reply: label 4 with a packed area (when given), then label 2 code.
Bytes Reply(const CZqlDDA* area, int32_t code, int resultLabel = -1, uint32_t result = 0) {
  return Packed([&](CZqlObjPack* p) {
    if (area != nullptr) {
      p->add(kZqlReqLabelArea, int32_t{0});
      area->packTo(p);
    }
    if (resultLabel >= 0) p->add(resultLabel, result);
    p->add(kZqlReqLabelRetCode, code);
  });
}

// A request's bytes: marker, total length, version, Attach value, request
// code, then its own items.
Bytes Golden(uint32_t total, uint32_t code, const Bytes& items) {
  Bytes b = {LE32(0x01020304u), LE32(total),
             LE16(0), LE16(7), LE32(0x10001u),                     // label 0 long: version
             LE16(5), LE16(7), LE32(uint32_t{kLoopAttachValue}),  // label 5 long: Attach value
             LE16(3), LE16(7), LE32(code)};                       // label 3 long: the request
  for (const unsigned char c : items) b.push_back(c);
  return b;
}

TEST_F(Wire, FetchAndConnectRequestsByteForByte) {
  server.reply = Reply(nullptr, 0, kZqlReqLabelArg1, 9);
  ASSERT_EQ(Raised([&] { server.Fetch(&dda, 7, kZqlFetchAbsolute, -2); }), 0);
  EXPECT_EQ(server.request, Golden(56, 14, {
      LE16(11), LE16(8), LE32(7u),            // label 11 ulong: cursor id
      LE16(12), LE16(8), LE32(5u),            // label 12 ulong: absolute
      LE16(13), LE16(7), LE32(0xFFFFFFFEu),   // label 13 long: offset -2
  }));
  uint32_t id = 0;
  ASSERT_EQ(Raised([&] { id = server.Connect(&dda, CZqlUcStr("abc"), CZqlUcStr(), CZqlUcStr()); }),
            0);
  EXPECT_EQ(id, 9u);
  EXPECT_EQ(server.request, Golden(46, 2, {
      LE16(11), LE16(12), LE16(8),            // label 11 UcStr, 8 bytes
      'a', 0, 'b', 0, 'c', 0, 0, 0,
  }));
}

// The labels and numbers of a request's items, in order.
std::vector<std::pair<int, int32_t>> Items(const Bytes& bytes) {
  CZqlObjPack in(const_cast<unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
  std::vector<std::pair<int, int32_t>> out;
  for (int label = in.getNext(); label != kZqlPackEnd; label = in.getNext()) {
    int32_t value = -1;
    if (in.getType() == kZqlPackLong || in.getType() == kZqlPackULong) in.getPackedValue(&value);
    out.emplace_back(label, value);
  }
  return out;
}

TEST_F(Wire, EveryRequestCarriesItsCodeAndFields) {
  using V = std::vector<std::pair<int, int32_t>>;
  server.reply = Reply(nullptr, 0, kZqlReqLabelArg1, 77);
  uint32_t result = 0;
  const struct {
    int code;
    std::function<void()> call;
    V items;        // after the header; a text without storage is left out
    uint32_t want;  // the result the call answers
  } cases[] = {
      {18, [&] { result = server.Status(&dda, 3, kZqlStatCsrPosition); }, {{11, 3}, {12, 5}}, 77},
      {3, [&] { server.Disconnect(&dda, 4, kZqlTrue); }, {{11, 4}, {12, 1}}, 0},
      {10, [&] { server.DeallocStm(&dda, 6); }, {{11, 6}}, 0},
      {13, [&] { server.Close(&dda, 6); }, {{11, 6}}, 0},
      {15, [&] { server.Cancel(&dda, 6); }, {{11, 6}}, 0},
      {4, [&] { server.IExecute(&dda, 2, CZqlUcStr()); }, {{11, 2}}, 0},
      {5, [&] { server.IExeNative(&dda, 2, CZqlUcStr()); }, {{11, 2}}, 0},
      {6, [&] { server.IExeInterDB(&dda, 2, CZqlUcStr()); }, {{11, 2}}, 0},
      {7, [&] { server.Prepare(&dda, 2, CZqlUcStr()); }, {{11, 2}}, 0},
      {8, [&] { server.PrepareInterDB(&dda, 2, CZqlUcStr()); }, {{11, 2}}, 0},
      // A cursor name without a length is left out.
      {11, [&] { result = server.AllocCsr(&dda, 5, CZqlIdent(), kZqlCurScroll, kZqlCurInsensitive); },
       {{11, 5}, {12, 1}, {13, 1}}, 77},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    result = 0;
    ASSERT_EQ(Raised(c.call), 0);
    EXPECT_EQ(result, c.want);
    V expected = {{0, 0x10001}, {5, kLoopAttachValue}, {3, c.code}};
    expected.insert(expected.end(), c.items.begin(), c.items.end());
    EXPECT_EQ(Items(server.request), expected);
  }
  // A name with a length is sent, folded as a regular identifier.
  ASSERT_EQ(Raised([&] { server.AllocCsr(&dda, 5, CZqlIdent("c1"), kZqlCurNonScroll,
                                         kZqlCurSensitivityDefault); }), 0);
  CZqlObjPack sent(server.request.data(), static_cast<uint32_t>(server.request.size()));
  ASSERT_TRUE(sent.setActive(kZqlReqLabelName));
  CZqlIdent name;
  ASSERT_EQ(Raised([&] { name.unpackFrom(&sent); }), 0);
  EXPECT_EQ(Text(name.Body()), "C1");
}

// (What Execute and Open send: Decoder.StatementAndCursorFromPrepareToDisconnect.)
TEST_F(Wire, ExecuteAndOpenRefuseAMissingOrBodylessArea) {
  EXPECT_EQ(Raised([&] { server.Execute(nullptr, 8); }), kZqlErrInvalidFunctionArguments);
  CZqlDDA bodyless;
  EXPECT_EQ(Raised([&] { server.Open(&bodyless, 8); }), kZqlErrInvalidCZqlDDAObject);
}

// The reply's area reaches the caller's area, replacing its conditions; the
// outcome at label 2 ends the reply: items after a failing one are not read.
TEST_F(Wire, ReplyAreaReachesTheCallersAreaUpToTheOutcome) {
  CZqlDDA driver;
  ASSERT_TRUE(driver.Init(10));
  driver.setRowCount(2);
  driver.pushErr(kZqlErrNullValueEliminatedInSetFunction);
  driver.setErrMsg(CZqlUcStr("constraint broken"));
  driver.setDiagPar(kZqlDiagConstraintName, CZqlUcStr("PK_T"));
  driver.pushErr(kZqlErrIntegrityConstraintViolation2300);
  server.reply = Reply(&driver, kZqlErrIntegrityConstraintViolation2300);
  dda.pushErr(kZqlErrDataException);  // an old condition: replaced
  EXPECT_EQ(Raised([&] { server.IExecute(&dda, 1, CZqlUcStr("INSERT")); }),
            kZqlErrIntegrityConstraintViolation2300);
  ASSERT_EQ(dda.CondCount(), 2);
  EXPECT_EQ(dda.Err(0), kZqlErrIntegrityConstraintViolation2300);
  EXPECT_EQ(Text(dda.ErrMsg(0)), "constraint broken");
  CZqlUcStr constraint;
  EXPECT_TRUE(dda.getDiagPar(0, kZqlDiagConstraintName, &constraint));
  EXPECT_EQ(Text(constraint), "PK_T");
  EXPECT_EQ(dda.Err(1), kZqlErrNullValueEliminatedInSetFunction);
  EXPECT_EQ(dda.RowCount(), 2);
  // Both buffers are released on the error path.
  EXPECT_EQ(server.ServerBody()->request, nullptr);
  EXPECT_EQ(server.ServerBody()->reply, nullptr);

  dda.setRowCount(0);
  dda.FlushCond();
  server.reply = Packed([&](CZqlObjPack* p) {
    p->add(kZqlReqLabelRetCode, int32_t{kZqlErrDivisionByZero});
    p->add(kZqlReqLabelArea, int32_t{0});
    driver.packTo(p);
  });
  EXPECT_EQ(Raised([&] { server.IExecute(&dda, 1, CZqlUcStr("x")); }), kZqlErrDivisionByZero);
  EXPECT_EQ(dda.RowCount(), 0);
  EXPECT_EQ(dda.CondCount(), 0);
}

TEST_F(Wire, ResultsAreZeroWhenTheReplyNamesNone) {
  server.reply = Reply(nullptr, 0);
  uint32_t id = 1;
  ASSERT_EQ(Raised([&] { id = server.Prepare(&dda, 1, CZqlUcStr("SELECT")); }), 0);
  EXPECT_EQ(id, 0u);
  server.reply.clear();  // an empty reply holds no item at all
  ASSERT_EQ(Raised([&] { id = server.Status(&dda, 1, kZqlStatConnection0); }), 0);
  EXPECT_EQ(id, 0u);
  // A reply area read without a caller's area is read past, not misread.
  CZqlDDA driver;
  ASSERT_TRUE(driver.Init(10));
  driver.setRowCount(4);
  server.reply = Reply(&driver, 0, kZqlReqLabelArg1, 6);
  ASSERT_EQ(Raised([&] { id = server.Status(nullptr, 1, kZqlStatConnection0); }), 0);
  EXPECT_EQ(id, 6u);
}

TEST_F(Wire, MalformedRepliesAndTransportErrorsRaiseAndReleaseBuffers) {
  server.reply = Reply(nullptr, 0);
  server.reply.resize(server.reply.size() - 2);  // the last item cut short
  EXPECT_EQ(Raised([&] { server.Close(&dda, 1); }), kZqlErrInternalZQLError);
  EXPECT_EQ(server.ServerBody()->reply, nullptr);

  server.reply = Packed([](CZqlObjPack* p) { p->add(kZqlReqLabelRetCode, int16_t{0}); });
  EXPECT_EQ(Raised([&] { server.Close(&dda, 1); }), kZqlErrInternalZQLError);

  server.reply = Packed([](CZqlObjPack* p) {
    p->add(kZqlReqLabelArea, int32_t{0});
    p->add(0, int32_t{0x102});  // an area of another version
  });
  EXPECT_EQ(Raised([&] { server.Close(&dda, 1); }), kZqlErrInternalZQLError);

  server.sendError = kZqlErrServerDiedConnectionLost;
  EXPECT_EQ(Raised([&] { server.Close(&dda, 1); }), kZqlErrServerDiedConnectionLost);
  EXPECT_EQ(server.ServerBody()->request, nullptr);
  EXPECT_EQ(server.ServerBody()->reply, nullptr);
}

}  // namespace
}  // namespace zqltest
