// zqlsh_test.cpp - the zqlsh program: scripts, -e, standard input, modules
// and exit statuses.
#include "host_test_util.h"

namespace hosttest {
namespace {

// Checks status, standard output and standard error of a run.
void ExpectRun(const ShellRun& r, int status, const std::string& out, const std::string& err) {
  EXPECT_EQ(r.status, status);
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, err);
}

TEST(ZqlshTest, ScriptsRunInOrderUntilAnError) {
  TempDir dir;
  std::string ok = dir.Write("ok.lsp", "(defun sq (x) (* x x))\n(princ (sq 12))\n(terpri)\n(princ)");
  ExpectRun(RunZqlsh({"--no-module", ok}), 0, "144\n", "");
  std::string b = dir.Write("b.lsp", "(princ \"b\")");
  std::string bad = dir.Write("bad.lsp", "(princ \"before\")\n(car 1)\n(princ \"after\")");
  ExpectRun(RunZqlsh({"--no-module", bad, b}), 1, "before",
            "; error: bad argument type: consp: 1\n");
  std::string ex = dir.Write("exit.lsp", "(princ \"x\")\n(catch-error (exit 3))\n(princ \"no\")");
  ExpectRun(RunZqlsh({"--no-module", ex}), 3, "x", "");
  ExpectRun(RunZqlsh({"--no-module", "/nonexistent/script.lsp"}), 1, "",
            "; error: LOAD failed: \"/nonexistent/script.lsp\"\n");
}

TEST(ZqlshTest, ExpressionsPrintTheirValue) {
  ExpectRun(RunZqlsh({"--no-module", "-e", "(list 1 \"a\" 2.0)", "-e", "(setq v 'x) v"}), 0,
            "(1 \"a\" 2.0)\nX\n", "");
  ExpectRun(RunZqlsh({"--no-module", "-e", "(princ \"hi\")"}), 0, "hi\n\"hi\"\n", "");
  ExpectRun(RunZqlsh({"--no-module", "-e", "(/ 1 0)"}), 1, "", "; error: divide by zero\n");
  ExpectRun(RunZqlsh({"--no-module", "-e", "(exit)"}), 0, "", "");
  ExpectRun(RunZqlsh({"--no-module", "-e", "(defun f (n) (+ 1 (f n))) (f 0)"}), 1, "",
            "; error: stack overflow\n");
  ShellRun r = RunZqlsh({"--no-module", "-e", "(defun f (n) (if (= n 0) 0 (1+ (f (1- n))))) (f 8000)"});
  EXPECT_EQ(r.out, "8000\n");
}

TEST(ZqlshTest, StandardInputIsAScript) {
  ExpectRun(RunZqlsh({"--no-module"}, "(princ (+ 1 2))\n(car 'x)\n(princ \"no\")"), 1, "3",
            "; error: bad argument type: consp: X\n");
  EXPECT_EQ(RunZqlsh({"--no-module"}, "(exit 4)").status, 4);
  EXPECT_EQ(RunZqlsh({"--no-module", "-"}, "(princ 5)").out, "5");
  // Forms across lines, then an unfinished one.
  ExpectRun(RunZqlsh({"--no-module"}, "(princ (strcat \"a\n\"\n\"b\")) (princ 1)\n(princ (+ 1"), 1,
            "a\nb1", "; error: malformed list on input\n");
}

TEST(ZqlshTest, ModulesAndUsage) {
  ExpectRun(RunZqlsh({"--module", HOST_TEST_MODULE, "-e", "(tm_add 2 3)"}), 0, "5\n", "");
  ShellRun r = RunZqlsh({"--module", "/nonexistent/mod.so", "-e", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("; error: cannot load module /nonexistent/mod.so: ", 0), 0u) << r.err;
  EXPECT_EQ(RunZqlsh({"--no-module", "-e", "(tm_add 2 3)"}).err,
            "; error: no function definition: TM_ADD\n");
  r = RunZqlsh({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: zqlsh", 0), 0u);
  r = RunZqlsh({"--bogus"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos);
  EXPECT_EQ(RunZqlsh({"-e"}).status, 1);
}

}  // namespace
}  // namespace hosttest
