// Reading a replay script from a file or a pipe, as a stream within the script's limits
// (script_file_posix.cpp; on Windows script_file_win32.cpp reads files only).
#pragma once

#include <string>

#include "platform/common/script_parser.h"

// Reads and parses the script at `path`: a regular file, or a pipe or terminal (a FIFO,
// /dev/stdin). Opening never waits. Returns REPLAY_DONE; REPLAY_SCRIPT_ERROR with "LINE:
// what is wrong" in *error for a bad line or a script beyond its limits, and with "the
// script has no commands ..." for one without a command (an empty file, only comments, or
// a pipe that delivered nothing, whether its writer wrote nothing or there was none: the
// two cannot be told apart, so both give the one answer); REPLAY_SCRIPT_UNREADABLE with
// "cannot read PATH: reason" when it cannot be read as a script (missing, a folder, a
// device, a socket, a read error).
int read_script_file(const std::string& path, Script* script, std::string* error);
