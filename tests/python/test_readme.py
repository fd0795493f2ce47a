"""The Python examples of the README and of the documentation's pages run: the blocks of each page, in
order, as one program, leaving behind what their text says they give. Only blocks fenced as `python`
run; a page shows shell commands and file formats in blocks fenced otherwise."""

import re
from collections.abc import Callable
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
PAGES = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]


def python_blocks(page: Path) -> list[str]:
    return re.findall(r"^```python\n(.*?)^```", page.read_text(), re.MULTILINE | re.DOTALL)


def check_readme(namespace: dict, printed: str) -> None:
    assert namespace["game"].is_over and namespace["position"].ply == 1 and namespace["table"][0].games == 40
    assert printed.count("\x1b[44mx") > 0 and printed.count("\n") > 41  # render()'s board


def check_game(namespace: dict, printed: str) -> None:
    assert namespace["game"].ply == 2 and "L4@r0c0/o14" in printed


def check_tour(namespace: dict, printed: str) -> None:
    assert namespace["game"].is_over and namespace["restored"].to_bytes() == namespace["state"]
    assert namespace["pieces"].shape == (4, 21) and len(namespace["results"]) == 8
    assert printed.count("\x1b[44mx") > 0 and printed.count("\n") > 41


def check_batch(namespace: dict, printed: str) -> None:
    assert namespace["outcomes"].shape[1] == 4 and namespace["games"].legal_count.min() > 0


def check_rl(namespace: dict, printed: str) -> None:
    assert namespace["environment"].agents == [] and "game over" in printed
    assert namespace["rewards"].shape == (8,) and set(namespace["observations"]) >= {"action_mask"}


def check_players(namespace: dict, printed: str) -> None:
    assert namespace["position"].ply == 1 and namespace["table"][0].games == 40


def check_search(namespace: dict, printed: str) -> None:
    legal, visits = namespace["legal"], namespace["visits"]
    assert len(legal) == len(visits) > 0 and abs(float(sum(visits)) - 1) < 1e-5


def check_replays(namespace: dict, printed: str) -> None:
    record = namespace["record"]
    assert record.scores == namespace["played"].scores and printed.split()[-1] == str(len(record.moves))
    assert [path.name for path in namespace["paths"]] == ["game-000000.jsonl"]


# Each page with Python examples, what it needs beyond the package, and what its program leaves behind.
CHECKS: dict[str, tuple[tuple[str, ...], Callable[[dict, str], None]]] = {
    "README.md": ((), check_readme),
    "docs/game.md": ((), check_game),
    "docs/tour.md": (("numpy",), check_tour),
    "docs/batch.md": (("numpy",), check_batch),
    "docs/rl.md": (("pettingzoo", "gymnasium", "numpy"), check_rl),
    "docs/players.md": ((), check_players),
    "docs/replays.md": ((), check_replays),
    "docs/search.md": (("numpy",), check_search),
}


def test_every_page_with_examples_is_checked():
    assert {str(page.relative_to(ROOT)) for page in PAGES if python_blocks(page)} == set(CHECKS)


def test_the_readme_links_to_pages_that_exist():
    # The site's build checks the links between its pages; the README is not one of them.
    targets = re.findall(r"\]\(([^)#]+)", (ROOT / "README.md").read_text())
    assert targets and [target for target in targets if not (ROOT / target).is_file()] == []


@pytest.mark.parametrize("name", sorted(CHECKS))
def test_page_examples_run(name, capfd, monkeypatch, tmp_path):
    needs, check = CHECKS[name]
    for module in needs:
        pytest.importorskip(module)
    monkeypatch.chdir(tmp_path)  # for the files an example writes
    page = ROOT / name
    namespace: dict = {}
    for block in python_blocks(page):
        exec(compile(block, str(page), "exec"), namespace)
    check(namespace, capfd.readouterr().out)
