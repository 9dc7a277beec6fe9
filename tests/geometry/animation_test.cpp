// Keyframe animation: key changes, angle wrapping, easing, finishing and
// looping, creation checks and deletion with the object.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/scene_fixture.h"
#include "support/test_support.h"

namespace {

class Animations : public SceneTest {};

int32_t object_with_parts(int32_t parts) {
    int32_t index = create_object(parts);
    for (int32_t i = 0; i < parts; ++i)
        add_object_part(index, 0, 0, 0);
    return index;
}

// Rotation x of part 0 after each of `frames` steps.
std::vector<int32_t> x_angles(int32_t index, int frames) {
    std::vector<int32_t> out;
    for (int i = 0; i < frames; ++i) {
        advance_animations();
        out.push_back(get_part_rotation(index, 0)->x);
    }
    return out;
}

// Part 0's x from `from` to `to` over `duration` frames.
int32_t animate_x(int32_t index, int32_t from, int32_t to, int32_t duration, int32_t easing) {
    const Vec4 a = {from, 0, 0, 0}, b = {to, 0, 0, 0};
    const AnimationKeySpec keys[2] = {{0, 0, &a}, {duration, easing, &b}};
    return create_animation(index, 1, 2, keys, 0);
}

}  // namespace

TEST_F(Animations, KeyChangeTakesTheShorterWayRound) {
    int32_t index = object_with_parts(1);
    const Vec4 from = {1000, 0, 10, 0};
    const Vec4 to = {10, 512, 1000, 0};
    const AnimationKeySpec keys[2] = {{5, 0, &from}, {2, 0, &to}};
    ASSERT_EQ(create_animation(index, 1, 2, keys, 0), index);
    const Vec4* rotation = get_part_rotation(index, 0);

    advance_animations();  // reaches key 0 at once
    EXPECT_EQ(rotation->x, 1000);
    EXPECT_EQ(rotation->z, 10);
    const AnimationTrack* a = get_animation(index);
    EXPECT_EQ(a->delta[0].x, 34);   // forwards through 0, not -990
    EXPECT_EQ(a->delta[0].y, 512);  // half a turn stays positive
    EXPECT_EQ(a->delta[0].z, -34);

    advance_animations();  // half way
    EXPECT_EQ(rotation->x, 1017);
    EXPECT_EQ(rotation->y, 256);
    EXPECT_EQ(rotation->z, 1017);  // 10 - 17, wrapped
    advance_animations();          // key 1 reached
    EXPECT_EQ(rotation->x, 10);
    EXPECT_EQ(rotation->z, 1000);
}

TEST_F(Animations, EasingCurvesAtAThirdOfTheWay) {
    // u = 1024 / 3 = 341 one frame after the key; delta 512.
    const int32_t expected[][2] = {
        {0, 170},            // t = 341
        {1, 113},            // t = ((85 * 8) * 341) >> 10 = 226
        {2, 212},            // t = (1023 + 680) >> 2 = 425
        {3, 56},             // t = (341 * 341) >> 10 = 113
        {4, 56},  {9, 170},  // unknown kinds are linear
    };
    for (const auto& [easing, angle] : expected) {
        int32_t index = object_with_parts(1);
        ASSERT_EQ(animate_x(index, 0, 512, 3, easing), index);
        EXPECT_EQ(x_angles(index, 2), (std::vector<int32_t>{0, angle})) << easing;
        delete_object(index);
    }
    int32_t index = object_with_parts(1);
    animate_x(index, 0, 512, 4, 0);
    EXPECT_EQ(x_angles(index, 5), (std::vector<int32_t>{0, 128, 256, 384, 512}));
    // A negative delta is scaled with an arithmetic shift: (341 * -34) >> 10 = -12.
    delete_object(index);
    index = object_with_parts(1);
    animate_x(index, 100, 66, 3, 0);
    EXPECT_EQ(x_angles(index, 3), (std::vector<int32_t>{100, 88, 77}));
}

TEST_F(Animations, AnimationFinishesOnItsLastKeyOrLoops) {
    int32_t index = object_with_parts(2);
    const Vec4 pose_a[2] = {{0, 0, 0, 0}, {100, 0, 0, 0}};
    const Vec4 pose_b[2] = {{200, 0, 0, 0}, {0, 0, 0, 0}};
    const AnimationKeySpec keys[2] = {{2, 0, pose_a}, {2, 0, pose_b}};
    ASSERT_EQ(create_animation(index, 2, 2, keys, 0), index);
    EXPECT_EQ(x_angles(index, 3), (std::vector<int32_t>{0, 100, 200}));
    EXPECT_EQ(get_part_rotation(index, 1)->x, 0);
    // Finished: the parts are left alone from now on.
    get_part_rotation(index, 0)->x = 7;
    advance_animations();
    EXPECT_EQ(get_part_rotation(index, 0)->x, 7);

    delete_animation(index);
    ASSERT_EQ(create_animation(index, 2, 2, keys, 1), index);
    EXPECT_EQ(x_angles(index, 6), (std::vector<int32_t>{0, 100, 200, 100, 0, 100}));
    EXPECT_EQ(get_part_rotation(index, 1)->x, 50);
}

TEST_F(Animations, CreationChecksItsArgumentsAndCleansUpAfterFailure) {
    int32_t index = object_with_parts(2);
    const Vec4 pose[2] = {};
    const AnimationKeySpec good[1] = {{1, 0, pose}};
    const AnimationKeySpec no_targets[1] = {{1, 0, nullptr}};
    EXPECT_EQ(create_animation(index + 1, 1, 1, good, 0), -1);  // no object
    EXPECT_EQ(create_animation(index, 3, 1, good, 0), -1);      // more parts than the object
    EXPECT_EQ(create_animation(index, 2, 1, no_targets, 0), -1);

    // Track, start, delta, key, targets: each failure frees what was taken.
    MessageCapture messages;
    int live = live_block_count();
    for (int k = 1; k <= 5; ++k) {
        fail_allocation_after(k);
        EXPECT_EQ(create_animation(index, 2, 1, good, 0), -2) << k;
        EXPECT_EQ(live_block_count(), live) << k;
    }
    ASSERT_EQ(create_animation(index, 2, 1, good, 0), index);
    EXPECT_EQ(create_animation(index, 2, 1, good, 0), -1);  // slot taken
}

TEST_F(Animations, AnimationGoesWithItsObject) {
    int32_t first = object_with_parts(1);
    int32_t second = object_with_parts(1);
    animate_x(first, 0, 512, 4, 0);
    animate_x(second, 0, 512, 4, 0);
    EXPECT_EQ(delete_object(first), first);
    EXPECT_EQ(get_animation(first), nullptr);
    EXPECT_EQ(x_angles(second, 2), (std::vector<int32_t>{0, 128}));

    // Deleting the animation clears the object's callback.
    EXPECT_EQ(delete_animation(second), 0);
    EXPECT_EQ(get_object(second)->on_delete, nullptr);
    EXPECT_EQ(delete_animation(second), -1);

    // An animation whose object went without it steps nothing.
    animate_x(second, 0, 512, 4, 0);
    set_delete_callback(second, nullptr);
    delete_object(second);
    advance_animations();
    EXPECT_NE(get_animation(second), nullptr);  // freed with the table
}
