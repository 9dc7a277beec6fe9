// Outlines for body tests and benchmarks (as pixel masks), and the figures of
// a body's quality: dihedral angles, the rim's crease, triangle angles,
// topology, and how near a disc comes to a sphere and a band to a tube.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "geometry/assemble_body_shell.h"
#include "geometry/body_mesh.h"

// The 514 x 483 screen as the outline build sees it: pixel (c, r) is model
// point (c - 257, r - 241).
inline constexpr int32_t SCREEN_W = 514;
inline constexpr int32_t SCREEN_H = 483;

struct BodyOutline {
    std::string name;
    std::function<bool(double x, double y)> inside;  // model coordinates
    int32_t holes = 0;
    int32_t regions = 1;
};

// The shapes of the quality table: disc r 110, small disc r 45, ellipse,
// five-point star, heart, hand with spread fingers, letter S, 44-pixel band,
// L, ring.
std::vector<BodyOutline> body_outlines();

// Drawings as users make them: a rabbit with long ears, a cat with an 8-px
// tail, a fish with narrow fins, a stick person, a mushroom, a wobbly circle,
// a 20-px blob, a near-full-screen shape, 3-px and 5-px necks, a cloud and a
// sharp five-tip star.
std::vector<BodyOutline> drawing_outlines();

RegionMask outline_mask(const BodyOutline& outline);

struct BodyQuality {
    double dihedral_p95 = 0, dihedral_max = 0, inner_dihedral_p95 = 0;
    double rim_crease_median = 0;
    double ring1_cv = 0;
    double min_angle_p5 = 0;
    double sphere_rms = 0;   // relative to the radius (discs)
    double section_rms = 0;  // relative to the half-width (bands)
    int32_t triangles = 0, vertices = 0;
    int32_t components = 0;
    int32_t genus_total = 0;
    bool closed = false;  // every directed edge once and its reverse present
    bool every_piece_has_volume = false;
    // With the drawn region (measure_body's mask): the largest dihedral of
    // the edges within 8 px of a notch or tip (where the rim turns by more
    // than 40 degrees within 6 px each way), and the rim's crease where the
    // region is under 12 px in half-width (ears, limbs, tails), when at least
    // 16 rim edges are.
    double turn_dihedral_max = 0;
    double thin_crease_median = 0;
    int32_t thin_rim_edges = 0;
};

// `drawn`, when given, is the region the body was inflated from.
BodyQuality measure_body(const BodyShell& body, const RegionMask* drawn = nullptr);
