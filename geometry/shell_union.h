// The union of overlapping closed shells as one surface to print: the
// shells' inside sampled on a regular grid and its boundary extracted again,
// one closed, outward, 2-manifold shell per connected group, with no face
// through another.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// One closed shell. Positions are integers in one fixed unit shared by every
// shell (|coordinate| < 2^40, so that exact products fit in 128 bits); each
// triangle turns anticlockwise seen from outside (its right-hand normal
// points out).
struct ClosedShell {
    std::vector<std::array<int64_t, 3>> positions;
    std::vector<std::array<int32_t, 3>> triangles;
};

struct ShellUnion {
    std::vector<std::array<double, 3>> positions;   // the shells' unit
    std::vector<std::array<int32_t, 3>> triangles;  // anticlockwise seen from outside
    int64_t cell = 0;                               // the grid's spacing, the shells' unit
    std::array<int32_t, 3> points = {};             // the grid's points along x, y and z
};

// The grid's cells along the longest side of the shells' common box: a
// figure of a few hundred model units is sampled every 2-3 units.
inline constexpr int32_t UNION_CELLS_ACROSS = 96;

// Inputs:
//   shells        closed, outward shells, overlapping or apart; a point is
//                 inside the union where the shells' triangles wind about it
//                 at least once (so a shell that crosses itself does no harm)
//   cells_across  the grid's cells along the longest side of the common box
// Outputs:
//   the boundary of the union as sampled on the grid's points, each vertex
//   on a grid edge between an inside and an outside point (the edges of the
//   grid's cubes cut into six tetrahedra along their main diagonal), slid
//   along that edge to where the sampled surface crosses it and then
//   smoothed along it
// Afterwards: every directed edge once with its reverse; every vertex has one
// fan of faces about it (2-manifold); each connected group of inside grid
// points gives one shell; no two faces meet but at shared corners and edges,
// since each face lies inside one tetrahedron and each tetrahedron holds at
// most two faces sharing an edge; no face without area. Empty for no
// triangles. The same input gives the same bits on every build: integer
// tests, then double arithmetic in a fixed order without square roots.
ShellUnion union_of_shells(const std::vector<ClosedShell>& shells, int32_t cells_across);
