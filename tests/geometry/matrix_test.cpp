// Matrix building and products, the matrix stack and the vertex transforms.
#include <gtest/gtest.h>

#include <array>
#include <iterator>

#include "geometry/camera.h"
#include "geometry/fixed_math.h"
#include "geometry/matrix.h"

namespace {

class Matrices : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(init_trig_tables(), 0); }
    void TearDown() override { free_trig_tables(); }
};

std::array<int32_t, 16> entries(const Matrix& m) {
    std::array<int32_t, 16> a;
    for (int i = 0; i < 16; ++i)
        a[i] = m.m[i];
    return a;
}

}  // namespace

TEST_F(Matrices, BuildersMatchTheirReferenceEntries) {
    Matrix m;
    Vec4 angles = {128, 576, 0, 0};
    ASSERT_EQ(matrix_rotation(&m, &angles), 0);
    EXPECT_EQ(entries(m), (std::array<int32_t, 16>{-473, 137, 137, 0, 0, 362, -362, 0, -195, -335,
                                                   -335, 0, 0, 0, 0, 512}));
    // A stray angle is masked rather than read outside the tables.
    Matrix wrapped;
    Vec4 far_angles = {128 - 1024, 576 + 4096, 0, 0};
    matrix_rotation(&wrapped, &far_angles);
    EXPECT_EQ(entries(wrapped), entries(m));

    Vec4 zero = {0, 0, 0, 0}, unit = {512, 512, 512, 0}, t = {10, -20, 30, 0};
    Matrix identity;
    matrix_identity(&identity);
    make_object_matrix(&m, &zero, &zero, &unit);
    EXPECT_EQ(entries(m), entries(identity));

    // An object is rotated before it is moved; the camera is moved first.
    Vec4 quarter_y = {0, 256, 0, 0};
    make_object_matrix(&m, &t, &quarter_y, &unit);
    EXPECT_EQ(m.m[12], 5120);
    EXPECT_EQ(m.m[13], -10240);
    EXPECT_EQ(m.m[14], 15360);
    make_view_matrix(&m, &t, &quarter_y, &unit);
    EXPECT_EQ(m.m[12], 15360);  // (5120, -10240, 15360) rotated a quarter turn about y
    EXPECT_EQ(m.m[13], -10240);
    EXPECT_EQ(m.m[14], -5120);
}

TEST_F(Matrices, MultiplyShiftsEachProductAndFloors) {
    Matrix a, b, out;
    matrix_identity(&a);
    matrix_identity(&b);
    a.m[0] = 1;  // row 0 = (1, 1, 0, 0)
    a.m[1] = 1;
    b.m[0] = 256;  // column 0 = (256, 256, 0, 0)
    b.m[4] = 256;
    b.m[5] = -1;  // (1 * -1) >> 9 is -1, not 0
    matrix_multiply(&out, &a, &b);
    EXPECT_EQ(out.m[0], 0);  // 128 / 512 twice, not 256 / 512 once
    EXPECT_EQ(out.m[1], -1);
    // The output may be one of the inputs.
    matrix_multiply(&a, &a, &b);
    EXPECT_EQ(entries(a), entries(out));
}

TEST_F(Matrices, TransformsShiftTheWholeSumAndProjectAroundTheCentre) {
    Matrix m;
    matrix_identity(&m);
    m.m[0] = 256;
    m.m[4] = 256;
    m.m[12] = 512 * 7;
    Vec4 v[2] = {{1, 1, 3, 99}, {-2, 0, 0, 0}};
    transform_vectors(2, v, v, &m);
    EXPECT_EQ(v[0].x, 8);  // (256 + 256 + 3584) >> 9, shifted once
    EXPECT_EQ(v[0].z, 3);
    EXPECT_EQ(v[0].w, 99);
    EXPECT_EQ(v[1].x, 6);

    set_screen_centre(100, 50);
    matrix_identity(&m);
    m.m[12] = -14;  // X = -7
    m.m[13] = 6;    // Y = 3
    Vec4 origin = {0, 0, 0, 0};
    ScreenVertex s;
    const int32_t zraws[] = {511, 512, 1024, -5000};
    const ScreenVertex expected[] = {
        {-7, 3, 0, -1}, {93, 53, 1, 0}, {97, 51, 2, 0}, {-7, 3, -10, -1}};
    for (int i = 0; i < 4; ++i) {
        m.m[14] = zraws[i];
        EXPECT_EQ(transform_and_project(1, &s, &origin, &m), 0);
        // -7 / 2 truncates to -3 before the centre is added.
        EXPECT_TRUE(s.x == expected[i].x && s.y == expected[i].y && s.z == expected[i].z &&
                    s.w == expected[i].w)
            << zraws[i] << ": (" << s.x << ", " << s.y << ", " << s.z << ", " << s.w << ")";
    }
    set_screen_centre(0, 0);
}

// Vertices are projected several at a time where the processor allows: a
// batch must give what each vertex gives alone, sums that wrap, vertices
// behind the eye and the few left after the last group of four included.
TEST_F(Matrices, ABatchProjectsEachVertexAsItDoesAlone) {
    set_screen_centre(160, 120);
    Matrix m;
    Vec4 angles = {100, 300, 700, 0}, translation = {70001, -50003, 600, 0};
    Vec4 scale = {4096, 4096, 4096, 0};
    make_object_matrix(&m, &translation, &angles, &scale);
    const Vec4 in[] = {{0, 0, 0, 0},         {INT32_MAX, INT32_MIN, 12345, 7},
                       {-300, 200, -100, 0}, {1 << 22, -(1 << 21), -(1 << 23), 0},
                       {5, -5, 5, 0},        {-2147483000, 5, 2147483000, 0},
                       {0, 0, -4000, 0}};
    constexpr int n = int(std::size(in));
    ScreenVertex batch[n], alone;
    EXPECT_EQ(transform_and_project(n, batch, in, &m), 0);
    for (int i = 0; i < n; ++i) {
        transform_and_project(1, &alone, &in[i], &m);
        EXPECT_TRUE(batch[i].x == alone.x && batch[i].y == alone.y && batch[i].z == alone.z &&
                    batch[i].w == alone.w)
            << i;
    }
    set_screen_centre(0, 0);
}

TEST_F(Matrices, StackHoldsThirtyTwoAndRejectsBadPops) {
    Matrix m, out;
    matrix_identity(&m);
    for (int i = 0; i < MATRIX_STACK_DEPTH; ++i) {
        m.m[12] = i + 1;
        EXPECT_EQ(push_matrix(&m), i);
    }
    m.m[12] = 33;
    EXPECT_EQ(push_matrix(&m), -1);
    EXPECT_EQ(matrix_stack_depth(), 32);
    // n = 0 at full depth would read past the storage; n < 1 is refused.
    out.m[12] = -5;
    EXPECT_EQ(pop_matrices(&out, 0), -1);
    EXPECT_EQ(pop_matrices(&out, -3), -1);
    EXPECT_EQ(pop_matrices(&out, 33), -1);
    EXPECT_EQ(out.m[12], -5);
    EXPECT_EQ(matrix_stack_depth(), 32);
    EXPECT_EQ(pop_matrices(&out, 1), 31);
    EXPECT_EQ(out.m[12], 32);
    EXPECT_EQ(pop_matrices(&out, 30), 1);
    EXPECT_EQ(out.m[12], 2);
    reset_matrix_stack();
    EXPECT_EQ(pop_matrices(&out, 1), -1);
    EXPECT_EQ(out.m[12], 2);
}
