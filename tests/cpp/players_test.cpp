// Players and the arena: legal moves from many positions (restored from
// bytes), the greedy choice against a slow recomputation of its score,
// reproducibility, seat rotation on a lineup whose games are known, and
// random openings.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "counted_allocations.hpp"
#include "game/game.hpp"
#include "players/arena.hpp"
#include "players/greedy_heuristic.hpp"
#include "players/player.hpp"
#include "players/mcts_player.hpp"
#include "players/opening.hpp"
#include "random_play.hpp"

using test_support::allocations;

namespace players {
namespace {

using game::Game;

// Positions from random games at every stage, each restored from its bytes,
// finished games included.
std::vector<Game> sample_positions(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Game> positions;
    while (positions.size() < count) {
        Game position;
        const unsigned stop = std::uniform_int_distribution<unsigned>(0, 90)(rng);
        while (position.ply() < stop && !position.over()) game::test_support::play_random_turn(position, rng);
        const auto restored = Game::from_bytes(position.to_bytes());
        EXPECT_TRUE(restored.has_value());
        if (restored) positions.push_back(*restored);
    }
    return positions;
}

std::vector<PlayerSettings> every_kind() {
    PlayerSettings random, greedy, search, greedy_search, parallel_search;
    random.kind = PlayerKind::Random;
    greedy.kind = PlayerKind::Greedy;
    search.kind = PlayerKind::Mcts;
    search.search.simulations = 3;  // tiny budgets: fewer simulations than moves
    greedy_search = search;
    greedy_search.search.playout = PlayoutPolicy::Greedy;
    parallel_search = search;
    parallel_search.search.threads = 2;
    parallel_search.search.simulations = 1;  // one tree gets no simulation at all
    return {random, greedy, search, greedy_search, parallel_search};
}

TEST(Players, ChooseOnlyMovesTheGameAcceptsAndNothingWhenTheMoverCannotPlace) {
    const std::vector<Game> positions = sample_positions(60, 5);
    for (const PlayerSettings& settings : every_kind()) {
        const std::unique_ptr<Player> player = make_player(settings, 9);
        for (const Game& position : positions) {
            const std::optional<GridIndex> move = player->choose(position);
            if (position.over() || position.is_done(position.seat_to_move())) {
                EXPECT_FALSE(move.has_value());
                continue;
            }
            ASSERT_TRUE(move.has_value());
            Game after = position;
            EXPECT_FALSE(after.step(*move)) << "kind " << int(settings.kind) << " chose refused move " << *move;
        }
    }
}

// The greedy score, recomputed from scratch on the position after the move.
PlacementScore reference_score(const Game& position, std::uint16_t move) {
    const std::size_t mover = position.seat_to_move();
    Game after = position;
    EXPECT_FALSE(after.step(position.action_set().actions[move].grid_index));
    const game::Observation before_view = position.observe(mover), after_view = after.observe(mover);
    PlacementScore denied = 0;
    for (std::size_t k = 1; k < game::NUM_SEATS; ++k) {
        if (!before_view.done[k]) denied += (before_view.corners[k] - after_view.corners[k]).count();
    }
    return game::cell_count(position.action_set().actions[move].piece) * SIZE_WEIGHT + after_view.corners[0].count() +
           denied;
}

TEST(GreedyHeuristic, ScoresAndBestMoveAgreeWithARecomputationOnTheBoardAfter) {
    Turn turn;
    std::vector<PlacementScore> scores;
    for (const Game& position : sample_positions(25, 8)) {
        if (!turn.read(position)) continue;
        score_moves(turn, scores);
        PlacementScore best = 0;
        for (std::size_t i = 0; i < turn.moves.size(); ++i) {
            const PlacementScore expected = reference_score(position, turn.moves[i]);
            best = std::max(best, expected);
            // The scores may differ by a constant of the position (the mover's corners before).
            EXPECT_EQ(scores[i] - scores[0], expected - reference_score(position, turn.moves[0]));
        }
        EXPECT_EQ(reference_score(position, turn.moves[best_move(turn, nullptr)]), best);
        common::RandomStream ties(3);
        EXPECT_EQ(reference_score(position, turn.moves[best_move(turn, &ties)]), best);
    }
}

TEST(TreeSearch, AllocatesNothingPerSimulationOnceItsPoolHasGrown) {
    SearchSettings settings;
    settings.simulations = 300;
    MctsPlayer player(settings, 1);
    for (const Game& position : sample_positions(6, 2)) {
        if (position.over() || position.is_done(position.seat_to_move())) continue;
        player.reseed(4);
        ASSERT_TRUE(player.choose(position).has_value());  // grows the pool for this position
        player.reseed(4);
        const std::size_t before = allocations.load();
        ASSERT_TRUE(player.choose(position).has_value());
        // Only the per-move bookkeeping of the threads' results.
        EXPECT_LE(allocations.load() - before, 2u);
    }
}

std::array<PlayerSettings, NUM_PLAYERS> lineup(PlayerKind a, PlayerKind b, PlayerKind c, PlayerKind d) {
    std::array<PlayerSettings, NUM_PLAYERS> out;
    const std::array<PlayerKind, NUM_PLAYERS> kinds = {a, b, c, d};
    for (std::size_t p = 0; p < NUM_PLAYERS; ++p) {
        out[p].kind = kinds[p];
        out[p].search.simulations = 16;
        out[p].search.threads = p == 0 ? 2 : 1;
    }
    return out;
}

bool same(const GameRecord& a, const GameRecord& b) {
    return a.player == b.player && a.scores == b.scores && a.win_share == b.win_share && a.place == b.place &&
           a.plies == b.plies && a.moves == b.moves;
}

// Plays games with nothing to interrupt them.
void play_games(std::span<const PlayerSettings, NUM_PLAYERS> players, std::uint64_t seed, std::uint64_t first_game,
                std::span<GameRecord> records, unsigned threads, std::size_t openings = 0) {
    common::Interrupt never;
    players::play_games(players, seed, first_game, records, threads, openings, never);
}

TEST(Arena, RecordsDependOnSeedAndGameNumberOnlyWhateverTheThreadsOrRange) {
    const auto players = lineup(PlayerKind::Mcts, PlayerKind::Greedy, PlayerKind::Random, PlayerKind::Random);
    std::vector<GameRecord> whole(8), split(8), other_seed(8);
    play_games(players, 21, 100, whole, 1);
    play_games(players, 21, 100, std::span(split).first(3), 2);
    play_games(players, 21, 103, std::span(split).subspan(3), 2);
    play_games(players, 22, 100, other_seed, 2);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_TRUE(same(whole[i], split[i])) << "game " << 100 + i;
        differing += !same(whole[i], other_seed[i]);
    }
    EXPECT_GT(differing, 0u);
}

TEST(Arena, RotatesSeatsAndRecordsTheOneGameThatFourGreedyPlayersAlwaysPlay) {
    // Greedy players never draw at random, so every game is this one.
    Game reference;
    std::unique_ptr<Player> greedy = make_player(lineup(PlayerKind::Greedy, {}, {}, {})[0], 0);
    while (!reference.over()) play(reference, greedy->choose(reference));
    const auto scores = reference.scores();

    const auto players = lineup(PlayerKind::Greedy, PlayerKind::Greedy, PlayerKind::Greedy, PlayerKind::Greedy);
    std::vector<GameRecord> records(8);
    play_games(players, 4, 0, records, 2);
    std::array<std::array<int, game::NUM_SEATS>, NUM_PLAYERS> sittings{};
    for (std::size_t g = 0; g < records.size(); ++g) {
        EXPECT_EQ(records[g].scores, scores);
        EXPECT_EQ(records[g].plies, reference.ply());
        Game replayed;
        for (std::size_t m = 0; m < records[g].plies; ++m) play(replayed, records[g].moves[m]);
        EXPECT_EQ(replayed, reference) << "the recorded moves replay the game";
        for (std::size_t s = 0; s < game::NUM_SEATS; ++s) sittings[records[g].player[s]][s] += 1;
        const auto top = *std::max_element(scores.begin(), scores.end());
        for (std::size_t s = 0; s < game::NUM_SEATS; ++s) {
            const auto above = std::count_if(scores.begin(), scores.end(), [&](auto x) { return x > scores[s]; });
            const auto tied = std::count(scores.begin(), scores.end(), scores[s]);
            EXPECT_FLOAT_EQ(records[g].win_share[s], scores[s] == top ? 1.0f / tied : 0.0f);
            EXPECT_FLOAT_EQ(records[g].place[s], 1 + above + (tied - 1) / 2.0f);
        }
    }
    for (const auto& seats : sittings) EXPECT_EQ(seats, (std::array<int, 4>{2, 2, 2, 2}));
}

TEST(Arena, RandomOpeningsVaryTheGamesOfDeterministicPlayersAndAreSharedByEachRotation) {
    constexpr std::size_t OPENINGS = 6;
    const auto players = lineup(PlayerKind::Greedy, PlayerKind::Greedy, PlayerKind::Greedy, PlayerKind::Greedy);
    std::vector<GameRecord> records(12), shifted(4);
    play_games(players, 9, 0, records, 2, OPENINGS);
    play_games(players, 9, 6, shifted, 1, OPENINGS);
    std::set<std::array<std::int16_t, game::NUM_SEATS>> outcomes;
    for (std::size_t g = 0; g < records.size(); ++g) {
        const GameRecord& record = records[g];
        const GameRecord& first_of_four = records[g - g % NUM_PLAYERS];
        EXPECT_TRUE(std::equal(record.moves.begin(), record.moves.begin() + OPENINGS, first_of_four.moves.begin()));
        if (g >= 6 && g < 10) EXPECT_TRUE(same(record, shifted[g - 6])) << "game " << g;

        // The opening is the one opening() gives, and the rest is greedy play from there.
        Game replayed;
        std::array<GridIndex, OPENINGS> opening{};
        ASSERT_EQ(play_opening(replayed, opening_seed(9, g), opening), OPENINGS);
        EXPECT_TRUE(std::equal(opening.begin(), opening.end(), record.moves.begin()));
        std::unique_ptr<Player> greedy = make_player(players[0], 0);
        for (std::size_t m = OPENINGS; m < record.plies; ++m) {
            ASSERT_EQ(greedy->choose(replayed), record.moves[m]) << "game " << g << ", move " << m;
            play(replayed, record.moves[m]);
        }
        EXPECT_TRUE(replayed.over());
        EXPECT_EQ(replayed.scores(), record.scores);
        outcomes.insert(record.scores);
    }
    EXPECT_GT(outcomes.size(), 1u) << "without openings every game of greedy players is the same one";
}

TEST(Arena, AnOpeningStopsWhereTheGameEnds) {
    Game position;
    std::array<GridIndex, MAX_PLACEMENTS + 1> moves{};
    const std::size_t placed = play_opening(position, 3, moves);
    EXPECT_TRUE(position.over());
    EXPECT_EQ(placed, position.ply());
    EXPECT_LE(placed, MAX_PLACEMENTS);
}

// An interrupt whose check first asks to stop after `calls` checks.
struct StopAfter {
    int calls;
    static bool check(void* self) { return --static_cast<StopAfter*>(self)->calls <= 0; }
};

TEST(Arena, AnInterruptStopsEveryThreadInsideItsSearch) {
    PlayerSettings slow{.kind = PlayerKind::Mcts};
    slow.search.seconds = 30;
    const std::array<PlayerSettings, NUM_PLAYERS> players = {slow, slow, slow, slow};
    std::vector<GameRecord> records(4);
    StopAfter stop{3};
    common::Interrupt interrupt(StopAfter::check, &stop, std::chrono::milliseconds(10));
    const auto start = std::chrono::steady_clock::now();
    players::play_games(players, 1, 0, records, 2, 0, interrupt);
    EXPECT_TRUE(interrupt.requested());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace players
