#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "game/actions/action_set.hpp"
#include "game/bitboard/bitboard.hpp"
#include "game/observation.hpp"

namespace game {

// The observation as bytes of 0/1: the one layout that the single-game
// observation, the batch's buffers and Python's spaces share. Every array is
// row-major, seats counted from the observer, rows and columns those of its
// frame:
//   planes  (PLANES, BOARD_SIZE, BOARD_SIZE): the cells each seat covers
//           (OCCUPIED_PLANES), then where each seat's next piece can attach
//           (CORNER_PLANES), then where each seat can never go (BLOCKED_PLANES);
//   pieces  (NUM_SEATS, NUM_PIECE_TYPES): the pieces each seat holds, by
//           catalogue index;
//   done    (NUM_SEATS): the seats that are out of moves.
// The action mask, when one is wanted, is NUM_GRID_POSITIONS bytes over the
// (NUM_ORIENTATIONS, BOARD_SIZE, BOARD_SIZE) action grid.
inline constexpr std::size_t PLANE_SIZE = BOARD_SIZE * BOARD_SIZE;
inline constexpr std::size_t OCCUPIED_PLANES = 0;
inline constexpr std::size_t CORNER_PLANES = NUM_SEATS;
inline constexpr std::size_t BLOCKED_PLANES = 2 * NUM_SEATS;
inline constexpr std::size_t PLANES = 3 * NUM_SEATS;
inline constexpr std::size_t PLANES_SIZE = PLANES * PLANE_SIZE;
inline constexpr std::size_t PIECES_SIZE = NUM_SEATS * NUM_PIECE_TYPES;
inline constexpr std::size_t DONE_SIZE = NUM_SEATS;

// Writes `view` over the three arrays; every byte is written, so none needs
// clearing first.
void write_observation(const Observation& view, std::uint8_t* planes, std::uint8_t* pieces, std::uint8_t* done);

// Writes `board` as a 20 x 20 plane of 0/1 bytes, row-major (byte
// row * 20 + column is cell (row, column)).
void write_plane(const Bitboard& board, std::uint8_t* plane);

namespace detail {

// Byte j of SPREAD[b] is bit j of b: eight bits become eight bytes in one store.
static_assert(std::endian::native == std::endian::little, "SPREAD stores its bytes low first");
inline constexpr std::array<std::uint64_t, 256> SPREAD = [] {
    std::array<std::uint64_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        for (unsigned j = 0; j < 8; ++j) table[b] |= static_cast<std::uint64_t>((b >> j) & 1) << (8 * j);
    }
    return table;
}();

}  // namespace detail

// Writes bits 0 .. Count - 1 of `bits` as Count bytes of 0/1.
template <unsigned Count>
inline void write_bits(std::uint32_t bits, std::uint8_t* out) {
    static_assert(Count <= 24);
    const std::array<std::uint64_t, 3> bytes = {detail::SPREAD[bits & 0xff], detail::SPREAD[(bits >> 8) & 0xff],
                                                detail::SPREAD[(bits >> 16) & 0xff]};
    std::memcpy(out, bytes.data(), Count);
}

}  // namespace game
