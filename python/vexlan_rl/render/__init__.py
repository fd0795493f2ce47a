"""Drawing a game for people: text boards, images and the pieces' outlines."""
