;;; cursor.lsp - read a query's rows with a cursor: forward, then scrolling.
;;; Run it with:  scripts/run examples/cursor.lsp

(setq session (ZQL_CONNECT "MEMORY"))
(ZQL_IEXECUTE session "CREATE TABLE city (id INTEGER, name VARCHAR(40))")
(ZQL_IEXECUTE session "INSERT INTO city VALUES (1, 'Lisbon'), (2, 'Porto'), (3, 'Braga'), (4, 'Faro')")
(setq query (ZQL_PREPARE session "SELECT id, name FROM city ORDER BY id"))

;; Forward only: FETCH gives the next row, nil after the last.
(setq cursor (ZQL_ALLOC query "forward"))
(ZQL_OPEN cursor)
(princ "forward:") (terpri)
(while (setq row (ZQL_FETCH cursor))
  (princ "  ") (prin1 row) (terpri))
(ZQL_CLOSE cursor)

;; Scrolling: LAST, PRIOR, FIRST, ABSOLUTE n, RELATIVE n.
(setq scroll (ZQL_ALLOC query "scrolling" "SCROLL"))
(ZQL_OPEN scroll)
(princ "scrolling:") (terpri)
(foreach move '(("LAST") ("PRIOR") ("FIRST") ("ABSOLUTE" 3) ("RELATIVE" -1))
  (princ "  ") (prin1 move) (princ " -> ")
  (prin1 (apply 'ZQL_FETCH (cons scroll move)))
  (terpri))
(princ "cursor state bits: ") (prin1 (ZQL_STATECSR scroll)) (terpri)
(ZQL_CLOSE scroll)

(ZQL_DISCONNECT session)
(princ)
