// The umbrella headers stand on their own.

#include "zqlappl.h"
#include "zqlddk.h"

#include <gtest/gtest.h>

TEST(Headers, UmbrellasDeclareTheLibrary) {
  EXPECT_STREQ(ZqlPlatformName(), "Unix");
}
