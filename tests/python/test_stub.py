"""The shipped type stub matches the built module."""

import ast
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
    assert (package / "_search.pyi").exists()
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "vexlan_rl._vexlan", "vexlan_rl._batch", "vexlan_rl._engine",
         "vexlan_rl._search"],
        capture_output=True, text=True, env={**os.environ, "MYPY_CACHE_DIR": os.devnull},
    )
    assert result.returncode == 0, result.stdout + result.stderr


def test_every_stub_member_has_a_docstring():
    """The stub carries the documentation that the compiled module's terse docstrings leave out."""
    tree = ast.parse((Path(vexlan_rl.__file__).parent / "_vexlan.pyi").read_text())
    undocumented = [node.name for node in ast.walk(tree)
                    if isinstance(node, (ast.ClassDef, ast.FunctionDef)) and ast.get_docstring(node) is None]
    assert undocumented == []
