// Writes the fuzzer's seed corpus: states of real games, each followed by the
// step bytes of a short continuation, in the input format of state_fuzzer.
// Usage: make_seeds DIR. The random games use a fixed seed, so the files are
// the same on every run.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "game/game.hpp"

namespace {

using game::Game;

// One step in state_fuzzer's encoding: op 2 (the n-th legal move) most of
// the time, now and then a raw grid index (op 0) or no action (op 1).
void append_steps(std::vector<std::uint8_t>& input, std::size_t count, std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t s = 0; s < count; ++s) {
        const int kind = byte(rng) % 8;
        input.push_back(static_cast<std::uint8_t>(kind == 0 ? 0 : kind == 1 ? 1 : 2));
        input.push_back(static_cast<std::uint8_t>(byte(rng)));
        input.push_back(static_cast<std::uint8_t>(byte(rng)));
    }
}

void play_random_turn(Game& game, std::mt19937& rng) {
    std::vector<std::uint16_t> moves;
    game.observed_moves(game.observe(game.seat_to_move()), moves);
    std::optional<std::uint64_t> action;
    if (!moves.empty()) action = game.action_set().actions[moves[rng() % moves.size()]].grid_index;
    if (game.step(action)) {
        std::fprintf(stderr, "a listed move was refused\n");
        std::exit(1);
    }
}

void write_seed(const std::string& directory, const std::string& name, const Game& game, std::mt19937& rng) {
    const game::StateBytes state = game.to_bytes();
    std::vector<std::uint8_t> input(state.begin(), state.end());
    append_steps(input, 16, rng);
    std::ofstream out(directory + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s\n", directory.c_str(), name.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string directory = argv[1];
    std::mt19937 rng(20240611);
    for (int round = 0; round < 2; ++round) {
        Game game;
        unsigned turns = 0;
        for (unsigned stop : {0u, 7u, 21u, 42u, 63u}) {
            while (turns < stop) {
                play_random_turn(game, rng);
                ++turns;
            }
            write_seed(directory, "game" + std::to_string(round) + "-turn" + std::to_string(stop), game, rng);
        }
        while (!game.over()) play_random_turn(game, rng);
        write_seed(directory, "game" + std::to_string(round) + "-over", game, rng);
    }

    // Loaded states need not be playable ones: two colours on the same
    // cells, and a seat whose start cell another colour already holds.
    Game overlap;
    for (int turn = 0; turn < 12; ++turn) play_random_turn(overlap, rng);
    game::Position overlapping = overlap.position();
    overlapping.cells[1] = overlapping.cells[0];
    write_seed(directory, "overlap", *Game::set_up(overlapping), rng);

    game::Position blocked_start;
    blocked_start.cells[0] = game::Bitboard::single(game::START_CELLS[1]);
    blocked_start.pieces_in_hand[0] = game::ALL_PIECES & ~1u;
    blocked_start.last_piece[0] = 1;
    blocked_start.seat_to_move = 1;
    write_seed(directory, "blocked-start", *Game::set_up(blocked_start), rng);
    return 0;
}
