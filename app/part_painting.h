// A part's painting as plain data, shared by the figure's parts
// (app/edited_object.h) and the textures made from it (app/part_texture.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "raster/packet.h"

// A part's painting: the colour strokes drawn over its outline before the
// build that touch its region, each a one-pixel line from (x0, y0) to
// (x1, y1) in the region's frame (model points, as the region's pixels are),
// the end point excluded, in the order drawn. Reflected with its part.
struct PaintSegment {
    int32_t x0, y0, x1, y1;
    ColourRecord colour;
};
// A picture traced under the drawing (app/trace_image.h), in model points:
// pixel (c, r) is model point (x + c, y + r). Shared by the parts built over
// it and the session's undo steps.
struct TracePicture {
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;
    std::vector<uint16_t> pixels;  // 5:5:5, row after row
};
// The picture, when the part was built over one, gives the colours under the
// segments wherever it covers the part; a reflected part reads it at -x.
struct PartPainting {
    std::vector<PaintSegment> segments;
    std::shared_ptr<const TracePicture> picture;
    bool picture_mirrored = false;
};
