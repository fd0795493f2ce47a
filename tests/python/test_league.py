"""The league: a run killed by SIGKILL mid-game resumes into the league an uninterrupted run gives,
every game replays from its row, a second run on the same file is refused and changes nothing,
references keep the scale, and show and plot read the file."""

import json
import signal
import sqlite3
import time

import pytest
from league_files import contents, league, query

from vexlan_rl.players import parse_player, play_games

pytest.importorskip("openskill")
from vexlan_rl.league import LeaguePlayer, choose_lineups  # noqa: E402
from vexlan_rl.players.ratings import INITIAL, Rating  # noqa: E402

RUN = ["run", "--pool", "greedy,mcts:10,mcts:30,mcts:20", "--reference", "random", "--seed", "7"]


def wait_for_games(path, count, process):
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline and process.poll() is None:
        try:
            if query(path, "SELECT count(*) FROM games")[0][0] >= count:
                return
        except sqlite3.OperationalError:  # not created yet
            pass
        time.sleep(0.01)
    raise AssertionError(f"the league never held {count} games: {process.poll()} {process.stderr.read()}")


def test_a_league_killed_mid_game_resumes_as_if_never_stopped(tmp_path):
    whole, broken = tmp_path / "whole.db", tmp_path / "broken.db"
    finished = league(*RUN, "--games", 24, "--db", whole)
    assert finished.returncode == 0, finished.stderr
    process = league(*RUN, "--games", 24, "--db", broken, wait=False)
    wait_for_games(broken, 6, process)
    process.send_signal(signal.SIGKILL)  # a search game takes tens of milliseconds, a commit microseconds
    process.wait()
    assert query(broken, "PRAGMA integrity_check") == [("ok",)]
    held = [number for (number,) in query(broken, "SELECT number FROM games ORDER BY number")]
    assert 6 <= len(held) < 24 and held == list(range(len(held)))
    resumed = league(*RUN, "--games", 24, "--db", broken)
    assert resumed.returncode == 0, resumed.stderr
    assert contents(broken) == contents(whole)
    assert query(broken, "PRAGMA integrity_check") == [("ok",)]

    specs = dict(query(whole, "SELECT id, spec FROM players"))
    for number, seed, lineup, seats, scores, places in query(
            whole, "SELECT number, seed, lineup, seats, scores, places FROM games"):
        players = [parse_player(specs[id]) for id in json.loads(lineup)]
        record = play_games(players, seed, number, 1)[0]
        assert [json.loads(lineup)[player] for player in record.players] == json.loads(seats)
        assert list(record.scores) == json.loads(scores) and list(record.places) == json.loads(places)
    # The lone reference never moves: it stays at the prior, a fixed opponent.
    assert query(whole, "SELECT mu, sigma, games > 0 FROM players WHERE spec = 'random'") == \
        [(INITIAL.mu, INITIAL.sigma, 1)]
    assert query(whole, "SELECT count(*) FROM ratings JOIN players ON player = id WHERE spec = 'random'") == [(0,)]

    table = league("show", "--db", whole)
    assert table.returncode == 0 and "24 games in 6 matches (seed 7)" in table.stdout
    assert [line.split()[0] for line in table.stdout.splitlines()[2:]][-1] == "random"
    pytest.importorskip("matplotlib")
    picture = league("plot", "--db", whole, "--out", tmp_path / "league.png")
    assert picture.returncode == 0, picture.stderr
    assert (tmp_path / "league.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_a_second_run_on_the_same_file_is_refused_and_changes_nothing(tmp_path):
    path = tmp_path / "league.db"
    first = league(*RUN, "--games", 400, "--db", path, wait=False)
    try:
        wait_for_games(path, 1, first)
        second = league("run", "--db", path, "--pool", "greedy,random,mcts:7,mcts:8", "--games", 8)
        assert second.returncode == 1
        assert f"is being run by another process (pid {first.pid})" in second.stderr
        reading = league("show", "--db", path)  # readers are welcome while a run writes
        assert reading.returncode == 0, reading.stderr
    finally:
        first.send_signal(signal.SIGKILL)
        first.wait()
    assert query(path, "PRAGMA integrity_check") == [("ok",)]
    assert query(path, "SELECT count(*) FROM players WHERE spec IN ('mcts:7', 'mcts:8')") == [(0,)]


def test_references_move_only_among_themselves(tmp_path):
    path = tmp_path / "league.db"
    result = league("run", "--db", path, "--pool", "mcts:4,mcts:5", "--reference", "random,greedy,mcts:2,mcts:3",
                    "--games", 48, "--threads", 2)
    assert result.returncode == 0, result.stderr
    references = {id for (id,) in query(path, "SELECT id FROM players WHERE reference")}
    games = {number: set(json.loads(seats)) for number, seats in query(path, "SELECT number, seats FROM games")}
    moved = query(path, "SELECT game, player FROM ratings")
    assert any(player in references for _, player in moved)
    assert any(not games[number] <= references for number in games)
    for number, player in moved:
        assert player not in references or games[number] <= references


def test_lineups_are_built_around_the_most_uncertain_rating():
    def player(id, mu, sigma, reference=False):
        return LeaguePlayer(id, f"p{id}", reference, Rating(mu, sigma), games=10)

    pool = [player(1, 30, 2), player(2, 20, 2), player(3, 24, 7), player(4, 40, 2), player(5, 25, 2),
            player(6, 26, 2)]
    # p3 is the most uncertain, and its opponents the players nearest its skill, until the matches
    # planned with it leave p1 (then p4) the most uncertain: each halves its players' variance.
    assert choose_lineups(pool, 6) == [(2, 3, 5, 6)] * 4 + [(1, 3, 5, 6), (1, 4, 5, 6)]
    # References learn only in games of references, so with fewer than four they never move, and
    # an uncertain one is a poor opponent.
    references = [player(id, 25, 8, reference=True) for id in (7, 8, 9)]
    assert choose_lineups(pool + references, 1) == [(2, 3, 5, 6)]
    assert choose_lineups(pool[:2] + references, 1) == [(1, 7, 8, 9)]
    assert choose_lineups(pool[:1] + references + [player(10, 25, 9, True)], 1) == [(7, 8, 9, 10)]
    with pytest.raises(ValueError, match="at least 4 players"):
        choose_lineups(pool[:3], 1)
