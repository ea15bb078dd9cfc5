#!/usr/bin/env bash
# The build that scripts/release makes with --stock-table and --stock-label, natively: a build
# tree of its own configured with the same two CMake options the release passes, and mapdiff
# --version of that build, which must name the label and the md5sum of the table file. (The
# release itself cross-compiles every program afresh, minutes more than the suite should wait;
# the options reach the programs the same way in both. Unoptimised: only the text is checked.)
# usage: stock_label_build_test.sh <cmake> <source folder> <scratch folder>
set -uo pipefail
cmake=$1 source=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
# The game's table under another name than the default one, and a label with the characters a
# command line or a CMake list could take apart.
cp "$source/stock/stock_maps.md5" "$work/game_table.md5"
label="Q5 1.2; it's \$HOME & (patched)"

nice "$cmake" -S "$source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE= -DMAPMEND_BUILD_TESTS=OFF \
  -DMAPMEND_STOCK_TABLE="$work/game_table.md5" -DMAPMEND_STOCK_LABEL="$label" > "$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; echo "FAILED: the build does not configure"; exit 1; }
nice "$cmake" --build "$work/build" --target mapdiff -- -j2 > "$work/build.log" 2>&1 ||
  { tail -n 30 "$work/build.log"; echo "FAILED: mapdiff does not build"; exit 1; }

version=$("$work/build/mapdiff/mapdiff" --version)
echo "$version"
digest=$(md5sum < "$work/game_table.md5" | cut -c1-32)
expected="31 stock maps, table md5 $digest ($label)"
[ "$(echo "$version" | sed -n 2p)" = "$expected" ] || { echo "FAILED: not \"$expected\""; exit 1; }
rm -rf "$work"
echo "mapdiff --version names the table and its label"
