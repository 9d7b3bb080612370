;;; harness.lsp - checks for the end-to-end LISP tests. Each failed check
;;; prints one line starting with FAIL; (done) ends the script with status 1
;;; when any check failed.

(setq *checks* 0 *fails* 0)

(defun fail (what got want)
  (setq *fails* (1+ *fails*))
  (princ "FAIL ")
  (prin1 what)
  (princ ": got ")
  (prin1 got)
  (princ ", want ")
  (prin1 want)
  (terpri))

;; what: anything that names the check (a string or the form checked).
(defun check (what got want)
  (setq *checks* (1+ *checks*))
  (if (not (equal got want)) (fail what got want))
  got)

;; The binding error code (a string such as "5") of the last call, or nil.
(defun lasterr ()
  (cdr (assoc "ZQLLISP_ERRCODE" (ZQL_DIAG 0))))

;; Item name of condition 0 of the last call, or nil.
(defun diagitem (name)
  (cdr (assoc name (ZQL_DIAG 0))))

;; Applies f to args (catching the host error of a binding error) and
;; checks that the call ends with the binding error code want (a string
;; such as "5"), or with no binding error at all when want is nil. A binding
;; error must come with a host error; answers the call's value (nil after
;; an error).
(defun errcase (f args want / value)
  (setq value (catch-error (apply f args)))
  (check (cons f args) (list (if want (car value) nil) (lasterr)) (list nil want))
  (if (car value) (cdr value)))

;; Each element: (f args want-code).
(defun errcases (cases)
  (foreach c cases (errcase (car c) (cadr c) (caddr c))))

;; Each function of fs called without arguments: error 5.
(defun noargs (fs) (foreach f fs (errcase f nil "5")))

;; Each case (args want-code): f applied to args.
(defun errtable (f cases) (foreach c cases (errcase f (car c) (cadr c))))

;; Each case (args want-code): f applied to head followed by args.
(defun errwith (f head cases)
  (errtable f (mapcar '(lambda (c) (cons (cons head (car c)) (cdr c))) cases)))

;; f applied to each argument list of arglists: error want.
(defun errsame (f want arglists) (foreach a arglists (errcase f a want)))

;; Applies f to args, which must raise no error; answers the value.
(defun ok (f args / value)
  (setq value (catch-error (apply f args)))
  (if (car value)
    (cdr value)
    (progn (fail (cons f args) (cdr value) "no error") nil)))

(defun done ()
  (princ (strcat (itoa *checks*) " checks, " (itoa *fails*) " failed"))
  (terpri)
  (if (> *fails* 0) (exit 1)))

;; T when the state bits of ZQL_STATECSR say open (bit 2).
(defun logand-open (bits)
  (if (and bits (= (rem (fix (/ bits 2)) 2) 1)) T nil))
