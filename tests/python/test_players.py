"""Players and the arena through vexlan_rl.players: legal moves, reproducibility, the statistics
of a lineup whose every game is known, errors, the command line and the PettingZoo loop."""

import math
import os
import pickle
import statistics
import subprocess
import sys
import threading
from pathlib import Path

import numpy as np
import pytest
from random_play import legal_indices, play

from vexlan_rl import PyVexlan
from vexlan_rl.cli.arena import results_table
from vexlan_rl.players.intervals import student_t, t_975, wilson
from vexlan_rl.players import (GameRecord, GreedyPlayer, MctsPlayer, RandomPlayer, evaluate, parse_player,
                               parse_players, play_games, summarize)


def every_kind():
    return [RandomPlayer(seed=3), GreedyPlayer(), MctsPlayer(4, seed=3), MctsPlayer(4, playout="greedy"),
            MctsPlayer(1, threads=2), MctsPlayer(seconds=0.001, reward_mode="score")]


def positions(count, seed):
    """Games stopped at every stage, each restored from its bytes."""
    rng = np.random.default_rng(seed)
    return [PyVexlan.from_bytes(play(seed * 1000 + i, int(rng.integers(0, 90)))[0].to_bytes()) for i in range(count)]


def test_every_player_chooses_only_legal_moves():
    players = every_kind()
    for game in positions(40, 1):
        seat = game.agent_selection
        if game.is_over or game.terminations[seat]:
            continue
        legal = set(legal_indices(game, seat).tolist())
        for player in players:
            assert player.act(game) in legal, player


def test_a_finished_game_or_a_done_agent_is_refused_clearly():
    finished, _ = play(5)
    stuck = next(game for game in (play(seed, steps)[0] for seed in range(50) for steps in range(40, 90, 3))
                 if not game.is_over and game.terminations[game.agent_selection])
    for player in every_kind():
        with pytest.raises(ValueError, match="the game is over"):
            player.act(finished)
        with pytest.raises(ValueError, match="is done: it can only pass"):
            player.act(stuck)
        with pytest.raises(TypeError, match="must be a PyVexlan"):
            player.act(finished.to_bytes())  # type: ignore[arg-type]


def play_out(players, seed_offset=0):
    game = PyVexlan()
    moves = []
    while not game.is_over:
        seat = game.agent_selection
        move = None if game.terminations[seat] else players[seat].act(game)
        moves.append(move)
        game.step(move)
    return moves, game.scores


def test_same_seed_same_games():
    def lineup(seed):
        return [MctsPlayer(20, seed=seed), MctsPlayer(10, threads=2, playout="greedy", seed=seed),
                RandomPlayer(seed), GreedyPlayer()]
    assert play_out(lineup(7)) == play_out(lineup(7))
    assert play_out(lineup(7)) != play_out(lineup(8))

    players = parse_players("mcts:8,greedy,random,random")
    whole = play_games(players, seed=2**70 + 3, first_game=10, count=6, threads=1)
    shards = play_games(players, 2**70 + 3, 10, 2, threads=2) + play_games(players, 2**70 + 3, 12, 4, threads=2)
    assert shards == whole
    assert evaluate(players, 8, seed=4, threads=1) == evaluate(players, 8, seed=4, threads=2)


def test_players_pickle_as_their_settings():
    for player in every_kind():
        copy = pickle.loads(pickle.dumps(player))
        assert type(copy) is type(player) and copy.spec == player.spec
        if player.spec.endswith("s"):
            continue  # a time budget repeats no game
        assert play_out([copy, GreedyPlayer(), RandomPlayer(1), RandomPlayer(2)]) == \
            play_out([type(player)(**player._arguments), GreedyPlayer(), RandomPlayer(1), RandomPlayer(2)])


def test_summary_of_hand_made_records():
    players = parse_players("random,greedy,random,random")
    records = [  # player 1 wins game 0, ties with player 2 for the lead in game 1
        GameRecord((0, 1, 2, 3), (-5, 15, -7, -9), (0.0, 1.0, 0.0, 0.0), (2.0, 1.0, 3.0, 4.0), 70),
        GameRecord((1, 2, 3, 0), (-1, -1, -3, -20), (0.5, 0.5, 0.0, 0.0), (1.5, 1.5, 3.0, 4.0), 71),
    ]
    results = summarize(players, records)
    greedy = results[1]
    assert greedy.player == "greedy" and greedy.games == 2
    assert greedy.win_share.mean == 0.75
    assert greedy.win_share[1:] == pytest.approx((0.1979, 0.9733), abs=1e-4)  # Wilson's, for 0.75 of 2
    assert greedy.score.mean == 7.0 and greedy.rank.mean == 1.25
    assert [result.win_share.mean for result in results] == [0.0, 0.75, 0.25, 0.0]
    assert [result.score.mean for result in results] == [-12.5, 7.0, -4.0, -6.0]
    assert [result.rank.mean for result in results] == [3.0, 1.25, 2.25, 3.5]


def test_intervals_are_honest_at_the_extremes():
    sweep = wilson([1.0] * 1000, 0.0, 1.0)
    assert sweep.mean == sweep.high == 1.0 and 0.995 < sweep.low < 0.997  # 1 - 3.84 / 1003.84
    assert wilson([0.0] * 10, 0.0, 1.0) == (0.0, 0.0, pytest.approx(0.2775, abs=1e-4))
    always_first = wilson([1.0] * 40, 1.0, 4.0)
    assert always_first.low == 1.0 and always_first.high > 1.2
    # Wilson's textbook case: 81 successes in 263 trials.
    assert wilson([1.0] * 81 + [0.0] * 182, 0.0, 1.0)[1:] == pytest.approx((0.2553, 0.3662), abs=1e-4)
    for degrees, quantile in {1: 12.7062, 2: 4.3027, 3: 3.1824, 5: 2.5706, 10: 2.2281, 30: 2.0423}.items():
        assert t_975(degrees) == pytest.approx(quantile, rel=2e-3)
    scores = student_t([-1.0, 1.0, 3.0], -89.0, 20.0)
    assert scores.high - scores.mean == pytest.approx(4.3027 * 2.0 / math.sqrt(3), rel=1e-4)


def test_without_openskill_the_arena_reports_no_ratings_and_its_plain_table(monkeypatch):
    monkeypatch.setitem(sys.modules, "openskill", None)  # what an interpreter without it finds
    monkeypatch.delitem(sys.modules, "openskill.models", raising=False)
    monkeypatch.delitem(sys.modules, "vexlan_rl.players.ratings", raising=False)
    results = evaluate(parse_players("greedy,random,random,random"), 4, seed=1)
    assert [result.rating for result in results] == [None] * 4
    assert results_table(results).splitlines()[0].split() == \
        ["player", "win", "share", "[95%", "CI]", "mean", "score", "[95%", "CI]", "mean", "rank", "[95%", "CI]"]

def test_four_greedy_players_always_play_one_game_and_share_its_statistics():
    moves, scores = play_out([GreedyPlayer()] * 4)
    players = parse_players("greedy,greedy,greedy,greedy")
    records = play_games(players, seed=1, first_game=5, count=8, threads=2)
    for number, record in enumerate(records, start=5):
        assert record.players == tuple((seat + number) % 4 for seat in range(4))
        assert list(record.scores) == scores
        assert record.plies == sum(move is not None for move in moves)
    top = max(scores)
    shares = [1 / scores.count(top) if score == top else 0.0 for score in scores]
    places = [1 + sum(other > score for other in scores) + (scores.count(score) - 1) / 2 for score in scores]
    for result in evaluate(players, 8, seed=1, threads=2):
        assert result.games == 8
        # Each player sat in each seat twice: its mean is the mean over the seats.
        assert result.score.mean == pytest.approx(statistics.fmean(scores))
        assert result.win_share.mean == pytest.approx(statistics.fmean(shares))
        assert result.rank.mean == pytest.approx(statistics.fmean(places))
        half = 2.3646 * statistics.stdev(scores * 2) / math.sqrt(8)  # Student's t, 7 degrees of freedom
        assert result.score.high - result.score.mean == pytest.approx(half, rel=1e-4)


def test_evaluate_reports_progress_and_refuses_bad_arguments():
    players = parse_players("random,random,random,random")
    seen = []
    evaluate(players, 12, seed=0, threads=2, progress=seen.append)
    assert seen == sorted(seen) and seen[-1] == 12
    with pytest.raises(ValueError, match="multiple of 4"):
        evaluate(players, 6)
    with pytest.raises(ValueError, match="4 Player objects"):
        evaluate(players[:3], 4)
    with pytest.raises(ValueError, match="threads"):
        evaluate(players, 4, threads=0)


@pytest.mark.parametrize("spec", ["", "rand", "random:3", "mcts:", "mcts:0", "mcts:-1s", "mcts:10:smart",
                                  "mcts:1:random:x", "greedy:2"])
def test_bad_specs_name_the_valid_kinds(spec):
    with pytest.raises(ValueError, match="the kinds are random, greedy, mcts, policy, policy-sample and az"):
        parse_player(spec)


def test_specs_build_the_players_they_name():
    players = parse_players(" mcts:30:greedy,mcts:0.5s,greedy,random")
    assert [player.spec for player in players] == ["mcts:30:greedy", "mcts:0.5s", "greedy", "random"]
    with pytest.raises(ValueError, match="need 4 players"):
        parse_players("greedy,random")


@pytest.mark.parametrize("settings, message", [
    ({"threads": 0}, "threads"), ({"simulations": 0}, "simulations"), ({"playout": "smart"}, "playout"),
    ({"reward_mode": "best"}, "reward_mode"), ({"exploration": math.nan}, "exploration"),
    ({"seconds": -1.0}, "seconds"), ({"seconds": 0.0}, "seconds"), ({"seconds": 1e6}, "seconds"),
    ({"max_nodes": 5}, "max_nodes"),
])
def test_bad_search_settings_are_refused(settings, message):
    with pytest.raises(ValueError, match=message):
        MctsPlayer(**settings)


def test_one_player_serves_one_thread_at_a_time():
    player = MctsPlayer(seconds=0.5)
    game = PyVexlan()
    errors = []

    def search():
        try:
            player.act(game)
        except RuntimeError as error:
            errors.append(error)

    threads = [threading.Thread(target=search) for _ in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(errors) == 1 and str(errors[0]) == "Already borrowed"
    assert player.act(game) in set(legal_indices(game, 0).tolist())


def test_players_are_opponents_in_the_pettingzoo_loop():
    pytest.importorskip("pettingzoo")
    from vexlan_rl.rl.env import env

    aec = env()
    aec.reset(seed=3)
    opponents = {"player_1": GreedyPlayer(), "player_2": RandomPlayer(1), "player_3": MctsPlayer(5)}
    rng = np.random.default_rng(0)
    for agent in aec.agent_iter():
        observation, _, termination, truncation, _ = aec.last()
        if termination or truncation:
            action = None
        elif agent in opponents:
            action = opponents[agent].act(aec.unwrapped.game)
        else:
            action = int(rng.choice(np.flatnonzero(observation["action_mask"])))
        aec.step(action)
    assert aec.unwrapped.game.is_over


def run_arena(*arguments):
    return subprocess.run([sys.executable, "-m", "vexlan_rl", "arena", *arguments],
                          capture_output=True, text=True, timeout=120)


def test_arena_command_prints_a_table_and_repeats_with_its_seed():
    first = run_arena("--players", "greedy,random,random,mcts:4", "--games", "8", "--threads", "2", "--seed", "5")
    assert first.returncode == 0, first.stderr
    assert "8 games (seed 5)" in first.stdout
    rows = first.stdout.splitlines()[-4:]
    assert [row.split()[1] for row in rows] == ["greedy", "random", "random", "mcts:4"]
    again = run_arena("--players", "greedy,random,random,mcts:4", "--games", "8", "--seed", "5")
    assert again.stdout.splitlines()[-5:] == first.stdout.splitlines()[-5:]


def test_arena_command_refuses_a_bad_spec_naming_the_kinds():
    result = run_arena("--players", "greedy,wizard,random,random")
    assert result.returncode == 2
    assert "bad player 'wizard'" in result.stderr and "random, greedy, mcts, policy, policy-sample and az" in result.stderr


def test_arena_command_opens_games_at_random_for_players_that_never_draw():
    plain = run_arena("--players", "greedy,greedy,greedy,greedy", "-n", "8", "-s", "1")
    opened = run_arena("--players", "greedy,greedy,greedy,greedy", "-n", "8", "-s", "1", "--openings", "4")
    assert plain.returncode == opened.returncode == 0, opened.stderr
    assert "each opened by 4 random placements" in opened.stdout
    # Without openings, four greedy players play one game eight times.
    assert plain.stdout.splitlines()[-4:] != opened.stdout.splitlines()[-4:]
    too_long = run_arena("--openings", "85")
    assert too_long.returncode == 2 and "must be from 0 to 84" in too_long.stderr


def test_extension_stub_matches():
    pytest.importorskip("mypy")
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "vexlan_rl._players"],
                            capture_output=True, text=True, env={**os.environ, "MYPY_CACHE_DIR": os.devnull},
                            cwd=Path(__file__).parent)
    assert result.returncode == 0, result.stdout + result.stderr


def test_the_interpreter_exits_cleanly_while_daemon_threads_search_and_play():
    program = "\n".join([
        "import threading, time",
        "from vexlan_rl import PyVexlan",
        "from vexlan_rl.players import MctsPlayer, parse_players, play_games",
        "started = threading.Barrier(3)",
        "def search():",
        "    player = MctsPlayer(seconds=1.0)",
        "    started.wait()",
        "    player.act(PyVexlan())",
        "def arena():",
        "    players = parse_players('greedy,greedy,random,random')",
        "    started.wait()",
        "    play_games(players, 0, 0, 5000, 2)",
        "threading.Thread(target=search, daemon=True).start()",
        "threading.Thread(target=arena, daemon=True).start()",
        "started.wait()",
        "time.sleep(0.1)",
        "print('leaving')",
    ])
    result = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "leaving\n"

