// Saves written as numbered files into a folder: sketch3d-NNN.EXT for every file of one save
// (app/platform.h, SaveRequest), the picture as sketch3d-NNN.png, NNN the first number from
// 001 for which no file of any kind a save may write exists yet and no other save holds the
// claim (below), so that a save never replaces an earlier one or any other file.
//
// Any number of programs may save into one folder at once: each number is claimed by making
// the hidden file .sketch3d-NNN.claim exclusively, which only one save can do, and every file
// is placed under its name only where nothing has that name yet (platform/common/output_file.h,
// OutputSet), so no two saves share a number and none replaces a file. A program killed while
// it places its files can leave the claim, part of the save and hidden temporaries: that
// number is then skipped by every later save, until the claim is removed by hand.
#pragma once

#include <cstdint>
#include <string>

#include "app/platform.h"

inline constexpr const char* SAVE_NAME = "sketch3d";
inline constexpr int32_t MAX_SAVE_NUMBER = 999;

// The common path of save `number`'s files in `folder`, without extension: "sketch3d-007"
// in "." (the current folder), "DIR/sketch3d-007" elsewhere ("DIR\\sketch3d-007" on Windows,
// every '/' of DIR a '\\' too).
std::string numbered_save_path(const std::string& folder, int32_t number);

// Writes the request into `folder`, made again when missing. Every file is written whole to a
// temporary and synced before the number is claimed and any file placed, and a failure takes
// back what was placed, so that a save lands whole or leaves nothing and its number free (a
// full disk fails before anything is placed). Returns true with "PATH (obj stl glb png txt)"
// in *report, the kinds written; false with the reason: no free number up to
// MAX_SAVE_NUMBER, or a file that could not be written. A build without a PNG encoder saves
// the other files and says so.
bool save_numbered_files(const std::string& folder, const SaveRequest& request,
                         std::string* report);
