"""The test runner: its stages, and what a free-threaded CPython that fails
to build does to a run under CI and elsewhere."""

import os
import subprocess
from pathlib import Path

import pytest

RUN_TESTS = Path(__file__).resolve().parents[2] / "tools" / "run-tests"


def run_tests(*arguments: str, **environment: str) -> subprocess.CompletedProcess:
    variables = {name: value for name, value in os.environ.items() if name != "CI"}
    return subprocess.run(["bash", str(RUN_TESTS), *arguments], env={**variables, **environment},
                          capture_output=True, text=True, timeout=60)


def test_help_lists_every_stage_on_one_line():
    result = run_tests("--help")
    assert result.returncode == 0
    stages = [line.split()[0] for line in result.stdout.splitlines() if line.startswith("  ")]
    assert stages == ["cpp", "cpp-sanitize", "fuzz", "free-threaded", "python", "python-sanitize", "examples", "ray",
                      "replay", "docs"]


def test_an_unknown_stage_runs_nothing():
    result = run_tests("fuzz", "pyton")
    assert result.returncode == 2 and "no stage pyton" in result.stderr
    assert "== State fuzzer" not in result.stdout


@pytest.mark.parametrize(("ci", "status"), [("true", 1), (None, 0)])
def test_a_failed_free_threaded_build_fails_only_under_ci(tmp_path, ci, status):
    build = tmp_path / "build-free-threaded-python"
    build.write_text('echo "configure: no C compiler found" >&2\nexit 1\n')
    environment = {"VEXLAN_FREE_THREADED_BUILD": str(build)} | ({"CI": ci} if ci else {})
    result = run_tests("free-threaded", **environment)
    assert result.returncode == status, result.stdout + result.stderr
    assert "The free-threaded CPython stage was SKIPPED" in result.stderr
    assert "!!   configure: no C compiler found" in result.stderr
    assert ("FAILED" in result.stderr) == (ci == "true")
