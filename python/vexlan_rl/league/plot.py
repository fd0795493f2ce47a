"""A picture of the league: every player's rating against the games the league has played (needs
matplotlib: `pip install 'vexlan-rl[plot]'`)."""

from collections.abc import Sequence
from pathlib import Path

try:
    from matplotlib.figure import Figure
except ImportError as missing:
    raise ImportError(f"league plot needs matplotlib ({missing}); install it with: pip install 'vexlan-rl[plot]'",
                      name=missing.name) from missing

from vexlan_rl.players.intervals import Z_95
from vexlan_rl.league.store import LeaguePlayer
from vexlan_rl.players.ratings import INITIAL, Rating


def plot_ratings(players: Sequence[LeaguePlayer], history: Sequence[tuple[int, int, Rating]], games: int,
                 path: Path, title: str = "League ratings") -> None:
    """Writes a PNG to `path`: the mu of each player that has played, after every game that moved
    it, from the prior at game 0 to the league's `games` games, with its 95 % band (mu +- 1.96
    sigma); references dashed."""
    figure = Figure(figsize=(9, 5.5), dpi=110, layout="constrained")
    axes = figure.add_subplot()
    series: dict[int, list[tuple[int, Rating]]] = {player.id: [(0, INITIAL)] for player in players}
    for game, id, rating in history:
        series[id].append((game + 1, rating))
    for player in sorted((player for player in players if player.games), key=lambda player: -player.rating.mu):
        points = series[player.id] + [(games, series[player.id][-1][1])]
        x = [game for game, _ in points]
        mu = [rating.mu for _, rating in points]
        low = [rating.mu - Z_95 * rating.sigma for _, rating in points]
        high = [rating.mu + Z_95 * rating.sigma for _, rating in points]
        line, = axes.step(x, mu, where="post", linestyle="--" if player.reference else "-",
                          label=f"{player.spec}{' (reference)' if player.reference else ''}: "
                                f"{player.rating.mu:.1f} ± {player.rating.sigma:.1f}")
        axes.fill_between(x, low, high, step="post", alpha=0.12, color=line.get_color(), linewidth=0)
    axes.set_xlabel("games played by the league")
    axes.set_ylabel("rating μ (band: μ ± 1.96 σ)")
    axes.set_title(title)
    axes.grid(alpha=0.3)
    axes.legend(loc="best", fontsize="small")
    figure.savefig(path, format="png")
