"""A league: a pool of players rated from games of four, kept in SQLite (needs
`pip install 'vexlan-rl[ratings]'`; `league plot` also needs the `plot` extra).

    from pathlib import Path
    from vexlan_rl.league import LeagueRun, LeagueStore, run_lock, standings

    path = Path("league.db")
    with run_lock(path), LeagueStore(path, writable=True) as store:
        pool = store.join(["greedy", "mcts:200"], references=["random", "mcts:50"], seed=1)
        LeagueRun(store, pool).play(games=400)
        for standing in standings(store.players(), store.games()):
            print(standing.player.spec, standing.player.rating)

The command line has it as `python -m vexlan_rl league run|show|plot`. How the
ratings read, and how many games a gap needs, is in docs/ratings.md.
"""

from vexlan_rl.league.lineups import choose_lineups, rated_in
from vexlan_rl.league.run import LeagueRun
from vexlan_rl.league.standings import Standing, standings
from vexlan_rl.league.store import GameRow, LeagueBusy, LeaguePlayer, LeagueStore, Match, run_lock

__all__ = ["GameRow", "LeagueBusy", "LeaguePlayer", "LeagueRun", "LeagueStore", "Match", "Standing",
           "choose_lineups", "rated_in", "run_lock", "standings"]
