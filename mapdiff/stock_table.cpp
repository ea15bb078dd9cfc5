#include "mapdiff/stock_table.h"

#include <algorithm>
#include <map>
#include <vector>

#include "common/file_system.h"
#include "common/path_text.h"
#include "digest/file_md5.h"
#include "stock/stock_check.h"

stock_table_outcome make_stock_table(const std::string& maps_path) {
    if (!is_directory(maps_path)) return {"Error: " + maps_path + " is not a folder.", {}};
    std::vector<std::string> names;
    if (!list_folder_files(maps_path, names)) return {"Error: Cannot read the folder " + maps_path + ".", {}};

    // Sorted by the name with ASCII letters in lower case; a shorter name before its extensions.
    std::vector<std::pair<std::string, std::string>> keyed;
    for (const std::string& name : names) {
        if (name.size() < 5 || to_lower(name.substr(name.size() - 4)) != ".qmw") continue;
        if (name.find_first_of("\\:") != std::string::npos)
            return {"Error: \"" + name + "\": a stock map name must not hold '\\' or ':'.", {}};
        if (has_control_character(name)) return {"Error: A stock map name holds a control character.", {}};
        keyed.emplace_back(to_lower(name), name);
    }
    if (keyed.size() != stock_map_count)
        return {"Error: " + maps_path + " holds " + std::to_string(keyed.size()) + " .qmw files; a stock set has exactly " +
                    std::to_string(stock_map_count) + ".",
                {}};
    std::sort(keyed.begin(), keyed.end());

    std::string table;
    std::map<std::string, std::string> seen_digest;
    for (std::size_t k = 0; k < keyed.size(); ++k) {
        const std::string& name = keyed[k].second;
        if (k > 0 && keyed[k].first == keyed[k - 1].first)
            return {"Error: Two files are named \"" + name + "\" ignoring case.", {}};
        const std::string digest = file_md5(path_in(maps_path, name));
        if (digest.empty()) return {"Error: Cannot read " + path_in(maps_path, name) + ".", {}};
        const auto twin = seen_digest.emplace(digest, name);
        if (!twin.second)
            return {"Error: \"" + name + "\" and \"" + twin.first->second +
                        "\" have the same content; stock maps are distinct.",
                    {}};
        table += digest + "  " + name + "\n";
    }
    return {{}, table};
}
