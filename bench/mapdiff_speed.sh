#!/usr/bin/env bash
# Speed, memory and patch size of `mapdiff make` on a large map, beside the generic diff tools:
# bench/make_bench_set's stock set (31 files, about 1 GiB, the same as bench/run's) and its
# Large.qmw of <map MiB> (make_bench_set --map): about 1,500 entries of 16 bytes to 2 MiB, each of
# nine in ten a copy of a run of one stock file's bytes at an offset of no particular alignment
# (one in five of them with a byte changed every 4 KiB), the rest bytes found nowhere.
#
# In alternating rounds (MAPDIFF_RUNS of them, 3 by default): make with one worker and with two
# (MAPDIFF_WORKERS=1 and 2), `zstd -3 --long=31 --patch-from` and `xdelta3 -9 -S none` against the
# stock files concatenated into one (the peers take one source file). Each row: wall time,
# processor time (user, sys), peak resident memory (/usr/bin/time -v); then the medians, the
# size of each tool's output after `xz -9 -T1`, and the targets: two workers at most 0.55 of one
# worker's time and 0.7 of zstd's, under 128 MiB, the patch after xz no larger than xdelta3's,
# the same bytes with one and two workers. Every output is applied by its own tool and compared
# with the map (mapdiff's patch by mapmend). Last, the patch's bytes grouped by kind
# (bench/patch_by_kind) after xz: what the map's layout, which a patch keeps, costs xz.
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
# Wine rows are not judged. MAPDIFF_WINE=no leaves them out.
#
# usage: bench/mapdiff_speed.sh [map MiB, default 256]     MAPDIFF_RUNS=<n> rounds (3), MAPDIFF_WINE=no
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
for tool in zstd xdelta3 xz cmp; do
  command -v $tool >/dev/null || { echo "mapdiff_speed: $tool is missing (scripts/install-packages native installs it)" >&2; exit 1; }
done

echo "building ..." >&2
cmake --preset native >/dev/null
cmake --build --preset native --target make_bench_set patch_by_kind >/dev/null
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
if [ "${MAPDIFF_WINE:-yes}" != no ] && wine_usable; then
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
    read_time_report "$data/time.txt"
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

# run_once <label> <output> <command...>: one timed run, its row printed; the wall time kept
# for the label's median and its peak for the label's largest.
declare -A walls peaks
run_once() {
  local label=$1 out=$2 wall user sys kib log
  shift 2
  log=$data/run.$(printf '%s' "$label" | tr -c 'a-z0-9' '_')
  rm -f "$out"
  sync
  /usr/bin/time -v -o "$data/time.txt" "$@" >"$log.out" 2>"$log.err" </dev/null ||
    { echo "mapdiff_speed: $label failed:" >&2; cat "$log.out" "$log.err" >&2; exit 1; }
  read_time_report "$data/time.txt"
  printf '  %-26s %9.2f %9.2f %9.2f %10.1f %9.1f\n' "$label" "$wall" "$user" "$sys" "$(mib "$kib")" \
    "$(awk -v b="$map_bytes" -v s="$wall" 'BEGIN { print b / s / 1e6 }')"
  walls[$label]+="$wall "
  [ "${peaks[$label]:-0}" -ge "$kib" ] || peaks[$label]=$kib
}
median_of() { printf '%s\n' ${walls[$1]} | sort -n | awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.2f", m }'; }

# The peers take one source: the stock files concatenated, in name order (not timed).
cat "$data"/Maps/*.qmw >"$data/stock.cat"
stock_cat_bytes=$(stat -c %s "$data/stock.cat")
one=$data/Out/Large.qmp two=$data/Two/Large.qmp
mkdir -p "$data/Two"
printf '  %-26s %9s %9s %9s %10s %9s\n' run "wall s" "user s" "sys s" "peak MiB" "MB/s"
for ((i = 1; i <= runs; i++)); do
  run_once "make, 1 worker" "$one" env MAPDIFF_WORKERS=1 "$mapdiff" make "$data/Maps" "$map" "$one"
  run_once "make, 2 workers" "$two" env MAPDIFF_WORKERS=2 "$mapdiff" make "$data/Maps" "$map" "$two"
  run_once "zstd -3 --long=31" "$data/peer.zst" zstd -q -3 --long=31 --patch-from="$data/stock.cat" "$map" -o "$data/peer.zst"
  run_once "xdelta3 -9 -S none" "$data/peer.x3" xdelta3 -9 -S none -A -B "$stock_cat_bytes" -e -f -s "$data/stock.cat" "$map" "$data/peer.x3"
done

# Every output gives the map back.
digest=$(awk '$1 == "map" { print $3 }' "$data/plan.txt")
"$mapmend" --check-stock --check-rebuilt="$digest" "$data/Maps" "$one" >/dev/null ||
  { echo "mapdiff_speed: mapmend could not rebuild the map from the patch" >&2; exit 1; }
cmp -s "$data/Out/Large.qmw" "$map" || { echo "mapdiff_speed: the rebuilt map differs" >&2; exit 1; }
zstd -q -d --long=31 --patch-from="$data/stock.cat" -c "$data/peer.zst" | cmp -s - "$map" ||
  { echo "mapdiff_speed: zstd did not give the map back" >&2; exit 1; }
xdelta3 -d -c -B "$stock_cat_bytes" -s "$data/stock.cat" "$data/peer.x3" | cmp -s - "$map" ||
  { echo "mapdiff_speed: xdelta3 did not give the map back" >&2; exit 1; }
same_bytes=no
cmp -s "$one" "$two" && same_bytes=yes

xz_size() { xz -9 -T1 -c -- "$1" | wc -c; }
one_s=$(median_of "make, 1 worker") two_s=$(median_of "make, 2 workers") zstd_s=$(median_of "zstd -3 --long=31")
xdelta_s=$(median_of "xdelta3 -9 -S none")
make_xz=$(xz_size "$two") zstd_xz=$(xz_size "$data/peer.zst") xdelta_xz=$(xz_size "$data/peer.x3")
echo
printf '  %-26s %9s %10s %12s %14s\n' "median of $runs" "wall s" "peak MiB" "bytes" "bytes after xz"
printf '  %-26s %9s %10.1f %12s %14s\n' "make, 1 worker" "$one_s" "$(mib "${peaks["make, 1 worker"]}")" "$(stat -c %s "$one")" "$(xz_size "$one")"
printf '  %-26s %9s %10.1f %12s %14s\n' "make, 2 workers" "$two_s" "$(mib "${peaks["make, 2 workers"]}")" "$(stat -c %s "$two")" "$make_xz"
printf '  %-26s %9s %10.1f %12s %14s\n' "zstd -3 --long=31" "$zstd_s" "$(mib "${peaks["zstd -3 --long=31"]}")" "$(stat -c %s "$data/peer.zst")" "$zstd_xz"
printf '  %-26s %9s %10.1f %12s %14s\n' "xdelta3 -9 -S none" "$xdelta_s" "$(mib "${peaks["xdelta3 -9 -S none"]}")" "$(stat -c %s "$data/peer.x3")" "$xdelta_xz"
echo "  targets:"
echo "    2 workers / 1 worker:  $(ratio "$two_s" "$one_s")  <= 0.55 $(verdict "$(ratio "$two_s" "$one_s")" le 0.55)"
echo "    2 workers / zstd -3:   $(ratio "$two_s" "$zstd_s")  <= 0.7 $(verdict "$(ratio "$two_s" "$zstd_s")" le 0.7)"
echo "    peak of 2 workers:     $(mib "${peaks["make, 2 workers"]}") MiB  < 128 MiB $(verdict "${peaks["make, 2 workers"]}" le 131071)"
echo "    after xz / xdelta3's:  $(ratio "$make_xz" "$xdelta_xz")  <= 1 $(verdict "$make_xz" le "$xdelta_xz")"
echo "    the same bytes with 1 and 2 workers: $same_bytes"
echo "  every output applied by its own tool: the map, byte for byte"
# The patch keeps the map's layout, new bytes between runs of zeros; the same bytes grouped by
# kind show what that interleaving costs xz.
kinds=$(build/native/bench/patch_by_kind "$two" "$data/by_kind")
by_kind_xz=$(xz_size "$data/by_kind")
echo "  the patch's bytes grouped by kind ($kinds): $by_kind_xz after xz"\
  "(xdelta3's $xdelta_xz); the map's layout costs $((make_xz - by_kind_xz)) bytes after xz"
rm -f "$data/by_kind"
rm -f "$data/stock.cat" "$data/peer.zst" "$data/peer.x3"
[ "$same_bytes" = yes ] || { echo "mapdiff_speed: one and two workers wrote different patches" >&2; exit 1; }

if $with_wine; then
  echo
  echo "mapdiff.exe make under Wine, one worker per core:"
  printf '  %-10s %9s %9s %9s %10s %9s  %s\n' run "wall s" "user s" "sys s" "peak MiB" "MB/s" target
  maps_arg=$(wine_path "$data/Maps") map_arg=$(wine_path "$map") patch_arg=$(wine_path "$data/Wine/Large.qmp")
  make_runs " (Wine)" "$data/Wine/Large.qmp" wine "$bench/stock-win32/mapdiff/mapdiff.exe"
fi

nonzero=$(tr -d '\000' <"$data/Out/Large.qmp" | wc -c)
echo "  rebuilt by mapmend: identical; the patch holds $nonzero bytes that are not zero"\
  "($(awk -v n="$nonzero" -v t="$map_bytes" 'BEGIN { printf "%.1f", 100 * n / t }') % of it)"
summary=$data/run.make__2_workers.out
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
