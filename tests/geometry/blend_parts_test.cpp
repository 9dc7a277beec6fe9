// Depth fields of a part's surface cut from a wider one.
#include <gtest/gtest.h>

#include <cstring>

#include "geometry/blend_parts.h"
#include "support/seeded_random.h"

namespace {

bool same_field(const RayDepthField& a, const RayDepthField& b) {
    return a.x0 == b.x0 && a.y0 == b.y0 && a.width == b.width && a.height == b.height &&
           a.depth.size() == b.depth.size() &&
           std::memcmp(a.depth.data(), b.depth.data(), a.depth.size() * sizeof(double)) == 0;
}

// A field cut from one made with a wider margin holds the very bits of one
// made with the narrower margin, front and back, over random overlapping
// triangles (covered pixels the continuation must go around, tilted faces
// nearer and farther than their neighbours); one that may differ is refused.
TEST(BlendParts, NarrowerFieldsAreTheFieldsMadeNarrower) {
    SeededRandom random{34};
    auto next = [&](int32_t range) { return random.between(-range, range); };
    constexpr int32_t WIDE = 62;
    int32_t compared = 0;
    for (int32_t trial = 0; trial < 12; ++trial) {
        PartMesh mesh;
        const int32_t spread = 20 + 10 * trial;
        for (int32_t i = 0; i < 30; ++i)
            mesh.vertices.push_back({next(spread), next(spread), next(40 + spread), 0});
        for (int32_t i = 0; i < 24; ++i)
            mesh.triangles.push_back({{(i * 7) % 30, (i * 11 + 3) % 30, (i * 13 + 5) % 30}});
        const RayPlacement at = {next(50), next(30), FIXED_ONE + 64 * (trial % 3), 900};
        for (bool back : {false, true}) {
            const RayDepthField wide = part_depth_field(mesh, at, back, WIDE, 3);
            ASSERT_GT(wide.width, 2 * WIDE) << trial;
            for (int32_t margin : {0, 1, 2, 9, 33, 61, 62}) {
                RayDepthField cut;
                ASSERT_TRUE(narrower_depth_field(wide, WIDE, margin, &cut)) << trial;
                EXPECT_TRUE(same_field(cut, part_depth_field(mesh, at, back, margin, 3)))
                    << trial << " " << back << " " << margin;
                ++compared;
            }
            RayDepthField cut;
            EXPECT_FALSE(narrower_depth_field(wide, 20, 30, &cut));
        }
    }
    EXPECT_EQ(compared, 12 * 2 * 7);
    // A part beyond the clipped box: refused, its triangles reaching the margin.
    PartMesh far;
    far.vertices = {{-40000, 0, 0, 0}, {100, 50, 0, 0}, {100, -50, 0, 0}};
    far.triangles = {{{0, 1, 2}}};
    const RayDepthField wide = part_depth_field(far, {0, 0, FIXED_ONE, 900}, false, WIDE, 3);
    RayDepthField cut;
    EXPECT_FALSE(narrower_depth_field(wide, WIDE, 10, &cut));
}

}  // namespace
