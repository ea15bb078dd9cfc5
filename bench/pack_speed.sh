#!/usr/bin/env bash
# Speed, memory and patch sizes of `mapdiff pack` on a whole mod: bench/make_bench_set's stock set
# (31 files, about 1 GiB, the same as bench/run's) and bench/make_bench_mod's mod of eight maps
# (about 490 MiB: Bastion.qmw of 256 MiB; chains of maps copying runs of each other's bytes and of
# several stock maps; one map named like a stock map; one mostly new bytes).
#
# Prints:
#   - the sum of the single `mapdiff make` runs an author would otherwise make, one per map in
#     pack's install order, each with --beside a folder of the maps before it, natively and (with
#     Wine) by mapdiff.exe;
#   - `mapdiff pack` natively: wall time, processor time, peak resident memory (/usr/bin/time -v);
#     targets: less than 0.6 x the sum of the native make runs, and less than 256 MiB;
#   - the same pack by mapdiff.exe under Wine (when Wine and mingw-w64 are there), its peak taken
#     as bench/mapdiff_speed.sh takes it (the kernel's high-water mark of the process that ran
#     mapdiff.exe), against the sum of mapdiff.exe's make runs; not judged where 32-bit code is
#     emulated; its files must equal the native ones;
#   - the set installed as the installer does it: mapmend with --check-stock, --check-rebuilt and
#     --delete-qmp on each patch in the manifest's order, each map compared with the author's, and
#     md5sum -c <mod>.md5 in the installed folder;
#   - patch sizes after xz -9, map by map, against the single-file peers: xdelta3 -9 -S none and
#     zstd -3 --long=31 --patch-from with one source, then xz -9: for each the smaller of those with
#     the two sources the map copies most bytes from (make_bench_mod's plan), stock or the mod's
#     own; and the peers' wall time summed over the maps, for that source.
#   PACK_SIZES=no leaves the sizes out (xz -9 and xdelta3 take most of the run); PACK_WINE=no the
#   rows of mapdiff.exe.
#
# usage: bench/pack_speed.sh     PACK_RUNS=<n> timed runs of each pack (default 1), PACK_SIZES=no, PACK_WINE=no
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
source bench/timing.sh
source bench/stock_builds.sh
root=$PWD
runs=${PACK_RUNS:-1}
bench=build/bench
data=$bench/pack-speed
trap 'rm -rf "$root/$data"' EXIT

for tool in xdelta3 zstd xz cmp md5sum; do
  command -v $tool >/dev/null || { echo "pack_speed: $tool is missing (scripts/install-packages native installs it)" >&2; exit 1; }
done

echo "building ..." >&2
cmake --preset native >/dev/null
cmake --build --preset native --target make_bench_set make_bench_mod >/dev/null
rm -rf "$data"
mkdir -p "$data/Maps" "$data/Mods" "$data/Mod"
echo "writing the data set ..." >&2
build/native/bench/make_bench_set "$data" 8 --map >/dev/null
rm -f "$data/Mods/Large.qmw"
build/native/bench/make_bench_mod "$data" >"$data/plan.txt"

# The same stock set as bench/run's, so the same table and builds.
use_stock_set "$data/Maps"
build_with_stock_table native mapmend mapdiff
mapmend=$stock_build/mapmend/mapmend
mapdiff=$stock_build/mapdiff/mapdiff
with_wine=false
if [ "${PACK_WINE:-yes}" != no ] && wine_usable; then
  build_with_stock_table win32 mapdiff
  with_wine=true
fi

stock_bytes=$(cat "$data"/Maps/*.qmw | wc -c)
mod_bytes=$(cat "$data"/Mod/*.qmw | wc -c)
echo
echo "mapdiff pack, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
machine_line
echo "mod: $(ls "$data/Mod" | wc -l) maps, $((mod_bytes >> 20)) MiB; stock: 31 maps, $((stock_bytes >> 20)) MiB;"\
  "page cache warm (the files were just written)"
! $with_wine || wine_line

# timed <label> <command...>: runs the command under /usr/bin/time -v; sets wall, user, sys, kib.
timed() {
  local label=$1
  shift
  sync
  /usr/bin/time -v -o "$data/time.txt" "$@" >"$data/$label.out" 2>"$data/$label.err" </dev/null ||
    { echo "pack_speed: $label failed:" >&2; cat "$data/$label.out" "$data/$label.err" >&2; exit 1; }
  read_time_report "$data/time.txt"
}

# A first pack gives the install order that the single make runs follow.
"$mapdiff" pack "$data/Maps" "$data/Mod" "$data/Order" >/dev/null </dev/null
mapfile -t order < <(awk '{ print $2 }' "$data/Order/Mod.md5")
rm -rf "$data/Order"

# make_runs <row suffix> <path converter> <program...>: one make per map in install order, each
# --beside a folder of the maps before it; sets make_wall (the sum) and make_peak (the largest).
make_runs() {
  local suffix=$1 convert=$2 map earlier beside before=()
  shift 2
  rm -rf "$data/Single" "$data/Beside"
  mkdir -p "$data/Single"
  make_wall=0 make_peak=0
  for map in "${order[@]}"; do
    beside=$data/Beside/${map%.qmw}
    mkdir -p "$beside"
    for earlier in "${before[@]}"; do ln "$data/Mod/$earlier" "$beside/$earlier"; done
    timed "make-${map%.qmw}" "$@" make --beside "$($convert "$beside")" "$($convert "$data/Maps")" \
      "$($convert "$data/Mod/$map")" "$($convert "$data/Single/${map%.qmw}.qmp")"
    printf '  %-20s %10s %9.2f %9.2f %9.2f %10.1f\n' "$map$suffix" "$(stat -c %s "$data/Mod/$map")" "$wall" "$user" "$sys" "$(mib "$kib")"
    make_wall=$(awk -v a="$make_wall" -v b="$wall" 'BEGIN { print a + b }')
    [ "$kib" -le "$make_peak" ] || make_peak=$kib
    before+=("$map")
  done
  rm -rf "$data/Beside"
  printf '  %-20s %10s %9.2f %9s %9s %10.1f  (largest)\n' "sum$suffix" "$mod_bytes" "$make_wall" "" "" "$(mib "$make_peak")"
}
as_is() { printf '%s' "$1"; }

echo
echo "Single make runs, one per map in install order, each --beside the maps before it:"
printf '  %-20s %10s %9s %9s %9s %10s\n' map bytes "wall s" "user s" "sys s" "peak MiB"
make_runs "" as_is "$mapdiff"
nonzero_make=$(cat "$data"/Single/*.qmp | tr -d '\000' | wc -c)
native_make_wall=$make_wall
if $with_wine; then
  make_runs " (Wine)" wine_path wine "$bench/stock-win32/mapdiff/mapdiff.exe"
  wine_make_wall=$make_wall
fi


echo
echo "mapdiff pack:"
printf '  %-10s %9s %9s %9s %10s %8s  %s\n' run "wall s" "user s" "sys s" "peak MiB" "x makes" target
for ((i = 1; i <= runs; i++)); do
  rm -rf "$data/Out"
  timed pack "$mapdiff" pack "$data/Maps" "$data/Mod" "$data/Out"
  share=$(ratio "$wall" "$native_make_wall")
  printf '  %-10s %9.2f %9.2f %9.2f %10.1f %8s  %s\n' "$i" "$wall" "$user" "$sys" "$(mib "$kib")" "$share" \
    "< 0.6 x makes $(verdict "$share" le 0.6), < 256 MiB $(verdict "$kib" le 262143)"
done
sed 's/^/  | /' "$data/pack.out"

if $with_wine; then
  exe=$bench/stock-win32/mapdiff/mapdiff.exe
  for ((i = 1; i <= runs; i++)); do
    rm -rf "$data/OutWine"
    sync
    /usr/bin/time -v -o "$data/time.txt" wine "$exe" pack "$(wine_path "$data/Maps")" "$(wine_path "$data/Mod")" \
      "$(wine_path "$data/OutWine")" >"$data/wine.out" 2>/dev/null </dev/null &
    timer=$!
    watch_exe "$timer" 'mapdiff\.exe pack' >"$data/seen" &
    watcher=$!
    wait "$timer" || { echo "pack_speed: mapdiff.exe pack failed:" >&2; cat "$data/wine.out" >&2; exit 1; }
    wait "$watcher"
    read_time_report "$data/time.txt"
    seen=$(awk '$2 > m { m = $2 } END { print m + 0 }' "$data/seen")
    note="(VmHWM of mapdiff.exe's process seen in /proc: $(mib "$seen") MiB)"
    if [ "$seen" = 0 ] || [ "$seen" -gt $((kib + kib / 100)) ]; then
      note="(mapdiff.exe was not seen in the process time waited on: its peak is not measured here)"
      [ "$i386_runs_as" != native ] || { echo "pack_speed: $note" >&2; exit 1; }
    fi
    share=$(ratio "$wall" "$wine_make_wall")
    target="< 0.6 x makes $(verdict "$share" le 0.6), < 256 MiB $(verdict "$kib" le 262143)"
    [ "$i386_runs_as" = native ] || target="not judged, emulated"
    printf '  %-10s %9.2f %9.2f %9.2f %10.1f %8s  %s %s\n' "$i (Wine)" "$wall" "$user" "$sys" "$(mib "$kib")" "$share" "$target" "$note"
  done
  same=identical
  for file in "$data"/Out/*; do cmp -s "$file" "$data/OutWine/${file##*/}" || same="DIFFERENT (${file##*/})"; done
  [ "$(ls "$data/Out")" = "$(ls "$data/OutWine")" ] || same="DIFFERENT (the files written)"
  echo "  mapdiff.exe's files against the native ones: $same"
  [ "$same" = identical ] || exit 1
fi

# The installer's calls, in the manifest's order, on a folder that holds the patches alone.
mkdir -p "$data/Installed"
cp "$data"/Out/*.qmp "$data/Installed/"
first=--check-stock
while read -r digest map; do
  "$mapmend" $first --check-rebuilt="$digest" --delete-qmp "$data/Maps" "$data/Installed/${map%.qmw}.qmp" >"$data/mended" </dev/null ||
    { echo "pack_speed: mapmend failed on ${map%.qmw}.qmp: $(cat "$data/mended")" >&2; exit 1; }
  cmp -s "$data/Installed/$map" "$data/Mod/$map" || { echo "pack_speed: the rebuilt $map differs" >&2; exit 1; }
  first=
done <"$data/Out/Mod.md5"
(cd "$data/Installed" && md5sum -c --quiet ../Out/Mod.md5) || { echo "pack_speed: md5sum -c failed" >&2; exit 1; }
[ -z "$(ls "$data/Installed"/*.qmp 2>/dev/null)" ] || { echo "pack_speed: a patch was left" >&2; exit 1; }
echo "  installed by mapmend in the manifest's order: every map identical to the author's, md5sum -c passes, no patch left"
nonzero_pack=$(cat "$data"/Out/*.qmp | tr -d '\000' | wc -c)
echo "  bytes not zero: pack's patches $nonzero_pack, the single make runs' $nonzero_make"

# xdelta_patch <source> <map> <patch>: xdelta3 -9 -S none, without the header that names the
# files; the source window holds the whole source; applied again and compared.
xdelta_patch() {
  local window
  window=$(stat -c %s "$1")
  [ "$window" -ge $((64 << 20)) ] || window=$((64 << 20))
  xdelta3 -9 -S none -A -B "$window" -e -f -s "$1" "$2" "$3"
  xdelta3 -d -c -B "$window" -s "$1" "$3" | cmp -s - "$2" || { echo "pack_speed: xdelta3 did not give $2 back" >&2; exit 1; }
}
# zstd_patch <source> <map> <patch>: the same with zstd -3 --long=31 --patch-from.
zstd_patch() {
  zstd -q -f -3 --long=31 --patch-from="$1" "$2" -o "$3"
  zstd -q -d --long=31 --patch-from="$1" -c "$3" | cmp -s - "$2" || { echo "pack_speed: zstd did not give $2 back" >&2; exit 1; }
}
# timed_peer <tool function> <source> <map> <patch>: sets peer_s, the wall time of the making alone.
timed_peer() {
  local start end
  start=$(date +%s%N)
  "$1" "$2" "$3" "$4"
  end=$(date +%s%N)
  peer_s=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
}
xz_size() { xz -9 -c -- "$1" | wc -c; }
[ "${PACK_SIZES:-yes}" != no ] || exit 0

echo
echo "Patch sizes after xz -9, in bytes; peers: xdelta3 -9 -S none and zstd -3 --long=31 --patch-from, then xz -9, each"
echo "with the better of the two sources the map copies most bytes from (its wall time: the making alone, with that source):"
printf '  %-14s %10s %10s %10s %7s %-18s %10s %7s %-18s\n' map bytes pack xdelta3 ratio "xdelta3's source" zstd ratio "zstd's source"
pack_sum=0 peer_sum=0 zstd_sum=0 xdelta_wall=0 zstd_wall=0
for map in "${order[@]}"; do
  packed=$(xz_size "$data/Out/${map%.qmw}.qmp")
  best='' best_from='' best_s='' zbest='' zbest_from='' zbest_s=''
  while read -r source; do
    if [ -f "$data/Mod/$source" ] && [ "$source" != "$map" ]; then from=$data/Mod/$source; else from=$data/Maps/$source; fi
    timed_peer xdelta_patch "$from" "$data/Mod/$map" "$data/peer.x3"
    size=$(xz_size "$data/peer.x3")
    [ -n "$best" ] && [ "$size" -ge "$best" ] || { best=$size; best_from=$source; best_s=$peer_s; }
    timed_peer zstd_patch "$from" "$data/Mod/$map" "$data/peer.zst"
    size=$(xz_size "$data/peer.zst")
    [ -n "$zbest" ] && [ "$size" -ge "$zbest" ] || { zbest=$size; zbest_from=$source; zbest_s=$peer_s; }
  done < <(awk -v m="$map" '$1 == "from" && $2 == m { print $4, $3 }' "$data/plan.txt" | sort -rn | head -n 2 | cut -d' ' -f2)
  [ "${best_from}" != "$map" ] || best_from="$map (stock)"
  [ "${zbest_from}" != "$map" ] || zbest_from="$map (stock)"
  printf '  %-14s %10s %10s %10s %7s %-18s %10s %7s %-18s\n' "$map" "$(stat -c %s "$data/Mod/$map")" "$packed" "$best" \
    "$(ratio "$packed" "$best")" "$best_from" "$zbest" "$(ratio "$packed" "$zbest")" "$zbest_from"
  pack_sum=$((pack_sum + packed))
  peer_sum=$((peer_sum + best))
  zstd_sum=$((zstd_sum + zbest))
  xdelta_wall=$(awk -v a="$xdelta_wall" -v b="$best_s" 'BEGIN { print a + b }')
  zstd_wall=$(awk -v a="$zstd_wall" -v b="$zbest_s" 'BEGIN { print a + b }')
done
rm -f "$data/peer.zst"
printf '  %-14s %10s %10s %10s %7s %-18s %10s %7s\n' total "$mod_bytes" "$pack_sum" "$peer_sum" "$(ratio "$pack_sum" "$peer_sum")" "" \
  "$zstd_sum" "$(ratio "$pack_sum" "$zstd_sum")"
echo "  wall time of the peers summed over the maps: xdelta3 ${xdelta_wall} s, zstd ${zstd_wall} s (pack above: the whole mod in one run)"
rm -f "$data/peer.x3"

