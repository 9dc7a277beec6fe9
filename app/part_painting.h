// A part's painting as plain data, shared by the figure's parts
// (app/edited_object.h) and the textures made from it (app/part_texture.h).
#pragma once

#include <cstdint>
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
struct PartPainting {
    std::vector<PaintSegment> segments;
};
