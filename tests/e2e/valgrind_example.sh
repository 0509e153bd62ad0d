#!/usr/bin/env bash
# The example launch under valgrind: any memory error or definite leak in
# the launcher process fails.
set -euo pipefail
launcher=$1 example=$2
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
cp "$launcher" "$demo/greet"
cp "$example" "$demo/greet-script.py"
valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
  "$demo/greet" "two words" 'say "hi"' 'C:\path\' '' 'ünïcode'
