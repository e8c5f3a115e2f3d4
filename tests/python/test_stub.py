"""The type stub korvane.pyi against the compiled module, in both directions.

The stub is parsed with `ast` (never imported) and every declaration is checked against
the runtime: classes, members, methods, parameter names and kinds, and what the methods
really return. Anything the module offers that the stub lacks fails too.
"""

import ast
import inspect
import types
import unittest
from pathlib import Path

import korvane

SOURCE_STUB = Path(__file__).resolve().parents[2] / "module" / "korvane.pyi"
INSTALLED_STUB = Path(korvane.__file__).with_name("korvane.pyi")

# Dunders a class must declare in the stub whenever it defines them itself.
REQUIRED_DUNDERS = {"__new__", "__int__", "__eq__", "__ne__", "__str__", "__hash__"}

# Argument for each parameter name when the methods are called for real.
ARGUMENT_VALUES = {"qubit": 0, "control": 0, "target": 1, "qubit_amount": 2}


class Index:
    """A non-int qubit index: the stub promises SupportsIndex, so this must be accepted."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def parse_stub():
    return ast.parse(SOURCE_STUB.read_text(encoding="utf-8"), filename=str(SOURCE_STUB))


def stub_classes(tree):
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def decorators(node):
    return {ast.unparse(d) for d in node.decorator_list}


def class_var_type(annotation):
    """X for `ClassVar[X]`, else None."""
    if (isinstance(annotation, ast.Subscript) and isinstance(annotation.value, ast.Name)
            and annotation.value.id == "ClassVar"):
        return annotation.slice
    return None


def split_class(node):
    """(methods, properties, class variables) declared in a stub class body."""
    methods, properties, class_vars = {}, {}, {}
    for item in node.body:
        if isinstance(item, ast.FunctionDef):
            (properties if "property" in decorators(item) else methods)[item.name] = item
        elif isinstance(item, ast.AnnAssign):
            inner = class_var_type(item.annotation)
            if inner is None:
                raise AssertionError(f"{node.name}.{ast.unparse(item.target)}: "
                                     "instance attributes must be read-only properties")
            class_vars[item.target.id] = inner
        elif not (isinstance(item, ast.Expr) and isinstance(item.value, ast.Constant)):
            raise AssertionError(f"{node.name}: unexpected stub statement {ast.unparse(item)}")
    return methods, properties, class_vars


def runtime_members(cls):
    """(methods, properties, members) that a runtime class defines publicly."""
    methods, properties, members = set(), set(), set()
    for name, value in vars(cls).items():
        if name.startswith("_"):
            continue
        if isinstance(value, cls):
            members.add(name)
        elif isinstance(value, (types.GetSetDescriptorType, types.MemberDescriptorType,
                                property)):
            properties.add(name)
        elif callable(value):
            methods.add(name)
        else:
            raise AssertionError(f"{cls.__name__}.{name} is of no known kind: {value!r}")
    return methods, properties, members


def stub_parameters(function):
    """[(name, kind)] after self/cls, as inspect would name the kinds."""
    args = function.args
    if args.vararg or args.kwarg or args.kwonlyargs or args.defaults or args.kw_defaults:
        raise AssertionError(f"{function.name}: korvane takes only required plain parameters")
    positional = ([(a.arg, inspect.Parameter.POSITIONAL_ONLY) for a in args.posonlyargs]
                  + [(a.arg, inspect.Parameter.POSITIONAL_OR_KEYWORD) for a in args.args])
    return positional[1:]


def runtime_parameters(signature):
    """[(name, kind)] of a runtime signature; korvane has no optional parameters."""
    parameters = list(signature.parameters.values())
    if any(p.default is not inspect.Parameter.empty for p in parameters):
        raise AssertionError(f"{signature} has a default; the stub would need it too")
    return [(p.name, p.kind) for p in parameters]


def matches(value, annotation):
    """Does a runtime value fit a stub annotation? Unknown forms fail loudly."""
    text = ast.unparse(annotation)
    if isinstance(annotation, ast.Constant) and annotation.value is None:
        return value is None
    if isinstance(annotation, ast.Name):
        builtin = {"int": int, "str": str, "bool": bool}.get(annotation.id)
        if builtin is not None:
            return type(value) is builtin
        return isinstance(value, getattr(korvane, annotation.id))
    if isinstance(annotation, ast.Subscript) and isinstance(annotation.value, ast.Name):
        container = annotation.value.id
        if container == "set":
            return (type(value) is set
                    and all(matches(v, annotation.slice) for v in value))
        if container == "dict":
            key, item = annotation.slice.elts
            return (type(value) is dict
                    and all(matches(k, key) and matches(v, item) for k, v in value.items()))
    raise AssertionError(f"the test does not know the annotation {text!r}; extend matches()")


def sample_arguments(function):
    """Arguments of the kinds the stub's parameter annotations promise."""
    arguments = []
    for arg in function.args.args[1:]:
        text = ast.unparse(arg.annotation)
        if text == "SupportsIndex":
            arguments.append(Index(ARGUMENT_VALUES[arg.arg]))
        elif text == "set[_Index] | frozenset[_Index]":
            arguments.append(frozenset({Index(0), Index(1)}))
        else:
            raise AssertionError(f"{function.name}({arg.arg}: {text}) has no sample argument")
    return arguments


class StubFileTest(unittest.TestCase):
    def test_installed_beside_the_module_and_current(self):
        self.assertTrue(INSTALLED_STUB.is_file(), f"no stub beside {korvane.__file__}")
        self.assertEqual(INSTALLED_STUB.read_bytes(), SOURCE_STUB.read_bytes())

    def test_module_docstring(self):
        self.assertEqual(ast.get_docstring(parse_stub(), clean=False), korvane.__doc__)


class ModuleSurfaceTest(unittest.TestCase):
    def setUp(self):
        self.tree = parse_stub()

    def test_all(self):
        declared = None
        for node in self.tree.body:
            if isinstance(node, ast.Assign) and ast.unparse(node.targets[0]) == "__all__":
                declared = ast.literal_eval(node.value)
        self.assertEqual(declared, korvane.__all__)

    def test_public_names_both_ways(self):
        stub_names = set(stub_classes(self.tree))
        for node in self.tree.body:
            if isinstance(node, ast.FunctionDef):
                stub_names.add(node.name)
            elif isinstance(node, (ast.Assign, ast.AnnAssign)):
                targets = node.targets if isinstance(node, ast.Assign) else [node.target]
                stub_names.update(t.id for t in targets if not t.id.startswith("_"))
        runtime_names = {name for name in vars(korvane) if not name.startswith("_")}
        self.assertEqual(stub_names, runtime_names)

    def test_classes_final_exactly_when_not_subclassable(self):
        for name, node in stub_classes(self.tree).items():
            cls = getattr(korvane, name)
            subclassable = bool(cls.__flags__ & (1 << 10))  # Py_TPFLAGS_BASETYPE
            self.assertEqual("final" in decorators(node), not subclassable, name)
            self.assertEqual(node.bases, [], name)


class ClassSurfaceTest(unittest.TestCase):
    def setUp(self):
        self.classes = stub_classes(parse_stub())

    def each_class(self):
        return [(getattr(korvane, name), node) for name, node in self.classes.items()]

    def test_public_members_both_ways(self):
        for cls, node in self.each_class():
            with self.subTest(cls=cls.__name__):
                methods, properties, class_vars = split_class(node)
                run_methods, run_properties, run_members = runtime_members(cls)
                self.assertEqual({m for m in methods if not m.startswith("_")}, run_methods)
                self.assertEqual(set(properties), run_properties)
                self.assertEqual({v for v in class_vars if not v.startswith("_")}, run_members)

    def test_enumeration_members_typed_as_their_class(self):
        for cls, node in self.each_class():
            with self.subTest(cls=cls.__name__):
                for name, inner in split_class(node)[2].items():
                    if name.startswith("_"):
                        continue
                    self.assertEqual(ast.unparse(inner), cls.__name__, name)
                    self.assertIs(type(getattr(cls, name)), cls)

    def test_dunders(self):
        for cls, node in self.each_class():
            with self.subTest(cls=cls.__name__):
                methods, _, class_vars = split_class(node)
                declared = {n for n in list(methods) + list(class_vars) if n.startswith("__")}
                # Every dunder in the stub is really defined by the class itself ...
                self.assertLessEqual(declared, set(vars(cls)))
                # ... and the ones users rely on are never left out.
                self.assertEqual(declared & REQUIRED_DUNDERS, set(vars(cls)) & REQUIRED_DUNDERS)
                if "__hash__" in class_vars:
                    self.assertEqual(ast.unparse(class_vars["__hash__"]), "None")
                    self.assertIsNone(vars(cls)["__hash__"])

    def test_constructor_parameters(self):
        for cls, node in self.each_class():
            with self.subTest(cls=cls.__name__):
                methods = split_class(node)[0]
                if "__new__" in methods:
                    self.assertEqual(stub_parameters(methods["__new__"]),
                                     runtime_parameters(inspect.signature(cls)))
                    self.assertIsInstance(cls(*sample_arguments(methods["__new__"])), cls)

    def test_method_parameters(self):
        for cls, node in self.each_class():
            with self.subTest(cls=cls.__name__):
                for name, function in split_class(node)[0].items():
                    if name.startswith("_"):
                        continue
                    runtime = inspect.signature(getattr(cls, name))
                    self.assertEqual(runtime_parameters(runtime)[1:], stub_parameters(function),
                                     name)


class BehaviourMatchesAnnotationsTest(unittest.TestCase):
    """Call everything the stub declares and hold the results to its annotations."""

    def setUp(self):
        self.classes = stub_classes(parse_stub())

    def test_methods_return_what_the_stub_says(self):
        methods = split_class(self.classes["Korvane"])[0]
        for name, function in methods.items():
            if name.startswith("_"):
                continue
            with self.subTest(method=name):
                self.assertIsNotNone(function.returns, f"{name} has no return annotation")
                sim = korvane.Korvane(2)
                sim.h(0)
                sim.cx(0, 1)
                value = getattr(sim, name)(*sample_arguments(function))
                self.assertTrue(matches(value, function.returns),
                                f"{name} returned {value!r}, stub says "
                                f"{ast.unparse(function.returns)}")

    def test_peek_accepts_both_set_kinds(self):
        function = split_class(self.classes["Korvane"])[0]["peek_measure_set"]
        self.assertEqual(ast.unparse(function.args.args[1].annotation),
                         "set[_Index] | frozenset[_Index]")
        sim = korvane.Korvane(2)
        for qubits in ({0, 1}, frozenset({0, 1})):
            self.assertTrue(matches(sim.peek_measure_set(qubits), function.returns))

    def test_outcome_properties(self):
        properties = split_class(self.classes["Outcome"])[1]
        outcome = korvane.Korvane(1).peek_measure_set({0})[0]
        for name, getter in properties.items():
            with self.subTest(prop=name):
                self.assertTrue(matches(getattr(outcome, name), getter.returns))
                with self.assertRaises(AttributeError):  # read-only, as a property
                    setattr(outcome, name, getattr(outcome, name))

    def test_value_dunders(self):
        for cls_name in ("MeasurementResult", "Axis"):
            methods, _, class_vars = split_class(self.classes[cls_name])
            cls = getattr(korvane, cls_name)
            for member in (n for n in class_vars if not n.startswith("_")):
                value = getattr(cls, member)
                with self.subTest(member=f"{cls_name}.{member}"):
                    self.assertTrue(matches(int(value), methods["__int__"].returns))
                    self.assertTrue(matches(value == int(value), methods["__eq__"].returns))
                    self.assertTrue(matches(value != int(value), methods["__ne__"].returns))
                    with self.assertRaises(TypeError):   # __hash__ is None
                        hash(value)
        outcome = korvane.Korvane(1).peek_measure_set({0})[0]
        methods = split_class(self.classes["Outcome"])[0]
        self.assertTrue(matches(str(outcome), methods["__str__"].returns))


if __name__ == "__main__":
    unittest.main()
