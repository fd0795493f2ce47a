#include "game/observation_bytes.hpp"

namespace game {
namespace {

// The 20 cells of row `row`, bit c for column c.
inline std::uint32_t row_bits(const std::array<u128, 4>& low_first, unsigned row) {
    const unsigned start = row * ROW_STRIDE, word = start / 128, shift = start % 128;
    u128 bits = low_first[word] >> shift;
    if (shift + BOARD_SIZE > 128) bits |= low_first[word + 1] << (128 - shift);
    return static_cast<std::uint32_t>(bits) & ((1u << BOARD_SIZE) - 1);
}

}  // namespace

void write_plane(const Bitboard& board, std::uint8_t* plane) {
    const std::array<u128, 4> low_first = {board.words[3], board.words[2], board.words[1], board.words[0]};
    // Unrolled, every shift is by a constant.
#pragma GCC unroll 20
    for (unsigned row = 0; row < BOARD_SIZE; ++row) {
        write_bits<BOARD_SIZE>(row_bits(low_first, row), plane + row * BOARD_SIZE);
    }
}

void write_observation(const Observation& view, std::uint8_t* planes, std::uint8_t* pieces, std::uint8_t* done) {
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        write_plane(view.occupied[k], planes + (OCCUPIED_PLANES + k) * PLANE_SIZE);
        write_plane(view.corners[k], planes + (CORNER_PLANES + k) * PLANE_SIZE);
        write_plane(view.blocked[k], planes + (BLOCKED_PLANES + k) * PLANE_SIZE);
        write_bits<NUM_PIECE_TYPES>(view.pieces[k], pieces + k * NUM_PIECE_TYPES);
        done[k] = view.done[k] ? 1 : 0;
    }
}

}  // namespace game
