// The file layer: path substitution and expansion, the file search, line
// reading, listings, and byte-range locks against another process.

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "cfgtest.h"
#include "zqlio.h"

namespace {

using namespace cfgtest;

std::string Expand(const std::string& in) {
  char buf[kZqlMaxPath];
  std::strcpy(buf, in.c_str());
  const char* out = ZqlExpandFileName(buf);
  return out != nullptr ? out : "<null>";
}

std::string Substitute(const std::string& in) {
  char buf[kZqlMaxPath];
  std::strcpy(buf, in.c_str());
  return ZqlSubstituteInFileName(buf);
}

// Each row sets HOME (nullptr: unset) and expands or substitutes one path;
// relative paths start at the working directory, "~user" at the account's
// home, and an unknown user gives null.
TEST(PathExpansion, HomeAndVariables) {
  EnvVar unset("ZQL_TEST_UNSET", nullptr);
  char cwd[kZqlMaxPath];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  const std::string user = std::string("~") + pw->pw_name + "/f";
  const std::string userHome =
      std::string(pw->pw_dir == std::string("/") ? "" : pw->pw_dir) + "/f";
  const std::string here = cwd == std::string("/") ? "" : cwd;
  const struct {
    const char* home;
    std::string in, out;
    bool expand;
  } rows[] = {
      {"/home/tester", "~/zql.ini", "/home/tester/zql.ini", true},
      {"/home/tester", "~", "/home/tester", true},
      {"/home/tester", "/etc/~/x", "/home/tester/x", true},  // "/~" restarts at the '~'
      {"/home/tester/", "~/a", "/home/tester/a", true},      // no "//" from a trailing '/'
      {"/h", "/..", "/", true},
      {"/h", "/a/../../b", "/b", true},                // never above the root
      {"/h", "/x/y//z/w", "/z/w", true},               // "//" restarts at the root
      {"/h", "/plain/path/", "/plain/path/", true},    // unchanged without dots
      {"/h", "/a/.hidden/b", "/a/.hidden/b", true},    // not a dot segment
      {"/h", "/a///./b", "/b", true},
      {"/h", "a/./b/../c", here + "/a/c", true},
      {"/h", "", cwd, true},
      {"/h", user, userHome, true},
      {"/h", "$HOME/a", "/h/a", false},
      {"/h", "${HOME}/a", "/h/a", false},
      {"/h", "$ZQL_TEST_UNSET/a", "/a", false},
      {"/h", "/x/$HOME", "/x//h", false},
      {"/h", "a$HOME", "a$HOME", false},  // '$' inside a segment is text
      {"/h", "${HOME", "/h", false},      // no '}': up to the end
      {"/h", "$$HOME/b", "/h/b", false},
      {nullptr, "$HOME/x", "/x", false},
  };
  for (const auto& r : rows) {
    EnvVar home("HOME", r.home);
    EXPECT_EQ(r.expand ? Expand(r.in) : Substitute(r.in), r.out) << r.in;
  }
  char buf[kZqlMaxPath] = "~no-such-user-zql-test/f";
  ASSERT_EQ(ZqlExpandFileName(buf), nullptr);
  EXPECT_STREQ(buf, "~no-such-user-zql-test/f");  // left alone
}

TEST(PathSubstitution, SelfReferenceEndsAndLongValuesAreCut) {
  EnvVar loop("ZQL_TEST_LOOP", "/$ZQL_TEST_LOOP");
  const std::string out = Substitute("$ZQL_TEST_LOOP/x");
  EXPECT_LT(out.size(), static_cast<std::size_t>(kZqlMaxPath));
  const std::string big(900, 'b');
  EnvVar large("ZQL_TEST_BIG", ("/" + big).c_str());
  const std::string twice = Substitute("$ZQL_TEST_BIG/$ZQL_TEST_BIG");
  EXPECT_EQ(twice.size(), static_cast<std::size_t>(kZqlMaxPath - 1));
}

TEST(PathHelpers, BasenameAndDirname) {
  for (const auto& r : {std::array<const char*, 3>{"/usr/lib/zql.ini", "zql.ini", "/usr/lib/"},
                        std::array<const char*, 3>{"plain", "plain", "."}}) {
    char a[kZqlMaxPath];
    std::strcpy(a, r[0]);
    EXPECT_STREQ(ZqlFileBasename(a), r[1]);
    EXPECT_STREQ(ZqlFileDirname(a), r[2]);
  }
}

TEST(FileSearch, ListSkipsDirectoriesAndNormalises) {
  ScratchDir dir;
  ASSERT_EQ(mkdir("d1", 0700), 0);
  ASSERT_EQ(mkdir("d1/tool", 0700), 0);  // a directory of the same name
  ASSERT_EQ(mkdir("d2", 0700), 0);
  WriteFile(dir.File("d2/tool"), "x");
  const std::string list = dir.path() + "/d1:;  " + dir.path() + "/d2/";
  char found[kZqlMaxPath];
  EXPECT_EQ(ZqlFindFile(list.c_str(), "tool", found), 1);
  EXPECT_EQ(std::string(found), dir.path() + "/d2/tool");
  EXPECT_EQ(ZqlFindFile("", "tool", found), 0);
  EXPECT_EQ(ZqlFindFile(nullptr, "tool", found), 0);

  // Along PATH, with the full normalised path as the result.
  setenv("PATH", (dir.path() + "/d1/../d1:" + dir.path() + "/d2/./").c_str(), 1);
  CZqlDirMisc misc;
  CZqlUcStr path;
  EXPECT_EQ(misc.Find(CZqlUcStr("tool"), &path), 1);
  EXPECT_EQ(Text(path), dir.path() + "/d2/tool");
}

TEST(FileSearch, OrderIsNameZqlKovaPath) {
  ScratchDir dir;
  for (const char* d : {"z", "k", "p"}) ASSERT_EQ(mkdir(d, 0700), 0);
  WriteFile(dir.File("p/f.txt"), "p");
  setenv("ZQL", dir.File("z").c_str(), 1);
  setenv("KOVA", dir.File("k").c_str(), 1);
  setenv("PATH", dir.File("p").c_str(), 1);
  CZqlDirMisc misc;
  char out[kZqlMaxPath];
  for (const std::string where : {"k/", "z/", ""}) {  // each comes before the last found
    WriteFile(dir.File(where + "f.txt"), where);
    ASSERT_EQ(misc.Find("f.txt", out, sizeof out), 1);
    EXPECT_EQ(std::string(out), dir.File(where + "f.txt"));
  }
  EXPECT_EQ(misc.Find("f.txt", out, 5), 0);  // does not fit
  EXPECT_EQ(misc.Find("missing.txt", out, sizeof out), 0);
  EXPECT_EQ(Raised([&] { misc.Find("", out, sizeof out); }), kZqlErrInvalidFunctionArguments);
}

TEST(DirMisc, PathAccessRenameUnlinkAndListing) {
  ScratchDir dir;
  WriteFile(dir.File("zqlloc.xmx"), "m");
  WriteFile(dir.File("zqllisp.xmx"), "m");
  WriteFile(dir.File("notes.txt"), "n");
  WriteFile(dir.File("old.xmx.bak"), "n");
  CZqlDirMisc misc;
  CZqlUcStr p;
  EXPECT_EQ(misc.Path(CZqlUcStr("."), &p), 1);
  EXPECT_EQ(Text(p), dir.path() + "/");
  EXPECT_EQ(Raised([&] { misc.Path(CZqlUcStr("absent"), &p); }), kZqlErrOperatingSystemError);
  EXPECT_EQ(misc.isExist(CZqlUcStr("notes.txt")), 1);
  EXPECT_EQ(misc.isCanReadWrite(CZqlUcStr("notes.txt")), 1);
  EXPECT_EQ(misc.isExist(CZqlUcStr("absent")), 0);

  std::vector<std::string> names;
  ASSERT_EQ(misc.FileListOpen(CZqlUcStr(""), CZqlUcStr("xmx")), 1);
  CZqlUcStr name;
  while (misc.FileListRead(&name)) names.push_back(Text(name));
  EXPECT_EQ(name.Length(), 0);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"zqllisp", "zqlloc"}));
  misc.FileListClose();
  ASSERT_EQ(misc.FileListOpen(CZqlUcStr(dir.path().c_str()), CZqlUcStr("")), 1);
  int all = 0;
  while (misc.DirListRead(&name)) ++all;
  EXPECT_EQ(all, 4);

  EXPECT_EQ(misc.Rename(CZqlUcStr("notes.txt"), CZqlUcStr("n2.txt")), 1);
  EXPECT_EQ(misc.Unlink(CZqlUcStr("n2.txt")), 1);
  EXPECT_EQ(Raised([&] { misc.Unlink(CZqlUcStr("n2.txt")); }), kZqlErrOperatingSystemError);
}

TEST(FileRead, LinesSkipEmptyOnesAndTheLastControlCharacter) {
  ScratchDir dir;
  WriteFile(dir.File("f"), "\n\nfirst\r\n\r\nsecond\rthird\x1a");
  CZqlFile f;
  ASSERT_EQ(f.Open("f", 0), 1);
  CZqlUcStr line;
  std::vector<std::string> got;
  while (ZqlTry([&] { f.ReadString(&line); })) got.push_back(Text(line));
  EXPECT_EQ(ZqlTryCode(), kZqlErrEOFFound);
  EXPECT_EQ(line.Length(), 0);
  EXPECT_EQ(got, (std::vector<std::string>{"first", "second", "third"}));

  WriteFile(dir.File("empty"), "");
  CZqlFile e;
  ASSERT_EQ(e.Open("empty", 0), 1);
  EXPECT_EQ(Raised([&] { e.ReadString(&line); }), kZqlErrEOFFound);
}

TEST(FileOps, ClosedAndDoubleOpenAreInternalErrors) {
  ScratchDir dir;
  CZqlFile f;
  char c;
  EXPECT_EQ(Raised([&] { f.Read(&c, 1); }), kZqlErrInternalZQLError);
  ASSERT_EQ(f.Open("new", kZqlFileReadWrite | kZqlFileCreate), 1);
  EXPECT_EQ(f.isCanReadWrite(), 1);
  EXPECT_EQ(Raised([&] { f.Open("new", 0); }), kZqlErrInternalZQLError);
  EXPECT_EQ(f.Write("hello", 5), 5);
  EXPECT_EQ(f.Size(), 5);
  ASSERT_EQ(f.SetSeek(1), 1);
  char buf[8] = {};
  EXPECT_EQ(f.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(f.Truncate(2), 1);
  EXPECT_EQ(f.Size(), 2);
  CZqlFile missing;
  EXPECT_EQ(Raised([&] { missing.Open("absent", 0); }), kZqlErrOperatingSystemError);
}

TEST(FileLock, BusyRangeTimesOutWithTableLocked) {
  ScratchDir dir;
  WriteFile(dir.File("l"), "data");
  LockHolder holder(dir.File("l"), 100, 10);
  CZqlFile f;
  ASSERT_EQ(f.Open("l", kZqlFileReadWrite), 1);
  // The time-out is clamped to 1..600 seconds.
  EXPECT_EQ(f.TimeOut(), 30);
  f.SetTimeOut(1000);
  EXPECT_EQ(f.TimeOut(), 600);
  f.SetTimeOut(0);
  EXPECT_EQ(f.TimeOut(), 1);
  const SZqlLockGroup none[1] = {{0, 1}};
  EXPECT_EQ(Raised([&] { f.Lock(none, 0); }), kZqlErrInvalidFunctionArguments);
  EXPECT_EQ(Raised([&] { f.Lock(105, 1); }), kZqlErrTableIsLockedByAnotherCursor);
  EXPECT_EQ(f.Lock(110, 5), 1);  // outside the held range
  const SZqlLockGroup group[] = {{0, 1}, {109, 2}};
  EXPECT_EQ(Raised([&] { f.Lock(group, 2); }), kZqlErrTableIsLockedByAnotherCursor);
  holder.Release();
  EXPECT_EQ(f.Lock(group, 2), 1);
  EXPECT_EQ(f.Unlock(group, 2), 1);
}

TEST(FileLock, WaitSucceedsWhenTheHolderReleasesInTime) {
  ScratchDir dir;
  WriteFile(dir.File("l"), "data");
  LockHolder holder(dir.File("l"), 0, 4, 300);
  CZqlFile f;
  ASSERT_EQ(f.Open("l", kZqlFileReadWrite), 1);
  f.SetTimeOut(20);
  EXPECT_EQ(f.Lock(0u, 4u), 1);
}

}  // namespace
