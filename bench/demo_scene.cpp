// Builds the demonstration's lit sheet on the headless backend and renders
// its editing-mode frame.
#include "bench/demo_scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/animate.h"
#include "app/edited_object.h"
#include "app/figure.h"
#include "app/frame.h"
#include "app/mesh_export.h"
#include "app/outline.h"
#include "app/part_mark.h"
#include "app/platform.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/startup.h"
#include "app/stroke_history.h"
#include "app/view_zoom.h"
#include "geometry/camera.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "platform/headless/headless.h"
#include "raster/raster_target.h"
#include "raster/render_frame.h"
#include "raster/render_stats.h"
#include "raster/texture_loader.h"

namespace {

struct DemoState {
    HeadlessConfig config;
    DemoOutline outline = DemoOutline::ELLIPSE;
    int32_t object = -1;
    // A raster of another size, when one is in use.
    int32_t raster_width = 0;
    int32_t raster_height = 0;
    int32_t scale256 = 256;
    std::vector<uint16_t> raster;
};

DemoState demo;

int32_t centre_x() {
    return DEMO_CLIENT_WIDTH / 2;
}
int32_t centre_y() {
    return (DEMO_CLIENT_HEIGHT - 1) / 2;  // the last row is never drawn
}

// Point k of the closed outline (the ellipse or the disc), in client pixels;
// point ELLIPSE_POINTS is point 0 again.
void outline_point(int32_t k, int32_t* x, int32_t* y) {
    const bool disc = demo.outline == DemoOutline::DISC;
    const int32_t half_width = disc ? DISC_RADIUS : ELLIPSE_HALF_WIDTH;
    const int32_t half_height = disc ? DISC_RADIUS : ELLIPSE_HALF_HEIGHT;
    const double angle = 2.0 * 3.14159265358979323846 * k / ELLIPSE_POINTS;
    *x = centre_x() + int32_t(std::lround(half_width * std::cos(angle)));
    *y = centre_y() + int32_t(std::lround(half_height * std::sin(angle)));
}

void to_screen(int32_t* x, int32_t* y) {
    *x += demo.config.client_origin_x;
    *y += demo.config.client_origin_y;
}

// The outline drawn with the black pen, one segment per frame while the left
// button is held, as a user draws.
void draw_demo_outline() {
    int32_t x = 0;
    int32_t y = 0;
    outline_point(0, &x, &y);
    headless_queue_move(x, y);
    headless_run_frames(1);
    headless_queue_button_down(BUTTON_LEFT);
    for (int32_t k = 1; k <= ELLIPSE_POINTS; ++k) {
        outline_point(k, &x, &y);
        headless_queue_move(x, y);
        headless_run_frames(1);
    }
    headless_queue_button_up(BUTTON_LEFT);
    headless_run_frames(1);
}

// Colour key `key` (1 to 8) pressed for one frame and let go in the next.
void pen_key_frame(int32_t key) {
    headless_queue_key_down(KEY_COLOUR_FIRST + key - 1);
    headless_run_frames(1);
    headless_queue_key_up(KEY_COLOUR_FIRST + key - 1);
    headless_run_frames(1);
}

int32_t build_demo_sheet();

}  // namespace

int32_t open_demo_scene(DemoOutline outline) {
    demo = DemoState{};
    demo.outline = outline;
    if (headless_open(demo.config) != 0) return -1;
    if (outline != DemoOutline::NONE) draw_demo_outline();
    return build_demo_sheet();
}

int32_t open_painted_scene() {
    demo = DemoState{};
    demo.outline = DemoOutline::ELLIPSE;
    if (headless_open(demo.config) != 0) return -1;
    draw_demo_outline();
    // Waves across the ellipse, inside it, one below the other, each in the
    // next colour pen.
    for (int32_t s = 0; s < PAINTED_SCENE_STROKES; ++s) {
        pen_key_frame(2 + s % 7);
        const int32_t row = centre_y() - 150 + s * 300 / (PAINTED_SCENE_STROKES - 1);
        for (int32_t k = 0; k <= 48; ++k) {
            const double angle = 2.0 * std::numbers::pi * k / 16;
            headless_queue_move(centre_x() - 150 + k * 300 / 48,
                                row + int32_t(std::lround(12 * std::sin(angle))));
            headless_run_frames(1);
            if (k == 0) headless_queue_button_down(BUTTON_LEFT);
        }
        headless_queue_button_up(BUTTON_LEFT);
        headless_run_frames(1);
    }
    pen_key_frame(1);
    if (build_demo_sheet() < 0) return -1;
    headless_queue_key_down(KEY_I);
    headless_run_frames(1);
    headless_queue_key_up(KEY_I);
    headless_run_frames(1);
    headless_drain_events();
    if (edited_object().kind != EDITED_BODY || figure().parts[0].painting == nullptr) {
        close_demo_scene();
        return -1;
    }
    demo.object = edited_object().index;
    return demo.object;
}

namespace {

// The sheet built with a right-click at the centre, as open_demo_scene says.
int32_t build_demo_sheet() {
    headless_queue_move(centre_x(), centre_y());
    headless_run_frames(1);
    headless_queue_button_down(BUTTON_RIGHT);
    headless_run_frames(1);  // the build runs in this frame
    headless_queue_button_up(BUTTON_RIGHT);
    headless_drain_events();
    demo.object = selected_object();
    if (demo.object < 0) close_demo_scene();
    return demo.object;
}

}  // namespace

void close_demo_scene() {
    // Shut-down frees what start-up allocated, as closing the window would.
    if (headless_shut_down_count() == 0) shut_down();
    headless_close();
    demo = DemoState{};
}

int32_t open_grid_scene(int32_t triangles) {
    demo = DemoState{};
    // Cells in the proportions of the drawn window, at most 32,767 vertices.
    const int32_t width = DEMO_CLIENT_WIDTH;
    const int32_t height = DEMO_CLIENT_HEIGHT - 1;  // the last row is never drawn
    const int32_t per_cell = triangles > GRID_SCENE_MAX_TRIANGLES ? 4 : 2;
    const double cells = std::max(1, triangles / per_cell);
    const int32_t columns = std::max(1, int32_t(std::lround(std::sqrt(cells * width / height))));
    int32_t rows = std::max(1, int32_t(std::lround(cells / columns)));
    while (rows > 1 && (columns + 1) * (rows + 1) > INT16_MAX)
        --rows;
    const int32_t vertices = (columns + 1) * (rows + 1);
    if (vertices > INT16_MAX) return -1;

    set_packet_area_override((per_cell * columns * rows + 2) * TRIANGLE_PACKET_BYTES);
    const int opened = headless_open(demo.config);
    set_packet_area_override(0);
    if (opened != 0) {
        close_demo_scene();
        return -1;
    }
    if (vertices > VERTEX_POOL_CAPACITY) {
        alloc_vertex_pool(vertices);
        alloc_normal_pool(vertices);
    }

    // Model positions as the outline tools make them: the screen position
    // less half the screen, in a relief of smooth bumps 6 units deep on a
    // 24-pixel lattice, like the demonstration's pushed sheet.
    auto corner = [&](int32_t k, int32_t r) {
        const int32_t x = k * width / columns;
        const int32_t y = r * height / rows;
        const double wave = (1 + std::cos(2 * std::numbers::pi * (x - 12) / 24.0)) *
                            (1 + std::cos(2 * std::numbers::pi * (y - 12) / 24.0)) / 4;
        return Vec4{x - (width >> 1), y - (height >> 1), -int32_t(std::lround(6 * wave)), 0};
    };
    const ColourRecord red{255, 0, 0, 0};
    const ColourRecord* const colours[3] = {&red, &red, &red};
    demo.object = create_object(2);
    int32_t max_vertex = -1;
    for (int32_t r = 0; r < rows && demo.object >= 0; ++r) {
        for (int32_t k = 0; k < columns; ++k) {
            const Vec4 tl = corner(k, r), tr = corner(k + 1, r);
            const Vec4 bl = corner(k, r + 1), br = corner(k + 1, r + 1);
            // The outline tools' order and winding: (TL, TR, BL), (BR, BL, TR);
            // the other diagonal's pair, (TL, TR, BR), (BR, BL, TL), turns the
            // same way.
            const Vec4* const cut[4][3] = {
                {&tl, &tr, &bl}, {&br, &bl, &tr}, {&tl, &tr, &br}, {&br, &bl, &tl}};
            for (int32_t t = 0; t < per_cell; ++t) {
                const Vec4* const* triangle = cut[t];
                const int32_t result =
                    add_triangle(triangle, colours, nullptr, nullptr, -1, POLY_CULL, 0);
                if (result < 0) {
                    close_demo_scene();
                    return -1;
                }
                max_vertex = std::max(max_vertex, result);
            }
        }
    }
    if (demo.object < 0) {
        close_demo_scene();
        return -1;
    }
    finish_lit_object(demo.object, max_vertex + 1);
    set_object_shading(demo.object, 0);
    pack_colours();
    return per_cell * columns * rows;
}

void use_demo_raster(int32_t width, int32_t height) {
    demo.raster.clear();
    demo.raster_width = demo.raster_height = 0;
    demo.scale256 = 256;
    if (width <= 0 || height <= 0) {
        set_screen_geometry(screen_width(), screen_height(), current_page_pixels());
        return;
    }
    // An even width makes every row whole 32-bit words for the clear.
    demo.raster_width = width + (width & 1);
    demo.raster_height = height;
    demo.scale256 = height * 256 / (DEMO_CLIENT_HEIGHT - 1);
    demo.raster.assign(size_t(demo.raster_width) * size_t(height), 0);
    set_screen_geometry(demo.raster_width, height, demo.raster.data());
}

int32_t demo_raster_scale256() {
    return demo.scale256;
}

void set_demo_rotation(int32_t x, int32_t y, int32_t z) {
    Vec4* angles = get_object_rotation(demo.object);
    if (angles == nullptr) return;
    angles->x = x;
    angles->y = y;
    angles->z = z;
    // A figure's parts turn together, as the frame has them before its transform.
    place_figure();
}

int32_t turn_demo_wheel(int32_t notches) {
    headless_queue_wheel(notches);
    headless_run_frames(1);
    return eye_distance();
}

void turn_demo_wheel_back() {
    turn_demo_wheel(-zoom_notch());
}

void add_demo_relief(int32_t depth) {
    for (int32_t y = 12; y < DEMO_CLIENT_HEIGHT - 1; y += 24) {
        for (int32_t x = 12; x < DEMO_CLIENT_WIDTH; x += 24) {
            int32_t screen_x = x, screen_y = y;
            to_screen(&screen_x, &screen_y);
            for (int32_t k = 0; k < depth; ++k)
                push_vertices(screen_x, screen_y, -1);
        }
    }
}

int32_t inflate_demo_object() {
    inflate_edited_object();
    if (edited_object().kind != EDITED_BODY) return -1;
    demo.object = edited_object().index;
    return demo.object;
}

void render_demo_frame() {
    if (demo.raster.empty()) {
        clear_screen();
        transform_scene();
        render_frame();
        mark_edited_part();
        return;
    }
    fill_pixel_pairs(demo.raster.data(), int64_t(demo.raster_width / 2) * demo.raster_height,
                     clear_colour_pair());
    transform_scene();
    // Projected positions scaled about the centre; depths stay, and so does
    // every bucket. Arithmetic shifts: a floor, as the projection's.
    RenderList* list = current_render_list();
    const int32_t count = std::min(list->vertex_count, list->vertex_capacity);
    const int32_t from_x = screen_centre_x(), from_y = screen_centre_y();
    const int32_t to_x = demo.raster_width >> 1, to_y = demo.raster_height >> 1;
    for (int32_t i = 0; i < count; ++i) {
        ScreenVertex& vertex = list->screen_vertices[i];
        if (vertex.w < 0) continue;
        vertex.x = to_x + (((vertex.x - from_x) * demo.scale256) >> 8);
        vertex.y = to_y + (((vertex.y - from_y) * demo.scale256) >> 8);
    }
    render_frame();
    mark_edited_part();
}

void prepare_demo_rebuild() {
    discard_figure_objects();
    discard_object(NO_OBJECT);
    demo.object = -1;
    if (demo.outline == DemoOutline::NONE) return;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    outline_point(0, &x0, &y0);
    to_screen(&x0, &y0);
    for (int32_t k = 1; k <= ELLIPSE_POINTS; ++k) {
        outline_point(k, &x1, &y1);
        to_screen(&x1, &y1);
        draw_stroke(x0, y0, x1, y1, BLACK_PEN);
        x0 = x1;
        y0 = y1;
    }
}

int32_t rebuild_demo_object() {
    int32_t x = centre_x();
    int32_t y = centre_y();
    to_screen(&x, &y);
    demo.object = build_object_from_outline(x, y);
    return demo.object;
}

int32_t demo_triangles() {
    const RenderList* list = current_render_list();
    return list != nullptr ? list->packet_count - 1 : 0;  // less the object's header
}

int32_t last_frame_drawn() {
    return render_stats.drawn;
}

int64_t last_frame_pixels() {
    return render_stats.pixels_written;
}

const uint16_t* demo_page() {
    return demo.raster.empty() ? headless_page(0) : demo.raster.data();
}

int32_t demo_page_width() {
    return demo.raster.empty() ? DEMO_CLIENT_WIDTH : demo.raster_width;
}

int32_t demo_page_height() {
    return demo.raster.empty() ? DEMO_CLIENT_HEIGHT - 1 : demo.raster_height;
}

namespace {

// Ellipses (centre, half-axes) and where each is clicked, in client pixels.
struct FigurePartOutline {
    int32_t x, y, half_width, half_height, click_x, click_y;
};
constexpr FigurePartOutline FIGURE_PARTS[FIGURE_SCENE_PARTS] = {
    {257, 245, 58, 140, 257, 245}, {257, 66, 118, 56, 257, 66},  {385, 190, 92, 33, 330, 200},
    {129, 190, 92, 33, 184, 200},  {213, 390, 40, 88, 213, 380}, {301, 390, 40, 88, 301, 380}};
// The clicks of the attached figure: each part's over the body's outline.
constexpr int32_t ATTACHED_CLICKS[FIGURE_SCENE_PARTS][2] = {{257, 245}, {257, 115}, {300, 190},
                                                            {214, 190}, {230, 330}, {284, 330}};
bool attached_clicks = false;

}  // namespace

void figure_key_frame(int virtual_key) {
    headless_queue_key_down(virtual_key);
    headless_run_frames(1);
    headless_queue_key_up(virtual_key);
}

namespace {

void draw_part_outline(const FigurePartOutline& p, int32_t click_x, int32_t click_y) {
    for (int32_t k = 0; k <= ELLIPSE_POINTS; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / ELLIPSE_POINTS;
        headless_queue_move(p.x + int32_t(std::lround(p.half_width * std::cos(angle))),
                            p.y + int32_t(std::lround(p.half_height * std::sin(angle))));
        headless_run_frames(1);
        if (k == 0) headless_queue_button_down(BUTTON_LEFT);
    }
    headless_queue_button_up(BUTTON_LEFT);
    headless_queue_move(click_x, click_y);
    headless_run_frames(1);
}

}  // namespace

void draw_figure_outline(int32_t part) {
    const FigurePartOutline& p = FIGURE_PARTS[part];
    if (attached_clicks) {
        draw_part_outline(p, ATTACHED_CLICKS[part][0], ATTACHED_CLICKS[part][1]);
    } else {
        draw_part_outline(p, p.click_x, p.click_y);
    }
}

void right_click_frame() {
    headless_queue_button_down(BUTTON_RIGHT);
    headless_run_frames(1);
    headless_queue_button_up(BUTTON_RIGHT);
}

void figure_undo_frame(bool redo) {
    const int key = redo ? KEY_Y : KEY_Z;
    headless_queue_key_down(KEY_CONTROL);
    headless_queue_key_down(key);
    headless_run_frames(1);
    headless_queue_key_up(key);
    headless_queue_key_up(KEY_CONTROL);
}

int32_t figure_triangles() {
    return current_render_list()->packet_count - figure().part_count;
}

int32_t open_figure_scene(bool attached) {
    attached_clicks = attached;
    demo = DemoState{};
    demo.outline = DemoOutline::NONE;
    if (headless_open(demo.config) != 0) return -1;
    for (int32_t p = 0; p < FIGURE_SCENE_PARTS; ++p) {
        if (p > 0) figure_key_frame(KEY_N);
        draw_figure_outline(p);
        right_click_frame();
        figure_key_frame(KEY_I);
        headless_run_frames(1);
        if (edited_object().kind != EDITED_BODY) {
            close_demo_scene();
            return -1;
        }
    }
    headless_drain_events();
    demo.object = selected_object();
    return figure_triangles();
}

namespace {

// The figure's parts where they sit in it (the exported frame's y and z
// turned back), and the matrix that turns the figure about its centre and
// shows it: translation by -centre, the parts' object matrix, the camera.
DemoMesh export_figure_mesh() {
    DemoMesh mesh{};
    std::vector<ExportedMesh> parts;
    if (export_parts(&parts) != EXPORT_OK) return mesh;
    for (const ExportedMesh& part : parts) {
        const uint32_t first = uint32_t(mesh.positions.size() / 3);
        for (size_t i = 0; i + 2 < part.positions.size(); i += 3) {
            mesh.positions.insert(mesh.positions.end(), {part.positions[i], -part.positions[i + 1],
                                                         -part.positions[i + 2]});
            mesh.normals.insert(mesh.normals.end(),
                                {part.normals[i], -part.normals[i + 1], -part.normals[i + 2]});
        }
        // The exported faces turn the other way round: back to the renderer's order.
        for (size_t t = 0; t + 2 < part.triangles.size(); t += 3)
            mesh.indices.insert(mesh.indices.end(),
                                {first + part.triangles[t], first + part.triangles[t + 2],
                                 first + part.triangles[t + 1]});
    }
    const SceneObject* object = get_object(demo.object);
    const Vec4 back = {-object->translation.x, -object->translation.y, -object->translation.z, 0};
    const Vec4 none = {0, 0, 0, 0};
    const Vec4 unit = {FIXED_ONE, FIXED_ONE, FIXED_ONE, 0};
    const Vec4 angles = {object->rotation.x & ANGLE_MASK, object->rotation.y & ANGLE_MASK,
                         object->rotation.z & ANGLE_MASK, 0};
    Matrix to_centre, turn, figure;
    make_object_matrix(&to_centre, &back, &none, &unit);
    make_object_matrix(&turn, &object->translation, &angles, &object->scale);
    matrix_multiply(&figure, &to_centre, &turn);
    matrix_multiply(&mesh.model_view, &figure, build_camera_matrix());
    const Vec4* light = light_vector();
    mesh.light[0] = float(light->x);
    mesh.light[1] = float(light->y);
    mesh.light[2] = float(light->z);
    return mesh;
}

}  // namespace

DemoMesh export_demo_mesh() {
    if (figure().part_count > 1) return export_figure_mesh();
    DemoMesh mesh{};
    RenderList* list = current_render_list();
    const SceneObject* object = get_object(demo.object);
    if (list == nullptr || object == nullptr || object->part_count < 1) return mesh;
    const int32_t vertices = list->vertex_count;
    for (int32_t i = 0; i < vertices; ++i) {
        const Vec4& v = list->model_vertices[i];
        const Vec4& n = list->model_normals[i];
        mesh.positions.insert(mesh.positions.end(), {float(v.x), float(v.y), float(v.z)});
        const float length = std::sqrt(float(n.x) * n.x + float(n.y) * n.y + float(n.z) * n.z);
        const float scale = length > 0 ? 1.0f / length : 0.0f;
        mesh.normals.insert(mesh.normals.end(), {n.x * scale, n.y * scale, n.z * scale});
    }
    // The object's run: its header, then one 48-byte packet per triangle.
    // A textured packet's corners name their coordinates; a painted part's
    // are one a vertex, so each vertex takes the coordinates its corners name.
    auto* bytes = reinterpret_cast<uint8_t*>(object->header_packet);
    uint32_t offset = object->header_packet->size;
    int32_t slot = -1;
    for (int32_t k = 1; k < object->packet_count; ++k) {
        auto* packet = reinterpret_cast<TrianglePacket*>(bytes + offset);
        for (int16_t v : packet->v)
            mesh.indices.push_back(uint32_t(v));
        if ((packet->head.header & POLY_TEXTURED) != 0 && loaded_texture(packet->head.texture)) {
            slot = packet->head.texture;
            mesh.tex_coords.resize(size_t(vertices) * 2, 0.0f);
            for (int c = 0; c < 3; ++c) {
                const int32_t v = packet->v[c], t = packet->t[c];
                if (v < 0 || v >= vertices || t < 0 || t >= list->uv_count) continue;
                mesh.tex_coords[size_t(v) * 2] = float(list->tex_coords[t].u);
                mesh.tex_coords[size_t(v) * 2 + 1] = float(list->tex_coords[t].v);
            }
        }
        offset += packet->head.size;
    }
    if (const Texture* texture = loaded_texture(slot)) {
        mesh.texture_width = 1 << texture->width_shift;
        mesh.texture_height = 1 << texture->height_shift;
        mesh.texels.assign(texture->texels,
                           texture->texels + size_t(mesh.texture_width) * mesh.texture_height);
    }
    mesh.model_view = object->parts[0].combined;
    const Vec4* light = light_vector();
    mesh.light[0] = float(light->x);
    mesh.light[1] = float(light->y);
    mesh.light[2] = float(light->z);
    return mesh;
}

namespace {

// Client pixels of the attached figure's control points: the hands and feet, the first hand's
// taken first, and a spot of the torso clear of every other part.
constexpr int32_t POSING_POINTS[4][2] = {{460, 190}, {54, 190}, {213, 465}, {301, 465}};
constexpr int32_t TORSO_SPOT[2] = {257, 140};
constexpr FigurePartOutline SKIRT = {257, 300, 75, 35, 257, 300};

struct PosingDrag {
    int32_t x = 0, y = 0;
    int32_t step = 0;
};
PosingDrag drag;

void click_frame(int32_t button, int32_t x, int32_t y) {
    headless_queue_move(x, y);
    headless_queue_button_down(button);
    headless_run_frames(1);
    headless_queue_button_up(button);
}

}  // namespace

int32_t demo_control_points() {
    return int32_t(animation_state().points.size());
}

int32_t open_posing_scene() {
    if (open_figure_scene(true) < 0) return -1;
    // A skirt drawn over the body, for a figure of about 20,000 triangles.
    figure_key_frame(KEY_N);
    draw_part_outline(SKIRT, SKIRT.click_x, SKIRT.click_y);
    right_click_frame();
    figure_key_frame(KEY_I);
    headless_run_frames(1);
    figure_key_frame(KEY_A);
    headless_run_frames(1);
    for (int32_t p = 0; p < 4 && animating(); ++p) {
        click_frame(BUTTON_LEFT, POSING_POINTS[p][0], POSING_POINTS[p][1]);
        headless_run_frames(1);
    }
    headless_drain_events();
    drag = PosingDrag{POSING_POINTS[0][0], POSING_POINTS[0][1], 0};
    if (!animating() || demo_control_points() != 4) {
        close_demo_scene();
        return -1;
    }
    return demo_control_points();
}

bool take_posing_point() {
    const int32_t points = demo_control_points();
    headless_queue_move(drag.x, drag.y);
    headless_queue_button_down(BUTTON_LEFT);
    headless_run_frames(1);
    // Taking a point places none.
    return demo_control_points() == points;
}

void posing_drag_frame() {
    drag.y += drag.step % 40 < 20 ? -1 : 1;
    ++drag.step;
    headless_queue_move(drag.x, drag.y);
    headless_run_frames(1);
}

void let_go_posing_point() {
    headless_queue_button_up(BUTTON_LEFT);
    headless_run_frames(1);
}

bool record_demo_loop(int32_t frames) {
    if (!take_posing_point()) return false;
    figure_key_frame(KEY_R);
    for (int32_t k = 0; k < frames; ++k)
        posing_drag_frame();
    figure_key_frame(KEY_R);
    let_go_posing_point();
    headless_drain_events();
    return animation_state().period > 0 && animation_state().playing;
}

void place_point_frame() {
    click_frame(BUTTON_LEFT, TORSO_SPOT[0], TORSO_SPOT[1]);
}

void remove_point_frame() {
    click_frame(BUTTON_RIGHT, TORSO_SPOT[0], TORSO_SPOT[1]);
}
