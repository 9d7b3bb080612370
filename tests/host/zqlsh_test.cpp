// zqlsh_test.cpp - the zqlsh program: scripts, -e, standard input, modules
// and exit statuses.
#include "host_test_util.h"

namespace hosttest {
namespace {

TEST(ZqlshTest, ScriptSucceeds) {
  TempDir dir;
  std::string f = dir.Write("ok.lsp", "(defun sq (x) (* x x))\n(princ (sq 12))\n(terpri)\n(princ)");
  ShellRun r = RunZqlsh({"--no-module", f});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "144\n");
  EXPECT_EQ(r.err, "");
}

TEST(ZqlshTest, FilesRunInOrderAndShareState) {
  TempDir dir;
  std::string a = dir.Write("a.lsp", "(setq shared 1)");
  std::string b = dir.Write("b.lsp", "(princ (+ shared 1))");
  ShellRun r = RunZqlsh({"--no-module", a, b});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2");
}

TEST(ZqlshTest, UncaughtErrorEndsWithStatusOne) {
  TempDir dir;
  std::string bad = dir.Write("bad.lsp", "(princ \"before\")\n(car 1)\n(princ \"after\")");
  std::string next = dir.Write("next.lsp", "(princ \"next\")");
  ShellRun r = RunZqlsh({"--no-module", bad, next});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "before");
  EXPECT_EQ(r.err, "; error: bad argument type: consp: 1\n");
}

TEST(ZqlshTest, ExitStatus) {
  TempDir dir;
  std::string f = dir.Write("exit.lsp", "(princ \"x\")\n(catch-error (exit 3))\n(princ \"no\")");
  ShellRun r = RunZqlsh({"--no-module", f});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "x");
  EXPECT_EQ(RunZqlsh({"--no-module", "-e", "(exit)"}).status, 0);
}

TEST(ZqlshTest, MissingFile) {
  ShellRun r = RunZqlsh({"--no-module", "/nonexistent/script.lsp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "; error: LOAD failed: \"/nonexistent/script.lsp\"\n");
}

TEST(ZqlshTest, ExpressionsPrintTheirValue) {
  ShellRun r = RunZqlsh({"--no-module", "-e", "(list 1 \"a\" 2.0)", "-e", "(setq v 'x) v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "(1 \"a\" 2.0)\nX\n");
  r = RunZqlsh({"--no-module", "-e", "(princ \"hi\")"});
  EXPECT_EQ(r.out, "hi\n\"hi\"\n");
  r = RunZqlsh({"--no-module", "-e", "(/ 1 0)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "; error: divide by zero\n");
}

TEST(ZqlshTest, StandardInputIsAScript) {
  ShellRun r = RunZqlsh({"--no-module"}, "(princ (+ 1 2))\n(car 'x)\n(princ \"no\")");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "3");
  EXPECT_EQ(r.err, "; error: bad argument type: consp: X\n");
  EXPECT_EQ(RunZqlsh({"--no-module"}, "(exit 4)").status, 4);
  EXPECT_EQ(RunZqlsh({"--no-module", "-"}, "(princ 5)").out, "5");
  r = RunZqlsh({"--no-module"}, "(princ (strcat \"a\n\"\n\"b\")) (princ 1)\n(princ (+ 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "a\nb1");  // forms across lines, then an unfinished one
  EXPECT_EQ(r.err, "; error: malformed list on input\n");
}

TEST(ZqlshTest, Modules) {
  ShellRun r = RunZqlsh({"--module", HOST_TEST_MODULE, "-e", "(tm_add 2 3)"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "5\n");
  EXPECT_EQ(r.err, "");
  r = RunZqlsh({"--module", "/nonexistent/mod.so", "-e", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("; error: cannot load module /nonexistent/mod.so: ", 0), 0u) << r.err;
  r = RunZqlsh({"--no-module", "-e", "(tm_add 2 3)"});
  EXPECT_EQ(r.err, "; error: no function definition: TM_ADD\n");
}

TEST(ZqlshTest, Usage) {
  ShellRun r = RunZqlsh({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: zqlsh", 0), 0u);
  r = RunZqlsh({"--bogus"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos);
  EXPECT_EQ(RunZqlsh({"-e"}).status, 1);
}

TEST(ZqlshTest, DeepRecursionIsAnErrorNotACrash) {
  ShellRun r = RunZqlsh({"--no-module", "-e", "(defun f (n) (+ 1 (f n))) (f 0)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "; error: stack overflow\n");
  r = RunZqlsh({"--no-module", "-e", "(defun f (n) (if (= n 0) 0 (1+ (f (1- n))))) (f 8000)"});
  EXPECT_EQ(r.out, "8000\n");
}

}  // namespace
}  // namespace hosttest
