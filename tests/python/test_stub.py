"""The shipped type stub matches the built module."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

import vexlan_rl


def test_stub_matches_the_module():
    pytest.importorskip("mypy")
    package = Path(vexlan_rl.__file__).parent
    assert (package / "py.typed").exists()
    assert (package / "_vexlan.pyi").exists()
    assert (package / "_batch.pyi").exists()
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "vexlan_rl._vexlan", "vexlan_rl._batch"],
        capture_output=True, text=True, env={**os.environ, "MYPY_CACHE_DIR": os.devnull},
    )
    assert result.returncode == 0, result.stdout + result.stderr
