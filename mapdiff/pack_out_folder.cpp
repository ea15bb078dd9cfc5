#include "mapdiff/pack_out_folder.h"

#include <algorithm>

#include "common/file_system.h"
#include "common/path_text.h"
#include "mapdiff/source_set.h"
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

bool read_manifest_file(const std::string& path, std::vector<manifest_line>& lines) {
    std::string text;
    return kind_of_entry(path) == entry_kind::file && read_small_file(path, text) && read_manifest(text, lines) &&
           !lines.empty();
}

}  // namespace

std::string patch_path_of(const pack_names& names, const std::string& stem) { return path_in(names.folder, stem + ".qmp"); }
std::string manifest_path_of(const pack_names& names) { return path_in(names.folder, names.mod + ".md5"); }
std::string settings_path_of(const pack_names& names) { return path_in(names.folder, names.mod + ".nsh"); }

std::string prepare_out_folder(pack_names& names, bool force) {
    names.earlier_stems.clear();
    names.earlier_set = false;
    names.leftovers_deleted = 0;
    if (!path_exists(names.folder)) {
        if (!create_folder(names.folder)) return "Error: Cannot make the folder " + names.folder + ".";
        return {};
    }
    if (!is_directory(names.folder)) return "Error: " + names.folder + " is not a folder.";
    std::vector<std::string> entries;
    if (!list_folder_entries(names.folder, entries)) return "Error: Cannot read the folder " + names.folder + ".";
    std::sort(entries.begin(), entries.end());

    // An interrupted run: its complete manifest under the temporary name names its maps.
    const std::string marker = file_name(partial_name(manifest_path_of(names)));
    std::vector<manifest_line> interrupted;
    const bool was_interrupted = has_name(entries, marker) && read_manifest_file(path_in(names.folder, marker), interrupted);
    // An earlier complete set, which --force replaces.
    std::vector<manifest_line> earlier;
    names.earlier_set = force && read_manifest_file(manifest_path_of(names), earlier);
    for (const manifest_line& line : earlier) names.earlier_stems.push_back(strip_extension(line.name));

    // The names this run writes, and the temporary ones of this set and of the interrupted one:
    // those pack wrote, or will write, itself.
    std::vector<std::string> writes{file_name(manifest_path_of(names)), file_name(settings_path_of(names))};
    for (const std::string& stem : names.stems) writes.push_back(stem + ".qmp");
    std::vector<std::string> own_partials{marker, file_name(partial_name(settings_path_of(names)))};
    for (const std::string& stem : names.stems) own_partials.push_back(partial_name(stem + ".qmp"));
    for (const manifest_line& line : interrupted) own_partials.push_back(partial_name(strip_extension(line.name) + ".qmp"));

    // A folder at a name pack writes or deletes would make it fail at the end, or for ever.
    for (const std::vector<std::string>* list : {&writes, &own_partials})
        for (const std::string& name : *list) {
            if (!has_name(entries, name)) continue;
            const entry_kind kind = kind_of_entry(path_in(names.folder, name));
            if (kind != entry_kind::file && kind != entry_kind::missing)
                return "Error: " + path_in(names.folder, name) + (kind == entry_kind::folder ? " is a folder" : " is no plain file") +
                       ", where pack writes a file; nothing was deleted.";
        }

    // What the folder holds besides: files of the names the interrupted run renamed, which this
    // set replaces, are its own too; the earlier set's with --force.
    std::vector<std::string> ours = own_partials;
    if (was_interrupted) {
        ours.push_back(file_name(settings_path_of(names)));
        for (const manifest_line& line : interrupted)
            if (has_name(names.stems, strip_extension(line.name))) ours.push_back(strip_extension(line.name) + ".qmp");
    }
    if (names.earlier_set) {
        ours.push_back(file_name(manifest_path_of(names)));
        ours.push_back(file_name(settings_path_of(names)));
        for (const std::string& stem : names.earlier_stems) ours.push_back(stem + ".qmp");
    }
    std::vector<std::string> before;
    for (const std::string& name : entries)
        if (!has_name(ours, name)) before.push_back(name);
    if (!before.empty() && !force) {
        std::string listed;
        for (std::size_t k = 0; k < before.size() && k < 3; ++k) listed += (k == 0 ? "" : ", ") + before[k];
        if (before.size() > 3) listed += ", ...";
        return "Error: " + names.folder + " holds files from before (" + listed +
               "); --force replaces those pack writes and keeps the others.";
    }
    // Only the temporary files; the marker last: while it is there, a run that is cut off here
    // finds the rest again.
    for (const std::string& name : entries) {
        if (!has_name(own_partials, name) || to_lower(name) == to_lower(marker)) continue;
        if (!delete_file(path_in(names.folder, name))) return "Error: Cannot delete " + path_in(names.folder, name) + ".";
        ++names.leftovers_deleted;
    }
    if (has_name(entries, marker)) {
        if (!delete_file(path_in(names.folder, marker))) return "Error: Cannot delete " + path_in(names.folder, marker) + ".";
        ++names.leftovers_deleted;
    }
    return {};
}

void discard_partials(const pack_names& names) {
    for (const std::string& stem : names.stems) delete_file(partial_name(patch_path_of(names, stem)));
    delete_file(partial_name(settings_path_of(names)));
    delete_file(partial_name(manifest_path_of(names)));
}

std::string nothing_written(const pack_names& names) {
    return names.leftovers_deleted == 0
               ? " Nothing was written."
               : " Nothing was written; the " + std::to_string(names.leftovers_deleted) +
                     " temporary files an interrupted run had left were deleted.";
}

std::string commit_pack(const pack_names& names, const std::vector<manifest_line>& lines, const std::string& settings) {
    const std::string manifest = manifest_path_of(names), settings_path = settings_path_of(names);
    const auto give_up = [&](const std::string& error) {
        discard_partials(names);
        return error + nothing_written(names);
    };
    if (!write_new_text_file(partial_name(settings_path), settings)) return give_up("Error: Cannot write " + partial_name(settings_path) + ".");
    if (!write_new_text_file(partial_name(manifest), manifest_text(lines))) return give_up("Error: Cannot write " + partial_name(manifest) + ".");
    // Every file on the disk before the manifest can stand over it.
    std::vector<std::string> written{partial_name(settings_path), partial_name(manifest)};
    for (const std::string& stem : names.stems) written.push_back(partial_name(patch_path_of(names, stem)));
    for (const std::string& path : written)
        if (!flush_file(path)) return give_up("Error: Cannot write " + path + " to the disk.");
    if (!flush_folder_to_disk(names.folder)) return give_up("Error: Cannot write the folder " + names.folder + " to the disk.");

    // The earlier manifest goes first, and is gone on the disk before any file of its set is
    // touched: a set that is renamed part of the way has none. Until then the earlier set stands.
    const bool had_manifest = path_exists(manifest);
    if (had_manifest && (!delete_file(manifest) || !flush_folder_to_disk(names.folder)))
        return give_up("Error: Cannot delete " + manifest + "; the earlier set is as it was.");
    // From here on the set is not given up: whatever stops it, the same command finishes it.
    const std::string deleted = had_manifest ? "; the earlier " + file_name(manifest) + " was deleted" : "";
    const std::string again = deleted + "; run the same command again.";
    for (const std::string& stem : names.earlier_stems) {
        if (has_name(names.stems, stem)) continue;
        const std::string path = patch_path_of(names, stem);
        if (kind_of_entry(path) == entry_kind::file && !delete_file(path)) return "Error: Cannot delete " + path + again;
    }
    for (const std::string& stem : names.stems) {
        const std::string path = patch_path_of(names, stem);
        if (!replace_file(partial_name(path), path)) return "Error: Cannot rename " + partial_name(path) + again;
    }
    if (!replace_file(partial_name(settings_path), settings_path)) return "Error: Cannot rename " + partial_name(settings_path) + again;
    if (!flush_folder_to_disk(names.folder)) return "Error: Cannot write the folder " + names.folder + " to the disk" + again;
    if (!replace_file(partial_name(manifest), manifest)) return "Error: Cannot rename " + partial_name(manifest) + again;
    if (!flush_folder_to_disk(names.folder)) return "Error: Cannot write the folder " + names.folder + " to the disk" + again;
    return {};
}
