#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "game/bitboard/bitboard.hpp"

namespace batch {

// Writes `board` as a 20 x 20 plane of 0/1 bytes, row-major (byte
// row * 20 + column is cell (row, column)): every one of the 400 bytes is
// written, so the plane needs no clearing first.
void write_plane(const game::Bitboard& board, std::uint8_t* plane);

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

}  // namespace batch
