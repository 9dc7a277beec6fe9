// Far-to-near walk of the ordering table and the per-code dispatch to the fills.
#include "raster/dispatcher.h"

#include <cstdint>

#include "raster/fills/flat_fill.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/ordering_table.h"
#include "raster/raster_target.h"
#include "raster/render_stats.h"
#include "raster/texture_loader.h"

namespace {

struct CallbackTable {
    RenderCallback entries[RENDER_CALLBACKS];  // entry number - 1; null when free
};

CallbackTable callbacks;

// What the walk reads for every packet, and the per-vertex records computed for one
// packet and handed to its fill by address.
struct Scratch {
    ColourRecord colours[4];  // light or fog colours, r, g, b used
    TexCoord coords[4];       // environment coordinates, u, v used
    // The light colour's record, found once per walk.
    const LightState* light;
    // The light's one value when it is grey (r = g = b), else -1.
    int32_t grey_light;
    // The packet area, and the largest offset at which a packet head lies wholly
    // inside it (-1 when none does).
    uint8_t* area;
    int64_t last_head;
};

// Reads the light's values and the packet area's bounds into the scratch record:
// at the start of the walk and after every callback, the only code run during the
// walk that may change them, so a callback that does is seen at once.
void read_walk_state(const RenderList* list, Scratch& scratch) {
    const LightState* light = scratch.light;
    scratch.grey_light = light->g == light->r && light->b == light->r ? light->r : -1;
    scratch.area = reinterpret_cast<uint8_t*>(list->first_packet);
    scratch.last_head = int64_t(list->packet_capacity) - SHORT_PACKET_BYTES;
}

// lit_vertex_colour's one value under a grey light.
inline int32_t grey_level(const Scratch& scratch, int32_t intensity) {
    return ((intensity < 0 ? 0 : intensity) * scratch.grey_light) >> 8;
}

void run_callback(const RenderList* list, uint32_t number, int32_t depth_key, Scratch& scratch) {
    if (number == 0 || number > uint32_t(RENDER_CALLBACKS)) return;
    RenderCallback callback = callbacks.entries[number - 1];
    if (callback == nullptr) return;
    // A callback may change anything, shade tables included.
    close_lit_level_cache();
    callback(depth_key);
    open_lit_level_cache();
    read_walk_state(list, scratch);
}

// Light colours from the intensities of the packet's n normals; under a grey
// light each is lit_vertex_colour's one value in all three channels.
void light_vertices(const RenderList* list, const int16_t* normals, int n, Scratch& scratch) {
    if (scratch.grey_light >= 0) {
        for (int k = 0; k < n; ++k) {
            const int32_t value = grey_level(scratch, list->intensities[normals[k]]);
            scratch.colours[k] = ColourRecord{value, value, value, 0};
        }
        return;
    }
    for (int k = 0; k < n; ++k)
        scratch.colours[k] = lit_vertex_colour(list->intensities[normals[k]], scratch.light);
}

// Grey fog colours from the depths of the packet's n vertices.
void fog_vertices(const RenderList* list, const int16_t* vertices, int n, Scratch& scratch) {
    for (int k = 0; k < n; ++k) {
        int32_t level = depth_cue_level(list->screen_vertices[vertices[k]].z);
        scratch.colours[k] = ColourRecord{level, level, level, 0};
    }
}

// Environment coordinates from the view normals of the packet's n normals.
void environment_vertices(const RenderList* list, const int16_t* normals, int n, Scratch& scratch) {
    for (int k = 0; k < n; ++k)
        scratch.coords[k] = environment_coords(&list->view_normals[normals[k]]);
}

// True for the codes that read a texture slot.
bool is_textured(uint32_t code) {
    switch (code) {
        case PRIM_TEX_TRI:
        case PRIM_TEX_QUAD:
        case PRIM_TEX_ADD_TRI:
        case PRIM_TEX_ADD_QUAD:
        case PRIM_TEX_HALF_TRI:
        case PRIM_TEX_HALF_QUAD:
        case PRIM_GOURAUD_TEX_QUAD:
        case PRIM_LIT_TEX_TRI:
        case PRIM_LIT_ENV_QUAD:
        case PRIM_FOG_TEX_TRI:
        case PRIM_FOG_TEX_QUAD:
            return true;
        default:
            return false;
    }
}

// A PRIM_LIT_TRI packet under a grey light colour (r = g = b = light): the
// light colour of each vertex is grey too, lit_vertex_colour's one value, and
// the triangle is drawn from those values without the colour records,
// watertight when the packet asks for it.
[[gnu::always_inline]] inline void draw_grey_lit_packet(const RenderList* list,
                                                        PrimitivePacket* packet,
                                                        const Scratch& scratch,
                                                        int32_t shade_mode) {
    // A triangle's index arrays: v[3], col[3], t[3], nrm[3].
    const int16_t* index = packet_vertices(packet);
    const ScreenVertex* vertices = list->screen_vertices;
    auto level = [&](int k) { return grey_level(scratch, list->intensities[index[9 + k]]); };
    if ((packet->header & POLY_WATERTIGHT) != 0) {
        draw_watertight_grey_lit_triangle(&vertices[index[0]], &vertices[index[1]],
                                          &vertices[index[2]], level(0), level(1), level(2),
                                          &list->colour_records[index[3]], shade_mode);
        return;
    }
    draw_grey_lit_triangle(&vertices[index[0]], &vertices[index[1]], &vertices[index[2]], level(0),
                           level(1), level(2), &list->colour_records[index[3]], shade_mode);
}

void draw_packet(const RenderList* list, PrimitivePacket* packet, Scratch& scratch) {
    // Arguments by position in the packet's index arrays, as the fills take them.
    auto vertex = [&](int k) { return &list->screen_vertices[packet_vertices(packet)[k]]; };
    auto colour = [&](int k) { return &list->colour_records[packet_colours(packet)[k]]; };
    auto uv = [&](int k) { return &list->tex_coords[packet_tex_coords(packet)[k]]; };
    // Per-vertex shades computed below: light colours, or depth-cue levels for fog.
    auto shade = [&](int k) { return &scratch.colours[k]; };
    auto env = [&](int k) { return &scratch.coords[k]; };  // environment coordinates
    auto flat_pixel = [&]() { return list->packed_colours[packet_colours(packet)[0]]; };
    const int32_t shade_mode = int32_t(packet->extra);
    const uint32_t code = packet_code(packet);

    // The lit triangle, the surfaces' packet, is by far the commonest: taken before
    // the texture check (it reads no texture) and the switch below.
    if (code == PRIM_LIT_TRI) {
        if (scratch.grey_light >= 0) {
            draw_grey_lit_packet(list, packet, scratch, shade_mode);
            return;
        }
        light_vertices(list, packet_normals(packet), 3, scratch);
        if ((packet->header & POLY_WATERTIGHT) != 0) {
            draw_watertight_lit_triangle(vertex(0), vertex(1), vertex(2), shade(0), shade(1),
                                         shade(2), colour(0), shade_mode);
            return;
        }
        draw_lit_triangle(vertex(0), vertex(1), vertex(2), shade(0), shade(1), shade(2), colour(0),
                          shade_mode);
        return;
    }

    // A textured packet draws only from a loaded slot: -1 (no texture), any
    // other slot outside 0..127 and an empty slot skip the packet.
    const int32_t texture = packet->texture;
    // The painted surfaces' packet, taken before the switch as the lit
    // triangle is.
    if (code == PRIM_LIT_TEX_TRI) {
        if (loaded_texture(texture) == nullptr) return;
        light_vertices(list, packet_normals(packet), 3, scratch);
        if ((packet->header & POLY_WATERTIGHT) != 0) {
            draw_watertight_lit_textured_triangle(vertex(0), vertex(1), vertex(2), shade(0),
                                                  shade(1), shade(2), uv(0), uv(1), uv(2), texture,
                                                  shade_mode);
            return;
        }
        draw_lit_textured_triangle(vertex(0), vertex(1), vertex(2), shade(0), shade(1), shade(2),
                                   uv(0), uv(1), uv(2), texture, shade_mode);
        return;
    }
    if (is_textured(code) && loaded_texture(texture) == nullptr) return;

    // Only the code selects the fill: POLY_CULL, POLY_NO_SHARING and the marker slot
    // in the top half do not, and POLY_WATERTIGHT only how the lit codes draw.
    switch (code) {
        case PRIM_FLAT_TRI:
            draw_flat_triangle(vertex(0), vertex(1), vertex(2), flat_pixel());
            break;
        case PRIM_FLAT_QUAD:
            draw_flat_quad(vertex(0), vertex(1), vertex(2), vertex(3), flat_pixel());
            break;
        case PRIM_TEX_TRI:
            draw_textured_triangle(vertex(0), vertex(1), vertex(2), uv(0), uv(1), uv(2), texture);
            break;
        case PRIM_TEX_QUAD:
            draw_textured_quad(vertex(0), vertex(1), vertex(2), vertex(3), uv(0), uv(1), uv(2),
                               uv(3), texture);
            break;
        case PRIM_TEX_ADD_TRI:
            draw_additive_textured_triangle(vertex(0), vertex(1), vertex(2), uv(0), uv(1), uv(2),
                                            texture);
            break;
        case PRIM_TEX_ADD_QUAD:
            draw_additive_textured_quad(vertex(0), vertex(1), vertex(2), vertex(3), uv(0), uv(1),
                                        uv(2), uv(3), texture);
            break;
        case PRIM_TEX_HALF_TRI:
            draw_half_textured_triangle(vertex(0), vertex(1), vertex(2), uv(0), uv(1), uv(2),
                                        texture);
            break;
        case PRIM_TEX_HALF_QUAD:
            draw_half_textured_quad(vertex(0), vertex(1), vertex(2), vertex(3), uv(0), uv(1), uv(2),
                                    uv(3), texture);
            break;
        case PRIM_GOURAUD_TRI:
            draw_gouraud_triangle(vertex(0), vertex(1), vertex(2), colour(0), colour(1), colour(2));
            break;
        case PRIM_GOURAUD_QUAD:
            draw_gouraud_quad(vertex(0), vertex(1), vertex(2), vertex(3), colour(0), colour(1),
                              colour(2), colour(3));
            break;
        case PRIM_GOURAUD_TEX_QUAD:
            draw_lit_textured_quad(vertex(0), vertex(1), vertex(2), vertex(3), colour(0), colour(1),
                                   colour(2), colour(3), uv(0), uv(1), uv(2), uv(3), texture,
                                   shade_mode);
            break;
        case PRIM_MARKER:
            draw_marker(packet_parameter(packet), &list->screen_vertices[packet->anchor]);
            break;
        case PRIM_GOURAUD_ADD_TRI:
            draw_additive_gouraud_triangle(vertex(0), vertex(1), vertex(2), colour(0), colour(1),
                                           colour(2));
            break;
        case PRIM_GOURAUD_ADD_QUAD:
            draw_additive_gouraud_quad(vertex(0), vertex(1), vertex(2), vertex(3), colour(0),
                                       colour(1), colour(2), colour(3));
            break;
        case PRIM_CALLBACK:
            run_callback(list, packet->extra, packet->depth_key, scratch);
            break;
        // PRIM_LIT_TRI is drawn above.
        case PRIM_LIT_QUAD:
            light_vertices(list, packet_normals(packet), 4, scratch);
            if ((packet->header & POLY_WATERTIGHT) != 0) {
                draw_watertight_lit_quad(vertex(0), vertex(1), vertex(2), vertex(3), shade(0),
                                         shade(1), shade(2), shade(3), colour(0), shade_mode);
                break;
            }
            draw_lit_quad(vertex(0), vertex(1), vertex(2), vertex(3), shade(0), shade(1), shade(2),
                          shade(3), colour(0), shade_mode);
            break;
        // PRIM_LIT_TEX_TRI is drawn above.
        case PRIM_LIT_ENV_QUAD:
            light_vertices(list, packet_normals(packet), 4, scratch);
            environment_vertices(list, packet_normals(packet), 4, scratch);
            draw_lit_textured_quad(vertex(0), vertex(1), vertex(2), vertex(3), shade(0), shade(1),
                                   shade(2), shade(3), env(0), env(1), env(2), env(3), texture,
                                   shade_mode);
            break;
        case PRIM_FOG_TEX_TRI:
            fog_vertices(list, packet_vertices(packet), 3, scratch);
            draw_lit_textured_triangle(vertex(0), vertex(1), vertex(2), shade(0), shade(1),
                                       shade(2), uv(0), uv(1), uv(2), texture, shade_mode);
            break;
        case PRIM_FOG_TEX_QUAD:
            fog_vertices(list, packet_vertices(packet), 4, scratch);
            draw_lit_textured_quad(vertex(0), vertex(1), vertex(2), vertex(3), shade(0), shade(1),
                                   shade(2), shade(3), uv(0), uv(1), uv(2), uv(3), texture,
                                   shade_mode);
            break;
        // Every other code is skipped: the object header, and the codes that marking a
        // Gouraud or fogged packet lit (POLY_LIT) makes of it, such as 67 + 256 = 323,
        // which name no fill.
        default:
            break;
    }
}

// Callback slots carry only the packet head through extra, so a callback is all they
// can be.
void draw_slot(const RenderList* list, const CallbackSlot* slot, Scratch& scratch) {
    if ((slot->header & PRIM_CODE_MASK) == PRIM_CALLBACK)
        run_callback(list, slot->extra, slot->depth_key, scratch);
}

// Colour into `count` pixels of one row from column x0; the caller keeps them inside.
void fill_row(int64_t row, int64_t x0, int64_t count, uint16_t colour) {
    uint16_t* pixel = raster_target.pixels + row * raster_target.width + x0;
    for (int64_t i = 0; i < count; ++i)
        pixel[i] = colour;
}

void fill_column(int64_t column, int64_t y0, int64_t count, uint16_t colour) {
    uint16_t* pixel = raster_target.pixels + y0 * raster_target.width + column;
    for (int64_t i = 0; i < count; ++i)
        pixel[i * raster_target.width] = colour;
}

// Start and length of one side's edges clipped to 0 .. limit - 1: start = position when
// positive, else 0; length = limit - start when start + extent passes the limit,
// extent + position when position is negative, extent otherwise. In 64 bits, since
// start + extent and extent + position overflow 32 bits for extreme boxes; the result
// never reaches past the limit (a start at or past it gives a length <= 0).
void clip_extent(int64_t position, int64_t extent, int64_t limit, int64_t* start, int64_t* length) {
    *start = position > 0 ? position : 0;
    if (*start + extent > limit)
        *length = limit - *start;
    else if (position < 0)
        *length = extent + position;
    else
        *length = extent;
}

}  // namespace

int32_t register_render_callback(RenderCallback callback) {
    if (callback == nullptr) return -1;
    for (int32_t i = 0; i < RENDER_CALLBACKS; ++i) {
        if (callbacks.entries[i] == nullptr) {
            callbacks.entries[i] = callback;
            return i + 1;
        }
    }
    return -1;
}

int32_t unregister_render_callback(int32_t number) {
    if (number < 1 || number > RENDER_CALLBACKS || callbacks.entries[number - 1] == nullptr)
        return -1;
    callbacks.entries[number - 1] = nullptr;
    return 0;
}

void draw_ordering_table(const RenderList* list) {
    uint32_t* heads = ordering_table_heads();
    if (list == nullptr || heads == nullptr) return;
    Scratch scratch;
    scratch.light = light_colour();
    read_walk_state(list, scratch);
    open_lit_level_cache();
    for (int32_t bucket = ORDERING_TABLE_SIZE - 1; bucket >= 1; --bucket) {
        uint32_t reference = heads[bucket];
        while (reference != NO_PACKET) {
            if (is_callback_slot_reference(reference)) {
                const CallbackSlot* slot = referenced_slot(reference);
                if (slot == nullptr) break;
                reference = slot->link;
                draw_slot(list, slot, scratch);
            } else {
                // As referenced_packet, with the area's bounds read once per walk.
                const uint32_t offset = reference - 1;
                if (int64_t(offset) > scratch.last_head) break;
                auto* packet = reinterpret_cast<PrimitivePacket*>(scratch.area + offset);
                reference = packet->link;
                // Packets lie in the area in the order they were built, and
                // the walk takes them by depth, from all over it: the next
                // one is asked for while this one is drawn. A prefetch never
                // faults, so the reference is not checked for it.
                __builtin_prefetch(reinterpret_cast<const void*>(
                    reinterpret_cast<uintptr_t>(scratch.area) + (reference - 1)));
                ++render_stats.drawn;
                draw_packet(list, packet, scratch);
            }
        }
        heads[bucket] = NO_PACKET;
    }
    close_lit_level_cache();
}

ColourRecord lit_vertex_colour(int32_t intensity, const LightState* light) {
    if (intensity < 0) intensity = 0;
    // Arithmetic shifts of 32-bit products; intensity 256 under 255 gives 255.
    return ColourRecord{(intensity * light->r) >> 8, (intensity * light->g) >> 8,
                        (intensity * light->b) >> 8, 0};
}

int32_t depth_cue_level(int32_t z) {
    if (z >= DEPTH_CUE_FAR) return 0;
    if (z <= DEPTH_CUE_NEAR) return 255;
    // z lies in 801..1499 here, so the product stays small; the division truncates.
    return ((DEPTH_CUE_FAR - z) * 255) / (DEPTH_CUE_FAR - DEPTH_CUE_NEAR);
}

TexCoord environment_coords(const Vec4* normal) {
    // Arithmetic shifts: a unit component -1024..1024 maps to 0..256.
    return TexCoord{(normal->x >> 3) + 128, (normal->y >> 3) + 128, 0, 0};
}

void draw_marker(int32_t index, const ScreenVertex* vertex) {
    MarkerSlot* slots = marker_slots();
    if (slots == nullptr || index < 0 || index >= MARKER_SLOTS) return;
    if (slots[index].words[0] != 0) return;
    draw_rect_outline(vertex->x, vertex->y, MARKER_SIZE, MARKER_SIZE, MARKER_COLOUR);
}

void draw_rect_outline(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t colour) {
    int64_t width = raster_target.width;
    int64_t height = raster_target.height;
    if (raster_target.pixels == nullptr || width <= 0 || height <= 0) return;

    int64_t x0, length;
    clip_extent(x, w, width, &x0, &length);
    if (length > 0) {
        int64_t top = y;
        int64_t bottom = int64_t(y) + h;
        if (top >= 0 && top < height) fill_row(top, x0, length, colour);
        if (bottom >= 0 && bottom < height) fill_row(bottom, x0, length, colour);
    }

    int64_t y0;
    clip_extent(y, h, height, &y0, &length);
    if (length > 0) {
        int64_t left = x;
        int64_t right = int64_t(x) + w;
        if (left >= 0 && left < width) fill_column(left, y0, length, colour);
        if (right >= 0 && right < width) fill_column(right, y0, length, colour);
    }
}
