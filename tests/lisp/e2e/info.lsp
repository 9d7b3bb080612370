;;; info.lsp - diagnostics and information: ZQL_DIAG ... ZQL_SETCFG.

(check "ZQL_LISPVERSION" (ZQL_LISPVERSION) "ZqlLisp 2.0")
(check "ZQL_VERSION" (ZQL_VERSION) "ZQL v2.0.093")
(noargs '(ZQL_DIAG ZQL_CMPIDENT ZQL_OBJNAME ZQL_GETCFG ZQL_SETCFG))
(errtable 'ZQL_CMPIDENT '((("a") "5") (("a" "b" "c") "6") (("a" 1) "3")))
(errtable 'ZQL_GETCFG '(((1) "3") (("SQLITE" 1) "3") (("SQLITE" "Driver" 1) "6") (("SQLITE" nil 1) "6")))
(errtable 'ZQL_SETCFG '((("SQLITE") "5") (("SQLITE" 1) "3") (("SQLITE" "k" 1) "3")
                       (("SQLITE" "k" "v" 1) "6")))
(errcases
 (list
  (list 'ZQL_LISPVERSION '(1) "6")
  (list 'ZQL_VERSION '("x") "6")
  (list 'ZQL_ERRQTY '(nil) "6")
  (list 'ZQL_DIAG '("0") "3")
  (list 'ZQL_DIAG '(-1) "13")
  (list 'ZQL_OBJLIST '(1) "3")
  (list 'ZQL_OBJLIST '(nil 1) "6")))

;; Diagnostics of a binding error, with item selection.
(catch-error (ZQL_CONNECT))
(check "one condition" (ZQL_ERRQTY) 1)
(check "ZQL_ERRQTY does not clear" (ZQL_ERRQTY) 1)
(setq d (ZQL_DIAG 0))
(check "ZQLLISP_ERRCODE" (cdr (assoc "ZQLLISP_ERRCODE" d)) "5")
(check "MESSAGE_TEXT is the message file's" (cdr (assoc "MESSAGE_TEXT" d))
       "too few arguments: the function needs more arguments, or the value list is shorter than the statement's parameters")
(check "selection in table order" (mapcar 'car (ZQL_DIAG 0 '("CONDITION_NUMBER" "MESSAGE_TEXT")))
       '("MESSAGE_TEXT" "CONDITION_NUMBER"))
(check "condition number as a string" (type (cdr (assoc "CONDITION_NUMBER" d))) 'STR)
(check "a lower-case name selects nothing" (ZQL_DIAG 0 '("message_text")) nil)
(errcase 'ZQL_DIAG '(0 ("NO_SUCH_ITEM")) "12")
(catch-error (ZQL_CONNECT))
(errcase 'ZQL_DIAG '(5) "13")
(catch-error (ZQL_CONNECT))
(errcase 'ZQL_DIAG '(0 "MESSAGE_TEXT") "3")
(catch-error (ZQL_CONNECT))
(check "a nil selection gives every item" (ZQL_DIAG 0 nil) (ZQL_DIAG 0))
(ZQL_VERSION)
(check "no conditions after a success" (ZQL_DIAG 0) nil)
(check "ZQL_DIAG with a real" (progn (catch-error (ZQL_CONNECT)) (car (car (ZQL_DIAG 0.7)))) "MESSAGE_TEXT")

;; ZQL_OBJP never raises nor leaves conditions, even for a missing handle.
(check "ZQL_OBJP without a handle" (catch-error (ZQL_OBJP)) '(T))
(check "ZQL_OBJP leaves no condition" (ZQL_ERRQTY) 0)

;; Handle information.
(setq s (ok 'ZQL_CONNECT '("SQLITE")))
(setq st (ok 'ZQL_PREPARE (list s "SELECT 1")))
(foreach f '(ZQL_DBMS ZQL_MSG ZQL_SQL)
  (check (list f "answers a string") (type (ok f (list st))) 'STR))
(noargs '(ZQL_DBMS))
(errwith 'ZQL_FEATURE s '((nil "5") ((31) "14") ((0) "14") (("1") "3") (((1 "2")) "3") ((nil) "3")
                         ((1 2) "6")))
(errcases
 (list
  (list 'ZQL_MSG (list s 1) "6")
  (list 'ZQL_SQL '(("SQLCURSOR" 9999.0)) "10")))
(check "ZQL_FEATURE answers T or nil" (member (ZQL_FEATURE s 1) '(T nil)) (list (ZQL_FEATURE s 1)))
(check "ZQL_FEATURE with a list" (member (ZQL_FEATURE s '(1 2 3)) '(T nil)) (list (ZQL_FEATURE s '(1 2 3))))
(check "ZQL_OBJP live" (ZQL_OBJP st) T)
(check "ZQL_OBJP of a never-issued handle: nil, no host error"
       (car (catch-error (ZQL_OBJP '("SQLSESSION" 5000.0)))) T)
(check "ZQL_OBJNAME without a name" (ZQL_OBJNAME st) "")

;; Identifiers.
(foreach c '(("abc" "ABC" T) ("abc" "\"abc\"" nil) ("\"ABC\"" "abc" T)
             ("\"a b\"" "\"a b\"" T) ("a" "b" nil) ("\"" "\"" T))
  (check (list "ZQL_CMPIDENT" (car c) (cadr c)) (ZQL_CMPIDENT (car c) (cadr c)) (caddr c)))

;; Configuration.
(check "ZQL_GETCFG of one key" (ZQL_GETCFG "SQLITE" "Driver") (list (cons "Driver" *driver*)))
(check "ZQL_GETCFG of a missing key" (ZQL_GETCFG "SQLITE" "NoSuchKey") nil)
(check "ZQL_GETCFG of an unknown environment" (ZQL_GETCFG "NO_SUCH_ENV") nil)
(check "ZQL_SETCFG" (ZQL_SETCFG "SQLITE" "Comment" "hello") T)
(check "read back" (ZQL_GETCFG "SQLITE" "Comment") '(("Comment" . "hello")))
(check "all pairs include it" (member '("Comment" . "hello") (ZQL_GETCFG "SQLITE" nil)) '(("Comment" . "hello")))
(check "ZQL_SETCFG with nil removes" (ZQL_SETCFG "SQLITE" "Comment" nil) T)
(check "removed" (ZQL_GETCFG "SQLITE" "Comment") nil)
(setq nl (chr 10))
(errsame 'ZQL_SETCFG "4"
 (list (list "SQLITE" "Comment" (strcat "x" nl "Driver = evil")) (list "SQLITE" (strcat "k" nl "[EVIL]") "v")
       '("SQLITE" "[EVIL]" "v") '("SQLITE" "a=b" "v") (list (strcat "SQLITE]" nl "[EVIL") "k" "v") '("" "k" "v")))
(check "no section was injected" (ZQL_GETCFG "EVIL") nil)
(check "the driver entry is intact" (ZQL_GETCFG "SQLITE" "Driver") (list (cons "Driver" *driver*)))
(setq long (strcat "v" "w"))
(repeat 14 (setq long (strcat long long)))
(check "a 32 KB value" (ZQL_SETCFG "SQLITE" "Long" long) T)
(check "read back whole" (strlen (cdr (car (ZQL_GETCFG "SQLITE" "Long")))) (strlen long))
(ZQL_SETCFG "SQLITE" "Long" nil)

;; Handlers never crash the host, whatever the arguments.
(setq big (strcat "x" "y"))
(repeat 13 (setq big (strcat big big)))
(setq cur (ZQL_ALLOC st "cc"))
(setq shapes (list nil T 0 -1 1 32767 -32768 2147483647 1.5 -1.0 1e300 "" big "\"" "\"\""
                   '(1 2) '(1.0 2.0) '(1.0 2.0 3.0) '("SQLSESSION") '("SQLSESSION" -1.0)
                   '("SQLCURSOR" 1 2) '(nil) '((1 2) (3 4)) '("A" . "B") 'ZQL_FETCH
                   (list s) (list st) s st cur))
(setq n 0)
(foreach f '(ZQL_PREPARE ZQL_EXECUTE ZQL_IEXECUTE ZQL_PARDSC ZQL_COLDSC ZQL_ALLOC
             ZQL_OPEN ZQL_FETCH ZQL_UPDATE ZQL_STATECSR ZQL_STMTYPE ZQL_ROWQTY ZQL_DIAG
             ZQL_DBMS ZQL_FEATURE ZQL_CMPIDENT ZQL_OBJLIST ZQL_OBJNAME ZQL_OBJP ZQL_GETCFG)
  (foreach a shapes
    (catch-error (apply f (list a)))
    (catch-error (apply f (list s a)))
    (catch-error (apply f (list st a)))
    (catch-error (apply f (list cur a)))
    (catch-error (apply f (list cur a a)))
    (catch-error (apply f (list a a a a)))
    (setq n (1+ n))))
(check "every call returned" n (* 20 (length shapes)))
(check "the session survived" (ZQL_OBJP s) T)
(ZQL_IEXECUTE s "ROLLBACK WORK")
(ZQL_DISCONNECT s)

;; The same for the functions that release or write, on a session of their
;; own (the temp folder's zql.ini takes whatever ZQL_SETCFG accepts).
(setq s (ZQL_CONNECT "MEMORY"))
(setq st (ZQL_PREPARE s "SELECT 1"))
(setq cur (ZQL_ALLOC st "cc"))
(setq shapes (append shapes (list s st cur)))
(setq n 0)
(foreach f '(ZQL_CONNECT ZQL_NEXECUTE ZQL_CLOSE ZQL_DELETE ZQL_SETCFG ZQL_DEALLOCSTM
             ZQL_DISCONNECT ZQL_CMDTYPE ZQL_MSG ZQL_SQL ZQL_ERRQTY ZQL_VERSION ZQL_LISPVERSION)
  (foreach a shapes
    (catch-error (apply f (list a)))
    (catch-error (apply f (list a a)))
    (catch-error (apply f (list a "k" a)))
    (setq n (1+ n))))
(check "every releasing call returned" n (* 13 (length shapes)))
(foreach h (ZQL_OBJLIST) (ZQL_IEXECUTE h "ROLLBACK WORK") (ZQL_DISCONNECT h))
(check "every session could be ended" (ZQL_OBJLIST) nil)
(done)
