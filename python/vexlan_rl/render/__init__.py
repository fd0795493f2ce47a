"""Boards drawn for people: the 80-column text board (`compact_board`), an RGB
image (`board_image`, which needs numpy), the pieces' outlines (`outlines`) and
the colours they share (`palette`). `PyVexlan.text()` gives the coloured text
of `render()` as a string."""
