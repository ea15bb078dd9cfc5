#include "stock/stock_check.h"

#include "digest/file_md5.h"

const std::array<stock_map, stock_map_count>& stock_maps() {
    // The rows come from the stock table file, checked and turned into C++ when the build is
    // configured.
    static constexpr std::array<stock_map, stock_map_count> rows = {{
#include "stock_maps_table.inc"
    }};
    return rows;
}

bool check_stock(const std::string& maps_path) {
    return check_stock_lanes(maps_path, stock_maps().data(), stock_maps().size(), stock_check_setup{});
}

bool check_stock(const std::string& maps_path, const stock_map* rows, std::size_t count,
                 std::string (*digest_of)(const std::string& path)) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::string digest = digest_of(maps_path + rows[i].name);
        if (digest.empty() || digest != rows[i].digest) return false;
    }
    return true;
}
