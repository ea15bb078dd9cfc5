#include "mapmend/run_sequence.h"

#include <chrono>

#include "common/unique_path.h"
#include "digest/file_md5.h"
#include "format/rebuild.h"
#include "stock/stock_check.h"

#ifndef MAPMEND_FOLDER_WAIT_SECONDS
// Longer than any rebuild of a real map takes, even on a slow disk. The tests build a mapmend
// that waits seconds, to see the wait end.
#define MAPMEND_FOLDER_WAIT_SECONDS 600
#endif

namespace {

// How long a run waits for another run that writes in the same folder.
constexpr std::chrono::seconds folder_wait{MAPMEND_FOLDER_WAIT_SECONDS};

}  // namespace

result_code run_jobs(const run_settings& settings) {
    run_record record;
    return run_jobs(the_disk, settings, record);
}

result_code run_jobs(const storage& where, const run_settings& settings, run_record& record) {
    if (settings.maps_path.empty()) return result_code::maps_path_missing;

    if (settings.check_stock) {
        if (settings.patch_path.empty() && (!settings.expected_digest.empty() || settings.delete_patch))
            return result_code::patch_path_missing;
        if (!check_stock(settings.maps_path)) return result_code::stock_check_failed;
        if (settings.patch_path.empty()) return result_code::all_ok;
    }
    // Without a patch there is nothing to rebuild, and nothing may be written.
    if (settings.patch_path.empty()) return result_code::patch_path_missing;

    const std::string output_path = map_file_path(settings.patch_path);
    // Its backup would move the patch away, and its rebuild would read nothing: refused before
    // anything is moved or written.
    record.map_file_is_the_patch = map_file_is_the_patch(settings.patch_path);
    if (record.map_file_is_the_patch) return result_code::rebuild_failed;

    // One run at a time writes in a folder, from here to its end: another run's map there is
    // never moved aside or read half made. A run waited for may have deleted the patch.
    open_file folder_lock;
    if (!lock_stored_folder(where, patch_folder(settings.patch_path), folder_wait, folder_lock))
        return result_code::rebuild_failed;
    if (!stored_file_exists(where, settings.patch_path)) return result_code::patch_not_found;
    // Refused before an earlier map is moved aside, so that a rerun piles up no ".old" copies.
    if (marker_blocks_rebuild(where, settings.patch_path, settings.maps_path)) return result_code::rebuild_failed;
    // A failed move shows as a failed rebuild: the rebuild never replaces a file. Not the
    // rebuild's move of an unfinished map: here a backup name held by what cannot be read counts
    // as free (unique_path), so the move fails and that thing stays untouched.
    if (stored_file_exists(where, output_path)) {
        record.moved_from = output_path;
        record.moved_to = unique_path(output_path + ".old");
        record.moved = move_stored_file(where, output_path, record.moved_to);
    }

    record.rebuild = rebuild_map_file(where, settings.patch_path, settings.maps_path);
    record.rebuild_ran = true;
    if (record.rebuild != rebuilt) return result_code::rebuild_failed;

    if (!settings.expected_digest.empty() && file_md5(where, output_path) != settings.expected_digest)
        return result_code::rebuilt_check_failed;

    if (settings.delete_patch && !delete_stored_file(where, settings.patch_path)) return result_code::delete_failed;
    return result_code::all_ok;
}
