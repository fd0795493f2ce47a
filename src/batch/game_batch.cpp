#include "batch/game_batch.hpp"

#include <algorithm>
#include <exception>

#include "batch/slot_writer.hpp"
#include "game/fault.hpp"

namespace batch {

GameBatch::GameBatch(const BatchConfig& config)
    : config_(config),
      grid_(grid_indices(game::ActionSet::get())),
      slots_(config.games),
      stepped_(config.games),
      moves_(std::max<std::size_t>(config.threads, 1)),
      refused_(std::max<std::size_t>(config.threads, 1)),
      buffers_(config.games, grid_.size(), config.dense_mask),
      pool_(std::max<std::size_t>(config.threads, 1)) {
    for (std::vector<std::uint16_t>& moves : moves_) moves.reserve(buffers_.max_legal);
    reset(config.seed);
}

std::size_t GameBatch::memory_needed(const BatchConfig& config) {
    constexpr std::size_t PAGE = 4096;
    constexpr std::size_t per_game = sizeof(Slot) + sizeof(game::Game) + game::PLANES_SIZE + game::PIECES_SIZE +
                                     game::DONE_SIZE + game::NUM_SEATS * sizeof(float) + 2 * sizeof(std::uint8_t) +
                                     sizeof(std::int32_t) + PAGE;
    return config.games * (per_game + (config.dense_mask ? game::NUM_GRID_POSITIONS : 0));
}

template <class PerSlot>
void GameBatch::for_each_slot(PerSlot per_slot) {
    auto share = [&](std::size_t worker) {
        std::vector<std::uint16_t>& moves = moves_[worker];
        for (std::size_t i = first_slot(worker), last = first_slot(worker + 1); i < last; ++i) per_slot(i, moves);
    };
    pool_.run(share);
}

void GameBatch::reset(std::optional<std::uint64_t> seed) {
    for_each_slot([&](std::size_t i, std::vector<std::uint16_t>& moves) {
        Slot& slot = slots_[i];
        slot.game.reset();
        if (seed) slot.random.reseed(common::derive_seed(*seed, i));
        clear_report(i);
        write_outputs(i, moves);
    });
}

std::optional<IllegalAction> GameBatch::step(std::span<const std::int64_t> actions) {
    if (actions.size() != slots_.size()) throw game::Fault("Batch step given the wrong number of actions");
    // Every worker tries its slots' moves on copies, all wait for each
    // other, and only if no slot refused does each keep its slots' results.
    auto trial_then_commit = [&](std::size_t worker) {
        const std::size_t first = first_slot(worker), last = first_slot(worker + 1);
        refused_[worker] = slots_.size();
        std::exception_ptr fault;
        try {
            for (std::size_t i = first; i < last && refused_[worker] == slots_.size(); ++i) {
                if (slots_[i].game.over()) continue;
                stepped_[i] = slots_[i].game;
                if (actions[i] < 0 || stepped_[i].step(static_cast<std::uint64_t>(actions[i]))) refused_[worker] = i;
            }
        } catch (...) {
            fault = std::current_exception();  // raised again once every worker has arrived
        }
        pool_.arrive_and_wait();
        if (fault) std::rethrow_exception(fault);
        if (*std::min_element(refused_.begin(), refused_.end()) < slots_.size()) return;
        for (std::size_t i = first; i < last; ++i) {
            if (slots_[i].game.over()) {
                hold_finished(i, moves_[worker]);
                continue;
            }
            slots_[i].game = stepped_[i];
            finish_turn(i, moves_[worker]);
        }
    };
    pool_.run(trial_then_commit);
    const std::size_t refused = *std::min_element(refused_.begin(), refused_.end());
    if (refused < slots_.size()) return IllegalAction{refused, actions[refused]};
    return std::nullopt;
}

void GameBatch::step_random() {
    const std::size_t row_length = buffers_.max_legal;
    for_each_slot([&](std::size_t i, std::vector<std::uint16_t>& moves) {
        Slot& slot = slots_[i];
        if (slot.game.over()) return hold_finished(i, moves);
        if (slot.legal == 0) throw game::Fault("A running game's mover has no legal move");
        const std::uint16_t action = buffers_.legal_actions[i * row_length + slot.random.below(slot.legal)];
        if (slot.game.step(action)) throw game::Fault("The random policy chose a refused move");
        finish_turn(i, moves);
    });
}

game::StateBytes GameBatch::state(std::size_t slot) const { return slots_.at(slot).game.to_bytes(); }

bool GameBatch::load(std::size_t slot, std::span<const std::uint8_t> bytes) {
    std::optional<game::Game> loaded = game::Game::from_bytes(bytes);
    if (!loaded) return false;
    loaded->pass_done_seats();
    slots_.at(slot).game = *loaded;
    clear_report(slot);
    buffers_.terminated[slot] = loaded->over() ? 1 : 0;
    write_outputs(slot, moves_[0]);
    return true;
}

void GameBatch::clear_report(std::size_t i) {
    std::fill_n(buffers_.rewards.data() + i * game::NUM_SEATS, game::NUM_SEATS, 0.0f);
    buffers_.terminated[i] = 0;
}

void GameBatch::finish_turn(std::size_t i, std::vector<std::uint16_t>& moves) {
    game::Game& game = slots_[i].game;
    game.pass_done_seats();
    if (!game.over()) {
        clear_report(i);
        write_outputs(i, moves);
        return;
    }
    const std::array<float, game::NUM_SEATS> outcome = game::outcome_from_scores(game.scores(), config_.reward_mode);
    std::copy(outcome.begin(), outcome.end(), buffers_.rewards.data() + i * game::NUM_SEATS);
    buffers_.terminated[i] = 1;
    if (config_.autoreset) game.reset();
    write_outputs(i, moves);
}

void GameBatch::hold_finished(std::size_t i, std::vector<std::uint16_t>& moves) {
    clear_report(i);
    if (!config_.autoreset) {
        buffers_.terminated[i] = 1;
        return;
    }
    slots_[i].game.reset();
    write_outputs(i, moves);
}

void GameBatch::write_outputs(std::size_t i, std::vector<std::uint16_t>& moves) {
    Slot& slot = slots_[i];
    if (config_.dense_mask) {
        // The previous position's row clears its marks; the row is readable, so never trusted.
        const std::uint16_t* row = buffers_.legal_actions.data() + i * buffers_.max_legal;
        std::uint8_t* mask = buffers_.action_mask.data() + i * game::NUM_GRID_POSITIONS;
        for (std::size_t j = 0; j < slot.legal; ++j) {
            if (row[j] < game::NUM_GRID_POSITIONS) mask[row[j]] = 0;
        }
    }
    write_slot(slot.game, buffers_, i, grid_, moves);
    if (config_.dense_mask) {
        std::uint8_t* mask = buffers_.action_mask.data() + i * game::NUM_GRID_POSITIONS;
        for (std::uint16_t move : moves) mask[grid_[move]] = 1;
    }
    slot.legal = static_cast<std::uint16_t>(moves.size());
}

}  // namespace batch
