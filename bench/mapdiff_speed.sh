#!/usr/bin/env bash
# Speed and memory of `mapdiff make` on a large map: bench/make_bench_set's stock set (31 files,
# about 1 GiB, the same as bench/run's) and its Large.qmw of <map MiB> (make_bench_set --map):
# about 1,500 entries of 16 bytes to 2 MiB, each of nine in ten a copy of a run of one stock
# file's bytes at an offset of no particular alignment (one in five of them with a byte changed
# every 4 KiB), the rest bytes found nowhere. Prints wall time, processor time and peak resident
# memory (/usr/bin/time -v) of each run; the patch is rebuilt by mapmend and compared with the map.
#
# With Wine and the mingw-w64 compiler present (as for bench/run), mapdiff.exe of the same stock
# table runs the same make under Wine, in rows marked "(Wine)"; its patch must equal the native
# one byte for byte. The peak of a Wine row is the kernel's high-water mark of resident memory of
# the Linux process that ran mapdiff.exe, Wine's own libraries in it (and qemu-i386 where 32-bit
# code is emulated): Wine runs the program in the very process it was started as (the wine
# script and loader exec, the pid stays), so /usr/bin/time's figure is that process's. Each run
# checks this: the process time waits on must be seen (/proc, every 0.1 s) holding mapdiff.exe,
# with a VmHWM within 1 % of time's figure at most, else the script stops. User and sys times of
# a Wine row leave out the wineserver's, a process of its own. Where 32-bit code is emulated, the
# Wine rows are not judged.
#
# usage: bench/mapdiff_speed.sh [map MiB, default 256]     MAPDIFF_RUNS=<n> timed runs (3)
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
source bench/timing.sh
source bench/stock_builds.sh
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

# The same stock set as bench/run's, so the same table and builds.
use_stock_set "$data/Maps"
build_with_stock_table native mapmend mapdiff
mapmend=$stock_build/mapmend/mapmend
mapdiff=$stock_build/mapdiff/mapdiff
with_wine=false
if wine_usable; then
  build_with_stock_table win32 mapdiff
  with_wine=true
  mkdir -p "$data/Wine"
fi

map=$data/Mods/Large.qmw
map_bytes=$(stat -c %s "$map")
stock_bytes=$(cat "$data"/Maps/*.qmw | wc -c)
read -r _ _ entries largest < <(grep '^entries ' "$data/plan.txt")
read -r _ _ copies copied < <(grep '^copied ' "$data/plan.txt")

echo
echo "mapdiff make, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
machine_line
echo "map Large.qmw: $((map_bytes >> 20)) MiB, $entries entries (the largest $largest bytes), $copies of them"\
  "($((copied >> 20)) MiB) copies of stock bytes; sources: 31 stock files, $((stock_bytes >> 20)) MiB;"\
  "page cache warm (the files were just written)"
! $with_wine || wine_line
printf '  %-10s %9s %9s %9s %10s %9s  %s\n' run "wall s" "user s" "sys s" "peak MiB" "MB/s" target


# make_runs <row suffix> <patch> <program...>: MAPDIFF_RUNS timed runs of `<program> make`,
# writing <patch>; one row each, then the median.
make_runs() {
  local suffix=$1 patch=$2 i timer watcher wall user sys kib seen seen_peak=0 walls=() peak=0 target line
  shift 2
  for ((i = 1; i <= runs; i++)); do
    rm -f "$patch"
    sync
    /usr/bin/time -v -o "$data/time.txt" "$@" make "$maps_arg" "$map_arg" "$patch_arg" \
      >"${patch%.qmp}.summary" 2>/dev/null </dev/null &
    timer=$!
    if [ -n "$suffix" ]; then
      watch_exe "$timer" 'mapdiff\.exe make' >"$data/seen" &
      watcher=$!
    fi
    wait "$timer" || { echo "mapdiff_speed: mapdiff make failed:" >&2; cat "${patch%.qmp}.summary" "$data/time.txt" >&2; exit 1; }
    kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$data/time.txt")
    if [ -n "$suffix" ]; then
      wait "$watcher"
      seen=$(awk '$2 > m { m = $2 } END { print m + 0 }' "$data/seen")
      # The two are read from the kernel's approximate counters at different times: a few
      # pages apart. Far apart, time measured some other process.
      # Under emulation the rows are not judged, and qemu may show the process under its own
      # command line: a mismatch is only reported there.
      if [ "$seen" = 0 ] || [ "$seen" -gt $((kib + kib / 100)) ]; then
        echo "mapdiff_speed: mapdiff.exe was not seen in the process /usr/bin/time waited on"\
          "(VmHWM seen: $seen KiB, time's figure: $kib KiB); its peak is not measured here" >&2
        [ "$i386_runs_as" != native ] || exit 1
      fi
      [ "$seen" -le "$seen_peak" ] || seen_peak=$seen
    fi
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (k = 1; k <= n; k++) s = s * 60 + t[k]; print s }' "$data/time.txt")
    user=$(awk -F': ' '/User time/ { print $2 }' "$data/time.txt")
    sys=$(awk -F': ' '/System time/ { print $2 }' "$data/time.txt")
    walls+=("$wall")
    [ "$kib" -le "$peak" ] || peak=$kib
    target=$(awk -v w="$wall" -v k="$kib" 'BEGIN { printf "wall < 60 s %s, peak < 256 MiB %s", w < 60 ? "ok" : "MISSED", k < 262144 ? "ok" : "MISSED" }')
    [ -z "$suffix" ] || [ "$i386_runs_as" = native ] || target="not judged, emulated"
    printf '  %-10s %9.2f %9.2f %9.2f %10.1f %9.1f  %s\n' "$i$suffix" "$wall" "$user" "$sys" "$(mib "$kib")" \
      "$(awk -v b="$map_bytes" -v s="$wall" 'BEGIN { print b / s / 1e6 }')" "$target"
  done
  median=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.2f", m }')
  line="  median wall time$suffix ${median} s over $runs runs, largest peak $(mib "$peak") MiB"
  [ -z "$suffix" ] || line+=" (the largest VmHWM seen in /proc, every 0.1 s: $(mib "$seen_peak") MiB)"
  echo "$line"
}

maps_arg=$data/Maps map_arg=$map patch_arg=$data/Out/Large.qmp
make_runs "" "$data/Out/Large.qmp" "$mapdiff"
if $with_wine; then
  maps_arg=$(wine_path "$data/Maps") map_arg=$(wine_path "$map") patch_arg=$(wine_path "$data/Wine/Large.qmp")
  make_runs " (Wine)" "$data/Wine/Large.qmp" wine "$bench/stock-win32/mapdiff/mapdiff.exe"
fi

# The patch must give the map back.
digest=$(awk '$1 == "map" { print $3 }' "$data/plan.txt")
"$mapmend" --check-stock --check-rebuilt="$digest" "$data/Maps" "$data/Out/Large.qmp" >/dev/null ||
  { echo "mapdiff_speed: mapmend could not rebuild the map from the patch" >&2; exit 1; }
cmp -s "$data/Out/Large.qmw" "$map" || { echo "mapdiff_speed: the rebuilt map differs" >&2; exit 1; }
nonzero=$(tr -d '\000' <"$data/Out/Large.qmp" | wc -c)
echo "  rebuilt by mapmend: identical; the patch holds $nonzero bytes that are not zero"\
  "($(awk -v n="$nonzero" -v t="$map_bytes" 'BEGIN { printf "%.1f", 100 * n / t }') % of it)"
summary=$data/Out/Large.summary
grep -E 'entries referenced|not zero' "$summary" | sed 's/^/  | /'
echo "  | $(grep -c ' from .*(maps folder)' "$summary" || true) stock files drawn on,"\
  "$(awk '/ bytes in .* from / { s += $1 } END { print s + 0 }' "$summary") bytes of the $copied that are copies of stock bytes"
if $with_wine; then
  # The same code on the same input: mapdiff.exe's patch must be the native one.
  if cmp -s "$data/Wine/Large.qmp" "$data/Out/Large.qmp"; then
    echo "  mapdiff.exe's patch (Wine): identical to the native one, byte for byte"
  else
    echo "  mapdiff.exe's patch (Wine): DIFFERS from the native one ($(stat -c %s "$data/Wine/Large.qmp") bytes against"\
      "$(stat -c %s "$data/Out/Large.qmp"); first difference: $(cmp "$data/Wine/Large.qmp" "$data/Out/Large.qmp" 2>&1 | head -n 1))"
  fi
  "$mapmend" --check-stock --check-rebuilt="$digest" "$data/Maps" "$data/Wine/Large.qmp" >/dev/null ||
    { echo "mapdiff_speed: mapmend could not rebuild the map from mapdiff.exe's patch" >&2; exit 1; }
  cmp -s "$data/Wine/Large.qmw" "$map" || { echo "mapdiff_speed: the map rebuilt from mapdiff.exe's patch differs" >&2; exit 1; }
  echo "  mapdiff.exe's patch rebuilt by mapmend: identical to the map"
  cmp -s "$data/Wine/Large.qmp" "$data/Out/Large.qmp" || { echo "mapdiff_speed: the two patches differ" >&2; exit 1; }
fi
