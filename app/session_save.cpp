// One save of the session: what is shown, gathered for the platform to write.
#include "app/session_save.h"

#include <cstring>
#include <deque>
#include <vector>

#include "app/animate.h"
#include "app/edited_object.h"
#include "app/mesh_export.h"
#include "app/platform.h"
#include "app/screen.h"
#include "app/session_recorder.h"
#include "app/trace_image.h"
#include "raster/picture_file.h"

namespace {

struct MeshFormat {
    const char* extension;
    int32_t (*exporter)(std::string* out);
};
constexpr MeshFormat MESH_FORMATS[] = {{"stl", export_figure_stl}, {"glb", export_figure_glb}};

// The figure's OBJ under the save's name, with a painted figure's materials and textures
// beside it, named after it.
std::vector<SaveFile> obj_files(const std::string& name) {
    std::vector<SaveFile> files;
    ObjFiles obj;
    if (export_figure_obj_files(name, &obj) != EXPORT_OK) return files;
    files.push_back({"obj", std::move(obj.obj)});
    if (!obj.mtl.empty()) files.push_back({"mtl", std::move(obj.mtl)});
    for (auto& [suffix, png] : obj.textures)
        files.push_back({suffix, std::move(png)});
    return files;
}

// The session's traced pictures, each as NAME.image.png (NAME.image-K.png for the K-th
// after the first; .bmp in a build whose reader takes BMP only, so that the save opens
// again there), and the script naming them so; nothing when a picture cannot be encoded,
// the script then naming the files it was given.
std::vector<SaveFile> picture_files(const std::string& name, bool with_script) {
    std::vector<SaveFile> files;
    std::vector<std::string> names;
    const bool png = picture_reader_decodes_png();
    const std::string extension = png ? ".png" : ".bmp";
    const auto& pictures = session_trace_pictures();
    for (size_t i = 0; i < pictures.size(); ++i) {
        // Save files name their extension by pointer: the suffixes stay for the program.
        static std::deque<std::string> suffixes;
        while (suffixes.size() <= i)
            suffixes.push_back(suffixes.empty()
                                   ? "image" + extension
                                   : "image-" + std::to_string(suffixes.size() + 1) + extension);
        const char* suffix = suffixes[i].c_str();
        const TracePicture& picture = *pictures[i];
        std::string data;
        if (png ? !encode_pixels_png(picture.pixels.data(), picture.width, picture.height, &data)
                : !encode_pixels_bmp(picture.pixels.data(), picture.width, picture.height, &data)) {
            files.clear();
            names.clear();
            break;
        }
        files.push_back({suffix, std::move(data)});
        names.push_back(name + "." + suffixes[i]);
    }
    if (with_script) files.push_back({"txt", recorded_script(names)});
    return files;
}

}  // namespace

bool encode_pixels_bmp(const uint16_t* pixels, int32_t width, int32_t height, std::string* bmp) {
    bmp->clear();
    if (width <= 0 || height <= 0 || width > MAX_PICTURE_SIDE || height > MAX_PICTURE_SIDE)
        return false;
    const uint32_t row_bytes = (uint32_t(width) * 3 + 3) & ~3u;
    const uint32_t data_bytes = row_bytes * uint32_t(height);
    const uint32_t file_bytes = 14 + 40 + data_bytes;
    bmp->assign(file_bytes, '\0');
    auto put = [&](uint32_t at, uint32_t value, int bytes) {
        for (int k = 0; k < bytes; ++k)
            (*bmp)[at + uint32_t(k)] = char((value >> (8 * k)) & 0xFF);
    };
    (*bmp)[0] = 'B';
    (*bmp)[1] = 'M';
    put(2, file_bytes, 4);
    put(10, 14 + 40, 4);  // where the pixels start
    put(14, 40, 4);       // the information header's size
    put(18, uint32_t(width), 4);
    put(22, uint32_t(height), 4);  // positive: the bottom row first
    put(26, 1, 2);                 // planes
    put(28, 24, 2);                // bits a pixel, no compression
    put(34, data_bytes, 4);
    // Each 5-bit channel widened to 8 bits with its top bits repeated below, so
    // that its top five bits, which the reader keeps, are the channel again.
    auto widen = [](uint32_t five) { return char((five << 3) | (five >> 2)); };
    for (int32_t y = 0; y < height; ++y) {
        const uint16_t* row = pixels + size_t(height - 1 - y) * size_t(width);
        char* out = bmp->data() + 54 + size_t(y) * row_bytes;
        for (int32_t x = 0; x < width; ++x) {
            out[3 * x + 0] = widen(row[x] & 31);
            out[3 * x + 1] = widen((row[x] >> 5) & 31);
            out[3 * x + 2] = widen((row[x] >> 10) & 31);
        }
    }
    return true;
}

bool save_session(std::string* report) {
    SaveRequest request;
    // The figure whole, also while a part is being added to it.
    if (figure().part_count > 0) {
        request.named_files = obj_files;
        for (const MeshFormat& format : MESH_FORMATS) {
            std::string data;
            // Nothing to export (an object without a face) or no writer in this build:
            // the save goes on without that file.
            if (format.exporter(&data) == EXPORT_OK)
                request.files.push_back({format.extension, std::move(data)});
        }
        // The recorded loop, as other viewers play it.
        FigurePose pose;
        int32_t samples = 0;
        std::string data;
        if (animation_loop_samples(LOOP_SAMPLES_PER_SECOND, &pose, &samples) &&
            export_figure_animation_glb(samples, LOOP_SAMPLES_PER_SECOND, pose, &data) == EXPORT_OK)
            request.files.push_back({ANIMATION_SAVE_EXTENSION, std::move(data)});
    }
    const bool whole_session = recording_complete();
    if (!session_trace_pictures().empty()) {
        // The pictures and the script that names them are made for the save's name.
        auto obj = std::move(request.named_files);
        request.named_files = [obj, whole_session](const std::string& name) {
            std::vector<SaveFile> files = obj ? obj(name) : std::vector<SaveFile>{};
            for (SaveFile& file : picture_files(name, whole_session))
                files.push_back(std::move(file));
            return files;
        };
    } else if (whole_session) {
        request.files.push_back({"txt", recorded_script()});
    }

    // The client area as shown: the page's rows, and the background below them.
    const uint16_t* page = current_page_pixels();
    const int32_t width = screen_width();
    const int32_t shown_rows = screen_height();
    if (page == nullptr || width <= 0 || shown_rows < 0) {
        *report = "there is no picture to save";
        return false;
    }
    std::vector<uint16_t> picture(size_t(width) * size_t(shown_rows + 1), WINDOW_BACKGROUND_PIXEL);
    std::memcpy(picture.data(), page, size_t(width) * size_t(shown_rows) * sizeof(uint16_t));
    request.picture = picture.data();
    request.width = width;
    request.height = shown_rows + 1;

    if (!platform_save(request, report)) return false;
    record_note("saved as " + *report);
    if (!whole_session) *report += " (no script: the session is longer than one may hold)";
    return true;
}
