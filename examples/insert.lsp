;;; insert.lsp - insert rows with parameters.
;;; Run it with:  scripts/run examples/insert.lsp

(setq session (ZQL_CONNECT "MEMORY"))
(ZQL_IEXECUTE session "CREATE TABLE city (id INTEGER, name VARCHAR(40), population INTEGER)")

;; Prepare once, execute with one list of values per row; ? marks a parameter.
(setq insert (ZQL_PREPARE session "INSERT INTO city VALUES (?, ?, ?)"))
(foreach row '((1 "Lisbon" 545000) (2 "Porto" 232000) (3 "Braga" 193000))
  (ZQL_EXECUTE insert row)
  (princ "inserted ") (prin1 row) (terpri))
;; nil stands for NULL.
(ZQL_EXECUTE insert (list 4 "Atlantis" nil))
(princ "inserted a city of unknown population") (terpri)

;; A SELECT that gives one row returns it from ZQL_EXECUTE.
(setq count (ZQL_PREPARE session "SELECT COUNT(*) FROM city"))
(princ "rows now: ") (prin1 (ZQL_EXECUTE count)) (terpri)
(setq lookup (ZQL_PREPARE session "SELECT name, population FROM city WHERE id = ?"))
(princ "city 2: ") (prin1 (ZQL_EXECUTE lookup '(2))) (terpri)
(princ "city 4: ") (prin1 (ZQL_EXECUTE lookup '(4))) (terpri)

(ZQL_DEALLOCSTM insert)
(ZQL_DISCONNECT session)
(princ)
