// The 278-byte game state, format version 1, little-endian:
//   0         version (1)
//   1 + 69k   seat k: cells (64 bytes, the Bitboard byte form),
//             pieces in hand (4 bytes), latest piece (1 byte)
//   277       seat to move
// The placement counts and done flags are not stored: they are rebuilt on
// loading, a seat being done when it has no legal placement.

#include <algorithm>

#include "game/game.hpp"

namespace game {

namespace {

constexpr std::uint8_t FORMAT_VERSION = 1;
constexpr std::size_t AGENT_BLOCK = 69;
constexpr std::size_t CELLS_SIZE = 64;
constexpr std::size_t CURRENT_OFFSET = STATE_SIZE - 1;

constexpr std::size_t block_offset(std::size_t seat) { return 1 + AGENT_BLOCK * seat; }

static_assert(block_offset(NUM_SEATS) == CURRENT_OFFSET);

}  // namespace

StateBytes Game::to_bytes() const {
    StateBytes out{};
    out[0] = FORMAT_VERSION;
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        std::uint8_t* block = out.data() + block_offset(k);
        const auto cells = seats_[k].cells.to_bytes();
        std::copy(cells.begin(), cells.end(), block);
        for (std::size_t j = 0; j < 4; ++j) {
            block[CELLS_SIZE + j] = static_cast<std::uint8_t>(seats_[k].remaining >> (8 * j));
        }
        block[CELLS_SIZE + 4] = seats_[k].last_piece;
    }
    out[CURRENT_OFFSET] = static_cast<std::uint8_t>(to_move_);
    return out;
}

std::optional<Game> Game::from_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != STATE_SIZE || bytes[0] != FORMAT_VERSION) return std::nullopt;
    Position layout;
    layout.seat_to_move = bytes[CURRENT_OFFSET];
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        const std::uint8_t* block = bytes.data() + block_offset(k);
        layout.cells[k] = Bitboard::from_bytes(block);
        layout.pieces_in_hand[k] = 0;
        for (std::size_t j = 0; j < 4; ++j) layout.pieces_in_hand[k] |= std::uint32_t{block[CELLS_SIZE + j]} << (8 * j);
        layout.last_piece[k] = block[CELLS_SIZE + 4];
    }
    return set_up(layout);
}

}  // namespace game
