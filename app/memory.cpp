// Zero-filling allocator, its release and the error message box hand-off.
#include "app/memory.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/messages.h"

namespace {

void write_to_stderr(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

struct MemoryState {
    MessageSink sink = write_to_stderr;
    char last_text[ERROR_TEXT_SIZE] = {};
    int errors = 0;
    int fail_countdown = 0;  // 0: disarmed; k: the k-th allocation from now fails
    int live_blocks = 0;
    int allocations = 0;
};

MemoryState state;

}  // namespace

void* alloc_zeroed(int32_t size) {
    ++state.allocations;
    bool forced_failure = false;
    if (state.fail_countdown > 0) forced_failure = --state.fail_countdown == 0;
    // A negative size cannot be honoured; calloc would see it as a huge count.
    void* block = (forced_failure || size < 0) ? nullptr : std::calloc(1, size_t(size));
    if (block == nullptr) {
        show_error(TEXT_ALLOC_FAILED, size);
        return nullptr;
    }
    ++state.live_blocks;
    return block;
}

void free_block(void* block) {
    if (block == nullptr) return;
    --state.live_blocks;
    std::free(block);
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
int allocation_count() {
    return state.allocations;
}
