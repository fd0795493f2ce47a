#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <random>
#include <stdexcept>
#include <vector>

#include "batch/game_batch.hpp"
#include "common/random_stream.hpp"
#include "common/worker_pool.hpp"
#include "random_play.hpp"

namespace batch {
namespace {

using common::WorkerPool;

TEST(WorkerPool, RunsEveryWorkerOnceAndReportsFaults) {
    WorkerPool pool(3);
    std::array<std::atomic<int>, 3> calls{};
    auto count = [&](std::size_t worker) { calls[worker] += 1; };
    for (int run = 0; run < 200; ++run) pool.run(count);
    for (const auto& worker : calls) EXPECT_EQ(worker.load(), 200);
    auto failing = [](std::size_t worker) {
        if (worker == 2) throw std::overflow_error("worker two");
    };
    EXPECT_THROW(pool.run(failing), std::overflow_error);
    pool.run(count);
    EXPECT_EQ(calls[2].load(), 201);
}

TEST(WorkerPool, BarrierShowsEveryWorkersWrites) {
    WorkerPool pool(3);
    std::array<int, 3> written{};
    std::array<int, 3> seen{};
    for (int run = 1; run <= 300; ++run) {
        auto exchange = [&](std::size_t worker) {
            written[worker] = run;
            pool.arrive_and_wait();
            seen[worker] = written[0] + written[1] + written[2];
        };
        pool.run(exchange);
        for (int sum : seen) ASSERT_EQ(sum, 3 * run);
    }
}

TEST(RandomStream, StaysBelowItsBound) {
    common::RandomStream random(common::derive_seed(1, 2));
    std::array<int, 7> seen{};
    for (int draw = 0; draw < 7000; ++draw) {
        const std::uint32_t value = random.below(7);
        ASSERT_LT(value, 7u);
        seen[value] += 1;
    }
    for (int count : seen) EXPECT_GT(count, 800);
}

// Random self-play reaches the same games on any number of threads, and a
// slot loaded from another keeps playing as that one.
TEST(GameBatch, ThreadsDoNotChangeTheGames) {
    std::vector<std::vector<game::StateBytes>> runs;
    for (std::size_t threads : {1, 2, 5}) {
        GameBatch games({.games = 9, .threads = threads, .seed = 4, .autoreset = threads != 5});
        for (int step = 0; step < 120; ++step) games.step_random();
        std::vector<game::StateBytes> states;
        for (std::size_t i = 0; i < games.size(); ++i) states.push_back(games.state(i));
        runs.push_back(states);
        if (threads == 5) {
            for (std::size_t i = 0; i < games.size(); ++i) {
                EXPECT_TRUE(game::Game::from_bytes(states[i])->over());
                EXPECT_EQ(games.buffers().terminated[i], 1);
                EXPECT_EQ(games.buffers().legal_count[i], 0);
            }
        }
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(runs[0], runs[2]);
}

}  // namespace
}  // namespace batch
