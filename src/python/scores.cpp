// What a game is worth: scores at any time, the rewards of done agents and
// the final outcome in a reward mode.

#include "scores.hpp"

#include <string_view>

#include "arguments.hpp"
#include "game/scores.hpp"
#include "seat_list.hpp"
#include "vexlan.hpp"

namespace binding {

PyObject* outcome(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Parameter PARAMETERS[] = {{"mode"}};
        PyObject* argument = nullptr;
        if (!parse_arguments({"PyVexlan.outcome()", PARAMETERS}, args, nargsf, kwnames, {&argument, 1})) {
            return nullptr;
        }
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        std::string_view name;
        if (!to_text(argument, "mode", name)) return nullptr;
        // The mode is checked first, so a wrong name fails in a running game too.
        const auto mode = game::reward_mode_from_name(name);
        if (!mode) {
            // From the str itself, so that text with NUL characters is shown whole.
            PyErr_Format(PyExc_ValueError, "Unknown reward mode %U", argument);
            return nullptr;
        }
        const game::Game& game = as_vexlan(self)->game;
        if (!game.over()) Py_RETURN_NONE;
        const auto rewards = game::outcome_from_scores(game.scores(), *mode);
        return seat_list([&](std::size_t k) { return PyFloat_FromDouble(static_cast<double>(rewards[k])); });
    });
}

PyObject* get_scores(PyObject* self, void*) {
    return read_game(self, [](const game::Game& game) {
        const auto scores = game.scores();
        return seat_list([&](std::size_t k) { return PyLong_FromLong(scores[k]); });
    });
}

PyObject* get_rewards(PyObject* self, void*) {
    return read_game(self, [](const game::Game& game) {
        const auto scores = game.scores();
        return seat_list([&](std::size_t k) {
            return game.is_done(k) ? PyLong_FromLong(scores[k]) : Py_NewRef(Py_None);
        });
    });
}

}  // namespace binding
