from typing import final

@final
class Player:
    def __new__(cls, kind: str, *, seed: int = 0, simulations: int = 1000, seconds: float = 0.0,
                threads: int = 1, playout: str = "random", reward_mode: str = "rank", exploration: float = 1.0,
                widening: float = 2.0, max_nodes: int = 4194304) -> Player: ...
    def act(self, state: bytes, /) -> int:
        """The grid index, in the mover's frame, of the move chosen for the agent to move in
        the game whose PyVexlan.to_bytes() is `state`."""
    def reseed(self, seed: int, /) -> None:
        """Restarts the player's random choices from `seed` (taken modulo 2**64)."""
    @property
    def last_simulations(self) -> int:
        """Simulations run by the last act() of a tree search, over all its threads; 0 otherwise."""

def play_games(players: list[Player] | tuple[Player, ...], seed: int, first_game: int, count: int,
               threads: int) -> list[tuple[tuple[int, int, int, int], tuple[int, int, int, int],
                                           tuple[float, float, float, float],
                                           tuple[float, float, float, float], int]]: ...
