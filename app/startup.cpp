// The start-up and shut-down sequences.
#include "app/startup.h"

#include "app/animate.h"

#include "app/frame.h"
#include "app/input.h"
#include "app/outline.h"
#include "app/push_brush.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/stroke_history.h"
#include "app/trace_image.h"
#include "app/undo_history.h"
#include "app/view_zoom.h"
#include "geometry/animation.h"
#include "geometry/camera.h"
#include "geometry/matrix.h"
#include "geometry/model_library.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "raster/raster_target.h"
#include "raster/shade_tables.h"

namespace {

int32_t packet_area_override = 0;

// The pool steps report nothing themselves; a pool whose block could not be
// had (the allocator has shown its message) is left unbound.
bool pools_bound() {
    for (int32_t kind = POOL_VERTEX; kind <= POOL_NORMAL; ++kind)
        if (!pool_bound(kind)) return false;
    return true;
}

}  // namespace

void set_packet_area_override(int32_t bytes) {
    packet_area_override = bytes > 0 ? bytes : 0;
}

int start_up(PlatformWindow window) {
    // Module state back to its initial values, as in a freshly started program.
    reset_frame_state();
    forget_edited_object();
    reset_mouse();
    forget_strokes();
    reset_undo_history();
    reset_animation();
    reset_view_zoom();
    reset_push_brush();
    reset_trace_image();

    // Each status step has shown its own message when it fails; start-up
    // stops there and leaves what it built to the end of the process.
    if (init_screen(window) < 0) return -1;
    reset_view_defaults();
    if (init_shading() < 0) return -1;
    if (init_trig_tables() < 0) return -1;
    int32_t packet_area = packet_area_override > 0 ? packet_area_override : PACKET_AREA_BYTES;
    if (init_render_buffers(packet_area) < 0) return -1;
    if (init_object_table() < 0) return -1;
    if (init_texture_slots() < 0) return -1;
    if (init_model_tables() < 0) return -1;
    if (build_model_library() < 0) return -1;
    if (init_cursor_slots() < 0) return -1;
    if (init_animation_table() < 0) return -1;
    if (init_outline_grid() < 0) return -1;
    bind_raster_target();
    set_screen_centre(screen_width() >> 1, screen_height() >> 1);
    if (set_screen_depth(SCREEN_DEPTH) < 0) return -1;  // unchanged: no rebuild
    alloc_vertex_pool(VERTEX_POOL_CAPACITY);
    alloc_colour_pool(COLOUR_POOL_CAPACITY);
    alloc_uv_pool(UV_POOL_CAPACITY);
    alloc_normal_pool(NORMAL_POOL_CAPACITY);
    // Without its pools the program could never build an object: a pool that
    // could not be allocated ends start-up like any other failed step.
    if (!pools_bound()) return -1;
    // (64, 64, 255) masked to five bits a component: pure blue, 0x001F.
    set_clear_colour(64, 64, 255);
    clear_screen();
    set_camera(0, 0, 256, 0, 0, 0);
    set_light_direction(128, 576, 0);
    set_light_colour(255, 255, 255);
    return 0;
}

void shut_down() {
    // Not the mirror image of start-up: this order is part of the design.
    free_outline_grid();
    forget_edited_object();  // every object goes below
    forget_strokes();
    reset_undo_history();  // the meshes the steps kept
    reset_animation();     // and those the pose was built on
    free_animation_table();
    restore_cursor();
    free_model_library();
    free_model_tables();
    free_texture_slots();
    free_object_table();
    free_render_buffers();
    free_trig_tables();
    shutdown_shading();
    shutdown_screen();
}
