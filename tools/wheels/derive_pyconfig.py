#!/usr/bin/env python3
"""Writes CPython's pyconfig.h for aarch64 Linux from the x86_64 one of the same build.

    derive_pyconfig.py X86_64_PYCONFIG OUT_PYCONFIG

For a CPython whose aarch64 headers no distribution here ships (3.12). Both are LP64
glibc targets: every size, alignment and ABI switch is the same, and Debian's pairs of
pyconfig.h (3.11, 3.14, 3.15) differ only in the lines rewritten here, which
tests/wheels/test_derive_pyconfig.py checks against them.
"""

import re
import sys

# Macro -> its aarch64 value (None: left undefined).
AARCH64 = {
    "HAVE_GCC_ASM_FOR_X64": None,
    "HAVE_GCC_ASM_FOR_X87": None,
    "_Py_HACL_CAN_COMPILE_VEC128": None,
    "_Py_HACL_CAN_COMPILE_VEC256": None,
    "HAVE_USABLE_WCHAR_T": "1",  # wchar_t is unsigned on aarch64
    "PY_SUPPORT_TIER": "2",
    "SOABI_PLATFORM": '"aarch64-linux-gnu"',
}
LINE = re.compile(r"^(?:#define (\w+)(?: .*)?|/\* #undef (\w+) \*/)$")


def derive(text):
    out = []
    for line in text.splitlines(keepends=True):
        m = LINE.match(line.rstrip("\n"))
        name = m and (m.group(1) or m.group(2))
        if name in AARCH64:
            value = AARCH64[name]
            line = f"/* #undef {name} */\n" if value is None else f"#define {name} {value}\n"
        out.append(line)
    return "".join(out)


def main():
    source, target = sys.argv[1:3]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    with open(target, "w", encoding="utf-8") as f:
        f.write(derive(text))


if __name__ == "__main__":
    main()
