// Throughput of file_md5 on one file, beside the throughput of reading the same file alone
// and of MD5 over bytes already in memory. Prints figures; asserts nothing.
//
// usage: md5_bench <size in MiB> [folder]   generates a file there, measures it, deletes it
//        md5_bench --file <path>            measures an existing file
//        md5_bench --digest <path>          prints file_md5 of the file once, for timing from outside
#include "common/file_system.h"
#include "digest/file_md5.h"
#include "digest/md5.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int runs = 3;

double best_seconds(const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best) best = took.count();
    }
    return best;
}

// Pseudo-random bytes from a fixed seed, so every run digests the same file.
bool generate(const std::string& path, std::uint64_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint32_t> chunk(1 << 18);
    std::uint32_t x = 2463534242u;
    for (std::uint64_t done = 0; done < size && out;) {
        for (std::uint32_t& word : chunk) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            word = x;
        }
        const std::uint64_t bytes = std::min<std::uint64_t>(size - done, chunk.size() * 4);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(bytes));
        done += bytes;
    }
    return static_cast<bool>(out);
}

std::uint64_t read_only(const std::string& path) {
    open_file file;
    if (!open_existing(path, open_mode::read, file)) return 0;
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[file_md5_buffer_size]);
    std::uint64_t offset = 0;
    unsigned sink = 0;
    for (;;) {
        const std::size_t got = read_at(file, offset, buffer.get(), file_md5_buffer_size);
        if (got != 0) sink += buffer[got - 1];
        offset += got;
        if (got < file_md5_buffer_size) break;
    }
    return offset + (sink & 0);  // the sink keeps the reads from being dropped
}

void print_rate(const char* what, std::uint64_t bytes, double seconds, const std::string& note = {}) {
    std::printf("%-16s %10.1f MB/s  %8.3f s%s%s\n", what, bytes / seconds / 1e6, seconds,
                note.empty() ? "" : "  ", note.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    bool generated = false;
    if (argc == 3 && std::string(argv[1]) == "--digest") {
        const std::string digest = file_md5(argv[2]);
        std::printf("%s\n", digest.c_str());
        return digest.empty() ? 1 : 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--file") {
        path = argv[2];
    } else if (argc == 2 || argc == 3) {
        const std::uint64_t mib = std::strtoull(argv[1], nullptr, 10);
        const std::filesystem::path folder = argc == 3 ? argv[2] : std::filesystem::temp_directory_path();
        path = (folder / "md5_bench.bin").string();
        if (mib == 0 || !generate(path, mib << 20)) {
            std::fprintf(stderr, "md5_bench: cannot write %llu MiB to %s\n", static_cast<unsigned long long>(mib),
                         path.c_str());
            return 1;
        }
        generated = true;
    } else {
        std::fprintf(stderr,
                     "usage: md5_bench <size in MiB> [folder]\n       md5_bench --file <path>\n"
                     "       md5_bench --digest <path>\n");
        return 2;
    }

    const std::uint64_t size = read_only(path);  // also brings the file into the cache
    std::printf("file %s: %llu bytes, read buffer %zu bytes, best of %d runs\n", path.c_str(),
                static_cast<unsigned long long>(size), file_md5_buffer_size, runs);

    print_rate("read only", size, best_seconds([&] { read_only(path); }));
    std::string digest;
    print_rate("file_md5", size, best_seconds([&] { digest = file_md5(path); }), digest);

    std::vector<unsigned char> memory(64 << 20, 0x5a);
    md5_context context;
    print_rate("md5 in memory", memory.size(), best_seconds([&] {
                   md5_init(context);
                   md5_update(context, memory.data(), static_cast<std::uint32_t>(memory.size()));
                   md5_final(context);
               }));

    if (generated) std::filesystem::remove(path);
    return 0;
}
