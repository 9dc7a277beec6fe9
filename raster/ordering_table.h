// Depth bucketing: files every packet of the frame into one of 4096 buckets (larger
// bucket = farther, painted earlier) for the dispatcher to paint; render_frame
// (raster/render_frame.h) runs it.
//
// Bucket heads and packet links are 32-bit references, not pointers, so that the
// packet layout stays the same in a 64-bit build. A reference is
//   0                          no packet (empty bucket, end of a chain);
//   1 .. 0x7FFFFFFF            a packet of the packet area: its byte offset from
//                              first_packet, plus 1;
//   0x80000000 + slot          callback slot `slot` (0..31) of the callback table.
#pragma once

#include <cstdint>

#include "raster/packet.h"
#include "raster/render_state.h"

inline constexpr uint32_t NO_PACKET = 0;
inline constexpr uint32_t CALLBACK_SLOT_REFERENCE = 0x80000000u;

// Reference to a packet of the list's packet area.
inline uint32_t packet_reference(const RenderList* list, const PrimitivePacket* packet) {
    const auto* area = reinterpret_cast<const uint8_t*>(list->first_packet);
    // The area is below 2^31 bytes (its capacity is an int32), so offset + 1 never
    // reaches the slot range.
    return uint32_t(reinterpret_cast<const uint8_t*>(packet) - area) + 1;
}

inline uint32_t callback_slot_reference(int32_t slot) {
    return CALLBACK_SLOT_REFERENCE + uint32_t(slot);
}

inline bool is_callback_slot_reference(uint32_t reference) {
    return (reference & CALLBACK_SLOT_REFERENCE) != 0;
}

// The packet a reference names; null for none, for a slot, or for an offset whose
// packet head would not lie inside the packet area.
inline PrimitivePacket* referenced_packet(const RenderList* list, uint32_t reference) {
    if (reference == NO_PACKET || is_callback_slot_reference(reference)) return nullptr;
    uint32_t offset = reference - 1;
    if (list->packet_capacity < SHORT_PACKET_BYTES ||
        offset > uint32_t(list->packet_capacity - SHORT_PACKET_BYTES))
        return nullptr;
    return reinterpret_cast<PrimitivePacket*>(reinterpret_cast<uint8_t*>(list->first_packet) +
                                              offset);
}

// The callback slot a reference names; null for anything else or before the table exists.
inline CallbackSlot* referenced_slot(uint32_t reference) {
    if (!is_callback_slot_reference(reference)) return nullptr;
    uint32_t slot = reference - CALLBACK_SLOT_REFERENCE;
    CallbackSlot* slots = callback_slots();
    if (slots == nullptr || slot >= uint32_t(CALLBACK_SLOTS)) return nullptr;
    return slots + slot;
}

// Walks the packet chain of `list` from first_packet and links every packet that is
// drawn this frame into the bucket depth_key + depth_bias, at the head; then files the
// callback slots that hold a callback, in slot order, into the bucket of their
// depth_key. Rewrites depth_key (depth modes 1..4) and link of the packets it files.
//
// A packet is not drawn this frame (neither re-keyed nor linked) when it runs
// counter-clockwise on screen with POLY_CULL, when a vertex its depth reads (a
// polygon's corners, a marker's anchor) lies at or behind the eye plane (w = -1, so
// its x and y are not screen positions), or when its bucket lies outside 0..4095.
// Slots whose depth_key lies outside 0..4095 are skipped.
//
// The walk ends at the end word (depth mode 6), and also at a packet whose size is 0,
// not a multiple of 4, or would take it or the fields read from it past the packet
// area; nothing after such a packet is filed.
//
// Expects buckets 1..4095 empty, as draw_ordering_table leaves them; bucket 0 may
// hold anything (it is never painted).
void bucket_packets(RenderList* list);

// Fills callback slot `slot` as a callback packet painted in bucket `depth_key` with
// callback number `callback` (see register_render_callback in dispatcher.h); a
// callback of 0 empties the slot. 0, or -1 for a slot outside 0..31, a depth_key
// outside 0..4095 or no callback table.
int32_t set_callback_slot(int32_t slot, int32_t depth_key, uint32_t callback);
