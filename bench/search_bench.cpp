// The batched tree search without a network: processor time per simulation
// of the tree work (selection, writing each leaf's observation and legal
// moves, expansion, backup, choosing and playing the moves), with the
// uniform evaluator behind it, beside the cost of writing one leaf alone in
// the same run (the floor the leaves' buffers put under it). Then how full
// the evaluation calls are: mean leaves per call against the leaves asked
// for (games x leaves per round).
//
//     search_bench [games] [simulations] [moves]

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "batch/slot_writer.hpp"
#include "players/simple_players.hpp"
#include "players/uniform_evaluator.hpp"
#include "search/search_batch.hpp"

namespace {

double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Microseconds to write one position's observation and legal moves, over
// positions from random games at every stage.
double bench_leaf_write() {
    players::RandomPlayer player(5);
    std::vector<game::Game> positions;
    while (positions.size() < 512) {
        game::Game position;
        while (!position.over()) {
            positions.push_back(position);
            players::play(position, player.choose(position));
        }
    }
    const std::vector<std::uint16_t> grid = batch::grid_indices(game::ActionSet::get());
    batch::Buffers buffers(1, grid.size(), false);
    std::vector<std::uint16_t> moves;
    moves.reserve(grid.size());
    std::size_t written = 0;
    const double start = cpu_seconds();
    while (cpu_seconds() - start < 1) {
        for (const game::Game& position : positions) batch::write_slot(position, buffers, 0, grid, moves);
        written += positions.size();
    }
    const double micros = (cpu_seconds() - start) * 1e6 / static_cast<double>(written);
    std::printf("baseline: one leaf's observation and legal moves written, positions of random games: %.2f us\n",
                micros);
    return micros;
}

// Moves searched before the clock starts, while the trees' pools grow.
constexpr int WARM_UP_MOVES = 2;

void bench_search(std::size_t games, std::uint32_t simulations, std::uint32_t leaves, int moves, double leaf_micros) {
    search::SearchConfig config;
    config.games = games;
    config.simulations = simulations;
    config.leaves = leaves;
    search::SearchBatch batch(config);
    players::UniformEvaluator uniform;
    players::Evaluator* evaluators[] = {&uniform};
    common::Interrupt never;
    std::uint64_t calls = 0, simulated = 0, evaluated = 0, requested = 0;
    std::vector<std::uint32_t> before(games);
    double start = cpu_seconds();
    for (int move = -WARM_UP_MOVES; move < moves; ++move) {
        if (move == 0) {  // the pools have grown: from here on the search is as it stays
            start = cpu_seconds();
            calls = simulated = 0;
            evaluated = batch.evaluated_rows();
            requested = batch.requested_rows();
        }
        for (std::size_t g = 0; g < games; ++g) before[g] = batch.tree(g).simulations();
        while (batch.select(never) > 0) {
            batch.evaluate_with(evaluators, never);
            ++calls;
        }
        for (std::size_t g = 0; g < games; ++g) simulated += batch.tree(g).simulations() - before[g];
        if (batch.step(batch.moves(), never)) std::abort();
    }
    const double seconds = cpu_seconds() - start;
    const double per_simulation = seconds * 1e6 / static_cast<double>(simulated);
    const double per_call = static_cast<double>(batch.evaluated_rows() - evaluated) / static_cast<double>(calls);
    std::printf("search: %zu games x %u simulations a move, %2u leaves a round, %d moves after %d: %.2f us processor per "
                "simulation (target <= 3; %.2f x one leaf's writing), %.1f leaves per call of %zu asked = %.3f "
                "(target >= 0.9); against what the trees could take: %.3f\n",
                games, simulations, leaves, moves, WARM_UP_MOVES, per_simulation, per_simulation / leaf_micros, per_call,
                games * leaves, per_call / static_cast<double>(games * leaves),
                static_cast<double>(batch.evaluated_rows() - evaluated) /
                    static_cast<double>(batch.requested_rows() - requested));
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t games = argc > 1 ? static_cast<std::size_t>(std::atol(argv[1])) : 256;
    const auto simulations = static_cast<std::uint32_t>(argc > 2 ? std::atol(argv[2]) : 64);
    const int moves = argc > 3 ? std::atoi(argv[3]) : 8;
    const double leaf_micros = bench_leaf_write();
    for (std::uint32_t leaves : {1u, 8u, 16u}) bench_search(games, simulations, leaves, moves, leaf_micros);
}
