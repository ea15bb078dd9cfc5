# The builds that carry the stock table of the benchmark's own stock set (sourced, not run):
# build/bench/stock-native and build/bench/stock-win32, configured as the presets are. Run from
# the top of the tree.

# use_stock_set <maps folder>: writes build/bench/stock.md5 from that folder, replaced only when
# it changes so that the builds made with it stay up to date; sets stock_table to its full path.
use_stock_set() {
  local table=build/bench/stock.md5
  scripts/make-stock-table --force "$1" "$table.new" >/dev/null
  cmp -s "$table.new" "$table" 2>/dev/null || mv "$table.new" "$table"
  rm -f "$table.new"
  stock_table=$PWD/$table
}

# build_with_stock_table <native|win32> <target...>: builds the targets with that table; sets
# stock_build to the build folder.
build_with_stock_table() {
  local preset=$1
  shift
  stock_build=build/bench/stock-$preset
  cmake --preset "$preset" -B "$stock_build" -DMAPMEND_BUILD_TESTS=OFF -DMAPMEND_STOCK_TABLE="$stock_table" >/dev/null
  cmake --build "$stock_build" --target "$@" >/dev/null
}

# wine_usable: succeeds when Wine and the mingw-w64 compiler are there; then the tests' Wine
# prefix is up and the environment set for quiet runs in it.
wine_usable() {
  command -v wine >/dev/null && command -v i686-w64-mingw32-g++-posix >/dev/null || return 1
  export WINEPREFIX=$PWD/build/win32/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  scripts/wine-prefix-up >/dev/null
}
