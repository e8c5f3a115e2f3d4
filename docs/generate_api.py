#!/usr/bin/env python3
"""Writes docs/api.md, the API reference, from three sources:

- the type stub module/korvane.pyi (parsed with `ast`, never imported): what is public,
  in which order, and every signature with its types;
- the built module, imported from PYTHONPATH: the docstrings users see with help(), the
  members' values, and PanicException, which is not a module attribute;
- docs/api_notes.md, hand-written: what the docstrings leave out. A section headed with an
  entry's name in backticks (## `Korvane.cx`) goes under that entry; any other section is
  general and comes before the entries.

    PYTHONPATH=build/python python3 docs/generate_api.py          # rewrite docs/api.md
    PYTHONPATH=build/python python3 docs/generate_api.py --check  # exit status 1 when stale

tests/python/test_api_docs.py fails while the checked-in file differs from what this
writes. Standard library only.
"""

import argparse
import ast
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
STUB = ROOT / "module" / "korvane.pyi"
NOTES = ROOT / "docs" / "api_notes.md"
OUTPUT = ROOT / "docs" / "api.md"
COMMAND = "PYTHONPATH=build/python python3 docs/generate_api.py"

NOTE_HEADING = re.compile(r"^## (.+)$", re.MULTILINE)


def slug(heading):
    """The anchor GitHub gives a heading."""
    text = re.sub(r"[^\w\- ]", "", heading.lower())
    return text.replace(" ", "-")


def split_notes(text):
    """(general sections, {entry name: text}) of the notes file; the preamble before the
    first heading is a comment for editors and is left out."""
    general, entries = [], {}
    parts = NOTE_HEADING.split(text)
    for heading, body in zip(parts[1::2], parts[2::2]):
        body = body.strip()
        named = re.fullmatch(r"`([\w.]+)`", heading.strip())
        if named:
            entries[named.group(1)] = body
        else:
            general.append((heading.strip(), body))
    return general, entries


def parameters(function, drop_first=True):
    args = function.args
    if args.vararg or args.kwarg or args.kwonlyargs or args.defaults:
        raise ValueError(f"{function.name}: only parameters without defaults, stars or keyword-only ones are rendered")
    every = args.posonlyargs + args.args
    params = every[1:] if drop_first else every
    rendered = [f"{p.arg}: {ast.unparse(p.annotation)}" for p in params]
    if args.posonlyargs:
        rendered.insert(len(args.posonlyargs) - (1 if drop_first else 0), "/")
    return ", ".join(rendered)


def quote(docstring):
    """A docstring as a block quote, word for word."""
    return "\n".join(f"> {line}".rstrip() for line in docstring.strip("\n").split("\n"))


def summary(docstring):
    """The first paragraph of a docstring, on one line."""
    return " ".join((docstring or "").strip().split("\n\n", 1)[0].split())


def runtime_signature_names(obj):
    text = getattr(obj, "__text_signature__", None)
    if not text:
        return None
    inner = text.strip()[1:-1]
    return [p.strip() for p in inner.split(",") if p.strip() and not p.strip().startswith("$")]


def panic_class(korvane):
    """The engine-failure exception, from a call that is sure to fail."""
    try:
        korvane.Korvane(0).h(0)
    except BaseException as exc:  # noqa: B036 - the class derives from BaseException
        return type(exc)
    raise RuntimeError("Korvane(0).h(0) raised nothing")


class Writer:
    def __init__(self, korvane, notes_text):
        self.korvane = korvane
        self.general, self.notes = split_notes(notes_text)
        self.used = set()
        self.lines = []
        self.index = []  # (entry name, signature, summary)

    def out(self, *lines):
        self.lines.extend(lines)

    def entry(self, name, signature, runtime_doc, stub_doc, extra=()):
        """One entry: heading, signature, the module's docstring, the stub's, notes."""
        self.out(f"### `{name}`", "", "```python", signature, "```", "")
        self.out(*extra)
        if runtime_doc:
            self.out("Docstring (`help()`):", "", quote(runtime_doc), "")
        if stub_doc and stub_doc.strip() != (runtime_doc or "").strip():
            self.out("Stub docstring (editors, type checkers):", "", quote(stub_doc), "")
        if name in self.notes:
            self.used.add(name)
            self.out("Notes:", "", self.notes[name], "")
        self.index.append((name, signature, summary(runtime_doc or stub_doc) or summary(" ".join(extra))))

    def stub_class(self, node):
        name = node.name
        runtime = getattr(self.korvane, name, None)
        if runtime is None:
            raise ValueError(f"the stub declares {name}, which the module does not have")
        decorators = [ast.unparse(d) for d in node.decorator_list]
        self.out(f"## Class `{name}`", "")
        functions = [i for i in node.body if isinstance(i, ast.FunctionDef)]
        constructor = next((f for f in functions if f.name == "__new__"), None)
        if constructor is not None:
            signature = f"{name}({parameters(constructor)})"
            runtime_text = getattr(runtime, "__text_signature__", None)
            self.out(f"Constructed as `{name}{runtime_text or '(...)'}`." if runtime_text else
                     f"Constructed by calling `{name}`.", "")
        else:
            signature = f"class {name}"
            self.out("Instances are made by the module only; calling the class raises `TypeError`.", "")
        if "final" in decorators:
            self.out("Declared `@final`: the class cannot be subclassed.", "")
        self.entry(name, signature, runtime.__doc__, ast.get_docstring(node))

        body = node.body
        dunders = []
        for position, item in enumerate(body):
            following = body[position + 1] if position + 1 < len(body) else None
            attr_doc = None
            if (isinstance(following, ast.Expr) and isinstance(following.value, ast.Constant)
                    and isinstance(following.value.value, str)):
                attr_doc = following.value.value
            if isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name):
                member = item.target.id
                if member.startswith("__"):
                    dunders.append(f"`{member}: {ast.unparse(item.annotation)}`")
                    continue
                value = getattr(runtime, member)
                extra = [f"Value: `repr()` is `{value!r}`, `int()` is {int(value)}.", ""]
                self.entry(f"{name}.{member}", f"{name}.{member}: {ast.unparse(item.annotation)}",
                           None, attr_doc, extra)
            elif isinstance(item, ast.FunctionDef):
                if item.name.startswith("__"):
                    if item.name != "__new__":
                        dunders.append(f"`{item.name}({parameters(item)}) -> {ast.unparse(item.returns)}`")
                    continue
                self.method(name, runtime, item)
        if dunders:
            self.out(f"Special methods of `{name}` declared in the stub: {', '.join(dunders)}.", "")

    def method(self, class_name, runtime_class, function):
        full = f"{class_name}.{function.name}"
        runtime = getattr(runtime_class, function.name, None)
        if runtime is None:
            raise ValueError(f"the stub declares {full}, which the module does not have")
        decorators = [ast.unparse(d) for d in function.decorator_list]
        returns = ast.unparse(function.returns)
        if "property" in decorators:
            self.entry(full, f"{full}: {returns}  # read-only property", runtime.__doc__,
                       ast.get_docstring(function))
            return
        names = runtime_signature_names(runtime)
        stub_names = [a.arg for a in function.args.args[1:]]
        if names is not None and names != stub_names:
            raise ValueError(f"{full}: the module's parameters {names} differ from the stub's {stub_names}")
        self.entry(full, f"{full}({parameters(function)}) -> {returns}", runtime.__doc__,
                   ast.get_docstring(function))

    def panic(self):
        panic = panic_class(self.korvane)
        bases = ", ".join(f"`{b.__name__}`" for b in panic.__bases__)
        self.out("## Exception `PanicException`", "",
                 f"Raised by the module for a failed engine check; derives from {bases}. "
                 f"It is not an attribute of the module: `type(e).__module__` is "
                 f"`{panic.__module__!r}` and `type(e).__qualname__` is `{panic.__qualname__!r}`.", "")
        self.entry("PanicException", f"class PanicException({panic.__bases__[0].__name__})",
                   panic.__doc__, None)


def render(notes_text=None, stub_text=None):
    """The text of docs/api.md."""
    import korvane

    if notes_text is None:
        notes_text = NOTES.read_text(encoding="utf-8")
    if stub_text is None:
        stub_text = STUB.read_text(encoding="utf-8")
    tree = ast.parse(stub_text, filename=str(STUB))
    writer = Writer(korvane, notes_text)

    type_vars = [ast.unparse(n) for n in tree.body if isinstance(n, ast.Assign)
                 and isinstance(n.value, ast.Call) and ast.unparse(n.value.func) == "TypeVar"]
    stub_all = next((ast.literal_eval(n.value) for n in tree.body if isinstance(n, ast.Assign)
                     and any(isinstance(t, ast.Name) and t.id == "__all__" for t in n.targets)), None)
    if stub_all != list(korvane.__all__):
        raise ValueError(f"__all__: the stub has {stub_all}, the module {korvane.__all__}")
    classes = {n.name: n for n in tree.body if isinstance(n, ast.ClassDef)}

    # The entries first, so that the contents table can list them.
    body_start = len(writer.lines)
    for name in korvane.__all__:
        writer.stub_class(classes[name])
    writer.panic()
    entries = writer.lines[body_start:]

    unused = set(writer.notes) - writer.used
    if unused:
        raise ValueError(f"docs/api_notes.md has notes for entries that do not exist: {sorted(unused)}")

    head = [
        "<!-- Generated by docs/generate_api.py from module/korvane.pyi, the docstrings of the",
        "     built module and docs/api_notes.md. Do not edit by hand: edit those and run",
        f"     {COMMAND} -->",
        "",
        "# korvane API reference",
        "",
        quote(korvane.__doc__),
        "",
        f"`korvane.__all__` is `{list(korvane.__all__)!r}`. Signatures are those of the type stub",
        "`module/korvane.pyi`, which the wheel installs beside the module."
        + (f" Type variables: {', '.join(f'`{t}`' for t in type_vars)}." if type_vars else ""),
        "Docstrings are quoted word for word from the built module; the notes under them explain",
        "what the docstrings leave out.",
        "",
        "## Contents",
        "",
        "| entry | summary |",
        "|---|---|",
    ]
    for name, _signature, summary in writer.index:
        head.append(f"| [`{name}`](#{slug(name)}) | {summary.replace('|', chr(92) + '|')} |")
    head.append("")
    for heading, body in writer.general:
        head += [f"## {heading}", "", body, ""]
    text = "\n".join(head + entries)
    return re.sub(r"\n{3,}", "\n\n", text).rstrip("\n") + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="write nothing; exit 1 when docs/api.md is stale")
    parser.add_argument("--output", type=Path, default=OUTPUT)
    args = parser.parse_args()
    text = render()
    if args.check:
        current = args.output.read_text(encoding="utf-8") if args.output.exists() else ""
        if current != text:
            print(f"{args.output} is stale; regenerate it with: {COMMAND}", file=sys.stderr)
            return 1
        print(f"{args.output} is current")
        return 0
    args.output.write_text(text, encoding="utf-8")
    print(f"wrote {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
