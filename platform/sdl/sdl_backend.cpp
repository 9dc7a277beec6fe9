// SDL2 backend for Linux and macOS: the program entry, a fixed-size window with the client
// size of the Windows program, the event loop, and pages kept in plain memory and shown
// through a streaming texture.
//
// "Screen" coordinates of this backend are window coordinates: SDL reports positions relative
// to the window (outside it, even negative, while the mouse is captured), so converting them
// to client coordinates changes nothing.
//
// `sketch3d --record FILE` also writes the session as a replay script when the program ends
// (platform/common/session_recorder.h); without arguments it runs as the Windows program does.

// The program has its own main; SDL is told so before it starts.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/memory.h"
#include "app/shell.h"
#include "platform/common/memory_pages.h"
#include "platform/common/output_file.h"
#include "platform/common/page_drawing.h"
#include "platform/common/session_recorder.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_support.h"

namespace {

// The client area that the Windows program's fixed 520 x 508 frame leaves.
constexpr int CLIENT_WIDTH = 514;
constexpr int CLIENT_HEIGHT = 483;
constexpr const char* WINDOW_TITLE = "TEST";
constexpr int TITLE_TEXT_SIZE = 32;
// Room for a converted message: a code page 932 character takes at most 3 UTF-8 bytes for
// its 2 bytes, and the error text is at most 99 bytes.
constexpr int32_t MESSAGE_UTF8_SIZE = 512;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_OUTPUT_FAILED = 3;
constexpr const char* USAGE = "usage: sketch3d [--record FILE]\n";

struct SdlState {
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;  // streaming RGBA, the size of the last presented image
    int32_t texture_width;
    int32_t texture_height;
    KeyLatches keys;
    bool started;  // start_up completed; shut_down is owed at close
    bool quit_requested;
    int exit_code;
    OutputFile recording;  // --record: the script, written as the session runs
};

SdlState state;

// Windows virtual key code to the SDL scancode of the key that now produces it: letters follow
// the keyboard layout, as Windows virtual keys do; F1..F12 are where they are. Other keys have
// none.
SDL_Scancode scancode_of(int virtual_key) {
    if (virtual_key >= 'A' && virtual_key <= 'Z') {
        return SDL_GetScancodeFromKey(SDL_Keycode('a' + (virtual_key - 'A')));
    }
    if (virtual_key >= KEY_F1 && virtual_key <= KEY_F12) {
        return SDL_Scancode(SDL_SCANCODE_F1 + (virtual_key - KEY_F1));
    }
    return SDL_SCANCODE_UNKNOWN;
}

// The reverse mapping, for latching key presses; -1 for keys without a virtual code here.
int virtual_key_of(const SDL_Keysym& key) {
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) return 'A' + (key.sym - SDLK_a);
    if (key.scancode >= SDL_SCANCODE_F1 && key.scancode <= SDL_SCANCODE_F12) {
        return KEY_F1 + (key.scancode - SDL_SCANCODE_F1);
    }
    return -1;
}

int32_t button_bit(Uint8 button) {
    if (button == SDL_BUTTON_LEFT) return BUTTON_LEFT;
    if (button == SDL_BUTTON_RIGHT) return BUTTON_RIGHT;
    return 0;
}

// Closing the window: shut-down once (after a complete start-up), then the quit request.
void close_window() {
    if (state.started) {
        state.started = false;
        record_close();
        shut_down();
    }
    platform_post_quit(0);
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
                platform_post_quit(0);
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

bool open_window() {
    state.window = SDL_CreateWindow(WINDOW_TITLE, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                    CLIENT_WIDTH, CLIENT_HEIGHT, 0);
    if (state.window == nullptr) return false;
    state.renderer = SDL_CreateRenderer(state.window, -1, 0);
    if (state.renderer == nullptr) {
        state.renderer = SDL_CreateRenderer(state.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (state.renderer == nullptr) return false;
    // Draw in window units even where the output has more pixels (high-density displays).
    SDL_RenderSetLogicalSize(state.renderer, CLIENT_WIDTH, CLIENT_HEIGHT);
    return true;
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
    return state.texture != nullptr;
}

// The key query without clearing the pressed-since-query latch, for the recorder.
uint16_t peek_key(int virtual_key) {
    const SDL_Scancode scancode = scancode_of(virtual_key);
    const Uint8* keyboard = SDL_GetKeyboardState(nullptr);
    const bool down = scancode != SDL_SCANCODE_UNKNOWN && keyboard[scancode] != 0;
    KeyLatches latches = state.keys;
    return query_key_latch(&latches, virtual_key, down);
}

// The command line: nothing, or `--record FILE`. False after printing the usage.
bool parse_arguments(int argc, char** argv, const char** record_path) {
    *record_path = nullptr;
    if (argc == 1) return true;
    if (argc == 3 && std::strcmp(argv[1], "--record") == 0) {
        *record_path = argv[2];
        return true;
    }
    std::fprintf(stderr, "%s", USAGE);
    return false;
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
    const char* record_path = nullptr;
    if (!parse_arguments(argc, argv, &record_path)) return EXIT_USAGE;
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
    if (!open_window()) {
        std::fprintf(stderr, "sketch3d: cannot open the window: %s\n", SDL_GetError());
        return failed_start(EXIT_STARTUP_FAILED);
    }
    // The failing step of start-up has shown its message; end without a frame.
    if (start_up(state.window) < 0) return failed_start(EXIT_STARTUP_FAILED);
    state.started = true;
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
        if (state.quit_requested) break;
        int x = 0;
        int y = 0;
        SDL_GetMouseState(&x, &y);
        record_frame(x, y, peek_key);
        update_mouse(x, y);
        run_frame(state.window);
        if (record_path != nullptr) write_output(&state.recording, take_recorded_lines());
    }
    close_sdl();
    if (record_path != nullptr && !save_recording()) return EXIT_OUTPUT_FAILED;
    return state.exit_code;
}

void platform_client_size(PlatformWindow window, int32_t* width, int32_t* height) {
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window*>(window), &w, &h);
    *width = w;
    *height = h;
}

uint16_t* platform_create_page(int32_t index, int32_t width, int32_t height) {
    return create_memory_page(index, width, height);
}

void platform_release_page(int32_t index) {
    release_memory_page(index);
}

// The window needs no drawing context between frame start and presentation.
void platform_acquire_window_context() {}
void platform_release_window_context() {}

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

    // What the image does not cover (the bottom row) shows white, like the Windows class
    // background.
    SDL_SetRenderDrawColor(state.renderer, 255, 255, 255, 255);
    SDL_RenderClear(state.renderer);
    const SDL_Rect area = {0, 0, width, height};
    SDL_RenderCopy(state.renderer, state.texture, &area, &area);
    SDL_RenderPresent(state.renderer);
}

void platform_show_frame_rate(int32_t fps) {
    char text[TITLE_TEXT_SIZE];
    std::snprintf(text, sizeof text, "fps = %d", int(fps));
    SDL_SetWindowTitle(state.window, text);
}

void platform_draw_line(int32_t page, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    draw_memory_page_line(page, x0, y0, x1, y1);
}

void platform_flood_fill(int32_t page, int32_t x, int32_t y, uint16_t fill) {
    flood_fill_memory_page(page, x, y, fill);
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

void platform_post_quit(int exit_code) {
    // The first request decides the exit code.
    if (state.quit_requested) return;
    state.quit_requested = true;
    state.exit_code = exit_code;
}

// SDL keeps no class cursor: these have nothing to do.
intptr_t platform_current_cursor() {
    return 0;
}
void platform_set_class_cursor(intptr_t) {}
void platform_destroy_cursor(intptr_t) {}
