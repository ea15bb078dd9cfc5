// Writes the seed corpora of the fuzz targets from the test fixtures:
//   make_seeds <folder>   -> <folder>/patch_rebuild, <folder>/mapdiff_make, <folder>/arguments,
//                            <folder>/command_line
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/map_builder.h"

namespace {

void write_seed(const std::string& folder, int number, const std::string& content) {
    write_file(folder + "/seed-" + std::to_string(number), content);
}

std::string as_text(const bytes& b) { return std::string(b.begin(), b.end()); }

// The patch rebuild target's input: 4 bytes of patch length, the patch, the other file.
std::string rebuild_input(const bytes& patch, const bytes& other) {
    bytes input;
    put_u32(input, 0, static_cast<std::uint32_t>(patch.size()));
    input.insert(input.end(), patch.begin(), patch.end());
    input.insert(input.end(), other.begin(), other.end());
    return as_text(input);
}

void patch_rebuild_seeds(const std::string& folder) {
    const bytes stock = synthetic_map(11, 3000, 3);
    const bytes target = synthetic_map(12, 2600, 4);
    int n = 0;
    // Each way a source is found: the maps folder, beside the patch, rebuilt from a sibling
    // patch, and the map being rebuilt itself.
    const std::vector<std::vector<patch_reference>> references = {
        {{0, 1, "Stock.qmw", 0, &stock}, {2, 700, "Stock.qmw", 0, &stock}},
        {{1, 40, "Near.qmw", 1, &stock}, {3, 5, "Stock.qmw", 0, &stock}},
        {{0, 100, "Side.qmw", 1, &stock}},
        {{0, 9, "Stock.qmw", 0xFF, &stock}, {1, 9, "Near.qmw", 0, &stock}},
    };
    for (const auto& refs : references) write_seed(folder, ++n, rebuild_input(make_patch(target, refs), stock));

    // The other file as a sibling patch of its own, drawing on the stock map's bytes.
    const bytes side_target = synthetic_map(13, 3000, 2);
    const bytes side = make_patch(side_target, {{0, 3, "Stock.qmw", 0, &side_target}});
    write_seed(folder, ++n, rebuild_input(make_patch(target, {{1, 10, "Side.qmw", 1, &side_target}}), side));

    // A map that draws on itself, and a patch without references.
    bytes self = make_patch(target, {{0, 1, "Stock.qmw", 0, &stock}});
    set_source_reference(self, 2, 60, "Level.qmw", 1);
    write_seed(folder, ++n, rebuild_input(self, stock));
    write_seed(folder, ++n, rebuild_input(synthetic_map(14, 1200, 2), stock));

    // Damaged forms: cut short, a huge entry count, a chunk size near 2^32, a negative offset.
    const bytes whole = make_patch(target, {{0, 1, "Stock.qmw", 0, &stock}, {1, 1, "Stock.qmw", 0, &stock}});
    for (const std::size_t cut : {std::size_t{20}, std::size_t{100}, std::size_t{400}, std::size_t{700}})
        write_seed(folder, ++n, rebuild_input(bytes(whole.begin(), whole.begin() + static_cast<long>(cut)), stock));
    bytes huge = whole;
    put_u32(huge, map_layout::entry_count_at, 0x7FFFFFFF);
    write_seed(folder, ++n, rebuild_input(huge, stock));
    bytes wide = whole;
    put_u32(wide, map_layout::table_at + 4, 0xFFFFFFF0u);
    write_seed(folder, ++n, rebuild_input(wide, stock));
    bytes negative = whole;
    put_u32(negative, source_reference_at(negative, 1), 0x80000000u);
    write_seed(folder, ++n, rebuild_input(negative, stock));
}

// The mapdiff make target's input: 4 bytes of map length, the map, the source. Maps whose chunks
// come from the source at other offsets, under other names, overlapping, edited.
void mapdiff_make_seeds(const std::string& folder) {
    const bytes source = synthetic_map(21, 4000, 3);
    int n = 0;
    bytes moved = synthetic_map(22, 3000, 3);
    const entry_chunk c = chunk_of(moved, 1);
    for (std::uint32_t k = 0; k < c.size; ++k) moved[c.offset + k] = source[1000 + k];
    write_seed(folder, ++n, rebuild_input(moved, source));
    bytes overlapping = moved;
    set_entry(overlapping, 2, c.offset + 10, c.size, "over");
    write_seed(folder, ++n, rebuild_input(overlapping, source));
    bytes unnamed = moved;
    set_entry(unnamed, 0, chunk_of(moved, 0).offset, chunk_of(moved, 0).size, std::string(263, 'x'));
    write_seed(folder, ++n, rebuild_input(unnamed, source));
    write_seed(folder, ++n, rebuild_input(source, source));
    write_seed(folder, ++n, rebuild_input(empty_map(600, 1), source));
}

void arguments_seeds(const std::string& folder) {
    const std::string digest = "--check-rebuilt=0123456789abcdefABCDEF0123456789ab";
    const std::vector<std::vector<std::string>> lines = {
        {"--check-stock", digest, "--delete-qmp", "maps", "p.qmp"},
        {"maps\\", "maps\\p.qmp", "extra"},
        {"maps/", "./p.qmp", "--help"},
        {"--bogus", "--help"},
        {"-x"},
        {"--check-rebuilt=", "maps"},
        {"--check-stock", "maps"},
        {"maps", "\xe9t\xe9.qmp"},
    };
    int n = 0;
    for (const auto& line : lines) {
        std::string input;
        for (std::size_t i = 0; i < line.size(); ++i) input += (i ? std::string(1, '\0') : std::string()) + line[i];
        write_seed(folder, ++n, input);
    }
}

void command_line_seeds(const std::string& folder) {
    const std::vector<std::string> lines = {
        "\"C:\\Games\\Orv Start\\orvstart.exe\" game.exe \\\\.\\DISPLAY1 -skip \"two words\"",
        "orvstart.exe game.exe window",
        "C:/x/y/ game.exe",
        "a \"\" b\t\tc\r\n",
        "\"unterminated",
        "x \"ab\"cd e\"f g\\\" h",
        " \t ",
        "launcher.tool.exe bin\\game.exe \"WINDOW\" \"tab\there\"",
    };
    int n = 0;
    for (const std::string& line : lines) write_seed(folder, ++n, line);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const std::string root = argv[1];
    for (const char* target : {"patch_rebuild", "mapdiff_make", "arguments", "command_line"})
        std::filesystem::create_directories(root + "/" + target);
    patch_rebuild_seeds(root + "/patch_rebuild");
    mapdiff_make_seeds(root + "/mapdiff_make");
    arguments_seeds(root + "/arguments");
    command_line_seeds(root + "/command_line");
    return 0;
}
