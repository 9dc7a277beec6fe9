// Saving what the window shows: the edited object's meshes, the picture and the
// session so far as a replay script that rebuilds exactly that picture, handed
// to the platform as one save (platform_save, app/platform.h).
#pragma once

#include <cstdint>
#include <string>

// The window's background, where the client area shows no page: its last row.
inline constexpr uint16_t WINDOW_BACKGROUND_PIXEL = 0x7FFF;

// Saves, between frames or after a frame's presentation (the current page is
// then the picture shown): the edited object as OBJ, STL and GLB (where the
// build has a GLB writer; none with nothing edited or an object without a
// face), the client area as shown as PNG (its last row the white background),
// and the recorded session as a script (none once the recording met its
// limit: *report then says so). The script gets a comment naming the save.
// True with where the files went in *report; false with why not.
bool save_session(std::string* report);
