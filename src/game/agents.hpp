#pragma once

#include <cstdint>

#include "game/bitboard/bitboard.hpp"

namespace game {

// An agent's colour, always equal to its seat; the text form draws it.
enum class Color : std::uint8_t { Blue = 0, Yellow = 1, Red = 2, Green = 3 };

// One seat's record. Invariant: `cells` holds board cells only, and
// `placed` == 21 - popcount(`remaining`).
struct Agent {
    Bitboard cells;                  // covered cells, absolute board
    std::uint32_t remaining = 0;     // bit i: piece of catalogue index i still in hand
    std::uint8_t placed = 0;         // pieces placed so far, 0..21
    std::uint8_t last_piece = 0;     // PieceType code of the latest placement; 0 = none yet
    Color color = Color::Blue;       // no rule reads it
    bool done = false;               // no legal placement left; never cleared by play

    friend bool operator==(const Agent&, const Agent&) = default;
};

}  // namespace game
