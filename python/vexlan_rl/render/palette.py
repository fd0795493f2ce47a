"""The agents' colours, four of Okabe and Ito's palette for colour-blind readers (blue, yellow,
vermillion, bluish green: the hues of `render()`'s blue, yellow, red and green), which stay apart
under red-green colour blindness; and the few greys that every picture of the board shares."""

Colour = tuple[int, int, int]

SEAT_COLOURS: tuple[Colour, ...] = ((0, 114, 178), (240, 228, 66), (213, 94, 0), (0, 158, 115))
EMPTY: Colour = (240, 240, 240)
GRID: Colour = (190, 190, 190)
OUTLINE: Colour = (30, 30, 30)
PAPER: Colour = (255, 255, 255)
INK: Colour = (0, 0, 0)


def hex_colour(colour: Colour) -> str:
    return "#" + "".join(f"{part:02x}" for part in colour)
