#!/usr/bin/env bash
# MD5 of one large file: mapmend's file_md5 (md5_bench --digest, one run per process, as for
# the other tools) against md5sum and openssl md5, on the same cached file in the same run.
# Ratio: throughput against md5sum's. The Windows build runs too when it is built and Wine is
# present (its figure includes Wine's start of a process, a few hundredths of a second).
#
# usage: bench/md5.sh [size in MiB, default 1024 | --file <path>]
#        (after: cmake --build --preset native [and --preset win32])
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
native=build/native/bench/md5_bench
win32=build/win32/bench/md5_bench.exe
[ -x "$native" ] || { echo "md5.sh: $native not built (cmake --build --preset native)" >&2; exit 1; }

if [ "${1:-}" = "--file" ]; then
  file=$2
else
  size_mib=${1:-1024}
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  file=$work/md5_bench.bin
  head -c $((size_mib << 20)) /dev/urandom >"$file"
fi
bytes=$(stat -c %s "$file")
expected=$(md5sum "$file" | cut -d' ' -f1)

printf 'MD5 of one file of %d MiB; ratio = throughput / md5sum throughput\n' $((bytes >> 20))
table_head
measure md5sum "$file"
base=$measured_seconds
table_row md5sum "$base" "$bytes" "$measured_kib" 1.000
if command -v openssl >/dev/null; then
  measure openssl md5 "$file"
  table_row "openssl md5" "$measured_seconds" "$bytes" "$measured_kib" "$(ratio "$base" "$measured_seconds")"
fi

# digest_row <label> <command...>: the digest must be md5sum's.
digest_row() {
  local label=$1 digest
  shift
  digest=$("$@" | tr -d '\r')
  [ "$digest" = "$expected" ] || { echo "md5.sh: $label gave $digest, md5sum $expected" >&2; exit 1; }
  measure "$@"
  local r
  r=$(ratio "$base" "$measured_seconds")
  table_row "$label" "$measured_seconds" "$bytes" "$measured_kib" "$r" ">= 0.95 $(row_verdict "$label" "$r" ge 0.95)"
}
digest_row "mapmend file_md5" "$native" --digest "$file"
if [ -f "$win32" ] && command -v wine >/dev/null; then
  export WINEPREFIX=${WINEPREFIX:-$PWD/build/win32/wineprefix} WINEDEBUG=-all
  digest_row "mapmend file_md5 (Wine)" wine "$win32" --digest "$(wine_path "$file")"
fi
