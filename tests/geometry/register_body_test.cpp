// The body set on the rays through its drawing: every vertex seen where its
// place was drawn, the shell still closed, outward and without folds, a
// centred disc a sphere, nothing near the eye.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/inflate_region.h"
#include "geometry/matrix.h"
#include "geometry/register_body.h"
#include "support/body_quality.h"

namespace {

// Where model point (x, y, z) (model units) lands under m, in pixels from
// the screen centre, without the renderer's rounding.
std::pair<double, double> seen(const Matrix& m, double x, double y, double z) {
    const int32_t* e = m.m;
    const double depth = x * e[2] + y * e[6] + z * e[10] + e[14];
    return {256 * (x * e[0] + y * e[4] + z * e[8] + e[12]) / depth,
            256 * (x * e[1] + y * e[5] + z * e[9] + e[13]) / depth};
}

}  // namespace

TEST(RegisterBody, EveryVertexIsSeenWhereItWasDrawnAndTheBodyStaysRound) {
    ASSERT_EQ(init_trig_tables(), 0);
    // The program's camera: the eye 256 units before the sheet, turned by a
    // step of the angle tables; and the same unturned.
    Matrix drawing, view;
    const Vec4 eye = {0, 0, 256, 1}, none = {0, 0, 0, 1}, turn = {0, 1023, 0, 1};
    const Vec4 unit = {FIXED_ONE, FIXED_ONE, FIXED_ONE, 1};
    make_view_matrix(&drawing, &eye, &none, &unit);
    make_view_matrix(&view, &eye, &turn, &unit);
    std::vector<BodyOutline> outlines = body_outlines();
    for (BodyOutline& outline : drawing_outlines())
        outlines.push_back(std::move(outline));
    outlines.push_back({"disc off the middle", [](double x, double y) {
                            return (x - 150) * (x - 150) + (y + 100) * (y + 100) <= 50 * 50;
                        }});
    for (const BodyOutline& outline : outlines) {
        SCOPED_TRACE(outline.name);
        DistanceField field;
        const BodyShell shell = inflate_region(outline_mask(outline), {}, {}, &field);
        const RegisteredBody registered = register_body(shell, field, drawing, view);
        const BodyShell& body = registered.body;
        ASSERT_EQ(body.vertices.size(), shell.vertices.size());
        ASSERT_EQ(registered.whole.size(), shell.vertices.size());
        const BodyQuality q = measure_body(body);
        EXPECT_TRUE(q.closed);
        EXPECT_TRUE(q.every_piece_has_volume);
        EXPECT_EQ(q.genus_total, outline.holes);
        // No fold: the faces turn at most a little more sharply than before,
        // and nowhere by more than 60 degrees.
        EXPECT_LE(q.dihedral_max, std::min(60.0, measure_body(shell).dihedral_max + 20));
        // The whole positions as the pipeline draws them: each vertex on the
        // pixel its place was drawn on (the renderer samples a pixel half a
        // pixel right of its centre) or next to it, where a unit shows at
        // most two pixels wide.
        std::vector<ScreenVertex> drawn_at(body.vertices.size());
        transform_and_project(int(drawn_at.size()), drawn_at.data(), registered.whole.data(),
                              &view);
        double worst = 0, nearest = 1e9;
        int32_t off_pixel = 0;
        for (size_t i = 0; i < body.vertices.size(); ++i) {
            const Vec4& v = body.vertices[i];
            const Vec4& drawn = shell.vertices[i];  // a twin shares its front vertex's place
            const auto [sx, sy] = seen(view, v.x / 256.0, v.y / 256.0, v.z / 256.0);
            const auto [dx, dy] = seen(drawing, drawn.x / 256.0, drawn.y / 256.0, 0);
            worst = std::max(worst, std::hypot(sx - dx, sy - dy));
            nearest = std::min(nearest, 256 + v.z / 256.0);
            const int32_t ex = drawn_at[i].x - int32_t(std::floor(dx + 1));
            const int32_t ey = drawn_at[i].y - int32_t(std::floor(dy + 0.5));
            if (256 + v.z / 256.0 >= 128) off_pixel += std::max(std::abs(ex), std::abs(ey)) > 1;
        }
        EXPECT_LE(worst, 0.05);
        EXPECT_EQ(off_pixel, 0);
        EXPECT_GE(nearest, 64);
        const int32_t front = body.front_count;
        for (int32_t i = 0; i < front; ++i) {
            if (body.back_of[size_t(i)] != i) {
                EXPECT_LT(body.vertices[size_t(i)].z,
                          body.vertices[size_t(body.back_of[size_t(i)])].z);
            }
        }
        if (outline.name == "disc") {
            // The sphere whose outline seen from 256 units is the circle of
            // radius 110: radius 110 * 256 / sqrt(256² + 110²), its centre on
            // the sheet's plane (where the turned camera sees the circle's).
            const double radius = 110 * 256 / std::sqrt(256.0 * 256 + 110 * 110);
            double cx = 0, cy = 0;
            for (const Vec4& v : body.vertices)
                cx += v.x / 256.0, cy += v.y / 256.0;
            cx /= double(body.vertices.size()), cy /= double(body.vertices.size());
            double worst_radius = 0, sum = 0;
            for (const Vec4& v : body.vertices) {
                const double r = std::hypot(v.x / 256.0 - cx, v.y / 256.0 - cy, v.z / 256.0);
                worst_radius = std::max(worst_radius, std::fabs(r - radius));
                sum += (r - radius) * (r - radius);
            }
            EXPECT_LE(std::sqrt(sum / double(body.vertices.size())), 0.01 * radius);
            EXPECT_LE(worst_radius, 0.03 * radius);
        }
    }
    free_trig_tables();
}
