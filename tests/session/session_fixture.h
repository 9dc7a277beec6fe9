// A whole program session on the headless backend, for the shell and session
// tests: opens the window (start-up runs), offers input helpers in client
// pixels, and on destruction reclaims what the program left (as the operating
// system would after Escape or a failed start-up) and closes the session.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "app/frame.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/startup.h"
#include "base/memory.h"
#include "platform/headless/headless.h"

inline constexpr uint16_t BLUE = 0x001F;

using Points = std::vector<std::pair<int32_t, int32_t>>;

// The closed outline of an ellipse around (cx, cy): `corners` points round it
// and the first again, each rounded to the nearest pixel.
inline Points ellipse_points(int32_t cx, int32_t cy, double rx, double ry, int32_t corners = 48) {
    Points points;
    for (int32_t i = 0; i <= corners; ++i) {
        const double angle = 2 * M_PI * i / corners;
        points.push_back({cx + int32_t(std::lround(rx * std::cos(angle))),
                          cy + int32_t(std::lround(ry * std::sin(angle)))});
    }
    return points;
}

struct Session {
    explicit Session(const HeadlessConfig& config = HeadlessConfig{}) {
        reset_error_log();
        live_blocks_at_start = live_block_count();
        start_up_result = headless_open(config);
    }
    ~Session() {
        fail_allocation_after(0);
        if (headless_shut_down_count() == 0) shut_down();
        headless_close();
        set_packet_area_override(0);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int32_t frames(int32_t n) { return headless_run_frames(n); }

    // A key pressed in one frame and let go in the next.
    void tap(int key) {
        headless_queue_key_down(key);
        frames(1);
        headless_queue_key_up(key);
        frames(1);
    }

    // Pixel (x, y) of page 0, the page every frame draws and shows.
    static uint16_t pixel(int32_t x, int32_t y) {
        return headless_page(0)[size_t(y) * size_t(headless_client_width()) + size_t(x)];
    }

    // Moves there and lets one frame sample the position.
    void hover(int32_t x, int32_t y) {
        headless_queue_move(x, y);
        frames(1);
    }

    // A left-button polyline: one frame per point, so one segment per frame.
    void stroke(const Points& points) {
        hover(points[0].first, points[0].second);
        headless_queue_button_down(BUTTON_LEFT);
        for (size_t i = 1; i < points.size(); ++i) {
            headless_queue_move(points[i].first, points[i].second);
            frames(1);
        }
        headless_queue_button_up(BUTTON_LEFT);
        frames(1);
    }

    // The closed square outline with corners (x0, y0) and (x1, y1).
    void square(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        stroke({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}});
    }

    // Right-click: the build runs in the frame that sees the button down.
    void right_click(int32_t x, int32_t y) {
        hover(x, y);
        headless_queue_button_down(BUTTON_RIGHT);
        frames(1);
        headless_queue_button_up(BUTTON_RIGHT);
    }

    int start_up_result = 0;
    int live_blocks_at_start = 0;
};
