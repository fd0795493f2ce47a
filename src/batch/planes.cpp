#include "batch/planes.hpp"


namespace batch {
namespace {

using game::u128;

// The 20 cells of row `row`, bit c for column c.
inline std::uint32_t row_bits(const std::array<u128, 4>& low_first, unsigned row) {
    const unsigned start = row * game::ROW_STRIDE, word = start / 128, shift = start % 128;
    u128 bits = low_first[word] >> shift;
    if (shift + game::BOARD_SIZE > 128) bits |= low_first[word + 1] << (128 - shift);
    return static_cast<std::uint32_t>(bits) & ((1u << game::BOARD_SIZE) - 1);
}

}  // namespace

void write_plane(const game::Bitboard& board, std::uint8_t* plane) {
    const std::array<u128, 4> low_first = {board.words[3], board.words[2], board.words[1], board.words[0]};
    // Unrolled, every shift is by a constant.
#pragma GCC unroll 20
    for (unsigned row = 0; row < game::BOARD_SIZE; ++row) {
        write_bits<game::BOARD_SIZE>(row_bits(low_first, row), plane + row * game::BOARD_SIZE);
    }
}

}  // namespace batch
