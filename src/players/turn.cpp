#include "players/turn.hpp"

#include "game/fault.hpp"

namespace players {

bool Turn::read(const game::Game& position) {
    moves.clear();
    if (position.over() || position.agents[position.current].done) return false;
    view = position.observe(position.current);
    position.observed_moves(view, moves);
    return !moves.empty();
}

void play(game::Game& position, std::optional<GridIndex> action) {
    if (position.step(action)) throw game::Fault("A player offered a move the game refused");
    while (!position.over() && position.agents[position.current].done) {
        if (position.step(std::nullopt)) throw game::Fault("A done seat could not pass");
    }
}

}  // namespace players
