#include "players/tree_search.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

namespace players {

namespace {

// How many simulations pass between looks at the clock under a time budget.
constexpr std::uint32_t CLOCK_INTERVAL = 8;

}  // namespace

TreeSearchPlayer::TreeSearchPlayer(const SearchSettings& settings, std::uint64_t seed)
    : settings_(settings), stream_(seed) {
    settings_.threads = std::max(settings_.threads, 1u);
    trees_.reserve(settings_.threads);
    for (std::uint32_t t = 0; t < settings_.threads; ++t) trees_.emplace_back(settings_);
    tree_seeds_.resize(settings_.threads);
}

std::uint64_t TreeSearchPlayer::search(SearchTree& tree, std::uint32_t share) const {
    if (settings_.seconds <= 0) {
        for (std::uint32_t i = 0; i < share; ++i) tree.simulate();
        return share;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration<double>(settings_.seconds);
    std::uint64_t done = 0;
    do {
        for (std::uint32_t i = 0; i < CLOCK_INTERVAL; ++i) tree.simulate();
        done += CLOCK_INTERVAL;
    } while (Clock::now() < deadline);
    return done;
}

std::optional<GridIndex> TreeSearchPlayer::choose(const game::Game& position) {
    if (!turn_.read(position)) return std::nullopt;
    last_simulations_ = 0;
    if (turn_.moves.size() == 1) return turn_.grid_index(position, 0);

    const std::uint32_t threads = settings_.threads;
    for (std::uint64_t& seed : tree_seeds_) seed = stream_.next();
    std::vector<std::uint64_t> done(threads, 0);
    std::vector<std::exception_ptr> failures(threads);
    const auto run = [&](std::uint32_t t) {
        try {
            trees_[t].start(position, tree_seeds_[t]);
            const std::uint32_t share = settings_.simulations / threads + (t < settings_.simulations % threads);
            done[t] = search(trees_[t], share);
        } catch (...) {
            failures[t] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(threads - 1);
        for (std::uint32_t t = 1; t < threads; ++t) helpers.emplace_back(run, t);
        run(0);
    }  // joins the helpers
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }

    // Every tree lists the root's children in the same order, so visits add up child by child.
    std::size_t best = 0;
    std::uint64_t best_visits = 0;
    for (std::size_t child = 0; child < trees_[0].root_children(); ++child) {
        std::uint64_t visits = 0;
        for (const SearchTree& tree : trees_) visits += tree.root_visits(child);
        if (visits > best_visits) {
            best = child;
            best_visits = visits;
        }
    }
    for (std::uint64_t count : done) last_simulations_ += count;
    return trees_[0].root_move(best);
}

}  // namespace players
