"""What a replay shows at each step of a record: the position before the first move and after
each move, with the move just made and what the legend tells."""

from dataclasses import dataclass

from vexlan_rl._vexlan import PyVexlan
from vexlan_rl.actions import SEATS, Placement
from vexlan_rl.records import Record

PIECES = len(PyVexlan.piece_names)


@dataclass(frozen=True)
class Frame:
    """Step `ply` of a replay: `move` is the placement just made (None at the start); the rest by
    seat. `to_move` is None once the game is over."""
    ply: int
    move: Placement | None
    scores: tuple[int, ...]
    pieces_in_hand: tuple[int, ...]
    done: tuple[bool, ...]
    to_move: int | None

    def caption(self, record: Record) -> str:
        if self.move is None:
            return f"start, {len(record.moves)} moves"
        player = record.players[self.move.agent]
        return f"move {self.ply} of {len(record.moves)}: seat {self.move.agent} ({player.name}) {self.move}"

    def legend_line(self, record: Record, seat: int) -> str:
        state = "done" if self.done[seat] else "to move" if seat == self.to_move else ""
        return (f"seat {seat}: {record.players[seat].name}, score {self.scores[seat]}, "
                f"{self.pieces_in_hand[seat]} pieces in hand" + (f", {state}" if state else ""))


def frames(record: Record) -> list[Frame]:
    """One frame per position of `record`: len(record.moves) + 1 of them."""
    result = []
    for ply, game in enumerate(record.positions()):
        hand = game.observe(0).pieces  # agent 0's seat order is the seats' own
        result.append(Frame(
            ply, record.moves[ply - 1].placement() if ply else None, tuple(game.scores),
            tuple(sum(hand[seat * PIECES:(seat + 1) * PIECES]) for seat in range(SEATS)),
            tuple(game.terminations), None if game.is_over else game.agent_selection))
    return result
