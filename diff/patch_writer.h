// Turns a copy of a map data file into its patch, in place: for each entry it picks the source
// range whose difference compresses best, keeps it only when that pays, and only where the
// source reference fits the rules of the rebuild's scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/storage.h"
#include "diff/block_index.h"
#include "diff/patch_source.h"
#include "diff/progress.h"
#include "format/map_table.h"

struct planned_reference {
    std::size_t entry = 0;
    std::size_t source = 0;
    std::int32_t source_offset = 0;
};

struct patch_plan {
    std::vector<planned_reference> references;
    std::vector<std::uint64_t> chunks_from;  // per source
    std::vector<std::uint64_t> bytes_from;   // per source
};

// Source references only go where the map holds zeros that no scan of another entry reads and
// no chunk covers; a referenced chunk covers no byte the scan reads. The file at `patch_path`
// holds the map on entry, `table` its table, and the patch on return, with `plan` the
// references it holds; one chunk at a time is held in memory. False when the file or a source
// cannot be read or the file written. `workers` threads share the work; the patch is the same
// whatever their number.
bool write_patch_in_place(const storage& where, const std::string& patch_path, const std::vector<table_entry>& table,
                          const std::vector<patch_source>& sources, patch_plan& plan, progress& meter,
                          std::size_t workers = 1);

// The same on an index of the sources built once for several maps: `index` holds every source
// of `sources`, in their order, and the map draws only on those that `usable` marks.
bool write_patch_on_index(const storage& where, const std::string& patch_path, const std::vector<table_entry>& table,
                          const std::vector<patch_source>& sources, const block_index& index,
                          const std::vector<bool>& usable, patch_plan& plan, progress& meter,
                          std::size_t workers = 1);
