// Two mapmend runs on one folder, and what stands at a marker path. The test plays the first
// run itself where the order of events matters: it holds the folder's lock as a run does and
// leaves a run's half-made map with its marker, starts the built mapmend, and only then
// finishes the map and lets the lock go. The second run must wait, and then see a finished map.
#include "tests/mapmend_fixture.h"

#include <future>
#include <random>
#include <thread>

#include "common/file_system.h"
#include "digest/md5.h"

namespace {

using namespace std::chrono_literals;

std::string md5_of(const bytes& content) { return md5_text_of(content.data(), content.size()); }

#ifdef _WIN32
// Every program start costs most of a second under Wine on an emulated processor.
constexpr auto settle = 4s;
#else
constexpr auto settle = 1s;
#endif

// The patch folder while the test holds its lock: on Windows the lock is the file mapmend.lock.
std::vector<std::string> while_locked(std::vector<std::string> listing) {
#ifdef _WIN32
    listing.push_back("mapmend.lock");
    std::sort(listing.begin(), listing.end());
#endif
    return listing;
}

// A marker of a run that is not this test's mapmend: the text a run writes.
const std::string other_run_marker = "mapmend run 0123456789abcdef\n";

struct two_runs : mapmend_case {
    two_runs() : mapmend_case(std::chrono::seconds(600)) {}

    // Shared.qmw, rebuilt from Shared.qmp; Top.qmp and Side.qmp draw on it beside them.
    bytes shared = synthetic_map(940, 60000, 6);
    bytes top = synthetic_map(941, 50000, 3);
    bytes side = synthetic_map(942, 40000, 2);
    bytes shared_patch, top_patch, side_patch;

    void SetUp() override {
        mapmend_case::SetUp();
        const bytes stock0 = stock_map(0), stock1 = stock_map(1);
        shared_patch = make_patch(shared, {{0, 5, stock_name(0), 0, &stock0}, {3, 9, stock_name(1), 0, &stock1}});
        top_patch = make_patch(top, {{0, 1000, "Shared.qmw", 1, &shared}, {2, 7, stock_name(1), 0, &stock1}});
        side_patch = make_patch(side, {{1, 30000, "Shared.qmw", 1, &shared}});
        write_file(mod("Shared.qmp"), shared_patch);
        write_file(mod("Top.qmp"), top_patch);
        write_file(mod("Side.qmp"), side_patch);
    }

    // The test as the first run: the folder locked, Shared.qmw half made with that run's marker.
    void begin_first_run(open_file& lock) {
        ASSERT_EQ(try_lock_folder(mods, lock), folder_lock_try::held);
        write_file(mod("Shared.qmw.rebuilding"), other_run_marker);
        write_file(mod("Shared.qmw"), shared_patch);
    }

    // ... and its end: the whole map, the marker gone, the lock let go.
    void finish_first_run(open_file& lock, bool delete_patch) {
        write_file(mod("Shared.qmw"), shared);
        std::remove(mod("Shared.qmw.rebuilding").c_str());
        if (delete_patch) std::remove(mod("Shared.qmp").c_str());
        close_file(lock);
    }

    program_result mapmend_short_wait(const std::vector<std::string>& arguments) {
        const program_result result = run_program(MAPMEND_SHORT_WAIT_PROGRAM, arguments, work);
        EXPECT_EQ(result.err, "");
        return result;
    }

    std::future<program_result> start_second_run(const std::string& program, const std::vector<std::string>& call) {
        return std::async(std::launch::async, [program, call, this] { return run_program(program, call, work); });
    }

    // The second run has not ended and has changed nothing while the first run holds the folder.
    void expect_waiting(std::future<program_result>& second, const std::vector<std::string>& listing) {
        EXPECT_EQ(second.wait_for(settle), std::future_status::timeout) << "the second run did not wait";
        EXPECT_EQ(folder_listing(mods), while_locked(listing));
        EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared_patch) << "the half-made map was touched";
        EXPECT_EQ(read_file(mod("Shared.qmw.rebuilding")), bytes(other_run_marker.begin(), other_run_marker.end()));
    }
};

}  // namespace

// The second run needs Shared.qmw as a source while the first one makes it: it waits, and then
// reads the finished map; it neither moves it aside nor takes over its marker.
TEST_F(two_runs, a_run_that_needs_a_map_being_made_waits_and_reads_the_finished_map) {
    open_file lock;
    begin_first_run(lock);
    auto second = start_second_run(MAPMEND_PROGRAM, {"--delete-qmp", maps, mod("Top.qmp")});
    expect_waiting(second, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    finish_first_run(lock, true);

    const program_result result = second.get();
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(read_file(mod("Top.qmw")) == top);
    EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Shared.qmw", "Side.qmp", "Top.qmw"}));
}

// Both runs with one call: the first deletes the patch once its map is whole. The second finds
// no patch when its turn comes, says so, and leaves the first run's map alone.
TEST_F(two_runs, a_run_whose_patch_the_first_run_deleted_leaves_the_finished_map) {
    open_file lock;
    begin_first_run(lock);
    const std::vector<std::string> call = {"--check-rebuilt=" + md5_of(shared), "--delete-qmp", maps, mod("Shared.qmp")};
    auto second = start_second_run(MAPMEND_PROGRAM, call);
    expect_waiting(second, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    finish_first_run(lock, true);

    const program_result result = second.get();
    EXPECT_EQ(result.out, result_line("Error: QMP not found."));
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Shared.qmw", "Side.qmp", "Top.qmp"}));
}

// The patch kept: the second run moves the finished map aside as any earlier map, and rebuilds.
TEST_F(two_runs, a_run_after_the_first_moves_its_finished_map_aside) {
    open_file lock;
    begin_first_run(lock);
    auto second = start_second_run(MAPMEND_PROGRAM, {maps, mod("Shared.qmp")});
    expect_waiting(second, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    finish_first_run(lock, false);

    const program_result result = second.get();
    EXPECT_EQ(result.exit_code, 0) << result.out;
    EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared);
    EXPECT_TRUE(read_file(mod("Shared.qmw.old")) == shared);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Shared.qmp", "Shared.qmw", "Shared.qmw.old", "Side.qmp", "Top.qmp"}));
}

// A first run that never lets go: the second waits a bounded time (seconds in this build of
// mapmend, minutes in the real one), then fails with 9 and changes nothing.
TEST_F(two_runs, the_wait_for_another_run_is_bounded) {
    open_file lock;
    begin_first_run(lock);
    const auto started = std::chrono::steady_clock::now();
    const program_result result = mapmend_short_wait({"--delete-qmp", maps, mod("Side.qmp")});
    EXPECT_GE(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_EQ(folder_listing(mods), while_locked({"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"}));
    EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared_patch);
    EXPECT_TRUE(read_file(mod("Side.qmp")) == side_patch);
    close_file(lock);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"}));
}

// A run killed while it holds the folder lets it go: the next run does not wait for it, takes
// the map left unfinished for what it is, and recovers.
TEST_F(two_runs, a_marker_whose_run_is_gone_is_taken_over) {
    write_file(mod("Shared.qmw.rebuilding"), other_run_marker);
    write_file(mod("Shared.qmw"), shared_patch);
    const program_result result = mapmend_short_wait({"--delete-qmp", maps, mod("Top.qmp")});
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared);
    EXPECT_TRUE(read_file(mod("Shared.qmw.old")) == shared_patch);
    EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Shared.qmp", "Shared.qmw", "Shared.qmw.old", "Side.qmp", "Top.qmw"}));
}

namespace {

struct marker_corners : two_runs {
    // A finished Shared.qmw, as an earlier run left it, and what stands at its marker path.
    void SetUp() override {
        two_runs::SetUp();
        write_file(mod("Shared.qmw"), shared);
    }

    // Each rerun fails with 9 and moves nothing: no map aside, no marker path touched.
    void expect_refused(const std::vector<std::string>& call, const std::vector<std::string>& listing) {
        for (int run = 0; run < 4; ++run) {
            const program_result result = mapmend(call);
            EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed.")) << "run " << run;
            EXPECT_EQ(result.exit_code, 9);
            EXPECT_EQ(folder_listing(mods), listing) << "run " << run;
            EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared);
        }
    }
};

}  // namespace

// A folder with a file in it at the map's own marker path, and at a source's: never deleted,
// never taken over, and no earlier map moved aside, however often the call is repeated.
TEST_F(marker_corners, a_folder_at_a_marker_path_stops_the_run_before_anything_moves) {
    make_folder(mod("Shared.qmw.rebuilding"));
    write_file(mod("Shared.qmw.rebuilding/notes.txt"), std::string("kept"));
    expect_refused({maps, mod("Shared.qmp")}, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    // As a source's marker the map beside it cannot be told finished: it is neither read nor
    // moved, and the run stops before it makes its own map.
    expect_refused({maps, mod("Top.qmp")}, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    EXPECT_EQ(folder_listing(mod("Shared.qmw.rebuilding")), std::vector<std::string>{"notes.txt"});
}

TEST_F(marker_corners, an_empty_folder_at_a_marker_path_is_not_a_marker) {
    make_folder(mod("Shared.qmw.rebuilding"));
    expect_refused({maps, mod("Shared.qmp")}, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    EXPECT_TRUE(exists(mod("Shared.qmw.rebuilding")));
}

// A file of the user's own at the marker path: kept as it is.
TEST_F(marker_corners, a_file_mapmend_did_not_make_at_a_marker_path_is_kept) {
    write_file(mod("Shared.qmw.rebuilding"), std::string("my notes on this map\n"));
    expect_refused({maps, mod("Shared.qmp")}, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    expect_refused({maps, mod("Side.qmp")}, {"Shared.qmp", "Shared.qmw", "Shared.qmw.rebuilding", "Side.qmp", "Top.qmp"});
    const std::string notes = "my notes on this map\n";
    EXPECT_EQ(read_file(mod("Shared.qmw.rebuilding")), bytes(notes.begin(), notes.end()));
}

// The empty marker of an earlier mapmend, and one cut short by a kill, are mapmend's: taken over.
TEST_F(marker_corners, markers_of_earlier_runs_are_taken_over) {
    for (const std::string& text : {std::string(), std::string("mapmend run 01"), other_run_marker}) {
        write_file(mod("Shared.qmw"), shared_patch);
        write_file(mod("Shared.qmw.rebuilding"), text);
        const program_result result = mapmend({maps, mod("Side.qmp")});
        EXPECT_EQ(result.out, result_line("All OK.")) << "marker '" << text << "'";
        EXPECT_TRUE(read_file(mod("Side.qmw")) == side);
        EXPECT_TRUE(read_file(mod("Shared.qmw")) == shared);
        EXPECT_FALSE(exists(mod("Shared.qmw.rebuilding")));
        for (const std::string& name : folder_listing(mods))
            if (name.find(".old") != std::string::npos || name == "Side.qmw") std::remove(mod(name).c_str());
    }
}

namespace {

#ifdef _WIN32
// Each run starts in about a second under Wine on an emulated processor, and rebuilds slowly.
constexpr int stress_rounds = 12;
constexpr int start_spread_ms = 1500, kill_spread_ms = 4000;
#else
#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build looks for memory faults, not for more interleavings: the plain build
// runs the full count, at about a fifth of the time per round.
constexpr int stress_rounds = 60;
#else
constexpr int stress_rounds = 300;
#endif
constexpr int start_spread_ms = 15, kill_spread_ms = 40;
#endif

struct stress_run {
    std::vector<std::string> call;
    std::string map;  // the map it makes
    int start_ms = 0;
    int kill_ms = -1;  // after its start; -1: never killed
    started_program program;
    bool started = false, ended = false;
    int status = -1;
};

struct two_runs_stress : two_runs {
    bytes big_shared = synthetic_map(950, std::size_t{1} << 20, 96);

    void SetUp() override {
        two_runs::SetUp();
        // A larger Shared.qmw, so that runs overlap while it is made.
        const bytes stock0 = stock_map(0), stock2 = stock_map(2);
        std::vector<patch_reference> references;
        for (std::size_t i = 0; i < 96; i += 2) references.push_back({i, static_cast<std::int32_t>(i + 1), stock_name(i % 4 == 0 ? 0 : 2), 0, i % 4 == 0 ? &stock0 : &stock2});
        shared = big_shared;
        shared_patch = make_patch(shared, references);
        top_patch = make_patch(top, {{0, 1000, "Shared.qmw", 1, &shared}});
        side_patch = make_patch(side, {{1, 150000, "Shared.qmw", 1, &shared}});
        start_over();
    }

    void start_over() {
        for (const std::string& name : folder_listing(mods)) std::remove(mod(name).c_str());
        write_file(mod("Shared.qmp"), shared_patch);
        write_file(mod("Top.qmp"), top_patch);
        write_file(mod("Side.qmp"), side_patch);
    }

    const bytes& expected(const std::string& map) const { return map == "Shared" ? shared : map == "Top" ? top : side; }

    std::vector<std::string> call_for(int which) const {
        switch (which) {
            case 0: return {"--delete-qmp", maps, mod("Shared.qmp")};
            case 1: return {"--check-rebuilt=" + md5_of(top), "--delete-qmp", maps, mod("Top.qmp")};
            case 2: return {maps, mod("Side.qmp")};
            default: return {"--delete-qmp", maps, mod("Side.qmp")};
        }
    }

    // A map without its marker is whole: no run may leave a partial one unmarked.
    void expect_unmarked_maps_whole(const std::string& when) {
        for (const std::string map : {"Shared", "Top", "Side"}) {
            if (exists(mod(map + ".qmw")) && !exists(mod(map + ".qmw.rebuilding"))) {
                EXPECT_TRUE(read_file(mod(map + ".qmw")) == expected(map)) << map << ".qmw is wrong and unmarked " << when;
            }
        }
    }
};

}  // namespace

// Two to four runs at random offsets, some killed at random moments, round after round. After
// each run that ends "All OK." alone, its maps are right; after each round no map is partial
// without its marker; and each call of the round, run again, recovers.
TEST_F(two_runs_stress, runs_at_random_offsets_with_kills_never_end_in_a_false_success) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    int rounds = 0, successes = 0, checked_alone = 0, kills = 0;
    for (int round = 0; round < stress_rounds && !HasFailure(); ++round, ++rounds) {
        SCOPED_TRACE("round " + std::to_string(round));
        start_over();
        std::vector<stress_run> runs(std::uniform_int_distribution<std::size_t>(2, 4)(random));
        for (stress_run& run : runs) {
            const int which = std::uniform_int_distribution<int>(0, 3)(random);
            run.call = call_for(which);
            run.map = which == 0 ? "Shared" : which == 1 ? "Top" : "Side";
            run.start_ms = std::uniform_int_distribution<int>(0, start_spread_ms)(random);
            if (random() % 2) run.kill_ms = std::uniform_int_distribution<int>(0, kill_spread_ms)(random);
        }
        const auto begun = std::chrono::steady_clock::now();
        for (std::size_t running = runs.size(); running > 0;) {
            const auto now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begun).count();
            for (stress_run& run : runs) {
                if (!run.started && now_ms >= run.start_ms) {
                    run.program = start_program(MAPMEND_PROGRAM, run.call, work);
                    run.started = true;
                } else if (run.started && !run.ended && run.kill_ms >= 0 && now_ms >= run.start_ms + run.kill_ms) {
                    run.ended = true;
                    --running;
                    if (kill_program(run.program)) {
                        ++kills;
                    } else {
                        run.kill_ms = -1;  // it had ended by itself: its status is unknown, and not checked
                    }
                } else if (run.started && !run.ended && program_ended(run.program, run.status)) {
                    run.ended = true;
                    --running;
                    const bool alone = std::none_of(runs.begin(), runs.end(), [](const stress_run& other) { return other.started && !other.ended; });
                    if (run.status == 0) ++successes;
                    // Nothing else runs: the map it reported is still as it left it.
                    if (run.status == 0 && alone) {
                        ++checked_alone;
                        EXPECT_TRUE(read_file(mod(run.map + ".qmw")) == expected(run.map)) << "\"All OK.\" over a wrong " << run.map << ".qmw";
                        EXPECT_FALSE(exists(mod(run.map + ".qmw.rebuilding")));
                    }
                    EXPECT_TRUE(run.status == 0 || run.status == 2) << "status " << run.status;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_EQ(maps_state(), maps_before) << "a stock map changed";
        expect_unmarked_maps_whole("after the round");

        // The same calls again, one after the other: each recovers, or its patch is gone because
        // its map is whole.
        for (const stress_run& run : runs) {
            const std::string patch = run.call.back();
            if (exists(patch)) {
                const program_result again = mapmend(run.call);
                EXPECT_EQ(again.exit_code, 0) << again.out;
            }
            EXPECT_TRUE(read_file(mod(run.map + ".qmw")) == expected(run.map)) << run.map << ".qmw after the call again";
            EXPECT_FALSE(exists(mod(run.map + ".qmw.rebuilding")));
        }
        for (const std::string& name : folder_listing(mods)) EXPECT_EQ(name.find(".rebuilding"), std::string::npos) << name;
        expect_unmarked_maps_whole("after the calls again");
    }
    std::printf("%d rounds: %d runs ended \"All OK.\" (%d checked alone), %d killed\n", rounds, successes, checked_alone, kills);
}
