#include "mapdiff/pack_out_folder.h"

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"
#include "mapdiff/output_file.h"

namespace {

constexpr std::size_t largest_manifest = std::size_t{1} << 20;

bool read_small_file(const std::string& path, std::string& text) {
    open_file file;
    std::uint64_t size = 0;
    if (!open_existing(path, open_mode::read, file) || !file_size(file, size) || size > largest_manifest) return false;
    text.resize(static_cast<std::size_t>(size));
    return read_at(file, 0, &text[0], text.size()) == text.size();
}

bool has_name(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return to_lower(n) == to_lower(name); });
}

}  // namespace

std::string patch_path_of(const pack_names& names, const std::string& stem) { return path_in(names.folder, stem + ".qmp"); }
std::string manifest_path_of(const pack_names& names) { return path_in(names.folder, names.mod + ".md5"); }
std::string settings_path_of(const pack_names& names) { return path_in(names.folder, names.mod + ".nsh"); }

std::string prepare_out_folder(const pack_names& names, bool force) {
    if (!path_exists(names.folder)) {
        if (!create_folder(names.folder)) return "Error: Cannot make the folder " + names.folder + ".";
        return {};
    }
    if (!is_directory(names.folder)) return "Error: " + names.folder + " is not a folder.";
    std::vector<std::string> files;
    if (!list_folder_files(names.folder, files)) return "Error: Cannot read the folder " + names.folder + ".";
    std::sort(files.begin(), files.end());

    // What a run of this set leaves under temporary names, and, when an interrupted one had
    // begun its renames (its complete manifest is there), the files it had renamed.
    const std::string marker = file_name(partial_name(manifest_path_of(names)));
    std::vector<std::string> left{marker, file_name(partial_name(settings_path_of(names)))};
    for (const std::string& stem : names.stems) left.push_back(stem + ".qmp.partial");
    std::string marker_text;
    std::vector<manifest_line> interrupted;
    if (has_name(files, marker) && read_small_file(path_in(names.folder, marker), marker_text) &&
        read_manifest(marker_text, interrupted)) {
        left.push_back(file_name(settings_path_of(names)));
        for (const manifest_line& line : interrupted) {
            const std::string stem = strip_extension(line.name);
            left.push_back(stem + ".qmp");
            left.push_back(stem + ".qmp.partial");
        }
    }
    std::vector<std::string> earlier;
    for (const std::string& name : files)
        if (!has_name(left, name)) earlier.push_back(name);
    if (!earlier.empty() && !force) {
        std::string listed;
        for (std::size_t k = 0; k < earlier.size() && k < 3; ++k) listed += (k == 0 ? "" : ", ") + earlier[k];
        if (earlier.size() > 3) listed += ", ...";
        return "Error: " + names.folder + " holds files from before (" + listed +
               "); --force replaces those pack writes and keeps the others.";
    }
    // The marker last: while it is there, a run that is cut off here finds the rest again.
    for (const std::string& name : files) {
        if (!has_name(left, name) || to_lower(name) == to_lower(marker)) continue;
        if (!delete_file(path_in(names.folder, name))) return "Error: Cannot delete " + path_in(names.folder, name) + ".";
    }
    if (has_name(files, marker) && !delete_file(path_in(names.folder, marker)))
        return "Error: Cannot delete " + path_in(names.folder, marker) + ".";
    return {};
}

void discard_patches(const pack_names& names) {
    for (const std::string& stem : names.stems) delete_file(partial_name(patch_path_of(names, stem)));
}

std::string commit_pack(const pack_names& names, const std::vector<manifest_line>& lines, const std::string& settings) {
    const std::string manifest = manifest_path_of(names), settings_path = settings_path_of(names);
    if (!write_new_text_file(partial_name(settings_path), settings)) return "Error: Cannot write " + partial_name(settings_path) + ".";
    if (!write_new_text_file(partial_name(manifest), manifest_text(lines))) {
        delete_file(partial_name(settings_path));
        return "Error: Cannot write " + partial_name(manifest) + ".";
    }
    // From here on the set is not given up: whatever stops it, the same command finishes it.
    const std::string again = "; run the same command again.";
    // An earlier manifest goes first: a set that is renamed part of the way has none.
    for (const std::string& path : {manifest, settings_path})
        if (path_exists(path) && !delete_file(path)) return "Error: Cannot delete " + path + again;
    for (const std::string& stem : names.stems) {
        const std::string path = patch_path_of(names, stem);
        if (!place_file(partial_name(path), path, true)) return "Error: Cannot rename " + partial_name(path) + again;
    }
    if (!place_file(partial_name(settings_path), settings_path, true)) return "Error: Cannot rename " + partial_name(settings_path) + again;
    if (!place_file(partial_name(manifest), manifest, true)) return "Error: Cannot rename " + partial_name(manifest) + again;
    return {};
}
