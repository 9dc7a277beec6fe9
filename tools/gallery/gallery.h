// The primitive gallery: one frame with every primitive code side by side, drawn
// through the real packet, ordering-table and dispatcher path.
#pragma once

#include <cstdint>

inline constexpr int32_t GALLERY_WIDTH = 320;
inline constexpr int32_t GALLERY_HEIGHT = 240;

// Renders the gallery into `pixels` (GALLERY_WIDTH x GALLERY_HEIGHT 5:5:5
// pixels, row after row), with the texture read from `texture_path` (a PNG or
// BMP of power-of-two size) on the cells that show a loaded file. Builds the
// renderer's tables and buffers for the call and frees them before it
// returns, so it must not run while they are in use. Returns 0, or the texture
// loader's negative result when the file cannot be used (nothing is drawn).
int32_t render_gallery(uint16_t* pixels, const char* texture_path);
