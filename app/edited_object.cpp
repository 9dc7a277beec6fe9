// The record of the figure being edited, its writers, and the emission of the
// render list from it.
#include "app/edited_object.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/part_blend.h"
#include "app/part_room.h"
#include "app/part_texture.h"
#include "app/view_zoom.h"
#include "base/memory.h"
#include "base/messages.h"
#include "geometry/render_list.h"
#include "raster/texture_loader.h"

namespace {

// What went into a part's blend: a mesh by identity (held weakly, so that
// only the figure keeps it; a mesh edited in place drops every blend made
// with it, edit_part_mesh), the rest by value.
struct BlendInput {
    std::weak_ptr<const PartMesh> mesh;
    PartPlacement placement = UNPLACED;
    int32_t kind = EDITED_NONE;
    bool behind = false;
};

BlendInput blend_input(const FigurePart& part) {
    return {part.mesh, part.placement, part.kind, part.behind};
}

bool same_mesh(const std::weak_ptr<const PartMesh>& a, const std::weak_ptr<const PartMesh>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

bool same_input(const BlendInput& a, const BlendInput& b) {
    return same_mesh(a.mesh, b.mesh) && a.placement == b.placement && a.kind == b.kind &&
           a.behind == b.behind;
}

// A part's blend kept from the last emission, and what it was made from:
// the part itself and the partners whose joins it has taken, in order. A
// blend whose inputs all still hold is used again; one whose partners are
// the first of the part's present partners goes on with the rest (a part
// added blends only its own joins).
struct KeptBlend {
    bool refine = false;
    int32_t eye = 0;
    BlendInput self;
    int32_t partner_count = 0;
    BlendInput partners[MAX_FIGURE_PARTS];
    std::shared_ptr<PartMesh> mesh;  // null: nothing kept
    // The mesh after each join but the last (its normals left as they were): a blend
    // whose last joins went (a part drawn over this one removed or taken back) goes on
    // from the one before them instead of being made again.
    std::shared_ptr<const PartMesh> joined[MAX_FIGURE_PARTS];
};

// What went into a part's cut: a blend (or a part's own mesh) by identity,
// held weakly as a blend's inputs are, and where it sits.
struct CutInput {
    std::weak_ptr<const PartMesh> mesh;
    RayPlacement placement = {};
};

bool same_cut_input(const CutInput& a, const CutInput& b) {
    return same_mesh(a.mesh, b.mesh) && a.placement.depth == b.placement.depth &&
           a.placement.offset_x == b.placement.offset_x && a.placement.scale == b.placement.scale &&
           a.placement.eye == b.placement.eye;
}

// A part's cut kept from the last emission with what it was made from: the
// part's blend and each partner's, in the order they cut it. Used again while
// they all still hold; a blend changed in place drops every cut that read it
// (drop_cuts_with), which keeps only the mesh: the part is drawn from it
// until the next emission.
struct KeptCut {
    bool made = false;  // false: nothing kept to be used again
    CutInput self;
    int32_t partner_count = 0;
    CutInput partners[MAX_BLEND_PARTNERS];
    int32_t own[4] = {};                  // where the part's blend lies
    CutField fields[MAX_BLEND_PARTNERS];  // what the cut read of each partner
    std::shared_ptr<PartMesh> mesh;       // null: the blend is drawn uncut
};

bool same_field(const RayDepthField& a, const RayDepthField& b) {
    return a.x0 == b.x0 && a.y0 == b.y0 && a.width == b.width && a.height == b.height &&
           a.depth.size() == b.depth.size() &&
           std::memcmp(a.depth.data(), b.depth.data(), a.depth.size() * sizeof(double)) == 0;
}

bool same_cut_field(const CutField& a, const CutField& b) {
    return a.read == b.read && a.band == b.band && std::equal(a.box, a.box + 4, b.box) &&
           same_field(a.front, b.front) && same_field(a.back, b.back);
}

struct FigureState {
    Figure figure;
    // Where each part was emitted, parallel to figure.parts.
    EditedObject emitted[MAX_FIGURE_PARTS] = {};
    // What each part was drawn from at the last emission: the blended copy
    // of a part that meets another (app/part_blend.h), and null for one drawn
    // from its own mesh. A push writes a blended copy over in place, so that
    // what holds it weakly (the mark, app/part_mark.h) knows it again.
    std::shared_ptr<PartMesh> drawn[MAX_FIGURE_PARTS];
    // Each part's blend as the last emission made it (derived data).
    KeptBlend kept[MAX_FIGURE_PARTS];
    // Each part's cut as it was last made (derived data), kept through a
    // pose or an export that emits the figure whole. Unless the figure was
    // emitted whole, its mesh is what the blend in `drawn` was emitted as
    // (emitted_cut): the blend with what lies inside its partners cut away
    // (cut_part_mesh), its vertices beginning with the blend's own.
    KeptCut kept_cut[MAX_FIGURE_PARTS];
    // The figure emitted whole, nothing cut: while a pose is drawn (a part
    // moved away from another would open what was cut), and for an export
    // (closed shells) until the next frame.
    bool posed = false;
    bool exporting = false;
    bool emitted_whole = false;
    // The last emission drew every part from its own mesh: the blends did
    // not fit the buffers.
    bool unblended = false;
    // Scratch of store_part_vertices: a moved part's blend and cut made
    // again, their buffers kept from one move to the next.
    PartMesh moved_blend;
    PartMesh moved_cut;
};

FigureState state;
const RegionMask NO_REGION = {};

bool same_region(const RegionMask& a, const RegionMask& b) {
    return a.width == b.width && a.height == b.height && a.origin_x == b.origin_x &&
           a.origin_y == b.origin_y && a.inside == b.inside;
}

bool same_painting(const PartPainting& a, const PartPainting& b) {
    if (a.segments.size() != b.segments.size() || a.picture != b.picture ||
        a.picture_mirrored != b.picture_mirrored)
        return false;
    for (size_t i = 0; i < a.segments.size(); ++i) {
        const PaintSegment& p = a.segments[i];
        const PaintSegment& q = b.segments[i];
        if (p.x0 != q.x0 || p.y0 != q.y0 || p.x1 != q.x1 || p.y1 != q.y1 ||
            p.colour.r != q.colour.r || p.colour.g != q.colour.g || p.colour.b != q.colour.b ||
            p.colour.spare != q.colour.spare)
            return false;
    }
    return true;
}

// Shared records: the same one, or both present and equal.
template <typename Record, typename Same>
bool same_shared(const std::shared_ptr<const Record>& a, const std::shared_ptr<const Record>& b,
                 Same same) {
    if (a == b) return true;
    return a != nullptr && b != nullptr && same(*a, *b);
}

bool valid_part(const Figure& f, int32_t part) {
    return part >= 0 && part < f.part_count;
}

// The part holding the figure's rotation: the edited one, or the first.
int32_t rotation_holder(const Figure& f) {
    return f.edited != NO_PART ? f.edited : 0;
}

// Whether the figure is emitted into the body buffers: once they are in place
// (the first body or the second part put them there, and only a discard puts
// the start-up buffers back), and for anything but a single sheet being
// edited.
bool needs_body_buffers(const Figure& f) {
    if (fine_vertex_base() != nullptr) return true;
    if (f.part_count > 1 || (f.part_count == 1 && f.edited == NO_PART)) return true;
    for (int32_t i = 0; i < f.part_count; ++i)
        if (f.parts[i].kind == EDITED_BODY) return true;
    return false;
}

// The room of every part of f but `left_out`.
PartRoom room_of_parts(const Figure& f, int32_t left_out) {
    PartRoom room = {0, 0};
    for (int32_t i = 0; i < f.part_count; ++i) {
        if (i == left_out) continue;
        const PartRoom part = part_room(*f.parts[i].mesh);
        room.packet_bytes += part.packet_bytes;
        room.vertices += part.vertices;
    }
    return room;
}

// Makes the buffers `next` is emitted into ready: the body buffers prepared
// when it needs them. False after the allocator's message, nothing changed.
bool ready_buffers(const Figure& next) {
    return !needs_body_buffers(next) || prepare_body_buffers() == 0;
}

BufferCapacity capacity_for(const Figure& next) {
    return needs_body_buffers(next) ? body_buffer_capacity() : list_capacity();
}

// The room check of part `part` of `next` (the one that is new or changed);
// false after the capacity message.
bool part_fits(const Figure& next, int32_t part, bool needs_slot) {
    const char* full = part_room_text(part_room(*next.parts[part].mesh), room_of_parts(next, part),
                                      capacity_for(next), needs_slot);
    if (full == nullptr) return true;
    show_error("%s", full);
    return false;
}

// The part leaves f, its emission with it; editing goes on with the part that
// followed it, or the one before it for the last.
void drop_part(int32_t part) {
    Figure& f = state.figure;
    for (int32_t i = part; i + 1 < f.part_count; ++i) {
        f.parts[i] = std::move(f.parts[i + 1]);
        state.emitted[i] = state.emitted[i + 1];
        state.drawn[i] = std::move(state.drawn[i + 1]);
        state.kept[i] = std::move(state.kept[i + 1]);
        state.kept_cut[i] = std::move(state.kept_cut[i + 1]);
    }
    state.drawn[f.part_count - 1] = nullptr;
    state.kept[f.part_count - 1] = KeptBlend{};
    state.kept_cut[f.part_count - 1] = KeptCut{};
    --f.part_count;
    f.parts[f.part_count] = FigurePart{};
    // The parts drawn over it stay where they are, attached to nothing; those
    // drawn over a later part follow its number down.
    for (int32_t i = part; i < f.part_count; ++i) {
        int32_t& parent = f.parts[i].parent;
        if (parent == part) parent = NO_PART;
        if (parent > part) --parent;
    }
    state.emitted[f.part_count] = NO_EDITED_OBJECT;
    auto after = [&](int32_t edited) {
        if (edited == NO_PART) return NO_PART;
        if (edited > part) return edited - 1;
        if (edited < part) return edited;
        return part < f.part_count ? part : f.part_count - 1;
    };
    f.edited = after(f.edited);
    f.last_edited = f.edited != NO_PART ? f.edited : after(f.last_edited);
}

void blending_parts(const Figure& f, BlendingPart* parts) {
    const int32_t eye = eye_distance();
    for (int32_t i = 0; i < f.part_count; ++i) {
        const FigurePart& p = f.parts[i];
        parts[i] = {p.mesh.get(),
                    {p.placement.depth, p.placement.offset_x, p.placement.scale, eye},
                    p.parent,
                    p.behind,
                    p.kind == EDITED_BODY};
    }
}

// Part `part` of f as drawn_part_mesh makes it, from the blend kept for it
// where that still holds (null when it meets no other part); the kept blend
// brought up to date.
std::shared_ptr<PartMesh> kept_blend(const Figure& f, int32_t part, bool refine) {
    KeptBlend& kept = state.kept[part];
    BlendingPart parts[MAX_FIGURE_PARTS];
    blending_parts(f, parts);
    int32_t partners[MAX_BLEND_PARTNERS];
    const int32_t count = blend_partners(parts, f.part_count, part, partners);
    if (count == 0) {
        kept = KeptBlend{};
        return nullptr;
    }
    const BlendInput self = blend_input(f.parts[part]);
    const int32_t eye = eye_distance();
    // The joins it shares with the kept blend, from the first on.
    int32_t done = 0;
    if (kept.mesh != nullptr && kept.refine == refine && kept.eye == eye &&
        same_input(kept.self, self))
        while (done < kept.partner_count && done < count &&
               same_input(kept.partners[done], blend_input(f.parts[partners[done]])))
            ++done;
    if (done == count && done == kept.partner_count) return kept.mesh;
    std::shared_ptr<const PartMesh> joined[MAX_FIGURE_PARTS];
    for (int32_t j = 0; j < done && j + 1 < kept.partner_count; ++j)
        joined[j] = kept.joined[j];
    PartMesh mesh;
    if (done == 0) {
        mesh = *f.parts[part].mesh;
    } else if (done < kept.partner_count) {
        mesh = *joined[done - 1];
    } else {
        mesh = *kept.mesh;
        joined[done - 1] = std::make_shared<const PartMesh>(mesh);
    }
    for (int32_t j = done; j < count; ++j) {
        blend_join(parts, part, partners[j], refine, &mesh);
        if (j + 1 < count) joined[j] = std::make_shared<const PartMesh>(mesh);
    }
    refresh_part_normals(&mesh);
    kept.refine = refine;
    kept.eye = eye;
    kept.self = self;
    kept.partner_count = count;
    for (int32_t j = 0; j < count; ++j) {
        kept.partners[j] = blend_input(f.parts[partners[j]]);
        kept.joined[j] = j + 1 < count ? std::move(joined[j]) : nullptr;
    }
    for (int32_t j = count; j < MAX_FIGURE_PARTS; ++j)
        kept.joined[j] = nullptr;
    kept.mesh = std::make_shared<PartMesh>(std::move(mesh));
    return kept.mesh;
}

// The figure's parts as the blends read them, and the blends the last
// emission drew (null for a part drawn from its own mesh): what the cuts read.
void drawn_blends(const Figure& f, BlendingPart* parts, const PartMesh** whole) {
    blending_parts(f, parts);
    for (int32_t i = 0; i < f.part_count; ++i)
        whole[i] = state.drawn[i].get();
}

// The kept cut of part `part` brought up to date: its blend in state.drawn
// cut where it lies inside its partners' whole blends (cut_part_mesh), from
// the cut kept for it where that still holds (no mesh when nothing of it is
// cut).
// What it read of a partner unchanged since, over the same box, is taken
// from the kept cut; so is what it read of a partner whose blend was made
// again (a join of its own added or taken away elsewhere) when over that box
// it still reaches the same triangles to the bit (reaches_as_read); any
// other is read again, and the cut kept when the part's blend is the same
// and reads the same bits of every partner.
void kept_cut(const Figure& f, const BlendingPart* parts, const PartMesh* const* whole,
              int32_t part, std::vector<RayPoint>* corners) {
    KeptCut& kept = state.kept_cut[part];
    int32_t partners[MAX_BLEND_PARTNERS];
    const int32_t count = blend_partners(parts, f.part_count, part, partners);
    auto input = [&](int32_t i) {
        CutInput in;
        if (state.drawn[i] != nullptr) {
            in.mesh = state.drawn[i];
        } else {
            in.mesh = f.parts[i].mesh;
        }
        in.placement = parts[i].placement;
        return in;
    };
    const CutInput self = input(part);
    const bool self_kept = kept.made && same_cut_input(kept.self, self);
    int32_t own[4];
    if (self_kept) {
        std::copy(kept.own, kept.own + 4, own);
    } else if (count == 0 || !cut_own_box(parts, whole, part, own)) {
        kept = KeptCut{};
        return;
    }
    const bool own_kept = kept.made && std::equal(own, own + 4, kept.own);
    bool same = self_kept && kept.partner_count == count;
    CutInput now[MAX_BLEND_PARTNERS];
    CutField fields[MAX_BLEND_PARTNERS];
    // The kept reads taken over (moved: the kept cut is written anew below).
    bool taken[MAX_BLEND_PARTNERS] = {};
    for (int32_t j = 0; j < count; ++j) {
        now[j] = input(partners[j]);
        // A partner is read as before where it and the part's box are.
        int32_t k = own_kept ? 0 : kept.partner_count;
        while (k < kept.partner_count && (taken[k] || !same_cut_input(kept.partners[k], now[j])))
            ++k;
        if (k < kept.partner_count) {
            fields[j] = std::move(kept.fields[k]);
            taken[k] = true;
            same = same && k == j;
            continue;
        }
        cut_field_box(parts, whole, part, partners[j], own, &fields[j]);
        // A partner's blend made again (a join of its own elsewhere) often
        // reaches the box as it did: then it reads as it did, to the bit.
        const bool kept_read = j < kept.partner_count && !taken[j];
        if (kept_read && reaches_as_read(parts, whole, partners[j], kept.fields[j],
                                         &corners[partners[j]], &fields[j])) {
            same = same && fields[j].band == kept.fields[j].band;
            continue;
        }
        read_cut_field(parts, whole, partners[j], &fields[j]);
        same = same && kept_read && same_cut_field(fields[j], kept.fields[j]);
    }
    if (!same) {
        PartMesh made;
        kept.mesh = nullptr;
        if (cut_part_with(*state.drawn[part], parts[part].placement, fields, count, &made))
            kept.mesh = std::make_shared<PartMesh>(std::move(made));
    }
    kept.made = true;
    kept.self = self;
    std::copy(own, own + 4, kept.own);
    kept.partner_count = count;
    for (int32_t j = 0; j < MAX_BLEND_PARTNERS; ++j) {
        kept.partners[j] = j < count ? now[j] : CutInput{};
        kept.fields[j] = j < count ? std::move(fields[j]) : CutField{};
    }
}

// Each blend in state.drawn cut where it lies inside its partners' whole
// blends (kept_cut), so that the painter's order finds nothing hidden at the
// seams to draw in front; nothing cut while the figure is to be emitted
// whole.
void cut_drawn_blends(const Figure& f) {
    state.emitted_whole = state.posed || state.exporting;
    if (state.emitted_whole) return;
    BlendingPart parts[MAX_FIGURE_PARTS];
    const PartMesh* whole[MAX_FIGURE_PARTS] = {};
    drawn_blends(f, parts, whole);
    // Each part's corners in ray space, found once for every cut that
    // compares against it.
    std::vector<RayPoint> corners[MAX_FIGURE_PARTS];
    for (int32_t i = 0; i < f.part_count; ++i)
        kept_cut(f, parts, whole, i, corners);
}

// The cut part i was last emitted as; null where it was emitted uncut (its
// blend, or its own mesh, drawn), and for every part of a figure emitted
// whole.
PartMesh* emitted_cut(int32_t i) {
    if (state.emitted_whole || state.drawn[i] == nullptr) return nullptr;
    return state.kept_cut[i].mesh.get();
}

// Part `part`'s cut `old` made again after its blend moved in place: true
// when the new cut keeps the vertex count and triangles it was emitted with
// (it then replaces the old in place), false when the figure must be emitted
// again.
bool recut_part(const Figure& f, int32_t part, PartMesh* old) {
    BlendingPart parts[MAX_FIGURE_PARTS];
    const PartMesh* whole[MAX_FIGURE_PARTS] = {};
    drawn_blends(f, parts, whole);
    PartMesh& made = state.moved_cut;
    if (!cut_part_mesh(parts, f.part_count, part, whole, &made)) return false;
    if (made.vertices.size() != old->vertices.size() ||
        made.triangles.size() != old->triangles.size() ||
        !std::equal(made.triangles.begin(), made.triangles.end(), old->triangles.begin(),
                    [](const MeshTriangle& a, const MeshTriangle& b) {
                        return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2];
                    }))
        return false;
    std::swap(*old, made);
    return true;
}

// What part i is emitted from: its cut blend, its blend, or its own mesh.
const PartMesh& emitted_mesh(const Figure& f, int32_t i) {
    if (const PartMesh* cut = emitted_cut(i); cut != nullptr) return *cut;
    return state.drawn[i] != nullptr ? *state.drawn[i] : *f.parts[i].mesh;
}

// Every kept blend made with `mesh` dropped: it is about to change in place.
void drop_blends_with(const PartMesh* mesh) {
    for (KeptBlend& kept : state.kept) {
        if (kept.mesh == nullptr) continue;
        bool with = kept.self.mesh.lock().get() == mesh;
        for (int32_t j = 0; j < kept.partner_count && !with; ++j)
            with = kept.partners[j].mesh.lock().get() == mesh;
        if (with) kept = KeptBlend{};
    }
}

// Every kept cut that read `mesh` (as its own blend or a partner's) dropped:
// it is about to change in place. The cut itself stays, as the part was
// emitted, until the next emission.
void drop_cuts_with(const PartMesh* mesh) {
    for (KeptCut& kept : state.kept_cut) {
        if (!kept.made) continue;
        bool with = kept.self.mesh.lock().get() == mesh;
        for (int32_t j = 0; j < kept.partner_count && !with; ++j)
            with = kept.partners[j].mesh.lock().get() == mesh;
        if (!with) continue;
        std::shared_ptr<PartMesh> emitted = std::move(kept.mesh);
        kept = KeptCut{};
        kept.mesh = std::move(emitted);
    }
}

// Texture slots of the painted parts' tiles: the last PART_TILE_SLOTS of the
// table, shared by the painted parts in figure order at each emission. A
// slot of the pool holding a texture the parts did not load (one loaded by
// the first free slot once the rest were full) is left alone.
constexpr int32_t PART_TILE_SLOTS = 64;
static_assert(PART_TILE_SLOTS >= MAX_FIGURE_PARTS && PART_TILE_SLOTS <= TEXTURE_SLOTS);
constexpr int32_t FIRST_TILE_SLOT = TEXTURE_SLOTS - PART_TILE_SLOTS;

struct TileSlots {
    bool loaded[PART_TILE_SLOTS] = {};  // loaded by a part's emission, and not unloaded since
    bool used[PART_TILE_SLOTS] = {};    // taken by the emission going on
    int32_t painted_left = 0;           // painted parts of it not yet given their tiles
};
TileSlots tile_slots;

// Starts an emission of figure f: every pool slot free to be taken again.
void begin_tile_slots(const Figure& f) {
    tile_slots.painted_left = 0;
    for (int32_t i = 0; i < f.part_count; ++i)
        if (f.parts[i].painting != nullptr && f.parts[i].region != nullptr)
            ++tile_slots.painted_left;
    for (bool& used : tile_slots.used)
        used = false;
}

// The pool slots the next part may take: those that are empty or its own,
// not yet taken, less one kept for each painted part after it.
int32_t tile_slots_free() {
    int32_t free = 0;
    for (int32_t i = 0; i < PART_TILE_SLOTS; ++i)
        if (!tile_slots.used[i] &&
            (tile_slots.loaded[i] || loaded_texture(FIRST_TILE_SLOT + i) == nullptr))
            ++free;
    return free;
}

// The next slot free to take, taken; -1 when none is.
int32_t take_tile_slot() {
    for (int32_t i = 0; i < PART_TILE_SLOTS; ++i) {
        if (tile_slots.used[i] ||
            (!tile_slots.loaded[i] && loaded_texture(FIRST_TILE_SLOT + i) != nullptr))
            continue;
        tile_slots.used[i] = true;
        return FIRST_TILE_SLOT + i;
    }
    return -1;
}

// A part's slots given back within the emission: it left the figure.
void give_back_tile_slots(const std::vector<int32_t>& slots) {
    for (int32_t slot : slots)
        tile_slots.used[slot - FIRST_TILE_SLOT] = false;
}

// After an emission: the tiles its parts did not take again unloaded.
void release_tile_slots() {
    for (int32_t i = 0; i < PART_TILE_SLOTS; ++i) {
        if (!tile_slots.loaded[i] || tile_slots.used[i]) continue;
        unload_texture(FIRST_TILE_SLOT + i);
        tile_slots.loaded[i] = false;
    }
}

// A painted part's skin for its emission drawn from `drawn`: its tiles (base
// colour and painting) at the finest step the slots left to it and the
// coordinate pool's room allow, each loaded into a slot of the pool, and each
// triangle's tile and corners' coordinates (from their front projection) into
// `tiles` and `coords`. Nothing (coords left empty) for a part without a
// painting, or when its tiles cannot be loaded; the part is then drawn in its
// colour.
PartSkin painted_skin(const FigurePart& part, const PartMesh& drawn, std::vector<int32_t>* tiles,
                      std::vector<TexCoord>* coords) {
    const PartSkin none = {-1, coords, tiles};
    if (part.painting == nullptr || part.region == nullptr) return none;
    const int32_t max_tiles = tile_slots_free() - (tile_slots.painted_left - 1);
    --tile_slots.painted_left;
    const RenderList* list = current_render_list();
    if (max_tiles < 1 || list == nullptr) return none;
    PartTiles plan;
    if (!plan_part_tiles(*part.region, drawn.vertices, drawn.triangles, max_tiles,
                         int64_t(list->uv_capacity) - pool_count(POOL_UV), &plan))
        return none;
    std::vector<int32_t> slot_of_tile;
    for (int32_t tile = 0; tile < plan.tiling.columns * plan.tiling.rows; ++tile) {
        const int32_t slot = take_tile_slot();
        if (slot >= 0) slot_of_tile.push_back(slot);
        const PartTexture texture = make_part_tile(plan.tiling, tile, part.colour, *part.painting);
        if (slot < 0 || load_texture(slot, 1 << texture.width_shift, 1 << texture.height_shift,
                                     texture.texels.data()) < 0) {
            give_back_tile_slots(slot_of_tile);
            return none;
        }
        tile_slots.loaded[slot - FIRST_TILE_SLOT] = true;
    }
    tiles->reserve(plan.triangle_tile.size());
    for (int32_t tile : plan.triangle_tile)
        tiles->push_back(slot_of_tile[size_t(tile)]);
    *coords = std::move(plan.corners);
    return {-1, coords, tiles};
}

}  // namespace

bool painted_part_texture(int32_t part, PartTexture* texture) {
    const Figure& f = state.figure;
    if (part < 0 || part >= f.part_count || f.parts[part].painting == nullptr ||
        f.parts[part].region == nullptr)
        return false;
    *texture = make_part_texture(*f.parts[part].region, f.parts[part].colour,
                                 *f.parts[part].painting, EXPORT_TEXTURE_MAX_SHIFT);
    return true;
}

namespace {

// The render list emitted from the record: the last emission's objects
// deleted, the buffers emptied (the prepared body buffers put in place when
// the figure needs them), and each part emitted in order as a new object
// turned as the figure was. False when a part's object could not be made (the
// part left the figure).
bool emit_figure(const Vec4& rotation) {
    for (EditedObject& part : state.emitted) {
        if (part.index != NO_OBJECT) delete_object(part.index);
        part = NO_EDITED_OBJECT;
    }
    Figure& f = state.figure;
    if (needs_body_buffers(f)) {
        adopt_body_buffers();
    } else {
        reset_frame_pools();
    }
    begin_tile_slots(f);
    bool whole = true;
    // The blends first (each kept from the last emission where its parts
    // have not changed), their edges refined along the joins. A figure whose
    // blends do not fit the buffers is drawn from the parts' own meshes,
    // which the room checks have let in, and says so
    // (figure_drawn_unblended).
    PartRoom room = {0, 0};
    for (int32_t i = 0; i < f.part_count; ++i)
        state.drawn[i] = kept_blend(f, i, true);
    cut_drawn_blends(f);
    for (int32_t i = 0; i < f.part_count; ++i) {
        const PartRoom part = part_room(emitted_mesh(f, i));
        room.packet_bytes += part.packet_bytes;
        room.vertices += part.vertices;
    }
    state.unblended = part_room_text(room, PartRoom{0, 0}, capacity_for(f), false) != nullptr;
    if (state.unblended)
        for (int32_t i = 0; i < MAX_FIGURE_PARTS; ++i)
            state.drawn[i] = nullptr;
    // A part that could not be emitted leaves the figure: the blends of the
    // parts after it, made with it, give way to their own meshes until the
    // next emission.
    bool dropped = false;
    for (int32_t i = 0; i < f.part_count; ++i) {
        const FigurePart& part = f.parts[i];
        if (dropped) state.drawn[i] = nullptr;
        const PartMesh& drawn = emitted_mesh(f, i);
        std::vector<int32_t> tiles;
        std::vector<TexCoord> coords;
        const PartSkin skin = painted_skin(part, drawn, &tiles, &coords);
        const int32_t index =
            emit_part_object(drawn, part.colour, part.shading, coords.empty() ? nullptr : &skin);
        if (index < 0) {
            // Its object could not be made (the message is shown): the part goes.
            give_back_tile_slots(tiles);
            drop_part(i--);
            whole = false;
            dropped = true;
            continue;
        }
        get_object(index)->rotation = rotation;
        const ObjectPart* emitted = get_part(index, 0);
        state.emitted[i] = {index, part.kind, emitted->first_vertex, emitted->vertex_count,
                            drawn.front_count};
    }
    release_tile_slots();
    return whole;
}

// `next` in place of the record, and the render list emitted from it; the
// buffers are ready. emit_figure's answer.
bool commit(Figure next) {
    const Vec4 rotation = figure_rotation();
    state.figure = std::move(next);
    return emit_figure(rotation);
}

// Part `part` of `placed` replaced by `data`, the other parts placed as
// there (only their placements are taken), in place of the record.
bool adopt_replacement(int32_t part, const Figure& placed, FigurePart data) {
    const Figure& f = state.figure;
    if (!valid_part(f, part) || data.mesh == nullptr) return false;
    if (data.region == nullptr) data.region = std::make_shared<const RegionMask>();
    Figure next = f;
    for (int32_t i = 0; i < next.part_count; ++i)
        next.parts[i].placement = placed.parts[i].placement;
    next.parts[part] = std::move(data);
    if (!part_fits(next, part, false) || !ready_buffers(next)) return false;
    return commit(std::move(next));
}

}  // namespace

std::shared_ptr<const PartMesh> drawn_mesh(int32_t part) {
    const Figure& f = state.figure;
    if (!valid_part(f, part)) return nullptr;
    if (state.drawn[part] != nullptr) return state.drawn[part];
    return f.parts[part].mesh;
}

std::shared_ptr<const PartMesh> drawn_cut_mesh(int32_t part) {
    if (!valid_part(state.figure, part) || emitted_cut(part) == nullptr) return nullptr;
    return state.kept_cut[part].mesh;
}

bool cut_part_afresh(const Figure& f, int32_t part, PartMesh* out) {
    if (!valid_part(f, part)) return false;
    BlendingPart parts[MAX_FIGURE_PARTS];
    blending_parts(f, parts);
    PartMesh blends[MAX_FIGURE_PARTS];
    const PartMesh* whole[MAX_FIGURE_PARTS] = {};
    for (int32_t i = 0; i < f.part_count; ++i)
        if (blended_part_mesh(parts, f.part_count, i, true, &blends[i])) whole[i] = &blends[i];
    return cut_part_mesh(parts, f.part_count, part, whole, out);
}

bool figure_drawn_unblended() {
    return state.unblended;
}

bool drawn_part_mesh(const Figure& f, int32_t part, bool refine, PartMesh* out) {
    if (!valid_part(f, part)) return false;
    BlendingPart parts[MAX_FIGURE_PARTS];
    blending_parts(f, parts);
    return blended_part_mesh(parts, f.part_count, part, refine, out);
}

std::shared_ptr<const PartMesh> share_part_mesh(PartMesh mesh) {
    return std::make_shared<PartMesh>(std::move(mesh));
}

bool operator==(const FigurePart& a, const FigurePart& b) {
    return a.kind == b.kind && a.colour.r == b.colour.r && a.colour.g == b.colour.g &&
           a.colour.b == b.colour.b && a.colour.spare == b.colour.spare && a.shading == b.shading &&
           a.placement == b.placement && a.parent == b.parent && a.behind == b.behind &&
           same_shared(a.mesh, b.mesh, same_part_mesh) &&
           same_shared(a.region, b.region, same_region) &&
           same_shared(a.painting, b.painting, same_painting);
}

bool operator==(const Figure& a, const Figure& b) {
    if (a.part_count != b.part_count || a.edited != b.edited || a.last_edited != b.last_edited)
        return false;
    for (int32_t i = 0; i < a.part_count; ++i)
        if (!(a.parts[i] == b.parts[i])) return false;
    return true;
}

const Figure& figure() {
    return state.figure;
}

const EditedObject& edited_object() {
    return part_object(state.figure.edited);
}

const EditedObject& part_object(int32_t part) {
    return valid_part(state.figure, part) ? state.emitted[part] : NO_EDITED_OBJECT;
}

const RegionMask& part_region(int32_t part) {
    const Figure& f = state.figure;
    if (!valid_part(f, part) || f.parts[part].region == nullptr) return NO_REGION;
    return *f.parts[part].region;
}

bool add_figure_part(FigurePart part) {
    const Figure& f = state.figure;
    if (part.mesh == nullptr) return false;
    // Every part is an object of the table: a figure that has as many parts as the table has
    // slots has no room for another, which the user is told as for any table that is full.
    if (f.part_count >= MAX_FIGURE_PARTS) {
        show_error("%s", TEXT_OBJECT_TABLE_FULL);
        return false;
    }
    if (part.region == nullptr) part.region = std::make_shared<const RegionMask>();
    Figure next = f;
    const int32_t added = next.part_count++;
    next.parts[added] = std::move(part);
    next.edited = next.last_edited = added;
    if (!part_fits(next, added, true) || !ready_buffers(next)) return false;
    return commit(std::move(next));
}

bool replacement_fits(int32_t part, const PartMesh& mesh) {
    const Figure& f = state.figure;
    if (!valid_part(f, part)) return false;
    return part_room_text(part_room(mesh), room_of_parts(f, part), capacity_for(f), false) ==
           nullptr;
}

bool replace_figure_part(int32_t part, FigurePart data) {
    return adopt_replacement(part, state.figure, std::move(data));
}

bool replace_figure_part(int32_t part, const Figure& placed) {
    const Figure& f = state.figure;
    if (!valid_part(f, part) || placed.part_count != f.part_count) return false;
    return adopt_replacement(part, placed, placed.parts[part]);
}

bool remove_figure_part(int32_t part) {
    if (!valid_part(state.figure, part)) return false;
    const Vec4 rotation = figure_rotation();
    delete_object(state.emitted[part].index);
    drop_part(part);
    return emit_figure(rotation);
}

bool begin_adding_part() {
    const Figure& f = state.figure;
    if (f.part_count == 0) return false;
    Figure next = f;
    next.edited = NO_PART;
    if (!ready_buffers(next)) return false;
    return commit(std::move(next));
}

bool restore_figure(const Figure& saved) {
    Figure next = saved;
    if (next.part_count < 0 || next.part_count > MAX_FIGURE_PARTS) return false;
    for (int32_t i = 0; i < next.part_count; ++i)
        if (next.parts[i].mesh == nullptr || next.parts[i].region == nullptr) return false;
    // Every part is emitted anew, in the slots the figure's own objects give
    // back and the free ones.
    int32_t slots = free_object_slots();
    for (const EditedObject& part : state.emitted)
        slots += part.index != NO_OBJECT;
    const char* full = slots < next.part_count
                           ? TEXT_OBJECT_TABLE_FULL
                           : part_room_text(room_of_parts(next, NO_PART), PartRoom{0, 0},
                                            capacity_for(next), false);
    if (full != nullptr) {
        show_error("%s", full);
        return false;
    }
    if (!ready_buffers(next)) return false;
    return commit(std::move(next));
}

void edit_figure_part(int32_t part) {
    Figure& f = state.figure;
    f.edited = valid_part(f, part) ? part : NO_PART;
    if (f.edited != NO_PART) f.last_edited = f.edited;
}

void set_part_shading(int32_t part, int32_t mode) {
    Figure& f = state.figure;
    if (!valid_part(f, part)) return;
    if (set_object_shading(state.emitted[part].index, mode) == 0) f.parts[part].shading = mode;
}

bool set_part_colour(int32_t part, const ColourRecord& colour) {
    const Figure& f = state.figure;
    if (!valid_part(f, part)) return false;
    const ColourRecord& now = f.parts[part].colour;
    if (now.r == colour.r && now.g == colour.g && now.b == colour.b && now.spare == colour.spare)
        return false;
    FigurePart data = f.parts[part];
    data.colour = colour;
    return replace_figure_part(part, std::move(data));
}

Vec4 figure_rotation() {
    const Figure& f = state.figure;
    if (f.part_count == 0) return Vec4{0, 0, 0, 0};
    const Vec4* held = get_object_rotation(state.emitted[rotation_holder(f)].index);
    return held != nullptr ? *held : Vec4{0, 0, 0, 0};
}

void set_figure_rotation(const Vec4& rotation) {
    for (int32_t i = 0; i < state.figure.part_count; ++i)
        if (Vec4* held = get_object_rotation(state.emitted[i].index); held != nullptr)
            *held = rotation;
}

PartMesh* edit_part_mesh(int32_t part) {
    Figure& f = state.figure;
    if (!valid_part(f, part) || f.parts[part].mesh == nullptr) return nullptr;
    std::shared_ptr<const PartMesh>& mesh = f.parts[part].mesh;
    // Copied on write: another copy of the figure (a state kept to go back
    // to) keeps the mesh as it was.
    if (mesh.use_count() > 1) mesh = share_part_mesh(*mesh);
    drop_blends_with(mesh.get());
    drop_cuts_with(mesh.get());
    // Every mesh of a part was made a mutable PartMesh (share_part_mesh):
    // the record is const to its readers only.
    return const_cast<PartMesh*>(mesh.get());
}

void store_part_vertices(int32_t part) {
    const Figure& f = state.figure;
    if (!valid_part(f, part)) return;
    // The part blended again against the others as they were emitted (they
    // take the change at the next emission), written over its records when
    // it keeps the vertices and triangles it was emitted with; else the
    // figure is emitted again.
    // A figure drawn unblended stays so until its next emission.
    PartMesh& blended = state.moved_blend;
    PartMesh* was = state.drawn[part].get();
    const bool blends = !state.unblended && drawn_part_mesh(f, part, true, &blended);
    if (!blends && was == nullptr) {
        store_emitted_vertices(state.emitted[part].index, *f.parts[part].mesh);
        return;
    }
    if (blends && was != nullptr && blended.vertices.size() == was->vertices.size() &&
        blended.triangles.size() == was->triangles.size() &&
        std::equal(blended.triangles.begin(), blended.triangles.end(), was->triangles.begin(),
                   [](const MeshTriangle& a, const MeshTriangle& b) {
                       return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2];
                   })) {
        drop_cuts_with(was);
        std::swap(*was, blended);
        // A part emitted cut is cut again, against the others as emitted.
        PartMesh* cut = emitted_cut(part);
        if (cut == nullptr || recut_part(f, part, cut)) {
            store_emitted_vertices(state.emitted[part].index, cut != nullptr ? *cut : *was);
            return;
        }
    }
    emit_figure(figure_rotation());
}

namespace {

// The figure emitted again as it stands, each part's object placed as its
// last one was (place_figure's matrices), so that what reads the objects
// before the next frame places them finds them where they were.
void emit_figure_in_place() {
    const Figure& f = state.figure;
    struct Placed {
        Vec4 rotation, translation, part_translation, scale;
        int32_t flags;
    };
    Placed placed[MAX_FIGURE_PARTS] = {};
    bool known[MAX_FIGURE_PARTS] = {};
    for (int32_t i = 0; i < f.part_count; ++i) {
        const SceneObject* object = get_object(state.emitted[i].index);
        if (object == nullptr || object->part_count < 1) continue;
        const ObjectPart& part = object->parts[0];
        placed[i] = {object->rotation, object->translation, part.translation, part.scale,
                     part.flags};
        known[i] = true;
    }
    if (!emit_figure(figure_rotation())) return;
    for (int32_t i = 0; i < f.part_count; ++i) {
        SceneObject* object = get_object(state.emitted[i].index);
        if (!known[i] || object == nullptr || object->part_count < 1) continue;
        object->rotation = placed[i].rotation;
        object->translation = placed[i].translation;
        ObjectPart& part = object->parts[0];
        part.translation = placed[i].part_translation;
        part.scale = placed[i].scale;
        part.flags = (part.flags & ~PART_PLACED) | (placed[i].flags & PART_PLACED);
    }
}

}  // namespace

void draw_figure_posed(bool posed) {
    if (state.posed == posed) return;
    state.posed = posed;
    if (figure().part_count > 1) emit_figure_in_place();
}

void draw_figure_whole_for_export() {
    if (state.exporting) return;
    state.exporting = true;
    bool any_cut = false;
    for (int32_t i = 0; i < state.figure.part_count; ++i)
        any_cut = any_cut || emitted_cut(i) != nullptr;
    if (any_cut) emit_figure_in_place();
}

void end_whole_export_drawing() {
    if (!state.exporting) return;
    state.exporting = false;
    bool blended = false;
    for (const std::shared_ptr<PartMesh>& drawn : state.drawn)
        blended = blended || drawn != nullptr;
    if (blended && state.emitted_whole && !state.posed) emit_figure_in_place();
}

void draw_part_from(int32_t part, const PartMesh& drawn) {
    const std::shared_ptr<const PartMesh> emitted = drawn_mesh(part);
    if (emitted == nullptr || drawn.vertices.size() != emitted->vertices.size()) return;
    store_emitted_vertices(state.emitted[part].index, drawn);
}

void forget_edited_object() {
    state.figure = Figure{};
    for (EditedObject& part : state.emitted)
        part = NO_EDITED_OBJECT;
    for (std::shared_ptr<PartMesh>& drawn : state.drawn)
        drawn = nullptr;
    state.posed = state.exporting = state.emitted_whole = false;
    for (KeptBlend& kept : state.kept)
        kept = KeptBlend{};
    for (KeptCut& kept : state.kept_cut)
        kept = KeptCut{};
    state.unblended = false;
    // The painted parts' tiles go with them.
    begin_tile_slots(state.figure);
    release_tile_slots();
}

void discard_figure_objects() {
    for (const EditedObject& part : state.emitted)
        if (part.index != NO_OBJECT) delete_object(part.index);
    forget_edited_object();
}
