#include "observation.hpp"

#include <new>
#include <vector>

#include "arguments.hpp"
#include "owned.hpp"
#include "type_setup.hpp"
#include "vexlan.hpp"

namespace binding {

namespace {

PyObservationObject* as_observation(PyObject* self) { return reinterpret_cast<PyObservationObject*>(self); }

// Bytes [First, First + Size) of one of the object's arrays.
template <auto Field, std::size_t First = 0, std::size_t Size = 0>
PyObject* get_buffer(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        Access access(as_observation(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        const auto& buffer = as_observation(self)->*Field;
        static_assert(First + Size <= std::tuple_size_v<std::remove_cvref_t<decltype(buffer)>>);
        const std::size_t size = Size != 0 ? Size : buffer.size();
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(buffer.data() + First),
                                         static_cast<Py_ssize_t>(size));
    });
}

constexpr std::size_t SEAT_PLANES = game::NUM_SEATS * game::PLANE_SIZE;

PyGetSetDef PROPERTIES[] = {
    {"observation", get_buffer<&PyObservationObject::planes, game::OCCUPIED_PLANES * game::PLANE_SIZE, SEAT_PLANES>, nullptr,
     "The occupied cells in (agent, row, col) order.", nullptr},
    {"corners", get_buffer<&PyObservationObject::planes, game::CORNER_PLANES * game::PLANE_SIZE, SEAT_PLANES>, nullptr,
     "The cells each agent's next piece can attach to, in (agent, row, col) order.", nullptr},
    {"blocked", get_buffer<&PyObservationObject::planes, game::BLOCKED_PLANES * game::PLANE_SIZE, SEAT_PLANES>, nullptr,
     "The cells each agent can never fill, in (agent, row, col) order.", nullptr},
    {"pieces", get_buffer<&PyObservationObject::pieces>, nullptr,
     "The pieces each agent still has, in (agent, piece) order.", nullptr},
    {"done", get_buffer<&PyObservationObject::done>, nullptr, "Whether each agent is out of moves.", nullptr},
    {"action_mask", get_buffer<&PyObservationObject::action_mask>, nullptr,
     "The action mask over the flattened action grid.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("An observation as bytes of 0/1, cheap to wrap with `numpy.frombuffer`. Agents "
                                  "are in\nagent-relative order, see `Observation`.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<PyObservationObject>)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_type_only)},
    {Py_tp_getset, PROPERTIES},
    {0, nullptr},
};

// The class reports its module as "builtins" so that it shows as plain
// PyObservation. The spec name carries that module (a name without one makes
// interpreters warn); renaming the class afterwards drops it from the type's
// own name, which older interpreters print.
PyType_Spec SPEC = {
    "builtins.PyObservation",
    sizeof(PyObservationObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    SLOTS,
};

// The plain class name; see the comment above SPEC.
bool name_without_module(PyTypeObject* type) {
    return set_class_attribute(type, "__name__", PyUnicode_FromString("PyObservation"));
}

}  // namespace

PyTypeObject* observation_type() { return type_from_spec<&SPEC, name_without_module>(); }

namespace {

constexpr Parameter AGENT[] = {{"agent_idx"}};

// The agent argument of observe() and legal_actions().
bool to_agent(PyObject* argument, std::size_t& agent) {
    std::uint64_t index = 0;
    if (!to_index(argument, "agent_idx", index)) return false;
    if (index >= game::NUM_SEATS) {
        PyErr_Format(PyExc_ValueError, "Unknown agent %llu", static_cast<unsigned long long>(index));
        return false;
    }
    agent = static_cast<std::size_t>(index);
    return true;
}

}  // namespace

PyObject* observe(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* argument = nullptr;
        if (!parse_arguments({"PyVexlan.observe()", AGENT}, args, nargsf, kwnames, {&argument, 1})) return nullptr;
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        const game::Game& game = as_vexlan(self)->game;
        std::size_t agent = 0;
        if (!to_agent(argument, agent)) return nullptr;
        const game::Observation seen = game.observe(agent);
        std::vector<std::uint16_t> moves;
        game.observed_moves(seen, moves);

        PyTypeObject* type = observation_type();
        if (type == nullptr) return nullptr;
        Owned result(type->tp_alloc(type, 0));  // zero-filled
        if (!result) return nullptr;
        PyObservationObject* out = as_observation(result.get());
        new (&out->borrow) BorrowFlag();
        game::write_observation(seen, out->planes.data(), out->pieces.data(), out->done.data());
        game.action_set().mark_grid(moves, out->action_mask);
        return result.release();
    });
}

PyObject* legal_actions(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        PyObject* argument = nullptr;
        if (!parse_arguments({"PyVexlan.legal_actions()", AGENT}, args, nargsf, kwnames, {&argument, 1})) {
            return nullptr;
        }
        Access access(as_vexlan(self)->borrow, AccessKind::Shared);
        if (!access.ok()) return nullptr;
        const game::Game& game = as_vexlan(self)->game;
        std::size_t agent = 0;
        if (!to_agent(argument, agent)) return nullptr;
        std::vector<std::uint16_t> moves;
        game.observed_moves(game.observe(agent), moves);
        Owned list(PyList_New(static_cast<Py_ssize_t>(moves.size())));
        if (!list) return nullptr;
        for (std::size_t j = 0; j < moves.size(); ++j) {
            PyObject* index = PyLong_FromSize_t(game.action_set().actions[moves[j]].grid_index);
            if (index == nullptr) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(j), index);
        }
        return list.release();
    });
}

}  // namespace binding
