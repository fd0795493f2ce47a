"""The engine of the four-player placement game: `PyVexlan`, one game, and
`PyObservation`, what one agent sees of it.

The docstrings here are what editors and typed tools show; the compiled
module's own docstrings are terse and fixed.
"""

from typing import ClassVar, final

__all__ = ["PyVexlan", "PyObservation"]

class PanicException(BaseException):
    """An internal fault of the engine. Only the call that met it was abandoned."""

@final
class PyVexlan:
    """One four-player game on a 20 x 20 board, driven as an agent cycle.

    Read `agent_selection`, `observe` that agent, choose a grid index whose
    byte in the observation's `action_mask` is 1 and `step` it; an agent that
    is done (see `terminations`) only passes, with None or any index. The game
    is over (`is_over`) when all four agents are done; then read `outcome`.

    Actions are grid indices of the (91, 20, 20) action grid, in the acting
    agent's own frame (the board turned so that its start corner is at the
    top left): orientation * 400 + row * 20 + column, where (row, column) is
    the top-left corner of the orientation's bounding box. `vexlan_rl.actions`
    turns them into pieces and cells and back.

    Each call takes shared (reading) or exclusive (`step`, `reset`,
    `__setstate__`) access to the game and fails at once with RuntimeError,
    "Already borrowed" or "Already mutably borrowed", if another thread's
    call conflicts; nothing ever waits. Not subclassable; no attributes of
    its own can be added. Equality and hashing are by identity.
    """

    num_actions: ClassVar[int]
    """36400: the positions of the flattened action grid, 91 x 20 x 20. Only
    30433 of them hold a placement; the others are never legal."""
    action_grid_shape: ClassVar[tuple[int, int, int]]
    """(91, 20, 20): orientation, anchor row, anchor column."""
    reward_modes: ClassVar[tuple[str, str, str]]
    """("score", "win_share", "rank"): the modes of `outcome`."""
    piece_names: ClassVar[tuple[str, ...]]
    """The 21 piece types in catalogue order, "I1" to "I5": entry i names bit i
    of an agent's pieces in hand and column i of `PyObservation.pieces`."""

    def __new__(cls) -> PyVexlan:
        """A new game: no piece placed, agent 0 to move, every agent holding all
        21 pieces."""
    def reset(self) -> None:
        """Puts the game back to its start, as `PyVexlan()` makes it."""
    def step(self, action_idx: int | None) -> None:
        """Plays `action_idx`, a grid index in the frame of the agent to move,
        and passes the turn to the next seat (done seats included).

        The placement must use a piece the agent still holds, cover no
        occupied cell, share no edge with the agent's own pieces and touch
        one of them at a corner; an agent's first piece must cover its start
        corner. Otherwise AssertionError("Invalid action: Action index not
        available") is raised and nothing changes: the same agent is still to
        move. None is refused too, unless the agent to move is done: then any
        value, None included, only passes its turn. A negative index or one
        of 2**64 or more is an OverflowError, a non-integer a TypeError.
        """
    def observe(self, agent_idx: int) -> PyObservation:
        """What agent `agent_idx` (0 to 3) sees, whoever is to move: the
        planes of every seat and its own legal moves, in its own frame.
        ValueError "Unknown agent N" for 4 or more."""
    def legal_actions(self, agent_idx: int) -> list[int]:
        """The legal grid indices of `agent_idx` in its own frame, in the order of `observe`'s search.

        The grid indices whose byte in `observe(agent_idx).action_mask` is 1,
        without building the rest of the observation; empty for an agent that
        is done. ValueError "Unknown agent N" for 4 or more."""
    def outcome(self, mode: str) -> list[float] | None:
        """The final rewards in `mode`, one of `reward_modes`, None until the game is over.

        "score": each agent's score. "win_share": 1 split equally among the
        agents with the top score, 0 for the others. "rank": the mean worth of
        the places an agent shares with those tied with it, places worth 1,
        2/3, 1/3 and 0 from best to worst. ValueError "Unknown reward mode ..."
        for any other text, even while the game runs.
        """
    def to_bytes(self) -> bytes:
        """The game state as bytes, restore it with `from_bytes`.

        278 bytes, format version 1: the version byte, then per agent its
        cells (64 bytes), pieces in hand (4 bytes) and latest piece (1 byte),
        then the seat to move. Done flags and placement counts are derived
        again on loading.
        """
    def __getstate__(self) -> bytes:
        """Pickles the game as its `to_bytes` state."""
    def __setstate__(self, state: bytes) -> None:
        """Replaces the whole game with the `to_bytes` state `state`; checked as
        by `from_bytes`, and on a ValueError the game is left as it was."""
    @staticmethod
    def from_bytes(data: bytes) -> PyVexlan:
        """A new game from a `to_bytes` state (a bytes object, not a bytearray).

        Checks the structure only: 278 bytes, version byte 1, seat to move 0
        to 3, each agent's cells on the 400 board cells, no piece bit above 20
        and a latest-piece byte that is 0 or a piece code. Anything else is a
        ValueError("Not a game state written by to_bytes() of this version").
        It does not check that the cells form legal placements, that agents'
        cells are disjoint, or that they agree with the pieces in hand: such
        states load, get their done flags computed, and play on under the
        usual rules.
        """
    def copy(self) -> PyVexlan:
        """An independent copy of the game."""
    def __copy__(self) -> PyVexlan:
        """An independent copy of the game, for `copy.copy`."""
    def __deepcopy__(self, _memo: object) -> PyVexlan:
        """An independent copy of the game, for `copy.deepcopy`; `_memo` is not used."""
    def render(self) -> None:
        """Prints the absolute board as 41 lines, 103 columns wide, with each
        agent's cells on a coloured background (blue, yellow, red, green for
        agents 0 to 3), to file descriptor 1 directly: redirecting `sys.stdout`
        does not capture it. `text()` gives the same text as a str,
        `vexlan_rl.render.compact_board` an 80-column form."""
    def text(self) -> str:
        """The text that `render` prints, without its final newline."""
    @property
    def agents(self) -> list[int]:
        """The seats, [0, 1, 2, 3]; agents move in this order."""
    @property
    def agent_selection(self) -> int:
        """The seat whose turn it is, 0 to 3."""
    @property
    def terminations(self) -> list[bool]:
        """Per seat, whether the agent is done: it has no legal placement left
        and from now on only passes its turns."""
    @property
    def is_over(self) -> bool:
        """Whether all four agents are done."""
    @property
    def ply(self) -> int:
        """The number of placements made so far, by all agents."""
    @property
    def scores(self) -> list[int]:
        """Every agent's official score as if the game ended now.

        Minus the squares of the pieces still in hand (-89 at the start), or,
        once all 21 are placed, 15, or 20 if the last piece was the monomino
        "I1".
        """
    @property
    def rewards(self) -> list[int | None]:
        """The score of every agent that is done, None for the others."""

@final
class PyObservation:
    """An observation as bytes of 0/1, cheap to wrap with `numpy.frombuffer`. Agents are in
    agent-relative order, see `Observation`.

    Seats are listed from the observer onward (seat 0 is the observer, seat 1
    the agent after it, ...), and rows and columns are those of the
    observer's frame, its start corner at the top left. Made only by
    `PyVexlan.observe`; a snapshot that never changes. Each property returns
    a new bytes object.
    """

    @property
    def observation(self) -> bytes:
        """The occupied cells in (agent, row, col) order.

        1600 bytes: byte k * 400 + row * 20 + column is 1 where seat k covers
        that cell."""
    @property
    def corners(self) -> bytes:
        """The cells each agent's next piece can attach to, in (agent, row, col) order.

        1600 bytes, laid out as `observation`: a seat's start corner until its
        first placement, then the free corner neighbours of its pieces."""
    @property
    def blocked(self) -> bytes:
        """The cells each agent can never fill, in (agent, row, col) order.

        1600 bytes, laid out as `observation`: every occupied cell and the
        edge neighbours of the seat's own pieces."""
    @property
    def pieces(self) -> bytes:
        """The pieces each agent still has, in (agent, piece) order.

        84 bytes: byte k * 21 + i is 1 while seat k holds the piece named
        `PyVexlan.piece_names[i]`."""
    @property
    def done(self) -> bytes:
        """Whether each agent is out of moves.

        4 bytes, one per seat from the observer onward."""
    @property
    def action_mask(self) -> bytes:
        """The action mask over the flattened action grid.

        36400 bytes: byte g is 1 where grid index g is a legal placement of
        the observer, read in its frame, the frame in which `PyVexlan.step`
        reads it. All 0 for an agent that is done."""
