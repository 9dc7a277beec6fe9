// The sine and cosine tables that replace trigonometric functions at run time
// (the number formats are in base/fixed_point.h).
#pragma once

#include <cstdint>

#include "base/fixed_point.h"

// Allocates and fills the sine and cosine tables, then the matrix stack.
// Called once at start-up (a second call first frees the first one's blocks).
// 0 on success; -1 after the allocator's message, with nothing left allocated.
int init_trig_tables();
// Frees the matrix stack, the sine table and the cosine table. Called once at
// shut-down; safe when nothing was allocated.
void free_trig_tables();

// Table entries at angle & 0x3FF: any angle is accepted. 0 before
// init_trig_tables.
int32_t fixed_sin(int32_t angle);
int32_t fixed_cos(int32_t angle);

// The raw tables (1024 entries each) for callers that index them directly
// with an angle already in 0..1023; null before init_trig_tables.
const int32_t* sine_table();
const int32_t* cosine_table();
