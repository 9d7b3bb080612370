// module_test.cpp - modules through their entry point, the resbuf
// conversions both ways, and the kel_* interface outside a call.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "host_test_util.h"
#include "kel.h"

namespace hosttest {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// An interpreter with the test module loaded; the module logs its messages
// to a file of its own.
class ModuleTest : public LispTest {
 protected:
  void SetUp() override {
    log_ = dir_.path() + "/messages";
    setenv("HOST_TESTMOD_LOG", log_.c_str(), 1);
    unsetenv("HOST_TESTMOD_FAIL");
    std::string error;
    ASSERT_TRUE(interp.loadModule(HOST_TEST_MODULE, &error)) << error;
  }
  void TearDown() override {
    interp.unloadModules();
    unsetenv("HOST_TESTMOD_LOG");
  }
  std::string Messages() const { return ReadFile(log_); }

  TempDir dir_;
  std::string log_;
};

TEST_F(ModuleTest, MessagesArriveInOrder) {
  EXPECT_EQ(Messages(), "1 3 ");
  EXPECT_EQ(Eval("(tm_log)"), "\"1 3 5 \"");
  EXPECT_EQ(Eval("(tm_t)"), "T");
  interp.unloadModules();
  EXPECT_EQ(Messages(), "1 3 5 5 4 2 ");
  EXPECT_EQ(Eval("(tm_t)"), "error: no function definition: TM_T");  // undefined at 4
}

TEST_F(ModuleTest, FunctionsAreExternalSubrs) {
  EXPECT_EQ(Eval("(type tm_echo)"), "EXRXSUBR");
  EXPECT_EQ(Eval("tm_echo"), "#<EXRXSUBR TM_ECHO>");
  EXPECT_EQ(Eval("(tm_code)"), "10");  // defined as "tm_code", code 10
  EXPECT_EQ(Eval("(mapcar 'tm_half '(5 3.0))"), "(2.5 1.5)");
  EXPECT_EQ(Eval("(tm_add 30000 30000)"), "60000");
  EXPECT_EQ(Eval("(tm_rootp)"), "T");  // its root is registered, of its class
}

TEST_F(ModuleTest, IntegerArgumentsShortOrLong) {
  EXPECT_EQ(Eval("(tm_types 0 32767 32768 -32768 -32769 2147483647)"),
            "\"5003 5003 5010 5003 5010 5010\"");
  EXPECT_EQ(Eval("(tm_echo 32767 32768 -32768 -32769)"), "(32767 32768 -32768 -32769)");
}

TEST_F(ModuleTest, AtomArguments) {
  EXPECT_EQ(Eval("(tm_types 1.5 \"s\" t nil)"), "\"5001 5005 5021 5019\"");
  EXPECT_EQ(Eval("(tm_types)"), "\"\"");
  EXPECT_EQ(Eval("(tm_echo 2.5 \"a\\\"b\" t nil)"), "(2.5 \"a\\\"b\" T nil)");
  EXPECT_EQ(Eval("(tm_types 'sym)"), "error: bad argument type: TM_TYPES: SYM");
  EXPECT_EQ(Eval("(tm_types car)"), "error: bad argument type: TM_TYPES: #<SUBR CAR>");
}

TEST_F(ModuleTest, PointsVersusLists) {
  EXPECT_EQ(Eval("(tm_types '(1.0 2.0) '(1.0 2.0 3.0))"), "\"5002 5009\"");
  EXPECT_EQ(Eval("(tm_types '(1 2))"), "\"5016 5003 5003 5017\"");
  EXPECT_EQ(Eval("(tm_types '(1.0 2))"), "\"5016 5001 5003 5017\"");
  EXPECT_EQ(Eval("(tm_types '(1.0 2.0 3.0 4.0))"), "\"5016 5001 5001 5001 5001 5017\"");
  EXPECT_EQ(Eval("(tm_types '(1.0))"), "\"5016 5001 5017\"");
  EXPECT_EQ(Eval("(tm_echo 0 '(1.0 2.0) '(1.0 2.0 3.0))"), "(0 (1.0 2.0) (1.0 2.0 3.0))");
}

TEST_F(ModuleTest, NestedListsAndDottedPairs) {
  EXPECT_EQ(Eval("(tm_types '((1 2) (3)))"), "\"5016 5016 5003 5003 5017 5016 5003 5017 5017\"");
  EXPECT_EQ(Eval("(tm_types '(1 . \"a\"))"), "\"5016 5003 5018 5005 5017\"");
  EXPECT_EQ(Eval("(tm_types '(1 2 . 3))"), "\"5016 5003 5003 5018 5003 5017\"");
  EXPECT_EQ(Eval("(tm_types '((1.0 2.0) nil))"), "\"5016 5002 5019 5017\"");
  // A single list argument comes back as that list; several items as a list.
  EXPECT_EQ(Eval("(tm_echo '((1 2) (3)))"), "((1 2) (3))");
  EXPECT_EQ(Eval("(tm_echo '(1 . \"a\"))"), "(1 . \"a\")");
  EXPECT_EQ(Eval("(tm_echo '(1 2 . 3))"), "(1 2 . 3)");
  EXPECT_EQ(Eval("(tm_echo \"x\" '(1 (2 . 3)))"), "(\"x\" (1 (2 . 3)))");
  EXPECT_EQ(Eval("(tm_echo nil)"), "(nil)");
  EXPECT_EQ(Eval("(tm_pairs)"), "((1 . \"one\") (2 . \"two\"))");
}

TEST_F(ModuleTest, MalformedResultIsRefused) {
  EXPECT_EQ(Eval("(tm_bad)"), "-5001");  // kel_retlist answered RTERROR
}

TEST_F(ModuleTest, FailuresAreCatchableErrors) {
  EXPECT_EQ(Eval("(tm_fail \"boom\")"), "error: boom");
  EXPECT_EQ(Eval("(catch-error (tm_fail \"boom\"))"), "(nil . \"boom\")");
  EXPECT_EQ(Eval("(tm_fail3)"), "error: function failed: TM_FAIL3");
  EXPECT_EQ(Eval("(tm_add 1)"), "error: TM_ADD: two integers expected");
  EXPECT_EQ(Eval("(tm_t)"), "T");  // a failure does not stick to the next call
}

TEST_F(ModuleTest, SecondLoadIsRefusedByTheModule) {
  std::string error;
  EXPECT_FALSE(interp.loadModule(HOST_TEST_MODULE, &error));
  EXPECT_NE(error.find("HostTestMod already exists in the Rx dictionary"), std::string::npos)
      << error;
  EXPECT_EQ(Eval("(tm_t)"), "T");  // the first load is untouched
}

class ModuleLoadTest : public LispTest {
 protected:
  void TearDown() override {
    unsetenv("HOST_TESTMOD_FAIL");
    unsetenv("HOST_TESTMOD_LOG");
  }
};

TEST_F(ModuleLoadTest, FailedInitialisation) {
  TempDir dir;
  std::string log = dir.path() + "/messages";
  setenv("HOST_TESTMOD_LOG", log.c_str(), 1);
  setenv("HOST_TESTMOD_FAIL", "1", 1);
  std::string error;
  EXPECT_FALSE(interp.loadModule(HOST_TEST_MODULE, &error));
  EXPECT_NE(error.find("test module refuses to load"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(log), "1 ");
  EXPECT_EQ(Eval("(tm_t)"), "error: no function definition: TM_T");
}

TEST_F(ModuleLoadTest, FailedDefinitionUndoesTheLoad) {
  TempDir dir;
  std::string log = dir.path() + "/messages";
  setenv("HOST_TESTMOD_LOG", log.c_str(), 1);
  setenv("HOST_TESTMOD_FAIL", "3", 1);
  std::string error;
  EXPECT_FALSE(interp.loadModule(HOST_TEST_MODULE, &error));
  EXPECT_NE(error.find("could not define"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(log), "1 3 4 2 ");
  unsetenv("HOST_TESTMOD_FAIL");
  EXPECT_TRUE(interp.loadModule(HOST_TEST_MODULE, &error)) << error;  // clean again
}

TEST_F(ModuleLoadTest, MissingLibraryOrEntryPoint) {
  std::string error;
  EXPECT_FALSE(interp.loadModule("/nonexistent/libnone.so", &error));
  EXPECT_EQ(error.rfind("cannot load module /nonexistent/libnone.so: ", 0), 0u) << error;
  EXPECT_FALSE(interp.loadModule("libc.so.6", &error));
  EXPECT_NE(error.find("no hvrxEntryPoint"), std::string::npos) << error;
}

TEST(KelInterfaceTest, OutsideACall) {
  EXPECT_EQ(kel_defun("X", 1), RTERROR);
  EXPECT_EQ(kel_getfuncode(), -1);
  EXPECT_EQ(kel_getargs(), nullptr);
  EXPECT_EQ(kel_rett(), RTERROR);
  EXPECT_EQ(kel_retint(1), RTERROR);
  EXPECT_EQ(kel_retstr("x"), RTERROR);
  EXPECT_EQ(kel_fail("x"), RTERROR);
  EXPECT_EQ(kel_agetenv(nullptr, nullptr), nullptr);
  EXPECT_STREQ(kel_agetenv("ZQLHOST_TEST_UNSET", "dflt"), "dflt");
}

TEST(KelInterfaceTest, NodesAndChains) {
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
  EXPECT_EQ(kel_relrb(head), RTNORM);  // frees all three nodes and both buffers
  EXPECT_EQ(kel_relrb(nullptr), RTNORM);
}

}  // namespace
}  // namespace hosttest
