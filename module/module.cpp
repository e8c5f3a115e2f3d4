// Entry point of the extension: builds the module once per process and hands out that
// same object on every later initialisation.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "call_frame.hpp"
#include "korvane_type.hpp"
#include "py_ref.hpp"
#include "value_classes.hpp"

namespace korvane::py {

namespace {

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "korvane",
    "Graph-state based quantum circuit simulator exposed as the `korvane` Python module.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Types and cached objects are process-wide, so only the first interpreter may use them.
std::int64_t g_interpreter_id = -1;
PyObject* g_module = nullptr;

// Adds `type` under `name` and lists the name in __all__, creating the list on first use.
bool add_class(PyObject* module, const char* name, PyTypeObject* type) {
    if (type == nullptr) return false;
    PyRef all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    PyRef text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return false;
    return PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type)) == 0;
}

PyObject* init_module() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return nullptr;
    if (g_interpreter_id == -1) {
        g_interpreter_id = id;
    } else if (g_interpreter_id != id) {
        PyErr_SetString(PyExc_ImportError, "korvane does not support sub-interpreters");
        return nullptr;
    }
    if (g_module != nullptr) return Py_NewRef(g_module);

    if (!init_parameter_names()) return nullptr;
    PyRef module(PyModule_Create(&g_module_def));
    if (!module) return nullptr;
    if (!add_class(module.get(), "MeasurementResult", measurement_result_type()) ||
        !add_class(module.get(), "Outcome", outcome_type()) || !add_class(module.get(), "Axis", axis_type()) ||
        !add_class(module.get(), "Korvane", korvane_type()))
        return nullptr;
    g_module = Py_NewRef(module.get());
    return module.release();
}

}  // namespace

}  // namespace korvane::py

PyMODINIT_FUNC PyInit_korvane(void) { return korvane::py::init_module(); }
