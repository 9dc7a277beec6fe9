// The edited part's mark: the pixels the part covers in this frame, found
// row by row from the edges of its outline, and a ring of the highlight
// colour drawn just outside them.
//
// The part's pixels are those of its triangles as the renderer walks a
// body's (the exact walk's watertight rule, raster/fills/exact_walk.h): on
// each row from a triangle's top corner's down to the row before its bottom
// corner's, the pixels whose point (x + 1/2, y) lies from its left edge
// (included) up to its right edge (left out). An edge meets a row at the
// same column whichever triangle it is walked for, so the pixels of row y
// a set of triangles covers are those x where
//   (edges starting a span at a column <= x) - (edges ending one there) > 0,
// counting every edge of every triangle on the row. Two triangles beside
// each other that both count, facing the same way, walk their shared edge
// once as a left side and once as a right side: the two cancel, and only the
// edges of the part's outline are walked. A part of some 3,000 triangles has
// a few hundred of those, and their rows cost far less than the triangles'.
#include "app/part_mark.h"

#include <algorithm>
#include <bit>
#include <memory>

#include "app/edited_object.h"
#include "geometry/render_list.h"
#include "raster/fills/exact_walk.h"
#include "raster/raster_target.h"
#include "raster/render_state.h"

namespace {

// The largest mesh and page the fixed storage takes: as many triangles as
// the body buffers' packet area holds, as many vertices as a pool indexes,
// and a page of 4096 x 4096 pixels. Anything larger is not marked.
constexpr int32_t MARK_TRIANGLES = BODY_PACKET_AREA_BYTES / TRIANGLE_PACKET_BYTES;
constexpr int32_t MARK_VERTICES = POOL_CAPACITY_LIMIT;
constexpr int32_t MARK_EDGES = 3 * MARK_TRIANGLES;
constexpr int32_t MARK_PAGE_SIDE = 4096;
constexpr int32_t MARK_ROW_WORDS = MARK_PAGE_SIDE / 64;
constexpr int32_t MARK_SCRATCH = MARK_EDGES + MARK_VERTICES;

// How a triangle counts in this frame: not at all (a corner behind the eye,
// or a body's triangle facing away, which the renderer does not draw), as
// it turns on the screen (it faces the viewer) or turned the other way (a
// sheet's triangle facing away: a sheet turned away still shows where it is).
constexpr uint8_t NOT_COUNTED = 0;
constexpr uint8_t FACES_VIEWER = 1;
constexpr uint8_t FACES_AWAY = 2;
constexpr uint8_t COUNTED = 3;  // the bits of the above
constexpr uint8_t WALKED = 4;   // edge k of the triangle walked: bit WALKED << k

// Edge 3t + k of a mesh runs from corner k of triangle t to corner k + 1
// (mod 3); its twin is the edge of the mesh that runs the other way between
// the same two vertices, and the twin's triangle lies across the edge.
struct MarkState {
    // The mesh whose triangles `across` holds: a weak reference, so that it
    // cannot stand for a later mesh at the same address, and so that the
    // edited part's mesh stays the figure's only copy (edit_part_mesh copies
    // a mesh another copy shares).
    std::weak_ptr<const PartMesh> mesh;
    int32_t triangle_count = 0;
    bool found = false;          // false: too large, or a corner names no vertex
    int32_t across[MARK_EDGES];  // the triangle across each edge; -1 for none
    // Per triangle, this frame: how it counts (COUNTED bits), and which of its
    // edges are walked (bit WALKED << k for edge k).
    uint8_t counts[MARK_TRIANGLES];
    // Finding the twins: the edges leaving each vertex. Per frame: the
    // outline's crossings of each row, (column << 1) | 1 for the start of a
    // span and (column << 1) for its end, row y's at
    // scratch[row_end[y - 1] .. row_end[y] - 1] (from 0 for row 0), and at
    // the end, the triangles that have edges walked.
    int32_t scratch[MARK_SCRATCH];
    int32_t row_end[MARK_PAGE_SIDE + 1];
    // The coverage of three rows (the ring's row, above and below): one bit
    // a pixel, bit x % 64 of word x / 64.
    uint64_t rows[3][MARK_ROW_WORDS];
};
MarkState mark;

int32_t edge_start(const MeshTriangle* triangles, int32_t edge) {
    return triangles[edge / 3].v[edge % 3];
}
int32_t edge_end(const MeshTriangle* triangles, int32_t edge) {
    return triangles[edge / 3].v[(edge % 3 + 1) % 3];
}

// Fills mark.across for the mesh: false when it does not fit the storage or
// a corner names no vertex of it. The edges are bucketed by the vertex they
// leave (the buckets' ends counted, then each edge placed from its bucket's
// end down), and the twin of edge a -> b is the first in b's bucket that
// ends at a. Afterwards the triangle across an edge has that edge's triangle
// across the twin.
bool find_triangles_across(const PartMesh& mesh) {
    const auto vertex_count = int32_t(mesh.vertices.size());
    if (mesh.vertices.size() > size_t(MARK_VERTICES) ||
        mesh.triangles.size() > size_t(MARK_TRIANGLES))
        return false;
    const MeshTriangle* triangles = mesh.triangles.data();
    const auto edges = int32_t(3 * mesh.triangles.size());
    int32_t* leaving = mark.scratch;
    int32_t* bucket_end = mark.scratch + MARK_EDGES;
    std::fill(bucket_end, bucket_end + vertex_count, 0);
    for (int32_t e = 0; e < edges; ++e) {
        const int32_t a = edge_start(triangles, e);
        if (uint32_t(a) >= uint32_t(vertex_count)) return false;
        ++bucket_end[a];
    }
    for (int32_t a = 1; a < vertex_count; ++a)
        bucket_end[a] += bucket_end[a - 1];
    for (int32_t e = edges - 1; e >= 0; --e)
        leaving[--bucket_end[edge_start(triangles, e)]] = e;
    // bucket_end[a] is now where a's bucket starts; it ends where a + 1's does.
    for (int32_t e = 0; e < edges; ++e) {
        const int32_t a = edge_start(triangles, e);
        const int32_t b = edge_end(triangles, e);
        const int32_t end = b + 1 < vertex_count ? bucket_end[b + 1] : edges;
        mark.across[e] = -1;  // the twin until the end
        for (int32_t i = bucket_end[b]; i < end; ++i) {
            if (edge_end(triangles, leaving[i]) == a) {
                mark.across[e] = leaving[i];
                break;
            }
        }
    }
    // Where an edge runs more than once between two vertices the same way (a
    // mesh that is not a surface), a twin may have another edge as its twin:
    // the edge then has none, and is always walked.
    for (int32_t e = 0; e < edges; ++e) {
        const int32_t twin = mark.across[e];
        if (twin >= 0 && mark.across[twin] != e) mark.across[e] = -1;
    }
    for (int32_t e = 0; e < edges; ++e)
        if (mark.across[e] >= 0) mark.across[e] /= 3;
    return true;
}

// The triangles across the mesh's edges, found again only when it is another
// mesh than last time (a push moves vertices but keeps every triangle).
bool triangles_across_found(const std::shared_ptr<const PartMesh>& mesh) {
    const bool same = !mark.mesh.expired() && !mark.mesh.owner_before(mesh) &&
                      !mesh.owner_before(mark.mesh) &&
                      size_t(mark.triangle_count) == mesh->triangles.size();
    if (same) return mark.found;
    mark.mesh = mesh;
    mark.triangle_count = int32_t(mesh->triangles.size());
    mark.found = find_triangles_across(*mesh);
    return mark.found;
}

// As the ordering table decides whether to draw a culled triangle: every
// corner projected, and twice its signed screen area (products wrapping in
// 32 bits) not negative: clockwise with y growing downward, or edge-on.
uint8_t how_counted(const ScreenVertex& p, const ScreenVertex& q, const ScreenVertex& r,
                    bool sheet) {
    if ((p.w | q.w | r.w) < 0) return NOT_COUNTED;
    if ((q.x - p.x) * (r.y - q.y) - (q.y - p.y) * (r.x - q.x) >= 0) return FACES_VIEWER;
    return sheet ? FACES_AWAY : NOT_COUNTED;
}

// Marks the edges of triangle t (counted) that are walked: not an edge with
// a triangle across it that counts the same way, which leaves out the twin
// in turn. Whether any is.
bool mark_walked_edges(int32_t t) {
    const uint8_t counted = mark.counts[t];
    uint8_t walked = 0;
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t other = mark.across[3 * t + k];
        if (other < 0 || (mark.counts[other] & COUNTED) != counted) walked |= uint8_t(WALKED << k);
    }
    mark.counts[t] = counted | walked;
    return walked != 0;
}

// A walked edge as the rows see it: its ends from the upper one down, the
// rows it is walked on (within the target's), and whether it starts or ends
// spans. Seen from the viewer (y down) a clockwise triangle lies to the
// right of an edge running up: an edge that runs up starts a span, one that
// runs down ends it. A triangle turned the other way has its edges the
// other way round.
struct WalkedEdge {
    const ScreenVertex* upper;
    const ScreenVertex* lower;
    int32_t first_row, last_row;
    int32_t starts;  // 1 when the edge starts spans, 0 when it ends them
};

// Edge e of a counted triangle as it is walked; false for none (an edge not
// walked, level, or on no row of the target).
bool walked_edge(const ScreenVertex* screen, const MeshTriangle* triangles, int32_t e,
                 int32_t height, WalkedEdge* walk) {
    if ((mark.counts[e / 3] & (WALKED << e % 3)) == 0) return false;
    const ScreenVertex* from = &screen[edge_start(triangles, e)];
    const ScreenVertex* to = &screen[edge_end(triangles, e)];
    if ((mark.counts[e / 3] & COUNTED) == FACES_AWAY) std::swap(from, to);
    if (from->y == to->y) return false;
    const bool up = to->y < from->y;
    walk->upper = up ? to : from;
    walk->lower = up ? from : to;
    walk->first_row = walk->upper->y > 0 ? walk->upper->y : 0;
    walk->last_row = walk->lower->y - 1 < height - 1 ? walk->lower->y - 1 : height - 1;
    walk->starts = up ? 1 : 0;
    return walk->first_row <= walk->last_row;
}

// Pixels start .. end - 1 (start < end) of a row covered.
void cover_span(uint64_t* row, int32_t start, int32_t end) {
    const int32_t first = start >> 6, last = (end - 1) >> 6;
    const uint64_t head = ~uint64_t(0) << (start & 63);
    const uint64_t tail = ~uint64_t(0) >> (63 - ((end - 1) & 63));
    if (first == last) {
        row[first] |= head & tail;
        return;
    }
    row[first] |= head;
    for (int32_t w = first + 1; w < last; ++w)
        row[w] = ~uint64_t(0);
    row[last] |= tail;
}

// Row y's coverage (words first_word .. last_word) from its crossings,
// sorted by column: covered where more spans have started than ended.
void cover_row(int32_t y, uint64_t* row, int32_t first_word, int32_t last_word) {
    std::fill(row + first_word, row + last_word + 1, uint64_t(0));
    int32_t* begin = mark.scratch + (y > 0 ? mark.row_end[y - 1] : 0);
    int32_t* end = mark.scratch + mark.row_end[y];
    std::sort(begin, end);
    int32_t open = 0, start = 0;
    for (const int32_t* c = begin; c != end; ++c) {
        const int32_t column = *c >> 1;
        const int32_t was_open = open;
        open += (*c & 1) != 0 ? 1 : -1;
        if (was_open <= 0 && open > 0) start = column;
        if (was_open > 0 && open <= 0 && start < column) cover_span(row, start, column);
    }
}

// Row y's ring: its pixels outside the coverage beside one inside it (left,
// right, above or below) in the mark's colour, words first_word ..
// last_word (those beyond read as uncovered); above and below may be null.
void draw_ring_row(int32_t y, const uint64_t* above, const uint64_t* row, const uint64_t* below,
                   int32_t first_word, int32_t last_word) {
    uint16_t* pixels = raster_target.pixels + int64_t(y) * raster_target.width;
    for (int32_t w = first_word; w <= last_word; ++w) {
        const uint64_t covered = row[w];
        const uint64_t before = w > first_word ? row[w - 1] : 0;
        const uint64_t after = w < last_word ? row[w + 1] : 0;
        // Bit x of (covered << 1) is pixel x - 1, of (covered >> 1) pixel x + 1.
        uint64_t near = (covered << 1) | (before >> 63) | (covered >> 1) | (after << 63);
        if (above != nullptr) near |= above[w];
        if (below != nullptr) near |= below[w];
        for (uint64_t ring = near & ~covered; ring != 0; ring &= ring - 1) {
            const int32_t x = w * 64 + std::countr_zero(ring);
            if (x < raster_target.width) pixels[x] = PART_MARK_PIXEL;
        }
    }
}

}  // namespace

void mark_edited_part() {
    const Figure& f = figure();
    if (f.part_count < 2 || f.edited == NO_PART || raster_target.pixels == nullptr) return;
    const int32_t width = raster_target.width, height = raster_target.height;
    if (width < 1 || height < 1 || width > MARK_PAGE_SIDE || height > MARK_PAGE_SIDE) return;
    // What the part is drawn from: its blended copy where it meets others.
    const std::shared_ptr<const PartMesh> mesh = drawn_mesh(f.edited);
    const EditedObject& part = edited_object();
    const RenderList* list = current_render_list();
    if (mesh == nullptr || list == nullptr || list->screen_vertices == nullptr) return;
    // The part's vertices lie in the pools in the mesh's order from its first
    // (a part drawn cut has more after them).
    if (size_t(part.vertex_count) < mesh->vertices.size() || part.first_vertex < 0 ||
        int64_t(part.first_vertex) + part.vertex_count > list->vertex_capacity)
        return;
    if (!triangles_across_found(mesh)) return;
    const ScreenVertex* screen = list->screen_vertices + part.first_vertex;
    const MeshTriangle* triangles = mesh->triangles.data();

    const bool sheet = part.kind == EDITED_SHEET;
    for (int32_t t = 0; t < mark.triangle_count; ++t) {
        const MeshTriangle& c = triangles[t];
        mark.counts[t] = how_counted(screen[c.v[0]], screen[c.v[1]], screen[c.v[2]], sheet);
    }

    // The walked edges, their crossings counted per row (as the difference
    // from the row before, at the rows where edges begin and end), and the
    // triangles that have any listed from the scratch's end down.
    std::fill(mark.row_end, mark.row_end + height + 1, 0);
    int32_t* const listed_end = mark.scratch + MARK_SCRATCH;
    int32_t* listed = listed_end;
    int64_t crossings = 0;
    int32_t top = height, bottom = -1;
    WalkedEdge walk;
    for (int32_t t = 0; t < mark.triangle_count; ++t) {
        if (mark.counts[t] == NOT_COUNTED || !mark_walked_edges(t)) continue;
        *--listed = t;
        for (int32_t k = 0; k < 3; ++k) {
            if (!walked_edge(screen, triangles, 3 * t + k, height, &walk)) continue;
            ++mark.row_end[walk.first_row];
            --mark.row_end[walk.last_row + 1];
            crossings += walk.last_row - walk.first_row + 1;
            top = std::min(top, walk.first_row);
            bottom = std::max(bottom, walk.last_row);
        }
    }
    if (bottom < 0 || crossings > listed - mark.scratch) return;
    // Row y's count, then the end of its place, then (placing from there
    // down) its start.
    for (int32_t y = 1; y < height; ++y)
        mark.row_end[y] += mark.row_end[y - 1];
    for (int32_t y = 1; y < height; ++y)
        mark.row_end[y] += mark.row_end[y - 1];
    int32_t left = width, right = 0;
    for (const int32_t* t = listed; t != listed_end; ++t) {
        for (int32_t k = 0; k < 3; ++k) {
            if (!walked_edge(screen, triangles, 3 * *t + k, height, &walk)) continue;
            ExactEdge edge;
            set_exact_edge(edge, walk.upper->x, walk.upper->y, walk.lower->x, walk.lower->y,
                           walk.first_row, 0);
            for (int32_t y = walk.first_row; y <= walk.last_row; ++y) {
                // A column left of the target counts for every pixel of it,
                // one right of it for none: kept to 0 .. width, it counts the
                // same.
                const auto column = int32_t(edge.column < 0       ? 0
                                            : edge.column > width ? width
                                                                  : edge.column);
                left = std::min(left, column);
                right = std::max(right, column);
                mark.scratch[--mark.row_end[y]] = (column << 1) | walk.starts;
                step_exact_edge(edge);
            }
        }
    }
    // row_end[y] is now where row y's crossings start: on to their ends.
    for (int32_t y = 0; y < height; ++y)
        mark.row_end[y] = mark.row_end[y + 1];
    mark.row_end[height - 1] = int32_t(crossings);

    // The rows of the ring: the covered rows and one on either side, over
    // the covered words and one on either side, three rows' coverage at a time.
    const int32_t first_word = std::max(0, (left >> 6) - 1);
    const int32_t last_word = std::min((width - 1) >> 6, (right >> 6) + 1);
    const int32_t first_row = top > 0 ? top - 1 : 0;
    const int32_t last_row = bottom + 1 < height ? bottom + 1 : bottom;
    uint64_t* above = mark.rows[0];
    uint64_t* row = mark.rows[1];
    uint64_t* below = mark.rows[2];
    cover_row(first_row, row, first_word, last_word);
    for (int32_t y = first_row; y <= last_row; ++y) {
        if (y < last_row) cover_row(y + 1, below, first_word, last_word);
        draw_ring_row(y, y > first_row ? above : nullptr, row, y < last_row ? below : nullptr,
                      first_word, last_word);
        uint64_t* done = above;
        above = row;
        row = below;
        below = done;
    }
}
