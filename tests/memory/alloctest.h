// Fixtures of the allocator tests.
#ifndef ZQL_TESTS_ALLOCTEST_H
#define ZQL_TESTS_ALLOCTEST_H

#include <gtest/gtest.h>

#include "salloc.h"
#include "zqlsys.h"

// Every test starts and ends with an empty allocator and no faults armed.
class AllocTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    TEST_ZqlMemoryFailLowAllocAt(0);
    TEST_ZqlMemorySetLowFlag(1);
    ZqlMemoryNblkFreeAll();
  }
};

// Tests that look at how blocks lie in chunks.
class AllocLayoutTest : public AllocTest {
 protected:
  void SetUp() override {
    if (kZqlMemPassthrough) GTEST_SKIP() << "no chunks in a passthrough build";
    AllocTest::SetUp();
  }
};

#endif  // ZQL_TESTS_ALLOCTEST_H
