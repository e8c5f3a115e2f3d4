#include "korvane_type.hpp"

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "call_frame.hpp"
#include "method_frame.hpp"
#include "py_ref.hpp"
#include "random_source.hpp"
#include "simulator.hpp"

namespace korvane::py {

namespace {

// ---- actions: one engine operation each, no Python in sight -------------------------

template <void (Simulator::*Gate)(std::size_t)>
void single_qubit(Simulator& sim, std::size_t qubit) {
    (sim.*Gate)(qubit);
}

void controlled_z(Simulator& sim, std::size_t control, std::size_t target) { sim.cz(control, target); }

template <TwoQubitGate G>
void two_qubit(Simulator& sim, std::size_t control, std::size_t target) {
    sim.two_qubit(G, control, target);
}

template <std::uint8_t Axis>
MeasurementBit measure(Simulator& sim, std::size_t qubit) {
    ThreadRandom rng;
    return {sim.measure(qubit, Axis, rng)};
}

std::vector<std::size_t> entangled_group(const Simulator& sim, std::size_t qubit) {
    return sim.entangled_group(qubit);
}

// Not const: the engine measures in place and puts every touched row back before returning.
std::vector<PreviewOutcome> peek_measure_set(Simulator& sim, const QubitSet& qubits) {
    ThreadRandom rng;
    return sim.peek_measure_set(qubits.items, rng);
}

// ---- method descriptions ------------------------------------------------------------

constexpr MethodDesc on_qubit(const char* name, Access access = Access::exclusive) {
    return {{"Korvane", name, 1, {Param::qubit}}, access};
}

constexpr MethodDesc on_pair(const char* name) {
    return {{"Korvane", name, 2, {Param::control, Param::target}}, Access::exclusive};
}

constexpr MethodDesc kX = on_qubit("x");
constexpr MethodDesc kY = on_qubit("y");
constexpr MethodDesc kZ = on_qubit("z");
constexpr MethodDesc kH = on_qubit("h");
constexpr MethodDesc kS = on_qubit("s");
constexpr MethodDesc kSdag = on_qubit("sdag");
constexpr MethodDesc kCz = on_pair("cz");
constexpr MethodDesc kCx = on_pair("cx");
constexpr MethodDesc kXcx = on_pair("xcx");
constexpr MethodDesc kYcx = on_pair("ycx");
constexpr MethodDesc kXcz = on_pair("xcz");
constexpr MethodDesc kYcz = on_pair("ycz");
constexpr MethodDesc kCy = on_pair("cy");
constexpr MethodDesc kXcy = on_pair("xcy");
constexpr MethodDesc kYcy = on_pair("ycy");
constexpr MethodDesc kMeasureX = on_qubit("measure_x");
constexpr MethodDesc kMeasureY = on_qubit("measure_y");
constexpr MethodDesc kMeasureZ = on_qubit("measure_z");
constexpr MethodDesc kGroup = on_qubit("get_entangled_group", Access::shared);
constexpr MethodDesc kPeek{{"Korvane", "peek_measure_set", 1, {Param::qubits}}, Access::shared};

template <const MethodDesc& D, auto Action>
PyMethodDef method(const char* doc) {
    // The vectorcall signature differs from PyCFunction; METH_FASTCALL tells the
    // interpreter how to call it. The detour through void(*)() silences the cast warning.
    auto fn = &method_frame<D, Action>;
    return {D.signature.method_name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn)),
            METH_FASTCALL | METH_KEYWORDS, doc};
}

#define KORVANE_SINGLE_DOC "\n\n`node` is the index of the qubit."
#define KORVANE_MEASURE_DOC "\n\nReturns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."

PyMethodDef g_methods[] = {
    method<kX, single_qubit<&Simulator::x>>(
        "x($self, qubit)\n--\n\nApply an X (Pauli-X) gate to the given qubit." KORVANE_SINGLE_DOC),
    method<kY, single_qubit<&Simulator::y>>(
        "y($self, qubit)\n--\n\nApply a Y (Pauli-Y) gate to the given qubit." KORVANE_SINGLE_DOC),
    method<kZ, single_qubit<&Simulator::z>>(
        "z($self, qubit)\n--\n\nApply a Z (Pauli-Z) gate to the given qubit." KORVANE_SINGLE_DOC),
    method<kH, single_qubit<&Simulator::h>>(
        "h($self, qubit)\n--\n\nApply an H (Hadamard) gate to the given qubit." KORVANE_SINGLE_DOC),
    method<kS, single_qubit<&Simulator::s>>(
        "s($self, qubit)\n--\n\nApply an S (phase) gate to the given qubit." KORVANE_SINGLE_DOC),
    // "\xE2\x80\xA0" is the dagger sign in UTF-8, independent of the source encoding.
    method<kSdag, single_qubit<&Simulator::sdag>>(
        "sdag($self, qubit)\n--\n\nApply an S\xE2\x80\xA0 (inverse phase) gate to the given qubit." KORVANE_SINGLE_DOC),
    method<kCz, controlled_z>(
        "cz($self, control, target)\n--\n\nApply a controlled-Z (CZ) gate with `control` and `target` qubits."),
    method<kCx, two_qubit<TwoQubitGate::cx>>(
        "cx($self, control, target)\n--\n\nApply a controlled-X (CX) / CNOT gate with `control` and `target`."),
    method<kXcx, two_qubit<TwoQubitGate::xcx>>(
        "xcx($self, control, target)\n--\n\nApply an X-controlled X gate (CX in the X basis)."),
    method<kYcx, two_qubit<TwoQubitGate::ycx>>(
        "ycx($self, control, target)\n--\n\nApply a Y-controlled X gate (control qubit in the Y basis)."),
    method<kXcz, two_qubit<TwoQubitGate::xcz>>(
        "xcz($self, control, target)\n--\n\nApply an X-controlled Z gate (target in X basis)."),
    method<kYcz, two_qubit<TwoQubitGate::ycz>>(
        "ycz($self, control, target)\n--\n\nApply a Y-controlled Z gate (target in Y basis)."),
    method<kCy, two_qubit<TwoQubitGate::cy>>(
        "cy($self, control, target)\n--\n\nApply a controlled-Y (CY) gate with `control` and `target`."),
    method<kXcy, two_qubit<TwoQubitGate::xcy>>(
        "xcy($self, control, target)\n--\n\nApply an X-controlled Y gate (control in X basis)."),
    method<kYcy, two_qubit<TwoQubitGate::ycy>>(
        "ycy($self, control, target)\n--\n\nApply a Y-controlled Y gate (both in Y basis)."),
    method<kMeasureX, measure<0>>(
        "measure_x($self, qubit)\n--\n\nPerform a projective measurement of `qubit` in the X basis." KORVANE_MEASURE_DOC),
    method<kMeasureY, measure<1>>(
        "measure_y($self, qubit)\n--\n\nPerform a projective measurement of `qubit` in the Y basis." KORVANE_MEASURE_DOC),
    method<kMeasureZ, measure<2>>(
        "measure_z($self, qubit)\n--\n\nPerform a projective measurement of `qubit` in the Z basis." KORVANE_MEASURE_DOC),
    method<kGroup, entangled_group>(
        "get_entangled_group($self, qubit)\n--\n\nReturn the set of qubits that are entangled with `qubit`.\n\n"
        "This follows adjacency in the underlying graph."),
    method<kPeek, peek_measure_set>(
        "peek_measure_set($self, qubits)\n--\n\nSimulate measurements on a set of `qubits` without modifying the "
        "real state.\n\nReturns a map from qubit index to `Outcome` (result and axis used)."),
    {nullptr, nullptr, 0, nullptr},
};

#undef KORVANE_SINGLE_DOC
#undef KORVANE_MEASURE_DOC

// ---- construction and teardown ------------------------------------------------------

constexpr Signature kNewSignature{"Korvane", "__new__", 1, {Param::qubit_amount}};

PyObject* korvane_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    PyObject* bound[1];
    if (!bind_tuple_dict(kNewSignature, args, kwargs, bound)) return nullptr;
    // Held for the conversion, during which a user's __index__ runs arbitrary code.
    const PyRef amount = PyRef::borrow(bound[0]);
    std::size_t qubit_amount = 0;
    if (!convert_argument(amount.get(), Param::qubit_amount, qubit_amount)) return nullptr;

    // The state is built before the object, so a refused size leaves nothing to undo.
    std::optional<Simulator> sim;
    if (!guarded([&] { sim.emplace(qubit_amount); })) return nullptr;
    // Allocated here, not through the type's tp_alloc, which refuses everyone else.
    PyObject* self = PyType_GenericAlloc(type, 0);
    if (self == nullptr) return nullptr;
    auto* obj = reinterpret_cast<KorvaneObject*>(self);
    new (&obj->flag) AccessFlag();
    new (&obj->sim) Simulator(std::move(*sim));
    return self;
}

// The type is mutable, so `Korvane.__new__` may be replaced and object.__new__ then
// reaches this slot. Refusing here means every instance that exists was made by
// korvane_new: no method and no destructor ever runs on a simulator never constructed.
PyObject* refuse_alloc(PyTypeObject* type, Py_ssize_t) {
    PyErr_Format(PyExc_TypeError, "cannot create '%s' instances except through its own constructor", type->tp_name);
    return nullptr;
}

void korvane_dealloc(PyObject* self) {
    reinterpret_cast<KorvaneObject*>(self)->sim.~Simulator();
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot g_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(korvane_new)},
    {Py_tp_alloc, reinterpret_cast<void*>(refuse_alloc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(korvane_dealloc)},
    {Py_tp_methods, g_methods},
    {Py_tp_doc, const_cast<char*>("Korvane(qubit_amount)\n--\n\n"
                                  "Simulator for graph states over a fixed number of qubits.\n\n"
                                  "Use this class from Python to apply gates and perform measurements.")},
    {0, nullptr},
};

// No GC flag: an instance references no Python object, so it can be in no cycle.
PyType_Spec g_spec{"korvane.Korvane", static_cast<int>(sizeof(KorvaneObject)), 0, Py_TPFLAGS_DEFAULT, g_slots};

CachedRef g_type;

}  // namespace

PyTypeObject* korvane_type() noexcept {
    if (!g_type) g_type.set(PyType_FromSpec(&g_spec));
    return reinterpret_cast<PyTypeObject*>(g_type.get());
}

void drop_korvane_type(Drop how) noexcept { g_type.drop(how); }

}  // namespace korvane::py
