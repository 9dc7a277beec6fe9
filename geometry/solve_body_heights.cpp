// Poisson's equation on the front surface, scaled to circles.
#include "geometry/solve_body_heights.h"

#include <algorithm>
#include <cmath>

namespace {

// Rounds of neighbour averaging that give the scale k its reach: enough
// that where the mesh is fine (by notches and tips) k still varies slowly
// across the pixels, and the heights with it.
constexpr int SCALE_ROUNDS = 24;

// A symmetric sparse matrix in rows: columns and values, the diagonal apart.
struct SparseRows {
    std::vector<int32_t> first;  // per row, into columns; one more at the end
    std::vector<int32_t> columns;
    std::vector<double> values;
    std::vector<double> diagonal;
};

// y = m x, and the dot product of x and y summed in row order.
double multiply(const SparseRows& m, const std::vector<double>& x, std::vector<double>* y) {
    size_t n = m.diagonal.size();
    // Plain pointers: the stores to y would otherwise make the compiler read
    // the vectors' own pointers again for every row.
    const double* xs = x.data();
    const double* diagonal = m.diagonal.data();
    const double* values = m.values.data();
    const int32_t* columns = m.columns.data();
    const int32_t* first = m.first.data();
    double* ys = y->data();
    double xy = 0;
    for (size_t i = 0; i < n; ++i) {
        double sum = diagonal[i] * xs[i];
        for (int32_t k = first[i]; k < first[i + 1]; ++k)
            sum += values[k] * xs[columns[k]];
        ys[i] = sum;
        xy += xs[i] * sum;
    }
    return xy;
}

// Conjugate gradients with the diagonal as preconditioner, from x, until the
// residual is a hundred-thousandth of the load (heights need four digits).
// Each sum runs over the rows in order, so that every build adds the same
// terms in the same order; the sums that read the same vectors share one pass.
std::vector<double> solve(const SparseRows& m, const std::vector<double>& b,
                          std::vector<double> x) {
    size_t n = b.size();
    std::vector<double> r(n), z(n), p(n), q(n);
    multiply(m, x, &r);
    double rz = 0, rr = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        r[i] = b[i] - r[i];
        z[i] = r[i] / m.diagonal[i];
        rz += r[i] * z[i];
        rr += r[i] * r[i];
        bb += b[i] * b[i];
    }
    p = z;
    double limit = 1e-10 * bb;
    bool far = rr > limit;
    for (size_t iteration = 0; iteration < 4 * n + 200 && far; ++iteration) {
        double pq = multiply(m, p, &q);
        if (pq <= 0) break;
        double alpha = rz / pq;
        double next = 0, squares = 0;
        for (size_t i = 0; i < n; ++i) {
            x[i] += alpha * p[i];
            r[i] -= alpha * q[i];
            z[i] = r[i] / m.diagonal[i];
            next += r[i] * z[i];
            squares += r[i] * r[i];
        }
        far = squares > limit;
        double beta = next / rz;
        rz = next;
        for (size_t i = 0; i < n; ++i)
            p[i] = z[i] + beta * p[i];
    }
    return x;
}

}  // namespace

std::vector<double> solve_body_heights(const FrontMesh& mesh) {
    size_t n = mesh.points.size();
    std::vector<double> heights(n, 0);
    // Unknowns: the inner points, numbered in order.
    std::vector<int32_t> unknown(n, -1);
    int32_t count = 0;
    for (size_t i = 0; i < n; ++i)
        if (mesh.rim[i] == 0) unknown[i] = count++;
    if (count == 0) return heights;

    // Neighbours of each point, in order, without repeats.
    std::vector<int32_t> around_first(n + 1, 0);
    for (const MeshTriangle& t : mesh.triangles)
        for (int32_t v : t.v)
            around_first[size_t(v) + 1] += 2;
    for (size_t i = 1; i <= n; ++i)
        around_first[i] += around_first[i - 1];
    std::vector<int32_t> around(static_cast<size_t>(around_first[n]));
    std::vector<int32_t> cursor(around_first.begin(), around_first.end() - 1);
    for (const MeshTriangle& t : mesh.triangles)
        for (int k = 0; k < 3; ++k) {
            around[size_t(cursor[size_t(t.v[k])]++)] = t.v[(k + 1) % 3];
            around[size_t(cursor[size_t(t.v[k])]++)] = t.v[(k + 2) % 3];
        }
    std::vector<int32_t> around_count(n);
    for (size_t i = 0; i < n; ++i) {
        auto begin = around.begin() + around_first[i], end = around.begin() + around_first[i + 1];
        std::sort(begin, end);
        around_count[i] = int32_t(std::unique(begin, end) - begin);
    }

    // Off-diagonal weights per row, in the triangles' order, counted out by
    // row; each row then gets one column per neighbour that has a weight, in
    // the order of the columns, adding up that neighbour's weights in the
    // triangles' order (the same sums on every build).
    struct Entry {
        int32_t column;
        double value;
    };
    std::vector<double> diagonal(size_t(count), 0), load(size_t(count), 0);
    std::vector<int32_t> first(size_t(count) + 1, 0);
    auto for_each_weight = [&](auto&& visit) {
        for (const MeshTriangle& t : mesh.triangles) {
            double x[3], y[3];
            for (int k = 0; k < 3; ++k) {
                x[k] = double(mesh.points[size_t(t.v[k])].x) / FINE_ONE;
                y[k] = double(mesh.points[size_t(t.v[k])].y) / FINE_ONE;
            }
            double twice_area = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
            if (twice_area <= 0) continue;
            for (int k = 0; k < 3; ++k) {
                // The edge opposite corner k, weighted by half the cotangent there.
                int i = (k + 1) % 3, j = (k + 2) % 3;
                double dot_k = (x[i] - x[k]) * (x[j] - x[k]) + (y[i] - y[k]) * (y[j] - y[k]);
                visit(unknown[size_t(t.v[i])], unknown[size_t(t.v[j])], unknown[size_t(t.v[k])],
                      0.5 * dot_k / twice_area, twice_area);
            }
        }
    };
    for_each_weight([&](int32_t ui, int32_t uj, int32_t, double, double) {
        if (ui >= 0 && uj >= 0) {
            ++first[size_t(ui) + 1];
            ++first[size_t(uj) + 1];
        }
    });
    for (size_t i = 1; i < first.size(); ++i)
        first[i] += first[i - 1];
    std::vector<Entry> entries(size_t(first.back()));
    std::vector<int32_t> fill(first.begin(), first.end() - 1);
    for_each_weight([&](int32_t ui, int32_t uj, int32_t uk, double w, double twice_area) {
        if (ui >= 0) diagonal[size_t(ui)] += w;
        if (uj >= 0) diagonal[size_t(uj)] += w;
        if (ui >= 0 && uj >= 0) {
            entries[size_t(fill[size_t(ui)]++)] = {uj, -w};
            entries[size_t(fill[size_t(uj)]++)] = {ui, -w};
        }
        if (uk >= 0) load[size_t(uk)] += 4 * twice_area / 6;
    });
    SparseRows m;
    m.diagonal = diagonal;
    m.first.assign(size_t(count) + 1, 0);
    m.columns.reserve(entries.size());
    m.values.reserve(entries.size());
    std::vector<int32_t> slot(size_t(count), -1);  // per column: its place in the row being built
    constexpr int32_t USED = -2;
    int32_t row = 0;
    for (size_t i = 0; i < n; ++i) {
        if (unknown[i] < 0) continue;
        auto begin = entries.begin() + first[size_t(row)],
             end = entries.begin() + first[size_t(row) + 1];
        for (auto e = begin; e != end; ++e)
            slot[size_t(e->column)] = USED;
        // The neighbours come in the points' order, which is the columns'.
        for (int32_t k = 0; k < around_count[i]; ++k) {
            int32_t column = unknown[size_t(around[size_t(around_first[i] + k)])];
            if (column < 0 || slot[size_t(column)] != USED) continue;
            slot[size_t(column)] = int32_t(m.columns.size());
            m.columns.push_back(column);
            m.values.push_back(0);
        }
        for (auto e = begin; e != end; ++e)
            m.values[size_t(slot[size_t(e->column)])] += e->value;
        for (auto e = begin; e != end; ++e)
            slot[size_t(e->column)] = -1;
        m.first[size_t(row) + 1] = int32_t(m.columns.size());
        ++row;
    }
    for (double& d : m.diagonal)
        if (d <= 0) d = 1;  // a point with no usable triangle (none in a mended mesh)
    // Starting from the circles scaled as a band's (u = 2c) leaves mostly the
    // short-range part of the error, which the iterations remove quickly.
    std::vector<double> start(size_t(count), 0);
    for (size_t i = 0; i < n; ++i) {
        if (unknown[i] < 0) continue;
        double e = std::min(mesh.edge[i], mesh.radius[i]);
        start[size_t(unknown[i])] = 1.5 * std::max(0.0, e * (2 * mesh.radius[i] - e));
    }
    std::vector<double> solution = solve(m, load, start);

    std::vector<double> u(n, 0), c(n, 0);
    for (size_t i = 0; i < n; ++i) {
        if (unknown[i] < 0) continue;
        u[i] = std::max(0.0, solution[size_t(unknown[i])]);
        double e = std::min(mesh.edge[i], mesh.radius[i]);
        c[i] = std::max(0.0, e * (2 * mesh.radius[i] - e));
    }
    // Both divided by the half-width before they are averaged: they grow with
    // its square, and where a thin part meets a wide one the wide part's
    // values would otherwise decide the thin part's scale (a neck would bulge
    // where it joins).
    std::vector<double> su(n, 0), sc(n, 0), tu(n), tc(n);
    for (size_t i = 0; i < n; ++i) {
        if (unknown[i] < 0) continue;
        double r = std::max(0.5, mesh.radius[i]);
        su[i] = u[i] / r;
        sc[i] = c[i] / r;
    }
    for (int round = 0; round < SCALE_ROUNDS; ++round) {
        for (size_t i = 0; i < n; ++i) {
            if (mesh.rim[i] != 0) {
                tu[i] = tc[i] = 0;
                continue;
            }
            double a = su[i], b = sc[i];
            for (int32_t k = 0; k < around_count[i]; ++k) {
                int32_t j = around[size_t(around_first[i] + k)];
                a += su[size_t(j)];
                b += sc[size_t(j)];
            }
            double weight = 1.0 / double(around_count[i] + 1);
            tu[i] = a * weight;
            tc[i] = b * weight;
        }
        su.swap(tu);
        sc.swap(tc);
    }
    for (size_t i = 0; i < n; ++i) {
        if (mesh.rim[i] != 0) continue;
        double k = sc[i] > 1e-12 ? su[i] / sc[i] : 1.0;
        k = std::clamp(k, 0.5, 4.0);
        heights[i] = std::max(1.0 / FINE_ONE, std::sqrt(u[i] / k));
    }
    return heights;
}
