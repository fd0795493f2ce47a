#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "common/interrupt.hpp"
#include "game/game.hpp"
#include "game/scores.hpp"
#include "players/turn.hpp"

namespace players {

// Something that picks moves: given a game, a move for the seat to move.
// A player may keep state between calls (a random stream, a node pool), so
// one player serves one thread at a time.
class Player {
public:
    virtual ~Player() = default;

    // The grid index, in the mover's own frame, of the chosen placement; none
    // when the game is over or the seat to move is done (it can only pass).
    // Players that think for long poll `interrupt`; once it asks to stop,
    // they return at once and what they return means nothing.
    virtual std::optional<GridIndex> choose(const game::Game& position, common::Interrupt& interrupt) = 0;
    std::optional<GridIndex> choose(const game::Game& position) {
        common::Interrupt never;
        return choose(position, never);
    }

    // Restarts the player's random choices from `seed`.
    virtual void reseed(std::uint64_t seed) = 0;

    // Simulations run by the last choose(); 0 for players that do not search.
    virtual std::uint64_t last_simulations() const { return 0; }
};

// The kinds of player, with the names Python gives them.
enum class PlayerKind : std::uint8_t { Random, Greedy, Mcts };
inline constexpr std::array<std::string_view, 3> PLAYER_KIND_NAMES = {"random", "greedy", "mcts"};

// How a tree search plays a position out to its end.
enum class PlayoutPolicy : std::uint8_t { Random, Greedy };
inline constexpr std::array<std::string_view, 2> PLAYOUT_NAMES = {"random", "greedy"};

// The settings of a tree search; see mcts_player.hpp for their use. The
// defaults here are the defaults everywhere.
struct SearchSettings {
    // The bounds a setting may take.
    static constexpr double MAX_SECONDS = 86400;        // one day a move
    static constexpr std::uint32_t MAX_THREADS = 256;
    static constexpr std::uint32_t MIN_NODES = 1024;    // room for the root's children

    std::uint32_t simulations = 1000;    // per move, over all threads, unless `seconds` is set
    double seconds = 0;                  // > 0: a time budget per move instead
    std::uint32_t threads = 1;           // independent trees whose root statistics are summed
    PlayoutPolicy playout = PlayoutPolicy::Random;
    game::RewardMode reward = game::RewardMode::Rank;
    double exploration = 1.0;            // the UCB1 constant
    double widening = 2.0;               // > 0: a node with n visits considers ~widening * sqrt(n) children
    std::uint32_t max_nodes = 1u << 22;  // per tree; a full pool stops growing the tree, not the search
};

// Everything needed to build a player, so that arena threads can make their
// own players of the same kind.
struct PlayerSettings {
    PlayerKind kind = PlayerKind::Random;
    SearchSettings search;
};

// A new player; `seed` seeds its random choices (the greedy player has none).
std::unique_ptr<Player> make_player(const PlayerSettings& settings, std::uint64_t seed);

}  // namespace players
