"""Long loops of successful and failing calls do not grow the process."""

from array import array
import copy
import gc
import pickle

from random_play import play
from vexlan_rl import PyVexlan
from vexlan_rl.players import GreedyPlayer, MctsPlayer, RandomPlayer, evaluate, parse_player, play_games


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


class BadIndex:
    def __index__(self):
        raise KeyError("no")


class Data(bytes):
    pass


class Conflicts:
    """An index whose conversion calls the game it is converted for, meeting
    the access that the call holds, then names no agent or placement."""

    def __init__(self, game):
        self.game = game

    def __index__(self):
        for call in (lambda: self.game.ply, self.game.reset, lambda: self.game.observe(0)):
            try:
                call()
            except RuntimeError:
                pass
        return 36400


OVER = play(4)[0].to_bytes()


def churn(rounds: int) -> None:
    for n in range(rounds):
        game = PyVexlan()
        game.step(0)
        for bad in (None, -1, "x", BadIndex(), 36400):
            try:
                game.step(bad)
            except (AssertionError, OverflowError, TypeError, KeyError):
                pass
        for call in (lambda: game.observe(9), lambda: game.step(), lambda: game.reset(1), lambda: PyVexlan(1)):
            try:
                call()
            except (TypeError, ValueError):
                pass
        game.agents, game.terminations, game.agent_selection, game.is_over, game.ply
        game.scores, game.rewards, game.outcome("rank")
        state = game.to_bytes()
        game.__setstate__(game.__getstate__())
        PyVexlan.from_bytes(state).copy().__deepcopy__(None)
        copy.copy(game)
        for call in (lambda: game.outcome("Rank"), lambda: game.outcome(1), lambda: game.outcome("\ud800"),
                     lambda: game.outcome(), lambda: PyVexlan.from_bytes(b""), lambda: PyVexlan.from_bytes(None),
                     lambda: PyVexlan.from_bytes(bytearray(state)), lambda: game.__setstate__(b"x"),
                     lambda: game.__setstate__(state=[]), lambda: game.to_bytes(1), lambda: game.render(0)):
            try:
                call()
            except (TypeError, ValueError):
                pass
        for call in (lambda: game.step(Conflicts(game)), lambda: game.observe(Conflicts(game)),
                     lambda: game.observe(BadIndex()), lambda: game.observe(None), lambda: game.observe(-1),
                     lambda: game.step(0, action_idx=1), lambda: game.observe(agent=0),
                     lambda: game.copy(**{"\udc80": 1}), lambda: game.__copy__(1), lambda: game.__getstate__(1),
                     lambda: game.__deepcopy__(), lambda: PyVexlan(seed=1), lambda: PyVexlan.from_bytes(data=1),
                     lambda: PyVexlan.from_bytes(Data(state[:-1] + b"\x04")), lambda: game.outcome(mode="\0")):
            try:
                call()
            except (AssertionError, KeyError, OverflowError, TypeError, ValueError):
                pass
        over = PyVexlan.from_bytes(OVER)
        over.step(None)
        over.rewards, over.outcome("score"), over.outcome("win_share"), over.outcome("rank")
        if n % 16 == 0:
            seen = game.observe(n % 4)
            seen.observation, seen.corners, seen.blocked, seen.pieces, seen.done, seen.action_mask
            pickle.loads(pickle.dumps(game))
        if n % 4096 == 0:
            game.render()
        game.reset()


def assert_no_growth(churn, warm_up: int, rounds: int, limit: int = 2 * 1024 * 1024) -> None:
    """After `warm_up` rounds have filled the allocator's pools, `rounds` more leave the
    process within `limit` bytes of where it was."""
    churn(warm_up)
    gc.collect()
    before = resident_bytes()
    churn(rounds)
    gc.collect()
    grown = resident_bytes() - before
    assert grown < limit, f"grew by {grown} bytes"


def test_no_growth_over_100000_rounds():
    assert_no_growth(churn, 2000, 100_000)


def batch_churn(rounds: int) -> None:
    from vexlan_rl._batch import Batch

    for n in range(rounds):
        games = Batch(3, 1 + n % 2, n, "rank", n % 3 != 0, n % 5 == 0)
        games.step_random()
        for bad in ([0, 0, 0], [0, 0], [0, 0, "x"], [0, 0, BadIndex()], bytearray(3), memoryview(b"abcdefgh").cast("d"),
                    memoryview(bytes(8)).cast("B", (2, 4)), 3.5):
            try:
                games.step(bad)
            except (TypeError, ValueError, KeyError):
                pass
        for call in (lambda: games.load(0, b"x"), lambda: games.load(5, OVER), lambda: games.state(-1),
                     lambda: games.reset(seed=-1), lambda: Batch(0, 1, 0, "rank"), lambda: Batch(1, 1, 0, "best"),
                     lambda: Batch(1, 1, None, "rank")):
            try:
                call()
            except (IndexError, OverflowError, TypeError, ValueError):
                pass
        games.load(1, OVER)
        legal = games.legal_actions
        games.step(array("H", (legal[i, 0] for i in range(3))))
        views = (games.agent, games.observation, games.action_mask, games.rewards)
        del games, views, legal


def test_batches_do_not_grow_over_20000_rounds():
    assert_no_growth(batch_churn, 500, 20_000)


def test_players_and_the_arena_do_not_grow_the_process_over_many_calls():
    finished = PyVexlan.from_bytes(OVER)
    started = PyVexlan()
    engine_player = MctsPlayer(2)._engine

    def churn_players(rounds):
        for n in range(rounds):
            player = [RandomPlayer(n), GreedyPlayer(), MctsPlayer(2, seed=n)][n % 3]
            player.act(started)
            for call in (lambda: player.act(finished), lambda: engine_player.act(b"x"),
                         lambda: engine_player.act(None), lambda: MctsPlayer(threads=0),
                         lambda: play_games([player] * 3, 0, 0, 1), lambda: parse_player("x"),
                         lambda: evaluate([player] * 4, 3)):
                try:
                    call()
                except (TypeError, ValueError):
                    pass
            if n % 50 == 0:
                play_games([player, GreedyPlayer(), RandomPlayer(), RandomPlayer()], n, n, 1, 2)

    assert_no_growth(churn_players, 300, 6000, 512 * 1024)


def search_churn(rounds: int) -> None:
    from vexlan_rl._search import Search

    ones = array("f", [1.0]) * 8000
    for n in range(rounds):
        search = Search(2, 1 + n % 2, n, simulations=2, leaves=2, max_nodes=1 << 16)
        leaves = search.select()
        count = search.prior_offsets[leaves]
        for priors, values in ((ones[:count - 1], ones[:4 * leaves]), (ones[:count], array("d", [0.5] * 4 * leaves)),
                               (ones[:count], array("f", [2.0] * 4 * leaves)), (b"x", ones), (None, None)):
            try:
                search.expand(priors, values)
            except (TypeError, ValueError):
                pass
        search.expand(ones[:count], array("f", [0.5] * 4 * leaves))
        while search.select():
            search.expand(ones[:search.prior_offsets[search.pending]], array("f", [0.5] * 4 * search.pending))
        for bad in ([0], [0, 36399], [0, "x"], 3.5):
            try:
                search.step(bad)
            except (TypeError, ValueError):
                pass
        for call in (lambda: search.state(2), lambda: Search(0, 1, 0), lambda: Search(1, 1, 0, leaves=0),
                     lambda: Search(1, 1, 0, temperature=float("nan"))):
            try:
                call()
            except (OverflowError, TypeError, ValueError):
                pass
        search.step(search.moves)
        views = (search.policy, search.observation, search.leaf_observation, search.prior_offsets)
        del search, views


def test_searches_do_not_grow_over_2000_rounds():
    assert_no_growth(search_churn, 100, 2000)
