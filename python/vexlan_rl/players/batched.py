"""Players that choose moves for many games in one call, such as a network that evaluates
every waiting position in one forward pass. The arena hands such a player all the games
that wait on it at once (see `vexlan_rl.players.mixed_arena`)."""

import hashlib
from collections.abc import Sequence
from typing import Any

from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.players.engine import SEED_MODULUS, Player


def move_seed(*parts: int) -> int:
    """A 64-bit seed that depends only on `parts` (say the arena's seed, a game number, a player
    and a ply), so that a move drawn from it is the same whichever other games share its batch."""
    text = "/".join(str(part) for part in parts).encode()
    return int.from_bytes(hashlib.blake2b(text, digest_size=8).digest(), "little")


def check_waiting(games: Sequence[PyVexlan]) -> None:
    """ValueError unless every game's agent to move can place a piece."""
    for game in games:
        if game.is_over or game.terminations[game.agent_selection]:
            raise ValueError("the game is over" if game.is_over else "the agent to move is done: it can only pass")


class BatchedPlayer(Player):
    """A player whose moves come from `act_batch`; subclasses implement it. Its random
    choices, if any, are drawn from one seed per move, so that a game's moves do not depend
    on which other games were decided in the same call."""

    def __init__(self, spec: str, arguments: dict[str, Any], seed: int = 0) -> None:
        # No engine player: the base class's engine methods are all overridden here.
        self._spec = spec
        self._arguments = arguments
        self._seed = seed % SEED_MODULUS
        self._moves = 0

    def act_batch(self, games: Sequence[PyVexlan], seeds: Sequence[int]) -> list[int]:
        """The grid index, in its mover's frame, of the move chosen in each game, where every
        game's agent to move has a legal placement; `seeds[i]` seeds game i's random choice."""
        raise NotImplementedError

    def act(self, game: PyVexlan) -> int:
        self._moves += 1
        return self.act_batch([game], [move_seed(self._seed, self._moves)])[0]

    def reseed(self, seed: int) -> None:
        self._seed = seed % SEED_MODULUS
        self._moves = 0

