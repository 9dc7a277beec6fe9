// Windows backend: the program entry, the one fixed-size window and its message loop, and the
// GDI side of the screen pages (16-bit DIB sections drawn with lines and flood fills).
//
// Started without arguments it is the program as specified. Ctrl+S saves numbered files into
// the folder of `--save-dir DIR` (the current folder by default), and `sketch3d FILE` opens a
// saved or recorded session (platform/common/window_replay.h): it saves nothing, lists the
// message boxes it showed before on standard error and in the title instead of showing them,
// shows how far it has got in the title after a second, and stops at Escape or the close box.
// `--image FILE` shows a BMP (or, where the build has libpng, PNG) picture under the drawing
// to trace (app/trace_image.h).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/mesh_export.h"
#include "app/platform.h"
#include "app/shell.h"
#include "app/trace_image.h"
#include "base/memory.h"
#include "base/messages.h"
#include "platform/common/command_line.h"
#include "platform/common/numbered_save.h"
#include "platform/common/output_file.h"
#include "platform/common/png_writer.h"
#include "platform/common/script_file.h"
#include "platform/common/window_replay.h"
#include "raster/picture_file.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                   int show_command);
HWND create_main_window(HINSTANCE instance, const char* class_name, const char* title);
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

namespace {

// Outer size of the window, frame and caption included; the client area is what the frame
// metrics leave (514 x 483 with the usual metrics).
constexpr int WINDOW_WIDTH = 520;
constexpr int WINDOW_HEIGHT = 508;
// Title bar, system menu and minimise box: no sizing border and no maximise box.
constexpr DWORD MAIN_WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
static_assert(MAIN_WINDOW_STYLE == 0x00CA0000);
constexpr const char* WINDOW_CLASS_NAME = "ICON_LOOK";
// The system's default application icon and arrow cursor.
constexpr WORD SYSTEM_RESOURCE_APPLICATION = 32512;
constexpr WORD SYSTEM_RESOURCE_ARROW = 32512;
// Code page of every text handed to the message box.
constexpr UINT MESSAGE_CODE_PAGE = 932;
// Wide buffer for a converted message: more than the 100-byte error text can produce.
constexpr int MESSAGE_WIDE_SIZE = 256;
constexpr int KEY_COUNT = 256;
constexpr uint16_t KEY_PRESSED_BIT = 0x0001;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_OUTPUT_FAILED = 3;
constexpr int EXIT_IMAGE_UNUSABLE = 5;
// While an opened session plays, the window shows a frame this often, and from this long
// after it started the title says how far it has got.
constexpr DWORD REPLAY_PRESENT_MS = 100;
constexpr DWORD REPLAY_PROGRESS_AFTER_MS = 1000;
// How long the title lists an opened session's earlier messages, and in how many bytes.
constexpr DWORD OPENED_NOTICE_MS = 10000;
constexpr size_t OPENED_NOTICE_BYTES = 200;
constexpr const char* USAGE = "usage: sketch3d [--save-dir DIR] [--image FILE] [FILE]\n";
constexpr const char* HELP =
    "Draw a closed outline with the left button, then right-click inside it: the region\n"
    "becomes a lit sheet. Drag to turn it; hold Z to face it again, and with a button held to\n"
    "push it into relief; I inflates it into a closed body; F1, F2 and F3 switch the shading,\n"
    "F12 throws it away; 1 to 8 colour it (2 orange, 3 yellow, 4 green, 5 cyan, 6 violet,\n"
    "7 pink, 8 white, 1 red again) and, while drawing, choose the pen (1 the black outline\n"
    "pen; colour strokes never bound the region and go with the part); Backspace and Delete\n"
    "take strokes back. N keeps it and lets you draw another part over it, joined to the part\n"
    "under the right-click (behind it with Shift held), M adds its mirror image, Tab edits\n"
    "the next part, Backspace removes the part being edited. A animates a figure with a\n"
    "body: a click places a control point, a drag bends the figure, a right-click removes\n"
    "the point; R records a drag and R again loops it, Space plays and pauses. Ctrl+Z undoes\n"
    "the last step, Ctrl+Y or Ctrl+Shift+Z redoes it.\n"
    "Ctrl+S saves numbered files sketch3d-NNN.obj, .stl, .glb, .png and .txt (and\n"
    ".animation.glb with a recorded loop). Escape ends the program.\n"
    "\n"
    "  FILE           open a session saved by Ctrl+S: it plays at once, then the mouse goes on\n"
    "                 (Ctrl+Z takes back its steps); it saves nothing, and Escape stops it\n"
    "  --save-dir DIR the folder Ctrl+S saves into (made when missing; default: the current\n"
    "                 folder)\n"
    "  --image FILE   a BMP of at most 4096 x 4096 pixels to trace (this build reads no PNG):\n"
    "                 shown faded under the drawing, fitted to the window, and a part built\n"
    "                 over it takes its colours; Ctrl+S saves it beside the session\n";

struct Win32Page {
    HDC dc;
    HBITMAP bitmap;
    uint16_t* pixels;
};

// A top-down 16-bit section: BITMAPINFOHEADER followed by one colour-table entry of zeros.
struct PageBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[1];
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct Win32State {
    HWND window;
    HDC window_dc;  // held from frame start to presentation
    Win32Page pages[MAX_SCREEN_PAGES];
    // The pressed-since-query bit of each key, which the system clears at every query: a
    // peek for the session recorder keeps it here for the shell's own query.
    bool pressed_since_query[KEY_COUNT];
    POINT cursor;  // screen position carried by the last message retrieved; (0, 0) before any
    std::string save_dir;
    DWORD replay_presented_at;  // tick of the last frame shown while a session opened
    std::string opening_name;   // the opened session's file name, for the title
    DWORD opening_started;      // tick when it started to play
    std::string opened_notice;  // its earlier messages, for the title a while
    DWORD opened_notice_since;
    // The wheel's turn not yet handed on as whole notches: a fine-grained wheel reports
    // fractions of WHEEL_DELTA.
    int32_t wheel_rest;
};

Win32State state;

bool valid_page(int32_t index) {
    return index >= 0 && index < MAX_SCREEN_PAGES;
}

HDC page_dc(int32_t page) {
    return valid_page(page) ? state.pages[page].dc : nullptr;
}

// Widens one 5-bit component to 8 bits by bit replication (31 -> 255), the value GDI maps
// back to the same 5-bit component in a 16-bit section.
BYTE widen_component(uint16_t pixel, int shift) {
    const int c = (pixel >> shift) & 31;
    return BYTE((c << 3) | (c >> 2));
}

// A problem with the command line or the session to open, where no console may show it: on
// standard error, and in a box.
int refuse(int exit_code, const std::string& text) {
    std::fprintf(stderr, "sketch3d: %s\n", text.c_str());
    MessageBoxA(nullptr, text.c_str(), "sketch3d", MB_OK | MB_ICONERROR);
    return exit_code;
}

// The command line: `--save-dir DIR`, `--image FILE` and a session FILE, or `--help`. -1 to
// go on, or the exit code.
int parse_arguments(std::string* session_path, std::string* image_path) {
    std::vector<CommandOption> options = {text_option("--save-dir", "DIR"),
                                          text_option("--image", "FILE")};
    std::string error;
    switch (parse_command_line(__argc, __argv, &options, "FILE", session_path, &error, true)) {
        case CommandLineResult::Help:
            std::printf("%s\n%s", USAGE, HELP);
            std::fflush(stdout);
            return 0;
        case CommandLineResult::Bad:
            return refuse(EXIT_USAGE, error + "\n" + USAGE);
        case CommandLineResult::Run:
            break;
    }
    state.save_dir = options[0].given ? options[0].text : ".";
    if (options[0].given && !create_output_folder(state.save_dir, &error))
        return refuse(EXIT_OUTPUT_FAILED, error);
    if (options[1].given) *image_path = options[1].text;
    return -1;
}

// A frame of an opened session at a client pixel, handed to the shell as a screen position.
void replay_frame_at(int32_t x, int32_t y) {
    POINT point = {x, y};
    ClientToScreen(state.window, &point);
    update_mouse(point.x, point.y);
    run_frame(state.window);
}

// While a session opens the window's messages are handled (the window procedure drops the
// user's buttons and keys meanwhile, but for Escape and the close box, which end the program
// at once); false once the program is ending.
bool replay_keep_going() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return !shell_lifecycle().quit_requested;
}

// Plays the opened session into the window, then lists on standard error, once each, the
// message boxes it showed when it was recorded (by their English lines: the console's code
// page is unknown); the title lists them too for a while.
void open_session(const std::string& path, const Script& session) {
    const size_t separator = path.find_last_of("\\/");
    state.opening_name = separator == std::string::npos ? path : path.substr(separator + 1);
    state.opening_started = GetTickCount();
    play_script_in_window(session, WindowReplayHooks{replay_frame_at, replay_keep_going});
    const std::vector<ReplayMessage>& messages = window_replay_messages();
    if (messages.empty()) return;
    std::fprintf(stderr,
                 "sketch3d: %s showed these messages when it was recorded (each listed once, "
                 "not shown again):\n",
                 path.c_str());
    for (const ReplayMessage& message : messages) {
        char english[ENGLISH_LINE_SIZE];
        if (english_line(message.text.c_str(), english, ENGLISH_LINE_SIZE) == 0)
            std::snprintf(english, sizeof english, "(a message without an English line)");
        std::fprintf(stderr, "  %lld x %s: %s\n", static_cast<long long>(message.count),
                     message.caption.c_str(), english);
    }
    if (window_replay_unlisted_messages() > 0)
        std::fprintf(stderr, "  and %lld more\n",
                     static_cast<long long>(window_replay_unlisted_messages()));
    std::fflush(stderr);
    state.opened_notice = window_replay_message_summary(OPENED_NOTICE_BYTES);
    state.opened_notice_since = GetTickCount();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    std::string session_path;
    std::string image_path;
    if (const int exit_code = parse_arguments(&session_path, &image_path); exit_code >= 0)
        return exit_code;
    // The picture to trace is read before the window opens.
    DecodedImage image;
    if (!image_path.empty()) {
        if (const int32_t read = read_picture_file(image_path.c_str(), &image); read != 0)
            return refuse(EXIT_IMAGE_UNUSABLE, image_path + ": " + picture_error_text(read));
    }
    Script session;
    if (!session_path.empty()) {
        std::string error;
        const int result = read_script_file(session_path, &session, &error);
        if (result != REPLAY_DONE) {
            const bool numbered = !error.empty() && error[0] >= '0' && error[0] <= '9';
            return refuse(result, result == REPLAY_SCRIPT_ERROR
                                      ? session_path + (numbered ? ":" : ": ") + error
                                      : error);
        }
    }
    // Error texts go to a message box from the first allocation of start-up on.
    set_message_sink(platform_message_box);
    // Painted parts' textures go into the exports through the one PNG encoder.
    set_texture_encoder(
        [](const uint16_t* pixels, int32_t width, int32_t height, std::string* out) {
            return encode_png_555(pixels, width, height, 1, out);
        });
    const HWND window = create_main_window(instance, WINDOW_CLASS_NAME, WINDOW_TITLE);
    // Without a window there is nothing to run frames for.
    if (window == nullptr) return EXIT_STARTUP_FAILED;
    // The session's first state shows the picture.
    if (image.texels != nullptr && !shell_lifecycle().quit_requested)
        load_trace_image(image, image_path);
    free_decoded_image(&image);
    ShowWindow(window, show_command);
    UpdateWindow(window);
    if (!session_path.empty() && !shell_lifecycle().quit_requested) {
        open_session(session_path, session);
        session = Script{};
    }

    MSG message;
    for (;;) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return int(message.wParam);
            state.cursor = message.pt;
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        // A quit request whose WM_QUIT a nested loop (a message box) consumed still ends the
        // program; frames never run after it.
        if (shell_lifecycle().quit_requested) return shell_lifecycle().exit_code;
        update_mouse(state.cursor.x, state.cursor.y);
        run_frame(state.window);
    }
}

HWND create_main_window(HINSTANCE instance, const char* class_name, const char* title) {
    WNDCLASSEXA window_class = {};
    // The record's own size: 80 bytes in a 64-bit build, where the 32-bit size 48 is refused.
    window_class.cbSize = sizeof(WNDCLASSEXA);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_procedure;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(SYSTEM_RESOURCE_APPLICATION));
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(SYSTEM_RESOURCE_ARROW));
    window_class.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
    // No menu resource exists under this name, so the window shows no menu.
    window_class.lpszMenuName = class_name;
    window_class.lpszClassName = class_name;
    window_class.hIconSm = LoadIconA(nullptr, MAKEINTRESOURCEA(SYSTEM_RESOURCE_APPLICATION));
    if (RegisterClassExA(&window_class) == 0) return nullptr;
    // Start-up runs inside this call, from WM_CREATE.
    return CreateWindowExA(0, class_name, title, MAIN_WINDOW_STYLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance, nullptr);
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // While an opened session plays, the user's buttons and keys wait for it to end; Escape
    // ends the program at once, as ever.
    const bool escape = message == WM_CHAR && wparam == WPARAM(CHAR_ESCAPE);
    const bool input = (message == WM_CHAR && !escape) || message == WM_LBUTTONDOWN ||
                       message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
                       message == WM_RBUTTONUP || message == WM_MOUSEWHEEL;
    if (input && window_replay_playing()) return DefWindowProcA(window, message, wparam, lparam);
    switch (message) {
        case WM_CREATE:
            state.window = window;
            shell_window_created(window);
            break;
        case WM_DESTROY:
            shell_window_destroyed();
            break;
        case WM_CHAR:
            shell_character(int(wparam));
            break;
        case WM_LBUTTONDOWN:
            press_button(BUTTON_LEFT);
            break;
        case WM_LBUTTONUP:
            release_button(BUTTON_LEFT);
            break;
        case WM_RBUTTONDOWN:
            press_button(BUTTON_RIGHT);
            break;
        case WM_RBUTTONUP:
            release_button(BUTTON_RIGHT);
            break;
        case WM_MOUSEWHEEL: {
            // Positive: turned away from the user, toward the object. A turn stays within
            // a short, so the sum cannot overflow before whole notches are taken from it.
            state.wheel_rest += GET_WHEEL_DELTA_WPARAM(wparam);
            const int32_t notches = state.wheel_rest / WHEEL_DELTA;
            state.wheel_rest -= notches * WHEEL_DELTA;
            turn_wheel(notches);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void platform_client_size(PlatformWindow window, int32_t* width, int32_t* height) {
    RECT client = {0, 0, 0, 0};
    GetClientRect(HWND(window), &client);
    *width = client.right;
    *height = client.bottom;
}

uint16_t* platform_create_page(int32_t index, int32_t width, int32_t height) {
    if (!valid_page(index)) return nullptr;
    platform_release_page(index);
    if (width <= 0 || height <= 0) return nullptr;

    PageBitmapInfo info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;  // negative: row 0 is the top row
    info.header.biPlanes = 1;
    info.header.biBitCount = 16;  // uncompressed 16-bit sections hold 5:5:5 pixels
    info.header.biCompression = BI_RGB;

    // Pages are compatible with the window's context; take it for the call if a frame does
    // not hold it.
    const bool borrowed = state.window_dc == nullptr;
    const HDC reference = borrowed ? GetDC(state.window) : state.window_dc;
    Win32Page& page = state.pages[index];
    page.dc = CreateCompatibleDC(reference);
    void* bits = nullptr;
    if (page.dc != nullptr) {
        page.bitmap = CreateDIBSection(reference, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    if (borrowed && reference != nullptr) ReleaseDC(state.window, reference);
    if (page.bitmap == nullptr || bits == nullptr) {
        platform_release_page(index);
        return nullptr;
    }
    SelectObject(page.dc, page.bitmap);
    page.pixels = static_cast<uint16_t*>(bits);
    return page.pixels;
}

void platform_release_page(int32_t index) {
    if (!valid_page(index)) return;
    Win32Page& page = state.pages[index];
    // The context goes first, so that the bitmap is no longer selected anywhere.
    if (page.dc != nullptr) DeleteDC(page.dc);
    if (page.bitmap != nullptr) DeleteObject(page.bitmap);
    page = Win32Page{};
}

void platform_acquire_window_context() {
    if (state.window_dc == nullptr) state.window_dc = GetDC(state.window);
}

void platform_release_window_context() {
    if (state.window_dc != nullptr) ReleaseDC(state.window, state.window_dc);
    state.window_dc = nullptr;
}

void platform_present_page(int32_t index, int32_t width, int32_t height) {
    const HDC source = page_dc(index);
    if (source == nullptr) return;
    // An opened session plays as fast as it can: now and then a frame shows how far it is,
    // and after a second the title says it too.
    if (window_replay_playing()) {
        const DWORD now = GetTickCount();
        if (now - state.replay_presented_at < REPLAY_PRESENT_MS) return;
        state.replay_presented_at = now;
        if (now - state.opening_started >= REPLAY_PROGRESS_AFTER_MS)
            SetWindowTextA(state.window, window_replay_progress_text(state.opening_name).c_str());
    }
    const bool borrowed = state.window_dc == nullptr;
    const HDC target = borrowed ? GetDC(state.window) : state.window_dc;
    if (target == nullptr) return;
    BitBlt(target, 0, 0, width, height, source, 0, 0, SRCCOPY);
    if (borrowed) ReleaseDC(state.window, target);
}

// The shell's title; after it, for a while, the messages an opened session showed before.
// While a session opens, the title says how far it has got instead (platform_present_page).
void platform_set_title(const char* text) {
    if (window_replay_playing()) return;
    if (!state.opened_notice.empty() &&
        GetTickCount() - state.opened_notice_since < OPENED_NOTICE_MS) {
        SetWindowTextA(state.window, (std::string(text) + " - " + state.opened_notice).c_str());
        return;
    }
    state.opened_notice.clear();
    SetWindowTextA(state.window, text);
}

void platform_draw_line(int32_t page, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const HDC dc = page_dc(page);
    if (dc == nullptr) return;
    // The memory context's default pen: solid, one pixel wide, black; LineTo leaves out the
    // end point.
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    // The shell reads and writes the section memory directly right after.
    GdiFlush();
}

void platform_flood_fill(int32_t page, int32_t x, int32_t y, uint16_t fill) {
    const HDC dc = page_dc(page);
    if (dc == nullptr) return;
    const HBRUSH brush = CreateSolidBrush(
        RGB(widen_component(fill, 10), widen_component(fill, 5), widen_component(fill, 0)));
    if (brush == nullptr) return;
    const HGDIOBJ previous = SelectObject(dc, brush);
    // Fills outwards from (x, y) up to black pixels; a black or outside start fills nothing.
    ExtFloodFill(dc, x, y, RGB(0, 0, 0), FLOODFILLBORDER);
    SelectObject(dc, previous);
    DeleteObject(brush);
    GdiFlush();
}

void platform_capture_mouse() {
    SetCapture(state.window);
}

void platform_release_mouse() {
    ReleaseCapture();
}

void platform_screen_to_client(int32_t* x, int32_t* y) {
    POINT point = {*x, *y};
    ScreenToClient(state.window, &point);
    *x = point.x;
    *y = point.y;
}

// The asynchronous key query. A peek keeps the pressed-since-query bit that the system's
// query clears, so that the shell's own query still reports it.
uint16_t query_key(int virtual_key, bool clear) {
    if (window_replay_playing()) return window_replay_key_state(virtual_key, clear);
    if (virtual_key < 0 || virtual_key >= KEY_COUNT) return 0;
    uint16_t key_state = uint16_t(GetAsyncKeyState(virtual_key));
    bool& kept = state.pressed_since_query[virtual_key];
    if (kept) key_state |= KEY_PRESSED_BIT;
    kept = !clear && (key_state & KEY_PRESSED_BIT) != 0;
    // Backspace, Delete and Tab are typing keys, N and M letters that add a part, [ and ]
    // signs that size the push brush, A, R and Space animate, record and play, the digits
    // 1..8 choose the pen or the part's colour, and Ctrl+S,
    // Ctrl+Z and Ctrl+Y (Ctrl+Shift+Z) are shortcuts: they count only while this window has
    // the keyboard, so that typing in another program takes back no stroke, changes no
    // figure, colour or brush, animates, undoes and saves nothing. The query above still runs, so
    // that a press made elsewhere is not reported once the window is back in front.
    if ((virtual_key == KEY_BACKSPACE || virtual_key == KEY_DELETE || virtual_key == KEY_TAB ||
         virtual_key == KEY_N || virtual_key == KEY_M || virtual_key == KEY_CONTROL ||
         virtual_key == KEY_S || virtual_key == KEY_Y || virtual_key == KEY_SHIFT ||
         virtual_key == KEY_BRUSH_SMALLER || virtual_key == KEY_BRUSH_LARGER ||
         virtual_key == KEY_A || virtual_key == KEY_R || virtual_key == KEY_SPACE ||
         (virtual_key >= KEY_COLOUR_FIRST && virtual_key <= KEY_COLOUR_LAST)) &&
        GetForegroundWindow() != state.window) {
        return 0;
    }
    return key_state;
}

uint16_t platform_key_state(int virtual_key) {
    return query_key(virtual_key, true);
}

uint16_t platform_peek_key_state(int virtual_key) {
    return query_key(virtual_key, false);
}

uint32_t platform_tick() {
    return window_replay_clock(GetTickCount());
}

// Saves go into the --save-dir folder under the first free number, and standard output is
// told where.
bool platform_save(const SaveRequest& request, std::string* report) {
    const bool saved = save_numbered_files(state.save_dir, request, report);
    std::fprintf(saved ? stdout : stderr, "sketch3d: %s%s\n",
                 saved ? "saved " : "not saved: ", report->c_str());
    std::fflush(saved ? stdout : stderr);
    return saved;
}

void platform_message_box(const char* text, const char* caption) {
    // An opened session's boxes are listed once when it has played (open_session).
    if (window_replay_keep_message(text, caption)) return;
    // The texts are code page 932 bytes. Converting them here shows them right whatever the
    // system's ANSI code page is; if the conversion fails the bytes go to the ANSI box as
    // they are.
    wchar_t wide_text[MESSAGE_WIDE_SIZE];
    wchar_t wide_caption[MESSAGE_WIDE_SIZE];
    const int text_length =
        MultiByteToWideChar(MESSAGE_CODE_PAGE, 0, text, -1, wide_text, MESSAGE_WIDE_SIZE);
    const int caption_length =
        MultiByteToWideChar(MESSAGE_CODE_PAGE, 0, caption, -1, wide_caption, MESSAGE_WIDE_SIZE);
    if (text_length > 0 && caption_length > 0) {
        MessageBoxW(nullptr, wide_text, wide_caption, MB_OK);
    } else {
        MessageBoxA(nullptr, text, caption, MB_OK);
    }
}

void platform_post_quit(int exit_code) {
    PostQuitMessage(exit_code);
}

intptr_t platform_current_cursor() {
    return intptr_t(GetCursor());
}

void platform_set_class_cursor(intptr_t cursor) {
    SetClassLongPtrA(state.window, GCLP_HCURSOR, LONG_PTR(cursor));
}

void platform_destroy_cursor(intptr_t cursor) {
    DestroyCursor(HCURSOR(cursor));
}
