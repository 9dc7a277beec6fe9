// Inflation of the edited sheet into a closed body: the sheet's mesh made
// manifold, the height of each vertex, and the emission through the same
// paths as the outline build.
//
// Why the heights are a union of balls: the distance from a vertex to the
// outline alone gives a cone (a disc becomes a tent, a band a sharp ridge).
// Every interior vertex q is instead the centre of the largest disc that fits
// the outline there (radius d(q), its distance to the border), and each such
// disc is raised into a ball; the height at p is the highest of those balls
// above p, sqrt(d(q)^2 - |p - q|^2). A disc of radius r becomes a sphere of
// radius r, a band of width 2a a tube of radius a, and the border stays at
// height 0. Only the balls that no neighbour's ball contains are swept, which
// keeps the work near the outline's medial axis. Everything is integer
// arithmetic on pixel offsets, so every platform gets the same heights.
#include "app/inflate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

#include "app/memory.h"
#include "app/messages.h"
#include "app/outline.h"
#include "geometry/geometry_pipeline.h"
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

struct InflateState {
    int32_t object = -1;          // the body's index; -1 while the object is a sheet
    int32_t front_vertices = -1;  // pool vertices 0 .. front_vertices - 1 face the viewer
};
InflateState inflation;

// The sheet as an index mesh while the body is planned.
struct Sheet {
    std::vector<Vec4> vertices;  // model positions; z is the sheet's relief
    std::vector<Triangle> triangles;
    std::vector<uint8_t> rim;     // per vertex: an end of a border edge
    std::vector<int32_t> border;  // border edges as pairs of vertex indices
};

uint64_t edge_key(int32_t a, int32_t b) {
    return (uint64_t(uint32_t(a)) << 32) | uint32_t(b);
}

// Twice the signed area of (a, b, c) in the screen plane; 64 bits cannot wrap
// for 32-bit coordinates below 2^30.
int64_t cross_xy(const Vec4& a, const Vec4& b, const Vec4& c) {
    return (int64_t(b.x) - a.x) * (int64_t(c.y) - a.y) -
           (int64_t(b.y) - a.y) * (int64_t(c.x) - a.x);
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
// screen plane.
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

// Edge snapping can fold a square onto itself: a triangle with a repeated
// vertex or no area is dropped, and so is one that would run along an edge
// in the same direction as an earlier triangle, so that every edge keeps at
// most one triangle on each side.
void drop_faulty_triangles(Sheet* sheet) {
    std::unordered_set<uint64_t> taken;
    std::vector<Triangle> kept;
    for (const Triangle& t : sheet->triangles) {
        const Vec4* p[3] = {&sheet->vertices[size_t(t.v[0])], &sheet->vertices[size_t(t.v[1])],
                            &sheet->vertices[size_t(t.v[2])]};
        if (cross_xy(*p[0], *p[1], *p[2]) == 0) continue;
        uint64_t keys[3] = {edge_key(t.v[0], t.v[1]), edge_key(t.v[1], t.v[2]),
                            edge_key(t.v[2], t.v[0])};
        if (taken.count(keys[0]) + taken.count(keys[1]) + taken.count(keys[2]) != 0) continue;
        taken.insert(keys, keys + 3);
        kept.push_back(t);
    }
    sheet->triangles.swap(kept);
}

// Directed edge -> the corner (3 x triangle + k) it starts from.
std::unordered_map<uint64_t, int32_t> edge_corners(const Sheet& sheet) {
    std::unordered_map<uint64_t, int32_t> edges;
    edges.reserve(sheet.triangles.size() * 3);
    for (size_t t = 0; t < sheet.triangles.size(); ++t)
        for (int k = 0; k < 3; ++k)
            edges[edge_key(sheet.triangles[t].v[k], sheet.triangles[t].v[(k + 1) % 3])] =
                int32_t(3 * t) + k;
    return edges;
}

// A border edge has a triangle on one side only; its ends are the rim.
void find_rim(Sheet* sheet) {
    auto edges = edge_corners(*sheet);
    sheet->rim.assign(sheet->vertices.size(), 0);
    sheet->border.clear();
    for (const Triangle& t : sheet->triangles) {
        for (int k = 0; k < 3; ++k) {
            int32_t a = t.v[k];
            int32_t b = t.v[(k + 1) % 3];
            if (edges.count(edge_key(b, a)) != 0) continue;
            sheet->rim[size_t(a)] = sheet->rim[size_t(b)] = 1;
            sheet->border.push_back(a);
            sheet->border.push_back(b);
        }
    }
}

// An inner edge between two rim vertices (a chord) would carry four
// triangles once the back shares the rim: it gets a midpoint above the
// surface. A chord too short for a midpoint of its own loses one of its
// triangles instead, which may turn further edges into chords.
bool short_chord(const Vec4& a, const Vec4& b) {
    return std::abs(int64_t(a.x) - b.x) < 2 && std::abs(int64_t(a.y) - b.y) < 2;
}

void drop_short_chords(Sheet* sheet) {
    for (;;) {
        find_rim(sheet);
        auto edges = edge_corners(*sheet);
        std::vector<uint8_t> dropped(sheet->triangles.size(), 0);
        bool any = false;
        for (size_t t = 0; t < sheet->triangles.size(); ++t) {
            const Triangle& tri = sheet->triangles[t];
            for (int k = 0; k < 3 && dropped[t] == 0; ++k) {
                int32_t a = tri.v[k];
                int32_t b = tri.v[(k + 1) % 3];
                if (sheet->rim[size_t(a)] == 0 || sheet->rim[size_t(b)] == 0) continue;
                auto twin = edges.find(edge_key(b, a));
                if (twin == edges.end() || dropped[size_t(twin->second / 3)] != 0) continue;
                if (!short_chord(sheet->vertices[size_t(a)], sheet->vertices[size_t(b)])) continue;
                dropped[t] = 1;
                any = true;
            }
        }
        if (!any) return;
        std::vector<Triangle> kept;
        for (size_t t = 0; t < sheet->triangles.size(); ++t)
            if (dropped[t] == 0) kept.push_back(sheet->triangles[t]);
        sheet->triangles.swap(kept);
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
void split_pinched_vertices(Sheet* sheet) {
    size_t corners = sheet->triangles.size() * 3;
    std::vector<int32_t> parent(corners);
    for (size_t c = 0; c < corners; ++c)
        parent[c] = int32_t(c);
    auto unite = [&](int32_t a, int32_t b) {
        parent[size_t(find_root(parent, a))] = find_root(parent, b);
    };
    auto edges = edge_corners(*sheet);
    for (size_t t = 0; t < sheet->triangles.size(); ++t) {
        for (int k = 0; k < 3; ++k) {
            const Triangle& tri = sheet->triangles[t];
            auto twin = edges.find(edge_key(tri.v[(k + 1) % 3], tri.v[k]));
            if (twin == edges.end()) continue;
            int32_t other = twin->second;  // the twin's corner at this edge's end
            int32_t other_next = (other / 3) * 3 + (other % 3 + 1) % 3;
            unite(int32_t(3 * t) + k, other_next);
            unite(int32_t(3 * t) + (k + 1) % 3, other);
        }
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
// first, the rest is fanned from a corner that makes no flat triangle.
void split_chords(Sheet* sheet) {
    auto edges = edge_corners(*sheet);
    std::unordered_map<uint64_t, int32_t> midpoints;
    for (const Triangle& t : sheet->triangles) {
        for (int k = 0; k < 3; ++k) {
            int32_t a = t.v[k];
            int32_t b = t.v[(k + 1) % 3];
            if (a > b || sheet->rim[size_t(a)] == 0 || sheet->rim[size_t(b)] == 0 ||
                edges.count(edge_key(b, a)) == 0)
                continue;
            const Vec4& pa = sheet->vertices[size_t(a)];
            const Vec4& pb = sheet->vertices[size_t(b)];
            // Arithmetic shifts: the halves of the sums round down on both sides.
            Vec4 middle = {int32_t((int64_t(pa.x) + pb.x) >> 1),
                           int32_t((int64_t(pa.y) + pb.y) >> 1),
                           int32_t((int64_t(pa.z) + pb.z) >> 1), MIDPOINT_W};
            int32_t m = int32_t(sheet->vertices.size());
            sheet->vertices.push_back(middle);
            sheet->rim.push_back(0);
            midpoints[edge_key(a, b)] = midpoints[edge_key(b, a)] = m;
        }
    }
    if (midpoints.empty()) return;
    std::vector<Triangle> result;
    for (const Triangle& t : sheet->triangles) {
        struct Point {
            int32_t v;
            bool middle;
        };
        std::vector<Point> ring;
        for (int k = 0; k < 3; ++k) {
            ring.push_back({t.v[k], false});
            auto m = midpoints.find(edge_key(t.v[k], t.v[(k + 1) % 3]));
            if (m != midpoints.end()) ring.push_back({m->second, true});
        }
        if (ring.size() == 3) {
            result.push_back(t);
            continue;
        }
        for (size_t i = 0; i < ring.size() && ring.size() > 3;) {
            const Point& before = ring[(i + ring.size() - 1) % ring.size()];
            const Point& after = ring[(i + 1) % ring.size()];
            if (!ring[i].middle && before.middle && after.middle) {
                result.push_back(Triangle{{before.v, ring[i].v, after.v}});
                ring.erase(ring.begin() + std::ptrdiff_t(i));
            } else {
                ++i;
            }
        }
        auto at = [&](size_t i) -> const Vec4& {
            return sheet->vertices[size_t(ring[i % ring.size()].v)];
        };
        for (size_t apex = 0; apex < ring.size(); ++apex) {
            bool flat = false;
            for (size_t i = 1; i + 1 < ring.size(); ++i)
                flat = flat || cross_xy(at(apex), at(apex + i), at(apex + i + 1)) == 0;
            if (flat) continue;
            for (size_t i = 1; i + 1 < ring.size(); ++i)
                result.push_back(Triangle{{ring[apex].v, ring[(apex + i) % ring.size()].v,
                                           ring[(apex + i + 1) % ring.size()].v}});
            break;
        }
    }
    sheet->triangles.swap(result);
}

// The union-of-balls height (see the top of the file) of every vertex off
// the rim, in pixels, at least 1 so that no inner vertex meets the rim.
std::vector<int32_t> vertex_heights(const Sheet& sheet) {
    size_t n = sheet.vertices.size();
    std::vector<uint8_t> used(n, 0);
    std::vector<std::vector<int32_t>> neighbours(n);
    for (const Triangle& t : sheet.triangles) {
        for (int k = 0; k < 3; ++k) {
            used[size_t(t.v[k])] = 1;
            neighbours[size_t(t.v[k])].push_back(t.v[(k + 1) % 3]);
        }
    }
    std::vector<int32_t> inner;
    for (size_t v = 0; v < n; ++v)
        if (used[v] != 0 && sheet.rim[v] == 0) inner.push_back(int32_t(v));

    // Squared distance to the border, in pixels.
    std::vector<int64_t> reach2(n, 0);
    for (int32_t v : inner) {
        const Vec4& p = sheet.vertices[size_t(v)];
        int64_t best = INT64_MAX;
        for (size_t e = 0; e + 1 < sheet.border.size(); e += 2) {
            int64_t d = segment_distance2(p, sheet.vertices[size_t(sheet.border[e])],
                                          sheet.vertices[size_t(sheet.border[e + 1])]);
            if (d < best) best = d;
        }
        reach2[size_t(v)] = best == INT64_MAX ? 0 : best;
    }
    // A ball lies inside a neighbour's when d(u) >= d(v) + |u - v|; compared
    // in sixteenths of a pixel, rounded down.
    auto sixteenths = [](int64_t squared) { return floor_sqrt(squared << 8); };
    std::vector<int64_t> height2(n, 0);
    for (int32_t q : inner) {
        int64_t radius = sixteenths(reach2[size_t(q)]);
        bool contained = false;
        for (int32_t u : neighbours[size_t(q)]) {
            if (sheet.rim[size_t(u)] != 0) continue;
            int64_t step =
                sixteenths(distance2(sheet.vertices[size_t(u)], sheet.vertices[size_t(q)]));
            if (sixteenths(reach2[size_t(u)]) >= radius + step) contained = true;
        }
        height2[size_t(q)] = std::max(height2[size_t(q)], reach2[size_t(q)]);
        if (contained) continue;
        const Vec4& centre = sheet.vertices[size_t(q)];
        int64_t r2 = reach2[size_t(q)];
        for (int32_t p : inner) {
            int64_t d2 = distance2(sheet.vertices[size_t(p)], centre);
            if (d2 < r2 && r2 - d2 > height2[size_t(p)]) height2[size_t(p)] = r2 - d2;
        }
    }
    std::vector<int32_t> heights(n, 0);
    for (int32_t v : inner)
        heights[size_t(v)] = int32_t(std::max<int64_t>(1, floor_sqrt(height2[size_t(v)])));
    return heights;
}

struct RecordHash {
    size_t operator()(const Vec4& v) const {
        uint64_t h = uint32_t(v.x);
        for (int32_t c : {v.y, v.z, v.w})
            h = h * 0x9E3779B97F4A7C15ull + uint32_t(c);
        return size_t(h ^ (h >> 29));
    }
};
struct RecordEqual {
    bool operator()(const Vec4& a, const Vec4& b) const {
        return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
    }
};

// Front triangles in sheet order, then the back ones wound the other way;
// vertices numbered as the pool will number them, each record unique so that
// the pool's sharing of equal records joins nothing the plan keeps apart.
void assemble(const Sheet& sheet, const std::vector<int32_t>& heights, BodyPlan* plan) {
    size_t n = sheet.vertices.size();
    std::vector<int32_t> front(n, -1);
    std::vector<int32_t> back(n, -1);
    std::unordered_set<Vec4, RecordHash, RecordEqual> records;
    auto number = [&](std::vector<int32_t>& side, int32_t v, int32_t lift) {
        if (sheet.rim[size_t(v)] != 0) {
            // The rim is shared: one record for both sides.
            int32_t shared = front[size_t(v)] >= 0 ? front[size_t(v)] : back[size_t(v)];
            if (shared >= 0) return front[size_t(v)] = back[size_t(v)] = shared;
        }
        if (side[size_t(v)] >= 0) return side[size_t(v)];
        Vec4 record = sheet.vertices[size_t(v)];
        record.z += lift * heights[size_t(v)];
        while (!records.insert(record).second)
            record.w += DISTINCT_W_STEP;
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
    for (int32_t kind : {POOL_VERTEX, POOL_COLOUR, POOL_NORMAL}) {
        const GeometryPool* pool = geometry_pool(kind);
        if (pool == nullptr || pool->records == nullptr) return false;
    }
    return current_render_list() != nullptr && current_render_list()->model_normals != nullptr;
}

// Emits the planned body as a new object; its index, or -1 when a buffer
// refused it after all.
int32_t emit_body(const BodyPlan& plan) {
    int32_t body = create_object(2);
    if (body < 0) return -1;
    const ColourRecord* const colours[3] = {&plan.colour, &plan.colour, &plan.colour};
    for (const Triangle& t : plan.triangles) {
        const Vec4* const vertices[3] = {&plan.vertices[size_t(t.v[0])],
                                         &plan.vertices[size_t(t.v[1])],
                                         &plan.vertices[size_t(t.v[2])]};
        if (add_triangle(vertices, colours, nullptr, nullptr, -1, POLY_CULL, 0) < 0) {
            finish_object();
            return -1;
        }
    }
    add_object_part(body, 0, int32_t(plan.vertices.size()), 0);
    finish_object();
    set_part_flags(body, PART_LIT);
    show_object(body);
    if (compute_object_normals(body) != 0) return -1;
    pack_colours();
    return body;
}

}  // namespace

bool plan_body(int32_t index, BodyPlan* plan) {
    *plan = BodyPlan{};
    Sheet sheet;
    if (!gather_sheet(get_object(index), &sheet, &plan->colour)) return false;
    drop_faulty_triangles(&sheet);
    drop_short_chords(&sheet);
    if (sheet.triangles.empty()) return false;
    split_pinched_vertices(&sheet);
    find_rim(&sheet);
    split_chords(&sheet);
    assemble(sheet, vertex_heights(sheet), plan);
    return true;
}

int32_t inflate_object(int32_t index) {
    SceneObject* sheet = get_object(index);
    if (sheet == nullptr) return -1;
    if (inflation.object == index || !pools_bound()) return index;
    BodyPlan plan;
    if (!plan_body(index, &plan)) return index;
    if (const char* text = capacity_text(plan); text != nullptr) {
        show_error("%s", text);
        return index;
    }

    // The body replaces the sheet and keeps its placement and shading.
    Vec4 translation = sheet->translation;
    Vec4 rotation = sheet->rotation;
    Vec4 scale = sheet->scale;
    const PrimitivePacket* first = next_object_polygon(sheet, nullptr);
    int32_t shading = first != nullptr ? int32_t(first->extra & SHADE_MODE_MASK) : 0;
    delete_object(index);
    reset_frame_pools();
    int32_t body = emit_body(plan);
    if (body < 0) {
        // Unreachable while the plan's count matches the emission: the
        // sheet is gone, so drawing starts over as after a failed build.
        discard_object(current_object() != nullptr ? current_object()->index : -1);
        adopt_outline_object(-1);
        return -1;
    }
    SceneObject* object = get_object(body);
    object->translation = translation;
    object->rotation = rotation;
    object->scale = scale;
    set_object_shading(body, shading);
    adopt_outline_object(body);
    inflation = {body, plan.front_vertices};
    return body;
}

int32_t inflated_front_vertices() {
    return inflation.front_vertices;
}

void forget_inflation() {
    inflation = InflateState{};
}
