// sketch3d-soak: a long seeded random session on the headless backend.
//
//   sketch3d-soak [--seed N] [--frames N]
//
// A stream of mouse moves, button presses and releases, wheel turns, and Z, F1,
// F2, F3, N, M, Tab, [, ] and F12 (never Escape) drives the program, mixed with closed outlines
// drawn and right-clicked so that sheets are built, edited, inflated with I,
// gathered into figures of several parts, saved with Ctrl+S into a scratch
// folder, thrown away again and again, and undone and redone (Ctrl+Z, Ctrl+Y,
// Ctrl+Shift+Z). I is pressed only on sheets of at
// most MAX_INFLATED_SHEET_VERTICES vertices (outlines up to about 350 pixels
// across), whose bodies fit the body buffers with room to spare, so that no
// message is expected but the capacity messages of a figure that grew too
// large for them or for the object table. After every frame it checks that
// the frame ran, no other message was shown and every save was written, that
// the blocks held by alloc_zeroed stay within start-up's plus one object's a
// scene object (and the body buffers' while they are in place, the same every
// time), and after every F12 that the pools, the packet area and the object
// table are empty and exactly start-up's blocks remain (an undo that goes back
// to drawing may bring strokes back, whose blocks are the strokes' own). At the end the window is
// closed and every block must have been freed. Exit code 0 when every check held, 1 at the first
// that did not, 2 for bad arguments.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>  // mkdtemp

#include "app/edited_object.h"
#include "app/frame.h"
#include "app/shell.h"
#include "app/stroke_history.h"
#include "base/memory.h"
#include "base/messages.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "platform/common/integer_text.h"
#include "platform/headless/headless.h"
#include "tests/support/seeded_random.h"

namespace {

constexpr int KEYS[] = {KEY_Z,           KEY_F1, KEY_F2, KEY_F3,  KEY_BACKSPACE,
                        KEY_DELETE,      KEY_N,  KEY_M,  KEY_TAB, KEY_BRUSH_SMALLER,
                        KEY_BRUSH_LARGER};  // F12 apart
constexpr int32_t BUTTONS[] = {BUTTON_LEFT, BUTTON_RIGHT};
// The largest sheet the soak inflates: a disc about 350 pixels across, whose body fits the
// body buffers several times over (a thin region filling the screen could overflow them).
constexpr int32_t MAX_INFLATED_SHEET_VERTICES = 1500;

struct Soak {
    uint64_t seed = 1;
    SeededRandom random{1};
    int32_t frames_wanted = 100000;
    int32_t frame = 0;
    // Events planned for the coming frames: each entry queues its events and
    // then one frame runs.
    std::deque<std::function<void()>> plan;
    int32_t f12_release = 0;  // the frame that lets go of F12, 0: none due
    int32_t cursor_x = 0;     // client position of the last move queued
    int32_t cursor_y = 0;

    int startup_allocations = 0;
    int startup_blocks = 0;
    int64_t startup_bytes = 0;
    int64_t object_bytes = 0;  // the block of one object with its two parts
    int peak_blocks = 0;
    int64_t peak_bytes = 0;

    int32_t builds = 0;
    int32_t inflations = 0;
    int32_t saves = 0;
    int32_t messages = 0;        // capacity messages of figures
    int32_t largest_figure = 0;  // parts
    // What the body buffers hold, measured when they first come in place: -1 until then.
    int body_blocks = -1;
    int64_t body_bytes = -1;
    int32_t discards = 0;
    int32_t undos = 0;
    int32_t outlines = 0;
    int64_t events = 0;
};

Soak soak;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "sketch3d-soak: seed %llu, frame %d: %s\n",
                 static_cast<unsigned long long>(soak.seed), soak.frame, what);
    std::exit(1);
}

int32_t client_width() {
    return headless_client_width();
}
int32_t client_height() {
    return headless_client_height();
}

void move(int32_t x, int32_t y) {
    headless_queue_move(x, y);
    soak.cursor_x = x;
    soak.cursor_y = y;
    ++soak.events;
}
void button(int32_t bit, bool down) {
    if (down) {
        headless_queue_button_down(bit);
    } else {
        headless_queue_button_up(bit);
    }
    ++soak.events;
}
void key(int virtual_key, bool down) {
    if (down) {
        headless_queue_key_down(virtual_key);
    } else {
        headless_queue_key_up(virtual_key);
    }
    ++soak.events;
}

// A position: mostly inside the client area, sometimes just outside it, and
// now and then anywhere at all.
void random_position(int32_t* x, int32_t* y) {
    SeededRandom& r = soak.random;
    const int32_t kind = r.below(100);
    if (kind < 85) {
        *x = r.below(client_width());
        *y = r.below(client_height());
    } else if (kind < 97) {
        *x = r.between(-64, client_width() + 64);
        *y = r.between(-64, client_height() + 64);
    } else {
        *x = int32_t(uint32_t(r.next()));
        *y = int32_t(uint32_t(r.next()));
    }
}

// One random event of any kind the user can make (Escape excepted). Releases
// are likelier than presses, so that nothing stays held for long; F12 is rare
// and let go a few frames later, so that sheets live a while.
void random_event() {
    SeededRandom& r = soak.random;
    const int32_t kind = r.below(1000);
    if (kind < 700) {
        int32_t x = 0, y = 0;
        if (r.chance(700)) {  // a small step from where the cursor was
            x = soak.cursor_x + r.between(-12, 12);
            y = soak.cursor_y + r.between(-12, 12);
        } else {
            random_position(&x, &y);
        }
        move(x, y);
    } else if (kind < 820) {
        button(BUTTONS[r.below(2)], r.chance(350));
    } else if (kind < 990) {
        key(KEYS[r.below(int32_t(std::size(KEYS)))], r.chance(400));
    } else if (kind < 998) {
        headless_queue_wheel(r.between(-3, 3));
    } else {
        key(KEY_F12, true);
        soak.f12_release = soak.frame + r.between(1, 4);
    }
}

// A closed outline of 3 to 12 points around a centre, drawn one segment a
// frame with the left button, then a right-click inside (or, now and then,
// anywhere).
void plan_outline() {
    SeededRandom& r = soak.random;
    const int32_t cx = r.below(client_width());
    const int32_t cy = r.below(client_height());
    const int32_t radius = r.between(6, 160);
    const int32_t points = r.between(3, 12);
    int32_t xs[13], ys[13];
    for (int32_t i = 0; i < points; ++i) {
        // Corners on a circle, each turned and pulled in a little at random.
        const double angle = 6.283185307179586 * (i + r.below(40) / 100.0) / points;
        const int32_t reach = radius - r.below(radius / 3 + 1);
        xs[i] = cx + int32_t(reach * std::cos(angle));
        ys[i] = cy + int32_t(reach * std::sin(angle));
    }
    xs[points] = xs[0];
    ys[points] = ys[0];
    soak.plan.push_back([=] {
        for (int32_t bit : BUTTONS)
            button(bit, false);
        move(xs[0], ys[0]);
    });
    soak.plan.push_back([] { button(BUTTON_LEFT, true); });
    for (int32_t i = 1; i <= points; ++i)
        soak.plan.push_back([=] { move(xs[i], ys[i]); });
    const bool inside = r.chance(850);
    int32_t px = cx, py = cy;
    if (!inside) random_position(&px, &py);
    soak.plan.push_back([=] {
        button(BUTTON_LEFT, false);
        move(px, py);
    });
    soak.plan.push_back([] { button(BUTTON_RIGHT, true); });
    soak.plan.push_back([] { button(BUTTON_RIGHT, false); });
    ++soak.outlines;
}

// Editing: a drag with one button for a few frames, or Z held with a push.
void plan_edit() {
    SeededRandom& r = soak.random;
    const int32_t bit = BUTTONS[r.below(2)];
    const bool push = r.chance(400);
    const int32_t frames = r.between(2, 30);
    if (push) soak.plan.push_back([] { key(KEY_Z, true); });
    soak.plan.push_back([=] { button(bit, true); });
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t dx = r.between(-20, 20), dy = r.between(-20, 20);
        soak.plan.push_back([=] { move(soak.cursor_x + dx, soak.cursor_y + dy); });
    }
    soak.plan.push_back([=] {
        button(bit, false);
        if (push) key(KEY_Z, false);
    });
}

void plan_frame() {
    SeededRandom& r = soak.random;
    if (soak.plan.empty()) {
        const bool editing = selected_object() != NO_OBJECT;
        if (!editing && r.chance(40)) {
            plan_outline();
        } else if (editing && r.chance(30)) {
            plan_edit();
        } else if (editing && r.chance(20) && edited_object().kind == EDITED_SHEET &&
                   edited_object().vertex_count <= MAX_INFLATED_SHEET_VERTICES) {
            soak.plan.push_back([] { key(KEY_I, true); });
            soak.plan.push_back([] { key(KEY_I, false); });
        } else if (r.chance(1)) {
            // Ctrl+S, editing or not: the picture, the session and the object, if any.
            soak.plan.push_back([] { key(KEY_CONTROL, true); });
            soak.plan.push_back([] { key(KEY_S, true); });
            soak.plan.push_back([] {
                key(KEY_S, false);
                key(KEY_CONTROL, false);
            });
        } else if (editing && r.chance(3)) {
            soak.plan.push_back([] { key(KEY_F12, true); });
            soak.plan.push_back([] { key(KEY_F12, false); });
        } else if (r.chance(15)) {
            // Ctrl+Z, or a redo: Ctrl+Y or Ctrl+Shift+Z, a few times in a row now and then.
            const int32_t which = r.below(4);
            const int32_t times = r.chance(200) ? r.between(2, 12) : 1;
            for (int32_t i = 0; i < times; ++i) {
                soak.plan.push_back([=] {
                    key(KEY_CONTROL, true);
                    if (which == 3) key(KEY_SHIFT, true);
                    key(which == 2 ? KEY_Y : KEY_Z, true);
                    ++soak.undos;
                });
                soak.plan.push_back([=] {
                    key(which == 2 ? KEY_Y : KEY_Z, false);
                    if (which == 3) key(KEY_SHIFT, false);
                    key(KEY_CONTROL, false);
                });
            }
        }
    }
    if (soak.f12_release == soak.frame) key(KEY_F12, false);
    // Noise on top of any plan: usually nothing, sometimes a few events,
    // rarely a burst.
    const int32_t noise = r.chance(10) ? r.between(10, 60) : r.chance(300) ? r.between(1, 3) : 0;
    for (int32_t i = 0; i < noise; ++i)
        random_event();
    if (!soak.plan.empty()) {
        soak.plan.front()();
        soak.plan.pop_front();
    }
}

bool scene_is_empty() {
    for (int32_t kind = POOL_VERTEX; kind <= POOL_NORMAL; ++kind) {
        if (pool_count(kind) != 0) return false;
    }
    for (int32_t index = 0; index < MAX_OBJECTS; ++index) {
        if (get_object(index) != nullptr) return false;
    }
    return current_render_list()->packet_count == 0 && draw_list() == nullptr;
}

int32_t live_objects() {
    int32_t count = 0;
    for (int32_t index = 0; index < MAX_OBJECTS; ++index)
        count += get_object(index) != nullptr;
    return count;
}

// The capacity messages a figure may meet: a part, a mirror or a body that does
// not fit what the body buffers or the object table have left, or that would
// fit them alone but not beside the parts already there.
bool is_capacity_text(const std::string& text) {
    for (const char* capacity :
         {TEXT_PACKET_AREA_FULL, TEXT_VERTEX_POOL_FULL, TEXT_NORMAL_POOL_FULL,
          TEXT_OBJECT_TABLE_FULL, TEXT_TOO_MANY_PARTS})
        if (text == capacity) return true;
    return false;
}

void check_after_frame(int32_t object_before, int32_t kind_before, int32_t parts_before) {
    if (!headless_running()) fail("the program ended");
    const std::vector<HeadlessMessage>& messages = headless_messages();
    // Capacity messages only, and only with a figure there before the frame or after it (a
    // redo brings one back, and a part built in the same frame may not fit).
    for (; soak.messages < int32_t(messages.size()); ++soak.messages)
        if ((parts_before == 0 && figure().part_count == 0) ||
            !is_capacity_text(messages[size_t(soak.messages)].text))
            fail("a message was shown outside a figure, or not a capacity message");
    const std::vector<std::string>& saves = headless_saves();
    for (; soak.saves < int32_t(saves.size()); ++soak.saves)
        if (saves[size_t(soak.saves)].rfind("saved ", 0) != 0) fail("a save was not written");
    const int blocks = live_block_count();
    const int64_t bytes = live_byte_count();
    if (kind_before == EDITED_SHEET && edited_object().kind == EDITED_BODY) ++soak.inflations;
    if (blocks > soak.peak_blocks) soak.peak_blocks = blocks;
    if (bytes > soak.peak_bytes) soak.peak_bytes = bytes;
    // The strokes that can be taken back hold their own memory, within its bounds.
    const StrokeHistoryMemory strokes = stroke_history_memory();
    if (strokes.blocks > 2 || strokes.bytes > int64_t(MAX_STROKE_SEGMENTS) * STROKE_SEGMENT_BYTES +
                                                  int64_t(514) * 483 * 2)
        fail("the stroke history holds more than a page and its segments");
    // Beyond start-up's blocks, the strokes' and one block a scene object: the body buffers,
    // from the first inflation or the first N or M of a figure until F12, the same every time
    // (the start-up packet area and pools stay aside meanwhile), and nothing else.
    const int32_t objects = live_objects();
    const int beyond_blocks = blocks - strokes.blocks - soak.startup_blocks - objects;
    const int64_t beyond_bytes =
        bytes - strokes.bytes - soak.startup_bytes - objects * soak.object_bytes;
    const bool buffers = fine_vertex_base() != nullptr;
    if (buffers && soak.body_blocks < 0) {
        soak.body_blocks = beyond_blocks;
        soak.body_bytes = beyond_bytes;
    }
    if (beyond_blocks > (buffers ? soak.body_blocks : 0) ||
        beyond_bytes > (buffers ? soak.body_bytes : 0))
        fail("more memory held than start-up's, the objects', the body buffers' and the strokes'");
    if (figure().part_count > soak.largest_figure) soak.largest_figure = figure().part_count;

    // A figure being added to has no object selected: the scene is thrown away only when
    // the figure has no part left.
    const int32_t object = selected_object();
    if (object_before == NO_OBJECT && object != NO_OBJECT) ++soak.builds;
    if (object_before != NO_OBJECT && figure().part_count == 0) {
        ++soak.discards;
        if (!scene_is_empty()) fail("F12 left pools, packets or objects behind");
        if (blocks - strokes.blocks != soak.startup_blocks ||
            bytes - strokes.bytes != soak.startup_bytes)
            fail("F12 left blocks behind");
    }
}

}  // namespace

int main(int argc, char** argv) {
    int64_t seed = 1;
    int64_t frames = soak.frames_wanted;
    struct Option {
        const char* name;
        int64_t low, high;
        int64_t* value;
    };
    const Option options[] = {{"--seed", 0, INT64_MAX, &seed}, {"--frames", 1, INT32_MAX, &frames}};
    for (int i = 1; i < argc; ++i) {
        const Option* option = nullptr;
        for (const Option& candidate : options)
            if (std::strcmp(argv[i], candidate.name) == 0) option = &candidate;
        if (option == nullptr || i + 1 == argc) {
            std::fprintf(stderr, "usage: sketch3d-soak [--seed N] [--frames N]\n");
            return 2;
        }
        if (!parse_integer(argv[++i], option->low, option->high, option->value)) {
            std::fprintf(stderr, "sketch3d-soak: %s expects an integer %s\n", option->name,
                         integer_range(option->low, option->high).c_str());
            return 2;
        }
    }
    soak.seed = uint64_t(seed);
    soak.random.state = uint64_t(seed);
    soak.frames_wanted = int32_t(frames);
    const auto start = std::chrono::steady_clock::now();

    if (live_block_count() != 0) fail("blocks before start-up");
    // Saves go to a scratch folder of the soak's own, removed at the end.
    char scratch[] = "/tmp/sketch3d-soak-XXXXXX";
    if (mkdtemp(scratch) == nullptr) fail("no scratch folder for the saves");
    HeadlessConfig config;
    config.save_dir = scratch;
    if (headless_open(config) != 0) fail("start-up failed");
    soak.startup_allocations = allocation_count();
    soak.startup_blocks = soak.peak_blocks = live_block_count();
    soak.startup_bytes = soak.peak_bytes = live_byte_count();
    // Every build asks for one object with room for two parts.
    soak.object_bytes = int64_t(sizeof(SceneObject)) + 2 * int64_t(sizeof(ObjectPart));

    for (soak.frame = 1; soak.frame <= soak.frames_wanted; ++soak.frame) {
        const int32_t object_before = selected_object();
        const int32_t kind_before = edited_object().kind;
        const int32_t parts_before = figure().part_count;
        plan_frame();
        if (headless_run_frames(1) != 1) fail("no frame ran");
        check_after_frame(object_before, kind_before, parts_before);
    }

    headless_queue_close();
    headless_run_frames(1);
    if (headless_running() || headless_exit_code() != 0 || headless_shut_down_count() != 1)
        fail("closing the window did not end the program through its shut-down");
    if (live_block_count() != 0 || live_byte_count() != 0) fail("blocks left after shut-down");
    headless_close();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "sketch3d-soak: seed %lld, %d frames, %lld events, %d outlines drawn, %d sheets built, "
        "%d inflated, %d saved, %d thrown away with F12 or undone, %d undos and redos; figures of "
        "up to %d parts, %d capacity "
        "messages; peak %d blocks, %lld bytes (start-up %d "
        "allocations, %d blocks, %lld bytes); %d allocations in all; 0 blocks after shut-down; "
        "%.1f s\n",
        static_cast<long long>(seed), soak.frames_wanted, static_cast<long long>(soak.events),
        soak.outlines, soak.builds, soak.inflations, soak.saves, soak.discards, soak.undos,
        soak.largest_figure, soak.messages, soak.peak_blocks,
        static_cast<long long>(soak.peak_bytes), soak.startup_allocations, soak.startup_blocks,
        static_cast<long long>(soak.startup_bytes), allocation_count(), seconds);
    return 0;
}
