"""The single-file form: the program, the interpreter line and a zip of the
script, one file that Python runs as it stands and the launcher runs as
itself."""

import io
import os
import shutil
import subprocess
import zipfile

import pytest
from conftest import need

from launcher_maker import make_launcher
from launcher_maker.cli import main
from launcher_maker.codec import READ_LIMIT
from launcher_maker.files import record_of
from launcher_maker.programs import program_bytes

SHOW = "import sys\ndef main():\n    print(sys.argv)\n    return 3\n"
HELLO = "#!/usr/bin/env python3\nimport sys\nprint('hello', sys.argv[1:])\n"


def make_both(folder):
    """An entry point and a script, made by the command line as single files."""
    folder.mkdir(exist_ok=True)
    (folder / "hello.py").write_text(HELLO)
    dest = folder / "out"
    common = ["--dest", str(dest), "--arch", "x64", "--interpreter", "/usr/bin/python3",
              "--single-file"]
    assert main(["make", "show=show:main", *common]) == 0
    assert main(["script", f"hello={folder / 'hello.py'}", *common]) == 0
    return dest


def test_make_and_script_by_the_command_line(tmp_path, capsys):
    dest = make_both(tmp_path)
    # One row a launcher, naming what is on disk.
    rows = [line.split(" ", 1)[1].split(",") for line in capsys.readouterr().out.splitlines()]
    assert sorted(os.listdir(dest)) == ["hello.exe", "show.exe"]
    for path, hash_, size in rows:
        assert (path, hash_, int(size)) == record_of(path, open(path, "rb").read())
    # The same bytes from a second run, elsewhere.
    again = make_both(tmp_path / "again")
    for name in ("hello.exe", "show.exe"):
        assert (dest / name).read_bytes() == (again / name).read_bytes()

    # Python runs each as it stands; argv[0] is the program without .exe,
    # in whatever case the system gives it.
    (tmp_path / "show.py").write_text(SHOW)
    env = dict(os.environ, PYTHONPATH=str(tmp_path))
    shutil.copy(dest / "show.exe", tmp_path / "SHOW.EXE")
    for program in (dest / "show.exe", tmp_path / "SHOW.EXE"):
        show = subprocess.run(["/usr/bin/python3", str(program), "a b"], env=env,
                              stdout=subprocess.PIPE, text=True)
        assert (show.returncode, show.stdout) == (3, repr([str(program)[:-4], "a b"]) + "\n")
    hello = subprocess.run(["/usr/bin/python3", str(dest / "hello.exe"), "x"],
                           stdout=subprocess.PIPE, text=True, check=True)
    assert hello.stdout == "hello ['x']\n"


@pytest.mark.parametrize("kwargs", [
    dict(entry_point="show:main"), dict(script=HELLO, gui=True),
    dict(entry_point="show:main", interpreter="C:\\Pythön\\python.exe"),
], ids=["entry point", "windowless script", "non-ASCII interpreter"])
def test_layout_program_line_archive(tmp_path, kwargs):
    """The released program byte for byte, the companion's own interpreter
    line, a line end, and an archive of one stored member at a fixed date."""
    make_launcher("tool", str(tmp_path / "companion"), arch="arm64", **kwargs)
    (written,) = make_launcher("tool", str(tmp_path), arch="arm64", single_file=True, **kwargs)
    data = open(written.path, "rb").read()
    program = program_bytes("arm64", kwargs.get("gui", False))
    script = (tmp_path / "companion" / f"tool-script.py{'w' if kwargs.get('gui') else ''}")
    line = script.read_bytes().split(b"\n")[0]
    assert data.startswith(program + line + b"\n")
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        (member,) = archive.infolist()
        assert (member.filename, member.compress_type, member.date_time, member.create_system) == (
            "__main__.py", zipfile.ZIP_STORED, (1980, 1, 1, 0, 0, 0), 0)
        code = archive.read(member).decode()
    if "script" in kwargs:
        assert code == HELLO  # the script's own text, first line and all
    assert data.index(b"PK\x03\x04", len(program)) == len(program) + len(line) + 1


@pytest.mark.parametrize("longest", [False, True], ids=["short line", "longest line"])
def test_native_launcher_runs_the_file_made(tmp_path, longest):
    """The line the maker writes, up to its limit, is the line the launcher
    reads before the archive; the file itself is the script."""
    stub = need("STUB")
    option = []
    if longest:
        fixed = len(f"#!{stub} -E".encode())
        option = ["-E" + "x" * (READ_LIMIT - fixed)]
    (written,) = make_launcher("tool", str(tmp_path), entry_point="m:f", arch="x64",
                               interpreter=stub, options=option, single_file=True)
    data = open(written.path, "rb").read()
    program = program_bytes("x64", False)
    tail = data[len(program):]
    assert len(tail.split(b"\n")[0]) == (READ_LIMIT if longest else len(f"#!{stub}"))
    with open(written.path, "wb") as f:
        f.write(open(need("LAUNCHER"), "rb").read() + tail)
    out = tmp_path / "argv"
    subprocess.run([written.path, "a b"], env={"STUB_OUT": str(out)}, check=True)
    assert out.read_bytes().split(b"\0")[:-1] == [
        stub.encode(), *[o.encode() for o in option], written.path.encode(), b"a b"]
