// reader_test.cpp - reading and printing LISP text.
#include "host_test_util.h"

namespace hosttest {
namespace {

using ReaderTest = LispTest;
using PrinterTest = LispTest;

TEST_F(ReaderTest, StringEscapes) {
  EXPECT_EQ(Eval(R"((strlen "a\"b\\c"))"), "5");
  EXPECT_EQ(Eval(R"((mapcar 'ascii (list "\n" "\t" "\r" "\e" "\101" "\0" "\7x" "\q")))"),
            "(10 9 13 27 65 0 7 113)");
  EXPECT_EQ(Eval(R"((strlen "\1012"))"), "2");  // at most three octal digits
  EXPECT_EQ(Eval("\"line\nbreak\""), R"("line\nbreak")");  // a raw newline
}

TEST_F(ReaderTest, QuotesAndCaseFolding) {
  EXPECT_EQ(Eval("'abc"), "ABC");
  EXPECT_EQ(Eval("''x"), "(QUOTE X)");
  EXPECT_EQ(Eval("(eq 'Foo 'FOO)"), "T");
  EXPECT_EQ(Eval("(setq MiXed 4) mixed"), "4");
  EXPECT_EQ(Eval("(list 'nil 'NIL nil 't)"), "(nil nil nil T)");
  EXPECT_EQ(Eval("'(\"Keep Case\")"), "(\"Keep Case\")");
}

TEST_F(ReaderTest, DottedPairs) {
  EXPECT_EQ(Eval("'(1 . 2)"), "(1 . 2)");
  EXPECT_EQ(Eval("'(1 2 . 3)"), "(1 2 . 3)");
  EXPECT_EQ(Eval("'(1 . (2 3))"), "(1 2 3)");
  EXPECT_EQ(Eval("'(a .b)"), "(A .B)");  // ".b" is a symbol, not a dot
  EXPECT_EQ(Eval("'(1 . nil)"), "(1)");
}

TEST_F(ReaderTest, Numbers) {
  EXPECT_EQ(Eval("(list 2147483647 -2147483648 +5 007)"), "(2147483647 -2147483648 5 7)");
  EXPECT_EQ(Eval("2147483648"), "2147483648.0");  // too big for 32 bits: real
  EXPECT_EQ(Eval("(list 1. .5 -1.5e3 1e2)"), "(1.0 0.5 -1500.0 100.0)");
  EXPECT_EQ(Eval("(type '1+)"), "SYM");
  EXPECT_EQ(Eval("(type '1e)"), "SYM");
  EXPECT_EQ(Eval("(type '-)"), "SYM");
}

TEST_F(ReaderTest, Comments) {
  EXPECT_EQ(Eval("; a comment\n(+ 1 ; inside\n 2)"), "3");
  EXPECT_EQ(Eval("(+ 1 ;| block\n comment |; 2)"), "3");
  EXPECT_EQ(Eval("; only a comment"), "nil");
  EXPECT_EQ(Eval("1 ;| never closed"), "error: malformed comment on input");
  EXPECT_EQ(interp.completeness("(a) ;| open\n"), kel::Completeness::kIncomplete);
}

TEST_F(ReaderTest, MalformedInput) {
  EXPECT_EQ(Eval("(+ 1 2"), "error: malformed list on input");
  EXPECT_EQ(Eval("(+ 1 2))"), "error: extra right paren on input");
  EXPECT_EQ(Eval(")"), "error: extra right paren on input");
  EXPECT_EQ(Eval("\"abc"), "error: malformed string on input");
  EXPECT_EQ(Eval("'(. 1)"), "error: misplaced dot on input");
  EXPECT_EQ(Eval("'(1 . 2 3)"), "error: malformed dotted pair on input");
  EXPECT_EQ(Eval("'"), "error: malformed list on input");
}

TEST_F(ReaderTest, FormsBeforeAnErrorRun) {
  EXPECT_EQ(Eval("(setq a 1) (setq a 2) )"), "error: extra right paren on input");
  EXPECT_EQ(Eval("a"), "2");
}

TEST_F(ReaderTest, Completeness) {
  EXPECT_EQ(interp.completeness(""), kel::Completeness::kComplete);
  EXPECT_EQ(interp.completeness("(a) ; (b"), kel::Completeness::kComplete);
  EXPECT_EQ(interp.completeness("(a (b)"), kel::Completeness::kIncomplete);
  EXPECT_EQ(interp.completeness("(a \"b)"), kel::Completeness::kIncomplete);
  EXPECT_EQ(interp.completeness("'"), kel::Completeness::kIncomplete);
  EXPECT_EQ(interp.completeness("(a))"), kel::Completeness::kError);
}

TEST_F(ReaderTest, ReadFunction) {
  EXPECT_EQ(Eval("(read \"(a \\\"b\\\" . 1.5)\")"), "(A \"b\" . 1.5)");
  EXPECT_EQ(Eval("(read \"x y\")"), "X");
  EXPECT_EQ(Eval("(read \"\")"), "nil");
  EXPECT_EQ(Eval("(read \"(\")"), "error: malformed list on input");
}

TEST_F(ReaderTest, DeepNestingIsAnErrorNotACrash) {
  std::string deep(200000, '(');
  EXPECT_EQ(Eval(deep + std::string(200000, ')')), "error: stack overflow");
  EXPECT_EQ(Eval("(+ 1 1)"), "2");
}

TEST_F(PrinterTest, Reals) {
  EXPECT_EQ(Eval("(list 3.0 0.1 1e20 1.5e-7 -0.25 1e15 1e16)"),
            "(3.0 0.1 1e+20 1.5e-7 -0.25 1e+15 1e+16)");
  EXPECT_EQ(Eval("(/ 1.0 3)"), "0.333333333333333");
  EXPECT_EQ(Eval("123456789012345.0"), "123456789012345.0");
  EXPECT_EQ(Eval("1234567890123456.0"), "1.23456789012346e+15");
  EXPECT_EQ(Eval("(* 2 1e200 1e200)"), "inf");
}

TEST_F(PrinterTest, Prin1QuotesAndPrincDoesNot) {
  EXPECT_EQ(Eval(R"((prin1 "a\"b\\c\n\001"))"), R"("a\"b\\c\n\001")");
  EXPECT_EQ(out, R"("a\"b\\c\n\001")");
  out.clear();
  Eval(R"((princ "a\"b"))");
  EXPECT_EQ(out, "a\"b");
  out.clear();
  Eval(R"((princ '("x" (1 . "y"))))");
  EXPECT_EQ(out, "(x (1 . y))");
}

TEST_F(PrinterTest, PrintTerpriPrompt) {
  EXPECT_EQ(Eval("(print \"s\")"), "\"s\"");
  EXPECT_EQ(out, "\n\"s\" ");
  out.clear();
  EXPECT_EQ(Eval("(prompt \"p\") (terpri)"), "nil");
  EXPECT_EQ(out, "p\n");
  out.clear();
  EXPECT_EQ(Eval("(princ)"), "");  // the empty symbol prints as nothing
  EXPECT_EQ(out, "");
}

TEST_F(PrinterTest, Functions) {
  EXPECT_EQ(Eval("car"), "#<SUBR CAR>");
  EXPECT_EQ(Eval("(defun sq (x) (* x x)) sq"), "#<USUBR SQ>");
  EXPECT_EQ(Eval("(lambda (x) x)"), "#<USUBR LAMBDA>");
}

TEST_F(PrinterTest, DeepListsPrint) {
  Eval("(setq x nil) (repeat 100000 (setq x (list x)))");
  interp.evalString("(prin1 x)");
  EXPECT_EQ(out.size(), 200003u);  // 100000 "(", "nil", 100000 ")"
}

}  // namespace
}  // namespace hosttest
