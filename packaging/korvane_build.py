"""In-tree PEP 517 build backend for korvane.

It drives the project's own CMake build and writes the wheel archive itself, so that
`pip install .` needs nothing beyond CMake, a C++20 compiler and the interpreter's
headers: no setuptools, no `wheel`, no network (pyproject.toml declares `requires = []`).

Config settings (pip: `-C key=value`):
  build-dir   keep the CMake build in this directory (default: a temporary one)
  cmake-args  extra arguments for the CMake configure step, split like a shell line
"""

from __future__ import annotations

import base64
import csv
import hashlib
import io
import os
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
GENERATOR = "korvane_build"

__all__ = [
    "get_requires_for_build_wheel",
    "get_requires_for_build_sdist",
    "prepare_metadata_for_build_wheel",
    "build_wheel",
    "build_sdist",
]


# ---------------------------------------------------------------- project metadata

def _project() -> dict:
    try:
        import tomllib
    except ModuleNotFoundError:  # tomllib arrived in 3.11, the oldest Python korvane supports
        raise RuntimeError("korvane needs Python 3.11 or newer to build") from None
    with open(ROOT / "pyproject.toml", "rb") as f:
        return tomllib.load(f)["project"]


def _dist_name(project: dict) -> str:
    # Wheel and dist-info names use the normalised name with underscores.
    return project["name"].replace("-", "_").replace(".", "_").lower()


def _metadata_text(project: dict) -> str:
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
    ]
    if "description" in project:
        lines.append(f"Summary: {project['description']}")
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    for classifier in project.get("classifiers", []):
        lines.append(f"Classifier: {classifier}")
    body = ""
    readme = project.get("readme")
    if isinstance(readme, str):
        lines.append("Description-Content-Type: text/markdown")
        body = (ROOT / readme).read_text(encoding="utf-8")
    return "\n".join(lines) + "\n\n" + body


def _dist_info_name(project: dict) -> str:
    return f"{_dist_name(project)}-{project['version']}.dist-info"


# ---------------------------------------------------------------- wheel tag

def _wheel_tag() -> str:
    """interpreter-abi-platform of the running interpreter, e.g. cp311-cp311-linux_x86_64."""
    version = f"{sys.version_info.major}{sys.version_info.minor}"
    if sys.implementation.name == "cpython":
        interpreter = f"cp{version}"
        abi = interpreter
        if sysconfig.get_config_var("Py_DEBUG"):
            abi += "d"
        if sysconfig.get_config_var("Py_GIL_DISABLED"):
            abi += "t"
    else:
        interpreter = f"{sys.implementation.name}{version}"
        soabi = sysconfig.get_config_var("SOABI") or "none"
        abi = soabi.replace("-", "_").replace(".", "_")
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    # A 32-bit interpreter on a 64-bit Linux kernel still reports x86_64.
    if platform == "linux_x86_64" and sys.maxsize <= 2**32:
        platform = "linux_i686"
    return f"{interpreter}-{abi}-{platform}"


def _wheel_file_text(tag: str) -> str:
    return (
        "Wheel-Version: 1.0\n"
        f"Generator: {GENERATOR}\n"
        "Root-Is-Purelib: false\n"
        f"Tag: {tag}\n"
    )


# ---------------------------------------------------------------- CMake

def _setting(config_settings: dict | None, key: str) -> str | None:
    value = (config_settings or {}).get(key)
    if isinstance(value, list):  # pip passes repeated -C keys as a list
        value = " ".join(value)
    return value


def _run(command: list[str]) -> None:
    print("+", " ".join(shlex.quote(part) for part in command), file=sys.stderr, flush=True)
    subprocess.run(command, check=True)


def _build_extension(build_dir: Path, config_settings: dict | None) -> tuple[Path, Path]:
    cmake = shutil.which("cmake")
    if cmake is None:
        raise RuntimeError("building korvane needs CMake 3.25 or newer on PATH")
    configure = [
        cmake, "-S", str(ROOT), "-B", str(build_dir),
        "-DCMAKE_BUILD_TYPE=Release",
        f"-DPython3_EXECUTABLE={sys.executable}",
        "-DKORVANE_BUILD_TESTS=OFF",
        "-DKORVANE_BUILD_BENCH=OFF",
    ]
    # Keep a generator the user chose or a build dir already has; otherwise prefer Ninja.
    if (not os.environ.get("CMAKE_GENERATOR") and shutil.which("ninja")
            and not (build_dir / "CMakeCache.txt").exists()):
        configure += ["-G", "Ninja"]
    configure += shlex.split(_setting(config_settings, "cmake-args") or "")
    _run(configure)
    _run([cmake, "--build", str(build_dir), "--target", "korvane",
          "--parallel", str(os.cpu_count() or 1)])

    module = build_dir / "python" / ("korvane" + sysconfig.get_config_var("EXT_SUFFIX"))
    stub = build_dir / "python" / "korvane.pyi"
    for path in (module, stub):
        if not path.is_file():
            raise RuntimeError(f"the CMake build did not produce {path}")
    return module, stub


# ---------------------------------------------------------------- archives

def _record_hash(data: bytes) -> str:
    digest = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


def _write_wheel(path: Path, files: list[tuple[str, bytes, int]], dist_info: str) -> None:
    """files: (archive name, content, unix mode). RECORD is added last, as required."""
    record_name = f"{dist_info}/RECORD"
    record = io.StringIO()
    writer = csv.writer(record, lineterminator="\n")
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED) as archive:
        for name, data, mode in files:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
            writer.writerow([name, _record_hash(data), len(data)])
        writer.writerow([record_name, "", ""])
        info = zipfile.ZipInfo(record_name, date_time=(1980, 1, 1, 0, 0, 0))
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, record.getvalue().encode("utf-8"))


def _is_output(top: str) -> bool:
    # Build trees and archives written into the checkout are not sources.
    return top == "dist" or top.startswith("build")


def _source_files() -> list[str]:
    """Files of the source tree: what git tracks or would track, else a filtered walk."""
    if (ROOT / ".git").exists() and shutil.which("git"):
        listed = subprocess.run(
            ["git", "-C", str(ROOT), "ls-files", "-z", "--cached", "--others",
             "--exclude-standard"],
            check=True, capture_output=True).stdout.decode("utf-8")
        return sorted({name for name in listed.split("\0")
                       if name and not _is_output(name.split("/")[0])
                       and (ROOT / name).is_file()})
    names = []
    for directory, subdirs, files in os.walk(ROOT):
        relative = Path(directory).relative_to(ROOT)
        if relative == Path("."):
            subdirs[:] = [d for d in subdirs if not (_is_output(d) or d == ".git")]
        subdirs[:] = sorted(d for d in subdirs if d != "__pycache__")
        names += [(relative / f).as_posix() for f in files if not f.endswith(".pyc")]
    return sorted(names)


# ---------------------------------------------------------------- PEP 517 hooks

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    project = _project()
    dist_info = Path(metadata_directory) / _dist_info_name(project)
    dist_info.mkdir(parents=True, exist_ok=True)
    (dist_info / "METADATA").write_text(_metadata_text(project), encoding="utf-8")
    (dist_info / "WHEEL").write_text(_wheel_file_text(_wheel_tag()), encoding="utf-8")
    return dist_info.name


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project = _project()
    dist_info = _dist_info_name(project)
    tag = _wheel_tag()

    chosen = _setting(config_settings, "build-dir")
    with tempfile.TemporaryDirectory(prefix="korvane-build-") as scratch:
        build_dir = Path(chosen).resolve() if chosen else Path(scratch)
        module, stub = _build_extension(build_dir, config_settings)
        files = [
            (module.name, module.read_bytes(), 0o755),
            # Beside the module for editors and pyright; as a PEP 561 stub-only package
            # for mypy, which does not look at stubs of top-level modules in site-packages.
            (stub.name, stub.read_bytes(), 0o644),
            ("korvane-stubs/__init__.pyi", stub.read_bytes(), 0o644),
            (f"{dist_info}/METADATA", _metadata_text(project).encode("utf-8"), 0o644),
            (f"{dist_info}/WHEEL", _wheel_file_text(tag).encode("utf-8"), 0o644),
        ]
        wheel_name = f"{_dist_name(project)}-{project['version']}-{tag}.whl"
        _write_wheel(Path(wheel_directory) / wheel_name, files, dist_info)
    return wheel_name


def build_sdist(sdist_directory, config_settings=None):
    project = _project()
    base = f"{_dist_name(project)}-{project['version']}"
    archive_name = f"{base}.tar.gz"

    def normalise(info: tarfile.TarInfo) -> tarfile.TarInfo:
        info.uid = info.gid = 0
        info.uname = info.gname = ""
        info.mode = 0o755 if info.mode & 0o111 else 0o644
        return info

    with tarfile.open(Path(sdist_directory) / archive_name, "w:gz",
                      format=tarfile.PAX_FORMAT) as archive:
        for name in _source_files():
            archive.add(ROOT / name, arcname=f"{base}/{name}", recursive=False,
                        filter=normalise)
        pkg_info = _metadata_text(project).encode("utf-8")
        info = normalise(tarfile.TarInfo(f"{base}/PKG-INFO"))
        info.size = len(pkg_info)
        archive.addfile(info, io.BytesIO(pkg_info))
    return archive_name
