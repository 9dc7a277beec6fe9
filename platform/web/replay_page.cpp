// The replay runner inside the page: a WebAssembly module of its own with the headless backend,
// so that a script plays exactly as the native replay tool plays it. Its screenshots are PNG
// files in the module's in-memory file system, where the page reads them.
#include <emscripten/emscripten.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/headless/script_player.h"

namespace {

struct ReplayPageState {
    std::string log;    // what the tool prints on standard output
    std::string error;  // what it prints on standard error
};

ReplayPageState replay;

}  // namespace

extern "C" {

// Plays `script` (UTF-8 text) in a fresh session and writes its screenshots to
// out_dir/NAME.png. Returns the replay tool's exit code (platform/common/script_parser.h):
// REPLAY_DONE, REPLAY_SCRIPT_ERROR for a bad script line or a command after the program
// ended, REPLAY_OUTPUT_FAILED when a screenshot or a save (Ctrl+S) cannot be written.
EMSCRIPTEN_KEEPALIVE int replay_page_run(const char* script, const char* out_dir) {
    replay = ReplayPageState{};
    if (script == nullptr || out_dir == nullptr) return REPLAY_SCRIPT_ERROR;
    Script parsed;
    if (!parse_script(script, &parsed, &replay.error)) return REPLAY_SCRIPT_ERROR;
    std::ostringstream log;
    const int result = run_script(parsed, out_dir, HeadlessConfig{}, log, &replay.error);
    replay.log = log.str();
    return result;
}

// The log and the error text of the last run; valid until the next run.
EMSCRIPTEN_KEEPALIVE const char* replay_page_log() {
    return replay.log.c_str();
}
EMSCRIPTEN_KEEPALIVE const char* replay_page_error() {
    return replay.error.c_str();
}

}  // extern "C"
