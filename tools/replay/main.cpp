// sketch3d-replay: plays a script on the headless backend and writes PNG
// screenshots of the window, exports of the edited object and per-frame
// render statistics.
#include <iostream>

#include "platform/common/command_line.h"
#include "platform/common/script_file.h"
#include "platform/headless/script_player.h"

namespace {

// The usage, with one line for each export format.
std::string usage() {
    std::string text =
        "usage: sketch3d-replay SCRIPT [--image FILE] [--out DIR] [--stats FILE] [--frames DIR]\n"
        "       [--apng FILE]";
    for (const ExportFormat& format : EXPORT_FORMATS)
        text += std::string(" [") + format.option + " FILE]";
    text +=
        "\n"
        "Plays SCRIPT (one command a line: move X Y, down|up left|right,\n"
        "key down|up z|i|n|m|tab|f1|f2|f3|f12|backspace|delete|ctrl|shift|y|s|[|]|a|r|space\n"
        "  |1..8 (the pen while drawing, 1 the black outline pen; the part's colour while\n"
        "  editing, 1 red; 2 orange, 3 yellow, 4 green, 5 cyan, 6 violet, 7 pink, 8 white),\n"
        "wheel N (the mouse wheel, N notches, positive toward the object: the eye comes\n"
        "nearer), char N, escape, close, frames N, screenshot NAME, export NAME";
    for (const ExportFormat& format : EXPORT_FORMATS)
        text += std::string(&format == EXPORT_FORMATS ? "" : "|NAME") + format.extension;
    text +=
        ", image FILE, # comments).\n"
        "  --image FILE  a PNG or BMP (at most 4096 x 4096) shown faded under the drawing from\n"
        "                the start, fitted to the window; a part built over it takes its\n"
        "                colours (a script's `image FILE` line does the same where it stands,\n"
        "                FILE beside the script)\n"
        "  --out DIR     folder of the screenshots (NAME.png), the exports and the saves\n"
        "                (Ctrl+S: sketch3d-NNN.obj, .stl, .glb, .png, .txt, and\n"
        "                .animation.glb with a recorded loop; .mtl and .part-N.png\n"
        "                with a painted part, as export NAME.obj and --obj NAME.obj write\n"
        "                them; .image.png with a traced image, which the .txt names);\n"
        "                without it they write nothing, and the run says so\n";
    for (const ExportFormat& format : EXPORT_FORMATS)
        text += std::string("  ") + format.option + " FILE    " + format.description + "\n";
    text +=
        "  --stats FILE  one CSV row per frame: packets walked, culled, dropped by\n"
        "                depth, drawn, pixels written, frame time in microseconds\n"
        "  --frames DIR  the recorded loop when the script ends, one period at 25 frames a\n"
        "                second, as DIR/frame-001.png, frame-002.png, ...\n"
        "  --apng FILE   the same loop as one animated PNG that repeats\n"
        "SCRIPT is a file or a pipe (/dev/stdin) of at most 64 MiB and 1048576 commands, lines\n"
        "of at most 4096 bytes. A value starting with '-' is written --obj=./-name.\n"
        "Every output is checked before the script plays, and each must be a file of its own.\n"
        "Exit codes: 1 bad or empty script, nothing to export, or no recorded loop for\n"
        "--frames or --apng; 2 usage, or an output that\n"
        "is the script or another output's file; 3 output or save not written; 4 script not\n"
        "readable (missing, a folder, a device); 5 an image that cannot be used (missing,\n"
        "unreadable, too large, not a PNG or BMP).\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<CommandOption> options = {
        text_option("--out", "DIR"), text_option("--stats", "FILE"), text_option("--frames", "DIR"),
        text_option("--apng", "FILE"), text_option("--image", "FILE")};
    for (const ExportFormat& format : EXPORT_FORMATS)
        options.push_back(text_option(format.option, "FILE"));
    std::string script_path;
    std::string error;
    switch (parse_command_line(argc, argv, &options, "SCRIPT", &script_path, &error)) {
        case CommandLineResult::Help:
            std::cout << usage();
            return REPLAY_DONE;
        case CommandLineResult::Bad:
            std::cerr << "sketch3d-replay: " << error << "\n" << usage();
            return REPLAY_USAGE;
        case CommandLineResult::Run:
            break;
    }
    ReplayOutputs outputs;
    if (const CommandOption* out = find_option(options, "--out"); out->given)
        outputs.out_dir = out->text;
    outputs.stats_path = find_option(options, "--stats")->text;
    outputs.loop_frames_dir = find_option(options, "--frames")->text;
    outputs.loop_apng_path = find_option(options, "--apng")->text;
    for (size_t i = 0; i < EXPORT_FORMAT_COUNT; ++i)
        outputs.end_exports[i] = find_option(options, EXPORT_FORMATS[i].option)->text;
    outputs.script_path = script_path;
    outputs.image_path = find_option(options, "--image")->text;

    Script script;
    int result = read_script_file(script_path, &script, &error);
    if (result == REPLAY_DONE)
        result = run_script(script, outputs, HeadlessConfig{}, std::cout, &error);
    // Script errors carry their line number, except those about the whole script or its
    // end; output and argument errors stand alone.
    const bool numbered = !error.empty() && error[0] >= '0' && error[0] <= '9';
    if (result == REPLAY_OUTPUT_FAILED || result == REPLAY_SCRIPT_UNREADABLE ||
        (result == REPLAY_IMAGE_UNUSABLE && !numbered) || (result == REPLAY_USAGE && !numbered)) {
        std::cerr << "sketch3d-replay: " << error << "\n";
    } else if (result != REPLAY_DONE) {
        std::cerr << script_path << (numbered ? ":" : ": ") << error << "\n";
    }
    return result;
}
