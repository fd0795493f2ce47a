#include "game/actions/action_set.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace game {
namespace {

const ActionSet& set() { return ActionSet::get(); }

TEST(ActionSet, SizesAndOrdering) {
    EXPECT_EQ(set().actions.size(), 30433u);
    EXPECT_EQ(set().grid.size(), 36400u);
    std::size_t held = 0;
    for (const auto& entry : set().grid) held += entry.has_value();
    EXPECT_EQ(held, 30433u);
    EXPECT_EQ(set().candidates.size(), 137444u);
    EXPECT_EQ(set().offsets.size(), 8821u);
    EXPECT_EQ(set().offsets.front(), 0u);
    EXPECT_EQ(set().offsets.back(), 137444u);
    for (std::size_t i = 1; i < set().actions.size(); ++i) {
        ASSERT_LT(set().actions[i - 1].grid_index, set().actions[i].grid_index);
    }
    for (std::size_t i = 0; i < set().actions.size(); ++i) ASSERT_EQ(set().grid[set().actions[i].grid_index], i);
}

TEST(ActionSet, OrientationsStartWhereExpected) {
    EXPECT_EQ(set().grid[0], 0u);
    EXPECT_EQ(set().grid[1 * 400], 400u);
    EXPECT_EQ(set().grid[2 * 400], 780u);
    EXPECT_EQ(set().grid[3 * 400], 1160u);
    EXPECT_EQ(set().actions.back().grid_index, 36319u);
    EXPECT_EQ(set().actions.back().piece, PieceType::I5);
    // A grid position where the orientation leaves the board holds nothing.
    EXPECT_FALSE(set().grid[1 * 400 + 19].has_value());  // I2 lying at column 19
    EXPECT_FALSE(set().grid[90 * 400 + 16 * 20].has_value());  // I5 standing at row 16
}

TEST(ActionSet, SeatMapsTurnPlacementsOntoTheAbsoluteBoard) {
    const std::size_t firsts[] = {0, 19, 399, 380};
    const std::size_t i2[] = {400, 799, 779, 1140};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(set().seat_maps[k][0], firsts[k]);
        EXPECT_EQ(set().seat_maps[k][400], i2[k]);
    }
    for (std::size_t i = 0; i < set().actions.size(); ++i) {
        ASSERT_EQ(set().seat_maps[0][i], i);
        const std::uint16_t once = set().seat_maps[1][i];
        ASSERT_EQ(set().seat_maps[3][once], i);  // four quarter turns
        for (std::size_t k = 0; k < 4; ++k) {
            const Action& turned = set().actions[set().seat_maps[k][i]];
            ASSERT_EQ(turned.piece, set().actions[i].piece);
            ASSERT_EQ(turned.cells, turn_counter_clockwise(set().actions[i].cells, 4 - k));
        }
    }
}

TEST(ActionSet, FirstMovesOfEverySeat) {
    std::size_t at_origin = 0;
    for (std::size_t i = 0; i < set().actions.size(); ++i) {
        if (!set().actions[i].cells.contains(0)) continue;
        ++at_origin;
        EXPECT_EQ(set().actions[i].grid_index % 400, 0u);
        EXPECT_TRUE(set().actions[set().seat_maps[1][i]].cells.contains(19));
        EXPECT_TRUE(set().actions[set().seat_maps[2][i]].cells.contains(418));
        EXPECT_TRUE(set().actions[set().seat_maps[3][i]].cells.contains(399));
    }
    EXPECT_EQ(at_origin, 58u);
}

TEST(ActionSet, CandidateListsIndexPlacementsByCellAndPiece) {
    EXPECT_EQ(std::vector<std::uint16_t>(set().candidates_for(0, 0).begin(), set().candidates_for(0, 0).end()),
              std::vector<std::uint16_t>{0});
    std::size_t at_origin = 0;
    for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) at_origin += set().candidates_for(0, j).size();
    EXPECT_EQ(at_origin, 58u);
    EXPECT_EQ(set().candidates_for(cell_index(2, 2), catalogue_index(PieceType::F)).size(), 40u);
    for (unsigned row = 0; row < 20; ++row) {
        for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) EXPECT_TRUE(set().candidates_for(cell_index(row, 20), j).empty());
    }
    for (unsigned x = 0; x < NUM_INDICES; ++x) {
        for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
            const auto list = set().candidates_for(x, j);
            for (std::size_t n = 0; n < list.size(); ++n) {
                ASSERT_TRUE(set().actions[list[n]].cells.contains(x));
                ASSERT_EQ(catalogue_index(set().actions[list[n]].piece), j);
                if (n > 0) ASSERT_LT(list[n - 1], list[n]);
            }
        }
    }
}

TEST(ActionSet, GridMask) {
    const auto none = set().grid_mask({});
    EXPECT_EQ(none, std::vector<std::uint8_t>(36400, 0));
    std::vector<std::uint16_t> all(set().actions.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint16_t>(i);
    const auto mask = set().grid_mask(all);
    for (std::size_t g = 0; g < mask.size(); ++g) ASSERT_EQ(mask[g], set().grid[g].has_value() ? 1 : 0);
}

TEST(ActionSet, GetIsOneObjectAcrossThreads) {
    std::vector<const ActionSet*> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) threads.emplace_back([&, t] { seen[t] = &ActionSet::get(); });
    for (auto& thread : threads) thread.join();
    for (const ActionSet* p : seen) EXPECT_EQ(p, &ActionSet::get());
}

}  // namespace
}  // namespace game
