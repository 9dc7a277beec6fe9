// Entry points of the application shell that a platform backend calls.
//
// A backend only translates its system's events into these calls: window
// creation shell_window_created, destruction shell_window_destroyed, typed
// characters shell_character, button-down and button-up messages
// press_button / release_button, the mouse wheel turn_wheel; and whenever
// no message is waiting, unless shell_lifecycle().quit_requested, update_mouse
// with the position of the last message retrieved, then run_frame.
#pragma once

#include <cstdint>
#include <string>

#include "app/platform.h"

// Exit code of a program whose start-up failed (its message has been shown);
// a normal end (window closed, Escape) exits with 0.
inline constexpr int EXIT_STARTUP_FAILED = 1;

// The window every backend opens: its title, and the client area that the
// Windows program's fixed 520 x 508 frame leaves.
inline constexpr const char* WINDOW_TITLE = "TEST";
inline constexpr int32_t CLIENT_WIDTH = 514;
inline constexpr int32_t CLIENT_HEIGHT = 483;

inline constexpr int32_t BUTTON_RIGHT = 1;
inline constexpr int32_t BUTTON_LEFT = 2;

// The lifecycle. Window created: start_up, and when it fails (its message
// shown) the quit request with EXIT_STARTUP_FAILED; returns start_up's result.
// Window destroyed: shut_down, only after a complete start-up and at most
// once, then the quit request with 0. The typed character 27 (Escape): the
// quit request with 0, without shut-down.
int shell_window_created(PlatformWindow window);
void shell_window_destroyed();
void shell_character(int code);
// The quit request: the first one decides the exit code and is handed to
// platform_post_quit, which tells the backend's loop to end. No frame runs
// once it is made.
void shell_request_quit(int exit_code);

struct ShellLifecycle {
    bool started;         // start_up completed; shut_down is owed at destruction
    bool quit_requested;  // no frame runs once set
    int exit_code;        // decided by the first quit request
};
// Where the window's lifecycle stands, for the backend's loop.
const ShellLifecycle& shell_lifecycle();

// The sequences behind the lifecycle (app/startup.h); tests and tools that
// drive a session themselves call them directly.
int start_up(PlatformWindow window);
void shut_down();

void press_button(int32_t bit);
void release_button(int32_t bit);
// The mouse wheel turned by `notches` whole notches, positive away from the
// user (toward the object: the eye comes nearer, app/view_zoom.h). A backend
// whose wheel reports finer steps adds them up and hands on whole notches.
void turn_wheel(int32_t notches);
void update_mouse(int32_t x, int32_t y);

void run_frame(PlatformWindow window);

// Saves the session as it is shown now (app/session_save.h), as Ctrl+S does at
// the end of a frame; for a backend's own save control, between frames. The
// title says where it went for a few seconds. True when saved, with where in
// *report; false with why not.
bool shell_save(std::string* report);
