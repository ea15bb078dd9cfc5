// How the two-file fuzz targets read their input: 4 bytes little-endian, the length of the
// first file (cut to what the input holds), then the first file, then the second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct two_files {
    std::vector<unsigned char> first;
    std::vector<unsigned char> second;
};

two_files split_fuzz_input(const std::uint8_t* data, std::size_t size);
