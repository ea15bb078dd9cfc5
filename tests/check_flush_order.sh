#!/bin/sh
# The rebuilt map and the folder that names it reach the disk before the patch is deleted:
# the system calls of a sample run, in the order they were made, say so.
# usage: check_flush_order.sh <mapmend program> <make_sample_set program>
set -eu
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$2" "$folder"
mods=$(cd "$folder/Mods" && pwd -P)
digest=$(md5sum < "$folder/Expected/Riverside.qmw" | cut -c1-32)

# A leak check cannot run under a tracer; a sanitizer build's mapmend is left without it here.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
line=$(strace -f -qq -y -o "$folder/trace" \
  -e trace=write,pwrite64,copy_file_range,fsync,fdatasync,unlink,unlinkat \
  "$1" --check-rebuilt="$digest" --delete-qmp "$folder/Maps" "$folder/Mods/Riverside.qmp")
[ "$line" = "All OK. " ] || { echo "the run said: $line" >&2; exit 1; }

awk -v map="<$mods/Riverside.qmw>" -v dir="<$mods>" -v patch="Riverside.qmp\"" '
  # The last write of the map, then its flush, then the folder flush, then the deletion.
  index($0, map) && /(write|pwrite64|copy_file_range)\(/ { written = NR; flushed = 0; folder = 0 }
  index($0, map) && /f(data)?sync\(/ && written { flushed = NR }
  index($0, dir) && /f(data)?sync\(/ && flushed { folder = NR }
  /unlink(at)?\(/ && index($0, patch) { deleted = NR; ready = folder }
  END {
    if (!written) { print "no write of the map was seen" > "/dev/stderr"; exit 1 }
    if (!deleted) { print "no deletion of the patch was seen" > "/dev/stderr"; exit 1 }
    if (!ready || written > deleted) { print "the patch was deleted before the map and its folder were flushed" > "/dev/stderr"; exit 1 }
    print "map written (line " written "), flushed, folder flushed (line " ready "), patch deleted (line " deleted ")"
  }' "$folder/trace"
