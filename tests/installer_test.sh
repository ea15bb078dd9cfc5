#!/usr/bin/env bash
# Builds the example mod installer from the sample set with makensis and runs it silently
# under Wine, as a player's machine would: on a good stock set, on a damaged stock map, with a
# sibling patch that the mod fails to ship, and over what an interrupted install left.
# usage: installer_test.sh <makensis> <mapmend.exe> <make_sample_set.exe> <wine command...>
set -uo pipefail
makensis=$1 mapmend=$2 make_sample_set=$3
shift 3
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

"${wine[@]}" "$make_sample_set" "$(windows "$work/sample")" || { echo "the sample set could not be written"; exit 1; }
digest=$(md5sum < "$work/sample/Expected/Riverside.qmw" | cut -c1-32)
grep -q "MOD_MD5 \"$digest\"" "$here/installer/example_mod.nsh" ||
  fail "installer/example_mod.nsh does not hold the sample map's digest $digest"

# The example mod, and the same mod with its sibling patch left out.
sed 's/^  !insertmacro ${action} "Outpost"$//' "$here/installer/example_mod.nsh" > "$work/no_sibling.nsh"
grep -qF '"Outpost"' "$work/no_sibling.nsh" && fail "the sibling could not be left out of the settings"
build() { # <settings> <installer>
  "$makensis" -V2 -DMOD_SETTINGS="$1" -DMOD_FILES="$work/sample/Mods" -DMAPMEND="$mapmend" \
    -DOUTFILE="$2" "$here/installer/mod_installer.nsi" > "$work/makensis.log" 2>&1 ||
    { cat "$work/makensis.log"; echo "makensis failed"; exit 1; }
}
build "$here/installer/example_mod.nsh" "$work/Riverside-mod.exe"
build "$work/no_sibling.nsh" "$work/Broken-mod.exe"

# A game folder with the sample's stock maps; runs an installer on it silently.
game_folder() { mkdir -p "$work/$1/Content/Q5/Maps" && cp "$work/sample/Maps/"* "$work/$1/Content/Q5/Maps/"; }
install() { # <installer> <game folder>; sets status
  rm -f "$work/$2.log"
  "${wine[@]}" "$work/$1" /S /LOG="$(windows "$work/$2.log")" /D="$(windows "$work/$2")"
  status=$?
  echo "$1 on $2: exit status $status; log: $(tr -d '\r' < "$work/$2.log" 2>/dev/null)"
}

# 1. A good stock set: the map rebuilt byte for byte; the patches, the sibling's map and
#    mapmend.exe gone; the stock maps untouched.
game_folder good
maps_before=$(state "$work/good/Content")
install Riverside-mod.exe good
[ "$status" -eq 0 ] || fail "good stock set: exit status $status"
cmp -s "$work/good/Mods/Riverside/Riverside.qmw" "$work/sample/Expected/Riverside.qmw" ||
  fail "good stock set: Riverside.qmw is not the expected map"
listing=$(cd "$work/good/Mods/Riverside" 2>/dev/null && ls | tr '\n' ' ')
[ "$listing" = "Riverside.qmw " ] || fail "good stock set: the mod folder holds: $listing"
grep -q "mapmend: All OK." "$work/good.log" || fail "good stock set: no \"All OK.\" in the log"
[ "$(state "$work/good/Content")" = "$maps_before" ] || fail "good stock set: the stock maps changed"

# 2. One stock map damaged: a failure status, mapmend's line in the log, no map written, and
#    the game folder exactly as before.
game_folder damaged
printf 'X' | dd of="$work/damaged/Content/Q5/Maps/Canyon.qmw" bs=1 seek=100 conv=notrunc status=none
before=$(state "$work/damaged")
install Riverside-mod.exe damaged
[ "$status" -ne 0 ] || fail "damaged stock map: the installer reported success"
[ "$status" -eq 7 ] || fail "damaged stock map: exit status $status, not mapmend's 7"
grep -q "Error: Stock QMW verification failed." "$work/damaged.log" ||
  fail "damaged stock map: the log lacks mapmend's line"
[ "$(state "$work/damaged")" = "$before" ] || {
  fail "damaged stock map: the game folder changed"; diff <(echo "$before") <(state "$work/damaged"); }

# 3. A sibling source that the mod does not ship: the rebuild fails (code 9), and nothing of
#    the mod stays behind.
game_folder missing
before=$(state "$work/missing")
install Broken-mod.exe missing
[ "$status" -eq 9 ] || fail "missing sibling: exit status $status, not mapmend's 9"
grep -q "Error: QMW rebuild failed." "$work/missing.log" || fail "missing sibling: the log lacks mapmend's line"
[ "$(state "$work/missing")" = "$before" ] || {
  fail "missing sibling: the game folder changed"; diff <(echo "$before") <(state "$work/missing"); }

# 4. Installed again over what an interrupted install left: a partial map and a partial sibling
#    map (here copies of their patches) in the mod folder, each with the marker of a map not
#    finished. mapmend moves both aside and rebuilds them, and the install succeeds.
game_folder again
mkdir -p "$work/again/Mods/Riverside"
cp "$work/sample/Mods/Outpost.qmp" "$work/again/Mods/Riverside/Outpost.qmw"
cp "$work/sample/Mods/Riverside.qmp" "$work/again/Mods/Riverside/Riverside.qmw"
touch "$work/again/Mods/Riverside/Outpost.qmw.rebuilding" "$work/again/Mods/Riverside/Riverside.qmw.rebuilding"
install Riverside-mod.exe again
[ "$status" -eq 0 ] || fail "after an interrupted install: exit status $status"
cmp -s "$work/again/Mods/Riverside/Riverside.qmw" "$work/sample/Expected/Riverside.qmw" ||
  fail "after an interrupted install: Riverside.qmw is not the expected map"
listing=$(cd "$work/again/Mods/Riverside" && ls | tr '\n' ' ')
[ "$listing" = "Outpost.qmw.old Riverside.qmw Riverside.qmw.old " ] ||
  fail "after an interrupted install: the mod folder holds: $listing"

[ "$failures" -eq 0 ] || exit 1
echo "the installer passed all four cases"
