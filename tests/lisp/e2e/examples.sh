#!/usr/bin/env bash
# Runs every example script with zqlsh and the shipped zql.ini, each in a
# fresh temp folder, as a newcomer would; each must end with status 0.
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
  rm -rf "$dir"
done
exit $status
