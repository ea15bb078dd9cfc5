#include "common/path_text.h"

namespace {

std::string::size_type last_separator(const std::string& path) {
    return path.find_last_of("\\/");
}

// Position of the dot that starts the extension, or npos when the file name has none.
std::string::size_type extension_dot(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos) return dot;
    const auto separator = last_separator(path);
    if (separator != std::string::npos && dot < separator) return std::string::npos;
    return dot;
}

}  // namespace

bool is_path_separator(char c) { return c == '\\' || c == '/'; }

std::string file_name(const std::string& path) {
    const auto separator = last_separator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string file_extension(const std::string& path) {
    const auto dot = extension_dot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string strip_extension(const std::string& path) {
    const auto dot = extension_dot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string folder_of(const std::string& path) {
    const auto separator = last_separator(path);
    return separator == std::string::npos ? std::string(".") : path.substr(0, separator);
}

std::string path_in(const std::string& folder, const std::string& name) {
    if (!folder.empty() && is_path_separator(folder.back())) return folder + name;
    return folder + "/" + name;
}

std::string to_lower(std::string text) {
    // Byte-wise in the "C" locale, which neither program changes; spelled out so that no
    // locale of the host can widen it.
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool has_control_character(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) return true;
    }
    return false;
}
