// The resource layer on the files the build made: the settings of the
// section ZQL, every error message from zqlloc.xmx, the LISP messages, and
// the fallbacks when the message file is missing or damaged.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "config/cfgtest.h"
#include "zqlxmf.h"

namespace {

using namespace cfgtest;

const std::string kShare = ZQL_TEST_SHARE_DIR;

// Each test starts the resources from its own zql.ini in a scratch
// directory and leaves them ended.
class Resources : public ::testing::Test {
 protected:
  void SetUp() override { ZqlTermResource(); }
  void TearDown() override { ZqlTermResource(); }
  void Ini(const std::string& zql) { WriteFile(dir_.File("zql.ini"), "[ZQL]\n" + zql); }
  std::string Res(int set, int number, const char* deflt) {
    CZqlUcStr out;
    EXPECT_EQ(ZqlGetResStrObj(set, number, deflt, &out), 1);
    return Text(out);
  }
  ScratchDir dir_;
};

TEST_F(Resources, SettingsOfTheZqlSection) {
  Ini("Path = " + kShare + "\nMemmax = 123456\nMemlog = " + dir_.File("mem.log") +
      "\nDebug = yES\n");
  ASSERT_EQ(ZqlInitResource(), 1);
  EXPECT_EQ(std::string(ZqlSysPath()), kShare);
  EXPECT_EQ(ZqlSysMaxmem(), 123456);
  ASSERT_NE(ZqlSysDump(), nullptr);
  EXPECT_EQ(std::string(ZqlSysDump()), dir_.File("mem.log"));
  EXPECT_EQ(ZqlSysDebug(), 1);
  ASSERT_NE(ZqlGetXmxObj(), nullptr);
  EXPECT_EQ(ZqlGetXmxObj()->XmfAlive(), 1);
  EXPECT_EQ(ZqlInitResource(), 1);  // once started, stays started
  // Absent settings take their defaults.
  ZqlTermResource();
  Ini("Path = " + kShare + "\nMemmax =\nDebug = no\n");
  ASSERT_EQ(ZqlInitResource(), 1);
  EXPECT_EQ(ZqlSysMaxmem(), -1);
  EXPECT_EQ(ZqlSysDump(), nullptr);
  EXPECT_EQ(ZqlSysDebug(), 0);
}

TEST_F(Resources, EveryErrorMessageComesFromTheFile) {
  Ini("Path = " + kShare + "\n");
  ASSERT_EQ(ZqlInitResource(), 1);
  CZqlXmfUtil* xmx = ZqlGetXmxObj();
  for (int i = 0; i < ZqlErrorCodeCount(); ++i) {
    const int code = ZqlErrorCodeAt(i);
    CZqlUcStr fromFile;
    ASSERT_EQ(xmx->Xmsg(1, ZqlErrorMessageNumber(code), &fromFile), 1) << std::hex << code;
    EXPECT_EQ(Text(fromFile), ZqlErrorDefaultText(code)) << std::hex << code;
    CZqlUcStr msg;
    ZqlMakeErrorMessage(code, &msg);
    EXPECT_EQ(Text(msg), ZqlErrorDefaultText(code));
  }
  CZqlUcStr undefined;
  ZqlMakeErrorMessage(0x7777, &undefined);
  EXPECT_EQ(Text(undefined), "undefined error code");
  EXPECT_EQ(Res(6, 1, nullptr), "operation system error: ");
  EXPECT_EQ(Res(7, 1, nullptr), "character U+%04X not in repertoire %s");
  EXPECT_EQ(Res(7, 7, nullptr), "invalid format of the collation definition file %s");
}

TEST_F(Resources, FallbackTexts) {
  Ini("Path = " + kShare + "\n");
  EXPECT_EQ(Res(1, 9999, "the default"), "the default");
  EXPECT_EQ(Res(1, 0, nullptr), "Invalid message index and no default message");
  EXPECT_EQ(Res(99, 1, nullptr), "Invalid message index and no default message");
  EXPECT_EQ(ZqlGetResStrObj(1, 1, "x", nullptr), 0);
  // A text longer than the buffer fills it, with no room for a terminator.
  unsigned short buf[8] = {0xFFFF};
  EXPECT_EQ(ZqlGetResString(1, 2, nullptr, 8, buf), 1);
  EXPECT_EQ(std::u16string(buf, buf + 8), u"disconne");
  EXPECT_EQ(ZqlGetResString(1, 2, nullptr, 0, buf), 0);
}

TEST_F(Resources, WithoutTheMessageFileTheDefaultsServe) {
  ASSERT_EQ(mkdir("empty", 0700), 0);
  Ini("Path = " + dir_.File("empty") + "\n");
  EXPECT_EQ(ZqlInitResource(), 0);
  EXPECT_EQ(ZqlGetXmxObj(), nullptr);
  EXPECT_EQ(Res(1, 2, "default text"), "default text");
  EXPECT_EQ(Res(1, 2, nullptr), "Cannot find zqlloc.xmx and no default message");
  // A failed start is not retried until the resources are ended.
  WriteFile(dir_.File("empty/zqlloc.xmx"), cfgtest::ReadFile(kShare + "/zqlloc.xmx"));
  EXPECT_EQ(ZqlInitResource(), 0);
  ZqlTermResource();
  EXPECT_EQ(ZqlInitResource(), 1);
  EXPECT_EQ(Res(1, 2, nullptr), "disconnect error");
}

// No zql.ini, or a damaged message file: nothing starts, the defaults serve.
TEST_F(Resources, WithoutZqlIniOrWithADamagedFileNothingStarts) {
  EXPECT_EQ(ZqlInitResource(), 0);
  EXPECT_EQ(Res(1, 2, "dflt"), "dflt");
  EXPECT_EQ(Res(6, 1, nullptr), "Cannot find zqlloc.xmx and no default message");
  ZqlTermResource();
  ASSERT_EQ(mkdir("bad", 0700), 0);
  std::string bytes = cfgtest::ReadFile(kShare + "/zqlloc.xmx");
  bytes[bytes.size() - 2] ^= 0x55;  // the trailer's magic
  WriteFile(dir_.File("bad/zqlloc.xmx"), bytes);
  Ini("Path = " + dir_.File("bad") + "\n");
  EXPECT_EQ(ZqlInitResource(), 0);
  EXPECT_EQ(Res(1, 2, "dflt"), "dflt");
}

TEST(ShippedFiles, LispMessagesOneAndThreeToTwentyThree) {
  CZqlXmfUtil lisp;
  ASSERT_EQ(lisp.Init((kShare + "/zqllisp.xmx").c_str()), 1);
  CZqlUcStr s;
  EXPECT_EQ(lisp.Xmsg(1, 1, &s), 1);
  EXPECT_EQ(lisp.Xmsg(1, 2, &s), 0);
  for (int m = 3; m <= 23; ++m) {
    EXPECT_EQ(lisp.Xmsg(1, m, &s), 1) << m;
    EXPECT_GT(s.Length(), 5) << m;
  }
  EXPECT_EQ(lisp.Xmsg(1, 24, &s), 0);
}

TEST(ShippedFiles, DefaultZqlIniNamesEveryDefinitionFile) {
  const std::string ini = cfgtest::ReadFile(kShare + "/zql.ini");
  EXPECT_NE(ini.find("Path = " + kShare), std::string::npos);
  for (const char* f : {"iso-8859-1.xmx", "iso-8859-15.xmx", "cp1252.xmx", "koi8-r.xmx",
                        "shift_jis.xmx", "german-phonebook.xmx", "spanish-traditional.xmx"})
    EXPECT_NE(ini.find(f), std::string::npos) << f;
}

}  // namespace
