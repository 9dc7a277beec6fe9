// The replay script's `image` command played: its file read beside the script and traced
// under the drawing.
#include "platform/common/script_image.h"

#include "app/trace_image.h"
#include "raster/texture_loader.h"

namespace {

// A name in quotes for a message: at most its first 40 bytes, any byte beyond printable
// ASCII as '?', so that no file name reaches the terminal with control sequences.
std::string quoted_name(const std::string& name) {
    std::string result = "'";
    for (size_t i = 0; i < name.size() && i < 40; ++i) {
        const unsigned char byte = static_cast<unsigned char>(name[i]);
        result += byte >= 0x20 && byte < 0x7F ? char(byte) : '?';
    }
    return result + (name.size() > 40 ? "...'" : "'");
}

}  // namespace

bool play_image_command(const Script& script, const ScriptCommand& command, std::string* error) {
    const std::string name(command_name(script, command));
    const std::string path = script.folder.empty() || (!name.empty() && name[0] == '/')
                                 ? name
                                 : script.folder + "/" + name;
    DecodedImage image;
    int32_t result = read_picture_file(path.c_str(), &image);
    if (result == 0 && !load_trace_image(image, name)) result = TEXTURE_ERROR_NO_MEMORY;
    free_decoded_image(&image);
    if (result == 0) return true;
    *error = std::to_string(command.line) + ": cannot use image " + quoted_name(name) + ": " +
             picture_error_text(result);
    return false;
}
