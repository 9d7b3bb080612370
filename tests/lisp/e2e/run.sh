#!/usr/bin/env bash
# Runs LISP test scripts with zqlsh in a fresh temp folder whose zql.ini has
# the environments SQLITE (a database file there) and MEMORY, served by the
# build's SQLite driver.
#   run.sh ZQLSH SHARE_DIR SQLITE_DRIVER HARNESS SCRIPT...
# Fails when zqlsh fails or prints a FAIL line.
set -u
zqlsh=$1 share=$2 driver=$3 harness=$4
shift 4
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat >"$dir/zql.ini" <<INI
[ZQL]
Path = $share
[ENVIRONMENTS]
SQLITE = x
MEMORY = x
[SQLITE]
Driver = zqlsqlite
Database = $dir/test.db
[MEMORY]
Driver = zqlsqlite
Database = :memory:
[zqlsqlite]
Path = $driver
INI
cd "$dir" || exit 1
status=0
for script in "$@"; do
  out=$("$zqlsh" "$harness" "$script" 2>&1)
  rc=$?
  printf '%s\n' "$out"
  if [ $rc -ne 0 ] || printf '%s\n' "$out" | grep -q '^FAIL'; then
    echo "run.sh: $script failed (status $rc)"
    status=1
  fi
done
exit $status
