// Where a part drawn over another goes in depth: its middle at the other's
// front or back, by a scaling about the eye.
#include "app/part_attachment.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

#include "app/figure.h"
#include "app/screen.h"
#include "geometry/camera.h"
#include "geometry/matrix.h"

namespace {

// A rectangle of client pixels, x0 <= x < x1, y0 <= y < y1.
struct PixelBox {
    int32_t x0, y0, x1, y1;
    int32_t width() const { return x1 - x0; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// Per pixel of a box, the nearest and the farthest figure z of a part's
// surfaces there facing the viewer (+infinity and -infinity where it shows
// nothing).
struct DepthSpans {
    std::vector<double> front, back;
    bool covers(size_t at) const { return front[at] <= back[at]; }
};

// The part's vertices as the camera sees them facing the viewer, and the
// figure z of each (a vertex behind the eye has a negative w: its triangles
// are left out).
void project_part(const FigurePart& part, std::vector<ScreenVertex>* screen,
                  std::vector<double>* z) {
    const PartMesh& mesh = *part.mesh;
    const PartPlacement& p = part.placement;
    const Matrix placed = placement_matrix(p);
    Matrix view;
    matrix_multiply(&view, &placed, build_camera_matrix());
    screen->resize(mesh.vertices.size());
    z->resize(mesh.vertices.size());
    transform_and_project(int(mesh.vertices.size()), screen->data(), mesh.vertices.data(), &view);
    for (size_t i = 0; i < mesh.vertices.size(); ++i)
        (*z)[i] = double(mesh.vertices[i].z) * p.scale / FIXED_ONE + p.depth;
}

// The pixels the part's projected vertices span, within `limit`.
PixelBox part_box(const std::vector<ScreenVertex>& screen, const PixelBox& limit) {
    PixelBox box = {limit.x1, limit.y1, limit.x0, limit.y0};
    for (const ScreenVertex& v : screen) {
        if (v.w < 0) continue;
        box.x0 = std::min(box.x0, v.x);
        box.y0 = std::min(box.y0, v.y);
        box.x1 = std::max(box.x1, v.x + 1);
        box.y1 = std::max(box.y1, v.y + 1);
    }
    return {std::max(box.x0, limit.x0), std::max(box.y0, limit.y0), std::min(box.x1, limit.x1),
            std::min(box.y1, limit.y1)};
}

// Corners within this many pixels of the origin: a triangle's weights,
// products of their differences, then stay far inside 64 bits.
constexpr int64_t EXACT_SPAN = int64_t(1) << 28;

// The part's depth spans over the box: every triangle, turned either way,
// sampled at the pixels in or on it (as part_under_point picks them), its z
// interpolated across it on the screen.
DepthSpans sample_spans(const FigurePart& part, const std::vector<ScreenVertex>& screen,
                        const std::vector<double>& z, const PixelBox& box) {
    DepthSpans spans;
    const size_t count = size_t(box.width()) * size_t(box.y1 - box.y0);
    spans.front.assign(count, std::numeric_limits<double>::infinity());
    spans.back.assign(count, -std::numeric_limits<double>::infinity());
    const auto vertices = int32_t(screen.size());
    for (const MeshTriangle& t : part.mesh->triangles) {
        bool usable = true;
        for (int k = 0; k < 3; ++k)
            usable = usable && t.v[k] >= 0 && t.v[k] < vertices && screen[size_t(t.v[k])].w >= 0;
        if (!usable) continue;
        const ScreenVertex& a = screen[size_t(t.v[0])];
        const ScreenVertex& b = screen[size_t(t.v[1])];
        const ScreenVertex& c = screen[size_t(t.v[2])];
        // Twice the signed areas in 64 bits: corners come from 32-bit pixels.
        auto area = [](int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t cx, int64_t cy) {
            return (bx - ax) * (cy - by) - (by - ay) * (cx - bx);
        };
        const int64_t whole = area(a.x, a.y, b.x, b.y, c.x, c.y);
        if (whole == 0) continue;
        const int64_t sign = whole > 0 ? 1 : -1;
        const int32_t x0 = std::max(box.x0, std::min({a.x, b.x, c.x}));
        const int32_t x1 = std::min(box.x1 - 1, std::max({a.x, b.x, c.x}));
        const int32_t y0 = std::max(box.y0, std::min({a.y, b.y, c.y}));
        const int32_t y1 = std::min(box.y1 - 1, std::max({a.y, b.y, c.y}));
        const double za = z[size_t(t.v[0])], zb = z[size_t(t.v[1])], zc = z[size_t(t.v[2])];
        // Each corner's weight is linear in x and y, so it is stepped from
        // pixel to pixel (the same 64 bits as computed afresh); with corners
        // well inside 32 bits nothing wraps, the pixels of a row in the
        // triangle are one run, and the first after it ends the row.
        bool bounded = true;
        for (const ScreenVertex* v : {&a, &b, &c})
            bounded = bounded && std::abs(int64_t(v->x)) < EXACT_SPAN &&
                      std::abs(int64_t(v->y)) < EXACT_SPAN;
        const int64_t across[3] = {-sign * (int64_t(c.y) - b.y), sign * (int64_t(c.y) - a.y),
                                   -sign * (int64_t(b.y) - a.y)};
        const int64_t down[3] = {sign * (int64_t(c.x) - b.x), sign * (int64_t(a.x) - c.x),
                                 sign * (int64_t(b.x) - a.x)};
        int64_t row[3] = {sign * area(x0, y0, b.x, b.y, c.x, c.y),
                          sign * area(a.x, a.y, x0, y0, c.x, c.y),
                          sign * area(a.x, a.y, b.x, b.y, x0, y0)};
        for (int32_t y = y0; y <= y1; ++y) {
            int64_t a0 = row[0], a1 = row[1], a2 = row[2];
            bool inside = false;
            for (int32_t x = x0; x <= x1; ++x, a0 += across[0], a1 += across[1], a2 += across[2]) {
                if (a0 < 0 || a1 < 0 || a2 < 0) {
                    if (inside && bounded) break;
                    continue;
                }
                inside = true;
                const double at =
                    (double(a0) * za + double(a1) * zb + double(a2) * zc) / double(sign * whole);
                const size_t i = size_t(y - box.y0) * size_t(box.width()) + size_t(x - box.x0);
                spans.front[i] = std::min(spans.front[i], at);
                spans.back[i] = std::max(spans.back[i], at);
            }
            for (int k = 0; k < 3; ++k)
                row[k] += down[k];
        }
    }
    return spans;
}

// n * num / den rounded to the nearest, halves away from zero; den > 0.
int64_t scaled_round(int64_t n, int64_t num, int64_t den) {
    const int64_t product = n * num;
    return product >= 0 ? (product + den / 2) / den : -((-product + den / 2) / den);
}

// The fraction bits of the scaling factor, and the most it scales a part by
// either way.
constexpr int32_t FACTOR_SHIFT = 16;
constexpr int32_t MAX_FACTOR = 64;

}  // namespace

PartPlacement attached_placement(const Figure& f, const FigurePart& part) {
    const int32_t parent = part.parent;
    if (parent < 0 || parent >= f.part_count || part.mesh == nullptr ||
        f.parts[parent].mesh == nullptr)
        return part.placement;
    const int64_t eye = eye_distance();
    const PartPlacement& p = part.placement;
    // The rim plane's distance from the eye along the view axis.
    const int64_t rim = eye + p.depth;
    if (rim <= 0 || p.scale <= 0) return part.placement;

    // Kept between calls: placing a part allocates nothing once they have
    // grown to the largest part.
    static std::vector<ScreenVertex> screen;
    static std::vector<double> z;
    project_part(part, &screen, &z);
    const PixelBox client = {0, 0, screen_width(), screen_height()};
    const PixelBox box = part_box(screen, client);
    if (box.empty()) return part.placement;
    const DepthSpans own = sample_spans(part, screen, z, box);
    project_part(f.parts[parent], &screen, &z);
    const DepthSpans other = sample_spans(f.parts[parent], screen, z, box);

    // Per common pixel, the factor (FACTOR_SHIFT fraction bits) that brings
    // the part's middle there onto the other's surface: the ratio of their
    // distances from the eye along the view axis, which is the same along the
    // ray through the pixel.
    static std::vector<int64_t> factors;
    factors.clear();
    for (size_t i = 0; i < own.front.size(); ++i) {
        if (!own.covers(i) || !other.covers(i)) continue;
        const double middle = double(eye) + (own.front[i] + own.back[i]) / 2;
        const double surface = double(eye) + (part.behind ? other.back[i] : other.front[i]);
        if (middle <= 0 || surface <= 0) continue;
        // Held to a range that the rim's distance times it keeps far inside
        // 64 bits; the placement's limits hold the result anyway.
        const double ratio = std::clamp(surface / middle, 1.0 / MAX_FACTOR, double(MAX_FACTOR));
        factors.push_back(int64_t(ratio * (1 << FACTOR_SHIFT)));
    }
    if (factors.empty()) return part.placement;
    // The lower median: the same element whatever order the equal ones lie in.
    const auto middle = factors.begin() + ptrdiff_t((factors.size() - 1) / 2);
    std::nth_element(factors.begin(), middle, factors.end());
    const int64_t factor = *middle;

    // The rim plane's new distance from the eye, within the limits a placement keeps.
    const int64_t low = MIN_EYE_GAP, high = eye + MAX_PART_DEPTH;
    const int64_t moved =
        std::clamp(scaled_round(rim, factor, int64_t(1) << FACTOR_SHIFT), low, high);
    // Scale and offset grow as the distance did, so that the part shows on
    // the same pixels.
    PartPlacement placed;
    placed.depth = int32_t(moved - eye);
    placed.scale = int32_t(scaled_round(p.scale, moved, rim));
    placed.offset_x = int32_t(scaled_round(p.offset_x, moved, rim));
    return placed;
}

void place_attached_parts(Figure* f, int32_t changed) {
    if (changed < 0 || changed >= f->part_count) return;
    bool moved[MAX_FIGURE_PARTS] = {};
    moved[changed] = true;
    f->parts[changed].placement = attached_placement(*f, f->parts[changed]);
    for (int32_t i = changed + 1; i < f->part_count; ++i) {
        const int32_t parent = f->parts[i].parent;
        if (parent < 0 || parent >= i || !moved[parent]) continue;
        f->parts[i].placement = attached_placement(*f, f->parts[i]);
        moved[i] = true;
    }
}
