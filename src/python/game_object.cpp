#include "game_object.hpp"

#include "owned.hpp"

namespace binding {

BorrowedGame::BorrowedGame(PyObject* object, const char* parameter, AccessKind kind, AfterFork after_fork)
    : object_(object) {
    PyTypeObject* type = vexlan_type();
    if (type == nullptr) return;
    if (Py_TYPE(object) != type) {
        Owned name(PyType_GetQualName(Py_TYPE(object)));
        if (name) PyErr_Format(PyExc_TypeError, "%s must be a PyVexlan, not '%U'", parameter, name.get());
        return;
    }
    access_.emplace(as_vexlan(object)->borrow, kind, after_fork);
}

}  // namespace binding
