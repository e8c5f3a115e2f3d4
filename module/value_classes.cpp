#include "value_classes.hpp"

#include <climits>
#include <cstddef>
#include <new>

#include "access_flag.hpp"
#include "py_ref.hpp"

namespace korvane::py {

namespace {

// ---- the two enumerations -----------------------------------------------------------

// Instances never change, but they carry a flag like every other value the module guards;
// only shared access is ever asked of it.
struct EnumObject {
    PyObject_HEAD
    AccessFlag flag;
    std::uint8_t value;
};

EnumObject* as_enum(PyObject* o) { return reinterpret_cast<EnumObject*>(o); }

struct EnumDesc {
    const char* type_name;  // qualified, "korvane.Axis"
    const char* doc;        // null: the class has no docstring
    const char* const* members;
    const char* const* reprs;
    std::size_t member_count;
    CachedRef type;  // once created
};

constexpr const char* kResultMembers[] = {"PlusOne", "MinusOne"};
constexpr const char* kResultReprs[] = {"MeasurementResult.PlusOne", "MeasurementResult.MinusOne"};
constexpr const char* kAxisMembers[] = {"X", "Y", "Z"};
constexpr const char* kAxisReprs[] = {"Axis.X", "Axis.Y", "Axis.Z"};

EnumDesc g_result{"korvane.MeasurementResult",
                  "Result of a single-qubit measurement.\n\nExposed to Python as `korvane.MeasurementResult`.",
                  kResultMembers, kResultReprs, 2, {}};
EnumDesc g_axis{"korvane.Axis", nullptr, kAxisMembers, kAxisReprs, 3, {}};

// Instances are made here only; the types' own tp_alloc refuses (refuse_alloc).
PyObject* alloc_enum(PyTypeObject* type, std::uint8_t value) {
    PyObject* o = PyType_GenericAlloc(type, 0);
    if (o == nullptr) return nullptr;
    new (&as_enum(o)->flag) AccessFlag();
    as_enum(o)->value = value;
    return o;
}

// The types are mutable, so Python code may give one a `__new__` that calls
// object.__new__, which allocates through this slot. Refused as the interpreter refuses
// `Axis()`: the module creates every instance, so none exists with its fields unset.
PyObject* refuse_alloc(PyTypeObject* type, Py_ssize_t) {
    PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", type->tp_name);
    return nullptr;
}

// Heap-type instances own a reference to their type.
void value_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

template <EnumDesc& D>
PyObject* enum_repr(PyObject* self) {
    return PyUnicode_FromString(D.reprs[as_enum(self)->value]);
}

PyObject* enum_int(PyObject* self) { return PyLong_FromLong(as_enum(self)->value); }

// Equal to a member of the same class with the same value, or to an integer (anything
// with __index__) of that value; orderings are left to the interpreter to refuse.
template <EnumDesc& D>
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
    Borrow mine(as_enum(self)->flag, Access::shared);
    if (!mine.held()) {
        PyErr_Clear();
        Py_RETURN_NOTIMPLEMENTED;
    }
    if (op < Py_LT || op > Py_GE) Py_RETURN_NOTIMPLEMENTED;
    const long long a = as_enum(self)->value;
    long long b = 0;
    // An exact int (the common `result == 1`) is never an instance of this class: it skips
    // the subtype walk and goes straight to the integer conversion.
    if (!PyLong_CheckExact(other) && PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(D.type.get()))) {
        Borrow theirs(as_enum(other)->flag, Access::shared);
        if (!theirs.held()) {
            PyErr_Clear();
            Py_RETURN_NOTIMPLEMENTED;
        }
        b = as_enum(other)->value;
    } else {
        b = PyLong_AsLongLong(other);
        if (b == -1 && PyErr_Occurred()) {
            // An interruption, an exit request or exhausted memory is a failure to report,
            // not an answer to the comparison.
            if (PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) || PyErr_ExceptionMatches(PyExc_SystemExit) ||
                PyErr_ExceptionMatches(PyExc_MemoryError))
                return nullptr;
            PyErr_Clear();
            Py_RETURN_NOTIMPLEMENTED;
        }
#if PY_SSIZE_T_MAX < LLONG_MAX
        if (b > PY_SSIZE_T_MAX || b < PY_SSIZE_T_MIN) Py_RETURN_NOTIMPLEMENTED;
#endif
    }
    switch (op) {
        case Py_EQ: return PyBool_FromLong(a == b);
        case Py_NE: return PyBool_FromLong(a != b);
        default: Py_RETURN_NOTIMPLEMENTED;
    }
}

template <EnumDesc& D>
PyTypeObject* create_enum_type() {
    static PyType_Slot slots[] = {
        {Py_tp_alloc, reinterpret_cast<void*>(refuse_alloc)},
        {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
        {Py_tp_repr, reinterpret_cast<void*>(enum_repr<D>)},
        {Py_nb_int, reinterpret_cast<void*>(enum_int)},
        {Py_tp_richcompare, reinterpret_cast<void*>(enum_richcompare<D>)},
        // Last on purpose: without a docstring this entry is the terminator, so the
        // class gets no doc slot at all and its __doc__ is None.
        {D.doc != nullptr ? Py_tp_doc : 0, const_cast<char*>(D.doc)},
        {0, nullptr},
    };
    static PyType_Spec spec{D.type_name, static_cast<int>(sizeof(EnumObject)), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, slots};
    PyRef type(PyType_FromSpec(&spec));
    if (!type) return nullptr;
    auto* tp = reinterpret_cast<PyTypeObject*>(type.get());
    for (std::size_t i = 0; i < D.member_count; ++i) {
        PyRef member(alloc_enum(tp, static_cast<std::uint8_t>(i)));
        if (!member || PyObject_SetAttrString(type.get(), D.members[i], member.get()) < 0) return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(type.release());
}

template <EnumDesc& D>
PyTypeObject* enum_type() {
    if (!D.type) D.type.set(reinterpret_cast<PyObject*>(create_enum_type<D>()));
    return reinterpret_cast<PyTypeObject*>(D.type.get());
}

template <EnumDesc& D>
PyObject* new_enum(std::uint8_t value) {
    PyTypeObject* type = enum_type<D>();
    return type != nullptr ? alloc_enum(type, value) : nullptr;
}

// ---- Outcome ------------------------------------------------------------------------

struct OutcomeObject {
    PyObject_HEAD
    std::uint8_t result;
    std::uint8_t axis;
};

OutcomeObject* as_outcome(PyObject* o) { return reinterpret_cast<OutcomeObject*>(o); }

CachedRef g_outcome_type;

PyObject* outcome_str(PyObject* self) {
    static constexpr const char* results[] = {"+1", "-1"};
    static constexpr const char* axes[] = {"X", "Y", "Z"};
    return PyUnicode_FromFormat("(%s, %s)", results[as_outcome(self)->result], axes[as_outcome(self)->axis]);
}

PyObject* outcome_get_result(PyObject* self, void*) { return new_measurement_result(as_outcome(self)->result); }
PyObject* outcome_get_axis(PyObject* self, void*) { return new_axis(as_outcome(self)->axis); }

PyGetSetDef g_outcome_getset[] = {
    {"result", outcome_get_result, nullptr, nullptr, nullptr},
    {"axis", outcome_get_axis, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_outcome_slots[] = {
    {Py_tp_alloc, reinterpret_cast<void*>(refuse_alloc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
    {Py_tp_str, reinterpret_cast<void*>(outcome_str)},
    {Py_tp_getset, g_outcome_getset},
    {Py_tp_doc, const_cast<char*>("Measurement outcome and the axis that was measured.\n\n"
                                  "Returned in the values of `peek_measure_set`.")},
    {0, nullptr},
};

PyType_Spec g_outcome_spec{"korvane.Outcome", static_cast<int>(sizeof(OutcomeObject)), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, g_outcome_slots};

}  // namespace

PyTypeObject* measurement_result_type() noexcept { return enum_type<g_result>(); }
PyTypeObject* axis_type() noexcept { return enum_type<g_axis>(); }

PyTypeObject* outcome_type() noexcept {
    if (!g_outcome_type) g_outcome_type.set(PyType_FromSpec(&g_outcome_spec));
    return reinterpret_cast<PyTypeObject*>(g_outcome_type.get());
}

void drop_value_types(Drop how) noexcept {
    g_result.type.drop(how);
    g_axis.type.drop(how);
    g_outcome_type.drop(how);
}

PyObject* new_measurement_result(std::uint8_t bit) noexcept { return new_enum<g_result>(bit); }
PyObject* new_axis(std::uint8_t axis) noexcept { return new_enum<g_axis>(axis); }

PyObject* new_outcome(std::uint8_t result, std::uint8_t axis) noexcept {
    PyTypeObject* type = outcome_type();
    if (type == nullptr) return nullptr;
    PyObject* o = PyType_GenericAlloc(type, 0);
    if (o == nullptr) return nullptr;
    as_outcome(o)->result = result;
    as_outcome(o)->axis = axis;
    return o;
}

}  // namespace korvane::py
