#pragma once

#include <span>

#include "common/random_stream.hpp"

namespace search {

// Fills `out` with one draw from the symmetric Dirichlet distribution of
// concentration `alpha` > 0, from `stream`, the engine's one random stream:
// <random>'s distributions would draw differently on each standard library.
void draw_dirichlet(common::RandomStream& stream, float alpha, std::span<float> out);

}  // namespace search
