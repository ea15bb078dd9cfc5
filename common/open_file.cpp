// Ownership of an open file; the platform files supply close_file.
#include "common/file_system.h"

open_file::open_file(open_file&& other) noexcept : native(other.native) { other.native = -1; }

open_file& open_file::operator=(open_file&& other) noexcept {
    if (this != &other) {
        close_file(*this);
        native = other.native;
        other.native = -1;
    }
    return *this;
}

open_file::~open_file() { close_file(*this); }
