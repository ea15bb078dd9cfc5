#include "stock/stock_table_identity.h"

#include "digest/md5.h"
#include "stock/stock_check.h"

#ifndef MAPMEND_STOCK_LABEL
#define MAPMEND_STOCK_LABEL ""
#endif

stock_table_identity built_in_stock_table() {
    std::string rows;
    for (const stock_map& row : stock_maps()) rows += std::string(row.digest) + "  " + row.name + "\n";
    return {stock_maps().size(), md5_text_of(rows.data(), rows.size()), MAPMEND_STOCK_LABEL};
}

std::string stock_table_description(const stock_table_identity& table) {
    std::string text = std::to_string(table.maps) + " stock maps, table md5 " + table.digest;
    if (!table.label.empty()) text += " (" + table.label + ")";
    return text;
}
