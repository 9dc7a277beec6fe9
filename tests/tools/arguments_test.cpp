// The three programs' command lines, run as a user runs them: each wrong argument is named
// with what it should be, `--help` goes to standard output with exit code 0, a repeated
// option and a value that looks like an option are refused, and no output may replace an
// input or another output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

std::string read_text(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Runs `program arguments` in `folder` (the arguments go through the shell as written).
Outcome run(const fs::path& folder, const std::string& program, const std::string& arguments) {
    const std::string command = "cd '" + folder.string() + "' && '" + program + "' " + arguments +
                                " >out.log 2>err.log </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(folder / "out.log"),
            read_text(folder / "err.log")};
}

}  // namespace

TEST(Arguments, EveryProgramNamesTheWrongArgumentAndRefusesOutputsThatClash) {
    const fs::path folder =
        fs::temp_directory_path() / ("sketch3d-arguments-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "sub");
    std::ofstream(folder / "s.txt") << "frames 1\n";
    fs::create_symlink("s.txt", folder / "link.txt");
    fs::copy_file(SKETCH3D_GALLERY_TEXTURE, folder / "bricks.png");

    struct Case {
        std::string program, arguments;
        int code;
        std::string text;  // at the start of standard output for 0, of standard error else
    };
    const std::string replay = SKETCH3D_REPLAY, gallery = SKETCH3D_GALLERY;
    std::vector<Case> cases = {
        {replay, "--help", 0, "usage: sketch3d-replay SCRIPT"},
        {replay, "s.txt --obj --ply", 2,
         "sketch3d-replay: --obj expects FILE, got '--ply' (a name starting with '-' is written "
         "--obj=./--ply)"},
        {replay, "s.txt --obj=./-name --ply b.ply", 1,
         "s.txt: at the end of the script: no object"},
        {replay, "s.txt --out a --out b", 2, "sketch3d-replay: --out given twice"},
        {replay, "s.txt --image missing.png", 5,
         "sketch3d-replay: cannot use image missing.png: file not found"},
        {replay, "s.txt t.txt", 2, "sketch3d-replay: unexpected argument 't.txt'"},
        {replay, "--obj a.obj", 2, "sketch3d-replay: no SCRIPT given"},
        {replay, "s.txt --obj s.txt", 2,
         "sketch3d-replay: --obj s.txt names the script s.txt, which it would replace"},
        {replay, "s.txt --obj sub/../s.txt", 2, "sketch3d-replay: --obj sub/../s.txt names the"},
        {replay, "link.txt --stats ./s.txt", 2, "sketch3d-replay: --stats ./s.txt names the"},
        {replay, "s.txt --obj a.obj --ply ./a.obj", 2,
         "sketch3d-replay: --obj a.obj and --ply ./a.obj name one file"},
        {replay, "s.txt --stats same --glb same", 2,
         "sketch3d-replay: --glb same and --stats same name one file"},
        // The loop's outputs: without a recorded loop there is nothing to write.
        {replay, "s.txt --frames", 2, "sketch3d-replay: --frames expects DIR"},
        {replay, "s.txt --apng s.txt", 2,
         "sketch3d-replay: --apng s.txt names the script s.txt, which it would replace"},
        {replay, "s.txt --frames loop --apng loop.png", 1,
         "s.txt: at the end of the script: no recorded loop to write"},
        {gallery, "--help", 0, "usage: sketch3d-gallery --out FILE.png"},
        {gallery, "--out g.png --scale 9", 2,
         "sketch3d-gallery: --scale expects an integer 1..8, got '9'"},
        {gallery, "--out a.png --out b.png", 2, "sketch3d-gallery: --out given twice"},
        {gallery, "--scale 2", 2, "sketch3d-gallery: no --out given"},
        {gallery, "--out bricks.png --texture ./bricks.png", 2,
         "sketch3d-gallery: --out bricks.png names the texture ./bricks.png, which it would "
         "replace"},
    };
#ifdef SKETCH3D_WINDOW_PROGRAM
    const std::string window = SKETCH3D_WINDOW_PROGRAM;
    for (const char* scale : {"17", "0", "2x"})
        cases.push_back(
            {window, std::string("--scale ") + scale, 2,
             std::string("sketch3d: --scale expects an integer 1..16, got '") + scale + "'"});
    cases.push_back({window, "--help", 0, "usage: sketch3d [--scale N] [--record FILE]"});
    cases.push_back({window, "--scale 2 --scale 2", 2, "sketch3d: --scale given twice"});
    cases.push_back({window, "--record a.txt --record b.txt", 2, "sketch3d: --record given twice"});
    cases.push_back({window, "--record -x", 2, "sketch3d: --record expects FILE, got '-x'"});
    cases.push_back({window, "--save-dir a --save-dir b", 2, "sketch3d: --save-dir given twice"});
    cases.push_back({window, "--image s.txt", 5,
                     "sketch3d: s.txt: not a PNG or BMP image, or corrupt or truncated"});
    cases.push_back({window, "s.txt b.txt", 2, "sketch3d: unexpected argument 'b.txt'"});
    cases.push_back({window, "missing.txt", 4, "sketch3d: cannot read missing.txt: "});
    cases.push_back({window, "s.txt --record link.txt", 2,
                     "sketch3d: --record link.txt names the session s.txt, which it would "
                     "replace"});
    // A FIFO is refused before the window opens, never opened to wait for a reader (timeout
    // would end that with 124).
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    cases.push_back({"/usr/bin/timeout", "20 '" + window + "' --record fifo", 3,
                     "sketch3d: cannot write fifo: it is a device or a pipe"});
#endif
    for (const Case& c : cases) {
        const Outcome result = run(folder, c.program, c.arguments);
        EXPECT_EQ(result.code, c.code) << c.arguments << "\n" << result.err;
        const std::string& shown = c.code == 0 ? result.out : result.err;
        EXPECT_EQ(shown.rfind(c.text, 0), 0u) << c.arguments << "\n" << shown;
        if (c.code == 0) {
            EXPECT_EQ(result.err, "") << c.arguments;
        }
    }
#ifdef SKETCH3D_WINDOW_PROGRAM
    // The help names every key, saving and the session to open.
    const std::string help = run(folder, window, "--help").out;
    for (const char* named : {"Ctrl+S", " I ", "Z", "F12", "Backspace", "FILE", "--save-dir"})
        EXPECT_NE(help.find(named), std::string::npos) << named << "\n" << help;
#endif
    // Without --out a script's screenshot and save write nothing, and the run says so; a save
    // that is not written (every number taken) ends the replay with exit code 3.
    std::ofstream(folder / "shot.txt")
        << "frames 1\nscreenshot shot\nkey down ctrl\nkey down s\nframes 1\n";
    const Outcome quiet = run(folder, replay, "shot.txt --stats shot.csv");
    EXPECT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_NE(quiet.out.find("no output folder (--out)"), std::string::npos) << quiet.out;
    EXPECT_TRUE(fs::exists(folder / "shot.csv"));
    for (const char* name : {"shot.png", "sketch3d-001.png", "sketch3d-001.txt"})
        EXPECT_FALSE(fs::exists(folder / name)) << name;
    fs::create_directories(folder / "full");
    for (int number = 1; number <= 999; ++number)
        std::ofstream(folder / "full" /
                      ("sketch3d-" + std::to_string(1000 + number).substr(1) + ".txt"));
    const Outcome full = run(folder, replay, "shot.txt --out full");
    EXPECT_EQ(full.code, 3);
    EXPECT_EQ(full.err,
              "sketch3d-replay: 5: not saved: every name from full/sketch3d-001 to "
              "full/sketch3d-999 is taken\n");
    // Nothing refused was written, and the inputs are as they were.
    EXPECT_EQ(read_text(folder / "s.txt"), "frames 1\n");
    EXPECT_TRUE(fs::is_symlink(folder / "link.txt"));
    for (const char* name : {"a.obj", "same", "g.png", "a.png", "-name", "b.ply", "loop.png"})
        EXPECT_FALSE(fs::exists(folder / name)) << name;
    fs::remove_all(folder);
}
