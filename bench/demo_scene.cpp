// Builds the demonstration's lit sheet on the headless backend and renders
// its editing-mode frame.
#include "bench/demo_scene.h"

#include <cmath>

#include "app/frame.h"
#include "app/inflate.h"
#include "app/outline.h"
#include "app/screen.h"
#include "app/shell.h"
#include "geometry/camera.h"
#include "geometry/geometry_pipeline.h"
#include "geometry/render_list.h"
#include "geometry/scene_objects.h"
#include "platform/headless/headless.h"
#include "raster/ordering_table.h"
#include "raster/render_stats.h"

namespace {

struct DemoState {
    HeadlessConfig config;
    DemoOutline outline = DemoOutline::ELLIPSE;
    int32_t object = -1;
};

DemoState demo;

int32_t centre_x() {
    return DEMO_CLIENT_WIDTH / 2;
}
int32_t centre_y() {
    return (DEMO_CLIENT_HEIGHT - 1) / 2;  // the last row is never drawn
}

// Point k of the closed outline, in client pixels; point ELLIPSE_POINTS is
// point 0 again.
void ellipse_point(int32_t k, int32_t* x, int32_t* y) {
    const double angle = 2.0 * 3.14159265358979323846 * k / ELLIPSE_POINTS;
    *x = centre_x() + int32_t(std::lround(ELLIPSE_HALF_WIDTH * std::cos(angle)));
    *y = centre_y() + int32_t(std::lround(ELLIPSE_HALF_HEIGHT * std::sin(angle)));
}

void to_screen(int32_t* x, int32_t* y) {
    *x += demo.config.client_origin_x;
    *y += demo.config.client_origin_y;
}

}  // namespace

int32_t open_demo_scene(DemoOutline outline) {
    demo = DemoState{};
    demo.outline = outline;
    if (headless_open(demo.config) != 0) return -1;
    int32_t x = 0;
    int32_t y = 0;
    if (outline == DemoOutline::ELLIPSE) {
        // One segment per frame while the left button is held, as a user draws.
        ellipse_point(0, &x, &y);
        headless_queue_move(x, y);
        headless_run_frames(1);
        headless_queue_button_down(BUTTON_LEFT);
        for (int32_t k = 1; k <= ELLIPSE_POINTS; ++k) {
            ellipse_point(k, &x, &y);
            headless_queue_move(x, y);
            headless_run_frames(1);
        }
        headless_queue_button_up(BUTTON_LEFT);
        headless_run_frames(1);
    }
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

void close_demo_scene() {
    // Shut-down frees what start-up allocated, as closing the window would.
    if (headless_shut_down_count() == 0) shut_down();
    headless_close();
    demo.object = -1;
}

void set_demo_rotation(int32_t x, int32_t y, int32_t z) {
    Vec4* angles = get_object_rotation(demo.object);
    if (angles == nullptr) return;
    angles->x = x;
    angles->y = y;
    angles->z = z;
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
    int32_t body = inflate_object(demo.object);
    if (inflated_front_vertices() < 0) return -1;
    demo.object = body;
    return body;
}

void render_demo_frame() {
    clear_screen();
    transform_scene();
    render_frame();
}

void prepare_demo_rebuild() {
    discard_object(demo.object);
    demo.object = -1;
    if (demo.outline != DemoOutline::ELLIPSE) return;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ellipse_point(0, &x0, &y0);
    to_screen(&x0, &y0);
    for (int32_t k = 1; k <= ELLIPSE_POINTS; ++k) {
        ellipse_point(k, &x1, &y1);
        to_screen(&x1, &y1);
        draw_stroke(x0, y0, x1, y1);
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
    return headless_page(0);
}

DemoMesh export_demo_mesh() {
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
    auto* bytes = reinterpret_cast<uint8_t*>(object->header_packet);
    uint32_t offset = object->header_packet->size;
    for (int32_t k = 1; k < object->packet_count; ++k) {
        auto* packet = reinterpret_cast<TrianglePacket*>(bytes + offset);
        for (int16_t v : packet->v)
            mesh.indices.push_back(uint32_t(v));
        offset += packet->head.size;
    }
    mesh.model_view = object->parts[0].combined;
    const Vec4* light = light_vector();
    mesh.light[0] = float(light->x);
    mesh.light[1] = float(light->y);
    mesh.light[2] = float(light->z);
    return mesh;
}
