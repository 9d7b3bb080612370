;;; diagnostics.lsp - what went wrong: SQLSTATE, message and the position of
;;; a syntax error.
;;; Run it with:  scripts/run examples/diagnostics.lsp

(setq session (ZQL_CONNECT "MEMORY"))

(defun report (/ i)
  (princ "  conditions: ") (prin1 (ZQL_ERRQTY)) (terpri)
  (setq i 0)
  (repeat (ZQL_ERRQTY)
    (foreach pair (ZQL_DIAG i '("MESSAGE_TEXT" "RETURNED_SQLSTATE" "ZQLLISP_SYNTAX_POS" "ZQLLISP_ERRCODE"))
      (princ "  ") (princ (car pair)) (princ " = ") (princ (cdr pair)) (terpri))
    (setq i (1+ i))))

;; An SQL error returns nil; its conditions wait for ZQL_DIAG.
(princ "a syntax error:") (terpri)
(if (not (ZQL_PREPARE session "SELEKT * FROM nowhere"))
  (report))

(princ "a missing table:") (terpri)
(if (not (ZQL_IEXECUTE session "INSERT INTO nowhere VALUES (1)"))
  (report))

;; An error of the binding itself (here: no SQL text) is also a LISP error;
;; catch-error keeps the script going.
(princ "a missing argument:") (terpri)
(princ "  LISP error: ") (princ (cdr (catch-error (ZQL_PREPARE session)))) (terpri)
(report)

(ZQL_DISCONNECT session)
(princ)
