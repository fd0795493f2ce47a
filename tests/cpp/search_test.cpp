// The PUCT search: priors steer it, each seat picks for itself, virtual
// loss spreads the leaves of a round, a kept subtree keeps its counts, and
// the batched rounds give distributions over legal moves summing to the
// budget, whatever the leaves per round and the evaluator.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <set>
#include <vector>

#include "counted_allocations.hpp"
#include "players/playout_evaluator.hpp"
#include "players/uniform_evaluator.hpp"
#include "search/dirichlet.hpp"
#include "search/puct_tree.hpp"
#include "search/search_batch.hpp"

namespace search {
namespace {

using game::Game;

// A fixed judgement of every position: priors from the moves, values from
// the position's bytes, so that two searches of the same tree agree.
class HashEvaluator final : public players::Evaluator {
public:
    SeatValues evaluate(const Game& leaf, std::span<const GridIndex> moves, std::span<float> priors) override {
        float total = 0;
        for (std::size_t i = 0; i < priors.size(); ++i) total += priors[i] = 1.0f + static_cast<float>(moves[i] * 2654435761u >> 28);
        for (float& prior : priors) prior /= total;
        std::uint64_t hash = 1469598103934665603ull;
        for (std::uint8_t byte : leaf.to_bytes()) hash = (hash ^ byte) * 1099511628211ull;
        SeatValues values{};
        for (std::size_t k = 0; k < game::NUM_SEATS; ++k) values[k] = static_cast<float>((hash >> (8 * k)) & 255) / 255.0f;
        return values;
    }
};

// The legal moves of `position`'s mover as grid indices.
std::vector<GridIndex> legal_moves(const Game& position) {
    players::Turn turn;
    std::vector<GridIndex> out;
    if (!turn.read(position)) return out;
    for (std::size_t i = 0; i < turn.moves.size(); ++i) out.push_back(turn.grid_index(position, i));
    return out;
}

// Runs `simulations` selections, each evaluated at once by `judge(node, position, moves, priors)`.
using Judge = std::function<SeatValues(std::uint32_t, const Game&, std::span<const GridIndex>, std::span<float>)>;
void run(PuctTree& tree, std::uint32_t simulations, const Judge& judge) {
    Game position;
    std::vector<float> priors;
    for (std::uint32_t s = 0; s < simulations; ++s) {
        const PuctTree::Selection selection = tree.select(position);
        ASSERT_NE(selection.outcome, PuctTree::Outcome::Collision);
        if (selection.outcome != PuctTree::Outcome::Leaf) continue;
        const std::vector<GridIndex> moves = legal_moves(position);
        priors.assign(moves.size(), 0.0f);
        const SeatValues values = judge(selection.node, position, moves, priors);
        tree.expand(selection.node, moves, priors, values);
    }
}

// The index among `node`'s edges of the one with the most visits.
std::size_t most_visited(const PuctTree& tree, std::uint32_t node) {
    const std::span<const PuctEdge> edges = tree.edges(node);
    const auto more = [&](const PuctEdge& a, const PuctEdge& b) { return tree.visits(a) < tree.visits(b); };
    return static_cast<std::size_t>(std::max_element(edges.begin(), edges.end(), more) - edges.begin());
}

// The node that `node`'s edge `edge` leads to.
std::uint32_t child(const PuctTree& tree, std::uint32_t node, std::size_t edge) { return tree.edges(node)[edge].child; }

PuctSettings quiet() {
    PuctSettings settings;
    settings.noise_fraction = 0;
    return settings;
}

TEST(Dirichlet, DrawsHaveTheDistributionsMeanAndVariance) {
    // Symmetric Dirichlet(alpha) over k shares: mean 1 / k, variance
    // (1 / k)(1 - 1 / k) / (k alpha + 1).
    for (const float alpha : {0.03f, 0.3f, 2.0f}) {
        constexpr std::size_t k = 4, draws = 20000;
        common::RandomStream stream(7);
        std::array<float, k> shares{};
        double sum = 0, sum_squares = 0;
        for (std::size_t d = 0; d < draws; ++d) {
            draw_dirichlet(stream, alpha, shares);
            EXPECT_NEAR(std::accumulate(shares.begin(), shares.end(), 0.0f), 1.0f, 1e-5f);
            sum += shares[d % k];
            sum_squares += shares[d % k] * shares[d % k];
        }
        const double mean = sum / draws, variance = sum_squares / draws - mean * mean;
        const double expected = (1.0 / k) * (1 - 1.0 / k) / (k * alpha + 1);
        EXPECT_NEAR(mean, 1.0 / k, 0.01) << alpha;
        EXPECT_NEAR(variance, expected, 0.05 * expected) << alpha;
    }
}

TEST(PuctTree, AllPriorOnOneMoveGivesItTheMostVisits) {
    const PuctSettings settings = quiet();
    PuctTree tree(settings);
    tree.start(Game(), 1);
    const std::size_t favourite = 7;
    run(tree, 40, [&](std::uint32_t node, const Game&, std::span<const GridIndex>, std::span<float> priors) {
        priors[node == PuctTree::ROOT ? favourite : 0] = 1;
        return SeatValues{0.5f, 0.5f, 0.5f, 0.5f};
    });
    EXPECT_EQ(most_visited(tree, PuctTree::ROOT), favourite);
    EXPECT_EQ(tree.simulations(), 39u);
}

TEST(PuctTree, EachSeatPicksTheChildBestForItself) {
    // Below root child c and its child g, seat 0 and seat 1 get TABLE[c][g].
    // Seat 1 picks g = 1 under c = 0 (0.8 > 0.2) and g = 0 under c = 1
    // (0.7 > 0.4), so seat 0 gets 0.1 from c = 0 and 0.6 from c = 1, and
    // picks c = 1 though its best single value (0.9) lies under c = 0.
    constexpr float TABLE[2][2][2] = {{{0.9f, 0.2f}, {0.1f, 0.8f}}, {{0.6f, 0.7f}, {0.3f, 0.4f}}};
    const PuctSettings settings = quiet();
    PuctTree tree(settings);
    tree.start(Game(), 1);
    run(tree, 3000, [&](std::uint32_t node, const Game&, std::span<const GridIndex>, std::span<float> priors) {
        std::vector<std::uint32_t> path;  // edge indices from the root down
        for (std::uint32_t n = node; tree.node(n).parent != PuctTree::NO_PARENT; n = tree.node(n).parent) {
            const std::span<const PuctEdge> edges = tree.edges(tree.node(n).parent);
            const auto taken = std::find_if(edges.begin(), edges.end(), [&](const PuctEdge& e) { return e.child == n; });
            path.insert(path.begin(), static_cast<std::uint32_t>(taken - edges.begin()));
        }
        if (path.size() < 2) {
            priors[0] = priors[1] = 0.5f;
            return SeatValues{0.5f, 0.5f, 0.5f, 0.5f};
        }
        std::fill(priors.begin(), priors.end(), 1.0f);
        if (path[0] > 1 || path[1] > 1) return SeatValues{};
        return SeatValues{TABLE[path[0]][path[1]][0], TABLE[path[0]][path[1]][1], 0, 0};
    });
    EXPECT_EQ(most_visited(tree, PuctTree::ROOT), 1u);
    EXPECT_EQ(most_visited(tree, child(tree, PuctTree::ROOT, 0)), 1u);
    EXPECT_EQ(most_visited(tree, child(tree, PuctTree::ROOT, 1)), 0u);
}

TEST(PuctTree, VirtualLossSendsWaitingSelectionsToDifferentLeaves) {
    const PuctSettings settings = quiet();
    PuctTree tree(settings);
    tree.start(Game(), 1);
    HashEvaluator evaluator;
    run(tree, 30, [&](std::uint32_t, const Game& position, std::span<const GridIndex> moves, std::span<float> priors) {
        return evaluator.evaluate(position, moves, priors);
    });
    std::set<std::uint32_t> waiting;
    Game position;
    for (int s = 0; s < 16; ++s) {
        const PuctTree::Selection selection = tree.select(position);
        ASSERT_EQ(selection.outcome, PuctTree::Outcome::Leaf);
        EXPECT_TRUE(waiting.insert(selection.node).second) << "selection " << s << " met a waiting leaf";
    }
    EXPECT_EQ(tree.pending(), 16u);
}

TEST(PuctTree, AKeptSubtreeKeepsItsVisitCounts) {
    const PuctSettings settings = quiet();
    PuctTree tree(settings);
    Game start;
    tree.start(start, 1);
    HashEvaluator evaluator;
    run(tree, 400, [&](std::uint32_t, const Game& position, std::span<const GridIndex> moves, std::span<float> priors) {
        return evaluator.evaluate(position, moves, priors);
    });
    const PuctEdge& best = tree.edges(PuctTree::ROOT)[most_visited(tree, PuctTree::ROOT)];
    std::vector<std::uint32_t> grandchild_visits;
    for (const PuctEdge& edge : tree.edges(best.child)) grandchild_visits.push_back(tree.visits(edge));
    const std::uint32_t visits = tree.visits(best);
    const GridIndex move = best.move;
    tree.step(move);
    players::play(start, move);
    EXPECT_EQ(tree.root(), start);
    EXPECT_EQ(tree.node(PuctTree::ROOT).visits, visits);
    std::vector<std::uint32_t> kept;
    for (const PuctEdge& edge : tree.edges(PuctTree::ROOT)) kept.push_back(tree.visits(edge));
    EXPECT_EQ(kept, grandchild_visits);
    EXPECT_GT(visits, 1u);
}

// Plays `plies` moves of `games` games searched `leaves` at a time behind
// `evaluators` (one per worker of two), checking every move and distribution.
void search_games(std::uint32_t leaves, std::vector<players::Evaluator*> evaluators,
                                       std::size_t games, int plies) {
    SearchConfig config;
    config.games = games;
    config.threads = 2;
    config.simulations = 24;
    config.leaves = leaves;
    config.seed = 5;
    SearchBatch batch(config);
    common::Interrupt never;
    std::vector<std::uint32_t> kept(games);
    for (int ply = 0; ply < plies; ++ply) {
        for (std::size_t g = 0; g < games; ++g) kept[g] = batch.tree(g).simulations();
        while (batch.select(never) > 0) {
            EXPECT_LE(batch.pending_rows(), games * leaves);
            batch.evaluate_with(evaluators, never);
        }
        for (std::size_t g = 0; g < games; ++g) {
            const std::size_t count = static_cast<std::size_t>(batch.roots().legal_count[g]);
            std::uint32_t visits = 0;
            for (const PuctEdge& edge : batch.tree(g).edges(PuctTree::ROOT)) visits += batch.tree(g).visits(edge);
            EXPECT_EQ(visits, kept[g] + config.simulations) << "game " << g << " ply " << ply;
            const float* row = batch.policy().data() + g * batch.roots().max_legal;
            EXPECT_NEAR(std::accumulate(row, row + count, 0.0f), 1.0f, 1e-4);
            const std::vector<GridIndex> legal = legal_moves(batch.tree(g).root());
            EXPECT_NE(std::find(legal.begin(), legal.end(), batch.moves()[g]), legal.end());
        }
        EXPECT_FALSE(batch.step(batch.moves(), never).has_value());
    }
}

TEST(SearchBatch, BatchedAndSingleLeafRoundsPlayLegalMovesWithFullDistributions) {
    HashEvaluator evaluator;
    search_games(1, {&evaluator, &evaluator}, 5, 6);
    search_games(8, {&evaluator, &evaluator}, 5, 6);
}

TEST(SearchBatch, PlayoutAndUniformEvaluatorsPlayLegalMoves) {
    for (players::PlayoutPolicy policy : {players::PlayoutPolicy::Random, players::PlayoutPolicy::Greedy}) {
        players::PlayoutEvaluator first(policy, game::RewardMode::Rank, 3), second(policy, game::RewardMode::Rank, 4);
        search_games(4, {&first, &second}, 3, 3);
    }
    players::UniformEvaluator uniform;
    search_games(4, {&uniform, &uniform}, 3, 3);
}

TEST(SearchBatch, AllocatesNothingOnceItsPoolsHaveGrown) {
    SearchConfig config;
    config.games = 4;
    config.threads = 2;
    config.simulations = 48;
    SearchBatch batch(config);
    HashEvaluator evaluator;
    std::vector<players::Evaluator*> evaluators = {&evaluator, &evaluator};
    common::Interrupt never;
    auto play_moves = [&] {
        for (int ply = 0; ply < 4; ++ply) {
            while (batch.select(never) > 0) batch.evaluate_with(evaluators, never);
            ASSERT_FALSE(batch.step(batch.moves(), never).has_value());
        }
    };
    play_moves();  // grows every pool these games need
    batch.reset(config.seed);
    const std::size_t before = test_support::allocations.load();
    play_moves();  // the same games again
    EXPECT_EQ(test_support::allocations.load(), before);
}

TEST(SearchBatch, RefusesBadEvaluationsWithAReason) {
    SearchConfig config;
    config.games = 3;
    SearchBatch batch(config);
    common::Interrupt never;
    const std::size_t rows = batch.select(never);
    ASSERT_EQ(rows, 3u);  // each root first
    const auto count = static_cast<std::size_t>(batch.prior_count());
    std::vector<float> priors(count, 1.0f), values(rows * 4, 0.5f);
    EXPECT_FALSE(batch.check(priors, values).has_value());
    std::vector<float> short_priors(count - 1, 1.0f);
    EXPECT_TRUE(batch.check(short_priors, values).has_value());
    priors[5] = std::nanf("");
    EXPECT_TRUE(batch.check(priors, values).has_value());
    priors[5] = 1;
    values[2] = 1.5f;
    EXPECT_TRUE(batch.check(priors, values).has_value());
    values[2] = 0.5f;
    std::fill(priors.begin(), priors.begin() + batch.prior_offsets()[1], 0.0f);
    EXPECT_TRUE(batch.check(priors, values).has_value());
}

}  // namespace
}  // namespace search
