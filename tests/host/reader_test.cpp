// reader_test.cpp - reading and printing LISP text, error texts,
// catch-error, recursion limits and cancellation.
#include "host_test_util.h"

namespace hosttest {
namespace {

using ReaderTest = LispTest;
using PrinterTest = LispTest;
using ErrorTest = LispTest;

TEST_F(ReaderTest, Syntax) {
  ExpectAll({
      {R"((strlen "a\"b\\c"))", "5"},
      {R"((mapcar 'ascii (list "\n" "\t" "\r" "\e" "\101" "\0" "\7x" "\q")))",
       "(10 9 13 27 65 0 7 113)"},
      {R"((strlen "\1012"))", "2"},             // at most three octal digits
      {"\"line\nbreak\"", R"("line\nbreak")"},  // a raw newline
      {"(list 'abc ''x (eq 'Foo 'FOO))", "(ABC (QUOTE X) T)"},
      {"(setq MiXed 4) mixed", "4"},
      {"(list 'nil 'NIL nil 't '(\"Keep Case\"))", "(nil nil nil T (\"Keep Case\"))"},
      {"'((1 . 2) (1 2 . 3) (1 . (2 3)) (a .b) (1 . nil))",  // ".b" is a symbol
       "((1 . 2) (1 2 . 3) (1 2 3) (A .B) (1))"},
      {"(list 2147483647 -2147483648 +5 007)", "(2147483647 -2147483648 5 7)"},
      {"2147483648", "2147483648.0"},  // too big for 32 bits: real
      {"(list 1. .5 -1.5e3 1e2)", "(1.0 0.5 -1500.0 100.0)"},
      {"(mapcar 'type '(1+ 1e -))", "(SYM SYM SYM)"},
      {"; a comment\n(+ 1 ; inside\n 2)", "3"},
      {"(+ 1 ;| block\n comment |; 2)", "3"},
      {"; only a comment", "nil"},
      {"(read \"(a \\\"b\\\" . 1.5)\")", "(A \"b\" . 1.5)"},
      {"(list (read \"x y\") (read \"\"))", "(X nil)"},
  });
}

TEST_F(ReaderTest, MalformedInput) {
  ExpectAll({
      {"1 ;| never closed", "error: malformed comment on input"},
      {"(+ 1 2", "error: malformed list on input"},
      {"(+ 1 2))", "error: extra right paren on input"},
      {")", "error: extra right paren on input"},
      {"\"abc", "error: malformed string on input"},
      {"'(. 1)", "error: misplaced dot on input"},
      {"'(1 . 2 3)", "error: malformed dotted pair on input"},
      {"'", "error: malformed list on input"},
      {"(read \"(\")", "error: malformed list on input"},
      {"(setq a 1) (setq a 2) )", "error: extra right paren on input"},
      {"a", "2"},  // the forms before the error ran
  });
  EXPECT_EQ(Eval(std::string(200000, '(') + std::string(200000, ')')), "error: stack overflow");
  EXPECT_EQ(Eval("(+ 1 1)"), "2");
}

TEST_F(ReaderTest, Completeness) {
  const std::pair<const char*, kel::Completeness> cases[] = {
      {"", kel::Completeness::kComplete},         {"(a) ; (b", kel::Completeness::kComplete},
      {"(a (b)", kel::Completeness::kIncomplete}, {"(a \"b)", kel::Completeness::kIncomplete},
      {"'", kel::Completeness::kIncomplete},      {"(a) ;| open\n", kel::Completeness::kIncomplete},
      {"(a))", kel::Completeness::kError},
  };
  for (const auto& c : cases) EXPECT_EQ(interp.completeness(c.first), c.second) << c.first;
}

TEST_F(PrinterTest, Values) {
  ExpectAll({
      {"(list 3.0 0.1 1e20 1.5e-7 -0.25 1e15 1e16)", "(3.0 0.1 1e+20 1.5e-7 -0.25 1e+15 1e+16)"},
      {"(/ 1.0 3)", "0.333333333333333"},
      {"123456789012345.0", "123456789012345.0"},
      {"1234567890123456.0", "1.23456789012346e+15"},
      {"(* 2 1e200 1e200)", "inf"},
      {"car", "#<SUBR CAR>"},
      {"(defun sq (x) (* x x)) sq", "#<USUBR SQ>"},
      {"(lambda (x) x)", "#<USUBR LAMBDA>"},
  });
}

TEST_F(PrinterTest, Output) {
  const char* const cases[][3] = {  // expression, value, output
      {R"((prin1 "a\"b\\c\n\001"))", R"("a\"b\\c\n\001")", R"("a\"b\\c\n\001")"},
      {R"((princ "a\"b"))", R"("a\"b")", "a\"b"},
      {R"((princ '("x" (1 . "y"))))", R"(("x" (1 . "y")))", "(x (1 . y))"},
      {"(print \"s\")", "\"s\"", "\n\"s\" "},
      {"(prompt \"p\") (terpri)", "nil", "p\n"},
      {"(princ)", "", ""},  // the empty symbol prints as nothing
  };
  for (const auto& c : cases) {
    out.clear();
    EXPECT_EQ(Eval(c[0]), c[1]) << c[0];
    EXPECT_EQ(out, c[2]) << c[0];
  }
  Eval("(setq x nil) (repeat 100000 (setq x (list x)))");
  out.clear();
  interp.evalString("(prin1 x)");
  EXPECT_EQ(out.size(), 200003u);  // 100000 "(", "nil", 100000 ")"
}

TEST_F(ErrorTest, Texts) {
  ExpectAll({
      {"(foo 1)", "error: no function definition: FOO"},
      {"(setq v 1) (v)", "error: no function definition: V"},
      {"(5 1)", "error: bad function: 5"},
      {"(car)", "error: too few arguments"},
      {"(car '(1) '(2))", "error: too many arguments"},
      {"(defun two (a b) a) (two 1)", "error: too few arguments"},
      {"(two 1 2 3)", "error: too many arguments"},
      {"(if)", "error: too few arguments"},
      {"(setq 1 2)", "error: bad argument type: symbolp: 1"},
      {"(setq t 2)", "error: attempt to set a constant: T"},
      {"(defun bad (1) 1)", "error: bad argument type: symbolp: 1"},
      {"(apply 'setq '(a 1))", "error: bad function: #<SUBR SETQ>"},
      {"(cond 1)", "error: bad argument type: consp: 1"},
  });
  std::string r = Eval("(setq l nil) (repeat 500 (setq l (cons 1 l))) (+ l)");
  EXPECT_EQ(r.substr(0, 42), "error: bad argument type: numberp: (1 1 1 ");
  EXPECT_LT(r.size(), 300u);  // long values are cut
  EXPECT_EQ(r.substr(r.size() - 4), " ...");
}

TEST_F(ErrorTest, CatchErrorReturnsAPairAndCarriesOn) {
  ExpectAll({
      {"(catch-error (+ 1 2))", "(T . 3)"},
      {"(catch-error (list 1 2))", "(T 1 2)"},
      {"(catch-error)", "(T)"},
      {"(catch-error (setq a 1) (car 5) (setq a 2))", "(nil . \"bad argument type: consp: 5\")"},
      {"a", "1"},  // the forms after the error did not run
      {"(cdr (catch-error (catch-error (/ 1 0)) (undefined-fn)))",
       "\"no function definition: UNDEFINED-FN\""},
      {"(list (car (catch-error (/ 1 0))) 'after)", "(nil AFTER)"},
      {"(defun down (n) (+ 1 (down (1+ n)))) (catch-error (down 0))",
       "(nil . \"stack overflow\")"},
      {"(down 0)", "error: stack overflow"},
      {"(defun depth (n) (if (= n 0) 0 (1+ (depth (1- n))))) (depth 1000)", "1000"},
  });
}

TEST_F(ErrorTest, CancelAndLargeStructures) {
  interp.requestCancel();
  EXPECT_EQ(Eval("(catch-error (while t))"), "error: Function cancelled");
  EXPECT_EQ(Eval("(+ 1 2)"), "3");  // the request is used up
  // Released without recursion: a recursive release overflows the C++ stack.
  EXPECT_EQ(Eval("(setq l nil) (repeat 300000 (setq l (cons l l))) (setq l nil)"), "nil");
  EXPECT_EQ(Eval("(setq l nil) (repeat 300000 (setq l (list l))) (setq l nil)"), "nil");
}

}  // namespace
}  // namespace hosttest
