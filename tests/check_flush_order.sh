#!/bin/sh
# The rebuilt map and the folder that names it reach the disk before the patch is deleted, and
# so does the map's marker of a map in the making: made and named on the disk before the map's
# first byte is written, deleted and the deletion on the disk before the patch is deleted. The
# system calls of a sample run, in the order they were made, say so.
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
  -e trace=openat,write,pwrite64,copy_file_range,fsync,fdatasync,unlink,unlinkat \
  "$1" --check-rebuilt="$digest" --delete-qmp "$folder/Maps" "$folder/Mods/Riverside.qmp")
[ "$line" = "All OK. " ] || { echo "the run said: $line" >&2; exit 1; }

awk -v map="<$mods/Riverside.qmw>" -v dir="<$mods>" -v patch="Riverside.qmp\"" \
    -v marker="$mods/Riverside.qmw.rebuilding\"" '
  # The marker made, the folder flushed, then the first write of the map.
  /openat\(/ && /O_CREAT/ && index($0, marker) { made = NR }
  index($0, dir) && /f(data)?sync\(/ && made && !named { named = NR }
  index($0, map) && /(write|pwrite64|copy_file_range)\(/ && !first { first = NR }
  # The marker deleted after the map was flushed, then the folder flushed, then the patch deleted.
  /unlink(at)?\(/ && index($0, marker) { unmarked = NR; unmarked_named = 0; map_was_ready = folder }
  index($0, dir) && /f(data)?sync\(/ && unmarked && !unmarked_named { unmarked_named = NR }
  # The last write of the map, then its flush, then the folder flush, then the deletion.
  index($0, map) && /(write|pwrite64|copy_file_range)\(/ { written = NR; flushed = 0; folder = 0 }
  index($0, map) && /f(data)?sync\(/ && written { flushed = NR }
  index($0, dir) && /f(data)?sync\(/ && flushed { folder = NR }
  /unlink(at)?\(/ && index($0, patch) { deleted = NR; ready = folder; unmarked_ready = unmarked_named }
  END {
    if (!written) { print "no write of the map was seen" > "/dev/stderr"; exit 1 }
    if (!deleted) { print "no deletion of the patch was seen" > "/dev/stderr"; exit 1 }
    if (!ready || written > deleted) { print "the patch was deleted before the map and its folder were flushed" > "/dev/stderr"; exit 1 }
    if (!named || named > first) { print "the map was written before its marker was on the disk" > "/dev/stderr"; exit 1 }
    if (!unmarked_ready || !map_was_ready) { print "the patch was deleted before the marker was gone from the disk, or the marker went before the map was flushed" > "/dev/stderr"; exit 1 }
    print "marker made (line " made "), folder flushed (line " named "), map written (lines " first " to " written "), flushed, folder flushed (line " map_was_ready "), marker deleted (line " unmarked "), folder flushed (line " unmarked_ready "), patch deleted (line " deleted ")"
  }' "$folder/trace"
