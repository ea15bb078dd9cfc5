// Writes the sample stock set and its mods into a folder: make_sample_set <folder>
#include <cstdio>
#include <exception>

#include "tests/support/sample_set.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_set <folder>\n");
        return 2;
    }
    try {
        write_sample_set(make_sample_set(), argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_set: %s\n", error.what());
        return 1;
    }
    return 0;
}
