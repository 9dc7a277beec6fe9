// The sine and cosine tables that replace trigonometric functions at run time
// (the number formats are in base/fixed_point.h).
#pragma once

#include <cstdint>

#include "base/fixed_point.h"

// Allocates and fills the sine and cosine tables; part of the start-up step
// init_trig_tables (geometry/matrix.h), which also allocates the matrix
// stack. A second call first frees the first one's blocks. 0 on success; -1
// after the allocator's message, with nothing left allocated.
int init_sine_cosine_tables();
// Frees both tables; safe when nothing was allocated.
void free_sine_cosine_tables();

// Table entries at angle & 0x3FF: any angle is accepted. 0 before the tables
// are filled.
int32_t fixed_sin(int32_t angle);
int32_t fixed_cos(int32_t angle);

// The raw tables (1024 entries each) for callers that index them directly
// with an angle already in 0..1023; null before the tables are filled.
const int32_t* sine_table();
const int32_t* cosine_table();
