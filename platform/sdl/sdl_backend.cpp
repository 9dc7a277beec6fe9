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
// `sketch3d --scale N` starts at factor N; `--record FILE` also writes the session as a replay
// script (app/session_recorder.h) in picture pixels, so it replays the same at any scale.
// Without arguments it runs as the Windows program does, in a window as large as half the
// desktop allows.

// The program has its own main; SDL is told so before it starts.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/session_recorder.h"
#include "app/shell.h"
#include "base/memory.h"
#include "platform/common/command_line.h"
#include "platform/common/memory_pages.h"
#include "platform/common/output_file.h"
#include "platform/common/page_drawing.h"
#include "platform/common/text_encoding.h"
#include "platform/sdl/sdl_support.h"

namespace {

// Room for a converted message: a code page 932 character takes at most 3 UTF-8 bytes for
// its 2 bytes, and the error text is at most 99 bytes.
constexpr int32_t MESSAGE_UTF8_SIZE = 512;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_OUTPUT_FAILED = 3;
constexpr int MAX_SCALE = 16;
// What the window shows around the picture when its shape does not fit a whole factor.
constexpr Uint8 BAR_GREY = 48;
constexpr const char* USAGE =
    "usage: sketch3d [--scale N] [--record FILE]\n"
    "A value starting with '-' is written --record=./-name.\n";
constexpr const char* HELP =
    "Draw a closed outline with the left button, then right-click inside it: the region\n"
    "becomes a lit sheet. Drag to turn it; hold Z to face it again, and with a button held to\n"
    "push it into relief; F1, F2 and F3 change the shading, F12 throws it away. While drawing,\n"
    "Backspace takes back the last stroke and Delete every stroke. Escape ends the program.\n"
    "\n"
    "  --scale N      start with the picture shown N times its size (1 to 16, lowered to what\n"
    "                 the display can show); the window can be resized, and the picture keeps\n"
    "                 the largest whole factor that fits\n"
    "  --record FILE  write the session as a replay script for sketch3d-replay at the end\n"
    "  --help         show this text\n";

struct Arguments {
    const char* record_path;  // null: no recording
    int32_t scale;            // 0: chosen from the desktop's size
};

struct SdlState {
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;  // streaming RGBA, the size of the last presented image
    int32_t texture_width;
    int32_t texture_height;
    KeyLatches keys;
    OutputFile recording;  // --record: the script, written as the session runs
};

SdlState state;

// Windows virtual key code to the SDL scancode of the key that now produces it: letters follow
// the keyboard layout, as Windows virtual keys do; F1..F12, Backspace and Delete are where they
// are. Other keys have none.
SDL_Scancode scancode_of(int virtual_key) {
    if (virtual_key >= 'A' && virtual_key <= 'Z') {
        return SDL_GetScancodeFromKey(SDL_Keycode('a' + (virtual_key - 'A')));
    }
    if (virtual_key >= KEY_F1 && virtual_key <= KEY_F12) {
        return SDL_Scancode(SDL_SCANCODE_F1 + (virtual_key - KEY_F1));
    }
    if (virtual_key == KEY_BACKSPACE) return SDL_SCANCODE_BACKSPACE;
    if (virtual_key == KEY_DELETE) return SDL_SCANCODE_DELETE;
    return SDL_SCANCODE_UNKNOWN;
}

// The reverse mapping, for latching key presses; -1 for keys without a virtual code here.
int virtual_key_of(const SDL_Keysym& key) {
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) return 'A' + (key.sym - SDLK_a);
    if (key.scancode >= SDL_SCANCODE_F1 && key.scancode <= SDL_SCANCODE_F12) {
        return KEY_F1 + (key.scancode - SDL_SCANCODE_F1);
    }
    if (key.scancode == SDL_SCANCODE_BACKSPACE) return KEY_BACKSPACE;
    if (key.scancode == SDL_SCANCODE_DELETE) return KEY_DELETE;
    return -1;
}

int32_t button_bit(Uint8 button) {
    if (button == SDL_BUTTON_LEFT) return BUTTON_LEFT;
    if (button == SDL_BUTTON_RIGHT) return BUTTON_RIGHT;
    return 0;
}

// Closing the window. SDL reports a close twice (the window's close and then the quit of
// its last window); the recording keeps the one that shuts the program down.
void close_window() {
    if (shell_lifecycle().started) record_close();
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
            if (event.key.keysym.sym == SDLK_ESCAPE) {
                record_char(CHAR_ESCAPE);
                shell_character(CHAR_ESCAPE);
            }
            if (event.key.repeat == 0) {
                latch_key_press(&state.keys, virtual_key_of(event.key.keysym));
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (button_bit(event.button.button) != 0) {
                record_button(button_bit(event.button.button), true);
                press_button(button_bit(event.button.button));
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (button_bit(event.button.button) != 0) {
                record_button(button_bit(event.button.button), false);
                release_button(button_bit(event.button.button));
            }
            break;
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
    state.window = SDL_CreateWindow(WINDOW_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                    CLIENT_WIDTH * scale, CLIENT_HEIGHT * scale,
                                    SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
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

// The key query without clearing the pressed-since-query latch, for the recorder.
uint16_t peek_key(int virtual_key) {
    const SDL_Scancode scancode = scancode_of(virtual_key);
    const Uint8* keyboard = SDL_GetKeyboardState(nullptr);
    const bool down = scancode != SDL_SCANCODE_UNKNOWN && keyboard[scancode] != 0;
    KeyLatches latches = state.keys;
    return query_key_latch(&latches, virtual_key, down);
}

// The command line: `--scale N` and `--record FILE`, each at most once, or `--help`
// (platform/common/command_line.h). Returns -1 to go on, or the exit code after printing
// the help (0) or what is wrong and the usage (EXIT_USAGE).
int parse_arguments(int argc, char** argv, Arguments* arguments) {
    *arguments = Arguments{nullptr, 0};
    std::vector<CommandOption> options = {integer_option("--scale", 1, MAX_SCALE),
                                          text_option("--record", "FILE")};
    std::string error;
    switch (parse_command_line(argc, argv, &options, nullptr, nullptr, &error)) {
        case CommandLineResult::Help:
            std::printf("%s\n%s", USAGE, HELP);
            return 0;
        case CommandLineResult::Bad:
            std::fprintf(stderr, "sketch3d: %s\n%s", error.c_str(), USAGE);
            return EXIT_USAGE;
        case CommandLineResult::Run:
            break;
    }
    static std::string record_path;
    record_path = options[1].text;
    if (options[1].given) arguments->record_path = record_path.c_str();
    if (options[0].given) arguments->scale = int32_t(options[0].number);
    return -1;
}

// Finishes the recording's file; false after printing why it could not be written.
bool save_recording() {
    write_output(&state.recording, recorded_script());
    std::string error;
    if (commit_output(&state.recording, &error)) return true;
    std::fprintf(stderr, "sketch3d: %s\n", error.c_str());
    return false;
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

// The end of a start that failed: SDL closed, the recording's file given up.
int failed_start(int exit_code) {
    close_sdl();
    discard_output(&state.recording);
    return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (const int exit_code = parse_arguments(argc, argv, &arguments); exit_code >= 0) {
        return exit_code;
    }
    const char* record_path = arguments.record_path;
    // The recording is written as the session runs; a file that cannot be written is
    // refused before the window opens, not lost at the end.
    std::string output_error;
    if (record_path != nullptr && !open_output(record_path, &state.recording, &output_error)) {
        std::fprintf(stderr, "sketch3d: %s\n", output_error.c_str());
        return EXIT_OUTPUT_FAILED;
    }
    // Error texts go to a message box from the first allocation of start-up on.
    set_message_sink(platform_message_box);
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
    if (shell_window_created(state.window) < 0) return failed_start(shell_lifecycle().exit_code);
    if (record_path != nullptr) {
        int32_t width = 0;
        int32_t height = 0;
        platform_client_size(state.window, &width, &height);
        start_recording(width, height);
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
        record_frame(x, y, peek_key);
        update_mouse(x, y);
        run_frame(state.window);
        if (record_path != nullptr) write_output(&state.recording, take_recorded_lines());
    }
    close_sdl();
    if (record_path != nullptr && !save_recording()) return EXIT_OUTPUT_FAILED;
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

void platform_set_title(const char* text) {
    SDL_SetWindowTitle(state.window, text);
}

void platform_capture_mouse() {
    SDL_CaptureMouse(SDL_TRUE);
}

void platform_release_mouse() {
    SDL_CaptureMouse(SDL_FALSE);
}

void platform_screen_to_client(int32_t*, int32_t*) {}

uint16_t platform_key_state(int virtual_key) {
    const SDL_Scancode scancode = scancode_of(virtual_key);
    const Uint8* keyboard = SDL_GetKeyboardState(nullptr);
    const bool down = scancode != SDL_SCANCODE_UNKNOWN && keyboard[scancode] != 0;
    record_key_query(virtual_key);
    return query_key_latch(&state.keys, virtual_key, down);
}

uint32_t platform_tick() {
    return SDL_GetTicks();
}

void platform_message_box(const char* text, const char* caption) {
    char utf8_text[MESSAGE_UTF8_SIZE];
    char utf8_caption[MESSAGE_UTF8_SIZE];
    cp932_to_utf8_text(text, utf8_text, MESSAGE_UTF8_SIZE);
    cp932_to_utf8_text(caption, utf8_caption, MESSAGE_UTF8_SIZE);
    // Like the Windows box, it has no owner window; where no box can be shown, the text goes
    // to standard error instead.
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, utf8_caption, utf8_text, nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", utf8_caption, utf8_text);
    }
}

// The loop reads shell_lifecycle().quit_requested once the queue is drained.
void platform_post_quit(int) {}

// SDL keeps no class cursor: these have nothing to do.
intptr_t platform_current_cursor() {
    return 0;
}
void platform_set_class_cursor(intptr_t) {}
void platform_destroy_cursor(intptr_t) {}
