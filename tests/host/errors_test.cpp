// errors_test.cpp - error texts, catch-error, recursion limits and
// cancellation.
#include "host_test_util.h"

namespace hosttest {
namespace {

using ErrorTest = LispTest;

TEST_F(ErrorTest, Texts) {
  EXPECT_EQ(Eval("(foo 1)"), "error: no function definition: FOO");
  EXPECT_EQ(Eval("(setq v 1) (v)"), "error: no function definition: V");
  EXPECT_EQ(Eval("(5 1)"), "error: bad function: 5");
  EXPECT_EQ(Eval("((car '(1)) 2)"), "error: bad function: 1");
  EXPECT_EQ(Eval("(car)"), "error: too few arguments");
  EXPECT_EQ(Eval("(car '(1) '(2))"), "error: too many arguments");
  EXPECT_EQ(Eval("(defun two (a b) a) (two 1)"), "error: too few arguments");
  EXPECT_EQ(Eval("(two 1 2 3)"), "error: too many arguments");
  EXPECT_EQ(Eval("(if)"), "error: too few arguments");
  EXPECT_EQ(Eval("(setq 1 2)"), "error: bad argument type: symbolp: 1");
  EXPECT_EQ(Eval("(setq t 2)"), "error: attempt to set a constant: T");
  EXPECT_EQ(Eval("(defun bad (1) 1)"), "error: bad argument type: symbolp: 1");
  EXPECT_EQ(Eval("(apply 'setq '(a 1))"), "error: bad function: #<SUBR SETQ>");
  EXPECT_EQ(Eval("(cond 1)"), "error: bad argument type: consp: 1");
}

TEST_F(ErrorTest, LongValuesAreCutInMessages) {
  std::string r = Eval("(setq l nil) (repeat 500 (setq l (cons 1 l))) (+ l)");
  EXPECT_EQ(r.substr(0, 42), "error: bad argument type: numberp: (1 1 1 ");
  EXPECT_LT(r.size(), 300u);
  EXPECT_EQ(r.substr(r.size() - 4), " ...");
}

TEST_F(ErrorTest, CatchErrorReturnsAPairAndCarriesOn) {
  EXPECT_EQ(Eval("(catch-error (+ 1 2))"), "(T . 3)");
  EXPECT_EQ(Eval("(catch-error (list 1 2))"), "(T 1 2)");
  EXPECT_EQ(Eval("(catch-error)"), "(T)");
  EXPECT_EQ(Eval("(catch-error (setq a 1) (car 5) (setq a 2))"),
            "(nil . \"bad argument type: consp: 5\")");
  EXPECT_EQ(Eval("a"), "1");  // the forms after the error did not run
  EXPECT_EQ(Eval("(cdr (catch-error (catch-error (/ 1 0)) (undefined-fn)))"),
            "\"no function definition: UNDEFINED-FN\"");
  EXPECT_EQ(Eval("(list (car (catch-error (/ 1 0))) 'after)"), "(nil AFTER)");
}

TEST_F(ErrorTest, RunawayRecursionIsAnError) {
  Eval("(defun down (n) (+ 1 (down (1+ n))))");
  EXPECT_EQ(Eval("(catch-error (down 0))"), "(nil . \"stack overflow\")");
  EXPECT_EQ(Eval("(down 0)"), "error: stack overflow");
  Eval("(defun depth (n) (if (= n 0) 0 (1+ (depth (1- n)))))");
  EXPECT_EQ(Eval("(depth 1000)"), "1000");  // the interpreter is still sound
}

TEST_F(ErrorTest, CancelStopsEvenInsideCatchError) {
  interp.requestCancel();
  EXPECT_EQ(Eval("(catch-error (while t))"), "error: Function cancelled");
  EXPECT_EQ(Eval("(+ 1 2)"), "3");  // the request is used up
}

TEST_F(ErrorTest, LargeStructuresAreFreedWithoutRecursion) {
  // Long and deep structures are released when the variable is reset; a
  // recursive release would overflow the C++ stack here.
  EXPECT_EQ(Eval("(setq l nil) (repeat 300000 (setq l (cons l l))) (setq l nil)"), "nil");
  EXPECT_EQ(Eval("(setq l nil) (repeat 300000 (setq l (list l))) (setq l nil)"), "nil");
}

}  // namespace
}  // namespace hosttest
