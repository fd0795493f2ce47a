#pragma once

#include <array>
#include <span>

#include "game/game.hpp"
#include "game/scores.hpp"
#include "players/turn.hpp"

namespace players {

// Four values of a position, one per seat in absolute seat order, each in
// [0, 1]: what a seat expects to get from it, the higher the better.
using SeatValues = std::array<float, game::NUM_SEATS>;

// What a tree search asks about a position it reaches and has not judged
// yet: how good it is for each seat, and which of the mover's moves look
// worth searching first. The search keeps its tree apart from this, so that
// playouts, a fixed rule or a learned network can stand behind it.
//
// An evaluator may keep state between calls (a random stream, scratch
// space), so one evaluator serves one thread at a time.
class Evaluator {
public:
    virtual ~Evaluator() = default;

    // `leaf` is any position: a finished game, or one whose seat to move has
    // the placements `moves` (grid indices in the mover's frame; empty when
    // the caller wants no priors). Writes into `priors` (empty, or one slot
    // per move) a prior for each move, together summing to one, and returns
    // each seat's value of `leaf`.
    virtual SeatValues evaluate(const game::Game& leaf, std::span<const GridIndex> moves, std::span<float> priors) = 0;
};

// The value of a finished game in `mode`, moved into [0, 1]: the score
// itself runs from LOWEST_SCORE to HIGHEST_SCORE, the other modes are
// already there.
SeatValues outcome_values(const game::Game& finished, game::RewardMode mode);

// Writes the same prior into every slot.
void uniform_priors(std::span<float> priors);

}  // namespace players
