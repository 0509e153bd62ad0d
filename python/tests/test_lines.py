"""The interpreter lines the maker writes, read back by the launcher's own
split: the two must never disagree."""

import os
import random
import subprocess

import pytest
from conftest import first_line_tokens, launcher_split, need

from launcher_maker import make_launcher
from launcher_maker.codec import READ_LIMIT, quote_token
from launcher_maker.interpreter import choose_token

UNIX_SCRIPT = "#!/usr/bin/env python3\nprint('hi')\n"


@pytest.mark.parametrize("kwargs, tokens, second_line", [
    (dict(interpreter="C:\\Program Files\\Py 3\\python.exe", options=["-E", "-s"]),
     ["C:\\Program Files\\Py 3\\python.exe", "-E", "-s"], None),
    (dict(interpreter="\\\\server\\share\\Py\\python.exe"),
     ["\\\\server\\share\\Py\\python.exe"], None),
    (dict(interpreter="<launcher_dir>\\..\\Py 3\\python.exe"),
     ["<launcher_dir>\\..\\Py 3\\python.exe"], None),
    (dict(), ["python.exe"], None),
    (dict(gui=True), ["pythonw.exe"], None),
    (dict(gui=True, interpreter="C:\\Py\\python.exe"), ["C:\\Py\\pythonw.exe"], None),
    (dict(gui=True, interpreter="C:python.exe"), ["C:pythonw.exe"], None),
    (dict(script=UNIX_SCRIPT, interpreter="C:\\Py\\python.exe"),
     ["C:\\Py\\python.exe"], "print('hi')"),
    (dict(script="#!/usr/bin/python3.12 -u\nx = 1\n"), ["python.exe"], "x = 1"),
    (dict(script="# not an interpreter line\n"), ["python.exe"], "# not an interpreter line"),
    (dict(script="#!/bin/sh\n"), ["python.exe"], "#!/bin/sh"),
])
def test_lines_read_back_as_written(tmp_path, kwargs, tokens, second_line):
    if "script" not in kwargs:
        kwargs["entry_point"] = "tool.cli:main"
    make_launcher("tool", str(tmp_path), arch="x64", **kwargs)
    script = tmp_path / ("tool-script.pyw" if kwargs.get("gui") else "tool-script.py")
    assert first_line_tokens(script) == tokens
    if second_line is not None:
        assert script.read_text().splitlines()[1] == second_line


def test_relative_interpreter_from_its_path(tmp_path):
    python = tmp_path / "env" / "Py 3" / "python.exe"
    python.parent.mkdir(parents=True)
    make_launcher("tool", str(tmp_path / "env" / "Scripts"), entry_point="m:f", arch="x64",
                  interpreter=str(python), relative=True)
    assert first_line_tokens(tmp_path / "env" / "Scripts" / "tool-script.py") == [
        "<launcher_dir>\\..\\Py 3\\python.exe"]


@pytest.mark.parametrize("interpreter, folder, token", [
    # Windows names ignore case: on a drive, Env and ENV are one folder.
    ("C:\\Env\\python.exe", "c:\\ENV\\Scripts", "<launcher_dir>\\..\\python.exe"),
    # A POSIX host's own paths keep their case: two folders.
    ("/Env/python.exe", "/env/Scripts", "<launcher_dir>\\..\\..\\Env\\python.exe"),
])
def test_relative_token_compares_names_as_their_system_does(interpreter, folder, token):
    if os.name == "nt" and folder.startswith("/"):
        pytest.skip("Windows folds case everywhere")
    assert choose_token(interpreter, relative=True, folder=folder, gui=False) == token


def test_quoting_agrees_with_the_launchers_split():
    need("SPLIT_LINE")
    pieces = ["a", " ", "\t", "\v", '"', "\\", "\\\\", "é", "<", "x y"]
    rng = random.Random(17)
    tokens = ["", "\\", '"', "a\\", 'a\\"b', "\\\\server\\share\\"]
    tokens += ["".join(rng.choice(pieces) for _ in range(rng.randrange(1, 12)))
               for _ in range(300)]
    line = " ".join(quote_token(t) for t in tokens)
    assert launcher_split(line) == tokens


def test_longest_line_is_read_whole_by_the_launcher(tmp_path):
    """A line at the maker's limit reaches the interpreter uncut: the last
    option arrives whole."""
    stub_dir = tmp_path / "dé j"
    stub_dir.mkdir()
    stub = stub_dir / "stub"
    stub.write_bytes(open(need("STUB"), "rb").read())
    stub.chmod(0o755)
    fixed = len(f'#!"{stub}" -E'.encode())
    padded = str(stub_dir) + "/." * ((READ_LIMIT - fixed) // 2) + "/stub"
    option = "-E" + "x" * ((READ_LIMIT - fixed) % 2)
    make_launcher("tool", str(tmp_path), entry_point="m:f", arch="x64",
                  interpreter=padded, options=[option])
    line = (tmp_path / "tool-script.py").read_bytes().split(b"\n")[0]
    assert len(line) == READ_LIMIT
    launcher = tmp_path / "tool.exe"
    launcher.write_bytes(open(need("LAUNCHER"), "rb").read())
    launcher.chmod(0o755)
    out = tmp_path / "argv"
    subprocess.run([str(launcher), "a b"], env={"STUB_OUT": str(out)}, check=True)
    assert out.read_bytes().split(b"\0")[:-1] == [
        padded.encode(), option.encode(), str(tmp_path / "tool-script.py").encode(), b"a b"]
