"""Engine players and the arena; see vexlan_rl.players."""

from typing import ClassVar, TypedDict, final

from vexlan_rl._vexlan import PyVexlan

class _SearchDefaults(TypedDict):
    simulations: int
    seconds: float
    threads: int
    playout: str
    reward_mode: str
    exploration: float
    widening: float
    max_nodes: int

@final
class Player:
    """An engine player. Its settings' defaults are `DEFAULTS`, their bounds the other class attributes."""

    KINDS: ClassVar[tuple[str, ...]]
    """The kinds of player: "random", "greedy" and "mcts"."""
    PLAYOUTS: ClassVar[tuple[str, ...]]
    """How a tree search plays positions out: "random" or "greedy"."""
    DEFAULTS: ClassVar[_SearchDefaults]
    """The search settings that a player left without them gets."""
    MAX_SECONDS: ClassVar[float]
    """The longest time budget a move may have."""
    MAX_THREADS: ClassVar[int]
    """The most threads one search, or one arena call, may use."""
    MIN_NODES: ClassVar[int]
    """The smallest node pool a tree may have."""

    def __new__(cls, kind: str, *, seed: int = ..., simulations: int = ..., seconds: float = ...,
                threads: int = ..., playout: str = ..., reward_mode: str = ..., exploration: float = ...,
                widening: float = ..., max_nodes: int = ...) -> Player: ...
    def act(self, game: PyVexlan, /) -> int:
        """The grid index, in the mover's frame, of the move chosen for the agent to move in `game`, read in
        place; the search runs with the interpreter released and stops at Ctrl-C."""
    def reseed(self, seed: int, /) -> None:
        """Restarts the player's random choices from `seed`, 0 to 2**64 - 1."""
    @property
    def last_simulations(self) -> int:
        """Simulations run by the last act() of a tree search, over all its threads; 0 otherwise."""

def play_games(players: list[Player] | tuple[Player, ...], seed: int, first_game: int, count: int,
               threads: int, *, openings: int = ...) -> list[tuple[tuple[int, int, int, int], tuple[int, int, int, int],
                                           tuple[float, float, float, float],
                                           tuple[float, float, float, float], int, tuple[int, ...]]]: ...
def opening(seed: int, game_number: int, openings: int) -> tuple[int, ...]:
    """The first `openings` placements of game `game_number` of play_games(..., seed, ..., openings=openings),
    each uniform over the legal ones, as grid indices in their movers' frames; fewer if the game ends first.
    Games 4k .. 4k + 3, which rotate one lineup through the seats, share their opening."""
