"""Running the Windows launcher under 64-bit Wine: prefix, registry, files."""
import contextlib
import os
import pty
import re
import select
import shutil
import subprocess
import tempfile
import time
import unittest

from emulated import read_stub_record, write_single_file

WINE = "/usr/lib/wine/wine64"
LAUNCHER = os.environ.get("LAUNCHER", "")
LAUNCHERW = os.environ.get("LAUNCHERW", "")
STUB = os.environ.get("STUB", "")
RUNNER = os.environ.get("RUNNER", "")
BASE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
    "LANG": "C.UTF-8",  # a Western ANSI code page (1252) for programs without a manifest
}


def wine_env(extra=None):
    # No display: a message box then returns at once instead of waiting
    # for a click that would never come.
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("STUB_", "RUNNER_"))
           and k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(BASE_ENV)
    env.update(extra or {})
    return env


def winpath(path):
    """The name a Windows program under Wine sees for a unix path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, env=None, cwd=None, timeout=120, loader=WINE):
    """Runs a Windows program. Output goes through files, not pipes: a wine
    server started on the way would hold a pipe open, and the capture would
    never end."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run([loader, *args], env=wine_env(env), cwd=cwd, timeout=timeout,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=err, check=False)
        out.seek(0)
        err.seek(0)
        result.stdout, result.stderr = out.read(), err.read()
    return result


def on_a_terminal(args, env=None, timeout=60):
    """Runs a Windows program on a pseudo-terminal, where Wine gives it a
    console; returns its status and what the terminal showed, without the
    cursor moves that Wine puts between words."""
    main, other = pty.openpty()
    with subprocess.Popen(args, stdin=other, stdout=other, stderr=other, env=wine_env(env),
                          start_new_session=True) as process:
        os.close(other)
        shown = b""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ready, _, _ = select.select([main], [], [], 0.2)
            try:
                chunk = os.read(main, 65536) if ready else b""
            except OSError:  # the terminal closed
                break
            shown += chunk
            if not chunk and process.poll() is not None:
                break
        status = process.wait(timeout=max(deadline - time.monotonic(), 1))
    os.close(main)
    text = re.sub(r"\x1b(\[[0-9;?]*[A-Za-z]|\][^\x07]*\x07)", " ", shown.decode(errors="replace"))
    return status, text.replace("\r", "")


# The manifest that asks for UTF-8 (and only that), no longer than ours.
UTF8_MANIFEST = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                 b'<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
                 b'<application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings>'
                 b'<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">'
                 b'UTF-8</activeCodePage></windowsSettings></application></assembly>')


def utf8_copy(program, target):
    """A copy of `program` whose manifest asks for the UTF-8 code page, as
    Windows 10 1903 and later grant it: ours replaced in place, padded with
    blanks to its length."""
    with open(program, "rb") as f:
        data = f.read()
    start, end = data.index(b"<?xml"), data.index(b"</assembly>") + len(b"</assembly>")
    assert len(UTF8_MANIFEST) <= end - start, "the UTF-8 manifest no longer fits in place"
    with open(target, "wb") as f:
        f.write(data[:start] + UTF8_MANIFEST.ljust(end - start) + data[end:])
    return target


VIEWS = {64: "/reg:64", 32: "/reg:32"}
CORE = "HKLM\\SOFTWARE\\Python\\PythonCore"
USER = "user"  # the current user's hive (one view)
USER_CORE = "HKCU\\Software\\Python\\PythonCore"


def clear_registry():
    for flag in VIEWS.values():
        wine("reg", "delete", "HKLM\\SOFTWARE\\Python", "/f", flag)
    wine("reg", "delete", "HKCU\\Software\\Python", "/f")


def add_version(view, version, install_dir=None):
    key = f"{USER_CORE if view == USER else CORE}\\{version}"
    flags = [] if view == USER else [VIEWS[view]]
    if install_dir is None:
        result = wine("reg", "add", key, "/f", *flags)
    else:
        result = wine("reg", "add", key + "\\InstallPath", "/ve", "/d", install_dir, "/f", *flags)
    # An install on C: gets its programs, empty (starting one fails), where its folder can be.
    if (install_dir or "").startswith("C:\\"):
        folder = os.path.join(os.environ["WINEPREFIX"], "drive_c", *install_dir[3:].split("\\"))
        with contextlib.suppress(OSError):
            os.makedirs(folder, exist_ok=True)
            for program in ("python.exe", "pythonw.exe"):
                open(os.path.join(folder, program), "wb").close()
    assert result.returncode == 0, result


class Outcome:
    def __init__(self, status, err, out):
        self.status, self.err, self.out = status, err, out


class Box:
    """A scratch directory with launcher copies, scripts and stub copies."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="wine-launcher-")

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def install(self, relative, script_text, launcher=LAUNCHER, suffix="-script.py"):
        target = self.path(relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(launcher, target)
        if script_text is not None:
            with open(target[:-len(".exe")] + suffix, "wb") as f:
                f.write(script_text.encode() if isinstance(script_text, str) else script_text)
        return target

    def install_single(self, relative, line, launcher=LAUNCHER):
        """A copy of `launcher` in the single-file form, with `line`."""
        target = self.path(relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        write_single_file(launcher, line, target)
        return target

    def copy_stub(self, relative):
        target = self.path(relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(STUB, target)
        return target

    def run(self, command_line, env=None, cwd=None):
        """Starts `command_line` (str, lone surrogates allowed, or UTF-8
        bytes) through the runner."""
        if isinstance(command_line, bytes):
            command_line = command_line.decode("utf-8", "surrogatepass")
        cmd_file = self.path("command-line")
        with open(cmd_file, "wb") as f:
            f.write(command_line.encode("utf-16-le", "surrogatepass"))
        result = wine(RUNNER, winpath(cmd_file), env=env, cwd=cwd or self.root)
        out = result.stdout.decode(errors="replace")
        status = None
        for line in out.splitlines():
            if line.startswith("status="):
                status = int(line[len("status="):], 16)
        assert status is not None, (out, result.stderr)
        return Outcome(status, result.stderr, out)

    def recorded(self, name="out"):
        """What the stub wrote: its command line, its argv, and its ANSI
        code page, as WTF-8 bytes (a lone surrogate as its three bytes)."""
        return read_stub_record(self.path(name))


class WineCase(unittest.TestCase):
    def setUp(self):
        self.box = Box()
        self.addCleanup(self.box.close)
        self.out = self.box.path("out")

    def stub_env(self, **extra):
        env = {"STUB_OUT": winpath(self.out)}
        env.update({k: str(v) for k, v in extra.items()})
        return env
