// Inflation of the edited sheet into a closed body: topology of a disc, a
// star and a ring, the disc's height, outward faces, front-only pushing and
// an overflow that keeps the sheet.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/edited_object.h"
#include "app/inflate.h"
#include "app/outline.h"
#include "base/messages.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "session/session_fixture.h"
#include "support/body_quality.h"
#include "support/front_picture.h"

namespace {

constexpr int32_t CX = 257;  // the screen centre in client pixels
constexpr int32_t CY = 241;

// A closed polygon around the centre whose radius alternates between r0 and
// r1 (equal radii: a circle of `corners` points).
Points polygon(int32_t corners, double r0, double r1) {
    Points points;
    for (int32_t i = 0; i <= corners; ++i) {
        double angle = 2 * M_PI * i / corners;
        double r = i % 2 == 0 ? r0 : r1;
        points.push_back({CX + int32_t(std::lround(r * std::cos(angle))),
                          CY + int32_t(std::lround(r * std::sin(angle)))});
    }
    return points;
}

// The ellipse with half-axes rx and ry around the centre.
Points ellipse(int32_t corners, double rx, double ry) {
    Points points;
    for (int32_t i = 0; i <= corners; ++i) {
        double angle = 2 * M_PI * i / corners;
        points.push_back({CX + int32_t(std::lround(rx * std::cos(angle))),
                          CY + int32_t(std::lround(ry * std::sin(angle)))});
    }
    return points;
}

// Background pixels of page 0 that the background around the picture does
// not reach (through the four neighbours of each pixel): holes.
int32_t enclosed_background_pixels() {
    const int32_t w = headless_client_width();
    const int32_t h = headless_client_height() - 1;  // the last row is never drawn
    std::vector<uint8_t> reached(size_t(w) * size_t(h), 0);
    std::vector<std::pair<int32_t, int32_t>> todo;
    auto visit = [&](int32_t x, int32_t y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t& mark = reached[size_t(y) * size_t(w) + size_t(x)];
        if (mark != 0 || Session::pixel(x, y) != BLUE) return;
        mark = 1;
        todo.push_back({x, y});
    };
    for (int32_t x = 0; x < w; ++x) {
        visit(x, 0);
        visit(x, h - 1);
    }
    for (int32_t y = 0; y < h; ++y) {
        visit(0, y);
        visit(w - 1, y);
    }
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        visit(x - 1, y);
        visit(x + 1, y);
        visit(x, y - 1);
        visit(x, y + 1);
    }
    int32_t holes = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            holes +=
                Session::pixel(x, y) == BLUE && reached[size_t(y) * size_t(w) + size_t(x)] == 0;
    return holes;
}

void press_i(Session& session) {
    headless_queue_key_down(KEY_I);
    session.frames(1);
    headless_queue_key_up(KEY_I);
    session.frames(1);
}

struct Body {
    std::vector<Vec4> vertices;
    std::vector<std::array<int32_t, 3>> triangles;
};

// The object's vertices (a body's in fine units, 1/256 of a unit, as it keeps
// them) and triangles.
Body body_of(int32_t index) {
    Body body;
    const RenderList* list = current_render_list();
    const SceneObject* object = get_object(index);
    const Vec4* positions = (object->parts[0].flags & PART_FINE_POSITIONS) != 0
                                ? fine_vertex_base()
                                : list->model_vertices;
    body.vertices.assign(positions, positions + list->vertex_count);
    for (PrimitivePacket* p = next_object_polygon(object, nullptr); p != nullptr;
         p = next_object_polygon(object, p))
        body.triangles.push_back(
            {packet_vertices(p)[0], packet_vertices(p)[1], packet_vertices(p)[2]});
    return body;
}

// Closed and oriented (each directed edge once, with its reverse), no
// triangle without area; returns V - E + F, or a sentinel on a fault.
int32_t euler_characteristic(const Body& body) {
    std::set<std::pair<int32_t, int32_t>> directed;
    std::set<int32_t> used;
    for (const auto& t : body.triangles) {
        const Vec4& a = body.vertices[size_t(t[0])];
        const Vec4& b = body.vertices[size_t(t[1])];
        const Vec4& c = body.vertices[size_t(t[2])];
        int64_t ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        int64_t vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        if (uy * vz - uz * vy == 0 && uz * vx - ux * vz == 0 && ux * vy - uy * vx == 0) return 100;
        for (int k = 0; k < 3; ++k) {
            used.insert(t[size_t(k)]);
            if (!directed.insert({t[size_t(k)], t[size_t((k + 1) % 3)]}).second) return 200;
        }
    }
    for (const auto& [a, b] : directed)
        if (directed.count({b, a}) == 0) return 300;
    return int32_t(used.size()) - int32_t(directed.size() / 2) + int32_t(body.triangles.size());
}

// Six times the enclosed volume as the sum of a . (b x c) over the faces. The
// model frame (x right, y down, z away from the viewer) is right-handed, and
// the faces the renderer draws turn clockwise as seen from where they face:
// a body whose faces turn outward gives a negative sum.
int64_t signed_volume6(const Body& body) {
    int64_t sum = 0;
    for (const auto& t : body.triangles) {
        const Vec4& a = body.vertices[size_t(t[0])];
        const Vec4& b = body.vertices[size_t(t[1])];
        const Vec4& c = body.vertices[size_t(t[2])];
        sum += int64_t(a.x) * (int64_t(b.y) * c.z - int64_t(b.z) * c.y) -
               int64_t(a.y) * (int64_t(b.x) * c.z - int64_t(b.z) * c.x) +
               int64_t(a.z) * (int64_t(b.x) * c.y - int64_t(b.y) * c.x);
    }
    return sum;
}

}  // namespace

TEST(Inflate, BodiesAreClosedOrientedAndRound) {
    struct Case {
        const char* name;
        std::vector<Points> outlines;
        std::pair<int32_t, int32_t> click;
        int32_t euler;
    };
    const Case cases[] = {
        {"disc", {polygon(64, 100, 100)}, {CX, CY}, 2},
        {"star", {polygon(10, 150, 60)}, {CX, CY}, 2},
        {"ring", {polygon(64, 150, 150), polygon(48, 60, 60)}, {CX + 100, CY}, 0},
        {"band", {{{60, 200}, {450, 200}, {450, 240}, {60, 240}, {60, 200}}}, {CX, 220}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        for (const Points& outline : c.outlines)
            session.stroke(outline);
        session.right_click(c.click.first, c.click.second);
        int32_t sheet = selected_object();
        ASSERT_GE(sheet, 0);
        int32_t sheet_triangles = int32_t(body_of(sheet).triangles.size());
        press_i(session);
        EXPECT_TRUE(headless_messages().empty());
        int32_t index = selected_object();
        ASSERT_EQ(index, sheet);
        Body body = body_of(index);
        EXPECT_GT(int32_t(body.triangles.size()), sheet_triangles);
        EXPECT_EQ(euler_characteristic(body), c.euler);
        EXPECT_LT(signed_volume6(body), 0);

        // Every front vertex lies nearer the viewer (-z) than its twin behind
        // (the rim first, then the front, then the back in the front's
        // order); the front rises no higher than the outline's half-width.
        const EditedObject& edited = edited_object();
        EXPECT_EQ(edited.kind, EDITED_BODY);
        ASSERT_EQ(edited.first_vertex, 0);
        EXPECT_EQ(edited.vertex_count, int32_t(body.vertices.size()));
        const int32_t front = edited.front_vertices;
        const int32_t rim = 2 * front - int32_t(body.vertices.size());
        ASSERT_GT(rim, 0);
        int32_t highest = 0;
        for (int32_t i = 0; i < front; ++i) {
            const int32_t z = body.vertices[size_t(i)].z;
            if (i >= rim) {
                EXPECT_LT(z, body.vertices[size_t(front + i - rim)].z);
            }
            highest = std::max(highest, -z);
        }
        if (std::strcmp(c.name, "disc") == 0) {
            EXPECT_GE(highest, 85 * FINE_ONE);  // within 15 % of the radius 100
            EXPECT_LE(highest, 100 * FINE_ONE);
        }
        if (std::strcmp(c.name, "band") == 0) {
            EXPECT_LE(highest, 20 * FINE_ONE);  // a tube of the band's half-width, not a ridge
        }

        // A second press does nothing.
        size_t packets = size_t(get_object(index)->packet_count);
        press_i(session);
        EXPECT_EQ(selected_object(), index);
        EXPECT_EQ(size_t(get_object(index)->packet_count), packets);
    }
}

TEST(Inflate, TheBackShowsHalfATurnRoundAndPushingMovesTheFrontOnly) {
    Session session;
    session.stroke(polygon(64, 100, 100));
    press_i(session);  // while drawing: forgotten, not applied to the sheet to come
    session.right_click(CX, CY);
    session.frames(1);
    EXPECT_EQ(edited_object().kind, EDITED_SHEET);
    EXPECT_NE(Session::pixel(CX, CY), BLUE);
    press_i(session);
    int32_t index = selected_object();
    ASSERT_EQ(edited_object().kind, EDITED_BODY);
    ASSERT_EQ(edited_object().first_vertex, 0);
    // The front is nearer the eye than the rim (vertex 0 lies on it), and
    // the rim, where the eye's rays graze the round body, nearer than the
    // sheet's plane.
    const RenderList* list = current_render_list();
    int32_t top = 0;
    for (int32_t i = 0; i < edited_object().front_vertices; ++i)
        if (list->model_vertices[i].z < list->model_vertices[top].z) top = i;
    EXPECT_LT(list->model_vertices[0].z, 0);
    EXPECT_LT(list->screen_vertices[top].z, list->screen_vertices[0].z);
    get_object_rotation(index)->y = 512;
    session.frames(1);
    EXPECT_NE(Session::pixel(CX, CY), BLUE);  // the sheet would show nothing here

    // A push of one frame at the middle (the brush may make the mesh finer there first, and
    // the part is emitted again): the front's top comes nearer, and the back is as it was,
    // its vertices, in their order, among those of the back after it.
    const PartMesh before = *figure().parts[0].mesh;
    headless_queue_key_down(KEY_Z);
    headless_queue_button_down(BUTTON_LEFT);
    session.frames(1);
    headless_queue_button_up(BUTTON_LEFT);
    headless_queue_key_up(KEY_Z);
    session.frames(1);
    const PartMesh& after = *figure().parts[0].mesh;
    auto nearest_front = [](const PartMesh& mesh) {
        int32_t z = INT32_MAX;
        for (int32_t i = 0; i < mesh.front_count; ++i)
            z = std::min(z, mesh.fine[size_t(i)].z);
        return z;
    };
    EXPECT_LT(nearest_front(after), nearest_front(before));
    size_t found = size_t(before.front_count);
    for (size_t j = size_t(after.front_count); j < after.fine.size() && found < before.fine.size();
         ++j) {
        const Vec4& a = after.fine[j];
        const Vec4& b = before.fine[found];
        found += a.x == b.x && a.y == b.y && a.z == b.z;
    }
    EXPECT_EQ(found, before.fine.size()) << "the back moved";
}

TEST(Inflate, ABodyTooLargeForThePacketAreaLeavesTheSheetAsItWas) {
    set_body_buffer_sizes(40000, 0);  // the disc's sheet fits, its body not
    Session session;
    session.stroke(polygon(64, 100, 100));
    session.right_click(CX, CY);
    int32_t sheet = selected_object();
    ASSERT_GE(sheet, 0);
    ASSERT_TRUE(headless_messages().empty());
    const RenderList* list = current_render_list();
    const uint8_t* area = reinterpret_cast<const uint8_t*>(list->first_packet);
    const uint8_t* end = list->write_position + 4;
    std::vector<uint8_t> packets(area, end);
    std::vector<Vec4> vertices(list->model_vertices, list->model_vertices + list->vertex_count);
    std::vector<Vec4> normals(list->model_normals, list->model_normals + list->normal_count);

    headless_queue_key_down(KEY_I);
    session.frames(1);
    ASSERT_EQ(headless_messages().size(), 1u);
    EXPECT_EQ(headless_messages()[0].text, TEXT_PACKET_AREA_FULL);
    EXPECT_EQ(selected_object(), sheet);
    EXPECT_EQ(edited_object().kind, EDITED_SHEET);
    EXPECT_EQ(list->write_position + 4, end);
    EXPECT_EQ(std::vector<uint8_t>(area, end), packets);
    EXPECT_EQ(std::memcmp(list->model_vertices, vertices.data(), vertices.size() * sizeof(Vec4)),
              0);
    EXPECT_EQ(list->vertex_count, int32_t(vertices.size()));
    EXPECT_EQ(std::memcmp(list->model_normals, normals.data(), normals.size() * sizeof(Vec4)), 0);
    set_body_buffer_sizes(0, 0);
}

TEST(Inflate, AFailedAllocationOfTheBodyReturnsToDrawingLikeAFailedBuild) {
    Session session;
    session.stroke(polygon(64, 100, 100));
    session.right_click(CX, CY);
    const int blocks = live_block_count();
    // The body buffers (packet area, vertex, normal and texture-coordinate
    // pools) come first and take the place of the pools; then the body's
    // object record fails.
    fail_allocation_after(5);
    press_i(session);
    EXPECT_EQ(selected_object(), NO_OBJECT);
    EXPECT_EQ(headless_messages().size(), 1u);  // the allocator's
    EXPECT_EQ(live_block_count(), blocks - 1);  // the sheet's record is gone
    EXPECT_EQ(current_render_list()->packet_count, 0);
    EXPECT_EQ(Session::pixel(CX, CY), BLUE);
}

TEST(Inflate, PushingTheFrontAwayStopsAUnitBeforeTheBack) {
    // A thin body, pushed away under the widest brush for long enough to reach its back.
    Session session;
    session.stroke(ellipse(64, 160, 22));
    session.right_click(CX, CY);
    press_i(session);
    ASSERT_EQ(edited_object().kind, EDITED_BODY);
    // Next to the rim the front may start less than a unit before the back.
    const PartMesh before = *figure().parts[0].mesh;
    for (int32_t i = 0; i < 4; ++i) {
        headless_queue_key_down(KEY_BRUSH_LARGER);
        session.frames(1);
        headless_queue_key_up(KEY_BRUSH_LARGER);
        session.frames(1);
    }
    headless_queue_key_down(KEY_Z);
    headless_queue_button_down(BUTTON_RIGHT);
    session.frames(300);
    headless_queue_button_up(BUTTON_RIGHT);
    headless_queue_key_up(KEY_Z);
    session.frames(1);
    // Front vertex i past the rim has its twin behind at front + (i - rim), the rim coming
    // first: no front vertex is pushed to less than a unit before its twin (one that started
    // nearer stays where it was), in fine positions and in the whole ones drawn, and some reach
    // that unit. The push adds no vertex here (the brush is wider than the mesh's edges).
    const PartMesh& body = *figure().parts[0].mesh;
    const int32_t front = body.front_count;
    const int32_t rim = 2 * front - int32_t(body.fine.size());
    ASSERT_GE(rim, 0);
    ASSERT_EQ(body.fine.size(), before.fine.size());
    int32_t stopped = 0;
    for (int32_t i = rim; i < front; ++i) {
        const int32_t twin = front + (i - rim);
        EXPECT_LE(body.fine[size_t(i)].z,
                  std::max(body.fine[size_t(twin)].z - FINE_ONE, before.fine[size_t(i)].z))
            << i;
        EXPECT_LE(body.vertices[size_t(i)].z, body.vertices[size_t(twin)].z) << i;
        stopped += body.fine[size_t(i)].z == body.fine[size_t(twin)].z - FINE_ONE;
    }
    EXPECT_GT(stopped, 0);
    // Still outward-facing and not turned inside out.
    EXPECT_LT(signed_volume6(body_of(selected_object())), 0);
}

TEST(Inflate, ReliefPushedOnTheSheetCarriesOverToTheBody) {
    // The same disc twice, the second with a plateau of 51 x 51 pixels about
    // its middle pulled 20 units toward the viewer before I: the body there
    // lies 20 units nearer, front and back.
    int32_t centre_depth[2][2] = {};
    for (int relief = 0; relief < 2; ++relief) {
        Session session;
        session.stroke(polygon(64, 100, 100));
        session.right_click(CX, CY);
        // Pushes 17 pixels apart: each sheet vertex within reach of one only.
        for (int32_t k = 0; k < (relief != 0 ? 9 : 0); ++k) {
            session.hover(CX - 17 + 17 * (k % 3), CY - 17 + 17 * (k / 3));
            headless_queue_key_down(KEY_Z);
            headless_queue_button_down(BUTTON_LEFT);
            session.frames(20);
            headless_queue_button_up(BUTTON_LEFT);
            headless_queue_key_up(KEY_Z);
            session.frames(1);
        }
        press_i(session);
        Body body = body_of(selected_object());
        int32_t front = edited_object().front_vertices;
        // The vertices nearest the centre on each side.
        for (int side = 0; side < 2; ++side) {
            int64_t best = INT64_MAX;
            int32_t from = side == 0 ? 0 : front,
                    to = side == 0 ? front : int32_t(body.vertices.size());
            for (int32_t i = from; i < to; ++i) {
                const Vec4& v = body.vertices[size_t(i)];
                int64_t d = int64_t(v.x) * v.x + int64_t(v.y) * v.y;
                if (d < best) {
                    best = d;
                    centre_depth[relief][side] = v.z;
                }
            }
        }
    }
    for (int side = 0; side < 2; ++side) {
        int32_t nearer = centre_depth[0][side] - centre_depth[1][side];
        EXPECT_GE(nearer, 15 * FINE_ONE) << side;
        EXPECT_LE(nearer, 21 * FINE_ONE) << side;
    }
}

TEST(Inflate, ASecondBodyAfterF12ReusesTheBodyBuffersAndDrawsAlone) {
    Session session;
    for (int round = 0; round < 2; ++round) {
        session.stroke(polygon(64, 60 + 30 * round, 60 + 30 * round));
        session.right_click(CX, CY);
        press_i(session);
        ASSERT_EQ(edited_object().kind, EDITED_BODY) << round;
        Body body = body_of(selected_object());
        EXPECT_EQ(euler_characteristic(body), 2) << round;
        // Nothing but the body is left in the packet area: its header and triangles.
        EXPECT_EQ(current_render_list()->packet_count, int32_t(body.triangles.size()) + 1) << round;
        EXPECT_TRUE(headless_messages().empty());
        headless_queue_key_down(KEY_F12);
        session.frames(1);
        headless_queue_key_up(KEY_F12);
        session.frames(1);
    }
}

// A convex body, turned a full turn about x and about y in steps of 15
// degrees, in every shading mode: not one background pixel shows inside its
// outline. Only the picture is read, so any closed mesh of the body must pass.
TEST(Inflate, ConvexBodiesShowNoBackgroundInsideTheirOutlineFromAnySide) {
    const std::pair<const char*, Points> shapes[] = {{"disc", polygon(64, 100, 100)},
                                                     {"ellipse", ellipse(72, 170, 90)}};
    for (const auto& [name, outline] : shapes) {
        SCOPED_TRACE(name);
        Session session;
        session.stroke(outline);
        session.right_click(CX, CY);
        press_i(session);
        ASSERT_EQ(edited_object().kind, EDITED_BODY);
        const int32_t index = selected_object();
        std::string holes;
        for (int32_t axis = 0; axis < 2; ++axis) {
            for (int32_t step = 0; step < 24; ++step) {
                Vec4* rotation = get_object_rotation(index);
                rotation->x = axis == 0 ? (step * 1024 + 12) / 24 : 0;
                rotation->y = axis == 1 ? (step * 1024 + 12) / 24 : 0;
                ASSERT_EQ(set_object_shading(index, step % 4), 0);
                session.frames(1);
                const int32_t enclosed = enclosed_background_pixels();
                if (enclosed != 0)
                    holes += " " + std::string(axis == 0 ? "x" : "y") + std::to_string(step * 15) +
                             ":" + std::to_string(enclosed);
            }
        }
        EXPECT_EQ(holes, "");
    }
}

// Seen from the front right after I, a body covers the region it was drawn
// as, pixel for pixel but for the stroke's width, wherever it was drawn and
// however large: every outline of the quality table and of the drawings, a
// disc off the middle, and circles from 20 to 200 pixels across its radius.
// So does its mirror (M) the mirrored region, mirrored about the body's own
// centre. A drawing that fills the window is seen whole, none of it near the
// eye.
TEST(Inflate, TheFrontPictureIsTheDrawing) {
    std::vector<BodyOutline> outlines = body_outlines();
    for (BodyOutline& outline : drawing_outlines())
        outlines.push_back(std::move(outline));
    outlines.push_back({"disc off the middle", [](double x, double y) {
                            return (x - 150) * (x - 150) + (y + 100) * (y + 100) <= 50 * 50;
                        }});
    for (double r : {20.0, 50.0, 110.0, 200.0})
        outlines.push_back({"circle " + std::to_string(int(r)),
                            [r](double x, double y) { return x * x + y * y <= r * r; }});
    for (const BodyOutline& outline : outlines) {
        for (const bool mirrored : {false, true}) {
            SCOPED_TRACE(outline.name + (mirrored ? ", mirrored" : ""));
            const FrontFit fit = measure_front_picture(outline_mask(outline), mirrored);
            ASSERT_TRUE(fit.built);
            EXPECT_LE(fit.outside, 0.015);
            EXPECT_LE(fit.uncovered, 0.01);
            EXPECT_LE(fit.centroid_offset, 0.5);
            EXPECT_TRUE(fit.corners_clear);
            EXPECT_GE(fit.nearest_depth, 64);  // a quarter of the eye's distance to the sheet
        }
    }
}
