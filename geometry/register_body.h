// A closed body set in depth so that, seen by the camera, it covers the
// pixels it was drawn on, and stays round.
#pragma once

#include <vector>

#include "geometry/assemble_body_shell.h"
#include "geometry/matrix.h"

// The perspective camera sees the near side of a body larger than its rim,
// so a body built straight up from its drawing shows wider than the drawing.
// This stage puts every vertex on the ray from the eye through the pixel its
// place was drawn at; the outline the eye sees is then the rim's, which is
// the drawing's. Along the rays, each vertex's depth comes from the round
// body inscribed in them: where the body is locally a ball or a tube of
// radius R (its section through the vertex touching the region's edge, from
// the vertex's height and its distance to the edge), the section becomes the
// circle that touches both rays through the drawn ends of the section,
// centred on the relief. A disc drawn about the middle of the picture becomes
// the sphere whose outline is the drawn circle: a little smaller than drawn,
// its rim nearer the eye than its middle. A thin part keeps its width and
// depth. Seen obliquely, a section also turns to face the eye; that turn is
// taken smoothly over the whole body (the quadric that fits it best), so
// that a body drawn far from the middle, or the ends of a long one, stay
// round seen from the side and from behind.
//
// Inputs:
//   body     a closed body as assemble_body_shell leaves it: fine units, the
//            model's frame, the rim first, the front then its twins behind,
//            the front's triangles first, and every front vertex and its twin
//            at the model point drawn there
//   field    the distance field of the region the body was built from
//            (inflate_region hands it out)
//   drawing  the matrix under which the model's plane z = 0 lies on the
//            pixels it was drawn on (the part's placement times the camera
//            without its turn)
//   view     the matrix the body is seen through (the part's placement times
//            the camera); both with 9 fraction bits, projected as
//            transform_and_project does (focal length 256 pixels)
// Outputs:
//   the body with the same triangles and counts, each vertex (fine units)
//   on the ray through its drawn point; and per vertex the whole-unit
//   position to draw it at, which the renderer puts on the pixel its place
//   was drawn on, as the renderer samples pixels and rounds (or next to it
//   where no whole unit around it lands there)
// Afterwards: closed and consistently oriented as before, the front's faces
// turned towards the eye and the back's away, each front vertex in front of
// its twin, no vertex nearer the eye than a quarter of its distance to the
// model's plane. Unchanged (rounded) when the eye is not in front of that
// plane or the field is empty.
struct RegisteredBody {
    BodyShell body;
    std::vector<Vec4> whole;
};
RegisteredBody register_body(BodyShell body, const DistanceField& field, const Matrix& drawing,
                             const Matrix& view);

// The mirror image of a registered body, registered as its own: what the
// mirror of a part shows is the mirror image of what the part shows. Each
// vertex keeps its depth and goes on the ray through the reflection (x to
// -x) of the model point it shows on, as register_body sets it; reflecting
// the body itself would not do, since its rays come from an eye on the other
// side of the mirror, and the camera's turn, which the registration undoes,
// would then be doubled.
//
// Inputs:
//   body              a body register_body made (or one pushed since), the
//                     model's frame and layout as register_body leaves them
//   field             the distance field of the reflected region
//   drawing, view     the matrices the body is seen with now
//   mirrored_drawing, mirrored_view
//                     the same for the mirror image's part
// Outputs:
//   the body reflected in x, its faces' corners swapped so that they still
//   face outward, each vertex on its ray; and the whole-unit positions, as
//   register_body gives them. A vertex the source's view does not show keeps
//   its plain reflection; all do when the mirror's eye is not in front of
//   its plane or the field is empty.
RegisteredBody mirror_registered_body(const BodyShell& body, const DistanceField& field,
                                      const Matrix& drawing, const Matrix& view,
                                      const Matrix& mirrored_drawing, const Matrix& mirrored_view);
