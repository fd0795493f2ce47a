#include "game/bitboard/bitboard.hpp"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace game {
namespace {

Bitboard cells(std::initializer_list<unsigned> indices) {
    Bitboard b;
    for (unsigned i : indices) b |= Bitboard::single(i);
    return b;
}

std::vector<unsigned> ones_of(const Bitboard& b) {
    std::vector<unsigned> out;
    for (unsigned i : b.ones()) out.push_back(i);
    return out;
}

std::uint64_t piece64(const Bitboard& b, unsigned k) {  // bits 64k .. 64k+63
    const u128 w = b.words[3 - k / 2];
    return static_cast<std::uint64_t>(k % 2 ? w >> 64 : w);
}

TEST(Bitboard, SingleLandsInTheDocumentedWord) {
    EXPECT_EQ(Bitboard::single(0).words[3], u128{1});
    EXPECT_EQ(Bitboard::single(419).words[0], u128{1} << 35);
    EXPECT_EQ(Bitboard::single(384).words[0], u128{1});
    EXPECT_THROW(Bitboard::single(512), Fault);
}

TEST(Bitboard, ContainsGuardsItsBound) {
    EXPECT_FALSE(Bitboard{}.contains(419));
    EXPECT_TRUE(Bitboard::single(419).contains(419));
    try {
        (void)Bitboard{}.contains(420);
        FAIL() << "no fault";
    } catch (const Fault& fault) {
        EXPECT_STREQ(fault.what(), "Bitboard index 420 out of range [0, 419]");
    }
}

TEST(Bitboard, EmptinessLooksAtBoardIndicesOnly) {
    EXPECT_TRUE(Bitboard{}.is_empty());
    EXPECT_FALSE(Bitboard::single(419).is_empty());
    EXPECT_TRUE(Bitboard::single(500).is_empty());
}

TEST(Bitboard, ByteFormIsWordsMostSignificantFirstLittleEndian) {
    auto bytes = Bitboard::single(0).to_bytes();
    for (std::size_t j = 0; j < 64; ++j) EXPECT_EQ(bytes[j], j == 48 ? 1 : 0) << j;
    bytes = Bitboard::single(384).to_bytes();
    for (std::size_t j = 0; j < 64; ++j) EXPECT_EQ(bytes[j], j == 0 ? 1 : 0) << j;
    const Bitboard b = cells({0, 9, 127, 128, 300, 418});
    EXPECT_EQ(Bitboard::from_bytes(b.to_bytes().data()), b);
}

TEST(Bitboard, MasksMatchTheirPublishedWords) {
    const std::uint64_t board[] = {0xbffffdffffefffff, 0xdffffefffff7ffff, 0xefffff7ffffbffff, 0xf7ffffbffffdffff,
                                   0xfbffffdffffeffff, 0xfdffffefffff7fff, 0x7ffffbfff,          0};
    const std::uint64_t padding[] = {0x4000020000100000, 0x2000010000080000, 0x1000008000040000, 0x800004000020000,
                                     0x400002000010000,  0x200001000008000,  0x800004000,        0};
    for (unsigned k = 0; k < 8; ++k) {
        EXPECT_EQ(piece64(BOARD_MASK, k), board[k]) << k;
        EXPECT_EQ(piece64(PADDING_MASK, k), padding[k]) << k;
    }
    EXPECT_EQ(BOARD_MASK.count(), 400u);
    EXPECT_EQ(PADDING_MASK.count(), 20u);
}

TEST(Bitboard, ShiftsCarryAcrossWordsAndDropBitsAtTheEnds) {
    EXPECT_EQ(Bitboard::single(127).shift_up(1), Bitboard::single(128));
    EXPECT_EQ(Bitboard::single(128).shift_down(1), Bitboard::single(127));
    EXPECT_EQ(Bitboard::single(5).shift_up(300), Bitboard::single(305));
    EXPECT_EQ(Bitboard::single(305).shift_down(300), Bitboard::single(5));
    EXPECT_EQ(Bitboard::single(511).shift_up(1), Bitboard{});
    EXPECT_EQ(Bitboard::single(0).shift_down(1), Bitboard{});
}

TEST(Bitboard, NeighbourhoodsNeverWrapAroundTheEdges) {
    EXPECT_EQ(Bitboard::single(19).orthogonal_neighbours(), cells({19, 18, 40}));
    EXPECT_EQ(Bitboard::single(0).diagonal_neighbours(), cells({0, 22}));
    EXPECT_EQ(Bitboard::single(418).diagonal_neighbours(), cells({418, 396}));
    EXPECT_EQ(Bitboard::single(cell_index(5, 0)).orthogonal_neighbours(),
              cells({cell_index(5, 0), cell_index(5, 1), cell_index(4, 0), cell_index(6, 0)}));
    EXPECT_EQ(Bitboard::single(cell_index(5, 0)).diagonal_neighbours(),
              cells({cell_index(5, 0), cell_index(4, 1), cell_index(6, 1)}));
    // Every cell's neighbourhoods computed by coordinates.
    for (unsigned r = 0; r < 20; ++r) {
        for (unsigned c = 0; c < 20; ++c) {
            Bitboard ortho = Bitboard::single(cell_index(r, c)), diag = ortho;
            for (int dr = -1; dr <= 1; ++dr) {
                for (int dc = -1; dc <= 1; ++dc) {
                    const int rr = static_cast<int>(r) + dr, cc = static_cast<int>(c) + dc;
                    if ((dr == 0 && dc == 0) || rr < 0 || rr > 19 || cc < 0 || cc > 19) continue;
                    const Bitboard n = Bitboard::single(cell_index(rr, cc));
                    (dr != 0 && dc != 0 ? diag : ortho) |= n;
                }
            }
            EXPECT_EQ(Bitboard::single(cell_index(r, c)).orthogonal_neighbours(), ortho) << r << "," << c;
            EXPECT_EQ(Bitboard::single(cell_index(r, c)).diagonal_neighbours(), diag) << r << "," << c;
        }
    }
}

TEST(Bitboard, OnesAscendAcrossWords) {
    EXPECT_EQ(ones_of(cells({419, 128, 0, 127})), (std::vector<unsigned>{0, 127, 128, 419}));
    EXPECT_TRUE(ones_of(Bitboard{}).empty());
}

TEST(Bitboard, QuarterTurnsAreInversePermutationsOfTheBoard) {
    EXPECT_EQ(TURN_CW[0], 19);
    EXPECT_EQ(TURN_CW[1], 40);
    EXPECT_EQ(TURN_CW[20], 20);
    EXPECT_EQ(TURN_CW[21], 18);
    EXPECT_EQ(TURN_CCW[0], 399);
    EXPECT_EQ(TURN_CCW[1], 378);
    EXPECT_EQ(TURN_CCW[21], 400);
    EXPECT_EQ(std::set<std::uint16_t>(TURN_CW.begin(), TURN_CW.end()).size(), NUM_INDICES);
    EXPECT_EQ(Bitboard::single(0).permute(TURN_CW), Bitboard::single(19));
    const Bitboard b = cells({0, 7, 30, 222, 418});
    EXPECT_EQ(b.permute(TURN_CW).permute(TURN_CW).permute(TURN_CW).permute(TURN_CW), b);
    EXPECT_EQ(b.permute(TURN_CW).permute(TURN_CCW), b);
    EXPECT_EQ(turn_counter_clockwise(b, 1), b.permute(TURN_CCW));
    EXPECT_EQ(turn_counter_clockwise(b, 3), b.permute(TURN_CW));
    EXPECT_EQ(turn_counter_clockwise(b, 2), b.permute(TURN_CW).permute(TURN_CW));
    EXPECT_EQ(HALF_TURN[0], 418);
    EXPECT_EQ(HALF_TURN[cell_index(3, 5)], cell_index(16, 14));
    EXPECT_EQ(HALF_TURN[20], 20);
    EXPECT_THROW(Bitboard::single(450).permute(TURN_CW), Fault);
}

TEST(Bitboard, TranslateMovesTheShapeAndGuardsTheBoard) {
    EXPECT_EQ(Bitboard::translate(1, 19, 19), Bitboard::single(418));
    try {
        (void)Bitboard::translate(1, 20, 0);
        FAIL() << "no fault";
    } catch (const Fault& fault) {
        EXPECT_STREQ(fault.what(), "Invalid translation of (0,0) to (20,0)");
    }
}

}  // namespace
}  // namespace game
