// Smooth vertex normals of a body from its fine positions.
#pragma once

#include "geometry/body_mesh.h"

// std::lround for |v| < 2^31 without its library call: the integer part by
// truncation, then a step away from zero when the fraction is a half or more.
// The fraction v - t is exact (v and t agree in sign and |t| >= |v| / 2 unless
// it is 0), so the result is lround's to the bit.
inline int32_t round_half_away(double v) {
    auto t = int32_t(v);
    const double fraction = v - double(t);
    if (fraction >= 0.5) {
        ++t;
    } else if (fraction <= -0.5) {
        --t;
    }
    return t;
}

// Inputs:
//   vertices   #V positions (fine units)
//   triangles  #F triangles over them
//   front_count  vertices below it face the viewer at rotation 0
// Outputs:
//   per vertex the sum of the cross products (b - a) x (c - a) of its
//   triangles (twice their areas times their normals, the renderer's
//   handedness), scaled once to length 1024
// Afterwards: no normal is zero: a vertex whose sum vanishes takes its largest
// triangle's normal, and one with none (or only flat ones) the direction it
// faces at rotation 0, (0, 0, 1024) in front and (0, 0, -1024) behind. The
// same input gives the same bits on every build.
std::vector<Vec4> body_normals(const std::vector<Vec4>& vertices,
                               const std::vector<MeshTriangle>& triangles, int32_t front_count);
// The same written into *normals (resized to #V), reusing working storage kept
// between calls: a push repeated every frame allocates nothing once it has
// grown to the body's size.
void body_normals_in_place(const std::vector<Vec4>& vertices,
                           const std::vector<MeshTriangle>& triangles, int32_t front_count,
                           std::vector<Vec4>* normals);
