// What a patch's layout costs a compressor: a patch keeps the map's layout, so its new bytes lie
// between the runs of zeros of its referenced chunks. This writes the patch's bytes grouped by
// kind, each group in file order: the bytes of no chunk (header, table, gaps), then those of
// chunks without a source reference (their own bytes), then those of chunks with one (their
// differences). The groups hold the same bytes as the patch; compressed as one stream they show
// what the interleaving itself costs.
//
// usage: patch_by_kind <patch file> <output file>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "format/map_table.h"

namespace {

bool read_whole(const char* path, std::vector<unsigned char>& data) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    unsigned char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) data.insert(data.end(), buffer, buffer + got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: patch_by_kind <patch file> <output file>\n");
        return 2;
    }
    std::vector<unsigned char> patch;
    std::vector<table_entry> table;
    if (!read_whole(argv[1], patch) || read_map_table(patch.data(), patch.size(), table) != table_reading::ok) {
        std::fprintf(stderr, "patch_by_kind: cannot read the table of %s\n", argv[1]);
        return 1;
    }
    // 0: in no chunk, 1: in a chunk without a reference, 2: in a chunk with one (which wins
    // where chunks overlap).
    std::vector<unsigned char> kind(patch.size(), 0);
    for (const table_entry& entry : table) {
        const std::uint64_t end = std::min<std::uint64_t>(patch.size(), std::uint64_t{entry.chunk_offset} + entry.chunk_size);
        const unsigned char k = entry.reference_found ? 2 : 1;
        for (std::uint64_t at = entry.chunk_offset; at < end; ++at)
            if (kind[at] < k) kind[at] = k;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::fprintf(stderr, "patch_by_kind: cannot write %s\n", argv[2]);
        return 1;
    }
    std::uint64_t counts[3] = {};
    bool ok = true;
    for (unsigned char k = 0; k < 3; ++k) {
        std::vector<unsigned char> group;
        for (std::size_t at = 0; at < patch.size(); ++at)
            if (kind[at] == k) group.push_back(patch[at]);
        counts[k] = group.size();
        ok = ok && std::fwrite(group.data(), 1, group.size(), out) == group.size();
    }
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "patch_by_kind: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%llu bytes in no chunk, %llu in chunks without a reference, %llu in chunks with one\n",
                static_cast<unsigned long long>(counts[0]), static_cast<unsigned long long>(counts[1]),
                static_cast<unsigned long long>(counts[2]));
    return 0;
}
