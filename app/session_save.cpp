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
// after the first), and the script naming them so; nothing when a picture cannot be
// encoded, the script then naming the files it was given.
std::vector<SaveFile> picture_files(const std::string& name, bool with_script) {
    std::vector<SaveFile> files;
    std::vector<std::string> names;
    const auto& pictures = session_trace_pictures();
    for (size_t i = 0; i < pictures.size(); ++i) {
        // Save files name their extension by pointer: the suffixes stay for the program.
        static std::deque<std::string> suffixes;
        while (suffixes.size() <= i)
            suffixes.push_back(suffixes.empty()
                                   ? "image.png"
                                   : "image-" + std::to_string(suffixes.size() + 1) + ".png");
        const char* suffix = suffixes[i].c_str();
        std::string png;
        if (!encode_pixels_png(pictures[i]->pixels.data(), pictures[i]->width, pictures[i]->height,
                               &png)) {
            files.clear();
            names.clear();
            break;
        }
        files.push_back({suffix, std::move(png)});
        names.push_back(name + "." + suffixes[i]);
    }
    if (with_script) files.push_back({"txt", recorded_script(names)});
    return files;
}

}  // namespace

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
