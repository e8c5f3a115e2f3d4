"""derive_pyconfig.py stands in for a distribution's aarch64 pyconfig.h where none exists
(CPython 3.12): on every CPython for which Debian ships both, the file it derives from the
x86_64 one must be the aarch64 one, byte for byte."""

import importlib.util
import os
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SID = Path(os.environ.get("KORVANE_SID_ROOT", "/var/tmp/korvane-sid"))
spec = importlib.util.spec_from_file_location("derive_pyconfig", ROOT / "tools" / "wheels" / "derive_pyconfig.py")
derive_pyconfig = importlib.util.module_from_spec(spec)
spec.loader.exec_module(derive_pyconfig)


def debian_pairs():
    """(version, x86_64 pyconfig.h, aarch64 pyconfig.h) for each pair installed here."""
    for base in (Path("/"), SID):
        for arm in sorted((base / "usr/include/aarch64-linux-gnu").glob("python3.*/pyconfig.h")):
            x86 = base / "usr/include/x86_64-linux-gnu" / arm.parent.name / "pyconfig.h"
            if x86.is_file():
                yield arm.parent.name, x86, arm


class DerivePyconfigTest(unittest.TestCase):
    def test_reproduces_debians_aarch64_pyconfig(self):
        pairs = list(debian_pairs())
        # Debian 12's 3.11 (tests/qemu/install_packages.sh) and sid's 3.14 and 3.15
        # (tools/wheels/python_headers.sh) at least.
        self.assertGreaterEqual(len(pairs), 3, pairs)
        for version, x86, arm in pairs:
            with self.subTest(version=version):
                derived = derive_pyconfig.derive(x86.read_text(encoding="utf-8"))
                self.assertEqual(derived, arm.read_text(encoding="utf-8"))

    def test_the_architectures_really_differ(self):
        # Otherwise the test above would pass with a derive() that copies its input.
        version, x86, arm = next(debian_pairs())
        self.assertNotEqual(x86.read_text(encoding="utf-8"), arm.read_text(encoding="utf-8"), version)


if __name__ == "__main__":
    unittest.main()
