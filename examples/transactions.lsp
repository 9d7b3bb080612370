;;; transactions.lsp - commit, rollback, and a disconnect refused while work
;;; is open.
;;; Run it with:  scripts/run examples/transactions.lsp

(setq session (ZQL_CONNECT "SQLITE"))
(ZQL_IEXECUTE session "DROP TABLE IF EXISTS account")
(ZQL_IEXECUTE session "CREATE TABLE account (name VARCHAR(20), balance INTEGER)")
(ZQL_IEXECUTE session "INSERT INTO account VALUES ('alice', 100)")
(ZQL_IEXECUTE session "COMMIT WORK")
(setq balance (ZQL_PREPARE session "SELECT balance FROM account WHERE name = 'alice'"))
(princ "committed balance: ") (prin1 (ZQL_EXECUTE balance)) (terpri)

;; Work that is rolled back leaves no trace.
(ZQL_IEXECUTE session "UPDATE account SET balance = 0")
(princ "inside the transaction: ") (prin1 (ZQL_EXECUTE balance)) (terpri)
(ZQL_IEXECUTE session "ROLLBACK WORK")
(princ "after ROLLBACK WORK: ") (prin1 (ZQL_EXECUTE balance)) (terpri)

;; Disconnecting with open work is refused; the session stays usable.
(ZQL_IEXECUTE session "UPDATE account SET balance = 150")
(if (ZQL_DISCONNECT session)
  (princ "disconnected with open work?")
  (progn
    (princ "disconnect refused: ")
    (princ (cdr (assoc "MESSAGE_TEXT" (ZQL_DIAG 0))))))
(terpri)
(princ "the session is still there: ") (prin1 (ZQL_OBJP session)) (terpri)
(ZQL_IEXECUTE session "COMMIT WORK")
(princ "after COMMIT WORK: ") (prin1 (ZQL_EXECUTE balance)) (terpri)
(ZQL_DISCONNECT session)
(princ "disconnected") (terpri)
(princ)
