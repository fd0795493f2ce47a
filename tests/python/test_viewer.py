"""The HTML viewer in a real headless Chromium: stepped through a record with its buttons, slider
and keys, what the page shows (the piece under every cell's centre, the marked last move, the
legend and the move list) is checked against the record's own replay."""

import random
import re

import pytest

import replay_needs
from random_play import play
from vexlan_rl.records import record_of
from vexlan_rl.replay import replay_html
from vexlan_rl.replay.svg import CELL, MARGIN, WIDTH

webdriver = replay_needs.module("selenium.webdriver")
CHROMIUM = replay_needs.program("chromium", "chromium")
DRIVER = replay_needs.program("chromedriver", "chromium-driver")

# Per cell of the board: the id of the piece group under its centre ("" for none) and the kind
# of element hit there (a "circle" is a last-move dot); then what the side panel says.
READ_PAGE = f"""
const svg = document.querySelector("#board svg"), box = svg.getBoundingClientRect();
const scale = box.width / {WIDTH}, cells = [];
for (let row = 0; row < 20; row++) for (let column = 0; column < 20; column++) {{
  const hit = document.elementFromPoint(box.left + ({MARGIN} + (column + 0.5) * {CELL}) * scale,
                                        box.top + ({MARGIN} + (row + 0.5) * {CELL}) * scale);
  const piece = hit.closest("g.piece");
  cells.push([piece ? piece.id : "", hit.tagName]);
}}
const current = document.querySelectorAll("#moves li.current");
return {{cells, position: document.getElementById("position").textContent,
         slider: Number(document.getElementById("slider").value),
         legend: Array.from(document.querySelectorAll("#legend tbody tr"), row =>
           Array.from(row.cells, cell => cell.textContent.trim())),
         current: Array.from(current, item => item.textContent),
         resources: performance.getEntriesByType("resource").length}};
"""


@pytest.fixture(scope="module")
def browser():
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1200,1000"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(executable_path=DRIVER), options=options)
    yield driver
    driver.quit()


def expected_page(record, ply):
    """What the page should show after `ply` moves, worked out from the record alone."""
    cells = [["", "rect"] for _ in range(400)]  # the empty board
    for number, move in enumerate(record.moves[:ply], 1):
        for row, column in move.placement().board_cells:
            cells[row * 20 + column] = [f"move-{number}", "circle" if number == ply else "path"]
    game = list(record.positions())[ply]
    pieces = game.observe(0).pieces
    legend = [[str(seat), record.players[seat].name, str(game.scores[seat]), str(sum(pieces[21 * seat:21 * seat + 21])),
               "done" if game.terminations[seat] else "to move" if seat == game.agent_selection and not game.is_over
               else ""] for seat in range(4)]
    current = [f"seat {record.moves[ply - 1].seat}  {record.moves[ply - 1].text}"] if ply else []
    return {"cells": cells, "position": f"move {ply} of {len(record.moves)}", "slider": ply, "legend": legend,
            "current": current, "resources": 0}


def test_viewer_shows_the_record_move_by_move(browser, tmp_path):
    game, actions = play(11)
    record = record_of(["greedy", "mcts:50", "random", "<b>human</b>"], 11,
                       [a for a in actions if a is not None], game)
    page = tmp_path / "game.html"
    html = replay_html(record)
    page.write_text(html)
    assert html.count("://") == html.count('xmlns="http://www.w3.org/2000/svg"')  # nothing to fetch
    browser.get(page.as_uri())
    assert browser.title == "Game 0: greedy, mcts:50, random, <b>human</b>"

    def check(ply):
        shown = browser.execute_script(READ_PAGE)
        assert shown == expected_page(record, ply), f"after {ply} moves"

    check(0)
    button = {name: browser.find_element("id", name) for name in ("first", "previous", "next", "last")}
    for ply in range(1, 6):
        button["next"].click()
        check(ply)
    button["previous"].click()
    check(4)
    rng = random.Random(11)
    for ply in sorted(rng.sample(range(len(record.moves) + 1), 6)):
        browser.execute_script("const s = document.getElementById('slider'); s.value = arguments[0];"
                               "s.dispatchEvent(new Event('input'));", ply)
        check(ply)
    button["last"].click()
    check(len(record.moves))
    button["next"].click()  # stays at the end
    check(len(record.moves))
    browser.find_element("css selector", "body").send_keys("\ue012\ue012")  # the left arrow, twice
    check(len(record.moves) - 2)
    browser.find_elements("css selector", "#moves li")[9].click()
    check(10)
    button["first"].click()
    check(0)
    assert not re.search(r"SEVERE", str(browser.get_log("browser")))
