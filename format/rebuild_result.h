// The results of a rebuild and the one text for each, for a program to show; the rebuild itself
// prints nothing.
#pragma once

#include <string>

// 0 for success; every other value is a failure, told apart only by its text: mapmend ends any
// failed rebuild with its one status 9, and mapdiff shows the text.
enum rebuild_result : int {
    rebuilt = 0,
    not_a_patch = 1,         // the copy does not begin with the magic
    output_unavailable = 2,  // a finished map or another file is at the map file path, or the copy cannot be made
    source_missing = 3,      // a source is missing and has no sibling patch file
    damaged_patch = 4,       // the table runs past the file's end, or a chunk lies outside it
    unsafe_source = 5,       // a source name could reach outside its folder
    source_unreadable = 6,   // a source exists but cannot be opened
    source_too_short = 7,    // a source ends before the range an entry reads
    output_failed = 8,       // reading or writing the map file failed
    nesting_too_deep = 9,    // too long a chain of sources rebuilt from their own patch files
    out_of_memory = 10,
    marker_blocked = 11,  // a marker path holds what mapmend did not make, or what it may not delete
};

// What a result means, for people, as a phrase without a full stop; "rebuild result <n>" for a
// number that is none of the above.
std::string rebuild_result_text(int result);
