"""95 % confidence intervals for the means that the arena and the league report.

A win share or a place lies in a known range, so its mean gets a Wilson score
interval: it treats the mean as a proportion of the range, whose variance is
at most p (1 - p), and so stays honest at the extremes, where the sample's
own spread says nothing: 1,000 wins in 1,000 games give [0.9962, 1], not a
zero-width [1, 1]. A score's range (-89 to 20) is too wide for that bound to
be useful, so its mean gets Student's t interval, mean +- t s / sqrt(n).
"""

import math
import statistics
from collections.abc import Sequence
from typing import NamedTuple

Z_95 = statistics.NormalDist().inv_cdf(0.975)


class Estimate(NamedTuple):
    """A mean with its 95 % confidence interval, cut to the range the values can take."""
    mean: float
    low: float
    high: float


def wilson(values: Sequence[float], lowest: float, highest: float) -> Estimate:
    """The mean of `values`, each between `lowest` and `highest`, with its Wilson score interval."""
    count = len(values)
    mean = statistics.fmean(values)
    share = (mean - lowest) / (highest - lowest)
    shrink = 1.0 + Z_95 ** 2 / count
    centre = (share + Z_95 ** 2 / (2 * count)) / shrink
    half = Z_95 / shrink * math.sqrt(share * (1.0 - share) / count + Z_95 ** 2 / (4 * count ** 2))
    span = highest - lowest
    # At a bound the interval reaches it exactly, whatever the rounding of centre -+ half.
    low = lowest if share <= 0.0 else lowest + span * max(0.0, centre - half)
    high = highest if share >= 1.0 else lowest + span * min(1.0, centre + half)
    return Estimate(mean, low, high)


def student_t(values: Sequence[float], lowest: float, highest: float) -> Estimate:
    """The mean of `values` with Student's t interval; NaN bounds for fewer than two values."""
    mean = statistics.fmean(values)
    if len(values) < 2:
        return Estimate(mean, math.nan, math.nan)
    half = t_975(len(values) - 1) * statistics.stdev(values) / math.sqrt(len(values))
    return Estimate(mean, max(lowest, mean - half), min(highest, mean + half))


def t_975(degrees: int) -> float:
    """The 97.5th percentile of Student's t distribution: exact for one and two degrees of
    freedom, else the Cornish-Fisher expansion about the normal's (Abramowitz and Stegun
    26.7.5), within 0.2 % at three degrees and closer above."""
    if degrees == 1:
        return math.tan(math.pi * 0.475)
    if degrees == 2:
        return 0.95 / math.sqrt(2 * 0.975 * 0.025)
    z = Z_95
    terms = ((z ** 3 + z) / 4,
             (5 * z ** 5 + 16 * z ** 3 + 3 * z) / 96,
             (3 * z ** 7 + 19 * z ** 5 + 17 * z ** 3 - 15 * z) / 384,
             (79 * z ** 9 + 776 * z ** 7 + 1482 * z ** 5 - 1920 * z ** 3 - 945 * z) / 92160)
    return z + math.fsum(term / float(degrees) ** power for power, term in enumerate(terms, start=1))
