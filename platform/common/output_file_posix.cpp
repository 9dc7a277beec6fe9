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
};
Injection injections[size_t(OutputStep::COUNT)];

// True, with errno set, when a failure of `step` was injected: it happens once.
bool injected(OutputStep step) {
    Injection& injection = injections[size_t(step)];
    if (!injection.armed) return false;
    injection.armed = false;
    errno = injection.error_number;
    return true;
}

std::string failure(const std::string& path, const std::string& reason) {
    return "cannot write " + (path.empty() ? "''" : path) + ": " + reason;
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

enum class Kind {
    New,      // created through a temporary
    Replace,  // an existing regular file, replaced through a temporary
    Direct    // a device or pipe, written as it is
};

struct Target {
    Kind kind = Kind::New;
    std::string path;           // links resolved for Replace
    struct stat existing = {};  // the file replaced
};

// The kernel's rule for links in shared folders (fs.protected_symlinks), applied to the links
// followed here by hand: in a sticky folder everyone may write, such as /tmp, only a link of
// the user's own or of the folder's owner is followed. Otherwise anyone could plant a link
// there to one of the user's files and have the tool replace it.
bool link_may_be_followed(const std::string& link, const struct stat& link_status) {
    struct stat folder;
    if (stat(folder_of(link).c_str(), &folder) != 0) return false;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || link_status.st_uid == geteuid() || link_status.st_uid == folder.st_uid;
}

// The file at the end of the links from `path`; a relative link is read from the link's
// folder.
bool resolve_links(const std::string& path, std::string* resolved, std::string* reason) {
    std::string current = path;
    for (int hops = 0;; ++hops) {
        struct stat status;
        if (lstat(current.c_str(), &status) != 0) {
            *reason = std::strerror(errno);
            return false;
        }
        if (!S_ISLNK(status.st_mode)) {
            *resolved = current;
            return true;
        }
        if (hops == MAX_LINK_HOPS) {
            *reason = std::strerror(ELOOP);
            return false;
        }
        if (!link_may_be_followed(current, status)) {
            *reason = "it is a link that another user placed in a shared folder";
            return false;
        }
        char text[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), text, sizeof text);
        if (length < 0 || size_t(length) == sizeof text) {
            *reason = std::strerror(length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        const std::string link(text, size_t(length));
        current = link[0] == '/' ? link : folder_of(current) + "/" + link;
    }
}

// What `path` names and how it is to be written; the reason it cannot be otherwise.
bool find_target(const std::string& path, Target* target, std::string* reason) {
    const std::string name = name_of(path);
    if (name.empty() || name == "." || name == "..") {
        *reason = "no file name";
        return false;
    }
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        const int error_number = errno;
        struct stat link;
        if (error_number == ENOENT && lstat(path.c_str(), &link) == 0) {
            *reason = "it is a link to a missing file";
            return false;
        }
        if (error_number != ENOENT) {
            *reason = std::strerror(error_number);
            return false;
        }
        *target = Target{Kind::New, path, {}};
        return true;
    }
    if (S_ISDIR(status.st_mode)) {
        *reason = "it is a folder";
        return false;
    }
    if (S_ISSOCK(status.st_mode)) {
        *reason = "it is a socket";
        return false;
    }
    // A file the user may not write is not replaced either.
    if (access(path.c_str(), W_OK) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *target = Target{Kind::Direct, path, {}};
        return true;
    }
    *target = Target{Kind::Replace, "", status};
    return resolve_links(path, &target->path, reason);
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
    const std::string start =
        folder_of(target.path) + "/." + name_of(target.path).substr(0, MAX_STEM_BYTES) + ".";
    // A new file gets what the umask leaves of read and write for all; a replacement is
    // private until it has the permissions of the file it replaces.
    const mode_t mode = target.kind == Kind::Replace ? 0600 : 0666;
    std::random_device random;
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        std::string name = start;
        for (int i = 0; i < RANDOM_LETTERS; ++i)
            name += LETTERS[random() % (sizeof LETTERS - 1)];
        name += ".tmp";
        const int opened =
            injected(OutputStep::Create)
                ? -1
                : open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (opened < 0 && errno == EEXIST) continue;
        if (opened < 0) break;
        if (target.kind == Kind::Replace && !keep_permissions(opened, target.existing)) {
            const int error_number = errno;
            close(opened);
            unlink(name.c_str());
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
bool sync_folder(const std::string& folder) {
    if (injected(OutputStep::SyncFolder)) return false;
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool synced = fsync(descriptor) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int error_number = errno;
    close(descriptor);
    errno = error_number;
    return synced;
}

}  // namespace

bool check_output_path(const std::string& path, std::string* error) {
    Target target;
    std::string reason;
    if (!find_target(path, &target, &reason)) {
        *error = failure(path, reason);
        return false;
    }
    if (target.kind == Kind::Direct) return true;  // a pipe is not opened before its time
    int descriptor = -1;
    std::string temporary;
    if (!create_temporary(target, &descriptor, &temporary, &reason)) {
        *error = failure(path, reason);
        return false;
    }
    close(descriptor);
    unlink(temporary.c_str());
    return true;
}

bool open_output(const std::string& path, OutputFile* file, std::string* error) {
    *file = OutputFile{};
    file->path = path;
    Target target;
    std::string reason;
    bool opened = find_target(path, &target, &reason);
    if (opened && target.kind == Kind::Direct) {
        file->descriptor =
            injected(OutputStep::Create) ? -1 : open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        opened = file->descriptor >= 0;
        if (!opened) reason = std::strerror(errno);
    } else if (opened) {
        opened = create_temporary(target, &file->descriptor, &file->temporary, &reason);
    }
    if (!opened) {
        *error = failure(path, reason);
        *file = OutputFile{};
        return false;
    }
    file->target = target.path;
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
        if (injected(OutputStep::Rename) ||
            rename(file->temporary.c_str(), file->target.c_str()) != 0) {
            file->error = failure(file->path, std::strerror(errno));
        } else {
            file->temporary.clear();
            if (!sync_folder(folder_of(file->target)))
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
    if (!file->temporary.empty()) unlink(file->temporary.c_str());
    *file = OutputFile{};
}

bool write_output_file(const std::string& path, std::string_view data, std::string* error) {
    OutputFile file;
    if (!open_output(path, &file, error)) return false;
    write_output(&file, data);
    return commit_output(&file, error);
}

void fail_output_step(OutputStep step, int error_number) {
    injections[size_t(step)] = Injection{true, error_number};
}
