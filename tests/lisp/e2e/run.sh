#!/usr/bin/env bash
# Runs LISP test scripts with zqlsh, each in a fresh temp folder whose
# zql.ini has the environments SQLITE and MEMORY. With the SQLite driver,
# SQLITE is a database file there and MEMORY an in-memory database; with the
# PostgreSQL driver (ZQL_PG_STATE names the private test server's state
# file) both are fresh databases on that server, dropped afterwards.
# Before the script, *driver* is set to the driver's name ("zqlsqlite",
# "zqlpg") for the few checks where the databases differ.
#   run.sh ZQLSH SHARE_DIR DRIVER HARNESS SCRIPT...
# Fails when zqlsh fails or prints a FAIL line.
set -u
zqlsh=$(realpath "$1") share=$(realpath "$2") driver=$(realpath "$3")
harness=$(realpath "$4")
shift 4
kind=$(basename "$driver")
socket=""
if [ "$kind" = zqlpg ]; then socket=$(cat "${ZQL_PG_STATE:?ZQL_PG_STATE names the test server}"); fi
sql() { psql -h "$socket" -U zql -d postgres -qAtc "$1" >/dev/null; }

dir="" databases=()
cleanup() {
  for db in "${databases[@]}"; do sql "DROP DATABASE IF EXISTS $db WITH (FORCE)" 2>/dev/null; done
  databases=()
  [ -n "$dir" ] && rm -rf "$dir"
  dir=""
}
trap cleanup EXIT

# Makes $dir with its zql.ini and driver.lsp for one script.
prepare() {
  dir=$(mktemp -d)
  local file="Database = $dir/test.db" memory="Database = :memory:"
  if [ "$kind" = zqlpg ]; then
    local tag db
    tag=$(basename "$dir" | tr 'A-Z' 'a-z' | tr -dc 'a-z0-9')
    for db in zql_file_$tag zql_mem_$tag; do
      sql "CREATE DATABASE $db" || return 1
      databases+=("$db")
    done
    file="Conninfo = host=$socket dbname=${databases[0]} user=zql"
    memory="Conninfo = host=$socket dbname=${databases[1]} user=zql"
  fi
  cat >"$dir/zql.ini" <<INI
[ZQL]
Path = $share
[ENVIRONMENTS]
SQLITE = x
MEMORY = x
[SQLITE]
Driver = $kind
$file
[MEMORY]
Driver = $kind
$memory
[$kind]
Path = $driver
INI
  printf '(setq *driver* "%s")\n' "$kind" >"$dir/driver.lsp"
}

status=0
for script in "$@"; do
  script=$(realpath "$script")
  prepare || { echo "run.sh: no database for $script"; exit 1; }
  out=$(cd "$dir" && HOME="$dir" "$zqlsh" "$harness" "$dir/driver.lsp" "$script" 2>&1)
  rc=$?
  printf '%s\n' "$out"
  if [ $rc -ne 0 ] || printf '%s\n' "$out" | grep -q '^FAIL'; then
    echo "run.sh: $script failed on $kind (status $rc)"
    status=1
  fi
  cleanup
done
exit $status
