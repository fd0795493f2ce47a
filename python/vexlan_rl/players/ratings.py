"""Plackett-Luce ratings from four-seat finishing orders (needs `pip install 'vexlan-rl[ratings]'`).

    from vexlan_rl.players.ratings import INITIAL, rate_game

    ratings = [INITIAL] * 4
    ratings = rate_game(ratings, places=[1.5, 1.5, 3.0, 4.0])  # two tied for first

A rating is a belief about a player's skill: a normal distribution with mean
`mu` and standard deviation `sigma` on openskill's scale, where a new player
is 25 +- 25/3 and `beta` = 25/6 is the spread of one game's performance
around the skill. `conservative` = mu - 3 sigma is a skill the player very
probably exceeds. Updates follow openskill's Plackett-Luce model (Weng and
Lin's Bayesian approximation), one game at a time, with no drift between
games (tau = 0): the players rated here do not change between games.

Tied players share a place. openskill's own tie handling has changed from one
release to the next, and each release has a free-for-all bug: in 6.0 and 6.2
two players tied for first gain no more than the player behind them, in 6.1.2
tied players get ratings that depend on the order they are listed in, and in
6.1.3 a four-way tie between equals raises every rating. So a tie goes to
openskill as every strict order that breaks it, each rated from the same
prior, and the player's new mean and variance are the means over those
orders: tied equals stay equal, a tie between equals changes no mean, and a
tie with a stronger player is worth more than losing to it and less than
beating it.
"""

import itertools
import math
from collections.abc import Iterable, Sequence
from typing import NamedTuple

try:
    from openskill.models import PlackettLuce, PlackettLuceRating
except ImportError as missing:
    raise ImportError(f"ratings need openskill ({missing}); install it with: pip install 'vexlan-rl[ratings]'",
                      name=missing.name) from missing

__all__ = ["INITIAL", "Rating", "draw_probability", "rate_game", "rate_games"]

MU, SIGMA = 25.0, 25.0 / 3.0
BETA = SIGMA / 2.0
_MODEL = PlackettLuce(mu=MU, sigma=SIGMA, beta=BETA, tau=0.0)


class Rating(NamedTuple):
    """A player's skill belief: mean `mu`, standard deviation `sigma`."""
    mu: float
    sigma: float

    @property
    def conservative(self) -> float:
        """mu - 3 sigma: a skill the player exceeds with probability about 0.999."""
        return self.mu - 3.0 * self.sigma


INITIAL = Rating(MU, SIGMA)


def strict_orders(places: Sequence[float]) -> list[list[int]]:
    """Every finishing order, best first, of the players with these places that breaks the ties
    among equal places in every possible way (one order when there is no tie)."""
    groups = [[player for player, place in enumerate(places) if place == value] for value in sorted(set(places))]
    return [list(itertools.chain.from_iterable(broken))
            for broken in itertools.product(*(itertools.permutations(group) for group in groups))]


def rate_game(ratings: Sequence[Rating], places: Sequence[float]) -> list[Rating]:
    """The players' ratings after one game between them, `places[i]` the finishing place of
    player i (lower is better; equal places are a tie)."""
    if len(ratings) != len(places) or len(ratings) < 2:
        raise ValueError(f"need a place for each of two or more players, not {len(places)} for {len(ratings)}")
    if not all(math.isfinite(place) for place in places):
        raise ValueError(f"places must be finite numbers, not {list(places)!r}")
    orders = strict_orders(places)
    means: list[list[float]] = [[] for _ in ratings]
    variances: list[list[float]] = [[] for _ in ratings]
    ranks = [0] * len(ratings)
    teams = [[PlackettLuceRating(rating.mu, rating.sigma)] for rating in ratings]  # rate() changes copies only
    for order in orders:
        for position, player in enumerate(order):
            ranks[player] = position
        for player, (updated,) in enumerate(_MODEL.rate(teams, ranks=list(ranks))):
            means[player].append(updated.mu)
            variances[player].append(updated.sigma ** 2)
    # fsum is exact, so tied players with equal ratings, who see the same values in another
    # order, end equal to the last bit.
    return [Rating(math.fsum(mean) / len(orders), math.sqrt(math.fsum(variance) / len(orders)))
            for mean, variance in zip(means, variances)]


def draw_probability(first: Rating, second: Rating) -> float:
    """openskill's chance that two players with these ratings draw: high for players of about
    the same skill whose ratings are well known, the games whose result says the most."""
    return _MODEL.predict_draw([[PlackettLuceRating(first.mu, first.sigma)],
                                [PlackettLuceRating(second.mu, second.sigma)]])


def rate_games(players: int, games: Iterable[tuple[Sequence[int], Sequence[float]]]) -> list[Rating]:
    """The ratings of `players` players, all new, after `games` in order: each game the players
    taking part (by index) and their places, in the same order."""
    ratings = [INITIAL] * players
    for seated, places in games:
        for player, rating in zip(seated, rate_game([ratings[player] for player in seated], places)):
            ratings[player] = rating
    return ratings
