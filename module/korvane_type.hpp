// The Python class Korvane: one simulator state per instance.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "py_ref.hpp"

namespace korvane::py {

// Created on first use and kept while the interpreter runs; null with an exception set
// when creation fails.
PyTypeObject* korvane_type() noexcept;
// Lets go of the class (see CachedRef); the next korvane_type() creates it anew.
void drop_korvane_type(Drop how) noexcept;

}  // namespace korvane::py
