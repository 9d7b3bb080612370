// builtins_test.cpp - the built-in functions, by family, as tables of
// expressions and the values they print as.
#include <cstdlib>

#include "host_test_util.h"

namespace hosttest {
namespace {

using BuiltinTest = LispTest;

TEST_F(BuiltinTest, Arithmetic) {
  ExpectAll({
      {"(list (+) (+ 1 2 3) (- 5) (- 10 3 2) (*) (* 2 3))", "(0 6 -5 5 1 6)"},
      {"(list (* 2 3.0) (+ 1 0.5) (- 1.5))", "(6.0 1.5 -1.5)"},
      {"(list (/ 7 2) (/ -7 2) (/ 7 2.0) (/ 100 5 2) (/ 9))", "(3 -3 3.5 10 9)"},
      {"(list (rem 7 3) (rem -7 3) (rem 7.5 2))", "(1 -1 1.5)"},
      {"(list (1+ 1) (1- 1.5) (abs -3) (abs -2.5))", "(2 0.5 3 2.5)"},
      {"(list (fix 3.7) (fix -3.7) (fix 4) (float 2))", "(3 -3 4 2.0)"},
      {"(list (max 1 3 2) (max 1 2.0) (min 4 -1 2))", "(3 2.0 -1)"},
      {"(list (sqrt 16) (expt 2 10) (expt 2.0 -1) (exp 0) (fix (* 1000 (sin (/ pi 2)))))",
       "(4.0 1024 0.5 1.0 1000)"},
      // Integers wrap at 32 bits; a real operand makes the result real.
      {"(list (+ 2147483647 1) (- -2147483648 1) (* 65536 65536))", "(-2147483648 2147483647 0)"},
      {"(list (/ -2147483648 -1) (abs -2147483648))", "(-2147483648 -2147483648)"},
      {"(list (expt 2 31) (expt 2 32) (expt -2 3))", "(-2147483648 0 -8)"},
      {"(+ 2147483647 1.0)", "2147483648.0"},
      {"(/ 1 0)", "error: divide by zero"},
      {"(/ 1.0 0)", "error: divide by zero"},
      {"(rem 5 0)", "error: divide by zero"},
      {"(+ 1 \"a\")", "error: bad argument type: numberp: \"a\""},
      {"(fix 1e20)", "error: bad argument value: out of integer range: 1e+20"},
      {"(sqrt -1)", "error: function undefined for argument: -1"},
      // Calls nested in arguments, one failing half-way; a wide call after.
      {"(list 1 (+ 2 (* 3 (car 5))))", "error: bad argument type: consp: 5"},
      {"(+ 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 (* 2 (- 5 (+ 1 2))) 20)", "195"},
  });
}

TEST_F(BuiltinTest, Comparisons) {
  ExpectAll({
      {"(list (= 1 1.0) (= 1 2) (= 2 2 2) (/= 1 2) (/= 1 1))", "(T nil T T nil)"},
      {"(list (< 1 2 3) (< 1 3 2) (> 3 2 1) (<= 1 1 2) (>= 2 2 3))", "(T nil T T nil)"},
      {"(list (< \"a\" \"b\") (= \"a\" \"a\") (> \"a\" \"B\"))", "(T T T)"},
      {"(< 1 \"a\")", "error: bad argument type: numberp: \"a\""},
      {"(list (minusp -1) (minusp 0.0) (zerop 0.0) (zerop 1) (numberp 1.5) (numberp \"1\"))",
       "(T nil T nil T nil)"},
  });
}

TEST_F(BuiltinTest, Lists) {
  ExpectAll({
      {"(list 1 (list) \"a\")", "(1 nil \"a\")"},
      {"(list (cons 1 '(2)) (cons 1 2) (cons 1 nil))", "((1 2) (1 . 2) (1))"},
      {"(append '(1 2) nil '(3) '(4 5))", "(1 2 3 4 5)"},
      {"(list (append) (reverse '(1 2 3)) (reverse nil))", "(nil (3 2 1) nil)"},
      {"(subst 'x 'b '(a b (c b) b))", "(A X (C X) X)"},
      {"(subst '(9) '(1 2) '((1 2) 3))", "((9) 3)"},
      {"(setq l '((1 2) (3 4) 5)) (list (car l) (cdr l) (cadr l) (caddr l) (cddr l))",
       "((1 2) ((3 4) 5) (3 4) 5 (5))"},
      {"(list (caar l) (cdar l) (car nil) (cdr nil) (cadr '(1)))", "(1 (2) nil nil nil)"},
      {"(list (nth 0 l) (nth 2 l) (nth 3 l) (nth -1 l))", "((1 2) 5 nil nil)"},
      {"(list (last l) (last nil) (length l) (length nil))", "(5 nil 3 0)"},
      {"(car 5)", "error: bad argument type: consp: 5"},
      {"(length '(1 . 2))", "error: bad argument type: listp: (1 . 2)"},
      {"(setq al '((\"a\" . 1) (b . 2) ((1 2) . 3))) (list (assoc \"a\" al) (assoc 'b al))",
       "((\"a\" . 1) (B . 2))"},
      {"(list (assoc '(1 2) al) (assoc 'z al))", "(((1 2) . 3) nil)"},
      {"(list (member 2 '(1 2 3)) (member 9 '(1 2)) (member \"x\" '(\"x\")))",
       "((2 3) nil (\"x\"))"},
      {"(list (listp nil) (listp '(1)) (listp 1) (atom nil) (atom '(1)) (atom 'a))",
       "(T T nil T nil T)"},
      {"(list (null nil) (null 0) (not nil) (not t))", "(T nil T nil)"},
      {"(list (eq 'a 'a) (eq 1 1) (eq \"a\" \"a\") (eq '(1) '(1)))", "(T T nil nil)"},
      {"(list (equal \"a\" \"a\") (equal '(1 (2)) '(1 (2))) (equal 1 1.0) (equal 1.0 1.05 0.1))",
       "(T T T T)"},
      {"(list (equal '(1 2) '(1 3)) (equal 1.0 1.2 0.1))", "(nil nil)"},
      {"(mapcar 'type (list 1 1.0 \"s\" 'a '(1) car (lambda () 1) nil))",
       "(INT REAL STR SYM LIST SUBR USUBR nil)"},
      {"(setq bv 1) (list (boundp 'bv) (boundp 'never-set) (boundp nil))", "(T nil nil)"},
  });
}

TEST_F(BuiltinTest, Strings) {
  ExpectAll({
      {"(strcat \"ab\" \"\" \"cd\")", "\"abcd\""},
      {"(list (strlen \"abc\") (strlen) (strlen \"a\" \"bc\"))", "(3 0 3)"},
      {"(list (substr \"Hello\" 2 3) (substr \"Hello\" 2) (substr \"Hi\" 5) (substr \"Hi\" 1 0))",
       "(\"ell\" \"ello\" \"\" \"\")"},
      {"(list (strcase \"aBc\") (strcase \"aBc\" t))", "(\"ABC\" \"abc\")"},
      {"(list (chr 65) (ascii \"A\") (ascii \"\"))", "(\"A\" 65 0)"},
      {"(substr \"abc\" 0)", "error: bad argument value: positive: 0"},
      {"(strcat \"a\" 1)", "error: bad argument type: stringp: 1"},
      {"(list (itoa -12) (atoi \"42\") (atoi \" -7x\") (atoi \"x\") (atoi \"4294967297\"))",
       "(\"-12\" 42 -7 0 1)"},
      {"(list (atof \"2.5\") (atof \"1e3x\") (atof \"x\") (atof \"inf\"))", "(2.5 1000.0 0.0 0.0)"},
      {"(list (rtos 3.14159) (rtos 2 2 2) (rtos 1234.5 1 3) (rtos 0.5 2 0))",
       "(\"3.1416\" \"2.00\" \"1.234E+03\" \"0\")"},
      {"(itoa 1.5)", "error: bad argument type: fixnump: 1.5"},
  });
}

TEST_F(BuiltinTest, FunctionsAndScope) {
  ExpectAll({
      {"(setq a 1 b (+ a 1))", "2"},
      {"(defun add (x y) (+ x y)) (add a b)", "3"},
      {"((lambda (x) (* x 10)) 4)", "40"},
      {"(set 'c 5) c", "5"},
      {"(eval '(add 1 1))", "2"},
      {"(setq fn '(lambda (x) (1+ x))) (fn 1)", "2"},  // a lambda list as function
      {"(defun noop ()) (noop)", "nil"},
      // Dynamic scope; parameters and locals are restored, also after an error.
      {"(setq x 'outer y 'outer) (defun show () x)", "SHOW"},
      {"(defun f (x / y) (setq y 'inner) (list (show) y)) (f 'param)", "(PARAM INNER)"},
      {"(list x y)", "(OUTER OUTER)"},
      {"(defun g (x) (/ x 0)) (g 1)", "error: divide by zero"},
      {"x", "OUTER"},
  });
}

TEST_F(BuiltinTest, ConditionalsAndLoops) {
  ExpectAll({
      {"(list (if t 1 2) (if nil 1 2) (if nil 1))", "(1 2 nil)"},
      {"(cond ((= 1 2) 'a) ((+ 1 1)) (t 'c))", "2"},
      {"(cond (nil 1))", "nil"},
      {"(list (and) (and 1 2) (and 1 nil) (or) (or nil 2) (or nil nil))", "(T T nil nil T nil)"},
      {"(setq n 0) (and nil (setq n 1)) (or t (setq n 2)) n", "0"},  // short-circuit
      {"(setq i 0 s 0) (while (< i 5) (setq i (1+ i)) (setq s (+ s i)))", "15"},
      {"(while nil 1)", "nil"},
      {"(setq n 0) (repeat 4 (setq n (+ n 2)))", "8"},
      {"(repeat 0 1)", "nil"},
      {"(setq e 'kept r nil) (foreach e '(1 2 3) (setq r (cons e r)))", "(3 2 1)"},
      {"e", "KEPT"},
      {"(mapcar '+ '(1 2 3) '(10 20))", "(11 22)"},
      {"(mapcar (function (lambda (x) (* x x))) '(1 2 3))", "(1 4 9)"},
      {"(apply 'max '(3 9 2))", "9"},
      {"(apply '(lambda (a b) (- a b)) '(5 3))", "2"},
      {"(repeat 1.5 1)", "error: bad argument type: fixnump: 1.5"},
  });
}

TEST_F(BuiltinTest, GetenvExitAndLoad) {
  setenv("ZQLHOST_TEST_VAR", "value", 1);
  ExpectAll({
      {"(list (getenv \"ZQLHOST_TEST_VAR\") (getenv \"ZQLHOST_TEST_UNSET\"))", "(\"value\" nil)"},
      {"(exit)", "exit: 0"},
      {"(catch-error (exit 7))", "exit: 7"},  // exit is not an error
      {"(load \"/nonexistent/x\")", "error: LOAD failed: \"/nonexistent/x\""},
      {"(load \"/nonexistent/x\" 'fallback)", "FALLBACK"},
  });
  TempDir dir;
  dir.Write("lib.lsp", "(defun twice (x) (* 2 x))\n(setq loaded-from-lib t)\n'last-value");
  std::string main = dir.Write("main.lsp", "(load \"lib\")\n(setq r (twice 21))");
  EXPECT_EQ(Eval("(load \"" + main + "\")"), "42");  // "lib" relative to main.lsp
  EXPECT_EQ(Eval("loaded-from-lib"), "T");
  EXPECT_EQ(Eval("(load \"" + dir.path() + "/lib.lsp\")"), "LAST-VALUE");
  EXPECT_EQ(interp.loadFile(main).value, "42");
  EXPECT_EQ(interp.loadFile(dir.path() + "/none.lsp").error,
            "LOAD failed: \"" + dir.path() + "/none.lsp\"");
}

}  // namespace
}  // namespace hosttest
