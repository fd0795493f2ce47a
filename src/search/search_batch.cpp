#include "search/search_batch.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "batch/slot_writer.hpp"
#include "common/random_stream.hpp"
#include "game/fault.hpp"

namespace search {

SearchBatch::SearchBatch(const SearchConfig& config)
    : config_(config),
      grid_(batch::grid_indices(game::ActionSet::get())),
      trees_(config.games, PuctTree(config_.tree)),
      tree_seeds_(config.games),
      target_(config.games),
      selected_(config.games),
      first_row_(config.games),
      leaf_node_(config.games * config.leaves),
      held_(config.games * config.leaves),
      leaf_position_(config.games * config.leaves),
      leaf_game_(config.games * config.leaves),
      row_node_(config.games * config.leaves),
      prior_offsets_(config.games * config.leaves + 1),
      moves_scratch_(std::max<std::size_t>(config.threads, 1)),
      moves_(config.games, -1),
      refused_(std::max<std::size_t>(config.threads, 1)),
      requested_(std::max<std::size_t>(config.threads, 1)),
      roots_(config.games, grid_.size(), false),
      leaves_(config.games * config.leaves, grid_.size(), false),
      policy_(config.games * grid_.size()),
      pool_(std::max<std::size_t>(config.threads, 1)) {
    if (config.leaves == 0 || config.simulations == 0) throw game::Fault("A search needs leaves and simulations");
    for (std::vector<std::uint16_t>& moves : moves_scratch_) moves.reserve(grid_.size());
    reset(config.seed);
}

template <class PerGame>
void SearchBatch::for_each_game(PerGame per_game, common::Interrupt* interrupt) {
    auto share = [&](std::size_t worker) {
        for (std::size_t g = first_game(worker), last = first_game(worker + 1); g < last; ++g) per_game(g, worker);
    };
    pool_.run(share, interrupt);
}

void SearchBatch::restart(std::size_t game, std::vector<std::uint16_t>& moves) {
    game::Game fresh;
    fresh.pass_done_seats();
    trees_[game].start(fresh, tree_seeds_[game]);
    target_[game] = config_.simulations;
    batch::write_slot(fresh, roots_, game, grid_, moves);
    moves_[game] = -1;
}

bool SearchBatch::load(std::size_t slot, std::span<const std::uint8_t> bytes) {
    std::optional<game::Game> loaded = game::Game::from_bytes(bytes);
    if (!loaded) return false;
    loaded->pass_done_seats();
    if (rows_ > 0) throw game::Fault("A search batch loaded a game while a round waits for its evaluation");
    trees_[slot].start(*loaded, tree_seeds_[slot]);
    target_[slot] = config_.simulations;
    roots_.terminated[slot] = loaded->over() ? 1 : 0;
    std::fill_n(roots_.rewards.data() + slot * game::NUM_SEATS, game::NUM_SEATS, 0.0f);
    batch::write_slot(*loaded, roots_, slot, grid_, moves_scratch_[0]);
    moves_[slot] = -1;
    return true;
}

void SearchBatch::reset(std::optional<std::uint64_t> seed) {
    rows_ = 0;  // the trees restart: leaves still waiting are dropped with them
    for_each_game([&](std::size_t g, std::size_t worker) {
        tree_seeds_[g] = seed ? common::derive_seed(*seed, g) : common::derive_seed(tree_seeds_[g], g);
        roots_.terminated[g] = 0;
        std::fill_n(roots_.rewards.data() + g * game::NUM_SEATS, game::NUM_SEATS, 0.0f);
        restart(g, moves_scratch_[worker]);
    });
}

std::size_t SearchBatch::select(common::Interrupt& interrupt) {
    if (rows_ > 0) throw game::Fault("A round selected while the last one waits for its evaluation");
    const std::size_t per_tree = config_.leaves;
    std::size_t searching = 0;
    do {
        std::fill(requested_.begin(), requested_.end(), 0);
        auto round = [&](std::size_t worker) {
            const std::size_t first = first_game(worker), last = first_game(worker + 1);
            for (std::size_t g = first; g < last; ++g) {
                PuctTree& tree = trees_[g];
                selected_[g] = 0;
                if (tree.root().over() || (tree.root_expanded() && tree.simulations() >= target_[g])) continue;
                const std::size_t remaining = tree.root_expanded() ? target_[g] - tree.simulations() : 1;
                const std::size_t wanted = std::min(per_tree, remaining);
                requested_[worker] += wanted;
                // A collision is held, so that the next try goes elsewhere,
                // and tried again, up to as many times as leaves are wanted.
                std::size_t taken = 0, collided = 0;
                std::uint32_t* held = held_.data() + g * per_tree;
                while (taken < wanted && collided < wanted) {
                    game::Game& position = leaf_position_[g * per_tree + selected_[g]];
                    const PuctTree::Selection chosen = tree.select(position);
                    if (chosen.outcome == PuctTree::Outcome::Collision) {
                        tree.hold(chosen.node);
                        held[collided++] = chosen.node;
                        continue;
                    }
                    ++taken;
                    if (chosen.outcome == PuctTree::Outcome::Leaf) leaf_node_[g * per_tree + selected_[g]++] = chosen.node;
                }
                for (std::size_t c = 0; c < collided; ++c) tree.release(held[c]);
            }
            pool_.arrive_and_wait();
            std::size_t row = 0;
            for (std::size_t g = 0; g < first; ++g) row += selected_[g];
            for (std::size_t g = first; g < last; ++g) {
                first_row_[g] = static_cast<std::uint32_t>(row);
                for (std::size_t j = 0; j < selected_[g]; ++j, ++row) {
                    batch::write_slot(leaf_position_[g * per_tree + j], leaves_, row, grid_, moves_scratch_[worker]);
                    leaf_game_[row] = static_cast<std::int32_t>(g);
                    row_node_[row] = leaf_node_[g * per_tree + j];
                }
            }
        };
        pool_.run(round, &interrupt);
        rows_ = 0;
        for (std::uint32_t count : selected_) rows_ += count;
        searching = 0;
        for (std::uint64_t count : requested_) searching += count;
        // A round that met only finished games made progress without rows: go on.
    } while (rows_ == 0 && searching > 0 && !interrupt.poll());
    for (std::size_t row = 0; row < rows_; ++row) {
        prior_offsets_[row + 1] = prior_offsets_[row] + leaves_.legal_count[row];
    }
    if (rows_ > 0) {
        requested_rows_ += searching;
        return rows_;
    }
    if (!interrupt.requested()) for_each_game([&](std::size_t g, std::size_t) { finish_search(g); });
    return 0;
}

void SearchBatch::finish_search(std::size_t game) {
    PuctTree& tree = trees_[game];
    const std::size_t row_length = roots_.max_legal;
    float* row = policy_.data() + game * row_length;
    if (tree.root().over()) {
        moves_[game] = -1;
        return;
    }
    const std::span<const PuctEdge> edges = tree.edges(PuctTree::ROOT);
    if (edges.size() != static_cast<std::size_t>(roots_.legal_count[game])) {
        throw game::Fault("A search root's edges differ from its legal moves");
    }
    float total = 0;
    for (const PuctEdge& edge : edges) total += static_cast<float>(tree.visits(edge));
    for (std::size_t i = 0; i < edges.size(); ++i) {
        row[i] = total > 0 ? static_cast<float>(tree.visits(edges[i])) / total : 0.0f;
    }
    moves_[game] = tree.choose(config_.tree.temperature);
}

std::optional<std::string> SearchBatch::check(std::span<const float> priors, std::span<const float> values) const {
    char message[200];
    if (priors.size() != prior_count()) {
        std::snprintf(message, sizeof message, "Expected %lld priors (one per legal move of each leaf), got %zu",
                      static_cast<long long>(prior_count()), priors.size());
        return message;
    }
    if (values.size() != rows_ * game::NUM_SEATS) {
        std::snprintf(message, sizeof message, "Expected %zu values (four per leaf for %zu leaves), got %zu",
                      rows_ * game::NUM_SEATS, rows_, values.size());
        return message;
    }
    for (std::size_t row = 0; row < rows_; ++row) {
        float total = 0;
        for (auto i = prior_offsets_[row]; i < prior_offsets_[row + 1]; ++i) {
            const float prior = priors[static_cast<std::size_t>(i)];
            if (!std::isfinite(prior) || prior < 0) {
                std::snprintf(message, sizeof message, "Prior %lld (of leaf %zu) is %g: priors must be finite and >= 0",
                              static_cast<long long>(i), row, static_cast<double>(prior));
                return message;
            }
            total += prior;
        }
        if (!(total > 0) || !std::isfinite(total)) {
            std::snprintf(message, sizeof message, "The priors of leaf %zu sum to %g, not a positive number", row,
                          static_cast<double>(total));
            return message;
        }
        for (std::size_t k = 0; k < game::NUM_SEATS; ++k) {
            const float value = values[row * game::NUM_SEATS + k];
            if (!(value >= 0 && value <= 1)) {
                std::snprintf(message, sizeof message, "Value %zu of leaf %zu is %g: values must lie in [0, 1]", k,
                              row, static_cast<double>(value));
                return message;
            }
        }
    }
    return std::nullopt;
}

void SearchBatch::apply_row(std::size_t row, const float* priors, const float* values) {
    const std::size_t mover = leaves_.agent[row];
    SeatValues absolute{};
    for (std::size_t k = 0; k < game::NUM_SEATS; ++k) absolute[(mover + k) % game::NUM_SEATS] = values[k];
    const auto count = static_cast<std::size_t>(leaves_.legal_count[row]);
    const std::span<const GridIndex> moves(leaves_.legal_actions.data() + row * leaves_.max_legal, count);
    trees_[static_cast<std::size_t>(leaf_game_[row])].expand(row_node_[row], moves, {priors, count}, absolute);
}

void SearchBatch::expand(std::span<const float> priors, std::span<const float> values, common::Interrupt& interrupt) {
    if (check(priors, values)) throw game::Fault("An evaluation that check() refuses");
    for_each_game(
        [&](std::size_t g, std::size_t) {
            for (std::size_t row = first_row_[g], end = row + selected_[g]; row < end; ++row) {
                apply_row(row, priors.data() + prior_offsets_[row], values.data() + row * game::NUM_SEATS);
            }
        },
        &interrupt);
    evaluated_rows_ += rows_;
    rows_ = 0;
}

void SearchBatch::evaluate_with(std::span<players::Evaluator* const> evaluators, common::Interrupt& interrupt) {
    if (evaluators.size() != pool_.size()) throw game::Fault("One evaluator per worker is needed");
    own_priors_.resize(static_cast<std::size_t>(prior_count()));
    own_values_.resize(rows_ * game::NUM_SEATS);
    for_each_game(
        [&](std::size_t g, std::size_t worker) {
            for (std::size_t row = first_row_[g], end = row + selected_[g]; row < end; ++row) {
                float* priors = own_priors_.data() + prior_offsets_[row];
                float* values = own_values_.data() + row * game::NUM_SEATS;
                const auto count = static_cast<std::size_t>(leaves_.legal_count[row]);
                const std::span<const GridIndex> moves(leaves_.legal_actions.data() + row * leaves_.max_legal, count);
                const SeatValues absolute = evaluators[worker]->evaluate(leaf_position(row), moves, {priors, count});
                const std::size_t mover = leaves_.agent[row];
                for (std::size_t k = 0; k < game::NUM_SEATS; ++k) values[k] = absolute[(mover + k) % game::NUM_SEATS];
                apply_row(row, priors, values);
            }
        },
        &interrupt);
    evaluated_rows_ += rows_;
    rows_ = 0;
}

std::optional<batch::IllegalAction> SearchBatch::step(std::span<const std::int64_t> actions,
                                                      common::Interrupt& interrupt) {
    if (actions.size() != trees_.size()) throw game::Fault("Search step given the wrong number of actions");
    if (rows_ > 0) throw game::Fault("A search batch stepped while a round waits for its evaluation");
    auto legal = [&](std::size_t g) {
        const std::int64_t action = actions[g];
        const std::uint16_t* row = roots_.legal_actions.data() + g * roots_.max_legal;
        return std::find(row, row + roots_.legal_count[g], action) != row + roots_.legal_count[g];
    };
    auto trial_then_commit = [&](std::size_t worker) {
        const std::size_t first = first_game(worker), last = first_game(worker + 1);
        refused_[worker] = trees_.size();
        for (std::size_t g = first; g < last && refused_[worker] == trees_.size(); ++g) {
            if (!trees_[g].root().over() && !legal(g)) refused_[worker] = g;
        }
        pool_.arrive_and_wait();
        if (*std::min_element(refused_.begin(), refused_.end()) < trees_.size()) return;
        for (std::size_t g = first; g < last; ++g) {
            float* rewards = roots_.rewards.data() + g * game::NUM_SEATS;
            std::fill_n(rewards, game::NUM_SEATS, 0.0f);
            PuctTree& tree = trees_[g];
            if (tree.root().over()) {  // kept over without autoreset
                roots_.terminated[g] = 1;
                continue;
            }
            roots_.terminated[g] = 0;
            tree.step(static_cast<GridIndex>(actions[g]));
            target_[g] = tree.simulations() + config_.simulations;
            moves_[g] = -1;
            if (tree.root().over()) {
                const std::array<float, game::NUM_SEATS> outcome =
                    game::outcome_from_scores(tree.root().scores(), config_.tree.reward);
                std::copy(outcome.begin(), outcome.end(), rewards);
                roots_.terminated[g] = 1;
                if (config_.autoreset) {
                    tree_seeds_[g] = common::derive_seed(tree_seeds_[g], g);
                    restart(g, moves_scratch_[worker]);
                    continue;
                }
            }
            batch::write_slot(tree.root(), roots_, g, grid_, moves_scratch_[worker]);
        }
    };
    pool_.run(trial_then_commit, &interrupt);
    const std::size_t refused = *std::min_element(refused_.begin(), refused_.end());
    if (refused < trees_.size()) return batch::IllegalAction{refused, actions[refused]};
    return std::nullopt;
}

}  // namespace search
