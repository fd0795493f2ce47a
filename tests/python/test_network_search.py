"""A network judging a batched search's leaves, the searching player, and learning from
self-play searches: checked against dense references and against the games they played."""

import csv

import numpy as np
import pytest
from torch_needs import require_torch

torch = require_torch()

from vexlan_rl import PyVexlan  # noqa: E402
from vexlan_rl.batch import GameBatch  # noqa: E402
from vexlan_rl.cli import main  # noqa: E402
from vexlan_rl.nn import NetworkSettings, PolicyValueNet, load_network, save_checkpoint  # noqa: E402
from vexlan_rl.nn.alphazero import AlphaZeroSettings, alphazero_update  # noqa: E402
from vexlan_rl.nn.alphazero_loop import AlphaZeroLoop  # noqa: E402
from vexlan_rl.nn.leaf_evaluator import LeafEvaluator  # noqa: E402
from vexlan_rl.nn.replay_buffer import Example, ReplayBuffer  # noqa: E402
from vexlan_rl.nn.settings import TrainSettings  # noqa: E402
from vexlan_rl.nn.trainer import Trainer  # noqa: E402
from vexlan_rl.players import SearchPlayer, parse_player  # noqa: E402
from vexlan_rl.search import BatchedSearch  # noqa: E402


def uneven_network(seed: int, reward_mode: str = "rank") -> PolicyValueNet:
    """A small network whose policy is far from uniform (the head starts at zero)."""
    torch.manual_seed(seed)
    network = PolicyValueNet(NetworkSettings(channels=8, blocks=1, reward_mode=reward_mode)).eval()
    torch.nn.init.normal_(network.policy.weight, std=0.5)
    torch.nn.init.normal_(network.policy.bias, std=0.5)
    return network


@pytest.mark.parametrize("reward_mode", ["rank", "score"])
def test_leaf_priors_and_values_match_the_whole_grid_softmax(reward_mode):
    network = uneven_network(3, reward_mode)
    search = BatchedSearch(6, seed=3, simulations=8, leaves=4, reward_mode=reward_mode)
    evaluator = LeafEvaluator(network)
    for _ in range(2):  # the second move's leaves lie deeper, in other games' stages
        leaves = search.select()
        assert leaves is not None
        priors, values = evaluator(leaves)
        with torch.no_grad():
            features = network.trunk(torch.from_numpy(leaves.observation.astype(np.float32)),
                                     torch.from_numpy(leaves.pieces.astype(np.float32)))
            grid, raw = network.grid_logits(features).double(), network.values(features)
        low, high = network.value_low.item(), network.value_low.item() + network.value_span.item()
        np.testing.assert_allclose(values, ((raw - low) / (high - low)).numpy(), atol=1e-6)
        assert ((values >= 0) & (values <= 1)).all()
        for leaf in range(len(leaves)):
            legal = leaves.legal_actions[leaf, :leaves.legal_count[leaf]].astype(np.int64)
            mask = torch.zeros(grid.shape[1], dtype=torch.bool)
            mask[legal] = True
            dense = torch.softmax(grid[leaf].masked_fill(~mask, float("-inf")), dim=0)
            start, end = leaves.prior_offsets[leaf], leaves.prior_offsets[leaf + 1]
            np.testing.assert_allclose(priors[start:end], dense[legal].numpy(), rtol=1e-4, atol=1e-7)
        search.expand(priors, values)
        search.run(evaluator)
        search.step()


def test_the_search_loss_is_the_cross_entropy_of_the_whole_grid_softmax():
    network = uneven_network(5)
    loop = AlphaZeroLoop(TrainSettings(algorithm="alphazero", games=4, rollout_steps=1), network,
                         torch.device("cpu"), seed=5)
    search = loop.search
    buffer = ReplayBuffer(100)
    for _ in range(3):
        moves = search.run(loop.evaluator)
        for game in range(4):
            count = int(search.legal_count[game])
            buffer.extend([Example(search.observation[game].copy(), search.pieces[game].copy(),
                                   search.legal_actions[game, :count].copy(), search.policy[game, :count].copy(),
                                   np.random.default_rng(game).random(4).astype(np.float32))])
        search.step(moves)
    batch = buffer.sample(12, np.random.default_rng(1))
    positions = batch.positions
    with torch.no_grad():
        features = network.trunk(positions.planes, positions.pieces)
        grid, values = network.grid_logits(features).double(), network.values(features).double()
    expected_policy = 0.0
    for row, count in enumerate(positions.counts.tolist()):
        legal = positions.legal[row, :count]
        mask = torch.zeros(grid.shape[1], dtype=torch.bool)
        mask[legal] = True
        log_dense = torch.log_softmax(grid[row].masked_fill(~mask, float("-inf")), dim=0)
        assert float(batch.policy[row].sum()) == pytest.approx(1.0, abs=1e-5)
        expected_policy -= float((batch.policy[row, :count].double() * log_dense[legal]).sum()) / len(positions.counts)
    expected_value = float(((values - batch.outcome.double()) / network.value_span.double()).square().mean())
    statistics = alphazero_update(network, torch.optim.SGD(network.parameters(), lr=0.0), batch, value_weight=1.0)
    assert statistics["policy_loss"] == pytest.approx(expected_policy, rel=1e-5)
    assert statistics["value_loss"] == pytest.approx(expected_value, rel=1e-5)


def test_each_searched_position_is_kept_once_with_its_movers_outcome():
    settings = TrainSettings(algorithm="alphazero", games=3, rollout_steps=1,
                             network=NetworkSettings(channels=4, reward_mode="score"),
                             alphazero=AlphaZeroSettings(simulations=2, leaves=2))
    loop = AlphaZeroLoop(settings, PolicyValueNet(settings.network).eval(), torch.device("cpu"), seed=8)
    movers: list[list[int]] = [[] for _ in range(3)]
    finished = 0
    while finished == 0:
        agents = loop.search.agent.copy()
        for game in range(3):
            movers[game].append(int(agents[game]))
        states = [loop.search.state(game) for game in range(3)]
        loop.search.run(loop.evaluator)
        moves = loop.search.moves.copy()
        before = len(loop.replay)
        _, finished = loop.play_moves(moves)
        ended = [game for game in range(3) if loop.search.terminated[game]]
    assert ended and len(loop.replay) - before == sum(len(movers[game]) for game in ended)
    game = ended[0]
    final = PyVexlan.from_bytes(states[game])
    final.step(int(moves[game]))
    while not final.is_over:
        final.step(None)
    kept = list(loop.replay.examples)[before:before + len(movers[game])]
    for example, mover in zip(kept, movers[game]):
        np.testing.assert_allclose(example.outcome, np.roll(np.array(final.scores, np.float32), -mover))
        assert example.policy.sum() == pytest.approx(1.0, abs=1e-5)


@pytest.fixture(scope="module")
def checkpoint(tmp_path_factory):
    path = tmp_path_factory.mktemp("network") / "uneven.pt"
    save_checkpoint(path, uneven_network(11))
    return path


def test_the_searching_player_plays_legal_moves_alike_alone_or_batched(checkpoint):
    player = parse_player(f"az:{checkpoint}:12")
    assert isinstance(player, SearchPlayer) and player.spec == f"az:{checkpoint}:12"
    batch = GameBatch(8, seed=2, autoreset=False)
    rng = np.random.default_rng(2)
    games = []
    for step in range(90):
        if step % 15 == 0:
            games += [PyVexlan.from_bytes(batch.state(slot)) for slot in range(8)]
        batch.step(batch.sample_actions(rng))
    waiting = [game for game in games if not game.is_over and not game.terminations[game.agent_selection]]
    over = [game for game in games if game.is_over]
    together = player.act_batch(waiting, list(range(len(waiting))))
    alone = [player.act_batch([game], [0])[0] for game in waiting]
    assert together == alone
    assert all(move in game.legal_actions(game.agent_selection) for move, game in zip(together, waiting))
    for game in over[:1]:
        with pytest.raises(ValueError):
            player.act(game)


@pytest.mark.parametrize("text", ["az:{path}", "az:{path}:0", "az:{path}:x", "az::5"])
def test_a_searching_player_needs_a_checkpoint_and_a_budget(checkpoint, text):
    with pytest.raises(ValueError, match="bad player"):
        parse_player(text.format(path=checkpoint))


def test_a_search_trained_run_starts_from_a_network_evaluates_its_search_and_resumes(tmp_path, checkpoint):
    out = tmp_path / "run"
    assert main(["train", "--algorithm", "alphazero", "--train-opponent", "greedy", "--minutes", "1", "--out",
                 str(out)]) == 2 and not out.exists()
    assert main(["train", "--algorithm", "alphazero", "--start-from", str(checkpoint), "--minutes", "0.1",
                 "--out", str(out), "--games", "4",
                 "--rollout-steps", "4", "--simulations", "4", "--leaves", "2", "--channels", "4",
                 "--eval-minutes", "0.03", "--eval-games", "4", "--opponents", "random", "--eval-simulations", "4",
                 "--save-games", "--no-progress"]) == 0
    with (out / "metrics.csv").open() as stream:
        metrics = list(csv.DictReader(stream))
    assert metrics and int(metrics[-1]["agent_steps"]) == 16 * len(metrics)
    assert any(float(row["policy_loss"]) > 0 for row in metrics)
    saved = sorted((out / "games").iterdir())
    assert saved and all(folder.name.endswith("-random") for folder in saved)
    resumed = Trainer(out, resume=True)
    assert resumed.settings.algorithm == "alphazero" and resumed.settings.alphazero.simulations == 4
    assert resumed.settings.network.channels == 8
    steps = resumed.agent_steps
    resumed.iterate()
    assert resumed.agent_steps == steps + 16
    start, first = load_network(checkpoint), load_network(out / "snapshots" / "policy-000000s.pt")
    assert load_network(out / "checkpoint.pt").settings == first.settings == start.settings  # not --channels 4
    assert all(torch.equal(tensor, first.state_dict()[name]) for name, tensor in start.state_dict().items())
