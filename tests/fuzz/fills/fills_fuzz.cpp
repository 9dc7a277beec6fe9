// Fuzz target: every fill entry point with vertices anywhere in the int32
// plane, on a raster of any size whose page is allocated to its exact size, so
// that AddressSanitizer catches any write outside it. Colours, light levels,
// shade modes and texture sizes stay within the ranges the fills accept;
// texture coordinates are arbitrary (they wrap).
//
// Besides memory safety it checks what must hold for every fill: a polygon
// without height, or wholly on the far side of one raster border, changes no
// pixel, and no pixel outside the polygon's bounding box ever changes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_input.h"
#include "geometry/render_list.h"
#include "raster/fills/flat_fill.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/packet.h"
#include "raster/raster_target.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"

namespace {

constexpr int32_t MAX_EXTENT = 2048;
constexpr int64_t MAX_PIXELS = 1 << 16;
constexpr int32_t LOADED_SLOT = 7;  // the slot each textured case loads its texture into
constexpr int32_t EMPTY_SLOT = 3;   // never loaded

enum Entry {
    FLAT,
    TEXTURED,
    ADDITIVE_TEXTURED,
    HALF_TEXTURED,
    GOURAUD,
    ADDITIVE_GOURAUD,
    LIT,
    LIT_TEXTURED,
    ENTRY_COUNT
};

struct Polygon {
    Entry entry;
    int32_t width, height;  // of the raster
    int32_t n;
    ScreenVertex vertices[4];
    ColourRecord colours[4];  // vertex colours or light, 0..255
    TexCoord uvs[4];
    ColourRecord surface;
    uint16_t flat_colour;
    int32_t shade_mode;
    int32_t texture;
    bool watertight;  // the lit entries' watertight form, as POLY_WATERTIGHT draws
};

// A coordinate taken whole, or folded into the raster and a margin of 32
// around it, where most of the interesting clipping happens.
int32_t coordinate(int32_t raw, bool near, int32_t extent) {
    if (!near) return raw;
    const int64_t span = int64_t(extent) + 64;
    return int32_t(((int64_t(raw) % span) + span) % span - 32);
}

ColourRecord colour(FuzzInput& in) {
    ColourRecord c{};
    c.r = in.byte();
    c.g = in.byte();
    c.b = in.byte();
    return c;
}

// A 2^w x 2^h texture of pseudo-random texels in the loaded slot.
void load_case_texture(FuzzInput& in) {
    const uint8_t shifts = in.byte();
    const int32_t width = 1 << (shifts % 9);
    const int32_t height = 1 << ((shifts / 9) % 9);
    uint32_t state = in.u32();
    std::vector<uint16_t> texels(size_t(width) * size_t(height));
    for (uint16_t& texel : texels) {
        state = state * 214013u + 2531011u;
        texel = uint16_t(state >> 16);
    }
    if (load_texture(LOADED_SLOT, width, height, texels.data()) != LOADED_SLOT) std::abort();
}

int32_t texture_slot(FuzzInput& in) {
    switch (in.byte() % 8) {
        case 0:
            return EMPTY_SLOT;
        case 1:
            return -1;
        case 2:
            return TEXTURE_SLOTS;
        case 3:
            return in.i32();
        default:
            return LOADED_SLOT;
    }
}

void draw(Entry entry, const Polygon& p) {
    const ScreenVertex* v = p.vertices;
    const ColourRecord* c = p.colours;
    const TexCoord* t = p.uvs;
    const bool quad = p.n == 4;
    switch (entry) {
        case FLAT:
            if (quad) {
                draw_flat_quad(&v[0], &v[1], &v[2], &v[3], p.flat_colour);
            } else {
                draw_flat_triangle(&v[0], &v[1], &v[2], p.flat_colour);
            }
            break;
        case TEXTURED:
            if (quad) {
                draw_textured_quad(&v[0], &v[1], &v[2], &v[3], &t[0], &t[1], &t[2], &t[3],
                                   p.texture);
            } else {
                draw_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2], p.texture);
            }
            break;
        case ADDITIVE_TEXTURED:
            if (quad) {
                draw_additive_textured_quad(&v[0], &v[1], &v[2], &v[3], &t[0], &t[1], &t[2], &t[3],
                                            p.texture);
            } else {
                draw_additive_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2],
                                                p.texture);
            }
            break;
        case HALF_TEXTURED:
            if (quad) {
                draw_half_textured_quad(&v[0], &v[1], &v[2], &v[3], &t[0], &t[1], &t[2], &t[3],
                                        p.texture);
            } else {
                draw_half_textured_triangle(&v[0], &v[1], &v[2], &t[0], &t[1], &t[2], p.texture);
            }
            break;
        case GOURAUD:
            if (quad) {
                draw_gouraud_quad(&v[0], &v[1], &v[2], &v[3], &c[0], &c[1], &c[2], &c[3]);
            } else {
                draw_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
            }
            break;
        case ADDITIVE_GOURAUD:
            if (quad) {
                draw_additive_gouraud_quad(&v[0], &v[1], &v[2], &v[3], &c[0], &c[1], &c[2], &c[3]);
            } else {
                draw_additive_gouraud_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2]);
            }
            break;
        case LIT:
            if (quad) {
                (p.watertight ? draw_watertight_lit_quad : draw_lit_quad)(
                    &v[0], &v[1], &v[2], &v[3], &c[0], &c[1], &c[2], &c[3], &p.surface,
                    p.shade_mode);
            } else {
                (p.watertight ? draw_watertight_lit_triangle : draw_lit_triangle)(
                    &v[0], &v[1], &v[2], &c[0], &c[1], &c[2], &p.surface, p.shade_mode);
            }
            break;
        case LIT_TEXTURED:
            if (quad) {
                draw_lit_textured_quad(&v[0], &v[1], &v[2], &v[3], &c[0], &c[1], &c[2], &c[3],
                                       &t[0], &t[1], &t[2], &t[3], p.texture, p.shade_mode);
            } else {
                draw_lit_textured_triangle(&v[0], &v[1], &v[2], &c[0], &c[1], &c[2], &t[0], &t[1],
                                           &t[2], p.texture, p.shade_mode);
            }
            break;
        case ENTRY_COUNT:
            break;
    }
}

// Reports the case in full, for the regression test that follows a find.
void fail(const char* what, const Polygon& p, int32_t x, int32_t y) {
    std::fprintf(stderr, "fill fuzz: %s at pixel (%d, %d); entry %d, raster %d x %d\n", what, x, y,
                 p.entry, p.width, p.height);
    for (int32_t i = 0; i < p.n; ++i)
        std::fprintf(stderr, "  vertex %d: (%d, %d) colour (%d, %d, %d) uv (%d, %d)\n", i,
                     p.vertices[i].x, p.vertices[i].y, p.colours[i].r, p.colours[i].g,
                     p.colours[i].b, p.uvs[i].u, p.uvs[i].v);
    std::abort();
}

// The loops over every pixel of the page are left out of the coverage
// feedback: they would swamp the fills' own.
#define NO_COVERAGE __attribute__((no_sanitize("coverage")))

// A page of exactly width x height pixels of one value, from malloc so that
// AddressSanitizer knows its exact end.
NO_COVERAGE uint16_t* new_page(int32_t width, int32_t height, uint16_t background) {
    const size_t count = size_t(width) * size_t(height);
    auto* page = static_cast<uint16_t*>(std::malloc(count > 0 ? count * 2 : 1));
    if (page == nullptr) std::abort();
    for (size_t i = 0; i < count; ++i)
        page[i] = background;
    return page;
}

// Every turn of the loop goes the same way (or none does): a convex outline,
// which is what the fills are given. Edge differences need 33 bits, so their
// cross products need 128.
bool convex(const Polygon& p) {
    bool left = false, right = false;
    for (int32_t i = 0; i < p.n; ++i) {
        const ScreenVertex& a = p.vertices[i];
        const ScreenVertex& b = p.vertices[(i + 1) % p.n];
        const ScreenVertex& c = p.vertices[(i + 2) % p.n];
        const __int128 turn = __int128(int64_t(b.x) - a.x) * (int64_t(c.y) - b.y) -
                              __int128(int64_t(b.y) - a.y) * (int64_t(c.x) - b.x);
        left |= turn > 0;
        right |= turn < 0;
    }
    return !(left && right);
}

// Where the fill may have drawn: nowhere for a polygon without height or
// beyond a border, and for a convex one only inside its bounding box (an
// outline that crosses itself is drawn as well as its walk allows, but still
// only inside the page).
NO_COVERAGE void check_page(const Polygon& p, const uint16_t* page, int32_t width, int32_t height,
                            uint16_t background) {
    int64_t min_x = INT64_MAX, max_x = INT64_MIN, min_y = INT64_MAX, max_y = INT64_MIN;
    bool has_height = false;
    for (int32_t i = 0; i < p.n; ++i) {
        min_x = std::min<int64_t>(min_x, p.vertices[i].x);
        max_x = std::max<int64_t>(max_x, p.vertices[i].x);
        min_y = std::min<int64_t>(min_y, p.vertices[i].y);
        max_y = std::max<int64_t>(max_y, p.vertices[i].y);
        has_height |= p.vertices[i].y != p.vertices[0].y;
    }
    const bool outside = max_x < 0 || max_y < 0 || min_x >= width || min_y >= height;
    const bool bounded = convex(p);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            if (page[size_t(y) * size_t(width) + size_t(x)] == background) continue;
            if (!has_height) fail("a polygon without height drew", p, x, y);
            if (outside) fail("a polygon outside the raster drew", p, x, y);
            if (bounded && (x < min_x || x > max_x || y < min_y || y > max_y))
                fail("a pixel outside the bounding box changed", p, x, y);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (init_shading() != 0 || init_texture_slots() != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const auto entry = Entry(in.byte() % ENTRY_COUNT);
    const int32_t width = in.u16() % (MAX_EXTENT + 1);
    int32_t height = in.u16() % (MAX_EXTENT + 1);
    if (width > 0) height = int32_t(std::min<int64_t>(height, MAX_PIXELS / width));

    Polygon p{};
    p.entry = entry;
    p.width = width;
    p.height = height;
    // Bit i of each selector folds that coordinate of vertex i near the
    // raster; bit 7 of the first makes the polygon a quad, bit 6 a lit one
    // watertight.
    const uint8_t near_x = in.byte();
    const uint8_t near_y = in.byte();
    p.n = (near_x & 0x80) != 0 ? 4 : 3;
    p.watertight = (near_x & 0x40) != 0;
    for (int32_t i = 0; i < p.n; ++i) {
        p.vertices[i].x = coordinate(in.i32(), (near_x >> i) & 1, width);
        p.vertices[i].y = coordinate(in.i32(), (near_y >> i) & 1, height);
        p.vertices[i].z = in.i32();
        p.colours[i] = colour(in);
        p.uvs[i].u = in.i32();
        p.uvs[i].v = in.i32();
    }
    p.surface = colour(in);
    p.flat_colour = in.u16();
    p.shade_mode = in.byte() % SHADE_MODE_COUNT;
    p.texture = texture_slot(in);
    const bool textured = entry == TEXTURED || entry == ADDITIVE_TEXTURED ||
                          entry == HALF_TEXTURED || entry == LIT_TEXTURED;
    if (textured) load_case_texture(in);

    // The page: exactly width x height pixels, filled with one value.
    const uint16_t background = in.u16();
    uint16_t* page = new_page(width, height, background);
    set_screen_geometry(width, height, width > 0 && height > 0 ? page : nullptr);
    bind_raster_target();
    draw(entry, p);
    set_screen_geometry(0, 0, nullptr);
    bind_raster_target();
    check_page(p, page, width, height, background);
    std::free(page);
    return 0;
}
