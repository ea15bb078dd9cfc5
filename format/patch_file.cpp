#include "format/patch_file.h"

#include <algorithm>
#include <cstring>

#include "common/little_endian.h"
#include "format/source_reference.h"

using namespace patch_layout;

namespace {

// Reads the table through a cached window of the file. The zeroing writes go through it
// too, so that a later entry whose fields they covered reads the zeros.
struct table_reader {
    const stored_file& file;
    std::uint64_t size;
    // No larger than the file: a small patch needs no large window.
    std::vector<unsigned char> window = std::vector<unsigned char>(static_cast<std::size_t>(std::min<std::uint64_t>(64 * 1024, size)));
    std::uint64_t window_start = 0;
    std::size_t window_length = 0;

    bool byte_at(std::uint64_t at, unsigned char& value) {
        if (at >= size) return false;
        if (at < window_start || at - window_start >= window_length) {
            const std::uint64_t wanted = std::min<std::uint64_t>(window.size(), size - at);
            window_start = at;
            window_length = read_at(file, at, window.data(), static_cast<std::size_t>(wanted));
            if (window_length == 0) return false;
        }
        value = window[static_cast<std::size_t>(at - window_start)];
        return true;
    }

    bool u32_at(std::uint64_t at, std::uint32_t& value) {
        value = 0;
        for (int k = 0; k < 4; ++k) {
            unsigned char b = 0;
            if (!byte_at(at + k, b)) return false;
            value |= static_cast<std::uint32_t>(b) << (8 * k);
        }
        return true;
    }

    bool zero(std::uint64_t from, std::uint64_t to) {
        static const unsigned char zeros[512] = {};
        for (std::uint64_t at = from; at < to;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof zeros, to - at));
            if (!write_at(file, at, zeros, piece)) return false;
            at += piece;
        }
        const std::uint64_t window_end = window_start + window_length;
        const std::uint64_t overlap_from = std::max(from, window_start), overlap_to = std::min(to, window_end);
        if (overlap_from < overlap_to)
            std::memset(window.data() + (overlap_from - window_start), 0, static_cast<std::size_t>(overlap_to - overlap_from));
        return true;
    }
};

bool is_device_name(std::string base) {
    std::transform(base.begin(), base.end(), base.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '0' && base[3] <= '9';
}

}  // namespace

bool has_patch_magic(const stored_file& file) {
    unsigned char bytes[4] = {};
    if (read_at(file, 0, bytes, 4) != 4) return false;
    return load_u32_le(bytes) == magic;
}

scan_result scan_patch_table(const stored_file& file, std::uint64_t size, std::vector<patch_entry>& entries) {
    entries.clear();
    table_reader reader{file, size};

    std::uint32_t count_bits = 0;
    if (!reader.u32_at(entry_count_at, count_bits)) return scan_result::truncated;
    const auto count = static_cast<std::int32_t>(count_bits);

    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint64_t entry_at = chunk_offset_at + entry_stride * static_cast<std::uint64_t>(i);
        std::uint32_t chunk_offset = 0, chunk_size = 0;
        if (!reader.u32_at(entry_at, chunk_offset) || !reader.u32_at(entry_at + 4, chunk_size))
            return scan_result::truncated;

        // Skip the name: up to and including its NUL, at most the whole field.
        std::uint64_t at = name_field_at + entry_stride * static_cast<std::uint64_t>(i);
        for (std::uint64_t skipped = 0; skipped < name_field_size; ++skipped) {
            unsigned char b = 0;
            if (!reader.byte_at(at++, b)) return scan_result::truncated;
            if (b == 0) break;
        }

        source_reference reference;
        std::uint64_t reference_end = 0;
        const auto byte_at = [&reader](std::uint64_t position, unsigned char& b) { return reader.byte_at(position, b); };
        switch (read_source_reference(byte_at, at, reference, reference_end)) {
            case reference_reading::found: break;
            case reference_reading::none: continue;
            case reference_reading::truncated: return scan_result::truncated;
            case reference_reading::name_too_long: return scan_result::name_too_long;
        }

        patch_entry entry;
        entry.source_name = std::move(reference.source_name);
        entry.source_offset = static_cast<std::int32_t>(reference.source_offset);
        entry.in_patch_folder = reference.in_patch_folder;
        entry.chunk_offset = static_cast<std::int32_t>(chunk_offset);
        entry.chunk_size = chunk_size;
        entries.push_back(std::move(entry));

        if (!reader.zero(at, reference_end)) return scan_result::write_failed;
    }
    return scan_result::ok;
}

bool patch_entry_order(const patch_entry& a, const patch_entry& b) {
    if (a.in_patch_folder != b.in_patch_folder) return !a.in_patch_folder;
    // std::string compares its bytes as unsigned values, and a proper prefix first.
    const int names = a.source_name.compare(b.source_name);
    if (names != 0) return names < 0;
    return a.source_offset < b.source_offset;
}

entry_check check_patch_entry(const patch_entry& entry, std::uint64_t size) {
    if (!is_safe_source_name(entry.source_name)) return entry_check::unsafe_source_name;
    if (entry.chunk_size == 0) return entry_check::ok;
    if (entry.chunk_offset < 0 ||
        static_cast<std::uint64_t>(entry.chunk_offset) + entry.chunk_size > size)
        return entry_check::chunk_outside_file;
    if (entry.source_offset < 0) return entry_check::negative_source_offset;
    return entry_check::ok;
}

bool is_safe_source_name(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find_first_of("\\/:") != std::string::npos) return false;
    // Windows drops trailing dots and blanks from a name, so "..." or ".. " would reach a folder.
    if (name.back() == '.' || name.back() == ' ') return false;
    return !is_device_name(name.substr(0, name.find('.')));
}
