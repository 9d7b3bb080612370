;;; update.lsp - change and remove the row a cursor stands on.
;;; Run it with:  scripts/run examples/update.lsp

(setq session (ZQL_CONNECT "MEMORY"))
(ZQL_IEXECUTE session "CREATE TABLE stock (item VARCHAR(20), qty INTEGER)")
(ZQL_IEXECUTE session "INSERT INTO stock VALUES ('bolts', 10), ('nuts', 0), ('washers', 5)")

;; A cursor name is unique in its session: releasing the statement (and with
;; it the cursor) lets the next call use the name "show" again.
(defun show-stock (/ stm c row)
  (setq stm (ZQL_PREPARE session "SELECT item, qty FROM stock"))
  (setq c (ZQL_ALLOC stm "show"))
  (ZQL_OPEN c)
  (while (setq row (ZQL_FETCH c)) (princ "  ") (prin1 row) (terpri))
  (ZQL_CLOSE c)
  (ZQL_DEALLOCSTM stm))

(princ "before:") (terpri)
(show-stock)

;; A cursor over SELECT ... FOR UPDATE can update and delete its current row.
(setq cursor (ZQL_ALLOC (ZQL_PREPARE session "SELECT item, qty FROM stock FOR UPDATE") "upd"))
(ZQL_OPEN cursor)
(while (setq row (ZQL_FETCH cursor))
  (cond
    ((= (cadr row) 0)
     (ZQL_DELETE cursor)
     (princ "deleted ") (princ (car row)) (terpri))
    (T
     ;; Pairs of (column value): the column by number (from 0) or by name.
     (ZQL_UPDATE cursor (list (list "qty" (* 2 (fix (cadr row))))))
     (princ "doubled ") (princ (car row)) (terpri))))
(ZQL_CLOSE cursor)

(princ "after:") (terpri)
(show-stock)
(ZQL_DISCONNECT session)
(princ)
