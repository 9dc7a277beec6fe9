// Numbered saves: programs saving into one folder at once never share a number or mix their
// files, and a save that fails at any step leaves nothing and its number free.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/common/numbered_save.h"
#include "platform/common/output_file.h"

namespace {

namespace fs = std::filesystem;

const fs::path folder =
    fs::temp_directory_path() / ("sketch3d-numbered-save-test-" + std::to_string(::getpid()));
const uint16_t PICTURE[4] = {0x7FFF, 0x001F, 0x03E0, 0x7C00};

std::string read_file(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::set<std::string> names_in(const fs::path& where) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(where))
        names.insert(entry.path().filename().string());
    return names;
}

// A save whose object and script both say who made it.
bool save(const std::string& into, const std::string& text, std::string* report) {
    const SaveRequest request{{SaveFile{"obj", text}, SaveFile{"txt", text}}, PICTURE, 2, 2};
    return save_numbered_files(into, request, report);
}

}  // namespace

TEST(NumberedSave, ProgramsSavingIntoOneFolderAtOnceNeverShareANumberOrMixTheirFiles) {
    fs::remove_all(folder);
    fs::create_directories(folder / "saves");
    constexpr int SAVERS = 3;
    constexpr int SAVES = 30;
    std::vector<pid_t> savers;
    for (int saver = 0; saver < SAVERS; ++saver) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Each saver lists the numbers it was given.
            std::ofstream reports(folder / ("reports-" + std::to_string(saver)));
            bool all = true;
            for (int i = 0; i < SAVES; ++i) {
                std::string report;
                all = save((folder / "saves").string(),
                           "saver " + std::to_string(saver) + " save " + std::to_string(i) + "\n",
                           &report) &&
                      all;
                reports << report << "\n";
            }
            reports.close();
            _exit(all ? 0 : 1);
        }
        savers.push_back(pid);
    }
    for (pid_t pid : savers) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> numbers;
    for (int saver = 0; saver < SAVERS; ++saver) {
        std::istringstream reports(read_file(folder / ("reports-" + std::to_string(saver))));
        std::string line;
        for (int i = 0; std::getline(reports, line); ++i) {
            const std::string prefix = (folder / "saves" / "sketch3d-").string();
            ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
            const std::string number = line.substr(prefix.size(), 3);
            EXPECT_EQ(line.substr(prefix.size() + 3), " (obj png txt)");
            EXPECT_TRUE(numbers.insert(number).second) << "reported twice: " << number;
            // Its files are this save's own, none replaced by another's.
            const std::string text =
                "saver " + std::to_string(saver) + " save " + std::to_string(i) + "\n";
            const fs::path path = folder / "saves" / ("sketch3d-" + number);
            EXPECT_EQ(read_file(path.string() + ".obj"), text) << number;
            EXPECT_EQ(read_file(path.string() + ".txt"), text) << number;
        }
    }
    EXPECT_EQ(numbers.size(), size_t(SAVERS * SAVES));
    // The numbers are 001 to 090, and no claim or temporary is left.
    EXPECT_EQ(*numbers.rbegin(), "090");
    EXPECT_EQ(names_in(folder / "saves").size(), size_t(3 * SAVERS * SAVES));
    fs::remove_all(folder);
}

TEST(NumberedSave, AFailedSaveLeavesNothingItsNumberFreeAndSaysWhy) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "sketch3d-001.stl") << "not ours";  // 001 is taken
    const std::set<std::string> before = names_in(folder);
    struct Failure {
        OutputStep step;
        int error_number;
        int32_t skipped;  // runs of the step that succeed first
    };
    // Three files (obj, png, txt): a temporary, a write and a sync each, then the claim, three
    // placings and the folder's sync.
    const Failure failures[] = {
        {OutputStep::Write, ENOSPC, 0},  {OutputStep::Write, ENOSPC, 2},
        {OutputStep::Sync, EIO, 1},      {OutputStep::Close, EDQUOT, 2},
        {OutputStep::Create, EACCES, 3}, {OutputStep::Rename, EIO, 0},
        {OutputStep::Rename, EROFS, 2},  {OutputStep::SyncFolder, EIO, 0},
    };
    for (const Failure& failure : failures) {
        fail_output_step(failure.step, failure.error_number, failure.skipped);
        std::string report;
        EXPECT_FALSE(save(folder.string(), "lost\n", &report)) << int(failure.step);
        EXPECT_EQ(report.rfind("cannot write " + folder.string(), 0), 0u) << report;
        EXPECT_NE(report.find(std::strerror(failure.error_number)), std::string::npos) << report;
        EXPECT_EQ(names_in(folder), before) << int(failure.step) << " " << failure.skipped;
    }
    // Without hard links (simulated for the picture) a file is placed through an empty file
    // made exclusively and a rename, and taken back by renaming it back.
    fail_output_step(OutputStep::Rename, EPERM, 1);
    fail_output_step(OutputStep::SyncFolder, EIO);
    std::string report;
    EXPECT_FALSE(save(folder.string(), "lost\n", &report));
    EXPECT_EQ(names_in(folder), before);
    // The number stays free; a claim left by a program that died skips its number; a folder
    // that went missing is made again.
    fail_output_step(OutputStep::Rename, EPERM, 1);
    ASSERT_TRUE(save(folder.string(), "first\n", &report)) << report;
    EXPECT_EQ(report, (folder / "sketch3d-002").string() + " (obj png txt)");
    EXPECT_EQ(read_file(folder / "sketch3d-002.png").substr(1, 3), "PNG");
    EXPECT_EQ(read_file(folder / "sketch3d-002.txt"), "first\n");
    // A name found taken while placing (another program's file): what was placed is taken
    // back, and the save goes on to the next number.
    fail_output_step(OutputStep::Rename, EEXIST, 1);
    ASSERT_TRUE(save(folder.string(), "second\n", &report)) << report;
    EXPECT_EQ(report, (folder / "sketch3d-004").string() + " (obj png txt)");
    EXPECT_FALSE(fs::exists(folder / "sketch3d-003.obj"));
    std::ofstream(folder / ".sketch3d-003.claim");
    ASSERT_TRUE(save(folder.string(), "third\n", &report)) << report;
    EXPECT_EQ(report, (folder / "sketch3d-005").string() + " (obj png txt)");
    EXPECT_EQ(read_file(folder / "sketch3d-005.obj"), "third\n");
    fs::remove_all(folder);
    ASSERT_TRUE(save((folder / "made" / "again").string(), "fourth\n", &report)) << report;
    EXPECT_EQ(read_file(folder / "made" / "again" / "sketch3d-001.obj"), "fourth\n");
    EXPECT_EQ(numbered_save_path("a/b/", 7), "a/b/sketch3d-007");
    EXPECT_EQ(numbered_save_path(".", 12), "sketch3d-012");
    fs::remove_all(folder);
}
