#include "diff/patch_writer.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>

#include "diff/block_index.h"
#include "diff/byte_cost.h"
#include "diff/reference_placement.h"
#include "diff/side_by_side.h"
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
    // Hashes of the positions after p, rolled ahead so that the filter's words are fetched
    // before they are looked at.
    constexpr std::size_t ahead = 32;
    std::uint64_t rolled[ahead];
    std::size_t filled = 0;
    std::uint64_t last = hash;
    for (std::size_t p = 0;;) {
        if (may_hold_block(index, hash)) {
            // Most likely a match, and then the next block is looked at: fetched meanwhile.
            const bool next_block = p + 2 * b <= size;
            std::uint64_t next = 0;
            if (next_block) {
                if (!(bytes = chunk.bytes_at(p + b, b))) return false;
                next = block_hash(bytes, b);
                prefetch_block(index, next, true);
            }
            block_match match{};
            // A block of a source this map may not draw on (the map itself, a map installed
            // after it) tells nothing: the scan rolls on past it.
            if (find_block(index, hash, match) && usable[match.source]) {
                if (match.offset > p) {
                    const std::uint64_t key = (static_cast<std::uint64_t>(match.source) << 40) | (match.offset - p);
                    ++votes[key];
                }
                // The next block of a matching run lies one block on: skip to it.
                if (!next_block) break;
                p += b;
                hash = last = next;
                filled = 0;
                continue;
            }
        }
        if (p + b >= size) break;
        for (; filled < ahead && p + filled + b < size; ++filled) {
            if (!(bytes = chunk.bytes_at(p + filled, b + 1))) return false;
            last = last * rolling_multiplier + bytes[b] - drop * bytes[0];
            rolled[(p + filled + 1) % ahead] = last;
            prefetch_block(index, last, false);
        }
        ++p;
        hash = rolled[p % ahead];
        --filled;
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
// Each worker has its own: a file's position is shared by its users on some systems.
struct source_search {
    const block_index& index;
    const std::vector<bool>& usable;
    const std::unordered_multimap<std::string, candidate>& same_named;
    std::vector<stored_file> open;
};

std::unordered_multimap<std::string, candidate> same_named_of(const std::vector<patch_source>& sources,
                                                             const std::vector<bool>& usable) {
    std::unordered_multimap<std::string, candidate> same_named;
    for (std::size_t s = 0; s < sources.size(); ++s) {
        if (!usable[s]) continue;
        for (const table_entry& theirs : sources[s].table)
            if (theirs.chunk_size > 0) same_named.emplace(theirs.name, candidate{s, theirs.chunk_offset});
    }
    return same_named;
}

bool open_sources(const storage& where, const std::vector<patch_source>& sources, source_search& search) {
    search.open.resize(sources.size());
    for (std::size_t s = 0; s < sources.size(); ++s)
        if (search.usable[s] && !open_stored_file(where, sources[s].path, open_mode::read, search.open[s])) return false;
    return true;
}

// The source range whose difference, with a reference of at most `room` bytes, costs fewer bits
// than the chunk's own bytes, and fewest of all; `found` is false when none does.
bool find_best_candidate(const source_search& search, const std::vector<patch_source>& sources, const table_entry& entry,
                         std::size_t room, const std::vector<candidate>& nearby, chunk_reader& chunk,
                         std::vector<unsigned char>& scratch, bool& found, candidate& best) {
    found = false;
    std::vector<candidate> candidates;
    if (!content_candidates(search.index, search.usable, chunk, candidates)) return false;
    candidates.insert(candidates.end(), nearby.begin(), nearby.end());
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

// The entries whose planning reads or writes no byte another entry's planning reads or writes:
// their chunks and the bytes their references may take (one entry's may overlap each other)
// lie apart from every other entry's. Each such entry comes out the same whenever it is
// planned; the others are planned one after the other in table order. (The rest of the table
// region is only read.)
std::vector<char> planned_apart(const std::vector<table_entry>& table, std::size_t region_size) {
    struct span {
        std::uint64_t from, to;
        std::size_t entry;
    };
    std::vector<span> spans;
    spans.reserve(2 * table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].chunk_size == 0) continue;
        spans.push_back({table[i].chunk_offset, std::uint64_t{table[i].chunk_offset} + table[i].chunk_size, i});
        const std::uint64_t at = std::min<std::uint64_t>(table[i].reference_at, region_size);
        spans.push_back({at, std::min<std::uint64_t>(at + source_reference_size(longest_source_name), region_size), i});
    }
    std::sort(spans.begin(), spans.end(), [](const span& a, const span& b) { return a.from < b.from; });
    std::vector<char> apart(table.size(), 1);
    // Runs of overlapping spans: one holding the spans of two entries is planned in order.
    for (std::size_t first = 0; first < spans.size();) {
        std::uint64_t end = spans[first].to;
        bool mixed = false;
        std::size_t next = first + 1;
        for (; next < spans.size() && spans[next].from < end; ++next) {
            end = std::max(end, spans[next].to);
            mixed = mixed || spans[next].entry != spans[first].entry;
        }
        if (mixed)
            for (std::size_t k = first; k < next; ++k)
                apart[spans[k].entry] = 0;
        first = next;
    }
    return apart;
}

// One worker's files and buffers.
struct planner {
    stored_file patch;
    source_search search;
    std::vector<unsigned char> scratch, chunk;
};

struct entry_choice {
    bool found = false;
    candidate best{};
};

// Chooses the entry's source range, if any pays (`nearby` are tried beside those found by
// content and name), and writes its difference in place.
bool plan_entry(const table_entry& entry, std::uint64_t patch_size, const byte_marks& marks,
                const std::vector<unsigned char>& region, const std::vector<patch_source>& sources, planner& worker,
                entry_choice& choice, const std::vector<candidate>& nearby = {}) {
    choice.found = false;
    if (!may_be_referenced(entry, patch_size, marks)) return true;
    const std::size_t room = reference_room(region, marks, entry);
    if (room < source_reference_size(1)) return true;

    // Read now, not at the start: an overlapping chunk planned before has changed bytes.
    const std::size_t size = entry.chunk_size;
    worker.chunk.resize(std::min(size, std::max(chunk_window, 2 * worker.search.index.block_size + 1)));
    chunk_reader reader{worker.patch, entry.chunk_offset, size, worker.chunk};
    if (!find_best_candidate(worker.search, sources, entry, room, nearby, reader, worker.scratch, choice.found, choice.best))
        return false;
    return !choice.found ||
           write_difference(worker.patch, reader, worker.search.open[choice.best.source], choice.best.offset, worker.chunk,
                            worker.scratch);
}

}  // namespace

bool write_patch_in_place(const storage& where, const std::string& patch_path, const std::vector<table_entry>& table,
                          const std::vector<patch_source>& sources, patch_plan& plan, progress& meter,
                          std::size_t workers) {
    block_index index;
    if (!build_block_index(where, sources, index, meter, workers)) return false;
    return write_patch_on_index(where, patch_path, table, sources, index, std::vector<bool>(sources.size(), true), plan,
                                meter, workers);
}

bool write_patch_on_index(const storage& where, const std::string& patch_path, const std::vector<table_entry>& table,
                          const std::vector<patch_source>& sources, const block_index& index,
                          const std::vector<bool>& usable, patch_plan& plan, progress& meter, std::size_t workers) {
    plan = patch_plan{};
    plan.chunks_from.assign(sources.size(), 0);
    plan.bytes_from.assign(sources.size(), 0);

    std::uint64_t patch_size = 0;
    std::vector<unsigned char> region;
    const auto same_named = same_named_of(sources, usable);
    workers = std::max<std::size_t>(1, workers);
    std::vector<planner> crew;
    crew.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w) {
        crew.push_back({{}, {index, usable, same_named, {}}, std::vector<unsigned char>(window), {}});
        if (!open_stored_file(where, patch_path, open_mode::read_write, crew[w].patch) ||
            !open_sources(where, sources, crew[w].search))
            return false;
    }
    const stored_file& patch = crew[0].patch;
    if (!file_size(patch, patch_size) || !read_table_region(patch, patch_size, table, region)) return false;
    byte_marks marks = marks_of(table, region.size());
    const std::vector<char> apart = planned_apart(table, region.size());

    auto commit = [&](std::size_t i, const entry_choice& choice) {
        if (!choice.found) return true;
        const patch_source& source = sources[choice.best.source];
        if (!write_reference(patch, region, marks, table[i],
                             {static_cast<std::uint32_t>(choice.best.offset), source.name, source.in_patch_folder}))
            return false;
        plan.references.push_back({i, choice.best.source, static_cast<std::int32_t>(choice.best.offset)});
        ++plan.chunks_from[choice.best.source];
        plan.bytes_from[choice.best.source] += table[i].chunk_size;
        return true;
    };

    start_stage(meter, "searching sources", table.size());
    // The entries planned apart, by every worker, each taking the next; their references are
    // written after, in table order, as nothing else reads their bytes.
    std::vector<entry_choice> choices(table.size());
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> failed{false};
    run_workers(workers, [&](std::size_t w) {
        for (std::size_t i; !failed.load() && (i = next.fetch_add(1)) < table.size();) {
            if (apart[i] && !plan_entry(table[i], patch_size, marks, region, sources, crew[w], choices[i])) failed.store(true);
            const std::size_t finished = done.fetch_add(1) + 1;
            if (w == 0) report_progress(meter, finished);
        }
    });
    if (failed.load()) return false;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (apart[i] && !commit(i, choices[i])) return false;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (apart[i]) continue;
        entry_choice choice;
        if (!plan_entry(table[i], patch_size, marks, region, sources, crew[0], choice) || !commit(i, choice)) return false;
    }
    const auto by_entry = [](const planned_reference& a, const planned_reference& b) { return a.entry < b.entry; };
    std::sort(plan.references.begin(), plan.references.end(), by_entry);

    // A chunk shorter than two blocks may hold no whole block of the index, which then cannot
    // find it. Authors copy runs of entries: such a chunk is tried where the range last taken
    // from each source ends, and where the next one taken from it begins, in table order.
    const std::vector<planned_reference> found = plan.references;
    std::vector<std::uint64_t> last_end(sources.size(), 0);
    std::vector<std::vector<std::pair<std::size_t, std::uint64_t>>> taken(sources.size());  // entry, offset
    for (const planned_reference& r : found) taken[r.source].emplace_back(r.entry, static_cast<std::uint64_t>(r.source_offset));
    std::vector<std::size_t> next_taken(sources.size(), 0);
    std::vector<candidate> nearby;
    for (std::size_t i = 0, f = 0; i < table.size(); ++i) {
        const bool has_reference = f < found.size() && found[f].entry == i;
        const std::size_t size = table[i].chunk_size;
        if (!has_reference && size > 0 && size < 2 * index.block_size) {
            nearby.clear();
            for (std::size_t s = 0; s < sources.size(); ++s) {
                while (next_taken[s] < taken[s].size() && taken[s][next_taken[s]].first < i) ++next_taken[s];
                if (last_end[s] > 0) nearby.push_back({s, last_end[s]});
                if (next_taken[s] < taken[s].size() && taken[s][next_taken[s]].second > size)
                    nearby.push_back({s, taken[s][next_taken[s]].second - size});
            }
            entry_choice choice;
            if (!nearby.empty() &&
                (!plan_entry(table[i], patch_size, marks, region, sources, crew[0], choice, nearby) || !commit(i, choice)))
                return false;
            if (choice.found) last_end[choice.best.source] = choice.best.offset + size;
        }
        if (has_reference) {
            last_end[found[f].source] = static_cast<std::uint64_t>(found[f].source_offset) + size;
            ++f;
        }
    }
    std::sort(plan.references.begin(), plan.references.end(), by_entry);
    report_progress(meter, table.size());
    return true;
}
