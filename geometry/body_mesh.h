// Plain records shared by the stages that turn a filled region into a closed
// body (trace, resample, place points, triangulate, mend, solve heights,
// assemble): points in fine units, triangles as vertex triples, the region's
// pixels and their distances to the outside.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/fixed_point.h"

// Fine units: 1/256 of a model unit (8 fraction bits). A body keeps its
// positions in them; the pipeline draws them rounded to whole units.
inline constexpr int32_t FINE_SHIFT = 8;
inline constexpr int32_t FINE_ONE = 1 << FINE_SHIFT;

// A point in the model's plane (x right, y down), fine units.
struct Point2 {
    int32_t x, y;
};

struct MeshTriangle {
    int32_t v[3];
};

// A closed polygon, fine units. Every loop of a region runs so that the region
// lies on the side (-ty, tx) of each edge's direction (tx, ty): outer loops
// have a positive shoelace sum in the model's frame, holes a negative one.
using OutlineLoop = std::vector<Point2>;

// The pixels of a filled region: width x height bytes, row-major, 1 inside.
// Pixel (column, row) is centred on model point (origin_x + column,
// origin_y + row).
struct RegionMask {
    int32_t width = 0;
    int32_t height = 0;
    int32_t origin_x = 0;
    int32_t origin_y = 0;
    std::vector<uint8_t> inside;
};

// Per pixel of a mask, the squared distance in pixels from its centre to the
// centre of the nearest pixel outside the region (pixels beyond the mask are
// outside); 0 outside.
struct DistanceField {
    int32_t width = 0;
    int32_t height = 0;
    int32_t origin_x = 0;
    int32_t origin_y = 0;
    std::vector<int32_t> squared;
};

// The distance (model units) from a point (fine units) to the region's edge,
// read at the nearest pixel: half a pixel less than the distance between pixel
// centres, and 0 outside the region or the field. Inline: the walks across
// the field call it for every step.
inline double edge_distance(const DistanceField& field, double x_fine, double y_fine) {
    // Nearest pixel: round half up, in whole pixels of the field.
    double column = std::floor(x_fine / FINE_ONE - field.origin_x + 0.5);
    double row = std::floor(y_fine / FINE_ONE - field.origin_y + 0.5);
    if (column < 0 || row < 0 || column >= field.width || row >= field.height) return 0;
    int32_t squared = field.squared[size_t(row) * size_t(field.width) + size_t(column)];
    if (squared <= 0) return 0;
    return std::sqrt(double(squared)) - 0.5;
}
