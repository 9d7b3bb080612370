// builtins_test.cpp - the built-in functions, by family.
#include <cstdlib>

#include "host_test_util.h"

namespace hosttest {
namespace {

using ArithmeticTest = LispTest;
using ComparisonTest = LispTest;
using ListTest = LispTest;
using StringTest = LispTest;
using ControlTest = LispTest;
using LoadTest = LispTest;

TEST_F(ArithmeticTest, IntegerAndMixed) {
  EXPECT_EQ(Eval("(list (+) (+ 1 2 3) (- 5) (- 10 3 2) (*) (* 2 3))"), "(0 6 -5 5 1 6)");
  EXPECT_EQ(Eval("(list (* 2 3.0) (+ 1 0.5) (- 1.5))"), "(6.0 1.5 -1.5)");
  EXPECT_EQ(Eval("(list (/ 7 2) (/ -7 2) (/ 7 2.0) (/ 100 5 2) (/ 9))"), "(3 -3 3.5 10 9)");
  EXPECT_EQ(Eval("(list (rem 7 3) (rem -7 3) (rem 7.5 2))"), "(1 -1 1.5)");
  EXPECT_EQ(Eval("(list (1+ 1) (1- 1.5) (abs -3) (abs -2.5))"), "(2 0.5 3 2.5)");
  EXPECT_EQ(Eval("(list (fix 3.7) (fix -3.7) (fix 4) (float 2))"), "(3 -3 4 2.0)");
  EXPECT_EQ(Eval("(list (max 1 3 2) (max 1 2.0) (min 4 -1 2))"), "(3 2.0 -1)");
  EXPECT_EQ(Eval("(list (sqrt 16) (expt 2 10) (expt 2.0 -1) (exp 0) (fix (* 1000 (sin (/ pi 2)))))"),
            "(4.0 1024 0.5 1.0 1000)");
}

TEST_F(ArithmeticTest, ThirtyTwoBitWrapAround) {
  EXPECT_EQ(Eval("(+ 2147483647 1)"), "-2147483648");
  EXPECT_EQ(Eval("(- -2147483648 1)"), "2147483647");
  EXPECT_EQ(Eval("(* 65536 65536)"), "0");
  EXPECT_EQ(Eval("(/ -2147483648 -1)"), "-2147483648");
  EXPECT_EQ(Eval("(abs -2147483648)"), "-2147483648");
  EXPECT_EQ(Eval("(1+ 2147483647)"), "-2147483648");
  EXPECT_EQ(Eval("(list (expt 2 31) (expt 2 32) (expt -2 3))"), "(-2147483648 0 -8)");
  EXPECT_EQ(Eval("(+ 2147483647 1.0)"), "2147483648.0");  // real once a real joins
}

TEST_F(ArithmeticTest, Errors) {
  EXPECT_EQ(Eval("(/ 1 0)"), "error: divide by zero");
  EXPECT_EQ(Eval("(/ 1.0 0)"), "error: divide by zero");
  EXPECT_EQ(Eval("(rem 5 0)"), "error: divide by zero");
  EXPECT_EQ(Eval("(+ 1 \"a\")"), "error: bad argument type: numberp: \"a\"");
  EXPECT_EQ(Eval("(1+ nil)"), "error: bad argument type: numberp: nil");
  EXPECT_EQ(Eval("(fix 1e20)"), "error: bad argument value: out of integer range: 1e+20");
  EXPECT_EQ(Eval("(sqrt -1)"), "error: function undefined for argument: -1");
}

TEST_F(ComparisonTest, NumbersAndStrings) {
  EXPECT_EQ(Eval("(list (= 1 1.0) (= 1 2) (= 2 2 2) (/= 1 2) (/= 1 1))"), "(T nil T T nil)");
  EXPECT_EQ(Eval("(list (< 1 2 3) (< 1 3 2) (> 3 2 1) (<= 1 1 2) (>= 2 2 3))"), "(T nil T T nil)");
  EXPECT_EQ(Eval("(list (< \"a\" \"b\") (= \"a\" \"a\") (> \"a\" \"B\"))"), "(T T T)");
  EXPECT_EQ(Eval("(< 1 \"a\")"), "error: bad argument type: numberp: \"a\"");
  EXPECT_EQ(Eval("(list (minusp -1) (minusp 0.0) (zerop 0.0) (zerop 1) (numberp 1.5) (numberp \"1\"))"),
            "(T nil T nil T nil)");
}

TEST_F(ListTest, Construction) {
  EXPECT_EQ(Eval("(list 1 (list) \"a\")"), "(1 nil \"a\")");
  EXPECT_EQ(Eval("(list (cons 1 '(2)) (cons 1 2) (cons 1 nil))"), "((1 2) (1 . 2) (1))");
  EXPECT_EQ(Eval("(append '(1 2) nil '(3) '(4 5))"), "(1 2 3 4 5)");
  EXPECT_EQ(Eval("(list (append) (reverse '(1 2 3)) (reverse nil))"), "(nil (3 2 1) nil)");
  EXPECT_EQ(Eval("(subst 'x 'b '(a b (c b) b))"), "(A X (C X) X)");
  EXPECT_EQ(Eval("(subst '(9) '(1 2) '((1 2) 3))"), "((9) 3)");
}

TEST_F(ListTest, Access) {
  Eval("(setq l '((1 2) (3 4) 5))");
  EXPECT_EQ(Eval("(list (car l) (cdr l) (cadr l) (caddr l) (cddr l) (caar l) (cdar l))"),
            "((1 2) ((3 4) 5) (3 4) 5 (5) 1 (2))");
  EXPECT_EQ(Eval("(list (car nil) (cdr nil) (cadr '(1)))"), "(nil nil nil)");
  EXPECT_EQ(Eval("(list (nth 0 l) (nth 2 l) (nth 3 l) (nth -1 l))"), "((1 2) 5 nil nil)");
  EXPECT_EQ(Eval("(list (last l) (last nil) (length l) (length nil))"), "(5 nil 3 0)");
  EXPECT_EQ(Eval("(car 5)"), "error: bad argument type: consp: 5");
  EXPECT_EQ(Eval("(length '(1 . 2))"), "error: bad argument type: listp: (1 . 2)");
}

TEST_F(ListTest, Search) {
  Eval("(setq al '((\"a\" . 1) (b . 2) ((1 2) . 3)))");
  EXPECT_EQ(Eval("(list (assoc \"a\" al) (assoc 'b al) (assoc '(1 2) al) (assoc 'z al))"),
            "((\"a\" . 1) (B . 2) ((1 2) . 3) nil)");
  EXPECT_EQ(Eval("(list (member 2 '(1 2 3)) (member 9 '(1 2)) (member \"x\" '(\"x\")))"),
            "((2 3) nil (\"x\"))");
}

TEST_F(ListTest, Predicates) {
  EXPECT_EQ(Eval("(list (listp nil) (listp '(1)) (listp 1) (atom nil) (atom '(1)) (atom 'a))"),
            "(T T nil T nil T)");
  EXPECT_EQ(Eval("(list (null nil) (null 0) (not nil) (not t))"), "(T nil T nil)");
  EXPECT_EQ(Eval("(list (eq 'a 'a) (eq 1 1) (eq \"a\" \"a\") (eq '(1) '(1)))"), "(T T nil nil)");
  EXPECT_EQ(Eval("(list (equal \"a\" \"a\") (equal '(1 (2)) '(1 (2))) (equal 1 1.0) (equal 1.0 1.05 0.1))"),
            "(T T T T)");
  EXPECT_EQ(Eval("(list (equal '(1 2) '(1 3)) (equal 1.0 1.2 0.1))"), "(nil nil)");
  EXPECT_EQ(Eval("(mapcar 'type (list 1 1.0 \"s\" 'a '(1) car (lambda () 1) nil))"),
            "(INT REAL STR SYM LIST SUBR USUBR nil)");
  EXPECT_EQ(Eval("(setq bv 1) (list (boundp 'bv) (boundp 'never-set) (boundp nil))"), "(T nil nil)");
}

TEST_F(StringTest, Functions) {
  EXPECT_EQ(Eval("(strcat \"ab\" \"\" \"cd\")"), "\"abcd\"");
  EXPECT_EQ(Eval("(list (strlen \"abc\") (strlen) (strlen \"a\" \"bc\"))"), "(3 0 3)");
  EXPECT_EQ(Eval("(list (substr \"Hello\" 2 3) (substr \"Hello\" 2) (substr \"Hi\" 5) (substr \"Hi\" 1 0))"),
            "(\"ell\" \"ello\" \"\" \"\")");
  EXPECT_EQ(Eval("(list (strcase \"aBc\") (strcase \"aBc\" t))"), "(\"ABC\" \"abc\")");
  EXPECT_EQ(Eval("(list (chr 65) (ascii \"A\") (ascii \"\"))"), "(\"A\" 65 0)");
  EXPECT_EQ(Eval("(substr \"abc\" 0)"), "error: bad argument value: positive: 0");
  EXPECT_EQ(Eval("(strcat \"a\" 1)"), "error: bad argument type: stringp: 1");
}

TEST_F(StringTest, Conversions) {
  EXPECT_EQ(Eval("(list (itoa -12) (atoi \"42\") (atoi \" -7x\") (atoi \"x\") (atoi \"4294967297\"))"),
            "(\"-12\" 42 -7 0 1)");
  EXPECT_EQ(Eval("(list (atof \"2.5\") (atof \"1e3x\") (atof \"x\") (atof \"inf\"))"),
            "(2.5 1000.0 0.0 0.0)");
  EXPECT_EQ(Eval("(list (rtos 3.14159) (rtos 2 2 2) (rtos 1234.5 1 3) (rtos 0.5 2 0))"),
            "(\"3.1416\" \"2.00\" \"1.234E+03\" \"0\")");
  EXPECT_EQ(Eval("(itoa 1.5)"), "error: bad argument type: fixnump: 1.5");
}

TEST_F(ControlTest, VariablesAndFunctions) {
  EXPECT_EQ(Eval("(setq a 1 b (+ a 1))"), "2");
  EXPECT_EQ(Eval("(defun add (x y) (+ x y))"), "ADD");
  EXPECT_EQ(Eval("(add a b)"), "3");
  EXPECT_EQ(Eval("((lambda (x) (* x 10)) 4)"), "40");
  EXPECT_EQ(Eval("(set 'c 5) c"), "5");
  EXPECT_EQ(Eval("(eval '(add 1 1))"), "2");
  EXPECT_EQ(Eval("(setq fn '(lambda (x) (1+ x))) (fn 1)"), "2");  // a lambda list as function
  EXPECT_EQ(Eval("(defun noop ()) (noop)"), "nil");
}

TEST_F(ControlTest, DynamicScopeAndLocals) {
  Eval("(setq x 'outer y 'outer)");
  Eval("(defun show () x)");
  EXPECT_EQ(Eval("(defun f (x / y) (setq y 'inner) (list (show) y)) (f 'param)"), "(PARAM INNER)");
  EXPECT_EQ(Eval("(list x y)"), "(OUTER OUTER)");
  EXPECT_EQ(Eval("(defun g (x) (/ x 0)) (g 1)"), "error: divide by zero");
  EXPECT_EQ(Eval("x"), "OUTER");  // restored although the call failed
}

TEST_F(ControlTest, Conditionals) {
  EXPECT_EQ(Eval("(list (if t 1 2) (if nil 1 2) (if nil 1))"), "(1 2 nil)");
  EXPECT_EQ(Eval("(cond ((= 1 2) 'a) ((+ 1 1)) (t 'c))"), "2");
  EXPECT_EQ(Eval("(cond (nil 1))"), "nil");
  EXPECT_EQ(Eval("(list (and) (and 1 2) (and 1 nil) (or) (or nil 2) (or nil nil))"),
            "(T T nil nil T nil)");
  EXPECT_EQ(Eval("(setq n 0) (and nil (setq n 1)) (or t (setq n 2)) n"), "0");  // short-circuit
}

TEST_F(ControlTest, Loops) {
  EXPECT_EQ(Eval("(setq i 0 s 0) (while (< i 5) (setq i (1+ i)) (setq s (+ s i)))"), "15");
  EXPECT_EQ(Eval("(while nil 1)"), "nil");
  EXPECT_EQ(Eval("(setq n 0) (repeat 4 (setq n (+ n 2)))"), "8");
  EXPECT_EQ(Eval("(repeat 0 1)"), "nil");
  EXPECT_EQ(Eval("(setq e 'kept r nil) (foreach e '(1 2 3) (setq r (cons e r)))"), "(3 2 1)");
  EXPECT_EQ(Eval("e"), "KEPT");
  EXPECT_EQ(Eval("(mapcar '+ '(1 2 3) '(10 20))"), "(11 22)");
  EXPECT_EQ(Eval("(mapcar (function (lambda (x) (* x x))) '(1 2 3))"), "(1 4 9)");
  EXPECT_EQ(Eval("(apply 'max '(3 9 2))"), "9");
  EXPECT_EQ(Eval("(apply '(lambda (a b) (- a b)) '(5 3))"), "2");
  EXPECT_EQ(Eval("(repeat 1.5 1)"), "error: bad argument type: fixnump: 1.5");
}

TEST_F(ControlTest, GetenvAndExit) {
  setenv("ZQLHOST_TEST_VAR", "value", 1);
  EXPECT_EQ(Eval("(list (getenv \"ZQLHOST_TEST_VAR\") (getenv \"ZQLHOST_TEST_UNSET\"))"),
            "(\"value\" nil)");
  EXPECT_EQ(Eval("(exit)"), "exit: 0");
  EXPECT_EQ(Eval("(catch-error (exit 7))"), "exit: 7");  // exit is not an error
}

TEST_F(LoadTest, FilesRelativePathsAndFailure) {
  TempDir dir;
  dir.Write("lib.lsp", "(defun twice (x) (* 2 x))\n(setq loaded-from-lib t)\n'last-value");
  std::string main = dir.Write("main.lsp", "(load \"lib\")\n(setq r (twice 21))");
  EXPECT_EQ(Eval("(load \"" + main + "\")"), "42");
  EXPECT_EQ(Eval("loaded-from-lib"), "T");
  EXPECT_EQ(Eval("(load \"" + dir.path() + "/lib.lsp\")"), "LAST-VALUE");
  EXPECT_EQ(Eval("(load \"/nonexistent/x\")"), "error: LOAD failed: \"/nonexistent/x\"");
  EXPECT_EQ(Eval("(load \"/nonexistent/x\" 'fallback)"), "FALLBACK");
  EXPECT_EQ(interp.loadFile(main).value, "42");
  EXPECT_EQ(interp.loadFile(dir.path() + "/none.lsp").error,
            "LOAD failed: \"" + dir.path() + "/none.lsp\"");
}

}  // namespace
}  // namespace hosttest
