// What make and pack check before they write anything, so that a mod that packs is a mod that
// installs: the stock set is whole, every name opens on a player's Windows and reads as text in
// the installer script, and no map of the mod folder is left out in silence. And the other side:
// every name the checks let through packs, installs in manifest order, and builds an installer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "digest/file_md5.h"
#include "tests/sample_maps_fixture.h"
#include "tests/support/map_builder.h"
#include "tests/support/run_program.h"

namespace {

std::string text_of(const bytes& content) { return std::string(content.begin(), content.end()); }

struct mod_checks : sample_maps_test {
    std::string out = folder / "Out";

    program_result mapdiff(const std::vector<std::string>& arguments) { return run_program(MAPDIFF_PROGRAM, arguments, folder.path); }
    program_result mapmend(const std::vector<std::string>& arguments) { return run_program(MAPMEND_PROGRAM, arguments, folder.path); }

    const bytes& stock(const std::string& name) const {
        for (const named_file& file : set.stock)
            if (file.name == name) return file.content;
        throw std::invalid_argument(name);
    }

    // A small map with one chunk from a stock map, so that its patch has a source reference.
    bytes small_map(std::uint64_t seed) const {
        bytes map = synthetic_map(seed, 20000, 2);
        const entry_chunk chunk = chunk_of(map, 0);
        const bytes& canyon = stock("Canyon.qmw");
        std::copy(canyon.begin() + 5001, canyon.begin() + 5001 + static_cast<std::ptrdiff_t>(chunk.size),
                  map.begin() + chunk.offset);
        return map;
    }

    // A mod folder of the given maps, each a small map of its own.
    std::string mod_of(const std::string& name, const std::vector<std::string>& maps) {
        const std::string mod = folder / name;
        make_folder(mod);
        std::uint64_t seed = 500;
        for (const std::string& map : maps) write_file(mod + "/" + map, small_map(++seed));
        return mod;
    }

    // A refusal: status 1, one line on standard error that holds each of `texts`, nothing on
    // standard output, and no out folder.
    void expect_refused(const std::vector<std::string>& arguments, const std::vector<std::string>& texts) {
        const program_result result = mapdiff(arguments);
        const std::string what = testing::PrintToString(arguments);
        EXPECT_EQ(result.exit_code, 1) << what << "\n" << result.out;
        EXPECT_EQ(result.out, "") << what;
        EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << what << ": " << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << what << ": not one line: " << result.err;
        for (const std::string& text : texts) EXPECT_NE(result.err.find(text), std::string::npos) << what << ": " << result.err;
        EXPECT_FALSE(exists(out)) << what << ": the out folder was made";
        EXPECT_FALSE(exists(folder / "A.qmp")) << what << ": a patch was written";
        // make copies the map beside its stock check, so a refusal has a copy to delete.
        EXPECT_FALSE(exists(folder / "A.qmp.partial")) << what << ": the copy of the map was left";
    }
};

}  // namespace

// Stock maps of another game version (one differs, one is missing), and the game folder given
// for its maps folder (all 31 missing): make and pack end with 1 and write nothing; with
// --allow-stock-gaps they write what they can and say how many stock maps were not sources.
TEST_F(mod_checks, an_incomplete_stock_set_stops_make_and_pack_unless_allowed) {
    const std::string other = folder / "OtherMaps";
    make_folder(other);
    for (const named_file& file : set.stock) write_file(other + "/" + file.name, file.content);
    bytes changed = stock("Canyon.qmw");
    changed[changed.size() / 2] ^= 1;
    write_file(other + "/Canyon.qmw", changed);
    std::remove((other + "/MARKET.qmw").c_str());
    const std::string game_folder = shared->path;  // it holds the maps folder, Maps
    const std::string mod = mod_of("Mod", {"Cove.qmw", "Estuary.qmw"});

    struct gap {
        std::string maps, counts;
        std::size_t not_sources;
    };
    for (const gap& g : {gap{other, "(1 missing, 1 differ)", 2}, gap{game_folder, "(31 missing)", 31}}) {
        const std::string check = "\"mapdiff check-stock " + g.maps + "\" names them";
        const std::string count = std::to_string(g.not_sources) + " of the 31 stock maps";
        expect_refused({"pack", g.maps, mod, out}, {count, g.counts, check, "--allow-stock-gaps"});
        expect_refused({"make", g.maps, mod + "/Cove.qmw", folder / "A.qmp"}, {count, g.counts, check});

        const std::string allowed = count + " were not sources (--allow-stock-gaps)";
        const program_result packed = mapdiff({"pack", "--allow-stock-gaps", g.maps, mod, out});
        ASSERT_EQ(packed.exit_code, 0) << packed.err;
        EXPECT_NE(packed.out.find(allowed), std::string::npos) << packed.out;
        EXPECT_EQ(folder_listing(out), (std::vector<std::string>{"Cove.qmp", "Estuary.qmp", "Mod.md5", "Mod.nsh"}));
        const program_result made = mapdiff({"make", "--allow-stock-gaps", g.maps, mod + "/Cove.qmw", folder / "A.qmp"});
        ASSERT_EQ(made.exit_code, 0) << made.err;
        EXPECT_NE(made.out.find(allowed), std::string::npos) << made.out;
        std::remove((folder / "A.qmp").c_str());
        std::filesystem::remove_all(out);
    }
    // The whole set: no such line.
    const program_result whole = mapdiff({"pack", maps, mod, out});
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    EXPECT_EQ(whole.out.find("were not sources"), std::string::npos) << whole.out;
}

// Names that open on no player's Windows, or that an installer script reads as code, in the
// mod's maps, in make's patch and --beside maps, and in the mod folder's name: refused with the
// file and the reason, before anything is written.
TEST_F(mod_checks, names_that_cannot_install_are_refused_with_the_file_and_why) {
    const std::string dollar = "holds '$', which an installer script reads as code";
    expect_refused({"pack", maps, mod_of("Dollar", {"Cove.qmw", "Cost$.qmw"}), out}, {"Dollar/Cost$.qmw " + dollar});
    const std::string long_name = std::string(101, 'L') + ".qmw";
    expect_refused({"pack", maps, mod_of("Long", {long_name}), out},
                   {"Long/" + long_name + " is 105 characters long; at most 100 fit"});
    expect_refused({"pack", maps, mod_of("Mod$1", {"Cove.qmw"}), out}, {"The mod's name Mod$1", dollar});
    expect_refused({"pack", maps, mod_of(std::string(41, 'M'), {"Cove.qmw"}), out}, {"is 41 characters long; at most 40 fit"});

    const std::string beside = mod_of("Beside", {"Town.qmw", "Town$.qmw"});
    write_file(folder / "Level.qmw", small_map(1));
    expect_refused({"make", maps, folder / "Level.qmw", folder / "Cost$.qmp"}, {"Cost$.qmw " + dollar});
    expect_refused({"make", "--beside", beside, maps, folder / "Level.qmw", folder / "A.qmp"}, {"Beside/Town$.qmw " + dollar});
#ifndef _WIN32
    // Names that a Windows test program cannot make in the first place.
    const std::string outside = "holds a character outside printable ASCII";
    expect_refused({"pack", maps, mod_of("Cafe", {"Cove.qmw", "Caf\xc3\xa9.qmw"}), out}, {"Cafe/Caf\xc3\xa9.qmw " + outside});
    expect_refused({"pack", maps, mod_of("Tokyo", {"\xe6\x9d\xb1\xe4\xba\xac.qmw"}), out}, {outside});
    expect_refused({"pack", maps, mod_of("Apples", {"Apfel.qmw", "apfel.qmw"}), out}, {"differ only in letter case"});
    expect_refused({"pack", maps, mod_of("Device", {"CON.qmw"}), out}, {"Device/CON.qmw is the name of a device on Windows"});
    const std::string marker_too_long = std::string(241, 'M') + ".qmw";  // mapmend's marker would be 256 long
    expect_refused({"pack", maps, mod_of("Marker", {marker_too_long}), out}, {"is 245 characters long; at most 100 fit"});
    expect_refused({"pack", maps, mod_of("Mod:colon", {"Cove.qmw"}), out}, {"The mod's name Mod:colon", "holds ':'"});
    expect_refused({"pack", maps, mod_of("CON", {"Cove.qmw"}), out}, {"The mod's name CON", "device"});
    expect_refused({"make", "--beside", mod_of("BesideCafe", {"Caf\xc3\xa9.qmw"}), maps, folder / "Level.qmw", folder / "A.qmp"},
                   {"Caf\xc3\xa9.qmw " + outside});
#endif
}

// Every entry of the mod folder whose name ends in .qmw, in any case, is packed, or pack ends
// with 1 naming it and why.
TEST_F(mod_checks, no_map_is_left_out_in_silence) {
    const std::string mod = mod_of("Mod", {"Cove.qmw", "Upper.QMW"});
    make_folder(mod + "/Dir.qmw");
    expect_refused({"pack", maps, mod, out}, {"Mod/Dir.qmw is a folder"});
    std::filesystem::remove(mod + "/Dir.qmw");
#ifndef _WIN32
    struct entry {
        std::string name, why;
        std::function<int(const std::string&)> make;
    };
    const std::vector<entry> entries = {
        {"Moved.qmw", "is a link to nothing", [&](const std::string& at) { return ::symlink((mod + "/Gone.qmw").c_str(), at.c_str()); }},
        {"Loop.qmw", "is a link that leads round in a loop", [](const std::string& at) { return ::symlink(at.c_str(), at.c_str()); }},
        {"Pipe.qmw", "is no plain file (a pipe or a device)", [](const std::string& at) { return ::mkfifo(at.c_str(), 0600); }},
    };
    for (const entry& e : entries) {
        ASSERT_EQ(e.make(mod + "/" + e.name), 0) << e.name;
        expect_refused({"pack", maps, mod, out}, {"Mod/" + e.name + " " + e.why});
        ASSERT_EQ(::unlink((mod + "/" + e.name).c_str()), 0);
    }
#endif
    const program_result packed = mapdiff({"pack", maps, mod, out});
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
    EXPECT_EQ(folder_listing(out), (std::vector<std::string>{"Cove.qmp", "Mod.md5", "Mod.nsh", "Upper.qmp"}));
}

// A mod with a map for each punctuation character the names may hold, a name of the longest
// length and one in upper case, drawing on each other: it packs, every patch rebuilds its map in
// the manifest's order, and where makensis is at hand the example installer builds from it.
TEST_F(mod_checks, every_name_the_checks_allow_packs_and_installs) {
    std::vector<std::string> names;
    for (const char c : std::string(" !#%&'()+,-.;=@[]^_`{}~")) names.push_back(std::string("Map") + c + "1.qmw");
    names.push_back(std::string(96, 'L') + ".qmw");
    names.push_back("Hunter's Lodge.qmw");
    const std::string mod = mod_of("Odd Names' (mod) [1] {2} ~3 `4` ;5", names);
    // Chained: each map's second chunk is the previous one's with a few bytes changed, so that
    // the patches name each other.
    for (std::size_t k = 1; k < names.size(); ++k) {
        bytes map = read_file(mod + "/" + names[k]);
        const bytes before = read_file(mod + "/" + names[k - 1]);
        const entry_chunk from = chunk_of(before, 1), to = chunk_of(map, 1);
        const std::size_t size = std::min(from.size, to.size);
        std::copy(before.begin() + from.offset, before.begin() + from.offset + static_cast<std::ptrdiff_t>(size), map.begin() + to.offset);
        for (std::size_t at = 0; at < size; at += 997) map[to.offset + at] ^= 0x5A;
        write_file(mod + "/" + names[k], map);
    }
    const program_result packed = mapdiff({"pack", maps, mod, out});
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
    EXPECT_NE(packed.out.find("  (on "), std::string::npos) << packed.out;

    const std::string manifest = text_of(read_file(out + "/Odd Names' (mod) [1] {2} ~3 `4` ;5.md5"));
    const std::string installed = folder / "Installed";
    make_folder(installed);
    for (const std::string& name : names) {
        const std::string patch = name.substr(0, name.size() - 4) + ".qmp";
        write_file(installed + "/" + patch, read_file(out + "/" + patch));
    }
    std::size_t lines = 0;
    for (std::size_t at = 0; at < manifest.size(); at = manifest.find('\n', at) + 1, ++lines) {
        const std::string digest = manifest.substr(at, 32);
        const std::string name = manifest.substr(at + 34, manifest.find('\n', at) - at - 34);
        const program_result mended = mapmend({"--check-stock", "--check-rebuilt=" + digest, "--delete-qmp", maps,
                                               installed + "/" + name.substr(0, name.size() - 4) + ".qmp"});
        EXPECT_EQ(mended.exit_code, 0) << name << ": " << mended.out;
    }
    EXPECT_EQ(lines, names.size());
    for (const std::string& name : names) EXPECT_TRUE(read_file(installed + "/" + name) == read_file(mod + "/" + name)) << name;

#ifdef MAKENSIS_PROGRAM
    // The installer script reads every name and the mod's own from the settings as they are:
    // its File lines find each patch by name, or makensis fails.
    const std::string settings = out + "/Odd Names' (mod) [1] {2} ~3 `4` ;5.nsh";
    const program_result built = run_program(
        MAKENSIS_PROGRAM, {"-V2", "-DMOD_SETTINGS=" + settings, "-DMOD_FILES=" + out, "-DMAPMEND=" MAPMEND_PROGRAM,
                           "-DMAPDIFF=" MAPDIFF_PROGRAM, "-DOUTFILE=" + folder / "installer.exe", INSTALLER_SCRIPT});
    EXPECT_EQ(built.exit_code, 0) << built.out << built.err;
    EXPECT_TRUE(exists(folder / "installer.exe"));
#endif
}
