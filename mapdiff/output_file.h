// Every new file that mapdiff writes (a patch, the stock table, a mod's manifest and installer
// settings) by one set of rules: a file at the final name is kept unless --force replaces it,
// and a folder is never written nor replaced; the bytes go to "<path>.partial" first, a
// ".partial" that a killed run left is cleaned, and the file is flushed and renamed into place
// only once it is whole and checked, so that nothing ever stands under a final name half
// written.
#pragma once

#include <functional>
#include <string>

// The refusal of whatever is at `path` already, which only --force (`force`) replaces; "" when
// nothing is there or `force`.
std::string refuse_existing(const std::string& path, bool force);

// "<path>.partial": the name a file is written under before it is renamed to `path`.
std::string partial_name(const std::string& path);

// partial_name(path), after deleting a file that a killed run of the same call left there, so that
// such leftovers never pile up; when that name stays taken (a folder, a file that cannot be
// deleted), the first free name of its series. No other name is ever deleted.
std::string claim_partial_name(const std::string& path);

// Makes a file where nothing is and writes `text` into it, flushed; on a failed write (a full
// disk) the file is deleted again. False when it cannot be made or written.
bool write_new_text_file(const std::string& path, const std::string& text);

// Copies `from` to a new file `to`, deleted again when the copy fails. Not the system's file
// copy: on Windows that would carry a read-only map's attribute over to the patch, which is then
// written in place. Each piece copied is also handed to `copied`, if given, in order.
bool copy_to_new_file(const std::string& from, const std::string& to,
                      const std::function<void(const unsigned char*, std::size_t)>& copied = {});

// Writes the file's bytes through to the disk. False when it cannot be opened or flushed.
bool flush_file(const std::string& path);

// Flushes the file written at `partial_file` and renames it to `path`, replacing a file there
// only when `replace`. On failure `partial_file` is left to the caller.
bool place_file(const std::string& partial_file, const std::string& path, bool replace);

// Writes `text` to `path` through claim_partial_name(path), replacing an existing file only when
// `replace`; false on failure, with nothing left behind.
bool write_file_in_place(const std::string& path, const std::string& text, bool replace);
