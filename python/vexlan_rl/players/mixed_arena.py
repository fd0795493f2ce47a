"""Games between engine players and batched players (networks), played from Python.

The games of a window are played side by side. At each round every game waiting on a
batched player goes to it in one call, so a network evaluates them all in one forward
pass, while the engine players choose their moves in C++, one game at a time. Every
random choice is seeded from (seed, game number, player, ply), so the games, and the
records, are the same whatever the window: one game at a time or many. Random openings
are the engine arena's own (`vexlan_rl._players.opening`)."""

from collections.abc import Sequence

from vexlan_rl._engine import NUM_SEATS, pass_done_seats
from vexlan_rl._players import opening
from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.players.batched import BatchedPlayer, move_seed
from vexlan_rl.players.engine import SEED_MODULUS, Player

DEFAULT_WINDOW = 64  # games played side by side: the most positions one forward pass sees

Scores = tuple[int, int, int, int]
Shares = tuple[float, float, float, float]
RawRecord = tuple[Scores, Scores, Shares, Shares, int, tuple[int, ...]]  # the fields of a GameRecord


def places(scores: Sequence[int]) -> Shares:
    """1 best .. 4; agents that tie share the mean of the places they cover."""
    first, second, third, fourth = (
        1.0 + sum(other > score for other in scores) + (sum(other == score for other in scores) - 1) / 2
        for score in scores)
    return first, second, third, fourth


def _seated(game_number: int) -> Scores:
    first, second, third, fourth = ((seat + game_number) % NUM_SEATS for seat in range(NUM_SEATS))
    return first, second, third, fourth


def _record(game: PyVexlan, game_number: int, moves: list[int]) -> RawRecord:
    first, second, third, fourth = game.scores
    shares = game.outcome("win_share")
    assert shares is not None
    return (_seated(game_number), (first, second, third, fourth), (shares[0], shares[1], shares[2], shares[3]),
            places(game.scores), game.ply, tuple(moves))


def _opened(seed: int, game_number: int, openings: int) -> tuple[PyVexlan, list[int]]:
    """A new game after its random opening, and the opening's moves."""
    game = PyVexlan()
    moves = list(opening(seed % SEED_MODULUS, game_number, openings))
    for move in moves:
        pass_done_seats(game)
        game.step(move)
    return game, moves


def play_mixed_games(players: Sequence[Player], seed: int, first_game: int, count: int,
                     window: int = DEFAULT_WINDOW, openings: int = 0) -> list[RawRecord]:
    """Plays games first_game .. first_game + count - 1, `window` of them side by side, with
    player (s + g) % 4 in seat s of game g, each opened by `openings` random placements; one
    record per game, in game order."""
    if not isinstance(window, int) or window < 1:
        raise ValueError(f"window must be a whole number >= 1, not {window!r}")
    records: list[RawRecord] = []
    for start in range(first_game, first_game + count, window):
        numbers = range(start, min(start + window, first_game + count))
        opened = [_opened(seed, number, openings) for number in numbers]
        games = [game for game, _ in opened]
        moves = [played for _, played in opened]
        playing = list(range(len(games)))
        while playing:
            for index in playing:
                pass_done_seats(games[index])
            playing = [index for index in playing if not games[index].is_over]
            waiting: dict[int, list[int]] = {}
            for index in playing:
                waiting.setdefault(_seated(numbers[index])[games[index].agent_selection], []).append(index)
            for player_index, indices in waiting.items():
                player = players[player_index]
                seeds = [move_seed(seed, numbers[index], player_index, games[index].ply) for index in indices]
                if isinstance(player, BatchedPlayer):
                    chosen = player.act_batch([games[index] for index in indices], seeds)
                else:
                    chosen = []
                    for index, move_seed_ in zip(indices, seeds):
                        player.reseed(move_seed_)
                        chosen.append(player.act(games[index]))
                for index, move in zip(indices, chosen):
                    games[index].step(move)
                    moves[index].append(move)
        records += [_record(game, number, played) for game, number, played in zip(games, numbers, moves)]
    return records
