// How well a body's front picture right after I covers the region it was
// drawn as: a whole headless session (the region's outline drawn on the page,
// the right-click, I, one frame) read back pixel by pixel.
#pragma once

#include <cstdint>

#include "geometry/body_mesh.h"

// The stroke drawn around a region is a pixel wide: a pixel of the picture
// next to the region is not outside it, nor is a pixel of the region next to
// the outside uncovered.
struct FrontFit {
    bool built = false;          // the sheet was built and inflated into a body
    double outside = 0;          // share of the picture more than a pixel outside the region
    double uncovered = 0;        // share of the region more than a pixel inside it, not drawn
    double centroid_offset = 0;  // pixels between the picture's centroid and the region's
    bool corners_clear = false;  // the screen's four corners show the background
    int32_t nearest_depth = 0;   // the view depth of the body's vertex nearest the eye
};

// The region is a screen-sized mask (pixel (c, r) at model point (c - 257,
// r - 241), as outline_mask makes it); the outline is drawn as the pixels
// just outside it, so that the fill leaves the mask's pixels, and the
// right-click lands on the inside pixel nearest the region's centroid. Needs
// no session open; opens and closes its own. `mirrored`: the body's mirror
// (M) alone instead, its source taken away (Backspace), against the mirrored
// region.
FrontFit measure_front_picture(const RegionMask& region, bool mirrored = false);
