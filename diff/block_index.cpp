#include "diff/block_index.h"

#include <algorithm>
#include <atomic>

#include "diff/side_by_side.h"

namespace {

// Blocks indexed at most: 2^23 slots of 8 bytes each, 64 MiB for a set of any size.
constexpr std::uint64_t max_blocks = std::uint64_t{1} << 22;
constexpr std::size_t smallest_block = 64;
// About 16 bits per block, at most 8 MiB: three bits per block leave about one position in 200
// through.
constexpr unsigned largest_filter_bits = 20;
constexpr unsigned parts_wanted = 4;  // 16 parts: up to 16 workers fill the slots
// Blocks hashed by the workers between two rounds of filling the slots.
constexpr std::size_t batch_blocks = std::size_t{1} << 16;
constexpr std::size_t read_window = std::size_t{1} << 20;
constexpr std::size_t lanes = 8;

std::uint64_t mixed(std::uint64_t hash) {
    std::uint64_t m = hash * 0x9E3779B97F4A7C15ull;
    return m ^ (m >> 29);
}

std::uint32_t slot_key(std::uint64_t m) { return static_cast<std::uint32_t>(m) | 1u; }

std::size_t slot_of(const block_index& index, std::uint64_t m) { return static_cast<std::size_t>(m >> (64 - index.slot_bits)); }

// Slots looked at for one block at most: the whole part when it is small. Half the slots at most
// are taken, so a run this long of taken slots does not come by chance, only from files made to
// collide, or in a part of a few slots; a block beyond it is left out of the index.
std::size_t probe_limit(const block_index& index) {
    constexpr std::size_t most_probes = 256;
    return std::min(most_probes, std::size_t{1} << (index.slot_bits - index.part_bits));
}

std::size_t next_slot(const block_index& index, std::size_t slot) {
    const std::size_t within = (std::size_t{1} << (index.slot_bits - index.part_bits)) - 1;
    return (slot & ~within) | ((slot + 1) & within);
}

// The word shares its top bits with the slot, so each part of the slots has words of its own.
std::size_t filter_word(const block_index& index, std::uint64_t m) {
    return index.filter_bits == 0 ? 0 : static_cast<std::size_t>(m >> (64 - index.filter_bits));
}

std::uint64_t filter_mask(std::uint64_t m) {
    const std::uint64_t f = m * 0xD6E8FEB86659FD93ull;
    return (std::uint64_t{1} << (f >> 58)) | (std::uint64_t{1} << (f >> 52 & 63)) | (std::uint64_t{1} << (f >> 46 & 63));
}

// A block of one repeated byte (zeros, padding) matches everywhere and tells nothing.
bool is_uniform(const unsigned char* data, std::size_t size) {
    return std::all_of(data, data + size, [&](unsigned char b) { return b == data[0]; });
}

std::uint64_t power(std::uint64_t base, std::size_t exponent) {
    std::uint64_t result = 1;
    for (; exponent; exponent >>= 1, base *= base)
        if (exponent & 1) result *= base;
    return result;
}

void insert_block(block_index& index, std::uint64_t m, std::uint32_t block) {
    std::size_t slot = slot_of(index, m);
    for (std::size_t probes = 1; index.slots[slot].key != 0; ++probes, slot = next_slot(index, slot)) {
        // The first of equal blocks is kept: one is as good as another to find a match.
        if (index.slots[slot].key == slot_key(m) || probes == probe_limit(index)) return;
    }
    index.slots[slot] = {slot_key(m), block};
    index.filter[filter_word(index, m)] |= filter_mask(m);
}

void prefetch(const void* at) {
#if defined(__GNUC__)
    __builtin_prefetch(at);
#else
    (void)at;
#endif
}

// One worker's files and buffer while the index is built.
struct index_worker {
    std::vector<stored_file> files;
    std::vector<char> opened;
    std::vector<unsigned char> buffer;
};

// The mixed hashes of global blocks [from, to), 0 for a uniform block, into `out`.
bool hash_blocks(const storage& where, const std::vector<patch_source>& sources, const block_index& index,
                 index_worker& worker, std::uint64_t from, std::uint64_t to, std::uint64_t* out) {
    const std::size_t b = index.block_size;
    std::size_t s = static_cast<std::size_t>(std::upper_bound(index.first_block.begin(), index.first_block.end(), from) -
                                             index.first_block.begin()) - 1;
    for (std::uint64_t block = from; block < to;) {
        while (index.first_block[s] + sources[s].size / b <= block) ++s;
        stored_file& file = worker.files[s];
        if (!worker.opened[s]) {
            if (!open_stored_file(where, sources[s].path, open_mode::read, file)) return false;
            worker.opened[s] = 1;
        }
        const std::uint64_t end = std::min(to, index.first_block[s] + sources[s].size / b);
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(end - block, worker.buffer.size() / b));
        if (read_at(file, (block - index.first_block[s]) * b, worker.buffer.data(), count * b) != count * b) return false;
        for (std::size_t k = 0; k < count; ++k) {
            const unsigned char* bytes = worker.buffer.data() + k * b;
            out[block - from + k] = is_uniform(bytes, b) ? 0 : mixed(block_hash(bytes, b));
        }
        block += count;
    }
    return true;
}

// Fills the parts [first_part, end_part) with the batch's blocks, in block order.
void insert_batch(block_index& index, const std::uint64_t* hashes, std::size_t count, std::uint64_t first,
                  std::size_t first_part, std::size_t end_part) {
    const unsigned shift = 64 - index.part_bits;
    auto mine = [&](std::uint64_t m) {
        const std::size_t part = index.part_bits == 0 ? 0 : static_cast<std::size_t>(m >> shift);
        return m != 0 && part >= first_part && part < end_part;
    };
    constexpr std::size_t ahead = 8;
    for (std::size_t k = 0; k < count; ++k) {
        if (k + ahead < count && mine(hashes[k + ahead])) {
            prefetch(&index.slots[slot_of(index, hashes[k + ahead])]);
            prefetch(&index.filter[filter_word(index, hashes[k + ahead])]);
        }
        if (mine(hashes[k])) insert_block(index, hashes[k], static_cast<std::uint32_t>(first + k));
    }
}

}  // namespace

std::uint64_t block_hash(const unsigned char* data, std::size_t size) {
    // Independent sums of every lanes-th byte, joined at the end: the same value as one chain of
    // multiply-adds, without waiting on each multiply.
    const std::size_t head = size % lanes;
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < head; ++i) hash = hash * rolling_multiplier + data[i];
    if (size == head) return hash;
    static constexpr std::uint64_t m1 = rolling_multiplier, m2 = m1 * m1, m3 = m2 * m1, m4 = m2 * m2, m5 = m4 * m1,
                                   m6 = m4 * m2, m7 = m4 * m3, m8 = m4 * m4;
    std::uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, s6 = 0, s7 = 0;
    for (const unsigned char* p = data + head; p != data + size; p += lanes) {
        s0 = s0 * m8 + p[0];
        s1 = s1 * m8 + p[1];
        s2 = s2 * m8 + p[2];
        s3 = s3 * m8 + p[3];
        s4 = s4 * m8 + p[4];
        s5 = s5 * m8 + p[5];
        s6 = s6 * m8 + p[6];
        s7 = s7 * m8 + p[7];
    }
    const std::uint64_t tail = s0 * m7 + s1 * m6 + s2 * m5 + s3 * m4 + s4 * m3 + s5 * m2 + s6 * m1 + s7;
    return head == 0 ? tail : hash * power(rolling_multiplier, size - head) + tail;
}

std::uint64_t rolling_drop_factor(std::size_t size) { return power(rolling_multiplier, size); }

bool build_block_index(const storage& where, const std::vector<patch_source>& sources, block_index& index,
                       progress& meter, std::size_t workers) {
    std::uint64_t total = 0;
    for (const patch_source& source : sources) total += source.size;
    index.block_size = smallest_block;
    while (total / index.block_size > max_blocks) index.block_size *= 2;

    std::uint64_t blocks = 0;
    index.first_block.clear();
    for (const patch_source& source : sources) {
        index.first_block.push_back(blocks);
        blocks += source.size / index.block_size;
    }
    index.slot_bits = 4;
    while ((std::uint64_t{1} << index.slot_bits) < 2 * blocks) ++index.slot_bits;
    index.slots.assign(std::size_t{1} << index.slot_bits, index_slot{});
    index.filter_bits = 0;
    while (index.filter_bits < largest_filter_bits && (std::uint64_t{4} << index.filter_bits) < blocks) ++index.filter_bits;
    index.filter.assign(std::size_t{1} << index.filter_bits, 0);
    index.part_bits = std::min({parts_wanted, index.filter_bits, index.slot_bits - 2});

    workers = std::max<std::size_t>(1, std::min<std::size_t>(workers, std::size_t{1} << index.part_bits));
    std::vector<index_worker> crew(workers);
    for (index_worker& worker : crew) {
        worker.files.resize(sources.size());
        worker.opened.assign(sources.size(), 0);
        worker.buffer.resize(std::max(index.block_size, read_window));
    }
    // Two batches of hashes: the workers hash the next while they fill the slots with the last.
    std::vector<std::uint64_t> hashes[2];
    hashes[0].resize(static_cast<std::size_t>(std::min<std::uint64_t>(batch_blocks, blocks)));
    hashes[1].resize(hashes[0].size());

    start_stage(meter, "indexing sources", total);
    std::atomic<bool> failed{false};
    const std::size_t parts = std::size_t{1} << index.part_bits;
    const std::uint64_t batches = (blocks + batch_blocks - 1) / batch_blocks;
    for (std::uint64_t round = 0; round <= batches && !failed.load(); ++round) {
        const std::uint64_t hashed = round, filled = round - 1;  // batch numbers, filled only from round 1
        run_workers(workers, [&](std::size_t w) {
            if (hashed < batches) {
                const std::uint64_t first = hashed * batch_blocks, count = std::min<std::uint64_t>(batch_blocks, blocks - first);
                const std::uint64_t from = first + count * w / workers, to = first + count * (w + 1) / workers;
                if (!hash_blocks(where, sources, index, crew[w], from, to, hashes[hashed % 2].data() + (from - first)))
                    failed.store(true);
            }
            if (round > 0) {
                const std::uint64_t first = filled * batch_blocks;
                const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(batch_blocks, blocks - first));
                insert_batch(index, hashes[filled % 2].data(), count, first, parts * w / workers, parts * (w + 1) / workers);
            }
        });
        if (hashed < batches)
            report_progress(meter, std::min(total, (hashed + 1) * batch_blocks * index.block_size));
    }
    report_progress(meter, total);
    return !failed.load();
}

bool may_hold_block(const block_index& index, std::uint64_t hash) {
    const std::uint64_t m = mixed(hash), mask = filter_mask(m);
    return (index.filter[filter_word(index, m)] & mask) == mask;
}

void prefetch_block(const block_index& index, std::uint64_t hash, bool slot) {
    const std::uint64_t m = mixed(hash);
    prefetch(&index.filter[filter_word(index, m)]);
    if (slot) prefetch(&index.slots[slot_of(index, m)]);
}

bool find_block(const block_index& index, std::uint64_t hash, block_match& match) {
    const std::uint64_t m = mixed(hash), mask = filter_mask(m);
    if ((index.filter[filter_word(index, m)] & mask) != mask) return false;
    std::size_t slot = slot_of(index, m);
    for (std::size_t probes = 0; probes < probe_limit(index); ++probes, slot = next_slot(index, slot)) {
        const index_slot here = index.slots[slot];
        if (here.key == 0) return false;
        if (here.key != slot_key(m)) continue;
        const std::uint64_t block = here.block;
        const auto after = std::upper_bound(index.first_block.begin(), index.first_block.end(), block);
        match.source = static_cast<std::size_t>(after - index.first_block.begin()) - 1;
        match.offset = (block - index.first_block[match.source]) * index.block_size;
        return true;
    }
    return false;
}
