#include "players/arena.hpp"

#include <algorithm>
#include <atomic>
#include <memory>

#include "common/random_stream.hpp"
#include "common/worker_pool.hpp"
#include "game/scores.hpp"
#include "players/opening.hpp"

namespace players {

namespace {

using Lineup = std::array<std::unique_ptr<Player>, NUM_PLAYERS>;

// Plays one game to its end, or until `interrupt` asks to stop.
GameRecord play_game(Lineup& lineup, std::uint64_t seed, std::uint64_t game_number, std::size_t openings,
                     common::Interrupt& interrupt) {
    GameRecord record;
    const std::uint64_t game_seed = common::derive_seed(seed, game_number);
    for (std::size_t p = 0; p < NUM_PLAYERS; ++p) lineup[p]->reseed(common::derive_seed(game_seed, p));
    for (std::size_t s = 0; s < game::NUM_SEATS; ++s) {
        record.player[s] = static_cast<std::uint8_t>(player_in_seat(game_number, s));
    }
    game::Game position;
    record.plies = static_cast<std::uint16_t>(play_opening(
        position, opening_seed(seed, game_number), std::span(record.moves).first(std::min(openings, MAX_PLACEMENTS))));
    while (!position.over() && !interrupt.poll()) {
        const std::optional<GridIndex> move = lineup[record.player[position.seat_to_move()]]->choose(position, interrupt);
        if (interrupt.requested()) break;
        play(position, move);
        if (move) record.moves[record.plies++] = *move;
    }
    record.scores = position.scores();
    record.win_share = game::outcome_from_scores(record.scores, game::RewardMode::WinShare);
    // Seats that tie share the mean of the places they cover: whole or half numbers, exact in float.
    for (std::size_t s = 0; s < game::NUM_SEATS; ++s) {
        unsigned above = 0, tied = 0;
        for (std::int16_t other : record.scores) {
            above += other > record.scores[s];
            tied += other == record.scores[s];
        }
        record.place[s] = 1.0f + static_cast<float>(above) + static_cast<float>(tied - 1) / 2.0f;
    }
    return record;
}

}  // namespace

void play_games(std::span<const PlayerSettings, NUM_PLAYERS> players, std::uint64_t seed,
                std::uint64_t first_game, std::span<GameRecord> records, unsigned threads,
                std::size_t openings, common::Interrupt& interrupt) {
    if (records.empty()) return;
    common::WorkerPool pool(std::clamp<std::size_t>(threads, 1, records.size()));
    std::atomic<std::size_t> next{0};
    auto work = [&](std::size_t) {
        Lineup lineup;
        for (std::size_t p = 0; p < NUM_PLAYERS; ++p) lineup[p] = make_player(players[p], 0);
        // Games go to whichever worker is free: search games vary in length.
        for (std::size_t i; !interrupt.poll() && (i = next.fetch_add(1, std::memory_order_relaxed)) < records.size();) {
            records[i] = play_game(lineup, seed, first_game + i, openings, interrupt);
        }
    };
    // A worker that fails ends the others at their next look at the interrupt.
    auto work_or_stop_all = [&](std::size_t worker) {
        try {
            work(worker);
        } catch (...) {
            interrupt.request();
            throw;
        }
    };
    pool.run(work_or_stop_all, &interrupt);
}

}  // namespace players
