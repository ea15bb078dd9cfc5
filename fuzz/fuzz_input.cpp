#include "fuzz/fuzz_input.h"

#include <algorithm>

two_files split_fuzz_input(const std::uint8_t* data, std::size_t size) {
    std::uint32_t stated = 0;
    for (std::size_t k = 0; k < 4 && k < size; ++k) stated |= static_cast<std::uint32_t>(data[k]) << (8 * k);
    const std::uint8_t* rest = data + std::min<std::size_t>(size, 4);
    const std::uint8_t* end = data + size;
    const std::size_t first_length = std::min<std::size_t>(stated, static_cast<std::size_t>(end - rest));
    return two_files{{rest, rest + first_length}, {rest + first_length, end}};
}
