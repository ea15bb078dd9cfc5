#!/usr/bin/env bash
# Peak resident memory and time of a rebuild whose one chunk is <MiB> large (default 1024),
# with the native build; the rebuilt file is checked against the digest the generator printed.
# usage: bench/rebuild_memory.sh [chunk MiB] [work folder]
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-1024}
work=${2:-build/native/bench-rebuild}

cmake --preset native >/dev/null
cmake --build --preset native --target mapmend make_large_patch >/dev/null
rm -rf "$work"
mkdir -p "$work/Maps" "$work/Mods"
digest=$(build/native/bench/make_large_patch "$work" "$size")

report=$(mktemp)
trap 'rm -f "$report"; rm -rf "$work"' EXIT
/usr/bin/time -v build/native/mapmend/mapmend --check-rebuilt="$digest" "$work/Maps" "$work/Mods/Huge.qmp" 2>"$report"
peak_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$report")
elapsed=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$report")
awk -v s="$size" -v k="$peak_kib" -v t="$elapsed" 'BEGIN { printf "chunk %6d MiB   peak resident %6.1f MiB   wall %s\n", s, k / 1024, t }'
