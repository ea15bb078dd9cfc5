// The stock check with its files hashed side by side: several files in the lanes of the
// vector registers of each worker, and one worker per processor core.
#include "stock/stock_check.h"

#include "common/file_system.h"
#include "digest/md5.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace {

struct stock_file {
    open_file file;
    std::uint64_t size = 0;         // as opened; it only orders the work
    const char* digest = nullptr;   // expected; null when the digest is only wanted
    std::string* found = nullptr;   // where the digest text goes, when wanted
};

struct shared_work {
    std::vector<stock_file> files;  // largest first
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<std::uint64_t> bytes_read{0};
};

// One file in one lane, and the lane's part of its worker's read buffers.
struct lane {
    stock_file* file = nullptr;
    unsigned char* buffer = nullptr;
    std::uint32_t state[4] = {};
    std::uint64_t blocks = 0;  // whole blocks folded into state
    std::uint64_t offset = 0;  // of the next read in the file
    std::size_t filled = 0;    // bytes in the buffer
    std::size_t used = 0;      // of those, bytes already hashed
    bool at_end = false;       // the last read was short: the file ends with the buffer
};

bool claim_file(shared_work& work, lane& l) {
    const std::size_t i = work.next.fetch_add(1, std::memory_order_relaxed);
    if (i >= work.files.size()) return false;
    md5_context start;
    md5_init(start);
    l.file = &work.files[i];
    std::memcpy(l.state, start.state, sizeof l.state);
    l.blocks = 0;
    l.offset = 0;
    l.filled = 0;
    l.used = 0;
    l.at_end = false;
    return true;
}

// Leaves the lane idle or with at least one whole block to hash: reads on, finishes a file
// that ends and takes the next. False when a finished file has another digest than its row.
bool prepare_lane(shared_work& work, lane& l, std::size_t chunk) {
    for (;;) {
        if (l.file == nullptr && !claim_file(work, l)) return true;
        const std::size_t left = l.filled - l.used;
        if (left >= 64) return true;
        if (!l.at_end) {
            // Nothing is left here: every read but a file's last fills the chunk, whole blocks.
            const std::size_t got = read_at(l.file->file, l.offset, l.buffer, chunk);
            work.bytes_read.fetch_add(got, std::memory_order_relaxed);
            l.offset += got;
            l.filled = got;
            l.used = 0;
            // A short read is the end of the file or an error; both end the digest there.
            l.at_end = got < chunk;
            continue;
        }
        unsigned char digest[16];
        md5_lanes_finish(l.state, l.blocks, l.buffer + l.used, left, digest);
        close_file(l.file->file);
        const std::string text = md5_digest_text(digest);
        if (l.file->found != nullptr) *l.file->found = text;
        const bool same = l.file->digest == nullptr || text == l.file->digest;
        l.file = nullptr;
        if (!same) return false;
    }
}

void hash_files(shared_work& work, md5_isa isa, unsigned char* buffers, std::size_t chunk) {
    const std::size_t lane_count = md5_lane_count(isa);
    std::array<lane, md5_max_lanes> lanes{};
    for (std::size_t j = 0; j < lane_count; ++j) lanes[j].buffer = buffers + j * chunk;
    std::uint32_t* states[md5_max_lanes];
    const unsigned char* data[md5_max_lanes];

    while (!work.failed.load(std::memory_order_relaxed)) {
        std::size_t active = 0;
        std::size_t blocks = std::numeric_limits<std::size_t>::max();
        for (std::size_t j = 0; j < lane_count; ++j) {
            lane& l = lanes[j];
            if (!prepare_lane(work, l, chunk)) {
                work.failed.store(true, std::memory_order_relaxed);
                return;
            }
            if (l.file == nullptr) continue;
            states[active] = l.state;
            data[active] = l.buffer + l.used;
            ++active;
            blocks = std::min(blocks, (l.filled - l.used) / 64);
        }
        if (active == 0) return;
        // A single file left: the serial routine goes fastest through one message.
        md5_lanes_update(active == 1 ? md5_isa::scalar : isa, states, data, active, blocks);
        for (std::size_t j = 0; j < lane_count; ++j) {
            if (lanes[j].file == nullptr) continue;
            lanes[j].used += blocks * 64;
            lanes[j].blocks += blocks;
        }
    }
}

// One per core, but no more than it takes to keep every lane busy while the largest file is
// hashed: a lane's pace is that of one file, so the largest file sets the least time the
// check can take, and the lanes of further workers would idle beside it.
std::size_t default_workers(const std::vector<stock_file>& files, std::size_t lanes) {
    std::uint64_t total = 0, largest = 0;
    for (const stock_file& file : files) {
        total += file.size;
        largest = std::max(largest, file.size);
    }
    const std::uint64_t lane_bytes = std::max<std::uint64_t>(1, largest) * lanes;
    const std::uint64_t enough = (total + lane_bytes - 1) / lane_bytes;
    const std::uint64_t cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<std::size_t>(std::max<std::uint64_t>(1, std::min(enough, cores)));
}

// Hashes every file of `work`, side by side; false when a file differs from its digest.
bool run_workers(shared_work& work, const stock_check_setup& setup) {
    // The longest files first, so that no long file starts when the others are done.
    std::stable_sort(work.files.begin(), work.files.end(),
                     [](const stock_file& a, const stock_file& b) { return a.size > b.size; });

    const std::size_t lanes = md5_lane_count(setup.isa);
    const std::size_t chunk = std::max<std::size_t>(64, setup.buffer_bytes / lanes / 64 * 64);
    std::size_t workers = setup.workers;
    if (workers == 0) workers = default_workers(work.files, lanes);
    workers = std::max<std::size_t>(1, std::min(workers, work.files.size()));

    // Every buffer is had before a thread starts: a worker allocates nothing.
    std::vector<std::unique_ptr<unsigned char[]>> buffers;
    for (std::size_t i = 0; i < workers; ++i) buffers.emplace_back(new unsigned char[lanes * chunk]);

    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < workers; ++i) {
        // A thread the system refuses leaves its share to the others.
        try {
            helpers.emplace_back(hash_files, std::ref(work), setup.isa, buffers[i].get(), chunk);
        } catch (const std::system_error&) {
            break;
        }
    }
    hash_files(work, setup.isa, buffers[0].get(), chunk);
    for (std::thread& helper : helpers) helper.join();

    if (setup.bytes_read != nullptr) *setup.bytes_read = work.bytes_read.load();
    return !work.failed.load();
}

}  // namespace

bool check_stock_lanes(const std::string& maps_path, const stock_map* rows, std::size_t count,
                       const stock_check_setup& setup) {
    shared_work work;
    work.files.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        stock_file& file = work.files[i];
        if (!open_existing(maps_path + rows[i].name, open_mode::read, file.file)) {
            if (setup.bytes_read != nullptr) *setup.bytes_read = 0;
            return false;
        }
        if (!file_size(file.file, file.size)) file.size = 0;
        file.digest = rows[i].digest;
    }
    return run_workers(work, setup);
}

std::vector<file_digest> file_md5_lanes(const std::vector<std::string>& paths, const stock_check_setup& setup) {
    std::vector<file_digest> digests(paths.size());
    shared_work work;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        stock_file file;
        if (!open_existing(paths[i], open_mode::read, file.file)) continue;
        if (!file_size(file.file, file.size)) file.size = 0;
        digests[i].opened = true;
        digests[i].size = file.size;
        file.found = &digests[i].digest;
        work.files.push_back(std::move(file));
    }
    if (work.files.empty()) {
        if (setup.bytes_read != nullptr) *setup.bytes_read = 0;
        return digests;
    }
    run_workers(work, setup);
    return digests;
}
