#!/usr/bin/env bash
# The names that open on no player's Windows, met by mapdiff.exe pack under Wine as an author on
# Windows meets them: map names outside the code page or outside ASCII, case twins, device names
# for a map or the mod, a ':' in the mod's name, a map name too long for mapmend's marker. Each
# run must end with 1, one line naming the file and why, and nothing written.
# Not here: a dangling link or a link loop in the mod folder. Wine leaves both out of its
# folder listings (its "dir" shows neither), where Windows lists them; they are tested natively
# (mapdiff_mod_checks_test).
# usage: mapdiff_windows_names_test.sh <mapdiff.exe> <make_sample_set.exe> <wine command...>
set -uo pipefail
mapdiff=$1 make_sample_set=$2
shift 2
wine=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
windows() { echo "Z:$1" | tr / '\\'; }
"${wine[@]}" "$make_sample_set" "$(windows "$work/sample")" "$(windows "$work/sample_mod")" > /dev/null ||
  { echo "the sample set could not be written"; exit 1; }
sample_maps=("$work"/sample_mod/*.qmw)

mods=$work/mods
mkdir "$mods"
at() { windows "$mods/$1"; }

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# A mod folder of the named maps (copies of sample maps), packed: status 1, nothing on standard
# output, one line on standard error that begins and ends as given, and nothing written.
expect_refused() { # <mod folder name> <line start> <line end> <map names...>
  local name=$1 start=$2 end=$3 mod=$mods/$1 k=0 map before status err
  shift 3
  mkdir "$mod"
  for map in "$@"; do cp "${sample_maps[$((k++ % ${#sample_maps[@]}))]}" "$mod/$map"; done
  before=$(ls -A "$mods" "$mod")
  "${wine[@]}" "$mapdiff" pack "$(windows "$work/sample/Maps")" "$(windows "$mod")" "$(windows "$mods/Out")" \
    > "$work/out.txt" 2> "$work/err.txt"
  status=$?
  err=$(tr -d '\r' < "$work/err.txt")
  echo "$name: status $status: $err"
  [ "$status" -eq 1 ] || fail "$name: status $status, not 1"
  [ ! -s "$work/out.txt" ] || fail "$name: standard output: $(cat "$work/out.txt")"
  [ "$(wc -l < "$work/err.txt")" -eq 1 ] || fail "$name: not one line"
  [[ $err == "$start"*"$end" ]] || fail "$name: the line is not \"$start...$end\""
  [ "$(ls -A "$mods" "$mod")" = "$before" ] || fail "$name: something was written: $(ls -A "$mods" "$mod")"
  rm -rf "$mod" "$mods/Out"
}
outside_ascii=" holds a character outside printable ASCII, which opens under another name or none on a player's Windows."
device=" is the name of a device on Windows."

# Outside ASCII: in the code page (the line has the code page's byte for it, so the name is
# compared around it), outside it (the ANSI listing gave "??.qmw", then "gone" when looked at), and a
# best-fit look-alike of an ASCII name (the ANSI listing gave "Osaka.qmw", another file or none).
expect_refused Cafe "Error: $(at Cafe)/Caf" ".qmw$outside_ascii" Cove.qmw "Café.qmw"
expect_refused Tokyo "Error: $(at Tokyo)/東京.qmw" "$outside_ascii" "東京.qmw"
expect_refused Osaka "Error: $(at Osaka)/Ōsaka.qmw" "$outside_ascii" "Ōsaka.qmw"

# Case twins, one file on Windows: side by side only in a case-sensitive folder (Linux's, or a
# Windows folder made case-sensitive), which is where an author may have them.
expect_refused Apples "Error: $(at Apples)/" "pfel.qmw$outside_ascii" "Äpfel.qmw" "äpfel.qmw"
expect_refused Hills "Error: $(at Hills)/Hill.qmw and $(at Hills)/hill.qmw" \
  " differ only in letter case: on Windows they are one file." Hill.qmw hill.qmw

# Device names, in any case and with any extension. A mod folder named CON is the console,
# under Wine as on Windows: its name is refused before it is looked at.
expect_refused Device "Error: $(at Device)/CON.qmw" "$device" Cove.qmw CON.qmw
expect_refused Lower "Error: $(at Lower)/aux.qmw" "$device" aux.qmw
expect_refused CON "Error: The mod's name CON (of $(at CON))" "$device" Cove.qmw

# A ':' in the mod's name. Windows has no such folder (the path names a stream of "Mod"); Wine
# shows the Linux folder as it is, and the earlier pack wrote "Mod:colon.md5" from it.
expect_refused "Mod:colon" "Error: The mod's name Mod:colon (of $(at "Mod:colon"))" \
  " holds ':', which Windows does not allow in a file name." Cove.qmw

# Too long for mapmend's marker, and with its folder for a Windows path.
long=$(printf 'M%.0s' $(seq 241)).qmw
expect_refused Long "Error: $(at Long)/$long" " is 245 characters long; at most 100 fit." "$long"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "every name refused under Wine with the file, the reason and nothing written"
