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

// A body that completes closes its frame; the outermost frame starts with
// no code of an earlier one; with nothing open, delete clears the code and
// a raise answers 0.
TEST_F(TryTable, FramesCloseAndTheOutermostStartsANewErrorHistory) {
  ZqlTry([] { ZqlTryThrow(kZqlErrEOFFound, 3, "a.cpp"); });
  EXPECT_EQ(ZqlTryCode(), kZqlErrEOFFound);
  int level_inside = -2;
  EXPECT_EQ(ZqlTry([&] {
              level_inside = ZqlTryLevel();
              EXPECT_EQ(ZqlTryCode(), 0);
              EXPECT_STREQ(ZqlTryFile(), "");
              EXPECT_EQ(ZqlTryLine(), 0);
            }),
            1);
  EXPECT_EQ(level_inside, 0);
  EXPECT_EQ(ZqlTryReady(), 0);
  ZqlTry([] { ZqlTryThrow(kZqlErrEOFFound, 0, 0); });
  EXPECT_EQ(ZqlTryDelete(), 0);
  EXPECT_EQ(ZqlTryCode(), 0);
  ASSERT_EQ(ZqlExceptionHandlerReady(), 0);
  EXPECT_EQ(ZqlTryThrow(kZqlErrEOFFound, 0, 0), 0);
}

// The innermost frame catches with the code; raised again outward, the
// first raise's place is kept.
TEST_F(TryTable, RaiseReachesTheInnermostFrameAndReraiseKeepsItsPlace) {
  bool after_raise = false;
  int inner_saw = 0;
  const int ok = ZqlTry([&] {
    if (!ZqlTry([&] {
          ZqlTryThrow(kZqlErrInternalZQLError, 42, "inner.cpp");
          after_raise = true;
        })) {
      inner_saw = ZqlTryCode();
      EXPECT_EQ(ZqlTryLine(), 42);
      ZqlTryThrow(ZqlTryCode(), 7, "outer.cpp");  // raised again
    }
  });
  EXPECT_FALSE(after_raise);
  EXPECT_EQ(inner_saw, kZqlErrInternalZQLError);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInternalZQLError);
  EXPECT_EQ(ZqlTryLine(), 42);
  EXPECT_STREQ(ZqlTryFile(), "inner.cpp");
}

TEST_F(TryTable, At201FramesTheNextFailsWithOverflowUntilOneCloses) {
  int opened = 0;
  while (ZqlTryCreate()) ++opened;
  EXPECT_EQ(opened, kZqlTryMaxLevel + 1);
  EXPECT_EQ(ZqlTryLevel(), kZqlTryMaxLevel);
  EXPECT_EQ(ZqlTryCode(), kZqlErrInternalTRYCATCHTableOverflow);
  EXPECT_NE(ZqlTryData(), nullptr);
  EXPECT_EQ(ZqlTryDelete(), 1);
  EXPECT_EQ(ZqlTryCreate(), 1);
  while (ZqlTryDelete()) {
  }
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
