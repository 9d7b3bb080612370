;;; hello.lsp - a first look at zqlsh's LISP.
;;; Run it with:  scripts/run examples/hello.lsp

;; Functions are defined with defun; names after "/" are local variables.
(defun greet (name / text)
  (setq text (strcat "Hello, " name "!"))
  (princ text)
  (terpri)
  text)

(greet "ZQL")

;; Integers are 32-bit, reals are doubles; mixing them gives a real.
(princ (strcat "7 / 2 = " (itoa (/ 7 2))
               ", 7 / 2.0 = " (rtos (/ 7 2.0) 2 1)))
(terpri)

;; Recursion: the factorial of 1 to 10.
(defun fact (n)
  (if (<= n 1) 1 (* n (fact (1- n)))))

(foreach n '(1 2 3 4 5 6 7 8 9 10)
  (princ (strcat (itoa n) "! = " (itoa (fact n))))
  (terpri))

;; Errors can be caught: catch-error answers (T . value) or (nil . message).
(setq outcome (catch-error (/ 1 0)))
(if (car outcome)
  (princ "no error?")
  (princ (strcat "caught: " (cdr outcome))))
(terpri)
(princ)  ; end quietly
