#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "common/random_stream.hpp"
#include "game/game.hpp"
#include "game/scores.hpp"
#include "players/evaluator.hpp"
#include "players/turn.hpp"

namespace search {

using players::GridIndex;
using players::SeatValues;

// The settings of one search tree; the defaults are the defaults everywhere.
struct PuctSettings {
    float exploration = 1.5f;       // c in Q + c * P * sqrt(N) / (1 + n)
    float noise_alpha = 0.3f;       // concentration of the Dirichlet noise at the root
    float noise_fraction = 0.25f;   // share of each root prior replaced by noise; 0: none
    float temperature = 1.0f;       // moves drawn by visits^(1 / temperature); 0: the most visited
    std::uint32_t max_nodes = 1u << 20;  // edges per tree; a full pool stops growing the tree, not the search
    game::RewardMode reward = game::RewardMode::Rank;  // how finished games in the tree are valued
};

// Where a node stands. A node is Fresh until a selection reaches it; it then
// waits for its evaluation (Waiting) unless its game is over (Finished), and
// the evaluation gives it its edges (Expanded), or, when the pool has no
// room for them, makes it Fresh again.
enum class NodeState : std::uint8_t { Fresh, Waiting, Expanded, Finished };

// One legal move of an expanded node: its prior, and the node it leads to
// once a selection has taken it. Most moves of a node are never taken, so
// they cost an edge and no node.
struct PuctEdge {
    float prior;
    std::uint32_t child;  // 0 until taken (node 0 is the root, nobody's child)
    GridIndex move;       // in the frame of the node's mover
};

// An allocator that leaves the elements a vector grows by unwritten, so that
// an expansion writes each edge once instead of clearing it first.
template <class T>
struct Unwritten : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = Unwritten<U>;
    };
    template <class U>
    void construct(U* place) {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

// One position of the tree. Its edges sit side by side in the edge pool,
// one per legal move of its mover, in the order of the legal list that its
// evaluation was given.
struct PuctNode {
    SeatValues value_sum{};       // summed values backed up through here, by absolute seat
    std::uint32_t visits = 0;     // values backed up through here
    std::uint32_t parent = 0;     // NO_PARENT at the root
    std::uint32_t first_edge = 0;
    std::uint16_t num_edges = 0;
    std::uint16_t pending = 0;    // selections through here still waiting for their leaf's evaluation
    std::uint8_t mover = 0;       // seat to move here, once selected
    NodeState state = NodeState::Fresh;
};

// One tree of a PUCT search for four seats. A selection walks down from the
// root, each node's mover taking the child with the best
//     Q + exploration * prior * sqrt(N) / (1 + n)
// for itself, where Q is the child's mean value for that seat (max^n: each
// seat judges by its own value) and n, N count the child's and the node's
// visits together with their pending selections. A pending selection counts
// as a visit of value 0, the worst, so that the next selections of the same
// round go elsewhere (virtual loss). A child never visited takes its
// parent's mean value for the mover as its Q.
//
// The leaf's evaluation gives it an edge for each legal move only, and
// backs its four values up to the root; a node is made for an edge when a
// selection first takes it. Nodes and edges come from pools kept from one
// search to the next; moving the root to a child after a move copies that
// child's subtree into second pools, so nothing allocates once grown.
class PuctTree {
public:
    static constexpr std::uint32_t ROOT = 0;
    static constexpr std::uint32_t NO_PARENT = UINT32_MAX;

    explicit PuctTree(const PuctSettings& settings) : settings_(&settings) {}

    // Roots a new tree at `root`, a game that is over or whose seat to move
    // has a placement, and seeds the tree's draws (noise, moves).
    void start(const game::Game& root, std::uint64_t seed);
    const game::Game& root() const { return root_; }

    enum class Outcome : std::uint8_t {
        Leaf,       // a leaf now waits for an evaluation: `position` is its game
        Finished,   // reached a finished game, whose values are backed up already
        Collision,  // reached a leaf that already waits; nothing changed (see hold())
    };
    struct Selection {
        Outcome outcome;
        std::uint32_t node;
    };
    // One selection from the root; `position` receives the selected node's
    // game. The root must be running.
    Selection select(game::Game& position);

    // Counts one more (hold) or one fewer (release) pending selection on the
    // path from `node` to the root. A caller that holds the node a selection
    // collided with makes the next selections of its round go elsewhere; it
    // releases it before the round's evaluations.
    void hold(std::uint32_t node) { add_pending(node, 1); }
    void release(std::uint32_t node) { add_pending(node, -1); }

    // Gives waiting leaf `leaf` the evaluation of its position: edges for
    // `moves` (its mover's legal moves, grid indices in its frame) with
    // `priors` (non-negative, one per move, a positive sum; normalised
    // here), and `values` backed up to the root. At the root the priors get
    // the noise.
    void expand(std::uint32_t leaf, std::span<const GridIndex> moves, std::span<const float> priors,
                const SeatValues& values);

    // Plays `move` at the root and keeps the subtree below it, or starts
    // afresh when the tree has not evaluated that move. No selection may be
    // waiting.
    void step(GridIndex move);

    // Simulations finished since the root was evaluated, and waiting.
    std::uint32_t simulations() const { return pool_[ROOT].visits > 0 ? pool_[ROOT].visits - 1 : 0; }
    std::uint32_t pending() const { return pool_[ROOT].pending; }
    bool root_expanded() const { return pool_[ROOT].state == NodeState::Expanded; }

    // A root move drawn by visits^(1 / temperature) (the most visited at
    // temperature 0, ties to the higher prior, then the first); the root
    // must be expanded.
    GridIndex choose(float temperature);

    const PuctNode& node(std::uint32_t index) const { return pool_[index]; }
    std::span<const PuctEdge> edges(std::uint32_t index) const {
        return {edges_.data() + pool_[index].first_edge, pool_[index].num_edges};
    }
    std::uint32_t visits(const PuctEdge& edge) const { return edge.child != 0 ? pool_[edge.child].visits : 0; }

private:
    // The edge, among `parent`'s, that its mover takes.
    PuctEdge& best_edge(const PuctNode& parent);
    void clear();
    void add_pending(std::uint32_t node, int change);
    void back_up(std::uint32_t leaf, const SeatValues& values, bool was_pending);
    void add_noise();

    const PuctSettings* settings_;
    game::Game root_;
    common::RandomStream stream_;
    std::vector<PuctNode> pool_, spare_;
    std::vector<PuctEdge, Unwritten<PuctEdge>> edges_, spare_edges_;
    std::vector<float> noise_;
    std::vector<double> weights_;
};

}  // namespace search
