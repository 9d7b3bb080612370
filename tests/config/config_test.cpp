// CZqlConfig: platform sections, the search for zql.ini, createEnv and
// dropEnv.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cfgtest.h"
#include "zqlconf.h"

namespace {

using namespace cfgtest;

class Config : public ::testing::Test {
 protected:
  ScratchDir dir_;
  std::string ini_ = dir_.File("zql.ini");
};

TEST_F(Config, PlatformSectionHidesThePlainOne) {
  WriteFile(ini_, "[DB1]\nDriver=plain\nOnlyPlain=1\n[DB1.Unix]\nDriver=unix\n");
  CZqlConfig cfg;
  EXPECT_EQ(cfg.openCfgFile("db1"), 1);
  EXPECT_EQ(Read(cfg, "DB1", "Driver"), "unix");
  EXPECT_EQ(Read(cfg, "DB1", "OnlyPlain"), "<none>");
  CZqlUcStr k;
  ASSERT_EQ(cfg.getEntry(0, &k, nullptr), 1);
  EXPECT_EQ(Text(k), "Driver");
  EXPECT_EQ(cfg.writeCfgString("DB1", "New", "x"), 1);  // into the platform section
  EXPECT_EQ(ReadFile(ini_),
            " \n[DB1]\nDriver=plain\nOnlyPlain=1\n \n[DB1.Unix]\nDriver=unix\nNew = x\n");
}

// Where zql.ini is searched is FileSearch.OrderIsNameZqlKovaPath's.
TEST_F(Config, MissingFileRaises) {
  CZqlConfig cfg;
  EXPECT_EQ(Raised([&] { cfg.openCfgFile("ZQL"); }), kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(Raised([&] { cfg.createEnv("E", "D"); }), kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(Raised([&] { cfg.dropEnv("E"); }), kZqlErrCannotOpenZQLINIFile);
}

// Creating an environment needs a driver section with entries; dropping
// one needs it listed. Otherwise the file stays as it was.
TEST_F(Config, EnvironmentChangesThatCannotApplyLeaveTheFile) {
  const std::string text = "[EmptyDrv]\n[ENVIRONMENTS]\nHr= \n[Sales]\nDriver=pg\n";
  WriteFile(ini_, text);
  CZqlConfig cfg;
  EXPECT_EQ(cfg.createEnv("E1", "NoSuchDriver"), 0);
  EXPECT_EQ(cfg.createEnv("E1", "EmptyDrv"), 0);
  EXPECT_EQ(cfg.dropEnv("Sales"), 0);
  EXPECT_EQ(ReadFile(ini_), text);
}

TEST_F(Config, CreateEnvMakesPlatformSections) {
  WriteFile(ini_, "[pg]\nPath=/bin/pgdrv\n");
  CZqlConfig cfg;
  EXPECT_EQ(cfg.createEnv("Sales", "pg"), 1);
  EXPECT_EQ(ReadFile(ini_),
            " \n[pg]\nPath=/bin/pgdrv\n \n[ENVIRONMENTS.Unix]\nSales =  \n"
            " \n[Sales.Unix]\nDriver = pg\n");
  EXPECT_EQ(Read(cfg, "ENVIRONMENTS", "Sales"), "");
  EXPECT_EQ(Read(cfg, "Sales", "Driver"), "pg");
  // Listed already: only the driver changes.
  EXPECT_EQ(cfg.writeCfgString("other", "Path", "/bin/o"), 1);
  EXPECT_EQ(cfg.createEnv("Sales", "other"), 1);
  EXPECT_EQ(Read(cfg, "Sales", "Driver"), "other");
}

TEST_F(Config, DropEnvRemovesTheSectionButKeepsLaterComments) {
  WriteFile(ini_,
            "[ENVIRONMENTS]\nSales= \nHr= \n"
            "[Sales]\nDriver=pg\nCATALOG=c\n; kept comment\n"
            "[Hr]\nDriver=pg\n");
  CZqlConfig cfg;
  EXPECT_EQ(cfg.dropEnv("Sales"), 1);
  EXPECT_EQ(ReadFile(ini_),
            " \n[ENVIRONMENTS]\nHr= \n \n; kept comment\n \n[Hr]\nDriver=pg\n");
  EXPECT_EQ(cfg.openCfgFile("Sales"), -1);
  EXPECT_EQ(Read(cfg, "Hr", "Driver"), "pg");
}

}  // namespace
