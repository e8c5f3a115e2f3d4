// Entry point of the extension: builds the module once per interpreter lifetime and hands
// out that same object on every later initialisation.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "call_frame.hpp"
#include "korvane_type.hpp"
#include "py_ref.hpp"
#include "value_classes.hpp"

namespace korvane::py {

namespace {

// Types, interned names and the engine-failure class live in process-wide variables.
void drop_process_objects(Drop how) {
    drop_korvane_type(how);
    drop_value_types(how);
    drop_call_frame_objects(how);
}

// The last reference to the module goes when its interpreter is finalized; the process-wide
// objects go with it, while that interpreter can still release them.
void free_module(void*) { drop_process_objects(Drop::release); }

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "korvane",
    "Graph-state based quantum circuit simulator exposed as the `korvane` Python module.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    free_module,
};

// Key of the module object in the interpreter's own dictionary. Kept there rather than in
// a process-wide variable, it ends with the interpreter: after Py_Finalize() and a new
// Py_Initialize() the next import builds a new module.
constexpr const char* kModuleKey = "korvane.module";

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

PyRef create_module() {
    if (!init_parameter_names()) return PyRef();
    PyRef module(PyModule_Create(&g_module_def));
    if (!module) return PyRef();
    if (!add_class(module.get(), "MeasurementResult", measurement_result_type()) ||
        !add_class(module.get(), "Outcome", outcome_type()) || !add_class(module.get(), "Axis", axis_type()) ||
        !add_class(module.get(), "Korvane", korvane_type()))
        return PyRef();
    return module;
}

PyObject* init_module() {
    // The classes and cached objects are shared by the whole process, and a sub-interpreter
    // may run beside the main one under a lock of its own; only the main interpreter may
    // have them, whichever interpreter asks first.
    PyInterpreterState* interpreter = PyInterpreterState_Get();
    if (interpreter != PyInterpreterState_Main()) {
        PyErr_SetString(PyExc_ImportError, "korvane does not support sub-interpreters");
        return nullptr;
    }
    PyObject* state = PyInterpreterState_GetDict(interpreter);
    if (state == nullptr) return PyErr_NoMemory();
    PyRef key(PyUnicode_FromString(kModuleKey));
    if (!key) return nullptr;
    if (PyObject* cached = PyDict_GetItemWithError(state, key.get())) return Py_NewRef(cached);
    if (PyErr_Occurred()) return nullptr;

    // First initialisation in this interpreter. Objects still cached were made by an
    // interpreter that has been finalized (its module outlived it, so free_module never
    // ran); they can only be abandoned.
    drop_process_objects(Drop::abandon);
    PyRef module = create_module();
    if (!module || PyDict_SetItem(state, key.get(), module.get()) < 0) {
        // Not cached, so a later import starts afresh.
        drop_process_objects(Drop::release);
        return nullptr;
    }
    return module.release();
}

}  // namespace

}  // namespace korvane::py

PyMODINIT_FUNC PyInit_korvane(void) { return korvane::py::init_module(); }
