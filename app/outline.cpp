// Strokes, the outline build (fill, scan, snap, triangulate), vertex pushing
// and discarding.
#include "app/outline.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/colour_strokes.h"
#include "app/edited_object.h"
#include "app/figure.h"
#include "app/input.h"
#include "app/outline_gap.h"
#include "app/part_attachment.h"
#include "app/part_colours.h"
#include "app/platform.h"
#include "app/push_brush.h"
#include "app/screen.h"
#include "app/stroke_history.h"
#include "app/trace_image.h"
#include "base/memory.h"
#include "geometry/part_mesh.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"

namespace {

struct OutlineState {
    OutlineCell* cells = nullptr;  // columns x rows, row-major, from alloc_zeroed
    int32_t columns = 0;
    int32_t rows = 0;
};

OutlineState grid;

// The region the last build's fill left, cropped to its filled pixels: the
// page is cleared in editing mode, so an inflation later reads the region from
// here. Kept in a vector (not the allocator's blocks), so that a build
// allocates as it always did.
RegionMask filled_region;
// The colour strokes over it as the build found them: the new part's painting.
std::shared_ptr<const PartPainting> filled_painting;

// Half the screen size, taken by an arithmetic shift as the projection centre is.
int32_t half_width() {
    return screen_width() >> 1;
}
int32_t half_height() {
    return screen_height() >> 1;
}

bool is_fill(const uint16_t* pixels, int32_t x, int32_t y) {
    return read_pixel(pixels, x, y) == OUTLINE_FILL_PIXEL;
}

void keep_filled_region(const uint16_t* pixels) {
    const int32_t w = pixels != nullptr ? screen_width() : 0;
    const int32_t h = pixels != nullptr ? screen_height() : 0;
    filled_region = RegionMask{};
    // The bounds of the filled pixels: each row searched from both ends, so
    // that a row is read only as far as its outermost filled pixels.
    int32_t left = w, right = -1, top = -1, bottom = -1;
    for (int32_t r = 0; r < h; ++r) {
        const uint16_t* row = pixels + int64_t(r) * w;
        int32_t first = 0;
        while (first < w && row[first] != OUTLINE_FILL_PIXEL)
            ++first;
        if (first == w) continue;
        int32_t last = w - 1;
        while (row[last] != OUTLINE_FILL_PIXEL)
            --last;
        left = first < left ? first : left;
        right = last > right ? last : right;
        if (top < 0) top = r;
        bottom = r;
    }
    if (top < 0) return;
    RegionMask& mask = filled_region;
    mask.width = right - left + 1;
    mask.height = bottom - top + 1;
    mask.origin_x = left - half_width();
    mask.origin_y = top - half_height();
    mask.inside.resize(size_t(mask.width) * size_t(mask.height));
    for (int32_t r = 0; r < mask.height; ++r) {
        const uint16_t* row = pixels + int64_t(top + r) * w + left;
        uint8_t* inside = mask.inside.data() + size_t(r) * size_t(mask.width);
        for (int32_t c = 0; c < mask.width; ++c)
            inside[c] = row[c] == OUTLINE_FILL_PIXEL ? 1 : 0;
    }
}

// A grid point that is not green but lies one step from a green one is moved
// onto the first green pixel towards that neighbour, so the border of the
// sheet follows the region's edge instead of the grid.
void snap_border_point(const uint16_t* pixels, int32_t px, int32_t py) {
    constexpr int32_t G = GRID_STEP;
    // Below, above, right, left: the first green neighbour wins.
    constexpr int32_t DIRECTIONS[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
    for (const auto& direction : DIRECTIONS) {
        int32_t sx = direction[0];
        int32_t sy = direction[1];
        if (!is_fill(pixels, px + sx * G, py + sy * G)) continue;
        // The neighbour itself is green, so the walk stops within G pixels.
        for (int32_t step = 1; step <= G; ++step) {
            int32_t ex = px + sx * step;
            int32_t ey = py + sy * step;
            if (!is_fill(pixels, ex, ey)) continue;
            OutlineCell* cell = set_outline_cell(px, py, 0);
            if (cell != nullptr) {
                cell->x = ex - half_width();
                cell->y = ey - half_height();
            }
            return;
        }
    }
}

void scan_grid(const uint16_t* pixels) {
    constexpr int32_t G = GRID_STEP;
    int32_t w = screen_width();
    int32_t h = screen_height();
    for (int32_t py = 0; py < h; py += G) {
        for (int32_t px = 0; px < w; px += G) {
            if (is_fill(pixels, px, py)) {
                set_outline_cell(px, py, 0);
                continue;
            }
            // The first row and column are only sampled, never snapped, and
            // the neighbours probed must lie on the page.
            if (py + G <= h && px + G <= w && py >= G && px >= G) snap_border_point(pixels, px, py);
        }
    }
}

// The vertices of the sheet as add_triangle enters the cells' records into a
// pool: one per distinct record, in the order the triangles first name them.
// Each cell is looked up once; an open-addressed table of record index + 1
// (0 = empty), twice the cells or more, finds a cell whose record equals an
// earlier cell's (a border sample snapped onto another's position).
struct SheetVertices {
    PartMesh* mesh;
    std::vector<int32_t> of_cell;  // per cell: its vertex, or -1 before its first triangle
    std::vector<int32_t> table;
    uint32_t mask = 0;

    // Every corner of every triangle asks: the known answer stays inline.
    [[gnu::always_inline]] int32_t vertex(const OutlineCell* cell) {
        const int32_t known = of_cell[size_t(cell - grid.cells)];
        return known >= 0 ? known : first_use(cell);
    }

    // A cell's first triangle: its record is found among the vertices or added.
    [[gnu::noinline]] int32_t first_use(const OutlineCell* cell) {
        int32_t& known = of_cell[size_t(cell - grid.cells)];
        // Scanned cells differ in x and y only (z and w are 0): hashed on
        // them, compared whole.
        const uint32_t h = (uint32_t(cell->x) * 0x9E3779B1u) ^ uint32_t(cell->y);
        for (uint32_t slot = (h ^ (h >> 16)) & mask;; slot = (slot + 1) & mask) {
            const int32_t entry = table[slot];
            if (entry == 0) {
                mesh->vertices.push_back(*cell);
                table[slot] = int32_t(mesh->vertices.size());
                return known = table[slot] - 1;
            }
            const Vec4& v = mesh->vertices[size_t(entry - 1)];
            if (v.x == cell->x && v.y == cell->y && v.z == cell->z && v.w == cell->w)
                return known = entry - 1;
        }
    }

    [[gnu::always_inline]] void triangle(const OutlineCell* a, const OutlineCell* b,
                                         const OutlineCell* c) {
        MeshTriangle t;
        t.v[0] = vertex(a);
        t.v[1] = vertex(b);
        t.v[2] = vertex(c);
        mesh->triangles.push_back(t);
    }
};

// The sheet of the scanned grid: two triangles per square of four filled
// corners, one for three. Every triangle turns the same way on the screen
// (y down) as (TL, TR, BL), so the whole sheet faces the viewer. The
// vertices enter the pool triangle by triangle, the normals as the lit
// object's are computed.
PartMesh sheet_mesh() {
    PartMesh mesh;
    mesh.entered_by_triangle = true;
    const int64_t cells = int64_t(grid.columns) * grid.rows;
    SheetVertices vertices = {&mesh, std::vector<int32_t>(size_t(cells), -1), {}, 0};
    uint32_t slots = 2;
    while (slots < 2 * uint64_t(cells))
        slots *= 2;
    vertices.table.assign(slots, 0);
    vertices.mask = slots - 1;
    // At most a vertex a cell and two triangles a square.
    mesh.vertices.reserve(size_t(cells));
    mesh.triangles.reserve(size_t(2 * cells));
    for (int32_t r = 0; r + 1 < grid.rows; ++r) {
        for (int32_t k = 0; k + 1 < grid.columns; ++k) {
            OutlineCell* corners[4] = {outline_cell(k, r), outline_cell(k, r + 1),
                                       outline_cell(k + 1, r + 1), outline_cell(k + 1, r)};
            OutlineCell* kept[4] = {};
            int32_t count = 0;
            for (OutlineCell* corner : corners)
                if (corner->w == CELL_FILLED) kept[count++] = corner;
            if (count == 4) {
                // kept = TL, BL, BR, TR
                vertices.triangle(kept[0], kept[3], kept[1]);
                vertices.triangle(kept[2], kept[1], kept[3]);
            } else if (count == 3) {
                vertices.triangle(kept[0], kept[2], kept[1]);
            }
        }
    }
    mesh.front_count = int32_t(mesh.vertices.size());
    refresh_part_normals(&mesh);
    return mesh;
}

void empty_grid() {
    for (int64_t i = 0; i < int64_t(grid.columns) * grid.rows; ++i)
        grid.cells[i].w = CELL_EMPTY;
}

// Fills the region around the client point of screen point (x, y) on the
// drawing page and keeps it; returns the page's pixels, which the fill has
// finished with.
const uint16_t* fill_outline_region(int32_t x, int32_t y) {
    const uint16_t* pixels = page_pixels(drawing_page_index());
    platform_screen_to_client(&x, &y);
    // An outline that stops a few pixels short of its start is closed first.
    close_outline_gaps(x, y);
    // The fill makes the strokes part of the page for good; the colour strokes,
    // never in the page, go with the region they touch.
    const std::vector<StrokeSegment> colour = colour_segments();
    forget_strokes();
    // The fill completes before the scan reads the pixels.
    platform_flood_fill(drawing_page_index(), x, y, OUTLINE_FILL_PIXEL);
    keep_filled_region(pixels);
    filled_painting = painting_in_region(colour, filled_region, trace_picture());
    return pixels;
}

}  // namespace

int init_outline_grid() {
    free_outline_grid();
    grid.columns = screen_width() / GRID_STEP;
    grid.rows = screen_height() / GRID_STEP;
    int64_t cell_count = int64_t(grid.columns) * grid.rows;
    // At least one cell, so that an empty grid is not mistaken for a failure.
    int64_t bytes = (cell_count > 0 ? cell_count : 1) * int64_t(sizeof(OutlineCell));
    if (grid.columns < 0 || grid.rows < 0 || bytes > INT32_MAX) {
        grid.columns = grid.rows = 0;
        return -1;
    }
    grid.cells = static_cast<OutlineCell*>(alloc_zeroed(int32_t(bytes)));
    if (grid.cells == nullptr) {
        grid.columns = grid.rows = 0;
        return -1;
    }
    for (int64_t i = 0; i < cell_count; ++i)
        grid.cells[i].w = CELL_EMPTY;
    return 0;
}

void free_outline_grid() {
    free_block(grid.cells);
    grid.cells = nullptr;
    grid.columns = grid.rows = 0;
}

int32_t grid_columns() {
    return grid.columns;
}
int32_t grid_rows() {
    return grid.rows;
}

OutlineCell* outline_cell(int32_t column, int32_t row) {
    if (grid.cells == nullptr || column < 0 || row < 0 || column >= grid.columns ||
        row >= grid.rows)
        return nullptr;
    return &grid.cells[int64_t(row) * grid.columns + column];
}

uint16_t read_pixel(const uint16_t* pixels, int32_t x, int32_t y) {
    // A page has the full client height: the screen height plus its last row.
    int32_t w = screen_width();
    if (pixels == nullptr || x < 0 || y < 0 || x >= w || y > screen_height()) return 0;
    return pixels[int64_t(y) * w + x];
}

OutlineCell* set_outline_cell(int32_t px, int32_t py, int32_t z) {
    if (grid.columns <= 0 || grid.rows <= 0) return nullptr;
    // Points beyond the last whole cell (a size that is not a multiple of 8)
    // land in the last column or row.
    int32_t column = px / GRID_STEP;
    int32_t row = py / GRID_STEP;
    column = column < 0 ? 0 : column > grid.columns - 1 ? grid.columns - 1 : column;
    row = row < 0 ? 0 : row > grid.rows - 1 ? grid.rows - 1 : row;
    OutlineCell* cell = outline_cell(column, row);
    cell->x = px - half_width();
    cell->y = py - half_height();
    cell->z = z;
    cell->w = CELL_FILLED;
    return cell;
}

void draw_stroke(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t pen) {
    platform_screen_to_client(&x0, &y0);
    platform_screen_to_client(&x1, &y1);
    remember_stroke_segment(left_button_presses(), x0, y0, x1, y1, pen);
    if (pen == BLACK_PEN) platform_draw_line(drawing_page_index(), x0, y0, x1, y1);
}

bool point_on_stroke(int32_t x, int32_t y) {
    const uint16_t* pixels = page_pixels(drawing_page_index());
    platform_screen_to_client(&x, &y);
    if (pixels == nullptr || x < 0 || y < 0 || x >= screen_width() || y >= screen_height())
        return false;
    return pixels[int64_t(y) * screen_width() + x] == STROKE_PIXEL;
}

int32_t build_sheet_part(int32_t x, int32_t y, const PartPlacement& placement, int32_t parent,
                         bool behind) {
    const uint16_t* pixels = fill_outline_region(x, y);
    empty_grid();
    scan_grid(pixels);
    FigurePart part;
    part.kind = EDITED_SHEET;
    part.mesh = share_part_mesh(sheet_mesh());
    part.colour = DEFAULT_PART_COLOUR;  // every triangle is red
    part.shading = 0;
    part.placement = placement;
    part.region = std::make_shared<const RegionMask>(std::move(filled_region));
    filled_region = RegionMask{};
    part.painting = std::move(filled_painting);
    if (parent != NO_PART) {
        part.parent = parent;
        part.behind = behind;
        part.placement = attached_placement(figure(), part);
    }
    const bool first = figure().part_count == 0;
    if (add_figure_part(std::move(part))) return edited_object().index;
    if (first || figure().part_count == 0) {
        // Nothing is left of the figure: drawing starts over on a clean page.
        discard_object(NO_OBJECT);
        forget_edited_object();
    } else {
        // The other parts stay; the outline drawn for this one goes.
        forget_strokes();
        empty_grid();
        clear_page_as_new(drawing_page_index());
    }
    return NO_OBJECT;
}

int32_t build_object_from_outline(int32_t x, int32_t y) {
    return build_sheet_part(x, y, UNPLACED, NO_PART, false);
}

void overlay_strokes() {
    const int32_t from = drawing_page_index();
    if (from == current_page_index()) return;
    const uint16_t* strokes = page_pixels(from);
    uint16_t* picture = current_page_pixels();
    if (strokes == nullptr || picture == nullptr) return;
    const int64_t count = int64_t(screen_width()) * screen_height();
    for (int64_t i = 0; i < count; ++i)
        if (strokes[i] == STROKE_PIXEL) picture[i] = STROKE_PIXEL;
}

namespace {

// The push on a sheet: every vertex within GRID_STEP of the cursor in x and
// in y moves (64-bit bounds: a cursor far outside the window must not wrap
// around).
void push_sheet_vertices(PartMesh* sheet, int64_t cx, int64_t cy, int32_t delta) {
    const int32_t front = std::min(sheet->front_count, int32_t(sheet->vertices.size()));
    for (int32_t i = 0; i < front; ++i) {
        Vec4& vertex = sheet->vertices[size_t(i)];
        if (cx - GRID_STEP <= vertex.x && vertex.x <= cx + GRID_STEP &&
            cy - GRID_STEP <= vertex.y && vertex.y <= cy + GRID_STEP)
            vertex.z += delta;
    }
}

}  // namespace

void push_vertices(int32_t x, int32_t y, int32_t delta) {
    platform_screen_to_client(&x, &y);
    push_part_vertices(figure().edited, int64_t(x) - half_width(), int64_t(y) - half_height(),
                       delta);
}

void push_part_vertices(int32_t part, int64_t cx, int64_t cy, int32_t delta) {
    const Figure& f = figure();
    if (part >= 0 && part < f.part_count && f.parts[part].kind == EDITED_BODY) {
        push_body_part(part, cx, cy, delta);
        return;
    }
    PartMesh* mesh = edit_part_mesh(part);
    if (mesh == nullptr) return;
    push_sheet_vertices(mesh, cx, cy, delta);
    refresh_part_normals(mesh);
    store_part_vertices(part);
}

void discard_object(int32_t index) {
    forget_strokes();
    delete_object(index);
    empty_grid();
    reset_frame_pools();
    release_body_buffers();
    set_drawing_page(current_page_index());
    clear_screen();
}
