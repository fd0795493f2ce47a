"""The engine players: random, greedy and tree search, each played in C++
with the interpreter released, behind one Python `Player` interface."""

from collections.abc import Callable
from typing import Any

from vexlan_rl._players import Player as _EnginePlayer
from vexlan_rl._vexlan import PyVexlan

SEED_MODULUS = 2**64  # the engine's seeds are 64-bit; larger seeds are taken modulo this
DEFAULTS = _EnginePlayer.DEFAULTS


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
        self._engine.reseed(seed % SEED_MODULUS)

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self._spec}>"


class RandomPlayer(Player):
    """Uniform over the legal placements, seeded."""

    def __init__(self, seed: int = 0) -> None:
        super().__init__(_EnginePlayer("random", seed=seed % SEED_MODULUS), "random", {"seed": seed})


class GreedyPlayer(Player):
    """The best placement by the one-ply greedy score; see `vexlan_rl.players`."""

    def __init__(self) -> None:
        super().__init__(_EnginePlayer("greedy"), "greedy", {})


class MctsPlayer(Player):
    """A UCT tree search for four agents with max^n backups; see `vexlan_rl.players`.

    `simulations` a move, or `seconds` a move when given; `threads` independent
    trees whose root visits are summed; `playout` "random" or "greedy";
    `reward_mode` one of `PyVexlan.reward_modes`, what each agent maximises;
    `exploration` the UCB1 constant (rewards lie in [0, 1]); `widening` 0 to
    consider every move at once; `max_nodes` the node pool of one tree."""

    def __init__(self, simulations: int = DEFAULTS["simulations"], *, seconds: float | None = None,
                 threads: int = DEFAULTS["threads"], playout: str = DEFAULTS["playout"],
                 reward_mode: str = DEFAULTS["reward_mode"], exploration: float = DEFAULTS["exploration"],
                 widening: float = DEFAULTS["widening"], max_nodes: int = DEFAULTS["max_nodes"],
                 seed: int = 0) -> None:
        if seconds is not None and not seconds > 0:
            raise ValueError(f"seconds must be > 0 when given, not {seconds!r}")
        budget = f"{seconds:g}s" if seconds is not None else str(simulations)
        spec = f"mcts:{budget}" + (f":{playout}" if playout != DEFAULTS["playout"] else "")
        super().__init__(_EnginePlayer(
            "mcts", seed=seed % SEED_MODULUS, simulations=simulations, seconds=seconds or 0.0, threads=threads,
            playout=playout, reward_mode=reward_mode, exploration=exploration, widening=widening,
            max_nodes=max_nodes), spec, {
                "simulations": simulations, "seconds": seconds, "threads": threads, "playout": playout,
                "reward_mode": reward_mode, "exploration": exploration, "widening": widening,
                "max_nodes": max_nodes, "seed": seed})

    @property
    def last_simulations(self) -> int:
        """Simulations run by the last act(), over all threads."""
        return self._engine.last_simulations
