"""Ratings: ties share a place in openskill's input and come out shared (openskill's own
free-for-all tie bugs stay out), and the arena's ratings order a rigged lineup."""

import itertools

import pytest
from hypothesis import given
from hypothesis import strategies as st

from vexlan_rl.cli.arena import results_table
from vexlan_rl.players import evaluate, parse_players, play_games

ratings = pytest.importorskip("vexlan_rl.players.ratings", exc_type=ImportError)
openskill = pytest.importorskip("openskill.models")
INITIAL, Rating, rate_game, rate_games = ratings.INITIAL, ratings.Rating, ratings.rate_game, ratings.rate_games

skills = st.builds(Rating, st.floats(0.0, 50.0), st.floats(1.0, 9.0))
places = st.lists(st.integers(1, 4), min_size=4, max_size=4).map(lambda draws: [float(d) for d in draws])


@given(st.lists(skills, min_size=4, max_size=4), places, st.permutations(range(4)))
def test_a_game_is_rated_the_same_whatever_the_order_of_its_players(before, finish, order):
    after = rate_game(before, finish)
    shuffled = rate_game([before[i] for i in order], [finish[i] for i in order])
    for position, player in enumerate(order):
        assert shuffled[position].mu == pytest.approx(after[player].mu, abs=1e-9)
        assert shuffled[position].sigma == pytest.approx(after[player].sigma, abs=1e-9)


@given(places)
def test_among_equals_ties_share_a_place_and_a_better_place_is_worth_more(finish):
    after = rate_game([INITIAL] * 4, finish)
    for a, b in itertools.combinations(range(4), 2):
        if finish[a] == finish[b]:
            assert after[a] == after[b]  # openskill 6.1.2 told tied players apart by their order
        else:
            better, worse = (a, b) if finish[a] < finish[b] else (b, a)
            assert after[better].mu > after[worse].mu  # openskill 6.0 and 6.2 rate [1, 1, 3, 4] flat at the top
    if len(set(finish)) == 1:
        assert [rating.mu for rating in after] == [INITIAL.mu] * 4  # openskill 6.1.3 raised every rating
        assert all(rating.sigma < INITIAL.sigma for rating in after)


def test_games_without_ties_go_to_openskill_unchanged_and_a_tie_lies_between_win_and_loss():
    model = openskill.PlackettLuce(tau=0.0)
    before = [Rating(30.0, 4.0), Rating(22.0, 6.0), Rating(25.0, 8.0), Rating(18.0, 3.0)]
    expected = model.rate([[model.rating(mu=r.mu, sigma=r.sigma)] for r in before], ranks=[2, 0, 3, 1])
    got = rate_game(before, [3.0, 1.0, 4.0, 2.0])
    assert [value for r in got for value in r] == pytest.approx([value for (t,) in expected for value in (t.mu, t.sigma)])
    strong, weak = Rating(30.0, 3.0), Rating(20.0, 3.0)
    tie, win, loss = rate_game([strong, weak], [1, 1]), rate_game([strong, weak], [1, 2]), rate_game([strong, weak], [2, 1])
    assert loss[0].mu < tie[0].mu < strong.mu < win[0].mu  # a tie with a weaker player costs the stronger
    assert win[1].mu < weak.mu < tie[1].mu < loss[1].mu


def test_the_arena_rates_a_rigged_lineup_in_order_after_a_few_dozen_games():
    players = parse_players("mcts:50,greedy,random,random")
    results = evaluate(players, 24, seed=3, threads=2)
    search, greedy, *randoms = [result.rating for result in results]
    assert search.mu > greedy.mu > max(random.mu for random in randoms)
    assert greedy.conservative > max(random.mu for random in randoms)
    records = play_games(players, seed=3, first_game=0, count=24, threads=2)
    assert [search, greedy, *randoms] == rate_games(4, [(record.players, record.places) for record in records])
    header, first, *_ = results_table(results).splitlines()
    assert header.endswith("mu  sigma  mu - 3 sigma")
    assert first.split()[-3:] == [f"{search.mu:.2f}", f"{search.sigma:.2f}", f"{search.conservative:.2f}"]


def test_ties_in_arena_games_share_a_place():
    records = play_games(parse_players("random,random,random,random"), seed=1, first_game=0, count=200, threads=2)
    tied = [record for record in records if len(set(record.scores)) < 4]
    assert tied  # about one random game in five has a tie
    for record in tied:
        after = rate_game([INITIAL] * 4, record.places)
        for a, b in itertools.combinations(range(4), 2):
            assert (record.places[a] == record.places[b]) == (record.scores[a] == record.scores[b])
            assert (after[a] == after[b]) == (record.scores[a] == record.scores[b])
