#include "buffer_view.hpp"

#include "errors.hpp"
#include "owned.hpp"
#include "type_setup.hpp"

namespace binding {

namespace {

// The exporter behind each view: a layout and a strong reference to the
// object that owns the memory.
struct BufferObject {
    PyObject_HEAD
    PyObject* owner;
    BufferLayout layout;
    std::array<Py_ssize_t, 4> strides;
};

BufferObject* as_buffer(PyObject* self) { return reinterpret_cast<BufferObject*>(self); }

int export_buffer(PyObject* self, Py_buffer* view, int flags) {
    if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
        PyErr_SetString(PyExc_BufferError, "The batch's buffers are read-only; copy them to write");
        return -1;
    }
    const BufferObject* buffer = as_buffer(self);
    const BufferLayout& layout = buffer->layout;
    Py_ssize_t length = static_cast<Py_ssize_t>(layout.item_size);
    for (int d = 0; d < layout.dimensions; ++d) length *= layout.shape[static_cast<std::size_t>(d)];
    view->obj = Py_NewRef(self);
    view->buf = layout.data;
    view->len = length;
    view->readonly = 1;
    view->itemsize = static_cast<Py_ssize_t>(layout.item_size);
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>(layout.format) : nullptr;
    view->ndim = layout.dimensions;
    view->shape = (flags & PyBUF_ND) == PyBUF_ND ? const_cast<Py_ssize_t*>(layout.shape.data()) : nullptr;
    view->strides =
        (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? const_cast<Py_ssize_t*>(buffer->strides.data()) : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

int traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_buffer(self)->owner);
    return 0;
}

int clear(PyObject* self) {
    Py_CLEAR(as_buffer(self)->owner);
    return 0;
}

void deallocate_buffer(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    clear(self);
    type->tp_free(self);
    Py_DECREF(type);
}


int get_buffer(PyObject* self, Py_buffer* view, int flags) {
    return guarded_status([&] { return export_buffer(self, view, flags); });
}

PyType_Slot SLOTS[] = {
    {Py_bf_getbuffer, reinterpret_cast<void*>(get_buffer)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate_buffer)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {0, nullptr},
};

PyType_Spec SPEC = {
    "vexlan_rl._batch.BatchBuffer",
    sizeof(BufferObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    SLOTS,
};

}  // namespace

PyTypeObject* buffer_type() {
    return type_from_spec<&SPEC>();
}

PyObject* buffer_view(PyObject* owner, const BufferLayout& layout) {
    PyTypeObject* type = buffer_type();
    if (type == nullptr) return nullptr;
    Owned exporter(type->tp_alloc(type, 0));
    if (!exporter) return nullptr;
    BufferObject* buffer = as_buffer(exporter.get());
    buffer->owner = Py_NewRef(owner);
    buffer->layout = layout;
    Py_ssize_t stride = static_cast<Py_ssize_t>(layout.item_size);
    for (int d = layout.dimensions - 1; d >= 0; --d) {
        buffer->strides[static_cast<std::size_t>(d)] = stride;
        stride *= layout.shape[static_cast<std::size_t>(d)];
    }
    return PyMemoryView_FromObject(exporter.get());
}

}  // namespace binding
