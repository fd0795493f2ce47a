#include "players/greedy_heuristic.hpp"

#include <algorithm>

#include "players/placement_shapes.hpp"

// Scoring a move is mostly bit counting. Where the processor has a popcount
// instruction, a second copy of the scoring loops uses it, picked when the
// library loads; elsewhere counting is a library call per 64 bits.
#if defined(__x86_64__) && defined(__GNUC__)
#define POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define POPCOUNT_CLONES
#endif

namespace players {

namespace {

// Parts 2 and 3 of the score, in the mover's frame, which is also the frame
// of the observation and of the dense indices. The mover's corners after
// the move are its old ones and the new corner cells, less what the move
// blocks for it.
inline __attribute__((always_inline)) PlacementScore corner_score(const Turn& turn, const PlacementShape& shape) {
    const game::Observation& view = turn.view;
    const game::Bitboard corners_after = (view.corners[0] | shape.corner_cells) - view.blocked[0] - shape.own_blocked;
    PlacementScore denied = 0;
    for (std::size_t k = 1; k < game::NUM_SEATS; ++k) {
        if (!view.done[k]) denied += (view.corners[k] & shape.cells).count();
    }
    return corners_after.count() + denied;
}

}  // namespace

POPCOUNT_CLONES void score_moves(const Turn& turn, std::vector<PlacementScore>& scores) {
    const std::vector<PlacementShape>& shapes = placement_shapes();
    scores.resize(turn.moves.size());
    for (std::size_t i = 0; i < turn.moves.size(); ++i) {
        const std::uint16_t move = turn.moves[i];
        scores[i] = shapes[move].size * SIZE_WEIGHT + corner_score(turn, shapes[move]);
    }
}

POPCOUNT_CLONES std::size_t best_move(const Turn& turn, common::RandomStream* ties) {
    const std::vector<PlacementShape>& shapes = placement_shapes();
    unsigned biggest = 0;
    for (std::uint16_t move : turn.moves) biggest = std::max<unsigned>(biggest, shapes[move].size);
    std::size_t best = 0;
    PlacementScore best_score = 0;
    std::uint32_t tied = 0;
    for (std::size_t i = 0; i < turn.moves.size(); ++i) {
        const std::uint16_t move = turn.moves[i];
        if (shapes[move].size != biggest) continue;
        const PlacementScore score = corner_score(turn, shapes[move]);
        if (tied == 0 || score > best_score) {
            best = i;
            best_score = score;
            tied = 1;
        } else if (score == best_score && ties != nullptr && ties->below(++tied) == 0) {
            best = i;  // reservoir sampling: each tied move is kept with equal chance
        }
    }
    return best;
}

}  // namespace players
