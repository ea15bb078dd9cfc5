// Writes the benchmark's data set, streaming, so that nothing large is held in memory:
//   make_bench_set <folder> [patch MiB, default 512]
//   make_bench_set <folder> <map MiB> --map
//
// <folder>/Maps: 31 stock map files, about 1 GiB together, sizes from 2 to 62 MiB and none a
// multiple of 4096.
// <folder>/Mods: Huge.qmp, a patch of about <patch MiB> with thousands of entries of every
// size from a few bytes to 2 MiB (beyond the rebuild's window), drawing on all 31 stock files
// and on Middle.qmw and Inner.qmw, which are missing and are rebuilt first from Middle.qmp and
// Inner.qmp (Middle draws on Inner too). About one entry in ten carries no source reference.
//
// With --map, <folder>/Mods holds instead Large.qmw, a map of about <map MiB> to make a patch
// for: the same kind of table and chunks, drawing on the 31 stock files only, each chunk with a
// source holding a copy of the source's bytes (one in five with a byte changed every 4 KiB), the
// rest bytes found nowhere.
//
// Every byte a rebuild reads from a source is read once: each source file gives each patch
// one run of consecutive bytes. Prints, one per line:
//   rebuilt <file> <md5 of the rebuilt file>
//   read <folder/file> <bytes>     the rebuild reads within this many leading bytes of it
//   entries <patch> <count> <largest chunk>
//   map <file> <md5>, copied <file> <chunks> <bytes>    (--map: the chunks holding source bytes)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_random.h"

#include "digest/md5.h"

namespace {

constexpr std::uint32_t magic = 0xC0000001u;
constexpr std::uint64_t mib = std::uint64_t{1} << 20;
constexpr std::uint64_t stock_data_at = 64;  // behind a small header of magic and zeros
constexpr std::size_t block = 1 << 20;

// The bytes of a file from its seed: byte `at` depends on nothing but the seed and `at`, so
// a source's bytes at any offset can be made again while its patch is written.
void counter_bytes(std::uint64_t seed, std::uint64_t at, unsigned char* out, std::size_t size) {
    for (std::size_t i = 0; i < size;) {
        const std::uint64_t position = at + i;
        std::uint64_t word = splitmix(seed ^ ((position >> 3) * 0xd1b54a32d192ed03ull));
        word >>= 8 * (position & 7);
        for (std::uint64_t k = position & 7; k < 8 && i < size; ++k, ++i, word >>= 8)
            out[i] = static_cast<unsigned char>(word);
    }
}

// A file that entries read from. Bytes from `data_at` on are counter_bytes of the seed.
struct source_file {
    std::string folder, name;
    std::uint64_t seed, size, data_at;
    bool in_patch_folder;
    std::string read_as;  // the file of the same bytes before the run: the patch for a rebuilt one
};

struct chunk_plan {
    std::uint32_t offset = 0, size = 0;
    int source = -1;  // index into the sources, or none
    std::uint32_t source_offset = 0;
};

struct patch_plan {
    std::string name;        // of the patch file
    int rebuilt_source = -1; // the source its rebuilt file is to later patches, or none
    std::uint64_t seed = 0, size = 0, data_at = 0;
    std::vector<chunk_plan> chunks;
};

void put_u32(unsigned char* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) at[k] = static_cast<unsigned char>(value >> (8 * k));
}

struct output {
    std::FILE* file = nullptr;
    bool ok = true;
    bool open(const std::string& path) {
        file = std::fopen(path.c_str(), "wb");
        if (file) std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
        ok = file != nullptr;
        return ok;
    }
    void write(const unsigned char* data, std::size_t size) { ok = ok && std::fwrite(data, 1, size, file) == size; }
    bool close() {
        if (file) ok = std::fclose(file) == 0 && ok;
        file = nullptr;
        return ok;
    }
};

// Chunk sizes spread evenly over their logarithm, one in 200 empty.
std::uint32_t chunk_size(random_numbers& random) {
    if (random.below(200) == 0) return 0;
    return log_spread_chunk_size(random);
}

// Tiles the patch's data area with chunks and gives about nine in ten of them a run of bytes
// from a source that still has room for it.
void plan_patch(patch_plan& patch, std::vector<source_file>& sources, std::vector<std::uint64_t>& next_read,
                const std::vector<int>& allowed, random_numbers& random) {
    for (std::uint64_t at = patch.data_at; at < patch.size;) {
        chunk_plan chunk;
        chunk.offset = static_cast<std::uint32_t>(at);
        chunk.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk_size(random), patch.size - at));
        if (random.below(10) != 0) {
            const std::size_t start = static_cast<std::size_t>(random.below(allowed.size()));
            for (std::size_t k = 0; k < allowed.size(); ++k) {
                const int s = allowed[(start + k) % allowed.size()];
                if (sources[s].size - next_read[s] < chunk.size) continue;
                chunk.source = s;
                chunk.source_offset = static_cast<std::uint32_t>(next_read[s]);
                next_read[s] += chunk.size;
                break;
            }
        }
        patch.chunks.push_back(chunk);
        at += chunk.size;
    }
}

// Writes the patch and returns the MD5 of the file it rebuilds to. As a map (`as_map`), the file
// is the rebuilt one, with chunks that copy their sources' bytes, and the digest is its own.
bool write_patch(const patch_plan& patch, const std::vector<source_file>& sources, const std::string& folder,
                 std::string& digest, bool as_map = false) {
    // Header and table, as the rebuilt file has them (no source references) and as the patch does.
    const std::uint64_t table_end = 52 + 308 * patch.chunks.size();
    std::vector<unsigned char> target(table_end, 0);
    put_u32(&target[0], magic);
    put_u32(&target[24], static_cast<std::uint32_t>(patch.chunks.size()));
    std::vector<unsigned char> head;
    for (std::size_t i = 0; i < patch.chunks.size(); ++i) {
        unsigned char* entry = &target[52 + 308 * i];
        put_u32(entry, patch.chunks[i].offset);
        put_u32(entry + 4, patch.chunks[i].size);
        const std::string name = "Chunk" + std::to_string(i);
        std::copy(name.begin(), name.end(), entry + 41);
    }
    head = target;
    for (std::size_t i = 0; i < patch.chunks.size() && !as_map; ++i) {
        const chunk_plan& chunk = patch.chunks[i];
        if (chunk.source < 0) continue;
        const source_file& source = sources[chunk.source];
        unsigned char* reference = &head[52 + 308 * i + 41 + ("Chunk" + std::to_string(i)).size() + 1];
        put_u32(reference, chunk.source_offset);
        std::copy(source.name.begin(), source.name.end(), reference + 4);
        reference[4 + source.name.size() + 1] = source.in_patch_folder ? 1 : 0;
    }

    output out;
    if (!out.open(folder + "/Mods/" + patch.name)) return false;
    md5_context context;
    md5_init(context);
    md5_update(context, target.data(), static_cast<std::uint32_t>(target.size()));
    out.write(head.data(), head.size());

    const std::unique_ptr<unsigned char[]> bytes(new unsigned char[block]), from(new unsigned char[block]);
    // write_range: the target's bytes [at, end), as differences against `chunk` when it has a source.
    auto write_range = [&](std::uint64_t at, std::uint64_t end, const chunk_plan* chunk) {
        const bool copy = as_map && chunk && chunk->source >= 0;
        while (at < end) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(block, end - at));
            if (copy) {
                counter_bytes(sources[chunk->source].seed, chunk->source_offset + (at - chunk->offset), bytes.get(), piece);
                if (chunk->offset % 5 == 0)
                    for (std::uint64_t k = (at + 4095) / 4096 * 4096; k < at + piece; k += 4096) ++bytes[k - at];
                md5_update(context, bytes.get(), static_cast<std::uint32_t>(piece));
                out.write(bytes.get(), piece);
                at += piece;
                continue;
            }
            counter_bytes(patch.seed, at, bytes.get(), piece);
            md5_update(context, bytes.get(), static_cast<std::uint32_t>(piece));
            if (chunk && chunk->source >= 0 && !as_map) {
                counter_bytes(sources[chunk->source].seed, chunk->source_offset + (at - chunk->offset), from.get(), piece);
                for (std::size_t i = 0; i < piece; ++i) bytes[i] = static_cast<unsigned char>(bytes[i] - from[i]);
            }
            out.write(bytes.get(), piece);
            at += piece;
        }
    };
    write_range(table_end, patch.data_at, nullptr);
    for (const chunk_plan& chunk : patch.chunks) write_range(chunk.offset, chunk.offset + std::uint64_t{chunk.size}, &chunk);
    if (!out.close()) return false;

    md5_final(context);
    digest = md5_digest_text(context.digest);
    return true;
}

bool write_stock(const source_file& stock, const std::string& folder) {
    output out;
    if (!out.open(folder + "/Maps/" + stock.name)) return false;
    std::vector<unsigned char> bytes(block);
    std::fill(bytes.begin(), bytes.begin() + stock_data_at, 0);
    put_u32(bytes.data(), magic);
    out.write(bytes.data(), stock_data_at);
    for (std::uint64_t at = stock_data_at; at < stock.size;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(block, stock.size - at));
        counter_bytes(stock.seed, at, bytes.data(), piece);
        out.write(bytes.data(), piece);
        at += piece;
    }
    return out.close();
}

const char* const stock_names[31] = {
    "Abbey.qmw",     "ashfall.qmw",   "Badlands.qmw", "BayOfSkulls.qmw", "Canyon.qmw",   "citadel.qmw",
    "Crossing.qmw",  "DeadWood.qmw",  "Delta.qmw",    "dunes.qmw",       "Estuary.qmw",  "Fjord.qmw",
    "Glacier.qmw",   "Harbour.qmw",   "Highland.qmw", "IronPass.qmw",    "Jungle.qmw",   "Keep.qmw",
    "Lagoon.qmw",    "marsh.qmw",     "Mesa.qmw",     "NorthGate.qmw",   "Oasis.qmw",    "Plateau.qmw",
    "Quarry.qmw",    "RedRiver.qmw",  "Saltflat.qmw", "Steppe.qmw",      "Tundra.qmw",   "Valley.qmw",
    "Wasteland.qmw"};

}  // namespace

int main(int argc, char** argv) {
    const bool as_map = argc == 4 && std::string(argv[3]) == "--map";
    if ((argc != 2 && argc != 3 && !as_map)) {
        std::fprintf(stderr, "usage: make_bench_set <folder> [patch MiB, default 512]\n"
                             "       make_bench_set <folder> <map MiB> --map\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::uint64_t patch_mib = argc >= 3 ? std::strtoull(argv[2], nullptr, 10) : 512;
    if (patch_mib < 8 || patch_mib > 1024) {
        std::fprintf(stderr, "make_bench_set: the patch must be 8 to 1024 MiB\n");
        return 2;
    }

    std::vector<source_file> sources;
    for (int i = 0; i < 31; ++i) {
        const std::uint64_t size = (2 + 2 * static_cast<std::uint64_t>(i)) * mib + 4099 * static_cast<std::uint64_t>(i + 1);
        sources.push_back({"Maps", stock_names[i], 1000 + static_cast<std::uint64_t>(i), size, stock_data_at, false,
                           std::string("Maps/") + stock_names[i]});
    }
    patch_plan inner{"Inner.qmp", -1, 2001, 24 * mib + 333, 256 * 1024, {}};
    patch_plan middle{"Middle.qmp", -1, 2002, 40 * mib + 777, 256 * 1024, {}};
    patch_plan huge{"Huge.qmp", -1, 2003, patch_mib * mib + 12345, 4 * mib, {}};
    inner.rebuilt_source = static_cast<int>(sources.size());
    sources.push_back({"Mods", "Inner.qmw", inner.seed, inner.size, inner.data_at, true, "Mods/Inner.qmp"});
    middle.rebuilt_source = static_cast<int>(sources.size());
    sources.push_back({"Mods", "Middle.qmw", middle.seed, middle.size, middle.data_at, true, "Mods/Middle.qmp"});

    std::vector<std::uint64_t> next_read;
    for (const source_file& source : sources) next_read.push_back(source.data_at);
    std::vector<int> stock_only, with_inner, with_both;
    for (int i = 0; i < 31; ++i) stock_only.push_back(i);
    with_inner = stock_only;
    with_inner.push_back(inner.rebuilt_source);
    with_both = with_inner;
    with_both.push_back(middle.rebuilt_source);

    random_numbers random{42};
    plan_patch(inner, sources, next_read, stock_only, random);
    plan_patch(middle, sources, next_read, with_inner, random);
    plan_patch(huge, sources, next_read, with_both, random);

    for (const source_file& source : sources) {
        if (source.folder == "Maps" && !write_stock(source, folder)) {
            std::fprintf(stderr, "make_bench_set: cannot write %s/Maps/%s (does the folder exist?)\n", folder.c_str(),
                         source.name.c_str());
            return 1;
        }
    }
    if (as_map) {
        std::vector<std::uint64_t> map_read;
        for (const source_file& source : sources) map_read.push_back(source.data_at);
        patch_plan large{"Large.qmw", -1, 2004, patch_mib * mib + 12345, 4 * mib, {}};
        plan_patch(large, sources, map_read, stock_only, random);
        std::string digest;
        if (!write_patch(large, sources, folder, digest, true)) {
            std::fprintf(stderr, "make_bench_set: cannot write %s/Mods/%s\n", folder.c_str(), large.name.c_str());
            return 1;
        }
        std::uint32_t largest = 0;
        std::uint64_t copied = 0, copies = 0;
        for (const chunk_plan& chunk : large.chunks) {
            largest = std::max(largest, chunk.size);
            if (chunk.source >= 0 && chunk.size) {
                copied += chunk.size;
                ++copies;
            }
        }
        std::printf("map %s %s\n", large.name.c_str(), digest.c_str());
        std::printf("entries %s %zu %u\n", large.name.c_str(), large.chunks.size(), largest);
        std::printf("copied %s %llu %llu\n", large.name.c_str(), static_cast<unsigned long long>(copies),
                    static_cast<unsigned long long>(copied));
        return 0;
    }
    for (const patch_plan* patch : {&inner, &middle, &huge}) {
        if (52 + 308 * patch->chunks.size() > patch->data_at) {
            std::fprintf(stderr, "make_bench_set: the table of %s outgrows its room\n", patch->name.c_str());
            return 1;
        }
        std::string digest;
        if (!write_patch(*patch, sources, folder, digest)) {
            std::fprintf(stderr, "make_bench_set: cannot write %s/Mods/%s\n", folder.c_str(), patch->name.c_str());
            return 1;
        }
        std::uint32_t largest = 0;
        for (const chunk_plan& chunk : patch->chunks) largest = std::max(largest, chunk.size);
        std::printf("rebuilt %s.qmw %s\n", patch->name.substr(0, patch->name.size() - 4).c_str(), digest.c_str());
        std::printf("entries %s %zu %u\n", patch->name.c_str(), patch->chunks.size(), largest);
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (next_read[i] > sources[i].data_at)
            std::printf("read %s %llu\n", sources[i].read_as.c_str(), static_cast<unsigned long long>(next_read[i]));
    }
    return 0;
}
