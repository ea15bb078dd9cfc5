#include "diff/patch_writer.h"

#include <algorithm>
#include <unordered_map>

#include "diff/block_index.h"
#include "diff/byte_cost.h"
#include "diff/reference_placement.h"
#include "format/source_reference.h"

namespace {

constexpr std::uint64_t position_limit = std::uint64_t{1} << 31;  // offsets are signed 32-bit
constexpr std::size_t candidates_by_content = 3;
constexpr std::size_t candidates_by_name = 8;
constexpr std::size_t window = std::size_t{256} << 10;
constexpr std::size_t chunk_window = std::size_t{4} << 20;  // chunks up to this size are read once

struct candidate {
    std::size_t source;
    std::uint64_t offset;
};

// A chunk of the patch read window by window: a chunk of any size costs one window of memory,
// and a chunk that fits in it is read once.
struct chunk_reader {
    const stored_file& file;
    std::uint64_t offset;
    std::size_t size;
    std::vector<unsigned char>& buffer;
    std::size_t base = 0, filled = 0;

    // The `count` bytes from `at` on (count <= buffer size, at + count <= size), or null when
    // the file cannot be read.
    const unsigned char* bytes_at(std::size_t at, std::size_t count) {
        if (at < base || at + count > base + filled) {
            base = at;
            filled = std::min(buffer.size(), size - at);
            if (read_at(file, offset + at, buffer.data(), filled) != filled) {
                filled = 0;
                return nullptr;
            }
        }
        return buffer.data() + (at - base);
    }
};

// The offsets at which the chunk's blocks are found in the usable sources, most often found
// first.
bool content_candidates(const block_index& index, const std::vector<bool>& usable, chunk_reader& chunk,
                        std::vector<candidate>& found) {
    found.clear();
    const std::size_t b = index.block_size, size = chunk.size;
    if (size < b || index.first_block.empty()) return true;
    std::unordered_map<std::uint64_t, std::uint32_t> votes;
    const std::uint64_t drop = rolling_drop_factor(b);
    const unsigned char* bytes = chunk.bytes_at(0, b);
    if (!bytes) return false;
    std::uint64_t hash = block_hash(bytes, b);
    for (std::size_t p = 0;;) {
        block_match match{};
        // A block of a source this map may not draw on (the map itself, a map installed after it)
        // tells nothing: the scan rolls on past it.
        if (find_block(index, hash, match) && usable[match.source]) {
            if (match.offset > p) {
                const std::uint64_t key = (static_cast<std::uint64_t>(match.source) << 40) | (match.offset - p);
                ++votes[key];
            }
            // The next block of a matching run lies one block on: skip to it.
            p += b;
            if (p + b > size) break;
            if (!(bytes = chunk.bytes_at(p, b))) return false;
            hash = block_hash(bytes, b);
            continue;
        }
        if (p + b >= size) break;
        if (!(bytes = chunk.bytes_at(p, b + 1))) return false;
        hash = hash * rolling_multiplier + bytes[b] - drop * bytes[0];
        ++p;
    }
    std::vector<std::pair<std::uint32_t, std::uint64_t>> ranked;
    ranked.reserve(votes.size());
    for (const auto& vote : votes) ranked.emplace_back(vote.second, vote.first);
    std::sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) {
        return x.first != y.first ? x.first > y.first : x.second < y.second;
    });
    for (std::size_t k = 0; k < ranked.size() && k < candidates_by_content; ++k)
        found.push_back({static_cast<std::size_t>(ranked[k].second >> 40), ranked[k].second & ((std::uint64_t{1} << 40) - 1)});
    return true;
}

// The estimated bits of the chunk's own bytes.
bool own_bits(chunk_reader& chunk, double& bits) {
    byte_cost cost;
    for (std::size_t done = 0; done < chunk.size;) {
        const std::size_t piece = std::min(chunk.buffer.size(), chunk.size - done);
        const unsigned char* bytes = chunk.bytes_at(done, piece);
        if (!bytes) return false;
        add_to_cost(cost, bytes, piece);
        done += piece;
    }
    bits = cost_bits(cost);
    return true;
}

// The estimated bits of the chunk's difference against the source range; stops early, with a
// value above `bound`, once that is certain.
bool difference_bits(const stored_file& source, std::uint64_t offset, chunk_reader& chunk, double bound,
                     std::vector<unsigned char>& scratch, double& bits) {
    byte_cost cost;
    for (std::size_t done = 0; done < chunk.size;) {
        const std::size_t piece = std::min(window, chunk.size - done);
        const unsigned char* bytes = chunk.bytes_at(done, piece);
        if (!bytes || read_at(source, offset + done, scratch.data(), piece) != piece) return false;
        for (std::size_t k = 0; k < piece; ++k) scratch[k] = static_cast<unsigned char>(bytes[k] - scratch[k]);
        add_to_cost(cost, scratch.data(), piece);
        done += piece;
        if (cost.bits > bound) break;
    }
    bits = cost_bits(cost);
    return true;
}

// The usable sources opened, the block index of all sources, and the usable ones' entries by name.
struct source_search {
    const block_index& index;
    const std::vector<bool>& usable;
    std::vector<stored_file> open;
    std::unordered_multimap<std::string, candidate> same_named;
};

bool prepare_search(const storage& where, const std::vector<patch_source>& sources, source_search& search) {
    search.open.resize(sources.size());
    for (std::size_t s = 0; s < sources.size(); ++s)
        if (search.usable[s] && !open_stored_file(where, sources[s].path, open_mode::read, search.open[s])) return false;

    for (std::size_t s = 0; s < sources.size(); ++s) {
        if (!search.usable[s]) continue;
        for (const table_entry& theirs : sources[s].table)
            if (theirs.chunk_size > 0) search.same_named.emplace(theirs.name, candidate{s, theirs.chunk_offset});
    }
    return true;
}

// The source range whose difference, with a reference of at most `room` bytes, costs fewer bits
// than the chunk's own bytes, and fewest of all; `found` is false when none does.
bool find_best_candidate(const source_search& search, const std::vector<patch_source>& sources, const table_entry& entry,
                         std::size_t room, chunk_reader& chunk, std::vector<unsigned char>& scratch, bool& found,
                         candidate& best) {
    found = false;
    std::vector<candidate> candidates;
    if (!content_candidates(search.index, search.usable, chunk, candidates)) return false;
    // A few same-named entries are enough: more only repeats the work on damaged tables.
    const auto named = search.same_named.equal_range(entry.name);
    std::size_t taken = 0;
    for (auto c = named.first; c != named.second && taken < candidates_by_name; ++c, ++taken)
        candidates.push_back(c->second);

    double best_bits = 0;
    if (!own_bits(chunk, best_bits)) return false;
    for (const candidate& c : candidates) {
        const patch_source& source = sources[c.source];
        // Offset 0 means "no reference"; the range must lie in the source, below 2 GiB.
        if (c.offset == 0 || c.offset >= position_limit || c.offset + chunk.size > source.size) continue;
        const std::size_t reference_size = source_reference_size(source.name.size());
        if (reference_size > room) continue;
        const double overhead = 8.0 * static_cast<double>(reference_size);
        double bits = 0;
        if (!difference_bits(search.open[c.source], c.offset, chunk, best_bits - overhead, scratch, bits)) return false;
        if (bits + overhead < best_bits) {
            best_bits = bits + overhead;
            best = c;
            found = true;
        }
    }
    return true;
}

// Turns the chunk into its difference against the source range, window by window.
bool write_difference(const stored_file& patch, const chunk_reader& chunk, const stored_file& source,
                      std::uint64_t source_offset, std::vector<unsigned char>& difference, std::vector<unsigned char>& scratch) {
    for (std::size_t done = 0; done < chunk.size;) {
        const std::size_t piece = std::min(window, chunk.size - done);
        if (read_at(patch, chunk.offset + done, difference.data(), piece) != piece ||
            read_at(source, source_offset + done, scratch.data(), piece) != piece)
            return false;
        for (std::size_t k = 0; k < piece; ++k) difference[k] = static_cast<unsigned char>(difference[k] - scratch[k]);
        // No referenced chunk covers a byte the scan reads, nor a reference: what is written
        // here and the table's bytes stay apart.
        if (!write_at(patch, chunk.offset + done, difference.data(), piece)) return false;
        done += piece;
    }
    return true;
}

}  // namespace

bool write_patch_in_place(const storage& where, const std::string& patch_path, const std::vector<table_entry>& table,
                          const std::vector<patch_source>& sources, patch_plan& plan, progress& meter) {
    block_index index;
    if (!build_block_index(where, sources, index, meter)) return false;
    return write_patch_on_index(where, patch_path, table, sources, index, std::vector<bool>(sources.size(), true), plan,
                                meter);
}

bool write_patch_on_index(const storage& where, const std::string& patch_path, const std::vector<table_entry>& table,
                          const std::vector<patch_source>& sources, const block_index& index,
                          const std::vector<bool>& usable, patch_plan& plan, progress& meter) {
    plan = patch_plan{};
    plan.chunks_from.assign(sources.size(), 0);
    plan.bytes_from.assign(sources.size(), 0);

    stored_file patch;
    std::uint64_t patch_size = 0;
    std::vector<unsigned char> region;
    if (!open_stored_file(where, patch_path, open_mode::read_write, patch) || !file_size(patch, patch_size) ||
        !read_table_region(patch, patch_size, table, region))
        return false;
    byte_marks marks = marks_of(table, region.size());
    source_search search{index, usable, {}, {}};
    if (!prepare_search(where, sources, search)) return false;

    std::vector<unsigned char> scratch(window), chunk;
    start_stage(meter, "searching sources", table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        report_progress(meter, i);
        const table_entry& entry = table[i];
        if (!may_be_referenced(entry, patch_size, marks)) continue;
        const std::size_t room = reference_room(region, marks, entry);
        if (room < source_reference_size(1)) continue;

        // Read now, not at the start: an overlapping chunk planned before has changed bytes.
        const std::size_t size = entry.chunk_size;
        chunk.resize(std::min(size, std::max(chunk_window, 2 * search.index.block_size + 1)));
        chunk_reader reader{patch, entry.chunk_offset, size, chunk};
        bool found = false;
        candidate best{};
        if (!find_best_candidate(search, sources, entry, room, reader, scratch, found, best)) return false;
        if (!found) continue;

        const patch_source& source = sources[best.source];
        if (!write_difference(patch, reader, search.open[best.source], best.offset, chunk, scratch) ||
            !write_reference(patch, region, marks, entry,
                             {static_cast<std::uint32_t>(best.offset), source.name, source.in_patch_folder}))
            return false;
        plan.references.push_back({i, best.source, static_cast<std::int32_t>(best.offset)});
        ++plan.chunks_from[best.source];
        plan.bytes_from[best.source] += size;
    }
    report_progress(meter, table.size());
    return true;
}
