// Whole-file output that never leaves a half-written file behind: the data
// goes to PATH.tmp in the same folder, which is then renamed over PATH, so
// PATH is either untouched or complete.
#pragma once

#include <string>

// Writes `data` as the file `path`. False with "cannot write PATH: reason" in
// *error when any step fails; PATH.tmp is removed again then.
bool write_file_atomically(const std::string& path, const std::string& data, std::string* error);

// Whether the file could be written later: PATH.tmp is created and removed
// again. Lets a program refuse an unwritable output before it starts its
// work. False with the reason in *error, as above.
bool output_path_writable(const std::string& path, std::string* error);
