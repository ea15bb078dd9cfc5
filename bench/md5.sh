#!/usr/bin/env bash
# MD5 of one large file: mapmend's file_md5 (through md5_bench) against md5sum and, when
# installed, openssl md5, on the same cached file in the same run. Prints throughput and the
# ratio to md5sum; the Windows build runs too when it is built and Wine is present.
#
# usage: bench/md5.sh [size in MiB, default 1024]   (after: cmake --build --preset native)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mib=${1:-1024}
native=build/native/mapmend/md5_bench
win32=build/win32/mapmend/md5_bench.exe
[ -x "$native" ] || { echo "md5.sh: $native not built (cmake --build --preset native)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/md5_bench.bin
head -c $((size_mib << 20)) /dev/urandom >"$file"
bytes=$(stat -c %s "$file")
cat "$file" >/dev/null  # every tool reads from the page cache

# best_seconds <command...>: the best wall time of three runs.
best_seconds() {
  local best="" i start end
  for i in 1 2 3; do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    local took=$((end - start))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

expected=$(md5sum "$file" | cut -d' ' -f1)
md5sum_s=$(best_seconds md5sum "$file")
md5sum_rate=$(awk -v b="$bytes" -v s="$md5sum_s" 'BEGIN { printf "%.1f", b / s / 1e6 }')

printf 'MD5 of %d MiB, %s, %s\n' "$size_mib" "$(uname -m)" \
  "$(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2 | sed 's/^ //')"
printf '%-24s %10s %12s %10s\n' tool seconds MB/s "x md5sum"
row() {  # row <tool> <seconds> <MB/s>
  awk -v t="$1" -v s="$2" -v r="$3" -v base="$md5sum_rate" \
    'BEGIN { printf "%-24s %10.3f %12.1f %10.3f\n", t, s, r, r / base }'
}
row md5sum "$md5sum_s" "$md5sum_rate"

if command -v openssl >/dev/null; then
  s=$(best_seconds openssl md5 "$file")
  row "openssl md5" "$s" "$(awk -v b="$bytes" -v s="$s" 'BEGIN { printf "%.1f", b / s / 1e6 }')"
fi

# measure <label> <md5_bench command...>: md5_bench times file_md5 itself (best of three).
measure() {
  local label=$1 out rate digest
  shift
  out=$("$@" | tr -d '\r')
  rate=$(awk '$1 == "file_md5" { print $2 }' <<<"$out")
  digest=$(awk '$1 == "file_md5" { print $NF }' <<<"$out")
  [ "$digest" = "$expected" ] || echo "$label: digest $digest differs from md5sum's $expected" >&2
  row "$label" "$(awk -v b="$bytes" -v r="$rate" 'BEGIN { printf "%.3f", b / r / 1e6 }')" "$rate"
}
measure "mapmend file_md5" "$native" --file "$file"
if [ -f "$win32" ] && command -v wine >/dev/null; then
  measure "mapmend file_md5 (Wine)" env WINEDEBUG=-all WINEPREFIX="$PWD/build/win32/wineprefix" \
    wine "$win32" --file "Z:$file"
fi
