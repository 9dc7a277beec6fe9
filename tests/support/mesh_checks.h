// What tests ask of a closed triangle mesh: closed and oriented, its pieces
// and their volumes, and whether any face passes through another.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct ShellCheck {
    bool closed = false;  // every directed edge once, with its reverse
    int32_t components = 0;
    double smallest_volume = 0;  // the least of the pieces' enclosed volumes
    double volume = 0;           // the whole's
};

ShellCheck check_shells(const std::vector<std::array<double, 3>>& positions,
                        const std::vector<std::array<int32_t, 3>>& triangles);

// The pairs of faces with no corner in common of which one has an edge that
// passes through the other's inside (touching does not count), found through
// a grid of buckets `bucket` wide.
int32_t crossing_face_pairs(const std::vector<std::array<double, 3>>& positions,
                            const std::vector<std::array<int32_t, 3>>& triangles, double bucket);
