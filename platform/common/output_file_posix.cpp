// Output files through an exclusive temporary, a sync and a rename (POSIX).
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/common/output_file.h"

namespace {

constexpr size_t PENDING_BYTES = 64 * 1024;  // gathered before one write to the system
constexpr int MAX_LINK_HOPS = 40;            // the kernel's own limit when it follows links
// NAME is cut to this in the temporary's name, which must stay within the 255 bytes a file
// name may have.
constexpr size_t MAX_STEM_BYTES = 100;
constexpr int RANDOM_LETTERS = 12;  // 62^12, about 2^71 names
constexpr int CREATE_ATTEMPTS = 100;
constexpr char LETTERS[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

struct Injection {
    bool armed;
    int error_number;
    int32_t skipped;  // runs left before the failure
};
Injection injections[size_t(OutputStep::COUNT)];

// True, with errno set, when a failure of `step` was injected: it happens once.
bool injected(OutputStep step) {
    Injection& injection = injections[size_t(step)];
    if (!injection.armed) return false;
    if (injection.skipped > 0) {
        --injection.skipped;
        return false;
    }
    injection.armed = false;
    errno = injection.error_number;
    return true;
}

std::string failure(const std::string& path, const std::string& reason) {
    return "cannot write " + (path.empty() ? "''" : path) + ": " + reason;
}

std::string folder_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return "";
    return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

std::string name_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool names_a_file(const std::string& name) {
    return !name.empty() && name != "." && name != "..";
}

// Folders are opened only to be walked through: without O_PATH (macOS, and the browser's
// file system, which takes it for a write) a folder must be readable as well as searchable.
#if defined(O_PATH) && !defined(__EMSCRIPTEN__)
constexpr int FOLDER_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FOLDER_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// The walk's own failure, besides errno values: a link refused by the rule below.
constexpr int FOREIGN_LINK = -1;
constexpr const char* FOREIGN_LINK_TEXT =
    "it is a link that another user placed in a shared folder";

std::string reason_of(int error_number) {
    return error_number == FOREIGN_LINK ? FOREIGN_LINK_TEXT : std::strerror(error_number);
}

// The kernel's rule for links in shared folders (fs.protected_symlinks), applied to every
// link followed here, whatever the machine's setting: in a sticky folder everyone may write,
// such as /tmp, only a link of the user's own or of the folder's owner is followed.
// Otherwise anyone could plant a link there to one of the user's files or folders and have
// the tool replace what it leads to.
bool link_may_be_followed(int folder, uid_t link_owner) {
    struct stat status;
    if (fstat(folder, &status) != 0) return false;
    const bool shared = (status.st_mode & S_ISVTX) != 0 && (status.st_mode & S_IWOTH) != 0;
    return !shared || link_owner == geteuid() || link_owner == status.st_uid;
}

// The text of the link `name` in `folder`, once the rule allows following it and the hops
// are within the kernel's limit. 0, or the failure (an errno value or FOREIGN_LINK).
int follow_link(int folder, const std::string& name, const struct stat& link, int* hops,
                std::string* text) {
    if (!link_may_be_followed(folder, link.st_uid)) return FOREIGN_LINK;
    if (++*hops > MAX_LINK_HOPS) return ELOOP;
    char buffer[PATH_MAX];
    const ssize_t length = readlinkat(folder, name.c_str(), buffer, sizeof buffer);
    if (length < 0) return errno;
    if (size_t(length) == sizeof buffer) return ENAMETOOLONG;
    if (length == 0) return ENOENT;
    text->assign(buffer, size_t(length));
    return 0;
}

// The folder `text` names, from `start` (an open folder, or AT_FDCWD) unless it begins with
// '/', walked one component at a time: no component is a link that the system follows on
// its own. Returns the folder opened, or -1 with the failure in *failure.
int walk_folder(int start, std::string_view text, int* hops, int* failure, bool create = false) {
    int current =
        text.substr(0, 1) == "/" ? open("/", FOLDER_FLAGS) : openat(start, ".", FOLDER_FLAGS);
    if (current < 0) {
        *failure = errno;
        return -1;
    }
    while (!text.empty()) {
        const size_t slash = text.find('/');
        const std::string part(text.substr(0, slash));
        text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        int next = openat(current, part.c_str(), FOLDER_FLAGS | O_NOFOLLOW);
        // A missing folder is made where asked for (another may make it meanwhile).
        if (next < 0 && errno == ENOENT && create &&
            (mkdirat(current, part.c_str(), 0777) == 0 || errno == EEXIST))
            next = openat(current, part.c_str(), FOLDER_FLAGS | O_NOFOLLOW);
        struct stat status;
        if (next >= 0 && fstat(next, &status) == 0 && S_ISDIR(status.st_mode)) {
            close(current);
            current = next;
            continue;
        }
        // Not a folder as it stands: a link to be followed by hand, or a failure.
        *failure = errno;
        if (next >= 0) close(next);
        std::string target;
        if (fstatat(current, part.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            *failure = errno;
        } else if (!S_ISLNK(status.st_mode)) {
            *failure = ENOTDIR;
        } else if (int followed = follow_link(current, part, status, hops, &target);
                   followed != 0) {
            *failure = followed;
        } else {
            next = walk_folder(current, target, hops, failure, create);
            close(current);
            if (next < 0) return -1;
            current = next;
            continue;
        }
        close(current);
        return -1;
    }
    return current;
}

enum class Kind {
    New,      // created through a temporary
    Replace,  // an existing regular file, replaced through a temporary
    Direct    // a device or pipe, written as it is
};

// Where a path leads: an open folder and a name in it.
struct Target {
    Kind kind = Kind::New;
    int folder = -1;
    std::string name;
    struct stat existing = {};    // the file there, unless new
    bool system_follows = false;  // Direct through one of the system's own links (below)
};

void close_target(Target* target) {
    if (target->folder >= 0) close(target->folder);
    target->folder = -1;
}

// What `path` names and how it is to be written; the reason it cannot be otherwise. On
// success target->folder is open and the caller closes it.
bool find_target(const std::string& path, Target* target, std::string* reason) {
    std::string name = name_of(path);
    if (!names_a_file(name)) {
        *reason = "no file name";
        return false;
    }
    int hops = 0;
    int failure = 0;
    int folder = walk_folder(AT_FDCWD, folder_of(path), &hops, &failure);
    if (folder < 0) {
        *reason = reason_of(failure);
        return false;
    }
    struct stat status;
    for (bool through_link = false;; through_link = true) {
        if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            const int error_number = errno;
            if (error_number == ENOENT && !through_link) {
                *target = Target{Kind::New, folder, name, {}, false};
                return true;
            }
            close(folder);
            *reason = error_number == ENOENT ? "it is a link to a missing file"
                                             : std::strerror(error_number);
            return false;
        }
        if (!S_ISLNK(status.st_mode)) break;
        std::string text;
        if (int followed = follow_link(folder, name, status, &hops, &text); followed != 0) {
            close(folder);
            *reason = reason_of(followed);
            return false;
        }
        const std::string next_name = name_of(text);
        int next =
            names_a_file(next_name) ? walk_folder(folder, folder_of(text), &hops, &failure) : -1;
        if (!names_a_file(next_name)) failure = EISDIR;
        struct stat next_status;
        if (next >= 0 && fstatat(next, next_name.c_str(), &next_status, AT_SYMLINK_NOFOLLOW) != 0)
            failure = errno;
        else if (next >= 0)
            failure = 0;
        if (failure == ENOENT) {
            // The text leads nowhere, yet the system may open something through the link:
            // its own links to a program's open files (/dev/stdout is /proc/self/fd/1, which
            // reads "pipe:[1234]" for a pipe). No one can plant those; a device or pipe is
            // written as the system opens it.
            struct stat opened;
            if (fstatat(folder, name.c_str(), &opened, 0) == 0 && !S_ISREG(opened.st_mode) &&
                !S_ISDIR(opened.st_mode) && !S_ISSOCK(opened.st_mode)) {
                if (next >= 0) close(next);
                *target = Target{Kind::Direct, folder, name, opened, true};
                return true;
            }
            // A missing file at the end of the link is reported at the next turn.
            if (next >= 0) failure = 0;
        }
        if (failure != 0) {
            if (next >= 0) close(next);
            close(folder);
            *reason = failure == ENOENT ? "it is a link to a missing file" : reason_of(failure);
            return false;
        }
        close(folder);
        folder = next;
        name = next_name;
    }
    if (S_ISDIR(status.st_mode) || S_ISSOCK(status.st_mode)) {
        close(folder);
        *reason = S_ISDIR(status.st_mode) ? "it is a folder" : "it is a socket";
        return false;
    }
    // A file the user may not write is not replaced either.
    if (faccessat(folder, name.c_str(), W_OK, 0) != 0) {
        *reason = std::strerror(errno);
        close(folder);
        return false;
    }
    *target =
        Target{S_ISREG(status.st_mode) ? Kind::Replace : Kind::Direct, folder, name, status, false};
    return true;
}

// A replacement keeps the permission bits of the file it replaces and, where the system
// allows it (as root, or for a group of the user's), its owner and group.
bool keep_permissions(int descriptor, const struct stat& existing) {
    if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
        // Failing here only leaves the user's own ownership.
        [[maybe_unused]] int ignored = fchown(descriptor, existing.st_uid, existing.st_gid);
    }
    return fchmod(descriptor, existing.st_mode & 0777) == 0;
}

// Creates the temporary beside the target: a new name each attempt, created only if nothing
// has that name, not even a link.
bool create_temporary(const Target& target, int* descriptor, std::string* temporary,
                      std::string* reason) {
    const std::string start = "." + target.name.substr(0, MAX_STEM_BYTES) + ".";
    // A new file gets what the umask leaves of read and write for all; a replacement is
    // private until it has the permissions of the file it replaces.
    const mode_t mode = target.kind == Kind::Replace ? 0600 : 0666;
    std::random_device random;
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        std::string name = start;
        for (int i = 0; i < RANDOM_LETTERS; ++i)
            name += LETTERS[random() % (sizeof LETTERS - 1)];
        name += ".tmp";
        const int opened = injected(OutputStep::Create)
                               ? -1
                               : openat(target.folder, name.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (opened < 0 && errno == EEXIST) continue;
        if (opened < 0) break;
        if (target.kind == Kind::Replace && !keep_permissions(opened, target.existing)) {
            const int error_number = errno;
            close(opened);
            unlinkat(target.folder, name.c_str(), 0);
            errno = error_number;
            break;
        }
        *descriptor = opened;
        *temporary = name;
        return true;
    }
    *reason = std::strerror(errno);
    return false;
}

// Opens the device or pipe a Direct target names. The name is opened without following a
// link (one put there since it was looked at is refused), unless it is one of the system's
// own links, and what was opened must still be neither a regular file nor a folder.
int open_direct(const Target& target, std::string* reason) {
    if (injected(OutputStep::Create)) {
        *reason = std::strerror(errno);
        return -1;
    }
    const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | (target.system_follows ? 0 : O_NOFOLLOW);
    const int descriptor = openat(target.folder, target.name.c_str(), flags);
    if (descriptor < 0) {
        *reason = std::strerror(errno);
        return -1;
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) {
        close(descriptor);
        *reason = "it changed while it was being opened";
        return -1;
    }
    return descriptor;
}

bool write_all(int descriptor, const char* data, size_t size) {
    while (size > 0) {
        if (injected(OutputStep::Write)) return false;
        const ssize_t written = write(descriptor, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Hands `data` after the pending bytes to the system.
void flush(OutputFile* file, std::string_view data) {
    if (!file->error.empty()) return;
    if (!write_all(file->descriptor, file->pending.data(), file->pending.size()) ||
        !write_all(file->descriptor, data.data(), data.size()))
        file->error = failure(file->path, std::strerror(errno));
    file->pending.clear();
}

// The folder's entry of the renamed file reaches the disk. Some file systems cannot sync a
// folder (EINVAL); there is nothing more to do then.
bool sync_folder(int folder) {
    if (injected(OutputStep::SyncFolder)) return false;
    const int descriptor = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool synced = fsync(descriptor) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error_number = errno;
    close(descriptor);
    errno = error_number;
    return synced;
}

// Puts the written temporary in place under `name` unless anything has that name. A hard link
// does it in one step, the temporary staying until the set is closed; *moved tells that it was
// renamed instead. Failed with errno set.
Placing place_one(int folder, const std::string& temporary, const std::string& name, bool* moved) {
    *moved = false;
#ifndef __EMSCRIPTEN__
    if (!injected(OutputStep::Rename) &&
        linkat(folder, temporary.c_str(), folder, name.c_str(), 0) == 0)
        return Placing::Done;
    if (errno == EEXIST) return Placing::Taken;
    // Any failure but a file system without hard links (FAT, some network shares) is final.
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP && errno != ENOSYS &&
        errno != EMLINK)
        return Placing::Failed;
#endif
    // Without hard links (also the browser's in-memory files): the name is taken first by an
    // empty file made exclusively, and only that file is replaced by the rename.
    const int placeholder =
        openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (placeholder < 0) return errno == EEXIST ? Placing::Taken : Placing::Failed;
    close(placeholder);
    if (injected(OutputStep::Rename) ||
        renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
        const int error_number = errno;
        unlinkat(folder, name.c_str(), 0);
        errno = error_number;
        return Placing::Failed;
    }
    *moved = true;
    return Placing::Done;
}

// Takes a placed file back: a renamed temporary goes back to its name, a linked one loses its
// new name, if that name is still the temporary's file.
void take_back(int folder, const OutputSetFile& file, const std::string& name, bool moved) {
    if (moved) {
        renameat(folder, name.c_str(), folder, file.temporary.c_str());
        return;
    }
    struct stat status;
    if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        uint64_t(status.st_ino) == file.inode)
        unlinkat(folder, name.c_str(), 0);
}

}  // namespace

bool create_output_folder(const std::string& path, std::string* error) {
    int hops = 0;
    int failure = 0;
    const int folder = walk_folder(AT_FDCWD, path, &hops, &failure, true);
    if (folder < 0) {
        *error = "cannot create " + (path.empty() ? "''" : path) + ": " + reason_of(failure);
        return false;
    }
    close(folder);
    return true;
}

bool check_output_path(const std::string& path, std::string* error) {
    Target target;
    std::string reason;
    if (!find_target(path, &target, &reason)) {
        *error = failure(path, reason);
        return false;
    }
    bool writable = true;  // a pipe is not opened before its time
    if (target.kind != Kind::Direct) {
        int descriptor = -1;
        std::string temporary;
        writable = create_temporary(target, &descriptor, &temporary, &reason);
        if (writable) {
            close(descriptor);
            unlinkat(target.folder, temporary.c_str(), 0);
        }
    }
    close_target(&target);
    if (!writable) *error = failure(path, reason);
    return writable;
}

bool open_output(const std::string& path, OutputFile* file, std::string* error) {
    *file = OutputFile{};
    file->path = path;
    Target target;
    std::string reason;
    bool opened = find_target(path, &target, &reason);
    if (opened && target.kind == Kind::Direct) {
        file->descriptor = open_direct(target, &reason);
        opened = file->descriptor >= 0;
    } else if (opened) {
        opened = create_temporary(target, &file->descriptor, &file->temporary, &reason);
    }
    if (!opened) {
        close_target(&target);
        *error = failure(path, reason);
        *file = OutputFile{};
        return false;
    }
    file->folder = target.folder;
    file->name = target.name;
    return true;
}

void write_output(OutputFile* file, std::string_view data) {
    if (file->descriptor < 0 || !file->error.empty()) return;
    if (file->pending.size() + data.size() < PENDING_BYTES) {
        file->pending.append(data);
        return;
    }
    flush(file, data);
}

bool commit_output(OutputFile* file, std::string* error) {
    if (file->descriptor < 0 && file->error.empty())
        file->error = failure(file->path, "the file is not open");
    if (file->descriptor >= 0) {
        flush(file, {});
        // Regular files are synced before they replace anything; devices and pipes are not.
        if (file->error.empty() && !file->temporary.empty() &&
            (injected(OutputStep::Sync) || fsync(file->descriptor) != 0))
            file->error = failure(file->path, std::strerror(errno));
        bool closed = close(file->descriptor) == 0;
        if (injected(OutputStep::Close)) closed = false;
        file->descriptor = -1;
        if (!closed && file->error.empty()) file->error = failure(file->path, std::strerror(errno));
    }
    if (file->error.empty() && !file->temporary.empty()) {
        if (injected(OutputStep::Rename) || renameat(file->folder, file->temporary.c_str(),
                                                     file->folder, file->name.c_str()) != 0) {
            file->error = failure(file->path, std::strerror(errno));
        } else {
            file->temporary.clear();
            if (!sync_folder(file->folder))
                file->error = failure(file->path, std::string(std::strerror(errno)) +
                                                      " (while syncing its folder; the file "
                                                      "is written)");
        }
    }
    const bool committed = file->error.empty();
    if (!committed) *error = file->error;
    discard_output(file);
    return committed;
}

void discard_output(OutputFile* file) {
    if (file->descriptor >= 0) close(file->descriptor);
    if (!file->temporary.empty()) unlinkat(file->folder, file->temporary.c_str(), 0);
    if (file->folder >= 0) close(file->folder);
    *file = OutputFile{};
}

bool write_output_file(const std::string& path, std::string_view data, std::string* error) {
    OutputFile file;
    if (!open_output(path, &file, error)) return false;
    write_output(&file, data);
    return commit_output(&file, error);
}

std::string output_path_in(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder == ".") return name;
    return folder + (folder.back() == '/' ? "" : "/") + name;
}

bool open_output_set(const std::string& folder, OutputSet* set, std::string* error) {
    *set = OutputSet{};
    set->folder_path = folder.empty() ? "." : folder;
    int hops = 0;
    int failure = 0;
    set->folder = walk_folder(AT_FDCWD, set->folder_path, &hops, &failure, true);
    if (set->folder < 0) {
        *error = "cannot create " + set->folder_path + ": " + reason_of(failure);
        *set = OutputSet{};
        return false;
    }
    return true;
}

bool add_output(OutputSet* set, const std::string& name, std::string_view data,
                std::string* error) {
    OutputSetFile file;
    file.path = output_path_in(set->folder_path, name);
    if (!names_a_file(name) || name.find('/') != std::string::npos) {
        *error = failure(file.path, "no file name");
        return false;
    }
    int descriptor = -1;
    std::string reason;
    if (!create_temporary(Target{Kind::New, set->folder, name, {}, false}, &descriptor,
                          &file.temporary, &reason)) {
        *error = failure(file.path, reason);
        return false;
    }
    struct stat status;
    bool written = write_all(descriptor, data.data(), data.size()) && !injected(OutputStep::Sync) &&
                   fsync(descriptor) == 0 && fstat(descriptor, &status) == 0;
    int error_number = errno;
    if (close(descriptor) != 0 || injected(OutputStep::Close)) {
        if (written) error_number = errno;
        written = false;
    }
    if (!written) {
        unlinkat(set->folder, file.temporary.c_str(), 0);
        *error = failure(file.path, std::strerror(error_number));
        return false;
    }
    file.inode = uint64_t(status.st_ino);
    set->files.push_back(file);
    return true;
}

bool output_name_taken(const OutputSet& set, const std::string& name) {
    struct stat status;
    return fstatat(set.folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

Placing claim_output_name(const OutputSet& set, const std::string& name, std::string* error) {
    const int descriptor = injected(OutputStep::Create)
                               ? -1
                               : openat(set.folder, name.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
        close(descriptor);
        return Placing::Done;
    }
    if (errno == EEXIST) return Placing::Taken;
    *error = failure(output_path_in(set.folder_path, name), std::strerror(errno));
    return Placing::Failed;
}

void release_output_name(const OutputSet& set, const std::string& name) {
    unlinkat(set.folder, name.c_str(), 0);
}

Placing place_outputs(OutputSet* set, const std::vector<std::string>& names, std::string* error) {
    if (names.size() != set->files.size()) {
        *error = failure(set->folder_path, "a name for each file was not given");
        return Placing::Failed;
    }
    std::vector<bool> moved(set->files.size(), false);
    size_t placed = 0;
    Placing placing = Placing::Done;
    for (; placed < set->files.size(); ++placed) {
        bool renamed = false;
        placing = place_one(set->folder, set->files[placed].temporary, names[placed], &renamed);
        moved[placed] = renamed;
        if (placing != Placing::Done) {
            *error =
                failure(output_path_in(set->folder_path, names[placed]),
                        placing == Placing::Taken ? "it is there already" : std::strerror(errno));
            break;
        }
    }
    if (placing == Placing::Done && !sync_folder(set->folder)) {
        placing = Placing::Failed;
        *error = failure(set->folder_path,
                         std::string(std::strerror(errno)) + " (while syncing the folder)");
    }
    if (placing != Placing::Done) {
        while (placed > 0) {
            --placed;
            take_back(set->folder, set->files[placed], names[placed], moved[placed]);
        }
        return placing;
    }
    // Moved temporaries are gone; linked ones are removed with the set.
    for (size_t i = 0; i < set->files.size(); ++i)
        if (moved[i]) set->files[i].temporary.clear();
    return Placing::Done;
}

void close_output_set(OutputSet* set) {
    for (const OutputSetFile& file : set->files)
        if (!file.temporary.empty()) unlinkat(set->folder, file.temporary.c_str(), 0);
    if (set->folder >= 0) close(set->folder);
    *set = OutputSet{};
}

namespace {

// Whether the regular file a target names is the one `descriptor` has open.
bool is_open_as(const Target& target, int descriptor) {
    struct stat status;
    return target.kind == Kind::Replace && fstat(descriptor, &status) == 0 &&
           status.st_dev == target.existing.st_dev && status.st_ino == target.existing.st_ino;
}

bool write_all_at_start(int descriptor, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        if (injected(OutputStep::Write)) return false;
        const ssize_t written =
            pwrite(descriptor, data.data() + done, data.size() - done, off_t(done));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        done += size_t(written);
    }
    return true;
}

}  // namespace

bool open_recording_output(const std::string& path, RecordingOutput* output, std::string* error) {
    *output = RecordingOutput{path, -1};
    Target target;
    std::string reason;
    if (!find_target(path, &target, &reason)) {
        *error = failure(path, reason);
        return false;
    }
    if (target.kind == Kind::Direct) {
        reason =
            "it is a device or a pipe; a recording is written again and again, whole, so "
            "it needs a regular file";
    } else if (is_open_as(target, STDERR_FILENO)) {
        reason = "it is standard error's file, where the program's own messages go";
    } else if (is_open_as(target, STDOUT_FILENO)) {
        // Opened once, without following a link put there since the walk, and checked to be
        // standard output's file still.
        const int descriptor = openat(target.folder, target.name.c_str(),
                                      O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        struct stat opened;
        if (descriptor < 0) {
            reason = std::strerror(errno);
        } else if (fstat(descriptor, &opened) != 0 || opened.st_dev != target.existing.st_dev ||
                   opened.st_ino != target.existing.st_ino) {
            close(descriptor);
            reason = "it changed while it was being opened";
        } else {
            output->descriptor = descriptor;
        }
    }
    close_target(&target);
    if (!reason.empty()) {
        *error = failure(path, reason);
        return false;
    }
    return output->descriptor >= 0 || check_output_path(path, error);
}

bool write_recording_output(RecordingOutput* output, std::string_view data, std::string* error) {
    if (output->descriptor < 0) return write_output_file(output->path, data, error);
    // In place: a crash while it is written can leave the new script's start over the old
    // one's end, only where the two differ (the last line or so, as the script grows).
    if (!write_all_at_start(output->descriptor, data) ||
        ftruncate(output->descriptor, off_t(data.size())) != 0 ||
        (injected(OutputStep::Sync) || fsync(output->descriptor) != 0)) {
        *error = failure(output->path, std::strerror(errno));
        return false;
    }
    return true;
}

bool recording_is_standard_output(const RecordingOutput& output) {
    return output.descriptor >= 0;
}

void close_recording_output(RecordingOutput* output) {
    if (output->descriptor >= 0) close(output->descriptor);
    output->descriptor = -1;
}

bool output_exists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 || errno != ENOENT;
}

FileIdentity output_identity(const std::string& path) {
    Target target;
    std::string reason;
    FileIdentity identity;
    if (!find_target(path, &target, &reason)) return identity;
    struct stat folder;
    if (target.kind != Kind::New) {
        identity = FileIdentity{true,
                                true,
                                target.kind == Kind::Replace,
                                uint64_t(target.existing.st_dev),
                                uint64_t(target.existing.st_ino),
                                ""};
    } else if (fstat(target.folder, &folder) == 0) {
        identity = FileIdentity{
            true, false, true, uint64_t(folder.st_dev), uint64_t(folder.st_ino), target.name};
    }
    close_target(&target);
    return identity;
}

FileIdentity input_identity(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return FileIdentity{};
    return FileIdentity{
        true, true, S_ISREG(status.st_mode), uint64_t(status.st_dev), uint64_t(status.st_ino), ""};
}

bool same_file(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.existing == b.existing && a.device == b.device &&
           a.inode == b.inode && a.name == b.name;
}

bool outputs_apart(const std::vector<NamedPath>& paths, std::string* error) {
    std::vector<FileIdentity> identities;
    for (const NamedPath& named : paths)
        identities.push_back(named.output ? output_identity(named.path)
                                          : input_identity(named.path));
    for (size_t i = 0; i < paths.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            const NamedPath& a = paths[j];
            const NamedPath& b = paths[i];
            if (!(a.output || b.output) || !same_file(identities[i], identities[j])) continue;
            if (!identities[i].replaced) continue;  // a device or pipe, written to
            if (a.output && b.output) {
                *error = a.role + " " + a.path + " and " + b.role + " " + b.path +
                         " name one file: one would replace the other";
            } else {
                const NamedPath& output = a.output ? a : b;
                const NamedPath& input = a.output ? b : a;
                *error = output.role + " " + output.path + " names " + input.role + " " +
                         input.path + ", which it would replace";
            }
            return false;
        }
    }
    return true;
}

void fail_output_step(OutputStep step, int error_number, int32_t skipped) {
    injections[size_t(step)] = Injection{true, error_number, skipped};
}
