// libFuzzer target: a game state from untrusted bytes, then a short game.
//
// Input: the first 278 bytes go to Game::from_bytes unchanged; every further
// 3 bytes [op, lo, hi] are one step (see `next_action`). Every accepted state
// and every state reached by a step must keep the engine's invariants; a
// broken one aborts with a message, which libFuzzer reports as a crash.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <span>
#include <vector>

#include "game/game.hpp"

namespace {

using game::Game;

constexpr std::size_t MAX_STEPS = 32;
constexpr std::size_t STEP_BYTES = 3;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void check(bool holds, const char* what) {
    if (!holds) fail(what);
}

// Holds in every state that from_bytes accepts or that play reaches from one.
void check_state(const Game& game) {
    check(game.seat_to_move() < game::NUM_SEATS, "current seat out of range");
    check(&game.action_set() == &game::ActionSet::get(), "game lost the shared action set");
    std::vector<std::uint16_t> moves;
    for (std::size_t k = 0; k < game::NUM_SEATS; ++k) {
        check(game.cells(k) - game::BOARD_MASK == game::Bitboard{}, "cells outside the board");
        check(game.pieces_in_hand(k) <= game::ALL_PIECES, "piece bit above 20");
        check(game.placed(k) == game::NUM_PIECE_TYPES - static_cast<std::size_t>(std::popcount(game.pieces_in_hand(k))),
              "placed disagrees with the pieces in hand");

        const game::Observation seen = game.observe(k);
        check(seen.pieces[0] == game.pieces_in_hand(k) && seen.done[0] == game.is_done(k), "observer's own seat misread");
        check(seen.occupied[0].count() == game.cells(k).count(), "turning the board lost cells");
        game.observed_moves(seen, moves);
        // The first-legal search and the move listing are separate searches: they must agree.
        check(game.is_done(k) == moves.empty(), "done flag disagrees with the legal move list");
    }
    const std::optional<Game> again = Game::set_up(game.position());
    check(again.has_value() && *again == game, "rebuilding the derived state changed a settled state");
    const std::optional<Game> reloaded = Game::from_bytes(game.to_bytes());
    check(reloaded.has_value() && *reloaded == game, "state does not survive to_bytes and from_bytes");
    (void)game.scores();
    (void)game.text();
}

// op % 4: 0 a raw 16-bit grid index (mostly refused, 36400 and up included),
// 1 no action, 2 and 3 the (lo, hi)-th legal move of the seat to move, or no
// action when it has none.
std::optional<std::uint64_t> next_action(const Game& game, const std::uint8_t* bytes) {
    const std::uint64_t value = bytes[1] | (std::uint64_t{bytes[2]} << 8);
    switch (bytes[0] % 4) {
        case 0:
            return value;
        case 1:
            return std::nullopt;
        default: {
            std::vector<std::uint16_t> moves;
            game.observed_moves(game.observe(game.seat_to_move()), moves);
            if (moves.empty()) return std::nullopt;
            return game.action_set().actions[moves[value % moves.size()]].grid_index;
        }
    }
}

void play(Game game, std::span<const std::uint8_t> steps) {
    for (std::size_t s = 0; s < MAX_STEPS && steps.size() >= STEP_BYTES; ++s, steps = steps.subspan(STEP_BYTES)) {
        const Game before = game;
        const bool listed = steps[0] % 4 >= 2;
        const std::optional<std::uint64_t> action = next_action(game, steps.data());
        const bool mover_done = game.is_done(game.seat_to_move());
        if (game.step(action)) {
            check(game == before, "a refused step changed the game");
            check(!mover_done, "a done seat's pass was refused");
            check(!(listed && action), "a listed legal move was refused");
            continue;
        }
        check(game.seat_to_move() == (before.seat_to_move() + 1) % game::NUM_SEATS, "turn did not pass to the next seat");
        if (mover_done) {
            game::Position passed = before.position();
            passed.seat_to_move = game.seat_to_move();
            check(game == *Game::set_up(passed), "a pass changed more than the seat to move");
        } else {
            check(game.ply() == before.ply() + 1, "a placement did not add one to ply");
        }
        check_state(game);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const std::size_t state_size = std::min(size, game::STATE_SIZE);
    try {
        const std::optional<Game> loaded = Game::from_bytes(input.first(state_size));
        if (!loaded) return 0;
        const game::StateBytes written = loaded->to_bytes();
        check(std::equal(written.begin(), written.end(), data), "to_bytes differs from the accepted input");
        check_state(*loaded);
        play(*loaded, input.subspan(state_size));
    } catch (const std::exception& fault) {
        fail(fault.what());
    }
    return 0;
}
