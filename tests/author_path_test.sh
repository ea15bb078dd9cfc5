#!/usr/bin/env bash
# Runs the commands of docs/mod_authors.md, block after block, as a mod author would: in a folder
# laid out as an unpacked release (mapmend.exe, mapdiff.exe, installer/), with the generated
# sample set as the game and the sample mod as "My Mod". The release build of step 2 is
# scripts/release itself and is not run here. Then checks what the page promises: the table's
# md5sum is the digest of --version, pack's lines, an installer that installs every map.
# usage: author_path_test.sh <makensis> <mapmend.exe> <mapdiff.exe> <make_sample_set.exe> <wine command...>
set -uo pipefail
makensis_program=$1 mapmend=$2 mapdiff=$3 make_sample_set=$4
shift 4
wine_command=("$@")
here=$(cd "$(dirname "$0")/.." && pwd)
page=$here/docs/mod_authors.md

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
release=$work/release
mkdir -p "$release/installer" "$work/sample"
cp "$mapmend" "$mapdiff" "$release/"
cp "$here/installer/"* "$release/installer/"
windows() { echo "Z:$1" | tr / '\\'; }
"${wine_command[@]}" "$make_sample_set" "$(windows "$work/sample")" "$(windows "$release/My Mod")" >/dev/null ||
  { echo "the sample set could not be written"; exit 1; }
mkdir -p "$work/Game/Content/Q5"
mv "$work/sample/Maps" "$work/Game/Content/Q5/Maps"

# The page's blocks, numbered, each a script of its own.
awk -v dir="$work/blocks" 'BEGIN { n = 0; system("mkdir -p " dir) }
  /^```sh$/ { n++; file = sprintf("%s/%02d.sh", dir, n); inside = 1; next }
  /^```$/ { inside = 0; next }
  inside { print > file }' "$page"
blocks=("$work"/blocks/*.sh)
[ "${#blocks[@]}" -eq 7 ] || { echo "FAILED: the page has ${#blocks[@]} command blocks, not 7"; exit 1; }

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
for block in "${blocks[@]}"; do
  echo "--- $(basename "$block"):"
  sed 's/^/  $ /' "$block"
  if grep -q '^scripts/release' "$block"; then
    echo "  (the release build: not run here)"
    continue
  fi
  (cd "$release" && GAME=$work/Game GAME_COPY=$work/GameCopy MAKENSIS=$makensis_program WINE="${wine_command[*]}" bash -c '
     set -e
     wine() { $WINE "$@"; }
     makensis() { "$MAKENSIS" -V2 "$@"; }
     source "$1"' block "$block") > "$block.out" 2>&1
  status=$?
  sed 's/^/  /' "$block.out"
  [ "$status" -eq 0 ] || fail "$(basename "$block") ended with status $status"
done

# What the page says the blocks show.
digest=$(sed -n 's/^\(.\{32\}\)  stock_maps.md5$/\1/p' "$work/blocks/02.sh.out")
grep -q "table md5 $digest" "$work/blocks/01.sh.out" || fail "--version does not print the table's md5sum $digest"
grep -q "31 of 31 stock maps match" "$work/blocks/04.sh.out" || fail "check-stock does not find all 31 stock maps"
grep -q "wrote 4 patches, My Mod.md5 and My Mod.nsh to out" "$work/blocks/05.sh.out" || fail "pack's last line"
[ -f "$release/My Mod-mod.exe" ] || fail "no installer was built"
[ "$(grep -c ': OK$' "$work/blocks/07.sh.out")" -eq 4 ] || fail "md5sum -c did not pass four maps"
[ "$(tr -d '\r' < "$release/install.log" | grep -c ': All OK.')" -eq 4 ] || fail "the install log has not four \"All OK.\""

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "every command of the page ran as it says"
