#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "batch/buffers.hpp"
#include "common/random_stream.hpp"
#include "common/worker_pool.hpp"
#include "game/game.hpp"
#include "game/scores.hpp"

namespace batch {

struct BatchConfig {
    std::size_t games = 1;
    std::size_t threads = 1;  // workers, the calling thread included
    std::uint64_t seed = 0;   // of the slots' random streams
    game::RewardMode reward_mode = game::RewardMode::WinShare;
    // A game that ends is replaced by a new one within the same step: the
    // step reports the ended game's rewards and `terminated`, and the slot's
    // mover, observation and legal moves are already the new game's.
    bool autoreset = true;
    bool dense_mask = false;  // also fill the 36400-byte action mask of every slot
};

// The first slot, in slot order, whose action was refused.
struct IllegalAction {
    std::size_t slot;
    std::int64_t action;
};

// Many games stepped together, each slice of slots by its own worker thread,
// with everything a learner reads written into Buffers allocated once.
//
// After every call, each slot's seat to move is a seat with a legal move,
// unless its game is over: seats that are done are passed here. Rewards are
// the ended game's outcome in the chosen mode on the step that ends it, and
// zero otherwise. Without autoreset a finished slot keeps its last position
// and stays terminated, ignoring its actions, until reset() or load().
class GameBatch {
public:
    // Throws std::system_error when the system refuses a worker thread, and
    // std::bad_alloc when the buffers cannot be had.
    explicit GameBatch(const BatchConfig& config);

    // About how many bytes of memory a batch with `config` writes to, and
    // so needs: its games, their trial copies, the buffers, the part of each
    // legal-move row that a position fills (a page), and the dense masks.
    static std::size_t memory_needed(const BatchConfig& config);

    const BatchConfig& config() const { return config_; }
    const Buffers& buffers() const { return buffers_; }
    std::size_t size() const { return slots_.size(); }

    // A new game in every slot; with a seed, every slot's random stream
    // restarts from it.
    void reset(std::optional<std::uint64_t> seed = std::nullopt);

    // Plays actions[i], a grid index in the mover's frame, in each slot i
    // whose game is running. If any is refused, nothing changes at all.
    [[nodiscard]] std::optional<IllegalAction> step(std::span<const std::int64_t> actions);

    // Plays a uniformly random legal move in every running slot, drawn from
    // the slot's own stream.
    void step_random();

    game::StateBytes state(std::size_t slot) const;
    // Puts a saved game into `slot` and passes its done seats; false, and no
    // change, unless `bytes` is a valid state.
    [[nodiscard]] bool load(std::size_t slot, std::span<const std::uint8_t> bytes);

private:
    struct Slot {
        game::Game game;
        common::RandomStream random;
        std::uint16_t legal = 0;  // legal moves listed in the buffers for this position
    };

    // Slots [first, last) of `worker`'s share.
    std::size_t first_slot(std::size_t worker) const { return worker * slots_.size() / pool_.size(); }

    template <class PerSlot>
    void for_each_slot(PerSlot per_slot);

    // After a move in slot i: pass done seats, report an ended game, start a
    // new one under autoreset, and write the outputs.
    void finish_turn(std::size_t i, std::vector<std::uint16_t>& moves);
    // A slot whose game was already over before this step.
    void hold_finished(std::size_t i, std::vector<std::uint16_t>& moves);
    void write_outputs(std::size_t i, std::vector<std::uint16_t>& moves);
    void clear_report(std::size_t i);

    BatchConfig config_;
    std::vector<std::uint16_t> grid_;                   // grid index of each dense index
    std::vector<Slot> slots_;
    std::vector<game::Game> stepped_;                   // a step's trial moves, kept until all are accepted
    std::vector<std::vector<std::uint16_t>> moves_;     // per worker, capacity for every placement
    std::vector<std::size_t> refused_;                  // per worker: first refused slot, or size()
    Buffers buffers_;
    common::WorkerPool pool_;
};

}  // namespace batch
