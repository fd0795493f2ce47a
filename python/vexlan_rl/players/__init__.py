"""Opponents: engine players that choose moves, and an arena that ranks them.

    from vexlan_rl import PyVexlan
    from vexlan_rl.players import GreedyPlayer, MctsPlayer, evaluate, parse_players

    game = PyVexlan()
    game.step(MctsPlayer(simulations=500, seed=1).act(game))

    for result in evaluate(parse_players("mcts:500,greedy,random,random"), games=40, seed=1, threads=2):
        print(result.player, result.win_share)

Every player has `act(game) -> int`: the grid index, in the mover's own
frame, of its move for the agent to move, ready for `game.step`. The search
runs in C++ with the interpreter released. In the PettingZoo environment,
pass the environment's game: `player.act(env.unwrapped.game)`.

A trained network plays through `PolicyPlayer`, or steers a search through
`SearchPlayer` (both need torch, imported only when the name is first used):
"policy:PATH", "policy-sample:PATH" and "az:PATH:N" below.

The kinds, as `parse_player` reads them:

- "random": uniform over the legal placements, from a seeded stream.
- "greedy": the best placement by a one-ply score, ties to the first
  listed: the biggest piece first, then the most attach corners gained for
  itself plus taken from the others. It never draws at random.
- "mcts", "mcts:N", "mcts:Ts", "mcts:N:greedy": a UCT tree search for four
  agents with max^n backups (each agent picks the moves best for itself) of
  N simulations a move (default 1000) or T seconds, with random (default) or
  greedy-policy playouts. Moves are considered in order of the greedy score,
  a node with n visits trying about `widening` * sqrt(n) of them. With a
  simulation budget its moves depend only on its seed, the positions and
  the thread count (each thread count splits the budget over that many
  trees, which search differently).

- "policy:PATH", "policy-sample:PATH": the network saved at PATH by the
  trainer (`python -m vexlan_rl train`), playing its most likely legal move,
  or drawing its move from its distribution over the legal moves.
- "az:PATH:N": the same network judging the leaves of a four-agent PUCT
  search (`vexlan_rl.search`) of N simulations a move, its policy the priors
  and its values the leaves' values; it plays the most visited move. Every
  game waiting on it is searched in one batched search, each in its own tree.

`evaluate` plays games in C++ threads and seats player (s + g) % 4 in seat s
of game g, so that every player sits in every seat equally often. Each game
seeds its players from (seed, game number, player), so a result depends on
`seed` and the game numbers only, not on the thread count: `play_games` plays
any range of game numbers, and the records of ranges played apart (on other
machines, say) give the same `summarize` as one run. With a network at the
table the games are played from Python instead, many side by side, each
round's positions that wait on the network evaluated in one forward pass
(`vexlan_rl.players.mixed_arena`).
"""

from typing import Any

from vexlan_rl._engine import NUM_SEATS
from vexlan_rl.players.arena import GameRecord, PlayerResult, evaluate, play_games, summarize
from vexlan_rl.players.batched import BatchedPlayer
from vexlan_rl.players.engine import GreedyPlayer, MctsPlayer, Player, RandomPlayer
from vexlan_rl.players.intervals import Estimate
from vexlan_rl.players.specs import KINDS, parse_player, parse_players
from vexlan_rl.players.specs import SPEC_HELP as SPEC_HELP

__all__ = [
    "KINDS", "BatchedPlayer", "Estimate", "GameRecord", "GreedyPlayer", "MctsPlayer", "Player", "PlayerResult",
    "RandomPlayer", "evaluate", "parse_player", "parse_players", "play_games", "summarize",
]


def __getattr__(name: str) -> Any:
    # These import torch, so only on demand.
    if name == "PolicyPlayer":
        from vexlan_rl.players.policy import PolicyPlayer
        return PolicyPlayer
    if name == "SearchPlayer":
        from vexlan_rl.players.search_player import SearchPlayer
        return SearchPlayer
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


SEATS = NUM_SEATS  # a name of the module this package replaced
