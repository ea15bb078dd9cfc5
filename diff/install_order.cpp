#include "diff/install_order.h"

#include <algorithm>
#include <cstring>

#include "diff/side_by_side.h"

namespace {

constexpr std::uint64_t most_samples = std::uint64_t{1} << 20;  // 8 MiB of keys, per side
constexpr unsigned fewest_rate_bits = 4;                        // at most one position in 16
constexpr std::size_t window = std::size_t{1} << 20;

// A random word per byte value, for a gear hash: h = 2h + gear[byte] depends on the last 64
// bytes only, so equal runs of 64 bytes give equal hashes wherever they lie.
struct gear_table {
    std::uint64_t word[256] = {};
    gear_table() {
        std::uint64_t x = 0x243F6A8885A308D3ull;
        for (std::uint64_t& w : word) {
            x += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = x;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            w = z ^ (z >> 31);
        }
    }
};
const gear_table gear;

// A chunk counts as a copy of a map that holds this share of its samples.
constexpr std::uint64_t copied_share_per_16 = 14;

struct sampled {
    std::vector<std::uint64_t> keys;
    std::vector<std::uint64_t> positions;  // of each key's last byte, rising
};

// The hashes of the file at the positions where the hash's top `rate_bits` bits are zero: the
// same bytes give the same samples in every file. A run of one key (a repeated byte) gives one.
bool sample_file(const storage& where, const patch_source& file, unsigned rate_bits, sampled& out) {
    stored_file opened;
    if (!open_stored_file(where, file.path, open_mode::read, opened)) return false;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(window, file.size)));
    const unsigned shift = 64 - rate_bits;
    std::uint64_t hash = 0, last = 0;
    for (std::uint64_t at = 0; at < file.size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file.size - at));
        if (read_at(opened, at, buffer.data(), piece) != piece) return false;
        for (std::size_t k = 0; k < piece; ++k) {
            hash = (hash << 1) + gear.word[buffer[k]];
            if ((hash >> shift) == 0 && at + k >= 63 && hash != last) {
                out.keys.push_back(last = hash);
                out.positions.push_back(at + k);
            }
        }
        at += piece;
    }
    return true;
}

struct sample {
    std::uint64_t key;
    std::uint32_t source;  // stock first, then the maps that can be sources
    bool operator<(const sample& other) const { return key != other.key ? key < other.key : source < other.source; }
    bool operator==(const sample& other) const { return key == other.key && source == other.source; }
};

// Who holds one sample of a map: a stock map, or these other maps.
struct holding {
    bool in_stock = false;
    std::vector<std::size_t> maps;
};

// The map's chunks copied from other maps, from who holds each of its samples.
shared_samples copied_chunks(const patch_source& map, const sampled& own, const std::vector<holding>& held_by,
                             std::size_t map_count) {
    shared_samples counted;
    std::vector<std::uint64_t> per_map(map_count);
    for (const table_entry& chunk : map.table) {
        const std::uint64_t offset = chunk.chunk_offset;
        const auto first = std::lower_bound(own.positions.begin(), own.positions.end(), offset);
        const auto end = std::lower_bound(first, own.positions.end(), offset + chunk.chunk_size);
        std::uint64_t samples = 0;
        std::fill(per_map.begin(), per_map.end(), 0);
        for (auto at = first; at != end; ++at) {
            const holding& holders = held_by[static_cast<std::size_t>(at - own.positions.begin())];
            if (holders.in_stock) continue;
            ++samples;
            for (const std::size_t m : holders.maps) ++per_map[m];
        }
        std::vector<std::size_t> copied_from;
        for (std::size_t m = 0; m < map_count; ++m)
            if (samples > 0 && per_map[m] * 16 >= samples * copied_share_per_16) copied_from.push_back(m);
        if (copied_from.empty()) continue;
        auto same = std::find_if(counted.begin(), counted.end(), [&](const auto& c) { return c.first == copied_from; });
        if (same == counted.end())
            counted.emplace_back(copied_from, samples);
        else
            same->second += samples;
    }
    return counted;
}

// Who else holds each sample of map `m`: a stock map, or which other maps. `held` is sorted,
// its sources numbered stock maps first, then the maps that `map_of_source` names.
std::vector<holding> holders_of(const sampled& own, std::size_t m, const std::vector<sample>& held, std::size_t stock_count,
                                const std::vector<std::size_t>& map_of_source) {
    // The map's keys sorted are found in one pass over the held ones.
    std::vector<std::size_t> by_key(own.keys.size());
    for (std::size_t k = 0; k < by_key.size(); ++k) by_key[k] = k;
    std::sort(by_key.begin(), by_key.end(), [&](std::size_t a, std::size_t b) { return own.keys[a] < own.keys[b]; });
    std::vector<holding> held_by(own.keys.size());
    auto from = held.begin();
    for (const std::size_t k : by_key) {
        from = std::lower_bound(from, held.end(), sample{own.keys[k], 0});
        for (auto found = from; found != held.end() && found->key == own.keys[k]; ++found) {
            if (found->source < stock_count) {
                held_by[k].in_stock = true;
                break;
            }
            const std::size_t holder = map_of_source[found->source - stock_count];
            if (holder != m) held_by[k].maps.push_back(holder);
        }
    }
    return held_by;
}

bool held_by_placed(const std::vector<std::size_t>& holders, const std::vector<bool>& placed) {
    return std::any_of(holders.begin(), holders.end(), [&](std::size_t m) { return placed[m]; });
}

}  // namespace

bool sketch_shared_samples(const storage& where, const std::vector<patch_source>& stock, const std::vector<mod_map>& maps,
                           std::vector<shared_samples>& shared, progress& meter, std::size_t workers) {
    std::vector<const patch_source*> files;
    files.reserve(stock.size() + maps.size());
    for (const patch_source& file : stock) files.push_back(&file);
    for (const mod_map& map : maps) files.push_back(&map.file);
    std::uint64_t bytes = 0;
    for (const patch_source* file : files) bytes += file->size;
    unsigned rate_bits = fewest_rate_bits;
    while ((bytes >> rate_bits) > most_samples) ++rate_bits;

    start_stage(meter, "sampling the maps", files.size());
    std::vector<sampled> samples(files.size());
    if (!run_side_by_side(
            files.size(), workers, [&](std::size_t f) { return sample_file(where, *files[f], rate_bits, samples[f]); },
            meter))
        return false;

    // Who holds each key: every stock map and every map that can be a source, once each.
    std::vector<sample> held;
    std::vector<std::size_t> map_of_source;
    for (std::size_t f = 0; f < files.size(); ++f) {
        if (f >= stock.size() && !maps[f - stock.size()].can_be_source) continue;
        const auto source = static_cast<std::uint32_t>(f < stock.size() ? f : stock.size() + map_of_source.size());
        if (f >= stock.size()) map_of_source.push_back(f - stock.size());
        for (const std::uint64_t key : samples[f].keys) held.push_back({key, source});
        if (f < stock.size()) samples[f] = sampled{};
    }
    std::sort(held.begin(), held.end());
    held.erase(std::unique(held.begin(), held.end()), held.end());

    shared.assign(maps.size(), {});
    start_stage(meter, "comparing the maps", maps.size());
    return run_side_by_side(
        maps.size(), workers,
        [&](std::size_t m) {
            const sampled& own = samples[stock.size() + m];
            shared[m] = copied_chunks(maps[m].file, own, holders_of(own, m, held, stock.size(), map_of_source), maps.size());
            return true;
        },
        meter);
}

std::vector<std::size_t> order_maps(const std::vector<shared_samples>& all_shared, const std::vector<mod_map>& maps) {
    const std::size_t count = all_shared.size();
    // A chunk of one map can lie whole inside a longer copy that another map made of it: between
    // two maps only the larger count of copied chunks says which copied from which.
    std::vector<std::vector<std::uint64_t>> copied(count, std::vector<std::uint64_t>(count, 0));  // [from][to]
    for (std::size_t c = 0; c < count; ++c)
        for (const auto& set : all_shared[c])
            for (const std::size_t r : set.first) copied[r][c] += set.second;
    std::vector<shared_samples> shared(count);
    for (std::size_t c = 0; c < count; ++c)
        for (const auto& set : all_shared[c])
            if (std::any_of(set.first.begin(), set.first.end(), [&](std::size_t r) { return copied[r][c] > copied[c][r]; }))
                shared[c].push_back(set);

    std::vector<std::size_t> order;
    std::vector<bool> placed(count, false);
    struct standing {
        std::size_t map;
        std::uint64_t lost;     // its samples that no map placed so far holds
        std::uint64_t covered;  // its samples that a map placed so far holds
        std::uint64_t held;     // samples of the maps still to come that it holds and no placed map does
    };
    for (;;) {
        std::vector<standing> candidates;
        for (std::size_t c = 0; c < count; ++c) {
            if (placed[c] || !maps[c].can_be_source) continue;
            standing s{c, 0, 0, 0};
            for (const auto& set : shared[c]) (held_by_placed(set.first, placed) ? s.covered : s.lost) += set.second;
            for (std::size_t r = 0; r < count; ++r) {
                if (placed[r] || r == c) continue;
                for (const auto& set : shared[r])
                    if (std::find(set.first.begin(), set.first.end(), c) != set.first.end() && !held_by_placed(set.first, placed))
                        s.held += set.second;
            }
            candidates.push_back(s);
        }
        if (candidates.empty()) break;
        // The counts are samples: counts a few apart say no more than equal ones.
        const standing* best = &*std::min_element(candidates.begin(), candidates.end(),
                                                  [](const standing& a, const standing& b) { return a.lost < b.lost; });
        const std::uint64_t close = best->lost + best->lost / 16 + 1;
        for (const standing& s : candidates) {
            if (s.lost > close) continue;
            if (s.covered != best->covered ? s.covered > best->covered
                                           : s.held != best->held ? s.held > best->held : s.map < best->map)
                best = &s;
        }
        placed[best->map] = true;
        order.push_back(best->map);
    }
    for (std::size_t c = 0; c < count; ++c)
        if (!maps[c].can_be_source) order.push_back(c);
    return order;
}
