// What memory files over the disk ask the disk, so that they name and make files as the disk
// would: which folder a path lies in, however it is spelled; how names are compared; links;
// and whether a new entry may be made. Nothing here changes the disk.
#pragma once

#include <string>

// A text that names the folder itself, the same for every spelling of its path (another case
// where names are compared without it, "..", a link to it); "" when it cannot be told.
std::string folder_identity(const std::string& folder);

// A file name as the file system compares it: unchanged where names are case-sensitive.
std::string name_as_compared(const std::string& name);

// The text of the link at the path, as written in it (it may name nothing); false for any
// other entry, or where links are not followed here.
bool read_link(const std::string& path, std::string& target);

// True when an entry of any kind is at the path, a link that leads nowhere included.
bool entry_exists(const std::string& path);

// True when the user may add an entry at the path to its folder, and the name and the path are
// short enough for the file calls.
bool may_add_entry(const std::string& path);

// True when the user may delete the entry at the path: a folder that may be written, where it
// is sticky one's own entry (or folder), and on Windows an entry that is not read-only.
bool may_remove_entry(const std::string& path);
