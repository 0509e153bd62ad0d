"""Input the maker refuses: a clear error naming the value, nothing written."""

import os

import pytest

from launcher_maker import LauncherError, make_launcher
from launcher_maker.cli import main

LONG = "C:\\" + "p" * 246 + "\\python.exe"  # a 258-byte line: the launcher would cut it


@pytest.mark.parametrize("name, kwargs, message", [
    ("a/b", {}, "not allowed in a Windows file name"),
    ("a<b", {}, "not allowed in a Windows file name"),
    ("tab\t", {}, "not allowed in a Windows file name"),
    ("tool.", {}, "ends in a dot or a blank"),
    ("tool ", {}, "ends in a dot or a blank"),
    ("CON", {}, "reserved device name"),
    ("nul.txt", {}, "reserved device name"),
    ("Com1", {}, "reserved device name"),
    ("conout$", {}, "reserved device name"),
    ("tool.exe", {}, "without .exe"),
    ("", {}, "empty"),
    ("python", {}, "would find itself"),
    ("pythonw", dict(gui=True), "would find itself"),
    ("python", dict(interpreter="<launcher_dir>\\python.exe"), "overwrite its own interpreter"),
    ("tool", dict(entry_point="tool-cli:main"), "not MODULE:ATTR"),
    ("tool", dict(entry_point="tool.cli"), "not MODULE:ATTR"),
    ("tool", dict(entry_point="tool.cli:main.1x"), "not MODULE:ATTR"),
    ("tool", dict(entry_point="tool.class:main"), "not MODULE:ATTR"),
    ("tool", dict(script="x"), "not both or neither"),
    ("tool", dict(interpreter="python3"), "not an absolute path"),
    ("tool", dict(interpreter=LONG), "the launcher reads only the first 256"),
    ("tool", dict(interpreter="<launcher_dir>\\" + "d\\" * 110 + "python.exe"),
     "the launcher takes at most 259"),
    ("tool", dict(interpreter="C:\\Py\npython.exe"), "NUL, CR or LF"),
    ("tool", dict(interpreter="C:\\Py\\python.exe", options=["-\udc80"]), "in UTF-8"),
    ("tool", dict(interpreter="D:\\Py\\python.exe", relative=True), "different drives"),
    ("tool", dict(interpreter=None, relative=True), "needs the interpreter's path"),
    ("tool", dict(arch="sparc"), "not one of auto"),
])
def test_refused_and_nothing_written(tmp_path, name, kwargs, message):
    kwargs = {"entry_point": "tool.cli:main", "arch": "x64", **kwargs}
    with pytest.raises(LauncherError, match=message):
        make_launcher(name, str(tmp_path), **kwargs)
    assert os.listdir(tmp_path) == []


def _line(folder, size):
    """An interpreter line of ``size`` bytes."""
    return dict(interpreter="C:\\" + "p" * (size - len("#!C:\\\\python.exe")) + "\\python.exe")


def _interpreter_path(folder, size):
    """A <launcher_dir> path that resolves to ``size`` bytes."""
    filler = "d" * (size - len(folder) - len("\\\\python.exe"))
    return dict(interpreter=f"<launcher_dir>\\{filler}\\python.exe")


def _script_path(folder, size):
    """A name whose script path is ``size`` bytes."""
    return dict(name="n" * (size - len(folder) - len("/-script.py")))


def _program_path(folder, size):
    """A single file whose own path, the script's, is ``size`` bytes."""
    return dict(name="n" * (size - len(folder) - len("/.exe")), single_file=True)


@pytest.mark.parametrize("build, limit, message", [
    (_line, 256, "the launcher reads only the first 256"),
    (_interpreter_path, 259, "the launcher takes at most 259"),
    (_script_path, 255, "longer than the 255 bytes"),
    (_program_path, 255, "longer than the 255 bytes"),
])
@pytest.mark.parametrize("over", [0, 1], ids=["at", "over"])
def test_limit_holds_at_its_boundary(tmp_path, build, limit, message, over):
    kwargs = {"name": "tool", "entry_point": "tool.cli:main", "arch": "x64",
              **build(str(tmp_path), limit + over)}
    name = kwargs.pop("name")
    if not over:
        make_launcher(name, str(tmp_path), **kwargs)
        return
    with pytest.raises(LauncherError, match=message):
        make_launcher(name, str(tmp_path), **kwargs)
    assert os.listdir(tmp_path) == []


def test_command_line_reports_one_line_and_status_2(tmp_path, capsys):
    good, bad = "ok=tool.cli:main", "CON=tool.cli:main"
    assert main(["make", good, bad, "--dest", str(tmp_path), "--arch", "x64"]) == 2
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and "'CON'" in err
    assert os.listdir(tmp_path) == []  # the good one is not written either


def test_entry_points_elsewhere_than_windows_needs_both(capsys):
    if os.name == "nt":
        pytest.skip("defaults exist on Windows")
    assert main(["entry-points", "pip", "--arch", "x64"]) == 2
    assert "needs --interpreter and --dest" in capsys.readouterr().err
