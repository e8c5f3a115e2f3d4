"""Graph-state based quantum circuit simulator exposed as the `korvane` Python module."""

# Type information for the compiled extension; installed beside it so that type checkers
# and editors find it. tests/python/test_stub.py keeps it in line with the module.

from typing import ClassVar, SupportsIndex, TypeVar, final

__all__ = ["MeasurementResult", "Outcome", "Axis", "Korvane"]

_Index = TypeVar("_Index", bound=SupportsIndex)

@final
class MeasurementResult:
    """Result of a single-qubit measurement.

    Only the module creates instances. ``int()`` gives the result bit, not the
    eigenvalue: ``PlusOne`` is 0, ``MinusOne`` is 1, and each member compares equal to
    that integer. Members are not hashable and not ordered.
    """

    PlusOne: ClassVar[MeasurementResult]
    """Eigenvalue +1; ``int()`` is 0."""
    MinusOne: ClassVar[MeasurementResult]
    """Eigenvalue -1; ``int()`` is 1."""
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...

@final
class Outcome:
    """Measurement outcome and the axis that was measured.

    Returned in the values of `peek_measure_set`; ``str()`` gives e.g. ``"(+1, X)"``.
    Equality is identity.
    """

    @property
    def result(self) -> MeasurementResult:
        """The result the measurement would give (read-only)."""
    @property
    def axis(self) -> Axis:
        """The axis the preview measured along (read-only)."""
    def __str__(self) -> str: ...

@final
class Axis:
    """A measurement axis: ``X`` (0), ``Y`` (1), ``Z`` (2).

    Members compare equal to their integer; they are not hashable and not ordered.
    """

    X: ClassVar[Axis]
    Y: ClassVar[Axis]
    Z: ClassVar[Axis]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...

@final
class Korvane:
    """Simulator for graph states over a fixed number of qubits.

    Every qubit starts in |0>. Qubit indices are ints (or objects with ``__index__``)
    from 0 to ``qubit_amount - 1``; an index out of range raises the engine-failure
    exception ``PanicException``, which derives from ``BaseException``.
    """

    def __new__(cls, qubit_amount: SupportsIndex) -> Korvane: ...
    def x(self, qubit: SupportsIndex) -> None:
        """Apply an X (Pauli-X) gate to the given qubit."""
    def y(self, qubit: SupportsIndex) -> None:
        """Apply a Y (Pauli-Y) gate to the given qubit."""
    def z(self, qubit: SupportsIndex) -> None:
        """Apply a Z (Pauli-Z) gate to the given qubit."""
    def h(self, qubit: SupportsIndex) -> None:
        """Apply an H (Hadamard) gate to the given qubit."""
    def s(self, qubit: SupportsIndex) -> None:
        """Apply an S (phase) gate to the given qubit."""
    def sdag(self, qubit: SupportsIndex) -> None:
        """Apply an S† (inverse phase) gate to the given qubit."""
    def cz(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a controlled-Z (CZ) gate; `control` and `target` must differ."""
    def cx(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a controlled-X (CNOT) gate; `control` and `target` must differ."""
    def xcx(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply an X-controlled X gate (CX in the X basis)."""
    def ycx(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a Y-controlled X gate (control qubit in the Y basis)."""
    def xcz(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply an X-controlled Z gate (target in X basis)."""
    def ycz(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a Y-controlled Z gate (target in Y basis)."""
    def cy(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a controlled-Y (CY) gate; `control` and `target` must differ."""
    def xcy(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply an X-controlled Y gate (control in X basis)."""
    def ycy(self, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a Y-controlled Y gate (both in Y basis)."""
    def measure_x(self, qubit: SupportsIndex) -> MeasurementResult:
        """Measure `qubit` along X; the qubit leaves its entangled group."""
    def measure_y(self, qubit: SupportsIndex) -> MeasurementResult:
        """Measure `qubit` along Y; the qubit leaves its entangled group."""
    def measure_z(self, qubit: SupportsIndex) -> MeasurementResult:
        """Measure `qubit` along Z; the qubit leaves its entangled group."""
    def get_entangled_group(self, qubit: SupportsIndex) -> set[int]:
        """Return the qubits connected to `qubit` in the graph, `qubit` included."""
    def peek_measure_set(self, qubits: set[_Index] | frozenset[_Index]) -> dict[int, Outcome]:
        """Preview measuring every qubit of `qubits` on a copy of the state.

        The simulator is left unchanged. A qubit that is unentangled when its turn
        comes is measured along the axis in which it is certain; every other qubit
        along a random axis. Returns one `Outcome` per qubit.
        """
