// Closing almost-closed strokes around a click before the outline build's fill.
#include "app/outline_gap.h"

#include <cstring>
#include <vector>

#include "app/platform.h"
#include "app/screen.h"
#include "app/stroke_history.h"

namespace {

// The page the fill is tried on: a slot the screen never uses.
constexpr int32_t TRIAL_PAGE = MAX_SCREEN_PAGES - 1;
static_assert(TRIAL_PAGE >= SCREEN_PAGE_COUNT);
// What the trial page holds where the page is not black, and what the trial fill paints.
constexpr uint16_t TRIAL_BACKGROUND = 0x0001;
constexpr uint16_t TRIAL_FILL = 0x7FFF;

struct Point {
    int32_t x, y;
};

// Whether (x, y) lies inside the closed polygon of `points` (even-odd rule: a ray to the
// right crosses its edges an odd number of times). Products in 64 bits cannot overflow.
bool inside(const std::vector<Point>& points, int32_t x, int32_t y) {
    bool odd = false;
    for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
        const Point a = points[j];
        const Point b = points[i];
        if ((a.y > y) == (b.y > y)) continue;
        // The edge crosses the row y at a.x + (y - a.y) (b.x - a.x) / (b.y - a.y); the click
        // is left of it when this holds, multiplied out by (b.y - a.y) with its sign.
        const int64_t left = (int64_t(x) - a.x) * (int64_t(b.y) - a.y);
        const int64_t right = (int64_t(y) - a.y) * (int64_t(b.x) - a.x);
        if (b.y > a.y ? left < right : left > right) odd = !odd;
    }
    return odd;
}

// The strokes whose ends lie 1 to MAX_OUTLINE_GAP pixels apart and whose closed polygon holds
// (x, y): each as the closing segment, from its end to its start.
std::vector<Point> gaps_around(int32_t x, int32_t y) {
    std::vector<Point> closings;
    int32_t count = 0;
    const StrokeSegment* segments = stroke_segments(&count);
    std::vector<Point> points;
    for (int32_t first = 0; first < count;) {
        int32_t last = first;
        while (last + 1 < count && segments[last + 1].press == segments[first].press)
            ++last;
        points.assign(1, Point{segments[first].x0, segments[first].y0});
        for (int32_t i = first; i <= last; ++i)
            points.push_back(Point{segments[i].x1, segments[i].y1});
        const Point start = points.front();
        const Point end = points.back();
        const int64_t dx = int64_t(end.x) - start.x;
        const int64_t dy = int64_t(end.y) - start.y;
        const int64_t gap = dx * dx + dy * dy;
        if (gap >= 1 && gap <= int64_t(MAX_OUTLINE_GAP) * MAX_OUTLINE_GAP && inside(points, x, y)) {
            closings.push_back(end);
            closings.push_back(start);
        }
        first = last + 1;
    }
    return closings;
}

// Whether the fill from (x, y) reaches an edge of the current page, tried on a copy in which
// only black is kept as it is; false when the copy cannot be made.
bool fill_reaches_edge(int32_t x, int32_t y) {
    const uint16_t* page = current_page_pixels();
    const int32_t width = screen_width();
    const int32_t height = screen_height() + 1;  // the page's rows, its last one included
    if (page == nullptr || width <= 0 || height <= 1 ||
        create_screen_page(TRIAL_PAGE, width, height, SCREEN_DEPTH) != 0)
        return false;
    uint16_t* trial = page_pixels(TRIAL_PAGE);
    const int64_t pixels = int64_t(width) * height;
    for (int64_t i = 0; i < pixels; ++i)
        trial[i] = page[i] == 0 ? 0 : TRIAL_BACKGROUND;
    platform_flood_fill(TRIAL_PAGE, x, y, TRIAL_FILL);
    bool reached = false;
    for (int32_t column = 0; column < width && !reached; ++column)
        reached = trial[column] == TRIAL_FILL ||
                  trial[int64_t(height - 1) * width + column] == TRIAL_FILL;
    for (int32_t row = 0; row < height && !reached; ++row)
        reached = trial[int64_t(row) * width] == TRIAL_FILL ||
                  trial[int64_t(row) * width + width - 1] == TRIAL_FILL;
    release_screen_page(TRIAL_PAGE);
    return reached;
}

}  // namespace

int32_t close_outline_gaps(int32_t x, int32_t y) {
    const std::vector<Point> closings = gaps_around(x, y);
    if (closings.empty() || !fill_reaches_edge(x, y)) return 0;
    for (size_t i = 0; i < closings.size(); i += 2)
        platform_draw_line(current_page_index(), closings[i].x, closings[i].y, closings[i + 1].x,
                           closings[i + 1].y);
    return int32_t(closings.size() / 2);
}
