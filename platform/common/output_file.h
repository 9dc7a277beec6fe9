// The one writer of every file the tools write: screenshots, exports, statistics, recordings.
//
// A path is walked one component at a time from an opened folder (openat), never handed to
// the system whole: every symbolic link on the way is read and followed here, so the rule
// for links in shared folders below holds for each of them, and the folder finally reached
// stays open until the file is in place, so that nothing renamed or planted meanwhile can
// send the write elsewhere.
//
// A new file, or a regular file that is replaced, is written to a temporary in that folder
// (".NAME.XXXXXXXXXXXX.tmp", created exclusively under a random name, never through a link),
// flushed and synced, renamed over NAME, and the folder is synced: NAME is either as it was
// or complete. A new file gets the permissions the user's umask gives; a replaced file keeps
// its permission bits (and its owner and group where the system allows). A NAME that is a
// symbolic link stays one: the file it points to is replaced. A NAME that is a device or a
// pipe (/dev/stdout, /dev/null, a FIFO) is written directly and never replaced. A folder, a
// socket, a link to nothing and a regular file the user may not write are refused.
//
// Links in shared folders: a link that sits in a sticky folder everyone may write (/tmp) is
// followed only when it belongs to the user or to the folder's owner, whichever component of
// the path it is (the kernel's protected_symlinks rule, applied whatever the machine's own
// setting). Anyone may plant a link there, and it must not lead a tool to replace a file of
// the user's.
//
// Every failure is reported as "cannot write PATH: reason"; the temporary is removed then, so
// NAME is left byte for byte as it was. The one exception is a failure to sync the folder
// after the rename: NAME is then already complete, and the failure is still reported.
//
// New files put side by side without replacing anything (an OutputSet: the files of one save)
// are each written whole to a temporary in their folder, synced and closed, before any is
// placed; then each temporary is placed under its name only if nothing has that name, not even
// a link to nothing: a hard link, the temporary then removed (where the file system has no
// hard links, and in the browser's in-memory files, an empty file made exclusively under the
// name and the temporary renamed over it). Programs placing into one folder at once therefore
// never replace each other's files. A name found taken, or any failure, takes back what the
// set had placed: all its names or none.
//
// The tools, the SDL program and the browser's in-memory files use the POSIX form
// (output_file_posix.cpp). The Windows program's saves use a Windows form
// (output_file_win32.cpp) of open_output, write_output, commit_output, discard_output,
// write_output_file, output_exists, create_output_folder, output_path_in and the OutputSet
// functions: the temporary is made in the target's folder and flushed; open_output's moves it
// over NAME with MoveFileExA(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), an
// OutputSet's with MOVEFILE_WRITE_THROUGH alone, which fails when NAME exists; a folder, a
// device and a read-only file are refused. The rest of this header is POSIX only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An output file being written piece by piece: open_output, write_output as often as
// needed, then commit_output, or discard_output to give up. Exactly one of the two ends
// every successful open_output, also after a failed write.
struct OutputFile {
    std::string path;       // as given, for messages
    int folder = -1;        // the folder the file goes into, links resolved
    std::string name;       // the file's name in that folder
    std::string temporary;  // the temporary's name in the folder; empty when written directly
    int descriptor = -1;
    std::string pending;  // written data not yet handed to the system
    std::string error;    // the first failure, "cannot write PATH: reason"
};

// Whether `path` could be written: everything open_output checks, the temporary created and
// removed again; a device or pipe is not opened. Lets a program refuse an output before it
// starts its work. False with the error in *error.
bool check_output_path(const std::string& path, std::string* error);

// Makes the folder `path` and every missing folder on the way (with the permissions the
// umask leaves), walked as an output's path is: no link that the rule above refuses is
// followed, so nothing is made through one. False with "cannot create PATH: reason".
bool create_output_folder(const std::string& path, std::string* error);

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

// The path of `name` in `folder`: the name alone in "." or "", else joined with the system's
// separator ('/'; on Windows '\\', and the folder's own '/' become '\\' too, so that a path
// the program shows has one kind).
std::string output_path_in(const std::string& folder, const std::string& name);

// New files placed together into one folder, none replacing anything (see the top).
struct OutputSetFile {
    std::string path;       // the name it was added under, in the folder, for messages
    std::string temporary;  // its written temporary in the folder (on Windows, its path)
    uint64_t inode = 0;     // POSIX: the temporary's, so that only what the set placed is
                            // removed again
};
struct OutputSet {
    std::string folder_path;  // as given
    int folder = -1;          // POSIX: the folder, open while the set is
    std::vector<OutputSetFile> files;
};
enum class Placing { Done, Taken, Failed };

// Opens the folder, walked as an output's path is, and makes it (and every missing folder on
// the way) when missing. False with the reason in *error; the set then needs no close.
bool open_output_set(const std::string& folder, OutputSet* set, std::string* error);
// Writes a file of the set to its temporary: whole, synced and closed. `name` is the name it
// is meant for, for its temporary and the messages. False with "cannot write PATH: reason",
// the temporary removed.
bool add_output(OutputSet* set, const std::string& name, std::string_view data, std::string* error);
// Whether anything has `name` in the set's folder (a file, a folder, a link, even one to
// nothing); a name that cannot be looked at for another reason counts as taken.
bool output_name_taken(const OutputSet& set, const std::string& name);
// Makes `name` an empty file in the folder unless anything has that name: an exclusive claim,
// which no other program making the same claim can also get. Taken, or Failed with the reason.
Placing claim_output_name(const OutputSet& set, const std::string& name, std::string* error);
// Removes a name the set claimed.
void release_output_name(const OutputSet& set, const std::string& name);
// Places file i under names[i] in the folder, each only where nothing has that name, then syncs
// the folder. Done: every file is in place. Taken (a name was there) and Failed (with the
// reason) place nothing: what was placed is taken back and the temporaries stay, for another
// set of names.
Placing place_outputs(OutputSet* set, const std::vector<std::string>& names, std::string* error);
// Removes the temporaries still there and closes the folder.
void close_output_set(OutputSet* set);

// A recording: a file written again and again, whole each time, as a session goes on
// (`sketch3d --record`). Only a regular file or a new file in a writable folder can hold it:
// a device or a pipe is refused (a FIFO with no reader would block the first write for
// ever, and a reader would get the script over and over), and so is the file standard error
// writes to, where the program's own messages go. The file standard output writes to
// (`--record /dev/stdout > FILE`) is opened once and written in place: the whole script from
// its start, then cut to its length, then synced. Replacing it by a rename would leave
// standard output on the old, deleted file. Any other file is replaced through the writer.
struct RecordingOutput {
    std::string path;
    int descriptor = -1;  // standard output's file, written in place; -1: through the writer
};
// Checks `path` as a recording and, for standard output's file, opens it; opens nothing that
// could block. False with "cannot write PATH: reason".
bool open_recording_output(const std::string& path, RecordingOutput* output, std::string* error);
// Writes the whole script. False with "cannot write PATH: reason".
bool write_recording_output(RecordingOutput* output, std::string_view data, std::string* error);
// True when the recording is standard output's file: the program's own lines then go to
// standard error, so that they do not land inside the script.
bool recording_is_standard_output(const RecordingOutput& output);
void close_recording_output(RecordingOutput* output);

// Whether anything is at `path` (a file, a folder, a link, even one to nothing); a path that
// cannot be looked at for another reason than its absence counts as taken too.
bool output_exists(const std::string& path);

// Which file a path names, whatever its spelling: "./s.txt", "dir/../s.txt", a link to it
// and a hard link are one file. An existing file is its device and inode; a file not yet
// there is the device and inode of the folder it would be made in, and its name there.
struct FileIdentity {
    bool known = false;     // false: the path does not lead to a file or a place for one
    bool existing = false;  // false: a file the write would create
    bool replaced = false;  // a regular or new file, which a write replaces; false for a
                            // device or pipe, which a write only adds to
    uint64_t device = 0;
    uint64_t inode = 0;
    std::string name;  // for a new file, its name in the folder
};
// An output's identity, through the walk the writer makes.
FileIdentity output_identity(const std::string& path);
// An input's identity: the file that opening `path` for reading gets.
FileIdentity input_identity(const std::string& path);
bool same_file(const FileIdentity& a, const FileIdentity& b);

// A path a program reads or writes, with how its user gave it ("--obj", "the script").
struct NamedPath {
    std::string role;
    std::string path;
    bool output;
};
// Whether every output is a file of its own: none the same file as an input (it would
// replace it) or as another output (one would replace the other). Devices and pipes, which
// are written to and not replaced, may be named more than once. False with a sentence naming
// both in *error. Paths that do not resolve are passed over: writing them fails on its own.
bool outputs_apart(const std::vector<NamedPath>& paths, std::string* error);

// Failure injection for tests: `step` runs `skipped` more times as usual, then fails once with
// errno `error_number`, in any output file or set. One failure per step; a later call replaces
// an armed one. Create also covers a set's temporaries and claims, Rename the placing of a
// set's file.
enum class OutputStep { Create, Write, Sync, Close, Rename, SyncFolder, COUNT };
void fail_output_step(OutputStep step, int error_number, int32_t skipped = 0);
