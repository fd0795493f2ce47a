"""Piece outlines in the board image, read back from its pixels: on random games the outlines cut
the covered cells into exactly the placements of the game's moves, and the dotted cells are the
last move's. The GIF replay's frames are those boards, one per position."""

import pytest

import replay_needs
from random_play import play
from vexlan_rl.render.board_image import BOARD_PIXELS, CELL_PIXELS, COLOURS, OUTLINE_COLOUR, board_pixels
from vexlan_rl.records import record_of

np = pytest.importorskip("numpy")
MIDDLE = CELL_PIXELS // 2


def drawn_pieces(image) -> tuple[set, set]:
    """The groups of covered cells that no outline separates, and the cells with a dot."""
    def outlined(y, x):
        return (image[y, x] == OUTLINE_COLOUR).all()

    def at(row, column, dy, dx):
        return image[row * CELL_PIXELS + dy, column * CELL_PIXELS + dx]

    covered = {(r, c) for r in range(20) for c in range(20) if (at(r, c, 4, 4) != COLOURS[4]).any()}
    for r in range(20):
        for c in range(20):
            edges = [outlined(r * CELL_PIXELS + MIDDLE, c * CELL_PIXELS), outlined(r * CELL_PIXELS, c * CELL_PIXELS + MIDDLE),
                     outlined(r * CELL_PIXELS + MIDDLE, (c + 1) * CELL_PIXELS), outlined((r + 1) * CELL_PIXELS, c * CELL_PIXELS + MIDDLE)]
            if (r, c) in covered:  # a cell at the board's edge is outlined there
                assert all(edges[i] for i, edge in enumerate((c == 0, r == 0, c == 19, r == 19)) if edge)
            elif c < 19 and (r, c + 1) not in covered:
                assert not edges[2], "an outline between two empty cells"
    groups = []
    left = set(covered)
    while left:
        stack, group = [left.pop()], set()
        while stack:
            r, c = cell = stack.pop()
            group.add(cell)
            for near, y, x in (((r, c + 1), r * CELL_PIXELS + MIDDLE, (c + 1) * CELL_PIXELS),
                               ((r + 1, c), (r + 1) * CELL_PIXELS, c * CELL_PIXELS + MIDDLE),
                               ((r, c - 1), r * CELL_PIXELS + MIDDLE, c * CELL_PIXELS),
                               ((r - 1, c), r * CELL_PIXELS, c * CELL_PIXELS + MIDDLE)):
                if near in left and not outlined(y, x):
                    left.remove(near)
                    stack.append(near)
        groups.append(frozenset(group))
    dotted = {(r, c) for r, c in covered if (at(r, c, MIDDLE, MIDDLE) == 255).all()}
    return set(groups), dotted


@pytest.mark.parametrize("seed", range(3))
def test_outlines_enclose_exactly_the_placements(seed):
    game, actions = play(seed)
    record = record_of(["random"] * 4, seed, [a for a in actions if a is not None], game)
    positions = list(record.positions())
    for ply in [*range(0, len(positions), 7), len(positions) - 1]:
        groups, dotted = drawn_pieces(board_pixels(positions[ply]))
        placements = [frozenset(move.placement().board_cells) for move in record.moves[:ply]]
        assert groups == set(placements) and len(groups) == ply
        assert dotted == (set(placements[-1]) if ply else set())


def test_gif_frames_are_the_boards_of_the_replay(tmp_path):
    Image = replay_needs.module("PIL.Image")

    from vexlan_rl.replay.gif import write_gif
    game, actions = play(8)
    record = record_of(["greedy", "random", "mcts:10", "random"], 8, [a for a in actions if a is not None], game)
    write_gif(record, tmp_path / "game.gif", seconds_per_move=0.2)
    positions = list(record.positions())
    with Image.open(tmp_path / "game.gif") as gif:
        assert gif.n_frames == len(positions) and gif.info["loop"] == 0
        for ply in (0, 1, 17, len(positions) - 1):
            gif.seek(ply)
            frame = np.asarray(gif.convert("RGB"))
            assert (frame[:BOARD_PIXELS] == board_pixels(positions[ply])).all()
            assert gif.info["duration"] == (200 if ply < len(positions) - 1 else 800)
