#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "game/game.hpp"
#include "random_play.hpp"
#include "reference.hpp"

namespace game {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t BLOCK = 69;
constexpr std::uint8_t CODES[] = {1, 2, 3, 9, 10, 16, 22, 28, 34, 35, 41, 47, 53, 59, 65, 71, 77, 83, 89, 95, 101};

std::size_t cells_at(std::size_t agent) { return 1 + BLOCK * agent; }
std::size_t remaining_at(std::size_t agent) { return cells_at(agent) + 64; }
std::size_t last_piece_at(std::size_t agent) { return cells_at(agent) + 68; }

Bytes bytes_of(const Game& g) {
    const StateBytes b = g.to_bytes();
    return Bytes(b.begin(), b.end());
}

std::optional<Game> load(const Bytes& bytes) { return Game::from_bytes(bytes); }

// Cell index held by bit t of byte j of an agent's 64 cell bytes.
unsigned cell_of_bit(std::size_t j, unsigned t) { return static_cast<unsigned>((3 - j / 16) * 128 + (j % 16) * 8 + t); }

void set_cell(Bytes& bytes, std::size_t agent, unsigned cell) {
    const std::size_t j = (3 - cell / 128) * 16 + (cell % 128) / 8;
    bytes[cells_at(agent) + j] |= static_cast<std::uint8_t>(1u << (cell % 8));
}

void set_remaining(Bytes& bytes, std::size_t agent, std::uint32_t remaining) {
    for (std::size_t j = 0; j < 4; ++j) bytes[remaining_at(agent) + j] = static_cast<std::uint8_t>(remaining >> (8 * j));
}

// The format's acceptance rule, read straight off the byte layout.
bool valid_state(const Bytes& bytes) {
    if (bytes.size() != 278 || bytes[0] != 1 || bytes[277] > 3) return false;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::uint8_t last = bytes[last_piece_at(k)];
        if (last != 0 && std::find(std::begin(CODES), std::end(CODES), last) == std::end(CODES)) return false;
        for (std::size_t j = 0; j < 64; ++j) {
            for (unsigned t = 0; t < 8; ++t) {
                if ((bytes[cells_at(k) + j] >> t & 1) == 0) continue;
                const unsigned cell = cell_of_bit(j, t);
                if (cell / 21 >= 20 || cell % 21 == 20) return false;
            }
        }
        if (bytes[remaining_at(k) + 3] != 0 || bytes[remaining_at(k) + 2] > 0x1F) return false;
    }
    return true;
}

// A position from the middle of a real game.
Game mid_game(unsigned seed, int turns) {
    std::mt19937 rng(seed);
    Game g;
    for (int n = 0; n < turns && !g.over(); ++n) test_support::play_random_turn(g, rng);
    return g;
}

TEST(StateBytes, FreshGame) {
    Bytes expected{1};
    for (int k = 0; k < 4; ++k) {
        expected.insert(expected.end(), 64, 0);
        expected.insert(expected.end(), {0xFF, 0xFF, 0x1F, 0x00, 0x00});
    }
    expected.push_back(0);
    EXPECT_EQ(bytes_of(Game()), expected);
}

TEST(StateBytes, AfterAgentZeroPlacesTheMonomino) {
    Game g;
    ASSERT_FALSE(g.step(0));
    const Bytes b = bytes_of(g);
    for (std::size_t i = 1; i <= 64; ++i) EXPECT_EQ(b[i], i == 49 ? 0x01 : 0x00) << i;
    EXPECT_EQ(Bytes(b.begin() + 65, b.begin() + 69), (Bytes{0xFE, 0xFF, 0x1F, 0x00}));
    EXPECT_EQ(b[69], 0x01);
    EXPECT_EQ(b[277], 0x01);
    const Bytes fresh = bytes_of(Game());
    EXPECT_EQ(Bytes(b.begin() + 70, b.begin() + 277), Bytes(fresh.begin() + 70, fresh.begin() + 277));
}

TEST(StateBytes, RoundTripsEveryPositionOfRandomGames) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        Game g;
        for (int turn = 0; turn < 400 && !g.over(); ++turn) {
            test_support::play_random_turn(g, rng);
            const auto restored = load(bytes_of(g));
            ASSERT_TRUE(restored) << "seed " << seed << " turn " << turn;
            ASSERT_EQ(*restored, g) << "seed " << seed << " turn " << turn;
            ASSERT_EQ(restored->ply(), g.ply());
        }
        ASSERT_TRUE(g.over());
        const auto restored = load(bytes_of(g));
        ASSERT_TRUE(restored && restored->over());
    }
}

TEST(StateBytes, RejectsWrongLengthOrVersion) {
    const Bytes good = bytes_of(mid_game(3, 30));
    ASSERT_TRUE(load(good));
    EXPECT_FALSE(load(Bytes(good.begin(), good.end() - 1)));
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(load(longer));
    EXPECT_FALSE(load(Bytes{}));
    EXPECT_FALSE(load(Bytes{1}));
    EXPECT_FALSE(Game::from_bytes(std::span<const std::uint8_t>()));
    for (std::uint8_t version : {0, 2, 255}) {
        Bytes b = good;
        b[0] = version;
        EXPECT_FALSE(load(b)) << int(version);
    }
}

TEST(StateBytes, SeatToMove) {
    Bytes b = bytes_of(Game());
    b[277] = 3;
    const auto g = load(b);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->seat_to_move(), 3u);
    for (int seat = 4; seat < 256; ++seat) {
        b[277] = static_cast<std::uint8_t>(seat);
        EXPECT_FALSE(load(b)) << seat;
    }
}

TEST(StateBytes, LastPieceMustBeNoneOrACode) {
    const Bytes good = bytes_of(mid_game(5, 12));
    for (std::size_t k = 0; k < 4; ++k) {
        for (int byte = 0; byte < 256; ++byte) {
            Bytes b = good;
            b[last_piece_at(k)] = static_cast<std::uint8_t>(byte);
            const bool is_code = byte == 0 || std::find(std::begin(CODES), std::end(CODES), byte) != std::end(CODES);
            const auto g = load(b);
            ASSERT_EQ(g.has_value(), is_code) << "agent " << k << " byte " << byte;
            if (g) EXPECT_EQ(g->last_piece(k), byte);
        }
    }
    for (std::uint8_t bad : {4, 5, 8, 102}) {
        Bytes b = good;
        b[last_piece_at(0)] = bad;
        EXPECT_FALSE(load(b)) << int(bad);
    }
}

TEST(StateBytes, CellsMustBeBoardCells) {
    const Bytes good = bytes_of(Game());
    Bytes padding = good;
    set_cell(padding, 0, 20);
    EXPECT_FALSE(load(padding));
    for (std::size_t i = 9; i <= 16; ++i) {
        for (unsigned t = 0; t < 8; ++t) {
            Bytes b = good;
            b[i] = static_cast<std::uint8_t>(1u << t);
            EXPECT_FALSE(load(b)) << "byte " << i << " bit " << t;
        }
    }
    // Every one of the 512 bits of every agent, alone.
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t j = 0; j < 64; ++j) {
            for (unsigned t = 0; t < 8; ++t) {
                const unsigned cell = cell_of_bit(j, t);
                const bool on_board = cell < 420 && cell % 21 != 20;
                Bytes b = good;
                b[cells_at(k) + j] = static_cast<std::uint8_t>(1u << t);
                const auto g = load(b);
                ASSERT_EQ(g.has_value(), on_board) << "agent " << k << " cell " << cell;
                if (g) EXPECT_EQ(g->cells(k), Bitboard::single(cell));
            }
        }
    }
}

TEST(StateBytes, RemainingHoldsTwentyOnePieces) {
    Bytes b = bytes_of(Game());
    set_remaining(b, 2, 0x1FFFFF);
    EXPECT_TRUE(load(b));
    set_remaining(b, 2, 0x200000);
    EXPECT_FALSE(load(b));
    for (unsigned bit = 21; bit < 32; ++bit) {
        set_remaining(b, 2, 0x1FFFFF | 1u << bit);
        EXPECT_FALSE(load(b)) << bit;
    }
}

TEST(StateBytes, PlacedIsRecomputedFromRemaining) {
    Bytes b = bytes_of(Game());
    set_remaining(b, 0, 0);
    set_remaining(b, 1, 0x100001);
    set_remaining(b, 3, 0x0F0F0F);
    const auto g = load(b);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->placed(0), 21);
    EXPECT_EQ(g->placed(1), 19);
    EXPECT_EQ(g->placed(2), 0);
    EXPECT_EQ(g->placed(3), 9);
    EXPECT_TRUE(g->is_done(0));  // nothing left in hand
    EXPECT_EQ(g->ply(), 49u);
}

// Random corruptions of real states: the reader accepts exactly what the
// layout allows, an accepted state writes back to the same bytes, and its
// done flags agree with the slow rules.
TEST(StateBytes, MutatedStatesAreJudgedByTheLayout) {
    std::mt19937 rng(11);
    int accepted = 0, rejected = 0, checked_done = 0;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const Bytes base = bytes_of(mid_game(seed, 10 * static_cast<int>(seed)));
        for (int n = 0; n < 300; ++n) {
            Bytes b = base;
            const int flips = 1 + static_cast<int>(rng() % 3);
            for (int f = 0; f < flips; ++f) {
                const std::size_t at = rng() % b.size();
                b[at] = rng() % 2 ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>(b[at] ^ (1u << (rng() % 8)));
            }
            const auto g = load(b);
            ASSERT_EQ(g.has_value(), valid_state(b)) << "mutation " << n << " of seed " << seed;
            if (!g) {
                ++rejected;
                continue;
            }
            ++accepted;
            ASSERT_EQ(bytes_of(*g), b);
            for (std::size_t k = 0; k < 4; ++k) {
                ASSERT_EQ(g->placed(k), 21 - __builtin_popcount(g->pieces_in_hand(k)));
            }
            if (n % 25 == 0) {
                ++checked_done;
                for (std::size_t k = 0; k < 4; ++k) {
                    EXPECT_EQ(g->is_done(k), reference::legal_grid_indices(*g, k).empty()) << k;
                }
            }
        }
    }
    EXPECT_GT(accepted, 300);
    EXPECT_GT(rejected, 300);
    EXPECT_GT(checked_done, 10);
}

TEST(StateBytes, OverlappingCellsLoad) {
    Bytes b = bytes_of(Game());
    for (std::size_t k = 0; k < 4; ++k) set_cell(b, k, cell_index(5, 5));
    const auto g = load(b);
    ASSERT_TRUE(g);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_TRUE(g->cells(k).contains(cell_index(5, 5)));
}

TEST(StateBytes, PositionWithoutMovesIsOverAtOnce) {
    Bytes b = bytes_of(Game());
    for (unsigned r = 0; r < 20; ++r) {
        for (unsigned c = 0; c < 20; ++c) set_cell(b, 0, cell_index(r, c));
    }
    b[277] = 2;
    auto g = load(b);
    ASSERT_TRUE(g);
    EXPECT_TRUE(g->over());
    const Game before = *g;
    for (std::size_t n = 0; n < 4; ++n) ASSERT_FALSE(g->step(std::nullopt));
    EXPECT_EQ(*g, before);
}

TEST(StateBytes, LoadedDoneSeatToMovePasses) {
    // Agent 0 covers agent 1's start cell: agent 1 can never place.
    Bytes b = bytes_of(Game());
    set_cell(b, 0, cell_index(0, 0));
    set_cell(b, 0, cell_index(0, 19));
    b[277] = 1;
    auto g = load(b);
    ASSERT_TRUE(g);
    EXPECT_FALSE(g->is_done(0));
    EXPECT_TRUE(g->is_done(1));
    EXPECT_FALSE(g->is_done(2));
    EXPECT_FALSE(g->over());
    Position layout = g->position();
    layout.seat_to_move = 2;
    const Game expected = *Game::set_up(layout);
    ASSERT_FALSE(g->step(std::nullopt));
    EXPECT_EQ(*g, expected);
}

}  // namespace
}  // namespace game
