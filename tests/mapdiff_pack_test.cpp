// Runs mapdiff pack on a mod of several maps, then the built mapmend on each patch in the order
// of the manifest, as an installer does; and mapdiff check-stock against mapmend --check-stock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "digest/file_md5.h"
#include "tests/sample_maps_fixture.h"
#include "tests/support/map_builder.h"
#include "tests/support/run_program.h"

namespace {

struct reference {
    std::string name;
    int folder_flag;
    bool operator==(const reference& other) const { return name == other.name && folder_flag == other.folder_flag; }
};

// The source references a patch carries.
std::vector<reference> references_of(const bytes& patch) {
    std::vector<reference> found;
    for (std::size_t i = 0; i < get_u32(patch, map_layout::entry_count_at); ++i) {
        const std::size_t at = source_reference_at(patch, i);
        if (get_u32(patch, at) == 0) continue;
        std::string name;
        for (std::size_t k = at + 4; patch.at(k) != 0; ++k) name += static_cast<char>(patch[k]);
        found.push_back({name, patch.at(at + 5 + name.size())});
    }
    return found;
}

bool has(const std::vector<reference>& references, const reference& wanted) {
    return std::find(references.begin(), references.end(), wanted) != references.end();
}

std::string text_of(const bytes& content) { return std::string(content.begin(), content.end()); }

struct manifest_line {
    std::string digest, name;
};

std::vector<manifest_line> read_manifest(const std::string& path) {
    std::vector<manifest_line> lines;
    const std::string text = text_of(read_file(path));
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        EXPECT_NE(end, std::string::npos) << "the last line ends without a newline";
        if (end == std::string::npos) break;
        const std::string line = text.substr(at, end - at);
        EXPECT_EQ(line.substr(32, 2), "  ") << line;
        lines.push_back({line.substr(0, 32), line.substr(34)});
        at = end + 1;
    }
    return lines;
}

struct mapdiff_pack : sample_maps_test {
    std::string mod = folder / "Riverlands";  // the author's mod folder: its name is the mod's
    std::string out = folder / "Out";
    std::map<std::string, bytes> mod_maps;

    const bytes& stock(const std::string& name) const { return stock_map_named(set, name); }

    // Entry `i`'s chunk of `map` becomes `from`'s bytes at `offset`.
    static void fill_chunk(bytes& map, std::size_t i, const bytes& from, std::size_t offset) {
        const entry_chunk chunk = chunk_of(map, i);
        ASSERT_LE(offset + chunk.size, from.size());
        std::copy(from.begin() + static_cast<std::ptrdiff_t>(offset), from.begin() + static_cast<std::ptrdiff_t>(offset + chunk.size),
                  map.begin() + chunk.offset);
    }

    // A chain: Cove draws on stock maps, Bastion on stock maps and Cove, Aqueduct on Bastion; each
    // copy spans the halves of two chunks of the map copied from. Estuary draws on stock maps
    // alone. The mod's own Canyon.qmw, named like a stock map, is the stock Canyon with one chunk
    // of new bytes, which Aqueduct copies too: no patch may reference it.
    void SetUp() override {
        make_folder(mod);
        bytes cove = synthetic_map(301, 200000, 4);
        fill_chunk(cove, 0, stock("MARKET.qmw"), 300001);
        fill_chunk(cove, 1, stock("DeepMine.qmw"), 70003);
        bytes bastion = synthetic_map(302, 240000, 4);
        fill_chunk(bastion, 0, cove, chunk_of(cove, 2).offset + 25001);
        fill_chunk(bastion, 1, stock("NorthPass.qmw"), 900005);
        bytes canyon = stock("Canyon.qmw");
        fill_chunk(canyon, 1, synthetic_map(304, 400000, 2), 1000);
        bytes aqueduct = synthetic_map(303, 180000, 4);
        fill_chunk(aqueduct, 0, bastion, chunk_of(bastion, 2).offset + 30001);
        fill_chunk(aqueduct, 1, canyon, chunk_of(canyon, 1).offset);
        bytes estuary = synthetic_map(305, 150000, 3);
        fill_chunk(estuary, 0, stock("eastGate.qmw"), 123457);
        fill_chunk(estuary, 2, stock("WestFort.qmw"), 654321);
        mod_maps = {{"Aqueduct.qmw", aqueduct}, {"Bastion.qmw", bastion}, {"Canyon.qmw", canyon}, {"Cove.qmw", cove},
                    {"Estuary.qmw", estuary}};
        for (const auto& map : mod_maps) write_file(mod + "/" + map.first, map.second);
        write_file(mod + "/readme.txt", std::string("not a map"));
    }

    program_result mapdiff(const std::vector<std::string>& arguments) { return run_program(MAPDIFF_PROGRAM, arguments, folder.path); }
    program_result mapmend(const std::vector<std::string>& arguments) { return run_program(MAPMEND_PROGRAM, arguments, folder.path); }
    program_result pack() { return mapdiff({"pack", maps, mod, out}); }

    std::vector<std::string> pack_files() const {
        return {"Aqueduct.qmp", "Bastion.qmp", "Canyon.qmp", "Cove.qmp", "Estuary.qmp", "Riverlands.md5", "Riverlands.nsh"};
    }
};

}  // namespace

// pack, the manifest and the installer settings: the maps in one install order, each with the
// MD5 of the author's map; the chain in its order, Canyon (never a source) last.
TEST_F(mapdiff_pack, the_manifest_and_settings_name_the_maps_in_install_order) {
    const program_result packed = pack();
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
    EXPECT_EQ(packed.err, "");
    EXPECT_EQ(folder_listing(out), pack_files());

    const std::vector<manifest_line> lines = read_manifest(out + "/Riverlands.md5");
    std::vector<std::string> order;
    for (const manifest_line& line : lines) {
        order.push_back(line.name);
        EXPECT_EQ(line.digest, file_md5(mod + "/" + line.name)) << line.name;
    }
    ASSERT_EQ(order.size(), 5u);
    const auto position = [&](const std::string& name) { return std::find(order.begin(), order.end(), name) - order.begin(); };
    EXPECT_LT(position("Cove.qmw"), position("Bastion.qmw")) << testing::PrintToString(order);
    EXPECT_LT(position("Bastion.qmw"), position("Aqueduct.qmw")) << testing::PrintToString(order);
    EXPECT_EQ(order.back(), "Canyon.qmw");

    const std::string settings = text_of(read_file(out + "/Riverlands.nsh"));
    EXPECT_NE(settings.find("!define MOD_NAME \"Riverlands\""), std::string::npos) << settings;
    std::size_t last = 0;
    for (const manifest_line& line : lines) {
        const std::size_t at = settings.find("!insertmacro ${action} \"" + line.name.substr(0, line.name.size() - 4) + "\" \"" +
                                             line.digest + "\"");
        ASSERT_NE(at, std::string::npos) << line.name << "\n" << settings;
        EXPECT_GT(at, last);
        last = at;
    }
}

// The chain is drawn on; the mod's Canyon.qmw is never drawn on, only the stock one; Estuary
// draws on stock maps alone.
TEST_F(mapdiff_pack, each_patch_draws_on_the_stock_maps_and_the_maps_before_it) {
    const program_result packed = pack();
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
    const auto references = [&](const std::string& map) {
        return references_of(read_file(out + "/" + map.substr(0, map.size() - 4) + ".qmp"));
    };
    EXPECT_TRUE(has(references("Bastion.qmw"), {"Cove.qmw", 1}));
    EXPECT_TRUE(has(references("Aqueduct.qmw"), {"Bastion.qmw", 1}));
    EXPECT_NE(packed.out.find("Bastion.qmw  (on Cove.qmw)"), std::string::npos) << packed.out;
    EXPECT_TRUE(has(references("Bastion.qmw"), {"NorthPass.qmw", 0}));
    EXPECT_TRUE(has(references("Cove.qmw"), {"MARKET.qmw", 0}));
    EXPECT_TRUE(has(references("Canyon.qmw"), {"Canyon.qmw", 0}));
    EXPECT_TRUE(has(references("Canyon.qmw"), {"Aqueduct.qmw", 1}));
    for (const auto& map : mod_maps) EXPECT_FALSE(has(references(map.first), {"Canyon.qmw", 1})) << map.first;
    const std::vector<reference> estuary = references("Estuary.qmw");
    EXPECT_EQ(estuary.size(), 2u);
    for (const reference& r : estuary) EXPECT_EQ(r.folder_flag, 0) << r.name;
    EXPECT_NE(packed.out.find("total of 5 maps"), std::string::npos) << packed.out;
}

// The patches copied into an empty mod folder and rebuilt one mapmend call after the other in
// the manifest's order, as the installer does: each call makes its own map and no other (no
// nested rebuild), and every map comes out as the author's.
TEST_F(mapdiff_pack, a_packed_mod_installs_in_manifest_order) {
    const program_result packed = pack();
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
    const std::vector<manifest_line> lines = read_manifest(out + "/Riverlands.md5");
    const std::string installed = folder / "Installed";
    make_folder(installed);
    std::vector<std::string> remaining;
    for (const manifest_line& line : lines) {
        const std::string patch = line.name.substr(0, line.name.size() - 4) + ".qmp";
        write_file(installed + "/" + patch, read_file(out + "/" + patch));
        remaining.push_back(patch);
    }
    std::vector<std::string> rebuilt;
    for (const manifest_line& line : lines) {
        const std::string patch = line.name.substr(0, line.name.size() - 4) + ".qmp";
        const program_result mended =
            mapmend({"--check-stock", "--check-rebuilt=" + line.digest, "--delete-qmp", maps, installed + "/" + patch});
        EXPECT_EQ(mended.exit_code, 0) << line.name << ": " << mended.out;
        rebuilt.push_back(line.name);
        remaining.erase(std::find(remaining.begin(), remaining.end(), patch));
        std::vector<std::string> expected = rebuilt;
        expected.insert(expected.end(), remaining.begin(), remaining.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(folder_listing(installed), expected) << "after " << line.name;
    }
    for (const auto& map : mod_maps) EXPECT_TRUE(read_file(installed + "/" + map.first) == map.second) << map.first;
}

// Every refusal: one line on standard error, status 1 (2 for the command line), and the out
// folder as it was.
TEST_F(mapdiff_pack, refusals_leave_the_out_folder_as_it_was) {
    const std::string bad = folder / "Bad";
    make_folder(bad);
    write_file(bad + "/Cove.qmw", mod_maps["Cove.qmw"]);
    bytes no_magic = mod_maps["Bastion.qmw"];
    no_magic[0] ^= 0xFF;
    write_file(bad + "/Broken.qmw", no_magic);
    const program_result broken = mapdiff({"pack", maps, bad, out});
    EXPECT_EQ(broken.exit_code, 1);
    EXPECT_NE(broken.err.find("Broken.qmw is not a map data file"), std::string::npos) << broken.err;
    EXPECT_FALSE(exists(out)) << "the out folder was made for nothing";

    make_folder(out);
    write_file(out + "/notes.txt", std::string("the author's"));
    const program_result earlier = mapdiff({"pack", maps, mod, out});
    EXPECT_EQ(earlier.exit_code, 1);
    EXPECT_NE(earlier.err.find("holds files from before (notes.txt)"), std::string::npos) << earlier.err;
    EXPECT_EQ(earlier.err.find('\n'), earlier.err.size() - 1) << "not one line: " << earlier.err;
    EXPECT_EQ(earlier.out, "");
    EXPECT_EQ(folder_listing(out), std::vector<std::string>{"notes.txt"});

    EXPECT_EQ(mapdiff({"pack", maps, mod}).exit_code, 2);
    EXPECT_EQ(mapdiff({"pack", "--fast", maps, mod, out}).exit_code, 2);

    // --force keeps the others' files and replaces the set of an earlier pack.
    ASSERT_EQ(mapdiff({"pack", "--force", maps, mod, out}).exit_code, 0);
    const std::map<std::string, bytes> first = snapshot(out);
    EXPECT_EQ(mapdiff({"pack", maps, mod, out}).exit_code, 1);
    EXPECT_TRUE(snapshot(out) == first);
    write_file(out + "/Cove.qmp", std::string("stale"));
    ASSERT_EQ(mapdiff({"pack", "--force", maps, mod, out}).exit_code, 0);
    EXPECT_TRUE(snapshot(out) == first);
    EXPECT_EQ(text_of(read_file(out + "/notes.txt")), "the author's");
}

// What a run cut off part-way leaves is never taken for a set (no manifest), and the same
// command, without --force, deletes it and makes the set again.
TEST_F(mapdiff_pack, the_same_command_recovers_from_an_interrupted_run) {
    ASSERT_EQ(mapdiff({"pack", maps, mod, out}).exit_code, 0);
    const std::map<std::string, bytes> whole = snapshot(out);

    // Cut off while writing the patches: a patch half written, nothing renamed.
    for (const auto& file : whole) std::remove((out + "/" + file.first).c_str());
    write_file(out + "/Bastion.qmp.partial", std::string("half"));
    ASSERT_EQ(mapdiff({"pack", maps, mod, out}).exit_code, 0);
    EXPECT_TRUE(snapshot(out) == whole);

    // Cut off among the renames: the complete manifest still under its temporary name, two
    // patches renamed, two not (one of them damaged since), the settings not.
    for (const std::string name : {"Riverlands.md5", "Riverlands.nsh", "Cove.qmp", "Aqueduct.qmp"})
        ASSERT_EQ(std::rename((out + "/" + name).c_str(), (out + "/" + name + ".partial").c_str()), 0);
    write_file(out + "/Cove.qmp.partial", std::string("damaged"));
    ASSERT_EQ(mapdiff({"pack", maps, mod, out}).exit_code, 0);
    EXPECT_TRUE(snapshot(out) == whole);
}

// check-stock says for each stock map what mapmend's check found, and agrees with it on the
// status: intact, with an extra map, with one map damaged and one missing (both named), each
// alone.
TEST_F(mapdiff_pack, check_stock_names_the_wrong_files_and_agrees_with_mapmend) {
    const std::string copy = folder / "Maps";
    make_folder(copy);
    write_stock_maps(set, copy);
    const std::string canyon_md5 = file_md5(maps + "/Canyon.qmw"), market_md5 = file_md5(maps + "/MARKET.qmw");

    const auto both = [&](const std::string& what, int mapmend_status, int mapdiff_status) {
        const program_result mended = mapmend({"--check-stock", copy});
        const program_result checked = mapdiff({"check-stock", copy});
        EXPECT_EQ(mended.exit_code, mapmend_status) << what << ": " << mended.out;
        EXPECT_EQ(checked.exit_code, mapdiff_status) << what << ": " << checked.out;
        EXPECT_EQ(checked.err, "") << what;
        return checked.out;
    };
    const std::string intact = both("intact", 0, 0);
    EXPECT_EQ(std::count(intact.begin(), intact.end(), '\n'), 32) << intact;
    EXPECT_NE(intact.find("ok       Canyon.qmw"), std::string::npos) << intact;
    EXPECT_NE(intact.find("31 of 31 stock maps match"), std::string::npos) << intact;

    write_file(copy + "/Extra.qmw", stock("Canyon.qmw"));
    both("an extra map", 0, 0);

    bytes damaged = stock("Canyon.qmw");
    damaged[damaged.size() / 2] ^= 1;
    write_file(copy + "/Canyon.qmw", damaged);
    std::remove((copy + "/MARKET.qmw").c_str());
    const std::string wrong = both("damaged and missing", 7, 1);
    EXPECT_NE(wrong.find("differs  Canyon.qmw"), std::string::npos) << wrong;
    EXPECT_NE(wrong.find("expected " + canyon_md5 + ", found " + file_md5(copy + "/Canyon.qmw") + ", " +
                         std::to_string(damaged.size()) + " bytes"),
              std::string::npos)
        << wrong;
    EXPECT_NE(wrong.find("missing  MARKET.qmw"), std::string::npos) << wrong;
    EXPECT_NE(wrong.find("expected " + market_md5), std::string::npos) << wrong;
    EXPECT_NE(wrong.find("29 of 31 stock maps match"), std::string::npos) << wrong;

    write_file(copy + "/MARKET.qmw", stock("MARKET.qmw"));
    both("damaged", 7, 1);
    write_file(copy + "/Canyon.qmw", stock("Canyon.qmw"));
    std::remove((copy + "/MARKET.qmw").c_str());
    both("missing", 7, 1);

    const program_result no_folder = mapdiff({"check-stock", folder / "None"});
    EXPECT_EQ(no_folder.exit_code, 1);
    EXPECT_EQ(mapmend({"--check-stock", folder / "None"}).exit_code, 1);
    // An empty maps path names no folder, for both.
    const program_result empty = mapdiff({"check-stock", ""});
    EXPECT_EQ(empty.exit_code, 1) << empty.err;
    EXPECT_EQ(mapmend({"--check-stock", ""}).exit_code, 1);
}
