"""Type checks: the installed package and a typed usage example pass
`mypy --strict` with the settings of pyproject.toml, and mypy does see the
module's real types."""

import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("mypy")
pytest.importorskip("pettingzoo")

EXAMPLE = Path(__file__).with_name("typed_usage.py")
SETTINGS = Path(__file__).resolve().parents[2] / "pyproject.toml"  # [tool.mypy]


def mypy(directory: Path, *arguments: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "mypy", "--config-file", str(SETTINGS),
                           "--cache-dir", str(directory / "cache"), *arguments],
                          capture_output=True, text=True, timeout=300)


def test_package_and_example_pass_strict_mypy(tmp_path):
    package = mypy(tmp_path, "-p", "vexlan_rl")
    assert package.returncode == 0, package.stdout + package.stderr
    example = mypy(tmp_path, str(EXAMPLE))
    assert example.returncode == 0, example.stdout + example.stderr


def test_example_runs():
    result = subprocess.run([sys.executable, str(EXAMPLE)], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr


def test_mypy_catches_misuse(tmp_path):
    program = "\n".join([
        "from vexlan_rl import PyVexlan",
        "game = PyVexlan()",
        "game.step('3')",
        "total: int = sum(game.outcome('rank'))",
        "state: str = game.to_bytes()",
    ])
    result = mypy(tmp_path, "-c", program)
    assert result.returncode == 1
    assert 'Argument 1 to "step" of "PyVexlan" has incompatible type "str"' in result.stdout
    assert '"list[float] | None"' in result.stdout
    assert 'expression has type "bytes", variable has type "str"' in result.stdout


def test_the_settings_are_strict(tmp_path):
    result = mypy(tmp_path, "-c", "def untyped(value): return value")
    assert result.returncode == 1 and "Function is missing a type annotation" in result.stdout
