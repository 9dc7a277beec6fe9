// Fuzz target: the texture file loader on arbitrary bytes. The first byte
// optionally makes one of the loader's allocations fail (224..255: the 1st to
// the 32nd); the rest is the file. When the first byte is odd and the file a
// PNG, every chunk's check value is set right before the load, so that changed
// bytes reach the decoder behind the checks instead of failing them.
//
// A load must fill its slot completely or change nothing: slot 0 holds a 1 x 1
// texture before every load, and afterwards holds either that very record or a
// new texture of legal size. No block may be left behind either way, and a
// load can only succeed when every allocation it made did.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/memory.h"
#include "geometry/render_list.h"
#include "raster/texture_loader.h"

namespace {

constexpr uint16_t OLD_TEXEL = 0x1234;

struct LoaderFuzz {
    std::string path;  // the file each case writes and loads
    int32_t messages = 0;
    int64_t loads = 0;
    int64_t loaded = 0;
    int64_t failed_allocations = 0;  // loads that had an allocation fail
};
LoaderFuzz fuzz;

void fail(const char* what, int32_t result) {
    std::fprintf(stderr, "texture loader fuzz: %s (result %d: %s)\n", what, result,
                 texture_error_text(result));
    std::abort();
}

void count_message(const char*, const char*) {
    ++fuzz.messages;
}

void finish() {
    if (!fuzz.path.empty()) unlink(fuzz.path.c_str());
    std::fprintf(stderr,
                 "texture loader fuzz: %lld loads, %lld loaded, %lld with an allocation failed\n",
                 static_cast<long long>(fuzz.loads), static_cast<long long>(fuzz.loaded),
                 static_cast<long long>(fuzz.failed_allocations));
}

uint32_t big_endian(const uint8_t* bytes) {
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
           bytes[3];
}

// Sets the check value (CRC-32 of type and data) of every whole chunk after
// the signature.
void repair_png_checks(std::string& file) {
    if (file.size() < 8 || std::memcmp(file.data(), "\x89PNG\r\n\x1A\n", 8) != 0) return;
    auto* bytes = reinterpret_cast<uint8_t*>(file.data());
    for (size_t at = 8; file.size() - at >= 12;) {
        const uint32_t length = big_endian(bytes + at);
        if (length > file.size() - at - 12) return;
        const uint32_t check = uint32_t(crc32(0, bytes + at + 4, length + 4));
        for (int i = 0; i < 4; ++i)
            bytes[at + 8 + length + i] = uint8_t(check >> (24 - 8 * i));
        at += 12 + size_t(length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr ? folder : "/tmp") + "/texture-fuzz-XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0 || init_texture_slots() != 0) std::abort();
    close(descriptor);
    fuzz.path = name;
    std::atexit(finish);
    set_message_sink(count_message);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string image(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) repair_png_checks(image);
    std::FILE* file = std::fopen(fuzz.path.c_str(), "wb");
    if (file == nullptr) std::abort();
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) std::abort();

    if (load_texture(0, 1, 1, &OLD_TEXEL) != 0) std::abort();
    const Texture* old = loaded_texture(0);
    const int blocks = live_block_count();
    const int64_t bytes = live_byte_count();
    fuzz.messages = 0;
    fail_allocation_after(data[0] >= 224 ? data[0] - 223 : 0);
    const int32_t result = load_texture_file(0, fuzz.path.c_str());
    fail_allocation_after(0);
    ++fuzz.loads;
    if (fuzz.messages > 0) ++fuzz.failed_allocations;

    const Texture* now = loaded_texture(0);
    if (result < 0) {
        if (now != old || now->texels[0] != OLD_TEXEL)
            fail("a refused load changed the slot", result);
        if (live_block_count() != blocks || live_byte_count() != bytes)
            fail("a refused load left blocks behind", result);
        if (result == TEXTURE_ERROR_NO_MEMORY && fuzz.messages == 0)
            fail("out of memory reported without a failed allocation", result);
        return 0;
    }
    if (result != 0) fail("a load went to another slot", result);
    if (fuzz.messages != 0) fail("a load succeeded after a failed allocation", result);
    if (now == nullptr) fail("a successful load left no texture", result);
    ++fuzz.loaded;
    // The old texture (1 texel) went; the new one has a record and its texels.
    const int64_t texels = int64_t(1) << (now->width_shift + now->height_shift);
    if (live_block_count() != blocks || live_byte_count() != bytes + 2 * (texels - 1))
        fail("blocks do not match the textures in the slot", result);
    return 0;
}
