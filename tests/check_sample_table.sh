#!/bin/sh
# The sample set's stock maps have exactly the digests of the default stock table.
# usage: check_sample_table.sh <make_sample_set program> <table file>
set -eu
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$1" "$folder"
cd "$folder/Maps"
md5sum --check --strict "$2" | grep -v ': OK$' || true
md5sum --check --strict --status "$2"
[ "$(ls | wc -l)" -eq "$(wc -l < "$2")" ] || { echo "the sample set has files the table lacks" >&2; exit 1; }
echo "the 31 sample stock maps match $2"
