// Engine speed figures: the one-off action set build, one mid-game step, and
// random self-play games per second, each printed beside its target.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <random>
#include <vector>

#include "game/game.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using game::ActionSet;
using game::Game;

double nanoseconds_since(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// A grid index, in the mover's own frame, chosen uniformly among the
// mover's legal placements as its observation lists them.
std::uint64_t random_move(const Game& game, std::mt19937& rng, std::vector<std::uint16_t>& moves) {
    game.observed_moves(game.observe(game.current), moves);
    if (moves.empty()) throw game::Fault("A seat that is not done has no legal placement");
    return game.actions->actions[moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)]].grid_index;
}

// Plays one move, chosen uniformly among the mover's legal placements; a
// done mover passes.
void play_random_move(Game& game, std::mt19937& rng, std::vector<std::uint16_t>& moves) {
    std::optional<std::uint64_t> action;
    if (!game.agents[game.current].done) action = random_move(game, rng, moves);
    if (game.step(action)) throw game::Fault("A listed placement was refused");
}

void bench_build() {
    constexpr int runs = 7;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const ActionSet set = ActionSet::build();
        times.push_back(nanoseconds_since(start));
    }
    std::printf("ActionSet::build()      %10.2f ms         median of %d builds      (target < 20 ms)\n",
                median(times) / 1e6, runs);
}

// A position at ply 20..40 with the mover not done, and one legal move there.
struct Position {
    Game game;
    std::uint64_t move;
};

std::vector<Position> mid_game_positions(std::size_t count, std::mt19937& rng) {
    std::vector<Position> positions;
    std::vector<std::uint16_t> moves;
    while (positions.size() < count) {
        Game game;
        const unsigned stop_at = std::uniform_int_distribution<unsigned>(20, 40)(rng);
        while (game.ply() < stop_at && !game.over()) play_random_move(game, rng, moves);
        if (game.over() || game.agents[game.current].done) continue;
        positions.push_back({game, random_move(game, rng, moves)});
    }
    return positions;
}

void bench_step() {
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
        per_step.push_back(nanoseconds_since(start) / copies);
    }
    std::printf("Game::step (mid-game)   %10.1f ns         median over %zu positions at ply 20..40 (target < 1000 ns)\n",
                median(per_step), num_positions);
}

// Timed in processor time, so that other work sharing the core does not
// count against the engine.
void bench_self_play() {
    constexpr double budget_s = 3;
    std::mt19937 rng(2024);
    std::vector<std::uint16_t> moves;
    moves.reserve(game::NUM_GRID_POSITIONS);
    std::size_t games = 0, turns = 0;
    const std::clock_t start = std::clock();
    double elapsed = 0;
    while (elapsed < budget_s) {
        Game game;
        while (!game.over()) {
            play_random_move(game, rng, moves);
            ++turns;
        }
        ++games;
        elapsed = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    }
    std::printf("random self-play        %10.0f games/s    %zu games, %.1f turns each, one core, CPU time (target >= 5000)\n",
                static_cast<double>(games) / elapsed, games, static_cast<double>(turns) / static_cast<double>(games));
}

}  // namespace

int main() {
    bench_build();
    bench_step();
    bench_self_play();
}
