"""The package's layout: the old import paths give the same objects as the new
homes, the core imports none of the optional dependencies, and no module
imports another in a cycle."""

import ast
import graphlib
import importlib
import json
import subprocess
import sys
from pathlib import Path

import pytest

import vexlan_rl
import vexlan_rl.cli as command_line

PACKAGE = Path(vexlan_rl.__file__).parent
# Modules that need an optional extra, with everything below them.
OPTIONAL = ("vexlan_rl.batch", "vexlan_rl.search", "vexlan_rl.distributed", "vexlan_rl.env", "vexlan_rl.vector_env",
            "vexlan_rl.rl", "vexlan_rl.render.board_image", "vexlan_rl.replay.gif", "vexlan_rl.players.ratings",
            "vexlan_rl.league", "vexlan_rl.nn", "vexlan_rl.players.policy", "vexlan_rl.players.search_player")
HEAVY = ("numpy", "torch", "pettingzoo", "gymnasium", "ray", "openskill", "matplotlib", "PIL")


def module_name(path: Path) -> str:
    parts = path.relative_to(PACKAGE.parent).with_suffix("").parts
    return ".".join(parts[:-1] if parts[-1] == "__init__" else parts)


SOURCES = {module_name(path): path for path in sorted(PACKAGE.rglob("*.py"))}


def is_optional(name: str) -> bool:
    return any(name == prefix or name.startswith(prefix + ".") for prefix in OPTIONAL)


def imported_modules(name: str) -> set[str]:
    """The package's modules that `name` imports anywhere in its source, at the top or inside a function."""
    package = name if SOURCES[name].name == "__init__.py" else name.rpartition(".")[0]
    found = set()
    for node in ast.walk(ast.parse(SOURCES[name].read_text())):
        if isinstance(node, ast.Import):
            found.update(alias.name for alias in node.names)
        elif isinstance(node, ast.ImportFrom):
            base = node.module or ""
            if node.level:
                anchor = package.rsplit(".", node.level - 1)[0]
                base = f"{anchor}.{base}" if base else anchor
            found.update(f"{base}.{alias.name}" if f"{base}.{alias.name}" in SOURCES else base for alias in node.names)
    return found & SOURCES.keys()


IMPORTS = {name: imported_modules(name) for name in SOURCES}
# The command line imports its commands by name, from its table.
IMPORTS["vexlan_rl.cli"] |= {*command_line.SUBCOMMANDS.values(), command_line.DEFAULT_COMMAND}


def test_the_old_paths_give_the_same_objects():
    pytest.importorskip("pettingzoo")
    gymnasium = pytest.importorskip("gymnasium")
    homes = [importlib.import_module(f"vexlan_rl.rl.{name}") for name in ("env", "vector_env", "spaces")]
    for old in (importlib.import_module("vexlan_rl.env"), importlib.import_module("vexlan_rl.vector_env")):
        moved = {name: next(vars(home)[name] for home in homes if name in vars(home))
                 for name in old.__all__ if any(name in vars(home) for home in homes)}
        assert moved and all(getattr(old, name) is value for name, value in moved.items())
        assert set(old.__all__) - moved.keys() <= {"BOARD", "SEATS"}  # the engine's numbers, as they were named here
    engine = importlib.import_module("vexlan_rl._engine")
    assert (vexlan_rl.env.BOARD, vexlan_rl.env.SEATS) == (engine.BOARD_SIZE, engine.NUM_SEATS)
    assert gymnasium.spec("vexlan_rl/SelfPlay-v0").vector_entry_point == "vexlan_rl.rl.vector_env:SelfPlayVectorEnv"

    players = importlib.import_module("vexlan_rl.players")
    homes = [importlib.import_module(f"vexlan_rl.players.{part}") for part in ("engine", "specs", "arena", "batched")]
    for name in players.__all__:
        assert getattr(players, name) is next(vars(home)[name] for home in homes if name in vars(home)), name
    for name in ("actions", "last_move", "batch"):
        assert importlib.import_module(f"vexlan_rl.{name}").__file__ == str(PACKAGE / f"{name}.py")


@pytest.mark.parametrize("name", sorted(SOURCES))
def test_package_import_needs_none_of_the_optional_dependencies(name):
    """Each module imported alone, in a fresh interpreter, so that an import
    cycle that only some import orders reach fails here too."""
    code = (f"import importlib, json, sys\n"
            f"try:\n"
            f"    importlib.import_module({name!r})\n"
            f"except ImportError as missing:\n"
            f"    if (missing.name or '').startswith('vexlan_rl'):\n"
            f"        raise\n"
            f"    print(json.dumps({{'missing': missing.name, 'message': str(missing)}}))\n"
            f"else:\n"
            f"    print(json.dumps({{'loaded': [m for m in {HEAVY!r} if m in sys.modules]}}))\n")
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    report = json.loads(result.stdout)
    if not is_optional(name):
        assert report == {"loaded": []}
    elif "missing" in report:
        assert "pip install" in report["message"], report  # an optional module names the extra it needs


def test_no_module_imports_another_in_a_cycle():
    try:
        order = list(graphlib.TopologicalSorter(IMPORTS).static_order())
    except graphlib.CycleError as cycle:
        pytest.fail(f"import cycle: {' -> '.join(cycle.args[1])}")
    assert set(order) == SOURCES.keys()


def test_the_library_never_imports_the_command_line():
    command_line = {name for name in SOURCES if name == "vexlan_rl.cli" or name.startswith("vexlan_rl.cli.")}
    users = {name for name, imports in IMPORTS.items() if imports & command_line} - command_line
    assert users == {"vexlan_rl.__main__"}
