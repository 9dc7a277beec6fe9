// Playing a replay script's `image` command (platform/common/script_parser.h), apart from the
// parser so that what only parses scripts needs no shell.
#pragma once

#include <string>

#include "platform/common/script_parser.h"

// The command's file (relative to the script's folder unless it starts with '/') read and
// traced under the drawing (app/trace_image.h). False with "LINE: cannot use image 'FILE':
// reason" when it cannot be.
bool play_image_command(const Script& script, const ScriptCommand& command, std::string* error);
