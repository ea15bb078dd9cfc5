// Figures for the stock check and its lane routines. Prints figures; asserts nothing.
//
// usage: stock_check_bench --check <table> <maps folder> [serial|<isa>] [workers]
//            one stock check against a table in md5sum format (exit status 0 when it passes,
//            1 when it fails), for timing from outside: "serial" is the check one file after
//            the other, an instruction set (scalar, sse2, avx2, avx512) forces that lane
//            routine; the default is the tool's own choice
//        stock_check_bench --lanes [MiB per lane]
//            MD5 throughput of each lane routine the processor runs, on bytes in memory, on
//            one and on every core, beside the machine's memory-read rate
#include "digest/file_md5.h"
#include "digest/md5.h"
#include "digest/md5_lanes.h"
#include "stock/stock_check.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

double seconds_of(const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// Runs `work(thread index)` on `threads` threads at once and gives the best wall time of three.
double parallel_seconds(std::size_t threads, const std::function<void(std::size_t)>& work) {
    return seconds_of([&] {
        std::vector<std::thread> pool;
        for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work, t);
        work(0);
        for (std::thread& thread : pool) thread.join();
    });
}

int check(const std::string& table_path, std::string maps, const std::string& how, std::size_t workers) {
    std::ifstream table(table_path, std::ios::binary);
    std::vector<std::string> names, digests;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 35) continue;
        digests.push_back(line.substr(0, 32));
        names.push_back(line.substr(34));
    }
    if (names.empty()) {
        std::fprintf(stderr, "stock_check_bench: no rows in %s\n", table_path.c_str());
        return 2;
    }
    std::vector<stock_map> rows;
    for (std::size_t i = 0; i < names.size(); ++i) rows.push_back({names[i].c_str(), digests[i].c_str()});
    if (maps.back() != '/' && maps.back() != '\\') maps += '/';

    if (how == "serial") return check_stock(maps, rows.data(), rows.size(), file_md5) ? 0 : 1;
    stock_check_setup setup;
    setup.workers = workers;
    if (!how.empty()) {
        bool known = false;
        for (const md5_isa isa : md5_isas) {
            if (how == md5_isa_name(isa)) {
                setup.isa = isa;
                known = true;
            }
        }
        if (!known || !md5_isa_available(setup.isa)) {
            std::fprintf(stderr, "stock_check_bench: %s is not available here\n", how.c_str());
            return 2;
        }
    }
    return check_stock_lanes(maps, rows.data(), rows.size(), setup) ? 0 : 1;
}

// Sum of 64-bit words with four running sums: the loads are the only limit.
std::uint64_t read_words(const std::uint64_t* words, std::size_t count) {
    std::uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (std::size_t i = 0; i + 4 <= count; i += 4) {
        s0 += words[i];
        s1 += words[i + 1];
        s2 += words[i + 2];
        s3 += words[i + 3];
    }
    return s0 + s1 + s2 + s3;
}

void lane_rates(std::size_t mib_per_lane, std::size_t cores) {
    const std::size_t lane_bytes = mib_per_lane << 20;
    std::printf("MD5 in memory, %zu MiB per lane, best of 3; MB/s counts the bytes of every lane\n", mib_per_lane);
    std::printf("  %-22s %7s %12s %12s %14s\n", "routine", "lanes", "1 core MB/s", "per lane", "all cores MB/s");

    // Each thread hashes its own lanes, so that all cores run at once without sharing bytes.
    std::vector<std::vector<unsigned char>> memory(cores);
    for (std::size_t t = 0; t < cores; ++t) {
        memory[t].assign(md5_max_lanes * lane_bytes, 0);
        for (std::size_t i = 0; i < memory[t].size(); ++i) memory[t][i] = static_cast<unsigned char>(i * 131 + t);
    }
    const auto run = [&](md5_isa isa, std::size_t t) {
        const std::size_t count = md5_lane_count(isa);
        std::uint32_t state[md5_max_lanes][4] = {};
        std::uint32_t* states[md5_max_lanes];
        const unsigned char* data[md5_max_lanes];
        for (std::size_t j = 0; j < count; ++j) {
            states[j] = state[j];
            data[j] = memory[t].data() + j * lane_bytes;
        }
        md5_lanes_update(isa, states, data, count, lane_bytes / 64);
    };
    {
        const double one = seconds_of([&] {
            md5_context context;
            md5_init(context);
            md5_update(context, memory[0].data(), static_cast<std::uint32_t>(lane_bytes));
            md5_final(context);
        });
        const double all = parallel_seconds(cores, [&](std::size_t t) {
            md5_context context;
            md5_init(context);
            md5_update(context, memory[t].data(), static_cast<std::uint32_t>(lane_bytes));
            md5_final(context);
        });
        std::printf("  %-22s %7d %12.0f %12.0f %14.0f\n", "md5_update (serial)", 1, lane_bytes / one / 1e6,
                    lane_bytes / one / 1e6, cores * lane_bytes / all / 1e6);
    }
    for (const md5_isa isa : md5_isas) {
        if (!md5_isa_available(isa)) {
            std::printf("  %-22s not run by this processor\n", md5_isa_name(isa));
            continue;
        }
        const std::size_t count = md5_lane_count(isa);
        const double one = seconds_of([&] { run(isa, 0); });
        const double all = parallel_seconds(cores, [&](std::size_t t) { run(isa, t); });
        const double bytes = static_cast<double>(count * lane_bytes);
        std::printf("  %-22s %7zu %12.0f %12.0f %14.0f\n", md5_isa_name(isa), count, bytes / one / 1e6,
                    bytes / one / 1e6 / static_cast<double>(count), cores * bytes / all / 1e6);
    }
}

// Memory far beyond every cache, read once per run.
void memory_read_rate(std::size_t cores) {
    const std::size_t words = (std::size_t{256} << 20) / 8;
    std::vector<std::uint64_t> big(words, 1);
    std::uint64_t sink = 0;
    const double one = seconds_of([&] { sink += read_words(big.data(), words); });
    const double all = parallel_seconds(cores, [&](std::size_t t) {
        const std::size_t share = words / cores;
        const std::uint64_t s = read_words(big.data() + t * share, share);
        if (s == 0) std::printf(" ");  // keeps the reads from being dropped
    });
    std::printf("memory read (256 MiB, %zu cores): %.0f MB/s on 1 core, %.0f MB/s on all%s\n", cores,
                words * 8 / one / 1e6, words * 8 / all / 1e6, sink == 0 ? " " : "");
}

int lanes(std::size_t mib_per_lane) {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    lane_rates(mib_per_lane, cores);
    // After the lanes' memory is given back: a 32-bit process has no room for both.
    memory_read_rate(cores);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--check" && argc >= 4 && argc <= 6)
        return check(argv[2], argv[3], argc > 4 ? argv[4] : "", argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 0);
    if (mode == "--lanes" && argc <= 3) return lanes(argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 16);
    std::fprintf(stderr,
                 "usage: stock_check_bench --check <table> <maps folder> [serial|scalar|sse2|avx2|avx512] [workers]\n"
                 "       stock_check_bench --lanes [MiB per lane]\n");
    return 2;
}
