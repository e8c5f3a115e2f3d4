"""Each of the twenty methods end to end, observed through certain outcomes only."""

import unittest

from korvane import Axis, Korvane, MeasurementResult, Outcome

from korvane_support import outcomes

PlusOne = MeasurementResult.PlusOne
MinusOne = MeasurementResult.MinusOne

# Gate applied to |+> (after h) -> what a preview of the qubit then reports.
SINGLE_ON_PLUS = {"x": "(+1, X)", "y": "(-1, X)", "z": "(-1, X)", "h": "(+1, Z)", "s": "(+1, Y)", "sdag": "(-1, Y)"}
# Gate applied to |0> -> report.
SINGLE_ON_ZERO = {"x": "(-1, Z)", "y": "(-1, Z)", "z": "(+1, Z)", "h": "(+1, X)", "s": "(+1, Z)", "sdag": "(+1, Z)"}

# The Pauli each two-qubit gate's control and target act with.
ROLES = {"cz": "ZZ", "cx": "ZX", "cy": "ZY", "xcx": "XX", "xcy": "XY", "xcz": "XZ", "ycx": "YX", "ycy": "YY",
         "ycz": "YZ"}
# Gates preparing the -1 / +1 eigenstate of each Pauli from |0>.
MINUS_EIGEN = {"Z": ("x",), "X": ("h", "z"), "Y": ("h", "sdag")}
PLUS_EIGEN = {"Z": (), "X": ("h",), "Y": ("h", "s")}
# A target state the role's Pauli flips, before and after.
FLIP = {"Z": (("h",), "(+1, X)", "(-1, X)"), "X": ((), "(+1, Z)", "(-1, Z)"), "Y": ((), "(+1, Z)", "(-1, Z)")}


def prepare(sim, qubit, gates):
    for gate in gates:
        getattr(sim, gate)(qubit)


class SingleQubitGateTests(unittest.TestCase):
    def test_each_gate(self):
        for name in SINGLE_ON_ZERO:
            with self.subTest(name):
                sim = Korvane(2)
                self.assertIsNone(getattr(sim, name)(1))
                self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: SINGLE_ON_ZERO[name]})
                sim = Korvane(2)
                sim.h(1)
                getattr(sim, name)(1)
                self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: SINGLE_ON_PLUS[name]})

    def test_inverse_pairs(self):
        for first, second in (("h", "h"), ("x", "x"), ("y", "y"), ("z", "z"), ("s", "sdag"), ("sdag", "s")):
            sim = Korvane(1)
            sim.h(0)
            sim.s(0)  # a state every one of these gates moves
            getattr(sim, first)(0)
            getattr(sim, second)(0)
            with self.subTest(first=first, second=second):
                self.assertEqual(outcomes(sim, (0,)), {0: "(+1, Y)"})

    def test_s_four_times(self):
        sim = Korvane(1)
        sim.h(0)
        seen = []
        for _ in range(4):
            sim.s(0)
            seen.append(outcomes(sim, (0,))[0])
        self.assertEqual(seen, ["(+1, Y)", "(-1, X)", "(-1, Y)", "(+1, X)"])

    def test_gates_do_not_entangle(self):
        sim = Korvane(3)
        for name in SINGLE_ON_ZERO:
            getattr(sim, name)(1)
        self.assertEqual([sim.get_entangled_group(q) for q in range(3)], [{0}, {1}, {2}])


class TwoQubitGateTests(unittest.TestCase):
    def run_gate(self, name, control_gates, target_gates, control=0, target=1):
        sim = Korvane(2)
        prepare(sim, control, control_gates)
        prepare(sim, target, target_gates)
        self.assertIsNone(getattr(sim, name)(control, target))
        return sim

    def test_control_in_minus_eigenstate_flips_target(self):
        for name, (control_role, target_role) in ROLES.items():
            target_gates, before, after = FLIP[target_role]
            for control, target in ((0, 1), (1, 0)):
                with self.subTest(name, control=control):
                    sim = self.run_gate(name, MINUS_EIGEN[control_role], target_gates, control, target)
                    reference = Korvane(1)
                    prepare(reference, 0, MINUS_EIGEN[control_role])
                    self.assertEqual(outcomes(sim, (0, 1)), {control: outcomes(reference, (0,))[0], target: after})
                    self.assertNotEqual(before, after)

    def test_control_in_plus_eigenstate_leaves_target(self):
        for name, (control_role, target_role) in ROLES.items():
            target_gates, before, _ = FLIP[target_role]
            with self.subTest(name):
                sim = self.run_gate(name, PLUS_EIGEN[control_role], target_gates)
                reference = Korvane(1)
                prepare(reference, 0, PLUS_EIGEN[control_role])
                self.assertEqual(outcomes(sim, (0, 1)), {0: outcomes(reference, (0,))[0], 1: before})

    def test_cz_entangles_and_disentangles(self):
        sim = Korvane(3)
        sim.h(0)
        sim.h(1)
        sim.cz(0, 1)
        self.assertEqual(sim.get_entangled_group(0), {0, 1})
        self.assertEqual(sim.get_entangled_group(2), {2})
        sim.cz(1, 0)
        self.assertEqual(sim.get_entangled_group(0), {0})
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, X)", 1: "(+1, X)"})

    def test_cz_on_zero_states_does_nothing(self):
        sim = Korvane(2)
        sim.cz(0, 1)
        self.assertEqual(sim.get_entangled_group(0), {0})
        self.assertEqual(outcomes(sim, (0, 1)), {0: "(+1, Z)", 1: "(+1, Z)"})

    def test_bell_pair(self):
        for _ in range(20):
            sim = Korvane(2)
            sim.h(0)
            sim.cx(0, 1)
            self.assertEqual(sim.get_entangled_group(1), {0, 1})
            first = sim.measure_z(0)
            self.assertEqual(sim.get_entangled_group(0), {0})
            self.assertEqual(sim.measure_z(1), first)


class MeasurementTests(unittest.TestCase):
    def test_fresh_qubit_along_z_is_certain(self):
        sim = Korvane(1)
        for _ in range(20):
            self.assertEqual(sim.measure_z(0), PlusOne)
        self.assertEqual(outcomes(sim, (0,)), {0: "(+1, Z)"})

    def test_result_types(self):
        sim = Korvane(1)
        for name in ("measure_x", "measure_y", "measure_z"):
            result = getattr(sim, name)(0)
            with self.subTest(name):
                self.assertIs(type(result), MeasurementResult)
                self.assertIn(int(result), (0, 1))

    def test_repeated_measurement_repeats(self):
        for name, axis in (("measure_x", "X"), ("measure_y", "Y"), ("measure_z", "Z")):
            sim = Korvane(1)
            sim.h(0)
            sim.s(0)
            first = getattr(sim, name)(0)
            with self.subTest(name):
                for _ in range(10):
                    self.assertEqual(getattr(sim, name)(0), first)
                sign = "+1" if first == PlusOne else "-1"
                self.assertEqual(outcomes(sim, (0,)), {0: f"({sign}, {axis})"})

    def test_both_results_occur(self):
        seen = set()
        for _ in range(200):
            sim = Korvane(1)
            seen.add(int(sim.measure_x(0)))
            if seen == {0, 1}:
                break
        self.assertEqual(seen, {0, 1})

    def test_eigenstates_measure_with_certainty(self):
        for text, gates in (("(-1, X)", ("h", "z")), ("(+1, Y)", ("h", "s")), ("(-1, Z)", ("x",))):
            sim = Korvane(1)
            prepare(sim, 0, gates)
            axis = text[-2].lower()
            expected = PlusOne if text[1] == "+" else MinusOne
            with self.subTest(text):
                for _ in range(10):
                    self.assertEqual(getattr(sim, "measure_" + axis)(0), expected)


class PreviewTests(unittest.TestCase):
    def test_fresh_simulator(self):
        result = Korvane(4).peek_measure_set({0, 2, 3})
        self.assertIs(type(result), dict)
        self.assertEqual(set(result), {0, 2, 3})
        for outcome in result.values():
            self.assertIs(type(outcome), Outcome)
            self.assertEqual(outcome.axis, Axis.Z)
            self.assertEqual(outcome.result, PlusOne)

    def test_preview_changes_nothing(self):
        sim = Korvane(3)
        sim.h(0)
        sim.cx(0, 1)
        sim.cx(1, 2)
        for _ in range(30):
            result = sim.peek_measure_set({0, 1, 2})
            self.assertEqual(set(result), {0, 1, 2})
        self.assertEqual(sim.get_entangled_group(0), {0, 1, 2})
        first = sim.measure_z(2)
        self.assertEqual(sim.measure_z(0), first)
        self.assertEqual(sim.measure_z(1), first)

    def test_isolated_qubits_repeat(self):
        sim = Korvane(3)
        sim.h(1)
        sim.x(2)
        self.assertEqual(outcomes(sim, range(3)), outcomes(sim, range(3)))
        self.assertEqual(outcomes(sim, range(3)), {0: "(+1, Z)", 1: "(+1, X)", 2: "(-1, Z)"})

    def test_bell_pair_preview_correlations(self):
        # Whichever qubit goes first, the other is then an eigenstate of the same axis:
        # XX = ZZ = +1 and YY = -1 on (|00> + |11>)/sqrt(2).
        for _ in range(30):
            sim = Korvane(2)
            sim.h(0)
            sim.cx(0, 1)
            result = sim.peek_measure_set({0, 1})
            self.assertEqual(set(result), {0, 1})
            self.assertEqual(result[0].axis, result[1].axis)
            agree = int(result[0].result) == int(result[1].result)
            self.assertEqual(agree, result[0].axis != Axis.Y)
            self.assertEqual(sim.get_entangled_group(0), {0, 1})


class EntangledGroupTests(unittest.TestCase):
    def test_fresh_simulator(self):
        sim = Korvane(4)
        for q in range(4):
            group = sim.get_entangled_group(q)
            self.assertEqual(group, {q})
            self.assertIs(type(group), set)

    def test_chain(self):
        sim = Korvane(12)
        for q in range(10):
            sim.h(q)
        for q in range(9):
            sim.cz(q, q + 1)
        self.assertEqual(sim.get_entangled_group(0), set(range(10)))
        self.assertEqual(sim.get_entangled_group(9), set(range(10)))
        self.assertEqual(sim.get_entangled_group(11), {11})
        self.assertIsNot(sim.get_entangled_group(0), sim.get_entangled_group(0))

    def test_measurement_isolates(self):
        sim = Korvane(3)
        for q in range(3):
            sim.h(q)
        sim.cz(0, 1)
        sim.cz(1, 2)
        sim.measure_z(1)
        self.assertEqual(sim.get_entangled_group(1), {1})
        self.assertEqual(sim.get_entangled_group(0), {0})

    def test_members_are_ints(self):
        sim = Korvane(3)
        sim.h(0)
        sim.cx(0, 2)
        group = sim.get_entangled_group(2)
        self.assertEqual(group, {0, 2})
        self.assertEqual({type(q) for q in group}, {int})


if __name__ == "__main__":
    unittest.main()
