// Numbered saves: every file written first, then the number claimed and the files placed
// under it without replacing anything.
#include "platform/common/numbered_save.h"

#include <cstdio>
#include <vector>

#include "platform/common/output_file.h"
#include "platform/common/png_writer.h"

namespace {

// Every kind of file a save may write: a number is free only when none of them is there.
constexpr const char* SAVE_EXTENSIONS[] = {"obj",           "mtl", "stl", "glb",
                                           "animation.glb", "png", "txt"};

std::string numbered_name(int32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "%s-%03d", SAVE_NAME, int(number));
    return name;
}

// The hidden file a save holds while it places its files: ".sketch3d-007.claim".
std::string claim_name(int32_t number) {
    return "." + numbered_name(number) + ".claim";
}

// Whether no file of any kind a save may write has the number, and no save holds its claim
// (unless `claimed`: the claim is this save's own).
bool number_free(const OutputSet& set, int32_t number, const std::vector<SaveFile>& files,
                 bool claimed) {
    const std::string name = numbered_name(number);
    if (!claimed && output_name_taken(set, claim_name(number))) return false;
    for (const char* extension : SAVE_EXTENSIONS)
        if (output_name_taken(set, name + "." + extension)) return false;
    for (const SaveFile& file : files)
        if (output_name_taken(set, name + "." + file.extension)) return false;
    return true;
}

int32_t next_free(const OutputSet& set, int32_t number, const std::vector<SaveFile>& files) {
    while (number <= MAX_SAVE_NUMBER && !number_free(set, number, files, false))
        ++number;
    return number;
}

// Every file under `number`: Done, Taken when another program has the number or one of its
// names, or Failed with the reason.
Placing place_under(OutputSet* set, int32_t number, const std::vector<SaveFile>& files,
                    std::string* error) {
    const Placing claimed = claim_output_name(*set, claim_name(number), error);
    if (claimed != Placing::Done) return claimed;
    // Under the claim no other save places anything; one that held it before has placed all.
    Placing placed = Placing::Taken;
    if (number_free(*set, number, files, true)) {
        std::vector<std::string> names;
        for (const SaveFile& file : files)
            names.push_back(numbered_name(number) + "." + file.extension);
        placed = place_outputs(set, names, error);
    }
    release_output_name(*set, claim_name(number));
    return placed;
}

}  // namespace

std::string numbered_save_path(const std::string& folder, int32_t number) {
    return output_path_in(folder, numbered_name(number));
}

bool save_numbered_files(const std::string& folder, const SaveRequest& request,
                         std::string* report) {
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

    // Files that name the save's others (an OBJ's materials and textures) go first, made for
    // the number's name; their kinds are the same under every name, so those made for the
    // first name say which names a number needs free.
    auto with_named = [&](int32_t number) {
        std::vector<SaveFile> all;
        if (request.named_files) all = request.named_files(numbered_name(number));
        all.insert(all.end(), files.begin(), files.end());
        return all;
    };
    std::vector<SaveFile> all = with_named(1);
    auto add_all = [&](OutputSet* set, int32_t number) {
        for (const SaveFile& file : all)
            if (!add_output(set, numbered_name(number) + "." + file.extension, file.data, report))
                return false;
        return true;
    };

    // The folder is made again if it went missing since the program started.
    OutputSet set;
    if (!open_output_set(folder, &set, report)) return false;
    bool open = true;
    int32_t number = next_free(set, 1, all);
    const std::string taken = "every name from " + numbered_save_path(folder, 1) + " to " +
                              numbered_save_path(folder, MAX_SAVE_NUMBER) + " is taken";
    // Written whole before anything is placed: a full disk or a refusing folder fails here,
    // under the number the save will most likely get.
    bool saved = number <= MAX_SAVE_NUMBER;
    if (!saved) *report = taken;
    if (saved && number != 1 && request.named_files) all = with_named(number);
    saved = saved && add_all(&set, number);
    while (saved) {
        if (number > MAX_SAVE_NUMBER) {
            *report = taken;
            saved = false;
            break;
        }
        const Placing placed = place_under(&set, number, all, report);
        if (placed == Placing::Done) break;
        saved = placed == Placing::Taken;
        number = next_free(set, number + 1, all);
        // Another program took the number: the files that name the others are written again
        // for the next one.
        if (saved && request.named_files && number <= MAX_SAVE_NUMBER) {
            close_output_set(&set);
            open = saved = open_output_set(folder, &set, report);
            all = with_named(number);
            saved = saved && add_all(&set, number);
        }
    }
    if (open) close_output_set(&set);
    if (!saved) return false;
    std::string kinds;
    for (const SaveFile& file : all)
        kinds += (kinds.empty() ? "" : " ") + std::string(file.extension);
    *report = numbered_save_path(folder, number) + " (" + kinds + ")";
    if (!png_encoder_available()) *report += "; no picture: this build has no PNG encoder";
    return true;
}
