// CZqlException conditions and the handler chain at the library boundary.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include <cerrno>
#include <cstring>

#include "data/common.h"
#include "salloc.h"
#include "zqlclass.h"
#include "zqldiag.h"

namespace {

void Push(CZqlException& e, int code) {
  e.setErr(code);
  ASSERT_EQ(e.pushCond(), 1);
}

TEST(Exception, ConditionsReadFromTheMostRecent) {
  CZqlException e;
  EXPECT_EQ(e.pushCond(), 0);  // a condition without code is not completed
  EXPECT_EQ(e.CondQty(), 0);
  Push(e, kZqlErrEOFFound);
  Push(e, kZqlErrInsufficientMemory);
  EXPECT_EQ(e.CondQty(), 2);
  EXPECT_EQ(e.Err(0), kZqlErrInsufficientMemory);
  EXPECT_EQ(e.Err(1), kZqlErrEOFFound);
  int32_t n = -1;  // the condition number counts in push order
  e.getDiagPar(0, kZqlDiagConditionNumber, &n);
  EXPECT_EQ(n, 1);
  e.getDiagPar(1, kZqlDiagConditionNumber, &n);
  EXPECT_EQ(n, 0);
  EXPECT_STREQ(e.SQLSTATE(0), "A0008");
  ASSERT_NE(e.ErrMsg(0), nullptr);
  EXPECT_EQ(Str(*e.ErrMsg(0)), "insufficient memory");
  // Reading out of range fails without raising.
  EXPECT_EQ(e.Err(e.CondQty()), -1);
  EXPECT_EQ(ZqlTryCode(), kZqlErrIndexInOutOfRange);
  EXPECT_EQ(e.ErrMsg(-1), nullptr);
  EXPECT_STREQ(e.SQLSTATE(5), "");
  EXPECT_EQ(ZqlTryLevel(), -1);
}

TEST(Exception, GrowsByTenAndStopsAtOneThousandConditions) {
  CZqlException e;
  for (int i = 0; i < 10; ++i) Push(e, kZqlErrEOFFound);
  EXPECT_EQ(e.getDiagData()->conds.capacity, 10);
  Push(e, kZqlErrEOFFound);
  EXPECT_EQ(e.getDiagData()->conds.capacity, 20);
  for (int i = 11; i < kZqlMaxConditions; ++i) Push(e, kZqlErrEOFFound);
  EXPECT_EQ(e.CondQty(), 1000);
  e.setErr(kZqlErrInsufficientMemory);
  EXPECT_EQ(e.pushCond(), 1);  // the 1001st is dropped silently
  EXPECT_EQ(e.CondQty(), 1000);
  EXPECT_EQ(e.Err(0), kZqlErrEOFFound);
}

// The text of item on condition 0, "<none>" when it has none.
std::string Item(CZqlException& e, EZqlDiag item) {
  CZqlUcStr v;
  return e.getDiagPar(0, item, &v) == 1 ? Str(v) : "<none>";
}

TEST(DiagItems, SqlstateMessageAndItsLengthsInNumberAndTextForm) {
  CZqlException e;
  e.setErr(kZqlErrEOFFound);
  e.setSQLSTATE("HY0001234");
  e.setErrMsg(CZqlUcStr("0123456789"));
  e.pushCond();
  EXPECT_STREQ(e.SQLSTATE(0), "HY000");
  EXPECT_EQ(Str(*e.ErrMsg(0)), "0123456789");
  EXPECT_EQ(e.setSQLSTATE(nullptr), 0);
  int32_t n = 0;
  EXPECT_EQ(e.getDiagPar(0, kZqlDiagMessageLength, &n), 1);
  EXPECT_EQ(n, 10);
  EXPECT_EQ(e.getDiagPar(0, kZqlDiagMessageOctetLength, &n), 1);
  EXPECT_EQ(n, 10);
  EXPECT_EQ(Item(e, kZqlDiagMessageLength), "10");
  EXPECT_EQ(Item(e, kZqlDiagMessageOctetLength), "12");  // the octet length reads in octal
}

// Named items keep the first value, origins default; user-defined items
// (1000 and up) read in both forms.
TEST(DiagItems, NamedAndUserDefinedItems) {
  CZqlException e;
  e.setErr(kZqlErrEOFFound);
  EXPECT_EQ(e.setDiagPar(kZqlDiagTableName, CZqlUcStr("ORDERS")), 1);
  EXPECT_EQ(e.setDiagPar(kZqlDiagTableName, CZqlUcStr("OTHER")), 1);
  EXPECT_EQ(e.setDiagPar(kZqlDiagColumnName, CZqlUcStr("ID")), 1);
  // A tab would end the value and could forge another item.
  EXPECT_EQ(e.setDiagPar(kZqlDiagSchemaName, CZqlUcStr("S\tCURSOR_NAME\tC")), 1);
  EXPECT_EQ(e.setDiagPar(static_cast<EZqlDiag>(1044), 12), 1);
  EXPECT_EQ(e.setDiagPar(static_cast<EZqlDiag>(1029), CZqlUcStr("7")), 1);
  e.pushCond();
  EXPECT_EQ(Item(e, kZqlDiagSchemaName), "S CURSOR_NAME C");
  EXPECT_EQ(Item(e, kZqlDiagTableName), "ORDERS");
  EXPECT_EQ(Item(e, kZqlDiagColumnName), "ID");
  EXPECT_EQ(Item(e, kZqlDiagClassOrigin), "ISO 9075");
  CZqlUcStr v("unchanged");
  EXPECT_EQ(e.getDiagPar(0, kZqlDiagCursorName, &v), 0);
  EXPECT_EQ(Str(v), "unchanged");
  int32_t n = 0;
  EXPECT_EQ(e.getDiagPar(0, static_cast<EZqlDiag>(1044), &n), 1);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(e.getDiagPar(0, static_cast<EZqlDiag>(1029), &n), 1);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(e.getDiagPar(0, static_cast<EZqlDiag>(1030), &n), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidFunctionArguments);
}

TEST(DiagItems, WrongItemsAndTargetsFail) {
  CZqlException e;
  Push(e, kZqlErrEOFFound);
  int32_t n = 0;
  EXPECT_EQ(e.getDiagPar(0, kZqlDiagTableName, &n), 0);
  EXPECT_EQ(e.getDiagPar(0, kZqlDiagMessageLength, static_cast<int32_t*>(nullptr)), 0);
  CZqlUcStr v;
  EXPECT_EQ(e.getDiagPar(0, static_cast<EZqlDiag>(40), &v), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(e.setDiagPar(kZqlDiagMessageLength, CZqlUcStr("x")), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrIndexInOutOfRange);
}

TEST(Exception, DuplicateIsDeepAndCopiesShare) {
  const long before = ZqlObjectsInUse();
  {
    CZqlException e;
    e.setErr(kZqlErrEOFFound);
    e.setDiagPar(kZqlDiagSchemaName, CZqlUcStr("S"));
    e.pushCond();
    CZqlException shared(e);
    EXPECT_EQ(shared.getDiagData(), e.getDiagData());
    EXPECT_EQ(e.getDiagData()->refCount, 2);
    CZqlObject* dup = e.duplicate();
    ASSERT_NE(dup, nullptr);
    auto* d = static_cast<CZqlException*>(dup);
    EXPECT_NE(d->getDiagData(), e.getDiagData());
    e.flushCond();
    ASSERT_EQ(d->CondQty(), 1);
    CZqlUcStr v;
    EXPECT_EQ(d->getDiagPar(0, kZqlDiagSchemaName, &v), 1);
    EXPECT_EQ(Str(v), "S");
    delete dup;
  }
  EXPECT_EQ(ZqlObjectsInUse(), before);
}

TEST(Exception, WithoutMemoryReportsOutOfMemory) {
  TEST_ZqlMemoryFailAt(1);
  CZqlException e;
  TEST_ZqlMemoryFailAt(0);
  if (e.getDiagData() != nullptr) GTEST_SKIP() << "allocator had room";
  EXPECT_EQ(e.CondQty(), 1);
  EXPECT_EQ(e.Err(0), kZqlErrInsufficientMemory);
  EXPECT_STREQ(e.SQLSTATE(0), "A0008");
  EXPECT_EQ(e.ErrMsg(0), nullptr);
  int32_t number = -1;
  EXPECT_EQ(e.getDiagPar(0, kZqlDiagConditionNumber, &number), 1);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(e.Err(1), -1);
  EXPECT_EQ(e.setErr(1), 0);
  EXPECT_EQ(e.pushCond(), 0);
}

// ---------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------

// A raise with no frame open, or a foreign exception, reaches the handler as
// an exception of one condition and closes it.
TEST(Handler, RaiseWithNoFrameBecomesAOneConditionException) {
  const std::pair<void (*)(), int> rows[] = {
      {[] { ZqlTryThrow(kZqlErrEOFFound, 0, 0); }, kZqlErrEOFFound},
      {[] { throw 5; }, kZqlErrInternalZQLError}};
  for (const auto& [body, code] : rows) {
    SCOPED_TRACE(code);
    CZqlExceptionHandler h;
    bool after = false;
    EXPECT_EQ(h.Run([&] {
                body();
                after = true;
              }),
              1);
    EXPECT_FALSE(after);
    EXPECT_EQ(h.thrown, 1);
    ASSERT_NE(h.exception, nullptr);
    EXPECT_EQ(h.exception->CondQty(), 1);
    EXPECT_EQ(h.exception->Err(0), code);
    EXPECT_EQ(ZqlExceptionHandlerReady(), 0);
  }
}

// Raises caught by a frame or an inner handler leave the outer handler
// untouched; ToCatch raises into an open frame.
TEST(Handler, RaisesCaughtInsideLeaveTheOuterUntouched) {
  CZqlExceptionHandler outer;
  int inner = -1;
  EXPECT_EQ(outer.Run([&] {
              EXPECT_EQ(ZqlTry([] {
                          ZqlTry([] { ZqlTryThrow(kZqlErrEOFFound, 0, 0); });
                          ZqlExceptionsToCatch(nullptr);
                        }),
                        0);
              EXPECT_EQ(ZqlTryCode(), kZqlErrEOFFound);
              inner = ZqlTry([] { ZqlTryThrow(kZqlErrEOFFound, 0, 0); });
              CZqlExceptionHandler nested;
              EXPECT_EQ(nested.Run([] { ZqlExceptionRecall(kZqlErrEOFFound); }), 1);
            }),
            0);
  EXPECT_EQ(inner, 0);
  EXPECT_EQ(outer.exception, nullptr);
  EXPECT_EQ(outer.thrown, 0);
}

TEST(Handler, RecoveryThrowingOnReachesTheOuterWithTheSameExceptionOnce) {
  const long before = ZqlObjectsInUse();
  CZqlException* seen_inner = nullptr;
  CZqlException* seen_outer = nullptr;
  {
    CZqlExceptionHandler outer;
    const int outer_arrived = outer.Run([&] {
      CZqlExceptionHandler inner;
      if (inner.Run([] { ZqlExceptionRecall(kZqlErrEOFFound); })) {
        seen_inner = inner.exception;
        ZqlExceptionThrow(nullptr);  // on to the outer handler
      }
      ADD_FAILURE() << "recovery must not fall through";
    });
    EXPECT_EQ(outer_arrived, 1);
    seen_outer = outer.exception;
    EXPECT_EQ(ZqlExceptionHandlerReady(), 0);
  }
  ASSERT_NE(seen_inner, nullptr);
  EXPECT_EQ(seen_outer, seen_inner);
  EXPECT_EQ(ZqlObjectsInUse(), before);  // destroyed, and only once (ASan)
}

TEST(Handler, WithoutHandlerThrowDestroysAndRecallDoesNothing) {
  const long before = ZqlObjectsInUse();
  ZqlExceptionThrow(new CZqlException);
  EXPECT_EQ(ZqlObjectsInUse(), before);
  ZqlExceptionRecall(kZqlErrEOFFound);
  EXPECT_EQ(ZqlExceptionsToCatch(nullptr), 0);
  EXPECT_EQ(ZqlExceptionsFromDDA(nullptr), 0);
}

TEST(OsError, TextNamesThePosixErrorOrTheNumber) {
  CZqlUcStr text;
  ZqlOsErrorText(ENOENT, &text);
  EXPECT_EQ(Str(text), std::string("operation system error: ") + strerror(ENOENT));
  ZqlOsErrorText(ECONNREFUSED, &text);  // outside POSIX.1: the number
  EXPECT_EQ(Str(text), "operation system error: " + std::to_string(ECONNREFUSED));
  ZqlGenOsError(ENOENT);  // no current descriptor area: nothing happens
  EXPECT_EQ(ZqlGetCurrentDDA(), nullptr);
}

}  // namespace
