// Entry points of the application shell that a platform backend calls.
//
// The backend's loop: on window creation start_up (a negative result posts
// the quit request at once); on destruction shut_down, then the quit request;
// the typed character 27 (Escape) posts the quit request without shut-down;
// button-down and button-up messages press_button / release_button; and
// whenever no message is waiting, update_mouse with the position of the last
// message retrieved, then run_frame. No frame runs once quit was requested.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Exit code of a program whose start-up failed (its message has been shown);
// a normal end (window closed, Escape) exits with 0.
inline constexpr int EXIT_STARTUP_FAILED = 1;

inline constexpr int32_t BUTTON_RIGHT = 1;
inline constexpr int32_t BUTTON_LEFT = 2;

int start_up(PlatformWindow window);
void shut_down();

void press_button(int32_t bit);
void release_button(int32_t bit);
void update_mouse(int32_t x, int32_t y);

void run_frame(PlatformWindow window);
