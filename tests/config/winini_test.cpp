// CZqlWinIni: the grammar, its errors, every rewrite case, lazy parsing, and
// several processes sharing one file.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "cfgtest.h"
#include "zqlconf.h"

namespace {

using namespace cfgtest;

class WinIni : public ::testing::Test {
 protected:
  ScratchDir dir_;
  std::string path_ = dir_.File("test.ini");
};

TEST_F(WinIni, HeadersKeysAndValuesAreTrimmedAndCaseBlind) {
  WriteFile(path_,
            "; leading comment\n"
            "  [  Data Base 1 ]  ignored text\n"
            "Key One  =  some  value  \n"
            "kEY oNE = second wins never\n"
            "quoted = '  in quotes  '   \n"
            "double = \"x y\"\n"
            "half = 'open\n"
            "mixed = 'a\"\n"
            "after = [not a header]\n");
  CZqlWinIni ini(path_.c_str());
  EXPECT_EQ(ini.openCfgFile("DATA BASE 1"), 7);
  const std::pair<const char*, const char*> entries[] = {
      {"key one", "some  value"}, {"QUOTED", "  in quotes  "}, {"double", "x y"},
      {"half", "'open"},          {"mixed", "'a\""},            {"after", "[not a header]"},
      {"absent", "<none>"}};
  for (const auto& [key, value] : entries) EXPECT_EQ(Read(ini, "data base 1", key), value);
  EXPECT_EQ(ini.openCfgFile("absent"), -1);
}

TEST_F(WinIni, EntriesInFileOrderThroughGetEntry) {
  WriteFile(path_, "[S]\na=1\nb=2\n[T]\n");
  CZqlWinIni ini(path_.c_str());
  EXPECT_EQ(ini.openCfgFile("T"), 0);
  EXPECT_EQ(ini.getEntry(0, nullptr, nullptr), 0);
  EXPECT_EQ(ini.openCfgFile("S"), 2);
  CZqlUcStr k, v;
  ASSERT_EQ(ini.getEntry(1, &k, &v), 1);
  EXPECT_EQ(Text(k) + "=" + Text(v), "b=2");
  EXPECT_EQ(ini.getEntry(2, &k, &v), 0);
  EXPECT_EQ(ini.getEntry(-1, &k, &v), 0);
  EXPECT_EQ(ini.openCfgFile("none"), -1);
  EXPECT_EQ(ini.getEntry(0, &k, &v), 0);
}

TEST_F(WinIni, MalformedFilesAreRejected) {
  const char* bad[] = {
      "key = before any section\n[S]\n",
      "[S\nk = v\n",
      "[S]\nke[y = v\n",
      "[S]\n = no key\n",
      "[S]\njust text\n",
      "[S]\n  ; not a comment when indented\n",
  };
  for (const char* text : bad) {
    WriteFile(path_, text);
    CZqlWinIni ini(path_.c_str());
    EXPECT_EQ(Raised([&] { ini.openCfgFile("S"); }),
              kZqlErrInitializationFileHasErrorsOrIsCorrupted)
        << text;
    // The fault is found again, not hidden behind an empty parse.
    EXPECT_EQ(Raised([&] { ini.openCfgFile("S"); }),
              kZqlErrInitializationFileHasErrorsOrIsCorrupted);
  }
}

// A missing file answers -1 (ZQL.INI raises); a name gets ".INI" unless it
// has an extension.
TEST_F(WinIni, MissingFilesAndNamesWithoutExtension) {
  CZqlWinIni ini(dir_.File("absent.ini").c_str());
  EXPECT_EQ(ini.openCfgFile("S"), -1);
  EXPECT_EQ(Read(ini, "S", "k"), "<none>");
  CZqlWinIni config("ZQL.INI");
  EXPECT_EQ(Raised([&] { config.openCfgFile("S"); }), kZqlErrCannotOpenZQLINIFile);
  EXPECT_EQ(Text(CZqlWinIni("plain").FileName()), "plain.INI");
  EXPECT_EQ(Text(CZqlWinIni("dot. x").FileName()), "dot. x.INI");
  EXPECT_EQ(Text(CZqlWinIni("a.cfg").FileName()), "a.cfg");
  CZqlWinIni settings("settings");
  EXPECT_EQ(settings.writeCfgString("S", "k", "v"), 1);
  EXPECT_EQ(ReadFile(dir_.File("settings.INI")), " \n[S]\nk = v\n");
}

// Rewrites: each step writes one entry (an empty value removes it) and
// checks its answer, the value read back and the whole file ("": no file).
TEST_F(WinIni, RewritesKeepTheRestOfTheFile) {
  const struct Step {
    const char *section, *key, *value;
    int ok;
    const char* file;
  } kNewSection[] = {{"B", "y", "2", 1, "; c\n \n[A]\nx=1\n \n[B]\ny = 2\n"}},
    kAfterLastEntry[] = {{"A", "a2", "2", 1, nullptr},
                         {"C", "c1", "3", 1, nullptr},  // a section without entries
                         {"B", "b2", "4", 1,            // line numbers moved down
                          " \n[A]\na1=1\na2 = 2\n; about A\n \n[B]\nb1=1\nb2 = 4\n \n[C]\nc1 = 3\n"}},
    kEveryEntryOfTheName[] = {{"a", "key", "new", 1, " \n[A]\nKey = new\nother = o\nKEY = new\n"},
                              {"a", "key", "new", 1, nullptr}},  // same value: written again
    kRemoved[] = {{"A", "x", "", 1, " \n[A]\ny=2\n \n[B]\nz=3\n; after z\n \n[C]\nw=4\n"},
                  {"B", "z", "", 1, " \n[A]\ny=2\n \n; after z\n \n[C]\nw=4\n"},
                  // Lines moved up; the rewrite parses afresh, dropping the blank line.
                  {"C", "w2", "5", 1, " \n[A]\ny=2\n; after z\n \n[C]\nw=4\nw2 = 5\n"},
                  {"C", "absent", "", 0, nullptr},
                  {"Nope", "absent", "", 0, nullptr}},
    kCreatedOnlyForAValue[] = {{"S", "k", "", 0, ""}, {"S", "k", "v", 1, " \n[S]\nk = v\n"}},
    kUntouchedBytes[] = {
        {"S", "k", "w", 1, "; caf\xe9 \\U+0041\n \n[S]\nname = M\xfcller\nk = w\n"}};
  const struct {
    const char* before;  // nullptr: no file
    const Step* steps;
    size_t count;
  } cases[] = {
      {"; c\n[A]\nx=1\n", kNewSection, 1},
      {"[A]\na1=1\n; about A\n[B]\nb1=1\n[C]\n", kAfterLastEntry, 3},
      {"[A]\nKey = old\nother = o\nKEY = old2\n", kEveryEntryOfTheName, 2},
      {"[A]\nx=1\ny=2\n[B]\nz=3\n; after z\n[C]\nw=4\n", kRemoved, 5},
      {nullptr, kCreatedOnlyForAValue, 2},
      {"; caf\xe9 \\U+0041\n[S]\nname = M\xfcller\nk=v\n", kUntouchedBytes, 1},
  };
  for (const auto& c : cases) {
    unlink(path_.c_str());
    if (c.before != nullptr) WriteFile(path_, c.before);
    CZqlWinIni ini(path_.c_str());
    for (const Step* s = c.steps; s != c.steps + c.count; ++s) {
      SCOPED_TRACE(std::string(c.before ? c.before : "(none)") + ": " + s->section + "." + s->key);
      EXPECT_EQ(ini.writeCfgString(s->section, s->key, s->value), s->ok);
      if (s->file == nullptr) continue;
      if (*s->file == '\0') {
        EXPECT_NE(access(path_.c_str(), F_OK), 0);
      } else {
        EXPECT_EQ(ReadFile(path_), s->file);
      }
    }
    // Afterwards each entry reads as last written.
    for (const Step* s = c.steps + c.count - 1; s >= c.steps; --s) {
      bool later = false;
      for (const Step* t = s + 1; t != c.steps + c.count; ++t)
        later |= std::string(t->section) == s->section && std::string(t->key) == s->key;
      if (!later) {
        EXPECT_EQ(Read(ini, s->section, s->key), *s->value ? s->value : "<none>") << s->key;
      }
    }
  }
}

TEST_F(WinIni, EntriesTheFileCouldNotHoldAreRefused) {
  WriteFile(path_, "[S]\nk=v\n");
  CZqlWinIni ini(path_.c_str());
  const char* cases[][3] = {{"S", "k", "two\nlines"}, {"S", "a=b", "v"}, {"S", ";k", "v"},
                            {"S]", "k", "v"},         {"S", "", "v"},     {"S", " k", "v"}};
  for (auto& c : cases) {
    EXPECT_EQ(Raised([&] { ini.writeCfgString(c[0], c[1], c[2]); }),
              kZqlErrInvalidFunctionArguments)
        << c[1];
  }
  EXPECT_EQ(ReadFile(path_), "[S]\nk=v\n");
}

TEST_F(WinIni, ParsesOnlyWhenTheFileTimeChanged) {
  WriteFile(path_, "[S]\nk=one\n");
  CZqlWinIni ini(path_.c_str());
  EXPECT_EQ(Read(ini, "S", "k"), "one");
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  WriteFile(path_, "[S]\nk=two\n");
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
  EXPECT_EQ(Read(ini, "S", "k"), "one");  // same time: answered from memory
  const timespec later[2] = {st.st_atim, {st.st_mtim.tv_sec + 5, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), later, 0), 0);
  EXPECT_EQ(Read(ini, "S", "k"), "two");
}

TEST_F(WinIni, RewriteWorksOnTheCurrentFileNotAStaleParse) {
  WriteFile(path_, "[S]\na=1\n");
  CZqlWinIni first(path_.c_str());
  CZqlWinIni second(path_.c_str());
  EXPECT_EQ(Read(first, "S", "a"), "1");
  EXPECT_EQ(Read(second, "S", "a"), "1");
  EXPECT_EQ(first.writeCfgString("S", "b", "2"), 1);
  EXPECT_EQ(second.writeCfgString("S", "c", "3"), 1);
  EXPECT_EQ(ReadFile(path_), " \n[S]\na=1\nb = 2\nc = 3\n");
}

TEST_F(WinIni, TwoProcessesWritingAtOnceLoseNothing) {
  WriteFile(path_, "[S]\nseed=0\n");
  constexpr int kWrites = 150;
  auto key = [](int p, int i) { return "p" + std::to_string(p) + "k" + std::to_string(i); };
  auto section = [](int p, int i) { return i % 2 ? std::string("S") : "P" + std::to_string(p); };
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t kids[2];
  for (int p = 0; p < 2; ++p) {
    kids[p] = fork();
    if (kids[p] == 0) {
      CZqlWinIni ini(path_.c_str());
      char go;
      if (read(start[0], &go, 1) != 1) _exit(2);  // both start together
      int ok = 0;
      for (int i = 0; i < kWrites; ++i)
        ok += ZqlTry([&] { ini.writeCfgString(section(p, i).c_str(), key(p, i).c_str(), "v"); });
      _exit(ok == kWrites ? 0 : 1);
    }
  }
  ASSERT_EQ(write(start[1], "gg", 2), 2);
  close(start[0]);
  close(start[1]);
  for (pid_t kid : kids) {
    int status = -1;
    waitpid(kid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  CZqlWinIni ini(path_.c_str());
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(Read(ini, section(p, i).c_str(), key(p, i).c_str()), "v") << key(p, i);
  }
  EXPECT_EQ(Read(ini, "S", "seed"), "0");
}

// Parsing needs only the first lock byte, a rewrite both; a busy lock
// times out.
TEST_F(WinIni, LockHeldByAnotherProcessTimesOut) {
  WriteFile(path_, "[S]\nk=v\n");
  CZqlWinIni ini(path_.c_str());
  ini.SetTimeOut(1);
  LockHolder holder(path_, kZqlIniLockOffset, 2);
  EXPECT_EQ(Raised([&] { ini.writeCfgString("S", "k", "w"); }),
            kZqlErrTableIsLockedByAnotherCursor);
  EXPECT_EQ(Raised([&] { ini.openCfgFile("S"); }), kZqlErrTableIsLockedByAnotherCursor);
  holder.Release();
  EXPECT_EQ(ini.writeCfgString("S", "k", "w"), 1);
  EXPECT_EQ(Read(ini, "S", "k"), "w");
  LockHolder reader(path_, kZqlIniLockOffset + 1, 1);
  CZqlWinIni fresh(path_.c_str());
  fresh.SetTimeOut(1);
  EXPECT_EQ(Read(fresh, "S", "k"), "w");
  EXPECT_EQ(Raised([&] { fresh.writeCfgString("S", "k", "x"); }),
            kZqlErrTableIsLockedByAnotherCursor);
}

}  // namespace
