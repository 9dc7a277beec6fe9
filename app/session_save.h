// Saving what the window shows: the figure's meshes, the picture and the
// session so far as a replay script that rebuilds exactly that picture, handed
// to the platform as one save (platform_save, app/platform.h).
#pragma once

#include <cstdint>
#include <string>

// The window's background, where the client area shows no page: its last row.
inline constexpr uint16_t WINDOW_BACKGROUND_PIXEL = 0x7FFF;

// The animated figure's file of a save: NAME.animation.glb.
inline constexpr const char* ANIMATION_SAVE_EXTENSION = "animation.glb";

// Saves, between frames or after a frame's presentation (the current page is
// then the picture shown): the figure (every part) as OBJ, STL and GLB (where the
// build has a GLB writer; none with an empty figure or one without a
// face), the recorded loop as an animated GLB (morph targets, 25 samples a
// second over one period, app/animate.h; none without a loop or a GLB
// writer), the client area as shown as PNG (its last row the white background),
// and the recorded session as a script (none once the recording met its
// limit: *report then says so). The script gets a comment naming the save.
// True with where the files went in *report; false with why not.
bool save_session(std::string* report);

// A picture (width x height 5:5:5 pixels, row after row from the top) as an uncompressed
// 24-bit BMP file whose reader gives the same pixels back: how a build that reads BMP only
// saves a traced picture. False, *bmp empty, for a size the picture reader refuses.
bool encode_pixels_bmp(const uint16_t* pixels, int32_t width, int32_t height, std::string* bmp);
