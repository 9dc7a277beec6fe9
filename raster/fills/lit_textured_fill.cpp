// Lit textured fill: texels modulated by per-vertex light through the current shade
// table, for the Gouraud textured, lit, environment-mapped and depth-cued codes.
#include "raster/fills/polygon_pipeline.h"
#include "raster/fills/shaded_fills.h"
#include "raster/fills/textured_fill.h"
#include "raster/shade_tables.h"
#include "raster/texture_loader.h"

namespace {

// Attributes: the light's r, g, b, then u and v.
constexpr int LIGHT_TEXTURE_ATTRIBUTES = 5;
using LitTexturedEntry = ClipEntry<LIGHT_TEXTURE_ATTRIBUTES>;
using LitTexturedSide = Side<LIGHT_TEXTURE_ATTRIBUTES>;

struct LitTexturedSpan {
    const uint8_t* table;  // 32 rows (light level) of 32 columns (texel component)
    const uint16_t* texels;
    int32_t width_shift, height_shift;

    void operator()(uint16_t* row, int32_t start, int32_t count, const LitTexturedSide& left,
                    const LitTexturedSide& right) const {
        // Light with 7 fraction bits, as the Gouraud span: bits 10..14 of a
        // component of 0..255 are its 5-bit level.
        int32_t light[3], light_step[3];
        for (int k = 0; k < 3; ++k) {
            light[k] = left.q[k] >> 1;
            light_step[k] = ((right.q[k] - left.q[k]) >> 1) / count;
        }
        TexelRun run = start_texel_run(left.q[3], left.q[4], right.q[3], right.q[4], count,
                                       width_shift, height_shift);
        uint16_t* pixel = row + start;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t texel = texels[texel_index(run.u, run.v)];
            // Row = light level, column = texel component.
            pixel[i] =
                shaded_pixel(table, light, (texel >> 10) & 31, (texel >> 5) & 31, texel & 31);
            for (int k = 0; k < 3; ++k) {
                light[k] += light_step[k];
            }
            run.u += run.du;
            run.v += run.dv;
        }
    }
};

}  // namespace

void fill_lit_textured_polygon(const ScreenVertex* const* vertices,
                               const ColourRecord* const* lights, const TexCoord* const* uvs,
                               int32_t texture, int32_t n) {
    if (current_shade_table == nullptr || n < 1 || n > MAX_POLYGON_VERTICES) return;
    // Only a loaded slot with shifts in 0..8 is drawn: masked coordinates then
    // address inside its texels whatever u and v are.
    const Texture* record = loaded_texture(texture);
    if (record == nullptr) return;
    LitTexturedEntry entries[MAX_POLYGON_VERTICES];
    for (int32_t i = 0; i < n; ++i) {
        entries[i] = {vertices[i]->x,
                      vertices[i]->y,
                      {lights[i]->r, lights[i]->g, lights[i]->b, uvs[i]->u, uvs[i]->v}};
    }
    set_texel_addressing(record->width_shift, record->height_shift);
    fill_polygon(entries, n,
                 LitTexturedSpan{current_shade_table->entry, record->texels, record->width_shift,
                                 record->height_shift});
}

void draw_lit_textured_triangle(const ScreenVertex* vert0, const ScreenVertex* vert1,
                                const ScreenVertex* vert2, const ColourRecord* light0,
                                const ColourRecord* light1, const ColourRecord* light2,
                                const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                                int32_t texture, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2};
    const ColourRecord* lights[] = {light0, light1, light2};
    const TexCoord* uvs[] = {uv0, uv1, uv2};
    if (!polygon_has_height(vertices, 3)) return;
    select_shade_table(shade_mode);
    fill_lit_textured_polygon(vertices, lights, uvs, texture, 3);
}

void draw_lit_textured_quad(const ScreenVertex* vert0, const ScreenVertex* vert1,
                            const ScreenVertex* vert2, const ScreenVertex* vert3,
                            const ColourRecord* light0, const ColourRecord* light1,
                            const ColourRecord* light2, const ColourRecord* light3,
                            const TexCoord* uv0, const TexCoord* uv1, const TexCoord* uv2,
                            const TexCoord* uv3, int32_t texture, int32_t shade_mode) {
    const ScreenVertex* vertices[] = {vert0, vert1, vert2, vert3};
    const ColourRecord* lights[] = {light0, light1, light2, light3};
    const TexCoord* uvs[] = {uv0, uv1, uv2, uv3};
    if (!polygon_has_height(vertices, 4)) return;
    select_shade_table(shade_mode);
    fill_lit_textured_polygon(vertices, lights, uvs, texture, 4);
}
