#include "search/dirichlet.hpp"

#include <cmath>
#include <numbers>

namespace search {

namespace {

// Uniform in (0, 1): never 0, so that its logarithm is finite.
double open_uniform(common::RandomStream& stream) {
    return (static_cast<double>(stream.next() >> 11) + 0.5) * 0x1.0p-53;
}

double standard_normal(common::RandomStream& stream) {
    return std::sqrt(-2.0 * std::log(open_uniform(stream))) * std::cos(2.0 * std::numbers::pi * open_uniform(stream));
}

// Gamma(shape, 1) by Marsaglia and Tsang's method for shape >= 1, whose
// cheap squeeze accepts most draws without a logarithm; a smaller shape
// draws at shape + 1 and scales by U^(1 / shape).
double draw_gamma(common::RandomStream& stream, double shape) {
    if (shape < 1) return draw_gamma(stream, shape + 1) * std::pow(open_uniform(stream), 1.0 / shape);
    const double d = shape - 1.0 / 3.0, c = 1.0 / std::sqrt(9.0 * d);
    for (;;) {
        const double x = standard_normal(stream), root = 1.0 + c * x;
        if (root <= 0) continue;
        const double v = root * root * root, u = open_uniform(stream), square = x * x;
        if (u < 1 - 0.0331 * square * square) return d * v;
        if (std::log(u) < 0.5 * square + d - d * v + d * std::log(v)) return d * v;
    }
}

}  // namespace

void draw_dirichlet(common::RandomStream& stream, float alpha, std::span<float> out) {
    double total = 0;
    for (float& share : out) {
        const double drawn = draw_gamma(stream, alpha);
        share = static_cast<float>(drawn);
        total += drawn;
    }
    // Tiny shapes can underflow every draw: then one share takes it all.
    if (total <= 0) {
        for (float& share : out) share = 0;
        if (!out.empty()) out[stream.below(static_cast<std::uint32_t>(out.size()))] = 1;
        return;
    }
    for (float& share : out) share = static_cast<float>(share / total);
}

}  // namespace search
