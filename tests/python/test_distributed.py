"""Distributed runs over a two-node Ray cluster simulated on this machine give
what a local run with the same seed gives; without Ray, a clear error."""

import re
import subprocess
import sys

import pytest
from league_files import contents, league

from vexlan_rl import PyVexlan
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
            while not game.is_over and game.terminations[game.agent_selection]:
                game.step(None)
        assert game.is_over and game.to_bytes() == played.final_state
        assert game.scores == played.scores and game.outcome("win_share") == played.outcome


@needs_ray
def test_arena_over_a_cluster_gives_the_local_table(two_nodes):
    from vexlan_rl.distributed import arena

    # A search with settings its spec does not show: players travel to the tasks whole.
    players = [GreedyPlayer(), RandomPlayer(), MctsPlayer(20, exploration=0.3, playout="greedy"), RandomPlayer(5)]
    assert arena(players, 20, 9, shard_games=3, address=two_nodes) == evaluate(players, 20, 9)
    # The command line too, with its table and no stray output from Ray on standard output.
    local, distributed = arena_command(), arena_command("--ray", two_nodes)
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


@pytest.mark.skipif(ray is not None, reason="Ray is installed")
def test_without_ray_the_arena_names_the_extra():
    result = arena_command("--ray")
    assert result.returncode == 2 and result.stdout == ""
    assert re.search(r"error: argument --ray: vexlan_rl\.distributed needs Ray .*pip install .*vexlan-rl\[ray\]",
                     result.stderr)
