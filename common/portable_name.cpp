#include "common/portable_name.h"

#include <cstring>

#include "common/path_text.h"

namespace {

bool is_device_name(const std::string& name) {
    // Windows opens the device whatever extension follows: "con.qmw" is the console.
    const std::string stem = to_lower(name.substr(0, name.find('.')));
    static const char* const devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* device : devices)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '0' &&
           stem[3] <= '9';
}

}  // namespace

std::string portable_name_problem(const std::string& name, std::size_t longest) {
    if (name.empty()) return "is empty";
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e)
            return "holds a character outside printable ASCII, which opens under another name or none on a player's "
                   "Windows";
        if (std::strchr("<>:\"/\\|?*", c) != nullptr)
            return std::string("holds '") + c + "', which Windows does not allow in a file name";
    }
    if (name.back() == ' ' || name.back() == '.') return "ends in a blank or a dot, which Windows drops";
    if (name.front() == ' ') return "begins with a blank";
    if (is_device_name(name)) return "is the name of a device on Windows";
    if (name.size() > longest)
        return "is " + std::to_string(name.size()) + " characters long; at most " + std::to_string(longest) + " fit";
    return {};
}
