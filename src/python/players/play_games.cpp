// The arena's binding: four Player objects, a range of game numbers, and
// one tuple per finished game; and the games' random openings.

#include "play_games.hpp"

#include <array>
#include <vector>

#include "arguments.hpp"
#include "errors.hpp"
#include "owned.hpp"
#include "player_object.hpp"
#include "players/arena.hpp"
#include "players/opening.hpp"
#include "released.hpp"

namespace binding {

namespace {

// A tuple of the first `count` values of `values`, each made by `make`.
template <class Values, class Make>
PyObject* tuple_of(const Values& values, std::size_t count, Make make) {
    Owned tuple(PyTuple_New(static_cast<Py_ssize_t>(count)));
    if (!tuple) return nullptr;
    for (std::size_t s = 0; s < count; ++s) {
        PyObject* item = make(values[s]);
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(s), item);
    }
    return tuple.release();
}

PyObject* record_tuple(const players::GameRecord& record) {
    const auto as_int = [](auto value) { return PyLong_FromLong(value); };
    const auto as_float = [](float value) { return PyFloat_FromDouble(value); };
    const std::size_t seats = record.player.size();
    Owned player(tuple_of(record.player, seats, as_int));
    Owned scores(player ? tuple_of(record.scores, seats, as_int) : nullptr);
    Owned win_share(scores ? tuple_of(record.win_share, seats, as_float) : nullptr);
    Owned place(win_share ? tuple_of(record.place, seats, as_float) : nullptr);
    Owned moves(place ? tuple_of(record.moves, record.plies, as_int) : nullptr);
    if (!moves) return nullptr;
    return Py_BuildValue("(OOOOiO)", player.get(), scores.get(), win_share.get(), place.get(), record.plies,
                         moves.get());
}

// The settings of the four players of `lineup`; false with the exception set.
bool read_lineup(PyObject* lineup, std::array<players::PlayerSettings, players::NUM_PLAYERS>& settings) {
    PyTypeObject* type = player_type();
    if (type == nullptr) return false;
    Owned sequence(PySequence_Fast(lineup, "players must be a sequence of four Player objects"));
    if (!sequence) return false;
    if (PySequence_Fast_GET_SIZE(sequence.get()) != static_cast<Py_ssize_t>(players::NUM_PLAYERS)) {
        PyErr_Format(PyExc_ValueError, "players must hold exactly %zu players, one per seat, not %zd",
                     players::NUM_PLAYERS, PySequence_Fast_GET_SIZE(sequence.get()));
        return false;
    }
    for (std::size_t p = 0; p < players::NUM_PLAYERS; ++p) {
        PyObject* item = PySequence_Fast_GET_ITEM(sequence.get(), static_cast<Py_ssize_t>(p));
        if (Py_TYPE(item) != type) {
            PyErr_Format(PyExc_TypeError, "players[%zu] must be a Player, not '%s'", p, Py_TYPE(item)->tp_name);
            return false;
        }
        settings[p] = reinterpret_cast<PlayerObject*>(item)->settings;
    }
    return true;
}

// More games in one call than any machine plays; far below what a record list could not hold.
constexpr std::uint64_t MAX_COUNT = std::uint64_t{1} << 32;

bool to_openings(PyObject* value, std::uint64_t& out) {
    return value == nullptr || to_bounded(value, "openings", 0, players::MAX_PLACEMENTS, out);
}

}  // namespace

PyObject* play_games(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {
            {"players"}, {"seed"}, {"first_game"}, {"count"}, {"threads"},
            {"openings", Parameter::Kind::KeywordOnly, false}};
        PyObject* values[std::size(PARAMETERS)];
        if (!parse_arguments({"play_games()", PARAMETERS}, args, nargsf, kwnames, values)) return nullptr;
        std::array<players::PlayerSettings, players::NUM_PLAYERS> settings;
        std::uint64_t seed = 0, first_game = 0, count = 0, threads = 0, openings = 0;
        if (!read_lineup(values[0], settings) || !to_index(values[1], "seed", seed) ||
            !to_index(values[2], "first_game", first_game) || !to_bounded(values[3], "count", 0, MAX_COUNT, count) ||
            !to_bounded(values[4], "threads", 1, players::SearchSettings::MAX_THREADS, threads) ||
            !to_openings(values[5], openings)) {
            return nullptr;
        }
        std::vector<players::GameRecord> records(static_cast<std::size_t>(count));
        if (!run_released([&](common::Interrupt& interrupt) {
                players::play_games(settings, seed, first_game, records, static_cast<unsigned>(threads),
                                    static_cast<std::size_t>(openings), interrupt);
            })) {
            return nullptr;
        }
        Owned list(PyList_New(static_cast<Py_ssize_t>(count)));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < records.size(); ++i) {
            PyObject* item = record_tuple(records[i]);
            if (item == nullptr) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
        }
        return list.release();
    });
}

PyObject* opening(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"seed"}, {"game_number"}, {"openings"}};
        PyObject* values[std::size(PARAMETERS)];
        if (!parse_arguments({"opening()", PARAMETERS}, args, nargsf, kwnames, values)) return nullptr;
        std::uint64_t seed = 0, game_number = 0, openings = 0;
        if (!to_index(values[0], "seed", seed) || !to_index(values[1], "game_number", game_number) ||
            !to_openings(values[2], openings)) {
            return nullptr;
        }
        std::array<players::GridIndex, players::MAX_PLACEMENTS> moves{};
        game::Game position;
        const std::size_t placed = players::play_opening(position, players::opening_seed(seed, game_number),
                                                         std::span(moves).first(static_cast<std::size_t>(openings)));
        return tuple_of(moves, placed, [](auto move) { return PyLong_FromLong(move); });
    });
}

}  // namespace binding
