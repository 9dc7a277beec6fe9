// page_drawing_gdi_check: the portable line and border fill against GDI itself. Each case
// draws the same input twice, with MoveToEx/LineTo or ExtFloodFill(FLOODFILLBORDER) into a
// top-down 16-bit DIB section (the Windows program's page format) and with draw_page_line or
// flood_fill_page into a plain array, and compares every pixel. Cross-compiled with mingw-w64
// and run under Wine by tools/test-windows.sh.
//
// usage: page_drawing_gdi_check [--seed N] [--case GROUP INDEX]
// Every case draws its inputs from its own generator, seeded from (seed, group, index), so a
// failing case, printed with its inputs, runs alone with --case. Exit code 0 when no pixel
// differs, 1 when one does, 2 for bad arguments or a section that cannot be made.
#include <windows.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/common/page_drawing.h"
#include "tests/support/seeded_random.h"

namespace {

constexpr uint16_t BACKGROUND = 0x001F;  // the blue the program clears to
constexpr uint16_t OUTLINE_GREEN = 0x03E0;
constexpr int MAX_LISTED_PIXELS = 8;

// One GDI page and its portable twin, both width x height, top-down 5:5:5.
struct Pages {
    int32_t width = 0, height = 0;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    uint16_t* gdi = nullptr;
    std::vector<uint16_t> portable;
};

bool make_pages(Pages& pages, int32_t width, int32_t height) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[1];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;  // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = 16;
    info.header.biCompression = BI_RGB;
    pages.width = width;
    pages.height = height;
    pages.dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    if (pages.dc != nullptr)
        pages.bitmap = CreateDIBSection(pages.dc, reinterpret_cast<BITMAPINFO*>(&info),
                                        DIB_RGB_COLORS, &bits, nullptr, 0);
    if (pages.bitmap == nullptr || bits == nullptr) return false;
    // The memory context's default pen is the one the program draws with: solid, one pixel
    // wide, black.
    SelectObject(pages.dc, pages.bitmap);
    pages.gdi = static_cast<uint16_t*>(bits);
    pages.portable.assign(size_t(width) * size_t(height), BACKGROUND);
    return true;
}

void free_pages(Pages& pages) {
    if (pages.dc != nullptr) DeleteDC(pages.dc);
    if (pages.bitmap != nullptr) DeleteObject(pages.bitmap);
    pages = Pages{};
}

// Both pages get the portable page's pixels.
void copy_to_gdi(Pages& pages) {
    GdiFlush();
    std::memcpy(pages.gdi, pages.portable.data(), pages.portable.size() * sizeof(uint16_t));
}

void clear(Pages& pages) {
    pages.portable.assign(pages.portable.size(), BACKGROUND);
    copy_to_gdi(pages);
}

struct Line {
    int32_t x0, y0, x1, y1;
};

void draw_both(Pages& pages, const Line& line) {
    MoveToEx(pages.dc, line.x0, line.y0, nullptr);
    LineTo(pages.dc, line.x1, line.y1);
    draw_page_line(pages.portable.data(), pages.width, pages.height, line.x0, line.y0, line.x1,
                   line.y1, PAGE_BLACK);
}

void fill_both(Pages& pages, int32_t x, int32_t y, uint16_t fill) {
    auto widen = [](uint32_t five) { return BYTE((five << 3) | (five >> 2)); };
    const HBRUSH brush =
        CreateSolidBrush(RGB(widen((fill >> 10) & 31), widen((fill >> 5) & 31), widen(fill & 31)));
    const HGDIOBJ previous = SelectObject(pages.dc, brush);
    ExtFloodFill(pages.dc, x, y, RGB(0, 0, 0), FLOODFILLBORDER);
    SelectObject(pages.dc, previous);
    DeleteObject(brush);
    flood_fill_page(pages.portable.data(), pages.width, pages.height, x, y, fill, PAGE_BLACK);
}

// Counts the differing pixels; lists the first few when asked.
int64_t compare(Pages& pages, bool list = false) {
    GdiFlush();
    int64_t differing = 0;
    for (int32_t y = 0; y < pages.height; ++y) {
        for (int32_t x = 0; x < pages.width; ++x) {
            const size_t at = size_t(y) * size_t(pages.width) + size_t(x);
            if (pages.gdi[at] == pages.portable[at]) continue;
            if (list && differing < MAX_LISTED_PIXELS)
                std::printf("  (%d, %d): GDI 0x%04X, portable 0x%04X\n", x, y, pages.gdi[at],
                            pages.portable[at]);
            ++differing;
        }
    }
    return differing;
}

// A direction of exactly `major` steps on the longer axis and `minor` on the other, in one
// of the eight octants.
Line in_octant(SeededRandom& rng, int32_t x0, int32_t y0, int32_t major, int32_t minor) {
    int32_t dx = major, dy = minor;
    if (rng.chance(500)) std::swap(dx, dy);
    if (rng.chance(500)) dx = -dx;
    if (rng.chance(500)) dy = -dy;
    return {x0, y0, x0 + dx, y0 + dy};
}

// Lines whose slope makes exact half-way points: `minor` / `steps` = odd / even in lowest
// terms, so every other multiple of steps / 2 is a tie. Every octant, starting around the
// page so that most ties land on it.
void case_ties(SeededRandom& rng, Pages& pages, char* text) {
    int32_t even, odd;
    do {
        even = 2 * rng.between(1, 60);
        odd = 2 * rng.between(0, even / 2 - 1) + 1;
    } while ([&] {
        for (int32_t d = 3; d <= odd; d += 2)
            if (odd % d == 0 && even % d == 0) return true;
        return false;
    }());
    const int32_t scale = rng.between(1, 600 / even);
    const Line line = in_octant(rng, rng.between(-20, pages.width + 20),
                                rng.between(-20, pages.height + 20), scale * even, scale * odd);
    std::snprintf(text, 200, "line (%d, %d) -> (%d, %d)", line.x0, line.y0, line.x1, line.y1);
    draw_both(pages, line);
}

// Any direction, lengths 0 to 600, starting on the page or near it: most leave the page.
void case_random(SeededRandom& rng, Pages& pages, char* text) {
    const int32_t x0 = rng.between(-40, pages.width + 40);
    const int32_t y0 = rng.between(-40, pages.height + 40);
    const int32_t length = rng.chance(50) ? 0 : rng.between(1, 600);
    int32_t other = rng.between(0, length);
    if (rng.chance(100)) other = rng.chance(500) ? 0 : length;  // axis-aligned or diagonal
    const Line line = in_octant(rng, x0, y0, length, other);
    std::snprintf(text, 200, "line (%d, %d) -> (%d, %d)", line.x0, line.y0, line.x1, line.y1);
    draw_both(pages, line);
}

// End points on the page's border rows and columns or one pixel beyond them.
void case_borders(SeededRandom& rng, Pages& pages, char* text) {
    auto near_border = [&](int32_t size) {
        const int32_t choices[] = {-1, 0, 1, size / 2, size - 2, size - 1, size};
        return choices[rng.between(0, 6)];
    };
    const Line line = {near_border(pages.width), near_border(pages.height),
                       near_border(pages.width), near_border(pages.height)};
    std::snprintf(text, 200, "line (%d, %d) -> (%d, %d)", line.x0, line.y0, line.x1, line.y1);
    draw_both(pages, line);
}

// Lines that start far outside the page, up to 2^30 pixels away, and cross it: the pixels
// on the page must be those of the unclipped line.
void case_far(SeededRandom& rng, Pages& pages, char* text) {
    const int32_t reach = int32_t(1) << rng.between(8, 30);
    const int32_t cx = rng.between(0, pages.width - 1), cy = rng.between(0, pages.height - 1);
    const int32_t dx = rng.between(-reach, reach), dy = rng.between(-reach, reach);
    // Through (cx, cy) or close to it, with the far end anywhere within the reach.
    const Line line = {cx - dx, cy - dy, cx + rng.between(-reach, reach) / 64 + dx / 8,
                       cy + rng.between(-reach, reach) / 64 + dy / 8};
    std::snprintf(text, 200, "line (%d, %d) -> (%d, %d)", line.x0, line.y0, line.x1, line.y1);
    draw_both(pages, line);
}

// A page of strokes, closed outlines reaching past the edges, single pixels of black and
// of colours a border test could mistake for black (bit 15 set, nearly black) or that
// equal the fill, then one fill from anywhere: inside, on a stroke, or off the page.
void case_fill(SeededRandom& rng, Pages& pages, char* text) {
    std::vector<uint16_t>& page = pages.portable;
    const int32_t w = pages.width, h = pages.height;
    const int outlines = rng.between(1, 4);
    for (int k = 0; k < outlines; ++k) {
        const int corners = rng.between(3, 9);
        const int32_t cx = rng.between(0, w - 1), cy = rng.between(0, h - 1);
        const int32_t radius = rng.between(2, w / 2);
        int32_t first_x = 0, first_y = 0, last_x = 0, last_y = 0;
        for (int c = 0; c <= corners; ++c) {
            int32_t x = first_x, y = first_y;
            if (c < corners) {
                x = cx + rng.between(-radius, radius);
                y = cy + rng.between(-radius, radius);
            }
            if (c == 0) {
                first_x = x;
                first_y = y;
            } else {
                draw_page_line(page.data(), w, h, last_x, last_y, x, y, PAGE_BLACK);
            }
            last_x = x;
            last_y = y;
        }
    }
    const uint16_t specks[] = {PAGE_BLACK, PAGE_BLACK, 0x8000, 0x0001,
                               0x0400,     0x7FFF,     0x83E0, OUTLINE_GREEN};
    const int32_t speck_count = rng.between(0, w * h / 16);
    for (int32_t k = 0; k < speck_count; ++k)
        page[size_t(rng.between(0, w * h - 1))] = specks[rng.between(0, 7)];

    int32_t x = rng.between(0, w - 1), y = rng.between(0, h - 1);
    if (rng.chance(50)) {
        x = rng.chance(500) ? rng.between(-3, -1) : rng.between(w, w + 2);
    } else if (rng.chance(100)) {
        for (int tries = 0; tries < 1000 && page[size_t(y) * size_t(w) + size_t(x)] != PAGE_BLACK;
             ++tries) {
            x = rng.between(0, w - 1);
            y = rng.between(0, h - 1);
        }
    }
    const uint16_t fill = rng.chance(700) ? OUTLINE_GREEN : uint16_t(rng.between(1, 0x7FFF));
    std::snprintf(text, 200, "fill from (%d, %d) with 0x%04X", x, y, fill);
    copy_to_gdi(pages);
    fill_both(pages, x, y, fill);
}

// A freehand outline on the program's own page size, drawn as the program draws it (each
// segment from the previous mouse sample to the next, closed), then filled from the middle.
void case_session_page(SeededRandom& rng, Pages& pages, char* text) {
    const int32_t cx = pages.width / 2, cy = pages.height / 2;
    const int corners = rng.between(3, 40);
    int32_t last_x = 0, last_y = 0, first_x = 0, first_y = 0;
    for (int c = 0; c <= corners; ++c) {
        int32_t x = first_x, y = first_y;
        if (c < corners) {
            x = cx + rng.between(-300, 300);
            y = cy + rng.between(-280, 280);
        }
        if (c == 0) {
            first_x = x;
            first_y = y;
        } else {
            draw_both(pages, {last_x, last_y, x, y});
        }
        last_x = x;
        last_y = y;
    }
    // The lines must agree before the fill can be checked on the same page.
    if (compare(pages) != 0) {
        std::snprintf(text, 200, "outline of %d corners", corners);
        return;
    }
    std::snprintf(text, 200, "outline of %d corners, fill from (%d, %d)", corners, cx, cy);
    fill_both(pages, cx, cy, OUTLINE_GREEN);
}

struct CaseGroup {
    const char* name;
    int count;
    int32_t width, height;
    void (*run)(SeededRandom& rng, Pages& pages, char* text);
};

// The Windows program's client area is 514 x 483; the other groups use smaller pages so
// that long lines cross them and cases stay cheap.
const CaseGroup GROUPS[] = {
    {"ties", 1500, 128, 96, case_ties},
    {"random", 1500, 128, 96, case_random},
    {"borders", 400, 64, 48, case_borders},
    {"far", 400, 128, 96, case_far},
    {"fill", 1500, 96, 72, case_fill},
    {"session-page", 40, 514, 483, case_session_page},  // the program's page size
};
constexpr int GROUP_COUNT = int(sizeof(GROUPS) / sizeof(GROUPS[0]));

SeededRandom case_rng(uint64_t seed, int group, int index) {
    SeededRandom rng{seed};
    rng.state ^= rng.next() + uint64_t(group) * 0x100000001ull + uint64_t(index);
    rng.next();
    return rng;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t seed = 1;
    int only_group = -1, only_index = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--case") == 0 && i + 2 < argc) {
            const char* name = argv[++i];
            only_index = std::atoi(argv[++i]);
            for (int g = 0; g < GROUP_COUNT; ++g)
                if (std::strcmp(GROUPS[g].name, name) == 0) only_group = g;
            if (only_group < 0 || only_index < 0 || only_index >= GROUPS[only_group].count) {
                std::fprintf(stderr, "page_drawing_gdi_check: no case %s %s\n", name, argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: page_drawing_gdi_check [--seed N] [--case GROUP INDEX]\n");
            return 2;
        }
    }

    int failed = 0, cases = 0;
    for (int g = 0; g < GROUP_COUNT; ++g) {
        if (only_group >= 0 && g != only_group) continue;
        const CaseGroup& group = GROUPS[g];
        Pages pages;
        if (!make_pages(pages, group.width, group.height)) {
            std::fprintf(stderr, "page_drawing_gdi_check: no %d x %d section\n", group.width,
                         group.height);
            return 2;
        }
        int group_failed = 0;
        for (int index = 0; index < group.count; ++index) {
            if (only_index >= 0 && index != only_index) continue;
            SeededRandom rng = case_rng(seed, g, index);
            char text[200] = "";
            clear(pages);
            group.run(rng, pages, text);
            const int64_t differing = compare(pages);
            ++cases;
            if (differing == 0) continue;
            ++group_failed;
            std::printf("FAIL %s %d (--seed %" PRIu64 " --case %s %d) on %d x %d: %s: %" PRId64
                        " pixels differ\n",
                        group.name, index, seed, group.name, index, group.width, group.height, text,
                        differing);
            compare(pages, true);
        }
        std::printf("%-12s %5d cases on %d x %d, %d failed\n", group.name,
                    only_index >= 0 ? 1 : group.count, group.width, group.height, group_failed);
        failed += group_failed;
        free_pages(pages);
    }
    std::printf("%d cases, %d failed\n", cases, failed);
    return failed == 0 ? 0 : 1;
}
