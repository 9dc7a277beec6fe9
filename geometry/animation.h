// Keyframe animation of part angles: a 32-slot table, one animation per
// object (in the slot of the object's index), stepped once per frame.
//
// An animation moves the rotations of its object's first part_count parts
// from one key's target angles to the next key's, over the next key's
// duration in frames, along the next key's easing curve. Each frame the
// progress u = frame * 1024 / duration (0..1023) becomes t by easing kind:
//   0 linear: u
//   1: (((u & 127) * 8) * u) >> 10
//   2: (3 * u + 8 * (u & 127)) >> 2
//   3, 4 quadratic ease-in: (u * u) >> 10
//   any other kind: linear
// and each angle becomes start + ((t * delta) >> 10), masked to 0..1023, with
// delta the shorter way round the circle (-512..512).
#pragma once

#include <cstdint>

#include "geometry/fixed_math.h"

inline constexpr int32_t MAX_ANIMATIONS = 32;

struct AnimationKey {
    int32_t duration;    // frames to reach this key from the previous one
    int32_t easing;      // 0..4; other kinds are linear
    AnimationKey* next;  // null after the last key (or the first key when looping)
    Vec4* targets;       // one angle triple per part, each 0..1023
};

struct AnimationTrack {
    int32_t object_index;       // also the slot of the animation
    int32_t part_count;         // parts driven, from part 0
    int32_t frame_counter;      // frames since the last key was reached
    AnimationKey* current_key;  // the key moved towards; null once finished
    Vec4* start;                // angles of the key last reached, per part
    Vec4* delta;                // angle change towards current_key, per part
    AnimationTrack* next;       // animation list, in creation order
    AnimationKey* first_key;    // owned keys, key_count of them from here
    int32_t key_count;
};

// What create_animation copies into one key: part_count angle triples.
struct AnimationKeySpec {
    int32_t duration;  // frames, 0 or more
    int32_t easing;
    const Vec4* targets;
};

// Start-up: 32 empty slots. 0, or -1 after the allocator's message.
int init_animation_table();
// Shut-down: deletes every animation, then frees the table.
void free_animation_table();

// Creates the animation of object `object_index` over its first part_count
// parts (1 .. the object's part capacity) with key_count keys copied from
// keys (target angles masked to 0..1023). The first step sets the parts to
// key 0's angles; each later key is reached over its duration. Without
// `loop` the animation finishes on the last key: it sets the last key's
// angles once and then leaves the parts alone until it is deleted. With
// `loop` key 0 follows the last key, over key 0's duration. The object's
// delete callback is set to delete the animation with it.
// Returns object_index; -1 for a missing object, an occupied slot or a bad
// argument (no keys, a negative duration, a null target array); -2 after
// the allocator's message.
int32_t create_animation(int32_t object_index, int32_t part_count, int32_t key_count,
                         const AnimationKeySpec* keys, int32_t loop);

// The animation in slot `index`, or null (also outside 0..31).
AnimationTrack* get_animation(int32_t index);
// Removes the animation from the list, clears the delete callback of the
// object with the same index, frees the animation and its keys and empties
// the slot. 0, or -1 when the slot is empty.
int32_t delete_animation(int32_t index);

// Steps every animation on the list once, in list order. Called by the frame
// cycle after the render.
void advance_animations();
