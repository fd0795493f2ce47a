#include "players/opening.hpp"

#include "common/random_stream.hpp"
#include "players/arena.hpp"

namespace players {

std::uint64_t opening_seed(std::uint64_t seed, std::uint64_t game_number) {
    // The first game of the four is seeded like any game, and its players
    // draw streams 0 to NUM_PLAYERS - 1 from that seed: the opening takes the next.
    const std::uint64_t first_of_four = common::derive_seed(seed, game_number / NUM_PLAYERS);
    return common::derive_seed(first_of_four, NUM_PLAYERS);
}

std::size_t play_opening(game::Game& position, std::uint64_t seed, std::span<GridIndex> moves) {
    common::RandomStream stream(seed);
    Turn turn;
    std::size_t placed = 0;
    position.pass_done_seats();
    while (placed < moves.size() && turn.read(position)) {
        const GridIndex move = turn.grid_index(position, stream.below(static_cast<std::uint32_t>(turn.moves.size())));
        play(position, move);
        moves[placed++] = move;
    }
    return placed;
}

}  // namespace players
