// Player and arena speed: arena games per second on two threads, and tree
// search simulations (each one playout) per second of one thread, each
// printed beside random self-play through the same engine calls in the same
// run, the baseline that the machine's load affects alike. Then the tree
// search's strength: its win share against three greedy players, with a
// digest of every move played, so that two builds of the same search can be
// seen to play the very same games.
//
// Single-thread figures are in this thread's processor time. Arena runs are
// timed on the wall clock and in the processor time of the whole process:
// on a busy machine the wall clock counts time spent waiting for a core,
// and processor time / 2 is what two idle cores would take.

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "players/arena.hpp"
#include "players/simple_players.hpp"
#include "players/mcts_player.hpp"

namespace {

using players::PlayerKind;
using players::PlayerSettings;

double cpu_seconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Random games played by one RandomPlayer per seat in this thread: the
// baseline for both other figures. Returns games per second.
double bench_baseline() {
    players::RandomPlayer player(7);
    std::size_t games = 0;
    const double start = cpu_seconds();
    double elapsed = 0;
    while (elapsed < 2) {
        game::Game position;
        while (!position.over()) players::play(position, player.choose(position));
        ++games;
        elapsed = cpu_seconds() - start;
    }
    const double rate = static_cast<double>(games) / elapsed;
    std::printf("baseline: random self-play, 1 thread   %8.0f games/s\n", rate);
    return rate;
}

void bench_arena(const char* label, const std::array<PlayerKind, 4>& kinds, double baseline) {
    constexpr std::size_t games = 10000;
    constexpr unsigned threads = 2;
    std::array<PlayerSettings, 4> lineup;
    for (std::size_t p = 0; p < 4; ++p) lineup[p].kind = kinds[p];
    std::vector<players::GameRecord> records(games);
    const auto start = std::chrono::steady_clock::now();
    const double start_cpu = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
    common::Interrupt never;
    players::play_games(lineup, 1, 0, records, threads, 0, never);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - start_cpu;
    std::printf("arena %-24s %zu games on %u threads: %6.2f s wall, %6.2f s processor (target < 10 s on 2 "
                "cores: < 20 s processor), %5.0f games per processor second = %.2f x baseline\n",
                label, games, threads, seconds, cpu, games / cpu, games / cpu / baseline);
}

// A position `plies` placements into a random game.
game::Game opening(unsigned plies) {
    players::RandomPlayer player(11);
    game::Game position;
    while (position.ply() < plies && !position.over()) players::play(position, player.choose(position));
    return position;
}

void bench_search(const char* label, players::PlayoutPolicy playout, unsigned plies, double baseline) {
    players::SearchSettings settings;
    settings.simulations = 2000;
    settings.playout = playout;
    players::MctsPlayer player(settings, 3);
    const game::Game position = opening(plies);
    const double start = cpu_seconds();
    std::uint64_t simulations = 0;
    for (int move = 0; move < 3; ++move) {
        player.choose(position);
        simulations += player.last_simulations();
    }
    const double rate = static_cast<double>(simulations) / (cpu_seconds() - start);
    std::printf("search, %-13s playouts from ply %2u %8.0f simulations/s per thread (target >= 5000), "
                "%.2f x baseline games/s\n",
                label, plies, rate, rate / baseline);
}

// `games` games of one `mcts:simulations` player against three greedy ones,
// seats rotated; `games` = 0 skips it.
void bench_strength(std::uint32_t simulations, std::size_t games) {
    if (games == 0) return;
    std::array<PlayerSettings, 4> lineup;
    lineup[0].kind = PlayerKind::Mcts;
    lineup[0].search.simulations = simulations;
    for (std::size_t p = 1; p < 4; ++p) lineup[p].kind = PlayerKind::Greedy;
    std::vector<players::GameRecord> records(games);
    common::Interrupt never;
    const double start_cpu = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
    players::play_games(lineup, 17, 0, records, 2, 0, never);
    const double cpu = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - start_cpu;
    double share = 0;
    std::uint64_t digest = 1469598103934665603ull;
    for (const players::GameRecord& record : records) {
        for (std::size_t s = 0; s < 4; ++s) {
            if (record.player[s] == 0) share += record.win_share[s];
        }
        for (std::size_t m = 0; m < record.plies; ++m) digest = (digest ^ record.moves[m]) * 1099511628211ull;
    }
    std::printf("strength: mcts:%u against 3 greedy, %zu games: win share %.3f (0.25 is even), %.1f ms processor "
                "per game, move digest %016llx\n",
                simulations, games, share / static_cast<double>(games), cpu * 1e3 / static_cast<double>(games),
                static_cast<unsigned long long>(digest));
}

}  // namespace

int main(int argc, char** argv) {
    // An argument: games of the strength check (default 0, skipped).
    const std::size_t strength_games = argc > 1 ? static_cast<std::size_t>(std::atol(argv[1])) : 0;
    const double baseline = bench_baseline();
    bench_arena("random x4", {PlayerKind::Random, PlayerKind::Random, PlayerKind::Random, PlayerKind::Random},
                baseline);
    bench_arena("greedy x2 + random x2",
                {PlayerKind::Greedy, PlayerKind::Greedy, PlayerKind::Random, PlayerKind::Random}, baseline);
    bench_arena("greedy x4", {PlayerKind::Greedy, PlayerKind::Greedy, PlayerKind::Greedy, PlayerKind::Greedy},
                baseline);
    for (unsigned plies : {0u, 20u, 40u}) bench_search("random", players::PlayoutPolicy::Random, plies, baseline);
    bench_search("greedy", players::PlayoutPolicy::Greedy, 20, baseline);
    bench_strength(1000, strength_games);
}
