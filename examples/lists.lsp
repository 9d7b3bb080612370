;;; lists.lsp - list processing: association lists, mapcar, apply.
;;; Run it with:  scripts/run examples/lists.lsp

;; An association list of dotted pairs, as ZQL_DIAG and ZQL_GETCFG return.
(setq stock '(("apples" . 12) ("pears" . 0) ("plums" . 31)))

(defun quantity (name)
  (cdr (assoc name stock)))

(princ (strcat "plums: " (itoa (quantity "plums"))))
(terpri)

;; mapcar applies a function to every element; apply spreads a list as the
;; arguments of one call.
(setq counts (mapcar 'cdr stock))
(princ "total: ")
(princ (apply '+ counts))
(terpri)

;; A lambda expression needs no name.
(princ "in stock: ")
(prin1 (apply 'append
              (mapcar '(lambda (entry)
                         (if (> (cdr entry) 0) (list (car entry))))
                      stock)))
(terpri)

;; Building a list in a loop, then reversing it.
(setq squares nil i 1)
(while (<= i 5)
  (setq squares (cons (* i i) squares)
        i (1+ i)))
(princ "squares: ")
(prin1 (reverse squares))
(terpri)
(princ)
