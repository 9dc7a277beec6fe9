// Allocation, release and error reporting shared by every subsystem.
//
// Every heap block of the system comes from alloc_zeroed and goes back through
// free_block. alloc_zeroed reports its own failures; callers only pass them up.
#pragma once

#include <cstdint>

inline constexpr int ERROR_TEXT_SIZE = 100;  // bytes, terminator included

// Zero-filled block of `size` bytes, or null after showing the allocation
// message with the requested size. A size of 0 follows calloc.
void* alloc_zeroed(int32_t size);

// Releases a block from alloc_zeroed; null is ignored.
void free_block(void* block);

// Formats printf-style into the 100-byte error text (longer output is cut at
// 99 bytes) and shows it in a message box captioned "Error".
void show_error(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Where show_error hands its text: the platform's message box. The text is
// in code page 932. Returns the previous sink. A null sink restores the
// default, which writes the text and its English line (base/messages.h) to
// standard error.
using MessageSink = void (*)(const char* text, const char* caption);
MessageSink set_message_sink(MessageSink sink);

// The text of the last message shown (empty before the first) and how many
// have been shown since start or the last reset_error_log.
const char* last_error_text();
int error_count();
void reset_error_log();

// Fault injection for tests: the k-th call of alloc_zeroed from now (k >= 1)
// fails as if the heap were exhausted; 0 disarms it.
void fail_allocation_after(int k);

// Blocks handed out by alloc_zeroed and not yet freed, the bytes they were
// asked for, and the calls made.
int live_block_count();
int64_t live_byte_count();
int allocation_count();
