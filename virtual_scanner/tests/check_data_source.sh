#!/usr/bin/env bash
# check_data_source.sh DS: what a TWAIN manager and a bare Windows see of the
# data source: DS_Entry alone, under its plain name, and imports of Windows'
# own DLLs only.
set -euo pipefail
ds=$1
dump=$(i686-w64-mingw32-objdump -p "$ds")

exported=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[\s*[0-9]*\]\s*//p')
if [ "$exported" != "DS_Entry" ]; then
  echo "unexpected export table of $ds: $exported"
  exit 1
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
allowed='^(KERNEL32|USER32|GDI32|MSVCRT)\.DLL$'
bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$ds imports DLLs that are not part of Windows: $bad"
  exit 1
fi
echo "export table: DS_Entry, imports: $(echo $imports)"
