#include "fuzz/patch_model.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct entry {
    std::string name;
    std::int32_t source_offset;
    bool in_patch_folder;
    std::int32_t chunk_offset;
    std::uint32_t chunk_size;
};

bool u32_at(const std::string& file, std::uint64_t at, std::uint32_t& value) {
    if (at + 4 > file.size()) return false;
    value = 0;
    for (int k = 3; k >= 0; --k) value = value << 8 | static_cast<unsigned char>(file[at + k]);
    return true;
}

model_rebuild failed() { return {model_outcome::failed, {}}; }

}  // namespace

model_rebuild rebuild_in_memory(const std::string& patch, const std::string& stock) {
    std::string out = patch;
    std::uint32_t magic = 0, count = 0;
    if (!u32_at(out, 0, magic) || magic != 0xC0000001u) return failed();
    if (!u32_at(out, 24, count)) return failed();

    std::vector<entry> entries;
    for (std::int64_t i = 0; i < static_cast<std::int32_t>(count); ++i) {
        const std::uint64_t base = 52 + 308 * static_cast<std::uint64_t>(i);
        std::uint32_t chunk_offset = 0, chunk_size = 0, source_offset = 0;
        if (!u32_at(out, base, chunk_offset) || !u32_at(out, base + 4, chunk_size)) return failed();
        std::uint64_t at = base + 41;
        for (int skipped = 0; skipped < 263; ++skipped) {
            if (at >= out.size()) return failed();
            if (out[at++] == 0) break;
        }
        const std::uint64_t reference = at;
        if (!u32_at(out, at, source_offset)) return failed();
        if (source_offset == 0) continue;
        at += 4;
        std::string name;
        for (;;) {
            if (at >= out.size()) return failed();
            const char c = out[at++];
            if (c == 0) break;
            name += c;
        }
        if (at >= out.size()) return failed();
        const bool flag = out[at++] != 0;
        // Only names the target prepares can be told apart from unsafe ones without the rules.
        if (name != "Stock.qmw" && name != "Near.qmw") return {};
        entries.push_back({name, static_cast<std::int32_t>(source_offset), flag, static_cast<std::int32_t>(chunk_offset), chunk_size});
        std::fill(out.begin() + static_cast<long>(reference), out.begin() + static_cast<long>(at), '\0');
    }

    for (const entry& e : entries) {
        if (e.chunk_size == 0) continue;
        if (e.chunk_offset < 0 || static_cast<std::uint64_t>(e.chunk_offset) + e.chunk_size > out.size()) return failed();
        if (e.source_offset < 0) return failed();
    }
    std::stable_sort(entries.begin(), entries.end(), [](const entry& a, const entry& b) {
        if (a.in_patch_folder != b.in_patch_folder) return !a.in_patch_folder;
        if (a.name != b.name) return a.name < b.name;
        return a.source_offset < b.source_offset;
    });

    // A group takes its folder from its first entry: only the two prepared files are found there.
    for (std::size_t j = 0; j < entries.size(); ++j) {
        const bool group_start = j == 0 || entries[j].name != entries[j - 1].name;
        if (group_start && !((entries[j].name == "Stock.qmw" && !entries[j].in_patch_folder) ||
                             (entries[j].name == "Near.qmw" && entries[j].in_patch_folder)))
            return {};
    }
    for (const entry& e : entries) {
        if (e.chunk_size == 0) continue;
        const std::uint64_t from = static_cast<std::uint32_t>(e.source_offset);
        if (from + e.chunk_size > stock.size()) return failed();
        for (std::uint32_t k = 0; k < e.chunk_size; ++k)
            out[static_cast<std::size_t>(e.chunk_offset) + k] =
                static_cast<char>(static_cast<unsigned char>(out[static_cast<std::size_t>(e.chunk_offset) + k]) +
                                  static_cast<unsigned char>(stock[from + k]));
    }
    return {model_outcome::rebuilt, out};
}
