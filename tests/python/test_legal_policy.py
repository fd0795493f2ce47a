"""The policy over legal moves against a dense reference, and the credit each seat's moves get."""

import numpy as np
import pytest
from torch_needs import require_torch

torch = require_torch()

from vexlan_rl._engine import NUM_SEATS  # noqa: E402
from vexlan_rl.batch import GameBatch  # noqa: E402
from vexlan_rl.nn import NetworkSettings, PolicyValueNet, batch_positions, legal_distribution  # noqa: E402
from vexlan_rl.nn.rollout import Rollout  # noqa: E402


def random_positions(games: int, seed: int) -> GameBatch:
    """A batch whose slots stand at many stages of their games."""
    batch = GameBatch(games, seed=seed, dense_mask=True)
    rng = np.random.default_rng(seed)
    for _ in range(int(rng.integers(20, 120))):
        batch.step_random()
    return batch


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_legal_distribution_equals_a_masked_softmax_over_the_whole_grid(seed):
    torch.manual_seed(seed)
    network = PolicyValueNet(NetworkSettings(channels=8, blocks=1)).double()
    torch.nn.init.normal_(network.policy.weight, std=0.5)  # the head starts at zero: make the policy uneven
    torch.nn.init.normal_(network.policy.bias, std=0.5)
    batch = random_positions(24, seed)
    positions = batch_positions(batch, dtype=torch.float64)
    with torch.no_grad():
        features = network.trunk(positions.planes, positions.pieces)
        grid = network.grid_logits(features)
        logits, _ = network(positions.planes, positions.pieces, positions.legal)
    distribution = legal_distribution(logits, positions.counts)

    mask = torch.from_numpy(batch.action_mask.astype(bool))
    dense = torch.log_softmax(grid.masked_fill(~mask, float("-inf")), dim=1)
    dense_entropy = -torch.where(mask, dense.exp() * dense, torch.zeros_like(dense)).sum(1)
    for row, count in enumerate(positions.counts.tolist()):
        moves = positions.legal[row, :count]
        assert sorted(moves.tolist()) == np.flatnonzero(batch.action_mask[row]).tolist()
        choices = torch.arange(count)
        gathered = distribution.log_prob(choices.unsqueeze(1).expand(count, len(positions.counts)))[:, row]
        torch.testing.assert_close(gathered, dense[row, moves])
    torch.testing.assert_close(distribution.entropy(), dense_entropy)

    samples = distribution.sample((200,))
    chosen = positions.legal.gather(1, samples.T)
    assert bool(mask.gather(1, chosen).all())


@pytest.mark.parametrize("one_seat", [False, True])
def test_each_seat_is_credited_with_its_own_outcome(one_seat):
    """With lambda = 1 every move's return is its seat's final reward, for the games that end
    within the rollout, whatever the values were; also where the network plays only seat
    slot % 4 of each slot's games and other players the rest."""
    slots, steps = 6, 150
    batch = GameBatch(slots, seed=5)
    rollout = Rollout(slots, steps)
    rng = np.random.default_rng(5)
    movers, ended, index_of = [], [], {}  # per step: the seats to move; the rewards of the games ended
    for step in range(steps):
        movers.append(batch.agent.astype(np.int64))
        chosen = np.flatnonzero(movers[-1] == np.arange(slots) % NUM_SEATS) if one_seat else np.arange(slots)
        positions = batch_positions(batch)
        positions = type(positions)(*(tensor[torch.from_numpy(chosen)] for tensor in positions))
        for slot in chosen:
            index_of[step, slot] = len(index_of)
        rollout.add(positions, torch.zeros(len(chosen), dtype=torch.int64), torch.zeros(len(chosen)),
                    torch.from_numpy(rng.random((len(chosen), NUM_SEATS), dtype=np.float32)), movers[-1][chosen],
                    chosen)
        batch.step_random()
        rollout.end_games(batch.terminated, batch.rewards)
        ended.append({slot: batch.rewards[slot].copy() for slot in np.flatnonzero(batch.terminated)})
    samples = rollout.samples(torch.rand(slots, NUM_SEATS), batch.agent.astype(np.int64), gae_lambda=1.0)
    assert len(samples) == len(index_of)

    checked = 0
    for slot in range(slots):
        game_moves: list[int] = []
        for step in range(steps):
            if (step, slot) in index_of:
                game_moves.append(step)
            if slot in ended[step]:
                rewards = ended[step][slot]
                for move in game_moves:
                    index = index_of[move, slot]
                    seat = movers[move][slot]
                    assert samples.value_targets[index, 0].item() == pytest.approx(rewards[seat], abs=1e-5)
                    expected = [rewards[(seat + k) % NUM_SEATS] for k in range(NUM_SEATS)]
                    assert samples.value_targets[index, 1:].tolist() == pytest.approx(expected[1:])
                    assert bool(samples.value_mask[index].all())
                    checked += 1
                game_moves = []
        for move in game_moves:  # the game still running: only the mover's own target is known
            assert samples.value_mask[index_of[move, slot]].tolist() == [True, False, False, False]
    assert checked > slots * (10 if one_seat else 50)


def test_minibatches_hold_every_sample_once_grouped_by_legal_count():
    from vexlan_rl.nn.ppo import SORT_GROUP, minibatches

    counts = torch.from_numpy(np.random.default_rng(4).integers(1, 900, 5000))
    batches = minibatches(counts, 64, torch.Generator().manual_seed(4))
    assert sorted(torch.cat(batches).tolist()) == list(range(5000))
    groups = -(-5000 // (64 * SORT_GROUP))
    assert all(len(batch) <= 64 for batch in batches) and len(batches) <= -(-5000 // 64) + groups
    assert all(bool((counts[batch].diff() >= 0).all()) for batch in batches)
    # Sorting within groups cuts the padding: the mean longest list falls well below a random cut's.
    padded = sum(int(counts[batch].max()) * len(batch) for batch in batches)
    random_padded = sum(int(counts[batch].max()) * len(batch) for batch in torch.randperm(5000).split(64))
    assert padded < 0.7 * random_padded


def test_an_update_with_a_one_sample_minibatch_stays_finite():
    from vexlan_rl.nn.ppo import PpoSettings, ppo_update
    from vexlan_rl.nn.ppo_loop import PpoLoop
    from vexlan_rl.nn.settings import TrainSettings

    settings = TrainSettings(games=8, rollout_steps=4, network=NetworkSettings(channels=4),
                             ppo=PpoSettings(minibatch=31))  # 32 samples: minibatches of 31 and of 1
    loop = PpoLoop(settings, PolicyValueNet(settings.network).eval(), torch.device("cpu"), seed=2)
    samples, _ = loop.collect()
    assert len(samples) == 32
    statistics = ppo_update(loop.network, loop.optimizer, samples, settings.ppo, loop.generator)
    assert all(np.isfinite(value) for value in statistics.values())
    assert all(bool(torch.isfinite(weights).all()) for weights in loop.network.parameters())
