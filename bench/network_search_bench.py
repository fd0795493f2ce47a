"""How much a search adds to a trained network, and what it costs, in one run:

- the network steering a search ("az:CKPT:N") against three copies of the bare network,
  seats rotated: playing its most likely move ("policy:CKPT"), and drawing its moves
  ("policy-sample:CKPT"). Both the searching player and the first are deterministic, so
  their games are the four seatings repeated; the drawn moves make every game another;
- the same searching player against three "mcts:1000" players (or --strong), seats rotated;

each with every player's win share (95% Wilson interval) and processor time per move,
measured around each player's own moves (a network's calls judge many games' positions at
once; its time per move is the call's time over the moves it chose).

    python bench/network_search_bench.py CKPT [--simulations 64] [--games 200] [--strong-games 100]
"""

import argparse
import sys
import time
from collections.abc import Sequence

from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.players import BatchedPlayer, Player, evaluate, parse_player


class Timed(BatchedPlayer):
    """`player`, unchanged in its moves, with the processor time of its moves counted: an
    engine player is seeded and asked once per game, as the arena does itself."""

    def __init__(self, player: Player) -> None:
        super().__init__(player.spec, {})
        self.player, self.seconds, self.moves = player, 0.0, 0

    def act_batch(self, games: Sequence[PyVexlan], seeds: Sequence[int]) -> list[int]:
        started = time.process_time()
        if isinstance(self.player, BatchedPlayer):
            moves = self.player.act_batch(games, seeds)
        else:
            moves = []
            for game, seed in zip(games, seeds):
                self.player.reseed(seed)
                moves.append(self.player.act(game))
        self.seconds += time.process_time() - started
        self.moves += len(moves)
        return moves


def table(title: str, specs: list[str], games: int, seed: int) -> None:
    players = [Timed(parse_player(spec)) for spec in specs]
    started = time.perf_counter()
    results = evaluate(players, games, seed=seed)
    print(f"\n{title}: {games} games, seats rotated, {time.perf_counter() - started:.0f} s")
    print(f"{'player':<52} {'win share':>24} {'mean rank':>10} {'CPU ms/move':>12}")
    for player, result in zip(players[:2], results[:2]):
        share = result.win_share
        print(f"{player.spec[-52:]:<52} {share.mean:>7.3f} [{share.low:.3f}, {share.high:.3f}]   "
              f"{result.rank.mean:>10.2f} {1000 * player.seconds / max(player.moves, 1):>12.2f}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("checkpoint")
    parser.add_argument("--simulations", type=int, default=64)
    parser.add_argument("--games", type=int, default=200, help="against the bare network (default: %(default)s)")
    parser.add_argument("--strong", default="mcts:1000", help="the strong opponent (default: %(default)s)")
    parser.add_argument("--strong-games", type=int, default=100, help="(default: %(default)s)")
    parser.add_argument("--seed", type=int, default=2026)
    arguments = parser.parse_args()
    searching = f"az:{arguments.checkpoint}:{arguments.simulations}"
    for kind in ("policy", "policy-sample"):
        bare = f"{kind}:{arguments.checkpoint}"
        table(f"search against the bare network ({kind})", [searching, bare, bare, bare], arguments.games,
              arguments.seed)
    if arguments.strong_games:
        strong = arguments.strong
        table(f"search against {strong}", [searching, strong, strong, strong], arguments.strong_games,
              arguments.seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
