// The primitive gallery: a 5 x 4 grid of cells, each showing primitive codes drawn
// from packets written by hand, painted by render_frame.
#include "tools/gallery/gallery.h"

#include <cstddef>
#include <initializer_list>

#include "geometry/camera.h"
#include "geometry/model_library.h"
#include "geometry/render_list.h"
#include "raster/dispatcher.h"
#include "raster/packet.h"
#include "raster/raster_target.h"
#include "raster/render_frame.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"

namespace {

constexpr int32_t CELL_WIDTH = 64;
constexpr int32_t CELL_HEIGHT = 60;
constexpr int32_t POOL_CAPACITY = 256;
constexpr int32_t PACKET_BYTES = 16 * 1024;
constexpr int16_t MARKER_SLOT = 3;
constexpr int32_t NEAR = 100;  // depth of everything that is not depth-cued

constexpr uint16_t FRAME_BACKGROUND = 0x0C63;  // (3, 3, 3)
constexpr uint16_t CELL_BORDER = 0x18C6;
constexpr uint16_t CHECKER_DARK = 0x1084;
constexpr uint16_t CHECKER_LIGHT = 0x3DEF;

uint16_t pack(int32_t r, int32_t g, int32_t b) {
    return uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

// Indices handed out in the pools of the current render list.
struct Scene {
    RenderList* list;
    int16_t vertices, colours, coords, normals;
    int32_t procedural, environment, file;  // texture slots
    int32_t callback;                       // number of nested_boxes
};

Scene scene;

// Corners of a polygon: position, and what the codes that read them take.
struct Corner {
    int32_t x, y, z;
    int32_t r, g, b;    // colour record
    int32_t u, v;       // texture coordinates
    int32_t nx, ny;     // view normal (z completes it roughly to unit length)
    int32_t intensity;  // light level of that normal
};

int16_t add_corner(const Corner& c, int16_t* colour, int16_t* coord, int16_t* normal) {
    RenderList* list = scene.list;
    const int16_t v = scene.vertices++;
    list->screen_vertices[v] = ScreenVertex{c.x, c.y, c.z, 0};
    *colour = scene.colours++;
    list->colour_records[*colour] = ColourRecord{c.r, c.g, c.b, 0};
    list->packed_colours[*colour] = pack(c.r, c.g, c.b);
    *coord = scene.coords++;
    list->tex_coords[*coord] = TexCoord{c.u, c.v, 0, 0};
    *normal = scene.normals++;
    list->view_normals[*normal] = Vec4{c.nx, c.ny, -700, 0};
    list->intensities[*normal] = c.intensity;
    return v;
}

// A triangle or quadrilateral packet of `code` over n corners.
void polygon(uint32_t code, const Corner* corners, int n, int32_t texture = -1,
             int32_t shade_mode = SHADE_MODE_SOFT) {
    if (scene.vertices + n > POOL_CAPACITY) return;  // every pool grows by n at most
    const int32_t bytes = n == 4 ? QUAD_PACKET_BYTES : TRIANGLE_PACKET_BYTES;
    auto* packet = static_cast<PrimitivePacket*>(alloc_packet(bytes));
    if (packet == nullptr) return;
    *packet =
        PrimitivePacket{code, uint32_t(bytes), 0, 0, 0, uint32_t(shade_mode), int16_t(texture), 0};
    for (int k = 0; k < n; ++k) {
        packet_vertices(packet)[k] =
            add_corner(corners[k], &packet_colours(packet)[k], &packet_tex_coords(packet)[k],
                       &packet_normals(packet)[k]);
    }
    packet->anchor = packet_vertices(packet)[0];
}

// An axis-aligned quad inside cell (column, row), inset by `inset` pixels,
// with texture coordinates 0..repeat * 256 and the given corner colours.
void cell_quad(uint32_t code, int column, int row, int inset, int32_t texture, int32_t repeat,
               const int32_t (*colours)[3], int32_t z = NEAR, int32_t shade_mode = 0) {
    const int32_t x0 = column * CELL_WIDTH + inset, y0 = row * CELL_HEIGHT + inset;
    const int32_t x1 = (column + 1) * CELL_WIDTH - inset, y1 = (row + 1) * CELL_HEIGHT - inset;
    const int32_t span = 256 * repeat;
    const int32_t xs[] = {x0, x1, x1, x0}, ys[] = {y0, y0, y1, y1};
    const int32_t us[] = {0, span, span, 0}, vs[] = {0, 0, span, span};
    Corner corners[4];
    for (int k = 0; k < 4; ++k) {
        const int32_t* c = colours[k];
        corners[k] = Corner{xs[k],
                            ys[k],
                            z,
                            c[0],
                            c[1],
                            c[2],
                            us[k],
                            vs[k],
                            (k == 1 || k == 2) ? 600 : -600,
                            k < 2 ? -600 : 600,
                            c[0]};
    }
    polygon(code, corners, 4, texture, shade_mode);
}

constexpr int32_t WHITE4[4][3] = {
    {255, 255, 255}, {255, 255, 255}, {255, 255, 255}, {255, 255, 255}};
constexpr int32_t RAINBOW[4][3] = {{255, 40, 40}, {250, 220, 40}, {40, 200, 255}, {180, 60, 255}};
constexpr int32_t WARM[4][3] = {{255, 120, 0}, {255, 200, 40}, {200, 40, 0}, {255, 90, 60}};
constexpr int32_t DIM[4][3] = {{90, 90, 255}, {40, 40, 160}, {20, 20, 80}, {60, 60, 200}};
// Light levels in the red channel double as the corners' intensities.
constexpr int32_t LIGHT_RAMP[4][3] = {{255, 0, 0}, {190, 0, 0}, {60, 0, 0}, {130, 0, 0}};

Corner at(int32_t x, int32_t y, int32_t r = 255, int32_t g = 255, int32_t b = 255, int32_t u = 0,
          int32_t v = 0, int32_t intensity = 255, int32_t z = NEAR) {
    return Corner{x, y, z, r, g, b, u, v, 0, 0, intensity};
}

// A flat quad from (x0, y0) to (x1, y1) inside cell (column, row).
void flat_quad(int column, int row, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t colour,
               int32_t z) {
    const int32_t x = column * CELL_WIDTH, y = row * CELL_HEIGHT;
    const int32_t r = ((colour >> 10) & 31) << 3, g = ((colour >> 5) & 31) << 3,
                  b = (colour & 31) << 3;
    Corner corners[] = {
        at(x + x0, y + y0, r, g, b, 0, 0, 0, z), at(x + x1, y + y0, r, g, b, 0, 0, 0, z),
        at(x + x1, y + y1, r, g, b, 0, 0, 0, z), at(x + x0, y + y1, r, g, b, 0, 0, 0, z)};
    polygon(PRIM_FLAT_QUAD, corners, 4);
}

// A triangle in cell (column, row) pointing up.
void cell_triangle(uint32_t code, int column, int row, int32_t texture, const Corner& apex,
                   const Corner& right, const Corner& left, int32_t shade_mode = 0) {
    const int32_t x = column * CELL_WIDTH, y = row * CELL_HEIGHT;
    Corner corners[] = {apex, right, left};
    for (Corner& c : corners) {
        c.x += x;
        c.y += y;
    }
    polygon(code, corners, 3, texture, shade_mode);
}

// The callback packet's drawing: nested boxes whose count comes from its key.
void nested_boxes(int32_t depth_key) {
    const int32_t x = 0 * CELL_WIDTH, y = 3 * CELL_HEIGHT;
    const uint16_t colours[] = {0x7FE0, 0x03FF, 0x7C1F, 0x7FFF};
    for (int32_t i = 0; i < depth_key % 5; ++i) {
        draw_rect_outline(x + 8 + 6 * i, y + 6 + 6 * i, 48 - 12 * i, 48 - 12 * i, colours[i % 4]);
    }
}

void callback_packet(int32_t callback, int16_t depth_key) {
    auto* packet = static_cast<PrimitivePacket*>(alloc_packet(SHORT_PACKET_BYTES));
    if (packet == nullptr) return;
    packet->header = PRIM_CALLBACK;
    packet->size = SHORT_PACKET_BYTES;
    packet->link = 0;
    packet->depth_key = depth_key;
    packet->depth_bias = 0;
    packet->extra = uint32_t(callback);
}

void marker_packet(int column, int row) {
    if (scene.vertices >= POOL_CAPACITY) return;
    auto* packet = static_cast<PrimitivePacket*>(alloc_packet(PACKET_HEAD_BYTES));
    if (packet == nullptr) return;
    const int16_t anchor = scene.vertices++;
    scene.list->screen_vertices[anchor] =
        ScreenVertex{column * CELL_WIDTH + 7, row * CELL_HEIGHT + 5, NEAR, 0};
    *packet = PrimitivePacket{
        PRIM_MARKER | (uint32_t(MARKER_SLOT) << 16), PACKET_HEAD_BYTES, 0, 0, 0, 0, -1, anchor};
    marker_slots()[MARKER_SLOT].words[0] = 0;  // an open slot draws its box
}

// A checkerboard of 8-pixel squares behind the cells whose codes blend.
void checker(uint16_t* pixels, int column, int row) {
    for (int32_t y = row * CELL_HEIGHT + 1; y < (row + 1) * CELL_HEIGHT; ++y) {
        for (int32_t x = column * CELL_WIDTH + 1; x < (column + 1) * CELL_WIDTH; ++x) {
            pixels[size_t(y) * GALLERY_WIDTH + size_t(x)] =
                ((x >> 3) + (y >> 3)) % 2 ? CHECKER_LIGHT : CHECKER_DARK;
        }
    }
}

void background(uint16_t* pixels) {
    for (int32_t y = 0; y < GALLERY_HEIGHT; ++y) {
        for (int32_t x = 0; x < GALLERY_WIDTH; ++x) {
            const bool border = x % CELL_WIDTH == 0 || y % CELL_HEIGHT == 0;
            pixels[size_t(y) * GALLERY_WIDTH + size_t(x)] = border ? CELL_BORDER : FRAME_BACKGROUND;
        }
    }
    for (int column : {0, 2, 3})
        checker(pixels, column, 0);
    checker(pixels, 1, 1);
    checker(pixels, 3, 3);
    checker(pixels, 4, 3);
}

// 32 x 32 tiles: blue-green squares with a warm diagonal gradient.
int32_t load_procedural_texture() {
    uint16_t texels[32 * 32];
    for (int32_t j = 0; j < 32; ++j) {
        for (int32_t i = 0; i < 32; ++i) {
            const bool tile = ((i >> 3) + (j >> 3)) % 2 != 0;
            texels[j * 32 + i] = tile ? uint16_t((4 << 10) | ((12 + (i >> 1)) << 5) | 24)
                                      : uint16_t(((16 + ((i + j) >> 2)) << 10) | (10 << 5) | 4);
        }
    }
    return load_texture(-1, 32, 32, texels);
}

// 64 x 64 environment map: a bright highlight fading into blue.
int32_t load_environment_texture() {
    uint16_t texels[64 * 64];
    for (int32_t j = 0; j < 64; ++j) {
        for (int32_t i = 0; i < 64; ++i) {
            const int32_t dx = i - 24, dy = j - 24;
            int32_t glow = 31 - (dx * dx + dy * dy) / 40;
            if (glow < 0) glow = 0;
            const int32_t blue = glow > 16 ? 31 : 15 + glow;
            texels[j * 64 + i] = uint16_t((glow << 10) | (glow << 5) | blue);
        }
    }
    return load_texture(-1, 64, 64, texels);
}

void build_scene() {
    const int32_t tex = scene.procedural, env = scene.environment, file = scene.file;

    // Row 0: flat, textured copy, additive and half-blended textures, Gouraud.
    // Within a cell the nearer polygon is painted last.
    const int32_t nearer = NEAR - 10;
    flat_quad(0, 0, 6, 6, 34, 34, pack(40, 200, 255), NEAR);
    cell_triangle(PRIM_FLAT_TRI, 0, 0, -1, at(36, 16, 255, 160, 0, 0, 0, 0, nearer),
                  at(58, 56, 255, 160, 0, 0, 0, 0, nearer),
                  at(14, 56, 255, 160, 0, 0, 0, 0, nearer));
    cell_quad(PRIM_TEX_QUAD, 1, 0, 4, tex, 2, WHITE4);
    cell_triangle(PRIM_TEX_TRI, 1, 0, file, at(32, 14, 255, 255, 255, 128, 0, 255, nearer),
                  at(52, 50, 255, 255, 255, 256, 256, 255, nearer),
                  at(12, 50, 255, 255, 255, 0, 256, 255, nearer));
    cell_quad(PRIM_TEX_ADD_QUAD, 2, 0, 8, env, 1, WHITE4);
    cell_triangle(PRIM_TEX_ADD_TRI, 2, 0, tex, at(32, 4), at(60, 56, 255, 255, 255, 512, 512),
                  at(4, 56, 255, 255, 255, 0, 512));
    cell_quad(PRIM_TEX_HALF_QUAD, 3, 0, 6, file, 1, WHITE4);
    cell_triangle(PRIM_TEX_HALF_TRI, 3, 0, tex, at(32, 2), at(62, 40, 255, 255, 255, 256, 256),
                  at(2, 40, 255, 255, 255, 0, 256));
    cell_quad(PRIM_GOURAUD_QUAD, 4, 0, 4, -1, 1, RAINBOW);
    cell_triangle(PRIM_GOURAUD_TRI, 4, 0, -1, at(32, 10, 255, 255, 255, 0, 0, 0, nearer),
                  at(54, 48, 0, 0, 0, 0, 0, 0, nearer), at(10, 48, 0, 80, 255, 0, 0, 0, nearer));

    // Row 1: Gouraud-lit texture, additive Gouraud, lit, lit texture, environment map.
    cell_quad(PRIM_GOURAUD_TEX_QUAD, 0, 1, 4, file, 2, RAINBOW, NEAR, SHADE_MODE_PLAIN);
    cell_quad(PRIM_GOURAUD_ADD_QUAD, 1, 1, 10, -1, 1, DIM);
    cell_triangle(PRIM_GOURAUD_ADD_TRI, 1, 1, -1, at(32, 4, 255, 40, 0), at(60, 44, 0, 255, 40),
                  at(4, 44, 200, 0, 200));
    cell_triangle(PRIM_LIT_TRI, 2, 1, -1, at(10, 6, 250, 60, 60, 0, 0, 255),
                  at(56, 14, 250, 60, 60, 0, 0, 120), at(8, 52, 250, 60, 60, 0, 0, 20),
                  SHADE_MODE_GLOSSY);
    cell_triangle(PRIM_LIT_TRI, 2, 1, -1, at(58, 20, 80, 250, 80, 0, 0, 40),
                  at(58, 56, 80, 250, 80, 0, 0, 255), at(20, 56, 80, 250, 80, 0, 0, 160),
                  SHADE_MODE_BANDED);
    cell_triangle(PRIM_LIT_TEX_TRI, 3, 1, file, at(32, 4, 255, 255, 255, 128, 0, 255),
                  at(60, 56, 255, 255, 255, 256, 256, 40), at(4, 56, 255, 255, 255, 0, 256, 150),
                  SHADE_MODE_SOFT);
    cell_quad(PRIM_LIT_ENV_QUAD, 4, 1, 5, env, 1, LIGHT_RAMP, NEAR, SHADE_MODE_GLOSSY);

    // Row 2: depth-cued texture at three depths, one fading across its depth,
    // and a marker.
    const int32_t depths[] = {800, 1100, 1400};
    for (int k = 0; k < 3; ++k)
        cell_quad(PRIM_FOG_TEX_QUAD, k, 2, 6, file, 1, WHITE4, depths[k], SHADE_MODE_PLAIN);
    cell_triangle(PRIM_FOG_TEX_TRI, 3, 2, tex, at(32, 4, 255, 255, 255, 128, 0, 0, 800),
                  at(60, 56, 255, 255, 255, 256, 256, 0, 1500),
                  at(4, 56, 255, 255, 255, 0, 256, 0, 1150), SHADE_MODE_PLAIN);
    marker_packet(4, 2);

    // Row 3: a callback, the file texture tiled, the four shade tables on one
    // surface colour, three flat quads blended over each other far to near,
    // and a half-blended texture over a farther Gouraud quad.
    scene.callback = register_render_callback(nested_boxes);
    callback_packet(scene.callback, 4);
    cell_quad(PRIM_TEX_QUAD, 1, 3, 4, file, 3, WHITE4);
    for (int mode = 0; mode < 4; ++mode) {
        const int32_t x = 2 * CELL_WIDTH + 4 + (mode % 2) * 28,
                      y = 3 * CELL_HEIGHT + 3 + (mode / 2) * 27;
        Corner corners[4] = {
            at(x, y, 230, 170, 90, 0, 0, 255), at(x + 26, y, 230, 170, 90, 0, 0, 170),
            at(x + 26, y + 25, 230, 170, 90, 0, 0, 10), at(x, y + 25, 230, 170, 90, 0, 0, 90)};
        polygon(PRIM_LIT_QUAD, corners, 4, -1, mode);
    }
    flat_quad(3, 3, 6, 6, 40, 40, pack(255, 255, 255), NEAR + 20);
    flat_quad(3, 3, 16, 14, 50, 48, pack(255, 40, 40), NEAR + 10);
    flat_quad(3, 3, 26, 22, 58, 56, pack(40, 80, 255), NEAR);
    cell_quad(PRIM_GOURAUD_QUAD, 4, 3, 6, -1, 1, WARM, NEAR + 10);
    cell_triangle(PRIM_TEX_HALF_TRI, 4, 3, tex, at(32, 2), at(62, 58, 255, 255, 255, 256, 256),
                  at(2, 58, 255, 255, 255, 0, 256));
}

void release() {
    free_model_tables();
    free_texture_slots();
    free_render_buffers();
    shutdown_shading();
    set_screen_geometry(0, 0, nullptr);
    bind_raster_target();
}

}  // namespace

int32_t render_gallery(uint16_t* pixels, const char* texture_path) {
    background(pixels);
    reset_view_defaults();
    if (init_shading() != 0 || init_render_buffers(PACKET_BYTES) != 0 ||
        init_texture_slots() != 0 || init_model_tables() != 0) {
        release();
        return TEXTURE_ERROR_NO_MEMORY;
    }
    alloc_vertex_pool(POOL_CAPACITY);
    alloc_colour_pool(POOL_CAPACITY);
    alloc_uv_pool(POOL_CAPACITY);
    alloc_normal_pool(POOL_CAPACITY);
    set_light_colour(255, 255, 255);

    scene = Scene{current_render_list(), 0, 0, 0, 0, -1, -1, -1, 0};
    scene.procedural = load_procedural_texture();
    scene.environment = load_environment_texture();
    scene.file = load_texture_file(-1, texture_path);
    int32_t result = 0;
    for (int32_t slot : {scene.procedural, scene.environment, scene.file}) {
        if (slot < 0 && result == 0) result = slot;
    }
    if (result == 0) {
        build_scene();
        set_screen_geometry(GALLERY_WIDTH, GALLERY_HEIGHT, pixels);
        render_frame();
    }
    unregister_render_callback(scene.callback);
    release();
    return result;
}
