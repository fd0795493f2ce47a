#include "game/scores.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "game/game.hpp"

namespace game {
namespace {

using Scores = std::array<std::int16_t, 4>;

// Squares of each piece type, by catalogue index.
constexpr std::array<int, 21> SIZES = {1, 2, 3, 3, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
constexpr std::uint32_t I1_BIT = 1, I5_BIT = 1u << 20;

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Game with_agent0(std::uint32_t remaining, std::uint8_t last_piece) {
    Position layout;
    layout.pieces_in_hand[0] = remaining;
    layout.last_piece[0] = last_piece;
    return *Game::set_up(layout);
}

TEST(Scores, FreshGameIsMinus89Everywhere) {
    EXPECT_EQ(Game().scores(), (Scores{-89, -89, -89, -89}));
}

TEST(Scores, Boundaries) {
    EXPECT_EQ(with_agent0(0, 101).scores()[0], 15);        // all placed, I5 last
    EXPECT_EQ(with_agent0(0, 1).scores()[0], 20);          // all placed, monomino last
    EXPECT_EQ(with_agent0(0, 2).scores()[0], 15);          // monomino placed earlier
    EXPECT_EQ(with_agent0(I1_BIT, 101).scores()[0], -1);   // only the monomino left
    EXPECT_EQ(with_agent0(I5_BIT, 1).scores()[0], -5);     // only a pentomino left
    EXPECT_EQ(with_agent0(ALL_PIECES, 0).scores()[0], -89);
    EXPECT_EQ(with_agent0(0, 1).scores()[1], -89);          // other seats are untouched
}

TEST(Scores, MinusTheSquaresStillInHand) {
    std::mt19937 rng(7);
    for (int n = 0; n < 2000; ++n) {
        const std::uint32_t remaining = rng() & ALL_PIECES;
        int held = 0;
        for (std::size_t i = 0; i < 21; ++i) held += (remaining >> i & 1) ? SIZES[i] : 0;
        Game g = with_agent0(remaining, code(PieceType::I1));
        const int expected = held != 0 ? -held : 20;
        ASSERT_EQ(g.scores()[0], expected) << std::hex << remaining;
    }
}

TEST(Scores, MidGameAfterPlay) {
    Game g;
    for (int k = 0; k < 4; ++k) ASSERT_FALSE(g.step(0));  // every seat plays I1
    EXPECT_EQ(g.scores(), (Scores{-88, -88, -88, -88}));
    ASSERT_FALSE(g.step(89 * 400 + 1 * 20 + 1));  // agent 0: I5 lying at (1, 1)
    EXPECT_EQ(g.scores(), (Scores{-83, -88, -88, -88}));
}

TEST(RewardModes, NamesAreExact) {
    EXPECT_EQ(reward_mode_from_name("score"), RewardMode::Score);
    EXPECT_EQ(reward_mode_from_name("win_share"), RewardMode::WinShare);
    EXPECT_EQ(reward_mode_from_name("rank"), RewardMode::Rank);
    for (std::string_view bad : {"Score", "RANK", "rank ", " rank", "win-share", "winshare", "", "ranks"}) {
        EXPECT_EQ(reward_mode_from_name(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(reward_mode_from_name(std::string_view("rank\0", 5)), std::nullopt);
    EXPECT_EQ(static_cast<int>(RewardMode::Score), 0);
    EXPECT_EQ(static_cast<int>(RewardMode::WinShare), 1);
    EXPECT_EQ(static_cast<int>(RewardMode::Rank), 2);
}

struct RankCell {
    unsigned above, tied;
    float reward;
};

// The rank rewards as published, literal floats.
constexpr RankCell RANK_TABLE[] = {
    {0, 1, 1.0f},        {0, 2, 0.8333334f}, {0, 3, 0.6666667f},  {0, 4, 0.5f},        {1, 1, 0.6666667f},
    {1, 2, 0.5f},        {1, 3, 0.33333334f}, {2, 1, 0.33333334f}, {2, 2, 0.16666667f}, {3, 1, 0.0f},
};

float table_reward(unsigned above, unsigned tied) {
    for (const RankCell& cell : RANK_TABLE) {
        if (cell.above == above && cell.tied == tied) return cell.reward;
    }
    ADD_FAILURE() << "no table cell " << above << "," << tied;
    return -1.0f;
}

TEST(RankReward, EveryTableCellBitForBit) {
    for (const RankCell& cell : RANK_TABLE) {
        // `above` seats on 10, `tied` seats on -3, the rest on -50, each seat taking every role.
        for (unsigned rotate = 0; rotate < 4; ++rotate) {
            Scores scores{};
            for (unsigned i = 0; i < 4; ++i) {
                scores[(i + rotate) % 4] = i < cell.above ? 10 : i < cell.above + cell.tied ? -3 : -50;
            }
            const auto rewards = outcome_from_scores(scores, RewardMode::Rank);
            for (unsigned i = cell.above; i < cell.above + cell.tied; ++i) {
                const float got = rewards[(i + rotate) % 4];
                EXPECT_TRUE(same_bits(got, cell.reward))
                    << "t=" << cell.above << " m=" << cell.tied << " got " << got;
            }
        }
    }
}

// Over every score vector drawn from a small set of values, each reward is
// checked against a ranking worked out by sorting.
TEST(Outcome, AllModesAgainstSortedRanking) {
    constexpr std::int16_t VALUES[] = {-89, -10, -3, 15, 20};
    for (int n = 0; n < 625; ++n) {
        Scores scores{};
        for (int k = 0, c = n; k < 4; ++k, c /= 5) scores[k] = VALUES[c % 5];
        Scores sorted = scores;
        std::sort(sorted.begin(), sorted.end(), std::greater<>());
        const auto score = outcome_from_scores(scores, RewardMode::Score);
        const auto share = outcome_from_scores(scores, RewardMode::WinShare);
        const auto rank = outcome_from_scores(scores, RewardMode::Rank);
        for (std::size_t k = 0; k < 4; ++k) {
            const auto first = std::find(sorted.begin(), sorted.end(), scores[k]);
            const auto above = static_cast<unsigned>(first - sorted.begin());
            const auto tied = static_cast<unsigned>(std::count(sorted.begin(), sorted.end(), scores[k]));
            EXPECT_EQ(score[k], static_cast<float>(scores[k]));
            EXPECT_EQ(share[k], above == 0 ? 1.0f / static_cast<float>(tied) : 0.0f);
            EXPECT_TRUE(same_bits(rank[k], table_reward(above, tied)))
                << scores[0] << "," << scores[1] << "," << scores[2] << "," << scores[3] << " seat " << k;
        }
    }
}

TEST(Outcome, Ties) {
    const Scores equal{-7, -7, -7, -7};
    EXPECT_EQ(outcome_from_scores(equal, RewardMode::WinShare), (std::array<float, 4>{0.25f, 0.25f, 0.25f, 0.25f}));
    EXPECT_EQ(outcome_from_scores(equal, RewardMode::Rank), (std::array<float, 4>{0.5f, 0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(outcome_from_scores(equal, RewardMode::Score), (std::array<float, 4>{-7.0f, -7.0f, -7.0f, -7.0f}));

    const Scores two_top{-20, 15, -4, 15};
    EXPECT_EQ(outcome_from_scores(two_top, RewardMode::WinShare), (std::array<float, 4>{0.0f, 0.5f, 0.0f, 0.5f}));
    EXPECT_EQ(outcome_from_scores(two_top, RewardMode::Rank),
              (std::array<float, 4>{0.0f, 0.8333334f, 0.33333334f, 0.8333334f}));

    const Scores distinct{15, 20, -1, -5};
    EXPECT_EQ(outcome_from_scores(distinct, RewardMode::WinShare), (std::array<float, 4>{0.0f, 1.0f, 0.0f, 0.0f}));
    EXPECT_EQ(outcome_from_scores(distinct, RewardMode::Rank),
              (std::array<float, 4>{0.6666667f, 1.0f, 0.33333334f, 0.0f}));
}

TEST(Outcome, NegativeScoresCompareAsSigned) {
    const Scores scores{-10, -3, -89, -4};
    EXPECT_EQ(outcome_from_scores(scores, RewardMode::WinShare), (std::array<float, 4>{0.0f, 1.0f, 0.0f, 0.0f}));
    EXPECT_EQ(outcome_from_scores(scores, RewardMode::Rank),
              (std::array<float, 4>{0.33333334f, 1.0f, 0.0f, 0.6666667f}));
    EXPECT_EQ(outcome_from_scores(scores, RewardMode::Score), (std::array<float, 4>{-10.0f, -3.0f, -89.0f, -4.0f}));
}

}  // namespace
}  // namespace game
