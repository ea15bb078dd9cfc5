#include "format/rebuild_result.h"

#include <iterator>

namespace {

// Indexed by rebuild_result.
constexpr const char* result_texts[] = {
    "the map file is rebuilt",
    "a patch file does not begin with the magic",
    "a map file cannot be made: a file is in its place, or the copy failed",
    "a source is missing and has no patch file beside the patch",
    "a patch's table runs past its end, or a chunk lies outside the file",
    "a source name could reach outside its folder",
    "a source cannot be opened",
    "a source ends before the range an entry reads",
    "reading or writing a map file failed",
    "too long a chain of sources rebuilt from their own patch files",
    "not enough memory",
    "a map's .rebuilding path holds a file or folder that mapmend did not make, or one it may not delete",
};
static_assert(std::size(result_texts) == marker_blocked + 1, "one text for each rebuild_result");

}  // namespace

std::string rebuild_result_text(int result) {
    if (result < rebuilt || result > marker_blocked) return "rebuild result " + std::to_string(result);
    return result_texts[result];
}
