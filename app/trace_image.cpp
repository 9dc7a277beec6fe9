// The picture traced under the drawing: fitting, showing, and its place in the session.
#include "app/trace_image.h"

#include "app/screen.h"
#include "app/session_recorder.h"
#include "raster/texture_loader.h"

namespace {

struct TraceImageState {
    std::shared_ptr<const TracePicture> picture;
    std::vector<std::shared_ptr<const TracePicture>> loaded;
    std::shared_ptr<const TracePicture> waiting;  // loaded since the last frame
    bool frame_seen = false;                      // a frame has taken its input
};

TraceImageState trace;

// Channel sums of one screen pixel's texels.
struct Sum {
    uint32_t r = 0, g = 0, b = 0, count = 0;
    void add(uint16_t texel) {
        r += (texel >> 10) & 31;
        g += (texel >> 5) & 31;
        b += texel & 31;
        ++count;
    }
    uint16_t average() const {
        auto mean = [&](uint32_t total) { return (total * 2 + count) / (count * 2); };
        return uint16_t((mean(r) << 10) | (mean(g) << 5) | mean(b));
    }
};

// The texels [first, last) of `size` over `fitted` pixels that pixel i covers: at least one.
void covered(int64_t i, int64_t size, int64_t fitted, int64_t* first, int64_t* last) {
    *first = i * size / fitted;
    *last = (i + 1) * size / fitted;
    if (*last <= *first) *last = *first + 1;
}

}  // namespace

TracePicture fit_trace_picture(const DecodedImage& image, int32_t screen_width,
                               int32_t screen_height) {
    TracePicture picture;
    const int64_t w = image.width, h = image.height;
    const int64_t sw = screen_width, sh = screen_height;
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || image.texels == nullptr) return picture;
    int64_t fw = sw, fh = sh;
    if (w * sh >= h * sw) {
        fh = (h * sw * 2 + w) / (w * 2);
    } else {
        fw = (w * sh * 2 + h) / (h * 2);
    }
    fw = fw < 1 ? 1 : fw;
    fh = fh < 1 ? 1 : fh;
    picture.width = int32_t(fw);
    picture.height = int32_t(fh);
    // A client pixel's model point is its offset from the screen centre.
    picture.x = int32_t((sw - fw) / 2 - (sw >> 1));
    picture.y = int32_t((sh - fh) / 2 - (sh >> 1));
    picture.pixels.resize(size_t(fw) * size_t(fh));
    for (int64_t row = 0; row < fh; ++row) {
        int64_t top = 0, bottom = 0;
        covered(row, h, fh, &top, &bottom);
        for (int64_t column = 0; column < fw; ++column) {
            int64_t left = 0, right = 0;
            covered(column, w, fw, &left, &right);
            Sum sum;
            for (int64_t y = top; y < bottom; ++y)
                for (int64_t x = left; x < right; ++x)
                    sum.add(image.texels[y * w + x]);
            picture.pixels[size_t(row * fw + column)] = sum.average();
        }
    }
    return picture;
}

const std::shared_ptr<const TracePicture>& trace_picture() {
    return trace.picture;
}

const std::vector<std::shared_ptr<const TracePicture>>& session_trace_pictures() {
    return trace.loaded;
}

void reset_trace_image() {
    trace = TraceImageState{};
}

bool load_trace_image(const DecodedImage& image, const std::string& name) {
    TracePicture fitted = fit_trace_picture(image, screen_width(), screen_height());
    if (fitted.pixels.empty()) return false;
    auto picture = std::make_shared<const TracePicture>(std::move(fitted));
    record_image(name);
    trace.loaded.push_back(picture);
    if (trace.frame_seen) {
        trace.waiting = std::move(picture);
    } else {
        trace.picture = std::move(picture);
    }
    return true;
}

int32_t open_trace_image(const uint8_t* bytes, int64_t size) {
    DecodedImage image;
    int32_t result = read_picture_bytes(bytes, size, &image);
    if (result != 0) return result;
    const std::string name = "image-" + std::to_string(trace.loaded.size() + 1) + ".png";
    if (!load_trace_image(image, name)) result = TEXTURE_ERROR_NO_MEMORY;
    free_decoded_image(&image);
    return result;
}

bool trace_image_waiting() {
    return trace.waiting != nullptr;
}

void apply_waiting_trace_image() {
    trace.frame_seen = true;
    if (trace.waiting == nullptr) return;
    trace.picture = std::move(trace.waiting);
    trace.waiting = nullptr;
}

void restore_trace_picture(const std::shared_ptr<const TracePicture>& picture) {
    trace.picture = picture;
}

void show_trace_picture(uint16_t* pixels, int32_t width, int32_t height, uint16_t background) {
    const TracePicture* picture = trace.picture.get();
    if (picture == nullptr || pixels == nullptr || width <= 0 || height <= 0) return;
    // The picture's top-left client pixel; it was fitted to this screen, but is held to the
    // page whatever its place.
    const int64_t left = int64_t(picture->x) + (width >> 1);
    const int64_t top = int64_t(picture->y) + (height >> 1);
    for (int64_t row = 0; row < picture->height; ++row) {
        const int64_t y = top + row;
        if (y < 0 || y >= height) continue;
        for (int64_t column = 0; column < picture->width; ++column) {
            const int64_t x = left + column;
            if (x < 0 || x >= width) continue;
            uint16_t& pixel = pixels[y * width + x];
            if (pixel != background) continue;
            const uint16_t p = picture->pixels[size_t(row * picture->width + column)];
            // Halfway toward the background, channel by channel (5 bits each, rounded
            // up): the background is blue, so the blue channel stays above 0.
            auto half = [](uint32_t a, uint32_t b) { return (a + b + 1) >> 1; };
            const uint32_t r = half((p >> 10) & 31, (background >> 10) & 31);
            const uint32_t g = half((p >> 5) & 31, (background >> 5) & 31);
            const uint32_t b = half(p & 31, background & 31);
            const uint16_t faded = uint16_t((r << 10) | (g << 5) | b);
            pixel = faded != 0 ? faded : 1;
        }
    }
}
