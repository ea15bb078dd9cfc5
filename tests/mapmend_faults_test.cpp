// Faults of the file system around a run of the built mapmend: a patch that cannot be deleted,
// a disk that fills up, an output path held open by another process, a maps folder that
// cannot be read. Each ends with a failure code and no crash, and loses no file.
#include "tests/mapmend_fixture.h"
#include "tests/support/small_disk.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#endif

namespace {

struct faults : mapmend_case {
    bytes stock0 = stock_map(0);
    bytes target = synthetic_map(700, 60000, 3);
    bytes patch = make_patch(target, {{0, 300, stock_name(0), 0, &stock0}, {2, 1, stock_name(0), 0, &stock0}});

    void SetUp() override {
        mapmend_case::SetUp();
        write_file(mod("Level.qmp"), patch);
    }
};

#ifdef _WIN32
// Another handle on the file that shares only reading (or nothing), as an editor or a
// scanner holding the file would.
struct held_file {
    HANDLE handle;
    held_file(const std::string& path, DWORD share)
        : handle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~held_file() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
#endif

}  // namespace

TEST_F(faults, a_locked_patch_is_reported_after_the_rebuild) {
#ifdef _WIN32
    held_file lock(mod("Level.qmp"), FILE_SHARE_READ);
    ASSERT_NE(lock.handle, INVALID_HANDLE_VALUE);
    const program_result result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.out, result_line("Error: Could not delete the QMP."));
    EXPECT_EQ(result.exit_code, 10);
    EXPECT_EQ(read_file(mod("Level.qmw")), target);
    EXPECT_EQ(read_file(mod("Level.qmp")), patch);
#else
    GTEST_SKIP() << "POSIX has no lock that keeps a file from being deleted";
#endif
}

TEST_F(faults, an_output_path_held_open_by_another_process) {
    write_file(mod("Level.qmw"), std::string("earlier map"));
#ifdef _WIN32
    // Sharing reading only, the earlier map cannot be moved aside; sharing nothing, it cannot
    // even be read. Either way the rebuild finds its path taken and fails.
    for (const DWORD share : {DWORD{FILE_SHARE_READ}, DWORD{0}}) {
        held_file held(mod("Level.qmw"), share);
        ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
        const program_result result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
        EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed.")) << share;
        EXPECT_EQ(result.exit_code, 9) << share;
        EXPECT_EQ(read_file(mod("Level.qmp")), patch);
    }
    EXPECT_EQ(read_file(mod("Level.qmw")), bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'm', 'a', 'p'}));
#else
    // An open file does not stop a rename here: the earlier map is moved aside, still open,
    // and the rebuild goes ahead.
    std::ifstream held(mod("Level.qmw"), std::ios::binary);
    ASSERT_TRUE(held.is_open());
    const program_result result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(mod("Level.qmw")), target);
    EXPECT_EQ(read_file(mod("Level.qmw.old")), bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'm', 'a', 'p'}));
    std::string still;
    std::getline(held, still);
    EXPECT_EQ(still, "earlier map");
#endif
}

TEST_F(faults, a_disk_that_fills_up_during_the_rebuild) {
#ifdef _WIN32
    GTEST_SKIP() << "a small disk is mounted by the native test only";
#else
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    also_in_root.insert("Full");
    const small_disk disk(root / "Full", "size=96k");
    if (!disk.mounted) GTEST_SKIP() << "mount of a tmpfs refused here";

    // The patch fits, its copy does not.
    write_file(disk.path + "/Level.qmp", patch);
    program_result result = mapmend({"--delete-qmp", maps, disk.path + "/Level.qmp"});
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_EQ(read_file(disk.path + "/Level.qmp"), patch);

    // The map fits, the nested rebuild of its source does not.
    for (const std::string& name : folder_listing(disk.path)) std::filesystem::remove(disk.path + "/" + name);
    const bytes source = synthetic_map(701, 40000, 2);
    const bytes source_patch = make_patch(source, {{0, 1, stock_name(0), 0, &stock0}});
    const bytes small_target = synthetic_map(702, 12000, 2);
    const bytes outer = make_patch(small_target, {{1, 3, "Source.qmw", 1, &source}});
    write_file(disk.path + "/Outer.qmp", outer);
    write_file(disk.path + "/Source.qmp", source_patch);
    result = mapmend({"--delete-qmp", maps, disk.path + "/Outer.qmp"});
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_EQ(read_file(disk.path + "/Outer.qmp"), outer);
    EXPECT_EQ(read_file(disk.path + "/Source.qmp"), source_patch);
    EXPECT_EQ(read_file(disk.path + "/Outer.qmw").size(), outer.size());
#endif
}

TEST_F(faults, a_maps_folder_that_cannot_be_read) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine maps no Windows permission onto a folder; it runs as the prefix's owner";
#else
    namespace fs = std::filesystem;
    if (geteuid() == 0) {
        // Root reads everything: run mapmend as an unprivileged user instead.
        if (!exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is needed to run mapmend without root";
        launcher = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        fs::permissions(mods, fs::perms::all);
        fs::permissions(work, fs::perms::all);
        fs::permissions(mod("Level.qmp"), fs::perms::all);
    }
    // Neither listed nor entered: the stock files cannot be opened, and a maps-folder source is
    // missing, with no patch of its own to rebuild it from.
    fs::permissions(maps, fs::perms::none);
    program_result result = mapmend({"--check-stock", maps});
    EXPECT_EQ(result.out, result_line("Error: Stock QMW verification failed."));
    EXPECT_EQ(result.exit_code, 7);
    result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_TRUE(exists(mod("Level.qmp")));

    // Entered but not listed: the tool opens its files by name and never lists the folder.
    fs::permissions(maps, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    std::filesystem::remove(mod("Level.qmw"));
    result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    fs::permissions(maps, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(read_file(mod("Level.qmw")), target);
#endif
}

TEST_F(faults, an_output_path_taken_by_a_folder) {
    // A folder cannot be moved aside as an earlier map, and the rebuild never replaces anything.
    make_folder(mod("Level.qmw"));
    write_file(mod("Level.qmw") + "/inside", std::string("kept"));
    const program_result result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_EQ(read_file(mod("Level.qmw") + "/inside"), bytes({'k', 'e', 'p', 't'}));
    EXPECT_EQ(read_file(mod("Level.qmp")), patch);
}

// The disk fills up while the nested map is copied: the run fails and keeps its patches; once
// there is room again, the same call moves the truncated map aside and ends in "All OK." with
// the right map.
TEST_F(faults, after_a_full_disk_the_same_call_rebuilds_the_right_map) {
#ifdef _WIN32
    GTEST_SKIP() << "a small disk is mounted by the native test only";
#else
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    also_in_root.insert("Full");
    const small_disk disk(root / "Full", "size=512k");
    if (!disk.mounted) GTEST_SKIP() << "mount of a tmpfs refused here";

    const bytes source = synthetic_map(711, 120000, 6);
    const bytes source_patch = make_patch(source, {{0, 1, stock_name(0), 0, &stock0}});
    const bytes outer_target = synthetic_map(712, 12000, 2);
    // Read from the source's first chunk, which its copy holds as difference bytes.
    const bytes outer = make_patch(outer_target, {{1, static_cast<std::int32_t>(chunk_of(source, 0).offset), "Source.qmw", 1, &source}});
    write_file(disk.path + "/Outer.qmp", outer);
    write_file(disk.path + "/Source.qmp", source_patch);

    // Room for the outer map and three quarters of the source's copy.
    struct statvfs space {};
    ASSERT_EQ(::statvfs(disk.path.c_str(), &space), 0);
    const std::size_t page = space.f_frsize, free_bytes = space.f_bavail * space.f_frsize;
    const std::size_t wanted = (outer.size() + page - 1) / page * page + source.size() * 3 / 4 / page * page;
    ASSERT_GT(free_bytes, wanted);
    write_file(disk.path + "/Filler", bytes(free_bytes - wanted));

    const std::vector<std::string> call = {"--delete-qmp", maps, disk.path + "/Outer.qmp"};
    program_result result = mapmend(call);
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_EQ(read_file(disk.path + "/Outer.qmp"), outer);
    EXPECT_EQ(read_file(disk.path + "/Source.qmp"), source_patch);
    const std::size_t left = read_file(disk.path + "/Source.qmw").size();
    EXPECT_GT(left, chunk_of(source, 0).offset + chunk_of(outer_target, 1).size) << "the copy did not reach the chunk read";
    EXPECT_LT(left, source.size());

    std::filesystem::remove(disk.path + "/Filler");
    result = mapmend(call);
    EXPECT_EQ(result.out, result_line("All OK."));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(disk.path + "/Outer.qmw"), outer_target);
    EXPECT_EQ(read_file(disk.path + "/Source.qmw"), source);
    EXPECT_EQ(read_file(disk.path + "/Source.qmw.old").size(), left);
#endif
}

// An earlier map cannot be moved aside when what holds its backup name cannot be read: that
// thing stays as it is, and the rebuild, which never replaces a file, fails.
TEST_F(faults, a_backup_name_held_by_what_cannot_be_read_is_never_replaced) {
    const bytes earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    write_file(mod("Level.qmw"), earlier);
#ifdef _WIN32
    write_file(mod("Level.qmw.old"), std::string("backup"));
    const held_file held(mod("Level.qmw.old"), 0);
    ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
    const program_result result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
#else
    namespace fs = std::filesystem;
    fs::create_symlink(mod("Gone.qmw"), mod("Level.qmw.old"));
    program_result result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    EXPECT_TRUE(fs::is_symlink(mod("Level.qmw.old")));
    EXPECT_FALSE(exists(mod("Gone.qmw")));
    fs::remove(mod("Level.qmw.old"));

    // A file that the run's user cannot read (root reads everything: it runs as nobody then).
    if (geteuid() == 0) {
        if (!exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is needed to run mapmend without root";
        launcher = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        fs::permissions(mods, fs::perms::all);
        fs::permissions(work, fs::perms::all);
        for (const char* name : {"Level.qmp", "Level.qmw"}) fs::permissions(mod(name), fs::perms::all);
    }
    write_file(mod("Level.qmw.old"), std::string("backup"));
    fs::permissions(mod("Level.qmw.old"), fs::perms::none);
    result = mapmend({"--delete-qmp", maps, mod("Level.qmp")});
    EXPECT_EQ(result.out, result_line("Error: QMW rebuild failed."));
    EXPECT_EQ(result.exit_code, 9);
    fs::permissions(mod("Level.qmw.old"), fs::perms::owner_read);
    EXPECT_EQ(read_file(mod("Level.qmw.old")), (bytes{'b', 'a', 'c', 'k', 'u', 'p'}));
#endif
    EXPECT_EQ(read_file(mod("Level.qmw")), earlier);
    EXPECT_EQ(read_file(mod("Level.qmp")), patch);
}
