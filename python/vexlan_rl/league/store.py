"""A league's SQLite database: its players with their ratings, its planned matches and one row per
game, and the lock that lets one league run at a time write it.

Every change is one transaction, so a run killed at any instant (SIGKILL included) leaves the
database as it was after its last finished transaction: whole games, their ratings and their
bookkeeping together, or none of them. The database is in WAL mode, so `league show` reads it while
a run writes; with synchronous=NORMAL a power cut may lose the last transactions but never
corrupts it, and the games lost are played again, identically, by the next run.
"""

import errno
import fcntl
import json
import os
import sqlite3
from collections import Counter
from collections.abc import Iterator, Mapping, Sequence
from contextlib import contextmanager
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from vexlan_rl.players.ratings import INITIAL, Rating

SCHEMA_VERSION = 1
LINEUP = 4
MATCH_GAMES = 4  # a match seats its lineup in every seat once
SEED_LIMIT = 2**63  # seeds are stored as SQLite integers, which are signed 64-bit

SCHEMA = """
CREATE TABLE league (key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE players (
    id INTEGER PRIMARY KEY,
    spec TEXT NOT NULL UNIQUE,                  -- as vexlan_rl.players.parse_player reads it
    reference INTEGER NOT NULL CHECK (reference IN (0, 1)),
    mu REAL NOT NULL,
    sigma REAL NOT NULL,
    games INTEGER NOT NULL                      -- rated games it played
);
CREATE TABLE matches (
    number INTEGER PRIMARY KEY,                 -- games 4 number to 4 number + 3
    lineup TEXT NOT NULL                        -- JSON: the four player ids, as players 0 to 3
);
CREATE TABLE games (
    number INTEGER PRIMARY KEY,                 -- play_games' game number: seats player (s + number) % 4 in seat s
    match INTEGER NOT NULL REFERENCES matches (number),
    seed INTEGER NOT NULL,                      -- play_games' seed: players are seeded from (seed, number, player)
    lineup TEXT NOT NULL,                       -- JSON: player ids, as players 0 to 3 of play_games
    seats TEXT NOT NULL,                        -- JSON: the player id in each seat
    scores TEXT NOT NULL,                       -- JSON, by seat
    places TEXT NOT NULL,                       -- JSON, by seat: 1 best to 4, tied seats sharing the mean of their places
    plies INTEGER NOT NULL
);
CREATE TABLE ratings (                          -- a player's rating after each game that changed it
    game INTEGER NOT NULL REFERENCES games (number),
    player INTEGER NOT NULL REFERENCES players (id),
    mu REAL NOT NULL,
    sigma REAL NOT NULL,
    PRIMARY KEY (game, player)
) WITHOUT ROWID;
"""


class LeagueBusy(RuntimeError):
    """Another league run holds the database."""


@dataclass(frozen=True)
class LeaguePlayer:
    id: int
    spec: str
    reference: bool
    rating: Rating
    games: int


@dataclass(frozen=True)
class Match:
    number: int
    lineup: tuple[int, int, int, int]  # player ids, as players 0 to 3 of play_games

    @property
    def game_numbers(self) -> range:
        return range(MATCH_GAMES * self.number, MATCH_GAMES * (self.number + 1))


@dataclass(frozen=True)
class GameRow:
    number: int
    seed: int
    lineup: tuple[int, ...]
    seats: tuple[int, ...]
    scores: tuple[int, ...]
    places: tuple[float, ...]
    plies: int

    @property
    def match(self) -> int:
        return self.number // MATCH_GAMES


@contextmanager
def run_lock(database: Path) -> Iterator[None]:
    """Holds the right to run the league in `database` (a lock on a file beside it, which the
    system releases when the process ends, however it ends); LeagueBusy if another process holds it."""
    path = database.with_name(database.name + ".lock")
    descriptor = os.open(path, os.O_RDWR | os.O_CREAT, 0o644)
    try:
        try:
            fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError as error:
            if error.errno not in (errno.EWOULDBLOCK, errno.EAGAIN):
                raise
            holder = os.pread(descriptor, 32, 0).decode(errors="replace").strip() or "unknown"
            raise LeagueBusy(f"the league in {str(database)!r} is being run by another process (pid {holder}); "
                             "wait for it to finish or stop it, then run again") from None
        os.ftruncate(descriptor, 0)
        os.pwrite(descriptor, str(os.getpid()).encode(), 0)
        yield
    finally:
        os.close(descriptor)


class LeagueStore:
    """An open league database. `writable` creates it if missing and needs the run lock held."""

    def __init__(self, path: Path, *, writable: bool) -> None:
        if not writable and not path.exists():
            raise FileNotFoundError(f"no league database at {str(path)!r}")
        mode = "rwc" if writable else "ro"
        self._connection = sqlite3.connect(f"file:{path}?mode={mode}", uri=True, isolation_level=None,
                                           timeout=30.0)
        try:
            self._connection.execute("PRAGMA foreign_keys = ON")
            if writable:
                self._connection.execute("PRAGMA journal_mode = WAL")
                self._connection.execute("PRAGMA synchronous = NORMAL")
                with self.transaction():
                    if not self._has_schema():
                        for statement in SCHEMA.split(";\n"):
                            self._connection.execute(statement)
                        self._set("schema", SCHEMA_VERSION)
            if not self._has_schema():
                raise ValueError(f"{str(path)!r} is not a league database")
            version = self._get("schema")
            if version != SCHEMA_VERSION:
                raise ValueError(f"{str(path)!r} is a league database of version {version}, "
                                 f"not {SCHEMA_VERSION}")
        except BaseException:
            self._connection.close()
            raise

    def close(self) -> None:
        self._connection.close()

    def __enter__(self) -> "LeagueStore":
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    @contextmanager
    def transaction(self) -> Iterator[sqlite3.Connection]:
        self._connection.execute("BEGIN IMMEDIATE")
        try:
            yield self._connection
        except BaseException:
            self._connection.execute("ROLLBACK")
            raise
        self._connection.execute("COMMIT")

    def _integer(self, sql: str, parameters: Sequence[Any] = ()) -> int:
        return int(self._connection.execute(sql, parameters).fetchone()[0])

    def _has_schema(self) -> bool:
        return self._integer("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'league'") == 1

    def _get(self, key: str) -> int | None:
        row = self._connection.execute("SELECT value FROM league WHERE key = ?", (key,)).fetchone()
        return None if row is None else int(row[0])

    def _set(self, key: str, value: int) -> None:
        self._connection.execute("INSERT OR REPLACE INTO league (key, value) VALUES (?, ?)", (key, value))

    # --- the league's settings ---

    @property
    def seed(self) -> int | None:
        return self._get("seed")

    @property
    def rated_games(self) -> int:
        """Games 0 to rated_games - 1 are in the ratings; later ones may be recorded, not yet rated."""
        return self._get("rated") or 0

    # --- players ---

    def players(self) -> list[LeaguePlayer]:
        return [LeaguePlayer(id, spec, bool(reference), Rating(mu, sigma), games) for id, spec, reference, mu, sigma, games
                in self._connection.execute("SELECT id, spec, reference, mu, sigma, games FROM players ORDER BY id")]

    def join(self, rated: Sequence[str], references: Sequence[str] = (), seed: int | None = None) -> list[int]:
        """Readies a run of the players `rated` and `references` (specs; both empty: every player
        of the league) and returns their ids, in that order: gives a new league its seed (`seed`,
        which an existing league must match when given) and adds the players that are new, with
        that role. All or nothing: ValueError if a player is in the league with the other role (a
        player keeps the role it joined with, since the role decides which games moved its
        rating), if the run would have fewer than four players, or the league no seed."""
        both = set(rated) & set(references)
        if both:
            raise ValueError(f"{sorted(both)[0]!r} cannot be both a rated and a reference player")
        if seed is not None and not 0 <= seed < SEED_LIMIT:
            raise ValueError(f"a league's seed must be at least 0 and below 2**63, not {seed}")
        with self.transaction() as connection:
            if self.seed is None:
                if seed is None:
                    raise ValueError("a new league needs a seed")
                self._set("seed", seed)
            elif seed is not None and seed != self.seed:
                raise ValueError(f"the league has seed {self.seed}, not {seed}: a league keeps its seed")
            ids = []
            for spec, reference in [(spec, False) for spec in rated] + [(spec, True) for spec in references]:
                row = connection.execute("SELECT id, reference FROM players WHERE spec = ?", (spec,)).fetchone()
                if row is None:
                    ids.append(self._integer(
                        "INSERT INTO players (spec, reference, mu, sigma, games) VALUES (?, ?, ?, ?, 0) RETURNING id",
                        (spec, int(reference), INITIAL.mu, INITIAL.sigma)))
                elif bool(row[1]) != reference:
                    raise ValueError(f"{spec!r} is in the league as a {'reference' if row[1] else 'rated'} player; "
                                     "a player keeps the role it joined with")
                else:
                    ids.append(row[0])
            pool = ids or [id for (id,) in connection.execute("SELECT id FROM players ORDER BY id")]
            if len(pool) < LINEUP:
                raise ValueError(f"a league run needs at least {LINEUP} players, not {len(pool)}")
            return pool

    # --- matches and games ---

    def game_count(self) -> int:
        # Every game below the rated count is recorded, so only the later ones are counted: a
        # count of the whole table would read it all.
        rated = self.rated_games
        return rated + self._integer("SELECT count(*) FROM games WHERE number >= ?", (rated,))

    def match_count(self) -> int:
        return self._integer("SELECT coalesce(max(number) + 1, 0) FROM matches")  # numbered from 0, with no gaps

    def plan(self, lineups: Sequence[Sequence[int]]) -> list[Match]:
        """Adds matches with these lineups after the last one."""
        with self.transaction() as connection:
            first = connection.execute("SELECT coalesce(max(number) + 1, 0) FROM matches").fetchone()[0]
            matches = [Match(first + offset, tuple(lineup)) for offset, lineup in enumerate(lineups)]  # type: ignore[arg-type]
            connection.executemany("INSERT INTO matches (number, lineup) VALUES (?, ?)",
                                   [(match.number, json.dumps(match.lineup)) for match in matches])
        return matches

    def unfinished(self) -> list[tuple[Match, list[int]]]:
        """The planned matches that miss games, in order, each with the numbers of its missing games."""
        # The matches of rated games are complete (games are rated in order, once all before them
        # are recorded), so only the later ones are looked at.
        first = self.rated_games // MATCH_GAMES
        played = {number for (number,) in self._connection.execute(
            "SELECT number FROM games WHERE number >= ?", (first * MATCH_GAMES,))}
        unfinished = []
        for number, lineup in self._connection.execute(
                "SELECT number, lineup FROM matches WHERE number >= ? ORDER BY number", (first,)).fetchall():
            match = Match(number, tuple(json.loads(lineup)))
            missing = [game for game in match.game_numbers if game not in played]
            if missing:
                unfinished.append((match, missing))
        return unfinished

    def games(self, first: int = 0) -> list[GameRow]:
        return [GameRow(number, seed, tuple(json.loads(lineup)), tuple(json.loads(seats)), tuple(json.loads(scores)),
                        tuple(json.loads(places)), plies)
                for number, seed, lineup, seats, scores, places, plies in self._connection.execute(
                    "SELECT number, seed, lineup, seats, scores, places, plies FROM games WHERE number >= ? "
                    "ORDER BY number", (first,))]

    def record(self, games: Sequence[GameRow], rated: Sequence[tuple[GameRow, Mapping[int, Rating]]]) -> None:
        """In one transaction: adds `games`, and rates `rated`, the games next in order (some of
        them, or earlier ones, among `games`), each with the ratings it moved by player id."""
        if rated and rated[0][0].number != self.rated_games:
            raise ValueError(f"game {self.rated_games} is the next to rate, not {rated[0][0].number}")
        latest: dict[int, Rating] = {}
        played: Counter[int] = Counter()
        for game, moved in rated:
            latest.update(moved)
            played.update(game.seats)
        with self.transaction() as connection:
            connection.executemany(
                "INSERT INTO games (number, match, seed, lineup, seats, scores, places, plies) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                [(game.number, game.match, game.seed, json.dumps(game.lineup), json.dumps(game.seats),
                  json.dumps(game.scores), json.dumps(game.places), game.plies) for game in games])
            connection.executemany("INSERT INTO ratings (game, player, mu, sigma) VALUES (?, ?, ?, ?)",
                                   [(game.number, player, rating.mu, rating.sigma)
                                    for game, moved in rated for player, rating in moved.items()])
            connection.executemany("UPDATE players SET mu = ?, sigma = ? WHERE id = ?",
                                   [(rating.mu, rating.sigma, player) for player, rating in latest.items()])
            connection.executemany("UPDATE players SET games = games + ? WHERE id = ?",
                                   [(count, player) for player, count in played.items()])
            if rated:
                self._set("rated", rated[-1][0].number + 1)

    def history(self) -> list[tuple[int, int, Rating]]:
        """(game number, player id, rating after that game) for every change of a rating, in game order."""
        return [(game, player, Rating(mu, sigma)) for game, player, mu, sigma in self._connection.execute(
            "SELECT game, player, mu, sigma FROM ratings ORDER BY game, player")]
