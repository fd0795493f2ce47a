#pragma once

#include <cstdint>
#include <span>

#include "game/game.hpp"
#include "players/turn.hpp"

namespace players {

// A random opening: the first placements of a game drawn uniformly from the
// legal ones, before the players take over. Deterministic players (greedy, a
// network's most likely move) otherwise play the same few games over and
// over, so an arena opens each game at random to measure them over many
// different games. Games 4k .. 4k + 3, which rotate one lineup through the
// seats, share their opening, so every player meets it in every seat.

// The seed of game `game_number`'s opening, unrelated to its players' seeds.
std::uint64_t opening_seed(std::uint64_t seed, std::uint64_t game_number);

// Plays up to moves.size() random placements on `position`, drawn from
// `seed`, passing for seats that are done, and writes them to `moves` in play
// order; fewer if the game ends first. Returns the number placed.
std::size_t play_opening(game::Game& position, std::uint64_t seed, std::span<GridIndex> moves);

}  // namespace players
