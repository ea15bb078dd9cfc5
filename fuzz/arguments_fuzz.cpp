// Fuzzes the reading of mapmend's command line: the input is split at NUL bytes into
// arguments. The working folder holds a maps folder and a patch file, so that paths can match.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "common/file_system.h"
#include "digest/md5.h"
#include "fuzz/fuzz_folder.h"
#include "mapmend/arguments.h"

namespace {

const std::vector<std::string>& prepared_folder() {
    static const std::vector<std::string> names = [] {
        const std::string& root = fuzz_folder();
        std::filesystem::create_directory(root + "/maps");
        write_whole_file(root + "/maps/p.qmp", "patch");
        write_whole_file(root + "/p.qmp", "patch");
        if (::chdir(root.c_str()) != 0) invariant_broken("cannot enter " + root);
        return names_in(root);
    }();
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string>& before = prepared_folder();
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<char>(data[i]);
        }
    }

    const argument_reading reading = read_arguments(arguments);
    const run_settings& s = reading.settings;
    switch (reading.outcome) {
        case argument_outcome::show_usage: break;
        case argument_outcome::stop:
            if (reading.code != result_code::maps_path_not_found && reading.code != result_code::patch_not_found &&
                reading.code != result_code::wrong_options && reading.code != result_code::invalid_md5)
                invariant_broken("an argument error with a code that arguments cannot raise");
            break;
        case argument_outcome::run:
            if (!s.maps_path.empty() && (s.maps_path.back() != '\\' || !is_directory(s.maps_path)))
                invariant_broken("an accepted maps path that is no folder or lacks its backslash");
            if (!s.patch_path.empty() && (s.maps_path.empty() || !file_exists(s.patch_path)))
                invariant_broken("an accepted patch path that cannot be read");
            if (!s.expected_digest.empty() && !is_digest_text(s.expected_digest))
                invariant_broken("an accepted digest that is not 32 lowercase hexadecimal digits");
            break;
    }
    if (names_in(fuzz_folder()) != before) invariant_broken("reading the arguments changed the folder");
    return 0;
}
