// Start-up and shut-down sequences (start_up and shut_down are declared in
// app/shell.h): every table, buffer and setting the frames need, built in
// one fixed order when the window is created, and freed in another fixed
// order when it is destroyed.
#pragma once

#include <cstdint>

// Testing hook: the packet-area size that the next start_up asks for; 0
// restores the standard PACKET_AREA_BYTES.
void set_packet_area_override(int32_t bytes);
