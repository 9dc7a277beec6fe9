// The colour keys 1 to 8: in editing mode the edited part's base colour, an
// undo step, copied by M; while drawing the pen, whose colour strokes change
// no region and go with the part built over them.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>
#include <vector>

#include "app/colour_strokes.h"
#include "app/edited_object.h"
#include "app/part_colours.h"
#include "app/part_texture.h"
#include "app/undo_history.h"
#include "geometry/render_list.h"
#include "raster/render_state.h"
#include "session/session_fixture.h"

namespace {

using Picture = std::vector<uint16_t>;

int colour_key(int32_t k) {
    return KEY_COLOUR_FIRST + k - 1;
}

bool same_colour(const ColourRecord& a, const ColourRecord& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.spare == b.spare;
}

// The 5:5:5 pixel's component that is largest: 0 red, 1 green, 2 blue (the first of equals).
int32_t strongest(int32_t r, int32_t g, int32_t b) {
    return r >= g && r >= b ? 0 : g >= b ? 1 : 2;
}

// The bounds of the pixels in which two pictures of the window differ; an
// empty box (left > right) when they are equal.
struct Box {
    int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
};
Box differing(const Picture& a, const Picture& b) {
    Box box;
    const int32_t width = headless_client_width();
    for (size_t at = 0; at < a.size() && at < b.size(); ++at) {
        if (a[at] == b[at]) continue;
        const int32_t x = int32_t(at % size_t(width)), y = int32_t(at / size_t(width));
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
               std::max(box.bottom, y)};
    }
    return box;
}

uint16_t window_pixel(const Picture& picture, int32_t x, int32_t y) {
    return picture[size_t(y) * size_t(headless_client_width()) + size_t(x)];
}

int32_t strongest_of(uint16_t pixel) {
    return strongest((pixel >> 10) & 31, (pixel >> 5) & 31, pixel & 31);
}

void undo(Session& session) {
    headless_queue_key_down(KEY_CONTROL);
    session.tap(KEY_Z);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
}

}  // namespace

TEST(ColourKeys, SetTheEditedPartsLitColourAsAnUndoStepThatMirrorsCopy) {
    Session session;
    // While drawing a key chooses the pen, a setting: it colours no part, and is not kept for
    // the part built next.
    session.stroke(ellipse_points(257, 300, 75, 105, 32));
    const Picture drawn = headless_window_pixels();
    session.tap(colour_key(3));
    EXPECT_EQ(headless_window_pixels(), drawn);
    EXPECT_EQ(undo_history_stats().undo_steps, 1);  // the stroke alone
    session.tap(colour_key(1));
    session.right_click(257, 300);
    session.tap(KEY_I);
    ASSERT_EQ(figure().part_count, 1);
    EXPECT_TRUE(same_colour(figure().parts[0].colour, DEFAULT_PART_COLOUR));
    const Picture red = headless_window_pixels();
    const int32_t steps = undo_history_stats().undo_steps;

    // Each key gives the body its colour, lit: the sampled pixel's strongest component is the
    // colour's, and no two keys light the same pixel; 1 gives back the red picture exactly.
    std::set<uint16_t> lit;
    for (int32_t k = 2; k <= COLOUR_KEY_COUNT + 1; ++k) {
        const int32_t key = k <= COLOUR_KEY_COUNT ? k : 1;
        session.tap(colour_key(key));
        const ColourRecord colour = part_colour_of_key(key);
        EXPECT_TRUE(same_colour(figure().parts[0].colour, colour)) << key;
        const uint16_t pixel = Session::pixel(257, 300);
        lit.insert(pixel);
        EXPECT_EQ(strongest((pixel >> 10) & 31, (pixel >> 5) & 31, pixel & 31),
                  strongest(colour.r, colour.g, colour.b))
            << key;
    }
    EXPECT_EQ(lit.size(), size_t(COLOUR_KEY_COUNT));
    EXPECT_EQ(headless_window_pixels(), red);
    EXPECT_EQ(undo_history_stats().undo_steps, steps + COLOUR_KEY_COUNT);

    // Undo takes a colour back; M copies the colour with the part.
    session.tap(colour_key(4));
    const Picture green = headless_window_pixels();
    undo(session);
    EXPECT_EQ(headless_window_pixels(), red);
    session.tap(colour_key(4));
    EXPECT_EQ(headless_window_pixels(), green);
    session.tap(KEY_M);
    ASSERT_EQ(figure().part_count, 2);
    EXPECT_TRUE(same_colour(figure().parts[1].colour, part_colour_of_key(4)));

    // While a part is added the keys colour none of the figure's parts.
    session.tap(KEY_N);
    session.tap(colour_key(6));
    EXPECT_TRUE(same_colour(figure().parts[0].colour, part_colour_of_key(4)));
    EXPECT_TRUE(same_colour(figure().parts[1].colour, part_colour_of_key(4)));
    EXPECT_TRUE(headless_messages().empty());
}

// A colour stroke across the outline: shown while drawing but never in the page the fill reads,
// taken back by undo and Backspace like any stroke, and kept with the part built from the
// region it touches as its painting (mirrored by M), the region that without it; the sheet
// shows it where it lies inside the outline.
TEST(ColourKeys, ColourStrokesShowLeaveTheRegionAloneAndGoWithThePart) {
    const Points outline = ellipse_points(257, 300, 75, 105, 32);
    Picture plain_sheet;
    RegionMask plain_region;
    {
        Session session;
        session.stroke(outline);
        session.right_click(257, 300);
        session.frames(1);
        plain_sheet = headless_window_pixels();
        plain_region = part_region(0);
    }
    Session session;
    session.stroke(outline);
    session.tap(colour_key(3));
    const Picture outline_only = headless_window_pixels();
    const int32_t across_y = 300;  // from outside the outline's left edge (x 182) to inside it
    session.stroke({{150, across_y}, {300, across_y}});
    session.stroke({{20, 20}, {60, 20}});  // outside: shown, not kept
    const size_t width = size_t(headless_client_width());
    const uint16_t yellow = pen_pixel(2);
    for (int32_t x : {150, 182, 299})
        EXPECT_EQ(headless_window_pixels()[size_t(across_y) * width + size_t(x)], yellow) << x;
    EXPECT_EQ(Session::pixel(182, across_y), 0);  // the page keeps the black outline
    EXPECT_NE(Session::pixel(150, across_y), yellow);
    session.tap(KEY_BACKSPACE);
    EXPECT_EQ(headless_window_pixels()[20 * width + 40], BLUE);
    for (int32_t step = 0; step < 3; ++step)  // Backspace, then both strokes
        undo(session);
    EXPECT_EQ(headless_window_pixels(), outline_only);
    session.stroke({{150, across_y}, {300, across_y}});
    session.stroke({{20, 20}, {60, 20}});

    session.right_click(257, 300);
    session.frames(1);
    // The sheet shows the stroke inside its outline, two texels (of two
    // points each, for a part this size) wide, and is the plain sheet
    // everywhere else.
    const Picture painted_sheet = headless_window_pixels();
    const Box changed = differing(painted_sheet, plain_sheet);
    EXPECT_TRUE(changed.left >= 182 && changed.right <= 302 && changed.top >= across_y &&
                changed.bottom <= across_y + 3)
        << changed.left << " " << changed.top << " " << changed.right << " " << changed.bottom;
    EXPECT_EQ(strongest_of(window_pixel(painted_sheet, 250, across_y)), 0);
    EXPECT_NE(window_pixel(painted_sheet, 250, across_y), window_pixel(plain_sheet, 250, across_y));
    EXPECT_TRUE(part_region(0).width == plain_region.width &&
                part_region(0).origin_x == plain_region.origin_x &&
                part_region(0).inside == plain_region.inside);
    const PartPainting* painting = figure().parts[0].painting.get();
    ASSERT_NE(painting, nullptr);
    ASSERT_EQ(painting->segments.size(), 1u);
    const PaintSegment& kept = painting->segments[0];
    const int32_t cx = screen_width() >> 1, cy = screen_height() >> 1;
    EXPECT_EQ(kept.x0, 150 - cx);
    EXPECT_EQ(kept.y0, across_y - cy);
    EXPECT_EQ(kept.x1, 300 - cx);
    EXPECT_TRUE(same_colour(kept.colour, PALETTE_COLOURS[1]));
    session.tap(KEY_M);
    ASSERT_EQ(figure().parts[1].painting->segments.size(), 1u);
    EXPECT_EQ(figure().parts[1].painting->segments[0].x0, cx - 150);
    EXPECT_TRUE(headless_messages().empty());
}

// A painted body is drawn with its painting: on the front where the strokes were drawn, and,
// turned half about y, on the back as their mirror image (the front projection seen from
// behind); every other pixel as the unpainted body draws it.
TEST(ColourKeys, APaintedBodyShowsItsPaintingOnTheFrontAndMirroredOnTheBack) {
    const Points outline = ellipse_points(257, 300, 75, 105, 32);
    constexpr int32_t STROKE_X = 220;
    struct Views {
        Picture front, back;
    };
    auto body = [&](bool painted) {
        Session session;
        session.stroke(outline);
        if (painted) {
            session.tap(colour_key(4));  // green
            for (int32_t x : {STROKE_X - 2, STROKE_X, STROKE_X + 2})
                session.stroke({{x, 250}, {x, 350}});
        }
        session.right_click(257, 300);
        session.tap(KEY_I);
        EXPECT_EQ(figure().parts[0].painting != nullptr, painted);
        Views views;
        views.front = headless_window_pixels();
        set_figure_rotation({0, 512, 0, 0});
        session.frames(1);
        views.back = headless_window_pixels();
        // Each painted part's tiles have their slots while the part is there (this body is
        // larger than one texture at a texel a point): M adds as many, Backspace frees the
        // removed part's, undo brings them back and F12 frees them all.
        const int32_t tiles = texture_count();
        EXPECT_EQ(tiles > 1, painted);
        if (painted) {
            for (auto [key, parts] : {std::pair{KEY_M, 2}, {KEY_BACKSPACE, 1}, {0, 2}}) {
                key != 0 ? session.tap(key) : undo(session);
                EXPECT_EQ(figure().part_count, parts) << key;
                EXPECT_EQ(texture_count(), parts * tiles) << key;
            }
            session.tap(KEY_F12);
            EXPECT_EQ(texture_count(), 0);
        }
        EXPECT_TRUE(headless_messages().empty());
        return views;
    };
    const Views plain = body(false), painted = body(true);
    // The paint lies nearer than the drawing's plane, so perspective moves it out from the
    // middle (x 257): each view's changed pixels are a narrow band, left of the middle on the
    // front and as far right of it, within a few pixels, on the back, green in its middle.
    const Box front = differing(painted.front, plain.front);
    const Box back = differing(painted.back, plain.back);
    const int32_t front_x = (front.left + front.right) / 2, back_x = (back.left + back.right) / 2;
    EXPECT_TRUE(front.right < 257 && front.right - front.left <= 16 && front.top >= 240 &&
                front.bottom <= 390)
        << front.left << " " << front.right << " " << front.top << " " << front.bottom;
    EXPECT_TRUE(back.left > 257 && back.right - back.left <= 16 && back.top >= 240 &&
                back.bottom <= 390)
        << back.left << " " << back.right << " " << back.top << " " << back.bottom;
    EXPECT_LE(std::abs((257 - front_x) - (back_x - 257)), 8) << front_x << " " << back_x;
    // No pinhole: where the paint changed the body, the background never shows through.
    for (const auto& [painted_view, plain_view] :
         {std::pair{&painted.front, &plain.front}, {&painted.back, &plain.back}})
        for (size_t at = 0; at < painted_view->size(); ++at) {
            if ((*painted_view)[at] != (*plain_view)[at]) {
                EXPECT_NE((*painted_view)[at], BLUE) << at;
            }
        }
    EXPECT_EQ(strongest_of(window_pixel(plain.front, front_x, 300)), 0);
    EXPECT_EQ(strongest_of(window_pixel(painted.front, front_x, 300)), 1);
    EXPECT_EQ(strongest_of(window_pixel(painted.back, back_x, 300)), 1);
}

// One texel a model point: a one-pixel stroke across a body far wider than one texture (drawn
// along the middle row and column, which perspective leaves in place) shows on its front along
// its whole length as a narrow band, two texels magnified by the body's bulge, whose middle
// lies within two pixels of where it was drawn.
TEST(ColourKeys, AStrokeOnALargeBodyShowsWhereItWasDrawn) {
    Session session;
    const int32_t cx = screen_width() >> 1, cy = screen_height() >> 1;
    session.stroke(ellipse_points(cx, cy, 190, 160, 48));
    session.tap(colour_key(4));  // green
    session.stroke({{cx - 150, cy}, {cx + 150, cy}});
    session.stroke({{cx, cy - 130}, {cx, cy + 130}});
    session.tap(colour_key(1));
    session.right_click(cx + 40, cy + 40);
    session.tap(KEY_I);
    ASSERT_EQ(figure().part_count, 1);
    const Picture front = headless_window_pixels();
    // The green pixels across the line, up to ten pixels from it either way, at every eighth
    // pixel along it (away from the crossing).
    auto across = [&](bool along_row, int32_t at) {
        std::vector<int32_t> green;
        for (int32_t d = -10; d <= 10; ++d) {
            const int32_t x = along_row ? at : cx + d, y = along_row ? cy + d : at;
            if (strongest_of(window_pixel(front, x, y)) == 1) green.push_back(d);
        }
        return green;
    };
    for (bool along_row : {true, false}) {
        const int32_t middle = along_row ? cx : cy;
        for (int32_t at = middle - 120; at <= middle + 120; at += 8) {
            if (std::abs(at - middle) < 12) continue;
            const std::vector<int32_t> green = across(along_row, at);
            ASSERT_FALSE(green.empty()) << along_row << " " << at;
            EXPECT_TRUE(std::abs(green.front() + green.back()) <= 4 &&
                        green.back() - green.front() <= 6)
                << along_row << " " << at << ": " << ::testing::PrintToString(green);
        }
    }
    EXPECT_TRUE(headless_messages().empty());
}

// A part's texture covers its region's box and a margin at one texel a point, or 2^s points
// for a box wider or taller than its largest size less the margins (124 for the fills', 1020
// for the exports'); a segment is drawn two texels wide and never past the texture, wherever
// its ends lie; a vertex's coordinates name the middle of its texel.
TEST(PartTexture, CoversTheRegionsBoxAndKeepsItsSegmentsInside) {
    struct Case {
        int32_t width, height, width_shift, height_shift, step_shift, max_shift;
    };
    const Case cases[] = {{1, 1, 3, 3, 0, PART_TEXTURE_MAX_SHIFT},
                          {124, 10, 7, 4, 0, PART_TEXTURE_MAX_SHIFT},
                          {125, 10, 7, 4, 1, PART_TEXTURE_MAX_SHIFT},
                          {300, 600, 6, 7, 3, PART_TEXTURE_MAX_SHIFT},
                          {INT32_MAX, 1, 7, 3, 25, PART_TEXTURE_MAX_SHIFT},
                          {300, 600, 9, 10, 0, EXPORT_TEXTURE_MAX_SHIFT},
                          {1021, 10, 10, 4, 1, EXPORT_TEXTURE_MAX_SHIFT},
                          {INT32_MAX, 1, 10, 3, 22, EXPORT_TEXTURE_MAX_SHIFT}};
    const ColourRecord base = DEFAULT_PART_COLOUR, paint = PALETTE_COLOURS[2];
    const uint16_t base_texel = 0x7C00, paint_texel = uint16_t((22 << 5));  // green 176 >> 3
    for (const Case& c : cases) {
        RegionMask region;
        region.width = c.width;
        region.height = c.height;
        region.origin_x = -40;
        region.origin_y = 7;
        PartPainting painting;
        painting.segments = {{-40, 7, -30, 7, paint},
                             {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, paint},
                             {INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, paint}};
        const PartTexture texture = make_part_texture(region, base, painting, c.max_shift);
        EXPECT_EQ(texture.width_shift, c.width_shift) << c.width;
        EXPECT_EQ(texture.height_shift, c.height_shift) << c.width;
        EXPECT_EQ(texture.step_shift, c.step_shift) << c.width;
        ASSERT_EQ(texture.texels.size(), size_t(1) << (c.width_shift + c.height_shift));
        // The first segment starts at the box's corner: its texel, after the margin, and the
        // one below it are painted; the margin's corner keeps the base colour.
        const size_t columns = size_t(1) << c.width_shift;
        const size_t corner = PART_TEXTURE_MARGIN * columns + PART_TEXTURE_MARGIN;
        EXPECT_EQ(texture.texels[corner], paint_texel) << c.width;
        EXPECT_EQ(texture.texels[corner + columns], paint_texel) << c.width;
        if (c.step_shift < 21) {  // the long diagonals cross the far larger box's corner
            EXPECT_EQ(texture.texels[0], base_texel) << c.width;
        }
        if (c.step_shift == 0) {  // a stroke of one point is two texels across, no more
            EXPECT_EQ(texture.texels[corner + 2 * columns], base_texel) << c.width;
        }
        const TexelPlace place = part_texel_place(texture, -40, 7);
        EXPECT_EQ(place.column, PART_TEXTURE_MARGIN) << c.width;
        EXPECT_EQ(place.row, PART_TEXTURE_MARGIN) << c.width;
        if (c.max_shift > PART_TEXTURE_MAX_SHIFT) continue;
        const TexCoord at = part_tex_coord(texture, -40, 7);
        EXPECT_EQ(at.u, ((2 * PART_TEXTURE_MARGIN + 1) << (8 - c.width_shift)) >> 1) << c.width;
        EXPECT_EQ(at.v, ((2 * PART_TEXTURE_MARGIN + 1) << (8 - c.height_shift)) >> 1) << c.width;
    }
}

// A part larger than one texture is drawn from tiles at the finest step the slots and the
// coordinate pool allow: each triangle's corners lie inside its tile, clear of its edges by
// the margin the walk strays into, and the tiles agree texel for texel where they overlap.
TEST(PartTexture, TilesCoverTheBoxAtTheFinestStepThatFits) {
    // A grid of right triangles, `cell` points a side, over the region's box (300 x 200
    // points: three columns and two rows of 128-texel tiles at one texel a point).
    RegionMask region;
    region.width = 300;
    region.height = 200;
    region.origin_x = -150;
    region.origin_y = -90;
    auto grid = [&](int32_t cell, std::vector<Vec4>* vertices, std::vector<MeshTriangle>* tris) {
        const int32_t across = region.width / cell + 1, down = region.height / cell + 1;
        for (int32_t j = 0; j < down; ++j)
            for (int32_t i = 0; i < across; ++i)
                vertices->push_back({region.origin_x + i * cell, region.origin_y + j * cell, 0, 0});
        for (int32_t j = 0; j + 1 < down; ++j)
            for (int32_t i = 0; i + 1 < across; ++i) {
                const int32_t a = j * across + i;
                tris->push_back({{a, a + 1, a + across}});
                tris->push_back({{a + 1, a + across + 1, a + across}});
            }
    };
    struct Case {
        int32_t cell, max_tiles;
        int64_t max_coords;
        bool planned;
        int32_t step_shift, columns, rows, margin_x;
    };
    const Case cases[] = {
        {10, 64, 100000, true, 0, 3, 2, 9},   // a corner 7 texels from its centroid, +2
        {10, 4, 100000, true, 1, 2, 1, 6},    // too few slots: two points a texel
        {10, 1, 100000, true, 2, 1, 1, 2},    // one slot: the exports' texture
        {50, 64, 100000, true, 0, 6, 4, 36},  // larger triangles, wider margins
        {10, 64, 100, true, 5, 1, 1, 2},      // little coordinate room: coarser still
        {10, 64, 0, false, 0, 0, 0, 0},       // none: no tiles
    };
    PartPainting painting;
    painting.segments = {{-150, -90, 149, 109, PALETTE_COLOURS[2]},
                         {-20, -90, -20, 109, PALETTE_COLOURS[4]}};
    for (const Case& c : cases) {
        std::vector<Vec4> vertices;
        std::vector<MeshTriangle> triangles;
        grid(c.cell, &vertices, &triangles);
        PartTiles tiles;
        ASSERT_EQ(plan_part_tiles(region, vertices, triangles, c.max_tiles, c.max_coords, &tiles),
                  c.planned)
            << c.cell << " " << c.max_tiles;
        if (!c.planned) continue;
        const PartTiling& t = tiles.tiling;
        EXPECT_EQ(t.step_shift, c.step_shift) << c.cell << " " << c.max_tiles;
        EXPECT_EQ(t.columns, c.columns) << c.cell << " " << c.max_tiles;
        EXPECT_EQ(t.rows, c.rows) << c.cell << " " << c.max_tiles;
        EXPECT_EQ(t.margin_x, c.margin_x) << c.cell << " " << c.max_tiles;
        EXPECT_LE(tiles.distinct_coords, c.max_coords);
        ASSERT_EQ(tiles.triangle_tile.size(), triangles.size());
        ASSERT_EQ(tiles.corners.size(), 3 * triangles.size());
        std::vector<PartTexture> made;
        for (int32_t i = 0; i < t.columns * t.rows; ++i)
            made.push_back(make_part_tile(t, i, DEFAULT_PART_COLOUR, painting));
        // Every corner's texel (its coordinates name the middle of one) lies inside the
        // triangle's tile, PART_TEXTURE_MARGIN texels from its edges, and is the texel of the
        // corner's model point.
        for (size_t k = 0; k < tiles.corners.size(); ++k) {
            const PartTexture& tile = made[size_t(tiles.triangle_tile[k / 3])];
            const TexCoord& at = tiles.corners[k];
            const int32_t column = at.u >> (8 - tile.width_shift);
            const int32_t row = at.v >> (8 - tile.height_shift);
            const Vec4& v = vertices[size_t(triangles[k / 3].v[k % 3])];
            EXPECT_TRUE(column >= PART_TEXTURE_MARGIN &&
                        column < (1 << tile.width_shift) - PART_TEXTURE_MARGIN &&
                        row >= PART_TEXTURE_MARGIN &&
                        row < (1 << tile.height_shift) - PART_TEXTURE_MARGIN)
                << c.cell << " " << k << ": " << column << " " << row;
            EXPECT_EQ(column, (v.x - tile.origin_x) >> t.step_shift);
            EXPECT_EQ(row, (v.y - tile.origin_y) >> t.step_shift);
        }
        // Where two tiles overlap, their texels are the same, painted or not.
        int64_t shared_painted = 0;
        for (size_t a = 0; a < made.size(); ++a)
            for (size_t b = a + 1; b < made.size(); ++b) {
                const int32_t dx = (made[b].origin_x - made[a].origin_x) >> t.step_shift;
                const int32_t dy = (made[b].origin_y - made[a].origin_y) >> t.step_shift;
                const int32_t size_a = 1 << made[a].width_shift, size_b = 1 << made[b].width_shift;
                const int32_t rows_a = 1 << made[a].height_shift,
                              rows_b = 1 << made[b].height_shift;
                for (int32_t y = std::max(0, dy); y < std::min(rows_a, dy + rows_b); ++y)
                    for (int32_t x = std::max(0, dx); x < std::min(size_a, dx + size_b); ++x) {
                        const uint16_t in_a = made[a].texels[size_t(y * size_a + x)];
                        ASSERT_EQ(in_a, made[b].texels[size_t((y - dy) * size_b + (x - dx))])
                            << c.cell << " " << a << " " << b << " " << x << " " << y;
                        shared_painted += in_a != made[a].texels[0];
                    }
            }
        EXPECT_EQ(shared_painted > 0, made.size() > 1) << c.cell << " " << c.max_tiles;
    }
}

// A painted part stays painted in a figure: its painting shows after a body is joined to it (N
// over it, blended where they meet), after M, undo and redo, and while the figure is posed. A
// pose moves the vertices but keeps the lit textured packets and their coordinates, the front
// projection of the rest shape.
TEST(ColourKeys, PaintingStaysThroughJoinsMirrorsUndoAndPoses) {
    // White paint, lit: grey. The red parts, blue background, black outline, yellow ring and
    // green control points are never grey.
    auto painted_pixels = [] {
        int32_t count = 0;
        for (uint16_t p : headless_window_pixels()) {
            const int32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
            count += r >= 6 && std::abs(r - g) <= 2 && std::abs(g - b) <= 2;
        }
        return count;
    };
    auto with_control = [](Session& session, int key) {
        headless_queue_key_down(KEY_CONTROL);
        session.tap(key);
        headless_queue_key_up(KEY_CONTROL);
        session.frames(1);
    };
    Session session;
    session.stroke(ellipse_points(257, 300, 75, 105, 40));
    session.tap(colour_key(8));
    for (int32_t y : {346, 348, 350})  // across the body's lower half, clear of the arms
        session.stroke({{215, y}, {300, y}});
    session.tap(colour_key(1));
    session.right_click(257, 300);
    session.tap(KEY_I);
    const int32_t body_alone = painted_pixels();
    EXPECT_GT(body_alone, 150);

    // An arm drawn over the body's side and joined to it, its end painted white too.
    session.tap(KEY_N);
    session.stroke({{300, 250}, {430, 215}, {440, 240}, {310, 285}, {300, 250}});
    session.tap(colour_key(8));
    for (int32_t x : {400, 402, 404})
        session.stroke({{x, 215}, {x, 255}});
    session.tap(colour_key(1));
    session.right_click(318, 262);
    session.tap(KEY_I);
    ASSERT_EQ(figure().part_count, 2);
    const int32_t joined = painted_pixels();
    EXPECT_GT(joined, body_alone + 30);
    session.tap(KEY_M);
    ASSERT_EQ(figure().part_count, 3);
    const Picture mirrored = headless_window_pixels();
    const int32_t three_parts = painted_pixels();
    EXPECT_GT(three_parts, joined + 30);
    undo(session);
    EXPECT_EQ(painted_pixels(), joined);
    with_control(session, KEY_Y);
    EXPECT_EQ(headless_window_pixels(), mirrored);

    // Posed: control points on both hands and the feet, one hand dragged up. The packets and
    // coordinates are those of the rest shape; the vertices have moved, the painting with them.
    session.tap(KEY_A);
    for (auto [x, y] : {std::pair{425, 229}, {89, 229}, {232, 385}, {282, 385}}) {
        session.hover(x, y);
        headless_queue_button_down(BUTTON_LEFT);
        session.frames(1);
        headless_queue_button_up(BUTTON_LEFT);
        session.frames(1);
    }
    const RenderList& list = *current_render_list();
    auto bytes = [](const void* from, const void* to) {
        return std::vector<uint8_t>(static_cast<const uint8_t*>(from),
                                    static_cast<const uint8_t*>(to));
    };
    // Each lit textured triangle's slot, corners and coordinates, in packet order (the other
    // fields, depth and colours, are the frame's).
    auto skins = [&] {
        std::vector<int16_t> kept;
        for (const uint8_t* at = reinterpret_cast<const uint8_t*>(list.first_packet);
             at < list.write_position;) {
            const auto* p = reinterpret_cast<const TrianglePacket*>(at);
            if ((p->head.header & PRIM_CODE_MASK) == PRIM_LIT_TEX_TRI)
                kept.insert(kept.end(), {p->head.texture, p->v[0], p->v[1], p->v[2], p->t[0],
                                         p->t[1], p->t[2]});
            at += p->head.size;
        }
        return kept;
    };
    const std::vector<int16_t> rest_skins = skins();
    EXPECT_GT(rest_skins.size(), 7u * 200);
    const int32_t coord_count = pool_count(POOL_UV);
    const auto coords = bytes(list.tex_coords, list.tex_coords + coord_count);
    const auto vertices = bytes(list.model_vertices, list.model_vertices + list.vertex_count);
    ASSERT_GT(coord_count, 0);
    session.hover(425, 229);
    headless_queue_button_down(BUTTON_LEFT);
    for (int32_t step = 1; step <= 8; ++step) {
        headless_queue_move(425 + 3 * step, 229 - 8 * step);
        session.frames(1);
    }
    EXPECT_NE(bytes(list.model_vertices, list.model_vertices + list.vertex_count), vertices);
    EXPECT_EQ(skins(), rest_skins);
    EXPECT_EQ(pool_count(POOL_UV), coord_count);
    EXPECT_EQ(bytes(list.tex_coords, list.tex_coords + coord_count), coords);
    const int32_t posed = painted_pixels();
    EXPECT_GT(posed, three_parts * 9 / 10);
    headless_queue_button_up(BUTTON_LEFT);
    session.frames(1);
    EXPECT_TRUE(headless_messages().empty());
}
