#include "players/uct_tree.hpp"

#include <algorithm>
#include <cmath>

#include "game/fault.hpp"

namespace players {

void UctTree::start(const game::Game& root, std::uint64_t seed) {
    root_ = root;
    evaluator_.reseed(seed);
    pool_.clear();
    pool_.emplace_back();
    if (!expand(0, root_)) throw game::Fault("The search root has no room or no move");
}

bool UctTree::expand(std::uint32_t node, const game::Game& position) {
    if (position.over()) {
        pool_[node].expanded = true;  // a finished game: a leaf for good
        return false;
    }
    if (!turn_.read(position)) throw game::Fault("A seat to move in the tree has no placement");
    const std::size_t count = turn_.moves.size();
    if (pool_.size() + count > settings_->max_nodes && node != 0) return false;
    score_moves(turn_, scores_);
    order_.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) order_[i] = i;
    // Best score first; equal scores keep list order, so the order depends on the position only.
    std::sort(order_.begin(), order_.end(), [this](std::uint32_t a, std::uint32_t b) {
        return scores_[a] != scores_[b] ? scores_[a] > scores_[b] : a < b;
    });
    const auto first = static_cast<std::uint32_t>(pool_.size());
    pool_.resize(pool_.size() + count);
    for (std::size_t i = 0; i < count; ++i) pool_[first + i].move = turn_.grid_index(position, order_[i]);
    UctNode& expanded = pool_[node];
    expanded.first_child = first;
    expanded.num_children = static_cast<std::uint16_t>(count);
    expanded.mover = static_cast<std::uint8_t>(position.seat_to_move());
    expanded.expanded = true;
    return true;
}

std::uint32_t UctTree::select(std::uint32_t node) const {
    const UctNode& parent = pool_[node];
    std::uint32_t width = parent.num_children;
    if (settings_->widening > 0) {
        const double considered = std::ceil(settings_->widening * std::sqrt(static_cast<double>(parent.visits) + 1));
        width = std::min(width, static_cast<std::uint32_t>(considered));
    }
    const double log_visits = std::log(static_cast<double>(std::max(parent.visits, 1u)));
    std::uint32_t best = parent.first_child;
    double best_value = -1;
    for (std::uint32_t child = parent.first_child; child < parent.first_child + width; ++child) {
        const UctNode& candidate = pool_[child];
        if (candidate.visits == 0) return child;
        const double visits = candidate.visits;
        const double value = candidate.reward_sum[parent.mover] / visits +
                             settings_->exploration * std::sqrt(log_visits / visits);
        if (value > best_value) {
            best = child;
            best_value = value;
        }
    }
    return best;
}

void UctTree::simulate() {
    game::Game position = root_;
    std::uint32_t node = 0;
    path_.clear();
    path_.push_back(node);
    while (pool_[node].expanded && pool_[node].num_children > 0) {
        node = select(node);
        play(position, pool_[node].move);
        path_.push_back(node);
    }
    if (!pool_[node].expanded && pool_[node].visits > 0 && expand(node, position)) {
        node = pool_[node].first_child;
        play(position, pool_[node].move);
        path_.push_back(node);
    }
    const SeatValues reward = evaluator_.play_out(position);
    for (std::uint32_t visited : path_) {
        UctNode& n = pool_[visited];
        n.visits += 1;
        for (std::size_t k = 0; k < game::NUM_SEATS; ++k) n.reward_sum[k] += reward[k];
    }
}

}  // namespace players
