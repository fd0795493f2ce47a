#include "game/bitboard/bitboard.hpp"

namespace game {

// Sources and targets are walked and gathered as eight 64-bit limbs (limb k:
// indices 64k to 64k + 63): finding, clearing and setting a bit of a limb
// are single-word operations, where a bit of a 128-bit word takes a
// double-word shift. Indices past the table are refused once, up front.
Bitboard Bitboard::permute(const std::array<std::uint16_t, NUM_INDICES>& table) const {
    constexpr unsigned NUM_LIMBS = NUM_BITS / 64;
    std::array<std::uint64_t, NUM_LIMBS> sources;
    for (unsigned k = 0; k < NUM_LIMBS; ++k) sources[k] = static_cast<std::uint64_t>(words[3 - k / 2] >> (64 * (k % 2)));
    const unsigned last_limb = NUM_INDICES / 64;
    const std::uint64_t beyond = sources[last_limb] >> (NUM_INDICES % 64) | sources[last_limb + 1];
    if (beyond != 0) {
        const unsigned first = *(*this - BOARD_MASK - PADDING_MASK).ones().begin();
        throw Fault("Permutation table index " + std::to_string(first) + " out of range [0, " +
                    std::to_string(NUM_INDICES - 1) + "]");
    }
    std::array<std::uint64_t, NUM_LIMBS> limbs{};
    for (unsigned k = 0; k <= last_limb; ++k) {
        for (std::uint64_t bits = sources[k]; bits != 0; bits &= bits - 1) {
            const unsigned t = table[64 * k + static_cast<unsigned>(__builtin_ctzll(bits))];
            if (t >= NUM_BITS) throw Fault("Bitboard word " + std::to_string(t / 128) + " out of range [0, 3]");
            limbs[t / 64] |= std::uint64_t{1} << (t % 64);
        }
    }
    Bitboard result;
    for (std::size_t k = 0; k < 4; ++k) result.words[3 - k] = u128{limbs[2 * k + 1]} << 64 | limbs[2 * k];
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
    const std::size_t k = quarter_turns % 4;
    return k == 0 ? board : board.permute(*COUNTER_CLOCKWISE_TURNS[k - 1]);
}

}  // namespace game
