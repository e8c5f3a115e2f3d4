// MeasurementResult, Axis and Outcome: immutable values that only the module creates.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "py_ref.hpp"

namespace korvane::py {

// Each type is created on its first use and then lives as long as the interpreter; the
// class attributes of the two enumerations are made together with their type.
// Return null with an exception set when creation fails.
PyTypeObject* measurement_result_type() noexcept;
PyTypeObject* axis_type() noexcept;
PyTypeObject* outcome_type() noexcept;
// Lets go of the three types (see CachedRef); the next use creates them anew.
void drop_value_types(Drop how) noexcept;

// New instances (never the shared class attributes), or null with an exception set.
PyObject* new_measurement_result(std::uint8_t bit) noexcept;
PyObject* new_axis(std::uint8_t axis) noexcept;
PyObject* new_outcome(std::uint8_t result, std::uint8_t axis) noexcept;

}  // namespace korvane::py
