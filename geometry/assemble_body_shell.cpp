// The body's two surfaces around the relief, sharing the rim.
#include "geometry/assemble_body_shell.h"

#include <algorithm>
#include <cmath>

BodyShell assemble_body_shell(const FrontMesh& mesh, const std::vector<double>& heights,
                              const std::vector<int32_t>& relief) {
    BodyShell body;
    size_t n = mesh.points.size();
    std::vector<int32_t> lift(n, 0);
    for (size_t i = 0; i < n; ++i)
        if (mesh.rim[i] == 0)
            lift[i] = std::max<int32_t>(1, int32_t(std::lround(heights[i] * FINE_ONE)));
    // The rim's points first, then the inner ones, each in order; then the
    // inner ones again behind.
    std::vector<int32_t> front(n, 0);
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < n; ++i) {
            if ((mesh.rim[i] != 0) != (pass == 0)) continue;
            front[i] = int32_t(body.vertices.size());
            body.vertices.push_back({mesh.points[i].x, mesh.points[i].y, relief[i] - lift[i], 0});
        }
    body.front_count = int32_t(n);
    std::vector<int32_t> back(n, 0);
    for (size_t i = 0; i < n; ++i) {
        if (mesh.rim[i] != 0) {
            back[i] = front[i];
            continue;
        }
        back[i] = int32_t(body.vertices.size());
        body.vertices.push_back({mesh.points[i].x, mesh.points[i].y, relief[i] + lift[i], 0});
    }
    body.back_of.assign(n, 0);
    for (size_t i = 0; i < n; ++i)
        body.back_of[size_t(front[i])] = back[i];
    for (const MeshTriangle& t : mesh.triangles)
        body.triangles.push_back(
            {{front[size_t(t.v[0])], front[size_t(t.v[1])], front[size_t(t.v[2])]}});
    for (const MeshTriangle& t : mesh.triangles)
        body.triangles.push_back(
            {{back[size_t(t.v[0])], back[size_t(t.v[2])], back[size_t(t.v[1])]}});
    return body;
}
