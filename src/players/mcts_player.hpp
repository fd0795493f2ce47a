#pragma once

#include <cstdint>
#include <vector>

#include "common/random_stream.hpp"
#include "common/worker_pool.hpp"
#include "players/player.hpp"
#include "players/uct_tree.hpp"

namespace players {

// A tree search player (uct_tree.hpp). Each move runs `threads` independent
// trees on a worker pool of as many threads, the calling thread one of them,
// and plays the root move with the most visits summed over the trees (ties
// to the better greedy score). The trees' seeds come from the player's
// stream, so with a simulation budget the moves depend only on the seed, the
// positions and the thread count (each thread count splits the budget over
// that many trees, which search differently); a time budget gives up that
// guarantee. The trees, their node pools and the threads live as long as the
// player.
class MctsPlayer final : public Player {
public:
    // Throws std::system_error when the system refuses a thread.
    MctsPlayer(const SearchSettings& settings, std::uint64_t seed);
    MctsPlayer(const MctsPlayer&) = delete;
    MctsPlayer& operator=(const MctsPlayer&) = delete;

    using Player::choose;
    std::optional<GridIndex> choose(const game::Game& position, common::Interrupt& interrupt) override;
    void reseed(std::uint64_t seed) override { stream_.reseed(seed); }

    // Over all trees.
    std::uint64_t last_simulations() const override { return last_simulations_; }

private:
    std::uint64_t search(UctTree& tree, std::uint32_t share, common::Interrupt& interrupt) const;

    SearchSettings settings_;
    common::RandomStream stream_;
    std::vector<UctTree> trees_;
    std::vector<std::uint64_t> tree_seeds_;
    std::vector<std::uint64_t> done_;  // simulations run by each tree in the last move
    common::WorkerPool pool_;
    Turn turn_;
    std::uint64_t last_simulations_ = 0;
};

}  // namespace players
