"""The human seat, played through a pseudo-terminal from the first move to the end: moves typed
in every form, bad lines refused without harm, rotate, flip, see, undo, hints and saving; the
saved record holds exactly the moves typed."""

import os
import re
import sys

import pytest

from vexlan_rl.actions import ORIENTATIONS, parse_action
from vexlan_rl.records import load_record

pexpect = pytest.importorskip("pexpect")
PROMPT = "seat 2> "
PLAYED = re.compile(r"You play (\S+) on ")


def test_a_whole_game_through_a_terminal(tmp_path):
    final, partial = tmp_path / "game.jsonl", tmp_path / "partial.jsonl"
    child = pexpect.spawn(sys.executable, ["-m", "vexlan_rl", "play", "--opponents", "random,greedy,random",
                                           "--seat", "2", "--seed", "5", "--save", str(final)],
                          env={**os.environ, "NO_COLOR": "1", "TERM": "xterm"}, encoding="utf-8", timeout=60,
                          dimensions=(50, 120))

    def say(line: str, expect: str = PROMPT) -> str:
        child.sendline(line)
        child.expect_exact(expect)
        return child.before

    child.expect_exact(PROMPT)
    for bad, message in [("xyz", "not a command, piece or move"), ("L4@r0c0/o99", "not an orientation of L4"),
                         ("I5 0,0 0,1", "are not a placement of 'I5'"), ("I5 0,0 zz", "cells are written row,column"),
                         ("7", "no placements listed"), ("I1@r5c5/o0", None), ("hint lots", "hint takes a number")]:
        answer = say(bad)
        assert (message or "not a legal placement for you now") in answer and "You play" not in answer
    assert "ask the tree search" in say("help")

    # The first move, taken back: its record line and the opponents' answers go with it.
    say("I1")
    listed = say("1")
    assert "Your move, seat 2" in listed
    assert "Took back your move I1@" in say("undo") and "Nothing to undo" in say("undo")

    typed = []
    turn = 0
    while True:
        hint = re.search(r"hint: (\S+) on ((?:\d+,\d+ ?)+)", say("hint 20"))
        assert hint, child.before
        move, cells = hint.group(1), hint.group(2).strip()
        piece = move.split("@")[0]
        if turn % 3 == 0:
            line = move
        elif turn % 3 == 1:
            line = f"{piece} {cells.replace(' ', '  ')}"
        else:  # the piece's listing, rotated and flipped back, then the first placement of it
            first = say(piece)
            shown = re.search(r"orientation (\d+) ", first).group(1)
            turned = re.search(r"orientation (\d+) ", say("r")).group(1)
            assert ORIENTATIONS[int(turned)].piece == piece
            say("r"), say("r"), say("r"), say("f")
            assert f"orientation {shown} " in say("f")
            listing = re.search(r"^ +1  (\S+)  on ([\d, ]+?)\s*$", first, re.MULTILINE)
            assert listing, first
            line, move = "1", listing.group(1)
            assert f"1: {move} on {listing.group(2).strip()}" in say("see 1")
        if turn == 4:
            assert "Saved the game so far" in say(f"save {partial}")
        child.sendline(line)
        index = child.expect_exact([PROMPT, "Game over"])
        played = PLAYED.search(child.before)
        assert played and played.group(1) == move, child.before
        typed.append(parse_action(move))
        turn += 1
        if index == 1 or "You have no placement left" in child.before:
            break
    child.expect(pexpect.EOF)
    child.close()
    assert child.exitstatus == 0, child.before

    record = load_record(final)
    assert [player.spec for player in record.players] == ["random", "greedy", "human", "random"]
    assert [move.grid_index for move in record.moves if move.seat == 2] == typed
    game = list(record.positions())[-1]
    assert game.is_over and f"seat 2 (human) {game.scores[2]}" in child.before
    assert load_record(partial).moves == record.moves[:len(load_record(partial).moves)]
