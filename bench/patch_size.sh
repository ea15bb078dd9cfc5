#!/usr/bin/env bash
# Patch sizes: `mapdiff make` against the general patching tools on a generated, seeded set
# (bench/patch_scenarios.cpp): 31 stock maps that share named resources, a mod's own map, and one
# modified map per scenario. For each scenario one table, in bytes:
#   - mapdiff's patch after xz -9 (patches ship inside compressed archives); every patch is
#     rebuilt by mapmend and compared with the map byte for byte;
#   - xdelta3 -9 without secondary compression (-S none), then xz -9: with the best single source
#     and with all sources concatenated into one;
#   - bsdiff with the best single source, as it writes it (bsdiff compresses its output with
#     bzip2 itself, so it is not compressed again).
# Sources are the 31 stock maps, and for the scenario that draws on the mod's own map, that map
# too. The best single source: xdelta3's raw output ranks every source, and the three best are
# tried in full with each tool; the smallest result counts. Every peer patch is applied again
# (xdelta3 -d, bspatch) and compared with the map.
#
# usage: bench/patch_size.sh [seed, default 1]
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
root=$PWD
seed=${1:-1}
bench=build/bench
data=$bench/patch-size
trap 'rm -rf "$root/$data"' EXIT

for tool in xdelta3 bsdiff bspatch xz cmp md5sum; do
  command -v $tool >/dev/null || { echo "patch_size: $tool is missing (scripts/install-packages native installs it)" >&2; exit 1; }
done

echo "building ..." >&2
cmake --preset native >/dev/null
cmake --build --preset native --target make_patch_scenarios >/dev/null
rm -rf "$data"
mkdir -p "$data"
build/native/bench/make_patch_scenarios "$data" "$seed" >"$data/plan.txt"

# mapdiff draws only on stock files that its compiled stock table vouches for: a build of it
# whose table is this set's, configured as the presets are.
scripts/make-stock-table --force "$data/Maps" "$bench/patch-stock.md5.new" >/dev/null
cmp -s "$bench/patch-stock.md5.new" "$bench/patch-stock.md5" 2>/dev/null || mv "$bench/patch-stock.md5.new" "$bench/patch-stock.md5"
rm -f "$bench/patch-stock.md5.new"
stock_build=$bench/patch-stock-native
cmake --preset native -B "$stock_build" -DMAPMEND_BUILD_TESTS=OFF -DMAPMEND_STOCK_TABLE="$root/$bench/patch-stock.md5" >/dev/null
with_mapdiff=false
if [ -f mapdiff/CMakeLists.txt ]; then
  cmake --build "$stock_build" --target mapmend mapdiff >/dev/null
  with_mapdiff=true
else
  cmake --build "$stock_build" --target mapmend >/dev/null
fi
mapmend=$stock_build/mapmend/mapmend
mapdiff=$stock_build/mapdiff/mapdiff
"$mapmend" --check-stock "$data/Maps" >/dev/null ||
  { echo "patch_size: the stock build's table does not vouch for the generated stock set" >&2; exit 1; }

echo
echo "Patch sizes, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo '?'), seed $seed"
echo "tools: $(xdelta3 -V 2>&1 | head -n 1 | cut -d, -f1), bsdiff $(dpkg-query -W -f='${Version}' bsdiff 2>/dev/null || echo '?'),"\
  "$(xz --version | head -n 1)"
stock_bytes=$(cat "$data"/Maps/*.qmw | wc -c)
echo "stock set: 31 maps, $stock_bytes bytes; mod's own map: $(cat "$data"/Mods/*.qmw | wc -c) bytes; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
$with_mapdiff || echo "mapdiff is not part of this tree: its rows are left out"
echo

xz_size() { xz -9 -c -- "$1" | wc -c; }

# xdelta_patch <source> <map> <patch> [check]: xdelta3 -9 -S none, without the header that names
# the files; the source window holds the whole source. With "check", the patch is applied again.
xdelta_patch() {
  local window
  window=$(stat -c %s "$1")
  [ "$window" -ge $((64 << 20)) ] || window=$((64 << 20))
  xdelta3 -9 -S none -A -B "$window" -e -f -s "$1" "$2" "$3"
  [ "${4:-}" = check ] || return 0
  xdelta3 -d -c -B "$window" -s "$1" "$3" | cmp -s - "$2" ||
    { echo "patch_size: xdelta3 did not give the map back from $1" >&2; exit 1; }
}

bsdiff_patch() {
  bsdiff "$1" "$2" "$3"
  bspatch "$1" "$3.out" "$3"
  cmp -s "$3.out" "$2" || { echo "patch_size: bspatch did not give the map back from $1" >&2; exit 1; }
  rm -f "$3.out"
}

row() { printf '  %-36s %-52s %8s %11s  %s\n' "$@"; }
summary=()

while read -r _ name map beside held alignment description <&3; do
  target=$data/$map
  work=$data/work/$name
  mkdir -p "$work"
  sources=("$data"/Maps/*.qmw)
  [ "$beside" = - ] || sources+=("$data/$beside"/*.qmw)
  map_bytes=$(stat -c %s "$target")

  # Best single source: rank by xdelta3's raw size, then try the three best in full.
  mapfile -t ranked < <(for s in "${sources[@]}"; do
    xdelta_patch "$s" "$target" "$work/rank.x3"
    echo "$(stat -c %s "$work/rank.x3") $s"
  done | sort -n | head -n 3 | cut -d' ' -f2-)
  best_x3='' best_x3_from='' best_bs='' best_bs_from=''
  for s in "${ranked[@]}"; do
    xdelta_patch "$s" "$target" "$work/single.x3" check
    size=$(xz_size "$work/single.x3")
    [ -n "$best_x3" ] && [ "$size" -ge "$best_x3" ] || { best_x3=$size; best_x3_from=${s##*/}; }
    bsdiff_patch "$s" "$target" "$work/single.bsdiff"
    size=$(stat -c %s "$work/single.bsdiff")
    [ -n "$best_bs" ] && [ "$size" -ge "$best_bs" ] || { best_bs=$size; best_bs_from=${s##*/}; }
  done

  cat "${sources[@]}" >"$work/all.bin"
  xdelta_patch "$work/all.bin" "$target" "$work/all.x3" check
  all_x3=$(xz_size "$work/all.x3")
  rm -f "$work/all.bin"
  best_peer=$best_x3
  [ "$all_x3" -ge "$best_peer" ] || best_peer=$all_x3
  [ "$best_bs" -ge "$best_peer" ] || best_peer=$best_bs

  set_label="31 stock maps"
  [ "$beside" = - ] || set_label="31 stock maps + $beside/*.qmw beside"
  echo "Scenario \"$name\" ($alignment): $description"
  # What every patch in this format carries as it is: the header and the entry table, and the
  # map's length; its floor is those bytes with zeros behind them, after xz -9.
  entries=$(od -An -t d4 -j 24 -N 4 "$target" | tr -d ' ')
  table_bytes=$((52 + 308 * entries))
  head -c $table_bytes "$target" >"$work/table"
  floor=$({ cat "$work/table"; head -c $((map_bytes - table_bytes)) /dev/zero; } | xz -9 -c | wc -c)
  echo "  map ${map##*/}: $map_bytes bytes, $(xz_size "$target") after xz -9 alone; its header and table"\
    "($entries entries): $(xz_size "$work/table") after xz -9, with zeros up to the map's length: $floor"
  row method source bytes "x best peer" ""
  mapdiff_bytes=- chunk_nonzero=- free_refs=- why=-
  if $with_mapdiff; then
    stem=$(basename "$map" .qmw)
    out=$data/out/$name
    mkdir -p "$out"
    beside_args=()
    [ "$beside" = - ] || beside_args=(--beside "$data/$beside")
    "$mapdiff" make "${beside_args[@]}" "$data/Maps" "$target" "$out/$stem.qmp" >"$work/summary" </dev/null ||
      { echo "patch_size: mapdiff make failed for $name:" >&2; cat "$work/summary" >&2; exit 1; }
    mapdiff_bytes=$(xz_size "$out/$stem.qmp")
    # The rebuild as an installer runs it, with the mod's own maps beside the patch.
    [ "$beside" = - ] || cp "$data/$beside"/*.qmw "$out/"
    digest=$(md5sum <"$target" | cut -d' ' -f1)
    "$mapmend" --check-stock --check-rebuilt="$digest" "$data/Maps" "$out/$stem.qmp" >"$work/rebuild" </dev/null ||
      { echo "patch_size: mapmend could not rebuild $name: $(cat "$work/rebuild")" >&2; exit 1; }
    cmp -s "$out/$stem.qmw" "$target" || { echo "patch_size: the rebuilt $stem.qmw differs from the map" >&2; exit 1; }
    row "mapdiff make, then xz -9" "$set_label" "$mapdiff_bytes" \
      "$(awk -v a="$mapdiff_bytes" -v b="$best_peer" 'BEGIN { printf "%.3f", a / b }')" "rebuilt by mapmend: identical"
  fi
  row "xdelta3 -9 -S none, then xz -9" "$best_x3_from (best single)" "$best_x3" \
    "$(awk -v a="$best_x3" -v b="$best_peer" 'BEGIN { printf "%.3f", a / b }')"
  row "xdelta3 -9 -S none, then xz -9" "all $set_label, concatenated" "$all_x3" \
    "$(awk -v a="$all_x3" -v b="$best_peer" 'BEGIN { printf "%.3f", a / b }')"
  row "bsdiff, as is (bzip2 inside)" "$best_bs_from (best single)" "$best_bs" \
    "$(awk -v a="$best_bs" -v b="$best_peer" 'BEGIN { printf "%.3f", a / b }')"
  if $with_mapdiff; then
    verdict=$([ "$mapdiff_bytes" -le "$best_peer" ] && echo "no larger than the best peer" || echo "LARGER than the best peer")
    target_note=$([ "$alignment" = aligned ] && echo "target: no larger" || echo "no target: chunks shifted")
    echo "  mapdiff: $verdict ($target_note)"
    grep -E 'entries referenced|not zero|needed beside' "$work/summary" | sed 's/^/  | /'
    if [ "$alignment" = aligned ]; then
      # Where mapdiff could still gain: its chunks' bytes that are not zero against those that
      # no source holds (bench/patch_scenarios.h), and its patch with the map's own table in
      # place of the one that carries the source references.
      chunk_nonzero=$(tail -c +$((table_bytes + 1)) "$out/$stem.qmp" | tr -d '\000' | wc -c)
      free_refs=$({ cat "$work/table"; tail -c +$((table_bytes + 1)) "$out/$stem.qmp"; } | xz -9 -c | wc -c)
      echo "  its chunks: $chunk_nonzero bytes not zero; bytes of the map that no source holds: $held;"\
        "the patch with its source references free (the map's own table in place): $free_refs"
      why=-
      if [ "$mapdiff_bytes" -gt "$best_peer" ]; then
        if [ "$floor" -gt "$best_peer" ]; then
          why=floor
          echo "  why larger: the format's floor alone ($floor) is above the best peer: the patch holds the map's header"\
            "and table as they are and its whole length, where a peer copies the table from a source"
        elif [ "$free_refs" -gt "$best_peer" ] && [ "$chunk_nonzero" -le "$held" ]; then
          why=held
          echo "  why larger: its chunks are not zero only where no source holds the map's bytes, and those bytes,"\
            "stored in place among zeros, with the table as it is, already exceed the best peer even with the source"\
            "references free; the format has no shorter way to carry them"
        else
          why=room
          echo "  why larger: not the format: a patch in it could be smaller"
        fi
      fi
    fi
  fi
  echo
  summary+=("$(printf '  %-10s %-8s %10s %7s %9s %9s %10s %10s %10s %10s %10s %8s %5s' "$name" "$alignment" "$map_bytes" "$floor" "$held" \
    "$chunk_nonzero" "$mapdiff_bytes" "$free_refs" "$best_x3" "$all_x3" "$best_bs" \
    "$($with_mapdiff && awk -v a="$mapdiff_bytes" -v b="$best_peer" 'BEGIN { printf "%.3f", a / b }' || echo -)" "$why")")
  rm -rf "$work"
done 3<"$data/plan.txt"

echo "Summary in bytes (mapdiff and xdelta3 after xz -9, bsdiff as is); ratio = mapdiff / best peer;"
echo "floor = the map's header and table followed by zeros up to its length, after xz -9: what every patch of this format carries;"
echo "no source = bytes of the map that no source holds; not zero = bytes of mapdiff's chunks that are not zero;"
echo "refs free = mapdiff's patch with the map's own table in place of the one with source references, after xz -9;"
echo "why = why mapdiff is larger where the chunks keep their alignment: floor (the floor is above the best peer),"
echo "held (the bytes no source holds, with the table, exceed it; mapdiff's chunks are zero everywhere else), room (mapdiff could do better)"
printf '  %-10s %-8s %10s %7s %9s %9s %10s %10s %10s %10s %10s %8s %5s\n' scenario chunks map floor "no source" "not zero" mapdiff \
  "refs free" "x3 single" "x3 all" "bsdiff" ratio why
printf '%s\n' "${summary[@]}"
