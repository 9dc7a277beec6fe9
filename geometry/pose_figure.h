// Posing a figure by control points: the figure's parts bent as rigidly as
// possible so that each control point follows its target.
//
// The parts are sampled into one coarse deformation graph (nodes spread
// evenly over every part's surface, linked along each part's surface and
// across the joins between a part and the part it was drawn over). Each node
// carries a rotation and a position; every vertex follows a few nodes of its
// own part with fixed weights, and each control point follows the vertices of
// the triangle it lies on. A solve alternates the best rotation of each node
// for the present positions with the positions that best keep the graph's
// edges as the rotations turn them, while each control point is held to its
// target by a stiff spring. The positions' system depends only on the graph
// and the control points, so it is factorised once per set of control points
// (build_pose_rig); a frame only substitutes back (solve_pose).
//
// Everything is computed in double precision with + - * / and sqrt only, in
// a fixed order, so that native, Windows and WebAssembly builds give the
// same bits.
//
// Figure coordinates: whole model units (as doubles) of the figure, a part's
// model point m at m * scale / FIXED_ONE + (offset_x, 0, depth), the figure
// facing the viewer (rotation 0), the viewer looking along +z.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/part_mesh.h"

inline constexpr int32_t POSE_NO_PART = -1;
inline constexpr int32_t MAX_POSE_HANDLES = 32;

// One part of the figure to pose. `mesh` is read while the rig is built and
// the part's vertices are blended (its `fine` positions when it has them,
// else its whole-unit `vertices`); it must outlive the rig and not change.
// The placement is as the figure places the part; `parent` is the part it
// was drawn over, an earlier one, or POSE_NO_PART.
struct PosePart {
    const PartMesh* mesh;
    int32_t depth;     // model units
    int32_t offset_x;  // model units
    int32_t scale;     // FIXED_ONE = 1.0
    int32_t parent;
};

// A control point: a point of a part's rest surface, on triangle `triangle`
// of its mesh at barycentric coordinates b (of the triangle's corners in
// order; they are used as given, summing to 1 is the caller's business).
struct PoseHandle {
    int32_t part;
    int32_t triangle;
    double b[3];
};

// A vertex's hold on the graph: up to four nodes of its part and their
// weights, summing to 1 (weight 0 for an unused slot). A posed vertex is
// sum of weight * (R_node (rest - node rest) + node position), which is also
// linear blend skinning with one joint per node for an export to use.
inline constexpr int32_t POSE_BIND_NODES = 4;
struct PoseBinding {
    int32_t node[POSE_BIND_NODES];
    double weight[POSE_BIND_NODES];
};

// What build_pose_rig prepares for one set of control points. Plain data; a
// copy is a rig of its own (it points at the parts' meshes, not at them).
struct PoseRig {
    bool valid = false;
    // Per part: its mesh and placement, and where its vertices start in the
    // per-vertex arrays below.
    std::vector<PosePart> parts;
    std::vector<int32_t> part_first_vertex;  // part_count + 1 entries
    // Per vertex of every part in order: the rest position (figure
    // coordinates, 3 per vertex) and its binding to the nodes of its part.
    std::vector<double> rest;
    std::vector<PoseBinding> bindings;
    // The graph: node rest positions (3 per node), and each node's links as
    // compressed rows (link_first has node_count + 1 entries).
    int32_t node_count = 0;
    std::vector<double> node_rest;
    std::vector<int32_t> node_part;
    std::vector<int32_t> link_first;
    std::vector<int32_t> link_node;
    std::vector<double> link_weight;
    // What a solve reads of the rest shape, worked out once: each link's rest
    // offset g_i - g_j (3 per link), each node's spread (the sum of its links'
    // weight * |g_i - g_j|^2, in link order), and per vertex each binding
    // slot's rest offset from its node (3 per slot).
    std::vector<double> link_offset;
    std::vector<double> node_spread;
    std::vector<double> binding_offset;
    // The control points as given and their rest positions (3 each).
    std::vector<PoseHandle> handles;
    std::vector<double> handle_rest;
    // Per control point, its weight on each node it follows, as compressed
    // rows (handle_first has handle count + 1 entries).
    std::vector<int32_t> handle_first;
    std::vector<int32_t> handle_node;
    std::vector<double> handle_weight;
    // The positions' system, factorised: nodes renumbered (`order`: new to
    // old, `rank`: old to new), the diagonal D of L D L^T, and the nonzero
    // entries of its unit lower factor L twice over, each in one contiguous
    // array: by row in rising column order (`row_entries`, row i's from
    // row_first[i] to row_first[i + 1]) for the forward substitution, and by
    // column in falling row order (`column_entries`, likewise) for the back
    // substitution.
    struct FactorEntry {
        double value;
        int32_t at;  // the entry's column in a row, its row in a column
    };
    std::vector<int32_t> order;
    std::vector<int32_t> rank;
    std::vector<double> diagonal;
    std::vector<int32_t> row_first;
    std::vector<FactorEntry> row_entries;
    std::vector<int32_t> column_first;
    std::vector<FactorEntry> column_entries;
};

// Builds the rig for the parts and control points given. Called when the
// set of control points (or the figure) changes, not per frame. The graph's
// nodes and the vertices' bindings depend on the parts alone: rigs of the
// same parts with different control points have the same nodes, so a pose
// state carries over when a point is added or removed. False, with
// the rig left invalid, for bad input (no part, a null mesh or one without triangles, a
// placement scale <= 0, a parent that is not an earlier part, no control
// point or more than MAX_POSE_HANDLES, a control point off its part's
// triangles or with a non-finite coordinate).
bool build_pose_rig(const PosePart* parts, int32_t part_count, const PoseHandle* handles,
                    int32_t handle_count, PoseRig* rig);

// Control point `handle`'s place on the rest surface, figure coordinates.
void rest_handle_position(const PoseRig& rig, int32_t handle, double out[3]);

// A pose: per node its rotation (row-major 3x3) and position (figure
// coordinates). Each solve starts from the last, so a drag warm-starts from
// the previous frame's pose.
struct PoseState {
    std::vector<double> rotation;  // 9 per node
    std::vector<double> position;  // 3 per node
    // Working storage, kept so that a solve allocates nothing once grown.
    std::vector<double> rhs;
};

// The rest pose (every rotation the identity, every node at rest), sized for
// the rig. Called after build_pose_rig, and to go back to the rest shape.
void reset_pose(const PoseRig& rig, PoseState* state);

// A fixed number of iterations (POSE_ITERATIONS) toward the pose that takes
// each control point h to targets[h] (figure coordinates; one per control
// point of the rig, the unmoved ones at their present or rest places), from
// the state's present pose. A target coordinate that is not a number is taken
// as the point's rest one, and targets are held within a million units.
// Deterministic: the same rig, state and targets give the same bits. A state
// not sized for the rig's nodes is reset first (one from a rig of the same
// parts with other control points is kept as it is); nothing for an invalid
// rig.
inline constexpr int32_t POSE_ITERATIONS = 8;
void solve_pose(const PoseRig& rig, const double (*targets)[3], PoseState* state);

// Control point `handle` as the pose carries it, figure coordinates: where
// the posed surface under it lies.
void posed_handle_position(const PoseRig& rig, const PoseState& state, int32_t handle,
                           double out[3]);

// Part `part`'s vertices as the pose carries them, in the part's own model
// space in fine units (1/256, rounded halves up, w as the rest position's),
// one per mesh vertex, replacing `fine_model`'s contents. Allocates nothing
// once the vector has grown to the part's size. Nothing for a part the rig
// does not hold.
void posed_part_positions(const PoseRig& rig, const PoseState& state, int32_t part,
                          std::vector<Vec4>* fine_model);
