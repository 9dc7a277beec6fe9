// Reading a replay script from a file or a pipe, as a stream within the script's limits.
#pragma once

#include <string>
#include <vector>

#include "platform/headless/replay_script.h"

// Reads and parses the script at `path`: a regular file, or a pipe or terminal (a FIFO,
// /dev/stdin) that has a writer when it is opened. Opening never waits: a pipe without a
// writer is refused instead of waited for. Returns 0; 1 with "LINE: what is wrong" in *error
// for a bad line or a script beyond its limits; 4 with "cannot read PATH: reason" when it
// cannot be read as a script (missing, a folder, a device, a socket, a pipe without a
// writer, a read error).
inline constexpr int SCRIPT_UNREADABLE = 4;
int read_script_file(const std::string& path, std::vector<ScriptCommand>* commands,
                     std::string* error);
