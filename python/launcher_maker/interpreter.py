"""The interpreter line: which interpreter the launcher starts, written so
that the launcher reads back exactly that path and its options."""

from __future__ import annotations

import ntpath
import os
from typing import Optional, Sequence

from launcher_maker.codec import PATH_LIMIT, READ_LIMIT, check_carried, quote_token
from launcher_maker.errors import LauncherError

LAUNCHER_DIR = "<launcher_dir>"


def is_absolute(path: str) -> bool:
    """As the launcher decides, on the bytes it reads: a drive, or a
    leading separator (UNC too)."""
    return path.encode("utf-8", "replace")[1:2] == b":" or path[:1] in ("\\", "/")


def launcher_dir_rest(token: str) -> Optional[str]:
    """What follows ``<launcher_dir>`` and a separator (in any case), or None."""
    head = len(LAUNCHER_DIR)
    if token[:head].lower() == LAUNCHER_DIR and token[head:head + 1] in ("\\", "/"):
        return token[head + 1:]
    return None


def relative_path(path: str, folder: str) -> str:
    """``path`` from ``folder``, with ``..`` where needed; both absolute."""
    path_drive, path_rest = ntpath.splitdrive(ntpath.normpath(path))
    folder_drive, folder_rest = ntpath.splitdrive(ntpath.normpath(folder))
    # Windows compares names without regard to case; a POSIX host does not.
    fold = bool(path_drive) or os.name == "nt"
    if path_drive.lower() != folder_drive.lower():
        raise LauncherError(f"interpreter {path!r} and folder {folder!r} lie on different drives: "
                            "no relative path joins them")
    parts = [p for p in path_rest.split("\\") if p]
    base = [p for p in folder_rest.split("\\") if p]
    common = 0
    while (common < min(len(parts), len(base))
           and (parts[common].lower() == base[common].lower() if fold
                else parts[common] == base[common])):
        common += 1
    rest = [".."] * (len(base) - common) + parts[common:]
    if not rest or rest[-1] == "..":
        raise LauncherError(f"interpreter {path!r} names a folder, not a program")
    return "\\".join(rest)


def choose_token(interpreter: Optional[str], *, relative: bool, folder: str, gui: bool) -> str:
    """The interpreter token to write, unquoted: ``python.exe`` for the
    machine's Python, an absolute path, or a ``<launcher_dir>`` path.
    ``folder`` is the launcher's folder, absolute. A windowless launcher
    gets ``pythonw.exe`` in place of ``python.exe``."""
    if interpreter is None:
        if relative:
            raise LauncherError("a relative interpreter needs the interpreter's path")
        token = "python.exe"
    elif launcher_dir_rest(interpreter) is not None:
        token = interpreter
    elif not is_absolute(interpreter):
        raise LauncherError(f"interpreter {interpreter!r} is not an absolute path "
                            f"(a drive or a leading separator) nor a {LAUNCHER_DIR}\\ path")
    elif relative:
        token = f"{LAUNCHER_DIR}\\{relative_path(interpreter, folder)}"
    else:
        token = interpreter
    if gui and ntpath.basename(token).lower() == "python.exe":
        token = token[:-len("python.exe")] + "pythonw.exe"
    return token


def resolved_path(token: str, folder: str) -> Optional[str]:
    """The path the launcher in ``folder`` makes of ``token``, plain; None
    for the machine's Python (found on the machine itself)."""
    rest = launcher_dir_rest(token)
    if rest is not None:
        return ntpath.normpath(ntpath.join(folder, rest))
    return token if is_absolute(token) else None


def interpreter_line(token: str, options: Sequence[str], folder: str) -> str:
    """``#!`` and the quoted token and options, checked against the
    launcher's limits: the line within its read, the path within its path
    buffer, every character one that its line can carry."""
    check_carried("interpreter", token)
    for option in options:
        check_carried("interpreter option", option)
    line = "#!" + " ".join(quote_token(t) for t in [token, *options])
    size = len(line.encode("utf-8"))
    if size > READ_LIMIT:
        raise LauncherError(f"interpreter line {line!r} is {size} bytes; the launcher reads "
                            f"only the first {READ_LIMIT}")
    path = resolved_path(token, folder)
    if path is not None and len(path.encode("utf-8")) >= PATH_LIMIT:
        raise LauncherError(f"interpreter path {path!r} is {len(path.encode('utf-8'))} bytes; "
                            f"the launcher takes at most {PATH_LIMIT - 1}")
    return line
