#!/bin/sh
# pack's files reach the disk before the manifest stands over them: every patch and the
# settings flushed after their last write, and the folder after the last rename, before
# <mod>.md5.partial is renamed to <mod>.md5. The system calls of a sample pack, in the order
# they were made, say so.
# usage: check_pack_flush_order.sh <mapdiff program> <make_sample_set program>
set -eu
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$2" "$folder/sample" "$folder/Riverlands" >/dev/null
mkdir "$folder/Out"
out=$(cd "$folder/Out" && pwd -P)

export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
strace -f -qq -y -o "$folder/trace" \
  -e trace=openat,write,pwrite64,copy_file_range,fsync,fdatasync,rename,renameat,renameat2 \
  "$1" pack "$folder/sample/Maps" "$folder/Riverlands" "$out" >/dev/null

awk -v out="$out" '
  function partial_of(line,   m) { return match(line, "<" out "/[^>]*\\.partial>") ? substr(line, RSTART + 1, RLENGTH - 2) : "" }
  /(write|pwrite64|copy_file_range)\(/ { p = partial_of($0); if (p != "") { written[p] = NR; flushed[p] = 0 } }
  /f(data)?sync\(/ { p = partial_of($0); if (p != "" && written[p]) flushed[p] = NR }
  /f(data)?sync\(/ && index($0, "<" out ">") && !commit { folder = NR }
  /rename/ && index($0, ".qmp.partial\"") { renamed = NR }
  /rename/ && index($0, "Riverlands.md5.partial\"") && !commit { commit = NR }
  END {
    if (!commit) { print "the manifest was never renamed into place" > "/dev/stderr"; exit 1 }
    n = 0
    for (p in written) {
      n++
      if (!flushed[p] || flushed[p] > commit) { print p " was not flushed before the manifest was renamed" > "/dev/stderr"; exit 1 }
    }
    if (n < 6) { print "only " n " temporary files were written" > "/dev/stderr"; exit 1 }
    if (!(folder > renamed && folder < commit)) { print "the folder was not flushed between the renames and the manifest" > "/dev/stderr"; exit 1 }
    print n " temporary files written and flushed, the folder flushed (line " folder "), the manifest renamed (line " commit ")"
  }' "$folder/trace"
