#!/usr/bin/env bash
# Runs every example script with zqlsh and the shipped zql.ini, each in a
# fresh temp folder, as a newcomer would; each must end with status 0
# (an environment of the shipped zql.ini that cannot connect or create a
# table makes its examples fail).
#   examples.sh ZQLSH SHARE_DIR EXAMPLES_DIR
set -u
zqlsh=$1 share=$2 examples=$3
status=0
for script in "$examples"/*.lsp; do
  dir=$(mktemp -d)
  if ! (cd "$dir" && HOME="$dir" ZQL="$share" "$zqlsh" "$script" >"$dir/out" 2>&1); then
    cat "$dir/out"
    echo "examples.sh: $(basename "$script") failed"
    status=1
  fi
  # The shipped SQLITE environment keeps its database under HOME.
  if grep -q 'ZQL_CONNECT "SQLITE"' "$script" && [ ! -f "$dir/.local/share/zql/zql.db" ]; then
    echo "examples.sh: $(basename "$script") left no ~/.local/share/zql/zql.db"
    status=1
  fi
  rm -rf "$dir"
done
exit $status
