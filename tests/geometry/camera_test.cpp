// Camera angles from an eye and a target, the camera matrix and the light.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "geometry/camera.h"
#include "geometry/fixed_math.h"
#include "geometry/matrix.h"

namespace {

class Camera : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(init_trig_tables(), 0);
        reset_view_defaults();
    }
    void TearDown() override {
        free_trig_tables();
        set_screen_centre(0, 0);
    }
};

std::array<int32_t, 3> angles_for(int32_t ex, int32_t ey, int32_t ez, int32_t tx, int32_t ty,
                                  int32_t tz) {
    set_camera(ex, ey, ez, tx, ty, tz);
    const Vec4& a = camera_state()->angles;
    return {a.x, a.y, a.z};
}

using Angles = std::array<int32_t, 3>;

}  // namespace

TEST_F(Camera, LookingDownMinusZFromTheStartUpEye) {
    set_screen_centre(256, 240);
    set_camera(0, 0, 256, 0, 0, 0);
    const CameraState* c = camera_state();
    EXPECT_EQ(Angles({c->angles.x, c->angles.y, c->angles.z}), Angles({0, 1023, 0}));
    EXPECT_TRUE(c->position.x == 0 && c->position.y == 0 && c->position.z == 256);
    std::array<int32_t, 16> rows;
    for (int i = 0; i < 16; ++i)
        rows[i] = c->matrix.m[i];
    EXPECT_EQ(rows, (std::array<int32_t, 16>{511, 0, 3, 0, 0, 512, 0, 0, -3, 0, 511, 0, -768, 0,
                                             130816, 512}));
    Vec4 origin = {0, 0, 0, 0};
    ScreenVertex s;
    transform_and_project(1, &s, &origin, &c->matrix);
    EXPECT_TRUE(s.x == 255 && s.y == 240 && s.z == 255 && s.w == 0)
        << s.x << ", " << s.y << ", " << s.z << ", " << s.w;
}

TEST_F(Camera, YawAndPitchFromEyeAndTarget) {
    EXPECT_EQ(angles_for(100, 50, 300, 0, 0, 0), Angles({999, 971, 0}));
    EXPECT_EQ(angles_for(0, 0, -256, 0, 0, 0), Angles({0, 511, 0}));
    // The half turn follows the eye's z, and z = 0 counts as behind.
    EXPECT_EQ(angles_for(0, 0, 0, 0, 0, -256), Angles({0, 511, 0}));
    EXPECT_EQ(angles_for(0, 20, 300, 0, 20, 0)[0], 0);
    EXPECT_EQ(angles_for(0, 0, 300, 0, 30, 0)[0], 16);  // atan2(30, 300) -> 16.2
    EXPECT_EQ(angles_for(0, 30, 300, 0, 0, 0)[0], 1024 - 16);
}

TEST_F(Camera, TheOriginAsTargetLandsAtTheCentre) {
    set_screen_centre(256, 240);
    // The last two eyes are level with the origin: dz = 0, an infinite slope.
    const int32_t eyes[][3] = {{100, 50, 300}, {0, 0, -256}, {-300, 0, 200}, {100, -40, -300},
                               {0, 50, 0},     {100, 0, 0},  {-100, 0, 0}};
    Vec4 origin = {0, 0, 0, 0};
    for (const auto& e : eyes) {
        set_camera(e[0], e[1], e[2], 0, 0, 0);
        ScreenVertex s;
        transform_and_project(1, &s, &origin, &camera_state()->matrix);
        EXPECT_TRUE(s.w == 0 && s.z > 0 && std::abs(s.x - 256) <= 2 && std::abs(s.y - 240) <= 2)
            << e[0] << ", " << e[1] << ", " << e[2] << ": " << s.x << ", " << s.y << ", " << s.z
            << ", " << s.w;
    }
}

TEST_F(Camera, DegenerateDirectionsGiveDefinedAngles) {
    // Same z: the slope is infinite, a quarter turn either way.
    EXPECT_EQ(angles_for(100, 0, 0, 0, 0, 0), Angles({0, 767, 0}));
    EXPECT_EQ(angles_for(0, 0, 100, -10, 0, 100), Angles({0, 255, 0}));
    // Same x and z: no heading at all; straight up or down when y differs.
    EXPECT_EQ(angles_for(5, 5, 5, 5, 5, 5), Angles({0, 1023, 0}));
    EXPECT_EQ(angles_for(5, 0, -5, 5, 9, -5), Angles({256, 511, 0}));
    EXPECT_EQ(angles_for(5, 9, 5, 5, 0, 5), Angles({768, 1023, 0}));
    // 40000^2 * 2 exceeds int32 but not uint32: the distance stays 56568.
    EXPECT_EQ(angles_for(0, 0, 40001, 40000, 56568, 1)[0], 128);
    // Extreme inputs wrap without faults; angles stay in range.
    for (int32_t big : {INT32_MIN, INT32_MAX}) {
        Angles a = angles_for(big, big, big, -big, -big, -big);
        for (int32_t v : a)
            EXPECT_TRUE(v >= 0 && v < 1024) << big << ": " << v;
    }
}

TEST_F(Camera, LightDefaultsDirectionAndColour) {
    const Vec4* v = light_vector();
    EXPECT_TRUE(v->x == 1024 && v->y == 0 && v->z == 0 && v->w == 0);
    camera_state()->position.z = 9;
    light_state()->vector.w = 7;
    set_light_direction(128, 576, 0);
    EXPECT_TRUE(v->x == -946 && v->y == 274 && v->z == 274 && v->w == 7)
        << v->x << ", " << v->y << ", " << v->z << ", " << v->w;
    set_light_colour(10, 20, 30);
    EXPECT_TRUE(light_colour()->r == 10 && light_colour()->g == 20 && light_colour()->b == 30);

    reset_view_defaults();
    const CameraState* c = camera_state();
    EXPECT_TRUE(c->position.x == 0 && c->position.y == 0 && c->position.z == 75 &&
                c->position.w == 1);
    EXPECT_TRUE(c->angles.x == 0 && c->angles.y == 0 && c->angles.z == 0 && c->angles.w == 1);
    EXPECT_TRUE(c->scale.x == 512 && c->scale.y == 512 && c->scale.z == 512 && c->scale.w == 1);
    EXPECT_TRUE(v->x == 1024 && v->y == 0 && v->z == 0 && v->w == 0);
    EXPECT_TRUE(light_colour()->r == 255 && light_colour()->g == 255 && light_colour()->b == 255);
}
