;;; connect.lsp - connect to a database and create a table.
;;; Run it with:  scripts/run examples/connect.lsp
;;;
;;; The environment "SQLITE" of the shipped zql.ini is a database file that
;;; stays (~/.local/share/zql/zql.db); "MEMORY" is a database that lives as
;;; long as the session.

(setq session (ZQL_CONNECT "SQLITE"))
(princ "connected: ") (prin1 session) (terpri)
;; A handle is a list such as ("SQLSESSION" 1.0); pass it to other functions.
(princ "DBMS: ") (princ (ZQL_DBMS session)) (terpri)

;; Statements without result are executed at once with ZQL_IEXECUTE.
(ZQL_IEXECUTE session "DROP TABLE IF EXISTS city")
(if (ZQL_IEXECUTE session
      "CREATE TABLE city (id INTEGER, name VARCHAR(40), population INTEGER)")
  (princ "table city created")
  (princ "could not create the table"))
(terpri)
(princ "rows in city: ")
(prin1 (ZQL_EXECUTE (ZQL_PREPARE session "SELECT COUNT(*) FROM city")))
(terpri)
(ZQL_IEXECUTE session "COMMIT WORK")

(ZQL_DISCONNECT session)
(princ "disconnected") (terpri)
(princ)
