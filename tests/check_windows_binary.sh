#!/bin/sh
# Checks a built Windows program: PE32 for x86, the expected subsystem, imports from Windows
# system DLLs only (nothing of the compiler's runtime), and the text of its embedded manifest.
# usage: check_windows_binary.sh <objdump> <program.exe> <subsystem: cui|gui> [manifest text...]
set -eu
objdump=$1 program=$2 subsystem=$3
shift 3

fail() { echo "$program: $*" >&2; exit 1; }

headers=$("$objdump" -p "$program") || fail "objdump cannot read it"
echo "$headers" | grep -q 'file format pei-i386' || fail "not a PE file for x86"
echo "$headers" | grep -Eq '^Magic[[:space:]]+010b' || fail "not PE32"
case $subsystem in
  cui) echo "$headers" | grep -q '(Windows CUI)' || fail "not a console program" ;;
  gui) echo "$headers" | grep -q '(Windows GUI)' || fail "not a windowed program" ;;
esac

allowed='^(kernel32|user32|gdi32|shell32|advapi32|winmm|msvcrt|comctl32|ole32|oleaut32|shlwapi|ws2_32|bcrypt|ntdll|version|api-ms-win-[a-z0-9-]+)\.dll$'
dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || fail "imports nothing: the import table could not be read"
for dll in $dlls; do
  echo "$dll" | grep -Eq "$allowed" || fail "imports $dll, which is not a Windows system DLL"
done

for text in "$@"; do
  grep -aqF "$text" "$program" || fail "the embedded manifest lacks: $text"
done
echo "$program: PE32 x86, $subsystem, imports:" $dlls
