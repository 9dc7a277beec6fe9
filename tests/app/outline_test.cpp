// The outline tools: grid bounds, the scan with edge snapping and the
// triangulation, on the headless backend.
#include <gtest/gtest.h>

#include "app/outline.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "platform/common/page_drawing.h"
#include "session/session_fixture.h"

namespace {

int32_t cell_count(int32_t state) {
    int32_t n = 0;
    for (int32_t r = 0; r < grid_rows(); ++r)
        for (int32_t k = 0; k < grid_columns(); ++k)
            n += outline_cell(k, r)->w == state;
    return n;
}

}  // namespace

TEST(OutlineGrid, CellsAndPixelsStayInsideTheirArrays) {
    Session session;
    EXPECT_EQ(grid_columns(), 64);  // 514 / 8
    EXPECT_EQ(grid_rows(), 60);     // 482 / 8
    EXPECT_EQ(cell_count(CELL_EMPTY), 64 * 60);
    EXPECT_EQ(outline_cell(64, 0), nullptr);
    EXPECT_EQ(outline_cell(0, -1), nullptr);

    // Columns and rows past the last whole cell fall into the last one; the
    // position kept is the pixel's, relative to the centre (257, 241).
    OutlineCell* cell = set_outline_cell(512, 480, 7);
    EXPECT_EQ(cell, outline_cell(63, 59));
    EXPECT_EQ(cell->x, 255);
    EXPECT_EQ(cell->y, 239);
    EXPECT_EQ(cell->z, 7);
    EXPECT_EQ(cell->w, CELL_FILLED);
    EXPECT_EQ(set_outline_cell(9, 17, 0), outline_cell(1, 2));

    const uint16_t* page = headless_page(0);
    EXPECT_EQ(read_pixel(page, 513, 481), BLUE);
    EXPECT_EQ(read_pixel(page, 0, 482), 0);  // the never-drawn last row is still black
    EXPECT_EQ(read_pixel(page, 514, 0), 0);  // outside the page: black, never read
    EXPECT_EQ(read_pixel(page, -1, 0), 0);
    EXPECT_EQ(read_pixel(page, 0, 483), 0);
    EXPECT_EQ(read_pixel(nullptr, 0, 0), 0);
}

TEST(OutlineBuild, ScansTheRegionAndSnapsItsBorderSamplesOntoTheEdge) {
    Session session;
    // Stroke pixels on columns 100 and 200 and rows 100 and 200; the region
    // inside is 101..199 both ways.
    session.square(100, 100, 200, 200);
    session.right_click(150, 150);
    int32_t index = selected_object();
    ASSERT_EQ(index, 0);
    // The shell edits the sheet over its own vertex range, all facing the viewer.
    const EditedObject& edited = edited_object();
    EXPECT_EQ(edited.kind, EDITED_SHEET);
    EXPECT_EQ(edited.first_vertex, 0);
    EXPECT_EQ(edited.vertex_count, 192);
    EXPECT_EQ(edited.front_vertices, 192);
    EXPECT_TRUE(headless_messages().empty());

    // Grid points 104..192 lie inside: 12 x 12 cells. Each side adds 12 cells
    // snapped onto the edge; the four corner points see no green neighbour.
    EXPECT_EQ(cell_count(CELL_FILLED), 12 * 12 + 4 * 12);
    EXPECT_EQ(outline_cell(12, 12)->w, CELL_EMPTY);
    EXPECT_EQ(outline_cell(25, 25)->w, CELL_EMPTY);
    const OutlineCell* inside = outline_cell(13, 13);  // (104, 104)
    EXPECT_EQ(inside->x, 104 - 257);
    EXPECT_EQ(inside->y, 104 - 241);
    const OutlineCell* left = outline_cell(12, 13);  // (96, 104) walks right to 101
    EXPECT_EQ(left->x, 101 - 257);
    EXPECT_EQ(left->y, 104 - 241);
    const OutlineCell* right = outline_cell(25, 14);  // (200, 112) on the stroke, walks left
    EXPECT_EQ(right->x, 199 - 257);
    EXPECT_EQ(right->y, 112 - 241);
    const OutlineCell* top = outline_cell(14, 12);  // (112, 96) walks down to 101
    EXPECT_EQ(top->x, 112 - 257);
    EXPECT_EQ(top->y, 101 - 241);
    const OutlineCell* bottom = outline_cell(14, 25);  // (112, 200) walks up to 199
    EXPECT_EQ(bottom->y, 199 - 241);

    // 13 x 13 squares: the four corner squares have three filled corners and
    // one triangle, the other 165 two triangles. Every cell is one vertex.
    const SceneObject* object = get_object(index);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->packet_count, 1 + 165 * 2 + 4);
    EXPECT_EQ(object->vertex_count, 192);
    ASSERT_EQ(object->part_count, 1);
    EXPECT_EQ(object->parts[0].first_vertex, 0);
    EXPECT_EQ(object->parts[0].vertex_count, 192);
    EXPECT_EQ(object->parts[0].flags & PART_LIT, PART_LIT);
    EXPECT_EQ(draw_list(), object);

    // The polygons are lit, one-sided triangles of the red colour record.
    const auto* first = reinterpret_cast<const PrimitivePacket*>(
        reinterpret_cast<const uint8_t*>(object->header_packet) + SHORT_PACKET_BYTES);
    EXPECT_EQ(first->header, POLY_CULL | PRIM_LIT_TRI);
    EXPECT_EQ(first->extra, 0u);
    const RenderList* list = current_render_list();
    EXPECT_EQ(list->packed_colours[0], 0x7C00);
    EXPECT_EQ(list->normal_count, 192);
}

// A fill started on the stroke would stop at once: nothing is built, the drawing stays (its
// strokes can still be taken back), the title says why, and a click inside builds the sheet.
TEST(OutlineBuild, ClickOnAStrokePixelBuildsNothingAndKeepsTheDrawing) {
    Session session;
    session.square(100, 100, 200, 200);
    session.right_click(100, 150);
    EXPECT_EQ(selected_object(), NO_OBJECT);
    EXPECT_EQ(cell_count(CELL_FILLED), 0);
    EXPECT_NE(headless_title().find("nothing built"), std::string::npos) << headless_title();
    session.frames(1);
    EXPECT_EQ(Session::pixel(150, 150), BLUE);  // nothing was filled
    EXPECT_EQ(Session::pixel(100, 150), STROKE_PIXEL);
    session.right_click(150, 150);
    ASSERT_NE(selected_object(), NO_OBJECT);
    EXPECT_GT(get_object(selected_object())->parts[0].vertex_count, 0);
}

// An outline that ends 1 to 12 pixels short of its start is closed by the segment the line
// draws from its end to its start before the fill, when the click lies inside it; exactly
// closed outlines, wider gaps and clicks outside keep the fill they had.
TEST(OutlineBuild, AGapOfUpToTwelvePixelsIsClosedBeforeTheFill) {
    constexpr int32_t ORIGIN_X = 3;  // the headless client area's screen origin
    constexpr int32_t ORIGIN_Y = 22;
    struct Click {
        int32_t x, y;
        bool inside;
    };
    for (int32_t gap : {0, 1, 6, 12, 13, 40}) {
        for (Click click : {Click{175, 150, true}, Click{30, 30, false}}) {
            Session session;
            // Around 100..250 x 100..200 from the top edge's middle, back along the top edge
            // to `gap` pixels before the start.
            session.stroke(
                {{150, 100}, {250, 100}, {250, 200}, {100, 200}, {100, 100}, {150 - gap, 100}});
            const int32_t width = headless_client_width();
            const int32_t height = headless_client_height();
            std::vector<uint16_t> expected(headless_page(0), headless_page(0) + width * height);
            const bool closed = gap >= 1 && gap <= 12 && click.inside;
            if (closed)
                draw_page_line(expected.data(), width, height, 150 - gap, 100, 150, 100,
                               PAGE_BLACK);
            flood_fill_page(expected.data(), width, height, click.x, click.y, OUTLINE_FILL_PIXEL,
                            PAGE_BLACK);

            build_object_from_outline(click.x + ORIGIN_X, click.y + ORIGIN_Y);
            const std::vector<uint16_t> page(headless_page(0), headless_page(0) + width * height);
            EXPECT_TRUE(page == expected) << "gap " << gap << ", click at " << click.x;
            // Closed, the outline's own region is filled and the edge is not.
            EXPECT_EQ(page[0] == OUTLINE_FILL_PIXEL, !closed && (gap > 0 || !click.inside))
                << "gap " << gap << ", click at " << click.x;
        }
    }
}
