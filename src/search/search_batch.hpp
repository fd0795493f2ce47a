#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "batch/buffers.hpp"
#include "batch/game_batch.hpp"
#include "common/interrupt.hpp"
#include "common/worker_pool.hpp"
#include "players/evaluator.hpp"
#include "search/puct_tree.hpp"

namespace search {

struct SearchConfig {
    std::size_t games = 1;
    std::size_t threads = 1;          // workers, the calling thread included
    std::uint64_t seed = 0;           // of the trees' draws
    std::uint32_t simulations = 64;   // a move's budget: new visits of the root's children
    std::uint32_t leaves = 8;         // most leaves a tree sends to one evaluation round
    bool autoreset = true;            // a game that ends is replaced by a new one in the same step
    PuctSettings tree;
};

// Many games, each with its own search tree, searched together so that one
// evaluation (a network's forward pass, say) judges the leaves of all of
// them at once. A move is searched in rounds:
//   1. select() walks each tree that is short of its budget until `leaves`
//      new leaves wait (virtual loss spreads them; a selection that meets a
//      waiting leaf is held and tried again), and writes the leaves into
//      `leaves()` rows 0 .. count - 1 in the layout of GameBatch's buffers:
//      mover, observation planes, pieces, done and legal moves. Finished
//      games met in a tree are backed up there and then, and are no rows.
//   2. The caller evaluates the rows and hands back, through expand(), a
//      prior for each legal move of each row (all rows' lists one after the
//      other, row r's starting at prior_offsets()[r]) and four values per row,
//      seats counted from the row's mover as in its observation.
// A tree's budget counts the simulations of this move; those its subtree
// kept from earlier moves come on top. When select() finds every tree at its
// budget it returns 0, and has written each game's root visit counts as a
// distribution over the root's legal moves (policy(), rows aligned with
// roots().legal_actions) and a move drawn by the temperature (moves()).
// step() then plays the moves, keeping each tree's subtree below its move.
//
// Each worker owns a slice of the games and their trees; buffers, trees and
// scratch space are kept from round to round, so that rounds allocate
// nothing once the pools have grown.
class SearchBatch {
public:
    // Throws std::system_error when the system refuses a worker thread, and
    // std::bad_alloc when the buffers cannot be had.
    explicit SearchBatch(const SearchConfig& config);

    const SearchConfig& config() const { return config_; }
    std::size_t size() const { return trees_.size(); }
    std::size_t max_leaves() const { return config_.games * config_.leaves; }

    // Moves from the next search on are drawn at `temperature`.
    void set_temperature(float temperature) { config_.tree.temperature = temperature; }

    // A new game and tree in every slot, dropping any leaves that wait; with
    // a seed, the trees' draws restart from it.
    void reset(std::optional<std::uint64_t> seed = std::nullopt);

    // Puts a saved game into `slot` with a new tree, passing its done
    // seats; false, and no change, unless `bytes` is a valid state. A player
    // searches the position it is given this way. No round may be pending.
    [[nodiscard]] bool load(std::size_t slot, std::span<const std::uint8_t> bytes);

    // One round's selections; the number of leaf rows written (0: the
    // search is over, the policy and moves are written).
    std::size_t select(common::Interrupt& interrupt);
    std::size_t pending_rows() const { return rows_; }
    std::size_t prior_count() const { return prior_offsets_[rows_]; }

    // Why an evaluation of the pending rows is refused (a wrong length, a
    // prior that is negative or not finite, a row whose priors sum to zero,
    // a value outside [0, 1]); none when it is acceptable.
    std::optional<std::string> check(std::span<const float> priors, std::span<const float> values) const;
    // Expands and backs up every pending row with an evaluation that check() accepts.
    void expand(std::span<const float> priors, std::span<const float> values, common::Interrupt& interrupt);
    // The same, with `evaluators` (one per worker) judging the rows here.
    void evaluate_with(std::span<players::Evaluator* const> evaluators, common::Interrupt& interrupt);

    // Plays actions[i] (a grid index in the mover's frame, normally moves()[i])
    // in each running game; if any is not a legal root move, nothing changes
    // and the first such slot is returned. No round may be pending.
    [[nodiscard]] std::optional<batch::IllegalAction> step(std::span<const std::int64_t> actions,
                                                           common::Interrupt& interrupt);

    // The game of pending row `row`.
    const game::Game& leaf_position(std::size_t row) const {
        const auto game = static_cast<std::size_t>(leaf_game_[row]);
        return leaf_position_[game * config_.leaves + (row - first_row_[game])];
    }

    const batch::Buffers& roots() const { return roots_; }
    const batch::Buffers& leaves() const { return leaves_; }
    const std::vector<std::int32_t>& leaf_games() const { return leaf_game_; }
    const std::vector<std::int64_t>& prior_offsets() const { return prior_offsets_; }
    const batch::ZeroedArray<float>& policy() const { return policy_; }
    const std::vector<std::int64_t>& moves() const { return moves_; }
    const PuctTree& tree(std::size_t game) const { return trees_[game]; }

    // Every leaf evaluation handed back so far, and the rows asked for
    // (leaves per tree short of its budget, summed over rounds): their
    // ratio is how full the evaluations were.
    std::uint64_t evaluated_rows() const { return evaluated_rows_; }
    std::uint64_t requested_rows() const { return requested_rows_; }

private:
    // Trees [first_game(w), first_game(w + 1)) are worker w's.
    std::size_t first_game(std::size_t worker) const { return worker * trees_.size() / pool_.size(); }
    template <class PerGame>
    void for_each_game(PerGame per_game, common::Interrupt* interrupt = nullptr);

    void restart(std::size_t game, std::vector<std::uint16_t>& moves);
    void finish_search(std::size_t game);
    // Applies row r's evaluation (values by seats counted from its mover).
    void apply_row(std::size_t row, const float* priors, const float* values);

    SearchConfig config_;
    std::vector<std::uint16_t> grid_;
    std::vector<PuctTree> trees_;
    std::vector<std::uint64_t> tree_seeds_;
    std::vector<std::uint32_t> target_;        // per game: the root's simulations when its search is done
    std::vector<std::uint32_t> selected_;      // per game: leaves of this round
    std::vector<std::uint32_t> first_row_;     // per game: its first row this round
    std::vector<std::uint32_t> leaf_node_;     // per game and leaf (game * leaves + j): the waiting node
    std::vector<std::uint32_t> held_;          // the same: a node a selection collided with
    std::vector<game::Game> leaf_position_;    // the same, its game
    std::vector<std::int32_t> leaf_game_;      // per row: its game
    std::vector<std::uint32_t> row_node_;      // per row: its node
    std::vector<std::int64_t> prior_offsets_;  // rows + 1 entries
    std::vector<std::vector<std::uint16_t>> moves_scratch_;  // per worker, room for every placement
    std::vector<float> own_priors_, own_values_;              // evaluate_with()'s answers
    std::vector<std::int64_t> moves_;
    std::vector<std::size_t> refused_;         // per worker
    std::vector<std::uint64_t> requested_;     // per worker: leaves asked for in a round
    batch::Buffers roots_, leaves_;
    batch::ZeroedArray<float> policy_;
    std::size_t rows_ = 0;
    std::uint64_t evaluated_rows_ = 0, requested_rows_ = 0;
    common::WorkerPool pool_;
};

}  // namespace search
