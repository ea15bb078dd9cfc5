#include "mapdiff/text_file.h"

#include "common/file_system.h"

bool write_new_text_file(const std::string& path, const std::string& text) {
    open_file file;
    if (!create_new_file(path, file)) return false;
    const bool written = write_at(file, 0, text.data(), text.size());
    close_file(file);
    if (!written) delete_file(path);
    return written;
}
