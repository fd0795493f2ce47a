#pragma once

#include <cstdint>
#include <vector>

#include "common/random_stream.hpp"
#include "players/turn.hpp"

namespace players {

// The one-ply judgement of a placement, higher is better, in three parts
// by weight:
//   1. the piece's cell count: big pieces first, while there is room for
//      them (a piece left in hand costs its cells at the end);
//   2. the mover's attach corners after the placement (cells its next
//      piece could start from), the more the better;
//   3. plus the attach corners the placement takes from the other seats
//      that are not done, by covering them.
// Parts 2 and 3 are summed: one corner gained is worth one corner denied.
// A score is cells * SIZE_WEIGHT + corners after + corners denied; the
// last two stay below SIZE_WEIGHT (at most 400 cells on the board).
using PlacementScore = std::uint32_t;
inline constexpr PlacementScore SIZE_WEIGHT = 1024;

// The score of every move of `turn`, in the order of `turn.moves`.
void score_moves(const Turn& turn, std::vector<PlacementScore>& scores);

// The index in `turn.moves` of a best move by the score. Only moves of the
// biggest piece size are judged in full, since size dominates. Ties go to
// the first in list order, or to a uniform draw from `ties` when given.
std::size_t best_move(const Turn& turn, common::RandomStream* ties);

}  // namespace players
