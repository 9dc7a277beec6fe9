// Numbered saves: the first free number, then every file through the output writer.
#include "platform/common/numbered_save.h"

#include <cstdio>
#include <vector>

#include "platform/common/output_file.h"
#include "platform/common/png_writer.h"

namespace {

// Every kind of file a save may write: a number is free only when none of them is there.
constexpr const char* SAVE_EXTENSIONS[] = {"obj", "stl", "glb", "png", "txt"};

bool number_free(const std::string& folder, int32_t number, const SaveRequest& request) {
    const std::string path = numbered_save_path(folder, number);
    for (const char* extension : SAVE_EXTENSIONS)
        if (output_exists(path + "." + extension)) return false;
    for (const SaveFile& file : request.files)
        if (output_exists(path + "." + file.extension)) return false;
    return true;
}

}  // namespace

std::string numbered_save_path(const std::string& folder, int32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "%s-%03d", SAVE_NAME, int(number));
    if (folder.empty() || folder == ".") return name;
    const char last = folder.back();
    return folder + (last == '/' || last == '\\' ? "" : "/") + name;
}

bool save_numbered_files(const std::string& folder, const SaveRequest& request,
                         std::string* report) {
    int32_t number = 1;
    while (number <= MAX_SAVE_NUMBER && !number_free(folder, number, request))
        ++number;
    if (number > MAX_SAVE_NUMBER) {
        *report = "every name from " + numbered_save_path(folder, 1) + " to " +
                  numbered_save_path(folder, MAX_SAVE_NUMBER) + " is taken";
        return false;
    }
    const std::string path = numbered_save_path(folder, number);

    std::vector<SaveFile> files = request.files;
    std::string png;
    if (!encode_png_555(request.picture, request.width, request.height, 1, &png)) {
        // Without an encoder in this build the other files are still worth having.
        if (png_encoder_available()) {
            *report = "the picture could not be encoded as PNG";
            return false;
        }
    } else {
        // The picture goes before the script, as SAVE_EXTENSIONS lists them.
        size_t at = 0;
        while (at < files.size() && std::string(files[at].extension) != "txt")
            ++at;
        files.insert(files.begin() + std::ptrdiff_t(at), SaveFile{"png", std::move(png)});
    }

    // Opened all first: a folder that refuses one file refuses them all before any is placed.
    std::vector<OutputFile> outputs(files.size());
    std::string error;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!open_output(path + "." + files[i].extension, &outputs[i], &error)) {
            for (size_t j = 0; j < i; ++j)
                discard_output(&outputs[j]);
            *report = error;
            return false;
        }
    }
    std::string kinds;
    bool written = true;
    for (size_t i = 0; i < files.size(); ++i) {
        // After a failure the files not yet in place are given up.
        if (!written) {
            discard_output(&outputs[i]);
            continue;
        }
        write_output(&outputs[i], files[i].data);
        written = commit_output(&outputs[i], &error);
        if (written) kinds += (kinds.empty() ? "" : " ") + std::string(files[i].extension);
    }
    if (!written) {
        *report = error + (kinds.empty() ? "" : " (written: " + path + " " + kinds + ")");
        return false;
    }
    *report = path + " (" + kinds + ")";
    if (!png_encoder_available()) *report += "; no picture: this build has no PNG encoder";
    return true;
}
