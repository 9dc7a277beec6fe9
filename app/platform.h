// What the application shell needs from an operating system, and nothing more.
//
// The shell declares this contract and the platform layer below it fulfils
// it: one backend per target (platform/win32/, sdl/, headless/, web/), and
// the build links exactly one. The backend owns the window and the loop: it
// calls the shell's entry points (app/shell.h) for window creation and
// destruction, button messages, typed characters, and, whenever no message is
// waiting and no quit was requested, update_mouse followed by run_frame.
//
// Positions handed to the shell are "screen" coordinates of the backend;
// platform_screen_to_client converts them to client-area pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Opaque window handle handed to the shell at creation.
using PlatformWindow = void*;

// Virtual key numbers the shell asks about (the Windows key codes).
inline constexpr int KEY_BACKSPACE = 0x08;
inline constexpr int KEY_DELETE = 0x2E;
inline constexpr int KEY_Z = 0x5A;
inline constexpr int KEY_F1 = 0x70;
inline constexpr int KEY_F2 = 0x71;
inline constexpr int KEY_F3 = 0x72;
inline constexpr int KEY_F12 = 0x7B;
inline constexpr int KEY_I = 0x49;        // inflate the edited sheet into a body
inline constexpr int KEY_N = 0x4E;        // keep the edited part and add another to the figure
inline constexpr int KEY_M = 0x4D;        // add the mirror of the edited part
inline constexpr int KEY_TAB = 0x09;      // edit the figure's next part
inline constexpr int KEY_CONTROL = 0x11;  // either Ctrl key; with S, save; with Z, undo
inline constexpr int KEY_S = 0x53;
inline constexpr int KEY_Y = 0x59;      // with Ctrl, redo
inline constexpr int KEY_SHIFT = 0x10;  // either Shift key; with Ctrl and Z, redo
inline constexpr int KEY_A = 0x41;      // switch between modelling and animating
inline constexpr int KEY_R = 0x52;      // while animating, start or stop recording a motion
inline constexpr int KEY_SPACE = 0x20;  // while animating, play or pause the loop
// The digit keys 1 to 8 of the main keyboard (VK_1..VK_8): the pen while drawing,
// the edited part's colour while editing (app/part_colours.h).
inline constexpr int KEY_COLOUR_FIRST = 0x31;
inline constexpr int KEY_COLOUR_LAST = 0x38;
// The push brush's radius, a step down and up; the keys of '[' and ']' on a US
// layout (VK_OEM_4, VK_OEM_6).
inline constexpr int KEY_BRUSH_SMALLER = 0xDB;
inline constexpr int KEY_BRUSH_LARGER = 0xDD;
inline constexpr int CHAR_ESCAPE = 27;

inline constexpr int32_t MAX_SCREEN_PAGES = 8;

// Client area size of the window, in pixels.
void platform_client_size(PlatformWindow window, int32_t* width, int32_t* height);

// Pages: top-down 16-bit 5:5:5 images of width x height pixels, row pitch =
// width (width must be even), that the shell writes directly and that the
// backend can draw into and show. Returns the pixel memory, aligned for 32-bit
// stores (the shell clears two pixels per word), or null when the page
// cannot be created. Creating a page first releases the slot.
uint16_t* platform_create_page(int32_t index, int32_t width, int32_t height);
// Releases a page slot (0..MAX_SCREEN_PAGES-1); an empty slot is fine.
void platform_release_page(int32_t index);

// The window's drawing context is held from frame start to presentation.
void platform_acquire_window_context();
void platform_release_window_context();
// Copies the top-left width x height pixels of a page 1:1 to the client area.
void platform_present_page(int32_t index, int32_t width, int32_t height);
// Sets the window title (the shell shows the frame rate there).
void platform_set_title(const char* text);

// Drawing into a page, in client coordinates: a one-pixel black line from
// (x0, y0) to (x1, y1), the end point excluded; and a fill with the 5:5:5
// colour `fill` of every pixel reachable from (x, y) (4-connected) without
// crossing a black pixel. A black start pixel fills nothing.
void platform_draw_line(int32_t page, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void platform_flood_fill(int32_t page, int32_t x, int32_t y, uint16_t fill);

// Mouse capture while a button is held.
void platform_capture_mouse();
void platform_release_mouse();
// Converts a position from screen to client coordinates in place.
void platform_screen_to_client(int32_t* x, int32_t* y);

// Key state in the form of the Windows asynchronous key query: bit 15 set
// while the key is down, bit 0 set when it was pressed since the last query.
uint16_t platform_key_state(int virtual_key);
// The same state without clearing the pressed-since-query bit, for the
// session recorder, which notes before each frame what the frame's queries
// will find.
uint16_t platform_peek_key_state(int virtual_key);

// Millisecond tick counter; wraps at 2^32.
uint32_t platform_tick();

// Message box with the given text (code page 932 bytes) and caption; returns
// when dismissed. The backend converts the text where it needs to, and makes
// this the sink of show_error (set_message_sink, base/memory.h) before it
// creates the window, so that start-up failures are shown.
void platform_message_box(const char* text, const char* caption);

// One save of the session: files of bytes, each NAME.EXTENSION, and the
// picture as shown (5:5:5 pixels, row pitch = width), written as NAME.png.
struct SaveFile {
    const char* extension;  // without the dot: "obj"
    std::string data;
};
struct SaveRequest {
    std::vector<SaveFile> files;
    const uint16_t* picture;
    int32_t width;
    int32_t height;
    // Files whose contents name the save's other files (an OBJ's materials and
    // textures), made for the common name NAME the save's files get
    // ("sketch3d-007"), each then NAME.EXTENSION, before `files`; none when
    // empty. Called while the save is written, perhaps again for another name.
    std::function<std::vector<SaveFile>(const std::string& name)> named_files = nullptr;
};
// Writes a save where the backend keeps them, every file whole or not at
// all, under a name no earlier save or other file there has. Returns true
// with where it wrote in *report (the files' common path without extension,
// as the user should find it), or false with why not; the backend also tells
// the user (standard output, standard error, the page) itself.
bool platform_save(const SaveRequest& request, std::string* report);

// Asks the loop to end with this exit code once the queue is drained. The shell
// calls it once, for the first quit request (shell_request_quit, app/shell.h).
void platform_post_quit(int exit_code);

// Cursor handles: the current one, making one the window class's cursor, and
// destroying one. Backends without cursors return 0 and do nothing.
intptr_t platform_current_cursor();
void platform_set_class_cursor(intptr_t cursor);
void platform_destroy_cursor(intptr_t cursor);
