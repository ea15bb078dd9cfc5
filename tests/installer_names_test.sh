#!/usr/bin/env bash
# Every punctuation character a name may hold installs: a mod named with several of them, with
# one map per allowed character (and one of the longest length), packed by mapdiff.exe, built
# into the example installer by makensis and installed silently under Wine; every map must come
# out as its author's.
# usage: installer_names_test.sh <makensis> <mapmend.exe> <mapdiff.exe> <make_sample_set.exe> <wine command...>
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/installer_mod.sh
. "$here/tests/installer_mod.sh"
installer_test_arguments "$@"
trap 'rm -rf "$work"' EXIT
"${wine[@]}" "$make_sample_set" "$(windows "$work/sample")" "$(windows "$work/sample_mod")" >/dev/null ||
  { echo "the sample set could not be written"; exit 1; }

mod_name="Odd Names' (1) [2] {3} ~4 \`5\` ;6"
mod=$work/$mod_name
mkdir "$mod"
sample_maps=("$work"/sample_mod/*.qmw)
k=0
for c in ' ' '!' '#' '%' '&' "'" '(' ')' '+' ',' '-' '.' ';' '=' '@' '[' ']' '^' '_' '`' '{' '}' '~'; do
  cp "${sample_maps[$((k % ${#sample_maps[@]}))]}" "$mod/Map${c}1.qmw"
  k=$((k + 1))
done
cp "${sample_maps[0]}" "$mod/$(printf 'L%.0s' $(seq 96)).qmw"
count=$(ls "$mod" | wc -l)

"${wine[@]}" "$mapdiff" pack "$(windows "$work/sample/Maps")" "$(windows "$mod")" "$(windows "$work/packed")" > "$work/pack.log" ||
  { cat "$work/pack.log"; echo "FAILED: mapdiff pack"; exit 1; }
build_installer "$work/packed/$mod_name.nsh" "$work/installer.exe"
game_folder Game
"${wine[@]}" "$work/installer.exe" /S "/LOG=$(windows "$work/install.log")" "/D=$(windows "$work/Game")"
status=$?
tr -d '\r' < "$work/install.log" 2>/dev/null | sed 's/^/  /'
[ "$status" -eq 0 ] || fail "the installer ended with status $status"
installed=$work/Game/Mods/$mod_name
for map in "$mod"/*.qmw; do
  name=$(basename "$map")
  cmp -s "$map" "$installed/$name" || fail "$name is not the author's map"
done
(cd "$installed" && md5sum --check --quiet "$mod_name.md5") || fail "md5sum -c fails"
[ "$failures" -eq 0 ] || exit 1
echo "$count maps with every allowed punctuation character installed under Wine"
