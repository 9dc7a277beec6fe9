// The tinygltf library compiled into the Windows and browser builds, which have no compiled
// copy of it to link as the host has (app/CMakeLists.txt). Only its glTF binary writer is used.
#define TINYGLTF_IMPLEMENTATION
// Without its file functions the header still names std::ofstream, which it then leaves
// undeclared.
#include <fstream>

#include <tiny_gltf.h>
