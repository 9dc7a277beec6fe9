// Inflation: the I key turns a flat sheet of the figure into a closed, rounded
// body, about as thick as the outline is wide at each place.
//
// The shell plans, then adopts or refuses: the body is built from the region
// the sheet was filled from and the sheet's relief by the stages of
// geometry/inflate_region.h, as a part of the figure; the figure's record
// (app/edited_object.h) puts it in the sheet's place, or refuses it when it
// does not fit.
#pragma once

#include <cstdint>

#include "app/edited_object.h"

// The body planned from sheet part `part` of the figure: the part with a
// body's mesh (its shell: the rim and the front first, then the back) in
// place of the sheet's, the same colour, shading, placement and region.
// False (and *body left as it was) for no such sheet, a sheet without
// triangles, or when nothing of its region can be inflated.
bool plan_body(int32_t part, FigurePart* body);
