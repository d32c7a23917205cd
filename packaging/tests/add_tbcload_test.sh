#!/usr/bin/env bash
# The tbcload step of the installation folder: the right version is copied,
# anything else leaves the folder marked incomplete, and none of it fails.
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

make_tbcload() {  # make_tbcload DIR VERSION
  mkdir -p "$1"
  printf 'package ifneeded tbcload %s [list load [file join $dir tbcload161.dll]]\n' "$2" \
    >"$1/pkgIndex.tcl"
  printf 'MZ' >"$1/tbcload161.dll"
}

run() {  # run DIST [TBCLOAD_DIR]: the step's output in out, its exit code in status
  rm -rf "$1" && mkdir -p "$1"
  status=0
  if [ $# -gt 1 ]; then TBCLOAD_DIR=$2 "$script" "$1" >"$work/out" 2>&1 || status=$?; else
    env -u TBCLOAD_DIR "$script" "$1" >"$work/out" 2>&1 || status=$?; fi
}

make_tbcload "$work/good" 1.6.1
make_tbcload "$work/newer" 1.7.0
mkdir -p "$work/empty"

run "$work/d1" "$work/good"
check "1.6.1 is copied" test -f "$work/d1/tbcload1.6.1/tbcload161.dll"
check "1.6.1 leaves the folder complete" test ! -e "$work/d1/INCOMPLETE.txt"

for case in "unset:" "missing:$work/nowhere" "no index:$work/empty" "1.7.0:$work/newer"; do
  name=${case%%:*}
  dir=${case#*:}
  if [ -n "$dir" ]; then run "$work/d2" "$dir"; else run "$work/d2"; fi
  check "$name does not fail the build" test "$status" -eq 0
  check "$name is said" grep -q 'INCOMPLETE' "$work/out"
  check "$name marks the folder" grep -q 'tbcload 1.6.1 is missing' "$work/d2/INCOMPLETE.txt"
  check "$name copies nothing" test ! -e "$work/d2/tbcload1.6.1"
done

[ "$failures" -eq 0 ]
