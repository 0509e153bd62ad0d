"""Putting a launcher in place: a running program is moved aside, and the
leftovers go once they no longer run."""

import glob
import os

import pytest

from launcher_maker import make_launcher
from launcher_maker import files


def leftovers(folder):
    return glob.glob(os.path.join(folder, ".launcher-maker-*"))


def old_program(folder):
    """A launcher made in ``folder`` whose program is marked as the old one."""
    exe = os.path.join(folder, "tool.exe")
    make_launcher("tool", folder, entry_point="old.cli:main", arch="x64")
    with open(exe, "wb") as f:
        f.write(b"old program")
    return exe


def test_running_program_is_moved_aside_and_removed_later(tmp_path, monkeypatch):
    folder = str(tmp_path)
    exe = old_program(folder)
    real_replace, real_remove = os.replace, os.remove

    def refuse_running(src, dst):
        # What Windows does to a running program: it may be renamed, not replaced.
        if dst == exe and os.path.exists(exe) and os.path.basename(src).endswith(".tmp"):
            raise PermissionError(13, "in use", dst)
        real_replace(src, dst)

    monkeypatch.setattr(files.os, "replace", refuse_running)
    written = make_launcher("tool", folder, entry_point="new.cli:main", arch="x64")
    assert [w.path for w in written] == [os.path.join(folder, "tool-script.py"), exe]
    (aside,) = leftovers(folder)
    assert open(aside, "rb").read() == b"old program"
    assert open(exe, "rb").read() != b"old program"
    assert "new.cli" in open(os.path.join(folder, "tool-script.py")).read()

    # Still running: the next make leaves it; once it has ended, it goes.
    monkeypatch.setattr(files.os, "remove", lambda p: (_ for _ in ()).throw(PermissionError(p)))
    make_launcher("other", folder, entry_point="m:f", arch="x64")
    assert leftovers(folder) == [aside]
    monkeypatch.setattr(files.os, "remove", real_remove)
    make_launcher("other", folder, entry_point="m:f", arch="x64")
    assert leftovers(folder) == []


def test_failed_write_leaves_no_temporary_file(tmp_path, monkeypatch):
    folder = str(tmp_path)
    make_launcher("tool", folder, entry_point="m:f", arch="x64")
    before = {n: open(os.path.join(folder, n), "rb").read() for n in os.listdir(folder)}
    monkeypatch.setattr(files.os, "replace", lambda s, d: (_ for _ in ()).throw(OSError(28, "full")))
    try:
        make_launcher("tool", folder, entry_point="other:g", arch="x64")
    except OSError:
        pass
    after = {n: open(os.path.join(folder, n), "rb").read() for n in os.listdir(folder)}
    assert after == before


def test_replace_that_fails_after_the_move_aside_puts_the_old_program_back(tmp_path, monkeypatch):
    folder = str(tmp_path)
    exe = old_program(folder)
    real_replace = os.replace

    def running_then_full(src, dst):
        # Running: the old program cannot be replaced; then the disk fills
        # before the new one is in.
        if dst == exe and os.path.basename(src).endswith(".tmp"):
            raise (OSError(28, "full") if not os.path.exists(exe) else PermissionError(13, "in use"))
        real_replace(src, dst)

    monkeypatch.setattr(files.os, "replace", running_then_full)
    with pytest.raises(OSError, match="full"):
        make_launcher("tool", folder, entry_point="new.cli:main", arch="x64")
    assert open(exe, "rb").read() == b"old program"
    assert leftovers(folder) == []
