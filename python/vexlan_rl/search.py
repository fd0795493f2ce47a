"""A tree search over many games at once, whose leaves any network judges in batches.

    from vexlan_rl.search import BatchedSearch, legal_priors

    search = BatchedSearch(256, threads=2, simulations=64, leaves=8)

    def evaluate(leaves):                        # one call per round, for every game's leaves
        logits, values = network(leaves.observation, leaves.pieces)   # (n, 36400), (n, 4) in [0, 1]
        return legal_priors(logits, leaves), values

    for _ in range(100):
        moves = search.run(evaluate)             # each game's move after the budget
        targets = search.policy                  # visit distributions over each root's legal moves
        search.step(moves)                       # plays them, keeping each tree's subtree

Each game has a four-seat PUCT tree: every seat picks the child best for its own value (max^n),
priors steer the search, Dirichlet noise is mixed into the root's priors, and several leaves of
one tree wait together (virtual loss). A round selects up to `leaves` leaves in every tree and
hands them to `evaluate` in one `Leaves`, laid out as `GameBatch`'s buffers:

- `observation` uint8 (n, 12, 20, 20), `pieces` uint8 (n, 4, 21), `done` uint8 (n, 4),
  `agent` uint8 (n,): each leaf as its mover sees it;
- `legal_count` int32 (n,) and `legal_actions` uint16 (n, MAX_LEGAL_ACTIONS): each leaf's legal
  grid indices, `legal_count[i]` of them at the start of row i;
- `prior_offsets` int64 (n + 1,): leaf i's priors are `priors[prior_offsets[i]:prior_offsets[i + 1]]`;
- `games` int32 (n,): the game each leaf belongs to.

`evaluate` returns float32 priors over every leaf's legal moves, one list after the other
(`prior_offsets[-1]` of them, non-negative, a positive sum per leaf), and float32 values (n, 4)
in [0, 1], seats counted from the leaf's mover as in its observation. An evaluation that does
not fit raises ValueError and changes no tree.

The tree work runs in C++ on `threads` threads with the interpreter released, and a long call
notices Ctrl-C. The arrays are read-only views of buffers that the next call rewrites.
"""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass
from typing import Any, NoReturn

try:
    import numpy as np
    import numpy.typing as npt
except ImportError as missing:
    raise ImportError("vexlan_rl.search needs numpy; install it with: pip install 'vexlan-rl[batch]' "
                      "(from a checkout: pip install '.[batch]')", name=missing.name) from missing

from vexlan_rl._search import Search

__all__ = ["BatchedSearch", "Evaluate", "Leaves", "legal_priors"]


@dataclass(frozen=True)
class Leaves:
    """The leaves of one round, as numpy views of the search's buffers."""

    agent: npt.NDArray[np.uint8]
    observation: npt.NDArray[np.uint8]
    pieces: npt.NDArray[np.uint8]
    done: npt.NDArray[np.uint8]
    legal_count: npt.NDArray[np.int32]
    legal_actions: npt.NDArray[np.uint16]
    prior_offsets: npt.NDArray[np.int64]
    games: npt.NDArray[np.int32]

    def __len__(self) -> int:
        return len(self.agent)

    def legal_flat(self) -> tuple[npt.NDArray[np.int64], npt.NDArray[np.int64]]:
        """Every leaf's legal moves, one list after the other, as (leaf index, grid index) pairs in
        the order of the priors."""
        counts = self.legal_count.astype(np.int64)
        rows = np.repeat(np.arange(len(counts)), counts)
        columns = np.arange(int(counts.sum())) - np.repeat(self.prior_offsets[:-1], counts)
        return rows, self.legal_actions[rows, columns].astype(np.int64)


Evaluate = Callable[[Leaves], tuple[Any, Any]]


def legal_priors(logits: Any, leaves: Leaves) -> npt.NDArray[np.float32]:
    """Priors over each leaf's legal moves from logits over every grid index ((n, 36400), a
    network's policy head): a softmax over the legal ones of each leaf, in the order expand wants."""
    rows, grid = leaves.legal_flat()
    picked: npt.NDArray[np.float64] = np.asarray(logits, dtype=np.float64)[rows, grid]
    if len(picked) == 0:
        return np.zeros(0, np.float32)
    starts = leaves.prior_offsets[:-1]
    shifted = np.exp(picked - np.repeat(np.maximum.reduceat(picked, starts), leaves.legal_count))
    priors: npt.NDArray[np.float32] = (shifted / np.repeat(np.add.reduceat(shifted, starts), leaves.legal_count)
                                       ).astype(np.float32)
    return priors


class BatchedSearch:
    """`num_games` games, each searched by its own tree, `simulations` new visits of the root's
    children a move (visits a kept subtree brings come on top); `leaves` leaves per tree wait in each round. `threads` threads do the tree
    work (the calling thread included). A game that ends is replaced by a new one in the same
    step (`autoreset`), with `rewards` and `terminated` reporting it, as `GameBatch` does."""

    def __init__(self, num_games: int, *, threads: int = 1, seed: int = 0, simulations: int = 64,
                 leaves: int = 8, exploration: float = 1.5, noise_alpha: float = 0.3,
                 noise_fraction: float = 0.25, temperature: float = 1.0, reward_mode: str = "rank",
                 autoreset: bool = True, max_nodes: int = 1 << 20) -> None:
        self._core = Search(num_games, threads, seed, simulations=simulations, leaves=leaves,
                            exploration=exploration, noise_alpha=noise_alpha, noise_fraction=noise_fraction,
                            temperature=temperature, reward_mode=reward_mode, autoreset=autoreset,
                            max_nodes=max_nodes)
        self.num_games: int = self._core.num_games
        self.agent: npt.NDArray[np.uint8] = np.asarray(self._core.agent)
        self.observation: npt.NDArray[np.uint8] = np.asarray(self._core.observation)
        self.pieces: npt.NDArray[np.uint8] = np.asarray(self._core.pieces)
        self.done: npt.NDArray[np.uint8] = np.asarray(self._core.done)
        self.legal_count: npt.NDArray[np.int32] = np.asarray(self._core.legal_count)
        self.legal_actions: npt.NDArray[np.uint16] = np.asarray(self._core.legal_actions)
        self.rewards: npt.NDArray[np.float32] = np.asarray(self._core.rewards)
        self.terminated: npt.NDArray[np.bool_] = np.asarray(self._core.terminated)
        self.policy: npt.NDArray[np.float32] = np.asarray(self._core.policy)
        self.moves: npt.NDArray[np.int64] = np.asarray(self._core.moves)

    @property
    def temperature(self) -> float:
        """Moves are drawn by visits ** (1 / temperature); 0 plays the most visited."""
        return self._core.temperature

    @temperature.setter
    def temperature(self, value: float) -> None:
        self._core.temperature = value

    @property
    def leaves_per_call(self) -> float:
        """Mean leaves per evaluation so far, against what the trees could take (1.0: every call full)."""
        requested = self._core.requested_leaves
        return self._core.evaluated_leaves / requested if requested else 1.0

    def select(self) -> Leaves | None:
        """One round's leaves, or None once every tree has its budget (then `policy` and `moves` are
        written)."""
        if self._core.select() == 0:
            return None
        core = self._core
        return Leaves(np.asarray(core.leaf_agent), np.asarray(core.leaf_observation), np.asarray(core.leaf_pieces),
                      np.asarray(core.leaf_done), np.asarray(core.leaf_legal_count),
                      np.asarray(core.leaf_legal_actions), np.asarray(core.prior_offsets), np.asarray(core.leaf_games))

    def expand(self, priors: Any, values: Any) -> None:
        """Hands back the evaluation of the last round's leaves (see the module's docstring)."""
        self._core.expand(np.ascontiguousarray(priors, dtype=np.float32),
                          np.ascontiguousarray(values, dtype=np.float32))

    def run(self, evaluate: Evaluate) -> npt.NDArray[np.int64]:
        """Searches every game to its budget, calling `evaluate` once a round, and returns each
        game's move (a copy of `moves`)."""
        while (leaves := self.select()) is not None:
            priors, values = evaluate(leaves)
            self.expand(priors, values)
        return self.moves.copy()

    def root_policy(self, game: int) -> tuple[npt.NDArray[np.uint16], npt.NDArray[np.float32]]:
        """One game's root moves and their visit distribution after the last search."""
        count = int(self.legal_count[game])
        return self.legal_actions[game, :count], self.policy[game, :count]

    def step(self, actions: Any = None) -> None:
        """Plays one grid index per game (the searched `moves` by default) and keeps each tree's
        subtree below its move; ValueError, and no change, if any is not legal at its root."""
        self._core.step(self.moves if actions is None else actions)

    def reset(self, seed: int | None = None) -> None:
        """A new game and tree in every slot, dropping any leaves that wait (after an interrupted
        `run`, say); a seed restarts the trees' draws."""
        self._core.reset(seed)

    def load(self, game: int, state: bytes) -> None:
        """Puts a saved game (278 state bytes, as `PyVexlan.to_bytes` writes them) into one slot with
        a new tree and passes its done seats: how a player searches the position it is handed.
        ValueError, and no change, for bytes that are no valid state."""
        self._core.load(game, state)

    def state(self, game: int) -> bytes:
        """The 278-byte state of one game's root, as `PyVexlan.to_bytes` writes it."""
        return self._core.state(game)

    def __copy__(self) -> NoReturn:
        raise TypeError("A BatchedSearch cannot be copied; make a new one")

    def __deepcopy__(self, memo: dict[int, Any]) -> NoReturn:
        self.__copy__()
