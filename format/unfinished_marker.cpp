#include "format/unfinished_marker.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>

namespace {

const std::string marker_header = "mapmend run ";
constexpr std::size_t token_digits = 16;
const std::size_t marker_size = marker_header.size() + token_digits + 1;  // and a newline

std::string hex_of(std::uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text(token_digits, '0');
    for (std::size_t i = token_digits; i-- > 0; value >>= 4) text[i] = digits[value & 15];
    return text;
}

std::uint64_t run_token() {
    std::random_device device;
    const std::uint64_t drawn = (std::uint64_t{device()} << 32) ^ device();
    // Mixed with the clock in case the device is weaker than it should be.
    const auto now = static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    return drawn ^ (now * 0x9e3779b97f4a7c15ULL);
}

// Made by mapmend: its own text or what a kill or a power cut left of one (empty, cut short),
// and the empty markers of earlier versions. A hex digit or a newline after the header.
bool is_marker_text(const std::string& text) {
    if (text.size() > marker_size) return false;
    const std::size_t header = std::min(text.size(), marker_header.size());
    if (text.compare(0, header, marker_header, 0, header) != 0) return false;
    for (std::size_t i = header; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (!(digit && i < marker_size - 1) && !(c == '\n' && i == marker_size - 1)) return false;
    }
    return true;
}

// The text of a plain file of at most a marker's size; false for anything else.
bool read_small_file(const storage& where, const std::string& path, std::string& text) {
    if (!stored_plain_file(where, path)) return false;
    stored_file file;
    std::uint64_t size = 0;
    if (!open_stored_file(where, path, open_mode::read, file) || !file_size(file, size) || size > marker_size) return false;
    text.assign(static_cast<std::size_t>(size), '\0');
    return read_at(file, 0, &text[0], text.size()) == text.size();
}

}  // namespace

std::string unfinished_marker_path(const std::string& map_path) { return map_path + ".rebuilding"; }

const std::string& own_marker_text() {
    static const std::string text = marker_header + hex_of(run_token()) + "\n";
    return text;
}

marker_state marker_at(const storage& where, const std::string& marker_path) {
    if (!stored_path_exists(where, marker_path)) return marker_state::none;
    std::string text;
    if (!read_small_file(where, marker_path, text) || !is_marker_text(text)) return marker_state::foreign;
    return text == own_marker_text() ? marker_state::own : marker_state::left;
}

bool marker_in_the_way(const storage& where, const std::string& map_path) {
    const std::string marker = unfinished_marker_path(map_path);
    switch (marker_at(where, marker)) {
        case marker_state::none:
        case marker_state::own: return false;
        case marker_state::left: return !stored_removable(where, marker);
        case marker_state::foreign: return true;
    }
    return true;
}

bool put_own_marker(const storage& where, const std::string& marker_path) {
    switch (marker_at(where, marker_path)) {
        case marker_state::own: return true;
        case marker_state::foreign: return false;
        case marker_state::left:
            if (!delete_stored_file(where, marker_path)) return false;
            break;
        case marker_state::none: break;
    }
    return create_stored_file(where, marker_path, own_marker_text());
}

bool remove_own_marker(const storage& where, const std::string& marker_path) {
    return marker_at(where, marker_path) == marker_state::own && delete_stored_file(where, marker_path);
}
