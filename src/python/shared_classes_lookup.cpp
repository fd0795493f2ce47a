// For the modules other than the game module: its PyVexlan class and its
// PanicException, looked up once in vexlan_rl._vexlan.

#include "errors.hpp"
#include "game_object.hpp"
#include "owned.hpp"
#include "type_setup.hpp"

namespace binding {

namespace {

template <const char* Name>
PyObject* look_up() {
    Owned module(PyImport_ImportModule("vexlan_rl._vexlan"));
    return module ? PyObject_GetAttrString(module.get(), Name) : nullptr;
}

constexpr char PY_VEXLAN[] = "PyVexlan";
constexpr char PANIC_EXCEPTION[] = "PanicException";

}  // namespace

PyTypeObject* vexlan_type() { return reinterpret_cast<PyTypeObject*>(made_once<look_up<PY_VEXLAN>>()); }

PyObject* panic_exception() { return made_once<look_up<PANIC_EXCEPTION>>(); }

}  // namespace binding
