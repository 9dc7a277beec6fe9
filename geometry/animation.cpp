// Keyframe animation of part angles: the animation table, its list, the
// creator and the per-frame step.
#include "geometry/animation.h"

#include "base/memory.h"
#include "geometry/scene_objects.h"

// An animation lives in the slot of its object's index.
static_assert(MAX_ANIMATIONS == MAX_OBJECTS);

namespace {

struct AnimationState {
    AnimationTrack** table = nullptr;  // MAX_ANIMATIONS slots
    AnimationTrack* list = nullptr;    // in creation order
};

AnimationState state;

void free_keys(AnimationTrack* track) {
    // Counted rather than followed to null: a looping chain has no end.
    AnimationKey* key = track->first_key;
    for (int32_t i = 0; i < track->key_count && key != nullptr; ++i) {
        AnimationKey* next = key->next;
        free_block(key->targets);
        free_block(key);
        key = next;
    }
}

void free_track(AnimationTrack* track) {
    free_keys(track);
    free_block(track->start);
    free_block(track->delta);
    free_block(track);
}

void unlink_animation(AnimationTrack* track) {
    if (state.list == track) {
        state.list = track->next;
        return;
    }
    for (AnimationTrack* a = state.list; a != nullptr; a = a->next) {
        if (a->next == track) {
            a->next = track->next;
            return;
        }
    }
}

void delete_with_object(int32_t index) {
    delete_animation(index);
}

Vec4* alloc_angles(int32_t count) {
    // count <= the object's part capacity, whose records already fit in 32 bits.
    return static_cast<Vec4*>(alloc_zeroed(int32_t(int64_t(count) * sizeof(Vec4))));
}

// Shorter way round: -512 and 512 stay as they are.
int32_t wrap_delta(int32_t delta) {
    if (delta > 512) return delta - ANGLE_STEPS;
    if (delta < -512) return delta + ANGLE_STEPS;
    return delta;
}

// Eased progress t from u in 0..1023; every curve stays within 0..1023.
int32_t ease(int32_t kind, int32_t u) {
    switch (kind) {
        case 1:
            return (((u & 127) * 8) * u) >> 10;
        case 2:
            return (3 * u + 8 * (u & 127)) >> 2;
        case 3:
        case 4:
            return (u * u) >> 10;
        default:
            return u;
    }
}

// Moves to the key after the one just reached, or finishes the animation.
void reach_key(AnimationTrack* a) {
    const AnimationKey* reached = a->current_key;
    AnimationKey* next = reached->next;
    for (int32_t i = 0; i < a->part_count; ++i) {
        a->start[i] = reached->targets[i];
        a->start[i].w = 0;
        if (next != nullptr) {
            a->delta[i].x = wrap_delta(next->targets[i].x - a->start[i].x);
            a->delta[i].y = wrap_delta(next->targets[i].y - a->start[i].y);
            a->delta[i].z = wrap_delta(next->targets[i].z - a->start[i].z);
        } else {
            a->delta[i] = Vec4{};
        }
    }
    a->frame_counter = 0;
    a->current_key = next;
}

void step(AnimationTrack* a) {
    if (a->current_key == nullptr) return;  // finished
    int32_t t = 0;
    if (a->frame_counter >= a->current_key->duration) {
        reach_key(a);
    } else {
        // frame_counter < duration, so u is 0..1023; the product is taken in
        // 64 bits so that long durations cannot wrap it.
        int32_t u = int32_t(int64_t(a->frame_counter) * ANGLE_STEPS / a->current_key->duration);
        t = ease(a->current_key->easing, u);
    }

    // Only parts the object has; a missing object is left alone.
    SceneObject* object = get_object(a->object_index);
    int32_t parts = 0;
    if (object != nullptr)
        parts = a->part_count < object->part_count ? a->part_count : object->part_count;
    for (int32_t i = 0; i < parts; ++i) {
        Vec4& rotation = object->parts[i].rotation;
        const Vec4& s = a->start[i];
        const Vec4& d = a->delta[i];
        // t <= 1023 and |delta| <= 512: the products cannot overflow.
        rotation.x = (((t * d.x) >> 10) + s.x) & ANGLE_MASK;
        rotation.y = (((t * d.y) >> 10) + s.y) & ANGLE_MASK;
        rotation.z = (((t * d.z) >> 10) + s.z) & ANGLE_MASK;
    }
    ++a->frame_counter;
}

}  // namespace

int init_animation_table() {
    if (state.table != nullptr) free_animation_table();
    state.table = static_cast<AnimationTrack**>(
        alloc_zeroed(int32_t(MAX_ANIMATIONS * sizeof(AnimationTrack*))));
    state.list = nullptr;
    return state.table != nullptr ? 0 : -1;
}

void free_animation_table() {
    if (state.table == nullptr) return;
    for (int32_t i = 0; i < MAX_ANIMATIONS; ++i)
        delete_animation(i);
    free_block(state.table);
    state.table = nullptr;
    state.list = nullptr;
}

int32_t create_animation(int32_t object_index, int32_t part_count, int32_t key_count,
                         const AnimationKeySpec* keys, int32_t loop) {
    SceneObject* object = get_object(object_index);
    if (state.table == nullptr || object == nullptr || state.table[object_index] != nullptr)
        return -1;
    if (part_count < 1 || part_count > object->part_capacity) return -1;
    if (key_count < 1 || keys == nullptr) return -1;
    for (int32_t k = 0; k < key_count; ++k)
        if (keys[k].duration < 0 || keys[k].targets == nullptr) return -1;

    auto* track = static_cast<AnimationTrack*>(alloc_zeroed(sizeof(AnimationTrack)));
    if (track == nullptr) return -2;
    track->object_index = object_index;
    track->part_count = part_count;
    track->start = alloc_angles(part_count);
    track->delta = alloc_angles(part_count);
    if (track->start == nullptr || track->delta == nullptr) {
        free_track(track);
        return -2;
    }

    AnimationKey* last = nullptr;
    for (int32_t k = 0; k < key_count; ++k) {
        auto* key = static_cast<AnimationKey*>(alloc_zeroed(sizeof(AnimationKey)));
        Vec4* targets = key != nullptr ? alloc_angles(part_count) : nullptr;
        if (targets == nullptr) {
            free_block(key);
            free_track(track);
            return -2;
        }
        key->duration = keys[k].duration;
        key->easing = keys[k].easing;
        key->targets = targets;
        for (int32_t i = 0; i < part_count; ++i) {
            targets[i].x = keys[k].targets[i].x & ANGLE_MASK;
            targets[i].y = keys[k].targets[i].y & ANGLE_MASK;
            targets[i].z = keys[k].targets[i].z & ANGLE_MASK;
        }
        if (last == nullptr)
            track->first_key = key;
        else
            last->next = key;
        last = key;
        ++track->key_count;
    }
    if (loop != 0) last->next = track->first_key;

    // The first step reaches key 0 at once.
    track->current_key = track->first_key;
    track->frame_counter = track->first_key->duration;

    state.table[object_index] = track;
    if (state.list == nullptr) {
        state.list = track;
    } else {
        AnimationTrack* tail = state.list;
        while (tail->next != nullptr)
            tail = tail->next;
        tail->next = track;
    }
    set_delete_callback(object_index, delete_with_object);
    return object_index;
}

AnimationTrack* get_animation(int32_t index) {
    if (state.table == nullptr || index < 0 || index >= MAX_ANIMATIONS) return nullptr;
    return state.table[index];
}

int32_t delete_animation(int32_t index) {
    AnimationTrack* track = get_animation(index);
    if (track == nullptr) return -1;
    unlink_animation(track);
    set_delete_callback(index, nullptr);
    state.table[index] = nullptr;
    free_track(track);
    return 0;
}

void advance_animations() {
    for (AnimationTrack* a = state.list; a != nullptr; a = a->next)
        step(a);
}
