#include "search/puct_tree.hpp"

#include <algorithm>
#include <cmath>

#include "game/fault.hpp"
#include "search/dirichlet.hpp"

namespace search {

void PuctTree::start(const game::Game& root, std::uint64_t seed) {
    root_ = root;
    stream_.reseed(seed);
    pool_.clear();
    pool_.emplace_back();
    pool_[ROOT].parent = NO_PARENT;
    if (root_.over()) pool_[ROOT].state = NodeState::Finished;
}

std::uint32_t PuctTree::best_child(const PuctNode& parent) const {
    const std::size_t mover = parent.mover;
    const float sqrt_total = std::sqrt(static_cast<float>(std::max(parent.visits + parent.pending, 1u)));
    const float first_play = parent.visits > 0 ? parent.value_sum[mover] / static_cast<float>(parent.visits) : 0.0f;
    const float scale = settings_->exploration * sqrt_total;
    std::uint32_t best = parent.first_child;
    float best_score = -1;
    const PuctNode* child = pool_.data() + parent.first_child;
    for (std::uint32_t i = 0; i < parent.num_children; ++i, ++child) {
        const std::uint32_t seen = child->visits + child->pending;
        const float count = static_cast<float>(seen);
        const float mean = seen > 0 ? child->value_sum[mover] / count : first_play;
        const float score = mean + scale * child->prior / (1.0f + count);
        if (score > best_score) {
            best_score = score;
            best = parent.first_child + i;
        }
    }
    return best;
}

PuctTree::Selection PuctTree::select(game::Game& position) {
    position = root_;
    std::uint32_t node = ROOT;
    while (pool_[node].state == NodeState::Expanded) {
        node = best_child(pool_[node]);
        players::play(position, pool_[node].move);
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
    for (std::uint32_t n = node; n != NO_PARENT; n = pool_[n].parent) ++pool_[n].pending;
    return {Outcome::Leaf, node};
}

void PuctTree::expand(std::uint32_t leaf, std::span<const GridIndex> moves, std::span<const float> priors,
                      const SeatValues& values) {
    if (pool_[leaf].state != NodeState::Waiting || moves.size() != priors.size() || moves.empty()) {
        throw game::Fault("An evaluation given to a node that does not wait for one");
    }
    pool_[leaf].state = NodeState::Fresh;
    if (leaf == ROOT || pool_.size() + moves.size() <= settings_->max_nodes) {
        float total = 0;
        for (float prior : priors) total += prior;
        const auto first = static_cast<std::uint32_t>(pool_.size());
        pool_.resize(pool_.size() + moves.size());
        for (std::size_t i = 0; i < moves.size(); ++i) {
            PuctNode& child = pool_[first + i];
            child.move = moves[i];
            child.prior = total > 0 ? priors[i] / total : 1.0f / static_cast<float>(moves.size());
            child.parent = leaf;
        }
        PuctNode& expanded = pool_[leaf];
        expanded.first_child = first;
        expanded.num_children = static_cast<std::uint16_t>(moves.size());
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
    noise_.resize(pool_[ROOT].num_children);
    draw_dirichlet(stream_, settings_->noise_alpha, noise_);
    PuctNode* child = pool_.data() + pool_[ROOT].first_child;
    for (float share : noise_) {
        child->prior = (1 - fraction) * child->prior + fraction * share;
        ++child;
    }
}

void PuctTree::step(GridIndex move) {
    if (pool_[ROOT].pending > 0) throw game::Fault("A search tree moved while selections wait");
    players::play(root_, move);
    std::uint32_t kept = NO_PARENT;
    for (std::uint32_t i = 0; i < pool_[ROOT].num_children && pool_[ROOT].state == NodeState::Expanded; ++i) {
        const std::uint32_t child = pool_[ROOT].first_child + i;
        if (pool_[child].move == move && pool_[child].state == NodeState::Expanded) kept = child;
    }
    if (kept == NO_PARENT) {
        pool_.clear();
        pool_.emplace_back();
        pool_[ROOT].parent = NO_PARENT;
        if (root_.over()) pool_[ROOT].state = NodeState::Finished;
        return;
    }
    // Breadth first: each copied node's children are appended as one block,
    // and a node is visited after its parent has given it its new index.
    spare_.clear();
    spare_.push_back(pool_[kept]);
    spare_[ROOT].parent = NO_PARENT;
    for (std::uint32_t i = 0; i < spare_.size(); ++i) {
        if (spare_[i].state != NodeState::Expanded) continue;
        const std::uint32_t old_first = spare_[i].first_child;
        spare_[i].first_child = static_cast<std::uint32_t>(spare_.size());
        for (std::uint32_t c = 0; c < spare_[i].num_children; ++c) {
            spare_.push_back(pool_[old_first + c]);
            spare_.back().parent = i;
        }
    }
    pool_.swap(spare_);
    add_noise();
}

GridIndex PuctTree::choose(float temperature) {
    const std::span<const PuctNode> options = children(ROOT);
    if (options.empty()) throw game::Fault("A move asked of a search tree whose root has no children");
    std::size_t best = 0;
    for (std::size_t i = 1; i < options.size(); ++i) {
        const PuctNode& a = options[i];
        const PuctNode& b = options[best];
        if (a.visits > b.visits || (a.visits == b.visits && a.prior > b.prior)) best = i;
    }
    if (temperature <= 0 || options[best].visits == 0) return options[best].move;
    weights_.resize(options.size());
    double total = 0;
    const double most = options[best].visits;
    for (std::size_t i = 0; i < options.size(); ++i) {
        weights_[i] = std::pow(options[i].visits / most, 1.0 / temperature);
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
