#!/usr/bin/env bash
# Packs a mod of four maps with mapdiff.exe, builds the example mod installer from the settings
# that pack wrote with makensis and runs it silently under Wine, as a player's machine would: on
# a good stock set, on a damaged stock map, with a patch that the mod fails to ship, and over
# what an interrupted install left.
# usage: installer_test.sh <makensis> <mapmend.exe> <mapdiff.exe> <make_sample_set.exe> <wine command...>
set -uo pipefail
makensis=$1 mapmend=$2 mapdiff=$3 make_sample_set=$4
shift 4
wine=("$@")
here=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
windows() { echo "Z:$1" | tr / '\\'; }
# Every file under a folder with its digest, to show that a run left it as it was.
state() { (cd "$1" && find . | LC_ALL=C sort | while read -r f; do
  if [ -f "$f" ]; then echo "$f $(md5sum < "$f" | cut -c1-32)"; else echo "$f/"; fi; done); }

"${wine[@]}" "$make_sample_set" "$(windows "$work/sample")" "$(windows "$work/Riverlands")" ||
  { echo "the sample set could not be written"; exit 1; }
"${wine[@]}" "$mapdiff" pack "$(windows "$work/sample/Maps")" "$(windows "$work/Riverlands")" "$(windows "$work/packed")" \
  > "$work/pack.log" || { cat "$work/pack.log"; echo "mapdiff pack failed"; exit 1; }
maps="Aqueduct.qmw Bastion.qmw Cove.qmw Estuary.qmw"

# The mod as packed, and the same mod with Bastion's patch left out, which Aqueduct draws on.
grep -q '"Bastion"' "$work/packed/Riverlands.nsh" || fail "the settings do not name Bastion"
grep -v '"Bastion"' "$work/packed/Riverlands.nsh" > "$work/no_bastion.nsh"
build() { # <settings> <installer>
  "$makensis" -V2 -DMOD_SETTINGS="$1" -DMOD_FILES="$work/packed" -DMAPMEND="$mapmend" -DMAPDIFF="$mapdiff" \
    -DOUTFILE="$2" "$here/installer/mod_installer.nsi" > "$work/makensis.log" 2>&1 ||
    { cat "$work/makensis.log"; echo "makensis failed"; exit 1; }
}
build "$work/packed/Riverlands.nsh" "$work/Riverlands-mod.exe"
build "$work/no_bastion.nsh" "$work/Broken-mod.exe"

# A game folder with the sample's stock maps; runs an installer on it silently.
game_folder() { mkdir -p "$work/$1/Content/Q5/Maps" && cp "$work/sample/Maps/"* "$work/$1/Content/Q5/Maps/"; }
install() { # <installer> <game folder>; sets status
  rm -f "$work/$2.log"
  "${wine[@]}" "$work/$1" /S /LOG="$(windows "$work/$2.log")" /D="$(windows "$work/$2")"
  status=$?
  echo "$1 on $2: exit status $status; log:"
  tr -d '\r' < "$work/$2.log" 2>/dev/null | sed 's/^/  /'
}
# Every map of the mod as its author made it, checked with the installed manifest too.
installed_as_authored() { # <game folder> <case>
  local folder=$work/$1/Mods/Riverlands map
  for map in $maps; do
    cmp -s "$folder/$map" "$work/Riverlands/$map" || fail "$2: $map is not the author's map"
  done
  (cd "$folder" && md5sum --check --quiet Riverlands.md5) || fail "$2: md5sum -c Riverlands.md5 fails"
}

# 1. A good stock set: every map rebuilt byte for byte, each call's "All OK." in the log; the
#    patches and mapmend.exe gone; the stock maps untouched.
game_folder good
maps_before=$(state "$work/good/Content")
install Riverlands-mod.exe good
[ "$status" -eq 0 ] || fail "good stock set: exit status $status"
installed_as_authored good "good stock set"
listing=$(cd "$work/good/Mods/Riverlands" 2>/dev/null && ls | tr '\n' ' ')
[ "$listing" = "$maps Riverlands.md5 " ] || fail "good stock set: the mod folder holds: $listing"
[ "$(grep -c ': All OK.' "$work/good.log")" -eq 4 ] || fail "good stock set: not four \"All OK.\" in the log"
[ "$(state "$work/good/Content")" = "$maps_before" ] || fail "good stock set: the stock maps changed"

# 2. One stock map damaged: mapmend's status 7 and its line, then check-stock's line naming the
#    map with its expected and found MD5; no map written, the game folder exactly as before.
game_folder damaged
canyon=$work/damaged/Content/Q5/Maps/Canyon.qmw
expected=$(md5sum < "$canyon" | cut -c1-32)
printf 'X' | dd of="$canyon" bs=1 seek=100 conv=notrunc status=none
found=$(md5sum < "$canyon" | cut -c1-32)
before=$(state "$work/damaged")
install Riverlands-mod.exe damaged
[ "$status" -eq 7 ] || fail "damaged stock map: exit status $status, not mapmend's 7"
grep -q "Error: Stock QMW verification failed." "$work/damaged.log" ||
  fail "damaged stock map: the log lacks mapmend's line"
grep -q "differs  *Canyon.qmw  *expected $expected, found $found" "$work/damaged.log" ||
  fail "damaged stock map: the log does not name Canyon.qmw with $expected and $found"
[ "$(grep -c '^mapdiff check-stock: ok ' "$work/damaged.log")" -eq 30 ] ||
  fail "damaged stock map: the log does not list the 30 good stock maps"
[ "$(state "$work/damaged")" = "$before" ] || {
  fail "damaged stock map: the game folder changed"; diff <(echo "$before") <(state "$work/damaged"); }

# 3. A patch that the mod does not ship: the maps before Aqueduct are rebuilt, Aqueduct's
#    rebuild fails (status 9), and nothing of the mod stays behind.
game_folder missing
before=$(state "$work/missing")
install Broken-mod.exe missing
[ "$status" -eq 9 ] || fail "missing patch: exit status $status, not mapmend's 9"
grep -q "Aqueduct.qmp: Error: QMW rebuild failed." "$work/missing.log" || fail "missing patch: the log lacks mapmend's line"
grep -q "Cove.qmp: All OK." "$work/missing.log" || fail "missing patch: Cove was not rebuilt before Aqueduct"
[ "$(state "$work/missing")" = "$before" ] || {
  fail "missing patch: the game folder changed"; diff <(echo "$before") <(state "$work/missing"); }

# 4. Installed again over what an interrupted install left: partial maps (here copies of their
#    patches) of the first and the last map, each with the marker of a map not finished. mapmend
#    moves each aside and the install succeeds.
game_folder again
mkdir -p "$work/again/Mods/Riverlands"
first=$(head -n1 "$work/packed/Riverlands.md5" | cut -c35-) last=$(tail -n1 "$work/packed/Riverlands.md5" | cut -c35-)
for map in "$first" "$last"; do
  cp "$work/packed/${map%.qmw}.qmp" "$work/again/Mods/Riverlands/$map"
  touch "$work/again/Mods/Riverlands/$map.rebuilding"
done
install Riverlands-mod.exe again
[ "$status" -eq 0 ] || fail "after an interrupted install: exit status $status"
installed_as_authored again "after an interrupted install"
left=$(cd "$work/again/Mods/Riverlands" && ls | grep -c '\.old$')
[ "$left" -eq 2 ] || fail "after an interrupted install: $left maps moved aside, not 2"
markers=$(cd "$work/again/Mods/Riverlands" && ls | grep -c '\.rebuilding$')
[ "$markers" -eq 0 ] || fail "after an interrupted install: $markers markers left"

[ "$failures" -eq 0 ] || exit 1
echo "the installer passed all four cases"
