// A body's front picture against the region it was drawn as.
#include "support/front_picture.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "app/outline.h"
#include "geometry/render_list.h"
#include "session/session_fixture.h"

namespace {

// A w x h mask of the screen, 0 beyond it.
struct Mask {
    int32_t w, h;
    std::vector<uint8_t> on;
    uint8_t at(int32_t x, int32_t y) const {
        return x < 0 || y < 0 || x >= w || y >= h ? 0 : on[size_t(y) * size_t(w) + size_t(x)];
    }
    // Whether a pixel of the 3 x 3 block around (x, y) is `value`.
    bool near(int32_t x, int32_t y, uint8_t value) const {
        for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dx = -1; dx <= 1; ++dx)
                if (at(x + dx, y + dy) == value) return true;
        return false;
    }
};

// The region's pixels in screen pixels (pixel (c, r) of the region at model
// point (c + origin_x, r + origin_y), the screen centre at model `shift`, 0).
Mask screen_mask(const RegionMask& region, int32_t w, int32_t h, int32_t shift = 0) {
    Mask mask{w, h, std::vector<uint8_t>(size_t(w) * size_t(h), 0)};
    for (int32_t r = 0; r < region.height; ++r)
        for (int32_t c = 0; c < region.width; ++c) {
            const int32_t x = c + region.origin_x + shift + (w >> 1);
            const int32_t y = r + region.origin_y + (h >> 1);
            if (x >= 0 && y >= 0 && x < w && y < h)
                mask.on[size_t(y) * size_t(w) + size_t(x)] =
                    region.inside[size_t(r) * size_t(region.width) + size_t(c)];
        }
    return mask;
}

}  // namespace

FrontFit measure_front_picture(const RegionMask& region, bool mirrored) {
    FrontFit fit;
    Session session;
    const int32_t w = headless_client_width();
    const int32_t h = headless_client_height() - 1;  // the last row is never drawn
    const Mask drawn = screen_mask(region, w, h);
    // The outline: every pixel outside the region with an inside neighbour,
    // and the click on the inside pixel nearest the region's centroid.
    uint16_t* page = page_pixels(drawing_page_index());
    double sx = 0, sy = 0, n = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            if (drawn.at(x, y) != 0) {
                sx += x, sy += y, n += 1;
            } else if (drawn.at(x - 1, y) != 0 || drawn.at(x + 1, y) != 0 ||
                       drawn.at(x, y - 1) != 0 || drawn.at(x, y + 1) != 0) {
                page[size_t(y) * size_t(w) + size_t(x)] = STROKE_PIXEL;
            }
        }
    if (n == 0) return fit;
    int32_t click_x = 0, click_y = 0;
    double best = INFINITY;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const double d = (x - sx / n) * (x - sx / n) + (y - sy / n) * (y - sy / n);
            if (drawn.at(x, y) != 0 && d < best) best = d, click_x = x, click_y = y;
        }
    session.right_click(click_x, click_y);
    session.tap(KEY_I);
    if (mirrored) {
        session.tap(KEY_M);
        if (figure().part_count != 2) return fit;
        session.tap(KEY_BACKSPACE);
    }
    const EditedObject& body = edited_object();
    // A part of the sheet plane, unscaled: its model x shows offset_x pixels
    // further right.
    const PartPlacement& placed = figure().parts[figure().edited].placement;
    if (body.kind != EDITED_BODY || figure().part_count != 1 || placed.depth != 0 ||
        placed.scale != FIXED_ONE)
        return fit;
    fit.built = true;

    // The region as the fill left it (or its mirror), and the picture.
    const Mask filled = screen_mask(part_region(figure().edited), w, h, placed.offset_x);
    Mask picture{w, h, std::vector<uint8_t>(size_t(w) * size_t(h), 0)};
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            picture.on[size_t(y) * size_t(w) + size_t(x)] = Session::pixel(x, y) != BLUE ? 1 : 0;
    double pictured = 0, outside = 0, regioned = 0, uncovered = 0;
    double px = 0, py = 0, rx = 0, ry = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            if (picture.at(x, y) != 0) {
                pictured += 1, px += x, py += y;
                if (!filled.near(x, y, 1)) outside += 1;
            }
            if (filled.at(x, y) != 0) {
                regioned += 1, rx += x, ry += y;
                if (picture.at(x, y) == 0 && !filled.near(x, y, 0)) uncovered += 1;
            }
        }
    if (pictured > 0 && regioned > 0) {
        fit.outside = outside / pictured;
        fit.uncovered = uncovered / regioned;
        fit.centroid_offset =
            std::hypot(px / pictured - rx / regioned, py / pictured - ry / regioned);
    }
    fit.corners_clear = picture.at(0, 0) == 0 && picture.at(w - 1, 0) == 0 &&
                        picture.at(0, h - 1) == 0 && picture.at(w - 1, h - 1) == 0;
    const RenderList* list = current_render_list();
    fit.nearest_depth = INT32_MAX;
    for (int32_t i = 0; i < body.vertex_count; ++i)
        fit.nearest_depth =
            std::min(fit.nearest_depth, list->screen_vertices[body.first_vertex + i].z);
    return fit;
}
