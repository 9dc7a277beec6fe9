// SDL2 backend for Linux and macOS: the program entry, a resizable window that shows the
// picture (the client area of the Windows program, 514 x 483) scaled by a whole factor, the
// event loop, and pages kept in plain memory and shown through a streaming texture.
//
// "Screen" coordinates of this backend are picture pixels: window positions are mapped back
// through the scale before the shell sees them (platform/sdl/sdl_support.h), so converting
// them to client coordinates changes nothing. At factor 1 in a window of the picture's size
// they are the window positions themselves, outside the window too while the mouse is
// captured.
//
// `sketch3d --scale N` starts at factor N; `--record FILE` keeps the session on disk as a
// replay script (app/session_recorder.h) in picture pixels, so it replays the same at any
// scale, written whole at least once a second while anything changes, so that a crash loses
// at most the last second (a regular file only; standard output's file is written in place,
// platform/common/output_file.h); Ctrl+S saves into `--save-dir DIR`; `sketch3d FILE` opens a
// saved or recorded session (platform/common/window_replay.h), which saves nothing, lists its
// old message boxes instead of showing them, shows how far it has got in the title after a
// second, and stops at Escape or the close box. Without arguments it runs as the Windows
// program does, in a window as large as half the desktop allows.

// The program has its own main; SDL is told so before it starts.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/mesh_export.h"
#include "app/platform.h"
#include "app/session_recorder.h"
#include "app/shell.h"
#include "app/trace_image.h"
#include "base/memory.h"
#include "base/messages.h"
#include "platform/common/command_line.h"
#include "platform/common/integer_text.h"
#include "platform/common/memory_pages.h"
#include "platform/common/numbered_save.h"
#include "platform/common/output_file.h"
#include "platform/common/page_drawing.h"
#include "platform/common/png_writer.h"
#include "platform/common/script_file.h"
#include "platform/common/text_encoding.h"
#include "platform/common/window_replay.h"
#include "platform/sdl/sdl_support.h"
#include "raster/texture_loader.h"

namespace {

// Room for a converted message: a code page 932 character takes at most 3 UTF-8 bytes for
// its 2 bytes, and the error text is at most 99 bytes.
constexpr int32_t MESSAGE_UTF8_SIZE = 512;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_OUTPUT_FAILED = 3;
constexpr int EXIT_IMAGE_UNUSABLE = 5;
constexpr int MAX_SCALE = 16;
// What the window shows around the picture when its shape does not fit a whole factor.
constexpr Uint8 BAR_GREY = 48;
// The recording on disk is at most this far behind the session.
constexpr uint32_t RECORDING_DELAY_MS = 1000;
// While an opened session plays, the window shows a frame this often, and from this long
// after it started the title says how far it has got.
constexpr uint32_t REPLAY_PRESENT_MS = 100;
constexpr uint32_t REPLAY_PROGRESS_AFTER_MS = 1000;
// How long the title lists an opened session's earlier messages, and in how many bytes.
constexpr uint32_t OPENED_NOTICE_MS = 10000;
constexpr size_t OPENED_NOTICE_BYTES = 200;
constexpr const char* TITLE_PREFIX = "sketch3d \xE2\x80\x94 ";  // "sketch3d — " in UTF-8
constexpr const char* USAGE =
    "usage: sketch3d [--scale N] [--record FILE] [--save-dir DIR] [--image FILE] [FILE]\n"
    "A value starting with '-' is written --record=./-name.\n";
constexpr const char* HELP =
    "Draw a closed outline with the left button, then right-click inside it: the region\n"
    "becomes a lit sheet (an outline that ends within 12 pixels of its start is closed for\n"
    "you). Drag to turn it; hold Z to face it again, and with a button held to push it into\n"
    "relief; I inflates it into a closed, rounded body, which Z pushes through a round brush\n"
    "that [ and ] make smaller and larger (4 to 64 units, shown as a circle while Z is held).\n"
    "The mouse wheel brings the eye nearer (turned away from you) or farther, a notch at a\n"
    "time, from 128 to 1024 units before the sheet (256 at start), never into what it looks\n"
    "at. F1, F2 and F3 switch to soft, glossy and banded shading, F12 throws the object away.\n"
    "The keys 1 to 8 choose the pen while drawing: 1 the black outline pen, 2 orange,\n"
    "3 yellow, 4 green, 5 cyan, 6 violet, 7 pink, 8 white, whose strokes never bound the\n"
    "region and are kept with the part built over them; while editing they colour the part\n"
    "(1 the red it started in).\n"
    "N keeps it and lets you draw another part over it (the figure turns as one), joined to\n"
    "the part under the right-click: in front of it, or behind it with Shift held. M adds its\n"
    "mirror image, Tab edits the next part and Backspace removes the part being edited. While\n"
    "drawing, Backspace takes back the last stroke and Delete every stroke. A switches to\n"
    "animating a figure with a body: a click places a control point (up to 32), dragging one\n"
    "bends the figure, a right-click removes one; R records the dragged point's path and R\n"
    "again loops it, Space plays and pauses the loop, A again shows the rest shape. Ctrl+Z\n"
    "undoes the last step (a stroke, a build, a turn, a hold of Z, a key, a point, a drag of\n"
    "one, a recording; not the wheel or the brush's size), again and again, and Ctrl+Y or\n"
    "Ctrl+Shift+Z redoes it. Ctrl+S saves the picture,\n"
    "the session and every part as numbered files sketch3d-NNN.obj, .stl, .glb, .png and\n"
    ".txt (and .animation.glb with a recorded loop). Escape ends the program.\n"
    "\n"
    "  FILE           open a session saved by Ctrl+S or recorded with --record: it plays at\n"
    "                 once, and the mouse takes over where it ends, Ctrl+Z taking back its\n"
    "                 steps; it saves nothing, its old error messages are listed on standard\n"
    "                 error, and Escape stops it\n"
    "  --scale N      start with the picture shown N times its size (1 to 16, lowered to what\n"
    "                 the display can show); the window can be resized, and the picture keeps\n"
    "                 the largest whole factor that fits\n"
    "  --record FILE  keep the session in FILE as a replay script for sketch3d-replay, never\n"
    "                 more than a second behind (an opened session comes first in it); FILE\n"
    "                 is a regular file or a new one, never a device or pipe. With\n"
    "                 --record /dev/stdout > FILE it is written in place, and the program's\n"
    "                 own lines go to standard error\n"
    "  --save-dir DIR the folder Ctrl+S saves into (made when missing; default: the current\n"
    "                 folder)\n"
    "  --image FILE   a PNG or BMP of at most 4096 x 4096 pixels to trace: shown faded under\n"
    "                 the drawing, fitted to the window, and a part built over it takes its\n"
    "                 colours; Ctrl+S saves it beside the session as sketch3d-NNN.image.png\n"
    "  --help         show this text\n"
    "\n"
    "Exit codes: 1 the window could not start, or FILE is not a script; 2 usage; 3 a file\n"
    "that cannot be written; 4 FILE cannot be read; 5 the image cannot be used (missing,\n"
    "unreadable, too large, not a PNG or BMP).\n";

struct Arguments {
    const char* record_path;   // null: no recording
    const char* session_path;  // null: nothing to open
    const char* image_path;    // null: no picture to trace
    std::string save_dir;      // "." unless given
    int32_t scale;             // 0: chosen from the desktop's size
};

// --record: the session on disk, rewritten whole when it is due.
struct RecordingFile {
    const char* path;            // null: no recording
    RecordingOutput output;      // how it is written
    bool written;                // written at least once
    RecordingRevision revision;  // what the file holds
    uint32_t written_at;         // SDL tick of the last write
    std::string reported;        // the last failure told, so that each is told once
    bool limit_reported;
};

struct SdlState {
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;  // streaming RGBA, the size of the last presented image
    int32_t texture_width;
    int32_t texture_height;
    KeyLatches keys;
    RecordingFile recording;
    std::string save_dir;
    uint32_t replay_presented_at;  // SDL tick of the last frame shown while a session opened
    std::string opening_name;      // the opened session's file name, for the title
    uint32_t opening_started;      // SDL tick when it started to play
    std::string opened_notice;     // its earlier messages, for the title a while
    uint32_t opened_notice_since;
    float wheel_rest;  // the wheel's turn not yet handed on as whole notches
    // Where the program's own lines go: standard output, unless the recording is written there.
    FILE* report;
};

SdlState state;

// The key that gives '[' or ']' in this keyboard layout, or where a US layout has it when no
// key gives it.
SDL_Scancode bracket_scancode(SDL_Keycode key, SDL_Scancode us_place) {
    const SDL_Scancode scancode = SDL_GetScancodeFromKey(key);
    return scancode != SDL_SCANCODE_UNKNOWN ? scancode : us_place;
}

// Windows virtual key code to the SDL scancode of the key that now produces it: letters and
// the brackets follow the keyboard layout, as Windows virtual keys do; F1..F12, Backspace,
// Delete, Tab, Space and the digits 1..8 of the top row are where they are (VK_1..VK_8 name
// those keys whatever the layout types on them). Other keys have none.
SDL_Scancode scancode_of(int virtual_key) {
    if (virtual_key >= 'A' && virtual_key <= 'Z') {
        return SDL_GetScancodeFromKey(SDL_Keycode('a' + (virtual_key - 'A')));
    }
    if (virtual_key == KEY_BRUSH_SMALLER)
        return bracket_scancode(SDLK_LEFTBRACKET, SDL_SCANCODE_LEFTBRACKET);
    if (virtual_key == KEY_BRUSH_LARGER)
        return bracket_scancode(SDLK_RIGHTBRACKET, SDL_SCANCODE_RIGHTBRACKET);
    if (virtual_key >= KEY_F1 && virtual_key <= KEY_F12) {
        return SDL_Scancode(SDL_SCANCODE_F1 + (virtual_key - KEY_F1));
    }
    if (virtual_key == KEY_BACKSPACE) return SDL_SCANCODE_BACKSPACE;
    if (virtual_key == KEY_DELETE) return SDL_SCANCODE_DELETE;
    if (virtual_key == KEY_TAB) return SDL_SCANCODE_TAB;
    if (virtual_key == KEY_SPACE) return SDL_SCANCODE_SPACE;
    if (virtual_key >= KEY_COLOUR_FIRST && virtual_key <= KEY_COLOUR_LAST)
        return SDL_Scancode(SDL_SCANCODE_1 + (virtual_key - KEY_COLOUR_FIRST));
    return SDL_SCANCODE_UNKNOWN;
}

// The reverse mapping, for latching key presses; -1 for keys without a virtual code here.
int virtual_key_of(const SDL_Keysym& key) {
    if (key.scancode == SDL_SCANCODE_LCTRL || key.scancode == SDL_SCANCODE_RCTRL) {
        return KEY_CONTROL;
    }
    if (key.scancode == SDL_SCANCODE_LSHIFT || key.scancode == SDL_SCANCODE_RSHIFT) {
        return KEY_SHIFT;
    }
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) return 'A' + (key.sym - SDLK_a);
    if (key.scancode == scancode_of(KEY_BRUSH_SMALLER)) return KEY_BRUSH_SMALLER;
    if (key.scancode == scancode_of(KEY_BRUSH_LARGER)) return KEY_BRUSH_LARGER;
    if (key.scancode >= SDL_SCANCODE_F1 && key.scancode <= SDL_SCANCODE_F12) {
        return KEY_F1 + (key.scancode - SDL_SCANCODE_F1);
    }
    if (key.scancode == SDL_SCANCODE_BACKSPACE) return KEY_BACKSPACE;
    if (key.scancode == SDL_SCANCODE_DELETE) return KEY_DELETE;
    if (key.scancode == SDL_SCANCODE_TAB) return KEY_TAB;
    if (key.scancode == SDL_SCANCODE_SPACE) return KEY_SPACE;
    if (key.scancode >= SDL_SCANCODE_1 && key.scancode <= SDL_SCANCODE_8)
        return KEY_COLOUR_FIRST + (key.scancode - SDL_SCANCODE_1);
    return -1;
}

int32_t button_bit(Uint8 button) {
    if (button == SDL_BUTTON_LEFT) return BUTTON_LEFT;
    if (button == SDL_BUTTON_RIGHT) return BUTTON_RIGHT;
    return 0;
}

// Closing the window. SDL reports a close twice (the window's close and then the quit of
// its last window); the shell records and shuts down once.
void close_window() {
    shell_window_destroyed();
}

void handle_event(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            close_window();
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) close_window();
            break;
        case SDL_KEYDOWN:
            // Escape ends the program at once, without the shut-down sequence.
            if (event.key.keysym.sym == SDLK_ESCAPE) shell_character(CHAR_ESCAPE);
            if (event.key.repeat == 0) {
                latch_key_press(&state.keys, virtual_key_of(event.key.keysym));
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (button_bit(event.button.button) != 0) press_button(button_bit(event.button.button));
            break;
        case SDL_MOUSEBUTTONUP:
            if (button_bit(event.button.button) != 0) {
                release_button(button_bit(event.button.button));
            }
            break;
        case SDL_MOUSEWHEEL: {
            // Positive away from the user, toward the object; a system that scrolls the
            // "natural" way reports it the other way round. A touchpad turns by fractions.
            const float turn = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED
                                   ? -event.wheel.preciseY
                                   : event.wheel.preciseY;
            state.wheel_rest += turn;
            // Toward zero: a fraction waits for the rest of its notch either way.
            const auto notches = int32_t(state.wheel_rest);
            state.wheel_rest -= float(notches);
            turn_wheel(notches);
            break;
        }
        default:
            break;
    }
}

// The window's size is `scale` times the picture's in window units; a high-density display
// shows it with more output pixels, so the picture gets a whole number of them per pixel.
bool open_window(int32_t scale) {
    SDL_Rect usable = {0, 0, 0, 0};
    const bool known = SDL_GetDisplayUsableBounds(0, &usable) == 0;
    if (scale <= 0) {
        scale = known ? starting_scale(usable.w, usable.h, CLIENT_WIDTH, CLIENT_HEIGHT) : 1;
    } else if (known) {
        // A window larger than the display would open mostly out of sight.
        const int32_t largest = fitting_scale(usable.w, usable.h, CLIENT_WIDTH, CLIENT_HEIGHT);
        if (scale > largest) {
            std::fprintf(stderr,
                         "sketch3d: --scale %d needs a %d x %d window, more than this display's "
                         "%d x %d; starting at %d\n",
                         int(scale), int(CLIENT_WIDTH * scale), int(CLIENT_HEIGHT * scale),
                         usable.w, usable.h, int(largest));
            scale = largest;
        }
    }
    state.window =
        SDL_CreateWindow((std::string(TITLE_PREFIX) + WINDOW_TITLE).c_str(),
                         SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, CLIENT_WIDTH * scale,
                         CLIENT_HEIGHT * scale, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (state.window == nullptr) return false;
    SDL_SetWindowMinimumSize(state.window, CLIENT_WIDTH, CLIENT_HEIGHT);
    state.renderer = SDL_CreateRenderer(state.window, -1, 0);
    if (state.renderer == nullptr) {
        state.renderer = SDL_CreateRenderer(state.window, -1, SDL_RENDERER_SOFTWARE);
    }
    return state.renderer != nullptr;
}

// Where the picture lies in the window's output now; the window may have been resized.
PictureView current_view(int* output_width, int* output_height) {
    if (SDL_GetRendererOutputSize(state.renderer, output_width, output_height) != 0) {
        *output_width = CLIENT_WIDTH;
        *output_height = CLIENT_HEIGHT;
    }
    return fit_picture(*output_width, *output_height, CLIENT_WIDTH, CLIENT_HEIGHT);
}

// The mouse in picture pixels.
void picture_mouse_position(int32_t* x, int32_t* y) {
    int window_x = 0;
    int window_y = 0;
    SDL_GetMouseState(&window_x, &window_y);
    int window_width = 0;
    int window_height = 0;
    SDL_GetWindowSize(state.window, &window_width, &window_height);
    int output_width = 0;
    int output_height = 0;
    const PictureView view = current_view(&output_width, &output_height);
    *x = window_to_picture(window_x, window_width, output_width, view, false, CLIENT_WIDTH);
    *y = window_to_picture(window_y, window_height, output_height, view, true, CLIENT_HEIGHT);
}

void close_sdl() {
    if (state.texture != nullptr) SDL_DestroyTexture(state.texture);
    if (state.renderer != nullptr) SDL_DestroyRenderer(state.renderer);
    if (state.window != nullptr) SDL_DestroyWindow(state.window);
    state.texture = nullptr;
    state.renderer = nullptr;
    state.window = nullptr;
    SDL_Quit();
}

bool ensure_texture(int32_t width, int32_t height) {
    if (state.texture != nullptr && state.texture_width == width &&
        state.texture_height == height) {
        return true;
    }
    if (state.texture != nullptr) SDL_DestroyTexture(state.texture);
    // RGBA32 is R, G, B, A in byte order on every host, as page_to_rgba writes them.
    state.texture = SDL_CreateTexture(state.renderer, SDL_PIXELFORMAT_RGBA32,
                                      SDL_TEXTUREACCESS_STREAMING, width, height);
    state.texture_width = width;
    state.texture_height = height;
    if (state.texture == nullptr) return false;
    // Scaled up, every picture pixel stays a sharp square.
    SDL_SetTextureScaleMode(state.texture, SDL_ScaleModeNearest);
    return true;
}

// Whether the key is down now: both Ctrl keys count as one, and so do both Shift keys.
bool key_down_now(int virtual_key) {
    const Uint8* keyboard = SDL_GetKeyboardState(nullptr);
    if (virtual_key == KEY_CONTROL)
        return keyboard[SDL_SCANCODE_LCTRL] != 0 || keyboard[SDL_SCANCODE_RCTRL] != 0;
    if (virtual_key == KEY_SHIFT)
        return keyboard[SDL_SCANCODE_LSHIFT] != 0 || keyboard[SDL_SCANCODE_RSHIFT] != 0;
    const SDL_Scancode scancode = scancode_of(virtual_key);
    return scancode != SDL_SCANCODE_UNKNOWN && keyboard[scancode] != 0;
}

// The command line: `--scale N`, `--record FILE` and `--save-dir DIR`, each at most once, and
// a session FILE to open, or `--help` (platform/common/command_line.h). Returns -1 to go on,
// or the exit code after printing the help (0) or what is wrong and the usage (EXIT_USAGE).
int parse_arguments(int argc, char** argv, Arguments* arguments) {
    *arguments = Arguments{nullptr, nullptr, nullptr, ".", 0};
    std::vector<CommandOption> options = {
        integer_option("--scale", 1, MAX_SCALE), text_option("--record", "FILE"),
        text_option("--save-dir", "DIR"), text_option("--image", "FILE")};
    static std::string record_path;
    static std::string image_path;
    static std::string session_path;
    std::string error;
    switch (parse_command_line(argc, argv, &options, "FILE", &session_path, &error, true)) {
        case CommandLineResult::Help:
            std::printf("%s\n%s", USAGE, HELP);
            return 0;
        case CommandLineResult::Bad:
            std::fprintf(stderr, "sketch3d: %s\n%s", error.c_str(), USAGE);
            return EXIT_USAGE;
        case CommandLineResult::Run:
            break;
    }
    record_path = options[1].text;
    if (options[1].given) arguments->record_path = record_path.c_str();
    if (!session_path.empty()) arguments->session_path = session_path.c_str();
    if (options[2].given) arguments->save_dir = options[2].text;
    if (options[0].given) arguments->scale = int32_t(options[0].number);
    image_path = options[3].text;
    if (options[3].given) arguments->image_path = image_path.c_str();
    return -1;
}

// Writes the recording again when it is due: it has changed since the last write, and a step
// ended since (a button let go, a key pressed) or a second has passed; at the end, always.
// False after a write that failed, which is told once on standard error.
bool keep_recording(bool finishing) {
    RecordingFile& file = state.recording;
    if (file.path == nullptr) return true;
    const RecordingRevision revision = recording_revision();
    const uint32_t now = SDL_GetTicks();
    const bool changed = !file.written || revision.changes != file.revision.changes;
    const bool due =
        revision.events != file.revision.events || now - file.written_at >= RECORDING_DELAY_MS;
    if (!finishing && !(changed && due)) return true;
    if (!recording_complete() && !file.limit_reported) {
        std::fprintf(stderr,
                     "sketch3d: the session has outgrown what one script may hold; %s keeps it "
                     "up to here\n",
                     file.path);
        file.limit_reported = true;
    }
    std::string error;
    file.written_at = now;
    if (!write_recording_output(&file.output, recorded_script(), &error)) {
        if (error != file.reported) std::fprintf(stderr, "sketch3d: %s\n", error.c_str());
        file.reported = error;
        return false;
    }
    file.written = true;
    file.revision = revision;
    file.reported.clear();
    return true;
}

// A frame of an opened session at a client pixel: picture pixels are this backend's screen
// positions.
void replay_frame_at(int32_t x, int32_t y) {
    update_mouse(x, y);
    run_frame(state.window);
}

// While a session opens only the close box and Escape count, and end the program at once;
// the user's other buttons and keys are dropped.
bool replay_keep_going() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT ||
            (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
            close_window();
        } else if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) {
            shell_character(CHAR_ESCAPE);
        }
    }
    return !shell_lifecycle().quit_requested;
}

// Plays the opened session into the window, then says on the report stream how it went and
// lists on standard error, once each, the message boxes it showed when it was recorded; the
// title lists them too for a while.
void open_session(const char* path, const Script& session) {
    const char* slash = std::strrchr(path, '/');
    state.opening_name = slash != nullptr ? slash + 1 : path;
    state.opening_started = SDL_GetTicks();
    const int64_t frames =
        play_script_in_window(session, WindowReplayHooks{replay_frame_at, replay_keep_going});
    const WindowReplayProgress progress = window_replay_progress();
    if (shell_lifecycle().quit_requested && progress.frames_played < progress.frames_total) {
        std::fprintf(state.report, "sketch3d: opening %s stopped after %lld of %lld frames\n", path,
                     static_cast<long long>(progress.frames_played),
                     static_cast<long long>(progress.frames_total));
    } else {
        std::fprintf(state.report, "sketch3d: opened %s (%lld frames)\n", path,
                     static_cast<long long>(frames));
    }
    std::fflush(state.report);
    const std::vector<ReplayMessage>& messages = window_replay_messages();
    if (messages.empty()) return;
    std::fprintf(stderr,
                 "sketch3d: %s showed these messages when it was recorded (each listed once, "
                 "not shown again):\n",
                 path);
    for (const ReplayMessage& message : messages) {
        char utf8_text[MESSAGE_UTF8_SIZE];
        char utf8_caption[MESSAGE_UTF8_SIZE];
        cp932_to_utf8_text(message.text.c_str(), utf8_text, MESSAGE_UTF8_SIZE);
        cp932_to_utf8_text(message.caption.c_str(), utf8_caption, MESSAGE_UTF8_SIZE);
        char english[ENGLISH_LINE_SIZE];
        const bool has_english = english_line(message.text.c_str(), english, ENGLISH_LINE_SIZE) > 0;
        std::fprintf(stderr, "  %lld x %s: %s%s%s\n", static_cast<long long>(message.count),
                     utf8_caption, utf8_text, has_english ? "\n      " : "",
                     has_english ? english : "");
    }
    if (window_replay_unlisted_messages() > 0)
        std::fprintf(stderr, "  and %lld more\n",
                     static_cast<long long>(window_replay_unlisted_messages()));
    state.opened_notice = window_replay_message_summary(OPENED_NOTICE_BYTES);
    state.opened_notice_since = SDL_GetTicks();
}

// The opened session's script, read before the window opens; -1 to go on, or the exit code
// after printing why it cannot be opened.
int read_session(const char* path, Script* script) {
    std::string error;
    const int result = read_script_file(path, script, &error);
    if (result == REPLAY_DONE) return -1;
    // A script's own errors name the file and, where they have one, the line.
    if (result == REPLAY_SCRIPT_ERROR) {
        const bool numbered = !error.empty() && error[0] >= '0' && error[0] <= '9';
        std::fprintf(stderr, "sketch3d: %s%s%s\n", path, numbered ? ":" : ": ", error.c_str());
    } else {
        std::fprintf(stderr, "sketch3d: %s\n", error.c_str());
    }
    return result;
}

// With no display SDL falls back to a video driver that shows nothing ("offscreen",
// "dummy"), and the program would run unseen until killed. Such a driver is used only when
// asked for by name (SDL_VIDEODRIVER in the environment).
bool window_can_be_seen() {
    const char* requested = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (requested != nullptr && requested[0] != '\0') return true;
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "offscreen") != 0 &&
           std::strcmp(driver, "dummy") != 0;
}

// The end of a start that failed: SDL closed.
int failed_start(int exit_code) {
    close_sdl();
    return exit_code;
}

// SKETCH3D_FAIL_ALLOCATION=K makes the K-th allocation of start-up fail, to see how an error
// box appears (as the page's ?fail-allocation=K does); anything but an integer 1..2147483647
// is ignored.
void arm_allocation_failure() {
    const char* value = std::getenv("SKETCH3D_FAIL_ALLOCATION");
    int64_t k = 0;
    if (value != nullptr && parse_integer(value, 1, INT32_MAX, &k)) fail_allocation_after(int(k));
}

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (const int exit_code = parse_arguments(argc, argv, &arguments); exit_code >= 0) {
        return exit_code;
    }
    // The picture to trace is read before the window opens.
    DecodedImage image;
    if (arguments.image_path != nullptr) {
        if (const int32_t read = read_picture_file(arguments.image_path, &image); read != 0) {
            std::fprintf(stderr, "sketch3d: %s: %s\n", arguments.image_path,
                         picture_error_text(read));
            return EXIT_IMAGE_UNUSABLE;
        }
    }
    Script session;
    if (arguments.session_path != nullptr) {
        if (const int exit_code = read_session(arguments.session_path, &session); exit_code >= 0)
            return exit_code;
    }
    // The recording is written as the session runs; a file that cannot be written, or one
    // that would replace the opened session, is refused before the window opens, and so is a
    // save folder that cannot be made.
    std::string output_error;
    std::vector<NamedPath> paths;
    if (arguments.session_path != nullptr)
        paths.push_back({"the session", arguments.session_path, false});
    if (arguments.record_path != nullptr)
        paths.push_back({"--record", arguments.record_path, true});
    if (!outputs_apart(paths, &output_error)) {
        std::fprintf(stderr, "sketch3d: %s\n", output_error.c_str());
        return EXIT_USAGE;
    }
    if ((arguments.record_path != nullptr &&
         !open_recording_output(arguments.record_path, &state.recording.output, &output_error)) ||
        !create_output_folder(arguments.save_dir, &output_error)) {
        std::fprintf(stderr, "sketch3d: %s\n", output_error.c_str());
        return EXIT_OUTPUT_FAILED;
    }
    state.recording.path = arguments.record_path;
    state.save_dir = arguments.save_dir;
    state.report = recording_is_standard_output(state.recording.output) ? stderr : stdout;
    // Error texts go to a message box from the first allocation of start-up on.
    set_message_sink(platform_message_box);
    // Painted parts' textures go into the exports through the one PNG encoder.
    set_texture_encoder(
        [](const uint16_t* pixels, int32_t width, int32_t height, std::string* out) {
            return encode_png_555(pixels, width, height, 1, out);
        });
    SDL_SetMainReady();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "sketch3d: cannot start SDL: %s\n", SDL_GetError());
        return failed_start(EXIT_STARTUP_FAILED);
    }
    if (!window_can_be_seen()) {
        std::fprintf(stderr,
                     "sketch3d: no display to show the window on (SDL found only its \"%s\" "
                     "video driver); start it where DISPLAY or WAYLAND_DISPLAY names a display, "
                     "or name a video driver in SDL_VIDEODRIVER\n",
                     SDL_GetCurrentVideoDriver());
        return failed_start(EXIT_STARTUP_FAILED);
    }
    if (!open_window(arguments.scale)) {
        std::fprintf(stderr, "sketch3d: cannot open the window: %s\n", SDL_GetError());
        return failed_start(EXIT_STARTUP_FAILED);
    }
    arm_allocation_failure();
    if (shell_window_created(state.window) < 0) return failed_start(shell_lifecycle().exit_code);
    // The session's first state shows the picture.
    if (image.texels != nullptr) load_trace_image(image, arguments.image_path);
    free_decoded_image(&image);
    if (arguments.session_path != nullptr) {
        open_session(arguments.session_path, session);
        session = Script{};
        keep_recording(false);
    }

    for (;;) {
        SDL_Event event;
        if (SDL_PollEvent(&event)) {
            handle_event(event);
            continue;
        }
        // The queue is drained: nothing more runs once quit was requested.
        if (shell_lifecycle().quit_requested) break;
        int32_t x = 0;
        int32_t y = 0;
        picture_mouse_position(&x, &y);
        update_mouse(x, y);
        run_frame(state.window);
        keep_recording(false);
    }
    close_sdl();
    const bool recorded = keep_recording(true);
    close_recording_output(&state.recording.output);
    if (!recorded) return EXIT_OUTPUT_FAILED;
    return shell_lifecycle().exit_code;
}

// The shell's client area is the picture, whatever size the window has.
void platform_client_size(PlatformWindow, int32_t* width, int32_t* height) {
    *width = CLIENT_WIDTH;
    *height = CLIENT_HEIGHT;
}

void platform_present_page(int32_t index, int32_t width, int32_t height) {
    const MemoryPage* page = memory_page(index);
    if (page == nullptr || state.renderer == nullptr) return;
    // An opened session plays as fast as it can: now and then a frame shows how far it is,
    // and after a second the title says it too.
    if (window_replay_playing()) {
        const uint32_t now = SDL_GetTicks();
        if (now - state.replay_presented_at < REPLAY_PRESENT_MS) return;
        state.replay_presented_at = now;
        if (now - state.opening_started >= REPLAY_PROGRESS_AFTER_MS) {
            SDL_SetWindowTitle(state.window, (std::string(TITLE_PREFIX) +
                                              window_replay_progress_text(state.opening_name))
                                                 .c_str());
        }
    }
    // Never read beyond the page, whatever size is asked for.
    if (width > page->width) width = page->width;
    if (height > page->height) height = page->height;
    if (width <= 0 || height <= 0 || !ensure_texture(width, height)) return;

    void* texels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(state.texture, nullptr, &texels, &pitch) != 0) return;
    for (int32_t row = 0; row < height; ++row) {
        page_to_rgba(page->pixels + size_t(row) * size_t(page->width), width,
                     static_cast<uint8_t*>(texels) + size_t(row) * size_t(pitch));
    }
    SDL_UnlockTexture(state.texture);

    // Bars around the picture; in it, what the image does not cover (the bottom row) shows
    // white, like the Windows class background.
    int output_width = 0;
    int output_height = 0;
    const PictureView view = current_view(&output_width, &output_height);
    SDL_SetRenderDrawColor(state.renderer, BAR_GREY, BAR_GREY, BAR_GREY, 255);
    SDL_RenderClear(state.renderer);
    const SDL_Rect picture = {view.left, view.top, CLIENT_WIDTH * view.factor,
                              CLIENT_HEIGHT * view.factor};
    SDL_SetRenderDrawColor(state.renderer, 255, 255, 255, 255);
    SDL_RenderFillRect(state.renderer, &picture);
    const SDL_Rect area = {0, 0, width, height};
    const SDL_Rect shown = {view.left, view.top, width * view.factor, height * view.factor};
    SDL_RenderCopy(state.renderer, state.texture, &area, &shown);
    SDL_RenderPresent(state.renderer);
}

// The program's name before the shell's title, so that the window can be told from others;
// after it, for a while, the messages an opened session showed before. While a session
// opens, the title says how far it has got instead (platform_present_page).
void platform_set_title(const char* text) {
    if (window_replay_playing()) return;
    std::string title = std::string(TITLE_PREFIX) + text;
    if (!state.opened_notice.empty() &&
        SDL_GetTicks() - state.opened_notice_since < OPENED_NOTICE_MS) {
        title += " - " + state.opened_notice;
    } else {
        state.opened_notice.clear();
    }
    SDL_SetWindowTitle(state.window, title.c_str());
}

void platform_capture_mouse() {
    SDL_CaptureMouse(SDL_TRUE);
}

void platform_release_mouse() {
    SDL_CaptureMouse(SDL_FALSE);
}

void platform_screen_to_client(int32_t*, int32_t*) {}

uint16_t platform_key_state(int virtual_key) {
    if (window_replay_playing()) return window_replay_key_state(virtual_key, true);
    return query_key_latch(&state.keys, virtual_key, key_down_now(virtual_key));
}

uint16_t platform_peek_key_state(int virtual_key) {
    if (window_replay_playing()) return window_replay_key_state(virtual_key, false);
    KeyLatches latches = state.keys;
    return query_key_latch(&latches, virtual_key, key_down_now(virtual_key));
}

uint32_t platform_tick() {
    return window_replay_clock(SDL_GetTicks());
}

// Saves go into --save-dir under the first free number, and the terminal is told.
bool platform_save(const SaveRequest& request, std::string* report) {
    const bool saved = save_numbered_files(state.save_dir, request, report);
    if (saved) {
        std::fprintf(state.report, "sketch3d: saved %s\n", report->c_str());
        std::fflush(state.report);
    } else {
        std::fprintf(stderr, "sketch3d: not saved: %s\n", report->c_str());
    }
    return saved;
}

void platform_message_box(const char* text, const char* caption) {
    // An opened session's boxes are listed once when it has played (open_session).
    if (window_replay_keep_message(text, caption)) return;
    // The Japanese text, then its English line under it (base/messages.h), where it has one.
    char utf8_text[MESSAGE_UTF8_SIZE + ENGLISH_LINE_SIZE];
    char utf8_caption[MESSAGE_UTF8_SIZE];
    const int32_t length = cp932_to_utf8_text(text, utf8_text, MESSAGE_UTF8_SIZE);
    cp932_to_utf8_text(caption, utf8_caption, MESSAGE_UTF8_SIZE);
    char english[ENGLISH_LINE_SIZE];
    if (english_line(text, english, ENGLISH_LINE_SIZE) > 0)
        std::snprintf(utf8_text + length, sizeof utf8_text - size_t(length), "\n%s", english);
    // Like the Windows box, it has no owner window. The text also goes to standard error, for
    // whoever started the program from a terminal, and where no box can be shown.
    std::fprintf(stderr, "%s: %s\n", utf8_caption, utf8_text);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, utf8_caption, utf8_text, nullptr);
}

// The loop reads shell_lifecycle().quit_requested once the queue is drained.
void platform_post_quit(int) {}

// SDL keeps no class cursor: these have nothing to do.
intptr_t platform_current_cursor() {
    return 0;
}
void platform_set_class_cursor(intptr_t) {}
void platform_destroy_cursor(intptr_t) {}
