#include "digest/file_md5.h"

#include <cstdint>
#include <memory>

#include "digest/md5.h"

std::string file_md5(const std::string& path) { return file_md5(the_disk, path); }

std::string file_md5(const storage& where, const std::string& path) {
    stored_file file;
    if (!open_stored_file(where, path, open_mode::read, file)) return {};
    // Left uninitialised: only bytes a read delivered are ever fed.
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[file_md5_buffer_size]);
    md5_context context;
    md5_init(context);
    std::uint64_t offset = 0;
    for (;;) {
        const std::size_t got = read_at(file, offset, buffer.get(), file_md5_buffer_size);
        md5_update(context, buffer.get(), static_cast<std::uint32_t>(got));
        // A short read is the end of the file or an error; both end the digest here.
        if (got < file_md5_buffer_size) break;
        offset += got;
    }
    md5_final(context);
    return md5_digest_text(context.digest);
}
