// Owner of one strong reference. Every reference the module takes is held by exactly one
// PyRef (or handed to the interpreter with release()), so no exit path can leak or
// double-release it.
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

}  // namespace korvane::py
