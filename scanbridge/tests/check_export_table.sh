#!/usr/bin/env bash
# check_export_table.sh DLL: the DLL exports exactly the natives of
# cz.plamix.scan.Scan, undecorated, and imports only Windows system DLLs.
set -euo pipefail
dll=$1
dump=$(i686-w64-mingw32-objdump -p "$dll")

expected="Java_cz_plamix_scan_Scan_getAvailableSources
Java_cz_plamix_scan_Scan_initInstance
Java_cz_plamix_scan_Scan_isScanning
Java_cz_plamix_scan_Scan_isTwainAvailble
Java_cz_plamix_scan_Scan_releaseInstance
Java_cz_plamix_scan_Scan_scan
Java_cz_plamix_scan_Scan_selectDefaultSource
Java_cz_plamix_scan_Scan_selectSource
Java_cz_plamix_scan_Scan_setDPI
Java_cz_plamix_scan_Scan_setDoubleSided
Java_cz_plamix_scan_Scan_setPixelType
Java_cz_plamix_scan_Scan_setShowUI
Java_cz_plamix_scan_Scan_stopScanning"

# The name table: lines "[ n] Name" after "[Ordinal/Name Pointer] Table".
exported=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[\s*[0-9]*\]\s*//p' | sort)
if [ "$exported" != "$expected" ]; then
  echo "unexpected export table of $dll:"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$exported") || true
  exit 1
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|MSVCRT|OLE32|OLEAUT32)\.DLL$'
bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$dll imports DLLs that are not part of Windows: $bad"
  exit 1
fi
echo "export table: 13 natives, imports: $(echo $imports)"
