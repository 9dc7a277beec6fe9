// Colour strokes: the segments of the palette's pens (app/stroke_history.h),
// which never reach the page the outline's fill reads. Each frame of drawing
// mode shows them over the picture just before it is presented, over the traced
// picture (app/trace_image.h) shown under the drawing, and takes both off again
// afterwards; a build keeps those over its region as the new part's
// painting (app/edited_object.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/edited_object.h"
#include "app/stroke_history.h"

// The 5:5:5 pixel a colour pen (1..7) draws; the black pen's 0.
uint16_t pen_pixel(int32_t pen);

// The remembered colour segments, in the order drawn.
std::vector<StrokeSegment> colour_segments();

// After the picture is drawn, before it is presented: the traced picture under
// the drawing, then every remembered colour segment drawn over the current page
// (a one-pixel line, the end point excluded), the page's shown rows copied
// first. Nothing without either.
void show_colour_strokes();
// After the presentation and the save: the current page as it was before
// show_colour_strokes, so that the page keeps no colour pixel between frames.
void hide_colour_strokes();

// The painting a part built from `region` keeps: the colour segments (client
// pixels) with a pixel inside the region, moved into its frame, and the traced
// picture when one of the region's pixels lies on it; null for neither.
std::shared_ptr<const PartPainting> painting_in_region(
    const std::vector<StrokeSegment>& segments, const RegionMask& region,
    const std::shared_ptr<const TracePicture>& picture = nullptr);
// The painting reflected as its part is (model x to -x); null for null.
std::shared_ptr<const PartPainting> mirrored_painting(
    const std::shared_ptr<const PartPainting>& painting);
