"""Many games stepped together on worker threads, into buffers read through memoryviews."""

from typing import final

MAX_LEGAL_ACTIONS: int
"""The length of a legal-move row: every placement of the action set."""

@final
class Batch:
    """Many games stepped together on worker threads."""

    def __new__(cls, num_games: object, threads: object, seed: object, reward_mode: object,
                autoreset: object = True, dense_mask: object = False) -> Batch:
        """`num_games` new games, stepped by `threads` threads; `seed` seeds each slot's random stream."""
    def step(self, actions: object, /) -> None:
        """Plays one grid index per game, in each mover's frame; ValueError naming the first refused slot, and
        no change, if any is illegal."""
    def step_random(self, /) -> None:
        """Plays a uniformly random legal move in every game, from each slot's own seeded stream."""
    def reset(self, /, seed: int | None = None) -> None:
        """Starts a new game in every slot; a seed restarts the random streams."""
    def state(self, slot: int, /) -> bytes:
        """The 278-byte state of one slot's game."""
    def legal(self, slot: int, /) -> memoryview:
        """The legal grid indices of one slot's mover: a view of its row of legal_actions."""
    def __copy__(self) -> Batch:
        """Refused: a batch's threads and buffers are its own."""
    def __deepcopy__(self, memo: object) -> Batch:
        """Refused, as copies are."""
    def load(self, /, slot: int, state: bytes) -> None:
        """Puts a saved game into a slot and passes its done seats."""
    @property
    def agent(self) -> memoryview:
        """The seat to move, per game."""
    @property
    def observation(self) -> memoryview:
        """Occupied, corner and blocked planes of the four seats, in the mover's frame."""
    @property
    def pieces(self) -> memoryview:
        """The pieces each seat still has, seats counted from the mover."""
    @property
    def done(self) -> memoryview:
        """Whether each seat is out of moves, seats counted from the mover."""
    @property
    def rewards(self) -> memoryview:
        """The four seats' outcome on the step that ended a game, else zero; absolute seat order."""
    @property
    def terminated(self) -> memoryview:
        """Whether the last step ended the game (or it is over and not reset)."""
    @property
    def legal_count(self) -> memoryview:
        """How many legal moves the mover has."""
    @property
    def legal_actions(self) -> memoryview:
        """Row i starts with the mover's legal grid indices, legal_count[i] of them."""
    @property
    def action_mask(self) -> memoryview | None:
        """The dense action masks, or None unless built with them."""
    @property
    def num_games(self) -> int:
        """How many games the batch steps together."""
    @property
    def threads(self) -> int:
        """How many threads step them, the calling thread included."""
