# Shared by the installer's tests (sourced): the sample set and the mod Riverlands packed from it,
# and the example installer built from what pack wrote.
# Needs: $here; installer_test_arguments sets the rest.
# shellcheck shell=bash disable=SC2154

# The installer tests' command line: <makensis> <mapmend.exe> <mapdiff.exe> <make_sample_set.exe>
# <wine command...>. Sets makensis, mapmend, mapdiff, make_sample_set, the array wine, and work,
# a new scratch folder that the test's own EXIT trap removes.
installer_test_arguments() {
  makensis=$1 mapmend=$2 mapdiff=$3 make_sample_set=$4
  shift 4
  wine=("$@")
  work=$(mktemp -d)
}
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
windows() { echo "Z:$1" | tr / '\\'; }
# Every file under a folder with its digest, to show that a run left it as it was.
state() { (cd "$1" && find . | LC_ALL=C sort | while read -r f; do
  if [ -f "$f" ]; then echo "$f $(md5sum < "$f" | cut -c1-32)"; else echo "$f/"; fi; done); }

# Writes the sample set ($work/sample) and the mod's maps ($work/Riverlands), and packs the mod
# into $work/packed.
pack_sample_mod() {
  "${wine[@]}" "$make_sample_set" "$(windows "$work/sample")" "$(windows "$work/Riverlands")" ||
    { echo "the sample set could not be written"; exit 1; }
  "${wine[@]}" "$mapdiff" pack "$(windows "$work/sample/Maps")" "$(windows "$work/Riverlands")" \
    "$(windows "$work/packed")" > "$work/pack.log" || { cat "$work/pack.log"; echo "mapdiff pack failed"; exit 1; }
}

build_installer() { # <settings> <installer> [makensis options...]
  "$makensis" -V2 -DMOD_SETTINGS="$1" -DMOD_FILES="$work/packed" -DMAPMEND="$mapmend" -DMAPDIFF="$mapdiff" \
    -DOUTFILE="$2" "${@:3}" "$here/installer/mod_installer.nsi" > "$work/makensis.log" 2>&1 ||
    { cat "$work/makensis.log"; echo "makensis failed"; exit 1; }
}

# A game folder with the sample's stock maps.
game_folder() { mkdir -p "$work/$1/Content/Q5/Maps" && cp "$work/sample/Maps/"* "$work/$1/Content/Q5/Maps/"; }
