// The Python class Korvane: one simulator state per instance.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace korvane::py {

// Created on first use and kept for the rest of the process; null with an exception set
// when creation fails.
PyTypeObject* korvane_type() noexcept;

}  // namespace korvane::py
