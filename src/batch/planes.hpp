#pragma once

#include <cstdint>

#include "game/bitboard/bitboard.hpp"

namespace batch {

// Writes `board` as a 20 x 20 plane of 0/1 bytes, row-major (byte
// row * 20 + column is cell (row, column)): every one of the 400 bytes is
// written, so the plane needs no clearing first.
void write_plane(const game::Bitboard& board, std::uint8_t* plane);

}  // namespace batch
