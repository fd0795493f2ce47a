"""Smoke test of examples/rllib_ppo.py: one small training iteration on one
thread per process, a checkpoint, and the reloaded policy playing arena games,
which would stop at its first illegal move."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("ray", reason="Ray is not installed (pip install 'vexlan-rl[ray]'; tools/test-ray does)")
pytest.importorskip("torch", reason="torch is not installed (pip install -c tools/constraints.txt torch; tools/test-ray does)")

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "rllib_ppo.py"


def test_one_iteration_checkpoint_and_evaluation(tmp_path):
    checkpoint = tmp_path / "checkpoint"
    result = subprocess.run(
        [sys.executable, str(EXAMPLE), "--iterations", "1", "--batch", "200", "--epochs", "1", "--channels", "8",
         "--cpus", "1", "--eval-games", "4", "--checkpoint", str(checkpoint)],
        capture_output=True, text=True, timeout=600, env={**os.environ, "OMP_NUM_THREADS": "1"})
    assert result.returncode == 0, result.stderr[-3000:]
    assert re.search(r"^iteration 1: \d+ games so far, mean return per seat player_0 [\d.]+, "
                     r"player_1 [\d.]+, player_2 [\d.]+, player_3 [\d.]+, [\d.]+ s$", result.stdout, re.MULTILINE)
    assert (checkpoint / "learner_group" / "learner" / "rl_module" / "shared").is_dir()
    # The arena's table: every game's four win shares add up to 1, and so do the players' means.
    shares = re.findall(r"^\d: (trained policy|random)\s+([\d.]+) \[", result.stdout, re.MULTILINE)
    assert [player for player, _ in shares] == ["trained policy", "random", "random", "random"], result.stdout
    assert sum(float(share) for _, share in shares) == pytest.approx(1, abs=0.002)
