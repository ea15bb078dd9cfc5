// Writes a large stock map and a patch whose one chunk draws on it, streaming, so that files
// far larger than memory can be made:
//   make_large_patch <folder> <chunk MiB>
// Writes <folder>/Maps/Large.qmw and <folder>/Mods/Huge.qmp, and prints the digest that the
// rebuilt Huge.qmw must have.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "digest/md5.h"

namespace {

constexpr std::uint64_t chunk_at = 4096;
constexpr std::int32_t source_at = 12345;

// Cheap deterministic bytes: xorshift, eight at a time.
struct byte_stream {
    std::uint64_t state;
    void fill(unsigned char* out, std::size_t size) {
        for (std::size_t i = 0; i < size; i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::uint64_t v = state;
            for (std::size_t k = i; k < i + 8 && k < size; ++k, v >>= 8) out[k] = static_cast<unsigned char>(v);
        }
    }
};

void put_u32(unsigned char* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) at[k] = static_cast<unsigned char>(value >> (8 * k));
}

bool write_all(std::FILE* file, const unsigned char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_large_patch <folder> <chunk MiB>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::uint64_t chunk = std::strtoull(argv[2], nullptr, 10) << 20;
    if (chunk == 0 || chunk_at + chunk >= (std::uint64_t{1} << 31)) {
        std::fprintf(stderr, "make_large_patch: the chunk must be 1 to 2047 MiB\n");
        return 2;
    }
    std::FILE* source = std::fopen((folder + "/Maps/Large.qmw").c_str(), "wb");
    std::FILE* patch = std::fopen((folder + "/Mods/Huge.qmp").c_str(), "wb");
    if (!source || !patch) {
        std::fprintf(stderr, "make_large_patch: cannot create the files (do %s/Maps and %s/Mods exist?)\n",
                     folder.c_str(), folder.c_str());
        return 1;
    }

    // The patch header and table: one entry with its source reference, zero in the target.
    std::vector<unsigned char> head(chunk_at, 0);
    put_u32(&head[0], 0xC0000001u);
    put_u32(&head[24], 1);
    put_u32(&head[52], static_cast<std::uint32_t>(chunk_at));
    put_u32(&head[56], static_cast<std::uint32_t>(chunk));
    const std::string name = "Terrain", source_name = "Large.qmw";
    std::copy(name.begin(), name.end(), head.begin() + 93);
    const std::size_t reference = 93 + name.size() + 1;
    md5_context target_digest;
    md5_init(target_digest);
    md5_update(target_digest, head.data(), static_cast<std::uint32_t>(head.size()));  // the target has zeros there
    put_u32(&head[reference], static_cast<std::uint32_t>(source_at));
    std::copy(source_name.begin(), source_name.end(), head.begin() + reference + 4);
    head[reference + 4 + source_name.size() + 1] = 0;  // folder flag: the maps folder
    bool ok = write_all(patch, head.data(), head.size());

    std::vector<unsigned char> source_bytes(source_at);
    byte_stream source_stream{0x1234567}, target_stream{0x7654321};
    source_stream.fill(source_bytes.data(), source_bytes.size());
    ok = ok && write_all(source, source_bytes.data(), source_bytes.size());

    const std::size_t block = std::size_t{1} << 20;
    std::vector<unsigned char> from(block), target(block), difference(block);
    for (std::uint64_t done = 0; ok && done < chunk; done += block) {
        source_stream.fill(from.data(), block);
        target_stream.fill(target.data(), block);
        for (std::size_t i = 0; i < block; ++i) difference[i] = static_cast<unsigned char>(target[i] - from[i]);
        md5_update(target_digest, target.data(), static_cast<std::uint32_t>(block));
        ok = write_all(source, from.data(), block) && write_all(patch, difference.data(), block);
    }
    ok = ok && std::fclose(source) == 0;
    ok = ok && std::fclose(patch) == 0;
    if (!ok) {
        std::fprintf(stderr, "make_large_patch: writing failed\n");
        return 1;
    }
    md5_final(target_digest);
    for (const unsigned char b : target_digest.digest) std::printf("%02x", b);
    std::printf("\n");
    return 0;
}
