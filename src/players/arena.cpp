#include "players/arena.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include "game/scores.hpp"
#include "players/random_stream.hpp"

namespace players {

namespace {

using Lineup = std::array<std::unique_ptr<Player>, NUM_PLAYERS>;

GameRecord play_game(Lineup& lineup, std::uint64_t seed, std::uint64_t game_number) {
    GameRecord record;
    const std::uint64_t game_seed = derive_seed(seed, game_number);
    for (std::size_t p = 0; p < NUM_PLAYERS; ++p) lineup[p]->reseed(derive_seed(game_seed, p));
    for (std::size_t s = 0; s < game::NUM_SEATS; ++s) {
        record.player[s] = static_cast<std::uint8_t>(player_in_seat(game_number, s));
    }
    game::Game position;
    while (!position.over()) {
        play(position, lineup[record.player[position.seat_to_move()]]->choose(position));
    }
    record.scores = position.scores();
    record.win_share = game::outcome_from_scores(record.scores, game::RewardMode::WinShare);
    const std::array<float, game::NUM_SEATS> rank = game::outcome_from_scores(record.scores, game::RewardMode::Rank);
    // A rank reward r is worth place 1 + 3 (1 - r): 1.0 is first, 0.0 fourth.
    for (std::size_t s = 0; s < game::NUM_SEATS; ++s) record.place[s] = 1.0f + 3.0f * (1.0f - rank[s]);
    record.plies = static_cast<std::uint16_t>(position.ply());
    return record;
}

}  // namespace

void play_games(std::span<const PlayerSettings, NUM_PLAYERS> players, std::uint64_t seed,
                std::uint64_t first_game, std::span<GameRecord> records, unsigned threads) {
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(records.size())));
    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(threads);
    const auto work = [&](unsigned t) {
        try {
            Lineup lineup;
            for (std::size_t p = 0; p < NUM_PLAYERS; ++p) lineup[p] = make_player(players[p], 0);
            // Games go to whichever thread is free: search games vary in length.
            for (std::size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < records.size();) {
                records[i] = play_game(lineup, seed, first_game + i);
            }
        } catch (...) {
            failures[t] = std::current_exception();
            next.store(records.size(), std::memory_order_relaxed);  // the others stop at their next game
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(threads - 1);
        for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work, t);
        work(0);
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

}  // namespace players
