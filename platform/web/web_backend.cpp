// Browser backend (Emscripten): the page's canvas is the client area, frames run from the
// browser's animation-frame callback, and the page's event handlers (page.js) call the entry
// points at the end of this file. Pages live in plain memory and are shown by converting them
// to RGBA for the canvas. The page's Save control (web_save) saves as Ctrl+S does, every file
// of a numbered save downloaded, and its Open control (web_open) starts the program again on a
// saved or recorded session, played as fast as frames run (platform/common/window_replay.h):
// a slice of it at each animation frame, so that the page stays alive and Escape or Quit can
// end it; it saves nothing, and the message boxes it showed before are listed once, each
// with how often it came, when it has played.
//
// "Screen" coordinates of this backend are canvas pixels: the page converts pointer positions
// before handing them over (outside the canvas, even negative, while the pointer is captured),
// so converting them to client coordinates changes nothing.
//
// The page must not block, so nothing here waits: a frame runs only from an animation frame
// at which the frame interval has already passed since the previous frame start, so the
// pacing poll in begin_frame ends at its first reading; message boxes are notes in the page
// that do not hold up the program.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "app/colour_strokes.h"
#include "app/frame.h"
#include "app/mesh_export.h"
#include "app/part_colours.h"
#include "app/platform.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/trace_image.h"
#include "base/memory.h"
#include "base/messages.h"
#include "platform/common/memory_pages.h"
#include "platform/common/numbered_save.h"
#include "platform/common/page_drawing.h"
#include "platform/common/png_writer.h"
#include "platform/common/script_parser.h"
#include "platform/common/window_replay.h"
#include "platform/web/web_input.h"
#include "raster/texture_loader.h"

namespace {

// The canvas is the client area.
constexpr int32_t CLIENT_PIXELS = CLIENT_WIDTH * CLIENT_HEIGHT;
// An opened session plays for this long at each animation frame, and from this long after it
// started the page says how far it has got.
constexpr double OPENING_SLICE_MS = 20;
constexpr double OPENING_PROGRESS_AFTER_MS = 1000;
constexpr uint16_t WINDOW_BACKGROUND = 0x7FFF;  // white, where no page was ever copied

struct WebState {
    // The client area as last shown, as the canvas shows it: each presentation copies the
    // page into it, and the rest keeps the window background.
    uint16_t window[CLIENT_PIXELS];
    uint8_t rgba[CLIENT_PIXELS * 4];  // the same as R, G, B, A bytes for the canvas
    bool started;                     // start-up completed and the program has not ended
    bool looping;                     // the animation-frame loop runs
    int32_t saves;                    // numbered saves downloaded since the page loaded
    Script opened;                    // the session that Open plays, kept while it plays
    double opening_started;           // when it started to play, in page milliseconds
    // The colour keys as the frame last asked about them, and the key (1..8) of the pen they
    // chose, for the page's swatches (note_colour_key).
    bool colour_down[COLOUR_KEY_COUNT];
    int32_t pen_key;
};

WebState web;

// What the shell receives as the window handle; nothing reads through it.
PlatformWindow window_handle() {
    return &web;
}

// The page's side, in page.js: Module.sketch3dPage holds its callbacks.
// clang-format off
EM_JS(void, page_open_window, (int32_t width, int32_t height, const char* title), {
    Module.sketch3dPage.openWindow(width, height, UTF8ToString(title));
});
EM_JS(int32_t, page_fail_allocation_after, (), {
    return Module.sketch3dPage.failAllocationAfter | 0;
});
EM_JS(void, page_show_image, (const uint8_t* rgba, int32_t width, int32_t height), {
    Module.sketch3dPage.showImage(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
});
EM_JS(void, page_set_title, (const char* text), {
    Module.sketch3dPage.setTitle(UTF8ToString(text));
});
EM_JS(void, page_show_message, (const char* text, int32_t length, const char* caption,
                                const char* english), {
    Module.sketch3dPage.showMessage(HEAPU8.slice(text, text + length), UTF8ToString(caption),
                                    UTF8ToString(english));
});
// How far an opened session has got: `ended` 0 while it plays, 1 once it has played, 2 when
// the program ended before it had.
EM_JS(void, page_opening, (int32_t percent, double frames, int32_t ended), {
    Module.sketch3dPage.opening(percent, frames, ended);
});
EM_JS(void, page_program_ended, (int32_t exit_code, int32_t started), {
    Module.sketch3dPage.programEnded(exit_code, started != 0);
});
EM_JS(void, page_save_file, (const char* name, const char* type, const char* bytes,
                             int32_t length), {
    Module.sketch3dPage.saveFile(UTF8ToString(name), UTF8ToString(type),
                                 HEAPU8.slice(bytes, bytes + length));
});
// The pen chosen with the colour keys: key 1..8, shown on its swatch.
EM_JS(void, page_choose_pen, (int32_t key), {
    Module.sketch3dPage.choosePen(key);
});
// The file the page's Open control read (Module.sketch3dPage.openBytes), copied in.
EM_JS(void, page_copy_opened_file, (char* bytes, int32_t length), {
    HEAPU8.set(Module.sketch3dPage.openBytes.subarray(0, length), bytes);
});
// clang-format on

bool frame_due() {
    const FrameState& frame = frame_state();
    // The same modular difference as begin_frame's, so the counter's wrap is harmless.
    return platform_tick() - frame.last_frame_tick >= frame.frame_interval;
}

void play_opening_slice();

// The loop: an opened session plays a slice at a time; once quit was requested no frame runs;
// otherwise one frame whenever it is due.
EM_BOOL animation_frame(double, void*) {
    if (window_replay_playing()) play_opening_slice();
    if (shell_lifecycle().quit_requested) {
        web.started = false;
        web.looping = false;
        page_program_ended(shell_lifecycle().exit_code, 1);
        return EM_FALSE;
    }
    if (window_replay_playing() || !frame_due()) return EM_TRUE;
    int32_t x = 0;
    int32_t y = 0;
    web_input_position(&x, &y);
    update_mouse(x, y);
    run_frame(window_handle());
    web_input_frame_done();
    return EM_TRUE;
}

// A note under the canvas for a save that produced no file.
void show_save_problem(const char* text, const char* caption) {
    page_show_message(text, int32_t(std::strlen(text)), caption, "");
}

// A frame of an opened session: canvas pixels are this backend's screen positions.
void replay_frame_at(int32_t x, int32_t y) {
    update_mouse(x, y);
    run_frame(window_handle());
}

// Escape and Quit reach the program between slices; within one, nothing can end it.
bool replay_keep_going() {
    return true;
}

// The page's top-left width x height pixels copied into the client area and shown.
void show_window_page(int32_t index, int32_t width, int32_t height) {
    const MemoryPage* page = memory_page(index);
    if (page == nullptr) return;
    // Only what lies on both the page and the client area is copied; the rest of the client
    // area keeps what it showed (white where no page ever reached, like its bottom row).
    if (width > page->width) width = page->width;
    if (height > page->height) height = page->height;
    if (width > CLIENT_WIDTH) width = CLIENT_WIDTH;
    if (height > CLIENT_HEIGHT) height = CLIENT_HEIGHT;
    if (width <= 0 || height <= 0) return;
    for (int32_t row = 0; row < height; ++row) {
        std::memcpy(web.window + size_t(row) * CLIENT_WIDTH,
                    page->pixels + size_t(row) * size_t(page->width), size_t(width) * 2);
    }
    page_to_rgba(web.window, CLIENT_PIXELS, web.rgba);
    page_show_image(web.rgba, CLIENT_WIDTH, CLIENT_HEIGHT);
}

// The end of an opened session: its last frame shown, the page told, and the message boxes it
// showed before listed once each in the page's notes, with how often each came.
void opening_ended() {
    show_window_page(current_page_index(), screen_width(), screen_height());
    const WindowReplayProgress progress = window_replay_progress();
    const bool stopped =
        shell_lifecycle().quit_requested && progress.frames_played < progress.frames_total;
    page_opening(progress.percent, double(progress.frames_played), stopped ? 2 : 1);
    for (const ReplayMessage& message : window_replay_messages()) {
        char english[ENGLISH_LINE_SIZE];
        english_line(message.text.c_str(), english, ENGLISH_LINE_SIZE);
        const std::string caption = message.caption + " (in the opened session, " +
                                    std::to_string(message.count) +
                                    (message.count == 1 ? " time)" : " times)");
        page_show_message(message.text.c_str(), int32_t(message.text.size()), caption.c_str(),
                          english);
    }
    if (window_replay_unlisted_messages() > 0) {
        const std::string more = std::to_string(window_replay_unlisted_messages()) +
                                 " more messages in the opened session";
        show_save_problem(more.c_str(), ERROR_CAPTION);
    }
    web.opened = Script{};
}

// One slice of the opened session; the picture as it stands, and after a second how far it
// has got.
void play_opening_slice() {
    const WindowReplayHooks hooks = {replay_frame_at, replay_keep_going};
    const double start = emscripten_get_now();
    bool playing = true;
    while (playing && emscripten_get_now() - start < OPENING_SLICE_MS)
        playing = continue_window_replay(hooks, 1);
    if (!playing) {
        opening_ended();
        return;
    }
    show_window_page(current_page_index(), screen_width(), screen_height());
    if (emscripten_get_now() - web.opening_started >= OPENING_PROGRESS_AFTER_MS) {
        const WindowReplayProgress progress = window_replay_progress();
        page_opening(progress.percent, double(progress.frames_played), 0);
    }
}

// The frame asks about each colour key once a frame, in every mode, and a key pressed since
// its previous question (held now, or tapped between two frames) chooses the pen when the
// frame is in drawing mode, the last of them when several were; in editing mode it colours the
// part instead. The same questions answered here follow that choice for the page's swatches,
// also while an opened session plays its own keys.
void note_colour_key(int virtual_key, uint16_t state) {
    if (virtual_key < KEY_COLOUR_FIRST || virtual_key > KEY_COLOUR_LAST) return;
    const int32_t k = virtual_key - KEY_COLOUR_FIRST;
    const bool down = (state >> 8) != 0;
    const bool pressed = !web.colour_down[k] && (down || (state & 1) != 0);
    web.colour_down[k] = down;
    if (!pressed || selected_object() != NO_OBJECT || web.pen_key == k + 1) return;
    web.pen_key = k + 1;
    page_choose_pen(web.pen_key);
}

// The window as the page opened it: white, nothing held, the program starting afresh with
// the black pen.
int start_program() {
    for (uint16_t& pixel : web.window)
        pixel = WINDOW_BACKGROUND;
    web_input_reset();
    for (bool& down : web.colour_down)
        down = false;
    web.pen_key = 1;
    page_choose_pen(web.pen_key);
    page_open_window(CLIENT_WIDTH, CLIENT_HEIGHT, WINDOW_TITLE);
    return shell_window_created(window_handle());
}

}  // namespace

int main() {
    // Error texts go to the page from the first allocation of start-up on.
    set_message_sink(platform_message_box);
    // Painted parts' textures go into the exports through the one PNG encoder.
    set_texture_encoder(
        [](const uint16_t* pixels, int32_t width, int32_t height, std::string* out) {
            return encode_png_555(pixels, width, height, 1, out);
        });
    // The page can ask for an allocation failure at start-up, to show how errors appear.
    const int32_t fail_after = page_fail_allocation_after();
    if (fail_after > 0) fail_allocation_after(fail_after);
    if (start_program() < 0) {
        fail_allocation_after(0);
        page_program_ended(shell_lifecycle().exit_code, 0);
        return shell_lifecycle().exit_code;
    }
    web.started = true;
    web.looping = true;
    emscripten_request_animation_frame_loop(animation_frame, nullptr);
    return 0;
}

// The page's event handlers.
extern "C" {

// A pointer event: canvas pixel and the shell's button bits now held; `hover_less` for touch.
// While an opened session plays only the position is kept: the buttons would reach the shell.
EMSCRIPTEN_KEEPALIVE void web_pointer(int32_t x, int32_t y, int32_t buttons, int32_t hover_less) {
    if (web.started)
        web_input_pointer(x, y, window_replay_playing() ? 0 : buttons, hover_less != 0);
}

// A key of the canvas went down (down = 1) or up (0), as a Windows virtual key. While an
// opened session plays the key queries are the session's; a key still held when it ends counts
// from then on.
EMSCRIPTEN_KEEPALIVE void web_key(int32_t virtual_key, int32_t down) {
    if (web.started) web_input_key(virtual_key, down != 0);
}

// The mouse wheel over the canvas, the Closer and Farther controls and a pinch: whole notches,
// positive toward the object. Dropped while an opened session plays, as the buttons are; the
// shell keeps them for the next frame.
EMSCRIPTEN_KEEPALIVE void web_wheel(int32_t notches) {
    if (web.started && !window_replay_playing()) turn_wheel(notches);
}

// A typed character (Escape ends the program at once, without the shut-down sequence).
EMSCRIPTEN_KEEPALIVE void web_char(int32_t code) {
    if (web.started) shell_character(code);
}

// The colour of the swatch of colour key `key` (1..8) as 0xRRGGBB: with `part` 0 the pen's
// strokes as the canvas shows them (key 1 the black outline pen), with `part` 1 the part's
// base colour the key gives in editing mode. -1 for another key.
EMSCRIPTEN_KEEPALIVE int32_t web_colour_key(int32_t key, int32_t part) {
    if (key < 1 || key > COLOUR_KEY_COUNT) return -1;
    if (part != 0) {
        const ColourRecord colour = part_colour_of_key(key);
        return (colour.r << 16) | (colour.g << 8) | colour.b;
    }
    const Rgba8 shown = pixel_to_rgba(pen_pixel(key - 1));
    return (int32_t(shown.r) << 16) | (int32_t(shown.g) << 8) | int32_t(shown.b);
}

// The Save control: a numbered save as Ctrl+S makes it, every file downloaded (platform_save
// below). Between frames; the title says what was saved. Returns 1 when saved.
EMSCRIPTEN_KEEPALIVE int32_t web_save() {
    if (window_replay_playing()) {
        show_save_problem("not saved: the session is still opening", "Save");
        return 0;
    }
    std::string report;
    const bool saved = shell_save(&report);
    if (!saved) show_save_problem(report.c_str(), "Save");
    return saved ? 1 : 0;
}

// The Open control: the page has read a file of `length` bytes (Module.sketch3dPage.openBytes).
// A script starts the program again and plays into the window from the next animation frame
// on (page_opening tells the page how far it has got); then the user goes on from there. A
// file that is no script is refused with a note, and the program goes on as it was. Returns 0
// when it plays, or -1 when refused.
EMSCRIPTEN_KEEPALIVE int32_t web_open(int32_t length) {
    std::string text(size_t(length > 0 ? length : 0), '\0');
    if (length > 0) page_copy_opened_file(text.data(), length);
    Script script;
    std::string error;
    const bool parsed = parse_script(text, &script, &error);
    if (!parsed || script.commands.empty()) {
        const std::string note = "not a session script: " +
                                 (parsed ? std::string("it has no commands") : "line " + error);
        show_save_problem(note.c_str(), "Open");
        return -1;
    }
    text = std::string();
    // The session so far ends as a closed window does (a session still opening with it); the
    // opened one starts afresh.
    if (web.started) shell_window_destroyed();
    web.started = false;
    web.opened = std::move(script);
    if (start_program() < 0) {
        web.opened = Script{};
        page_program_ended(shell_lifecycle().exit_code, 0);
        return -1;
    }
    web.started = true;
    start_window_replay(web.opened);
    web.opening_started = emscripten_get_now();
    if (!web.looping) {
        web.looping = true;
        emscripten_request_animation_frame_loop(animation_frame, nullptr);
    }
    return 0;
}

// The Open image control: the page has read an image file of `length` bytes
// (Module.sketch3dPage.openBytes), which becomes the picture traced under the drawing from the
// next frame on, an undo step (app/trace_image.h). Returns 0, or a negative code with a note
// saying why the picture was refused; but a PNG this build cannot decode
// (TEXTURE_ERROR_NO_DECODER) is refused without a note, and the page decodes it itself and
// hands over a BMP of the same pixels instead.
EMSCRIPTEN_KEEPALIVE int32_t web_open_image(int32_t length) {
    if (!web.started || window_replay_playing()) {
        show_save_problem("image not opened: the session is not ready", "Open image");
        return -1;
    }
    std::string bytes(size_t(length > 0 ? length : 0), '\0');
    if (length > 0) page_copy_opened_file(bytes.data(), length);
    const int32_t result =
        open_trace_image(reinterpret_cast<const uint8_t*>(bytes.data()), int64_t(bytes.size()));
    if (result != 0 && result != TEXTURE_ERROR_NO_DECODER)
        show_save_problem((std::string("image not opened: ") + picture_error_text(result)).c_str(),
                          "Open image");
    return result;
}

}  // extern "C"

// The platform interface.

void platform_client_size(PlatformWindow, int32_t* width, int32_t* height) {
    *width = CLIENT_WIDTH;
    *height = CLIENT_HEIGHT;
}

// An opened session shows a frame at the end of each slice (play_opening_slice).
void platform_present_page(int32_t index, int32_t width, int32_t height) {
    if (!window_replay_playing()) show_window_page(index, width, height);
}

// While a session opens, the page says how far it has got instead (page_opening).
void platform_set_title(const char* text) {
    if (!window_replay_playing()) page_set_title(text);
}

// The page captures the pointer itself when it goes down and keeps it until its last button
// is up, so that no release is lost outside the canvas.
void platform_capture_mouse() {}
void platform_release_mouse() {}

void platform_screen_to_client(int32_t*, int32_t*) {}

uint16_t platform_key_state(int virtual_key) {
    const uint16_t state = window_replay_playing() ? window_replay_key_state(virtual_key, true)
                                                   : web_input_key_state(virtual_key);
    note_colour_key(virtual_key, state);
    return state;
}

uint16_t platform_peek_key_state(int virtual_key) {
    if (window_replay_playing()) return window_replay_key_state(virtual_key, false);
    return web_input_peek_key_state(virtual_key);
}

uint32_t platform_tick() {
    // Milliseconds since the page loaded; the 32-bit counter wraps like the Windows one.
    return window_replay_clock(uint32_t(uint64_t(emscripten_get_now())));
}

// A save downloads its files, numbered by the saves made since the page loaded: the browser
// keeps the downloads, so no name can be checked for.
bool platform_save(const SaveRequest& request, std::string* report) {
    std::string png;
    if (!encode_png_555(request.picture, request.width, request.height, 1, &png)) {
        *report = "the picture could not be encoded as PNG";
        return false;
    }
    const std::string name = numbered_save_path(".", ++web.saves);
    std::string kinds;
    auto download = [&](const char* extension, const std::string& data) {
        const std::string file = name + "." + extension;
        const std::string kind = file.substr(file.rfind('.') + 1);  // "glb" of "animation.glb"
        const std::string type = kind == "txt"   ? "text/plain"
                                 : kind == "png" ? "image/png"
                                 : kind == "glb" ? "model/gltf-binary"
                                 : kind == "mtl" ? "model/mtl"
                                                 : "application/octet-stream";
        page_save_file(file.c_str(), type.c_str(), data.data(), int32_t(data.size()));
        kinds += (kinds.empty() ? "" : " ") + std::string(extension);
    };
    // The files that name others (an OBJ's materials and textures) under this save's name.
    if (request.named_files)
        for (const SaveFile& file : request.named_files(name))
            download(file.extension, file.data);
    for (const SaveFile& file : request.files)
        if (std::string(file.extension) != "txt") download(file.extension, file.data);
    download("png", png);
    for (const SaveFile& file : request.files)
        if (std::string(file.extension) == "txt") download(file.extension, file.data);
    *report = name + " (" + kinds + "), downloaded";
    return true;
}

void platform_message_box(const char* text, const char* caption) {
    // An opened session's boxes are listed once when it has played (opening_ended).
    if (window_replay_keep_message(text, caption)) return;
    // The page decodes code page 932 itself and shows the English line under the text; the
    // note stays until the user dismisses it.
    if (text == nullptr) text = "";
    char english[ENGLISH_LINE_SIZE];
    english_line(text, english, ENGLISH_LINE_SIZE);
    page_show_message(text, int32_t(std::strlen(text)), caption != nullptr ? caption : "", english);
}

// The animation frame loop reads shell_lifecycle().quit_requested before every frame.
void platform_post_quit(int) {}

// The page keeps no class cursor: these have nothing to do.
intptr_t platform_current_cursor() {
    return 0;
}
void platform_set_class_cursor(intptr_t) {}
void platform_destroy_cursor(intptr_t) {}
