"""Seeded random self-play through the public API, shared by the tests that walk real games."""

import numpy as np

from vexlan_rl import PyVexlan


def legal_indices(game: PyVexlan, agent: int) -> np.ndarray:
    """The grid indices whose byte in the agent's action mask is 1."""
    return np.flatnonzero(np.frombuffer(game.observe(agent).action_mask, dtype=np.bool_))


def choose(game: PyVexlan, rng: np.random.Generator) -> int | None:
    """A uniformly random legal action of the agent to move; None for a done agent."""
    seat = game.agent_selection
    if game.terminations[seat]:
        return None
    return int(rng.choice(legal_indices(game, seat)))


def play(seed: int, steps: int | None = None) -> tuple[PyVexlan, list[int | None]]:
    """Plays `steps` calls of `step` (all of them until the game is over when
    None) and returns the game with the actions it was given."""
    rng = np.random.default_rng(seed)
    game = PyVexlan()
    actions: list[int | None] = []
    while not game.is_over and (steps is None or len(actions) < steps):
        action = choose(game, rng)
        game.step(action)
        actions.append(action)
    return game, actions


def replay(actions: list[int | None]) -> PyVexlan:
    """A new game that has been given `actions`."""
    game = PyVexlan()
    for action in actions:
        game.step(action)
    return game
