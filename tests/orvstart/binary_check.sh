#!/usr/bin/env bash
# Checks the built launcher as a file: a PE32 program for the GUI subsystem that imports
# nothing but Windows system DLLs (everything else is linked in statically).
#
#   binary_check.sh <objdump> <orvstart.exe>
set -uo pipefail
objdump=$1 exe=$2
headers=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

grep -q 'file format pei-i386' <<< "$headers" || fail "not a PE file for x86"
grep -Eq '^Magic[[:space:]]+010b' <<< "$headers" || fail "not PE32"
grep -Eq '^Subsystem[[:space:]]+00000002' <<< "$headers" || fail "not the Windows GUI subsystem"

allowed='^(kernel32|user32|gdi32|shell32|winmm|msvcrt|advapi32)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$headers")
[ -n "$imports" ] || fail "no imports found"
for dll in $imports; do
    if grep -Eqi "$allowed" <<< "$dll"; then echo "import: $dll"; else fail "imports $dll"; fi
done

[ "$failures" -eq 0 ] || exit 1
echo "binary checks passed"
