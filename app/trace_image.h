// A picture traced under the drawing: an image the user starts from, fitted to the window,
// shown faded under the strokes in drawing mode, and taken by a part built over it as its
// painting (app/part_painting.h) inside its region.
//
// The picture is part of the session: the first one may be given at start-up (the
// programs' --image), later ones replace it (the page's "Open image"), each an undo step,
// and each is recorded as an `image NAME` line and saved beside the session, so that a
// replay or a reopened session shows the same pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/part_painting.h"
#include "raster/picture_file.h"

// Inputs: a decoded image (width x height texels) and the screen's size. Output: the image
// fitted to the screen, its aspect kept (the longer way across the screen, the other side
// rounded to the nearest pixel, at least one) and centred, each screen pixel the average of
// the image's texels over it (the nearest texel where the image is the smaller), channel by
// channel, rounded to nearest. A picture of exactly the fitted size comes back unchanged, so
// that a saved picture read again is the same.
TracePicture fit_trace_picture(const DecodedImage& image, int32_t screen_width,
                               int32_t screen_height);

// The session's picture (null without one), and every picture the session has loaded, in
// order, which a save writes beside its script.
const std::shared_ptr<const TracePicture>& trace_picture();
const std::vector<std::shared_ptr<const TracePicture>>& session_trace_pictures();

// Start-up: no picture, none loaded.
void reset_trace_image();

// A decoded image becomes the session's picture, fitted to the screen, and is recorded as
// `image NAME` (NAME as the script that replays it names the file). Before the first frame
// it is the session's first state; after that it waits for the next frame, where it is an
// undo step (apply_waiting_trace_image). False after the allocator's message, nothing
// changed. Called after start-up.
bool load_trace_image(const DecodedImage& image, const std::string& name);

// The page's "Open image": the file's bytes (a PNG or BMP) read as load_trace_image takes
// them, named image-K.png in the session's recording (K counting the session's pictures).
// Returns 0, or a TEXTURE_ERROR_* code (picture_error_text) with nothing changed.
int32_t open_trace_image(const uint8_t* bytes, int64_t size);

// In each frame's input: a picture loaded since the last frame becomes the session's (the
// frame makes it an undo step of its own, app/undo_history.h). From the first call on, a
// load waits for the next frame.
bool trace_image_waiting();
void apply_waiting_trace_image();

// Undo and redo: the picture of a kept state back.
void restore_trace_picture(const std::shared_ptr<const TracePicture>& picture);

// Drawing mode, before the presentation: every pixel of the page (width x height, the
// screen's) that shows the background colour `background` and lies on the picture shows the
// picture's pixel instead, blended halfway toward the background. Never black, so it is
// never taken for an outline. Nothing without a picture.
void show_trace_picture(uint16_t* pixels, int32_t width, int32_t height, uint16_t background);
