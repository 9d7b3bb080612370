;;; cursor.lsp - cursors and rows: ZQL_ALLOC ... ZQL_STATECSR, and the
;;; value conversions both ways for each type class the database has.

(setq s (ok 'ZQL_CONNECT '("SQLITE")))
(ZQL_IEXECUTE s "CREATE TABLE p (id INTEGER, name VARCHAR(20))")
(setq ins (ok 'ZQL_PREPARE (list s "INSERT INTO p VALUES (?, ?)")))
(foreach r '((1 "one") (2 "two") (3 "three") (4 "four") (5 "five"))
  (check (list "insert" r) (ZQL_EXECUTE ins r) T))
(setq q (ok 'ZQL_PREPARE (list s "SELECT id, name FROM p ORDER BY id")))

;; Argument errors of the cursor functions.
(noargs '(ZQL_ALLOC ZQL_OPEN ZQL_CLOSE ZQL_FETCH ZQL_DELETE ZQL_UPDATE ZQL_STATECSR))
(errwith 'ZQL_ALLOC q '((nil "3") ((5) "8") (("c" "SIDEWAYS") "15") (("c" 5) "3")
                       (("c" "SCROLL" "SENSITIVE") "15") (("c" "SCROLL" "INSENSITIVE" 1) "6")))
(errcases
 (list
  (list 'ZQL_ALLOC (list s "c") "7")
  (list 'ZQL_OPEN (list q) "7")
  (list 'ZQL_STATECSR (list s) "7")))

;; Forward only: NEXT until the end.
(setq c (ok 'ZQL_ALLOC (list q "fwd")))
(check "cursor handle" (car c) "SQLCURSOR")
(check "ZQL_OBJNAME of a cursor" (ZQL_OBJNAME c) "fwd")
(check "open" (ZQL_OPEN c) T)
(check "ZQL_STATECSR of an open forward cursor" (logand-open (ZQL_STATECSR c)) T)
(check "fetch 1" (ZQL_FETCH c) '(1.0 "one"))
(check "fetch next (lower case)" (ZQL_FETCH c "next") '(2.0 "two"))
(check "fetch with nil" (ZQL_FETCH c nil) '(3.0 "three"))
(errwith 'ZQL_FETCH c '((("UP") "16") ((5) "3") (("NEXT" 1) "6") ((nil 1) "6") (("ABSOLUTE") "5")
                       (("ABSOLUTE" "2") "3") (("RELATIVE" 1 2) "6")))
(errcase 'ZQL_CLOSE (list c 1) "6")
(ZQL_FETCH c)
(ZQL_FETCH c)
(check "past the end: nil" (errcase 'ZQL_FETCH (list c) nil) nil)
(check "past the end: SQLSTATE 02000" (diagitem "RETURNED_SQLSTATE") "02000")
(check "close" (ZQL_CLOSE c) T)
(check "ZQL_STATECSR after close" (logand-open (ZQL_STATECSR c)) nil)

;; Scrolling.
(setq sc (ok 'ZQL_ALLOC (list q "scr" "scroll" "insensitive")))
(check "open scroll" (ZQL_OPEN sc nil) T)
;; Each move from where the one before left the cursor (2.9 truncates).
(foreach m '((("LAST") 5.0 "five") (("PRIOR") 4.0 "four") (("FIRST") 1.0 "one") (("ABSOLUTE" 3) 3.0 "three")
             (("ABSOLUTE" 2.9) 2.0 "two") (("RELATIVE" 2) 4.0 "four") (("relative" -3) 1.0 "one"))
  (check (car m) (apply 'ZQL_FETCH (cons sc (car m))) (cdr m)))
;; Open (2) and insensitive (8); scrollable (16) is reported only for a
;; cursor that is not updatable (4).
(check "ZQL_STATECSR open scroll insensitive" (if (member (ZQL_STATECSR sc) '(14 26)) T) T)
(ZQL_CLOSE sc)

;; A cursor with parameters.
(setq qp (ok 'ZQL_PREPARE (list s "SELECT name FROM p WHERE id > ? ORDER BY id")))
(setq cp (ok 'ZQL_ALLOC (list qp "par")))
(errwith 'ZQL_OPEN cp '((nil "19") ((nil) "19") (((1 2)) "20") (((1) 2) "6") (("1") "3")))
(check "open with a value" (ZQL_OPEN cp '(3)) T)
(check "fetch the first row above 3" (ZQL_FETCH cp) '("four"))
(ZQL_CLOSE cp)

;; Positioned update and delete.
(setq qu (ok 'ZQL_PREPARE (list s "SELECT id, name FROM p ORDER BY id FOR UPDATE")))
(setq cu (ok 'ZQL_ALLOC (list qu "upd")))
(check "open for update" (ZQL_OPEN cu) T)
(check "fetch for update" (ZQL_FETCH cu) '(1.0 "one"))
(errwith 'ZQL_UPDATE cu '((nil "5") (("x") "3") ((((1 "a")) 1) "6") ((((1 "a") (0 2) (1 "b"))) "6")
                         ((((7 "a"))) "17") (((("NOPE" "a"))) "18") ((((1 "a" 2))) "3") (((((1) "a"))) "3")))
(errcase 'ZQL_DELETE (list cu 1) "6")
(foreach u '(((1 "uno")) (("name" "dos")) ((0.0 33.0)))  ; by number, by name, by point (column 1)
  (check (list "update" u) (ZQL_UPDATE cu u) T)
  (ZQL_FETCH cu))
(check "delete" (ZQL_DELETE cu) T)
(ZQL_CLOSE cu)
(setq all (ok 'ZQL_ALLOC (list q "all")))
(ZQL_OPEN all)
(foreach want '((1.0 "uno") (2.0 "dos") (5.0 "five") (33.0 "three"))  ; 4 deleted, 33 by the point pair
  (check (list "after the changes" want) (ZQL_FETCH all) want))
(ZQL_CLOSE all)

;; Conversions both ways, one column per type class.
;; The bit string type and its literal are the database's own.
(setq pg (= *driver* "zqlpg"))
(check "table of every type class"
       (ZQL_IEXECUTE s (strcat "CREATE TABLE v (i INTEGER, si SMALLINT, big BIGINT, "
                               "n NUMERIC(10,2), d DOUBLE PRECISION, vc VARCHAR(10), "
                               "dt DATE, tm TIME, ts TIMESTAMP, b " (if pg "BYTEA" "BLOB") ")"))
       T)
(setq vins (ok 'ZQL_PREPARE (list s "INSERT INTO v VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
(setq vsel (ok 'ZQL_PREPARE (list s "SELECT * FROM v")))
(defun fetchall (/ c row rows)
  (setq c (ZQL_ALLOC vsel "rt"))
  (ZQL_OPEN c)
  (while (setq row (ZQL_FETCH c)) (setq rows (cons row rows)))
  (ZQL_CLOSE c)
  (ZQL_DEALLOCSTM vsel)
  (setq vsel (ZQL_PREPARE s "SELECT * FROM v"))
  (reverse rows))
(defun roundtrip (values want)
  (ZQL_IEXECUTE s "DELETE FROM v")
  (check (list "insert" values) (ZQL_EXECUTE vins values) T)
  (check (list "roundtrip" values) (fetchall) (list want)))
(roundtrip '(7 3 123456789.0 12.5 2.25 "text" "2024-02-29" "13:45:10" "2024-02-29 13:45:10" nil)
           '(7.0 3.0 123456789.0 12.5 2.25 "text" "2024-02-29" "13:45:10" "2024-02-29 13:45:10" nil))
(roundtrip (list nil nil nil nil nil nil nil nil nil nil)
           (list nil nil nil nil nil nil nil nil nil nil))
(roundtrip '(-7.0 -3 9007199254740993.0 -0.5 1e10 "" "1999-12-31" "00:00:00" "1999-12-31 23:59:59" nil)
           '(-7.0 -3.0 9007199254740992.0 -0.5 1e10 "" "1999-12-31" "00:00:00" "1999-12-31 23:59:59" nil))
(roundtrip '(1 2 3 4 0.1 "ab" nil nil nil nil) '(1.0 2.0 3.0 4.0 0.1 "ab" nil nil nil nil))
(check "a 2D point supplies two values"
       (progn (ZQL_IEXECUTE s "DELETE FROM v")
              (ZQL_EXECUTE vins (list (list 1.0 2.0) 3 4 5 "s" nil nil nil nil))) T)
(check "values of the point" (fetchall) '((1.0 2.0 3.0 4.0 5.0 "s" nil nil nil nil)))
;; Bit strings come back as hexadecimal; through an updatable cursor the
;; column's own type takes a hexadecimal string.
(ZQL_IEXECUTE s "DELETE FROM v")
(ZQL_IEXECUTE s (strcat "INSERT INTO v (i, b) VALUES (1, " (if pg "'\\x0FA1'" "X'0FA1'") ")"))
(check "BLOB as hexadecimal" (nth 9 (car (fetchall))) "0FA1")
(setq vu (ok 'ZQL_ALLOC (list (ZQL_PREPARE s "SELECT i, dt, b FROM v FOR UPDATE") "vu")))
(ZQL_OPEN vu)
(ZQL_FETCH vu)
(check "update a BLOB from hexadecimal" (ZQL_UPDATE vu '((2 "C0FFEE"))) T)
(check "a text that is no date fails the conversion"
       (errcase 'ZQL_UPDATE (list vu '((1 "not a date"))) nil) nil)
(check "the conversion error is stored" (> (ZQL_ERRQTY) 0) T)
(check "update a DATE" (ZQL_UPDATE vu '((1 "2024-05-01"))) T)
(ZQL_CLOSE vu)
(check "values after the updates" (cdr (cdr (cdr (cdr (cdr (cdr (car (fetchall))))))))
       '("2024-05-01" nil nil "C0FFEE"))

;; The driver's refusals of cursor operations, with their SQLSTATEs; each
;; case: (name f args sqlstate).
(defun refused (what f args state)
  (check what (list (errcase f args nil) (diagitem "RETURNED_SQLSTATE")) (list nil state)))
(ZQL_IEXECUTE s "CREATE TABLE t (id INTEGER, name VARCHAR(10))")
(ZQL_IEXECUTE s "CREATE INDEX ti ON t (id)")
(ZQL_IEXECUTE s "INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd'), (5, 'e')")
(ZQL_IEXECUTE s "COMMIT WORK")
(setq tq (ok 'ZQL_PREPARE (list s "SELECT id FROM t ORDER BY id")))
(setq tp (ok 'ZQL_ALLOC (list tq "P")))
(refused "fetch before open" 'ZQL_FETCH (list tp) "24002")
(refused "a second cursor of that name" 'ZQL_ALLOC (list tq "P") "3C000")
(ZQL_OPEN tp)
(refused "open twice" 'ZQL_OPEN (list tp) "24006")
(refused "PRIOR of a forward cursor" 'ZQL_FETCH (list tp "PRIOR") "24003")
(refused "delete before a row" 'ZQL_DELETE (list tp) "24005")
(check "a query over one table is updatable" (ZQL_STATECSR tp) 6)
(setq ti (ok 'ZQL_ALLOC (list tq "I" "NON_SCROLL" "INSENSITIVE")))
(ZQL_OPEN ti)
(check "a forward cursor may be insensitive" (ZQL_STATECSR ti) 14)
(refused "PRIOR of an insensitive forward cursor" 'ZQL_FETCH (list ti "PRIOR") "24003")
(ZQL_CLOSE ti)
;; Every move of a scroll cursor from where the one before left it: off
;; the rows at either end, and back.
(setq tk (ok 'ZQL_ALLOC (list tq "K" "SCROLL" "INSENSITIVE")))
(ZQL_OPEN tk)
(foreach m '((("PRIOR") nil) (("NEXT") 1.0) (("NEXT") 2.0) (("LAST") 5.0) (("NEXT") nil)
             (("PRIOR") 5.0) (("FIRST") 1.0) (("ABSOLUTE" 3) 3.0) (("ABSOLUTE" -1) 5.0)
             (("ABSOLUTE" -5) 1.0) (("ABSOLUTE" 9) nil) (("RELATIVE" -2) 4.0) (("RELATIVE" 0) 4.0)
             (("RELATIVE" -3) 1.0) (("RELATIVE" -1) nil) (("RELATIVE" 2) 2.0) (("ABSOLUTE" 0) nil))
  (check (car m) (list (car (errcase 'ZQL_FETCH (cons tk (car m)) nil)) (diagitem "RETURNED_SQLSTATE"))
         (list (cadr m) (if (cadr m) nil "02000"))))
(ZQL_IEXECUTE s "COMMIT WORK")
(refused "COMMIT closes the cursors" 'ZQL_FETCH (list tk) "24002")
(check "a cursor closed by COMMIT is not open" (logand-open (ZQL_STATECSR tk)) nil)
(refused "close of a closed cursor" 'ZQL_CLOSE (list tp) "24002")
;; Not updatable: a join, DISTINCT, FOR READ ONLY, an aggregate.
(foreach c '(("R1" "SELECT a.id FROM t a, t b") ("R2" "SELECT DISTINCT id FROM t")
             ("R3" "SELECT id FROM t FOR READ ONLY") ("R4" "SELECT count(*) FROM t"))
  (setq r (ok 'ZQL_ALLOC (list (ZQL_PREPARE s (cadr c)) (car c))))
  (ZQL_OPEN r)
  (ZQL_FETCH r)
  (check (list "not updatable" (cadr c)) (ZQL_STATECSR r) 2)
  (refused (list "delete through" (cadr c)) 'ZQL_DELETE (list r) "24004")
  (ZQL_CLOSE r))
(check "FOR UPDATE OF a column" (ZQL_EXECUTE (ZQL_PREPARE s "SELECT id FROM t WHERE id = 1 FOR UPDATE OF id"))
       '(1.0))
;; An index scan meets each row once though an update moved it ahead.
(foreach kind '("NON_SCROLL" "SCROLL")
  (setq c (ok 'ZQL_ALLOC (list (ZQL_PREPARE s "SELECT id, name FROM t WHERE id > 0 ORDER BY id")
                               (strcat "U" kind) kind))
        seen nil)
  (ZQL_OPEN c)
  (while (and (< (length seen) 10) (setq row (ZQL_FETCH c)))  ; a row met again: stop
    (setq seen (cons (car row) seen))
    (check (list kind "positioned change of" row)
           (if (= (car row) 2) (ZQL_DELETE c) (ZQL_UPDATE c (list (list 0 (+ (car row) 10))))) T))
  (check (list kind "rows visited") (reverse seen) '(1.0 2.0 3.0 4.0 5.0))
  (check (list kind "rows left") (ZQL_EXECUTE (ZQL_PREPARE s "SELECT COUNT(*), SUM(id), MIN(name) FROM t"))
         '(4.0 53.0 "a"))
  (ZQL_IEXECUTE s "ROLLBACK WORK"))
;; FOR UPDATE with a parameter, either kind: row 3 updated, then deleted
;; (PostgreSQL finds it anew after the update); the deleted row is refused,
;; and on PostgreSQL a row changed behind the cursor too.
(foreach kind '("NON_SCROLL" "SCROLL")
  (setq c (ok 'ZQL_ALLOC (list (ZQL_PREPARE s "SELECT id, name FROM t WHERE id <= ? ORDER BY id FOR UPDATE")
                               (strcat "B" kind) kind)))
  (ZQL_OPEN c '(4))
  (check (list kind "updatable") (ZQL_STATECSR c) 6)
  (if (= kind "SCROLL")
    (check "the moves of a scroll cursor FOR UPDATE"
           (mapcar '(lambda (m) (apply 'ZQL_FETCH (cons c m)))
                   '(("LAST") ("PRIOR") ("FIRST") ("NEXT") ("ABSOLUTE" -1) ("RELATIVE" -1)))
           '((4.0 "d") (3.0 "c") (1.0 "a") (2.0 "b") (4.0 "d") (3.0 "c")))
    (check (list kind "row 3") (list (ZQL_FETCH c) (ZQL_FETCH c) (ZQL_FETCH c))
           '((1.0 "a") (2.0 "b") (3.0 "c"))))
  (check (list kind "update, then delete") (list (ZQL_UPDATE c '((1 "three"))) (ZQL_DELETE c)) '(T T))
  (refused (list kind "delete of the deleted row") 'ZQL_DELETE (list c) "24005")
  (refused (list kind "update of the deleted row") 'ZQL_UPDATE (list c '((1 "x"))) "24005")
  (check (list kind "row 4") (ZQL_FETCH c) '(4.0 "d"))
  (ZQL_IEXECUTE s "UPDATE t SET name = 'other' WHERE id = 4")
  (if pg (refused (list kind "a row changed behind") 'ZQL_UPDATE (list c '((1 "x"))) "24005"))
  (refused (list kind "the end") 'ZQL_FETCH (list c) "02000")
  (ZQL_CLOSE c)
  (check (list kind "rows left") (ZQL_EXECUTE (ZQL_PREPARE s "SELECT count(*), sum(id) FROM t WHERE id <= 4"))
         '(3.0 7.0))
  (if pg (check (list kind "row 4 as changed behind")
                (ZQL_EXECUTE (ZQL_PREPARE s "SELECT name FROM t WHERE id = 4")) '("other")))
  (ZQL_IEXECUTE s "ROLLBACK WORK"))
;; Columns the driver adds come last: ORDER BY a position keeps its column.
(setq c (ok 'ZQL_ALLOC (list (ZQL_PREPARE s "SELECT id FROM t WHERE id <= 3 ORDER BY 1 DESC") "desc")))
(ZQL_OPEN c)
(check "ORDER BY 1 DESC" (list (ZQL_FETCH c) (ZQL_FETCH c) (ZQL_FETCH c)) '((3.0) (2.0) (1.0)))
(ZQL_CLOSE c)
;; Typed datetime literals keep their text; a text beyond the BMP travels
;; as a surrogate pair and counts as one character.
(ZQL_IEXECUTE s "CREATE TABLE u (v VARCHAR(10), a DATE, b TIME, c TIMESTAMP)")
(check "typed literals" (ZQL_IEXECUTE s (strcat "INSERT INTO u VALUES ('a\\U+00E9\\U+20AC\\U+D83D\\U+DE00', "
                                                 "DATE '2024-05-01', time '10:20:30', TIMESTAMP '2024-05-01 10:20:30.5')")) T)
(check "their values" (ZQL_EXECUTE (ZQL_PREPARE s "SELECT length(v), v, a, b, c FROM u"))
       '(4.0 "a\\U+00E9\\U+20AC\\U+D83D\\U+DE00" "2024-05-01" "10:20:30" "2024-05-01 10:20:30.5"))
(check "a string alias stays an alias"
       (ZQL_EXECUTE (ZQL_PREPARE s "SELECT a date, 'x' FROM u WHERE a = DATE '2024-05-01'")) '("2024-05-01" "x"))
(refused "a date literal that is no date" 'ZQL_IEXECUTE (list s "SELECT DATE 'soon'")
         (if pg "22007" "42000"))
;; A million generated rows: the cursor opens at once and reads a few.
(setq big (ok 'ZQL_ALLOC (list (ZQL_PREPARE s (strcat "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                                      "FROM n WHERE i < 1000000) SELECT i FROM n")) "big")))
(ZQL_OPEN big)
(ZQL_FETCH big)
(ZQL_FETCH big)
(check "the third of a million rows" (ZQL_FETCH big) '(3.0))
(ZQL_CLOSE big)
;; Every row of several batches, then the end.
(setq c (ok 'ZQL_ALLOC (list (ZQL_PREPARE s (strcat "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                                    "FROM n WHERE i < 2500) SELECT i FROM n")) "many")))
(ZQL_OPEN c)
(setq n 0)
(while (and (setq row (ZQL_FETCH c)) (= (car row) (setq n (1+ n)))))
(check "2500 rows in order, then the end" (list n row (diagitem "RETURNED_SQLSTATE")) '(2500 nil "02000"))
(ZQL_CLOSE c)

;; SQLite keeps a text longer than declared; a value longer than the
;; client holds (256 characters, 256 bytes) is refused, never cut. A full
;; database file rolls the whole transaction back.
(if (not pg)
  (progn
    (ZQL_IEXECUTE s "CREATE TABLE long (short VARCHAR(3), long TEXT, b BLOB)")
    (ZQL_IEXECUTE s "INSERT INTO long VALUES ('abcdef', 'x', x'00')")
    (ZQL_IEXECUTE s "INSERT INTO long VALUES ('abc', printf('%.300c', 'y'), zeroblob(300))")
    (foreach c '(("SELECT short FROM long WHERE rowid = 1" ("abcdef") nil)
                 ("SELECT short FROM long WHERE rowid = 2" ("abc") nil)
                 ("SELECT long FROM long WHERE rowid = 2" nil "22001")
                 ("SELECT b FROM long WHERE rowid = 1" ("00") nil)
                 ("SELECT b FROM long WHERE rowid = 2" nil "22001"))
      (check (car c) (list (errcase 'ZQL_EXECUTE (list (ZQL_PREPARE s (car c))) nil) (diagitem "RETURNED_SQLSTATE"))
             (cdr c)))
    (ZQL_IEXECUTE s "CREATE TABLE f (v BLOB)")
    (ZQL_IEXECUTE s "COMMIT WORK")
    (ZQL_IEXECUTE s "INSERT INTO f VALUES (x'01')")
    (ZQL_IEXECUTE s "PRAGMA max_page_count = 8")
    (check "a full disk"
           (list (errcase 'ZQL_IEXECUTE (list s "INSERT INTO f VALUES (zeroblob(100000))") nil)
                 (mapcar '(lambda (i) (cdr (assoc "RETURNED_SQLSTATE" (ZQL_DIAG i)))) '(0 1)))
           '(nil ("40000" "CF000")))
    (check "nothing half-written" (ZQL_EXECUTE (ZQL_PREPARE s "SELECT count(*) FROM f")) '(0.0))))

(ZQL_DISCONNECT s)
(done)
