#include "players/turn.hpp"

#include "game/fault.hpp"

namespace players {

bool Turn::read(const game::Game& position) {
    moves.clear();
    if (position.is_done(position.seat_to_move())) return false;
    view = position.observe(position.seat_to_move());
    position.observed_moves(view, moves);
    return !moves.empty();
}

void play(game::Game& position, std::optional<GridIndex> action) {
    if (position.step(action)) throw game::Fault("A player offered a move the game refused");
    position.pass_done_seats();
}

}  // namespace players
