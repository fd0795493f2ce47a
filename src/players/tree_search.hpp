#pragma once

#include <cstdint>
#include <vector>

#include "players/player.hpp"
#include "common/random_stream.hpp"
#include "players/search_tree.hpp"

namespace players {

// A tree search player (search_tree.hpp). Each move runs `threads`
// independent trees, the first on the calling thread and the others on
// threads of their own, and plays the root move with the most visits summed
// over the trees (ties to the better greedy score). The trees' seeds come
// from the player's stream, so with a simulation budget the moves depend
// only on the seed and the positions, whatever the thread count; a time
// budget gives up that guarantee. The trees and their node pools live as
// long as the player.
class TreeSearchPlayer final : public Player {
public:
    TreeSearchPlayer(const SearchSettings& settings, std::uint64_t seed);
    TreeSearchPlayer(const TreeSearchPlayer&) = delete;
    TreeSearchPlayer& operator=(const TreeSearchPlayer&) = delete;

    std::optional<GridIndex> choose(const game::Game& position) override;
    void reseed(std::uint64_t seed) override { stream_.reseed(seed); }

    // Over all trees.
    std::uint64_t last_simulations() const override { return last_simulations_; }

private:
    std::uint64_t search(SearchTree& tree, std::uint32_t share) const;

    SearchSettings settings_;
    common::RandomStream stream_;
    std::vector<SearchTree> trees_;
    std::vector<std::uint64_t> tree_seeds_;
    Turn turn_;
    std::uint64_t last_simulations_ = 0;
};

}  // namespace players
