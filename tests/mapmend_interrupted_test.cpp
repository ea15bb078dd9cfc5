// A run of the built mapmend killed at random points of a large rebuild, as a crash or a power
// cut would end it: the patch must outlive every such end, no stock map may change, and the
// same call run again must end in "All OK." with the right map.
#include "tests/mapmend_fixture.h"

#include <algorithm>
#include <thread>

#include "digest/md5.h"
#include "tests/support/kill_points.h"

namespace {

#if defined(_WIN32)
// Under Wine on an emulated 32-bit processor a rebuild is many times slower than natively.
constexpr std::size_t target_size = std::size_t{12} << 20;
#elif defined(__SANITIZE_ADDRESS__)
// The sanitizer build looks for memory faults; a smaller map gives as many kills in a third
// of the time.
constexpr std::size_t target_size = std::size_t{8} << 20;
#else
constexpr std::size_t target_size = std::size_t{24} << 20;
#endif
constexpr std::size_t source_size = std::size_t{4} << 20;
constexpr std::size_t entry_count = 96;
constexpr int kills_wanted = 20;

std::string md5_of(const bytes& content) { return md5_text_of(content.data(), content.size()); }

struct interrupted : mapmend_case {
    // Dozens of large rebuilds, each run twice.
    interrupted() : mapmend_case(std::chrono::seconds(600)) {}

    bytes source = synthetic_map(900, source_size, 8);
    bytes target = synthetic_map(901, target_size, entry_count);
    bytes patch;
    std::vector<std::string> call;

    void SetUp() override {
        mapmend_case::SetUp();
        write_file(maps + "/Quarry.qmw", source);
        maps_before = maps_state();

        // Every chunk drawn from the large stock map, so that the rebuild reads and writes
        // the whole file; a few from a small one, so that there is more than one group.
        seeded_random random{902};
        const bytes small = stock_map(1);
        std::vector<patch_reference> references;
        for (std::size_t i = 0; i < entry_count; ++i) {
            const entry_chunk chunk = chunk_of(target, i);
            if (i % 10 == 3 && chunk.size <= small.size()) {
                references.push_back({i, 0, stock_name(1), 0, &small});
            } else {
                const auto offset = static_cast<std::int32_t>(random.below(static_cast<std::uint32_t>(source_size - chunk.size)));
                references.push_back({i, offset, "Quarry.qmw", 0, &source});
            }
        }
        patch = make_patch(target, references);
        write_file(mod("Level.qmp"), patch);
        call = {"--check-rebuilt=" + md5_of(target), "--delete-qmp", maps, mod("Level.qmp")};
    }

    // Starts the call and returns once the map file has appeared, which is where the rebuild
    // begins; false, with the run ended, when it does not appear.
    bool start_rebuild(started_program& run) {
        run = start_program(MAPMEND_PROGRAM, call, work);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!exists(mod("Level.qmw"))) {
            if (std::chrono::steady_clock::now() > limit) {
                kill_program(run);
                ADD_FAILURE() << "no map file appeared";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return true;
    }
};

}  // namespace

TEST_F(interrupted, a_killed_rebuild_keeps_its_patch_and_the_next_run_recovers) {
    // How long the rebuild runs from the map file's appearance: the kills fall in that span.
    const auto started = std::chrono::steady_clock::now();
    started_program first;
    ASSERT_TRUE(start_rebuild(first));
    const auto appeared = std::chrono::steady_clock::now();
    ASSERT_EQ(wait_for_program(first), 0);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - appeared);
    ASSERT_TRUE(read_file(mod("Level.qmw")) == target) << "the map is not the expected one";
    ASSERT_FALSE(exists(mod("Level.qmp")));
    std::printf("rebuild span %lld us, start %lld us\n", static_cast<long long>(span.count()),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(appeared - started).count()));

    kill_points points(span.count());
    SCOPED_TRACE(points.seed_trace());

    int kills = 0, kills_after_deletion = 0, partial_maps = 0;
    for (int attempt = 0; kills < kills_wanted && attempt < 4 * kills_wanted; ++attempt) {
        for (const std::string& name : folder_listing(mods)) std::remove(mod(name).c_str());
        write_file(mod("Level.qmp"), patch);

        const long long at = points.next();
        SCOPED_TRACE("killed " + std::to_string(at) + " us after the map file appeared");
        started_program run;
        ASSERT_TRUE(start_rebuild(run));
        std::this_thread::sleep_for(std::chrono::microseconds(at));
        if (!kill_program(run)) {
            // It ended first (the first run may have been slowed down by a busy machine); it
            // must have ended as a whole run does.
            points.ended_before(at);
            EXPECT_TRUE(read_file(mod("Level.qmw")) == target) << "the map is not the expected one";
            EXPECT_FALSE(exists(mod("Level.qmp")));
            continue;
        }
        ASSERT_EQ(maps_state(), maps_before) << "a stock map changed";
        if (!exists(mod("Level.qmp"))) {
            // Killed between the deletion and the exit: the map must be whole by then.
            EXPECT_TRUE(read_file(mod("Level.qmw")) == target) << "the patch is gone before the map is whole";
            ++kills_after_deletion;
            continue;
        }
        ++kills;
        ASSERT_TRUE(read_file(mod("Level.qmp")) == patch) << "the patch changed";
        if (read_file(mod("Level.qmw")) != target) ++partial_maps;

        const program_result again = mapmend(call);
        EXPECT_EQ(again.out, result_line("All OK."));
        EXPECT_EQ(again.exit_code, 0);
        EXPECT_TRUE(read_file(mod("Level.qmw")) == target) << "the map is not the expected one";
        EXPECT_EQ(folder_listing(mods), (std::vector<std::string>{"Level.qmw", "Level.qmw.old"}));
        if (HasFailure()) return;
    }
    EXPECT_GE(kills, kills_wanted) << "too few kills landed before the run ended";
    std::printf("%d kills before the deletion (%d left a partial map), %d after it; points up to %lld us\n", kills,
                partial_maps, kills_after_deletion, points.span_us);
}

namespace {

// The same large map, now the source of a small one: Top.qmp draws on Level.qmw beside it,
// which is missing and so rebuilt first from Level.qmp. The call carries no digest, so only
// the map itself can tell whether a leftover of a killed run was read as a finished map.
struct interrupted_nested : interrupted {
    bytes top = synthetic_map(903, 60000, 3);
    bytes top_patch;

    void SetUp() override {
        interrupted::SetUp();
        // Read from the start, the middle and the end of Level.qmw.
        std::vector<patch_reference> references;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::size_t room = target.size() - chunk_of(top, i).size;
            // A source offset of 0 would mean no source at all.
            references.push_back({i, static_cast<std::int32_t>(std::max<std::size_t>(1, room / 2 * i)), "Level.qmw", 1, &target});
        }
        top_patch = make_patch(top, references);
        write_file(mod("Top.qmp"), top_patch);
        call = {"--delete-qmp", maps, mod("Top.qmp")};
    }

    void start_over() {
        for (const std::string& name : folder_listing(mods)) std::remove(mod(name).c_str());
        write_file(mod("Level.qmp"), patch);
        write_file(mod("Top.qmp"), top_patch);
    }

    // The maps are right, the nested patch stays, and no marker is left.
    void expect_finished() {
        EXPECT_TRUE(read_file(mod("Top.qmw")) == top) << "the map is not the expected one";
        EXPECT_TRUE(read_file(mod("Level.qmw")) == target) << "the nested map is not the expected one";
        EXPECT_FALSE(exists(mod("Top.qmp")));
        EXPECT_TRUE(read_file(mod("Level.qmp")) == patch);
        for (const std::string& name : folder_listing(mods))
            EXPECT_EQ(name.find(".rebuilding"), std::string::npos) << name;
    }
};

}  // namespace

// Killed while the nested map is made (or later): the same call run again moves the leftovers
// aside, rebuilds both maps and ends in "All OK." with the right map, never with a wrong one.
TEST_F(interrupted_nested, a_killed_nested_rebuild_is_never_read_as_a_finished_map) {
    start_over();
    started_program first;
    ASSERT_TRUE(start_rebuild(first));
    const auto appeared = std::chrono::steady_clock::now();
    ASSERT_EQ(wait_for_program(first), 0);
    kill_points points(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - appeared).count());
    expect_finished();
    SCOPED_TRACE(points.seed_trace());
    constexpr int wanted = 15;
    int kills = 0, partial_nested = 0;
    for (int attempt = 0; kills < wanted && attempt < 4 * wanted; ++attempt) {
        start_over();
        const long long at = points.next();
        SCOPED_TRACE("killed " + std::to_string(at) + " us after the nested map file appeared");
        started_program run;
        ASSERT_TRUE(start_rebuild(run));
        std::this_thread::sleep_for(std::chrono::microseconds(at));
        if (!kill_program(run)) {
            points.ended_before(at);
            expect_finished();
            continue;
        }
        ASSERT_EQ(maps_state(), maps_before) << "a stock map changed";
        if (!exists(mod("Top.qmp"))) {
            expect_finished();
            continue;
        }
        ++kills;
        if (read_file(mod("Level.qmw")) != target) ++partial_nested;

        const program_result again = mapmend(call);
        EXPECT_EQ(again.out, result_line("All OK."));
        EXPECT_EQ(again.exit_code, 0);
        expect_finished();
        if (HasFailure()) return;
    }
    EXPECT_GE(kills, wanted) << "too few kills landed before the run ended";
    std::printf("%d kills (%d left a partial nested map); points up to %lld us\n", kills, partial_nested, points.span_us);
}
