#include "players/mcts_player.hpp"

#include <algorithm>
#include <chrono>

namespace players {

namespace {

// How many simulations pass between looks at the clock under a time budget.
constexpr std::uint32_t CLOCK_INTERVAL = 8;

}  // namespace

MctsPlayer::MctsPlayer(const SearchSettings& settings, std::uint64_t seed)
    : settings_(settings), stream_(seed), pool_(std::max(settings.threads, 1u)) {
    settings_.threads = std::max(settings_.threads, 1u);
    trees_.reserve(settings_.threads);
    for (std::uint32_t t = 0; t < settings_.threads; ++t) trees_.emplace_back(settings_);
    tree_seeds_.resize(settings_.threads);
    done_.resize(settings_.threads);
}

std::uint64_t MctsPlayer::search(UctTree& tree, std::uint32_t share, common::Interrupt& interrupt) const {
    if (settings_.seconds <= 0) {
        std::uint32_t done = 0;
        for (; done < share && !interrupt.poll(); ++done) tree.simulate();
        return done;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration<double>(settings_.seconds);
    std::uint64_t done = 0;
    do {
        for (std::uint32_t i = 0; i < CLOCK_INTERVAL; ++i) tree.simulate();
        done += CLOCK_INTERVAL;
    } while (Clock::now() < deadline && !interrupt.poll());
    return done;
}

std::optional<GridIndex> MctsPlayer::choose(const game::Game& position, common::Interrupt& interrupt) {
    if (!turn_.read(position)) return std::nullopt;
    last_simulations_ = 0;
    if (turn_.moves.size() == 1) return turn_.grid_index(position, 0);

    const std::uint32_t threads = settings_.threads;
    for (std::uint64_t& seed : tree_seeds_) seed = stream_.next();
    auto run = [&](std::size_t t) {
        trees_[t].start(position, tree_seeds_[t]);
        const std::uint32_t share = settings_.simulations / threads + (t < settings_.simulations % threads);
        done_[t] = search(trees_[t], share, interrupt);
    };
    pool_.run(run, &interrupt);

    // Every tree lists the root's children in the same order, so visits add up child by child.
    std::size_t best = 0;
    std::uint64_t best_visits = 0;
    for (std::size_t child = 0; child < trees_[0].root_children(); ++child) {
        std::uint64_t visits = 0;
        for (const UctTree& tree : trees_) visits += tree.root_visits(child);
        if (visits > best_visits) {
            best = child;
            best_visits = visits;
        }
    }
    for (std::uint64_t count : done_) last_simulations_ += count;
    return trees_[0].root_move(best);
}

}  // namespace players
