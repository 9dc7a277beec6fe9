// Side-by-side timing of the demonstration's frame against Mesa's llvmpipe
// (through OSMesa, single-threaded): the same sheet (and then a figure of six
// inflated parts), the same rotations, the
// two renderers alternating round by round so that drift in the machine's
// speed falls on both alike. Prints the median ratio ours / llvmpipe.
//
// llvmpipe draws the mesh our build produced: the same vertices, triangles
// and per-vertex normals, under one directional light with Gouraud shading,
// into a 5:6:5 buffer of the client size, with back faces culled and no depth
// test; one frame is clear, draw and glFinish. The painted body's mesh also
// brings its texture and coordinates: llvmpipe draws it textured (nearest
// texels, repeating, modulated by the light on a white material), as our lit
// textured fill draws it.
#define GL_GLEXT_PROTOTYPES 1  // buffer objects (OpenGL 1.5), exported by OSMesa
#include <GL/gl.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/demo_scene.h"

namespace {

using Clock = std::chrono::steady_clock;

// The demonstration's rotations of the flat sheet, then the sheet pushed into
// relief, where the light varies across most triangles, the relief scaled to a
// 1920 x 1080 raster, then that sheet inflated into its closed body (I key), from
// the front, turned and from behind, and from farther (the wheel's notches; its
// front comes too near the eye for a notch nearer).
struct Rotation {
    int32_t x, y;
    bool relief;
    bool inflated;
    int32_t width, height;  // 0: the window's page
    int32_t notches = 0;    // of the wheel, positive nearer
};
constexpr Rotation ROTATIONS[] = {{0, 0, false, false, 0, 0},
                                  {57, 0, false, false, 0, 0},
                                  {0, 57, false, false, 0, 0},
                                  {57, 57, false, false, 0, 0},
                                  {0, 0, true, false, 0, 0},
                                  {57, 57, true, false, 0, 0},
                                  {0, 0, true, false, 1920, 1080},
                                  {0, 0, true, true, 0, 0},
                                  {57, 57, true, true, 0, 0},
                                  {0, 512, true, true, 0, 0},
                                  {0, 0, true, true, 0, 0, -DEMO_ZOOM_NOTCHES}};
constexpr int ROUNDS = 15;
constexpr int FRAMES_PER_TURN = 40;

// The mesh in llvmpipe, as vertex and index buffers.
struct Peer {
    OSMesaContext context = nullptr;
    std::vector<uint16_t> pixels;
    GLuint buffers[4] = {};
    GLuint texture = 0;
    GLsizei index_count = 0;
};

// Vertices, normals and triangles into the peer's buffers.
void load_mesh(Peer& peer, const DemoMesh& mesh) {
    glBindBuffer(GL_ARRAY_BUFFER, peer.buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(mesh.positions.size() * sizeof(float)),
                 mesh.positions.data(), GL_STATIC_DRAW);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, peer.buffers[1]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(mesh.normals.size() * sizeof(float)),
                 mesh.normals.data(), GL_STATIC_DRAW);
    glNormalPointer(GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, peer.buffers[2]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh.indices.size() * sizeof(uint32_t)),
                 mesh.indices.data(), GL_STATIC_DRAW);
    peer.index_count = GLsizei(mesh.indices.size());
    // Texture coordinates and the texture, for a painted mesh: our 5:5:5 texels
    // (red in bits 10..14) are GL's BGRA 1:5:5:5 reversed, alpha unused.
    const bool textured =
        !mesh.texels.empty() && mesh.tex_coords.size() == mesh.positions.size() / 3 * 2;
    if (!textured) {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisable(GL_TEXTURE_2D);
        const GLfloat red[4] = {1, 0, 0, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, red);
        return;
    }
    std::vector<float> coords(mesh.tex_coords.size());
    for (size_t i = 0; i < coords.size(); ++i)
        coords[i] = mesh.tex_coords[i] / 256.0f;  // 256 = the texture's width or height
    glBindBuffer(GL_ARRAY_BUFFER, peer.buffers[3]);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(coords.size() * sizeof(float)), coords.data(),
                 GL_STATIC_DRAW);
    glTexCoordPointer(2, GL_FLOAT, 0, nullptr);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    if (peer.texture == 0) glGenTextures(1, &peer.texture);
    glBindTexture(GL_TEXTURE_2D, peer.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5, mesh.texture_width, mesh.texture_height, 0, GL_BGRA,
                 GL_UNSIGNED_SHORT_1_5_5_5_REV, mesh.texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    const GLfloat white[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
}

// Points the peer at a buffer of width x height pixels whose picture is the
// window's scaled by scale256 / 256 about the centre, as ours is drawn.
bool size_peer(Peer& peer, int32_t width, int32_t height, int32_t scale256) {
    peer.pixels.assign(size_t(width) * size_t(height), 0);
    if (!OSMesaMakeCurrent(peer.context, peer.pixels.data(), GL_UNSIGNED_SHORT_5_6_5, width,
                           height))
        return false;
    glViewport(0, 0, width, height);
    // Our view space has y down and depth growing away from the eye, and the
    // screen is 256 pixels from the eye: a frustum of the raster's size at
    // depth 256, narrowed by the scale (and taken to a near plane at 1).
    const double half_width = width / 512.0 * 256 / scale256;
    const double half_height = height / 512.0 * 256 / scale256;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-half_width, half_width, -half_height, half_height, 1.0, 10000.0);
    return true;
}

bool open_peer(Peer& peer, const DemoMesh& mesh) {
    peer.context = OSMesaCreateContextExt(OSMESA_RGB_565, 0, 0, 0, nullptr);
    if (peer.context == nullptr) return false;
    if (!size_peer(peer, DEMO_CLIENT_WIDTH, DEMO_CLIENT_HEIGHT, 256)) return false;
    std::printf("peer: %s, %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));

    glGenBuffers(4, peer.buffers);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);

    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    // Our front faces turn clockwise on the screen, and so they do in GL's window.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);

    // One white directional light in eye space, from our light vector.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float length = std::sqrt(mesh.light[0] * mesh.light[0] + mesh.light[1] * mesh.light[1] +
                                   mesh.light[2] * mesh.light[2]);
    const GLfloat direction[4] = {mesh.light[0] / length, -mesh.light[1] / length,
                                  -mesh.light[2] / length, 0.0f};
    const GLfloat white[4] = {1, 1, 1, 1};
    const GLfloat black[4] = {0, 0, 0, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, direction);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glClearColor(0, 0, 1, 1);
    load_mesh(peer, mesh);
    return true;
}

void close_peer(Peer& peer) {
    if (peer.context == nullptr) return;
    glDeleteBuffers(4, peer.buffers);
    if (peer.texture != 0) glDeleteTextures(1, &peer.texture);
    OSMesaDestroyContext(peer.context);
    peer.context = nullptr;
}

// Our model-to-view matrix (row vectors, 512 = 1.0) as GL's (column vectors,
// column-major), with y and depth turned to GL's eye space.
void load_model_view(const Matrix& m) {
    GLfloat gl[16];
    for (int i = 0; i < 16; ++i) {
        const int column = i % 4;  // of our row-major entry: GL's row
        const float sign = column == 1 || column == 2 ? -1.0f : 1.0f;
        gl[i] = sign * float(m.m[i]) / 512.0f;
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(gl);
}

void peer_frame(const Peer& peer) {
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawElements(GL_TRIANGLES, peer.index_count, GL_UNSIGNED_INT, nullptr);
    glFinish();
}

int64_t peer_covered_pixels(const Peer& peer) {
    const uint16_t clear = 0x001F;  // blue in 5:6:5
    return std::count_if(peer.pixels.begin(), peer.pixels.end(),
                         [clear](uint16_t p) { return p != clear; });
}

int64_t our_covered_pixels() {
    const uint16_t* page = demo_page();
    const uint16_t clear = 0x001F;  // blue in 5:5:5
    int64_t covered = 0;
    for (int64_t i = 0; i < int64_t(demo_page_width()) * demo_page_height(); ++i)
        covered += page[i] != clear;
    return covered;
}

template <typename Frame>
double seconds_per_frame(Frame frame) {
    const auto start = Clock::now();
    for (int i = 0; i < FRAMES_PER_TURN; ++i)
        frame();
    return std::chrono::duration<double>(Clock::now() - start).count() / FRAMES_PER_TURN;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One row: both renderers draw the scene turned by (x, y), round by round.
void measure_row(Peer& peer, const char* label, int32_t x, int32_t y, const char* size) {
    set_demo_rotation(x, y, 0);
    render_demo_frame();
    load_model_view(export_demo_mesh().model_view);
    peer_frame(peer);
    const int64_t ours_covered = our_covered_pixels();
    const int64_t peer_covered = peer_covered_pixels(peer);

    std::vector<double> ours, theirs, ratios;
    for (int round = 0; round < ROUNDS; ++round) {
        // Alternate which goes first, so that neither always follows the other.
        double ours_s = 0, theirs_s = 0;
        if (round % 2 == 0) {
            ours_s = seconds_per_frame(render_demo_frame);
            theirs_s = seconds_per_frame([&] { peer_frame(peer); });
        } else {
            theirs_s = seconds_per_frame([&] { peer_frame(peer); });
            ours_s = seconds_per_frame(render_demo_frame);
        }
        ours.push_back(ours_s);
        theirs.push_back(theirs_s);
        ratios.push_back(ours_s / theirs_s);
    }
    std::printf("| (%d, %d)%s%s | %.3f | %.3f | %.2f | %lld / %lld |\n", x, y, label, size,
                median(ours) * 1e3, median(theirs) * 1e3, median(ratios),
                static_cast<long long>(ours_covered), static_cast<long long>(peer_covered));
    std::fflush(stdout);
}

// The disc's body: from the front and turned.
constexpr int32_t DISC_ROTATIONS[][2] = {{0, 0}, {57, 57}};

// The painted body (the ellipse's): front, turned and from behind.
constexpr int32_t PAINTED_ROTATIONS[][2] = {{0, 0}, {57, 57}, {0, 512}};

// The figure of six inflated parts: front, turned and from behind.
constexpr int32_t FIGURE_ROTATIONS[][2] = {{0, 0}, {57, 57}, {0, 512}};

}  // namespace

int main() {
    // One llvmpipe thread, set before Mesa reads its environment.
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    setenv("LP_NUM_THREADS", "0", 1);

    if (open_demo_scene(DemoOutline::ELLIPSE) < 0) {
        std::fprintf(stderr, "the sheet was not built\n");
        return 1;
    }
    render_demo_frame();
    const DemoMesh mesh = export_demo_mesh();
    Peer peer;
    if (!open_peer(peer, mesh)) {
        std::fprintf(stderr, "OSMesa could not make a context\n");
        close_demo_scene();
        return 1;
    }
    std::printf("sheet: %zu vertices, %zu triangles; %d rounds of %d frames each\n\n",
                mesh.positions.size() / 3, mesh.indices.size() / 3, ROUNDS, FRAMES_PER_TURN);

    std::printf(
        "| rotation (x, y) | ours ms/frame | llvmpipe ms/frame | ours / llvmpipe | "
        "covered pixels, ours / llvmpipe |\n|---|---|---|---|---|\n");
    bool relief = false;
    bool inflated = false;
    for (const Rotation& rotation : ROTATIONS) {
        if (rotation.relief && !relief) {
            relief = true;
            add_demo_relief(DEMO_RELIEF_DEPTH);
            render_demo_frame();
            load_mesh(peer, export_demo_mesh());
        }
        if (rotation.inflated && !inflated) {
            inflated = true;
            use_demo_raster(0, 0);
            if (inflate_demo_object() < 0) {
                std::fprintf(stderr, "the body was not built\n");
                break;
            }
            render_demo_frame();
            const DemoMesh body = export_demo_mesh();
            load_mesh(peer, body);
            std::printf("| body: %zu vertices, %zu triangles | | | | |\n",
                        body.positions.size() / 3, body.indices.size() / 3);
        }
        use_demo_raster(rotation.width, rotation.height);
        if (!size_peer(peer, rotation.width > 0 ? demo_page_width() : DEMO_CLIENT_WIDTH,
                       rotation.width > 0 ? demo_page_height() : DEMO_CLIENT_HEIGHT,
                       demo_raster_scale256())) {
            std::fprintf(stderr, "OSMesa could not take a %d x %d buffer\n", rotation.width,
                         rotation.height);
            break;
        }
        // The wheel turned for the row, and back after it.
        const int32_t eye = turn_demo_wheel(rotation.notches);
        char size[48] = "";
        if (rotation.width > 0)
            std::snprintf(size, sizeof size, ", %d x %d", rotation.width, rotation.height);
        if (rotation.notches != 0)
            std::snprintf(size, sizeof size, ", the eye %d units away (%+d notches)", int(eye),
                          int(rotation.notches));
        measure_row(peer,
                    rotation.inflated ? " inflated"
                    : rotation.relief ? " in relief"
                                      : "",
                    rotation.x, rotation.y, size);
        turn_demo_wheel_back();
    }
    use_demo_raster(0, 0);
    close_demo_scene();

    // The 200-pixel disc's body, from where start-up puts the eye and as near as the wheel
    // brings it: about five times the pixels.
    if (open_demo_scene(DemoOutline::DISC) < 0 || inflate_demo_object() < 0) {
        std::fprintf(stderr, "the disc's body was not built\n");
        close_peer(peer);
        return 1;
    }
    render_demo_frame();
    const DemoMesh disc = export_demo_mesh();
    load_mesh(peer, disc);
    if (!size_peer(peer, DEMO_CLIENT_WIDTH, DEMO_CLIENT_HEIGHT, 256)) {
        std::fprintf(stderr, "OSMesa could not take the window's buffer\n");
        close_peer(peer);
        close_demo_scene();
        return 1;
    }
    std::printf("| disc's body: %zu vertices, %zu triangles | | | | |\n", disc.positions.size() / 3,
                disc.indices.size() / 3);
    for (const int32_t notches : {0, DEMO_ZOOM_NOTCHES}) {
        const int32_t eye = turn_demo_wheel(notches);
        char label[48];
        std::snprintf(label, sizeof label, " disc's body, the eye %d units away", int(eye));
        for (const auto& rotation : DISC_ROTATIONS)
            measure_row(peer, label, rotation[0], rotation[1], "");
        turn_demo_wheel_back();
    }
    close_demo_scene();

    // A figure of six inflated parts, drawn as one mesh by the peer.
    const int32_t figure_triangles = open_figure_scene();
    if (figure_triangles < 0) {
        std::fprintf(stderr, "the figure was not built\n");
        close_peer(peer);
        return 1;
    }
    render_demo_frame();
    load_mesh(peer, export_demo_mesh());
    if (!size_peer(peer, DEMO_CLIENT_WIDTH, DEMO_CLIENT_HEIGHT, 256)) {
        std::fprintf(stderr, "OSMesa could not take the window's buffer\n");
        close_peer(peer);
        close_demo_scene();
        return 1;
    }
    std::printf("| figure: %d parts, %d triangles | | | | |\n", FIGURE_SCENE_PARTS,
                figure_triangles);
    for (const auto& rotation : FIGURE_ROTATIONS)
        measure_row(peer, " figure", rotation[0], rotation[1], "");
    close_demo_scene();

    // The ellipse's body painted with the colour pens, drawn lit and textured by both.
    if (open_painted_scene() < 0) {
        std::fprintf(stderr, "the painted body was not built\n");
        close_peer(peer);
        return 1;
    }
    render_demo_frame();
    const DemoMesh painted = export_demo_mesh();
    if (painted.texels.empty()) {
        std::fprintf(stderr, "the painted body was not drawn textured\n");
        close_peer(peer);
        close_demo_scene();
        return 1;
    }
    load_mesh(peer, painted);
    std::printf("| painted body: %zu vertices, %zu triangles, a %d x %d texture | | | | |\n",
                painted.positions.size() / 3, painted.indices.size() / 3,
                int(painted.texture_width), int(painted.texture_height));
    for (const auto& rotation : PAINTED_ROTATIONS)
        measure_row(peer, " painted body", rotation[0], rotation[1], "");
    close_peer(peer);
    close_demo_scene();
    return 0;
}
