"""How many games a rating gap needs. Synthetic games of four whose finishing orders are drawn from
the Plackett-Luce model itself (skills known exactly: a gap of d in mu puts the better player ahead
of the other with probability 1 / (1 + exp(-d / (2 beta))), 2 beta = 8.33): players A and B, d
apart, with two players midway, rated from the prior as the league rates them. For each gap it
prints the games after which the ratings put A above B in 95 % of the runs, and after which, in half
of the runs, A's and B's 95 % intervals have parted (mu_A - mu_B > 1.96 sqrt(sigma_A^2 + sigma_B^2)).

    python bench/rating_gaps.py [--runs R] [--games N]
"""

import argparse
import math
import random

from vexlan_rl.players.ratings import BETA, INITIAL, rate_game

GAPS = (2.0, 4.0, 8.0, 16.0)


def finishing_places(skills: list[float], rng: random.Random) -> list[float]:
    """Places drawn from Plackett-Luce: first the player chosen with odds exp(skill / (2 beta)), then
    the next among the rest, and so on."""
    left = list(range(len(skills)))
    places = [0.0] * len(skills)
    for place in range(1, len(skills) + 1):
        weights = [math.exp(skills[player] / (2 * BETA)) for player in left]
        chosen = rng.choices(left, weights)[0]
        places[chosen] = float(place)
        left.remove(chosen)
    return places


def first_reaching(counts: list[int], runs: int, share: float) -> int | None:
    """The first game count (1-based) from which on `counts` / `runs` stays at or above `share`."""
    reached = None
    for games, count in enumerate(counts, start=1):
        if count >= share * runs:
            reached = reached or games
        else:
            reached = None
    return reached


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--games", type=int, default=1200)
    arguments = parser.parse_args()
    print(f"{arguments.runs} runs of {arguments.games} games for each gap")
    print(f"{'gap in mu':>9}  {'A ahead of B':>12}  {'games: order right in 95 %':>26}  "
          f"{'games: intervals parted in half':>31}  {'sigma after 100, 400 games':>26}")
    for gap in GAPS:
        skills = [gap / 2, -gap / 2, 0.0, 0.0]
        ordered = [0] * arguments.games
        parted = [0] * arguments.games
        sigmas: dict[int, list[float]] = {100: [], 400: []}
        for run in range(arguments.runs):
            rng = random.Random(f"{gap}/{run}")
            ratings = [INITIAL] * 4
            for game in range(arguments.games):
                ratings = rate_game(ratings, finishing_places(skills, rng))
                a, b = ratings[0], ratings[1]
                ordered[game] += a.mu > b.mu
                parted[game] += a.mu - b.mu > 1.96 * math.hypot(a.sigma, b.sigma)
                if game + 1 in sigmas:
                    sigmas[game + 1].append(a.sigma)
        ahead = 1 / (1 + math.exp(-gap / (2 * BETA)))
        order_games = first_reaching(ordered, arguments.runs, 0.95)
        parted_games = first_reaching(parted, arguments.runs, 0.5)
        sigma_text = ", ".join(f"{sum(values) / len(values):.2f}" for values in sigmas.values() if values)
        print(f"{gap:9.0f}  {ahead:12.2f}  {order_games or f'> {arguments.games}':>26}  "
              f"{parted_games or f'> {arguments.games}':>31}  {sigma_text:>26}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
