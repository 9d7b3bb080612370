;;; dsc.lsp - ZQL_PARDSC and ZQL_COLDSC: descriptor lists and selections.

(setq s (ok 'ZQL_CONNECT '("SQLITE")))
(ZQL_IEXECUTE s "CREATE TABLE d (id INTEGER NOT NULL, amount NUMERIC(10,2), label VARCHAR(12), born DATE)")
(setq q (ok 'ZQL_PREPARE (list s "SELECT id, amount, label, born FROM d WHERE id > ? AND label = ?")))
(setq noparm (ok 'ZQL_PREPARE (list s "SELECT id FROM d")))

(errwith 'ZQL_COLDSC q '(((0) "3") (("ID") "3") (((0) 1) "6") (((9)) "17") (((-1)) "17") ((("NOPE")) "18")))
(errcases
 (list
  (list 'ZQL_PARDSC nil "5")
  (list 'ZQL_PARDSC (list s) "7")
  (list 'ZQL_COLDSC (list s) "7")
  (list 'ZQL_PARDSC (list q nil 1) "6")
  (list 'ZQL_PARDSC (list q '(5)) "17")
  (list 'ZQL_PARDSC (list q '("NOPE")) "17")
  (list 'ZQL_COLDSC (list q '((0))) "3")))

(setq cols (ok 'ZQL_COLDSC (list q)))
(check "four column descriptors" (length cols) 4)
(defun item (dsc code) (cdr (assoc code dsc)))
(check "column 0 name" (item (nth 0 cols) 1) "ID")
(check "column 0 type INTEGER" (item (nth 0 cols) 3) 4)
(check "column 1 NUMERIC" (mapcar '(lambda (c) (item (nth 1 cols) c)) '(3 6 7)) '(2 10 2))
;; SQLite keeps longer text than declared: its character columns are as
;; long as the client's longest text.
(check "column 2 CHARACTER VARYING" (mapcar '(lambda (c) (item (nth 2 cols) c)) '(3 8))
       (list 11 (if (= *driver* "zqlpg") 12 256)))
(check "column 3 DATE" (mapcar '(lambda (c) (item (nth 3 cols) c)) '(3 4)) '(9 1))
(check "item codes in order" (mapcar 'car (nth 1 cols)) '(1 2 3 6 7 12 13))
(check "SQL type text is a string" (type (item (nth 2 cols) 13)) 'STR)
(check "NOT NULL from the catalog; an expression is nullable"
       (mapcar '(lambda (d) (item d 2)) (ZQL_COLDSC (ZQL_PREPARE s "SELECT id, amount, id + 1 FROM d")))
       '(nil T T))
(check "selection by number and name"
       (ZQL_COLDSC q '(2 "id")) (list (nth 2 cols) (nth 0 cols)))
(check "selection by a 2D point" (ZQL_COLDSC q (list 1.0 3.0)) (list (nth 1 cols) (nth 3 cols)))
(check "selection by a real, truncated" (ZQL_COLDSC q '(2.7)) (list (nth 2 cols)))
(check "two parameter descriptors" (length (ZQL_PARDSC q)) 2)
(check "parameter 0 by number" (ZQL_PARDSC q '(0)) (list (car (ZQL_PARDSC q))))
(check "no parameters: nil" (ZQL_PARDSC noparm) nil)
(check "no parameters with nil" (ZQL_PARDSC noparm nil) nil)
(setq c (ok 'ZQL_ALLOC (list noparm "dc")))
(check "descriptors of a cursor" (ZQL_COLDSC c) (ZQL_COLDSC noparm))
;; SQLite: the types of declared columns, of expressions (from the first
;; row) and of parameters (from their context); a later row whose value
;; does not convert fails, naming the column.
(defun types (dscs) (mapcar '(lambda (d) (item d 13)) dscs))
(setq vc "CHARACTER VARYING(256)")
(if (= *driver* "zqlsqlite")
  (progn
    (ZQL_IEXECUTE s (strcat "CREATE TABLE t (a INTEGER NOT NULL, b BIGINT, c VARCHAR(5), d TEXT, e REAL, "
                            "f NUMERIC(8,2), g DATE, h BLOB, i BOOLEAN, j TIMESTAMP)"))
    (setq cols (ZQL_COLDSC (ZQL_PREPARE s "SELECT a, b, c, d, e, f, g, h, i, j, a + 1, 'x' || d FROM t")))
    (check "declared types" (types cols)
           (list "INTEGER" "DECIMAL(19)" vc vc "DOUBLE PRECISION" "NUMERIC(8,2)" "DATE" "BIT VARYING(2048)"
                 "SMALLINT" "TIMESTAMP" vc vc))
    (check "NOT NULL, nullable" (list (item (nth 0 cols) 2) (item (nth 1 cols) 2)) '(nil T))
    (check "types from the first row" (types (ZQL_COLDSC (ZQL_PREPARE s "SELECT 1 + 1, 2.5, 'x', NULL")))
           (list "DECIMAL(19)" "DOUBLE PRECISION" vc vc))
    (ZQL_IEXECUTE s "CREATE TABLE p (k INTEGER, name VARCHAR(10), x REAL, \"odd col\" DATE)")
    (foreach c (list (list "INSERT INTO p (name, k) VALUES (?, ?)" vc "INTEGER")
                     (list "INSERT INTO p VALUES (?, ?, ?, ?)" "INTEGER" vc "DOUBLE PRECISION" "DATE")
                     (list "INSERT INTO p VALUES (?, ? + 1, ?, ?)" "INTEGER" vc vc vc)
                     (list "SELECT * FROM p WHERE k >= :low AND :high > x" "INTEGER" "DOUBLE PRECISION")
                     (list "UPDATE p SET x = ?2 WHERE \"odd col\" <> ?1" "DATE" "DOUBLE PRECISION")
                     (list "SELECT ? FROM p" vc))
      (check (car c) (types (ZQL_PARDSC (ZQL_PREPARE s (car c)))) (cdr c)))
    (ZQL_IEXECUTE s "CREATE TABLE m (v)")
    (ZQL_IEXECUTE s "INSERT INTO m VALUES (1), ('one')")
    (setq mc (ok 'ZQL_ALLOC (list (ZQL_PREPARE s "SELECT v + 0 FROM m ORDER BY rowid") "m1")))
    (ZQL_OPEN mc)
    (check "values that convert" (list (ZQL_FETCH mc) (ZQL_FETCH mc)) '((1.0) (0.0)))
    (setq mc (ok 'ZQL_ALLOC (list (ZQL_PREPARE s "SELECT coalesce(v, 0) AS w FROM m ORDER BY rowid") "m2")))
    (ZQL_OPEN mc)
    (check "the first row types the column" (ZQL_FETCH mc) '(1.0))
    (check "a later row that does not convert"
           (list (errcase 'ZQL_FETCH (list mc) nil) (diagitem "RETURNED_SQLSTATE") (diagitem "MESSAGE_TEXT"))
           '(nil "22018" "column W: the value does not convert to the column's type"))))
(ZQL_DISCONNECT s)
(done)
