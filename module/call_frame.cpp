#include "call_frame.hpp"

#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <unordered_set>
#include <utility>

#include "engine_error.hpp"
#include "py_ref.hpp"
#include "value_classes.hpp"

namespace korvane::py {

namespace {

constexpr const char* kParamTexts[kParamNameCount] = {"qubit", "control", "target", "qubits", "qubit_amount"};

// Interned at module initialisation and kept for the life of the interpreter.
CachedRef g_param_names[kParamNameCount];

// ---- binding ------------------------------------------------------------------------

bool fail_too_many(const Signature& sig, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%s.%s() takes %zu positional arguments but %zd %s given", sig.class_name,
                 sig.method_name, sig.count, given, given == 1 ? "was" : "were");
    return false;
}

// Index of the parameter called `name`, or -1. Keywords spelled in source code arrive
// as the interned strings themselves, so the pointer test nearly always decides.
int find_param(const Signature& sig, PyObject* name) {
    for (std::size_t i = 0; i < sig.count; ++i)
        if (name == g_param_names[static_cast<std::size_t>(sig.params[i])].get()) return static_cast<int>(i);
    for (std::size_t i = 0; i < sig.count; ++i)
        if (PyUnicode_CompareWithASCIIString(name, param_text(sig.params[i])) == 0) return static_cast<int>(i);
    return -1;
}

bool bind_keyword(const Signature& sig, PyObject* name, PyObject* value, PyObject** out) {
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "%s.%s() keywords must be strings", sig.class_name, sig.method_name);
        return false;
    }
    const int i = find_param(sig, name);
    if (i < 0) {
        PyErr_Format(PyExc_TypeError, "%s.%s() got an unexpected keyword argument '%U'", sig.class_name,
                     sig.method_name, name);
        return false;
    }
    if (out[i] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s.%s() got multiple values for argument '%s'", sig.class_name,
                     sig.method_name, param_text(sig.params[i]));
        return false;
    }
    out[i] = value;
    return true;
}

// Appends `text` to the buffer, truncating rather than overflowing.
void append(char* buffer, std::size_t capacity, std::size_t& used, const char* text) {
    for (; *text != '\0' && used + 1 < capacity; ++text) buffer[used++] = *text;
    buffer[used] = '\0';
}

bool check_missing(const Signature& sig, PyObject* const* out) {
    std::size_t missing[kMaxParams];
    std::size_t count = 0;
    for (std::size_t i = 0; i < sig.count; ++i)
        if (out[i] == nullptr) missing[count++] = i;
    if (count == 0) return true;

    // Quoted names joined as "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
    char names[kMaxParams * 24 + 16];
    std::size_t used = 0;
    names[0] = '\0';
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) append(names, sizeof names, used, count == 2 ? " and " : (k + 1 == count ? ", and " : ", "));
        append(names, sizeof names, used, "'");
        append(names, sizeof names, used, param_text(sig.params[missing[k]]));
        append(names, sizeof names, used, "'");
    }
    PyErr_Format(PyExc_TypeError, "%s.%s() missing %zu required positional argument%s: %s", sig.class_name,
                 sig.method_name, count, count == 1 ? "" : "s", names);
    return false;
}

// ---- conversion ---------------------------------------------------------------------

// Finishes a failed conversion of argument `name`: an exception of exactly TypeError is
// replaced by one that names the argument and carries on the replaced one's traceback,
// context and cause, so the failure still shows where it happened (a user's __index__);
// anything else, TypeError subclasses included, passes unchanged. Always returns false.
// The exception being raised, normalised, with its traceback attached; the indicator is
// cleared. 3.12 has this as one call; 3.11 only has the deprecated triple.
PyRef take_raised() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    return PyRef(PyErr_GetRaisedException());
#else
    PyObject* raw_type = nullptr;
    PyObject* raw_value = nullptr;
    PyObject* raw_trace = nullptr;
    PyErr_Fetch(&raw_type, &raw_value, &raw_trace);
    PyErr_NormalizeException(&raw_type, &raw_value, &raw_trace);
    PyRef type(raw_type);
    PyRef value(raw_value);
    PyRef trace(raw_trace);
    if (value && trace) PyException_SetTraceback(value.get(), trace.get());
    return value;
#endif
}

// Sets `exception` as the one being raised, as it stands: restored, not raised, so no
// context is chained to it.
void restore_raised(PyRef exception) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception.release());
#else
    PyObject* type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())));
    PyObject* trace = PyException_GetTraceback(exception.get());
    PyErr_Restore(type, exception.release(), trace);
#endif
}

bool fail_for_argument(Param name) {
    PyRef value = take_raised();
    if (value.get() == nullptr) return false;
    if (Py_TYPE(value.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        restore_raised(std::move(value));
        return false;
    }
    PyRef text(PyObject_Str(value.get()));
    if (!text) return false;
    PyRef message(PyUnicode_FromFormat("argument '%s': %U", param_text(name), text.get()));
    if (!message) return false;
    PyRef replacement(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!replacement) return false;
    PyRef trace(PyException_GetTraceback(value.get()));
    if (trace && PyException_SetTraceback(replacement.get(), trace.get()) < 0) return false;
    // Both setters take over the reference that the getters return.
    PyException_SetContext(replacement.get(), PyException_GetContext(value.get()));
    PyException_SetCause(replacement.get(), PyException_GetCause(value.get()));
    // Setting a cause also hides the context; keep the replaced exception's own choice
    // (`raise ... from None` hides it without a cause).
    reinterpret_cast<PyBaseExceptionObject*>(replacement.get())->suppress_context =
        reinterpret_cast<PyBaseExceptionObject*>(value.get())->suppress_context;
    // Restored rather than raised: raising would chain the exception being handled in
    // place of the context just copied.
    restore_raised(std::move(replacement));
    return false;
}

// ---- engine failures ----------------------------------------------------------------

CachedRef g_panic_exception;

PyObject* panic_exception() {
    if (g_panic_exception) return g_panic_exception.get();
    PyObject* created = PyErr_NewExceptionWithDoc(
        "korvane.PanicException",
        "The simulator's engine found a broken precondition (an index out of range, equal\n"
        "control and target, a state too large to address).\n\n"
        "Derives from BaseException, not Exception, so that it normally propagates to the\n"
        "top and ends the interpreter instead of being swallowed by `except Exception`.",
        PyExc_BaseException, nullptr);
    // Creating a class can run Python code (a collection), so another thread may have
    // won the race meanwhile; keep the first one so the class stays unique.
    if (created != nullptr && !g_panic_exception)
        g_panic_exception.set(created);
    else
        Py_XDECREF(created);
    return g_panic_exception.get();
}

void raise_panic(const char* message) {
    PyObject* type = panic_exception();
    if (type == nullptr) return;
    PyRef text(PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace"));
    if (!text) return;
    PyRef instance(PyObject_CallOneArg(type, text.get()));
    if (!instance) return;
    PyErr_SetObject(type, instance.get());
}

}  // namespace

const char* param_text(Param p) noexcept { return kParamTexts[static_cast<std::size_t>(p)]; }

bool init_parameter_names() noexcept {
    for (std::size_t i = 0; i < kParamNameCount; ++i) {
        if (g_param_names[i]) continue;
        g_param_names[i].set(PyUnicode_InternFromString(kParamTexts[i]));
        if (!g_param_names[i]) return false;
    }
    return true;
}

void drop_call_frame_objects(Drop how) noexcept {
    for (CachedRef& name : g_param_names) name.drop(how);
    g_panic_exception.drop(how);
}

bool bind_vectorcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** out) noexcept {
    if (nargs > static_cast<Py_ssize_t>(sig.count)) return fail_too_many(sig, nargs);
    for (std::size_t i = 0; i < sig.count; ++i)
        out[i] = static_cast<Py_ssize_t>(i) < nargs ? args[i] : nullptr;
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k)
            if (!bind_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
    }
    return check_missing(sig, out);
}

bool bind_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) noexcept {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (nargs > static_cast<Py_ssize_t>(sig.count)) return fail_too_many(sig, nargs);
    for (std::size_t i = 0; i < sig.count; ++i)
        out[i] = static_cast<Py_ssize_t>(i) < nargs ? PyTuple_GET_ITEM(args, static_cast<Py_ssize_t>(i)) : nullptr;
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject* name = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &pos, &name, &value))
            if (!bind_keyword(sig, name, value, out)) return false;
    }
    return check_missing(sig, out);
}

bool qubit_index_slow(PyObject* obj, Param name, std::size_t& out) noexcept {
    PyRef index;
    PyObject* value = obj;
    if (!PyLong_Check(obj)) {
        index = PyRef(PyNumber_Index(obj));
        if (!index) return fail_for_argument(name);
        value = index.get();
    }
    const unsigned long long v = PyLong_AsUnsignedLongLong(value);
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return fail_for_argument(name);
#if SIZE_MAX < ULLONG_MAX
    if (v > SIZE_MAX) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return fail_for_argument(name);
    }
#endif
    out = static_cast<std::size_t>(v);
    return true;
}

bool convert_argument(PyObject* obj, Param name, QubitSet& out) noexcept {
    if (!PySet_Check(obj) && !PyFrozenSet_Check(obj)) {
        PyRef qualname(PyType_GetQualName(Py_TYPE(obj)));
        if (!qualname) return false;
        PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as 'set'", qualname.get());
        return fail_for_argument(name);
    }
    PyRef iterator(PyObject_GetIter(obj));
    if (!iterator) return false;
    std::unordered_set<std::size_t> seen;
    for (;;) {
        PyRef item(PyIter_Next(iterator.get()));
        if (!item) {
            if (PyErr_Occurred()) return false;
            break;
        }
        std::size_t index = 0;
        if (!convert_argument(item.get(), name, index)) return false;
        if (!guarded([&] { seen.insert(index); })) return false;
    }
    return guarded([&] { out.items.assign(seen.begin(), seen.end()); });
}

void raise_current_failure() noexcept {
    try {
        throw;
    } catch (const EngineError& e) {
        raise_panic(e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_panic(e.what());
    } catch (...) {
        raise_panic("unknown failure in the simulator engine");
    }
}

PyObject* group_to_set(const std::vector<std::size_t>& members) noexcept {
    PyRef set(PySet_New(nullptr));
    if (!set) return nullptr;
    for (const std::size_t member : members) {
        PyRef item(PyLong_FromSize_t(member));
        if (!item || PySet_Add(set.get(), item.get()) < 0) return nullptr;
    }
    return set.release();
}

PyObject* preview_to_dict(const std::vector<PreviewOutcome>& outcomes) noexcept {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (const PreviewOutcome& entry : outcomes) {
        PyRef key(PyLong_FromSize_t(entry.qubit));
        if (!key) return nullptr;
        PyRef value(new_outcome(entry.result, entry.axis));
        if (!value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
    }
    return dict.release();
}

}  // namespace korvane::py
