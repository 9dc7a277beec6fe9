// The output writer: a failure at any step leaves the old file as it was and no temporary;
// links, devices, pipes and folders are each handled as what they are.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/common/output_file.h"

namespace {

namespace fs = std::filesystem;

fs::path scratch_folder() {
    const fs::path folder =
        fs::temp_directory_path() / ("sketch3d-output-test-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t permissions(const fs::path& path) {
    struct stat status;
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

}  // namespace

TEST(OutputFile, AFailedStepLeavesTheOldFileAndNoTemporary) {
    const fs::path folder = scratch_folder();
    const fs::path path = folder / "out.txt";
    // More than the writer buffers, so that the data reaches the system in several writes.
    const std::string data(200000, 'n');
    struct Case {
        OutputStep step;
        int error_number;
        bool streamed;
    };
    const Case cases[] = {
        {OutputStep::Create, EACCES, false}, {OutputStep::Write, ENOSPC, false},
        {OutputStep::Write, EIO, true},      {OutputStep::Sync, EIO, false},
        {OutputStep::Close, EDQUOT, false},  {OutputStep::Rename, EXDEV, false},
    };
    for (const Case& c : cases) {
        write_file(path, "old");
        ::chmod(path.c_str(), 0640);
        fail_output_step(c.step, c.error_number);
        std::string error;
        bool written = false;
        if (c.streamed) {
            OutputFile file;
            ASSERT_TRUE(open_output(path.string(), &file, &error)) << error;
            for (size_t at = 0; at < data.size(); at += 1000)
                write_output(&file, std::string_view(data).substr(at, 1000));
            written = commit_output(&file, &error);
        } else {
            written = write_output_file(path.string(), data, &error);
        }
        const std::string label = std::to_string(int(c.step)) + (c.streamed ? " streamed" : "");
        EXPECT_FALSE(written) << label;
        EXPECT_EQ(error, "cannot write " + path.string() + ": " + std::strerror(c.error_number))
            << label;
        EXPECT_EQ(read_file(path), "old") << label;
        EXPECT_EQ(names_in(folder), std::vector<std::string>{"out.txt"}) << label;
    }

    // Without a failure the file is replaced whole and keeps its permissions.
    std::string error;
    ASSERT_TRUE(write_output_file(path.string(), data, &error)) << error;
    EXPECT_EQ(read_file(path), data);
    EXPECT_EQ(permissions(path), 0640u);
    // A failure to sync the folder comes after the rename: the file is complete, and the
    // failure is still reported.
    fail_output_step(OutputStep::SyncFolder, EIO);
    EXPECT_FALSE(write_output_file(path.string(), "new", &error));
    EXPECT_EQ(error.rfind("cannot write " + path.string() + ": " + std::strerror(EIO), 0), 0u);
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(names_in(folder), std::vector<std::string>{"out.txt"});
    fs::remove_all(folder);
}

TEST(OutputFile, LinksDevicesPipesAndFoldersAreEachHandledAsWhatTheyAre) {
    const fs::path folder = scratch_folder();
    const auto at = [&](const char* name) { return (folder / name).string(); };
    write_file(at("target.txt"), "old");
    ::chmod(at("target.txt").c_str(), 0600);
    fs::create_symlink("target.txt", at("link.txt"));
    fs::create_symlink("missing.txt", at("dangling.txt"));
    fs::create_directory(at("folder.txt"));
    // The temporary name of the old writer, planted as a link to a file of the user's.
    write_file(at("victim.txt"), "victim");
    fs::create_symlink("victim.txt", at("planted.txt.tmp"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    const int reader = ::open(at("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const mode_t umask_now = ::umask(022);
    ::umask(umask_now);

    struct Case {
        std::string path;
        std::string error;  // empty: written
    };
    const Case cases[] = {
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
    };
    for (const Case& c : cases) {
        std::string checked;
        std::string error;
        const bool check = check_output_path(c.path, &checked);
        const bool written = write_output_file(c.path, "data", &error);
        EXPECT_EQ(written, c.error.empty()) << c.path << ": " << error;
        const std::string shown = c.path.empty() ? "''" : c.path;
        if (!c.error.empty()) {
            EXPECT_EQ(error, "cannot write " + shown + ": " + c.error);
        }
        // The check before the work refuses what the write refuses, but for a device, which
        // it does not open.
        if (c.path != "/dev/full") {
            EXPECT_EQ(check, written) << c.path << ": " << checked;
        }
    }
    // The link stays a link and its target is replaced, with the target's permissions; a new
    // file gets what the umask leaves.
    EXPECT_TRUE(fs::is_symlink(at("link.txt")));
    EXPECT_EQ(read_file(at("target.txt")), "data");
    EXPECT_EQ(permissions(at("target.txt")), 0600u);
    EXPECT_EQ(permissions(at("new.txt")), 0666u & ~umask_now);
    // The planted link is neither followed nor removed; the FIFO stays a FIFO.
    EXPECT_EQ(read_file(at("victim.txt")), "victim");
    EXPECT_TRUE(fs::is_symlink(at("planted.txt.tmp")));
    EXPECT_EQ(read_file(at("planted.txt")), "data");
    EXPECT_TRUE(fs::is_fifo(at("fifo")));
    char piped[8] = {};
    EXPECT_EQ(::read(reader, piped, sizeof piped), 4);
    EXPECT_STREQ(piped, "data");
    ::close(reader);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // No temporary is left behind anywhere.
    const std::vector<std::string> expected = {"dangling.txt",    "fifo",       "folder.txt",
                                               "link.txt",        "new.txt",    "planted.txt",
                                               "planted.txt.tmp", "target.txt", "victim.txt"};
    EXPECT_EQ(names_in(folder), expected);
    fs::remove_all(folder);
}

TEST(OutputFile, ALinkAnotherUserPlacedInASharedFolderIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a link another owner needs root";
    // A sticky folder everyone may write, as /tmp, owned by root; the link belongs to nobody.
    const fs::path folder = scratch_folder();
    fs::create_directory(folder / "shared");
    ::chmod((folder / "shared").c_str(), 01777);
    write_file(folder / "mine.txt", "mine");
    const fs::path link = folder / "shared" / "out.txt";
    fs::create_symlink(folder / "mine.txt", link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    std::string error;
    EXPECT_FALSE(write_output_file(link.string(), "data", &error));
    EXPECT_EQ(error, "cannot write " + link.string() +
                         ": it is a link that another user placed in a shared folder");
    EXPECT_EQ(read_file(folder / "mine.txt"), "mine");
    fs::remove_all(folder);
}
