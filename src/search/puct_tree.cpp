#include "search/puct_tree.hpp"

#include <algorithm>
#include <cmath>

#include "game/fault.hpp"
#include "search/dirichlet.hpp"

namespace search {

void PuctTree::clear() {
    pool_.clear();
    edges_.clear();
    pool_.emplace_back();
    pool_[ROOT].parent = NO_PARENT;
    if (root_.over()) pool_[ROOT].state = NodeState::Finished;
}

void PuctTree::start(const game::Game& root, std::uint64_t seed) {
    root_ = root;
    stream_.reseed(seed);
    clear();
}

PuctEdge& PuctTree::best_edge(const PuctNode& parent) {
    const std::size_t mover = parent.mover;
    const float sqrt_total = std::sqrt(static_cast<float>(std::max(parent.visits + parent.pending, 1u)));
    const float first_play = parent.visits > 0 ? parent.value_sum[mover] / static_cast<float>(parent.visits) : 0.0f;
    const float scale = settings_->exploration * sqrt_total;
    PuctEdge* const first = edges_.data() + parent.first_edge;
    PuctEdge* best = first;
    float best_score = -1;
    for (PuctEdge* edge = first; edge != first + parent.num_edges; ++edge) {
        float score = first_play + scale * edge->prior;
        if (edge->child != 0) {
            const PuctNode& child = pool_[edge->child];
            const std::uint32_t seen = child.visits + child.pending;
            const float count = static_cast<float>(seen);
            const float mean = seen > 0 ? child.value_sum[mover] / count : first_play;
            score = mean + scale * edge->prior / (1.0f + count);
        }
        if (score > best_score) {
            best_score = score;
            best = edge;
        }
    }
    return *best;
}

PuctTree::Selection PuctTree::select(game::Game& position) {
    position = root_;
    std::uint32_t node = ROOT;
    while (pool_[node].state == NodeState::Expanded) {
        PuctEdge& edge = best_edge(pool_[node]);
        if (edge.child == 0) {
            edge.child = static_cast<std::uint32_t>(pool_.size());
            pool_.emplace_back();
            pool_.back().parent = node;
        }
        players::play(position, edge.move);
        node = edge.child;
    }
    PuctNode& reached = pool_[node];
    if (reached.state == NodeState::Waiting) return {Outcome::Collision, node};
    if (reached.state == NodeState::Finished || position.over()) {
        reached.state = NodeState::Finished;
        back_up(node, players::outcome_values(position, settings_->reward), false);
        return {Outcome::Finished, node};
    }
    reached.state = NodeState::Waiting;
    reached.mover = static_cast<std::uint8_t>(position.seat_to_move());
    hold(node);
    return {Outcome::Leaf, node};
}

void PuctTree::add_pending(std::uint32_t node, int change) {
    for (std::uint32_t n = node; n != NO_PARENT; n = pool_[n].parent) {
        pool_[n].pending = static_cast<std::uint16_t>(pool_[n].pending + change);
    }
}

void PuctTree::expand(std::uint32_t leaf, std::span<const GridIndex> moves, std::span<const float> priors,
                      const SeatValues& values) {
    if (pool_[leaf].state != NodeState::Waiting || moves.size() != priors.size() || moves.empty()) {
        throw game::Fault("An evaluation given to a node that does not wait for one");
    }
    pool_[leaf].state = NodeState::Fresh;
    if (leaf == ROOT || edges_.size() + moves.size() <= settings_->max_nodes) {
        float total = 0;
        for (float prior : priors) total += prior;
        const auto first = static_cast<std::uint32_t>(edges_.size());
        edges_.resize(edges_.size() + moves.size());
        PuctEdge* edge = edges_.data() + first;
        const float scale = total > 0 ? 1.0f / total : 0.0f, uniform = 1.0f / static_cast<float>(moves.size());
        for (std::size_t i = 0; i < moves.size(); ++i) {
            edge[i].prior = total > 0 ? priors[i] * scale : uniform;
            edge[i].child = 0;
            edge[i].move = moves[i];
        }
        PuctNode& expanded = pool_[leaf];
        expanded.first_edge = first;
        expanded.num_edges = static_cast<std::uint16_t>(moves.size());
        expanded.state = NodeState::Expanded;
        if (leaf == ROOT) add_noise();
    }
    back_up(leaf, values, true);
}

void PuctTree::back_up(std::uint32_t leaf, const SeatValues& values, bool was_pending) {
    for (std::uint32_t n = leaf; n != NO_PARENT; n = pool_[n].parent) {
        PuctNode& node = pool_[n];
        node.visits += 1;
        for (std::size_t seat = 0; seat < game::NUM_SEATS; ++seat) node.value_sum[seat] += values[seat];
        if (was_pending) node.pending -= 1;
    }
}

void PuctTree::add_noise() {
    const float fraction = settings_->noise_fraction;
    if (fraction <= 0 || pool_[ROOT].state != NodeState::Expanded) return;
    noise_.resize(pool_[ROOT].num_edges);
    draw_dirichlet(stream_, settings_->noise_alpha, noise_);
    PuctEdge* edge = edges_.data() + pool_[ROOT].first_edge;
    for (float share : noise_) {
        edge->prior = (1 - fraction) * edge->prior + fraction * share;
        ++edge;
    }
}

void PuctTree::step(GridIndex move) {
    if (pool_[ROOT].pending > 0) throw game::Fault("A search tree moved while selections wait");
    players::play(root_, move);
    std::uint32_t kept = 0;
    for (const PuctEdge& edge : edges(ROOT)) {
        if (edge.move == move && edge.child != 0 && pool_[edge.child].state == NodeState::Expanded) kept = edge.child;
    }
    if (kept == 0) return clear();
    // Breadth first: each copied node's edges are appended as one block, and
    // a node is copied when its parent's edge is, so that it is visited
    // after its parent has given it its new index.
    spare_.clear();
    spare_edges_.clear();
    spare_.push_back(pool_[kept]);
    spare_[ROOT].parent = NO_PARENT;
    for (std::uint32_t i = 0; i < spare_.size(); ++i) {
        if (spare_[i].state != NodeState::Expanded) continue;
        const std::uint32_t old_first = spare_[i].first_edge;
        spare_[i].first_edge = static_cast<std::uint32_t>(spare_edges_.size());
        for (std::uint32_t e = 0; e < spare_[i].num_edges; ++e) {
            PuctEdge edge = edges_[old_first + e];
            if (edge.child != 0) {
                const PuctNode& child = pool_[edge.child];
                edge.child = static_cast<std::uint32_t>(spare_.size());
                spare_.push_back(child);
                spare_.back().parent = i;
            }
            spare_edges_.push_back(edge);
        }
    }
    pool_.swap(spare_);
    edges_.swap(spare_edges_);
    add_noise();
}

GridIndex PuctTree::choose(float temperature) {
    const std::span<const PuctEdge> options = edges(ROOT);
    if (options.empty()) throw game::Fault("A move asked of a search tree whose root has no edges");
    std::size_t best = 0;
    for (std::size_t i = 1; i < options.size(); ++i) {
        const std::uint32_t a = visits(options[i]), b = visits(options[best]);
        if (a > b || (a == b && options[i].prior > options[best].prior)) best = i;
    }
    const double most = visits(options[best]);
    if (temperature <= 0 || most == 0) return options[best].move;
    weights_.resize(options.size());
    double total = 0;
    for (std::size_t i = 0; i < options.size(); ++i) {
        weights_[i] = std::pow(visits(options[i]) / most, 1.0 / temperature);
        total += weights_[i];
    }
    // One uniform draw in [0, total) walked along the weights.
    double point = static_cast<double>(stream_.next() >> 11) * 0x1.0p-53 * total;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (point < weights_[i] && weights_[i] > 0) return options[i].move;
        point -= weights_[i];
    }
    return options[best].move;
}

}  // namespace search
