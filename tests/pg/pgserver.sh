#!/usr/bin/env bash
# A private PostgreSQL server for the zqlpg tests: a cluster in a fresh
# folder under /tmp, listening only on a Unix socket in that folder (no TCP
# port), trust authentication for the socket, superuser "zql". Run as root,
# the server runs as the unprivileged user nobody. The Debian cluster is
# never used.
#   pgserver.sh start <state>   make and start a cluster; <state> receives
#                               the folder (the socket's folder)
#   pgserver.sh crash <state>   stop it at once (pg_ctl stop -m immediate)
#   pgserver.sh resume <state>  start the stopped cluster again
#   pgserver.sh stop <state>    stop it and remove the folder
set -euo pipefail
cmd=${1:?command}
state=${2:?state file}
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$bindir/pg_ctl" ] || bindir=$(dirname "$(command -v pg_ctl)")

as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups -- "$@"
  else
    "$@"
  fi
}

ctl() {  # pg_ctl on the cluster of folder $1, with the rest as its arguments
  local dir=$1
  shift
  (cd "$dir" && as_server "$bindir/pg_ctl" -D "$dir/data" "$@")
}

start_server() {
  ctl "$1" -l "$1/log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$1' -c fsync=off" start >/dev/null
}

case "$cmd" in
  start)
    # A cluster an interrupted run left behind goes first.
    if [ -s "$state" ] && [ -d "$(cat "$state")/data" ]; then
      ctl "$(cat "$state")" -m immediate stop >/dev/null 2>&1 || true
      rm -rf "$(cat "$state")"
    fi
    dir=$(mktemp -d /tmp/zqlpg.XXXXXX)
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown nobody "$dir"
    (cd "$dir" && as_server "$bindir/initdb" -D "$dir/data" -U zql --auth=trust -E UTF8 \
       --no-locale --no-sync >"$dir/initdb.log" 2>&1) \
      || { cat "$dir/initdb.log" >&2; exit 1; }
    start_server "$dir" || { cat "$dir/log" >&2; exit 1; }
    echo "$dir" >"$state"
    ;;
  crash)
    ctl "$(cat "$state")" -m immediate stop >/dev/null
    ;;
  resume)
    start_server "$(cat "$state")"
    ;;
  stop)
    [ -s "$state" ] || exit 0
    dir=$(cat "$state")
    ctl "$dir" -m fast status >/dev/null 2>&1 && ctl "$dir" -m fast -w stop >/dev/null
    rm -rf "$dir" "$state"
    ;;
  *) echo "usage: pgserver.sh start|crash|resume|stop <state>" >&2; exit 2 ;;
esac
