#!/bin/sh
# check_imports.sh OBJDUMP EXE: the program must run on a bare Windows, so it may import only
# DLLs that come with Windows itself.
set -eu
objdump=$1
exe=$2
allowed="ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL SHELL32.DLL USER32.DLL"
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]')
[ -n "$imports" ] || { echo "no imports found in $exe"; exit 1; }
status=0
for dll in $imports; do
  case " $allowed " in
    *" $dll "*) echo "ok: $dll" ;;
    *) echo "not a Windows system DLL: $dll"; status=1 ;;
  esac
done
exit $status
