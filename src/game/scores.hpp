#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "game/actions/action_set.hpp"

namespace game {

// How four final scores become four rewards. The value is the mode's code.
//   Score:    the score itself.
//   WinShare: the agents sharing the top score split 1.0; the rest get 0.0.
//   Rank:     place p (0 best .. 3 worst) is worth (3 - p) / 3; tied agents
//             get the mean worth of the places they share.
enum class RewardMode : std::uint8_t { Score = 0, WinShare = 1, Rank = 2 };

// The range of a score: every piece still in hand, and every piece placed
// with the monomino last.
inline constexpr std::int16_t LOWEST_SCORE = -89;
inline constexpr std::int16_t HIGHEST_SCORE = 20;

// Mode names by code, the names Python uses.
inline constexpr std::array<std::string_view, 3> REWARD_MODE_NAMES = {"score", "win_share", "rank"};

// The mode named exactly `name` (case-sensitive, untrimmed); none otherwise.
std::optional<RewardMode> reward_mode_from_name(std::string_view name);

// Seat-order rewards for seat-order scores. Each is computed in 32-bit float
// arithmetic in a fixed order, so results are reproducible bit for bit.
std::array<float, NUM_SEATS> outcome_from_scores(const std::array<std::int16_t, NUM_SEATS>& scores,
                                                 RewardMode mode);

}  // namespace game
