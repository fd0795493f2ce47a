#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "game/actions/action_set.hpp"
#include "game/agents.hpp"
#include "game/errors.hpp"
#include "game/observation.hpp"

namespace game {

// Start cells of seats 0..3: (0, 0), (0, 19), (19, 19), (19, 0). Each is the
// previous one turned a quarter clockwise.
inline constexpr std::array<unsigned, NUM_SEATS> START_CELLS = {
    cell_index(0, 0), cell_index(0, 19), cell_index(19, 19), cell_index(19, 0)};

inline constexpr std::size_t STATE_SIZE = 278;
using StateBytes = std::array<std::uint8_t, STATE_SIZE>;

// The cells a seat may not cover, and the cells its next piece may attach to.
struct PlacementMasks {
    Bitboard blocked;
    Bitboard corners;

    // The rule, in any frame: a seat covers no occupied cell and no edge
    // neighbour of its own cells (`all` includes `own`), and attaches at a
    // corner of its own cells, or at its start cell while it has none.
    static constexpr PlacementMasks of(const Bitboard& all, const Bitboard& own, unsigned start_cell) {
        const Bitboard blocked = all | own.orthogonal_neighbours();
        const Bitboard attach = own.is_empty() ? Bitboard::single(start_cell) : own.diagonal_neighbours();
        return {blocked, attach - blocked};
    }
};

// The whole state of one game: a plain fixed-size value with no heap memory
// of its own. Copies share the process-wide action set.
//
// first_legal is derived from the rest: for each seat that is not done, the
// dense index of its first legal placement on the absolute board in the
// order of the placement search (legal_placements.hpp); NO_PLACEMENT for a
// seat found done. It spares a step most of the done re-check: a placement
// only takes cells from the other seats, so their legal placements after it
// are those before it that miss its cells, and one whose first legal
// placement survives keeps it and is not done.
//
// turned_cells is derived too: turned_cells[f - 1][s] is seat s's cells
// turned f quarter turns counter-clockwise, into observer f's frame
// (f = 1..3), so that an observation reads the board in any frame without
// turning it cell by cell. Each placement adds its cells to every frame.
//
// step keeps both up to date; after writing agents directly,
// update_derived() rebuilds them.
struct Game {
    static constexpr std::uint16_t NO_PLACEMENT = 0xFFFF;

    std::array<Agent, NUM_SEATS> agents;
    const ActionSet* actions;
    std::size_t current = 0;  // seat to move
    std::size_t num_agents = NUM_SEATS;
    std::array<std::uint16_t, NUM_SEATS> first_legal{};
    std::array<std::array<Bitboard, NUM_SEATS>, NUM_SEATS - 1> turned_cells{};

    // The initial state; obtains (and on first use builds) the action set.
    Game();
    void reset() { *this = Game(); }

    // Plays `action`, a grid index in the mover's own frame, for the seat
    // to move. A done seat only passes the turn, whatever the action. On
    // failure nothing changes and the same seat is still to move.
    [[nodiscard]] std::optional<InvalidAction> step(std::optional<std::uint64_t> action);

    PlacementMasks placement_masks(std::size_t agent) const;

    // Turns every seat's cells into the other frames anew, marks every seat
    // that is not done and has no legal placement, and finds the first
    // legal placement of the others anew.
    void update_derived();

    // Seat `seat`'s cells in observer `frame`'s frame.
    const Bitboard& cells_in_frame(std::size_t seat, std::size_t frame) const {
        return frame == 0 ? agents[seat].cells : turned_cells[frame - 1][seat];
    }

    unsigned ply() const;
    bool over() const;

    // The position as `agent` sees it, and its legal moves in that frame.
    Observation observe(std::size_t agent) const;
    void observed_moves(const Observation& observation, std::vector<std::uint16_t>& moves) const;

    std::array<std::int16_t, NUM_SEATS> scores() const;

    StateBytes to_bytes() const;
    // None unless `bytes` is a valid state; never a partly built game.
    static std::optional<Game> from_bytes(std::span<const std::uint8_t> bytes);

    // The 41-line coloured text form, without a final newline.
    std::string text() const;

    friend bool operator==(const Game&, const Game&) = default;

private:
    // Searches seat `seat`'s first legal placement; none makes it done.
    void find_first_legal(std::size_t seat);
};

std::ostream& operator<<(std::ostream& out, const Game& game);

}  // namespace game
