// The placement search's tables read back against the placements they
// describe, and the search itself against the reference rules on the
// absolute board.

#include "game/actions/legal_placements.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "game/bitboard/reach.hpp"
#include "game/game.hpp"
#include "reference.hpp"

namespace game {
namespace {

const ActionSet& set() { return ActionSet::get(); }

// The cells of a reach mask seen from board cell (row, column), or none when
// one lies off the board.
std::optional<Bitboard> cells_at(std::uint64_t reach, int row, int column) {
    Bitboard cells;
    for (int d = -4; d <= 4; ++d) {
        for (int e = -4 + std::abs(d); e <= 4 - std::abs(d); ++e) {
            if ((reach & reach_bit(d, e)) == 0) continue;
            const int r = row + d, c = column + e;
            if (r < 0 || r >= 20 || c < 0 || c >= 20) return std::nullopt;
            cells |= Bitboard::single(cell_index(r, c));
        }
    }
    return cells;
}

// At every board cell, the reach entries of each piece that fit on the
// board turn, in order, into the cell's candidate list: the same dense
// indices, whose placements cover the same cells.
TEST(LegalPlacements, ReachEntriesAreTheCandidateListsOfEveryCell) {
    ASSERT_EQ(set().reach_offsets.front(), 0u);
    ASSERT_EQ(set().reach_offsets.back(), ActionSet::MAX_CELL_ENTRIES);
    for (int row = 0; row < 20; ++row) {
        for (int column = 0; column < 20; ++column) {
            for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
                std::vector<std::uint16_t> fitting;
                for (std::size_t e = set().reach_offsets[j]; e < set().reach_offsets[j + 1]; ++e) {
                    const ReachEntry& entry = set().reach_entries[e];
                    const std::optional<Bitboard> cells = cells_at(entry.cells, row, column);
                    if (!cells) continue;
                    const std::int64_t dense = entry.base + std::int64_t{row} * entry.width + column;
                    ASSERT_GE(dense, 0);
                    ASSERT_LT(dense, static_cast<std::int64_t>(set().actions.size()));
                    ASSERT_EQ(set().actions[static_cast<std::size_t>(dense)].cells, *cells) << "entry " << e;
                    fitting.push_back(static_cast<std::uint16_t>(dense));
                }
                const auto list = set().candidates_for(cell_index(row, column), j);
                ASSERT_EQ(fitting, std::vector<std::uint16_t>(list.begin(), list.end())) << row << ", " << column << ", " << j;
            }
        }
    }
}

TEST(LegalPlacements, ListBoundsAreTight) {
    std::size_t longest_list = 0, most_per_cell = 0, longest_reach_list = 0;
    for (std::size_t x = 0; x + 1 < set().offsets.size(); ++x) {
        longest_list = std::max(longest_list, set().offsets[x + 1] - set().offsets[x]);
    }
    for (std::size_t cell = 0; cell < NUM_INDICES; ++cell) {
        most_per_cell = std::max(most_per_cell, set().offsets[(cell + 1) * NUM_PIECE_TYPES] - set().offsets[cell * NUM_PIECE_TYPES]);
    }
    for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
        longest_reach_list = std::max<std::size_t>(longest_reach_list, set().reach_offsets[j + 1] - set().reach_offsets[j]);
    }
    EXPECT_EQ(longest_list, ActionSet::MAX_LIST_LENGTH);
    EXPECT_EQ(longest_reach_list, ActionSet::MAX_LIST_LENGTH);
    EXPECT_EQ(most_per_cell, ActionSet::MAX_CELL_ENTRIES);
}

// Bit e of a group's set for a pattern: entry e covers none of the group's
// cells set in the pattern, worked out cell by cell on row and column
// offsets. The groups share out the cells around the centre, one each.
TEST(LegalPlacements, ReachSetsHoldTheEntriesClearOfEachGroup) {
    std::vector<std::pair<int, int>> around;
    for (int d = -4; d <= 4; ++d) {
        for (int e = -4 + std::abs(d); e <= 4 - std::abs(d); ++e) {
            if (d != 0 || e != 0) around.emplace_back(d, e);
        }
    }
    ASSERT_EQ(around.size(), NUM_REACH_GROUPS * REACH_GROUP_BITS);
    ASSERT_EQ(reach_bit(0, 0), std::uint64_t{1} << REACH_CENTRE_BIT);
    const auto has = [](const ReachSet& entries, std::size_t e) { return (entries[e / 64] >> (e % 64) & 1) != 0; };
    for (std::size_t e = 0; e < 64 * REACH_SET_WORDS; ++e) {
        for (unsigned g = 0; g < NUM_REACH_GROUPS; ++g) {
            for (unsigned pattern = 0; pattern < (1u << REACH_GROUP_BITS); ++pattern) {
                bool clear = e < ActionSet::MAX_CELL_ENTRIES;
                for (unsigned b = 0; b < REACH_GROUP_BITS && clear; ++b) {
                    const auto [d, c] = around[g * REACH_GROUP_BITS + b];
                    clear = (pattern >> b & 1) == 0 || (set().reach_entries[e].cells & reach_bit(d, c)) == 0;
                }
                ASSERT_EQ(has(set().reach_clear[g][pattern], e), clear) << "entry " << e << ", group " << g << ", pattern " << pattern;
            }
        }
    }
}

// The entries of a hand are those of its pieces, for random hands and the
// empty and full ones.
TEST(LegalPlacements, ReachEntriesOfAHand) {
    std::mt19937 rng(3);
    std::vector<std::uint32_t> hands = {0, ALL_PIECES, 1, 1u << 20};
    for (int n = 0; n < 200; ++n) hands.push_back(std::uniform_int_distribution<std::uint32_t>(0, ALL_PIECES)(rng));
    for (std::uint32_t hand : hands) {
        const ReachSet entries = set().reach_in_hand(hand);
        for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
            for (std::size_t e = set().reach_offsets[j]; e < set().reach_offsets[j + 1]; ++e) {
                ASSERT_EQ(entries[e / 64] >> (e % 64) & 1, hand >> j & 1) << "hand " << hand << ", entry " << e;
            }
        }
        for (std::size_t e = ActionSet::MAX_CELL_ENTRIES; e < 64 * REACH_SET_WORDS; ++e) ASSERT_EQ(entries[e / 64] >> (e % 64) & 1, 0u);
    }
}

// On the absolute board: every seat's legal placements, each once, turned
// into its frame, are the reference's; the first legal placement is the
// first listed.
void check_position(const Game& game) {
    std::vector<std::uint16_t> moves;
    for (std::size_t k = 0; k < 4; ++k) {
        const PlacementMasks masks = game.placement_masks(k);
        const std::uint32_t remaining = game.pieces_in_hand(k);
        list_legal_placements(set(), masks.blocked, masks.corners, remaining, moves);
        std::set<std::size_t> grid;
        for (std::uint16_t a : moves) grid.insert(set().actions[set().seat_maps[(4 - k) % 4][a]].grid_index);
        ASSERT_EQ(grid.size(), moves.size()) << "seat " << k << ": a placement is listed twice";
        ASSERT_EQ(grid, reference::legal_grid_indices(game, k)) << "seat " << k;
        const std::optional<std::uint16_t> first = first_legal_placement(set(), masks.blocked, masks.corners, remaining);
        ASSERT_EQ(first, moves.empty() ? std::nullopt : std::optional(moves.front())) << k;
    }
}

TEST(LegalPlacements, RandomPositionsMatchTheReference) {
    std::mt19937 rng(5);
    std::vector<std::uint16_t> moves;
    for (int games = 0; games < 2; ++games) {
        Game game;
        for (std::size_t turn = 0; !game.over(); ++turn) {
            ASSERT_LT(turn, 400u);
            if (turn % 6 == 0) ASSERT_NO_FATAL_FAILURE(check_position(game)) << "turn " << turn;
            const std::size_t k = game.seat_to_move();
            const PlacementMasks masks = game.placement_masks(k);
            list_legal_placements(set(), masks.blocked, masks.corners, game.pieces_in_hand(k), moves);
            std::optional<std::uint64_t> action;
            if (!game.is_done(k)) {
                const std::uint16_t a = moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)];
                action = set().actions[set().seat_maps[(4 - k) % 4][a]].grid_index;
            }
            ASSERT_FALSE(game.step(action));
        }
        ASSERT_NO_FATAL_FAILURE(check_position(game));
    }
}

TEST(LegalPlacements, NothingWithoutCornersOrPieces) {
    std::vector<std::uint16_t> moves{1, 2, 3};
    list_legal_placements(set(), Bitboard{}, Bitboard{}, ALL_PIECES, moves);
    EXPECT_TRUE(moves.empty());
    EXPECT_FALSE(first_legal_placement(set(), Bitboard{}, Bitboard{}, ALL_PIECES));
    EXPECT_FALSE(first_legal_placement(set(), Bitboard{}, Bitboard::single(0), 0));
    // Only the monomino in hand, on one free corner: exactly that placement.
    list_legal_placements(set(), Bitboard{}, Bitboard::single(0), 1, moves);
    EXPECT_EQ(moves, std::vector<std::uint16_t>{0});
}

}  // namespace
}  // namespace game
