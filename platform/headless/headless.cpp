// The headless backend: in-memory pages, a scripted event queue, a virtual
// clock, recorded message boxes and the loop of the shell.
#include "platform/headless/headless.h"

#include <deque>

#include "app/mesh_export.h"
#include "app/session_recorder.h"
#include "app/shell.h"
#include "base/memory.h"
#include "platform/common/numbered_save.h"
#include "platform/common/page_drawing.h"
#include "platform/common/png_writer.h"
#include "platform/common/window_replay.h"

namespace {

constexpr uint16_t WINDOW_BACKGROUND = 0x7FFF;  // the class brush is white
constexpr intptr_t STARTUP_CURSOR = 0x1001;     // stands for the arrow cursor's handle
constexpr int KEY_COUNT = 256;

enum class EventKind { Move, ButtonDown, ButtonUp, KeyDown, KeyUp, Wheel, Char, Close };

struct Event {
    EventKind kind;
    int32_t x, y;  // screen position of the cursor when the event was queued
    int value;     // button bit, virtual key, wheel notches or character code
};

struct Page {
    std::vector<uint16_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
    bool exists = false;
};

struct KeyState {
    bool down = false;
    bool pressed_since_query = false;
};

struct HeadlessState {
    HeadlessConfig config;
    bool open = false;
    bool window_alive = false;  // created and not yet destroyed
    bool running = false;       // the loop has not ended
    bool quit_posted = false;
    int quit_code = 0;
    int exit_code = 0;
    MessageSink previous_sink = nullptr;

    std::deque<Event> queue;
    int32_t cursor_x = 0;  // screen position the next event carries
    int32_t cursor_y = 0;
    int32_t message_x = 0;  // position of the last event retrieved
    int32_t message_y = 0;

    Page pages[MAX_SCREEN_PAGES];
    int32_t page_creations = 0;
    std::vector<uint16_t> window_pixels;
    std::string title;
    KeyState keys[KEY_COUNT];
    bool captured = false;
    bool context_held = false;
    uint32_t clock = 0;
    intptr_t class_cursor = 0;
    int32_t frames = 0;
    int32_t shut_downs = 0;
    std::vector<HeadlessMessage> messages;
    std::vector<std::string> saves;
    int32_t failed_saves = 0;  // into the configured folder, not written
};

HeadlessState headless;

PlatformWindow window_handle() {
    return &headless;
}

void record_message(const char* text, const char* caption) {
    platform_message_box(text, caption);
}

void queue_event(EventKind kind, int value) {
    headless.queue.push_back({kind, headless.cursor_x, headless.cursor_y, value});
}

Page* page_at(int32_t index) {
    if (index < 0 || index >= MAX_SCREEN_PAGES || !headless.pages[index].exists) return nullptr;
    return &headless.pages[index];
}

// What the window procedure does with one message.
void dispatch(const Event& event) {
    switch (event.kind) {
        case EventKind::Move:
            break;
        case EventKind::ButtonDown:
            press_button(event.value);
            break;
        case EventKind::ButtonUp:
            release_button(event.value);
            break;
        case EventKind::KeyDown:
            if (event.value >= 0 && event.value < KEY_COUNT)
                headless.keys[event.value] = {true, true};
            break;
        case EventKind::KeyUp:
            if (event.value >= 0 && event.value < KEY_COUNT)
                headless.keys[event.value].down = false;
            break;
        case EventKind::Wheel:
            turn_wheel(event.value);
            break;
        case EventKind::Char:
            // Escape quits at once; the window stays and shut-down never runs.
            shell_character(event.value);
            break;
        case EventKind::Close:
            // The default handling of the close box destroys the window.
            headless.window_alive = false;
            if (shell_lifecycle().started) ++headless.shut_downs;
            shell_window_destroyed();
            break;
    }
}

// Takes the next waiting event and handles it; false when none is waiting.
bool handle_next_event() {
    if (headless.queue.empty()) return false;
    Event event = headless.queue.front();
    headless.queue.pop_front();
    headless.message_x = event.x;
    headless.message_y = event.y;
    // A destroyed window receives nothing more.
    if (headless.window_alive) dispatch(event);
    return true;
}

// The quit request is retrieved once nothing else is waiting.
bool end_if_quit() {
    if (!headless.quit_posted) return false;
    headless.running = false;
    headless.exit_code = headless.quit_code;
    return true;
}

}  // namespace

int headless_open(const HeadlessConfig& config) {
    if (headless.open) headless_close();
    headless = HeadlessState{};
    headless.config = config;
    if (headless.config.tick_step == 0) headless.config.tick_step = 1;
    headless.clock = config.start_tick;
    headless.open = true;
    headless.window_alive = true;
    headless.running = true;
    headless.title = WINDOW_TITLE;
    int32_t width = config.client_width > 0 ? config.client_width : 0;
    int32_t height = config.client_height > 0 ? config.client_height : 0;
    headless.window_pixels.assign(size_t(width) * size_t(height), WINDOW_BACKGROUND);
    headless.class_cursor = STARTUP_CURSOR;
    headless.cursor_x = config.client_origin_x;
    headless.cursor_y = config.client_origin_y;
    headless.previous_sink = set_message_sink(record_message);
    // Painted parts' textures go into the exports through the one PNG encoder.
    set_texture_encoder(
        [](const uint16_t* pixels, int32_t width, int32_t height, std::string* out) {
            return encode_png_555(pixels, width, height, 1, out);
        });

    return shell_window_created(window_handle());
}

void headless_close() {
    if (!headless.open) return;
    set_message_sink(headless.previous_sink);
    headless = HeadlessState{};
}

void headless_queue_move(int32_t x, int32_t y) {
    headless.cursor_x = x + headless.config.client_origin_x;
    headless.cursor_y = y + headless.config.client_origin_y;
    queue_event(EventKind::Move, 0);
}
void headless_queue_button_down(int32_t button) {
    queue_event(EventKind::ButtonDown, button);
}
void headless_queue_button_up(int32_t button) {
    queue_event(EventKind::ButtonUp, button);
}
void headless_queue_key_down(int virtual_key) {
    queue_event(EventKind::KeyDown, virtual_key);
}
void headless_queue_key_up(int virtual_key) {
    queue_event(EventKind::KeyUp, virtual_key);
}
void headless_queue_wheel(int32_t notches) {
    queue_event(EventKind::Wheel, notches);
}
void headless_queue_char(int code) {
    queue_event(EventKind::Char, code);
}
void headless_queue_close() {
    queue_event(EventKind::Close, 0);
}
int32_t headless_queued_events() {
    return int32_t(headless.queue.size());
}

int32_t headless_run_frames(int32_t frames) {
    int32_t ran = 0;
    while (headless.running && ran < frames) {
        if (handle_next_event()) continue;
        if (end_if_quit()) break;
        update_mouse(headless.message_x, headless.message_y);
        run_frame(window_handle());
        ++ran;
        ++headless.frames;
    }
    return ran;
}

void headless_drain_events() {
    if (!headless.running) return;
    while (handle_next_event()) {
    }
    end_if_quit();
}

bool headless_running() {
    return headless.running;
}
int headless_exit_code() {
    return headless.exit_code;
}
int32_t headless_frame_count() {
    return headless.frames;
}
int32_t headless_shut_down_count() {
    return headless.shut_downs;
}

const uint16_t* headless_page(int32_t index) {
    Page* page = page_at(index);
    return page != nullptr ? page->pixels.data() : nullptr;
}
int32_t headless_client_width() {
    return headless.config.client_width;
}
int32_t headless_client_height() {
    return headless.config.client_height;
}
const std::vector<uint16_t>& headless_window_pixels() {
    return headless.window_pixels;
}
std::string headless_title() {
    return headless.title;
}
bool headless_mouse_captured() {
    return headless.captured;
}
bool headless_window_context_held() {
    return headless.context_held;
}
uint32_t headless_tick() {
    return headless.clock;
}
intptr_t headless_class_cursor() {
    return headless.class_cursor;
}
const std::vector<HeadlessMessage>& headless_messages() {
    return headless.messages;
}
std::string headless_recorded_script() {
    return recorded_script();
}
const std::vector<std::string>& headless_saves() {
    return headless.saves;
}

int32_t headless_failed_saves() {
    return headless.failed_saves;
}

// The platform interface.

void platform_client_size(PlatformWindow, int32_t* width, int32_t* height) {
    *width = headless.config.client_width;
    *height = headless.config.client_height;
}

uint16_t* platform_create_page(int32_t index, int32_t width, int32_t height) {
    if (index < 0 || index >= MAX_SCREEN_PAGES) return nullptr;
    platform_release_page(index);
    if (width <= 0 || height <= 0) return nullptr;
    if (++headless.page_creations == headless.config.fail_page_after) return nullptr;
    Page& page = headless.pages[index];
    page.pixels.assign(size_t(width) * size_t(height), 0);  // fresh pages are black
    page.width = width;
    page.height = height;
    page.exists = true;
    return page.pixels.data();
}

void platform_release_page(int32_t index) {
    if (index < 0 || index >= MAX_SCREEN_PAGES) return;
    headless.pages[index] = Page{};
}

void platform_acquire_window_context() {
    headless.context_held = true;
}
void platform_release_window_context() {
    headless.context_held = false;
}

void platform_present_page(int32_t index, int32_t width, int32_t height) {
    const Page* page = page_at(index);
    if (page == nullptr) return;
    int32_t client_width = headless.config.client_width;
    int32_t client_height = headless.config.client_height;
    // Only what lies on both the page and the client area is copied.
    int32_t columns = width < page->width ? width : page->width;
    int32_t rows = height < page->height ? height : page->height;
    if (columns > client_width) columns = client_width;
    if (rows > client_height) rows = client_height;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < columns; ++x)
            headless.window_pixels[size_t(y) * size_t(client_width) + size_t(x)] =
                page->pixels[size_t(y) * size_t(page->width) + size_t(x)];
}

void platform_set_title(const char* text) {
    headless.title = text;
}

void platform_draw_line(int32_t page, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Page* target = page_at(page);
    if (target == nullptr) return;
    draw_page_line(target->pixels.data(), target->width, target->height, x0, y0, x1, y1,
                   PAGE_BLACK);
}

void platform_flood_fill(int32_t page, int32_t x, int32_t y, uint16_t fill) {
    Page* target = page_at(page);
    if (target == nullptr) return;
    flood_fill_page(target->pixels.data(), target->width, target->height, x, y, fill, PAGE_BLACK);
}

void platform_capture_mouse() {
    headless.captured = true;
}
void platform_release_mouse() {
    headless.captured = false;
}

void platform_screen_to_client(int32_t* x, int32_t* y) {
    *x -= headless.config.client_origin_x;
    *y -= headless.config.client_origin_y;
}

uint16_t platform_peek_key_state(int virtual_key) {
    // A session opened into this window answers from its script while it plays.
    if (window_replay_playing()) return window_replay_key_state(virtual_key, false);
    if (virtual_key < 0 || virtual_key >= KEY_COUNT) return 0;
    const KeyState& key = headless.keys[virtual_key];
    return uint16_t((key.down ? 0x8000 : 0) | (key.pressed_since_query ? 1 : 0));
}

uint16_t platform_key_state(int virtual_key) {
    if (window_replay_playing()) return window_replay_key_state(virtual_key, true);
    uint16_t state = platform_peek_key_state(virtual_key);
    if (virtual_key >= 0 && virtual_key < KEY_COUNT)
        headless.keys[virtual_key].pressed_since_query = false;
    return state;
}

uint32_t platform_tick() {
    // Each reading moves the clock on, so a busy wait always ends.
    uint32_t now = headless.clock;
    headless.clock += headless.config.tick_step;
    return now;
}

void platform_message_box(const char* text, const char* caption) {
    // A session opened into the window keeps its boxes for a list at its end.
    if (window_replay_keep_message(text, caption)) return;
    headless.messages.push_back({text != nullptr ? text : "", caption != nullptr ? caption : ""});
}

// Saves go into the configured folder under the first free number; a session without one
// saves nothing.
bool platform_save(const SaveRequest& request, std::string* report) {
    bool saved = false;
    if (headless.config.save_dir.empty()) {
        *report = "this session has no folder for saves";
    } else {
        saved = save_numbered_files(headless.config.save_dir, request, report);
        if (!saved) ++headless.failed_saves;
    }
    headless.saves.push_back((saved ? "saved " : "not saved: ") + *report);
    return saved;
}

// The quit message waits behind the events already queued.
void platform_post_quit(int exit_code) {
    headless.quit_posted = true;
    headless.quit_code = exit_code;
}

intptr_t platform_current_cursor() {
    return STARTUP_CURSOR;
}
void platform_set_class_cursor(intptr_t cursor) {
    headless.class_cursor = cursor;
}
void platform_destroy_cursor(intptr_t) {}
