// Fuzz target: the outline build on arbitrary page contents. Each input paints
// page 0 of a headless session with green, black, blue and one other colour
// (a tile repeated at some scale), right-clicks anywhere, lets the frames edit
// and draw the result, sometimes inflates it into a body (I), which must be
// closed and oriented, and throws it away with F12.
//
// The session is one of nine: small windows, some with a packet area of
// twenty triangles or a vertex or normal pool of 100 records, which builds
// overflow, and the program's own window. Every build must end in an object or
// a clean drawing screen, frames must go on, the only messages allowed are the
// capacity messages, and after F12 the pools, the packet area and the object
// table are empty and every block made since start-up is freed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "app/frame.h"
#include "app/inflate.h"
#include "app/outline.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/startup.h"
#include "base/memory.h"
#include "base/messages.h"
#include "fuzz_input.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "platform/headless/headless.h"

namespace {

struct SessionChoice {
    int32_t width, height;  // client area; widths are even, as pages need
    int32_t packet_area;    // 0: the standard area
    int32_t pool_kind;      // a pool made small after start-up, or -1
};
constexpr int32_t SMALL_PACKET_AREA = SHORT_PACKET_BYTES + 20 * TRIANGLE_PACKET_BYTES + 4;
constexpr int32_t SMALL_POOL = 100;
constexpr SessionChoice CHOICES[] = {
    {66, 49, 0, -1},
    {130, 97, 0, -1},
    {130, 97, SMALL_PACKET_AREA, -1},
    {130, 97, 0, POOL_VERTEX},
    {130, 97, 0, POOL_NORMAL},
    {258, 193, 0, -1},
    {258, 193, 0, POOL_VERTEX},
    // The program's own window, once with a packet area that overflows.
    {514, 483, SMALL_PACKET_AREA, -1},
    {514, 483, 0, -1},
};
constexpr int32_t CHOICE_COUNT = int32_t(sizeof CHOICES / sizeof CHOICES[0]);

struct FuzzSession {
    int32_t choice = -1;  // the open session's
    int live_blocks = 0;  // after start-up
    int64_t live_bytes = 0;
    int32_t messages = 0;
    bool unexpected_message = false;
    int64_t cases = 0;
    int64_t sheets = 0;     // builds that made an object
    int64_t overflows = 0;  // cases with a capacity message
};
FuzzSession session;

void fail(const char* what) {
    std::fprintf(stderr, "outline fuzz: %s\n", what);
    std::abort();
}

// Capacity overruns are reported and survived; anything else (a failed
// allocation above all) is a fault here.
void count_message(const char* text, const char*) {
    ++session.messages;
    const char* allowed[] = {TEXT_PACKET_AREA_FULL, TEXT_VERTEX_POOL_FULL, TEXT_COLOUR_POOL_FULL,
                             TEXT_NORMAL_POOL_FULL};
    bool known = false;
    for (const char* message : allowed)
        known |= std::strcmp(text, message) == 0;
    if (!known) session.unexpected_message = true;
}

void close_session() {
    if (session.choice < 0) return;
    shut_down();
    headless_close();
    set_packet_area_override(0);
    session.choice = -1;
    if (live_block_count() != 0 || live_byte_count() != 0) fail("shut-down left blocks");
}

void open_session(int32_t choice) {
    if (session.choice == choice) return;
    close_session();
    const SessionChoice& c = CHOICES[choice];
    HeadlessConfig config;
    config.client_width = c.width;
    config.client_height = c.height;
    set_packet_area_override(c.packet_area);
    if (headless_open(config) != 0) fail("start-up failed");
    if (c.pool_kind >= 0) alloc_geometry_pool(SMALL_POOL, c.pool_kind);
    // Messages are counted here instead of being kept by the backend.
    set_message_sink(count_message);
    session.choice = choice;
    session.live_blocks = live_block_count();
    session.live_bytes = live_byte_count();
}

bool scene_is_empty() {
    for (int32_t kind = POOL_VERTEX; kind <= POOL_NORMAL; ++kind) {
        if (pool_count(kind) != 0) return false;
    }
    for (int32_t index = 0; index < MAX_OBJECTS; ++index) {
        if (get_object(index) != nullptr) return false;
    }
    return current_render_list()->packet_count == 0 && draw_list() == nullptr &&
           selected_object() == NO_OBJECT;
}

void run_one_frame() {
    if (headless_run_frames(1) != 1 || !headless_running()) fail("a frame did not run");
}

void press(int key) {
    headless_queue_key_down(key);
    run_one_frame();
    headless_queue_key_up(key);
}

// An inflated body: every edge in exactly two triangles, once each way.
bool body_is_closed() {
    std::set<std::pair<int32_t, int32_t>> edges;
    const SceneObject* object = get_object(selected_object());
    for (PrimitivePacket* p = next_object_polygon(object, nullptr); p != nullptr;
         p = next_object_polygon(object, p)) {
        const int16_t* v = packet_vertices(p);
        for (int k = 0; k < 3; ++k)
            if (v[k] == v[(k + 1) % 3] || !edges.insert({v[k], v[(k + 1) % 3]}).second)
                return false;
    }
    for (const auto& [a, b] : edges)
        if (edges.count({b, a}) == 0) return false;
    return true;
}

// The page: a tile of up to 64 x 64 pixels, each of four kinds, repeated over
// the page at a scale of 1 to 16.
void paint_page(FuzzInput& in) {
    const int32_t tile_width = 1 + in.byte() % 64;
    const int32_t tile_height = 1 + in.byte() % 64;
    const int32_t scale = 1 + in.byte() % 16;
    const uint16_t kinds[4] = {0x001F, OUTLINE_FILL_PIXEL, STROKE_PIXEL, uint16_t(in.u16())};
    std::vector<uint16_t> tile(size_t(tile_width) * size_t(tile_height));
    for (size_t i = 0; i < tile.size(); i += 4) {
        const uint8_t bits = in.byte();
        for (size_t k = 0; k < 4 && i + k < tile.size(); ++k)
            tile[i + k] = kinds[(bits >> (2 * k)) & 3];
    }
    uint16_t* page = page_pixels(0);
    const int32_t width = screen_width();
    const int32_t rows = screen_height() + 1;  // the never-drawn last row too
    for (int32_t y = 0; y < rows; ++y) {
        const int32_t tile_row = (y / scale) % tile_height;
        for (int32_t x = 0; x < width; ++x)
            page[size_t(y) * size_t(width) + size_t(x)] =
                tile[size_t(tile_row) * size_t(tile_width) + size_t((x / scale) % tile_width)];
    }
}

// A click coordinate: anywhere in the int32 range, or folded into the client
// area and a margin of 16 around it.
int32_t click_coordinate(FuzzInput& in, bool near, int32_t extent) {
    const int32_t raw = in.i32();
    if (!near) return raw;
    const int64_t span = int64_t(extent) + 32;
    return int32_t(((int64_t(raw) % span) + span) % span - 16);
}

void report() {
    std::fprintf(stderr,
                 "outline fuzz: %lld cases, %lld sheets built, %lld with a capacity overrun\n",
                 static_cast<long long>(session.cases), static_cast<long long>(session.sheets),
                 static_cast<long long>(session.overflows));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(report);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const uint8_t choice = in.byte();
    open_session(choice % CHOICE_COUNT);
    const bool near = (choice & 0x80) == 0;
    const int32_t x = click_coordinate(in, near, headless_client_width());
    const int32_t y = click_coordinate(in, near, headless_client_height());
    const uint8_t editing = in.byte();
    paint_page(in);

    session.messages = 0;
    session.unexpected_message = false;
    headless_queue_move(x, y);
    run_one_frame();  // the mouse is sampled where the click will be
    headless_queue_button_down(BUTTON_RIGHT);
    run_one_frame();  // the build, then the first drawing of the sheet
    headless_queue_button_up(BUTTON_RIGHT);
    if (selected_object() == NO_OBJECT) {
        if (!scene_is_empty()) fail("a failed build left something behind");
        // Nothing was built: what a drawing screen shows is left to the next
        // case, which paints the page anew.
    } else {
        ++session.sheets;
        run_one_frame();
        // Pushing vertices at the click, then turning the sheet.
        headless_queue_key_down(KEY_Z);
        headless_queue_button_down((editing & 1) != 0 ? BUTTON_LEFT : BUTTON_RIGHT);
        run_one_frame();
        headless_queue_key_up(KEY_Z);
        headless_queue_move(x + int8_t(editing), y - int8_t(editing));
        run_one_frame();
        headless_queue_button_up(BUTTON_LEFT);
        headless_queue_button_up(BUTTON_RIGHT);
        if ((editing & 2) != 0) {
            press(KEY_I);
            if (edited_object().kind == EDITED_BODY && !body_is_closed()) fail("an open body");
        }
        press(KEY_F1 + (editing >> 6) % 3);
        press(KEY_F12);
        if (!scene_is_empty()) fail("F12 left something behind");
    }
    ++session.cases;
    if (session.messages > 0) ++session.overflows;
    if (session.unexpected_message) fail("a message other than a capacity overrun");
    if (live_block_count() != session.live_blocks || live_byte_count() != session.live_bytes)
        fail("blocks made by the build were not freed");
    return 0;
}
