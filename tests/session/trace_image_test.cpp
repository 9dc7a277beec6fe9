// Tracing an image: the picture fitted to the window and shown faded under the drawing, a
// body built over it painted with its colours (front as drawn, back mirrored), a later load
// undone, a saved session replaying to the same picture, and unusable images refused.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/session_save.h"
#include "app/trace_image.h"
#include "platform/common/png_writer.h"
#include "platform/headless/script_player.h"
#include "raster/picture_file.h"
#include "raster/texture_loader.h"
#include "session/session_fixture.h"

namespace {

namespace fs = std::filesystem;

fs::path scratch_folder(const char* name) {
    const fs::path folder = fs::temp_directory_path() /
                            ("sketch3d-" + std::string(name) + "-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

constexpr uint16_t pixel_of(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}
// The photo's quadrants: red, blue above; green, violet below.
constexpr uint16_t QUADRANTS[4] = {pixel_of(230, 40, 40), pixel_of(40, 60, 230),
                                   pixel_of(40, 220, 60), pixel_of(120, 40, 230)};

// An 800 x 600 PNG of four quadrants.
std::string quadrant_png() {
    std::vector<uint16_t> pixels(800 * 600);
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 800; ++x)
            pixels[size_t(y * 800 + x)] = QUADRANTS[(y >= 300 ? 2 : 0) + (x >= 400 ? 1 : 0)];
    std::string png;
    EXPECT_TRUE(encode_png_555(pixels.data(), 800, 600, 1, &png));
    return png;
}

int32_t strongest_of(uint16_t pixel) {
    const int32_t r = (pixel >> 10) & 31, g = (pixel >> 5) & 31, b = pixel & 31;
    return r >= g && r >= b ? 0 : g >= b ? 1 : 2;
}

void ctrl_tap(Session& session, int key) {
    headless_queue_key_down(KEY_CONTROL);
    session.tap(key);
    headless_queue_key_up(KEY_CONTROL);
    session.frames(1);
}

}  // namespace

TEST(TraceImage, FitsThePictureToTheWindowKeepingItsShape) {
    struct Case {
        int32_t width, height, fitted_width, fitted_height;
    };
    // The window's 514 x 483: a wide picture spans its width, a tall one its height, the
    // other side rounded to nearest and at least one pixel.
    const Case cases[] = {{800, 600, 514, 386},
                          {100, 1000, 48, 483},
                          {4096, 1, 514, 1},
                          {1, 1, 483, 483},
                          {514, 386, 514, 386}};
    for (const Case& c : cases) {
        std::vector<uint16_t> texels(size_t(c.width) * size_t(c.height));
        for (size_t i = 0; i < texels.size(); ++i)
            texels[i] = uint16_t((i * 2654435761u) >> 17) & 0x7FFF;
        const TracePicture fitted = fit_trace_picture({c.width, c.height, texels.data()}, 514, 483);
        EXPECT_EQ(fitted.width, c.fitted_width) << c.width << " x " << c.height;
        EXPECT_EQ(fitted.height, c.fitted_height) << c.width << " x " << c.height;
        // Centred: its top-left pixel's model point from the window's centre (257, 241).
        EXPECT_EQ(fitted.x, (514 - c.fitted_width) / 2 - 257);
        EXPECT_EQ(fitted.y, (483 - c.fitted_height) / 2 - 241);
        // A picture of the fitted size comes back as it was, as a saved one read again must.
        if (c.width == c.fitted_width && c.height == c.fitted_height) {
            EXPECT_EQ(fitted.pixels, texels);
        }
        // A build that reads BMP only saves its pictures so; the reader gives them back
        // (rows padded to four bytes for the odd widths).
        std::string bmp;
        DecodedImage back;
        ASSERT_TRUE(encode_pixels_bmp(texels.data(), c.width, c.height, &bmp));
        ASSERT_EQ(read_picture_bytes(reinterpret_cast<const uint8_t*>(bmp.data()),
                                     int64_t(bmp.size()), &back),
                  0);
        EXPECT_TRUE(back.width == c.width && back.height == c.height &&
                    std::equal(texels.begin(), texels.end(), back.texels));
        free_decoded_image(&back);
    }
    // Shrunk, a screen pixel is the rounded mean of the texels over it: 2 x 1 into 1 x 1.
    uint16_t pair[2] = {pixel_of(0, 8, 248), pixel_of(16, 8, 0)};
    EXPECT_EQ(fit_trace_picture({2, 1, pair}, 1, 1).pixels[0], pixel_of(8, 8, 128));
}

TEST(TraceImage, BodyOverThePictureTakesItsColoursAndALaterLoadIsAnUndoStep) {
    const fs::path folder = scratch_folder("trace-body");
    write_bytes(folder / "photo.png", quadrant_png());
    Session session;
    ASSERT_EQ(session.start_up_result, 0);
    DecodedImage image;
    ASSERT_EQ(read_picture_file((folder / "photo.png").c_str(), &image), 0);
    ASSERT_TRUE(load_trace_image(image, "photo.png"));
    free_decoded_image(&image);
    const auto first = trace_picture();
    session.frames(1);
    // Shown under the drawing, faded halfway toward the blue background: the red quadrant's
    // (28, 5, 5) as (14, 3, 18); above the 386 rows fitted, the background. The page the
    // outline's fill reads keeps none of it.
    const auto shown = [](int32_t x, int32_t y) {
        return headless_window_pixels()[size_t(y) * size_t(headless_client_width()) + size_t(x)];
    };
    EXPECT_EQ(shown(60, 100), uint16_t((14 << 10) | (3 << 5) | 18));
    EXPECT_EQ(shown(60, 20), BLUE);
    EXPECT_EQ(Session::pixel(60, 100), BLUE);

    session.stroke(ellipse_points(257, 241, 160, 100));
    session.right_click(257, 241);
    session.tap(KEY_I);
    // The front, each quadrant's colour where it was drawn over.
    struct Probe {
        int32_t x, y, channel;
    };
    for (const Probe& p :
         {Probe{190, 200, 0}, Probe{320, 200, 2}, Probe{190, 285, 1}, Probe{320, 285, 2}})
        EXPECT_EQ(strongest_of(Session::pixel(p.x, p.y)), p.channel) << p.x << ", " << p.y;
    // Half a turn about y: the back shows the picture mirrored, the red quadrant now right.
    session.hover(257, 241);
    headless_queue_button_down(BUTTON_LEFT);
    for (int32_t x = 193; x >= -255; x -= 64)
        session.hover(x, 241);
    headless_queue_button_up(BUTTON_LEFT);
    session.frames(1);
    EXPECT_EQ(strongest_of(Session::pixel(320, 200)), 0);
    EXPECT_EQ(strongest_of(Session::pixel(190, 200)), 2);

    // Another picture mid-session waits for the next frame, where it is an undo step.
    const std::string png = quadrant_png();
    ASSERT_EQ(open_trace_image(reinterpret_cast<const uint8_t*>(png.data()), int64_t(png.size())),
              0);
    EXPECT_EQ(trace_picture(), first);
    session.frames(1);
    EXPECT_NE(trace_picture(), first);
    ctrl_tap(session, KEY_Z);
    EXPECT_EQ(trace_picture(), first);
    fs::remove_all(folder);
}

TEST(TraceImage, SavedSessionWithItsImageReplaysToTheSamePicture) {
    const fs::path folder = scratch_folder("trace-save");
    write_bytes(folder / "photo.png", quadrant_png());
    std::ostringstream text;
    text << "frames 1\n";
    const Points outline = ellipse_points(257, 241, 160, 100);
    for (size_t i = 0; i < outline.size(); ++i)
        text << "move " << outline[i].first << " " << outline[i].second << "\n"
             << (i == 0 ? "frames 1\ndown left\n" : "") << "frames 1\n";
    text << "up left\nmove 257 241\ndown right\nframes 1\nup right\nkey down i\nframes 1\n"
            "key up i\nframes 1\nkey down ctrl\nkey down s\nframes 1\nkey up s\nkey up ctrl\n"
            "frames 1\n";
    Script script;
    std::string error;
    ASSERT_TRUE(parse_script(text.str(), &script, &error)) << error;
    ReplayOutputs outputs;
    outputs.out_dir = folder.string();
    outputs.image_path = (folder / "photo.png").string();
    std::ostringstream log;
    ASSERT_EQ(run_script(script, outputs, HeadlessConfig{}, log, &error), REPLAY_DONE) << error;
    ASSERT_TRUE(fs::exists(folder / "sketch3d-001.image.png")) << log.str();

    // The saved script names the saved picture; played again from its folder it draws the
    // saved picture exactly.
    std::stringstream saved;
    saved << std::ifstream(folder / "sketch3d-001.txt").rdbuf();
    EXPECT_NE(saved.str().find("\nimage sketch3d-001.image.png\n"), std::string::npos);
    Script again;
    ASSERT_TRUE(parse_script(saved.str() + "screenshot again\n", &again, &error)) << error;
    again.folder = folder.string();
    const fs::path replayed = folder / "replayed";
    ASSERT_EQ(run_script(again, replayed.string(), HeadlessConfig{}, log, &error), REPLAY_DONE)
        << error;
    DecodedImage shown, picture;
    ASSERT_EQ(read_picture_file((folder / "sketch3d-001.png").c_str(), &picture), 0);
    ASSERT_EQ(read_picture_file((replayed / "again.png").c_str(), &shown), 0);
    ASSERT_EQ(shown.width, picture.width);
    EXPECT_TRUE(std::equal(shown.texels, shown.texels + size_t(shown.width) * shown.height,
                           picture.texels));
    free_decoded_image(&shown);
    free_decoded_image(&picture);
    fs::remove_all(folder);
}

TEST(TraceImage, UnusableImagesAreRefusedWithTheirReason) {
    const fs::path folder = scratch_folder("trace-refused");
    const std::string png = quadrant_png();
    std::vector<uint16_t> row(MAX_PICTURE_SIDE + 1, 0x1234);
    std::string wide;
    ASSERT_TRUE(encode_png_555(row.data(), MAX_PICTURE_SIDE + 1, 1, 1, &wide));
    write_bytes(folder / "truncated.png", png.substr(0, png.size() / 2));
    write_bytes(folder / "wide.png", wide);
    write_bytes(folder / "notes.png", "not an image at all\n");
    write_bytes(folder / "huge.bmp", std::string(size_t(MAX_PICTURE_FILE_BYTES) + 1, 'B'));
    fs::create_directories(folder / "folder.png");
    struct Case {
        const char* name;
        const char* reason;
    };
    const Case cases[] = {{"missing.png", "file not found"},
                          {"truncated.png", "not a PNG or BMP image, or corrupt or truncated"},
                          {"wide.png", "image wider or taller than 4096 pixels"},
                          {"notes.png", "not a PNG or BMP image, or corrupt or truncated"},
                          {"huge.bmp", "file too large for an image (more than 80 MiB)"},
                          {"folder.png", "not a regular file, or cannot be opened or read"}};
    for (const Case& c : cases) {
        // Given beside the script: refused before anything plays.
        Script script;
        std::string error;
        ASSERT_TRUE(parse_script("frames 1\n", &script, &error));
        ReplayOutputs outputs;
        outputs.image_path = (folder / c.name).string();
        std::ostringstream log;
        EXPECT_EQ(run_script(script, outputs, HeadlessConfig{}, log, &error),
                  REPLAY_IMAGE_UNUSABLE);
        EXPECT_EQ(error, "cannot use image " + outputs.image_path + ": " + c.reason);
        EXPECT_EQ(log.str(), "");
        // Named by a script's line, beside the script: refused at that line.
        Script named;
        ASSERT_TRUE(parse_script(std::string("frames 1\nimage ") + c.name + "\nframes 1\n", &named,
                                 &error));
        named.folder = folder.string();
        EXPECT_EQ(run_script(named, outputs = ReplayOutputs{}, HeadlessConfig{}, log, &error),
                  REPLAY_IMAGE_UNUSABLE);
        EXPECT_EQ(error, std::string("2: cannot use image '") + c.name + "': " + c.reason);
    }
    fs::remove_all(folder);
}
