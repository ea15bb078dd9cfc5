// Writes the sample stock set and its mods into a folder, and with a second folder the maps of a
// mod author's folder there: make_sample_set <folder> [<mod folder>]
#include <cstdio>
#include <exception>

#include "tests/support/sample_mod.h"
#include "tests/support/sample_set.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_sample_set <folder> [<mod folder>]\n");
        return 2;
    }
    try {
        const sample_set set = make_sample_set();
        write_sample_set(set, argv[1]);
        if (argc == 3) {
            make_folder(argv[2]);
            for (const named_file& map : make_sample_mod(set)) write_file(std::string(argv[2]) + "/" + map.name, map.content);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_set: %s\n", error.what());
        return 1;
    }
    return 0;
}
