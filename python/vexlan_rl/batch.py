"""Many games stepped together in C++, read through numpy arrays that share the engine's buffers.

    from vexlan_rl.batch import GameBatch

    games = GameBatch(256, threads=2, seed=7)
    rng = np.random.default_rng(0)
    for _ in range(1000):
        games.step(games.sample_actions(rng))   # or games.step_random(): the same, drawn in C++
        finished = games.terminated             # games that ended on this step
        outcome = games.rewards[finished]       # their four seats' rewards

Every slot holds one game. After every call, a slot's mover (`agent`) has a legal
move unless its game is over: seats that are out of moves are passed inside the
engine. The arrays are read-only views of buffers that each call rewrites in
place, so they always show the current positions; keep a `.copy()` of what must
outlive the next call. They stay valid after the batch itself is dropped.

- `agent` uint8 (N,): the seat to move.
- `observation` uint8 (N, 12, 20, 20): in the mover's own frame, planes 0-3 the
  cells each seat covers, 4-7 where each seat's next piece can attach, 8-11 where
  each seat can never go; seats counted from the mover, as `PyVexlan.observe`.
- `pieces` uint8 (N, 4, 21) and `done` uint8 (N, 4): pieces in hand and seats out
  of moves, seats counted from the mover.
- `legal_count` int32 (N,) and `legal_actions` uint16 (N, 30433): row i starts
  with the mover's legal grid indices, `legal_count[i]` of them, in
  `PyVexlan.legal_actions` order; the rest of the row is stale.
- `action_mask` uint8 (N, 36400): the same moves as a dense mask, only when built
  with `dense_mask=True` (else None).
- `rewards` float32 (N, 4): the four seats' outcome in `reward_mode`, in absolute
  seat order, on the step that ended the game; zero on every other step.
- `terminated` bool (N,): the last step ended the slot's game.

Autoreset (`autoreset=True`, the default) works as Gymnasium's "same-step" mode: a
game that ends is replaced within the same step, so `rewards` and `terminated`
report the ended game while `agent`, `observation` and the legal moves already
show the new one. The final position itself is not kept: a game only ever ends by
termination, so no learner needs its value. With `autoreset=False` a finished slot
keeps its final position, stays terminated and ignores its actions until `reset`
or `load`.

An action that is not legal in its slot raises ValueError naming the first such
slot, and no slot changes. Calls on one batch from several threads at once fail
with RuntimeError, as `PyVexlan`'s do; separate batches never interfere.
"""

from __future__ import annotations

from typing import Any, NoReturn

try:
    import numpy as np
    import numpy.typing as npt
except ImportError as missing:
    raise ImportError("vexlan_rl.batch needs numpy; install it with: pip install 'vexlan-rl[batch]' "
                      "(from a checkout: pip install '.[batch]')", name=missing.name) from missing

from vexlan_rl._batch import MAX_LEGAL_ACTIONS, Batch

__all__ = ["GameBatch", "MAX_LEGAL_ACTIONS"]


class GameBatch:
    """`num_games` games stepped together on `threads` worker threads (the calling thread
    included). `seed` seeds each slot's random stream for `step_random`; a slot's games
    depend only on the seed and the slot, never on the thread count."""

    def __init__(self, num_games: int, *, threads: int = 1, seed: int = 0, reward_mode: str = "win_share",
                 autoreset: bool = True, dense_mask: bool = False) -> None:
        self._core = Batch(num_games, threads, seed, reward_mode, autoreset, dense_mask)
        self.num_games: int = self._core.num_games
        self.threads: int = self._core.threads
        self.reward_mode = reward_mode
        self.autoreset = bool(autoreset)
        self.agent: npt.NDArray[np.uint8] = np.asarray(self._core.agent)
        self.observation: npt.NDArray[np.uint8] = np.asarray(self._core.observation)
        self.pieces: npt.NDArray[np.uint8] = np.asarray(self._core.pieces)
        self.done: npt.NDArray[np.uint8] = np.asarray(self._core.done)
        self.rewards: npt.NDArray[np.float32] = np.asarray(self._core.rewards)
        self.terminated: npt.NDArray[np.bool_] = np.asarray(self._core.terminated)
        self.legal_count: npt.NDArray[np.int32] = np.asarray(self._core.legal_count)
        self.legal_actions: npt.NDArray[np.uint16] = np.asarray(self._core.legal_actions)
        mask = self._core.action_mask
        self.action_mask: npt.NDArray[np.uint8] | None = None if mask is None else np.asarray(mask)
        self._slots = np.arange(self.num_games)

    def step(self, actions: Any) -> None:
        """Plays one grid index per slot, in that slot's mover's frame: any buffer of integers
        (a numpy array of any integer type) or a sequence of ints, `num_games` long."""
        self._core.step(actions)

    def step_random(self) -> None:
        """Plays a uniformly random legal move in every slot, drawn in C++ from the slot's stream."""
        self._core.step_random()

    def reset(self, seed: int | None = None) -> None:
        """Starts a new game in every slot; with a seed, every slot's random stream restarts from it."""
        self._core.reset(seed)

    def state(self, i: int) -> bytes:
        """The 278-byte state of slot i, as `PyVexlan.to_bytes` writes it (`PyVexlan.from_bytes` reads it)."""
        return self._core.state(i)

    def load(self, i: int, state: bytes) -> None:
        """Puts a saved game (278 state bytes) into slot i and passes its done seats; ValueError for
        bytes that are no valid state. A finished game shows as terminated; under autoreset, the next
        step replaces it."""
        self._core.load(i, state)

    def legal(self, i: int) -> npt.NDArray[np.uint16]:
        """The legal grid indices of slot i's mover (a read-only view); IndexError for a slot outside
        0 .. num_games - 1."""
        return np.asarray(self._core.legal(i))

    def sample_actions(self, rng: np.random.Generator) -> npt.NDArray[np.int64]:
        """A uniformly random legal grid index for every slot, chosen by numpy (any index for a
        finished slot, which ignores it)."""
        choice = (rng.random(self.num_games) * self.legal_count).astype(np.int64)
        return self.legal_actions[self._slots, choice].astype(np.int64)

    def __copy__(self) -> NoReturn:
        """Refused, as deep copies and pickles are: a batch's threads and buffers are its own."""
        raise TypeError("A GameBatch cannot be copied; make a new one, and move games with state() and load()")

    def __deepcopy__(self, memo: dict[int, Any]) -> NoReturn:
        self.__copy__()

    def __repr__(self) -> str:
        return f"GameBatch({self.num_games}, threads={self.threads}, reward_mode={self.reward_mode!r})"
