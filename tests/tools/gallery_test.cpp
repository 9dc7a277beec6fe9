// The gallery frame against its golden picture: a change in what any fill draws
// shows here as changed pixels.
#include "tools/gallery/gallery.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/memory.h"
#include "raster/texture_loader.h"

#if __has_include(<stb/stb_image.h>)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#define GALLERY_CAN_READ_PNG 1
#endif

TEST(Gallery, FrameMatchesTheGoldenPictureAndLeavesNothingBehind) {
    const int live_blocks = live_block_count();
    std::vector<uint16_t> frame(size_t(GALLERY_WIDTH) * GALLERY_HEIGHT);
    ASSERT_EQ(render_gallery(frame.data(), SKETCH3D_GALLERY_TEXTURE), 0);
    EXPECT_EQ(live_block_count(), live_blocks);
    std::vector<uint16_t> again(frame.size());
    ASSERT_EQ(render_gallery(again.data(), SKETCH3D_GALLERY_TEXTURE), 0);
    EXPECT_EQ(again, frame);  // no state carried from one frame to the next
    EXPECT_EQ(render_gallery(again.data(), "no/such/texture.png"), TEXTURE_ERROR_FILE_MISSING);
    EXPECT_EQ(live_block_count(), live_blocks);

#if GALLERY_CAN_READ_PNG
    int width = 0, height = 0, channels = 0;
    stbi_uc* golden = stbi_load(SKETCH3D_GALLERY_GOLDEN, &width, &height, &channels, 3);
    ASSERT_NE(golden, nullptr) << SKETCH3D_GALLERY_GOLDEN;
    ASSERT_EQ(width, GALLERY_WIDTH);
    ASSERT_EQ(height, GALLERY_HEIGHT);
    // The picture holds each 5-bit component widened to 8 bits; bit 15, which
    // the screen does not show, is not kept.
    int different = 0, first = -1;
    for (size_t i = 0; i < frame.size(); ++i) {
        const stbi_uc* rgb = golden + i * 3;
        const uint16_t expected =
            uint16_t(((rgb[0] >> 3) << 10) | ((rgb[1] >> 3) << 5) | (rgb[2] >> 3));
        if ((frame[i] & 0x7FFF) != expected) {
            if (first < 0) first = int(i);
            ++different;
        }
    }
    stbi_image_free(golden);
    EXPECT_EQ(different, 0) << "first at (" << first % GALLERY_WIDTH << ", "
                            << first / GALLERY_WIDTH
                            << "); if the change is intended, rewrite the golden picture with "
                               "`cmake --build build/default --target golden`";
#else
    GTEST_SKIP() << "no PNG decoder to read the golden picture";
#endif
}
