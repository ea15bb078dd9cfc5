#include "bench/patch_scenarios.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "tests/support/map_builder.h"

using namespace map_layout;

namespace {

enum chunk_type : std::uint32_t { texture = 1, sound = 2, mesh = 3, height_field = 4, tile_grid = 5, script = 6, marker = 7 };

const char* const stock_names[31] = {
    "Abbey.qmw",    "Bastion.qmw",  "blackwater.qmw", "Causeway.qmw",  "Cinder.qmw",    "Cove.qmw",
    "Drumlin.qmw",  "eastmarch.qmw", "Fenland.qmw",   "Foothills.qmw", "Gorge.qmw",     "Hollow.qmw",
    "Inlet.qmw",    "Kiln.qmw",      "Lowlands.qmw",  "Mire.qmw",      "Moorside.qmw",  "Narrows.qmw",
    "Orchard.qmw",  "Palisade.qmw",  "Quay.qmw",      "Ridge.qmw",     "saltmarsh.qmw", "Scarp.qmw",
    "Shoal.qmw",    "Spire.qmw",     "Thicket.qmw",   "Upland.qmw",    "Vale.qmw",      "Weir.qmw",
    "Yard.qmw"};

const char* const words[16] = {"rock", "moss",  "brick", "sand", "pine", "reed",  "slate", "rust",
                               "bark", "clay",  "iron",  "ash",  "ember", "frost", "dune", "marble"};

std::string word(seeded_random& random) { return words[random.below(16)]; }

std::uint32_t between(seeded_random& random, std::uint32_t low, std::uint32_t high) {
    return low + random.below(high - low + 1);
}

template <typename T>
void shuffle(std::vector<T>& items, seeded_random& random) {
    // Own Fisher-Yates: std::shuffle's use of the generator differs between standard libraries.
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[random.below(static_cast<std::uint32_t>(i))]);
}

std::uint32_t float_bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void put_u16(bytes& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<unsigned char>(value);
    out[at + 1] = static_cast<unsigned char>(value >> 8);
}

// Heights, 16 bits each behind width and height: a base level, a few rounded hills, a little noise.
bytes make_height_field(seeded_random& random, std::uint32_t width, std::uint32_t height) {
    struct hill {
        std::int64_t x, y, radius, rise;
    };
    std::vector<hill> hills(between(random, 4, 9));
    for (hill& h : hills) h = {random.below(width), random.below(height), between(random, 16, width / 2), between(random, 200, 3200)};
    bytes out(8 + 2 * std::size_t{width} * height);
    put_u32(out, 0, width);
    put_u32(out, 4, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::int64_t value = 1000 + random.below(8);
            for (const hill& h : hills) {
                const std::int64_t dx = x - h.x, dy = y - h.y, r2 = h.radius * h.radius, d2 = dx * dx + dy * dy;
                if (d2 < r2) value += h.rise * (r2 - d2) / r2;
            }
            put_u16(out, 8 + 2 * (std::size_t{y} * width + x), static_cast<std::uint32_t>(std::min<std::int64_t>(value, 65535)));
        }
    }
    return out;
}

// Tile numbers, one byte each behind width and height: runs, most rows a mutated copy of the last.
bytes make_tile_grid(seeded_random& random, std::uint32_t width, std::uint32_t height) {
    bytes out(8 + std::size_t{width} * height);
    put_u32(out, 0, width);
    put_u32(out, 4, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        unsigned char* row = &out[8 + std::size_t{y} * width];
        if (y > 0 && random.below(4) != 0) {
            std::memcpy(row, row - width, width);
            for (std::uint32_t runs = between(random, 1, 3); runs > 0; --runs) {
                const std::uint32_t at = random.below(width), length = std::min(width - at, between(random, 1, 12));
                std::memset(row + at, static_cast<int>(random.below(24)), length);
            }
            continue;
        }
        for (std::uint32_t x = 0; x < width;) {
            const std::uint32_t length = std::min(width - x, between(random, 1, 24));
            std::memset(row + x, static_cast<int>(random.below(24)), length);
            x += length;
        }
    }
    return out;
}

// Vertices of 24 bytes behind their count: position (three floats on a jittered grid),
// texture coordinates (two 16-bit values), a packed normal and a colour from a small palette.
bytes make_mesh(seeded_random& random, std::uint32_t vertices) {
    static const std::uint32_t palette[4] = {0xFF808080u, 0xFF406020u, 0xFF202060u, 0xFFC0A080u};
    bytes out(4 + 24 * std::size_t{vertices});
    put_u32(out, 0, vertices);
    for (std::uint32_t i = 0; i < vertices; ++i) {
        const std::size_t at = 4 + 24 * std::size_t{i};
        const std::uint32_t column = i % 32, row = i / 32;
        put_u32(out, at, float_bits(static_cast<float>(column) * 0.5f + static_cast<float>(random.below(16)) / 64.0f));
        put_u32(out, at + 4, float_bits(static_cast<float>(row) * 0.5f + static_cast<float>(random.below(16)) / 64.0f));
        put_u32(out, at + 8, float_bits(static_cast<float>(random.below(256)) / 32.0f));
        put_u16(out, at + 12, column * 2048);
        put_u16(out, at + 14, (row * 512) & 0xFFFF);
        put_u32(out, at + 16, 0x007F7F00u | random.below(16));
        put_u32(out, at + 20, palette[random.below(4)]);
    }
    return out;
}

std::string script_line(seeded_random& random) {
    static const char* const units[] = {"archer", "knight", "wagon", "scout", "ram", "monk"};
    static const char* const conditions[] = {"timer", "enter", "leave", "destroyed", "captured"};
    static const char* const actions[] = {"reinforce", "reveal", "retreat", "message", "victory"};
    const auto number = [&](std::uint32_t bound) { return std::to_string(random.below(bound)); };
    switch (random.below(4)) {
    case 0:
        return "spawn " + std::string(units[random.below(6)]) + " at " + number(1000) + " " + number(1000) + " facing " +
               number(360) + "\n";
    case 1:
        return "trigger " + word(random) + "_" + number(100) + " when " + conditions[random.below(5)] + " then " +
               actions[random.below(5)] + "\n";
    case 2:
        return "set " + word(random) + "_count = " + number(10000) + "\n";
    default:
        return "# " + word(random) + " " + word(random) + " section\n";
    }
}

bytes make_script(seeded_random& random, std::uint32_t lines) {
    std::string text;
    for (std::uint32_t i = 0; i < lines; ++i) text += script_line(random);
    return bytes(text.begin(), text.end());
}

map_chunk new_texture(seeded_random& random, const std::string& name) {
    return {name, texture, random.fill(between(random, 8 << 10, 128 << 10))};
}

// The resources several stock maps carry, byte for byte: textures, sounds, meshes.
std::vector<map_chunk> make_shared_pool(seeded_random& random) {
    std::vector<map_chunk> pool;
    for (int i = 0; i < 24; ++i) pool.push_back(new_texture(random, "textures/" + word(random) + "_" + std::to_string(i) + ".tex"));
    for (int i = 0; i < 16; ++i)
        pool.push_back({"sounds/" + word(random) + "_" + std::to_string(i) + ".snd", sound, random.fill(between(random, 4 << 10, 96 << 10))});
    for (int i = 0; i < 20; ++i)
        pool.push_back({"meshes/" + word(random) + "_" + std::to_string(i) + ".msh", mesh, make_mesh(random, between(random, 300, 3000))});
    return pool;
}

std::string stem(const std::string& file_name) { return file_name.substr(0, file_name.rfind('.')); }

std::vector<map_chunk> make_stock_chunks(seeded_random& random, const std::string& name, const std::vector<map_chunk>& pool) {
    std::vector<map_chunk> chunks;
    const std::uint32_t width = between(random, 96, 288), height = between(random, 96, 288);
    chunks.push_back({"terrain/height", height_field, make_height_field(random, width, height)});
    chunks.push_back({"terrain/tiles", tile_grid, make_tile_grid(random, width, height)});
    chunks.push_back({"scripts/main.txt", script, make_script(random, between(random, 100, 600))});
    chunks.push_back({"markers/start", marker, {}});
    for (std::uint32_t k = between(random, 1, 4); k > 0; --k)
        chunks.push_back(new_texture(random, "textures/" + stem(name) + "_" + std::to_string(k) + ".tex"));
    // The first eight resources of the pool are common to about half of the maps, the rest rarer.
    std::vector<std::size_t> picks(pool.size());
    std::iota(picks.begin(), picks.end(), 0);
    shuffle(picks, random);
    for (std::size_t index : picks)
        if (random.below(index < 8 ? 2 : 7) == 0) chunks.push_back(pool[index]);
    shuffle(chunks, random);
    return chunks;
}

const map_chunk* find_type(const std::vector<map_chunk>& chunks, std::uint32_t type, std::size_t skip = 0) {
    for (const map_chunk& chunk : chunks)
        if (chunk.type == type && skip-- == 0) return &chunk;
    return nullptr;
}

map_chunk* find_type(std::vector<map_chunk>& chunks, std::uint32_t type, std::size_t skip = 0) {
    return const_cast<map_chunk*>(find_type(static_cast<const std::vector<map_chunk>&>(chunks), type, skip));
}

void overwrite_runs(seeded_random& random, bytes& content, std::uint32_t runs, std::uint32_t longest) {
    for (; runs > 0 && !content.empty(); --runs) {
        const std::size_t at = random.below(static_cast<std::uint32_t>(content.size()));
        const std::size_t length = std::min<std::size_t>(content.size() - at, between(random, 1, longest));
        const bytes fresh = random.fill(length);
        std::copy(fresh.begin(), fresh.end(), content.begin() + static_cast<std::ptrdiff_t>(at));
    }
}

void insert_at(bytes& content, std::size_t at, const bytes& inserted) {
    content.insert(content.begin() + static_cast<std::ptrdiff_t>(at), inserted.begin(), inserted.end());
}

// A few values changed in place, as a map editor changes them: a raised area of the terrain, a
// block of other tiles, other numbers in the script, moved vertices, retouched texture bytes.
void edit_in_place(seeded_random& random, std::vector<map_chunk>& chunks) {
    if (map_chunk* field = find_type(chunks, height_field)) {
        const std::uint32_t width = get_u32(field->content, 0), height = get_u32(field->content, 4);
        const std::uint32_t x0 = random.below(width - 40), y0 = random.below(height - 30);
        for (std::uint32_t y = y0; y < y0 + 30; ++y)
            for (std::uint32_t x = x0; x < x0 + 40; ++x) field->content[8 + 2 * (std::size_t{y} * width + x)] += 37;
    }
    if (map_chunk* tiles = find_type(chunks, tile_grid)) {
        const std::uint32_t width = get_u32(tiles->content, 0), height = get_u32(tiles->content, 4);
        const std::uint32_t x0 = random.below(width - 12), y0 = random.below(height - 8);
        for (std::uint32_t y = y0; y < y0 + 8; ++y) std::memset(&tiles->content[8 + std::size_t{y} * width + x0], 30, 12);
    }
    if (map_chunk* text = find_type(chunks, script)) {
        for (int k = 0; k < 8; ++k) {
            std::size_t at = random.below(static_cast<std::uint32_t>(text->content.size()));
            while (at < text->content.size() && (text->content[at] < '0' || text->content[at] > '9')) ++at;
            if (at < text->content.size()) text->content[at] = static_cast<unsigned char>('0' + (text->content[at] - '0' + 3) % 10);
        }
    }
    if (map_chunk* model = find_type(chunks, mesh)) {
        const std::uint32_t count = get_u32(model->content, 0), first = random.below(count - 40);
        for (std::uint32_t i = first; i < first + 40; ++i)
            put_u32(model->content, 4 + 24 * std::size_t{i} + 8, float_bits(static_cast<float>(random.below(256)) / 32.0f));
    }
    for (std::size_t k = 0; k < 2; ++k)
        if (map_chunk* image = find_type(chunks, texture, k)) overwrite_runs(random, image->content, 3, 32);
    if (map_chunk* noise = find_type(chunks, sound)) overwrite_runs(random, noise->content, 1, 2048);
}

// Bytes inserted inside chunks: script lines, a terrain row, vertices, bytes of textures and
// sounds. Every later byte of such a chunk moves.
void insert_inside(seeded_random& random, std::vector<map_chunk>& chunks) {
    for (map_chunk& chunk : chunks) {
        bytes& content = chunk.content;
        if (content.empty()) continue;
        switch (chunk.type) {
        case script:
            for (int k = 0; k < 3; ++k) {
                std::size_t at = random.below(static_cast<std::uint32_t>(content.size()));
                while (at < content.size() && content[at] != '\n') ++at;
                const std::string line = script_line(random);
                insert_at(content, std::min(at + 1, content.size()), bytes(line.begin(), line.end()));
            }
            break;
        case height_field: {
            const std::uint32_t width = get_u32(content, 0), height = get_u32(content, 4), row = random.below(height);
            const std::size_t at = 8 + 2 * std::size_t{row} * width;
            insert_at(content, at, bytes(content.begin() + static_cast<std::ptrdiff_t>(at),
                                         content.begin() + static_cast<std::ptrdiff_t>(at + 2 * std::size_t{width})));
            put_u32(content, 4, height + 1);
            break;
        }
        case mesh: {
            const std::uint32_t count = get_u32(content, 0);
            const bytes added = make_mesh(random, 6);
            insert_at(content, 4 + 24 * std::size_t{random.below(count)}, bytes(added.begin() + 4, added.end()));
            put_u32(content, 0, count + 6);
            break;
        }
        case texture:
        case sound:
            if (random.below(2) == 0)
                insert_at(content, random.below(static_cast<std::uint32_t>(content.size())),
                          random.fill(chunk.type == texture ? between(random, 1, 48) : between(random, 100, 400)));
            break;
        default:
            break;
        }
    }
}

std::vector<map_chunk> pick(seeded_random& random, const std::vector<map_chunk>& chunks, std::uint32_t count) {
    std::vector<map_chunk> all = chunks;
    shuffle(all, random);
    all.resize(std::min<std::size_t>(count, all.size()));
    return all;
}

// A map's entry names are distinct: a chunk picked twice is kept once.
bench_map make_map(const std::string& name, const std::vector<map_chunk>& chunks, std::uint32_t map_id,
                   const std::vector<std::size_t>& layout = {}) {
    bench_map map{name, {}, {}};
    for (const map_chunk& chunk : chunks) {
        const auto same = [&](const map_chunk& kept) { return kept.name == chunk.name; };
        if (std::none_of(map.chunks.begin(), map.chunks.end(), same)) map.chunks.push_back(chunk);
    }
    if (!layout.empty() && map.chunks.size() != chunks.size()) throw std::invalid_argument("a laid-out map lost a chunk");
    map.file = lay_out_map(map.chunks, map_id, layout);
    return map;
}

}  // namespace

bytes lay_out_map(const std::vector<map_chunk>& chunks, std::uint32_t map_id, const std::vector<std::size_t>& layout) {
    std::vector<std::size_t> order = layout;
    if (order.empty()) {
        order.resize(chunks.size());
        std::iota(order.begin(), order.end(), 0);
    }
    std::vector<bool> placed(chunks.size());
    std::vector<std::size_t> offsets(chunks.size());
    std::size_t at = table_at + entry_stride * chunks.size();
    for (std::size_t index : order) {
        if (index >= chunks.size() || placed[index]) throw std::invalid_argument("the layout is not a permutation of the chunks");
        placed[index] = true;
        at = (at + 15) & ~std::size_t{15};
        offsets[index] = at;
        at += chunks[index].content.size();
    }
    if (order.size() != chunks.size()) throw std::invalid_argument("the layout is not a permutation of the chunks");

    bytes file = empty_map(at, static_cast<std::int32_t>(chunks.size()));
    put_u32(file, 4, 7);  // a format version and the map's number: header bytes a map carries
    put_u32(file, 8, map_id);
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const map_chunk& chunk = chunks[i];
        if (chunk.name.empty() || chunk.name.size() >= name_field_size || chunk.name.find('\0') != std::string::npos)
            throw std::invalid_argument("bad entry name \"" + chunk.name + "\"");
        const std::uint32_t size = static_cast<std::uint32_t>(chunk.content.size());
        set_entry(file, i, static_cast<std::uint32_t>(offsets[i]), size, chunk.name);
        put_u32(file, table_at + entry_stride * i + 8, chunk.type);
        put_u32(file, table_at + entry_stride * i + 12, size);
        std::copy(chunk.content.begin(), chunk.content.end(), file.begin() + static_cast<std::ptrdiff_t>(offsets[i]));
    }
    return file;
}

patch_bench_set make_patch_bench_set(std::uint64_t seed) {
    seeded_random random{seed};
    patch_bench_set set;
    const std::vector<map_chunk> pool = make_shared_pool(random);
    for (std::uint32_t i = 0; i < 31; ++i)
        set.stock.push_back(make_map(stock_names[i], make_stock_chunks(random, stock_names[i], pool), 100 + i));
    const auto stock = [&](std::size_t i) -> const std::vector<map_chunk>& { return set.stock[i].chunks; };
    const auto named = [&](std::size_t i) { return set.stock[i].name; };

    // The mod's own map: a stock map's chunks with its terrain, script and some textures and
    // meshes made new.
    std::vector<map_chunk> mod = stock(29);
    for (map_chunk& chunk : mod) {
        if (chunk.type == height_field) chunk.content = make_height_field(random, 256, 200);
        if (chunk.type == script) chunk.content = make_script(random, 400);
    }
    for (int k = 0; k < 4; ++k) mod.push_back(new_texture(random, "textures/expansion_" + std::to_string(k) + ".tex"));
    for (int k = 0; k < 2; ++k) mod.push_back({"meshes/expansion_" + std::to_string(k) + ".msh", mesh, make_mesh(random, 2000)});
    set.mod = make_map("Expansion.qmw", mod, 200);

    std::vector<map_chunk> edited = stock(3);
    edit_in_place(random, edited);
    set.scenarios.push_back({"edited", "bytes edited inside chunks of " + named(3) + " (terrain, tiles, script digits, vertices, texture and sound bytes)",
                             false, true, make_map("Edited.qmw", edited, 301)});

    std::vector<map_chunk> reordered = stock(13);
    shuffle(reordered, random);
    std::vector<std::size_t> layout(reordered.size());
    std::iota(layout.begin(), layout.end(), 0);
    shuffle(layout, random);
    set.scenarios.push_back({"reordered", "the chunks of " + named(13) + " in another table order and another file order", false, true,
                             make_map("Reordered.qmw", reordered, 302, layout)});

    std::vector<map_chunk> patchwork;
    patchwork.push_back(*find_type(stock(5), height_field));
    patchwork.push_back(*find_type(stock(11), tile_grid));
    patchwork.push_back(*find_type(stock(17), script));
    for (std::size_t from : {5, 11, 17, 23}) {
        for (const map_chunk& chunk : pick(random, stock(from), 3))
            if (chunk.type != height_field && chunk.type != tile_grid && chunk.type != script) patchwork.push_back(chunk);
    }
    patchwork.push_back(new_texture(random, "textures/patchwork_new.tex"));
    patchwork.push_back({"sounds/patchwork_new.snd", sound, random.fill(20000)});
    shuffle(patchwork, random);
    set.scenarios.push_back({"several", "chunks of " + named(5) + ", " + named(11) + ", " + named(17) + " and " + named(23) + ", and two new ones", false, true,
                             make_map("Patchwork.qmw", patchwork, 303)});

    std::vector<map_chunk> renamed = stock(7);
    for (const map_chunk& chunk : pick(random, stock(19), static_cast<std::uint32_t>(stock(19).size() / 2))) renamed.push_back(chunk);
    for (std::size_t i = 0; i < renamed.size(); ++i) renamed[i].name = "mod/" + word(random) + "_" + std::to_string(i) + ".res";
    shuffle(renamed, random);
    set.scenarios.push_back({"renamed", "the chunks of " + named(7) + " and half of those of " + named(19) + ", under new names", false, true,
                             make_map("Renamed.qmw", renamed, 304)});

    // The sequel draws on what only the mod's own map holds, a few of it edited, and on a stock map.
    std::vector<map_chunk> sequel;
    for (const map_chunk& chunk : set.mod.chunks)
        if (chunk.name.rfind("textures/expansion_", 0) == 0 || chunk.name.rfind("meshes/expansion_", 0) == 0 ||
            chunk.type == height_field)
            sequel.push_back(chunk);
    edit_in_place(random, sequel);
    for (const map_chunk& chunk : pick(random, stock(2), 6))
        if (chunk.type != height_field) sequel.push_back(chunk);
    sequel.push_back({"scripts/sequel.txt", script, make_script(random, 120)});
    shuffle(sequel, random);
    set.scenarios.push_back({"beside", "the new chunks of the mod's own " + set.mod.name + " (beside the patch), some edited, and chunks of " + named(2),
                             true, true, make_map("Sequel.qmw", sequel, 305)});

    std::vector<map_chunk> inserted = stock(21);
    insert_inside(random, inserted);
    set.scenarios.push_back({"inserted", "bytes inserted inside chunks of " + named(21) + " (script lines, a terrain row, vertices, texture and sound bytes)",
                             false, false, make_map("Inserted.qmw", inserted, 306)});
    return set;
}

std::uint64_t bytes_no_source_holds(const patch_bench_set& set, const patch_scenario& scenario) {
    std::vector<const bench_map*> sources;
    for (const bench_map& map : set.stock) sources.push_back(&map);
    if (scenario.beside) sources.push_back(&set.mod);
    std::uint64_t total = 0;
    for (const map_chunk& chunk : scenario.map.chunks) {
        std::uint64_t least = static_cast<std::uint64_t>(std::count_if(chunk.content.begin(), chunk.content.end(), [](unsigned char b) { return b != 0; }));
        for (const bench_map* source : sources) {
            for (const map_chunk& theirs : source->chunks) {
                if (theirs.content.size() != chunk.content.size() || (theirs.name != chunk.name && theirs.content != chunk.content)) continue;
                std::uint64_t differ = 0;
                for (std::size_t k = 0; k < chunk.content.size(); ++k) differ += chunk.content[k] != theirs.content[k];
                least = std::min(least, differ);
            }
        }
        total += least;
    }
    return total;
}

void write_patch_bench_set(const patch_bench_set& set, const std::string& folder) {
    for (const char* sub : {"/Maps", "/Mods", "/Scenarios"}) make_folder(folder + sub);
    for (const bench_map& map : set.stock) write_file(folder + "/Maps/" + map.name, map.file);
    write_file(folder + "/Mods/" + set.mod.name, set.mod.file);
    for (const patch_scenario& scenario : set.scenarios)
        write_file(folder + "/Scenarios/" + scenario.map.name, scenario.map.file);
}
