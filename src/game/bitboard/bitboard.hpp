#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "game/fault.hpp"

namespace game {

__extension__ typedef unsigned __int128 u128;

// Board geometry: 20 rows of 21 bit positions. Columns 0..19 are cells and
// column 20 is padding that never holds a cell, so a shift by +-1, +-20 or
// +-22 that crosses a side edge lands on padding and is masked away.
//   cell index   = row * 21 + column   (0..419; 420..511 never set)
//   board position = row * 20 + column (0..399; action grid and planes)
inline constexpr unsigned BOARD_SIZE = 20;
inline constexpr unsigned ROW_STRIDE = 21;
inline constexpr unsigned NUM_INDICES = BOARD_SIZE * ROW_STRIDE;  // 420
inline constexpr unsigned NUM_BITS = 512;

constexpr unsigned cell_index(unsigned row, unsigned column) { return row * ROW_STRIDE + column; }
constexpr unsigned board_position(unsigned cell) { return cell - cell / ROW_STRIDE; }

// A set of board cells: one 512-bit integer whose bit i is cell index i,
// stored as four 128-bit words, most significant first:
//   words[0] = indices 384..511 (low 36 bits used), words[1] = 256..383,
//   words[2] = 128..255, words[3] = 0..127.
// Invariant for every stored or derived board: only the 400 board cells set.
// The byte form is the four words in stored order, each 16 bytes
// little-endian, so byte 48 bit 0 is cell 0 and byte 0 bit 0 is cell 384.
struct Bitboard {
    std::array<u128, 4> words{};

    class Ones;

    static constexpr Bitboard single(unsigned i) {
        Bitboard b;
        b.insert(i);
        return b;
    }

    // Adds index i, as |= single(i) would, without building a board.
    constexpr void insert(unsigned i) {
        if (i >= NUM_BITS) {
            throw Fault("Bitboard word " + std::to_string(i / 128) + " out of range [0, 3]");
        }
        words[3 - i / 128] |= u128{1} << (i % 128);
    }

    constexpr bool contains(unsigned i) const {
        if (i >= NUM_INDICES) {
            throw Fault("Bitboard index " + std::to_string(i) + " out of range [0, " +
                        std::to_string(NUM_INDICES - 1) + "]");
        }
        return ((words[3 - i / 128] >> (i % 128)) & 1) != 0;
    }

    // Tests indices 0..419 only: the low 36 bits of word 0 and words 1..3.
    constexpr bool is_empty() const {
        constexpr u128 low36 = (u128{1} << 36) - 1;
        return ((words[0] & low36) | words[1] | words[2] | words[3]) == 0;
    }

    constexpr bool intersects(const Bitboard& o) const {
        return ((words[0] & o.words[0]) | (words[1] & o.words[1]) | (words[2] & o.words[2]) |
                (words[3] & o.words[3])) != 0;
    }

    constexpr Bitboard& operator|=(const Bitboard& o) {
        for (std::size_t k = 0; k < 4; ++k) words[k] |= o.words[k];
        return *this;
    }
    constexpr Bitboard& operator&=(const Bitboard& o) {
        for (std::size_t k = 0; k < 4; ++k) words[k] &= o.words[k];
        return *this;
    }
    constexpr Bitboard& operator-=(const Bitboard& o) {
        for (std::size_t k = 0; k < 4; ++k) words[k] &= ~o.words[k];
        return *this;
    }
    friend constexpr Bitboard operator|(Bitboard a, const Bitboard& b) { return a |= b; }
    friend constexpr Bitboard operator&(Bitboard a, const Bitboard& b) { return a &= b; }
    friend constexpr Bitboard operator-(Bitboard a, const Bitboard& b) { return a -= b; }
    friend constexpr bool operator==(const Bitboard&, const Bitboard&) = default;

    // Shifts of the 512-bit integer towards higher (up) or lower (down)
    // indices; bits pushed out are lost, vacated bits are zero. 0 < n < 512.
    constexpr Bitboard shift_up(unsigned n) const {
        Bitboard r;
        const unsigned whole = n / 128, part = n % 128;
        for (unsigned t = whole; t < 4; ++t) {  // t counts words from the least significant
            const unsigned s = t - whole;
            u128 v = low_word(s) << part;
            if (part != 0 && s > 0) v |= low_word(s - 1) >> (128 - part);
            r.words[3 - t] = v;
        }
        return r;
    }
    constexpr Bitboard shift_down(unsigned n) const {
        Bitboard r;
        const unsigned whole = n / 128, part = n % 128;
        for (unsigned t = 0; t + whole < 4; ++t) {
            const unsigned s = t + whole;
            u128 v = low_word(s) >> part;
            if (part != 0 && s + 1 < 4) v |= low_word(s + 1) << (128 - part);
            r.words[3 - t] = v;
        }
        return r;
    }

    // The set with its edge (orthogonal) or corner (diagonal) neighbours,
    // clipped to the board; never wraps from one side edge to the other.
    constexpr Bitboard orthogonal_neighbours() const;
    constexpr Bitboard diagonal_neighbours() const;

    // The shape mask (row stride 21, top-left of its bounding box at bit 0)
    // moved to column x, row y. Does not clip.
    static constexpr Bitboard translate(u128 shape, unsigned x, unsigned y) {
        if (x >= BOARD_SIZE || y >= BOARD_SIZE) {
            throw Fault("Invalid translation of (0,0) to (" + std::to_string(x) + "," +
                        std::to_string(y) + ")");
        }
        Bitboard b;
        b.words[3] = shape;
        return b.shift_up(y * ROW_STRIDE + x);
    }

    constexpr Ones ones() const;

    // Bit table[i] for every set bit i; one lookup per set bit.
    Bitboard permute(const std::array<std::uint16_t, NUM_INDICES>& table) const;

    unsigned count() const {
        unsigned n = 0;
        for (u128 w : words) {
            n += static_cast<unsigned>(__builtin_popcountll(static_cast<std::uint64_t>(w)) +
                                       __builtin_popcountll(static_cast<std::uint64_t>(w >> 64)));
        }
        return n;
    }

    std::array<std::uint8_t, 64> to_bytes() const;
    static Bitboard from_bytes(const std::uint8_t* bytes);  // reads 64 bytes

private:
    constexpr u128 low_word(unsigned t) const { return words[3 - t]; }
};

// Lazy ascending sequence of the set bit indices. It walks the board as
// eight 64-bit limbs (limb k: indices 64k to 64k + 63), skipping empty ones,
// so that finding and clearing the lowest bit are single-word operations.
class Bitboard::Ones {
public:
    class iterator {
    public:
        using value_type = unsigned;
        using difference_type = std::ptrdiff_t;
        using iterator_category = std::input_iterator_tag;

        constexpr iterator() = default;
        constexpr iterator(const Bitboard& b) : rest_(b) { advance_limb(); }

        constexpr unsigned operator*() const { return 64 * limb_ + static_cast<unsigned>(__builtin_ctzll(current_)); }
        constexpr iterator& operator++() {
            current_ &= current_ - 1;
            if (current_ == 0) {
                ++limb_;
                advance_limb();
            }
            return *this;
        }
        constexpr void operator++(int) { ++*this; }
        constexpr bool operator==(std::default_sentinel_t) const { return limb_ >= NUM_LIMBS; }

    private:
        static constexpr unsigned NUM_LIMBS = NUM_BITS / 64;

        constexpr void advance_limb() {
            while (limb_ < NUM_LIMBS &&
                   (current_ = static_cast<std::uint64_t>(rest_.words[3 - limb_ / 2] >> (64 * (limb_ % 2)))) == 0) {
                ++limb_;
            }
        }
        Bitboard rest_{};
        std::uint64_t current_ = 0;
        unsigned limb_ = 0;  // counted from the least significant limb
    };

    constexpr explicit Ones(const Bitboard& b) : board_(b) {}
    constexpr iterator begin() const { return iterator(board_); }
    constexpr std::default_sentinel_t end() const { return {}; }

private:
    Bitboard board_;
};

constexpr Bitboard::Ones Bitboard::ones() const { return Ones(*this); }

struct BitboardHash {
    std::size_t operator()(const Bitboard& b) const noexcept {
        std::uint64_t h = 0x9e3779b97f4a7c15ULL;
        for (u128 w : b.words) {
            for (std::uint64_t half : {static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(w >> 64)}) {
                h ^= half + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
            }
        }
        return static_cast<std::size_t>(h);
    }
};

namespace detail {

constexpr Bitboard make_board_mask(bool padding) {
    Bitboard b;
    for (unsigned i = 0; i < NUM_INDICES; ++i) {
        if ((i % ROW_STRIDE == BOARD_SIZE) == padding) b.words[3 - i / 128] |= u128{1} << (i % 128);
    }
    return b;
}

constexpr std::array<std::uint16_t, NUM_INDICES> make_turn(bool clockwise) {
    std::array<std::uint16_t, NUM_INDICES> table{};
    for (unsigned i = 0; i < NUM_INDICES; ++i) {
        const unsigned r = i / ROW_STRIDE, c = i % ROW_STRIDE;
        if (c == BOARD_SIZE) {
            table[i] = static_cast<std::uint16_t>(i);
        } else if (clockwise) {
            table[i] = static_cast<std::uint16_t>(cell_index(c, 19 - r));
        } else {
            table[i] = static_cast<std::uint16_t>(cell_index(19 - c, r));
        }
    }
    return table;
}

}  // namespace detail

// The 400 board cells, and the 20 padding positions (column 20 of each row).
inline constexpr Bitboard BOARD_MASK = detail::make_board_mask(false);
inline constexpr Bitboard PADDING_MASK = detail::make_board_mask(true);

// Quarter turns of the board, padding fixed: TURN_CW maps (r, c) to
// (c, 19 - r), TURN_CCW is its inverse, (r, c) to (19 - c, r).
inline constexpr std::array<std::uint16_t, NUM_INDICES> TURN_CW = detail::make_turn(true);
inline constexpr std::array<std::uint16_t, NUM_INDICES> TURN_CCW = detail::make_turn(false);

// TURN_CW applied twice, (r, c) to (19 - r, 19 - c), so that a half turn
// costs one lookup per cell.
inline constexpr std::array<std::uint16_t, NUM_INDICES> HALF_TURN = [] {
    std::array<std::uint16_t, NUM_INDICES> table{};
    for (unsigned i = 0; i < NUM_INDICES; ++i) table[i] = TURN_CW[TURN_CW[i]];
    return table;
}();

// The cell maps of 1, 2 and 3 quarter turns counter-clockwise.
inline constexpr std::array<const std::array<std::uint16_t, NUM_INDICES>*, 3> COUNTER_CLOCKWISE_TURNS = {
    &TURN_CCW, &HALF_TURN, &TURN_CW};

// A shift by one row and then by one column reaches the corner neighbours,
// so the row shifts serve both. A shift by a column that crosses a side edge
// lands on padding, which the board mask clears.
constexpr Bitboard Bitboard::orthogonal_neighbours() const {
    const Bitboard rows = shift_up(ROW_STRIDE) | shift_down(ROW_STRIDE);
    return (*this | rows | shift_up(1) | shift_down(1)) & BOARD_MASK;
}

constexpr Bitboard Bitboard::diagonal_neighbours() const {
    const Bitboard rows = shift_up(ROW_STRIDE) | shift_down(ROW_STRIDE);
    return (*this | rows.shift_up(1) | rows.shift_down(1)) & BOARD_MASK;
}

// The board turned k quarter turns counter-clockwise (k = 0..3): the frame
// of seat k, in which its start cell is at the top left.
Bitboard turn_counter_clockwise(const Bitboard& board, std::size_t quarter_turns);

}  // namespace game
