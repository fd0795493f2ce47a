#include "batch/planes.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace batch {
namespace {

using game::u128;

// Byte j of SPREAD[b] is bit j of b: eight cells of a row in one store.
static_assert(std::endian::native == std::endian::little, "SPREAD stores its bytes low first");
constexpr std::array<std::uint64_t, 256> SPREAD = [] {
    std::array<std::uint64_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        for (unsigned j = 0; j < 8; ++j) table[b] |= static_cast<std::uint64_t>((b >> j) & 1) << (8 * j);
    }
    return table;
}();

// The 20 cells of row `row`, bit c for column c.
std::uint32_t row_bits(const std::array<u128, 4>& low_first, unsigned row) {
    const unsigned start = row * game::ROW_STRIDE, word = start / 128, shift = start % 128;
    u128 bits = low_first[word] >> shift;
    if (shift + game::BOARD_SIZE > 128) bits |= low_first[word + 1] << (128 - shift);
    return static_cast<std::uint32_t>(bits) & ((1u << game::BOARD_SIZE) - 1);
}

}  // namespace

void write_plane(const game::Bitboard& board, std::uint8_t* plane) {
    const std::array<u128, 4> low_first = {board.words[3], board.words[2], board.words[1], board.words[0]};
    for (unsigned row = 0; row < game::BOARD_SIZE; ++row) {
        const std::uint32_t bits = row_bits(low_first, row);
        std::uint8_t* out = plane + row * game::BOARD_SIZE;
        const std::uint64_t first = SPREAD[bits & 0xff], second = SPREAD[(bits >> 8) & 0xff];
        const auto last = static_cast<std::uint32_t>(SPREAD[bits >> 16]);
        std::memcpy(out, &first, 8);
        std::memcpy(out + 8, &second, 8);
        std::memcpy(out + 16, &last, 4);
    }
}

}  // namespace batch
