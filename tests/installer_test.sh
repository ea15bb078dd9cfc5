#!/usr/bin/env bash
# Packs a mod of four maps with mapdiff.exe, builds the example mod installer from the settings
# that pack wrote with makensis and runs it silently under Wine, as a player's machine would: on
# a good stock set (then uninstalled), on a damaged stock map, with a patch that the mod fails to
# ship, over what an interrupted install left, on a folder that is not the game's, on a game
# folder whose name lies outside the code page, where the mod's folder cannot be made, and with
# a mod folder whose own name the code page cannot carry.
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
# shellcheck source=tests/installer_mod.sh
. "$here/tests/installer_mod.sh"

pack_sample_mod
maps="Aqueduct.qmw Bastion.qmw Cove.qmw Estuary.qmw"

# The mod as packed, and the same mod with Bastion's patch left out, which Aqueduct draws on.
grep -q '"Bastion"' "$work/packed/Riverlands.nsh" || fail "the settings do not name Bastion"
grep -v '"Bastion"' "$work/packed/Riverlands.nsh" > "$work/no_bastion.nsh"
build_installer "$work/packed/Riverlands.nsh" "$work/Riverlands-mod.exe" -DMOD_DISPLAY_NAME="River Lands" \
  -DMOD_VERSION=2.1 -DMOD_PUBLISHER="Map Makers"
build_installer "$work/no_bastion.nsh" "$work/Broken-mod.exe"

# Runs an installer on a game folder silently.
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

entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Q5 mod Riverlands'
# The value of the installed programs' entry, or nothing.
entry_value() { "${wine[@]}" reg query "$entry" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }
# The prefix outlives a run: an entry from an earlier one must not pass for this one's.
"${wine[@]}" reg delete "$entry" /f > /dev/null 2>&1

# 1. A good stock set: every map rebuilt byte for byte, each call's "All OK." in the log under
#    a header naming the mod and its version; the patches and mapmend.exe gone, the uninstaller
#    there; the stock maps untouched; an entry among the installed programs.
game_folder good
game_before=$(state "$work/good")
maps_before=$(state "$work/good/Content")
install Riverlands-mod.exe good
[ "$status" -eq 0 ] || fail "good stock set: exit status $status"
installed_as_authored good "good stock set"
listing=$(cd "$work/good/Mods/Riverlands" 2>/dev/null && ls | tr '\n' ' ')
[ "$listing" = "$maps Riverlands.md5 Uninstall.exe " ] || fail "good stock set: the mod folder holds: $listing"
[ "$(grep -c ': All OK.' "$work/good.log")" -eq 4 ] || fail "good stock set: not four \"All OK.\" in the log"
grep -q "^==== .* install River Lands 2.1 (Riverlands), game folder $(windows "$work/good" | sed 's/\\/\\\\/g')" \
  "$work/good.log" || fail "good stock set: the log has no header naming the mod, its version and the folder"
[ "$(state "$work/good/Content")" = "$maps_before" ] || fail "good stock set: the stock maps changed"
[ "$(entry_value DisplayName)" = "River Lands (Q5 mod)" ] || fail "good stock set: entry name [$(entry_value DisplayName)]"
[ "$(entry_value DisplayVersion)" = "2.1" ] || fail "good stock set: entry version [$(entry_value DisplayVersion)]"
[ "$(entry_value Publisher)" = "Map Makers" ] || fail "good stock set: entry publisher [$(entry_value Publisher)]"
[ "$(entry_value UninstallString)" = "\"$(windows "$work/good")\\Mods\\Riverlands\\Uninstall.exe\"" ] ||
  fail "good stock set: entry uninstall command [$(entry_value UninstallString)]"
[ -n "$(entry_value EstimatedSize)" ] || fail "good stock set: the entry has no size"

# 1b. Uninstalled: the game folder exactly as before the install, the entry gone, the log with
#     a second block. The uninstaller goes on from a copy of itself once its first process ends.
"${wine[@]}" "$work/good/Mods/Riverlands/Uninstall.exe" /S /LOG="$(windows "$work/good.log")"
for _ in $(seq 120); do [ -e "$work/good/Mods" ] || break; sleep 0.5; done
[ "$(state "$work/good")" = "$game_before" ] || {
  fail "uninstall: the game folder is not as before the install"; diff <(echo "$game_before") <(state "$work/good"); }
[ -z "$(entry_value DisplayName)" ] || fail "uninstall: the installed programs' entry stays"
[ "$(grep -c '^==== ' "$work/good.log")" -eq 2 ] || fail "uninstall: the log does not hold two blocks"
grep -q "^==== .* uninstall River Lands 2.1" "$work/good.log" || fail "uninstall: no header of its own in the log"

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
grep '^mapdiff check-stock: ' "$work/damaged.log" | head -n1 | grep -q 'differs  *Canyon.qmw' ||
  fail "damaged stock map: the map that differs is not the first one listed"
grep -q '^    Canyon.qmw (changed)' "$work/damaged.log" || fail "damaged stock map: the message does not name Canyon.qmw"
grep -q "Restore the game's files" "$work/damaged.log" || fail "damaged stock map: the message gives no advice"
[ "$(state "$work/damaged")" = "$before" ] || {
  fail "damaged stock map: the game folder changed"; diff <(echo "$before") <(state "$work/damaged"); }

# 2b. Many stock maps wrong (three missing, four damaged): the message names the first five and
#     "and 2 more", and stays within a message box's limit; the log lists all seven first.
game_folder many
for map in Abbey BlackMarsh Canyon; do rm "$work/many/Content/Q5/Maps/$map.qmw"; done
for map in Dunes Foundry Glacier Junction; do
  [ -f "$work/many/Content/Q5/Maps/$map.qmw" ] || { fail "the sample set has no $map.qmw"; continue; }
  printf 'X' | dd of="$work/many/Content/Q5/Maps/$map.qmw" bs=1 seek=10 conv=notrunc status=none
done
install Riverlands-mod.exe many
[ "$status" -eq 7 ] || fail "many stock maps wrong: exit status $status, not 7"
[ "$(tr -d '\r' < "$work/many.log" | grep -c '^    [A-Za-z]*\.qmw (\(missing\|changed\))$')" -eq 5 ] ||
  fail "many stock maps wrong: the message does not name five maps"
tr -d '\r' < "$work/many.log" | grep -q '^    and 2 more$' || fail "many stock maps wrong: no \"and 2 more\""
message=$(sed -n '/could not be installed\. Nothing/,/The full report is in/p' "$work/many.log")
[ "${#message}" -lt 1000 ] || fail "many stock maps wrong: the message has ${#message} characters"
grep -q 'The full report is in' <<< "$message" || fail "many stock maps wrong: the message is cut short"
[ "$(grep '^mapdiff check-stock: ' "$work/many.log" | head -n7 | grep -c -v ' ok ')" -eq 7 ] ||
  fail "many stock maps wrong: the seven maps that are not ok are not listed first"

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

# 5. A folder that is not the game's: status 1, the log names the maps folder it looked for, and
#    nothing is created.
install Riverlands-mod.exe nowhere
[ "$status" -eq 1 ] || fail "not the game folder: exit status $status"
grep -qF "$(windows "$work/nowhere")\Content\Q5\Maps" "$work/nowhere.log" ||
  fail "not the game folder: the log does not name the maps folder looked for"
[ ! -e "$work/nowhere" ] || fail "not the game folder: $work/nowhere was created"

# 6. A game folder whose name has a letter outside the code page: mapmend is given its short
#    form, and the install succeeds (a drive without short names gets a refusal before anything
#    is copied).
game_folder "Gry Łukasza/Q5"
install Riverlands-mod.exe "Gry Łukasza/Q5"
[ "$status" -eq 0 ] || fail "game folder beyond the code page: exit status $status"
installed_as_authored "Gry Łukasza/Q5" "game folder beyond the code page"
grep -q "given to mapmend as Z:.*~" "$work/Gry Łukasza/Q5.log" ||
  fail "game folder beyond the code page: the log (in that folder) does not show the short form given to mapmend"

# 7. A mod folder that cannot be made (a file named Mods where the folder goes): status 12 with a
#    message naming the folder, found before anything is copied; the game folder as it was.
game_folder blocked
echo "not a folder" > "$work/blocked/Mods"
before=$(state "$work/blocked")
install Riverlands-mod.exe blocked
[ "$status" -eq 12 ] || fail "mod folder that cannot be made: exit status $status, not 12"
grep -qF "Setup cannot write to the folder" "$work/blocked.log" ||
  fail "mod folder that cannot be made: the message does not say so"
grep -qF "$(windows "$work/blocked")\Mods\Riverlands" "$work/blocked.log" ||
  fail "mod folder that cannot be made: the message does not name the folder"
[ "$(state "$work/blocked")" = "$before" ] || fail "mod folder that cannot be made: the game folder changed"

# 8. A mod folder whose own name lies outside the code page (here cp1252), which has no short form
#    before it exists: refused with status 13 before anything is copied, the log says why.
build_installer "$work/packed/Riverlands.nsh" "$work/Lodz-mod.exe" -DMOD_FOLDER='Mods\Łódź'
game_folder refused
before=$(state "$work/refused")
install Lodz-mod.exe refused
[ "$status" -eq 13 ] || fail "mod folder beyond the code page: exit status $status, not 13"
grep -q "cannot use on this system (code page" "$work/refused.log" ||
  fail "mod folder beyond the code page: the log does not say why"
[ "$(state "$work/refused")" = "$before" ] || fail "mod folder beyond the code page: the game folder changed"

[ "$failures" -eq 0 ] || exit 1
echo "the installer passed all eight cases"
