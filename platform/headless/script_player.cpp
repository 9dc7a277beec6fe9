// Playing replay scripts on the headless backend: input queued, frames run and timed, and
// the screenshots, exports and statistics written.
#include "platform/headless/script_player.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "app/animate.h"
#include "app/edited_object.h"
#include "app/frame.h"
#include "app/mesh_export.h"
#include "app/shell.h"
#include "app/trace_image.h"
#include "base/messages.h"
#include "platform/common/apng_writer.h"
#include "platform/common/output_file.h"
#include "platform/common/png_writer.h"
#include "platform/common/script_image.h"
#include "platform/common/text_encoding.h"
#include "raster/render_stats.h"
#include "raster/texture_loader.h"

namespace {

constexpr const char* STATS_HEADER =
    "frame,packets_walked,culled,depth_dropped,drawn,pixels_written,frame_us\n";

void queue_command(const ScriptCommand& command) {
    switch (command.kind) {
        case ScriptCommandKind::Move:
            headless_queue_move(command.a, command.b);
            break;
        case ScriptCommandKind::Down:
            headless_queue_button_down(command.a);
            break;
        case ScriptCommandKind::Up:
            headless_queue_button_up(command.a);
            break;
        case ScriptCommandKind::KeyDown:
            headless_queue_key_down(command.a);
            break;
        case ScriptCommandKind::KeyUp:
            headless_queue_key_up(command.a);
            break;
        case ScriptCommandKind::Wheel:
            headless_queue_wheel(command.a);
            break;
        case ScriptCommandKind::Char:
            headless_queue_char(command.a);
            break;
        case ScriptCommandKind::Close:
            headless_queue_close();
            break;
        case ScriptCommandKind::Frames:
        case ScriptCommandKind::Screenshot:
        case ScriptCommandKind::Export:
        case ScriptCommandKind::Image:
            break;
    }
}

// Message boxes (each with its English line indented under it) and saves, as they happen.
struct Reported {
    size_t messages = 0;
    size_t saves = 0;
};

void report_new_messages(Reported* reported, std::ostream& log) {
    const std::vector<HeadlessMessage>& messages = headless_messages();
    for (; reported->messages < messages.size(); ++reported->messages) {
        const HeadlessMessage& message = messages[reported->messages];
        log << "message box \"" << message.caption << "\": " << cp932_to_utf8(message.text) << "\n";
        char english[ENGLISH_LINE_SIZE];
        if (english_line(message.text.c_str(), english, ENGLISH_LINE_SIZE) > 0)
            log << "  " << english << "\n";
    }
    const std::vector<std::string>& saves = headless_saves();
    for (; reported->saves < saves.size(); ++reported->saves)
        log << "frame " << headless_frame_count() << ": " << saves[reported->saves] << "\n";
}

// A script being played: where its output goes and what it has gathered.
struct Replay {
    const Script& script;
    const ReplayOutputs& outputs;
    std::ostream& log;
    OutputFile stats{};                 // the CSV rows, written as the frames run
    bool saves_nowhere = false;         // the session has no folder for saves
    bool told_nothing_written = false;  // that there is no output folder, told once
    bool end_taken = false;
    // The end-of-script exports, in the order of EXPORT_FORMATS.
    std::array<int32_t, EXPORT_FORMAT_COUNT> end_results = {};
    std::array<std::string, EXPORT_FORMAT_COUNT> end_data{};
    // The loop's pictures at the end, when asked for: whether there was a loop, and each
    // frame's pixels.
    bool loop_taken = false;
    std::vector<std::vector<uint16_t>> loop_frames{};
    int32_t loop_width = 0, loop_height = 0;
    // What goes beside the end's OBJ (--obj): a painted figure's materials and textures, by
    // path.
    std::vector<std::pair<std::string, std::string>> end_obj_beside{};
    // The files this replay has put beside each OBJ it wrote, by the OBJ's path.
    std::map<std::string, std::set<std::string>> beside_written{};
};

bool wants_loop(const ReplayOutputs& outputs) {
    return !outputs.loop_frames_dir.empty() || !outputs.loop_apng_path.empty();
}

// Without an output folder the script's screenshots, exports and saves write nothing: the
// log says so once, at the first of them.
void tell_nothing_written(Replay& replay) {
    if (replay.told_nothing_written) return;
    replay.told_nothing_written = true;
    replay.log << "no output folder (--out): the script's screenshots, exports and saves "
                  "write nothing\n";
}

// The files an OBJ written to `path` may have beside it, named after it: STEM.mtl and
// STEM.part-N.png for every part a figure can have (a painted part's texture). None for a
// device or a pipe, which is written to and has nothing beside it.
std::vector<std::string> obj_beside_paths(const std::string& path) {
    if (!output_identity(path).replaced) return {};
    const std::filesystem::path file(path);
    const std::string stem = file.stem().string();
    std::vector<std::string> paths = {(file.parent_path() / (stem + ".mtl")).string()};
    for (int32_t part = 0; part < MAX_FIGURE_PARTS; ++part)
        paths.push_back((file.parent_path() / (stem + "." + part_texture_suffix(part))).string());
    return paths;
}

// The figure as an OBJ file to be written to `path`, with what goes beside it (by path): for
// a painted figure, its materials and textures named after the file (but none beside a device
// or a pipe, whose OBJ is the figure without them). EXPORT_OK or the export's error.
int32_t export_obj_output(const std::string& path, std::string* obj,
                          std::vector<std::pair<std::string, std::string>>* beside) {
    beside->clear();
    if (!output_identity(path).replaced) return export_figure_obj(obj);
    const std::filesystem::path file(path);
    const std::string stem = file.stem().string();
    ObjFiles files;
    if (int32_t exported = export_figure_obj_files(stem, &files); exported != EXPORT_OK)
        return exported;
    *obj = std::move(files.obj);
    if (!files.mtl.empty()) files.textures.emplace_back("mtl", std::move(files.mtl));
    for (auto& [suffix, bytes] : files.textures)
        beside->emplace_back((file.parent_path() / (stem + "." + suffix)).string(),
                             std::move(bytes));
    return EXPORT_OK;
}

// Writes the files beside the OBJ at `obj_path` and removes those this replay put beside it
// before that the figure no longer has (a part painted then, gone or unpainted now), so that
// the files named after the OBJ are the ones its materials name. The log names each.
bool write_obj_beside(Replay& replay, const std::string& obj_path,
                      const std::vector<std::pair<std::string, std::string>>& beside,
                      std::string* error) {
    std::set<std::string>& written = replay.beside_written[obj_path];
    std::set<std::string> now;
    for (const auto& [path, bytes] : beside) {
        if (!write_output_file(path, bytes, error)) return false;
        replay.log << "frame " << headless_frame_count() << ": " << path << "\n";
        now.insert(path);
    }
    for (const std::string& path : written) {
        std::error_code failed;
        if (now.count(path) == 0 && std::filesystem::remove(path, failed))
            replay.log << "frame " << headless_frame_count() << ": removed " << path << "\n";
    }
    written = std::move(now);
    return true;
}

// Runs the `frames` command's frames one at a time, timing each and collecting its render
// counters; the loop runs exactly as it would for all of them at once. 0, or
// REPLAY_OUTPUT_FAILED after the frame whose save was not written.
int run_frames(Replay& replay, const ScriptCommand& command, std::string* error) {
    for (int32_t i = 0; i < command.a; ++i) {
        auto start = std::chrono::steady_clock::now();
        const int32_t failed_saves = headless_failed_saves();
        const size_t saves = headless_saves().size();
        if (headless_run_frames(1) == 0) return REPLAY_DONE;
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (!replay.outputs.stats_path.empty()) {
            const RenderStats& s = render_stats;
            write_output(
                &replay.stats,
                std::to_string(headless_frame_count()) + "," + std::to_string(s.packets_walked) +
                    "," + std::to_string(s.culled) + "," + std::to_string(s.depth_dropped) + "," +
                    std::to_string(s.drawn) + "," + std::to_string(s.pixels_written) + "," +
                    std::to_string(
                        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()) +
                    "\n");
        }
        if (replay.outputs.after_frame) replay.outputs.after_frame();
        if (headless_failed_saves() != failed_saves) {
            *error = std::to_string(command.line) + ": " + headless_saves().back();
            return REPLAY_OUTPUT_FAILED;
        }
        if (headless_saves().size() != saves && replay.saves_nowhere) tell_nothing_written(replay);
    }
    return REPLAY_DONE;
}

bool writes_file(const ScriptCommand& command) {
    return command.kind == ScriptCommandKind::Screenshot ||
           command.kind == ScriptCommandKind::Export;
}

// The file a screenshot or export command writes.
std::string command_output_path(const Script& script, const ScriptCommand& command,
                                const std::string& out_dir) {
    std::string name(command_name(script, command));
    if (command.kind == ScriptCommandKind::Screenshot) name += ".png";
    return (std::filesystem::path(out_dir) / name).string();
}

// "screenshot NAME" or "export NAME", as the script says it.
std::string command_text(const Script& script, const ScriptCommand& command) {
    return std::string(command.kind == ScriptCommandKind::Screenshot ? "screenshot " : "export ") +
           std::string(command_name(script, command));
}

// A screenshot or export command: 0, REPLAY_SCRIPT_ERROR with nothing to export,
// REPLAY_OUTPUT_FAILED when the file cannot be written.
int write_command_output(const ScriptCommand& command, Replay& replay, std::string* error) {
    if (replay.outputs.out_dir.empty()) {
        tell_nothing_written(replay);
        return REPLAY_DONE;
    }
    const std::string line = std::to_string(command.line) + ": ";
    const std::string path = command_output_path(replay.script, command, replay.outputs.out_dir);
    const std::string_view name = command_name(replay.script, command);
    std::string data;
    if (command.kind == ScriptCommandKind::Screenshot) {
        if (!encode_png_555(headless_window_pixels().data(), headless_client_width(),
                            headless_client_height(), 1, &data)) {
            *error = line + "cannot write " + path + ": the window has no pixels";
            return REPLAY_OUTPUT_FAILED;
        }
    } else if (const ExportFormat* format = export_format_of(name);
               format == &EXPORT_FORMATS[FORMAT_OBJ]) {
        // An OBJ with what goes beside it: a painted figure's materials and textures, named
        // after the file.
        std::vector<std::pair<std::string, std::string>> beside;
        if (int32_t exported = export_obj_output(path, &data, &beside); exported != EXPORT_OK) {
            *error =
                line + "cannot export " + std::string(name) + ": " + export_error_text(exported);
            return REPLAY_SCRIPT_ERROR;
        }
        std::string reason;
        if (!write_obj_beside(replay, path, beside, &reason)) {
            *error = line + reason;
            return REPLAY_OUTPUT_FAILED;
        }
    } else if (int32_t exported = format->exporter(&data); exported != EXPORT_OK) {
        *error = line + "cannot export " + std::string(name) + ": " + export_error_text(exported);
        return REPLAY_SCRIPT_ERROR;
    }
    std::string reason;
    if (!write_output_file(path, data, &reason)) {
        *error = line + reason;
        return REPLAY_OUTPUT_FAILED;
    }
    replay.log << "frame " << headless_frame_count() << ": " << path << "\n";
    return REPLAY_DONE;
}

// The outputs given beside the script, under the options that name them.
std::vector<NamedPath> end_outputs(const ReplayOutputs& outputs) {
    std::vector<NamedPath> paths;
    for (size_t i = 0; i < EXPORT_FORMAT_COUNT; ++i)
        if (!outputs.end_exports[i].empty())
            paths.push_back({EXPORT_FORMATS[i].option, outputs.end_exports[i], true});
    if (!outputs.stats_path.empty()) paths.push_back({"--stats", outputs.stats_path, true});
    if (!outputs.loop_apng_path.empty()) paths.push_back({"--apng", outputs.loop_apng_path, true});
    return paths;
}

// A file beside an OBJ as messages name it: "OUTPUT's materials" or "OUTPUT's texture".
std::string beside_role(const std::string& output, const std::string& path) {
    return output +
           (std::filesystem::path(path).extension() == ".mtl" ? "'s materials" : "'s texture");
}

// The files that may go beside the end's OBJ, each under a role that says whose it is.
std::vector<NamedPath> end_obj_beside_outputs(const ReplayOutputs& outputs) {
    const std::string obj = outputs.end_exports[FORMAT_OBJ];
    std::vector<NamedPath> paths;
    for (const std::string& path : obj_beside_paths(obj))
        paths.push_back(
            {beside_role(std::string(EXPORT_FORMATS[FORMAT_OBJ].option) + " " + obj, path), path,
             true});
    return paths;
}

using IdentityKey = std::tuple<bool, uint64_t, uint64_t, std::string>;

IdentityKey key_of(const FileIdentity& identity) {
    return {identity.existing, identity.device, identity.inode, identity.name};
}

// The script's commands' files: each can be written, and none is the script or a file
// that another output writes. 0, or the exit code with the error at the command's line.
int check_command_outputs(Replay& replay, std::string* error) {
    const ReplayOutputs& outputs = replay.outputs;
    if (outputs.out_dir.empty()) return REPLAY_DONE;  // they write nothing
    const FileIdentity script =
        outputs.script_path.empty() ? FileIdentity{} : input_identity(outputs.script_path);
    // The files written so far, by identity: who writes each.
    std::map<IdentityKey, std::string> writers;
    std::vector<NamedPath> ends = end_outputs(outputs);
    for (NamedPath& beside : end_obj_beside_outputs(outputs))
        ends.push_back(std::move(beside));
    for (const NamedPath& named : ends) {
        const FileIdentity identity = output_identity(named.path);
        if (identity.known && identity.replaced)
            writers.emplace(key_of(identity), named.role + " " + named.path);
    }
    std::map<std::string, bool> checked;  // by name: a repeated command writes its file again
    for (const ScriptCommand& command : replay.script.commands) {
        if (!writes_file(command)) continue;
        const std::string path = command_output_path(replay.script, command, outputs.out_dir);
        if (!checked.emplace(path, true).second) continue;
        const std::string line = std::to_string(command.line) + ": ";
        if (std::string reason; !check_output_path(path, &reason)) {
            *error = line + reason;
            return REPLAY_OUTPUT_FAILED;
        }
        // The command's file, and for an OBJ every file that may go beside it.
        const std::string text = command_text(replay.script, command);
        std::vector<std::pair<std::string, std::string>> files = {{path, text}};
        if (command.kind == ScriptCommandKind::Export &&
            export_format_of(command_name(replay.script, command)) == &EXPORT_FORMATS[FORMAT_OBJ])
            for (const std::string& beside : obj_beside_paths(path))
                files.push_back({beside, beside_role(text, beside)});
        for (const auto& [file, writer_text] : files) {
            const FileIdentity identity = output_identity(file);
            if (!identity.known || !identity.replaced) continue;
            if (same_file(identity, script)) {
                *error = line + writer_text + " (" + file + ") names the script " +
                         outputs.script_path + ", which it would replace";
                return REPLAY_USAGE;
            }
            const auto [writer, added] =
                writers.emplace(key_of(identity), writer_text + " (" + file + ")");
            if (!added) {
                *error = line + writer_text + " (" + file + ") names the file that " +
                         writer->second + " writes: one would replace the other";
                return REPLAY_SCRIPT_ERROR;
            }
        }
    }
    return REPLAY_DONE;
}

// Every file the replay may write, checked before anything plays, and the statistics
// file opened: 0, or the exit code with the first that cannot be written.
int prepare_outputs(Replay& replay, std::string* error) {
    const ReplayOutputs& outputs = replay.outputs;
    std::vector<NamedPath> paths = end_outputs(outputs);
    if (!outputs.script_path.empty())
        paths.insert(paths.begin(), NamedPath{"the script", outputs.script_path, false});
    for (NamedPath& beside : end_obj_beside_outputs(outputs))
        paths.push_back(std::move(beside));
    if (!outputs_apart(paths, error)) return REPLAY_USAGE;
    if (!outputs.out_dir.empty() && !create_output_folder(outputs.out_dir, error))
        return REPLAY_OUTPUT_FAILED;
    if (!outputs.loop_frames_dir.empty() && !create_output_folder(outputs.loop_frames_dir, error))
        return REPLAY_OUTPUT_FAILED;
    for (const NamedPath& named : end_outputs(outputs))
        if (!check_output_path(named.path, error)) return REPLAY_OUTPUT_FAILED;
    if (int checked = check_command_outputs(replay, error); checked != REPLAY_DONE) return checked;
    if (outputs.stats_path.empty()) return REPLAY_DONE;
    if (!open_output(outputs.stats_path, &replay.stats, error)) return REPLAY_OUTPUT_FAILED;
    write_output(&replay.stats, STATS_HEADER);
    return REPLAY_DONE;
}

// Takes the end-of-script exports once: at the close box or at the end.
void take_end_exports(Replay& replay) {
    if (replay.end_taken) return;
    replay.end_taken = true;
    for (size_t i = 0; i < EXPORT_FORMAT_COUNT; ++i) {
        const std::string& path = replay.outputs.end_exports[i];
        if (path.empty()) continue;
        replay.end_results[i] =
            i == FORMAT_OBJ ? export_obj_output(path, &replay.end_data[i], &replay.end_obj_beside)
                            : EXPORT_FORMATS[i].exporter(&replay.end_data[i]);
    }
    if (!wants_loop(replay.outputs)) return;
    replay.loop_taken = render_loop_pictures(
        LOOP_SAMPLES_PER_SECOND, [&](const uint16_t* page, int32_t width, int32_t height) {
            replay.loop_width = width;
            replay.loop_height = height;
            replay.loop_frames.emplace_back(page, page + size_t(width) * size_t(height));
        });
}

// The loop's frames as numbered PNG files and as one animated PNG, as asked for.
int write_loop_outputs(Replay& replay, std::string* error) {
    const ReplayOutputs& outputs = replay.outputs;
    const int32_t width = replay.loop_width, height = replay.loop_height;
    for (size_t k = 0; !outputs.loop_frames_dir.empty() && k < replay.loop_frames.size(); ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%03d.png", int(k + 1));
        const std::string path = output_path_in(outputs.loop_frames_dir, name);
        std::string png;
        if (!encode_png_555(replay.loop_frames[k].data(), width, height, 1, &png)) {
            *error = "cannot write " + path + ": the frame could not be encoded as PNG";
            return REPLAY_OUTPUT_FAILED;
        }
        if (!write_output_file(path, png, error)) return REPLAY_OUTPUT_FAILED;
    }
    if (!outputs.loop_frames_dir.empty())
        replay.log << "wrote " << replay.loop_frames.size() << " frames into "
                   << outputs.loop_frames_dir << "\n";
    if (outputs.loop_apng_path.empty()) return REPLAY_DONE;
    std::vector<const uint16_t*> frames;
    for (const std::vector<uint16_t>& frame : replay.loop_frames)
        frames.push_back(frame.data());
    std::string apng;
    if (!encode_apng_555(frames, width, height, 1, LOOP_SAMPLES_PER_SECOND, &apng)) {
        *error = "cannot write " + outputs.loop_apng_path +
                 (apng_encoder_available() ? ": the loop could not be encoded"
                                           : ": this build has no APNG encoder");
        return REPLAY_OUTPUT_FAILED;
    }
    if (!write_output_file(outputs.loop_apng_path, apng, error)) return REPLAY_OUTPUT_FAILED;
    replay.log << "wrote " << outputs.loop_apng_path << "\n";
    return REPLAY_DONE;
}

// The end-of-script files: 0, REPLAY_SCRIPT_ERROR when there was nothing to export,
// REPLAY_OUTPUT_FAILED when a file cannot be written. None is written unless all exports
// could be made.
int write_end_outputs(Replay& replay, std::string* error) {
    for (int32_t exported : replay.end_results) {
        if (exported != EXPORT_OK) {
            *error = std::string("at the end of the script: ") + export_error_text(exported);
            return REPLAY_SCRIPT_ERROR;
        }
    }
    if (wants_loop(replay.outputs) && !replay.loop_taken) {
        *error =
            "at the end of the script: no recorded loop to write (record one with R while "
            "animating)";
        return REPLAY_SCRIPT_ERROR;
    }
    for (size_t i = 0; i < EXPORT_FORMAT_COUNT; ++i) {
        const std::string& path = replay.outputs.end_exports[i];
        if (path.empty()) continue;
        if (i == FORMAT_OBJ) {
            for (const auto& [beside, bytes] : replay.end_obj_beside) {
                if (!write_output_file(beside, bytes, error)) return REPLAY_OUTPUT_FAILED;
                replay.log << "wrote " << beside << "\n";
            }
        }
        if (!write_output_file(path, replay.end_data[i], error)) return REPLAY_OUTPUT_FAILED;
        replay.log << "wrote " << path << "\n";
    }
    if (int written = write_loop_outputs(replay, error); written != REPLAY_DONE) return written;
    if (replay.outputs.stats_path.empty()) return REPLAY_DONE;
    if (!commit_output(&replay.stats, error)) return REPLAY_OUTPUT_FAILED;
    replay.log << "wrote " << replay.outputs.stats_path << "\n";
    return REPLAY_DONE;
}

// The operating system reclaims what a program leaves when it ends without
// its shut-down (Escape, a failed start-up, or a script that stops early).
void end_session() {
    if (headless_shut_down_count() == 0) shut_down();
    headless_close();
}

}  // namespace

int run_script(const Script& script, const ReplayOutputs& outputs, const HeadlessConfig& config,
               std::ostream& log, std::string* error) {
    Replay replay{.script = script, .outputs = outputs, .log = log};
    if (int checked = prepare_outputs(replay, error); checked != REPLAY_DONE) return checked;
    // The picture traced from the start is read before anything plays.
    DecodedImage image;
    if (!outputs.image_path.empty()) {
        if (const int32_t read = read_picture_file(outputs.image_path.c_str(), &image); read != 0) {
            *error = "cannot use image " + outputs.image_path + ": " + picture_error_text(read);
            return REPLAY_IMAGE_UNUSABLE;
        }
    }
    Reported reported;
    // Saves (Ctrl+S in the script) go into the output folder.
    HeadlessConfig session = config;
    if (session.save_dir.empty()) session.save_dir = outputs.out_dir;
    replay.saves_nowhere = session.save_dir.empty();
    if (headless_open(session) < 0) log << "start-up failed\n";
    if (image.texels != nullptr && headless_running() &&
        !load_trace_image(image, outputs.image_path))
        log << "the image could not be traced\n";
    free_decoded_image(&image);
    report_new_messages(&reported, log);
    int result = 0;
    for (const ScriptCommand& command : script.commands) {
        if (!headless_running()) {
            *error = std::to_string(command.line) + ": the program has already ended";
            result = REPLAY_SCRIPT_ERROR;
            break;
        }
        if (command.kind == ScriptCommandKind::Frames) {
            // Even `frames 0` hands the waiting events to the window.
            if (command.a == 0) headless_drain_events();
            result = run_frames(replay, command, error);
        } else if (writes_file(command)) {
            result = write_command_output(command, replay, error);
        } else if (command.kind == ScriptCommandKind::Image) {
            if (!play_image_command(script, command, error)) result = REPLAY_IMAGE_UNUSABLE;
        } else {
            // The close box deletes the object: what the end-of-script files show
            // is taken now, as no frame can run before the close is handled.
            if (command.kind == ScriptCommandKind::Close) take_end_exports(replay);
            queue_command(command);
        }
        report_new_messages(&reported, log);
        if (result != 0) break;
    }
    if (result == 0) {
        headless_drain_events();
        report_new_messages(&reported, log);
        if (headless_running()) {
            log << "script done after " << headless_frame_count() << " frames\n";
        } else {
            log << "program ended with exit code " << headless_exit_code() << " after "
                << headless_frame_count() << " frames\n";
        }
        take_end_exports(replay);
        result = write_end_outputs(replay, error);
    }
    // After an error nothing more is written, the statistics neither.
    discard_output(&replay.stats);
    end_session();
    return result;
}

int run_script(const Script& script, const std::string& out_dir, const HeadlessConfig& config,
               std::ostream& log, std::string* error) {
    ReplayOutputs outputs;
    outputs.out_dir = out_dir;
    return run_script(script, outputs, config, log, error);
}
