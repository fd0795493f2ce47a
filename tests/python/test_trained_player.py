"""A short training run through the command line, its checkpoint as a player, and the
arena with network seats, batched or one game at a time."""

import csv
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest
from torch_needs import require_torch

torch = require_torch()

from vexlan_rl import PyVexlan  # noqa: E402
from vexlan_rl.batch import GameBatch  # noqa: E402
from vexlan_rl.cli import main  # noqa: E402
from vexlan_rl.nn import NetworkSettings, PolicyValueNet, load_network  # noqa: E402
from vexlan_rl.nn.trainer import Trainer  # noqa: E402
from vexlan_rl.players import GreedyPlayer, PolicyPlayer, RandomPlayer, parse_player, play_games, summarize  # noqa: E402
from vexlan_rl.records import load_record  # noqa: E402


@pytest.fixture(scope="module")
def run(tmp_path_factory):
    folder = tmp_path_factory.mktemp("run")
    status = main(["train", "--minutes", "0.1", "--out", str(folder), "--games", "8", "--rollout-steps", "8",
                   "--channels", "4", "--eval-minutes", "0.05", "--eval-games", "4", "--opponents", "random",
                   "--save-games", "--no-progress"])
    assert status == 0
    return folder


def test_the_run_writes_a_checkpoint_metrics_and_evaluations(run):
    network = load_network(run / "checkpoint.pt")
    assert network.settings.channels == 4
    with (run / "metrics.csv").open() as stream:
        metrics = list(csv.DictReader(stream))
    with (run / "evaluations.csv").open() as stream:
        evaluations = list(csv.DictReader(stream))
    assert metrics and int(metrics[-1]["agent_steps"]) == 64 * len(metrics)
    assert len(evaluations) >= 2 and evaluations[0]["agent_steps"] == "0"
    # Every evaluation game is kept as a record, which replays to the evaluation's own result.
    for row in evaluations:
        folder = run / "games" / f"{Path(row['snapshot']).stem}-{row['opponent']}"
        records = [load_record(path) for path in sorted(folder.iterdir())]
        assert len(records) == int(row["games"]) == 4
        shares = []
        for record in records:
            seat = next(seat for seat, player in enumerate(record.players) if player.spec.startswith("policy:"))
            best = max(record.scores)
            shares.append((record.scores[seat] == best) / record.scores.count(best))
        assert round(sum(shares) / len(shares), 4) == float(row["win_share"])
    assert all(0 <= float(row["low"]) <= float(row["win_share"]) <= float(row["high"]) <= 1 for row in evaluations)
    assert all((run / "snapshots" / row["snapshot"]).exists() for row in evaluations)


def test_a_run_resumes_where_it_stopped(run, tmp_path):
    before = Trainer(run, resume=True)
    assert before.agent_steps > 0
    weights = {name: tensor.clone() for name, tensor in before.network.state_dict().items()}
    before.iterate()
    assert before.agent_steps == Trainer(run, resume=True).agent_steps + 64
    assert any(not torch.equal(weights[name], tensor) for name, tensor in before.network.state_dict().items())
    with pytest.raises(FileExistsError):
        Trainer(run)


def test_the_player_plays_only_legal_moves_from_loaded_and_finished_states(run):
    greedy, sampling = parse_player(f"policy:{run / 'checkpoint.pt'}"), PolicyPlayer(run / "checkpoint.pt", sample=True)
    batch = GameBatch(16, seed=9, autoreset=False)
    rng = np.random.default_rng(9)
    states = []
    for _ in range(120):
        states += [batch.state(slot) for slot in range(16)]
        batch.step(batch.sample_actions(rng))
    for state in states[::7]:
        game = PyVexlan.from_bytes(state)
        if game.is_over or game.terminations[game.agent_selection]:
            with pytest.raises(ValueError):
                greedy.act(game)
            continue
        legal = game.legal_actions(game.agent_selection)
        assert greedy.act(game) in legal and sampling.act(game) in legal
        assert greedy.act(game) == greedy.act(game.copy())
    assert any(PyVexlan.from_bytes(state).is_over for state in states)


@pytest.mark.parametrize("openings", [0, 4])
def test_the_arena_table_is_the_same_batched_or_one_game_at_a_time(run, openings):
    path = run / "checkpoint.pt"
    players = [PolicyPlayer(path), GreedyPlayer(), RandomPlayer(), PolicyPlayer(path, sample=True)]
    one_at_a_time = play_games(players, seed=4, first_game=0, count=8, window=1, openings=openings)
    batched = play_games(players, seed=4, first_game=0, count=8, window=8, openings=openings)
    assert batched == one_at_a_time
    assert summarize(players, batched) == summarize(players, one_at_a_time)
    assert all(record.players == tuple((seat + game) % 4 for seat in range(4)) for game, record in enumerate(batched))
    replayed = PyVexlan()
    for move in batched[3].moves:
        replayed.step(move)
        while not replayed.is_over and replayed.terminations[replayed.agent_selection]:
            replayed.step(None)
    assert replayed.is_over and tuple(replayed.scores) == batched[3].scores


def test_the_arena_command_takes_policy_players(run, capsys):
    assert main(["arena", "--players", f"policy:{run / 'checkpoint.pt'},greedy,random,random", "-n", "4",
                 "-s", "1", "--no-progress"]) == 0
    assert f"0: policy:{run / 'checkpoint.pt'}" in capsys.readouterr().out


def test_a_file_that_is_no_checkpoint_is_a_value_error(tmp_path):
    for name, contents in (("text.pt", b"hello"), ("zip.pt", b"PK\x03\x04" + bytes(100)), ("empty.pt", b"")):
        (tmp_path / name).write_bytes(contents)
        with pytest.raises(ValueError, match="not a checkpoint"):
            parse_player(f"policy:{tmp_path / name}")
    with pytest.raises(ValueError, match="No such file"):
        parse_player(f"policy:{tmp_path / 'missing.pt'}")


def test_engine_players_are_parsed_without_torch():
    code = ("import sys\nfrom vexlan_rl.players import parse_players\n"
            "parse_players('random,greedy,mcts:10,random')\nprint('torch' in sys.modules)")
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          check=True).stdout.strip() == "False"


def test_against_an_opponent_the_network_learns_from_its_own_seat_only():
    from vexlan_rl.nn.ppo import PpoSettings
    from vexlan_rl.nn.ppo_loop import PpoLoop
    from vexlan_rl.nn.settings import TrainSettings

    settings = TrainSettings(games=8, rollout_steps=12, network=NetworkSettings(channels=4),
                             ppo=PpoSettings(opponent="greedy", opponent_share=0.75))
    loop = PpoLoop(settings, PolicyValueNet(settings.network).eval(), torch.device("cpu"), seed=3)
    assert loop.network_seat.tolist() == [-1, -1, 2, 3, 0, 1, 2, 3]
    step, network_moves = loop.games.step, []

    def checked_step(actions):
        for slot, seat in enumerate(loop.network_seat):
            mover = int(loop.games.agent[slot])
            if seat in (-1, mover):
                network_moves.append((slot, mover))
            else:
                assert actions[slot] == GreedyPlayer().act(PyVexlan.from_bytes(loop.games.state(slot)))
        step(actions)

    loop.games.step = checked_step
    samples, _ = loop.collect()
    assert len(samples) == len(network_moves) < 8 * 12
    assert {slot for slot, _ in network_moves} == set(range(8))


def test_new_training_games_open_with_up_to_the_given_random_placements():
    from vexlan_rl.nn.ppo import PpoSettings
    from vexlan_rl.nn.ppo_loop import PpoLoop
    from vexlan_rl.nn.settings import TrainSettings

    settings = TrainSettings(games=6, rollout_steps=90, network=NetworkSettings(channels=4),
                             ppo=PpoSettings(opponent="greedy", openings=3))
    loop = PpoLoop(settings, PolicyValueNet(settings.network).eval(), torch.device("cpu"), seed=5)
    load, opened = loop.games.load, []

    def noted_load(slot, state):
        opened.append(PyVexlan.from_bytes(state).ply)
        load(slot, state)

    loop.games.load = noted_load
    samples, finished = loop.collect()
    assert len(opened) == finished >= 6 and set(opened) <= {0, 1, 2, 3} and max(opened) > 0
    assert len(samples) > 0


def test_a_teacher_labels_each_network_move_with_its_own_choice_which_the_update_learns():
    from vexlan_rl.nn.legal_policy import legal_distribution
    from vexlan_rl.nn.ppo import PpoSettings, ppo_update
    from vexlan_rl.nn.ppo_loop import PpoLoop
    from vexlan_rl.nn.settings import TrainSettings
    from vexlan_rl.nn.tensors import batch_positions

    settings = TrainSettings(games=6, rollout_steps=6, network=NetworkSettings(channels=4),
                             ppo=PpoSettings(opponent="greedy", teacher="greedy", imitation_seconds=60))
    network = PolicyValueNet(settings.network).eval()
    loop = PpoLoop(settings, network, torch.device("cpu"), seed=2)
    slots = np.arange(6)
    positions = batch_positions(loop.games, rows=slots)
    for slot, choice in zip(slots, loop._teacher_choices(positions, slots).tolist()):
        assert choice < positions.counts[slot]
        assert positions.legal[slot, choice] == GreedyPlayer().act(PyVexlan.from_bytes(loop.games.state(slot)))

    samples, _ = loop.collect()
    assert samples.teacher_choices is not None and len(samples.teacher_choices) == len(samples)

    def teacher_loss() -> float:
        with torch.no_grad():
            logits, _ = network(samples.positions.planes, samples.positions.pieces, samples.positions.legal)
            return -float(legal_distribution(logits, samples.positions.counts).log_prob(samples.teacher_choices).mean())

    start = {name: value.clone() for name, value in network.state_dict().items()}
    losses = []
    for imitation in (0.0, 5.0):
        network.load_state_dict(start)
        optimizer = torch.optim.Adam(network.parameters(), lr=settings.ppo.learning_rate)
        for _ in range(10):
            statistics = ppo_update(network, optimizer, samples, settings.ppo, torch.Generator().manual_seed(1),
                                    imitation)
        losses.append(teacher_loss())
    assert losses[1] < losses[0] - 0.2, losses
    assert set(loop.STATISTICS) == set(statistics) >= {"imitation_loss"}
    assert [settings.ppo.imitation_at(seconds) for seconds in (0, 30, 60, 90)] == [1.0, 0.5, 0.0, 0.0]


def test_runs_saved_before_evaluations_had_openings_resume_without_them():
    from vexlan_rl.nn.settings import TrainSettings

    saved = TrainSettings().to_dict()
    assert TrainSettings.from_dict(saved).eval_openings == 4
    del saved["eval_openings"]
    assert TrainSettings.from_dict(saved).eval_openings == 0
    with pytest.raises(ValueError, match="eval_openings"):
        TrainSettings(eval_openings=85)


def test_a_diverged_iteration_stops_the_run_and_keeps_the_last_checkpoint(tmp_path):
    from vexlan_rl.nn.settings import TrainSettings

    trainer = Trainer(tmp_path, TrainSettings(games=4, rollout_steps=2, network=NetworkSettings(channels=4),
                                              eval_games=4, eval_opponents=("random",)))
    trainer.iterate()
    saved = trainer.save().read_bytes()
    trainer.loop.iterate = lambda: (8, 0, 0.0, {"policy_loss": float("nan")})
    with pytest.raises(FloatingPointError, match="diverged"):
        trainer.run(60)
    assert (tmp_path / "checkpoint.pt").read_bytes() == saved
