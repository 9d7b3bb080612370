;;; conn.lsp - sessions and statements: ZQL_CONNECT ... ZQL_ROWQTY, handles
;;; after release and ownership.

(setq s (ok 'ZQL_CONNECT '("SQLITE")))
(check "session handle" (car s) "SQLSESSION")
(check "connect leaves no condition" (ZQL_ERRQTY) 0)
(check "ZQL_OBJNAME of a session" (ZQL_OBJNAME s) "SQLITE")
(check "ZQL_STMTYPE before any immediate statement" (ZQL_STMTYPE s) "TYPE_UNDEFINED")

;; Argument errors of the connection and statement functions.
(noargs '(ZQL_CONNECT ZQL_DISCONNECT ZQL_PREPARE ZQL_EXECUTE ZQL_DEALLOCSTM ZQL_STMTYPE ZQL_CMDTYPE
          ZQL_ROWQTY))
;; Handles that name no session: a bad class, number, shape; NaN, inf; a cursor.
(errsame 'ZQL_DISCONNECT "10"
 (mapcar 'list
  (append '(("NOSUCH" 1.0) ("SQLSESSION" -1.0) ("SQLSESSION" -1) ("SQLSESSION" -70000) ("sqlsession" 1.0)
            ("" 1.0) ("SQLSESSION" 1.5) ("SQLSESSION" 1e300) ("SQLSESSION" 0.0) ("SQLSESSION" 1.0 7)
            ("SQLSESSION") ("SQLSESSION" "1"))
          (list (list "SQLSESSION" (expt -1.0 0.5)) (list "SQLSESSION" (* 1e300 1e300))
                (list "SQLCURSOR" (cadr s))))))
(errtable 'ZQL_CONNECT '(((5) "3") (("SQLITE" 5) "3") (("SQLITE" nil 5) "3")
                        (("SQLITE" nil "pw" "extra") "6")))
(errwith 'ZQL_PREPARE s '((nil "5") ((5) "8") (("SELECT 1" 5) "8") (("SELECT 1" "N" 1) "6")))
(errwith 'ZQL_IEXECUTE s '((nil "5") ((5) "3") (("SELECT 1" 1) "6")))
(errcases
 (list
  (list 'ZQL_CMDTYPE (list s s) "6")
  (list 'ZQL_DISCONNECT (list s 1) "6")
  (list 'ZQL_DISCONNECT '("SQLSESSION") "3")
  (list 'ZQL_DISCONNECT '((1.0 "SQLSESSION")) "3")
  (list 'ZQL_EXECUTE (list s) "7")
  (list 'ZQL_NEXECUTE (list s) "5")
  (list 'ZQL_DEALLOCSTM (list s) "7")
  (list 'ZQL_STMTYPE (list s 1) "6")))

;; Immediate statements and what the session remembers of them.
(check "create table" (ZQL_IEXECUTE s "CREATE TABLE t (id INTEGER, name VARCHAR(20))") T)
;; The session reports the types of its last immediate statement.
(check "ZQL_CMDTYPE of the session after CREATE" (ZQL_CMDTYPE s) "EXECUTE_IMMEDIATE")
(check "ZQL_STMTYPE of the session after CREATE" (ZQL_STMTYPE s) "CREATE_TABLE")
(check "insert three" (ZQL_IEXECUTE s "INSERT INTO t VALUES (1, 'one'), (2, 'two'), (3, 'three')") T)
(check "ZQL_STMTYPE of the session after INSERT" (ZQL_STMTYPE s) "INSERT")
(check "ZQL_ROWQTY is a real" (ZQL_ROWQTY s) 3.0)
(ZQL_IEXECUTE s "UPDATE t SET id = id WHERE id > 100")
(check "ZQL_ROWQTY of an UPDATE that changed nothing" (ZQL_ROWQTY s) 0.0)
(check "an SQL error: nil without a host error"
       (errcase 'ZQL_IEXECUTE (list s "INSERT INTO nowhere VALUES (1)") nil) nil)
(check "the SQL error leaves conditions" (> (ZQL_ERRQTY) 0) T)
(check "SQLSTATE of the SQL error" (null (diagitem "RETURNED_SQLSTATE")) nil)

;; Prepared statements with parameters.
(setq ins (ok 'ZQL_PREPARE (list s "INSERT INTO t VALUES (?, ?)" "ins")))
(check "statement handle" (car ins) "SQLSTATEMENT")
(check "ZQL_OBJNAME of a statement" (ZQL_OBJNAME ins) "ins")
(check "ZQL_STMTYPE of INSERT" (ZQL_STMTYPE ins) "INSERT")
(check "execute with values" (ZQL_EXECUTE ins '(4 "four")) T)
(check "execute with a NULL" (ZQL_EXECUTE ins (list 5 nil)) T)
(errwith 'ZQL_EXECUTE ins '((nil "19") ((nil) "19") (((1)) "5") (((1 "x" 2)) "20") (("x") "3")
                           (((1 "x") 1) "6") ((((1) "x")) "3")))
(setq cnt (ok 'ZQL_PREPARE (list s "SELECT COUNT(*) FROM t")))
(check "nothing was inserted by the refused executions" (ZQL_EXECUTE cnt) '(5.0))
(check "ZQL_STMTYPE of SELECT" (ZQL_STMTYPE cnt) "SELECT")

;; A single-row SELECT returns its row.
(setq one (ok 'ZQL_PREPARE (list s "SELECT id, name FROM t WHERE id = ?")))
(check "select row" (ZQL_EXECUTE one '(2)) '(2.0 "two"))
(check "select row with NULL" (ZQL_EXECUTE one '(5)) '(5.0 nil))
(check "no row: nil" (errcase 'ZQL_EXECUTE (list one '(9)) nil) nil)
(check "no row: SQLSTATE 02000" (diagitem "RETURNED_SQLSTATE") "02000")
(ZQL_IEXECUTE s "INSERT INTO t VALUES (2, 'deux')")
(check "two rows: nil" (errcase 'ZQL_EXECUTE (list one '(2)) nil) nil)
(check "two rows: SQLSTATE 21000" (diagitem "RETURNED_SQLSTATE") "21000")
(ZQL_IEXECUTE s "DELETE FROM t WHERE name = 'deux'")
;; SQLite's named parameters (PostgreSQL has none).
(if (= *driver* "zqlsqlite")
  (progn (setq named (ok 'ZQL_PREPARE (list s "SELECT id FROM t WHERE id = :id")))
         (check "a named parameter's name" (cdr (assoc 1 (car (ZQL_PARDSC named)))) "ID")
         (ZQL_DEALLOCSTM named)))
(check "nil to a statement without parameters" (ZQL_EXECUTE cnt nil) '(5.0))
;; Text beyond the default character set travels in its escape form, both ways.
(check "escaped text as a parameter" (ZQL_EXECUTE ins '(6 "a\\U+00E9\\U+20AC\\U+0101")) T)
(check "escaped text read back" (ZQL_EXECUTE one '(6)) '(6.0 "a\\U+00E9\\U+20AC\\U+0101"))
(setq len (ok 'ZQL_PREPARE (list s "SELECT COUNT(*) FROM t WHERE id = 6 AND LENGTH(name) = 4")))
(check "the database holds four characters" (ZQL_EXECUTE len) '(1.0))
(ZQL_DEALLOCSTM len)
;; A character beyond the 16-bit plane is one character; an unpaired
;; surrogate is refused, not sent cut.
(check "a surrogate pair as a parameter" (ZQL_EXECUTE ins '(7 "a\\U+D83D\\U+DE00b")) T)
(check "counts as one character"
       (ZQL_EXECUTE (ZQL_PREPARE s "SELECT LENGTH(name) FROM t WHERE id = 7")) '(3.0))
(check "an unpaired surrogate"
       (list (errcase 'ZQL_EXECUTE (list ins '(8 "a\\U+D83Db")) nil) (diagitem "RETURNED_SQLSTATE"))
       '(nil "22021"))
(ZQL_IEXECUTE s "DELETE FROM t WHERE id >= 6")
;; Releases the statements of s other than ins, cnt and one.
(defun tidy () (foreach h (ZQL_OBJLIST s) (if (not (member h (list ins cnt one))) (ZQL_DEALLOCSTM h))))
(tidy)

;; A syntax error's position reaches ZQL_DIAG.
(check "prepare of bad SQL" (errcase 'ZQL_PREPARE (list s "SELECT FROM WHERE") nil) nil)
(check "ZQLLISP_SYNTAX_POS present" (null (diagitem "ZQLLISP_SYNTAX_POS")) nil)
(errcase 'ZQL_IEXECUTE (list s "SELECT id FROM t WHERE WHERE") nil)
(errcase 'ZQL_IEXECUTE (list s "SELECT * FROM nosuch") nil)
(check "the next error's own position, not the last one's" (diagitem "ZQLLISP_SYNTAX_POS")
       (if (= *driver* "zqlsqlite") "0" "15"))
(check "a failed prepare leaves no statement" (length (ZQL_OBJLIST s)) 3)
;; PostgreSQL: "?" becomes "$n" and a character beyond the 16-bit plane
;; takes two units, yet the position points at the client's x (FORM is an
;; alias); the server's SQLSTATEs and messages; values the client cannot
;; hold exactly are refused, never cut.
(defun refusal (f args) (list (errcase f args nil) (diagitem "RETURNED_SQLSTATE")))
(if (= *driver* "zqlpg")
  (progn
    (check "position in the client's text"
           (list (refusal 'ZQL_PREPARE (list s "SELECT ?, ?, '\\U+D83D\\U+DE00' FORM x"))
                 (diagitem "ZQLLISP_SYNTAX_POS") (diagitem "MESSAGE_TEXT"))
           '((nil "42601") "24" "syntax error at or near \"x\""))
    (check "the server's name" (substr (ZQL_DBMS (ZQL_PREPARE s "SELECT 1")) 1 13) "PostgreSQL 15")
    (check "a ? after an escaped quote of an E string is text"
           (length (ZQL_PARDSC (ZQL_PREPARE s "SELECT E'it\\'s ?', ?::int"))) 1)
    (foreach c '(("INSERT INTO nowhere VALUES (1); SELECT 1" "42601") ("   -- nothing\n" "42000")
                 ("SELECT * FROM no_such_table" "42P01"))
      (check (car c) (refusal 'ZQL_IEXECUTE (list s (car c))) (list nil (cadr c))))
    (foreach c '(("SELECT 9007199254740993::int8" "22003") ("SELECT 'NaN'::numeric(5,1)" "22003")
                 ("SELECT repeat('x', 300)" "22001") ("SELECT 'x'::varchar(3) || repeat('y', 257)" "22001")
                 ("SELECT 'infinity'::date" "22008") ("SELECT interval '1 month 2 days'" "22015"))
      (check (car c) (refusal 'ZQL_EXECUTE (list (ZQL_PREPARE s (car c)))) (list nil (cadr c))))
    (check "native text of two statements"
           (ZQL_NEXECUTE s "CREATE TEMP TABLE n (a int); INSERT INTO n VALUES (1), (2)") T)
    (check "both ran" (ZQL_EXECUTE (ZQL_PREPARE s "SELECT count(*) FROM n")) '(2.0))
    (tidy)))

;; Release: a deallocated statement's handle is stale (error 11).
(check "deallocate" (ZQL_DEALLOCSTM cnt) T)
(errcase 'ZQL_EXECUTE (list cnt) "11")
(errcase 'ZQL_STMTYPE (list cnt) "11")
(check "ZQL_OBJP of a released handle" (ZQL_OBJP cnt) nil)
(check "ZQL_OBJP leaves no condition" (ZQL_ERRQTY) 0)
(errcase 'ZQL_STMTYPE '(("SQLSTATEMENT" 999.0)) "10")

;; Ownership: disconnecting frees statements and cursors.
(setq sel (ok 'ZQL_PREPARE (list s "SELECT id FROM t")))
(setq cur (ok 'ZQL_ALLOC (list sel "c1")))
(check "children of the statement" (ZQL_OBJLIST sel) (list cur))
(check "children of the session" (ZQL_OBJLIST s) (list ins one sel))
(check "the root lists the session" (ZQL_OBJLIST) (list s))
(setq s2 (ok 'ZQL_CONNECT '("MEMORY" nil "secret")))
(check "second session" (length (ZQL_OBJLIST)) 2)
(check "disconnect with open work is refused" (ZQL_DISCONNECT s) nil)
(check "refused with SQLSTATE 25001" (diagitem "RETURNED_SQLSTATE") "25001")
(check "the session stays" (ZQL_OBJP s) T)
(check "commit" (ZQL_IEXECUTE s "COMMIT WORK") T)
(check "disconnect" (ZQL_DISCONNECT s) T)
(foreach h (list s ins one sel cur)
  (check (list "released with its session" h) (ZQL_OBJP h) nil))
(errcase 'ZQL_FETCH (list cur) "11")
(check "the root lists the other session" (ZQL_OBJLIST) (list s2))

;; A failed connection leaves no session behind.
(setq before (ZQL_OBJLIST))
(errcase 'ZQL_CONNECT '("NO_SUCH_ENVIRONMENT") nil)
(check "ZQL_ERRQTY reports the failed connect" (> (ZQL_ERRQTY) 0) T)
(check "no session after a failed connect" (ZQL_OBJLIST) before)

;; Each kind of statement prepared: its type and the rows it changed.
(foreach c '(("CREATE TABLE u (id INTEGER PRIMARY KEY, name VARCHAR(10))" "CREATE_TABLE" nil)
             ("CREATE INDEX ui ON u (name)" "CREATE_INDEX" nil)
             ("CREATE VIEW uv AS SELECT * FROM u" "CREATE_VIEW" nil)
             ("INSERT INTO u (id, name) VALUES (1, 'a'), (2, 'b'), (3, 'c')" "INSERT" 3.0)
             ("UPDATE u SET name = name || 'x' WHERE id > 1" "UPDATE_WHERE" 2.0)
             ("DELETE FROM u WHERE id = 3" "DELETE_WHERE" 1.0)
             ("DROP VIEW uv" "DROP_VIEW" nil)
             ("DROP INDEX ui" "DROP_INDEX" nil))
  (setq st (ok 'ZQL_PREPARE (list s2 (car c))))
  (check (list "ZQL_STMTYPE" (car c)) (ZQL_STMTYPE st) (cadr c))
  (check (list "ZQL_EXECUTE" (car c)) (ZQL_EXECUTE st) T)
  (if (caddr c) (check (list "ZQL_ROWQTY" (car c)) (ZQL_ROWQTY st) (caddr c)))
  (ZQL_DEALLOCSTM st))
(check "what they left" (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT COUNT(*), MAX(name) FROM u")) '(2.0 "bx"))
;; A duplicate key: the database's SQLSTATE and message, and the rest of
;; the transaction kept.
(setq pg (= *driver* "zqlpg"))
(check "a duplicate key"
       (list (errcase 'ZQL_IEXECUTE (list s2 "INSERT INTO u VALUES (1, 'd')") nil)
             (diagitem "RETURNED_SQLSTATE") (substr (diagitem "MESSAGE_TEXT") 1 13))
       (list nil (if pg "23505" "23000") (if pg "duplicate key" "UNIQUE constr")))
(check "the transaction goes on" (ZQL_IEXECUTE s2 "INSERT INTO u VALUES (4, 'd')") T)
(check "with what it did before" (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT COUNT(*) FROM u")) '(3.0))

;; SQLite: session statements it has no use for warn; READ ONLY, deferred
;; foreign keys, and the SQLSTATE and position of refused texts.
(defun sqlstate (what sql state pos)
  (check what (list (errcase 'ZQL_IEXECUTE (list s2 sql) nil) (diagitem "RETURNED_SQLSTATE")
                    (if pos (diagitem "ZQLLISP_SYNTAX_POS")))
         (list nil state pos)))
(if (= *driver* "zqlsqlite")
  (progn
    (foreach sql '("SET CATALOG 'c'" "SET SCHEMA 'main'" "SET NAMES 'UTF8'" "SET TIME ZONE LOCAL"
                   "SET SESSION AUTHORIZATION 'bob'" "SET CONSTRAINTS c1 DEFERRED")
      (check sql (list (ZQL_IEXECUTE s2 sql) (ZQL_ERRQTY) (diagitem "RETURNED_SQLSTATE")) '(T 1 "01000")))
    (sqlstate "a malformed SET TRANSACTION" "SET TRANSACTION READ SOMETIMES" "42000" nil)
    (ZQL_IEXECUTE s2 "CREATE TABLE pk (id INT PRIMARY KEY)")
    (ZQL_IEXECUTE s2 "CREATE TABLE fk (p INT REFERENCES pk (id))")
    (ZQL_IEXECUTE s2 "COMMIT WORK")
    (ZQL_IEXECUTE s2 "SET TRANSACTION READ ONLY,ISOLATION LEVEL SERIALIZABLE,DIAGNOSTICS SIZE 0")
    (sqlstate "a write in a read-only transaction" "INSERT INTO pk VALUES (1)" "25005" nil)
    (sqlstate "SET TRANSACTION inside one" "SET TRANSACTION READ WRITE" "25000" nil)
    (ZQL_IEXECUTE s2 "COMMIT WORK")
    (check "a write after it" (ZQL_IEXECUTE s2 "INSERT INTO pk VALUES (1)") T)
    (ZQL_IEXECUTE s2 "COMMIT WORK")
    (sqlstate "a foreign key checked at once" "INSERT INTO fk VALUES (9)" "23000" nil)
    (ZQL_IEXECUTE s2 "SET CONSTRAINTS ALL DEFERRED")
    (check "a deferred foreign key" (ZQL_IEXECUTE s2 "INSERT INTO fk VALUES (9)") T)
    (sqlstate "checked at COMMIT" "COMMIT WORK" "23000" nil)
    (check "the refused COMMIT left the transaction open"
           (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT count(*) FROM fk")) '(1.0))
    (ZQL_IEXECUTE s2 "ROLLBACK WORK")
    (check "and ROLLBACK ends it" (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT count(*) FROM fk")) '(0.0))
    (ZQL_IEXECUTE s2 "CREATE TABLE e (id INT PRIMARY KEY, v TEXT NOT NULL)")
    (ZQL_IEXECUTE s2 "INSERT INTO e VALUES (1, 'x')")
    ;; SQLite takes FRM for an alias and stops at e: 19 characters in.
    (foreach c '(("SELEC 1" "42000" "1")
                 ("SELECT '\\U+00E9\\U+20AC\\U+D83D\\U+DE00' FRM e" "42000" "19")
                 ("SELECT 1; SELECT 2" "42000" "11")
                 ("SELECT * FROM nosuch" "42000" nil)
                 ("INSERT INTO e VALUES (1, 'y')" "23000" nil)
                 ("INSERT INTO e VALUES (2, NULL)" "23000" nil)
                 ("  -- only a comment" "42000" nil)
                 ("INSERT INTO e VALUES (?, ?)" "07004" nil)
                 ("DELETE FROM e WHERE CURRENT OF nosuch" "34000" nil)
                 ("INSERT INTO e VALUES (5, 'a'); DROP TABLE e" "42000" nil))
      (apply 'sqlstate (cons (car c) c)))
    (check "the failed prepare carries SQLite's message"
           (list (errcase 'ZQL_PREPARE (list s2 "SELECT * FROM nosuch") nil) (diagitem "MESSAGE_TEXT"))
           '(nil "no such table: nosuch"))
    ;; A trigger body's semicolons (and a CASE's END) are one statement;
    ;; trailing semicolons and a comment are not a second.
    (check "a trigger"
           (ZQL_IEXECUTE s2 (strcat "CREATE TRIGGER tr AFTER INSERT ON e BEGIN UPDATE e SET v = CASE "
                                    "WHEN new.id > 9 THEN 'big' ELSE 'small' END WHERE id = new.id; "
                                    "DELETE FROM e WHERE id < 0; END;; -- done"))
           T)
    (ZQL_IEXECUTE s2 "INSERT INTO e VALUES (10, 'x')")
    (check "nothing of a refused text ran, the trigger did"
           (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT count(*), max(v) FROM e")) '(2.0 "x"))
    (check "the trigger's value" (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT v FROM e WHERE id = 10")) '("big"))))

;; PostgreSQL: SET TRANSACTION shapes the next transaction only; the
;; session texts reach the server (it has no catalogs: a warning).
(if (= *driver* "zqlpg")
  (progn
    (ZQL_IEXECUTE s2 "COMMIT WORK")
    (ZQL_IEXECUTE s2 "SET TRANSACTION READ ONLY,ISOLATION LEVEL SERIALIZABLE,DIAGNOSTICS SIZE 5")
    (sqlstate "a write in a read-only transaction" "INSERT INTO u VALUES (9, 'r')" "25006" nil)
    (check "its isolation level"
           (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT current_setting('transaction_isolation')")) '("serializable"))
    (ZQL_IEXECUTE s2 "COMMIT WORK")
    (check "the next transaction writes" (ZQL_IEXECUTE s2 "INSERT INTO u VALUES (9, 'r')") T)
    (check "SET SCHEMA" (list (ZQL_IEXECUTE s2 "SET SCHEMA 'pg_catalog'")
                              (ZQL_EXECUTE (ZQL_PREPARE s2 "SELECT current_schema()")))
           '(T ("pg_catalog")))
    (check "SET CATALOG" (list (ZQL_IEXECUTE s2 "SET CATALOG 'x'") (diagitem "RETURNED_SQLSTATE")) '(T "01000"))
    (ZQL_IEXECUTE s2 "SET SCHEMA 'public'")
    (ZQL_IEXECUTE s2 "ROLLBACK WORK")))

;; Two sessions on one database: what one has not committed the other
;; does not see; on SQLite the other's write meets the lock (no wait).
(setq a (ok 'ZQL_CONNECT '("SQLITE")) b (ok 'ZQL_CONNECT '("SQLITE")))
(defun isorows (h / v)
  (setq v (ZQL_EXECUTE (ZQL_PREPARE h "SELECT count(*), max(x) FROM iso")))
  (ZQL_IEXECUTE h "COMMIT WORK")
  v)
(ZQL_IEXECUTE a "CREATE TABLE iso (x INTEGER)")
(ZQL_IEXECUTE a "COMMIT WORK")
(ZQL_IEXECUTE a "INSERT INTO iso VALUES (1)")
(ZQL_IEXECUTE a "ROLLBACK WORK")
(ZQL_IEXECUTE a "INSERT INTO iso VALUES (2)")
(check "not committed yet" (isorows b) '(0.0 nil))
(ZQL_IEXECUTE a "COMMIT WORK")
(check "committed, the rolled back row gone" (isorows b) '(1.0 2.0))
(if (= *driver* "zqlsqlite")
  (progn (ZQL_IEXECUTE a "INSERT INTO iso VALUES (3)")
         (check "the other's write lock"
                (list (errcase 'ZQL_IEXECUTE (list b "INSERT INTO iso VALUES (4)") nil)
                      (diagitem "RETURNED_SQLSTATE"))
                '(nil "A0023"))
         (ZQL_IEXECUTE b "ROLLBACK WORK")
         (ZQL_IEXECUTE a "ROLLBACK WORK")))
(ZQL_DISCONNECT a)
(ZQL_DISCONNECT b)

;; Native statements.
(check "native statement" (ZQL_NEXECUTE s2 "CREATE TABLE n (x INTEGER)") T)
(ZQL_IEXECUTE s2 "ROLLBACK WORK")
(check "ZQL_DISCONNECT of the second session" (ZQL_DISCONNECT s2) T)
(check "no session left" (ZQL_OBJLIST) nil)
(done)
