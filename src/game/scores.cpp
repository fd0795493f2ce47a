#include "game/scores.hpp"

#include "game/game.hpp"

namespace game {

namespace {

constexpr std::int16_t ALL_PLACED_SCORE = 15;

std::int16_t score_of(std::uint32_t pieces_in_hand, std::uint8_t last_piece) {
    unsigned held = 0;
    for (PieceType t : ALL_PIECE_TYPES) {
        if ((pieces_in_hand >> catalogue_index(t) & 1) != 0) held += cell_count(t);
    }
    if (held != 0) return static_cast<std::int16_t>(-static_cast<int>(held));
    return last_piece == code(PieceType::I1) ? HIGHEST_SCORE : ALL_PLACED_SCORE;
}

static_assert(-LOWEST_SCORE == [] {
    int cells = 0;
    for (PieceType t : ALL_PIECE_TYPES) cells += static_cast<int>(cell_count(t));
    return cells;
}(), "the lowest score is every cell of every piece in hand");

// The mean worth of places t .. t + m - 1, summed term by term in that
// order and divided last, all in float.
float rank_reward(unsigned above, unsigned tied) {
    float sum = 0.0f;
    for (unsigned j = 0; j < tied; ++j) {
        sum += static_cast<float>(3 - static_cast<int>(above + j)) / 3.0f;
    }
    return sum / static_cast<float>(tied);
}

}  // namespace

std::optional<RewardMode> reward_mode_from_name(std::string_view name) {
    for (std::size_t i = 0; i < REWARD_MODE_NAMES.size(); ++i) {
        if (REWARD_MODE_NAMES[i] == name) return static_cast<RewardMode>(i);
    }
    return std::nullopt;
}

std::array<std::int16_t, NUM_SEATS> Game::scores() const {
    std::array<std::int16_t, NUM_SEATS> out{};
    for (std::size_t k = 0; k < NUM_SEATS; ++k) out[k] = score_of(seats_[k].remaining, seats_[k].last_piece);
    return out;
}

std::array<float, NUM_SEATS> outcome_from_scores(const std::array<std::int16_t, NUM_SEATS>& scores,
                                                 RewardMode mode) {
    std::array<float, NUM_SEATS> rewards{};
    for (std::size_t k = 0; k < NUM_SEATS; ++k) {
        const std::int16_t x = scores[k];
        unsigned above = 0, tied = 0;
        for (std::int16_t other : scores) {
            above += other > x;
            tied += other == x;
        }
        switch (mode) {
            case RewardMode::Score:
                rewards[k] = static_cast<float>(x);
                break;
            case RewardMode::WinShare:
                rewards[k] = above > 0 ? 0.0f : 1.0f / static_cast<float>(tied);
                break;
            case RewardMode::Rank:
                rewards[k] = rank_reward(above, tied);
                break;
        }
    }
    return rewards;
}

}  // namespace game
