// sketch3d-replay: plays a script on the headless backend and writes PNG
// screenshots of the window.
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/replay/replay_script.h"

namespace {

constexpr const char* USAGE =
    "usage: sketch3d-replay SCRIPT --out DIR\n"
    "Plays SCRIPT (one command a line: move X Y, down|up left|right,\n"
    "key down|up z|f1|f2|f3|f12, char N, escape, close, frames N,\n"
    "screenshot NAME, # comments) and writes DIR/NAME.png for each screenshot.\n";

}  // namespace

int main(int argc, char** argv) {
    const char* script_path = nullptr;
    const char* out_dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out_dir = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << USAGE;
            return 0;
        } else if (argv[i][0] != '-' && script_path == nullptr) {
            script_path = argv[i];
        } else {
            std::cerr << "sketch3d-replay: unexpected argument '" << argv[i] << "'\n" << USAGE;
            return 2;
        }
    }
    if (script_path == nullptr || out_dir == nullptr) {
        std::cerr << USAGE;
        return 2;
    }

    std::ifstream file(script_path, std::ios::binary);
    if (!file) {
        std::cerr << "sketch3d-replay: cannot read " << script_path << "\n";
        return 2;
    }
    std::ostringstream text;
    text << file.rdbuf();

    std::vector<ScriptCommand> commands;
    std::string error;
    if (!parse_script(text.str(), &commands, &error)) {
        std::cerr << script_path << ":" << error << "\n";
        return 1;
    }
    int result = run_script(commands, out_dir, HeadlessConfig{}, std::cout, &error);
    // Script errors carry their line number; output errors stand alone.
    if (result == 1) std::cerr << script_path << ":" << error << "\n";
    if (result == 3) std::cerr << "sketch3d-replay: " << error << "\n";
    return result;
}
