#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/interrupt.hpp"
#include "game/game.hpp"
#include "players/player.hpp"

namespace players {

inline constexpr std::size_t NUM_PLAYERS = game::NUM_SEATS;
// Every seat places every piece: the longest game.
inline constexpr std::size_t MAX_PLACEMENTS = game::NUM_SEATS * game::NUM_PIECE_TYPES;

// One finished arena game, by absolute seat.
struct GameRecord {
    std::array<std::uint8_t, game::NUM_SEATS> player{};  // the player in each seat
    std::array<std::int16_t, game::NUM_SEATS> scores{};
    std::array<float, game::NUM_SEATS> win_share{};      // the WinShare outcome
    std::array<float, game::NUM_SEATS> place{};          // 1 (best) to 4; tied seats share the mean of their places
    std::uint16_t plies = 0;
    // The placements in play order, each a grid index in its mover's frame;
    // the first `plies` count. Passes of done seats are not moves.
    std::array<GridIndex, MAX_PLACEMENTS> moves{};
};

// Game g seats player (s + g) mod 4 in seat s, so every four consecutive
// games put every player in every seat once.
constexpr std::size_t player_in_seat(std::uint64_t game_number, std::size_t seat) {
    return static_cast<std::size_t>((seat + game_number) % NUM_PLAYERS);
}

// Plays games first_game .. first_game + records.size() - 1 between the four
// players, writing game first_game + i to records[i], on `threads` threads
// (each with players of its own, made from the settings). Every game starts
// its players from seeds derived from (seed, game number, player), so a
// record depends on those alone: not on the thread count nor on which other
// games are played, and ranges played apart merge exactly. Polls `interrupt`
// between moves and inside searches: once it asks to stop, play ends early
// and the records are incomplete. Each game opens with `openings` random
// placements (opening.hpp), which its record lists with the players' moves.
void play_games(std::span<const PlayerSettings, NUM_PLAYERS> players, std::uint64_t seed,
                std::uint64_t first_game, std::span<GameRecord> records, unsigned threads,
                std::size_t openings, common::Interrupt& interrupt);

}  // namespace players
