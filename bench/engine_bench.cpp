// Engine speed figures: the one-off action set build, one mid-game step, and
// random self-play games per second, each printed beside its target.
//
// The build and self-play are timed in this thread's processor time, so that
// other work sharing the core does not count against the engine; a step is
// timed on the wall clock over a batch of copies, and the median over many
// positions drops batches that were interrupted.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "game/actions/legal_placements.hpp"
#include "game/game.hpp"

namespace {

using game::ActionSet;
using game::Game;
using Moves = std::vector<std::uint16_t>;

double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The two ways to list the mover's legal placements. Each returns the grid
// index, in the mover's own frame, of one chosen uniformly among them.

// As Python sees them: the mover's observation, in its own frame.
std::uint64_t observed_random_move(const Game& game, std::mt19937& rng, Moves& moves) {
    game.observed_moves(game.observe(game.seat_to_move()), moves);
    if (moves.empty()) throw game::Fault("A seat that is not done has no legal placement");
    return game.action_set().actions[moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)]].grid_index;
}

// The engine's own walk on the absolute board, as find_first_legal makes it; the
// chosen placement is turned back into the mover's frame by the inverse
// seat map, (4 - k) mod 4.
std::uint64_t absolute_random_move(const Game& game, std::mt19937& rng, Moves& moves) {
    const std::size_t k = game.seat_to_move();
    const game::PlacementMasks masks = game.placement_masks(k);
    game::list_legal_placements(game.action_set(), masks.blocked, masks.corners, game.pieces_in_hand(k), moves);
    if (moves.empty()) throw game::Fault("A seat that is not done has no legal placement");
    const std::uint16_t chosen = moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)];
    const auto& to_own_frame = game.action_set().seat_maps[(game::NUM_SEATS - k) % game::NUM_SEATS];
    return game.action_set().actions[to_own_frame[chosen]].grid_index;
}

using MoveChooser = std::uint64_t (*)(const Game&, std::mt19937&, Moves&);

// Plays one random move for the mover; a done mover passes.
void play_random_move(Game& game, MoveChooser choose, std::mt19937& rng, Moves& moves) {
    std::optional<std::uint64_t> action;
    if (!game.is_done(game.seat_to_move())) action = choose(game, rng, moves);
    if (game.step(action)) throw game::Fault("A listed placement was refused");
}

void bench_build() {
    constexpr int runs = 7;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const double start = cpu_seconds();
        const ActionSet set = ActionSet::build();
        times.push_back(cpu_seconds() - start);
    }
    std::printf("ActionSet::build()                %9.2f ms        median of %d builds (target < 20 ms)\n",
                median(times) * 1e3, runs);
}

// A position at ply 20..40 with the mover not done, and one legal move there.
struct Position {
    Game game;
    std::uint64_t move;
};

std::vector<Position> mid_game_positions(std::size_t count, std::mt19937& rng) {
    std::vector<Position> positions;
    Moves moves;
    while (positions.size() < count) {
        Game game;
        const unsigned stop_at = std::uniform_int_distribution<unsigned>(20, 40)(rng);
        while (game.ply() < stop_at && !game.over()) play_random_move(game, observed_random_move, rng, moves);
        if (game.over() || game.is_done(game.seat_to_move())) continue;
        positions.push_back({game, observed_random_move(game, rng, moves)});
    }
    return positions;
}

void bench_step() {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t num_positions = 2000, copies = 64;
    std::mt19937 rng(12345);
    const std::vector<Position> positions = mid_game_positions(num_positions, rng);
    std::vector<Game> boards(copies);
    std::vector<double> per_step;
    for (const Position& position : positions) {
        std::fill(boards.begin(), boards.end(), position.game);
        const auto start = Clock::now();
        for (Game& board : boards) {
            if (board.step(position.move)) throw game::Fault("A listed placement was refused");
        }
        per_step.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() / copies);
    }
    std::printf("Game::step, mid-game              %9.1f ns        median over %zu positions at ply 20..40 "
                "(target < 1000 ns)\n",
                median(per_step), num_positions);
}

void bench_self_play(const char* label, MoveChooser choose) {
    constexpr double budget_seconds = 2;
    std::mt19937 rng(2024);
    Moves moves;
    std::size_t games = 0, turns = 0;
    const double start = cpu_seconds();
    double elapsed = 0;
    while (elapsed < budget_seconds) {
        Game game;
        for (; !game.over(); ++turns) play_random_move(game, choose, rng, moves);
        ++games;
        elapsed = cpu_seconds() - start;
    }
    std::printf("%-33s %9.0f games/s  %zu games of %.1f turns (target >= 10000)\n", label,
                static_cast<double>(games) / elapsed, games, static_cast<double>(turns) / static_cast<double>(games));
}

// A fixed series of seeded random games through the observed moves, for an
// instruction-count profile (bench/profile_turn); not inlined so that the
// profiler can collect inside it alone, away from the action set build. A
// hash of the final states tells whether two builds play the same games.
[[gnu::noinline]] void play_profiled_games(std::size_t count) {
    std::mt19937 rng(7);
    Moves moves;
    std::size_t turns = 0;
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t n = 0; n < count; ++n) {
        Game game;
        for (; !game.over(); ++turns) play_random_move(game, observed_random_move, rng, moves);
        for (std::uint8_t byte : game.to_bytes()) hash = (hash ^ byte) * 0x100000001b3ULL;
    }
    std::printf("%zu games, %zu turns, final states hash %016llx\n", count, turns, static_cast<unsigned long long>(hash));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--profile-games") {
        (void)ActionSet::get();
        play_profiled_games(std::stoul(argv[2]));
        return 0;
    }
    std::printf("engine benchmark: build and self-play in processor time of one thread, step on the wall clock\n");
    bench_build();
    bench_step();
    bench_self_play("self-play, observed moves", observed_random_move);
    bench_self_play("self-play, absolute walk", absolute_random_move);
}
