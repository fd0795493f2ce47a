"""The learning curve of a run: win share against training time and agent steps, one line
per opponent with its 95% interval, from the run's evaluations.csv (needs matplotlib)."""

import csv
from pathlib import Path

from vexlan_rl._engine import NUM_SEATS


def draw_curve(run: str | Path) -> Path | None:
    """Draws run/curve.png from run/evaluations.csv; None where matplotlib is missing."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return None
    folder = Path(run)
    with (folder / "evaluations.csv").open(newline="") as stream:
        rows = list(csv.DictReader(stream))
    figure, axes = plt.subplots(1, 2, figsize=(11, 4), sharey=True)
    for opponent in dict.fromkeys(row["opponent"] for row in rows):
        mine = [row for row in rows if row["opponent"] == opponent]
        share, low, high = ([float(row[name]) for row in mine] for name in ("win_share", "low", "high"))
        for axis, x in zip(axes, ([float(row["train_seconds"]) / 60 for row in mine],
                                  [int(row["agent_steps"]) for row in mine])):
            axis.plot(x, share, marker="o", label=f"vs three {opponent}")
            axis.fill_between(x, low, high, alpha=0.2)
    for axis, label in zip(axes, ("training minutes", "agent steps")):
        axis.axhline(1 / NUM_SEATS, color="grey", linestyle="--", linewidth=1)
        axis.set_xlabel(label)
        axis.grid(alpha=0.3)
    axes[0].set_ylabel("win share, 95% interval")
    axes[0].set_ylim(0, 1)
    axes[0].legend()
    figure.tight_layout()
    path = folder / "curve.png"
    figure.savefig(path, dpi=100)
    plt.close(figure)
    return path
