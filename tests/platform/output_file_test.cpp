// The output writer: a failure at any step leaves the old file as it was and no temporary;
// links, devices, pipes and folders are each handled as what they are.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

#include "platform/common/output_file.h"

namespace {

namespace fs = std::filesystem;

const fs::path folder =
    fs::temp_directory_path() / ("sketch3d-output-test-" + std::to_string(::getpid()));

std::string at(const char* name) {
    return (folder / name).string();
}

std::string read_file(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::set<std::string> names_in_folder() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

mode_t permissions(const std::string& path) {
    struct stat status = {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

}  // namespace

TEST(OutputFile, AFailedStepLeavesTheOldFileAndNoTemporary) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string path = at("out.txt");
    const std::string data(200000, 'n');  // more than the writer gathers before a write
    const std::pair<OutputStep, int> failures[] = {{OutputStep::Create, EACCES},
                                                   {OutputStep::Write, ENOSPC},
                                                   {OutputStep::Sync, EIO},
                                                   {OutputStep::Close, EDQUOT},
                                                   {OutputStep::Rename, EXDEV}};
    for (const auto& [step, error_number] : failures) {
        std::ofstream(path) << "old";
        ::chmod(path.c_str(), 0640);
        fail_output_step(step, error_number);
        std::string error;
        // Streamed, a thousand bytes a write.
        OutputFile file;
        bool written = open_output(path, &file, &error);
        for (size_t start = 0; written && start < data.size(); start += 1000)
            write_output(&file, std::string_view(data).substr(start, 1000));
        if (written) written = commit_output(&file, &error);
        EXPECT_FALSE(written) << int(step);
        EXPECT_EQ(error, "cannot write " + path + ": " + std::strerror(error_number));
        EXPECT_EQ(read_file(path), "old");
        EXPECT_EQ(names_in_folder(), std::set<std::string>{"out.txt"});
    }
    // Written whole, the file keeps its permissions. A failure to sync the folder comes after
    // the rename: the file is complete, and the failure is still reported.
    std::string error;
    EXPECT_TRUE(write_output_file(path, data, &error)) << error;
    EXPECT_EQ(read_file(path), data);
    EXPECT_EQ(permissions(path), 0640u);
    fail_output_step(OutputStep::SyncFolder, EIO);
    EXPECT_FALSE(write_output_file(path, "new", &error));
    EXPECT_EQ(error.rfind("cannot write " + path + ": " + std::strerror(EIO), 0), 0u);
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(names_in_folder(), std::set<std::string>{"out.txt"});
}

TEST(OutputFile, LinksDevicesPipesAndFoldersAreEachHandledAsWhatTheyAre) {
    fs::remove_all(folder);
    fs::create_directories(folder / "folder.txt");
    std::ofstream(at("target.txt")) << "old";
    ::chmod(at("target.txt").c_str(), 0600);
    fs::create_symlink("target.txt", at("link.txt"));
    fs::create_symlink("missing.txt", at("dangling.txt"));
    // The old writer's temporary name, planted as a link to a file of the user's.
    std::ofstream(at("victim.txt")) << "victim";
    fs::create_symlink("victim.txt", at("planted.txt.tmp"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    const int reader = ::open(at("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    // A sticky folder everyone may write, as /tmp, with a link in it that belongs to nobody
    // (only root can give it away).
    fs::create_directory(folder / "shared");
    ::chmod(at("shared").c_str(), 01777);
    fs::create_symlink(at("victim.txt"), at("shared/out.txt"));
    const bool foreign_link = ::lchown(at("shared/out.txt").c_str(), 65534, 65534) == 0;
    const mode_t umask_now = ::umask(022);
    ::umask(umask_now);

    const std::pair<std::string, std::string> cases[] = {
        // path, the reason it cannot be written (empty: written)
        {at("new.txt"), ""},
        {at("link.txt"), ""},
        {at("planted.txt"), ""},
        {at("fifo"), ""},
        {"/dev/null", ""},
        {"/dev/full", std::strerror(ENOSPC)},
        {at("folder.txt"), "it is a folder"},
        {at("dangling.txt"), "it is a link to a missing file"},
        {at("missing/new.txt"), std::strerror(ENOENT)},
        {"", "no file name"},
        {at("shared/out.txt"), "it is a link that another user placed in a shared folder"},
    };
    for (const auto& [path, reason] : cases) {
        if (path == at("shared/out.txt") && !foreign_link) continue;
        std::string checked;
        std::string error;
        const bool check = check_output_path(path, &checked);
        EXPECT_EQ(write_output_file(path, "data", &error), reason.empty()) << path << error;
        if (!reason.empty()) {
            EXPECT_EQ(error, "cannot write " + (path.empty() ? "''" : path) + ": " + reason);
        }
        // The check before the work refuses what the write refuses, but for a device, which
        // it does not open.
        if (path != "/dev/full") {
            EXPECT_EQ(check, reason.empty()) << path << checked;
        }
    }
    // A link stays a link and its target is replaced with the target's permissions; a new
    // file gets what the umask leaves; the FIFO stays a FIFO.
    EXPECT_TRUE(fs::is_symlink(at("link.txt")));
    EXPECT_EQ(read_file(at("target.txt")), "data");
    EXPECT_EQ(permissions(at("target.txt")), 0600u);
    EXPECT_EQ(permissions(at("new.txt")), 0666u & ~umask_now);
    EXPECT_EQ(read_file(at("victim.txt")), "victim");
    EXPECT_EQ(read_file(at("planted.txt")), "data");
    EXPECT_TRUE(fs::is_fifo(at("fifo")));
    char piped[8] = {};
    EXPECT_EQ(::read(reader, piped, sizeof piped), 4);
    ::close(reader);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // No temporary is left behind anywhere.
    EXPECT_EQ(names_in_folder(),
              (std::set<std::string>{"dangling.txt", "fifo", "folder.txt", "link.txt", "new.txt",
                                     "planted.txt", "planted.txt.tmp", "shared", "target.txt",
                                     "victim.txt"}));
    fs::remove_all(folder);
}

// Every component of a path is walked by hand: a link that another user planted in a sticky
// folder everyone may write is refused wherever it stands in the path, and any other link is
// followed. Run as root (as the tests are here), the links can be given away.
TEST(OutputFile, LinksPlantedInSharedFoldersAreRefusedAtEveryDepth) {
    fs::remove_all(folder);
    fs::create_directories(folder / "victim" / "deep");
    std::ofstream(at("victim/model.obj")) << "victim";
    std::ofstream(at("victim/deep/model.obj")) << "victim";
    fs::create_directories(folder / "shared");
    fs::create_directories(folder / "sticky-private");
    fs::create_directories(folder / "plain");
    fs::create_directories(folder / "owned-shared");
    ::chmod(at("shared").c_str(), 01777);
    ::chmod(at("sticky-private").c_str(), 01755);
    ::chmod(at("owned-shared").c_str(), 01777);
    const uid_t other = 65534;
    bool given_away = ::chown(at("owned-shared").c_str(), other, other) == 0;
    // link name, where it points, its owner
    const std::tuple<const char*, std::string, uid_t> links[] = {
        {"shared/foreign", at("victim"), other},
        {"shared/mine", at("victim"), ::geteuid()},
        {"sticky-private/foreign", at("victim"), other},
        {"plain/foreign", at("victim"), other},
        {"owned-shared/owners", at("victim"), other},  // the folder's owner's own link
        {"plain/through", at("shared/foreign/deep"), ::geteuid()},
        {"plain/relative", "../shared/foreign", ::geteuid()},
        {"plain/file-through", at("shared/foreign/model.obj"), ::geteuid()},
    };
    for (const auto& [name, target, owner] : links) {
        fs::create_symlink(target, at(name));
        given_away = ::lchown(at(name).c_str(), owner, owner) == 0 && given_away;
    }
    if (!given_away) GTEST_SKIP() << "links can be given away only by root";

    const std::string refused = "it is a link that another user placed in a shared folder";
    const std::pair<std::string, bool> cases[] = {
        // path, whether it may be written
        {"shared/foreign/model.obj", false},        {"shared/foreign/deep/model.obj", false},
        {"shared/foreign/../plain/x.obj", false},   {"shared/mine/model.obj", true},
        {"sticky-private/foreign/model.obj", true}, {"plain/foreign/model.obj", true},
        {"owned-shared/owners/model.obj", true},    {"plain/through/model.obj", false},
        {"plain/relative/deep/model.obj", false},   {"plain/file-through", false},
    };
    for (const auto& [path, writable] : cases) {
        std::ofstream(at("victim/model.obj")) << "victim";
        std::ofstream(at("victim/deep/model.obj")) << "victim";
        fs::remove_all(at("victim/made"));
        fs::remove_all(at("victim/deep/made"));
        std::string checked;
        std::string error;
        EXPECT_EQ(check_output_path(at(path.c_str()), &checked), writable) << path << checked;
        EXPECT_EQ(write_output_file(at(path.c_str()), "data", &error), writable) << path << error;
        // A folder is made along the same walk (its own path: the file's folder and more):
        // never through a refused link.
        const std::string made = at((path.substr(0, path.rfind('/')) + "/made/deeper").c_str());
        const bool folder_link = path != "plain/file-through";
        if (folder_link) {
            EXPECT_EQ(create_output_folder(made, &checked), writable) << made << checked;
        }
        if (!writable) {
            if (folder_link) {
                EXPECT_EQ(checked, "cannot create " + made + ": " + refused);
            }
            EXPECT_FALSE(fs::exists(at("victim/made")) || fs::exists(at("victim/deep/made")));
            EXPECT_EQ(error, "cannot write " + at(path.c_str()) + ": " + refused);
            EXPECT_EQ(read_file(at("victim/model.obj")), "victim") << path;
            EXPECT_EQ(read_file(at("victim/deep/model.obj")), "victim") << path;
            EXPECT_FALSE(output_identity(at(path.c_str())).known) << path;
        }
    }
    fs::remove_all(folder);
}

// Outputs are told apart by the file they name, not by their spelling.
TEST(OutputFile, OutputsNamingOneFileOrAnInputAreFound) {
    fs::remove_all(folder);
    fs::create_directories(folder / "sub");
    std::ofstream(at("script.txt")) << "frames 1\n";
    fs::create_symlink("script.txt", at("link.txt"));
    fs::create_hard_link(at("script.txt"), at("hard.txt"));
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    const std::string pipe_path = "/proc/self/fd/" + std::to_string(pipe_ends[1]);
    const std::string script = at("script.txt");
    const std::string relative = fs::relative(script).string();
    struct Case {
        std::vector<NamedPath> paths;
        std::string clash;  // empty: apart
    };
    const Case cases[] = {
        {{{"the script", script, false}, {"--obj", script, true}},
         "--obj " + script + " names the script " + script + ", which it would replace"},
        {{{"the script", script, false}, {"--obj", "./" + relative, true}}, "x"},
        {{{"the script", script, false}, {"--obj", at("sub/../script.txt"), true}}, "x"},
        {{{"the script", script, false}, {"--stats", at("link.txt"), true}}, "x"},
        {{{"the script", at("link.txt"), false}, {"--obj", at("hard.txt"), true}}, "x"},
        {{{"--obj", at("new.obj"), true}, {"--ply", at("sub/../new.obj"), true}},
         "--obj " + at("new.obj") + " and --ply " + at("sub/../new.obj") +
             " name one file: one would replace the other"},
        {{{"--obj", at("hard.txt"), true}, {"--stats", at("link.txt"), true}}, "x"},
        {{{"the script", script, false},
          {"--obj", at("new.obj"), true},
          {"--ply", at("new.ply"), true}},
         ""},
        {{{"the script", script, false}, {"the texture", script, false}}, ""},  // inputs only
        {{{"--obj", "/dev/null", true}, {"--stats", "/dev/null", true}}, ""},
        {{{"--obj", pipe_path, true}, {"--stats", pipe_path, true}}, ""},
        {{{"--obj", at("missing/a.obj"), true}, {"--ply", at("missing/a.obj"), true}}, ""},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(outputs_apart(c.paths, &error), c.clash.empty()) << c.paths.back().path;
        if (c.clash.size() > 1) {
            EXPECT_EQ(error, c.clash);
        }
    }
    // The system's own link to an open pipe is written through, not refused or replaced.
    std::string error;
    EXPECT_TRUE(write_output_file(pipe_path, "data", &error)) << error;
    char piped[8] = {};
    EXPECT_EQ(::read(pipe_ends[0], piped, sizeof piped), 4);
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    fs::remove_all(folder);
}

// A recording is written again and again: only a regular file takes it. A FIFO is refused
// without being opened (opening it for writing would wait for a reader for ever; the alarm
// ends the test if it does), and so are a device and standard error's file. Standard
// output's file is written in place, so that standard output still leads to the file.
TEST(OutputFile, ARecordingGoesToARegularFileAndStandardOutputsInPlace) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    ::alarm(20);
    for (const std::string& path : {at("fifo"), std::string("/dev/null")}) {
        RecordingOutput output;
        std::string error;
        EXPECT_FALSE(open_recording_output(path, &output, &error)) << path;
        EXPECT_EQ(error, "cannot write " + path +
                             ": it is a device or a pipe; a recording is written again and "
                             "again, whole, so it needs a regular file");
    }
    ::alarm(0);
    RecordingOutput replaced;
    std::string error;
    ASSERT_TRUE(open_recording_output(at("new.txt"), &replaced, &error)) << error;
    EXPECT_FALSE(recording_is_standard_output(replaced));
    EXPECT_FALSE(fs::exists(at("new.txt")));
    EXPECT_TRUE(write_recording_output(&replaced, "frames 1\n", &error)) << error;
    EXPECT_EQ(read_file(at("new.txt")), "frames 1\n");

    // Standard output and standard error lead to files of the test's own for a while; the
    // results are checked once they are back.
    std::fflush(stdout);
    const int kept_out = ::dup(STDOUT_FILENO);
    const int kept_err = ::dup(STDERR_FILENO);
    const int session = ::open(at("session.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int messages = ::open(at("messages.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(session, STDOUT_FILENO);
    ::dup2(messages, STDERR_FILENO);
    struct stat before = {};
    ::fstat(session, &before);
    RecordingOutput in_place;
    std::string in_place_error;
    const bool opened = open_recording_output("/dev/stdout", &in_place, &in_place_error);
    const bool standard = recording_is_standard_output(in_place);
    const bool longer = write_recording_output(&in_place, "move 1 2\nframes 10\n", &in_place_error);
    const bool shorter = write_recording_output(&in_place, "frames 3\n", &in_place_error);
    close_recording_output(&in_place);
    RecordingOutput on_error;
    std::string error_refused;
    const bool error_opened = open_recording_output("/dev/stderr", &on_error, &error_refused);
    ::dup2(kept_out, STDOUT_FILENO);
    ::dup2(kept_err, STDERR_FILENO);
    for (int descriptor : {kept_out, kept_err, session, messages})
        ::close(descriptor);
    EXPECT_TRUE(opened && standard && longer && shorter) << in_place_error;
    EXPECT_EQ(read_file(at("session.txt")), "frames 3\n");
    struct stat after = {};
    ::stat(at("session.txt").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(error_opened);
    EXPECT_EQ(error_refused,
              "cannot write /dev/stderr: it is standard error's file, where the "
              "program's own messages go");
    fs::remove_all(folder);
}
