"""Distributed runs over a two-node Ray cluster simulated on this machine give
what a local run with the same seed gives; without Ray, a clear error."""

import functools
import os
import re
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest
from league_files import contents, league

from vexlan_rl import PyVexlan
from vexlan_rl._engine import pass_done_seats
from vexlan_rl.players import GreedyPlayer, MctsPlayer, RandomPlayer, evaluate

try:
    import ray
    from ray.cluster_utils import Cluster
except ImportError:
    ray = None

needs_ray = pytest.mark.skipif(ray is None, reason="Ray is not installed (pip install 'vexlan-rl[ray]'; "
                                                   "tools/test-ray does)")
LINEUP = "greedy,random,mcts:20,random"


def arena_command(*arguments: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "vexlan_rl", "arena", "--players", LINEUP, "--games", "12",
                           "--seed", "4", *arguments], capture_output=True, text=True, timeout=300)


@pytest.fixture(scope="module")
def two_nodes():
    cluster = Cluster(initialize_head=True, head_node_args={"num_cpus": 1})
    cluster.add_node(num_cpus=1)
    cluster.wait_for_nodes()
    try:
        yield cluster.address
    finally:
        ray.shutdown()
        cluster.shutdown()


@needs_ray
def test_selfplay_over_a_cluster_matches_the_local_run(two_nodes):
    from vexlan_rl.distributed import selfplay

    finished = []
    games = selfplay(23, 5, shard_games=4, address=two_nodes, progress=finished.append)
    assert len([node for node in ray.nodes() if node["Alive"]]) == 2
    assert len(finished) == 6 and finished == sorted(finished) and finished[-1] == 23  # once a shard
    assert games == selfplay(23, 5, shard_games=4, local=True)
    assert games != selfplay(23, 6, shard_games=4, local=True)
    for played in games:
        # Replaying the recorded moves passes through the recorded states to the final one.
        game = PyVexlan()
        for state, action in zip(played.states, played.actions, strict=True):
            assert game.to_bytes() == state
            game.step(action)
            pass_done_seats(game)
        assert game.is_over and game.to_bytes() == played.final_state
        assert game.scores == played.scores and game.outcome("win_share") == played.outcome


@needs_ray
def test_arena_over_a_cluster_gives_the_local_table(two_nodes):
    from vexlan_rl.distributed import arena

    # A search with settings its spec does not show: players travel to the tasks whole.
    players = [GreedyPlayer(), RandomPlayer(), MctsPlayer(20, exploration=0.3, playout="greedy"), RandomPlayer(5)]
    assert arena(players, 20, 9, shard_games=3, address=two_nodes) == evaluate(players, 20, 9)
    assert (arena(players, 20, 9, shard_games=3, address=two_nodes, openings=5)
            == evaluate(players, 20, 9, openings=5) != evaluate(players, 20, 9))
    # The command line too, with its table and no stray output from Ray on standard output.
    local, distributed = arena_command("--openings", "4"), arena_command("--openings", "4", "--ray", two_nodes)
    assert local.returncode == 0 and distributed.returncode == 0, distributed.stderr
    assert "per Ray task" in distributed.stdout
    assert local.stdout.split("\n")[1:] == distributed.stdout.split("\n")[1:]


@needs_ray
def test_a_league_over_a_cluster_is_the_local_league(two_nodes, tmp_path):
    pytest.importorskip("openskill")
    run = ["run", "--pool", "random,greedy,mcts:5,mcts:3", "--reference", "mcts:2", "--games", 24, "--seed", 3,
           "--matches-at-once", 3]
    local = league(*run, "--db", tmp_path / "local.db")
    assert local.returncode == 0, local.stderr
    distributed = league(*run, "--db", tmp_path / "ray.db", "--ray", two_nodes)
    assert distributed.returncode == 0, distributed.stderr
    assert contents(tmp_path / "ray.db") == contents(tmp_path / "local.db")


def slow_shard(directory: Path, shard) -> list:
    """Notes its process, then plays slow games: a shard that would run for a minute."""
    from vexlan_rl.players import parse_players, play_games

    (directory / f"{shard.index}.pid").write_text(str(os.getpid()))
    return play_games(parse_players("mcts:1s,mcts:1s,mcts:1s,mcts:1s"), 1, shard.first, shard.games)


def cpu_ticks(pid: int) -> int | None:
    """The processor time `pid` has used so far, or None once it is gone (or a zombie)."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except FileNotFoundError:
        return None
    return None if fields[0] == "Z" else int(fields[11]) + int(fields[12])


@needs_ray
def test_shards_stop_working_when_the_driver_is_interrupted(two_nodes, tmp_path):
    from vexlan_rl.distributed import run_shards, shards

    def interrupt_once_both_run():
        while len(list(tmp_path.glob("*.pid"))) < 2:
            time.sleep(0.05)
        os.kill(os.getpid(), signal.SIGINT)

    threading.Thread(target=interrupt_once_both_run, daemon=True).start()
    with pytest.raises(KeyboardInterrupt):
        run_shards(functools.partial(slow_shard, tmp_path), shards(8, 4), local=False, address=two_nodes,
                   progress=None)
    time.sleep(2)  # the kills take effect
    workers = [int(path.read_text()) for path in tmp_path.glob("*.pid")]
    before = [cpu_ticks(pid) for pid in workers]
    time.sleep(1)
    after = [cpu_ticks(pid) for pid in workers]
    assert all(old is None or new is None or new - old < 20 for old, new in zip(before, after)), (before, after)


@pytest.mark.skipif(ray is not None, reason="Ray is installed")
def test_without_ray_the_arena_names_the_extra():
    result = arena_command("--ray")
    assert result.returncode == 2 and result.stdout == ""
    assert re.search(r"error: argument --ray: vexlan_rl\.distributed needs Ray .*pip install .*vexlan-rl\[ray\]",
                     result.stderr)
