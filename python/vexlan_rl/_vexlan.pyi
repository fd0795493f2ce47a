from typing import ClassVar, final

__all__ = ["PyVexlan", "PyObservation"]

class PanicException(BaseException):
    """An internal fault of the engine. Only the call that met it was abandoned."""

@final
class PyVexlan:
    num_actions: ClassVar[int]
    action_grid_shape: ClassVar[tuple[int, int, int]]
    reward_modes: ClassVar[tuple[str, str, str]]
    piece_names: ClassVar[tuple[str, ...]]

    def __new__(cls) -> PyVexlan: ...
    def reset(self) -> None: ...
    def step(self, action_idx: int | None) -> None: ...
    def observe(self, agent_idx: int) -> PyObservation: ...
    def legal_actions(self, agent_idx: int) -> list[int]:
        """The legal grid indices of `agent_idx` in its own frame, in the order of `observe`'s search."""
    def outcome(self, mode: str) -> list[float] | None:
        """The final rewards in `mode`, one of `reward_modes`, None until the game is over."""
    def to_bytes(self) -> bytes:
        """The game state as bytes, restore it with `from_bytes`."""
    def __getstate__(self) -> bytes:
        """Pickles the game as its `to_bytes` state."""
    def __setstate__(self, state: bytes) -> None: ...
    @staticmethod
    def from_bytes(data: bytes) -> PyVexlan: ...
    def copy(self) -> PyVexlan:
        """An independent copy of the game."""
    def __copy__(self) -> PyVexlan: ...
    def __deepcopy__(self, _memo: object) -> PyVexlan: ...
    def render(self) -> None: ...
    @property
    def agents(self) -> list[int]: ...
    @property
    def agent_selection(self) -> int: ...
    @property
    def terminations(self) -> list[bool]: ...
    @property
    def is_over(self) -> bool: ...
    @property
    def ply(self) -> int:
        """The number of placements made so far, by all agents."""
    @property
    def scores(self) -> list[int]:
        """Every agent's official score as if the game ended now."""
    @property
    def rewards(self) -> list[int | None]:
        """The score of every agent that is done, None for the others."""

@final
class PyObservation:
    """An observation as bytes of 0/1, cheap to wrap with `numpy.frombuffer`. Agents are in
    agent-relative order, see `Observation`."""

    @property
    def observation(self) -> bytes:
        """The occupied cells in (agent, row, col) order."""
    @property
    def corners(self) -> bytes:
        """The cells each agent's next piece can attach to, in (agent, row, col) order."""
    @property
    def blocked(self) -> bytes:
        """The cells each agent can never fill, in (agent, row, col) order."""
    @property
    def pieces(self) -> bytes:
        """The pieces each agent still has, in (agent, piece) order."""
    @property
    def done(self) -> bytes:
        """Whether each agent is out of moves."""
    @property
    def action_mask(self) -> bytes:
        """The action mask over the flattened action grid."""
