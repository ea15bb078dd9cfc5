#include "format/source_reference.h"

#include <algorithm>

void write_source_reference(const source_reference& reference, unsigned char* at) {
    store_u32_le(at, reference.source_offset);
    at = std::copy(reference.source_name.begin(), reference.source_name.end(), at + 4);
    at[0] = 0;
    at[1] = reference.in_patch_folder ? 1 : 0;
}
