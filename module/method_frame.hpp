// The one frame every Korvane method runs: bind, take access, convert, run the engine
// operation, convert the result, give access back. Each method is an instantiation of
// method_frame with its description and a plain C++ action on the simulator.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "access_flag.hpp"
#include "call_frame.hpp"
#include "simulator.hpp"
#include "value_classes.hpp"

namespace korvane::py {

struct KorvaneObject {
    PyObject_HEAD
    AccessFlag flag;
    Simulator sim;
};

// A measurement's result bit, told apart from other integers so it converts to
// MeasurementResult.
struct MeasurementBit {
    std::uint8_t bit;
};

inline PyObject* to_python(MeasurementBit r) noexcept { return new_measurement_result(r.bit); }
inline PyObject* to_python(const std::vector<std::size_t>& group) noexcept { return group_to_set(group); }
inline PyObject* to_python(const std::vector<PreviewOutcome>& preview) noexcept { return preview_to_dict(preview); }

template <class F>
struct ActionTraits;

template <class R, class S, class... A>
struct ActionTraits<R (*)(S&, A...)> {
    using Result = R;
    using Arguments = std::tuple<std::remove_cvref_t<A>...>;
    static constexpr std::size_t arity = sizeof...(A);
};

template <const MethodDesc& D, auto Action>
PyObject* method_frame(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    using Traits = ActionTraits<decltype(Action)>;
    constexpr std::size_t n = Traits::arity;
    static_assert(n >= 1 && n <= kMaxParams && n == D.signature.count);

    // Plain positional calls need no binding at all.
    PyObject* const* bound = args;
    PyObject* slots[n];
    if (kwnames != nullptr || nargs != static_cast<Py_ssize_t>(n)) {
        if (!bind_vectorcall(D.signature, args, nargs, kwnames, slots)) return nullptr;
        bound = slots;
    }

    auto* obj = reinterpret_cast<KorvaneObject*>(self);
    Borrow borrow(obj->flag, D.access);
    if (!borrow.held()) return nullptr;

    typename Traits::Arguments values{};
    const bool converted = [&]<std::size_t... I>(std::index_sequence<I...>) {
        return (convert_argument(bound[I], D.signature.params[I], std::get<I>(values)) && ...);
    }(std::make_index_sequence<n>{});
    if (!converted) return nullptr;

    auto run = [&] { return std::apply([&](auto&... v) { return Action(obj->sim, v...); }, values); };
    using R = typename Traits::Result;
    if constexpr (std::is_void_v<R>) {
        if (!guarded(run)) return nullptr;
        Py_RETURN_NONE;
    } else {
        R result{};
        if (!guarded([&] { result = run(); })) return nullptr;
        return to_python(result);
    }
}

}  // namespace korvane::py
