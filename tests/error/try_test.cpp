// The try table: frames, raising, the first raise's place, overflow.

#include <gtest/gtest.h>

#include <functional>

#include "zqlclass.h"

namespace {

// Every test starts and ends with no frame open.
class TryTable : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(ZqlTryLevel(), -1); }
};

TEST_F(TryTable, BodyCompletesAndClosesItsFrame) {
  int level_inside = -2;
  EXPECT_EQ(ZqlTry([&] { level_inside = ZqlTryLevel(); }), 1);
  EXPECT_EQ(level_inside, 0);
  EXPECT_EQ(ZqlTryReady(), 0);
}

TEST_F(TryTable, RaiseReachesTheInnermostFrameWithItsCode) {
  bool after_raise = false;
  int outer_saw = 0;
  const int outer = ZqlTry([&] {
    const int inner = ZqlTry([&] {
      ZqlTryThrow(kZqlErrInvalidFunctionArguments, 0, 0);
      after_raise = true;
    });
    outer_saw = inner == 0 ? ZqlTryCode() : -1;
  });
  EXPECT_EQ(outer, 1);
  EXPECT_FALSE(after_raise);
  EXPECT_EQ(outer_saw, kZqlErrInvalidFunctionArguments);
}

TEST_F(TryTable, ReraiseOutwardKeepsTheFirstRaisesPlace) {
  const int ok = ZqlTry([&] {
    if (!ZqlTry([&] { ZqlTryThrow(kZqlErrInternalZQLError, 42, "inner.cpp"); })) {
      EXPECT_EQ(ZqlTryLine(), 42);
      ZqlTryThrow(ZqlTryCode(), 7, "outer.cpp");  // raised again
    }
  });
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInternalZQLError);
  EXPECT_EQ(ZqlTryLine(), 42);
  EXPECT_STREQ(ZqlTryFile(), "inner.cpp");
}

TEST_F(TryTable, OutermostFrameStartsANewErrorHistory) {
  ZqlTry([] { ZqlTryThrow(kZqlErrEOFFound, 3, "a.cpp"); });
  EXPECT_EQ(ZqlTryCode(), kZqlErrEOFFound);
  ZqlTry([] {
    EXPECT_EQ(ZqlTryCode(), 0);
    EXPECT_STREQ(ZqlTryFile(), "");
    EXPECT_EQ(ZqlTryLine(), 0);
  });
}

TEST_F(TryTable, WithNothingOpenDeleteClearsTheCodeAndRaiseReturnsZero) {
  ZqlTry([] { ZqlTryThrow(kZqlErrEOFFound, 0, 0); });
  EXPECT_EQ(ZqlTryDelete(), 0);
  EXPECT_EQ(ZqlTryCode(), 0);
  ASSERT_EQ(ZqlExceptionHandlerReady(), 0);
  EXPECT_EQ(ZqlTryThrow(kZqlErrEOFFound, 0, 0), 0);
}

// Opens frames until ZqlTryCreate refuses; answers how many opened.
int OpenAll() {
  int opened = 0;
  while (ZqlTryCreate()) ++opened;
  return opened;
}

void CloseAll() {
  while (ZqlTryDelete()) {
  }
}

TEST_F(TryTable, At201FramesTheNextFailsWithOverflowUntilOneCloses) {
  EXPECT_EQ(OpenAll(), kZqlTryMaxLevel + 1);
  EXPECT_EQ(ZqlTryLevel(), kZqlTryMaxLevel);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInternalTRYCATCHTableOverflow);
  EXPECT_NE(ZqlTryData(), nullptr);
  EXPECT_EQ(ZqlTryDelete(), 1);
  EXPECT_EQ(ZqlTryCreate(), 1);
  CloseAll();
}

TEST_F(TryTable, OverflowGoesToTheRecoveryOfTheRoutineThatAsked) {
  int depth = 0;
  int failed_at = -1;
  // Each level opens one more frame; the one that cannot open recovers.
  std::function<void()> nest = [&] {
    if (!ZqlTry([&] { ++depth; nest(); })) {
      if (failed_at < 0) failed_at = depth;
      ZqlTryRethrow();
    }
  };
  EXPECT_EQ(ZqlTry(nest), 0);
  EXPECT_EQ(failed_at, kZqlTryMaxLevel);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInternalTRYCATCHTableOverflow);
}

TEST_F(TryTable, ForeignExceptionsBecomeCodesAndCloseTheFrame) {
  EXPECT_EQ(ZqlTry([] { throw std::bad_alloc(); }), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInsufficientMemory);
  EXPECT_EQ(ZqlTry([] { throw 17; }), 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInternalZQLError);
}

TEST_F(TryTable, RaiseIntoAFrameWithoutOwnerLandsInTheNextOwner) {
  // A frame opened by hand has no catching owner; its raise must still
  // leave the table consistent.
  EXPECT_EQ(ZqlTry([] {
              ZqlTryCreate();
              ZqlTryCreate();
              ZqlTryThrow(kZqlErrEOFFound, 0, 0);
            }),
            0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrEOFFound);
}

}  // namespace
