#include "mapmend/arguments.h"

#include "common/file_system.h"
#include "common/path_text.h"
#include "digest/md5.h"

namespace {

const std::string check_rebuilt_option = "--check-rebuilt=";

argument_reading stop_with(result_code code) {
    argument_reading reading;
    reading.outcome = argument_outcome::stop;
    reading.code = code;
    return reading;
}

}  // namespace


argument_reading read_arguments(const std::vector<std::string>& arguments) {
    argument_reading reading;
    run_settings& settings = reading.settings;

    for (const std::string& argument : arguments) {
        if (argument == "--help") {
            reading.outcome = argument_outcome::show_usage;
            return reading;
        }
        if (argument == "--check-stock") {
            settings.check_stock = true;
        } else if (argument == "--delete-qmp") {
            settings.delete_patch = true;
        } else if (argument.compare(0, check_rebuilt_option.size(), check_rebuilt_option) == 0) {
            settings.expected_digest = to_lower(argument).substr(check_rebuilt_option.size());
            if (!is_digest_text(settings.expected_digest)) return stop_with(result_code::invalid_md5);
        } else if (argument.size() >= 2 && argument[0] == '-' && argument[1] == '-') {
            return stop_with(result_code::wrong_options);
        } else if (settings.maps_path.empty()) {
            if (!is_directory(argument)) return stop_with(result_code::maps_path_not_found);
            settings.maps_path = argument;
            if (settings.maps_path.back() != '\\') settings.maps_path += '\\';
        } else if (settings.patch_path.empty()) {
            if (!file_exists(argument)) return stop_with(result_code::patch_not_found);
            settings.patch_path = argument;
        }
        // Third and later positional arguments are ignored.
    }
    return reading;
}
