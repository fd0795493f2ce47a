#include "players/player.hpp"

#include "game/fault.hpp"
#include "players/simple_players.hpp"
#include "players/mcts_player.hpp"

namespace players {

std::unique_ptr<Player> make_player(const PlayerSettings& settings, std::uint64_t seed) {
    switch (settings.kind) {
        case PlayerKind::Random:
            return std::make_unique<RandomPlayer>(seed);
        case PlayerKind::Greedy:
            return std::make_unique<GreedyPlayer>();
        case PlayerKind::Mcts:
            return std::make_unique<MctsPlayer>(settings.search, seed);
    }
    throw game::Fault("Unknown player kind");
}

}  // namespace players
