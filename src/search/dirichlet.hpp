#pragma once

#include <span>

#include "common/random_stream.hpp"

namespace search {

// Fills `out` with one draw from the symmetric Dirichlet distribution of
// concentration `alpha` > 0, from `stream`: the same numbers on every
// compiler and standard library, which <random>'s distributions do not
// promise.
void draw_dirichlet(common::RandomStream& stream, float alpha, std::span<float> out);

}  // namespace search
