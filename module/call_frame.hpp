// The pieces every Korvane method call goes through: argument binding, qubit index
// conversion, and the single place where engine failures become Python exceptions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "access_flag.hpp"
#include "py_ref.hpp"
#include "simulator.hpp"

namespace korvane::py {

// ---- parameters -------------------------------------------------------------------

enum class Param : unsigned char { qubit, control, target, qubits, qubit_amount };
inline constexpr std::size_t kParamNameCount = 5;
inline constexpr std::size_t kMaxParams = 2;

const char* param_text(Param p) noexcept;

// Interns the parameter names once per interpreter, so that keywords written in source
// code (which the compiler interns too) are matched by pointer. Returns false with an
// exception set.
bool init_parameter_names() noexcept;
// Lets go of the interned names and the engine-failure class (see CachedRef).
void drop_call_frame_objects(Drop how) noexcept;

struct Signature {
    const char* class_name;   // "Korvane"
    const char* method_name;  // "h", or "__new__" for the constructor
    std::size_t count;        // every parameter is positional-or-keyword and required
    Param params[kMaxParams];
};

struct MethodDesc {
    Signature signature;
    Access access;
};

// Fills out[0..count) with borrowed references to the bound arguments. Returns false with
// the TypeError of the first failed check set.
bool bind_vectorcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** out) noexcept;
bool bind_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) noexcept;

// ---- conversion -------------------------------------------------------------------

struct QubitSet {
    std::vector<std::size_t> items;  // distinct indices
};

bool qubit_index_slow(PyObject* obj, Param name, std::size_t& out) noexcept;

// Qubit index conversion. The exact small non-negative int is by far the common argument,
// so it is read straight from the object before any call into the interpreter.
inline bool convert_argument(PyObject* obj, Param name, std::size_t& out) noexcept {
    if (PyLong_CheckExact(obj)) {
#if PY_VERSION_HEX >= 0x030C0000
        auto* v = reinterpret_cast<PyLongObject*>(obj);
        if (PyUnstable_Long_IsCompact(v)) {
            const Py_ssize_t value = PyUnstable_Long_CompactValue(v);
            if (value >= 0) {
                out = static_cast<std::size_t>(value);
                return true;
            }
        }
#else
        const Py_ssize_t size = Py_SIZE(obj);
        if (size == 0) {
            out = 0;
            return true;
        }
        if (size == 1) {
            out = reinterpret_cast<PyLongObject*>(obj)->ob_digit[0];
            return true;
        }
#endif
    }
    return qubit_index_slow(obj, name, out);
}

bool convert_argument(PyObject* obj, Param name, QubitSet& out) noexcept;

// ---- engine failures --------------------------------------------------------------

// Sets the Python exception for the C++ exception being handled: EngineError becomes
// PanicException with its message, std::bad_alloc becomes MemoryError.
void raise_current_failure() noexcept;

// Runs engine code; C++ exceptions never get past this point into the interpreter.
template <class F>
inline bool guarded(F&& f) noexcept {
    try {
        static_cast<F&&>(f)();
        return true;
    } catch (...) {
        raise_current_failure();
        return false;
    }
}

// ---- result conversion ------------------------------------------------------------

// A new set of int, or null with the error set (the partial set is released).
PyObject* group_to_set(const std::vector<std::size_t>& members) noexcept;
// A new dict from int to a new Outcome per entry, or null with the error set.
PyObject* preview_to_dict(const std::vector<PreviewOutcome>& outcomes) noexcept;

}  // namespace korvane::py
