// A part of a figure as plain data, the mesh its object is drawn from, and its
// emission into the render list: the part's vertices, triangles and normals
// emitted as one lit object, and its vertices written back in place after
// they moved.
//
// The mesh is what the pools and packets of the part's object hold, kept
// apart from them: a build or an inflation makes it, the shell keeps it with
// the part (app/edited_object.h), and every emission writes it out again, so
// that nothing is ever read back out of the packets.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/assemble_body_shell.h"
#include "raster/packet.h"

struct PartMesh {
    // Model positions in whole units, each as its vertex pool record holds it.
    std::vector<Vec4> vertices;
    // A closed body's positions in fine units (1/256), which it is modelled
    // and lit from, one per vertex; empty for a sheet.
    std::vector<Vec4> fine;
    // Corners index `vertices`; each triangle turns as the renderer draws it.
    std::vector<MeshTriangle> triangles;
    // Per vertex, as the normal pool holds it (length 1024, w 0).
    std::vector<Vec4> normals;
    // Vertices 0 .. front_count - 1 face the viewer at rotation 0 (all of a
    // sheet's; a body's rim and front surface, its back following them).
    int32_t front_count = 0;
    // How the vertices enter the vertex pool. True: triangle by triangle
    // through add_triangle, equal records found and shared, as the outline
    // build's sheet is emitted; its vertices are pairwise different records
    // in the order the triangles first name them, so that the pool holds
    // them in this order. False: each vertex its own record, in order.
    bool entered_by_triangle = false;
};

// Whether two meshes hold the same records.
bool same_part_mesh(const PartMesh& a, const PartMesh& b);

// A fine position rounded to whole model units (halves up).
Vec4 round_fine_position(const Vec4& fine);

// A closed body as a part's mesh: its fine positions, the whole-unit
// positions rounded from them, its triangles and front count, and the
// normals body_normals gives them.
PartMesh body_part_mesh(const BodyShell& body);
// The same, drawn at the whole-unit positions given (one per vertex), as
// register_body chooses them, in place of the rounded ones.
PartMesh body_part_mesh(const BodyShell& body, std::vector<Vec4> whole);

// A body's mesh as the shell it was made from: its fine positions, triangles
// and front count, each front vertex's twin from the layout (the rim, then
// the rest of the front, then their twins behind in the front's order). Empty
// (no vertex) for a sheet or a mesh without that layout.
BodyShell part_body_shell(const PartMesh& mesh);

// The normals again after the vertices moved: a body's from its fine
// positions (body_normals), a sheet's from its whole-unit ones as
// compute_object_normals lays them (mesh_vertex_normals). Allocates nothing
// once the working storage has grown to the mesh's size.
void refresh_part_normals(PartMesh* mesh);

// What the part takes in a render list: its header packet and its triangles'
// packets, and its vertices (each with a normal at its index).
struct PartRoom {
    int64_t packet_bytes;
    int64_t vertices;
};
PartRoom part_room(const PartMesh& mesh);

// Emits the mesh as a new object (create_object, two parts' room) into the
// current render list, after what it holds: one lit part over the mesh's
// vertices, which enter the vertex pool as entered_by_triangle says, their
// normals laid at their indices (set_object_normals) and a body's fine
// positions beside them (PART_FINE_POSITIONS; zeros for a sheet's where the
// list has fine positions). Every triangle a 48-byte packet of `colour`,
// POLY_CULL (and POLY_WATERTIGHT for a body: closed bodies must not let the
// background through between their faces), shading mode `shading`; the
// colours packed. Needs room for the whole mesh (part_room), which the
// caller checked. Returns the object's index; a negative create_object result
// (after its message), or -1 when the emission failed after all (the object
// is deleted again).
//
// With a skin (a painted part), every triangle is lit and textured instead
// (PRIM_LIT_TEX_TRI, a body's POLY_WATERTIGHT as before) from texture slot
// skin->texture, each corner at its vertex's coordinates, which enter the
// coordinate pool shared where equal. With `tiles` (a slot per triangle, as
// a part painted over several textures is drawn), triangle t is drawn from
// slot (*tiles)[t] instead, and `coords` holds three coordinates a triangle,
// its corners' in order, in place of one per vertex. A skin whose coordinates
// are not that many, whose slots are not one per triangle, or whose distinct
// coordinates do not fit what is left of that pool, is left off: the part is
// drawn in its colour alone.
struct PartSkin {
    int32_t texture;
    const std::vector<TexCoord>* coords;
    const std::vector<int32_t>* tiles = nullptr;
};
int32_t emit_part_object(const PartMesh& mesh, const ColourRecord& colour, int32_t shading,
                         const PartSkin* skin = nullptr);

// After the mesh's vertices moved: their positions, fine positions and
// normals written over the pool records of object `index`, which was
// emitted from a mesh of the same vertices and triangles (its first part's
// first vertex on). Nothing for a missing object; never past the pools.
void store_emitted_vertices(int32_t index, const PartMesh& mesh);
