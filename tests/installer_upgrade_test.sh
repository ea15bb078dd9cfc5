#!/usr/bin/env bash
# The example mod installer over an earlier install, and two at once, silently under Wine with
# the real mapmend.exe: a reinstall of the same version, a failed upgrade, kills during an
# upgrade followed by reruns, a second copy while the first holds the mod folder's mutex, and
# a modest stress of installers started at random offsets with random kills.
# usage: installer_upgrade_test.sh <makensis> <mapmend.exe> <mapdiff.exe> <make_sample_set.exe> <wine command...>
# INSTALLER_STRESS_ROUNDS (default 2) sets the stress test's rounds.
set -uo pipefail
makensis=$1 mapmend=$2 mapdiff=$3 make_sample_set=$4
shift 4
wine=("$@")
here=$(cd "$(dirname "$0")/.." && pwd)
rounds=${INSTALLER_STRESS_ROUNDS:-2}

work=$(mktemp -d)
pids=()
# A mapmend.exe that outlived its killed installer would keep the test's output open: every
# process started from the work folder goes too.
finish() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2> /dev/null; done
  pkill -9 -f "$(basename "$work")" 2> /dev/null
  wait; rm -rf "$work"
}
trap finish EXIT
# shellcheck source=tests/installer_mod.sh
. "$here/tests/installer_mod.sh"

pack_sample_mod
mod=$work/game/Mods/Riverlands
last=$(tail -n1 "$work/packed/Riverlands.md5" | cut -c35-)
first=$(head -n1 "$work/packed/Riverlands.md5" | cut -c35-) third=$(sed -n 3p "$work/packed/Riverlands.md5" | cut -c35-)
build_installer "$work/packed/Riverlands.nsh" "$work/v1.exe" -DMOD_VERSION=1.0
# Version 2 whose last map fails to rebuild (its patch cut short: mapmend's status 9).
cp -r "$work/packed" "$work/packed2"
truncate -s 1000 "$work/packed2/${last%.qmw}.qmp"
sed -i "s|$work/packed|$work/packed2|" "$work/packed2/Riverlands.nsh"
"$makensis" -V2 -DMOD_SETTINGS="$work/packed2/Riverlands.nsh" -DMOD_FILES="$work/packed2" -DMAPMEND="$mapmend" \
  -DMAPDIFF="$mapdiff" -DOUTFILE="$work/v2.exe" -DMOD_VERSION=2.0 "$here/installer/mod_installer.nsi" > /dev/null ||
  { echo "makensis failed on version 2"; exit 1; }
# A program that holds the mod folder's Setup mutex until told to let go.
cat > "$work/holder.nsi" << 'EOF'
Unicode true
OutFile holder.exe
SilentInstall silent
RequestExecutionLevel user
Section
  System::Call 'kernel32::CreateMutex(p 0, i 0, t "Q5 mod setup Mods/Riverlands") p .r1'
  FileOpen $0 "$EXEDIR\held" w
  FileClose $0
  ${Do}
    Sleep 100
    IfFileExists "$EXEDIR\release" 0 +2
      Quit
  ${Loop}
SectionEnd
EOF
sed -i '1a !include LogicLib.nsh' "$work/holder.nsi"
"$makensis" -V2 "$work/holder.nsi" > /dev/null || { echo "makensis failed on the mutex holder"; exit 1; }

install() { # <installer>; sets status
  "${wine[@]}" "$work/$1" /S /LOG="$(windows "$work/setup.log")" /D="$(windows "$work/game")"
  status=$?
}
# Starts an installer in the background; its exit status goes to <name>.exit.
start() { # <name> <installer>
  rm -f "$work/$1.exit"
  ( "${wine[@]}" "$work/$2" /S /LOG="$(windows "$work/setup.log")" /D="$(windows "$work/game")"
    echo $? > "$work/$1.exit" ) &
  pids+=($!)
}
# Kills the running installers (the processes that start() started), not the mapmend they run:
# as when a player ends Setup from the task manager.
kill_installers() { local pid; for pid in "${pids[@]}"; do pkill -9 -P "$pid" 2> /dev/null; done; }
wait_for() { # <file> [seconds]: waits for a file to exist
  for _ in $(seq $((${2:-120} * 50))); do [ -e "$1" ] && return 0; sleep 0.02; done
  return 1
}
verified() { (cd "$mod" && md5sum --check --quiet Riverlands.md5 > /dev/null 2>&1); }
leftovers() { (cd "$mod" && ls | grep -E '\.(old|setup-keep|rebuilding|qmp)$|^mapmend\.(exe|lock)$'); }
complete() { # <case>: the whole mod there and verified, nothing of the install's own left
  verified || fail "$1: md5sum -c Riverlands.md5 fails"
  [ -z "$(leftovers)" ] || fail "$1: left in the mod folder: $(leftovers | tr '\n' ' ')"
  [ -f "$mod/Uninstall.exe" ] || fail "$1: no Uninstall.exe"
}

# 1. Version 1 installed, then installed again: the same maps, no .old copy of any map.
game_folder game
install v1.exe
[ "$status" -eq 0 ] || fail "install: exit status $status"
complete "install"
v1_state=$(state "$mod")
install v1.exe
[ "$status" -eq 0 ] || fail "reinstall: exit status $status"
complete "reinstall"
[ "$(state "$mod")" = "$v1_state" ] || fail "reinstall: the mod folder differs from the first install"

# 2. An upgrade whose last map fails (status 9): every map of version 1 back as it was, with its
#    manifest and uninstaller; nothing kept aside, no .old.
install v2.exe
[ "$status" -eq 9 ] || fail "failed upgrade: exit status $status, not 9"
grep -q "The earlier install is as it was." "$work/setup.log" || fail "failed upgrade: the log does not say so"
[ "$(state "$mod")" = "$v1_state" ] || {
  fail "failed upgrade: version 1 is not as it was"; diff <(echo "$v1_state") <(state "$mod"); }
complete "failed upgrade"

# 3. Killed once the earlier maps are kept aside and the first new map is made; the run after
#    (here the failing upgrade again) first puts version 1 back. Killed again later on; then a
#    rerun of version 1 completes.
start killed1 v1.exe
wait_for "$mod/$first.setup-keep" && wait_for "$mod/$first" || fail "kill: the upgrade never kept $first aside"
kill_installers
wait
verified && fail "kill: md5sum -c passes while the earlier maps are kept aside (the test came too late)"
install v2.exe
[ "$status" -eq 9 ] || fail "rerun after a kill: exit status $status, not 9"
grep -q "Put back $first of the earlier install." "$work/setup.log" || fail "rerun after a kill: $first was not put back"
[ "$(state "$mod")" = "$v1_state" ] || {
  fail "rerun after a kill: version 1 is not as it was"; diff <(echo "$v1_state") <(state "$mod"); }
start killed2 v1.exe
wait_for "$mod/$third" || fail "kill: the upgrade never made $third"
kill_installers
wait
install v1.exe
[ "$status" -eq 0 ] || fail "rerun after a second kill: exit status $status"
complete "rerun after a second kill"
[ "$(state "$mod")" = "$v1_state" ] || fail "rerun after a second kill: the mod folder differs from the first install"

# 4. A second copy while the first holds the mutex: status 14, a line in the log, nothing changed;
#    the uninstaller the same.
rm -f "$work/held" "$work/release"
"${wine[@]}" "$work/holder.exe" &
pids+=($!)
wait_for "$work/held" || fail "the mutex holder did not start"
: > "$work/setup.log"
install v2.exe
[ "$status" -eq 14 ] || fail "second copy: exit status $status, not 14"
grep -q "is already running" "$work/setup.log" || fail "second copy: the log does not say that Setup is already running"
"${wine[@]}" "$mod/Uninstall.exe" /S /LOG="$(windows "$work/setup.log")"
for _ in $(seq 100); do [ "$(grep -c "is already running" "$work/setup.log")" -ge 2 ] && break; sleep 0.2; done
[ "$(grep -c "is already running" "$work/setup.log")" -eq 2 ] || fail "second uninstaller: the log does not say that Setup is running"
[ "$(state "$mod")" = "$v1_state" ] || fail "second copy: the mod folder changed"
touch "$work/release"
wait

# 5. Stress: per round two or three installers (version 1 or the failing 2) at random offsets,
#    and one kill at a random moment. After each round a manifest without a journal always
#    verifies, and version 1 run once more completes.
for round in $(seq "$rounds"); do
  n=$((2 + RANDOM % 2))
  for i in $(seq "$n"); do
    sleep "0.$((RANDOM % 10))"
    start "stress$i" "v$((1 + RANDOM % 2)).exe"
  done
  sleep "$((1 + RANDOM % 6)).$((RANDOM % 10))"
  kill_installers
  wait
  for i in $(seq "$n"); do
    [ "$(cat "$work/stress$i.exit" 2>/dev/null)" = 0 ] && ! verified && [ ! -e "$mod/Riverlands.md5.setup-keep" ] &&
      fail "stress round $round: a success over a set that md5sum -c fails"
  done
  if [ -f "$mod/Riverlands.md5" ] && [ ! -e "$mod/Riverlands.md5.setup-keep" ] && ! verified; then
    fail "stress round $round: a manifest over a wrong set"
  fi
  install v1.exe
  [ "$status" -eq 0 ] || fail "stress round $round: the rerun ends with $status"
  complete "stress round $round"
done
echo "stress: $rounds rounds"

[ "$failures" -eq 0 ] || exit 1
echo "the installer passed the upgrade, kill, two-copies and stress cases"
