"""Builds the package's wheel from this folder and a release folder's
programs, the same bytes from the same inputs wherever and whenever it runs
(fixed times and modes, sorted entries).

    python3 python/build_wheel.py RELEASE_DIR     writes RELEASE_DIR/<wheel>, prints its name
"""

from __future__ import annotations

import sys
import zipfile
from pathlib import Path
from typing import List, Tuple

# This script's folder is first on sys.path: the package is importable, and
# its version, program names and RECORD hashes are the ones used here.
from launcher_maker import __version__
from launcher_maker.arch import ARCHITECTURES
from launcher_maker.files import record_of
from launcher_maker.programs import program_name

PACKAGE = "launcher_maker"
PROGRAMS = [program_name(arch, gui) for arch in ARCHITECTURES for gui in (False, True)]


def record_line(name: str, data: bytes) -> str:
    _, digest, size = record_of(name, data)
    return f"{name},{digest},{size}\n"


def contents(source: Path, programs: Path, ver: str) -> List[Tuple[str, bytes]]:
    files = [(f"{PACKAGE}/{p.name}", p.read_bytes())
             for p in sorted(source.iterdir()) if p.suffix == ".py" or p.name == "py.typed"]
    files += [(f"{PACKAGE}/programs/{name}", (programs / name).read_bytes()) for name in PROGRAMS]
    info = f"{PACKAGE}-{ver}.dist-info"
    files.append((f"{info}/METADATA", (
        "Metadata-Version: 2.1\n"
        "Name: launcher-maker\n"
        f"Version: {ver}\n"
        "Summary: Makes Windows launchers (tool.exe) for Python entry points and scripts\n"
        "Requires-Python: >=3.9\n"
        # Only `install` and the destination use it.
        "Provides-Extra: install\n"
        "Requires-Dist: installer>=0.6; extra == \"install\"\n").encode()))
    files.append((f"{info}/WHEEL", (
        "Wheel-Version: 1.0\n"
        "Generator: launcher_maker build_wheel.py\n"
        "Root-Is-Purelib: true\n"
        "Tag: py3-none-any\n").encode()))
    record = "".join(record_line(n, d) for n, d in files) + f"{info}/RECORD,,\n"
    files.append((f"{info}/RECORD", record.encode()))
    return files


def build(out: Path) -> Path:
    source = Path(__file__).resolve().parent / PACKAGE
    wheel = out / f"{PACKAGE}-{__version__}-py3-none-any.whl"
    with zipfile.ZipFile(wheel, "w") as archive:
        for name, data in contents(source, out, __version__):
            entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            entry.create_system = 3
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data, compresslevel=9)
    return wheel


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    print(build(Path(sys.argv[1])).name)
