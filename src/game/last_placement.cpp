#include "game/last_placement.hpp"

#include <algorithm>
#include <optional>

namespace game {

namespace {

// The edge-connected group of `cells` that holds cell `start`.
Bitboard group_of(const Bitboard& cells, unsigned start) {
    Bitboard group = Bitboard::single(start);
    for (Bitboard grown = group.orthogonal_neighbours() & cells; grown != group;
         grown = group.orthogonal_neighbours() & cells) {
        group = grown;
    }
    return group;
}

// The grid index, in the frame the group is drawn in, of the placement of
// `piece` that covers exactly `group`; none if no orientation fits it.
std::optional<std::uint16_t> grid_index_of(const ActionSet& set, PieceType piece, const Bitboard& group) {
    unsigned top = BOARD_SIZE, left = BOARD_SIZE;
    for (unsigned cell : group.ones()) {
        top = std::min(top, cell / ROW_STRIDE);
        left = std::min(left, cell % ROW_STRIDE);
    }
    for (std::size_t o = 0; o < NUM_ORIENTATIONS; ++o) {
        if (set.at_origin(o).piece != piece) continue;
        const std::size_t grid = o * GRID_CELLS + top * BOARD_SIZE + left;
        if (set.grid[grid] && set.actions[*set.grid[grid]].cells == group) return static_cast<std::uint16_t>(grid);
    }
    return std::nullopt;
}

}  // namespace

LastPlacement last_placement(const Game& game) {
    LastPlacement found;
    std::size_t latest_turn = 0;
    bool any = false;
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        if (game.placed(k) == 0) continue;
        const std::size_t turn = NUM_SEATS * (game.placed(k) - 1u) + k;
        if (!any || turn > latest_turn) {
            latest_turn = turn;
            found.seat = k;
            any = true;
        }
    }
    if (!any) return found;
    found.status = LastPlacement::Status::Unreadable;
    const std::optional<PieceType> piece = piece_type_from_code(game.last_piece(found.seat));
    if (!piece) return found;
    Bitboard left = game.cells(found.seat);
    while (!left.is_empty()) {
        const Bitboard group = group_of(left, *left.ones().begin());
        left -= group;
        if (group.count() != cell_count(*piece)) continue;
        const Bitboard framed = turn_counter_clockwise(group, found.seat);
        if (const std::optional<std::uint16_t> grid = grid_index_of(game.action_set(), *piece, framed)) {
            found.status = LastPlacement::Status::Found;
            found.grid_index = *grid;
            return found;
        }
    }
    return found;
}

}  // namespace game
