#include "game/game.hpp"

#include <bit>

#include "game/actions/legal_placements.hpp"

namespace game {

Game::Game() : actions_(&ActionSet::get()) {
    for (SeatRecord& seat : seats_) seat.remaining = ALL_PIECES;
    update_derived();
}

std::optional<Game> Game::set_up(const Position& layout) {
    if (layout.seat_to_move >= NUM_SEATS) return std::nullopt;
    Game game;
    game.to_move_ = layout.seat_to_move;
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        const std::uint8_t last_piece = layout.last_piece[k];
        if (last_piece != 0 && !piece_type_from_code(last_piece)) return std::nullopt;
        // Any bit off the board: padding column or an index from 420 up.
        if (layout.cells[k] - BOARD_MASK != Bitboard{}) return std::nullopt;
        if (layout.pieces_in_hand[k] > ALL_PIECES) return std::nullopt;
        SeatRecord& seat = game.seats_[k];
        seat.cells = layout.cells[k];
        seat.remaining = layout.pieces_in_hand[k];
        seat.last_piece = last_piece;
        seat.placed = static_cast<std::uint8_t>(NUM_PIECE_TYPES - static_cast<std::size_t>(std::popcount(seat.remaining)));
        seat.done = layout.done[k];
    }
    game.update_derived();
    return game;
}

Position Game::position() const {
    Position out;
    out.seat_to_move = to_move_;
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        out.cells[k] = seats_[k].cells;
        out.pieces_in_hand[k] = seats_[k].remaining;
        out.last_piece[k] = seats_[k].last_piece;
        out.done[k] = seats_[k].done;
    }
    return out;
}

PlacementMasks Game::placement_masks(std::size_t seat) const {
    const Bitboard all = seats_[0].cells | seats_[1].cells | seats_[2].cells | seats_[3].cells;
    return PlacementMasks::of(all, seats_[seat].cells, START_CELLS[seat]);
}

std::optional<InvalidAction> Game::step(std::optional<std::uint64_t> action) {
    const std::size_t k = to_move_;
    SeatRecord& mover = seats_[k];
    if (mover.done) {
        to_move_ = (k + 1) % NUM_SEATS;
        return std::nullopt;
    }
    if (!action || *action >= actions_->grid.size() || !actions_->grid[*action]) return InvalidAction{};
    const std::size_t seen = *actions_->grid[*action];
    const Action& placement = actions_->actions[actions_->seat_maps[k][seen]];
    const std::uint32_t bit = 1u << catalogue_index(placement.piece);
    const PlacementMasks masks = placement_masks(k);
    if ((mover.remaining & bit) == 0 || placement.cells.intersects(masks.blocked) ||
        !placement.cells.intersects(masks.corners)) {
        return InvalidAction{};
    }
    mover.cells |= placement.cells;
    // The piece's few cells are turned one by one: cheaper than turning a
    // whole board, or than looking up its turned placements, which lie far
    // apart in the action set.
    for (unsigned cell : placement.cells.ones()) {
        for (std::size_t f = 1; f < NUM_SEATS; ++f) turned_cells_[f - 1][k].insert((*COUNTER_CLOCKWISE_TURNS[f - 1])[cell]);
    }
    mover.placed += 1;
    mover.remaining &= ~bit;
    mover.last_piece = code(placement.piece);
    for (std::size_t j = 0; j < NUM_SEATS; ++j) {
        if (seats_[j].done) continue;
        if (j == k || actions_->actions[first_legal_[j]].cells.intersects(placement.cells)) find_first_legal(j);
    }
    to_move_ = (k + 1) % NUM_SEATS;
    return std::nullopt;
}

void Game::pass_done_seats() {
    while (!over() && seats_[to_move_].done) to_move_ = (to_move_ + 1) % NUM_SEATS;
}

void Game::find_first_legal(std::size_t seat) {
    const auto [blocked, corners] = placement_masks(seat);
    const std::optional<std::uint16_t> first = first_legal_placement(*actions_, blocked, corners, seats_[seat].remaining);
    first_legal_[seat] = first.value_or(NO_PLACEMENT);
    seats_[seat].done = !first;
}

void Game::update_derived() {
    for (std::size_t f = 1; f < NUM_SEATS; ++f) {
        for (std::size_t k = 0; k < NUM_SEATS; ++k) turned_cells_[f - 1][k] = turn_counter_clockwise(seats_[k].cells, f);
    }
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        if (seats_[k].done) {
            first_legal_[k] = NO_PLACEMENT;
        } else {
            find_first_legal(k);
        }
    }
}

unsigned Game::ply() const {
    unsigned sum = 0;
    for (const SeatRecord& seat : seats_) sum += seat.placed;
    return sum;
}

bool Game::over() const {
    for (const SeatRecord& seat : seats_) {
        if (!seat.done) return false;
    }
    return true;
}

}  // namespace game
