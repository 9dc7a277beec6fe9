// Zero-filling allocator, its release and the error message box hand-off.
#include "base/memory.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/messages.h"

// Under AddressSanitizer the size header is poisoned while the block is in
// use, so a write just before a block is still caught.
#if defined(__SANITIZE_ADDRESS__)
#define SKETCH3D_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SKETCH3D_ASAN 1
#endif
#endif
#if defined(SKETCH3D_ASAN)
#include <sanitizer/asan_interface.h>
#define POISON_HEADER(header) ASAN_POISON_MEMORY_REGION((header), sizeof(BlockHeader))
#define UNPOISON_HEADER(header) ASAN_UNPOISON_MEMORY_REGION((header), sizeof(BlockHeader))
#else
#define POISON_HEADER(header) ((void)(header))
#define UNPOISON_HEADER(header) ((void)(header))
#endif

namespace {

// Each block is preceded by its requested size, so that free_block can keep
// the live byte count. The header is as large as the strictest fundamental
// alignment, so the block behind it keeps calloc's alignment.
struct alignas(std::max_align_t) BlockHeader {
    int64_t size;
};

// The text as shown (code page 932 bytes), and its English line under it where it has one.
void write_to_stderr(const char* text, const char* caption) {
    char english[ENGLISH_LINE_SIZE];
    if (english_line(text, english, ENGLISH_LINE_SIZE) > 0) {
        std::fprintf(stderr, "%s: %s\n%s\n", caption, text, english);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
}

struct MemoryState {
    MessageSink sink = write_to_stderr;
    char last_text[ERROR_TEXT_SIZE] = {};
    int errors = 0;
    int fail_countdown = 0;  // 0: disarmed; k: the k-th allocation from now fails
    int live_blocks = 0;
    int64_t live_bytes = 0;
    int allocations = 0;
};

MemoryState state;

}  // namespace

void* alloc_zeroed(int32_t size) {
    ++state.allocations;
    bool forced_failure = false;
    if (state.fail_countdown > 0) forced_failure = --state.fail_countdown == 0;
    // A negative size cannot be honoured; calloc would see it as a huge count.
    // The header adds a few bytes to a size below 2^31: no size_t wraps.
    void* raw =
        (forced_failure || size < 0) ? nullptr : std::calloc(1, sizeof(BlockHeader) + size_t(size));
    if (raw == nullptr) {
        show_error(TEXT_ALLOC_FAILED, size);
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(raw);
    header->size = size;
    POISON_HEADER(header);
    ++state.live_blocks;
    state.live_bytes += size;
    return header + 1;
}

void free_block(void* block) {
    if (block == nullptr) return;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    UNPOISON_HEADER(header);
    --state.live_blocks;
    state.live_bytes -= header->size;
    std::free(header);
}

void show_error(const char* format, ...) {
    char text[ERROR_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::memcpy(state.last_text, text, sizeof text);
    ++state.errors;
    state.sink(text, ERROR_CAPTION);
}

MessageSink set_message_sink(MessageSink sink) {
    MessageSink previous = state.sink;
    state.sink = sink != nullptr ? sink : write_to_stderr;
    return previous;
}

const char* last_error_text() {
    return state.last_text;
}
int error_count() {
    return state.errors;
}

void reset_error_log() {
    state.last_text[0] = '\0';
    state.errors = 0;
}

void fail_allocation_after(int k) {
    state.fail_countdown = k > 0 ? k : 0;
}
int live_block_count() {
    return state.live_blocks;
}
int64_t live_byte_count() {
    return state.live_bytes;
}
int allocation_count() {
    return state.allocations;
}
