#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "players/greedy_heuristic.hpp"
#include "players/player.hpp"
#include "players/playout_evaluator.hpp"
#include "players/turn.hpp"

namespace players {

// One node of a search tree, a position where a seat that is not done is to
// move, or a finished game. The children of a node sit side by side in the
// pool, ordered by the greedy score of their moves, best first.
struct UctNode {
    std::array<float, game::NUM_SEATS> reward_sum{};  // summed playout rewards, by absolute seat
    std::uint32_t visits = 0;
    std::uint32_t first_child = 0;
    std::uint16_t num_children = 0;
    GridIndex move = 0;       // the move that led here, in the frame of the parent's mover
    std::uint8_t mover = 0;   // seat to move here, once expanded
    bool expanded = false;
};

// One tree of a UCT search for four seats with max^n backups: a playout's
// reward vector (one reward per seat) is added to every node on its path,
// and at each node the seat to move picks the child that is best for
// itself. Children are visited first in order of their greedy score, and
// only the first ~widening * sqrt(visits) of them are considered at all
// (progressive widening), so that a few hundred simulations are not spread
// over a few hundred moves. Nodes come from a pool whose memory is kept from
// one search to the next: a simulation allocates nothing once it has grown.
class UctTree {
public:
    explicit UctTree(const SearchSettings& settings)
        : settings_(&settings), evaluator_(settings.playout, settings.reward) {}

    // Forgets the previous tree and roots a new one at `root`, where the seat
    // to move must have a placement.
    void start(const game::Game& root, std::uint64_t seed);

    // One simulation: select down the tree, expand a leaf seen before, judge
    // the leaf by a playout, and add its values along the path.
    void simulate();

    // The root's children: their moves and visit counts, in child order,
    // which depends only on the root position.
    std::size_t root_children() const { return pool_[0].num_children; }
    GridIndex root_move(std::size_t child) const { return pool_[pool_[0].first_child + child].move; }
    std::uint32_t root_visits(std::size_t child) const { return pool_[pool_[0].first_child + child].visits; }

private:
    bool expand(std::uint32_t node, const game::Game& position);
    std::uint32_t select(std::uint32_t node) const;

    const SearchSettings* settings_;
    game::Game root_;
    PlayoutEvaluator evaluator_;
    std::vector<UctNode> pool_;
    std::vector<std::uint32_t> path_;
    Turn turn_;
    std::vector<PlacementScore> scores_;
    std::vector<std::uint32_t> order_;
};

}  // namespace players
