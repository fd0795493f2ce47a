"""Opponents: engine players that choose moves, and an arena that ranks them.

    from vexlan_rl import PyVexlan
    from vexlan_rl.players import GreedyPlayer, MctsPlayer, evaluate, parse_players

    game = PyVexlan()
    game.step(MctsPlayer(simulations=500, seed=1).act(game))

    for result in evaluate(parse_players("mcts:500,greedy,random,random"), games=40, seed=1, threads=2):
        print(result.player, result.win_share)

Every player has `act(game) -> int`: the grid index, in the mover's own
frame, of its move for the agent to move, ready for `game.step`. The search
runs in C++ with the interpreter released. In the PettingZoo environment,
pass the environment's game: `player.act(env.unwrapped.game)`.

The kinds, as `parse_player` reads them:

- "random": uniform over the legal placements, from a seeded stream.
- "greedy": the best placement by a one-ply score, ties to the first
  listed: the biggest piece first, then the most attach corners gained for
  itself plus taken from the others. It never draws at random.
- "mcts", "mcts:N", "mcts:Ts", "mcts:N:greedy": a UCT tree search for four
  agents with max^n backups (each agent picks the moves best for itself) of
  N simulations a move (default 1000) or T seconds, with random (default) or
  greedy-policy playouts. Moves are considered in order of the greedy score,
  a node with n visits trying about `widening` * sqrt(n) of them. With a
  simulation budget its moves depend only on its seed and the positions,
  on any number of threads.

`evaluate` plays games in C++ threads and seats player (s + g) % 4 in seat s
of game g, so that every player sits in every seat equally often. Each game
seeds its players from (seed, game number, player), so a result depends on
`seed` and the game numbers only, not on the thread count: `play_games` plays
any range of game numbers, and the records of ranges played apart (on other
machines, say) give the same `summarize` as one run.

`summarize` gives each player's win share and mean rank with Wilson score
intervals, which stay honest when every game ends alike, its mean score with
Student's t interval (see `vexlan_rl.intervals`), and, where openskill is
installed (the `ratings` extra), its Plackett-Luce rating fitted game by game
in game order (see `vexlan_rl.ratings` and docs/ratings.md).
"""

import time
from collections.abc import Callable, Sequence
from typing import TYPE_CHECKING, Any, NamedTuple

from vexlan_rl._engine import NUM_SEATS, SCORE_RANGE
from vexlan_rl._players import Player as _EnginePlayer
from vexlan_rl._players import play_games as _play_games
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.intervals import Estimate, student_t, wilson

if TYPE_CHECKING:
    from vexlan_rl.ratings import Rating

__all__ = [
    "KINDS", "Estimate", "GameRecord", "GreedyPlayer", "MctsPlayer", "Player", "PlayerResult", "RandomPlayer",
    "evaluate", "parse_player", "parse_players", "play_games", "summarize",
]

KINDS = _EnginePlayer.KINDS
SEATS = NUM_SEATS
_DEFAULTS = _EnginePlayer.DEFAULTS
SPEC_HELP = ("the kinds are random, greedy and mcts; mcts takes a budget and a playout policy: "
             "mcts:1000 (simulations a move), mcts:0.5s (seconds a move), mcts:1000:greedy (greedy playouts)")
_SEED_MODULUS = 2**64
_LOWEST_SCORE, _HIGHEST_SCORE = map(float, SCORE_RANGE)  # every cell in hand; every piece placed, the monomino last
_CHUNK_SECONDS = 0.25  # how long an evaluate chunk aims to take, between progress reports


def _rebuild(kind: "type[Player]", arguments: dict[str, Any]) -> "Player":
    return kind(**arguments)


class Player:
    """A player: `act(game)` chooses a move for the agent to move. A player pickles as its
    settings (so it can be sent to other processes), and unpickles as a new player made
    from them: its random choices start again from its seed."""

    def __init__(self, engine: _EnginePlayer, spec: str, arguments: dict[str, Any]) -> None:
        self._engine = engine
        self._spec = spec
        self._arguments = arguments

    def __reduce__(self) -> tuple[Callable[..., "Player"], tuple[type["Player"], dict[str, Any]]]:
        return _rebuild, (type(self), self._arguments)

    @property
    def spec(self) -> str:
        """The player as `parse_player` reads it, e.g. "mcts:1000"."""
        return self._spec

    def act(self, game: PyVexlan) -> int:
        """The grid index, in the mover's frame, of the move chosen for the agent to move.
        Raises ValueError when the game is over or that agent is done (it can only pass)."""
        return self._engine.act(game)

    def reseed(self, seed: int) -> None:
        """Restarts the player's random choices from `seed`."""
        self._engine.reseed(seed % _SEED_MODULUS)

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self._spec}>"


class RandomPlayer(Player):
    """Uniform over the legal placements, seeded."""

    def __init__(self, seed: int = 0) -> None:
        super().__init__(_EnginePlayer("random", seed=seed % _SEED_MODULUS), "random", {"seed": seed})


class GreedyPlayer(Player):
    """The best placement by the one-ply greedy score; see the module docstring."""

    def __init__(self) -> None:
        super().__init__(_EnginePlayer("greedy"), "greedy", {})


class MctsPlayer(Player):
    """A UCT tree search for four agents with max^n backups; see the module docstring.

    `simulations` a move, or `seconds` a move when given; `threads` independent
    trees whose root visits are summed; `playout` "random" or "greedy";
    `reward_mode` one of `PyVexlan.reward_modes`, what each agent maximises;
    `exploration` the UCB1 constant (rewards lie in [0, 1]); `widening` 0 to
    consider every move at once; `max_nodes` the node pool of one tree."""

    def __init__(self, simulations: int = _DEFAULTS["simulations"], *, seconds: float | None = None,
                 threads: int = _DEFAULTS["threads"], playout: str = _DEFAULTS["playout"],
                 reward_mode: str = _DEFAULTS["reward_mode"], exploration: float = _DEFAULTS["exploration"],
                 widening: float = _DEFAULTS["widening"], max_nodes: int = _DEFAULTS["max_nodes"],
                 seed: int = 0) -> None:
        if seconds is not None and not seconds > 0:
            raise ValueError(f"seconds must be > 0 when given, not {seconds!r}")
        budget = f"{seconds:g}s" if seconds is not None else str(simulations)
        spec = f"mcts:{budget}" + (f":{playout}" if playout != _DEFAULTS["playout"] else "")
        super().__init__(_EnginePlayer(
            "mcts", seed=seed % _SEED_MODULUS, simulations=simulations, seconds=seconds or 0.0, threads=threads,
            playout=playout, reward_mode=reward_mode, exploration=exploration, widening=widening,
            max_nodes=max_nodes), spec, {
                "simulations": simulations, "seconds": seconds, "threads": threads, "playout": playout,
                "reward_mode": reward_mode, "exploration": exploration, "widening": widening,
                "max_nodes": max_nodes, "seed": seed})

    @property
    def last_simulations(self) -> int:
        """Simulations run by the last act(), over all threads."""
        return self._engine.last_simulations


# --- specs ---

def _budget(text: str) -> dict[str, float | int]:
    if text.endswith("s"):
        seconds = float(text[:-1])
        if not 0 < seconds <= _EnginePlayer.MAX_SECONDS:
            raise ValueError
        return {"seconds": seconds}
    simulations = int(text)
    if simulations < 1:
        raise ValueError
    return {"simulations": simulations}


def parse_player(text: str) -> Player:
    """The player that `text` names; ValueError naming the valid kinds otherwise."""
    kind, *options = text.strip().split(":")
    try:
        if kind in ("random", "greedy") and not options:
            return RandomPlayer() if kind == "random" else GreedyPlayer()
        if kind == "mcts" and len(options) <= 2:
            budget = _budget(options[0]) if options else {}
            playout = options[1] if len(options) == 2 else _DEFAULTS["playout"]
            if playout in _EnginePlayer.PLAYOUTS:
                return MctsPlayer(playout=playout, **budget)  # type: ignore[arg-type]
    except ValueError:
        pass
    raise ValueError(f"bad player {text!r}: {SPEC_HELP}")


def parse_players(text: str) -> list[Player]:
    """Four players from a comma-separated list, e.g. "mcts:1000,greedy,random,random"."""
    players = [parse_player(part) for part in text.split(",")]
    if len(players) != SEATS:
        raise ValueError(f"need {SEATS} players, one per seat, not {len(players)}: {text!r}")
    return players


# --- the arena ---

class GameRecord(NamedTuple):
    """One arena game, each field by absolute seat."""
    players: tuple[int, int, int, int]  # the index of the player in each seat
    scores: tuple[int, int, int, int]
    win_shares: tuple[float, float, float, float]
    places: tuple[float, float, float, float]  # 1 best .. 4; tied agents share the mean of their places
    plies: int
    moves: tuple[int, ...] = ()  # the grid indices placed, each in its mover's frame, in play order


class PlayerResult(NamedTuple):
    player: str  # its spec
    games: int
    win_share: Estimate
    score: Estimate
    rank: Estimate  # 1 best .. 4
    rating: "Rating | None" = None  # None without openskill


def _check_lineup(players: Sequence[Player]) -> list[_EnginePlayer]:
    if len(players) != SEATS or not all(isinstance(player, Player) for player in players):
        raise ValueError(f"players must be {SEATS} Player objects, one per seat")
    return [player._engine for player in players]


def _check_count(name: str, value: int, minimum: int) -> None:
    if not isinstance(value, int) or value < minimum:
        raise ValueError(f"{name} must be a whole number >= {minimum}, not {value!r}")


def play_games(players: Sequence[Player], seed: int, first_game: int, count: int,
               threads: int = 1) -> list[GameRecord]:
    """Plays games first_game .. first_game + count - 1 on `threads` threads; one record per
    game, in game order. A shard of an evaluation: see the module docstring."""
    engines = _check_lineup(players)
    _check_count("first_game", first_game, 0)
    _check_count("count", count, 0)
    _check_count("threads", threads, 1)
    records = _play_games(engines, seed % _SEED_MODULUS, first_game, count, threads)
    # Places are whole or half numbers, computed in single precision; exact, tied places compare
    # equal to the places they share and read back as written.
    return [GameRecord(players, scores, shares, tuple(round(2.0 * place) / 2.0 for place in places),  # type: ignore[arg-type]
                       plies, moves)
            for players, scores, shares, places, plies, moves in records]


def _ratings(players: int, records: Sequence[GameRecord]) -> "list[Rating | None]":
    """The players' ratings after `records` in order; None each where openskill is missing."""
    try:
        from vexlan_rl.ratings import rate_games
    except ImportError as missing:
        if (missing.name or "").partition(".")[0] != "openskill":
            raise
        return [None] * players
    return list(rate_games(players, [(record.players, record.places) for record in records]))


def summarize(players: Sequence[Player], records: Sequence[GameRecord]) -> list[PlayerResult]:
    """Per player, in the order of `players`: win share, mean score, mean rank and rating over
    `records` (see the module docstring)."""
    if not records:
        raise ValueError("no games to summarize")
    results = []
    for index, (player, rating) in enumerate(zip(players, _ratings(len(players), records))):
        seats = [record.players.index(index) for record in records]
        results.append(PlayerResult(
            player.spec, len(records),
            wilson([record.win_shares[seat] for record, seat in zip(records, seats)], 0.0, 1.0),
            student_t([float(record.scores[seat]) for record, seat in zip(records, seats)], _LOWEST_SCORE,
                      _HIGHEST_SCORE),
            wilson([record.places[seat] for record, seat in zip(records, seats)], 1.0, float(SEATS)),
            rating,
        ))
    return results


def evaluate(players: Sequence[Player], games: int, seed: int = 0, threads: int = 1, *,
             progress: Callable[[int], None] | None = None) -> list[PlayerResult]:
    """Plays `games` games (a multiple of 4, so that every player sits in every seat equally
    often) on `threads` threads and summarizes them per player, in the order of `players`.
    `progress`, when given, is called with the number of games finished, now and then."""
    _check_lineup(players)
    if not isinstance(games, int) or games < SEATS or games % SEATS:
        raise ValueError(f"games must be a positive multiple of {SEATS}, so that every player sits in "
                         f"every seat equally often, not {games!r}")
    _check_count("threads", threads, 1)
    records: list[GameRecord] = []
    chunk = threads
    while len(records) < games:
        # Chunks of about _CHUNK_SECONDS keep progress reports and Ctrl-C timely; game numbers,
        # not chunks, decide every game, so the chunking changes no result.
        count = min(chunk, games - len(records))
        started = time.perf_counter()
        records += play_games(players, seed, len(records), count, threads)
        elapsed = time.perf_counter() - started
        chunk = max(threads, min(4 * chunk, int(count * _CHUNK_SECONDS / max(elapsed, 1e-6))))
        if progress is not None:
            progress(len(records))
    return summarize(players, records)
