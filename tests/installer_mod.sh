# Shared by the installer's tests (sourced): the sample set and the mod Riverlands packed from it,
# and the example installer built from what pack wrote.
# Needs: $work, $here, $makensis, $mapmend, $mapdiff, $make_sample_set and the array wine.
# shellcheck shell=bash disable=SC2154

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
