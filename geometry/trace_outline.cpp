// Marching squares over the region's pixel centres, linked into loops.
#include "geometry/trace_outline.h"

#include <cmath>

namespace {

// Crossing points are named by the segment they lie on: horizontal segments
// (column, row) to (column + 1, row) first, then vertical ones (column, row)
// to (column, row + 1).
struct Crossings {
    int32_t w, h;
    int32_t horizontal(int32_t c, int32_t r) const { return r * w + c; }
    int32_t vertical(int32_t c, int32_t r) const { return w * h + r * w + c; }
};

}  // namespace

std::vector<OutlineLoop> trace_outline(const RegionMask& mask) {
    std::vector<OutlineLoop> loops;
    int32_t w = mask.width, h = mask.height;
    if (w < 3 || h < 3) return loops;
    Crossings ids{w, h};
    std::vector<int32_t> next(size_t(2) * size_t(w) * size_t(h), -1);
    auto in = [&](int32_t c, int32_t r) {
        return mask.inside[size_t(r) * size_t(w) + size_t(c)] != 0;
    };
    // Each cell has corners TL (c, r), TR (c + 1, r), BR (c + 1, r + 1), BL
    // (c, r + 1). The cases below list each piece of edge anticlockwise
    // around the inside corners; it is stored the other way round, so that
    // the inside lies on its (-ty, tx) side, the right-hand side on the
    // screen (y down).
    for (int32_t r = 0; r + 1 < h; ++r) {
        for (int32_t c = 0; c + 1 < w; ++c) {
            bool tl = in(c, r), tr = in(c + 1, r), br = in(c + 1, r + 1), bl = in(c, r + 1);
            int32_t top = ids.horizontal(c, r), bottom = ids.horizontal(c, r + 1);
            int32_t left = ids.vertical(c, r), right = ids.vertical(c + 1, r);
            auto piece = [&](int32_t from, int32_t to) { next[size_t(to)] = from; };
            int mask4 = (tl ? 1 : 0) | (tr ? 2 : 0) | (br ? 4 : 0) | (bl ? 8 : 0);
            switch (mask4) {
                case 1:
                    piece(left, top);
                    break;  // TL alone
                case 2:
                    piece(top, right);
                    break;  // TR alone
                case 4:
                    piece(right, bottom);
                    break;  // BR alone
                case 8:
                    piece(bottom, left);
                    break;  // BL alone
                case 3:
                    piece(left, right);
                    break;  // top pair
                case 6:
                    piece(top, bottom);
                    break;  // right pair
                case 12:
                    piece(right, left);
                    break;  // bottom pair
                case 9:
                    piece(bottom, top);
                    break;  // left pair
                case 5:     // TL and BR apart
                    piece(left, top);
                    piece(right, bottom);
                    break;
                case 10:  // TR and BL apart
                    piece(top, right);
                    piece(bottom, left);
                    break;
                case 14:
                    piece(top, left);
                    break;  // all but TL
                case 13:
                    piece(right, top);
                    break;  // all but TR
                case 11:
                    piece(bottom, right);
                    break;  // all but BR
                case 7:
                    piece(left, bottom);
                    break;  // all but BL
                default:
                    break;  // 0 and 15: no edge
            }
        }
    }
    auto position = [&](int32_t id, double* x, double* y) {
        if (id < w * h) {
            *x = mask.origin_x + id % w + 0.5;
            *y = mask.origin_y + id / w;
        } else {
            id -= w * h;
            *x = mask.origin_x + id % w;
            *y = mask.origin_y + id / w + 0.5;
        }
    };
    std::vector<double> xs, ys;
    for (size_t start = 0; start < next.size(); ++start) {
        if (next[start] < 0) continue;
        xs.clear();
        ys.clear();
        for (int32_t id = int32_t(start); id >= 0 && next[size_t(id)] >= 0;) {
            double x = 0, y = 0;
            position(id, &x, &y);
            xs.push_back(x);
            ys.push_back(y);
            int32_t to = next[size_t(id)];
            next[size_t(id)] = -1;
            id = to;
        }
        size_t n = xs.size();
        if (n < 4) continue;
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<double> sx(n), sy(n);
            for (size_t i = 0; i < n; ++i) {
                size_t a = (i + n - 1) % n, b = (i + 1) % n;
                sx[i] = 0.25 * xs[a] + 0.5 * xs[i] + 0.25 * xs[b];
                sy[i] = 0.25 * ys[a] + 0.5 * ys[i] + 0.25 * ys[b];
            }
            xs.swap(sx);
            ys.swap(sy);
        }
        OutlineLoop loop(n);
        for (size_t i = 0; i < n; ++i)
            loop[i] = {int32_t(std::lround(xs[i] * FINE_ONE)),
                       int32_t(std::lround(ys[i] * FINE_ONE))};
        loops.push_back(std::move(loop));
    }
    return loops;
}
