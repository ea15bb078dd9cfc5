// Writes the mod of bench/pack_speed.sh into <folder>/Mod, from the stock maps that
// bench/make_bench_set wrote into <folder>/Maps, streaming, so that nothing large is held:
//   make_bench_mod <folder>
//
// Eight maps, about 490 MiB, each a table of entries whose chunks (16 bytes to 2 MiB, spread
// evenly over their logarithm) tile its data: a share of the chunks copies a run of bytes of a
// stock map or of a map of the mod written before it, at an offset of no particular alignment
// (one copy in five with a byte changed every 4 KiB), the rest holds bytes found nowhere.
// Bastion.qmw is 256 MiB; Arena draws on Bastion, which draws on Citadel2; Fort on Arena and
// Estuary2, which draws on Docks; Canyon.qmw is named like a stock map and draws on the stock
// Canyon and on Bastion; Garden is mostly new bytes.
//
// Prints, one per line, in the order written:
//   map <file> <bytes> <md5>
//   from <file> <source file> <bytes copied from it>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_random.h"
#include "digest/md5.h"

namespace {

constexpr std::uint32_t magic = 0xC0000001u;
constexpr std::uint64_t mib = std::uint64_t{1} << 20;
constexpr std::uint64_t data_at = mib;  // the table fits below: at most 3400 entries
constexpr std::size_t block = 1 << 20;

struct source_weight {
    std::string file;  // "Maps/<name>" or "Mod/<name>"
    double weight;
};

struct map_recipe {
    std::string name;
    std::uint64_t mib_size;
    double copied;  // share of the chunks that copy a source
    std::vector<source_weight> sources;
};

struct chunk {
    std::uint64_t offset = 0, size = 0;
    int source = -1;  // index into the recipe's sources
    std::uint64_t source_offset = 0;
};

struct input {
    std::FILE* file = nullptr;
    std::uint64_t size = 0;
};

void put_u32(unsigned char* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) at[k] = static_cast<unsigned char>(value >> (8 * k));
}

bool read_at(std::FILE* file, std::uint64_t offset, unsigned char* data, std::size_t size) {
    return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(data, 1, size, file) == size;
}

bool write_map(const std::string& folder, const map_recipe& recipe, std::uint64_t seed) {
    // Streams of far-apart states: no map's new bytes are another's.
    random_numbers random{seed << 40};
    std::vector<input> inputs;
    for (const source_weight& source : recipe.sources) {
        input in;
        in.file = std::fopen((folder + "/" + source.file).c_str(), "rb");
        if (!in.file || std::fseek(in.file, 0, SEEK_END) != 0) {
            std::fprintf(stderr, "make_bench_mod: cannot read %s/%s\n", folder.c_str(), source.file.c_str());
            return false;
        }
        in.size = static_cast<std::uint64_t>(std::ftell(in.file));
        inputs.push_back(in);
    }
    double total_weight = 0;
    for (const source_weight& source : recipe.sources) total_weight += source.weight;

    const std::uint64_t size = recipe.mib_size * mib + seed % 4099;
    std::vector<chunk> chunks;
    for (std::uint64_t at = data_at; at < size;) {
        chunk c;
        c.offset = at;
        c.size = std::min<std::uint64_t>(log_spread_chunk_size(random), size - at);
        if (!inputs.empty() && random.unit() < recipe.copied) {
            double pick = random.unit() * total_weight;
            std::size_t s = 0;
            while (s + 1 < inputs.size() && pick >= recipe.sources[s].weight) pick -= recipe.sources[s++].weight;
            if (inputs[s].size > c.size + 128) {
                c.source = static_cast<int>(s);
                c.source_offset = 64 + random.below(inputs[s].size - c.size - 64);
            }
        }
        chunks.push_back(c);
        at += c.size;
    }
    if (52 + 308 * chunks.size() > data_at) {
        std::fprintf(stderr, "make_bench_mod: the table of %s outgrows its room\n", recipe.name.c_str());
        return false;
    }

    std::vector<unsigned char> head(data_at, 0);
    put_u32(&head[0], magic);
    put_u32(&head[24], static_cast<std::uint32_t>(chunks.size()));
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        unsigned char* entry = &head[52 + 308 * i];
        put_u32(entry, static_cast<std::uint32_t>(chunks[i].offset));
        put_u32(entry + 4, static_cast<std::uint32_t>(chunks[i].size));
        const std::string name = recipe.name.substr(0, recipe.name.size() - 4) + "_" + std::to_string(i);
        std::copy(name.begin(), name.end(), entry + 41);
    }
    const std::string path = folder + "/Mod/" + recipe.name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "make_bench_mod: cannot write %s\n", path.c_str());
        return false;
    }
    md5_context context;
    md5_init(context);
    bool ok = std::fwrite(head.data(), 1, head.size(), out) == head.size();
    md5_update(context, head.data(), static_cast<std::uint32_t>(head.size()));
    std::vector<unsigned char> bytes(block);
    std::map<std::string, std::uint64_t> copied;
    for (const chunk& c : chunks) {
        for (std::uint64_t done = 0; ok && done < c.size;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(block, c.size - done));
            if (c.source >= 0) {
                ok = read_at(inputs[static_cast<std::size_t>(c.source)].file, c.source_offset + done, bytes.data(), piece);
                if (c.offset % 5 == 0)
                    for (std::uint64_t k = (c.offset + done + 4095) / 4096 * 4096; k < c.offset + done + piece; k += 4096)
                        ++bytes[k - c.offset - done];
            } else {
                for (std::size_t k = 0; k < piece; k += 8) {
                    const std::uint64_t word = random.next();
                    for (std::size_t b = 0; b < 8 && k + b < piece; ++b) bytes[k + b] = static_cast<unsigned char>(word >> (8 * b));
                }
            }
            ok = ok && std::fwrite(bytes.data(), 1, piece, out) == piece;
            md5_update(context, bytes.data(), static_cast<std::uint32_t>(piece));
            done += piece;
        }
        if (c.source >= 0) copied[recipe.sources[static_cast<std::size_t>(c.source)].file] += c.size;
    }
    ok = std::fclose(out) == 0 && ok;
    for (const input& in : inputs) std::fclose(in.file);
    if (!ok) {
        std::fprintf(stderr, "make_bench_mod: cannot write %s\n", path.c_str());
        return false;
    }
    md5_final(context);
    std::printf("map %s %llu %s\n", recipe.name.c_str(), static_cast<unsigned long long>(size),
                md5_digest_text(context.digest).c_str());
    for (const auto& from : copied)
        std::printf("from %s %s %llu\n", recipe.name.c_str(), from.first.substr(from.first.find('/') + 1).c_str(),
                    static_cast<unsigned long long>(from.second));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_mod <folder>   (<folder>/Maps from make_bench_set, writes <folder>/Mod)\n");
        return 2;
    }
    const std::string folder = argv[1];
    // In the order written: each map draws only on maps written before it.
    const std::vector<map_recipe> recipes = {
        {"Citadel2.qmw", 48, 0.7, {{"Maps/Abbey.qmw", 1}, {"Maps/Keep.qmw", 1}, {"Maps/Mesa.qmw", 1}}},
        {"Docks.qmw", 64, 0.8, {{"Maps/Harbour.qmw", 2}, {"Maps/Fjord.qmw", 1}, {"Maps/Lagoon.qmw", 1}}},
        {"Bastion.qmw", 256, 0.75,
         {{"Maps/Tundra.qmw", 2}, {"Maps/Valley.qmw", 2}, {"Maps/Wasteland.qmw", 2}, {"Maps/Steppe.qmw", 1},
          {"Maps/Saltflat.qmw", 1}, {"Mod/Citadel2.qmw", 3}}},
        {"Arena.qmw", 32, 0.8, {{"Mod/Bastion.qmw", 3}, {"Mod/Citadel2.qmw", 1}, {"Maps/Jungle.qmw", 1}}},
        {"Estuary2.qmw", 24, 0.8, {{"Mod/Docks.qmw", 3}, {"Maps/Estuary.qmw", 1}}},
        {"Fort.qmw", 16, 0.85, {{"Mod/Arena.qmw", 2}, {"Mod/Estuary2.qmw", 2}, {"Maps/Quarry.qmw", 1}}},
        {"Canyon.qmw", 10, 0.8, {{"Maps/Canyon.qmw", 3}, {"Mod/Bastion.qmw", 1}}},
        {"Garden.qmw", 40, 0.2, {{"Maps/Oasis.qmw", 1}}},
    };
    std::uint64_t seed = 5001;
    for (const map_recipe& recipe : recipes)
        if (!write_map(folder, recipe, seed++)) return 1;
    return 0;
}
