#!/usr/bin/env bash
# Speed and memory of `mapdiff make` on a large map: bench/make_bench_set's stock set (31 files,
# about 1 GiB, the same as bench/run's) and its Large.qmw of <map MiB> (make_bench_set --map):
# about 1,500 entries of 16 bytes to 2 MiB, each of nine in ten a copy of a run of one stock
# file's bytes at an offset of no particular alignment (one in five of them with a byte changed
# every 4 KiB), the rest bytes found nowhere. Prints wall time, processor time and peak resident
# memory (/usr/bin/time -v) of each run; the patch is rebuilt by mapmend and compared with the map.
#
# usage: bench/mapdiff_speed.sh [map MiB, default 256]     MAPDIFF_RUNS=<n> timed runs (3)
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
root=$PWD
map_mib=${1:-256}
runs=${MAPDIFF_RUNS:-3}
bench=build/bench
data=$bench/mapdiff-speed
trap 'rm -rf "$root/$data"' EXIT

[ -f mapdiff/CMakeLists.txt ] || { echo "mapdiff_speed: mapdiff is not part of this tree" >&2; exit 1; }

echo "building ..." >&2
cmake --preset native >/dev/null
cmake --build --preset native --target make_bench_set >/dev/null
rm -rf "$data"
mkdir -p "$data/Maps" "$data/Mods" "$data/Out"
echo "writing the data set ..." >&2
build/native/bench/make_bench_set "$data" "$map_mib" --map >"$data/plan.txt"

# The same stock set as bench/run's, so the same table and build.
scripts/make-stock-table "$data/Maps" "$bench/stock.md5.new" >/dev/null
cmp -s "$bench/stock.md5.new" "$bench/stock.md5" 2>/dev/null || mv "$bench/stock.md5.new" "$bench/stock.md5"
rm -f "$bench/stock.md5.new"
stock_build=$bench/stock-native
cmake --preset native -B "$stock_build" -DMAPMEND_BUILD_TESTS=OFF -DMAPMEND_STOCK_TABLE="$root/$bench/stock.md5" >/dev/null
cmake --build "$stock_build" --target mapmend mapdiff >/dev/null
mapmend=$stock_build/mapmend/mapmend
mapdiff=$stock_build/mapdiff/mapdiff

map=$data/Mods/Large.qmw
map_bytes=$(stat -c %s "$map")
stock_bytes=$(cat "$data"/Maps/*.qmw | wc -c)
read -r _ _ entries largest < <(grep '^entries ' "$data/plan.txt")
read -r _ _ copies copied < <(grep '^copied ' "$data/plan.txt")

echo
echo "mapdiff make, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"\
  "$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo) memory, load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "map Large.qmw: $((map_bytes >> 20)) MiB, $entries entries (the largest $largest bytes), $copies of them"\
  "($((copied >> 20)) MiB) copies of stock bytes; sources: 31 stock files, $((stock_bytes >> 20)) MiB;"\
  "page cache warm (the files were just written)"
printf '  %-6s %9s %9s %9s %10s %9s  %s\n' run "wall s" "user s" "sys s" "peak MiB" "MB/s" target
walls=()
peak=0
for ((i = 1; i <= runs; i++)); do
  rm -f "$data/Out/Large.qmp"
  sync
  /usr/bin/time -v -o "$data/time.txt" "$mapdiff" make "$data/Maps" "$map" "$data/Out/Large.qmp" \
    >"$data/summary" 2>/dev/null </dev/null || { echo "mapdiff_speed: mapdiff make failed:" >&2; cat "$data/summary" "$data/time.txt" >&2; exit 1; }
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (k = 1; k <= n; k++) s = s * 60 + t[k]; print s }' "$data/time.txt")
  user=$(awk -F': ' '/User time/ { print $2 }' "$data/time.txt")
  sys=$(awk -F': ' '/System time/ { print $2 }' "$data/time.txt")
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$data/time.txt")
  walls+=("$wall")
  [ "$kib" -le "$peak" ] || peak=$kib
  printf '  %-6s %9.2f %9.2f %9.2f %10.1f %9.1f  %s\n' "$i" "$wall" "$user" "$sys" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
    "$(awk -v b="$map_bytes" -v s="$wall" 'BEGIN { print b / s / 1e6 }')" \
    "$(awk -v w="$wall" -v k="$kib" 'BEGIN { printf "wall < 60 s %s, peak < 256 MiB %s", w < 60 ? "ok" : "MISSED", k < 262144 ? "ok" : "MISSED" }')"
done
median=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.2f", m }')
echo "  median wall time ${median} s over $runs runs, largest peak $(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }') MiB"

# The patch must give the map back.
digest=$(awk '$1 == "map" { print $3 }' "$data/plan.txt")
"$mapmend" --check-stock --check-rebuilt="$digest" "$data/Maps" "$data/Out/Large.qmp" >/dev/null ||
  { echo "mapdiff_speed: mapmend could not rebuild the map from the patch" >&2; exit 1; }
cmp -s "$data/Out/Large.qmw" "$map" || { echo "mapdiff_speed: the rebuilt map differs" >&2; exit 1; }
nonzero=$(tr -d '\000' <"$data/Out/Large.qmp" | wc -c)
echo "  rebuilt by mapmend: identical; the patch holds $nonzero bytes that are not zero"\
  "($(awk -v n="$nonzero" -v t="$map_bytes" 'BEGIN { printf "%.1f", 100 * n / t }') % of it)"
grep -E 'entries referenced|not zero' "$data/summary" | sed 's/^/  | /'
echo "  | $(grep -c ' from .*(maps folder)' "$data/summary" || true) stock files drawn on,"\
  "$(awk '/ bytes in .* from / { s += $1 } END { print s + 0 }' "$data/summary") bytes of the $copied that are copies of stock bytes"
