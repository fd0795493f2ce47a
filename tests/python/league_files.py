"""League commands run as a user runs them, and the league files they leave, shared by the tests
of the league here and over Ray."""

import sqlite3
import subprocess
import sys
from contextlib import closing


def league(*arguments: object, wait: bool = True):
    """`python -m vexlan_rl league ARGUMENTS`: finished, or started (with wait=False)."""
    command = [sys.executable, "-m", "vexlan_rl", "league", *map(str, arguments)]
    if not wait:
        return subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return subprocess.run(command, capture_output=True, text=True, timeout=300)


def query(path, sql):
    with closing(sqlite3.connect(f"file:{path}?mode=ro", uri=True)) as connection:
        return connection.execute(sql).fetchall()


def contents(path):
    """Every row of every table of the league at `path`."""
    return {table: query(path, f"SELECT * FROM {table} ORDER BY 1, 2")
            for table in ("league", "players", "matches", "games", "ratings")}
