// The floor a rebuild is measured against, done with mapmend's own file layer, so that the
// Windows build under Wine has a floor of its own beside cp and cat: copy each patch file as
// a rebuild does (copy_new_file, which is CopyFileA on Windows) and read every source byte a
// rebuild reads once, through a buffer of a rebuild window's size.
//
// usage: copy_and_read [--copy <from> <to>]... [--read <file> <bytes>]...
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/file_system.h"
#include "format/rebuild.h"

int main(int argc, char** argv) {
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[rebuild_window_size]);
    for (int i = 1; i < argc; i += 3) {
        const std::string what = argv[i];
        if (i + 2 >= argc || (what != "--copy" && what != "--read")) {
            std::fprintf(stderr, "usage: copy_and_read [--copy <from> <to>]... [--read <file> <bytes>]...\n");
            return 2;
        }
        if (what == "--copy") {
            if (!copy_new_file(argv[i + 1], argv[i + 2])) {
                std::fprintf(stderr, "copy_and_read: cannot copy %s to %s\n", argv[i + 1], argv[i + 2]);
                return 1;
            }
            continue;
        }
        open_file file;
        const std::uint64_t bytes = std::strtoull(argv[i + 2], nullptr, 10);
        if (!open_existing(argv[i + 1], open_mode::read, file)) {
            std::fprintf(stderr, "copy_and_read: cannot open %s\n", argv[i + 1]);
            return 1;
        }
        for (std::uint64_t at = 0; at < bytes;) {
            const std::size_t piece = static_cast<std::size_t>(
                bytes - at < rebuild_window_size ? bytes - at : std::uint64_t{rebuild_window_size});
            if (read_at(file, at, buffer.get(), piece) != piece) {
                std::fprintf(stderr, "copy_and_read: %s is shorter than %s bytes\n", argv[i + 1], argv[i + 2]);
                return 1;
            }
            at += piece;
        }
    }
    return 0;
}
