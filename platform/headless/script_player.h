// Playing a parsed replay script (platform/common/script_parser.h) on the headless
// backend, with its screenshots, exports and statistics.
#pragma once

#include <array>
#include <functional>
#include <ostream>
#include <string>

#include "platform/common/script_parser.h"
#include "platform/headless/headless.h"

// Where a played script's output goes. Empty paths write nothing.
struct ReplayOutputs {
    // Screenshots and exports of the script's commands, and its saves (Ctrl+S) unless the
    // session's configuration names another folder. Empty (no --out): those write nothing,
    // and the log says so once.
    std::string out_dir;
    // The edited object when the script ends, or when the window is closed if that comes
    // first (the shut-down deletes it), one file per format of EXPORT_FORMATS; a painted
    // figure's OBJ with its materials and textures beside it, as the script's exports write
    // them.
    std::array<std::string, EXPORT_FORMAT_COUNT> end_exports;
    // One CSV row per frame: the render counters and the frame's measured time.
    std::string stats_path;
    // The recorded loop when the script ends (or at the close box), one period at
    // LOOP_SAMPLES_PER_SECOND (app/animate.h): numbered PNG frames in this folder
    // (frame-001.png, ...; made when missing), and one animated PNG.
    std::string loop_frames_dir;
    std::string loop_apng_path;
    // The script's own file, which no output may replace; empty for a script that is none.
    std::string script_path;
    // Not an output: a PNG or BMP traced under the drawing from the start (--image), read
    // before anything plays. Empty: none.
    std::string image_path;
    // Called after every frame, for tests that follow a replay frame by frame.
    std::function<void()> after_frame;
};

// Plays the script in a fresh headless session, writes each screenshot to
// out_dir/NAME.png and each export to out_dir/NAME (the folder is created when missing; with
// no out_dir they are passed over), the statistics as the frames run, then the end-of-script
// files. Before anything plays,
// every file the replay may write is checked, and so is that each is a file of its own:
// not the script, and not a file another output writes (a command that repeats a name
// writes that file again); the files an OBJ may have beside it (NAME.mtl, NAME.part-N.png)
// count as its own. An OBJ exported again under its name removes the files this replay put
// beside it before that its materials no longer name. Each file is written whole or not at all
// (platform/common/output_file.h). Message boxes and the end of the program are reported
// on `log`.
//
// Returns REPLAY_DONE, or with the reason in *error ("LINE: ..." for a command's):
// REPLAY_SCRIPT_ERROR for a command given after the program ended, an export with no
// edited object or nothing in it (also at the end: no line), loop frames or an animated PNG
// asked for without a recorded loop at the end, or a command's file that
// another output writes; REPLAY_USAGE when an output is the script or two of the end
// outputs are one file; REPLAY_OUTPUT_FAILED with "cannot write PATH: reason" when a file
// cannot be written, or "LINE: not saved: reason" after the frame of a save (Ctrl+S) into a
// folder that was not written (the `frames` command's line). Nothing is written after an error. The
// session is closed afterwards and its memory reclaimed.
int run_script(const Script& script, const ReplayOutputs& outputs, const HeadlessConfig& config,
               std::ostream& log, std::string* error);
// The same with screenshots and exports into out_dir and no other output.
int run_script(const Script& script, const std::string& out_dir, const HeadlessConfig& config,
               std::ostream& log, std::string* error);
