"""Boards drawn for people: the 80-column text board (`compact_board`), the
coloured text of `render()` as a string (`board_text`) and an RGB image
(`board_image`, which needs numpy)."""
