// Forgiving outlines: a stroke meant to close an outline often ends a few pixels short of its
// start, and the fill from a click inside it would then run out through the gap and cover
// the whole background. Before the outline build fills, such a gap is closed with the
// segment the line would draw from the stroke's end back to its start, so that the outline's
// own region becomes the sheet.
//
// Only then: the fill from the click must reach the page's edge (tried on a copy of the
// page), and a stroke of those that can still be taken back must end 1 to MAX_OUTLINE_GAP
// pixels from its own start with the click inside the polygon its points make, closed. An
// outline closed exactly, a stroke ending farther away and a click outside every outline
// leave the page as it was.
#pragma once

#include <cstdint>

inline constexpr int32_t MAX_OUTLINE_GAP = 12;  // pixels between a stroke's end and its start

// Closes the gaps of the strokes around client pixel (x, y) of the current page when the
// fill from there would leak to the page's edge. Returns the gaps closed.
int32_t close_outline_gaps(int32_t x, int32_t y);
