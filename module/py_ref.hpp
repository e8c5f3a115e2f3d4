// Owners of one strong reference. Every reference the module takes is held by exactly one
// PyRef (or handed to the interpreter with release()) or CachedRef, so no exit path can
// leak or double-release it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace korvane::py {

class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new reference (which may be null, as a failed C API call returns).
    explicit PyRef(PyObject* owned) noexcept : p_(owned) {}
    static PyRef borrow(PyObject* borrowed) noexcept {
        Py_XINCREF(borrowed);
        return PyRef(borrowed);
    }

    PyRef(PyRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        PyRef old(std::exchange(p_, std::exchange(other.p_, nullptr)));
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Gives the reference away, typically as a function's return value.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }

private:
    PyObject* p_ = nullptr;
};

// What becomes of a CachedRef's object when the interpreter that made it is done with it.
enum class Drop : unsigned char {
    release,  // that interpreter still runs: give the reference back
    abandon,  // that interpreter has been finalized: its objects may no longer be touched
};

// A strong reference kept in a process-wide variable (a class, an interned name) for as
// long as the interpreter that made the object runs. Constant-initialised and without a
// destructor: at process exit the owning interpreter is usually gone.
class CachedRef {
public:
    constexpr CachedRef() noexcept = default;
    CachedRef(const CachedRef&) = delete;
    CachedRef& operator=(const CachedRef&) = delete;

    PyObject* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Takes over a new reference; the variable must be empty.
    void set(PyObject* owned) noexcept { p_ = owned; }
    // Empties the variable before any release runs code that could look at it.
    void drop(Drop how) noexcept {
        PyObject* old = std::exchange(p_, nullptr);
        if (how == Drop::release) Py_XDECREF(old);
    }

private:
    PyObject* p_ = nullptr;
};

}  // namespace korvane::py
