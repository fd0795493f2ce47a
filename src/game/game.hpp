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

// A position written out seat by seat: what a saved state holds, and the one
// way to build a position by hand. A seat marked done stays done; every other
// seat is found done when it has no legal placement.
struct Position {
    std::array<Bitboard, NUM_SEATS> cells{};  // absolute board
    std::array<std::uint32_t, NUM_SEATS> pieces_in_hand = {ALL_PIECES, ALL_PIECES, ALL_PIECES, ALL_PIECES};
    std::array<std::uint8_t, NUM_SEATS> last_piece{};  // PieceType code of the latest placement; 0 = none
    std::array<bool, NUM_SEATS> done{};
    std::size_t seat_to_move = 0;
};

// The whole state of one game: a plain fixed-size value with no heap memory
// of its own. Copies share the process-wide action set.
//
// Beside each seat's record the game keeps two things derived from them,
// private so that no writer can leave them stale:
// - first_legal_: for each seat that is not done, the dense index of its
//   first legal placement on the absolute board in the order of the
//   placement search (legal_placements.hpp). It spares a step most of the
//   done re-check: a placement only takes cells from the other seats, so
//   their legal placements after it are those before it that miss its
//   cells, and one whose first legal placement survives keeps it and is not
//   done.
// - turned_cells_[f - 1][s]: seat s's cells turned f quarter turns
//   counter-clockwise, into observer f's frame (f = 1..3), so that an
//   observation reads the board in any frame without turning it cell by
//   cell. Each placement adds its cells to every frame.
class Game {
public:
    // The initial state; obtains (and on first use builds) the action set.
    Game();
    void reset() { *this = Game(); }

    // The position `layout` describes; none when it is malformed (a cell off
    // the board, a piece bit above the 21 pieces, a latest-piece byte that
    // is no piece code, a seat to move beyond 3). Need not be reachable by
    // play: cells may overlap and need not agree with the pieces in hand.
    static std::optional<Game> set_up(const Position& layout);
    Position position() const;

    // Plays `action`, a grid index in the mover's own frame, for the seat
    // to move. A done seat only passes the turn, whatever the action. On
    // failure nothing changes and the same seat is still to move.
    [[nodiscard]] std::optional<InvalidAction> step(std::optional<std::uint64_t> action);

    // Passes the turn of every done seat in turn order, until the seat to
    // move can place a piece or the game is over.
    void pass_done_seats();

    std::size_t seat_to_move() const { return to_move_; }
    bool is_done(std::size_t seat) const { return seats_[seat].done; }
    bool over() const;
    unsigned ply() const;

    const Bitboard& cells(std::size_t seat) const { return seats_[seat].cells; }
    // Seat `seat`'s cells in observer `frame`'s frame.
    const Bitboard& cells_in_frame(std::size_t seat, std::size_t frame) const {
        return frame == 0 ? seats_[seat].cells : turned_cells_[frame - 1][seat];
    }
    std::uint32_t pieces_in_hand(std::size_t seat) const { return seats_[seat].remaining; }
    std::uint8_t placed(std::size_t seat) const { return seats_[seat].placed; }
    std::uint8_t last_piece(std::size_t seat) const { return seats_[seat].last_piece; }
    const ActionSet& action_set() const { return *actions_; }

    PlacementMasks placement_masks(std::size_t seat) const;

    // The position as `observer` sees it, and its legal moves in that frame.
    Observation observe(std::size_t observer) const;
    void observed_moves(const Observation& observation, std::vector<std::uint16_t>& moves) const;

    std::array<std::int16_t, NUM_SEATS> scores() const;

    StateBytes to_bytes() const;
    // None unless `bytes` is a valid state; never a partly built game.
    static std::optional<Game> from_bytes(std::span<const std::uint8_t> bytes);

    // The 41-line coloured text form, without a final newline.
    std::string text() const;

    friend bool operator==(const Game&, const Game&) = default;

private:
    static constexpr std::uint16_t NO_PLACEMENT = 0xFFFF;

    // One seat's record. Invariant: `cells` holds board cells only, and
    // `placed` == 21 - popcount(`remaining`).
    struct SeatRecord {
        Bitboard cells;               // covered cells, absolute board
        std::uint32_t remaining = 0;  // bit i: piece of catalogue index i still in hand
        std::uint8_t placed = 0;      // pieces placed so far, 0..21
        std::uint8_t last_piece = 0;  // PieceType code of the latest placement; 0 = none yet
        bool done = false;            // no legal placement left; never cleared by play

        friend bool operator==(const SeatRecord&, const SeatRecord&) = default;
    };

    // Turns every seat's cells into the other frames anew, marks every seat
    // that is not done and has no legal placement, and finds the first
    // legal placement of the others anew.
    void update_derived();
    // Searches seat `seat`'s first legal placement; none makes it done.
    void find_first_legal(std::size_t seat);

    std::array<SeatRecord, NUM_SEATS> seats_;
    const ActionSet* actions_;
    std::size_t to_move_ = 0;
    std::array<std::uint16_t, NUM_SEATS> first_legal_{};
    std::array<std::array<Bitboard, NUM_SEATS>, NUM_SEATS - 1> turned_cells_{};
};

std::ostream& operator<<(std::ostream& out, const Game& game);

}  // namespace game
