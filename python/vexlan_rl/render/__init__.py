"""Boards drawn for people: the 80-column text board (`compact_board`) and an
RGB image (`board_image`, which needs numpy). `PyVexlan.text()` gives the
coloured text of `render()` as a string."""
