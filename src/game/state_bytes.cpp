// The 278-byte game state, format version 1, little-endian:
//   0         version (1)
//   1 + 69k   agent k: cells (64 bytes, the Bitboard byte form),
//             remaining (4 bytes), last_piece (1 byte)
//   277       current seat
// placed, color, done and num_agents are not stored: they are rebuilt on
// loading, done by running update_done on the loaded position.

#include <algorithm>
#include <bit>

#include "game/game.hpp"

namespace game {

namespace {

constexpr std::uint8_t FORMAT_VERSION = 1;
constexpr std::size_t AGENT_BLOCK = 69;
constexpr std::size_t CELLS_SIZE = 64;
constexpr std::size_t CURRENT_OFFSET = STATE_SIZE - 1;

constexpr std::size_t block_offset(std::size_t agent) { return 1 + AGENT_BLOCK * agent; }

static_assert(block_offset(NUM_SEATS) == CURRENT_OFFSET);

}  // namespace

StateBytes Game::to_bytes() const {
    StateBytes out{};
    out[0] = FORMAT_VERSION;
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        std::uint8_t* block = out.data() + block_offset(k);
        const auto cells = agents[k].cells.to_bytes();
        std::copy(cells.begin(), cells.end(), block);
        for (std::size_t j = 0; j < 4; ++j) {
            block[CELLS_SIZE + j] = static_cast<std::uint8_t>(agents[k].remaining >> (8 * j));
        }
        block[CELLS_SIZE + 4] = agents[k].last_piece;
    }
    out[CURRENT_OFFSET] = static_cast<std::uint8_t>(current);
    return out;
}

std::optional<Game> Game::from_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != STATE_SIZE || bytes[0] != FORMAT_VERSION) return std::nullopt;
    if (bytes[CURRENT_OFFSET] >= NUM_SEATS) return std::nullopt;
    Game game;
    game.current = bytes[CURRENT_OFFSET];
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        const std::uint8_t* block = bytes.data() + block_offset(k);
        const std::uint8_t last_piece = block[CELLS_SIZE + 4];
        if (last_piece != 0 && !piece_type_from_code(last_piece)) return std::nullopt;
        const Bitboard cells = Bitboard::from_bytes(block);
        // Any bit off the board: padding column or an index from 420 up.
        if (cells - BOARD_MASK != Bitboard{}) return std::nullopt;
        std::uint32_t remaining = 0;
        for (std::size_t j = 0; j < 4; ++j) remaining |= std::uint32_t{block[CELLS_SIZE + j]} << (8 * j);
        if (remaining > ALL_PIECES) return std::nullopt;
        Agent& agent = game.agents[k];
        agent.cells = cells;
        agent.remaining = remaining;
        agent.last_piece = last_piece;
        agent.placed = static_cast<std::uint8_t>(NUM_PIECE_TYPES - static_cast<std::size_t>(std::popcount(remaining)));
    }
    game.update_derived();
    return game;
}

}  // namespace game
