// The headless backend: the platform interface without an operating system,
// for tests and the replay tool. Pages live in memory, input comes from a
// scripted event queue, the clock is virtual (it advances a fixed step each
// time it is read, so frame pacing ends deterministically), message boxes
// are recorded instead of shown, and the window's client area is an image
// that each presentation copies into.
//
// One session at a time: headless_open creates the window (start-up runs),
// the test queues events and runs frames, headless_close forgets everything.
// Positions given to the queue are client pixels; the backend turns them into
// screen positions through the client origin, as a real window would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/shell.h"

struct HeadlessConfig {
    int32_t client_width = CLIENT_WIDTH;
    int32_t client_height = CLIENT_HEIGHT;
    int32_t client_origin_x = 3;  // screen position of the client area's top-left pixel
    int32_t client_origin_y = 22;
    uint32_t start_tick = 0;      // clock value at the first reading
    uint32_t tick_step = 1;       // milliseconds added per reading (at least 1)
    int32_t fail_page_after = 0;  // the k-th page creation (k >= 1) fails; 0: none fails
    // Where saves (Ctrl+S) go: the files of each under the first free number
    // (platform/common/numbered_save.h); empty: saving writes nothing.
    std::string save_dir;
};

struct HeadlessMessage {
    std::string text;  // code page 932 bytes, as shown
    std::string caption;
};

// Opens a session: installs the message recorder as the sink of show_error,
// creates the window and runs start-up. A failed start-up posts the quit
// request, so the loop ends before its first frame. Returns start-up's
// result. An open session is closed first.
int headless_open(const HeadlessConfig& config = HeadlessConfig{});
// Ends the session without any window message: pages, queue and records are
// dropped and the previous message sink comes back. Shut-down does not run
// here; a test that ended through Escape or a failed start-up may call
// shut_down itself to reclaim memory, as the operating system would.
void headless_close();

// Events, in the order they are handled. Each carries the cursor position of
// the moment it was queued, as window messages do.
void headless_queue_move(int32_t x, int32_t y);
void headless_queue_button_down(int32_t button);  // BUTTON_LEFT or BUTTON_RIGHT
void headless_queue_button_up(int32_t button);
void headless_queue_key_down(int virtual_key);
void headless_queue_key_up(int virtual_key);
void headless_queue_wheel(int32_t notches);  // positive toward the object
void headless_queue_char(int code);          // 27 is Escape
void headless_queue_close();                 // the close box: destroy, shut-down, quit
int32_t headless_queued_events();

// Runs the loop until `frames` frames have run or the program has ended:
// waiting events are handled first, a frame runs whenever none is left.
// Returns the frames run.
int32_t headless_run_frames(int32_t frames);
// Handles the waiting events without running a frame; ends the loop if a quit
// was requested.
void headless_drain_events();

bool headless_running();         // false once the loop has ended
int headless_exit_code();        // valid once the loop has ended
int32_t headless_frame_count();  // frames run in this session
int32_t headless_shut_down_count();

// A page's pixels (null for an empty slot) and the client size.
const uint16_t* headless_page(int32_t index);
int32_t headless_client_width();
int32_t headless_client_height();
// The client area as last presented: white (0x7FFF) where nothing was copied.
const std::vector<uint16_t>& headless_window_pixels();
std::string headless_title();  // "TEST" until the first frame
bool headless_mouse_captured();
bool headless_window_context_held();
uint32_t headless_tick();  // the next value the clock will give
intptr_t headless_class_cursor();
const std::vector<HeadlessMessage>& headless_messages();
// The session as a replay script: what the shell received so far, frame by
// frame (app/session_recorder.h). Kept after headless_close until the next
// session starts.
std::string headless_recorded_script();
// What each save of the session did, in order: "saved PATH (KINDS)" or
// "not saved: reason".
const std::vector<std::string>& headless_saves();
// The saves that had a folder (HeadlessConfig::save_dir) and were not written.
int32_t headless_failed_saves();
