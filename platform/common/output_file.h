// The one writer of every file the tools write: screenshots, exports, statistics, recordings.
//
// A new file, or a regular file that is replaced, is written to a temporary in the same
// folder (".NAME.XXXXXXXXXXXX.tmp", created exclusively under a random name, never through a
// link), flushed and synced, renamed over NAME, and the folder is synced: NAME is either as
// it was or complete. A new file gets the permissions the user's umask gives; a replaced
// file keeps its permission bits (and its owner and group where the system allows). A NAME
// that is a symbolic link stays one: the file it points to is replaced. A NAME that is a
// device or a pipe (/dev/stdout, /dev/null, a FIFO) is written directly and never replaced.
// A folder, a socket, a link to nothing and a regular file the user may not write are
// refused.
//
// Every failure is reported as "cannot write PATH: reason"; the temporary is removed then, so
// NAME is left byte for byte as it was. The one exception is a failure to sync the folder
// after the rename: NAME is then already complete, and the failure is still reported.
//
// POSIX only (the tools, the SDL program and the browser's in-memory files); the Windows
// program writes no files and does not build it.
#pragma once

#include <string>
#include <string_view>

// An output file being written piece by piece: open_output, write_output as often as
// needed, then commit_output, or discard_output to give up. Exactly one of the two ends
// every successful open_output, also after a failed write.
struct OutputFile {
    std::string path;       // as given, for messages
    std::string target;     // the file written or replaced, links resolved
    std::string temporary;  // empty when the target is written directly
    int descriptor = -1;
    std::string pending;  // written data not yet handed to the system
    std::string error;    // the first failure, "cannot write PATH: reason"
};

// Whether `path` could be written: everything open_output checks, the temporary created and
// removed again; a device or pipe is not opened. Lets a program refuse an output before it
// starts its work. False with the error in *error.
bool check_output_path(const std::string& path, std::string* error);

// Creates the temporary (or opens the device or pipe). False with the error in *error; the
// file then needs no discard_output.
bool open_output(const std::string& path, OutputFile* file, std::string* error);
// Appends data. A failure is kept in file->error and makes the later writes and the commit
// fail; the data is buffered, so a failure may show only at a later write or the commit.
void write_output(OutputFile* file, std::string_view data);
// Finishes the file: the temporary, synced, replaces the target. False with the first
// failure in *error, the temporary removed.
bool commit_output(OutputFile* file, std::string* error);
// Gives the file up: the temporary is removed, the target stays as it was.
void discard_output(OutputFile* file);

// The whole file at once: open, write, commit.
bool write_output_file(const std::string& path, std::string_view data, std::string* error);

// Failure injection for tests: the next time `step` runs, in any output file, it fails with
// errno `error_number`. One failure per step; a later call replaces an armed one.
enum class OutputStep { Create, Write, Sync, Close, Rename, SyncFolder, COUNT };
void fail_output_step(OutputStep step, int error_number);
