#include "game/pieces/piece.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace game {
namespace {

// The catalogue as drawn: rows top to bottom, X a cell, '.' empty.
const std::vector<std::pair<PieceType, std::string>> DRAWN = {
    {PieceType::I1, "X"},
    {PieceType::I2, "XX"},
    {PieceType::I2, "X/X"},
    {PieceType::V3, "XX/X."},
    {PieceType::V3, "X./XX"},
    {PieceType::V3, ".X/XX"},
    {PieceType::V3, "XX/.X"},
    {PieceType::I3, "XXX"},
    {PieceType::I3, "X/X/X"},
    {PieceType::T4, ".X./XXX"},
    {PieceType::T4, "X./XX/X."},
    {PieceType::T4, "XXX/.X."},
    {PieceType::T4, ".X/XX/.X"},
    {PieceType::O, "XX/XX"},
    {PieceType::L4, "X../XXX"},
    {PieceType::L4, "XXX/X.."},
    {PieceType::L4, "X./X./XX"},
    {PieceType::L4, "XX/X./X."},
    {PieceType::L4, "XX/.X/.X"},
    {PieceType::L4, "XXX/..X"},
    {PieceType::L4, "..X/XXX"},
    {PieceType::L4, ".X/.X/XX"},
    {PieceType::I4, "XXXX"},
    {PieceType::I4, "X/X/X/X"},
    {PieceType::Z4, "X./XX/.X"},
    {PieceType::Z4, ".X/XX/X."},
    {PieceType::Z4, ".XX/XX."},
    {PieceType::Z4, "XX./.XX"},
    {PieceType::F, ".X./XXX/X.."},
    {PieceType::F, "X../XXX/.X."},
    {PieceType::F, "XX./.XX/.X."},
    {PieceType::F, ".XX/XX./.X."},
    {PieceType::F, "..X/XXX/.X."},
    {PieceType::F, ".X./XX./.XX"},
    {PieceType::F, ".X./XXX/..X"},
    {PieceType::F, ".X./.XX/XX."},
    {PieceType::X, ".X./XXX/.X."},
    {PieceType::P, "XX/XX/X."},
    {PieceType::P, "XX/XX/.X"},
    {PieceType::P, "X./XX/XX"},
    {PieceType::P, ".X/XX/XX"},
    {PieceType::P, "XXX/.XX"},
    {PieceType::P, ".XX/XXX"},
    {PieceType::P, "XXX/XX."},
    {PieceType::P, "XX./XXX"},
    {PieceType::W, "X../XX./.XX"},
    {PieceType::W, ".XX/XX./X.."},
    {PieceType::W, "..X/.XX/XX."},
    {PieceType::W, "XX./.XX/..X"},
    {PieceType::Z5, "X../XXX/..X"},
    {PieceType::Z5, "..X/XXX/X.."},
    {PieceType::Z5, ".XX/.X./XX."},
    {PieceType::Z5, "XX./.X./.XX"},
    {PieceType::Y, "XXXX/.X.."},
    {PieceType::Y, ".X../XXXX"},
    {PieceType::Y, "XXXX/..X."},
    {PieceType::Y, "..X./XXXX"},
    {PieceType::Y, "X./X./XX/X."},
    {PieceType::Y, ".X/.X/XX/.X"},
    {PieceType::Y, "X./XX/X./X."},
    {PieceType::Y, ".X/XX/.X/.X"},
    {PieceType::L5, "XXXX/X..."},
    {PieceType::L5, "X.../XXXX"},
    {PieceType::L5, "XXXX/...X"},
    {PieceType::L5, "...X/XXXX"},
    {PieceType::L5, "X./X./X./XX"},
    {PieceType::L5, ".X/.X/.X/XX"},
    {PieceType::L5, "XX/X./X./X."},
    {PieceType::L5, "XX/.X/.X/.X"},
    {PieceType::U, "X.X/XXX"},
    {PieceType::U, "XXX/X.X"},
    {PieceType::U, "XX/X./XX"},
    {PieceType::U, "XX/.X/XX"},
    {PieceType::T5, ".X./.X./XXX"},
    {PieceType::T5, "X../XXX/X.."},
    {PieceType::T5, "XXX/.X./.X."},
    {PieceType::T5, "..X/XXX/..X"},
    {PieceType::V5, "XXX/X../X.."},
    {PieceType::V5, "X../X../XXX"},
    {PieceType::V5, "..X/..X/XXX"},
    {PieceType::V5, "XXX/..X/..X"},
    {PieceType::N, ".XXX/XX.."},
    {PieceType::N, "XX../.XXX"},
    {PieceType::N, "XXX./..XX"},
    {PieceType::N, "..XX/XXX."},
    {PieceType::N, "X./X./XX/.X"},
    {PieceType::N, ".X/.X/XX/X."},
    {PieceType::N, ".X/XX/X./X."},
    {PieceType::N, "X./XX/.X/.X"},
    {PieceType::I5, "XXXXX"},
    {PieceType::I5, "X/X/X/X/X"},};

Bitboard drawn_cells(const std::string& drawing, unsigned row, unsigned column) {
    Bitboard b;
    unsigned r = 0, c = 0;
    for (char ch : drawing) {
        if (ch == '/') {
            ++r;
            c = 0;
            continue;
        }
        if (ch == 'X') b |= Bitboard::single(cell_index(row + r, column + c));
        ++c;
    }
    return b;
}

TEST(Pieces, CatalogueMatchesTheDrawnShapesEverywhere) {
    const auto pieces = generate();
    ASSERT_EQ(pieces.size(), NUM_ORIENTATIONS);
    ASSERT_EQ(DRAWN.size(), NUM_ORIENTATIONS);
    std::size_t total = 0;
    for (std::size_t o = 0; o < pieces.size(); ++o) {
        EXPECT_EQ(pieces[o].piece_type, DRAWN[o].first) << o;
        const auto translations = pieces[o].build_translations();
        ASSERT_EQ(translations.size(), (pieces[o].max_row + 1) * (pieces[o].max_col + 1));
        total += translations.size();
        for (std::size_t t = 0; t < translations.size(); ++t) {
            const auto [position, cells] = translations[t];
            const unsigned row = static_cast<unsigned>(t / (pieces[o].max_col + 1));
            const unsigned column = static_cast<unsigned>(t % (pieces[o].max_col + 1));
            ASSERT_EQ(position, row * 20 + column);
            ASSERT_EQ(cells, drawn_cells(DRAWN[o].second, row, column)) << o << " at " << position;
            ASSERT_EQ(cells.count(), cell_count(pieces[o].piece_type));
        }
    }
    EXPECT_EQ(total, 30433u);
}

TEST(Pieces, OrientationCountsAndFirstIndicesPerType) {
    const auto pieces = generate();
    const std::vector<std::size_t> counts = {1, 2, 4, 2, 4, 1, 8, 2, 4, 8, 1, 8, 4, 4, 8, 8, 4, 4, 4, 8, 2};
    const std::vector<std::size_t> firsts = {0, 1, 3, 7, 9, 13, 14, 22, 24, 28, 36, 37, 45, 49, 53, 61, 69, 73, 77, 81, 89};
    const std::vector<std::size_t> placements = {400,  760,  1444, 720,  1368, 361,  2736, 680,  1368, 2592, 324,
                                                 2736, 1296, 1296, 2584, 2584, 1368, 1296, 1296, 2584, 640};
    for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
        std::size_t count = 0, first = pieces.size(), total = 0;
        for (std::size_t o = 0; o < pieces.size(); ++o) {
            if (catalogue_index(pieces[o].piece_type) != j) continue;
            EXPECT_EQ(pieces[o].variant, count);
            first = std::min(first, o);
            ++count;
            total += pieces[o].build_translations().size();
        }
        EXPECT_EQ(count, counts[j]) << j;
        EXPECT_EQ(first, firsts[j]) << j;
        EXPECT_EQ(total, placements[j]) << j;
    }
}

TEST(Pieces, NotableTranslations) {
    const auto pieces = generate();
    EXPECT_EQ(pieces[0].build_translations().front().second, Bitboard::single(0));
    EXPECT_EQ(pieces[0].build_translations().back(), std::make_pair(std::size_t{399}, Bitboard::single(418)));
    EXPECT_EQ(pieces[90].max_row, 15u);
    EXPECT_EQ(pieces[90].max_col, 19u);
    EXPECT_EQ(pieces[69].shape_mask(), (u128{1} << 0 | u128{1} << 2 | u128{1} << 21 | u128{1} << 22 | u128{1} << 23));
    EXPECT_FALSE(pieces[9].build_translations().front().second.contains(0));
    const auto o = pieces[13].build_translations();
    EXPECT_EQ(o.size(), 361u);
    EXPECT_EQ(o.back().first, 378u);
    EXPECT_EQ(o.back().second.count(), 4u);
    EXPECT_TRUE(o.back().second.contains(396) && o.back().second.contains(397) && o.back().second.contains(417) &&
                o.back().second.contains(418));
}

TEST(PieceType, CodesNamesAndReverseLookup) {
    const char* names[] = {"I1", "I2", "V3", "I3", "T4", "O",  "L4", "I4", "Z4", "F", "X",
                           "P",  "W",  "Z5", "Y",  "L5", "U",  "T5", "V5", "N",  "I5"};
    unsigned cells = 0;
    for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
        const PieceType t = ALL_PIECE_TYPES[j];
        EXPECT_EQ(catalogue_index(t), j);
        EXPECT_EQ(name(t), names[j]);
        EXPECT_EQ(piece_type_from_code(code(t)), t);
        cells += cell_count(t);
    }
    EXPECT_EQ(cells, 89u);
    EXPECT_EQ(piece_type_from_code(9), PieceType::I3);
    EXPECT_EQ(piece_type_from_code(101), PieceType::I5);
    int named = 0;
    for (unsigned byte = 0; byte < 256; ++byte) named += piece_type_from_code(static_cast<std::uint8_t>(byte)).has_value();
    EXPECT_EQ(named, 21);
    for (std::uint8_t byte : {0, 4, 8, 11, 15, 102, 255}) EXPECT_FALSE(piece_type_from_code(byte)) << int(byte);
}

}  // namespace
}  // namespace game
