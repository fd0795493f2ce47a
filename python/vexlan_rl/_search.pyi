"""A tree search over many games whose leaves are judged in batches, into buffers read through memoryviews."""

from typing import final

@final
class Search:
    """A PUCT search over many games whose leaves are evaluated in batches."""

    def __new__(cls, num_games: object, threads: object, seed: object, *, simulations: object = 64,
                leaves: object = 8, exploration: object = 1.5, noise_alpha: object = 0.3,
                noise_fraction: object = 0.25, temperature: object = 1.0, reward_mode: object = "rank",
                autoreset: object = True, max_nodes: object = 1048576) -> Search:
        """`num_games` new games, each with its own tree, searched by `threads` threads."""
    def select(self, /) -> int:
        """One round of selections: writes the new leaves into the leaf_* buffers and returns how many; 0 once
        every tree has its budget, when policy and moves are written."""
    def expand(self, /, priors: object, values: object) -> None:
        """Hands back the evaluation of the pending leaves: float32 priors over each leaf's legal moves, one
        list after the other, and four float32 values in [0, 1] per leaf, seats counted from its mover.
        ValueError, and no change, if they do not fit."""
    def step(self, actions: object, /) -> None:
        """Plays one grid index per game at its root, keeping the subtree below it; ValueError naming the
        first game whose action is not legal, and no change, if any is not."""
    def reset(self, /, seed: int | None = None) -> None:
        """Starts a new game and tree in every slot, dropping leaves that wait; a seed restarts the trees'
        draws."""
    def load(self, /, game: int, state: bytes) -> None:
        """Puts a saved game into one slot with a new tree, and passes its done seats; ValueError, and no
        change, for bytes that are no valid state."""
    def state(self, game: int, /) -> bytes:
        """The 278-byte state of one game's root position."""
    def __copy__(self) -> Search:
        """Refused: a search's threads, trees and buffers are its own."""
    def __deepcopy__(self, memo: object) -> Search:
        """Refused, as copies are."""
    @property
    def agent(self) -> memoryview:
        """The seat to move at each root."""
    @property
    def observation(self) -> memoryview:
        """Each root's planes, in its mover's frame."""
    @property
    def pieces(self) -> memoryview:
        """Each root's pieces in hand, seats counted from its mover."""
    @property
    def done(self) -> memoryview:
        """Each root's seats out of moves, counted from its mover."""
    @property
    def legal_count(self) -> memoryview:
        """How many legal moves each root's mover has."""
    @property
    def legal_actions(self) -> memoryview:
        """Row i starts with root i's legal grid indices."""
    @property
    def rewards(self) -> memoryview:
        """The outcome of a game the last step ended, else zero; absolute seats."""
    @property
    def terminated(self) -> memoryview:
        """Whether the last step ended each game."""
    @property
    def policy(self) -> memoryview:
        """Each root's visit distribution, aligned with its legal_actions row."""
    @property
    def moves(self) -> memoryview:
        """The move drawn for each game after the search; -1 where none."""
    @property
    def leaf_agent(self) -> memoryview:
        """The seat to move at each pending leaf."""
    @property
    def leaf_observation(self) -> memoryview:
        """Each pending leaf's planes."""
    @property
    def leaf_pieces(self) -> memoryview:
        """Each pending leaf's pieces in hand."""
    @property
    def leaf_done(self) -> memoryview:
        """Each pending leaf's seats out of moves."""
    @property
    def leaf_legal_count(self) -> memoryview:
        """How many legal moves each pending leaf has."""
    @property
    def leaf_legal_actions(self) -> memoryview:
        """Row i starts with leaf i's legal grid indices."""
    @property
    def prior_offsets(self) -> memoryview:
        """Where each leaf's priors start in expand()'s list, and the end."""
    @property
    def leaf_games(self) -> memoryview:
        """The game of each pending leaf."""
    @property
    def num_games(self) -> int:
        """How many games are searched together."""
    @property
    def threads(self) -> int:
        """Threads of the tree work, the calling thread included."""
    @property
    def simulations(self) -> int:
        """A move's budget: new visits of the root's children."""
    @property
    def leaves(self) -> int:
        """Most leaves a tree sends to one round."""
    @property
    def pending(self) -> int:
        """Leaves waiting for expand()."""
    @property
    def evaluated_leaves(self) -> int:
        """Leaf evaluations handed back so far."""
    @property
    def requested_leaves(self) -> int:
        """Leaves the trees could take in the rounds so far (leaves per round, or fewer near the budget)."""
    @property
    def temperature(self) -> float:
        """Moves are drawn by visits ** (1 / temperature); 0 takes the most visited."""
    @temperature.setter
    def temperature(self, value: float) -> None: ...
