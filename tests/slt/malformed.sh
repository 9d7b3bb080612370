#!/usr/bin/env bash
# zqlslt on a file of good and malformed records, on SQLite: each failure
# is one line with file:line, the run reaches the end, the counts and the
# exit status say what happened; a record over the time limit is cancelled.
#   malformed.sh ZQLSLT FILE
set -uo pipefail
out=$("$1" --engine sqlite --env MEMORY "$2" 2>&1)
status=$?
echo "$out"
fail=0
expect() {
  if ! grep -qF -- "$1" <<<"$out"; then echo "missing: $1"; fail=1; fi
}
f=$2
expect "$f:9: malformed record: unknown record kind 'selectx'"
expect "$f:12: malformed record: query without a '----' line"
expect "$f:16: FAIL SELECT x, y FROM t | the query gives 2 columns, its type string 'I' names 1"
expect "$f:21: malformed record: unknown type letter 'X' in 'IX' (I, T or R)"
expect "$f:26: malformed record: 'hash-threshold' needs a number from 0 to 2147483647"
expect "$f:28: FAIL INSERT INTO t VALUES(2, 'two') | expected an error, got success"
expect "$f:31: FAIL SELECT x FROM t ORDER BY x | expected 1 3 | got 1 2 | first difference: row 2 column 1: expected '3', got '2'"
expect "$f:51: FAIL SELECT x + 1 FROM t ORDER BY x | label label-a: result 2 values hashing to"
expect "$f: 4 passed, 8 failed, 2 skipped"
expect "total: 4 passed, 8 failed, 2 skipped (sqlite,"
[ $status -eq 1 ] || { echo "exit status $status, expected 1"; fail=1; }
[ $(grep -c FAIL <<<"$out") -eq 4 ] || { echo "expected 4 FAIL lines"; fail=1; }
# A record over the time limit: cancelled in the driver at the limit.
slow=$(dirname "$f")/timeout.test
out=$("$1" --engine sqlite --env MEMORY --timeout 1 "$slow" 2>&1)
echo "$out"
expect "$slow:3: FAIL WITH RECURSIVE"
expect "$slow: 1 passed, 1 failed, 0 skipped"
exit $fail
