"""docs/api.md against what docs/generate_api.py makes of the stub, the module and the notes.

The reference is checked in so that it reads on any forge; this keeps it from going stale
when a docstring, the stub or a note changes, and checks that the generator covers every
public name of the running module and puts each note where it belongs.
"""

import difflib
import importlib.util
import re
import unittest
from pathlib import Path

import korvane

ROOT = Path(__file__).resolve().parents[2]
GENERATOR = ROOT / "docs" / "generate_api.py"
REFERENCE = ROOT / "docs" / "api.md"


def load_generator():
    spec = importlib.util.spec_from_file_location("generate_api", GENERATOR)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


generate_api = load_generator()


def entry_headings(text):
    return re.findall(r"^### `([\w.]+)`$", text, re.MULTILINE)


def public_names():
    """Every public class, method, property and member of the running module."""
    names = {"PanicException"}
    for class_name in korvane.__all__:
        cls = getattr(korvane, class_name)
        names.add(class_name)
        names.update(f"{class_name}.{name}" for name in vars(cls) if not name.startswith("_"))
    return names


class ReferenceTest(unittest.TestCase):
    def test_checked_in_reference_is_current(self):
        expected = generate_api.render()
        current = REFERENCE.read_text(encoding="utf-8") if REFERENCE.exists() else ""
        if current != expected:
            diff = "".join(list(difflib.unified_diff(
                current.splitlines(keepends=True), expected.splitlines(keepends=True),
                "docs/api.md (checked in)", "docs/api.md (generated)", n=1))[:40])
            self.fail("docs/api.md is stale; regenerate it from the repository root with\n"
                      f"    {generate_api.COMMAND}\nand commit the result. Difference:\n{diff}")

    def test_every_public_name_has_one_entry(self):
        headings = entry_headings(generate_api.render())
        self.assertEqual(sorted(headings), sorted(public_names()))


class NotesTest(unittest.TestCase):
    def test_note_lands_under_its_entry_and_general_sections_before_entries(self):
        notes = ("## `Korvane.cx`\n\nMARK-CX\n\n## `Outcome.axis`\n\nMARK-AXIS\n\n"
                 "## Something general\n\nMARK-GENERAL\n")
        text = generate_api.render(notes_text=notes)
        for marker, entry in (("MARK-CX", "Korvane.cx"), ("MARK-AXIS", "Outcome.axis")):
            section = text.split(f"### `{entry}`\n", 1)[1].split("\n### ", 1)[0]
            self.assertIn(marker, section, entry)
            self.assertEqual(text.count(marker), 1, marker)
        self.assertLess(text.index("## Something general"), text.index("### `"))

    def test_note_for_an_entry_that_does_not_exist_is_refused(self):
        for name in ("Korvane.cnot", "Measurement", "Korvane.measure_x.extra"):
            with self.subTest(name=name), self.assertRaisesRegex(ValueError, re.escape(name)):
                generate_api.render(notes_text=f"## `{name}`\n\nstale note\n")

    def test_docstrings_are_quoted_word_for_word(self):
        text = generate_api.render(notes_text="")
        for name in ("Korvane.sdag", "Korvane.measure_y", "Korvane.peek_measure_set"):
            doc = getattr(korvane.Korvane, name.split(".")[1]).__doc__
            quoted = "\n".join(f"> {line}".rstrip() for line in doc.split("\n"))
            self.assertIn(quoted, text.split(f"### `{name}`\n", 1)[1].split("\n### ", 1)[0])


if __name__ == "__main__":
    unittest.main()
