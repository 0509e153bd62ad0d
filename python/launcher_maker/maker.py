"""Making launchers: the program for the architecture and its companion
script, checked whole before anything is written."""

from __future__ import annotations

import ntpath
import os
from dataclasses import dataclass
from typing import Iterable, List, NamedTuple, Optional, Sequence

from launcher_maker import arch as arches
from launcher_maker.errors import LauncherError
from launcher_maker.files import WrittenFile, put_file, record_of, remove_leftovers
from launcher_maker.interpreter import (choose_token, interpreter_line, is_absolute,
                                        resolved_path)
from launcher_maker.names import check_name, parse_entry_point
from launcher_maker.programs import program_bytes
from launcher_maker.scripts import entry_point_script, replace_interpreter_line, script_suffix
from launcher_maker.single_file import single_file as single_file_bytes

# The launcher's buffer for its own path, and so for its script's path
# (in the single-file form, the program is the script).
_SCRIPT_PATH_LIMIT = 255

__all__ = ["Launcher", "PlannedFile", "WrittenFile", "make_launcher", "make_launchers",
           "plan_launchers"]


@dataclass(frozen=True)
class Launcher:
    """One launcher: its name (``tool`` for ``tool.exe``), and either an
    entry point (``package.module:obj.attr``) or the text of a script."""

    name: str
    entry_point: Optional[str] = None
    script: Optional[str] = None
    gui: bool = False


class PlannedFile(NamedTuple):
    """A file of a launcher, checked and ready to be written."""

    path: str
    data: bytes
    mode: int


def _plan(launcher: Launcher, folder: str, interpreter: Optional[str], relative: bool,
          options: Sequence[str], arch: str, single_file: bool) -> List[PlannedFile]:
    if (launcher.entry_point is None) == (launcher.script is None):
        raise LauncherError(f"launcher {launcher.name!r} needs an entry point or a script, "
                            "not both or neither")
    token = choose_token(interpreter, relative=relative, folder=folder, gui=launcher.gui)
    line = interpreter_line(token, options, folder)
    program = os.path.join(folder, launcher.name + ".exe")
    target = resolved_path(token, folder)
    if target is None and launcher.name.lower() + ".exe" == token.lower():
        raise LauncherError(f"launcher name {launcher.name!r} with the machine's Python: the "
                            "launcher would find itself first and start itself")
    if target is not None and ntpath.normcase(ntpath.normpath(target)) == ntpath.normcase(program):
        raise LauncherError(f"launcher {program!r} would overwrite its own interpreter")
    script_path = program if single_file else os.path.join(
        folder, launcher.name + script_suffix(launcher.gui))
    if len(script_path.encode("utf-8", "replace")) > _SCRIPT_PATH_LIMIT:
        raise LauncherError(f"{'program' if single_file else 'script'} path {script_path!r} is "
                            f"longer than the {_SCRIPT_PATH_LIMIT} bytes the launcher can open")
    if launcher.entry_point is not None:
        text = entry_point_script(line, parse_entry_point(launcher.entry_point), launcher.gui,
                                  single_file)
    elif single_file:
        text = launcher.script or ""  # Python reads no interpreter line in the archive
    else:
        text = replace_interpreter_line(line, launcher.script or "")
    try:
        data = text.encode("utf-8")
    except UnicodeEncodeError:
        raise LauncherError(f"script of {launcher.name!r} cannot be written in UTF-8") from None
    if single_file:
        return [PlannedFile(program, single_file_bytes(program_bytes(arch, launcher.gui), line,
                                                       data), 0o755)]
    # The script first, the program last: a program is never without its script.
    return [PlannedFile(script_path, data, 0o644),
            PlannedFile(program, program_bytes(arch, launcher.gui), 0o755)]


def plan_launchers(launchers: Iterable[Launcher], folder: str, *,
                   interpreter: Optional[str] = None, relative: bool = False,
                   options: Sequence[str] = (), arch: str = "auto",
                   single_file: bool = False) -> List[PlannedFile]:
    """The files of each launcher in ``folder``, in the order to write them
    (a launcher's script before its program; the program alone with
    ``single_file``), checked as make_launchers checks them; nothing is
    written."""
    folder = os.path.abspath(folder)
    launchers = list(launchers)
    for launcher in launchers:
        check_name(launcher.name)
    names = [launcher.name.lower() for launcher in launchers]
    twice = sorted({name for name in names if names.count(name) > 1})
    if twice:
        raise LauncherError(f"launcher names {twice} are given more than once")
    probe = interpreter
    if interpreter is not None and not is_absolute(interpreter):
        probe = resolved_path(interpreter, folder)
    chosen = arches.choose_architecture(arch, probe) if launchers else arch
    return [p for launcher in launchers
            for p in _plan(launcher, folder, interpreter, relative, options, chosen, single_file)]


def make_launchers(launchers: Iterable[Launcher], folder: str, *,
                   interpreter: Optional[str] = None, relative: bool = False,
                   options: Sequence[str] = (), arch: str = "auto",
                   single_file: bool = False, dry_run: bool = False) -> List[WrittenFile]:
    """Makes each launcher in ``folder`` (created when missing) and returns
    the files written, as RECORD lists them.

    Each launcher is ``NAME.exe`` beside its companion script, the
    program byte for byte as released; with ``single_file``, one
    ``NAME.exe`` that holds the program, the interpreter line and a zip
    archive of the script as ``__main__.py``.

    ``interpreter``: an absolute path, written as it stands (``relative``:
    written as a ``<launcher_dir>\\`` path from ``folder``), a
    ``<launcher_dir>\\`` path, or None for the machine's Python. ``options``
    follow it on the interpreter line. ``arch``: ``x86``, ``x64``,
    ``arm64`` or ``auto`` (the interpreter's own, else this Windows
    machine's). Raises LauncherError, having written nothing, when any
    input breaks a rule; ``dry_run`` checks and writes nothing.
    """
    planned = plan_launchers(launchers, folder, interpreter=interpreter, relative=relative,
                             options=options, arch=arch, single_file=single_file)
    if not dry_run and planned:
        folder = os.path.abspath(folder)
        os.makedirs(folder, exist_ok=True)
        remove_leftovers(folder)
        for path, data, mode in planned:
            put_file(path, data, mode)
    return [record_of(path, data) for path, data, _ in planned]


def make_launcher(name: str, folder: str, *, entry_point: Optional[str] = None,
                  script: Optional[str] = None, gui: bool = False,
                  interpreter: Optional[str] = None, relative: bool = False,
                  options: Sequence[str] = (), arch: str = "auto",
                  single_file: bool = False, dry_run: bool = False) -> List[WrittenFile]:
    """Makes one launcher; see make_launchers."""
    return make_launchers([Launcher(name, entry_point, script, gui)], folder,
                          interpreter=interpreter, relative=relative, options=options,
                          arch=arch, single_file=single_file, dry_run=dry_run)
