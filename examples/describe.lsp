;;; describe.lsp - the columns and parameters of a query.
;;; Run it with:  scripts/run examples/describe.lsp

(setq session (ZQL_CONNECT "MEMORY"))
(ZQL_IEXECUTE session "CREATE TABLE item (id INTEGER NOT NULL, price NUMERIC(8,2), label VARCHAR(30), added DATE)")
(setq query (ZQL_PREPARE session "SELECT id, price, label, added FROM item WHERE price > ?"))

;; Each descriptor is a list of (code . value): 1 name, 2 nullable, 3 type
;; number, 6 precision, 7 scale, 8 length, 12 return length, 13 SQL type.
(princ "columns:") (terpri)
(foreach col (ZQL_COLDSC query)
  (princ "  ") (princ (cdr (assoc 1 col)))
  (princ "  ") (princ (cdr (assoc 13 col)))
  (if (assoc 2 col) (princ "  (nullable)"))
  (terpri))
(princ "all items of column 1: ") (prin1 (car (ZQL_COLDSC query '(1)))) (terpri)
(princ "columns by name: ")
(prin1 (mapcar '(lambda (c) (cdr (assoc 1 c))) (ZQL_COLDSC query '("label" "ID"))))
(terpri)
(princ "parameters: ") (prin1 (ZQL_PARDSC query)) (terpri)
(ZQL_DISCONNECT session)
(princ)
