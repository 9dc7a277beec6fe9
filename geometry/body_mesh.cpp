// Helpers on the body's shared records.
#include "geometry/body_mesh.h"

#include <cmath>

double edge_distance(const DistanceField& field, double x_fine, double y_fine) {
    // Nearest pixel: round half up, in whole pixels of the field.
    double column = std::floor(x_fine / FINE_ONE - field.origin_x + 0.5);
    double row = std::floor(y_fine / FINE_ONE - field.origin_y + 0.5);
    if (column < 0 || row < 0 || column >= field.width || row >= field.height) return 0;
    int32_t squared = field.squared[size_t(row) * size_t(field.width) + size_t(column)];
    if (squared <= 0) return 0;
    return std::sqrt(double(squared)) - 0.5;
}
