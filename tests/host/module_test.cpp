// module_test.cpp - modules through their entry point, the resbuf
// conversions both ways, and the kel_* interface outside a call.
#include <cstdlib>
#include <cstring>

#include "host_test_util.h"
#include "kel.h"

namespace hosttest {
namespace {

// An interpreter for the test module, which logs the entry point messages
// it receives to a file of its own.
class ModuleTest : public LispTest {
 protected:
  void SetUp() override {
    setenv("HOST_TESTMOD_LOG", log_.c_str(), 1);
    unsetenv("HOST_TESTMOD_FAIL");
  }
  void TearDown() override {
    interp.unloadModules();
    unsetenv("HOST_TESTMOD_LOG");
    unsetenv("HOST_TESTMOD_FAIL");
  }
  bool Load(std::string* error) { return interp.loadModule(HOST_TEST_MODULE, error); }

  TempDir dir_;
  std::string log_ = dir_.path() + "/messages";
};

// The module loaded once at the start.
class LoadedTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    std::string error;
    ASSERT_TRUE(Load(&error)) << error;
  }
};

TEST_F(LoadedTest, MessagesArriveInOrder) {
  EXPECT_EQ(ReadFile(log_), "1 3 ");
  EXPECT_EQ(Eval("(tm_log)"), "\"1 3 5 \"");
  EXPECT_EQ(Eval("(tm_t)"), "T");
  interp.unloadModules();
  EXPECT_EQ(ReadFile(log_), "1 3 5 5 4 2 ");
  EXPECT_EQ(Eval("(tm_t)"), "error: no function definition: TM_T");  // undefined at 4
}

TEST_F(LoadedTest, FunctionsAreExternalSubrs) {
  ExpectAll({
      {"(type tm_echo)", "EXRXSUBR"},
      {"tm_echo", "#<EXRXSUBR TM_ECHO>"},
      {"(tm_code)", "10"},  // defined as "tm_code", code 10
      {"(mapcar 'tm_half '(5 3.0))", "(2.5 1.5)"},
      {"(tm_add 30000 30000)", "60000"},
      {"(tm_rootp)", "T"},  // its root is registered, of its class
  });
}

TEST_F(LoadedTest, ArgumentTypeCodes) {
  ExpectAll({
      {"(tm_types 0 32767 32768 -32768 -32769 2147483647)", "\"5003 5003 5010 5003 5010 5010\""},
      {"(tm_types 1.5 \"s\" t nil)", "\"5001 5005 5021 5019\""},
      {"(tm_types)", "\"\""},
      {"(tm_types '(1.0 2.0) '(1.0 2.0 3.0))", "\"5002 5009\""},
      {"(tm_types '(1 2))", "\"5016 5003 5003 5017\""},
      {"(tm_types '(1.0 2))", "\"5016 5001 5003 5017\""},
      {"(tm_types '(1.0 2.0 3.0 4.0))", "\"5016 5001 5001 5001 5001 5017\""},
      {"(tm_types '(1.0))", "\"5016 5001 5017\""},
      {"(tm_types '((1 2) (3)))", "\"5016 5016 5003 5003 5017 5016 5003 5017 5017\""},
      {"(tm_types '(1 . \"a\"))", "\"5016 5003 5018 5005 5017\""},
      {"(tm_types '(1 2 . 3))", "\"5016 5003 5003 5018 5003 5017\""},
      {"(tm_types '((1.0 2.0) nil))", "\"5016 5002 5019 5017\""},
      {"(tm_types 'sym)", "error: bad argument type: TM_TYPES: SYM"},
      {"(tm_types car)", "error: bad argument type: TM_TYPES: #<SUBR CAR>"},
  });
}

TEST_F(LoadedTest, ResultsComeBackAsLispValues) {
  ExpectAll({
      {"(tm_echo 32767 32768 -32768 -32769)", "(32767 32768 -32768 -32769)"},
      {"(tm_echo 2.5 \"a\\\"b\" t nil)", "(2.5 \"a\\\"b\" T nil)"},
      {"(tm_echo 0 '(1.0 2.0) '(1.0 2.0 3.0))", "(0 (1.0 2.0) (1.0 2.0 3.0))"},
      // A single list argument comes back as that list; several items as a list.
      {"(tm_echo '((1 2) (3)))", "((1 2) (3))"},
      {"(tm_echo '(1 . \"a\"))", "(1 . \"a\")"},
      {"(tm_echo '(1 2 . 3))", "(1 2 . 3)"},
      {"(tm_echo \"x\" '(1 (2 . 3)))", "(\"x\" (1 (2 . 3)))"},
      {"(tm_echo nil)", "(nil)"},
      {"(tm_pairs)", "((1 . \"one\") (2 . \"two\"))"},
      {"(tm_bad)", "-5001"},  // kel_retlist answered RTERROR to an unbalanced chain
  });
}

TEST_F(LoadedTest, FailuresAreCatchableErrors) {
  ExpectAll({
      {"(tm_fail \"boom\")", "error: boom"},
      {"(catch-error (tm_fail \"boom\"))", "(nil . \"boom\")"},
      {"(tm_fail3)", "error: function failed: TM_FAIL3"},
      {"(tm_add 1)", "error: TM_ADD: two integers expected"},
      {"(tm_t)", "T"},  // a failure does not stick to the next call
  });
  std::string error;
  EXPECT_FALSE(Load(&error));  // the module refuses a second load
  EXPECT_NE(error.find("HostTestMod already exists in the Rx dictionary"), std::string::npos)
      << error;
  EXPECT_EQ(Eval("(tm_t)"), "T");  // the first load is untouched
}

TEST_F(ModuleTest, FailedLoadsUndoThemselves) {
  std::string error;
  setenv("HOST_TESTMOD_FAIL", "1", 1);
  EXPECT_FALSE(Load(&error));
  EXPECT_NE(error.find("test module refuses to load"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(log_), "1 ");
  EXPECT_EQ(Eval("(tm_t)"), "error: no function definition: TM_T");
  setenv("HOST_TESTMOD_FAIL", "3", 1);
  EXPECT_FALSE(Load(&error));
  EXPECT_NE(error.find("could not define"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(log_), "1 1 3 4 2 ");
  unsetenv("HOST_TESTMOD_FAIL");
  EXPECT_TRUE(Load(&error)) << error;  // clean again
  EXPECT_FALSE(interp.loadModule("/nonexistent/libnone.so", &error));
  EXPECT_EQ(error.rfind("cannot load module /nonexistent/libnone.so: ", 0), 0u) << error;
  EXPECT_FALSE(interp.loadModule("libc.so.6", &error));
  EXPECT_NE(error.find("no hvrxEntryPoint"), std::string::npos) << error;
}

TEST(KelInterfaceTest, OutsideACallAndChains) {
  EXPECT_EQ(kel_defun("X", 1), RTERROR);
  EXPECT_EQ(kel_getfuncode(), -1);
  EXPECT_EQ(kel_getargs(), nullptr);
  for (int status : {kel_rett(), kel_retint(1), kel_retstr("x"), kel_fail("x")})
    EXPECT_EQ(status, RTERROR);
  EXPECT_EQ(kel_agetenv(nullptr, nullptr), nullptr);
  EXPECT_STREQ(kel_agetenv("ZQLHOST_TEST_UNSET", "dflt"), "dflt");
  resbuf* head = kel_newrb(RTSTR);
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->restype, RTSTR);
  EXPECT_EQ(head->rbnext, nullptr);
  EXPECT_EQ(head->resval.rstring, nullptr);
  head->resval.rstring = strdup("text");
  head->rbnext = kel_newrb(RTBINARY);
  head->rbnext->resval.rbinary.clen = 3;
  head->rbnext->resval.rbinary.buf = static_cast<char*>(std::malloc(3));
  head->rbnext->rbnext = kel_newrb(RTLONG);
  EXPECT_EQ(kel_relrb(head), RTNORM);  // frees all three nodes and both buffers (ASan)
  EXPECT_EQ(kel_relrb(nullptr), RTNORM);
}

}  // namespace
}  // namespace hosttest
