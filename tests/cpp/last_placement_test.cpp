// The last placement read from a position, against every placement of
// random games, and from their saved states.

#include <gtest/gtest.h>

#include <random>

#include "game/last_placement.hpp"
#include "random_play.hpp"

namespace game {
namespace {

TEST(LastPlacement, IsTheMoveJustPlayedAfterEveryPlacementOfRandomGames) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        Game game;
        EXPECT_EQ(last_placement(game).status, LastPlacement::Status::NoneYet);
        std::vector<std::uint16_t> moves;
        LastPlacement expected;
        while (!game.over()) {
            const std::size_t mover = game.seat_to_move();
            if (!game.is_done(mover)) {
                game.observed_moves(game.observe(mover), moves);
                const std::uint16_t grid =
                    static_cast<std::uint16_t>(game.action_set().actions[moves[rng() % moves.size()]].grid_index);
                ASSERT_FALSE(game.step(grid));
                expected = {LastPlacement::Status::Found, mover, grid};
            } else {
                ASSERT_FALSE(game.step(std::nullopt));  // a pass is no placement
            }
            for (const Game& position : {game, *Game::from_bytes(game.to_bytes())}) {
                const LastPlacement found = last_placement(position);
                ASSERT_EQ(found.status, expected.status);
                ASSERT_EQ(found.seat, expected.seat);
                ASSERT_EQ(found.grid_index, expected.grid_index);
            }
        }
    }
}

TEST(LastPlacement, LoadedCellsWithoutTheRecordedPieceAreUnreadable) {
    Position layout;
    layout.cells[2] = Bitboard::single(cell_index(19, 19)) | Bitboard::single(cell_index(19, 18));
    layout.pieces_in_hand[2] = ALL_PIECES & ~1u;
    layout.last_piece[2] = code(PieceType::I1);  // but the cells hold a domino
    EXPECT_EQ(last_placement(*Game::set_up(layout)).status, LastPlacement::Status::Unreadable);
}

}  // namespace
}  // namespace game
