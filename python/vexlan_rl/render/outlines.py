"""Outlines of pieces.

A seat's own pieces never share an edge, so every edge between two cells of
different owners (or between a cell and the board's edge) is part of a piece's
outline, and the outline of one placement is the boundary of its cells. The
points here are cell corners, (x, y) = (column, row), y growing downwards.
"""

from collections.abc import Iterable

from vexlan_rl.actions import Cell

Point = tuple[int, int]


def piece_outline(cells: Iterable[Cell]) -> list[list[Point]]:
    """The boundary of `cells` as closed loops of corner points, each corner a change of
    direction, going clockwise round the cells (anticlockwise round any hole)."""
    cell_set = set(cells)
    edges: dict[Point, list[Point]] = {}
    for row, column in cell_set:
        corners = [(column, row), (column + 1, row), (column + 1, row + 1), (column, row + 1)]
        for side, (start, end) in enumerate(zip(corners, corners[1:] + corners[:1])):
            neighbour = ((row - 1, column), (row, column + 1), (row + 1, column), (row, column - 1))[side]
            if neighbour not in cell_set:
                edges.setdefault(start, []).append(end)
    loops = []
    while edges:
        start = min(edges)
        walk = [start]
        point = start
        while True:
            ends = edges[point]
            following = ends.pop()
            if not ends:
                del edges[point]
            if following == start:
                break
            walk.append(following)
            point = following
        loops.append([walk[i] for i in range(len(walk)) if not _straight(walk[i - 1], walk[i],
                                                                           walk[(i + 1) % len(walk)])])
    return loops


def _straight(before: Point, point: Point, after: Point) -> bool:
    return (point[0] - before[0]) * (after[1] - point[1]) == (point[1] - before[1]) * (after[0] - point[0])
