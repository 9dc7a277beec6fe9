// Saves written as numbered files into a folder: sketch3d-NNN.EXT for every file of one save
// (app/platform.h, SaveRequest), the picture as sketch3d-NNN.png, NNN the first number from
// 001 for which no file of any kind a save may write exists yet, so that a save never
// replaces an earlier one or any other file. Every file goes through the output writer
// (platform/common/output_file.h): whole or not at all.
#pragma once

#include <cstdint>
#include <string>

#include "app/platform.h"

inline constexpr const char* SAVE_NAME = "sketch3d";
inline constexpr int32_t MAX_SAVE_NUMBER = 999;

// The common path of save `number`'s files in `folder`, without extension: "sketch3d-007"
// in "." (the current folder), "DIR/sketch3d-007" elsewhere.
std::string numbered_save_path(const std::string& folder, int32_t number);

// Writes the request into `folder` (which must exist). Every file is opened (a temporary
// beside its name) before any is put in place, so that a folder that cannot be written
// leaves nothing. Returns true with "PATH (obj stl glb png txt)" in *report, the kinds
// written; false with the reason: no free number up to MAX_SAVE_NUMBER, or a file that
// could not be written. A build without a PNG encoder saves the other files and says so.
bool save_numbered_files(const std::string& folder, const SaveRequest& request,
                         std::string* report);
