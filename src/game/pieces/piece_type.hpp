#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace game {

// The 21 piece types. The enumerator value is the one-byte code by which a
// single piece is stored (0 is no piece); codes rise with the catalogue
// index, and code mod 6 is the number of cells:
//   code = 6 * (catalogue index - cells + 1) + cells.
// The catalogue index (0..20) is the bit of the piece in a set of pieces.
enum class PieceType : std::uint8_t {
    I1 = 1, I2 = 2, V3 = 3, I3 = 9, T4 = 10, O = 16, L4 = 22, I4 = 28, Z4 = 34, F = 35, X = 41,
    P = 47, W = 53, Z5 = 59, Y = 65, L5 = 71, U = 77, T5 = 83, V5 = 89, N = 95, I5 = 101,
};

inline constexpr std::size_t NUM_PIECE_TYPES = 21;
// Fixed orientations of all piece types: each rotation and reflection that differs.
inline constexpr std::size_t NUM_ORIENTATIONS = 91;
inline constexpr std::uint32_t ALL_PIECES = (1u << NUM_PIECE_TYPES) - 1;  // 0x1FFFFF

inline constexpr std::array<PieceType, NUM_PIECE_TYPES> ALL_PIECE_TYPES = {
    PieceType::I1, PieceType::I2, PieceType::V3, PieceType::I3, PieceType::T4, PieceType::O,
    PieceType::L4, PieceType::I4, PieceType::Z4, PieceType::F,  PieceType::X,  PieceType::P,
    PieceType::W,  PieceType::Z5, PieceType::Y,  PieceType::L5, PieceType::U,  PieceType::T5,
    PieceType::V5, PieceType::N,  PieceType::I5,
};

constexpr std::uint8_t code(PieceType t) { return static_cast<std::uint8_t>(t); }
constexpr unsigned cell_count(PieceType t) { return code(t) % 6; }
constexpr std::size_t catalogue_index(PieceType t) { return (code(t) - cell_count(t)) / 6 + cell_count(t) - 1; }

// The piece type stored as `byte`; none for 0 and every byte between codes.
constexpr std::optional<PieceType> piece_type_from_code(std::uint8_t byte) {
    for (PieceType t : ALL_PIECE_TYPES) {
        if (code(t) == byte) return t;
    }
    return std::nullopt;
}

constexpr std::string_view name(PieceType t) {
    constexpr std::array<std::string_view, NUM_PIECE_TYPES> names = {
        "I1", "I2", "V3", "I3", "T4", "O", "L4", "I4", "Z4", "F", "X",
        "P",  "W",  "Z5", "Y",  "L5", "U", "T5", "V5", "N",  "I5",
    };
    return names[catalogue_index(t)];
}

inline std::ostream& operator<<(std::ostream& out, PieceType t) { return out << name(t); }

}  // namespace game
