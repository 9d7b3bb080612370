// Loading-error messages come from set 7 of zqlloc.xmx, filled in, but only
// when a text's conversions are those of the built-in one: a translated
// text may reword a message, never make the formatting read arguments that
// are not there.

#include <gtest/gtest.h>

#include <string>

#include "charsettest.h"
#include "zqldda.h"
#include "zqldiag.h"

namespace {

class TranslatedMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    ZqlTermResource();
    const std::string properties =
        cfgtest::ReadFile(std::string(ZQL_TEST_MSG_BUILD_DIR) + "/ucprop.xms");
    ASSERT_FALSE(properties.empty());
    charsettest::WriteXmx(dir_.File("zqlloc.xmx"), properties +
                                                       "set 7\n"
                                                       "1 \"bad %s %s\"\n"
                                                       "2 \"Name %s is missing\"\n"
                                                       "3 \"%04X file %s\"\n"
                                                       "5 \"%n%s\"\n"
                                                       "6 \"no conversion\"\n"
                                                       "7 \"file %s is broken, 100%%\"\n");
    cfgtest::WriteFile(dir_.File("zql.ini"), "[ZQL]\nPath = " + dir_.path() + "\n");
    ASSERT_EQ(ZqlInitResource(), 1);
  }
  void TearDown() override { ZqlTermResource(); }
  cfgtest::ScratchDir dir_;
};

// Messages 1 and 5 read other arguments and 4 is missing: the built-in
// texts serve; 2 and 7 are used. Rows without a unit are collation messages.
TEST_F(TranslatedMessages, OnlyTextsWithTheSameConversionsAreUsed) {
  const struct {
    int code, unit;
    const char *arg, *want;
  } rows[] = {
      {kZqlErrCharacterNotInRepertoire, 0x20AC, "X", "character U+20AC not in repertoire X"},
      {kZqlErrCharacterSetNameNotDefinedInZQLINIFile, 0, "x", "Name x is missing"},
      {kZqlErrCharacterSetDefinitionFileNotFound, 0, "f",
       "character set definition file f not found"},
      {kZqlErrInvalidFormatOfTheCharacterSetDefinitionFile, 0, "f",
       "invalid format of the character set definition file f"},
      {kZqlErrCollationNameNotDefinedInZQLINIFile, -1, "c",
       "collation name c not defined in ZQL.INI file"},
      {kZqlErrCollationDefinitionFileNotFound, -1, "c.xmx",
       "collation definition file c.xmx not found"},
      {kZqlErrInvalidFormatOfTheCollationDefinitionFile, -1, "c.xmx", "file c.xmx is broken, 100%"},
      {kZqlErrInternalZQLError, -1, "c", ""},
  };
  for (const auto& r : rows) {
    char msg[256] = "unset";
    if (r.unit < 0)
      ZqlUcCLTFormatErrMsg(r.code, r.arg, msg, sizeof msg);
    else
      ZqlUcFormatErrMsg(r.code, r.unit, r.arg, msg, sizeof msg);
    EXPECT_STREQ(msg, r.want) << std::hex << r.code;
  }
}

class PushedMessages : public charsettest::Started {};

// The filled-in message goes with its code onto the current descriptor
// area before the code is raised.
TEST_F(PushedMessages, LoadingErrorsLandInTheCurrentDescriptorArea) {
  CZqlDDA dda;
  ASSERT_EQ(dda.Init(10), 1);
  CZqlDDA* previous = ZqlSetCurrentDDA(&dda);
  EXPECT_EQ(charsettest::Raised([] { ZqlUcGetIdCLT("nordic"); }),
            kZqlErrCollationNameNotDefinedInZQLINIFile);
  EXPECT_EQ(charsettest::Raised([] { ZqlUcGetIdCCT("EBCDIC"); }),
            kZqlErrCharacterSetNameNotDefinedInZQLINIFile);
  ZqlSetCurrentDDA(previous);
  const SZqlCondition* conds = nullptr;
  int count = 0;
  int capacity = 0;
  ASSERT_EQ(ZqlDDAConditions(&dda, &conds, &count, &capacity), 1);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(conds[0].err, kZqlErrCollationNameNotDefinedInZQLINIFile);
  ASSERT_NE(conds[0].msg, nullptr);
  EXPECT_EQ(cfgtest::Text(*conds[0].msg), "collation name nordic not defined in ZQL.INI file");
  ASSERT_NE(conds[1].msg, nullptr);
  EXPECT_EQ(cfgtest::Text(*conds[1].msg),
            "character set name EBCDIC not defined in ZQL.INI file");
}

}  // namespace
