// The random numbers of the benchmark data writers: the same seed gives the same data set on
// every machine and compiler, which the standard library's distributions do not promise.
#pragma once

#include <cmath>
#include <cstdint>

inline std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

struct random_numbers {
    std::uint64_t state;
    std::uint64_t next() { return splitmix(state++); }
    std::uint64_t below(std::uint64_t bound) { return next() % bound; }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
};

// A size spread evenly over its logarithm from 16 bytes to 2 MiB, so that small and large
// chunks both occur in number; odd throughout.
inline std::uint32_t log_spread_chunk_size(random_numbers& random) {
    const double size = std::exp(std::log(16.0) + random.unit() * (std::log(2.0 * (1 << 20)) - std::log(16.0)));
    return static_cast<std::uint32_t>(size) | 1u;
}
