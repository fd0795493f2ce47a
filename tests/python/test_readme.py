"""The Python examples of the README run, in order, as one program."""

import re
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[2] / "README.md"


def test_readme_examples_run(capfd):
    pytest.importorskip("pettingzoo")
    blocks = re.findall(r"^```python\n(.*?)^```", README.read_text(), re.MULTILINE | re.DOTALL)
    assert len(blocks) == 9
    namespace: dict = {}
    for block in blocks:
        exec(compile(block, str(README), "exec"), namespace)
    assert namespace["game"].is_over and namespace["restored"].to_bytes() == namespace["state"]
    assert namespace["environment"].agents == [] and len(namespace["results"]) == 8
    assert namespace["outcomes"].shape[1] == 4 and namespace["games"].legal_count.min() > 0
    assert namespace["position"].ply == 1 and namespace["table"][0].games == 40
    printed = capfd.readouterr().out
    assert printed.count("\x1b[44mx") > 0 and printed.count("\n") > 41 + 26  # render(), then the environment's board
    assert "L4@r0c0/o14" in printed and "game over" in printed
