// zqlxmc: malformed sources are rejected with "FILE:LINE: message" and a
// non-zero exit, and nothing is written; good sources compile.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "config/cfgtest.h"

namespace {

using namespace cfgtest;

struct SRun {
  int status;
  std::string errors;
};

SRun Compile(const ScratchDir& dir, const std::string& source) {
  WriteFile(dir.File("in.xms"), source);
  const std::string cmd = std::string(ZQL_TEST_ZQLXMC) + " -o out.xmx in.xms 2>err.txt";
  const int rc = std::system(cmd.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, cfgtest::ReadFile(dir.File("err.txt"))};
}

TEST(Compiler, MalformedSourcesNameFileAndLine) {
  ScratchDir dir;
  const struct {
    std::string source;
    const char* error;  // expected start of the message
  } cases[] = {
      {"set 1\n1 \"a\"\n1 \"b\"\n", "in.xms:3: message 1 of set 1 defined twice"},
      {"set 1\n\n0 \"zero\"\n", "in.xms:3: message number '0'"},
      {"set 1\n40000 \"big\"\n", "in.xms:2: message number '40000'"},
      {"1 \"a\"\n", "in.xms:1: message before the first 'set'"},
      {"# c\nsett 1\n", "in.xms:2: malformed statement 'sett'"},
      {"set 1\n1 \"open\n", "in.xms:2: string not closed"},
      {"set 1\n1 \"\\q\"\n", "in.xms:2: unknown escape \\q"},
      {"set 1\n1 units 12345\n", "in.xms:2: '12345' is not a hexadecimal value of 16 bits"},
      {"set 1\n1 bytes zz\n", "in.xms:2: 'zz' is not a hexadecimal value"},
      {"set 1\n1 words 1\n", "in.xms:2: malformed message 'words'"},
      {"language toolonglang\n", "in.xms:1: malformed statement 'language'"},
      {"per-block 0\n", "in.xms:1: malformed statement 'per-block'"},
      {"set 1\n1 units \\\n 0041 \\\n zz\n", "in.xms:2: 'zz'"},
      // A block too large names its first message.
      {"per-block 4\nset 1\n1 \"" + std::string(30000, 'x') + "\"\n2 \"" + std::string(30000, 'x') +
           "\"\n3 \"" + std::string(30000, 'x') + "\"\n",
       "in.xms:3: the block of messages 1 to 4 of set 1"},
  };
  for (const auto& c : cases) {
    const SRun r = Compile(dir, c.source);
    EXPECT_EQ(r.status, 1) << c.source.substr(0, 40);
    EXPECT_EQ(r.errors.rfind(c.error, 0), 0u) << "got: " << r.errors;
    EXPECT_NE(access(dir.File("out.xmx").c_str(), F_OK), 0) << c.source.substr(0, 40);
  }
}

TEST(Compiler, GoodSourceCompilesAndMissingInputFails) {
  ScratchDir dir;
  const SRun ok = Compile(dir, "set 1\n+ \"one\"\n+ \"two\"  # comment\n+ end\n");
  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_EQ(access(dir.File("out.xmx").c_str(), F_OK), 0);
  const std::string cmd = std::string(ZQL_TEST_ZQLXMC) + " -o x.xmx absent.xms 2>err.txt";
  const int rc = std::system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  EXPECT_EQ(cfgtest::ReadFile(dir.File("err.txt")).rfind("absent.xms:0: cannot open", 0), 0u);
}

}  // namespace
