// The colour keys 1 to 8: in editing mode the edited part's base colour, an
// undo step, copied by M; while drawing they colour nothing.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/edited_object.h"
#include "app/part_colours.h"
#include "app/undo_history.h"
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

void undo(Session& session) {
    headless_queue_key_down(KEY_CONTROL);
    session.tap(KEY_Z);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
}

}  // namespace

TEST(ColourKeys, SetTheEditedPartsLitColourAsAnUndoStepThatMirrorsCopy) {
    Session session;
    // While drawing the keys colour nothing, and are not kept for the part built next.
    session.stroke(ellipse_points(257, 300, 75, 105, 32));
    const Picture drawn = headless_window_pixels();
    session.tap(colour_key(3));
    EXPECT_EQ(headless_window_pixels(), drawn);
    EXPECT_EQ(undo_history_stats().undo_steps, 1);  // the stroke alone
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
