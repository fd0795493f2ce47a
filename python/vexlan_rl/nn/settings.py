"""A training run's settings, all in one place and saved with every checkpoint."""

from dataclasses import asdict, dataclass, field
from typing import Any

from vexlan_rl.nn.alphazero import AlphaZeroSettings
from vexlan_rl.nn.network import NetworkSettings
from vexlan_rl.nn.ppo import PpoSettings
from vexlan_rl.players.arena import MAX_OPENINGS

ALGORITHMS = ("ppo", "alphazero")


@dataclass(frozen=True)
class TrainSettings:
    algorithm: str = "ppo"  # ppo: self-play policy gradients; alphazero: learning from self-play searches
    games: int = 128  # games played side by side, each step one move in each
    rollout_steps: int = 32  # steps of every game between two updates
    seed: int = 0
    start_from: str = ""  # a checkpoint whose network (weights, size, reward mode) a new run starts from
    threads: int = 1  # torch's threads: a net this small gains little from a second, and on a shared machine loses
    eval_seconds: float = 120.0  # training time between evaluations (and kept snapshots)
    eval_games: int = 100
    eval_opponents: tuple[str, ...] = ("random", "greedy")  # each evaluated as three such players
    eval_simulations: int = 0  # > 0: evaluate the network steering a search of that many simulations a move
    # Random placements that open each evaluation game: one a seat, so that a network's most likely
    # move and the greedy player, which never draw at random, meet in many different games.
    eval_openings: int = 4
    save_games: bool = False  # keep every evaluation game as a record, under games/ in the run's folder
    checkpoint_seconds: float = 60.0
    network: NetworkSettings = field(default_factory=NetworkSettings)
    ppo: PpoSettings = field(default_factory=PpoSettings)
    alphazero: AlphaZeroSettings = field(default_factory=AlphaZeroSettings)

    def __post_init__(self) -> None:
        for name in ("games", "rollout_steps", "threads", "eval_games"):
            value = getattr(self, name)
            if not isinstance(value, int) or value < 1:
                raise ValueError(f"{name} must be a whole number >= 1, not {value!r}")
        if self.algorithm not in ALGORITHMS:
            raise ValueError(f"algorithm must be one of {', '.join(ALGORITHMS)}, not {self.algorithm!r}")
        if self.algorithm != "ppo" and self.ppo.opponent:
            raise ValueError("an engine opponent in training is for ppo; alphazero learns from self-play only")
        if self.algorithm != "ppo" and (self.ppo.openings or self.ppo.teacher):
            raise ValueError("random openings and a teacher in training are for ppo; alphazero learns from its "
                             "own searches, from the empty board")
        if not isinstance(self.eval_simulations, int) or self.eval_simulations < 0:
            raise ValueError(f"eval_simulations must be a whole number >= 0, not {self.eval_simulations!r}")
        if not isinstance(self.eval_openings, int) or not 0 <= self.eval_openings <= MAX_OPENINGS:
            raise ValueError(f"eval_openings must be a whole number from 0 to {MAX_OPENINGS}, not {self.eval_openings!r}")
        if self.eval_games % 4:
            raise ValueError(f"eval_games must be a multiple of 4 (seats are rotated), not {self.eval_games}")

    def to_dict(self) -> dict[str, Any]:
        return asdict(self)

    @classmethod
    def from_dict(cls, values: dict[str, Any]) -> "TrainSettings":
        # Checkpoints written before the search-trained runs lack their settings: PPO runs; those
        # written before evaluations had openings evaluated without them.
        return cls(**{"eval_openings": 0, **values, "eval_opponents": tuple(values["eval_opponents"]),
                      "network": NetworkSettings(**values["network"]), "ppo": PpoSettings(**values["ppo"]),
                      "alphazero": AlphaZeroSettings(**values.get("alphazero", {}))})
