#include "game/bitboard/bitboard.hpp"

namespace game {

Bitboard Bitboard::permute(const std::array<std::uint16_t, NUM_INDICES>& table) const {
    Bitboard result;
    for (unsigned i : ones()) {
        if (i >= NUM_INDICES) {
            throw Fault("Permutation table index " + std::to_string(i) + " out of range [0, " +
                        std::to_string(NUM_INDICES - 1) + "]");
        }
        const unsigned t = table[i];
        if (t >= NUM_BITS) {
            throw Fault("Bitboard word " + std::to_string(t / 128) + " out of range [0, 3]");
        }
        result.words[3 - t / 128] |= u128{1} << (t % 128);
    }
    return result;
}

std::array<std::uint8_t, 64> Bitboard::to_bytes() const {
    std::array<std::uint8_t, 64> out{};
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t j = 0; j < 16; ++j) {
            out[16 * k + j] = static_cast<std::uint8_t>(words[k] >> (8 * j));
        }
    }
    return out;
}

Bitboard Bitboard::from_bytes(const std::uint8_t* bytes) {
    Bitboard b;
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t j = 0; j < 16; ++j) {
            b.words[k] |= u128{bytes[16 * k + j]} << (8 * j);
        }
    }
    return b;
}

Bitboard turn_counter_clockwise(const Bitboard& board, std::size_t quarter_turns) {
    switch (quarter_turns % 4) {
        case 1:
            return board.permute(TURN_CCW);
        case 2:
            return board.permute(TURN_CW).permute(TURN_CW);
        case 3:
            return board.permute(TURN_CW);
        default:
            return board;
    }
}

}  // namespace game
