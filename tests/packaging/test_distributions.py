"""The built wheel and source archive: metadata, contents, and the version in every file.

Run by tests/packaging/run.sh with KORVANE_DIST naming a directory that holds one wheel
and one source archive, and KORVANE_TREE the source tree they were built from. The
archive's expected contents are the files git tracks there (KORVANE_TRACKED, a file
listing them, when the tree is not a git checkout).
"""

import email.parser
import os
import re
import subprocess
import tarfile
import tomllib
import unittest
import zipfile
from pathlib import Path

DIST = Path(os.environ.get("KORVANE_DIST", "dist"))
TREE = Path(os.environ.get("KORVANE_TREE", Path(__file__).resolve().parents[2]))
PROJECT = tomllib.loads((TREE / "pyproject.toml").read_text(encoding="utf-8"))["project"]
VERSION = PROJECT["version"]

# Tracked files that are not sources of the package: CI's own scripts and git's settings.
NOT_SHIPPED = re.compile(r"^(\.ci/|\.gitignore$|\.gitattributes$)")


def one(pattern):
    found = sorted(DIST.glob(pattern))
    if len(found) != 1:
        raise unittest.SkipTest(f"expected one {pattern} in {DIST}, found {len(found)}")
    return found[0]


def tracked_files():
    listing = os.environ.get("KORVANE_TRACKED")
    if listing:
        names = Path(listing).read_text(encoding="utf-8").split("\n")
    else:
        names = subprocess.run(["git", "-C", str(TREE), "ls-files"], check=True, capture_output=True,
                               text=True).stdout.split("\n")
    return {name for name in names if name and not NOT_SHIPPED.match(name)}


class WheelTests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wheel = one("korvane-*.whl")
        with zipfile.ZipFile(cls.wheel) as archive:
            cls.names = set(archive.namelist())
            cls.dist_info = f"korvane-{VERSION}.dist-info"
            text = archive.read(f"{cls.dist_info}/METADATA").decode("utf-8")
            cls.licence = archive.read(f"{cls.dist_info}/licenses/LICENSE").decode("utf-8")
        cls.metadata = email.parser.Parser().parsestr(text)

    def test_metadata_fields(self):
        m = self.metadata
        self.assertEqual(m["Name"], "korvane")
        self.assertEqual(m["Version"], VERSION)
        self.assertEqual(m["Summary"], PROJECT["description"])
        self.assertEqual(m["Requires-Python"], ">=3.11")
        self.assertEqual(m["License-Expression"], "Apache-2.0")
        self.assertEqual(m.get_all("License-File"), ["LICENSE"])
        self.assertEqual(m["Author"], "korvane developers")
        self.assertEqual(m["Description-Content-Type"], "text/markdown")
        self.assertGreaterEqual(tuple(map(int, m["Metadata-Version"].split("."))), (2, 4))
        self.assertIn("stabilizer", m["Keywords"].split(","))
        self.assertIsNone(m["Home-page"])  # no address is invented
        self.assertIsNone(m.get_all("Project-URL"))

    def test_classifiers(self):
        classifiers = set(self.metadata.get_all("Classifier"))
        for minor in range(11, 16):
            self.assertIn(f"Programming Language :: Python :: 3.{minor}", classifiers)
        for expected in ("Operating System :: POSIX :: Linux", "Programming Language :: C++",
                         "Topic :: Scientific/Engineering :: Physics",
                         "Programming Language :: Python :: Implementation :: CPython"):
            self.assertIn(expected, classifiers)
        self.assertFalse([c for c in classifiers if c.startswith("License ::")],
                         "a licence classifier beside License-Expression is refused by PyPI")

    def test_long_description_is_the_readme(self):
        self.assertEqual(self.metadata.get_payload().strip(),
                         (TREE / "README.md").read_text(encoding="utf-8").strip())

    def test_licence_text(self):
        self.assertEqual(self.licence, (TREE / "LICENSE").read_text(encoding="utf-8"))
        self.assertIn("Apache License", self.licence)

    def test_contents(self):
        module = [n for n in self.names if re.fullmatch(r"korvane\.cpython-3\d+[a-z]*-[\w-]+\.so", n)]
        self.assertEqual(len(module), 1, sorted(self.names))
        expected = {module[0], "korvane.pyi", "korvane-stubs/__init__.pyi",
                    *(f"{self.dist_info}/{name}" for name in ("METADATA", "WHEEL", "RECORD", "licenses/LICENSE"))}
        self.assertEqual(self.names, expected)


class SourceArchiveTests(unittest.TestCase):
    def test_contents_are_the_tracked_sources(self):
        sdist = one("korvane-*.tar.gz")
        prefix = f"korvane-{VERSION}/"
        with tarfile.open(sdist) as archive:
            members = {m.name for m in archive.getmembers() if m.isfile()}
        self.assertTrue(all(name.startswith(prefix) for name in members))
        shipped = {name[len(prefix):] for name in members} - {"PKG-INFO"}
        expected = tracked_files()
        self.assertEqual(sorted(shipped - expected), [], "in the archive but not tracked")
        self.assertEqual(sorted(expected - shipped), [], "tracked but not in the archive")


class VersionTests(unittest.TestCase):
    """The version is written once, in pyproject.toml; the other files must agree."""

    def test_citation(self):
        text = (TREE / "CITATION.cff").read_text(encoding="utf-8")
        self.assertRegex(text, rf"(?m)^version: \"?{re.escape(VERSION)}\"?$")

    def test_changelog_names_this_release(self):
        text = (TREE / "CHANGELOG.md").read_text(encoding="utf-8")
        releases = re.findall(r"(?m)^## \[(\d[^\]]*)\]", text)
        self.assertEqual(releases[0], VERSION)


if __name__ == "__main__":
    unittest.main()
