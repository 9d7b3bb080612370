;;; config.lsp - read and change zql.ini with ZQL_GETCFG and ZQL_SETCFG.
;;; Run it with:  scripts/run examples/config.lsp

(princ "the environment SQLITE:") (terpri)
(foreach pair (ZQL_GETCFG "SQLITE")
  (princ "  ") (princ (car pair)) (princ " = ") (princ (cdr pair)) (terpri))
(princ "its driver: ") (prin1 (ZQL_GETCFG "SQLITE" "Driver")) (terpri)

;; Write a key of a section of our own, read it back, then remove it again
;; (nil as value removes the key, and the section with its last key).
(ZQL_SETCFG "EXAMPLE" "Greeting" "hello from config.lsp")
(princ "written: ") (prin1 (ZQL_GETCFG "EXAMPLE" "Greeting")) (terpri)
(ZQL_SETCFG "EXAMPLE" "Greeting" nil)
(princ "removed: ") (prin1 (ZQL_GETCFG "EXAMPLE")) (terpri)

;; Keys and values are single lines: a line break is refused.
(princ "a value with a line break: ")
(princ (cdr (catch-error (ZQL_SETCFG "EXAMPLE" "Bad" (strcat "x" (chr 10) "[INJECTED]")))))
(terpri)
(princ)
