"""Many threads on shared games and on games of their own, in random mixes of
reads, copies, steps, resets and restores. Every call succeeds or fails with
its access message, no call waits for another, every snapshot is a state the
game really passed through, and each game ends equal to a replay of the
mutations that took effect on it.

Ordering the mutations: a step whose argument is a `Hooked` index logs
itself from inside its own index conversion, which runs while the call holds
the game's exclusive access, so the log order is the order of effect. Every
other mutation runs and logs while holding the game's log lock; a hooked
step that needs the log lock while such a call runs holds the exclusive
access already, so that call fails at once instead of slipping in between."""

import random
import sys
import threading
import time

from random_play import legal_indices, play
from vexlan_rl import PyVexlan

THREADS = 8
SHARED_GAMES = 3
SECONDS = 1.5
EXCLUSIVE = {"step", "hooked_step", "reset", "setstate"}
CONFLICT = {"exclusive": "Already borrowed", "shared": "Already mutably borrowed"}
RESET = "reset"


class Shared:
    """A game used by every thread, with the log of its mutations."""

    def __init__(self, state):
        self.initial = state
        self.game = PyVexlan.from_bytes(state)
        self.lock = threading.Lock()
        self.log = []  # ("step", action, accepted) | ("reset",) | ("setstate", state)
        self.snapshots = set()  # to_bytes of the game and of its copies
        self.observations = []  # (agent, observation bytes, action mask)


class Hooked:
    """An index that logs its step while the step holds exclusive access and
    then lets other threads run, so that they meet the held access."""

    def __init__(self, shared, action):
        self.shared, self.action, self.entry = shared, action, None

    def __index__(self):
        with self.shared.lock:
            self.entry = ["step", self.action, None]
            self.shared.log.append(self.entry)
        time.sleep(0)
        return self.action


class Yielding:
    """An index that lets other threads run while its call holds shared access."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)
        return self.value


class Worker:
    def __init__(self, number, shared_games, states, deadline):
        self.rng = random.Random(number)
        self.shared_games, self.states, self.deadline = shared_games, states, deadline
        self.own = PyVexlan()
        self.own_log = []
        self.hints = {}  # id(shared) -> legal actions seen in the latest observe of its mover
        self.calls = 0
        self.conflicts = {"exclusive": 0, "shared": 0}
        self.errors = []

    def action(self, shared, index_only=False):
        """Mostly a move that was legal when this thread last looked, else no
        action (a hooked step cannot hook that) or any grid index."""
        roll = self.rng.random()
        hint = self.hints.get(id(shared))
        if roll < 0.7 and hint:
            return self.rng.choice(hint)
        if roll < 0.85 and not index_only:
            return None
        return self.rng.randrange(36400 + 64)

    def call(self, kind, shared):
        """One call of `kind` on `shared`; returns (accepted, result) or None on an access conflict."""
        game = shared.game
        if kind == "observe":
            agent = self.rng.randrange(4)
            return True, (agent, game.observe(Yielding(agent) if self.rng.random() < 0.3 else agent))
        if kind == "mover_moves":
            return True, legal_indices(game, game.agent_selection).tolist()
        if kind in ("to_bytes", "copy"):
            return True, (game.to_bytes() if kind == "to_bytes" else game.copy().to_bytes())
        if kind == "properties":
            return True, (game.ply, game.terminations, game.is_over, game.scores, game.rewards)
        if kind == "hooked_step":
            hooked = Hooked(shared, self.action(shared, index_only=True))
            try:
                game.step(hooked)
                accepted = True
            except AssertionError:
                accepted = False
            hooked.entry[2] = accepted
            return accepted, None
        with shared.lock:
            if kind == "step":
                action = self.action(shared)
                try:
                    game.step(action)
                    shared.log.append(("step", action, True))
                except AssertionError:
                    shared.log.append(("step", action, False))
                return True, None
            if kind == "reset":
                game.reset()
                shared.log.append(("reset",))
                return True, None
            state = self.rng.choice(self.states)
            game.__setstate__(state)
            shared.log.append(("setstate", state))
            return True, None

    def run(self):
        kinds = ["observe", "mover_moves", "to_bytes", "copy", "properties", "step", "hooked_step", "reset", "setstate"]
        weights = [3, 3, 2, 2, 2, 4, 4, 1, 1]
        while time.monotonic() < self.deadline:
            kind = self.rng.choices(kinds, weights)[0]
            shared = self.rng.choice(self.shared_games)
            self.calls += 1
            access = "exclusive" if kind in EXCLUSIVE else "shared"
            try:
                _, result = self.call(kind, shared)
            except RuntimeError as error:
                if str(error) != CONFLICT[access]:
                    self.errors.append(f"{kind}: {error!r}")
                self.conflicts[access] += 1
                continue
            except Exception as error:
                self.errors.append(f"{kind}: {error!r}")
                continue
            self.record(kind, shared, result)
            self.play_own_game()

    def record(self, kind, shared, result):
        if kind in ("to_bytes", "copy"):
            with shared.lock:
                shared.snapshots.add(result)
        elif kind == "mover_moves":
            self.hints[id(shared)] = result
        elif kind == "observe":
            agent, seen = result
            with shared.lock:
                if len(shared.observations) < 300:
                    shared.observations.append((agent, seen.observation, seen.action_mask))

    def play_own_game(self):
        """A game no other thread touches: every call on it must succeed."""
        if self.rng.random() < 0.02:
            self.own.reset()
            self.own_log.append(RESET)
            return
        seat = self.own.agent_selection
        legal = legal_indices(self.own, seat).tolist()
        action = self.rng.choice(legal) if legal else None
        self.own.step(action)
        self.own_log.append(action)


def replay(shared):
    """The states that the logged mutations lead through, checking that each
    logged step gets the same verdict again."""
    game = PyVexlan.from_bytes(shared.initial)
    states = [game.to_bytes()]
    for entry in shared.log:
        if entry[0] == "reset":
            game.reset()
        elif entry[0] == "setstate":
            game.__setstate__(entry[1])
        else:
            _, action, accepted = entry
            try:
                game.step(action)
                replayed = True
            except AssertionError:
                replayed = False
            assert replayed == accepted, f"step {action} was {'accepted' if accepted else 'refused'} live"
        states.append(game.to_bytes())
    return game, states


def test_threads_share_games_without_corrupting_them():
    states = [play(seed, turns)[0].to_bytes() for seed, turns in [(10, 4), (11, 24), (12, 48), (13, None)]]
    shared_games = [Shared(states[n % len(states)]) for n in range(SHARED_GAMES)]
    deadline = time.monotonic() + SECONDS
    workers = [Worker(n, shared_games, states, deadline) for n in range(THREADS)]
    threads = [threading.Thread(target=worker.run) for worker in workers]
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    try:
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=SECONDS + 60)
    finally:
        sys.setswitchinterval(interval)
    assert not any(thread.is_alive() for thread in threads), "a call never returned"

    assert [error for worker in workers for error in worker.errors] == []
    for shared in shared_games:
        game, passed = replay(shared)
        assert shared.game.to_bytes() == game.to_bytes()
        assert shared.snapshots <= set(passed), "a snapshot that the game never was"
        verify_observations(shared, passed)
    for worker in workers:
        own = PyVexlan()
        for action in worker.own_log:
            own.reset() if action == RESET else own.step(action)
        assert worker.own.to_bytes() == own.to_bytes()

    calls = sum(worker.calls for worker in workers)
    conflicts = {access: sum(worker.conflicts[access] for worker in workers) for access in CONFLICT}
    mutations = sum(len(shared.log) for shared in shared_games)
    print(f"\n{THREADS} threads, {SHARED_GAMES} shared games: {calls} calls, {mutations} logged mutations, "
          f"conflicts {conflicts}, {sum(len(w.own_log) for w in workers)} calls on private games")
    assert calls > 1000 and mutations > 100
    assert conflicts["exclusive"] > 0 and conflicts["shared"] > 0, "the mix never met a held access"


def verify_observations(shared, passed):
    """Each observation equals the observation of a state the game passed through."""
    views = {}
    for agent, planes, mask in shared.observations:
        candidates = views.setdefault(agent, {})
        if not candidates:
            for state in set(passed):
                seen = PyVexlan.from_bytes(state).observe(agent)
                candidates[(seen.observation, seen.action_mask)] = state
        assert (planes, mask) in candidates, f"an observation of agent {agent} from no state the game was in"
