// The window's lifecycle, the same on every system: start-up when the window is created,
// shut-down once when it is destroyed, Escape and the quit request.
#include "app/shell.h"

#include "app/platform.h"
#include "app/session_recorder.h"

namespace {

ShellLifecycle lifecycle;

}  // namespace

int shell_window_created(PlatformWindow window) {
    // Every window begins like a freshly started program.
    lifecycle = ShellLifecycle{};
    // The session is recorded from its first moment, so that a save can write it whole.
    int32_t width = 0;
    int32_t height = 0;
    platform_client_size(window, &width, &height);
    start_recording(width, height);
    const int result = start_up(window);
    if (result < 0) {
        // The failing step has shown its message; end without a frame, and say so in the
        // exit code.
        shell_request_quit(EXIT_STARTUP_FAILED);
    } else {
        lifecycle.started = true;
    }
    return result;
}

void shell_window_destroyed() {
    // Shut-down frees what a complete start-up built, and runs at most once.
    if (lifecycle.started) {
        record_close();
        lifecycle.started = false;
        shut_down();
    }
    shell_request_quit(0);
}

void shell_character(int code) {
    record_char(code);
    // Escape ends the program at once, without the shut-down sequence.
    if (code == CHAR_ESCAPE) shell_request_quit(0);
}

void shell_request_quit(int exit_code) {
    if (lifecycle.quit_requested) return;
    lifecycle.quit_requested = true;
    lifecycle.exit_code = exit_code;
    platform_post_quit(exit_code);
}

const ShellLifecycle& shell_lifecycle() {
    return lifecycle;
}
