#!/usr/bin/env bash
# check_binary.sh BINARY [EXPORT...]: what a bare Windows and a caller see of
# a deliverable. It may import only DLLs that come with Windows itself; with
# EXPORTs named, it exports exactly those names, undecorated.
set -euo pipefail
binary=$1
shift
# The x86_64 objdump reads both PE32 and PE32+.
dump=$(x86_64-w64-mingw32-objdump -p "$binary")
status=0

if [ $# -gt 0 ]; then
  expected=$(printf '%s\n' "$@" | sort)
  # The name table: lines "[ n] Name" after "[Ordinal/Name Pointer] Table".
  exported=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[\s*[0-9]*\]\s*//p' | sort)
  if [ "$exported" = "$expected" ]; then
    echo "exports: the $# expected names"
  else
    echo "unexpected export table of $binary:"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$exported") || true
    status=1
  fi
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
[ -n "$imports" ] || { echo "no imports found in $binary"; exit 1; }
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|MSVCRT|OLE32|OLEAUT32)\.DLL$'
bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$binary imports DLLs that are not part of Windows: $(echo $bad)"
  status=1
else
  echo "imports: $(echo $imports)"
fi
exit $status
