// The union of overlapping bodies as one solid to print: closed, outward, one
// shell per connected group, no face through another, the same bits always.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "geometry/inflate_region.h"
#include "geometry/shell_union.h"
#include "support/body_quality.h"
#include "support/mesh_checks.h"

namespace {

// A body inflated from an ellipse about (cx, cy) (model pixels), as a shell in
// the exported frame (y up, z toward the viewer, faces anticlockwise seen from
// outside), its middle moved `depth` fine units away from the viewer.
ClosedShell ellipse_body(double cx, double cy, double rx, double ry, int64_t depth = 0) {
    const BodyOutline outline = {
        "ellipse", [=](double x, double y) {
            return (x - cx) * (x - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry) <= 1;
        }};
    const BodyShell body = inflate_region(outline_mask(outline), {}, {});
    ClosedShell shell;
    for (const Vec4& v : body.vertices)
        shell.positions.push_back({v.x, -int64_t(v.y), -(int64_t(v.z) + depth)});
    for (const MeshTriangle& t : body.triangles)
        shell.triangles.push_back({t.v[0], t.v[2], t.v[1]});
    return shell;
}

double shell_volume(const ClosedShell& shell) {
    std::vector<std::array<double, 3>> positions;
    for (const auto& p : shell.positions)
        positions.push_back({double(p[0]), double(p[1]), double(p[2])});
    return check_shells(positions, shell.triangles).volume;
}

uint64_t digest(const ShellUnion& solid) {
    uint64_t h = 1469598103934665603ull;
    auto add = [&](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            h ^= uint8_t(value >> (8 * i));
            h *= 1099511628211ull;
        }
    };
    for (const auto& p : solid.positions) {
        for (double c : p) {
            uint64_t bits = 0;
            std::memcpy(&bits, &c, 8);
            add(bits, 8);
        }
    }
    for (const auto& t : solid.triangles)
        for (int32_t v : t)
            add(uint32_t(v), 4);
    return h;
}

}  // namespace

TEST(ShellUnion, OverlappingBodiesBecomeOneClosedShellPerGroup) {
    // A body with two arms entering its sides and one sunk behind it, and
    // apart from it a head with two ears: two groups.
    const std::vector<ClosedShell> figure = {
        ellipse_body(0, 40, 60, 85),   ellipse_body(-80, 20, 45, 12),
        ellipse_body(80, 20, 45, 12),  ellipse_body(30, 100, 14, 40, 20 * 256),
        ellipse_body(0, -92, 40, 40),  ellipse_body(-30, -128, 12, 16),
        ellipse_body(30, -128, 12, 16)};
    struct Case {
        const char* name;
        std::vector<ClosedShell> shells;
        int32_t groups;
        double least, most;  // the union's volume, as shares of the bodies' total
    };
    const std::vector<Case> cases = {
        {"figure", figure, 2, 0.9, 0.99},
        {"one body twice over", {figure[0], figure[0]}, 1, 0.47, 0.51},
        {"two heads apart",
         {ellipse_body(-60, 0, 40, 40), ellipse_body(60, 0, 40, 40)},
         2,
         0.95,
         1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ShellUnion solid = union_of_shells(c.shells, UNION_CELLS_ACROSS);
        const ShellCheck check = check_shells(solid.positions, solid.triangles);
        EXPECT_TRUE(check.closed);
        EXPECT_EQ(check.components, c.groups);
        EXPECT_GT(check.smallest_volume, 0);  // every shell faces outward
        EXPECT_EQ(crossing_face_pairs(solid.positions, solid.triangles, double(solid.cell)), 0);
        // The overlaps counted once; the grid rounds off a little of the
        // bodies' sharp rims.
        double sum = 0;
        for (const ClosedShell& shell : c.shells)
            sum += shell_volume(shell);
        EXPECT_GT(check.volume, c.least * sum);
        EXPECT_LT(check.volume, c.most * sum);
    }
}

TEST(ShellUnion, TheSameShellsGiveTheSameBitsOnEveryBuild) {
    // Integer regions, so that the bodies themselves are the same on every build.
    const std::vector<ClosedShell> shells = {ellipse_body(0, 0, 50, 70),
                                             ellipse_body(55, -10, 40, 12, 10 * 256)};
    const ShellUnion first = union_of_shells(shells, UNION_CELLS_ACROSS);
    EXPECT_EQ(digest(first), digest(union_of_shells(shells, UNION_CELLS_ACROSS)));
    EXPECT_EQ(digest(first), 16901102824633276915ull);
}
