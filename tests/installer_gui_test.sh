#!/usr/bin/env bash
# Runs the example mod installer as a player meets it: its pages on a virtual screen (Xvfb) under
# Wine, keys sent with xdotool, for a good install (then uninstalled with its own pages), a
# folder that is not the game's, and a damaged stock map. Checks the window titles, the exit
# statuses, the log and the game folder, and keeps a screenshot of each page in <shots> for a
# person to look at.
# usage: installer_gui_test.sh <makensis> <mapmend.exe> <mapdiff.exe> <make_sample_set.exe> <shots>
set -uo pipefail
makensis=$1 mapmend=$2 mapdiff=$3 make_sample_set=$4 shots=$5
here=$(cd "$(dirname "$0")/.." && pwd)
for tool in xdotool import; do
  command -v "$tool" > /dev/null || { echo "$tool is missing (scripts/install-packages all)"; exit 1; }
done

work=$(mktemp -d)
session=$work/session
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
finish() {
  bash "$here/tests/orvstart/x_session.sh" down xvfb "$session" > /dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT
rm -rf "$shots"
mkdir -p "$shots"

# An X server and a Wine prefix of this test's own: every program of a prefix must see the same
# display, and the other tests' prefix runs without one.
bash "$here/tests/orvstart/x_session.sh" up xvfb "$session" || { echo "no X session"; exit 1; }
# shellcheck disable=SC1091
. "$session/xvfb.env"
export DISPLAY=$ORV_DISPLAY WINEPREFIX=$ORV_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=(wine)
# shellcheck source=tests/installer_mod.sh
. "$here/tests/installer_mod.sh"

pack_sample_mod
build_installer "$work/packed/Riverlands.nsh" "$work/setup.exe" -DMOD_DISPLAY_NAME="River Lands" -DMOD_VERSION=2.1
setup="River Lands 2.1 Setup"
uninstall="River Lands 2.1 Uninstall"

# The id of the first visible window whose title matches <pattern> (an extended regex), within
# <seconds>; nothing when none comes.
window_titled() { # <pattern> <seconds>
  local id
  for _ in $(seq $(($2 * 5))); do
    id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}
title_of() { xdotool getwindowname "$1" 2> /dev/null; }
# Waits for a page or box, keeps a picture of the screen, and presses keys in it.
page() { # <pattern> <screenshot name> [keys...]; sets page_id
  page_id=$(window_titled "$1" 60) || { fail "no window titled /$1/ (case $2)"; return 1; }
  sleep 1 # the page's controls are drawn after its title
  import -window root "$shots/$2.png" || fail "no screenshot $2"
  if [ $# -gt 2 ]; then
    xdotool windowfocus --sync "$page_id" 2> /dev/null || xdotool windowfocus "$page_id"
    xdotool key --delay 150 "${@:3}"
  fi
}
# Starts a program in the background; its exit status goes to <name>.exit.
start() { # <name> <program> [arguments...]
  rm -f "$work/$1.exit"
  ( wine "${@:2}"; echo $? > "$work/$1.exit" ) &
}
exit_status() { # <name>: waits up to 60 s for the program's end
  for _ in $(seq 300); do [ -s "$work/$1.exit" ] && { cat "$work/$1.exit"; return; }; sleep 0.2; done
  echo "still running"
}

# 1. A good install: the folder page (the game folder given with /D= fills its field), Next,
#    the completed page with a full progress bar, Close. Then the uninstaller's two pages.
game_folder good
before=$(state "$work/good")
start good "$work/setup.exe" /LOG="$(windows "$work/good.log")" /D="$(windows "$work/good")"
page "^$setup: Game Folder\$" 1-good-folder-page Return
page "^$setup: Completed\$" 2-good-completed-page Return
[ "$(exit_status good)" = 0 ] || fail "good install: exit status $(exit_status good)"
[ -f "$work/good/Mods/Riverlands/Riverlands.md5" ] || fail "good install: no manifest in the mod folder"
(cd "$work/good/Mods/Riverlands" && md5sum --check --quiet Riverlands.md5) || fail "good install: md5sum -c fails"
grep -q "^==== .* install River Lands 2.1 (Riverlands)" "$work/good.log" || fail "good install: no log block"
[ "$(grep -c ': All OK.' "$work/good.log")" -eq 4 ] || fail "good install: not four \"All OK.\" in the log"

start uninstall "$work/good/Mods/Riverlands/Uninstall.exe" /LOG="$(windows "$work/good.log")"
page "^$uninstall: Confirmation\$" 3-uninstall-confirm-page Return
page "^$uninstall: Completed\$" 4-uninstall-completed-page Return
for _ in $(seq 100); do [ -e "$work/good/Mods" ] || break; sleep 0.2; done
[ "$(state "$work/good")" = "$before" ] || {
  fail "uninstall: the game folder is not as before the install"; diff <(echo "$before") <(state "$work/good"); }

# 2. A folder that is not the game's: Next gives a message naming the maps folder looked for;
#    after OK the folder page stays; Cancel ends the run. Nothing is created, and the log has
#    the run.
start wrong "$work/setup.exe" /LOG="$(windows "$work/wrong.log")" /D="$(windows "$work/Games/Q5")"
page "^$setup: Game Folder\$" 5-wrong-folder-page Return
page "^$setup\$" 6-wrong-folder-message Return
sleep 1
page "^$setup: Game Folder\$" 7-wrong-folder-page-stays Escape
[ "$(exit_status wrong)" = 1 ] || fail "wrong folder: exit status $(exit_status wrong), not 1 (cancelled)"
[ ! -e "$work/Games" ] || fail "wrong folder: $work/Games was created"
grep -q "^==== .* cancelled River Lands 2.1" "$work/wrong.log" || fail "wrong folder: the log has no block of the run"

# 3. A damaged stock map: the message names it and says what to do, the last page's title says
#    that the install failed, the exit status is mapmend's 7, and the game folder is as before.
game_folder damaged
printf 'X' | dd of="$work/damaged/Content/Q5/Maps/Canyon.qmw" bs=1 seek=100 conv=notrunc status=none
before=$(state "$work/damaged")
start damaged "$work/setup.exe" /LOG="$(windows "$work/damaged.log")" /D="$(windows "$work/damaged")"
page "^$setup: Game Folder\$" 8-damaged-folder-page Return
page "^$setup\$" 9-damaged-message Return
page "^$setup: Failed\$" 10-damaged-failed-page Return
[ "$(exit_status damaged)" = 7 ] || fail "damaged stock map: exit status $(exit_status damaged), not 7"
grep -q "^    Canyon.qmw (changed)" "$work/damaged.log" || fail "damaged stock map: the message does not name Canyon.qmw"
[ "$(state "$work/damaged")" = "$before" ] || fail "damaged stock map: the game folder changed"

echo "screenshots in $shots:"
ls "$shots"
[ "$failures" -eq 0 ] || exit 1
echo "the installer's pages passed all three cases and the uninstall"
