"""Where the package under test comes from: the release's wheel when
LAUNCHER_WHEEL names one, else this checkout's sources with the native
launcher standing in for the six Windows programs (which a Linux-only build
does not have)."""

import atexit
import os
import shutil
import subprocess
import sys
import tempfile

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
WHEEL = os.environ.get("LAUNCHER_WHEEL", "")
PROGRAMS = [f"launcher{w}-{a}.exe" for a in ("x86", "x64", "arm64") for w in ("", "w")]


def _package_path():
    if WHEEL:
        return WHEEL  # a wheel imports as a zip
    root = tempfile.mkdtemp(prefix="launcher-maker-src-")
    atexit.register(shutil.rmtree, root, True)
    package = os.path.join(root, "launcher_maker")
    shutil.copytree(os.path.join(HERE, "..", "launcher_maker"), package,
                    ignore=shutil.ignore_patterns("__pycache__"))
    os.mkdir(os.path.join(package, "programs"))
    for name in PROGRAMS:
        with open(os.path.join(package, "programs", name), "wb") as f:
            f.write(f"stand-in for {name}".encode())
    return root


PACKAGE_PATH = _package_path()
sys.path.insert(0, PACKAGE_PATH)


def need(variable):
    """An input that ctest passes; the test is skipped without it."""
    value = os.environ.get(variable, "")
    if not value:
        pytest.skip(f"{variable} is not set (run through ctest)")
    return value


def launcher_split(text):
    """The launcher's own split of the text after "#!"."""
    out = subprocess.run([need("SPLIT_LINE")], input=text.encode(), stdout=subprocess.PIPE,
                         check=True).stdout
    return [t.decode() for t in out.split(b"\0")[:-1]]


def first_line_tokens(script_path):
    with open(script_path, encoding="utf-8") as f:
        line = f.readline().rstrip("\n")
    assert line.startswith("#!"), line
    return launcher_split(line[2:])


def make_wheel(folder, name, version, files, entry_points=""):
    """A wheel made by hand: `files` maps member names to text (a name
    ending in "*" is written executable, without the star), with its
    dist-info and RECORD."""
    import zipfile

    wheel = os.path.join(folder, f"{name}-{version}-py3-none-any.whl")
    info = f"{name}-{version}.dist-info"
    members = dict(files)
    members[f"{info}/METADATA"] = f"Metadata-Version: 2.1\nName: {name}\nVersion: {version}\n"
    members[f"{info}/WHEEL"] = "Wheel-Version: 1.0\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    if entry_points:
        members[f"{info}/entry_points.txt"] = entry_points
    with zipfile.ZipFile(wheel, "w") as archive:
        for member, text in members.items():
            entry = zipfile.ZipInfo(member.rstrip("*"))
            entry.external_attr = (0o100755 if member.endswith("*") else 0o100644) << 16
            archive.writestr(entry, text)
        names = [m.rstrip("*") for m in members] + [f"{info}/RECORD"]
        archive.writestr(f"{info}/RECORD", "".join(f"{n},,\n" for n in names))
    return wheel
