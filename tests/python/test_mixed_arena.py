"""The Python arena that seats networks, here with engine players only: its records are
built as the C++ arena builds them, random openings included, and its games do not depend
on how many it plays side by side."""

import pytest

from vexlan_rl import PyVexlan
from vexlan_rl._players import opening
from vexlan_rl.players import GameRecord, GreedyPlayer, RandomPlayer, play_games
from vexlan_rl.players.arena import MAX_OPENINGS
from vexlan_rl.players.mixed_arena import play_mixed_games


def replayed(moves: tuple[int, ...]) -> PyVexlan:
    game = PyVexlan()
    for move in moves:
        game.step(move)
        while not game.is_over and game.terminations[game.agent_selection]:
            game.step(None)
    return game


def test_the_greedy_game_gives_the_record_of_the_engine_arena():
    players = [GreedyPlayer() for _ in range(4)]
    engine = play_games(players, seed=3, first_game=5, count=4)
    assert [GameRecord(*record) for record in play_mixed_games(players, 3, 5, 4)] == engine


def test_random_games_do_not_depend_on_the_window():
    players = [RandomPlayer(), RandomPlayer(), GreedyPlayer(), RandomPlayer()]
    records = [play_mixed_games(players, 11, 2, 8, window) for window in (1, 3, 8)]
    assert records[0] == records[1] == records[2]
    assert len({record[5] for record in records[0]}) == 8
    for seated, scores, shares, places, plies, moves in records[0]:
        game = replayed(moves)
        assert game.is_over and tuple(game.scores) == scores and tuple(game.outcome("win_share")) == shares
        assert plies == len(moves) == game.ply
        # The engine's rank outcome is the mean worth of the places shared: 1, 2/3, 1/3, 0.
        assert [(4 - place) / 3 for place in places] == pytest.approx(game.outcome("rank"))


@pytest.mark.parametrize("openings", [4, 9, MAX_OPENINGS])
def test_openings_are_the_engine_arenas_own_and_shared_by_each_rotation(openings):
    # Greedy players draw nothing, so the two arenas' games differ by their openings alone.
    players = [GreedyPlayer() for _ in range(4)]
    seed = 2**70 + 5
    engine = play_games(players, seed, first_game=6, count=10, threads=2, openings=openings)
    assert [GameRecord(*record) for record in play_mixed_games(players, seed, 6, 10, 3, openings)] == engine
    for number, record in enumerate(engine, 6):
        opened = opening(seed % 2**64, number, openings)
        assert record.moves[:len(opened)] == opened == opening(seed % 2**64, number - number % 4, openings)
        assert len(opened) == min(openings, record.plies)
        assert replayed(record.moves).is_over
    assert len({record.moves for record in engine}) > 1


def test_a_bad_opening_count_is_refused_before_any_game():
    players = [GreedyPlayer(), RandomPlayer(), GreedyPlayer(), GreedyPlayer()]
    for openings in (-1, MAX_OPENINGS + 1, 2.0):
        with pytest.raises(ValueError, match="openings"):
            play_games(players, 0, 0, 4, openings=openings)
