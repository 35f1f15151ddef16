#!/usr/bin/env bash
# version.sh PROGRAM NAME VERSION: "PROGRAM --version" prints one line, the program's name and
# the project's version, followed by the commit when it was built from a git checkout, and
# exits 0.
set -uo pipefail
prog=$1 name=$2 version=$3
out=$("$prog" --version); status=$?
echo "$out"
[ $status -eq 0 ] || { echo "FAIL exit status $status"; exit 1; }
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "FAIL more than one line"; exit 1; }
re="^${name} ${version//./\\.}( \(commit [0-9a-f]{12}(-dirty)?\))?\$"
[[ $out =~ $re ]] || { echo "FAIL does not match $re"; exit 1; }
