// Inflation of the edited sheet into a closed body: the sheet's mesh made
// manifold, the height of each vertex, and the emission through the same
// paths as the outline build.
//
// The heights: a distance transform with a circular profile. The distance d
// from a vertex to the outline alone would give a cone (a disc becomes a
// tent, a band a sharp ridge). So each vertex also takes the half-width R of
// the outline where it lies: the distance at the ridge it reaches by always
// climbing to its steepest neighbour, which is the radius of the largest disc
// that fits the outline there. The height is that of a circle of radius R
// through the border, sqrt(d (2R - d)): a disc of radius r becomes a sphere of
// radius r, a band of width 2a a round tube of radius a, and the border stays
// at height 0. It costs one pass over the vertices from the farthest to the
// nearest (a solve of Poisson's equation would need many, and gives a band a
// taller, elliptic section), and it is integer arithmetic on pixel offsets,
// so every platform gets the same heights.
#include "app/inflate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "base/memory.h"
#include "base/messages.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/normals.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "raster/shade_tables.h"

namespace {

using Triangle = BodyPlan::Triangle;

// Depth grows with model z: the viewer is on the side of negative z.
constexpr int32_t TOWARD_VIEWER = -1;
// The w word tells apart records that share a position: the sheet's vertices
// have w 0, the copies of a vertex split apart 1, 2, ..., the midpoints of
// split chords MIDPOINT_W, and a record that would still repeat another is
// moved on by DISTINCT_W_STEP until it is unique. The renderer reads only x,
// y and z.
constexpr int32_t MIDPOINT_W = 0x10000;
constexpr int32_t DISTINCT_W_STEP = 0x100000;

// The sheet as an index mesh while the body is planned.
struct Sheet {
    std::vector<Vec4> vertices;  // model positions; z is the sheet's relief
    std::vector<Triangle> triangles;
    std::vector<uint8_t> rim;     // per vertex: an end of a border edge
    std::vector<int32_t> border;  // border edges as pairs of vertex indices
};

// Whether (a, b, c) has no area in the screen plane, over which the heights
// are raised: the degenerate-polygon test on the corners with z left out.
bool flat_in_screen_plane(const Vec4& a, const Vec4& b, const Vec4& c) {
    const Vec4 flat[3] = {{a.x, a.y, 0, 0}, {b.x, b.y, 0, 0}, {c.x, c.y, 0, 0}};
    const Vec4* const corners[3] = {&flat[0], &flat[1], &flat[2]};
    return is_degenerate_polygon(corners, 3);
}

// floor(sqrt(n)) exactly: the double's estimate is corrected in integers, so
// the result does not depend on how the platform rounds.
int64_t floor_sqrt(int64_t n) {
    if (n <= 0) return 0;
    auto root = int64_t(std::sqrt(double(n)));
    while (root > 0 && root * root > n)
        --root;
    while ((root + 1) * (root + 1) <= n)
        ++root;
    return root;
}

int64_t distance2(const Vec4& a, const Vec4& b) {
    int64_t dx = int64_t(a.x) - b.x;
    int64_t dy = int64_t(a.y) - b.y;
    return dx * dx + dy * dy;
}

// Squared distance in pixels (rounded) from p to the segment a-b, in the
// screen plane. Positions are screen offsets, so the products stay far below
// 2^63.
int64_t segment_distance2(const Vec4& p, const Vec4& a, const Vec4& b) {
    int64_t ex = int64_t(b.x) - a.x;
    int64_t ey = int64_t(b.y) - a.y;
    int64_t wx = int64_t(p.x) - a.x;
    int64_t wy = int64_t(p.y) - a.y;
    int64_t along = wx * ex + wy * ey;
    int64_t length2 = ex * ex + ey * ey;
    if (along <= 0) return wx * wx + wy * wy;
    if (along >= length2) return distance2(p, b);
    int64_t across = wx * ey - wy * ex;
    return (across * across + length2 / 2) / length2;
}

// The object's triangles and the pool vertices they name, renumbered from 0.
bool gather_sheet(const SceneObject* object, Sheet* sheet, ColourRecord* colour) {
    const RenderList* list = current_render_list();
    if (object == nullptr || list == nullptr || list->model_vertices == nullptr) return false;
    std::vector<int32_t> local(size_t(list->vertex_capacity), -1);
    for (PrimitivePacket* packet = next_object_polygon(object, nullptr); packet != nullptr;
         packet = next_object_polygon(object, packet)) {
        if (packet_vertex_count(packet) != 3) continue;
        if (sheet->triangles.empty()) {
            int16_t c = packet_colours(packet)[0];
            if (list->colour_records != nullptr && c >= 0 && c < list->colour_capacity)
                *colour = list->colour_records[c];
        }
        Triangle triangle;
        for (int k = 0; k < 3; ++k) {
            int16_t v = packet_vertices(packet)[k];
            if (v < 0 || v >= list->vertex_capacity) return false;
            if (local[size_t(v)] < 0) {
                local[size_t(v)] = int32_t(sheet->vertices.size());
                sheet->vertices.push_back(list->model_vertices[v]);
            }
            triangle.v[k] = local[size_t(v)];
        }
        sheet->triangles.push_back(triangle);
    }
    return !sheet->triangles.empty();
}

// Directed edges by their start vertex, for the twin lookups of the repair:
// the corners (3 x triangle + k, the edge from corner k to corner k + 1) of
// each vertex, which are few, and for each corner the corner across its edge.
struct EdgeIndex {
    std::vector<int32_t> first;  // per vertex, into corners; one more entry at the end
    std::vector<int32_t> corners;
    std::vector<int32_t> twins;  // per corner: the corner of the edge run the other way, or -1
};

int32_t corner_vertex(const Sheet& sheet, int32_t corner) {
    return sheet.triangles[size_t(corner / 3)].v[corner % 3];
}
int32_t next_corner(int32_t corner) {
    return corner - corner % 3 + (corner % 3 + 1) % 3;
}

// The first corner whose edge runs from a to b, or -1.
int32_t find_edge(const EdgeIndex& index, const Sheet& sheet, int32_t a, int32_t b) {
    for (int32_t i = index.first[size_t(a)]; i < index.first[size_t(a) + 1]; ++i) {
        int32_t c = index.corners[size_t(i)];
        if (corner_vertex(sheet, next_corner(c)) == b) return c;
    }
    return -1;
}

EdgeIndex index_edges(const Sheet& sheet) {
    EdgeIndex index;
    index.first.assign(sheet.vertices.size() + 1, 0);
    for (const Triangle& t : sheet.triangles)
        for (int32_t v : t.v)
            ++index.first[size_t(v) + 1];
    for (size_t v = 1; v < index.first.size(); ++v)
        index.first[v] += index.first[v - 1];
    index.corners.resize(sheet.triangles.size() * 3);
    std::vector<int32_t> fill(index.first.begin(), index.first.end() - 1);
    for (size_t c = 0; c < index.corners.size(); ++c)
        index.corners[size_t(fill[size_t(corner_vertex(sheet, int32_t(c)))]++)] = int32_t(c);
    index.twins.resize(index.corners.size());
    for (size_t c = 0; c < index.twins.size(); ++c)
        index.twins[c] = find_edge(index, sheet, corner_vertex(sheet, next_corner(int32_t(c))),
                                   corner_vertex(sheet, int32_t(c)));
    return index;
}

// Keeps the triangles whose flag is set, in order.
void keep_triangles(Sheet* sheet, const std::vector<uint8_t>& keep) {
    size_t n = 0;
    for (size_t t = 0; t < sheet->triangles.size(); ++t)
        if (keep[t] != 0) sheet->triangles[n++] = sheet->triangles[t];
    sheet->triangles.resize(n);
}

// Edge snapping can fold a square onto itself: a triangle with a repeated
// vertex or no area is dropped, and so is one that would run along an edge
// in the same direction as an earlier triangle, so that every edge keeps at
// most one triangle on each side.
void drop_faulty_triangles(Sheet* sheet) {
    std::vector<uint8_t> keep(sheet->triangles.size(), 0);
    for (size_t t = 0; t < keep.size(); ++t) {
        const Triangle& tri = sheet->triangles[t];
        keep[t] = !flat_in_screen_plane(sheet->vertices[size_t(tri.v[0])],
                                        sheet->vertices[size_t(tri.v[1])],
                                        sheet->vertices[size_t(tri.v[2])]);
    }
    keep_triangles(sheet, keep);
    EdgeIndex index = index_edges(*sheet);
    keep.assign(sheet->triangles.size(), 1);
    for (size_t c = 0; c < index.corners.size(); ++c) {
        int32_t a = corner_vertex(*sheet, int32_t(c));
        int32_t b = corner_vertex(*sheet, next_corner(int32_t(c)));
        // An earlier kept triangle with the same directed edge wins.
        for (int32_t i = index.first[size_t(a)]; i < index.first[size_t(a) + 1]; ++i) {
            int32_t other = index.corners[size_t(i)];
            if (other / 3 < int32_t(c / 3) && keep[size_t(other / 3)] != 0 &&
                corner_vertex(*sheet, next_corner(other)) == b)
                keep[c / 3] = 0;
        }
    }
    keep_triangles(sheet, keep);
}

// A border edge has a triangle on one side only; its ends are the rim.
void find_rim(Sheet* sheet, const EdgeIndex& index) {
    sheet->rim.assign(sheet->vertices.size(), 0);
    sheet->border.clear();
    for (size_t c = 0; c < sheet->triangles.size() * 3; ++c) {
        if (index.twins[c] >= 0) continue;
        int32_t a = corner_vertex(*sheet, int32_t(c));
        int32_t b = corner_vertex(*sheet, next_corner(int32_t(c)));
        sheet->rim[size_t(a)] = sheet->rim[size_t(b)] = 1;
        sheet->border.push_back(a);
        sheet->border.push_back(b);
    }
}

// An inner edge between two rim vertices (a chord) would carry four
// triangles once the back shares the rim: it gets a midpoint above the
// surface. A chord too short for a midpoint of its own loses one of its
// triangles instead, which may turn further edges into chords.
bool short_chord(const Vec4& a, const Vec4& b) {
    return std::abs(int64_t(a.x) - b.x) < 2 && std::abs(int64_t(a.y) - b.y) < 2;
}

bool is_chord(const Sheet& sheet, const EdgeIndex& index, int32_t c) {
    int32_t a = corner_vertex(sheet, c);
    int32_t b = corner_vertex(sheet, next_corner(c));
    return sheet.rim[size_t(a)] != 0 && sheet.rim[size_t(b)] != 0 && index.twins[size_t(c)] >= 0;
}

// Returns the edge index of what remains.
EdgeIndex drop_short_chords(Sheet* sheet) {
    for (;;) {
        EdgeIndex index = index_edges(*sheet);
        find_rim(sheet, index);
        std::vector<uint8_t> keep(sheet->triangles.size(), 1);
        bool any = false;
        for (size_t c = 0; c < sheet->triangles.size() * 3; ++c) {
            if (keep[c / 3] == 0 || !is_chord(*sheet, index, int32_t(c))) continue;
            if (keep[size_t(index.twins[c] / 3)] == 0) continue;
            if (!short_chord(
                    sheet->vertices[size_t(corner_vertex(*sheet, int32_t(c)))],
                    sheet->vertices[size_t(corner_vertex(*sheet, next_corner(int32_t(c))))]))
                continue;
            keep[c / 3] = 0;
            any = true;
        }
        if (!any) return index;
        keep_triangles(sheet, keep);
    }
}

int32_t find_root(std::vector<int32_t>& parent, int32_t c) {
    while (parent[size_t(c)] != c) {
        parent[size_t(c)] = parent[size_t(parent[size_t(c)])];
        c = parent[size_t(c)];
    }
    return c;
}

// Where the region touches itself at a single vertex, the triangles around it
// form separate fans; each fan gets its own copy of the vertex, so that the
// body is a surface there too (two balls touching, not sharing a point).
void split_pinched_vertices(Sheet* sheet, const EdgeIndex& index) {
    size_t corners = sheet->triangles.size() * 3;
    std::vector<int32_t> parent(corners);
    for (size_t c = 0; c < corners; ++c)
        parent[c] = int32_t(c);
    auto unite = [&](int32_t a, int32_t b) {
        parent[size_t(find_root(parent, a))] = find_root(parent, b);
    };
    for (size_t c = 0; c < corners; ++c) {
        // The twin runs from this edge's end to its start: its corner sits at
        // the end, the corner after it at the start.
        int32_t other = index.twins[c];
        if (other < 0) continue;
        unite(int32_t(c), next_corner(other));
        unite(next_corner(int32_t(c)), other);
    }
    std::vector<int32_t> vertex_of_root(corners, -1);
    std::vector<int32_t> copies(sheet->vertices.size(), 0);
    for (size_t c = 0; c < corners; ++c) {
        int32_t& v = sheet->triangles[c / 3].v[c % 3];
        int32_t root = find_root(parent, int32_t(c));
        if (vertex_of_root[size_t(root)] < 0) {
            int32_t copy = copies[size_t(v)]++;
            if (copy == 0) {
                vertex_of_root[size_t(root)] = v;
            } else {
                Vec4 record = sheet->vertices[size_t(v)];
                record.w += copy;
                vertex_of_root[size_t(root)] = int32_t(sheet->vertices.size());
                sheet->vertices.push_back(record);
                copies.push_back(1);
            }
        }
        v = vertex_of_root[size_t(root)];
    }
}

// Splits every chord at its midpoint; each triangle with split edges is cut
// into triangles of the same turn: corners between two midpoints are cut off
// first, the rest is fanned from a point whose triangles are none flat and
// whose diagonals join no two corners (which would make the chord again).
// A triangle that cannot be cut so (a midpoint rounded onto another edge of a
// sliver) is marked in *failed, and false returned.
bool split_chords(Sheet* sheet, const EdgeIndex& index, std::vector<uint8_t>* failed) {
    std::vector<int32_t> midpoint(sheet->triangles.size() * 3, -1);  // per corner's edge
    bool any = false;
    for (size_t c = 0; c < midpoint.size(); ++c) {
        if (midpoint[c] >= 0 || !is_chord(*sheet, index, int32_t(c))) continue;
        const Vec4& pa = sheet->vertices[size_t(corner_vertex(*sheet, int32_t(c)))];
        const Vec4& pb = sheet->vertices[size_t(corner_vertex(*sheet, next_corner(int32_t(c))))];
        // Arithmetic shifts: the halves of the sums round down on both sides.
        Vec4 middle = {int32_t((int64_t(pa.x) + pb.x) >> 1), int32_t((int64_t(pa.y) + pb.y) >> 1),
                       int32_t((int64_t(pa.z) + pb.z) >> 1), MIDPOINT_W};
        int32_t m = int32_t(sheet->vertices.size());
        sheet->vertices.push_back(middle);
        sheet->rim.push_back(0);
        midpoint[c] = midpoint[size_t(index.twins[c])] = m;
        any = true;
    }
    if (!any) return true;
    failed->assign(sheet->triangles.size(), 0);
    bool whole = true;
    std::vector<Triangle> result;
    struct Point {
        int32_t v;
        bool middle;
    };
    std::vector<Point> ring;
    for (size_t t = 0; t < sheet->triangles.size(); ++t) {
        const Triangle& tri = sheet->triangles[t];
        ring.clear();
        for (int k = 0; k < 3; ++k) {
            ring.push_back({tri.v[k], false});
            if (int32_t m = midpoint[3 * t + size_t(k)]; m >= 0) ring.push_back({m, true});
        }
        if (ring.size() == 3) {
            result.push_back(tri);
            continue;
        }
        auto flat = [&](int32_t a, int32_t b, int32_t c) {
            return flat_in_screen_plane(sheet->vertices[size_t(a)], sheet->vertices[size_t(b)],
                                        sheet->vertices[size_t(c)]);
        };
        bool cut = true;
        for (size_t i = 0; i < ring.size() && ring.size() > 3;) {
            const Point& before = ring[(i + ring.size() - 1) % ring.size()];
            const Point& after = ring[(i + 1) % ring.size()];
            if (!ring[i].middle && before.middle && after.middle) {
                cut = cut && !flat(before.v, ring[i].v, after.v);
                result.push_back(Triangle{{before.v, ring[i].v, after.v}});
                ring.erase(ring.begin() + std::ptrdiff_t(i));
            } else {
                ++i;
            }
        }
        size_t n = ring.size();
        size_t apex = 0;
        for (; apex < n; ++apex) {
            bool usable = true;
            for (size_t i = 1; i + 1 < n && usable; ++i) {
                const Point& p = ring[(apex + i) % n];
                usable = !flat(ring[apex].v, p.v, ring[(apex + i + 1) % n].v) &&
                         (i == 1 || ring[apex].middle || p.middle);
            }
            if (usable) break;
        }
        if (!cut || apex == n) {
            (*failed)[t] = 1;
            whole = false;
            continue;
        }
        for (size_t i = 1; i + 1 < n; ++i)
            result.push_back(
                Triangle{{ring[apex].v, ring[(apex + i) % n].v, ring[(apex + i + 1) % n].v}});
    }
    sheet->triangles.swap(result);
    return whole;
}

// Items (border segments or vertices) sorted into square buckets of
// BUCKET_SIZE pixels over the bounding box of the points given, so that a
// search near a point visits only the buckets around it.
constexpr int32_t BUCKET_SIZE = 32;

struct Buckets {
    int64_t x0 = 0, y0 = 0;
    int32_t columns = 1, rows = 1;
    std::vector<int32_t> first;  // per bucket, into items; one more at the end
    std::vector<int32_t> items;

    int32_t column(int64_t x) const {
        return int32_t(std::clamp<int64_t>((x - x0) / BUCKET_SIZE, 0, columns - 1));
    }
    int32_t row(int64_t y) const {
        return int32_t(std::clamp<int64_t>((y - y0) / BUCKET_SIZE, 0, rows - 1));
    }
};

// Each item covers the box [low, high] of its points; the buckets span all.
struct ItemBox {
    int64_t x0, y0, x1, y1;
};

Buckets sort_into_buckets(const std::vector<ItemBox>& boxes) {
    Buckets b;
    if (boxes.empty()) {
        b.first.assign(2, 0);
        return b;
    }
    int64_t x1 = boxes[0].x1, y1 = boxes[0].y1;
    b.x0 = boxes[0].x0;
    b.y0 = boxes[0].y0;
    for (const ItemBox& box : boxes) {
        b.x0 = std::min(b.x0, box.x0);
        b.y0 = std::min(b.y0, box.y0);
        x1 = std::max(x1, box.x1);
        y1 = std::max(y1, box.y1);
    }
    // The model's coordinates are screen offsets: a few hundred buckets.
    b.columns = int32_t(std::min<int64_t>((x1 - b.x0) / BUCKET_SIZE + 1, 4096));
    b.rows = int32_t(std::min<int64_t>((y1 - b.y0) / BUCKET_SIZE + 1, 4096));
    b.first.assign(size_t(b.columns) * size_t(b.rows) + 1, 0);
    auto each_bucket = [&](const ItemBox& box, auto&& visit) {
        for (int32_t r = b.row(box.y0); r <= b.row(box.y1); ++r)
            for (int32_t k = b.column(box.x0); k <= b.column(box.x1); ++k)
                visit(size_t(r) * size_t(b.columns) + size_t(k));
    };
    for (const ItemBox& box : boxes)
        each_bucket(box, [&](size_t bucket) { ++b.first[bucket + 1]; });
    for (size_t i = 1; i < b.first.size(); ++i)
        b.first[i] += b.first[i - 1];
    b.items.resize(size_t(b.first.back()));
    std::vector<int32_t> fill(b.first.begin(), b.first.end() - 1);
    for (size_t i = 0; i < boxes.size(); ++i)
        each_bucket(boxes[i], [&](size_t bucket) { b.items[size_t(fill[bucket]++)] = int32_t(i); });
    return b;
}

// Squared distance (pixels, rounded) from p to the nearest border segment:
// the buckets are searched in square rings around p's until the next ring
// cannot hold anything nearer.
int64_t border_distance2(const Sheet& sheet, const Buckets& segments, const Vec4& p) {
    int64_t best = INT64_MAX;
    int32_t pk = segments.column(p.x);
    int32_t pr = segments.row(p.y);
    int32_t rings = std::max(segments.columns, segments.rows);
    for (int32_t ring = 0; ring <= rings; ++ring) {
        // Everything in this ring or beyond lies at least (ring - 1) buckets
        // away from p, which may sit anywhere in its own bucket (or outside
        // the grid, where the clamped bucket is nearer than p).
        int64_t reach = int64_t(ring - 1) * BUCKET_SIZE;
        if (ring > 1 && best <= reach * reach) break;
        for (int32_t r = pr - ring; r <= pr + ring; ++r) {
            if (r < 0 || r >= segments.rows) continue;
            bool edge_row = r == pr - ring || r == pr + ring;
            for (int32_t k = pk - ring; k <= pk + ring; k += edge_row ? 1 : 2 * ring) {
                if (k >= 0 && k < segments.columns) {
                    size_t bucket = size_t(r) * size_t(segments.columns) + size_t(k);
                    for (int32_t i = segments.first[bucket]; i < segments.first[bucket + 1]; ++i) {
                        size_t e = 2 * size_t(segments.items[size_t(i)]);
                        int64_t d = segment_distance2(p, sheet.vertices[size_t(sheet.border[e])],
                                                      sheet.vertices[size_t(sheet.border[e + 1])]);
                        best = std::min(best, d);
                    }
                }
                if (ring == 0) break;
            }
        }
    }
    return best == INT64_MAX ? 0 : best;
}

// The height of every vertex off the rim (see the top of the file), in
// pixels, at least 1 so that no inner vertex meets the rim.
std::vector<int32_t> vertex_heights(const Sheet& sheet) {
    size_t n = sheet.vertices.size();
    EdgeIndex index = index_edges(sheet);
    std::vector<int32_t> inner;
    for (size_t v = 0; v < n; ++v)
        if (index.first[v + 1] > index.first[v] && sheet.rim[v] == 0) inner.push_back(int32_t(v));

    std::vector<ItemBox> boxes;
    for (size_t e = 0; e + 1 < sheet.border.size(); e += 2) {
        const Vec4& a = sheet.vertices[size_t(sheet.border[e])];
        const Vec4& b = sheet.vertices[size_t(sheet.border[e + 1])];
        boxes.push_back({std::min<int64_t>(a.x, b.x), std::min<int64_t>(a.y, b.y),
                         std::max<int64_t>(a.x, b.x), std::max<int64_t>(a.y, b.y)});
    }
    Buckets segments = sort_into_buckets(boxes);
    // Distances to the border in sixteenths of a pixel (4 fraction bits),
    // rounded down; 0 on the rim.
    std::vector<int64_t> reach(n, 0);
    for (int32_t v : inner)
        reach[size_t(v)] =
            floor_sqrt(border_distance2(sheet, segments, sheet.vertices[size_t(v)]) << 8);

    // Farthest from the border first, so that the vertex a climb leads to is
    // done before the vertices below it.
    std::vector<int32_t> order = inner;
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return reach[size_t(a)] > reach[size_t(b)]; });
    std::vector<int64_t> ridge(n, 0);
    for (int32_t v : order) {
        // The steepest climb: the neighbour with the largest rise per
        // length, compared as rise_u * length_w > rise_w * length_u.
        int32_t best = -1;
        int64_t best_rise = 0;
        int64_t best_length = 1;
        const Vec4& p = sheet.vertices[size_t(v)];
        for (int32_t i = index.first[size_t(v)]; i < index.first[size_t(v) + 1]; ++i) {
            int32_t u = corner_vertex(sheet, next_corner(index.corners[size_t(i)]));
            int64_t rise = reach[size_t(u)] - reach[size_t(v)];
            if (sheet.rim[size_t(u)] != 0 || rise <= 0) continue;
            int64_t length =
                std::max<int64_t>(1, floor_sqrt(distance2(sheet.vertices[size_t(u)], p)));
            if (best < 0 || rise * best_length > best_rise * length) {
                best = u;
                best_rise = rise;
                best_length = length;
            }
        }
        ridge[size_t(v)] = best < 0 ? reach[size_t(v)] : ridge[size_t(best)];
    }
    // The circle of radius R through the border: sqrt(d (2R - d)); d and R
    // are in sixteenths, so the root is too, and 4 shifts leave pixels.
    std::vector<int32_t> heights(n, 0);
    for (int32_t v : inner) {
        int64_t d = reach[size_t(v)];
        int64_t h = floor_sqrt(d * (2 * ridge[size_t(v)] - d)) >> 4;
        heights[size_t(v)] = int32_t(std::max<int64_t>(1, h));
    }
    return heights;
}

// Front triangles in sheet order, then the back ones wound the other way;
// vertices numbered as the pool will number them.
void assemble(const Sheet& sheet, const std::vector<int32_t>& heights, BodyPlan* plan) {
    size_t n = sheet.vertices.size();
    std::vector<int32_t> front(n, -1);
    std::vector<int32_t> back(n, -1);
    auto number = [&](std::vector<int32_t>& side, int32_t v, int32_t lift) {
        if (sheet.rim[size_t(v)] != 0) {
            // The rim is shared: one record for both sides.
            int32_t shared = front[size_t(v)] >= 0 ? front[size_t(v)] : back[size_t(v)];
            if (shared >= 0) return front[size_t(v)] = back[size_t(v)] = shared;
        }
        if (side[size_t(v)] >= 0) return side[size_t(v)];
        Vec4 record = sheet.vertices[size_t(v)];
        record.z += lift * heights[size_t(v)];
        side[size_t(v)] = int32_t(plan->vertices.size());
        plan->vertices.push_back(record);
        return side[size_t(v)];
    };
    for (const Triangle& t : sheet.triangles) {
        Triangle face;
        for (int k = 0; k < 3; ++k)
            face.v[k] = number(front, t.v[k], TOWARD_VIEWER);
        plan->triangles.push_back(face);
    }
    plan->front_vertices = int32_t(plan->vertices.size());
    for (const Triangle& t : sheet.triangles) {
        Triangle face;
        for (int k = 0; k < 3; ++k)
            face.v[2 - k] = number(back, t.v[k], -TOWARD_VIEWER);
        plan->triangles.push_back(face);
    }
}

// The pool shares equal records, so every record of the plan must be unique
// for the pool to number the vertices as the plan does: a record equal to an
// earlier one moves its w on until it is not.
void make_records_distinct(std::vector<Vec4>* vertices) {
    // Sorted by position in the screen plane; only the few records at one
    // position (a front, a back, a split copy) are compared whole.
    std::vector<std::pair<int64_t, int32_t>> order(vertices->size());
    for (size_t i = 0; i < order.size(); ++i) {
        const Vec4& v = (*vertices)[i];
        order[i] = {(int64_t(v.x) << 32) | uint32_t(v.y), int32_t(i)};
    }
    std::sort(order.begin(), order.end());
    auto same = [](const Vec4& a, const Vec4& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
    };
    for (size_t run = 0; run < order.size();) {
        size_t end = run + 1;
        while (end < order.size() && order[end].first == order[run].first)
            ++end;
        // Each record moves on until no earlier one of its position equals it.
        for (size_t i = run + 1; i < end; ++i) {
            Vec4& record = (*vertices)[size_t(order[i].second)];
            for (bool clash = true; clash;) {
                clash = false;
                for (size_t j = run; j < i && !clash; ++j)
                    clash = same(record, (*vertices)[size_t(order[j].second)]);
                if (clash) record.w += DISTINCT_W_STEP;
            }
        }
        run = end;
    }
}

// The message of the first buffer the body would overflow, or null when it
// fits once the pools are emptied: the object's header and a packet per
// triangle with the end word after them, a pool record and a normal per
// vertex, one colour.
const char* capacity_text(const BodyPlan& plan) {
    const RenderList* list = current_render_list();
    int64_t packet_bytes =
        SHORT_PACKET_BYTES + int64_t(TRIANGLE_PACKET_BYTES) * int64_t(plan.triangles.size()) + 4;
    auto vertices = int64_t(plan.vertices.size());
    if (packet_bytes > list->packet_capacity) return TEXT_PACKET_AREA_FULL;
    if (vertices > list->vertex_capacity) return TEXT_VERTEX_POOL_FULL;
    if (list->colour_capacity < 1) return TEXT_COLOUR_POOL_FULL;
    if (vertices > list->normal_capacity) return TEXT_NORMAL_POOL_FULL;
    return nullptr;
}

bool pools_bound() {
    for (int32_t kind : {POOL_VERTEX, POOL_COLOUR, POOL_NORMAL})
        if (!pool_bound(kind)) return false;
    return current_render_list() != nullptr && current_render_list()->model_normals != nullptr;
}

// Emits the planned body as a new object; its index, or -1 when a buffer
// refused it after all, in which case whatever was emitted of it is deleted.
int32_t emit_body(const BodyPlan& plan) {
    int32_t body = create_object(2);
    if (body < 0) return -1;
    const ColourRecord* const colours[3] = {&plan.colour, &plan.colour, &plan.colour};
    for (const Triangle& t : plan.triangles) {
        const Vec4* const vertices[3] = {&plan.vertices[size_t(t.v[0])],
                                         &plan.vertices[size_t(t.v[1])],
                                         &plan.vertices[size_t(t.v[2])]};
        // Watertight: the body is closed, and its faces must not let the
        // background through between them.
        if (add_triangle(vertices, colours, nullptr, nullptr, -1, POLY_CULL | POLY_WATERTIGHT, 0) <
            0) {
            finish_object();
            delete_object(body);
            return -1;
        }
    }
    if (finish_lit_object(body, int32_t(plan.vertices.size())) != 0) {
        delete_object(body);
        return -1;
    }
    pack_colours();
    return body;
}

}  // namespace

bool plan_body(int32_t index, BodyPlan* plan) {
    *plan = BodyPlan{};
    Sheet sheet;
    if (!gather_sheet(get_object(index), &sheet, &plan->colour)) return false;
    drop_faulty_triangles(&sheet);
    // A triangle whose chord cannot be split is left out, which turns its
    // inner edges into border, and the mending starts again.
    for (std::vector<uint8_t> failed;;) {
        EdgeIndex edges = drop_short_chords(&sheet);
        if (sheet.triangles.empty()) return false;
        Sheet split = sheet;
        split_pinched_vertices(&split, edges);  // keeps the triangles' order
        edges = index_edges(split);
        find_rim(&split, edges);
        if (split_chords(&split, edges, &failed)) {
            sheet = std::move(split);
            break;
        }
        for (uint8_t& f : failed)
            f = !f;
        keep_triangles(&sheet, failed);
    }
    assemble(sheet, vertex_heights(sheet), plan);
    make_records_distinct(&plan->vertices);
    return true;
}

int32_t replace_sheet_with_body(int32_t sheet_index, const BodyPlan& plan) {
    SceneObject* sheet = get_object(sheet_index);
    if (sheet == nullptr) return -1;
    if (!pools_bound()) return INFLATE_REFUSED;
    if (const char* text = capacity_text(plan); text != nullptr) {
        show_error("%s", text);
        return INFLATE_REFUSED;
    }

    // The body replaces the sheet and keeps its placement and shading.
    Vec4 translation = sheet->translation;
    Vec4 rotation = sheet->rotation;
    Vec4 scale = sheet->scale;
    const PrimitivePacket* first = next_object_polygon(sheet, nullptr);
    int32_t shading = first != nullptr ? int32_t(first->extra & SHADE_MODE_MASK) : 0;
    delete_object(sheet_index);
    reset_frame_pools();
    // The capacities were checked, so only a failed allocation of the
    // object's record makes the emission fail.
    int32_t body = emit_body(plan);
    if (body < 0) return -1;
    SceneObject* object = get_object(body);
    object->translation = translation;
    object->rotation = rotation;
    object->scale = scale;
    set_object_shading(body, shading);
    return body;
}
