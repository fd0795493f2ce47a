// The byte layout of an observation, byte by byte against the observation's
// bit sets, at positions of random games.

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "game/observation_bytes.hpp"
#include "random_play.hpp"

namespace game {
namespace {

TEST(ObservationBytes, EveryByteIsItsCellPieceOrFlag) {
    std::mt19937 rng(3);
    Game game;
    std::array<std::uint8_t, PLANES_SIZE> planes;
    std::array<std::uint8_t, PIECES_SIZE> pieces;
    std::array<std::uint8_t, DONE_SIZE> done;
    for (int turn = 0; !game.over(); ++turn) {
        test_support::play_random_turn(game, rng);
        const Observation view = game.observe(turn % NUM_SEATS);
        planes.fill(7);
        pieces.fill(7);
        done.fill(7);
        write_observation(view, planes.data(), pieces.data(), done.data());
        for (std::size_t k = 0; k < NUM_SEATS; ++k) {
            for (unsigned row = 0; row < BOARD_SIZE; ++row) {
                for (unsigned column = 0; column < BOARD_SIZE; ++column) {
                    const unsigned cell = cell_index(row, column);
                    const std::size_t at = row * BOARD_SIZE + column;
                    ASSERT_EQ(planes[(OCCUPIED_PLANES + k) * PLANE_SIZE + at], view.occupied[k].contains(cell));
                    ASSERT_EQ(planes[(CORNER_PLANES + k) * PLANE_SIZE + at], view.corners[k].contains(cell));
                    ASSERT_EQ(planes[(BLOCKED_PLANES + k) * PLANE_SIZE + at], view.blocked[k].contains(cell));
                }
            }
            for (std::size_t j = 0; j < NUM_PIECE_TYPES; ++j) {
                ASSERT_EQ(pieces[k * NUM_PIECE_TYPES + j], (view.pieces[k] >> j) & 1);
            }
            ASSERT_EQ(done[k], view.done[k]);
        }
    }
}

}  // namespace
}  // namespace game
