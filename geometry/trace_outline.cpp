// Marching squares over the region's pixel centres, linked into loops.
#include "geometry/trace_outline.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "geometry/region_bits.h"

namespace {

constexpr int SMOOTHING_PASSES = 6;

// Crossing points are named by the segment they lie on: horizontal segments
// (column, row) to (column + 1, row) first, then vertical ones (column, row)
// to (column, row + 1).
struct Crossings {
    int32_t w, h;
    int32_t horizontal(int32_t c, int32_t r) const { return r * w + c; }
    int32_t vertical(int32_t c, int32_t r) const { return w * h + r * w + c; }
};

// A piece of edge inside one cell, from one crossing to the next.
struct Piece {
    int32_t to, from;
};

}  // namespace

std::vector<OutlineLoop> trace_outline(const RegionMask& mask) {
    std::vector<OutlineLoop> loops;
    int32_t w = mask.width, h = mask.height;
    if (w < 3 || h < 3) return loops;
    Crossings ids{w, h};
    // The rows as bits, so that the cells whose four corners agree (no edge
    // crosses them: nearly all) are passed over 64 at a time.
    const int32_t words = (w + 63) / 64;
    std::vector<uint64_t> bits(size_t(words) * size_t(h), 0);
    for (int32_t r = 0; r < h; ++r)
        pack_row_bits(&mask.inside[size_t(r) * size_t(w)], w, &bits[size_t(r) * size_t(words)], 0);
    std::vector<Piece> pieces;
    // Each cell has corners TL (c, r), TR (c + 1, r), BR (c + 1, r + 1), BL
    // (c, r + 1). The cases below list each piece of edge anticlockwise
    // around the inside corners; it is stored the other way round, so that
    // the inside lies on its (-ty, tx) side, the right-hand side on the
    // screen (y down).
    for (int32_t r = 0; r + 1 < h; ++r) {
        const uint64_t* upper = &bits[size_t(r) * size_t(words)];
        const uint64_t* lower = upper + words;
        for (int32_t k = 0; k < words; ++k) {
            // Bit i: the corners of the cell in column 64 k + i.
            uint64_t tl = upper[k], bl = lower[k];
            uint64_t tr = (tl >> 1) | (k + 1 < words ? upper[k + 1] << 63 : 0);
            uint64_t br = (bl >> 1) | (k + 1 < words ? lower[k + 1] << 63 : 0);
            uint64_t mixed = (tl ^ tr) | (tl ^ bl) | (bl ^ br);
            // Cells stop one column before the last.
            int32_t cells = w - 1 - 64 * k;
            if (cells < 64) mixed &= (uint64_t(1) << cells) - 1;
            for (; mixed != 0; mixed &= mixed - 1) {
                int i = std::countr_zero(mixed);
                int32_t c = 64 * k + i;
                int32_t top = ids.horizontal(c, r), bottom = ids.horizontal(c, r + 1);
                int32_t left = ids.vertical(c, r), right = ids.vertical(c + 1, r);
                auto piece = [&](int32_t from, int32_t to) { pieces.push_back({to, from}); };
                int mask4 = int((tl >> i) & 1) | int((tr >> i) & 1) << 1 | int((br >> i) & 1) << 2 |
                            int((bl >> i) & 1) << 3;
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
    }
    // By the crossing they lead to; of two leading to the same crossing the
    // later one holds. Each piece is then linked to the one that leads to its
    // start (-1 where none does).
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const Piece& a, const Piece& b) { return a.to < b.to; });
    size_t kept = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i + 1 < pieces.size() && pieces[i + 1].to == pieces[i].to) continue;
        pieces[kept++] = pieces[i];
    }
    pieces.resize(kept);
    std::vector<int32_t> before(pieces.size(), -1);
    for (size_t i = 0; i < pieces.size(); ++i) {
        auto found = std::lower_bound(pieces.begin(), pieces.end(), pieces[i].from,
                                      [](const Piece& p, int32_t id) { return p.to < id; });
        if (found != pieces.end() && found->to == pieces[i].from)
            before[i] = int32_t(found - pieces.begin());
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
    // Each loop starts at its lowest crossing, the loops in the order of
    // those, and runs against the pieces' direction.
    std::vector<uint8_t> visited(pieces.size(), 0);
    std::vector<double> xs, ys;
    for (size_t start = 0; start < pieces.size(); ++start) {
        if (visited[start] != 0) continue;
        xs.clear();
        ys.clear();
        for (int32_t i = int32_t(start); i >= 0 && visited[size_t(i)] == 0; i = before[size_t(i)]) {
            double x = 0, y = 0;
            position(pieces[size_t(i)].to, &x, &y);
            xs.push_back(x);
            ys.push_back(y);
            visited[size_t(i)] = 1;
        }
        size_t n = xs.size();
        if (n < 4) continue;
        for (int pass = 0; pass < SMOOTHING_PASSES; ++pass) {
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
