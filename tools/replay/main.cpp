// sketch3d-replay: plays a script on the headless backend and writes PNG
// screenshots of the window, exports of the edited object and per-frame
// render statistics.
#include <cstring>
#include <iostream>

#include "platform/headless/replay_script.h"
#include "platform/headless/script_file.h"

namespace {

constexpr const char* USAGE =
    "usage: sketch3d-replay SCRIPT [--out DIR] [--obj FILE] [--ply FILE] [--stl FILE]\n"
    "                       [--glb FILE] [--stats FILE]\n"
    "Plays SCRIPT (one command a line: move X Y, down|up left|right,\n"
    "key down|up z|i|f1|f2|f3|f12, char N, escape, close, frames N,\n"
    "screenshot NAME, export NAME.obj|NAME.ply|NAME.stl|NAME.glb, # comments).\n"
    "  --out DIR     folder of the screenshots (NAME.png) and exports (default: .)\n"
    "  --obj FILE    the edited object at the end as a Wavefront OBJ file\n"
    "  --ply FILE    the same as a PLY file with the last frame's vertex colours\n"
    "  --stl FILE    the same as a binary STL file (one model unit = 1 mm)\n"
    "  --glb FILE    the same as a glTF binary file\n"
    "  --stats FILE  one CSV row per frame: packets walked, culled, dropped by\n"
    "                depth, drawn, pixels written, frame time in microseconds\n"
    "SCRIPT is a file or a pipe (/dev/stdin) of at most 64 MiB and 1048576 commands, lines\n"
    "of at most 4096 bytes.\n"
    "Every output is checked before the script plays.\n"
    "Exit codes: 1 bad script or nothing to export, 2 usage, 3 output not written,\n"
    "4 script not readable (missing, a folder, a device, a pipe without a writer).\n";

}  // namespace

int main(int argc, char** argv) {
    const char* script_path = nullptr;
    ReplayOutputs outputs;
    for (int i = 1; i < argc; ++i) {
        std::string* value = nullptr;
        if (std::strcmp(argv[i], "--out") == 0) value = &outputs.out_dir;
        if (std::strcmp(argv[i], "--obj") == 0) value = &outputs.obj_path;
        if (std::strcmp(argv[i], "--ply") == 0) value = &outputs.ply_path;
        if (std::strcmp(argv[i], "--stl") == 0) value = &outputs.stl_path;
        if (std::strcmp(argv[i], "--glb") == 0) value = &outputs.glb_path;
        if (std::strcmp(argv[i], "--stats") == 0) value = &outputs.stats_path;
        if (value != nullptr && i + 1 < argc && argv[i + 1][0] != '\0') {
            *value = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << USAGE;
            return 0;
        } else if (value == nullptr && argv[i][0] != '-' && script_path == nullptr) {
            script_path = argv[i];
        } else {
            std::cerr << "sketch3d-replay: unexpected argument '" << argv[i] << "'\n" << USAGE;
            return 2;
        }
    }
    if (script_path == nullptr) {
        std::cerr << USAGE;
        return 2;
    }

    std::vector<ScriptCommand> commands;
    std::string error;
    if (int read = read_script_file(script_path, &commands, &error); read != 0) {
        if (read == SCRIPT_UNREADABLE) {
            std::cerr << "sketch3d-replay: " << error << "\n";
        } else {
            std::cerr << script_path << ":" << error << "\n";
        }
        return read;
    }
    int result = run_script(commands, outputs, HeadlessConfig{}, std::cout, &error);
    // Script errors carry their line number, except those at its end; output errors stand
    // alone.
    bool numbered = !error.empty() && error[0] >= '0' && error[0] <= '9';
    if (result == 1) std::cerr << script_path << (numbered ? ":" : ": ") << error << "\n";
    if (result == 3) std::cerr << "sketch3d-replay: " << error << "\n";
    return result;
}
