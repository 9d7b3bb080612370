#!/usr/bin/env bash
# Runs LISP test scripts with zqlsh in a fresh temp folder whose zql.ini has
# the environments SQLITE (a database file there) and MEMORY, served by the
# build's SQLite driver.
#   run.sh ZQLSH SHARE_DIR SQLITE_DRIVER HARNESS SCRIPT...
# Fails when zqlsh fails or prints a FAIL line.
set -u
zqlsh=$(realpath "$1") share=$(realpath "$2") driver=$(realpath "$3")
harness=$(realpath "$4")
shift 4
scripts=()
for script in "$@"; do scripts+=("$(realpath "$script")"); done
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
for script in "${scripts[@]}"; do
  out=$("$zqlsh" "$harness" "$script" 2>&1)
  rc=$?
  printf '%s\n' "$out"
  if [ $rc -ne 0 ] || printf '%s\n' "$out" | grep -q '^FAIL'; then
    echo "run.sh: $script failed (status $rc)"
    status=1
  fi
done
exit $status
