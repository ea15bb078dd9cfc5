// Test data shared by the MD5 and file digest tests: a byte pattern and its digests as the
// system's md5sum printed them for the sizes at the edges of MD5's blocks and padding.
#pragma once

#include <cstddef>
#include <string>

// Byte i is (i * 31 + 7) mod 251: no period of a power of two, so misplaced blocks show.
inline std::string md5_pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + 7) % 251);
    return data;
}

struct md5_sized_digest {
    std::size_t size;
    const char* digest;
};

inline constexpr md5_sized_digest md5_pattern_digests[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e"},      {55, "d39f7454bbe034082797e66c125a31ad"},
    {56, "8e9dbcce67719f0304ad52c59ff3d743"},     {63, "19a31d9b1afbd6867266fd6cf4c8821f"},
    {64, "8d9cfa334d4e690843fa68e59c798b84"},     {65, "72d8b171f7f46898ee558ad1a86fb907"},
    {4095, "56bb57e0d329ffeefe0a9bf3cc2c242c"},   {4096, "5ce632ed79ee7f3783502778dde1dbc5"},
    {4097, "5eb5d472366f847ff9f5686d5759b5f6"},   {8192, "5756fb1d2eb2a0bd1a8dfeb93648c920"},
    {262143, "421bcc6783d1027a99c1df14295b8fa4"}, {262144, "431646895d24308fb762df8aab611fdf"},
    {262145, "e3ae0e92bbd31f30bf523b4c9592de52"}, {1000000, "d655738ceeaaf1e303de24fa535f488b"},
};
