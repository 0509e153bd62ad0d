"""Launcher names (Windows file names) and entry points."""

from __future__ import annotations

import keyword
from typing import NamedTuple

from launcher_maker.errors import LauncherError

# Windows refuses these in a file name; control characters too.
_FORBIDDEN = set('<>:"/\\|?*')
# Device names, reserved whatever extension follows ("nul.txt" is NUL).
_DEVICES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | {
    f"{port}{digit}" for port in ("COM", "LPT") for digit in "123456789\u00b9\u00b2\u00b3"
}
# The longest name whose "-script.pyw" still fits one 255-character component.
_LONGEST_NAME = 255 - len("-script.pyw")


def check_name(name: str) -> None:
    """Raises LauncherError unless ``name`` + ".exe" and its script's name
    are valid Windows file names."""
    if not name:
        raise LauncherError("launcher name is empty")
    bad = sorted({c for c in name if c in _FORBIDDEN or ord(c) < 32})
    if bad:
        raise LauncherError(f"launcher name {name!r} holds {''.join(bad)!r}: "
                            'not allowed in a Windows file name (<>:"/\\|?* and control characters)')
    if name[-1] in ". ":
        raise LauncherError(f"launcher name {name!r} ends in a dot or a blank, "
                            "which Windows drops from file names")
    if name.split(".")[0].rstrip(" ").upper() in _DEVICES:
        raise LauncherError(f"launcher name {name!r} is a reserved device name on Windows")
    if name.lower().endswith(".exe"):
        raise LauncherError(f"launcher name {name!r}: give it without .exe")
    if len(name) > _LONGEST_NAME:
        raise LauncherError(f"launcher name {name!r} is longer than {_LONGEST_NAME} characters")


class EntryPoint(NamedTuple):
    """``module:attr`` (``attr`` may be dotted: ``obj.attr``)."""

    module: str
    attr: str


def _is_dotted_identifier(text: str) -> bool:
    return all(part.isidentifier() and not keyword.iskeyword(part) for part in text.split("."))


def parse_entry_point(text: str) -> EntryPoint:
    """``package.module:obj.attr``, blanks around the parts and extras in
    brackets accepted (the extras are ignored)."""
    reference = text.split("[", 1)[0] if text.rstrip().endswith("]") else text
    module, colon, attr = reference.partition(":")
    module, attr = module.strip(), attr.strip()
    if not colon or not _is_dotted_identifier(module) or not _is_dotted_identifier(attr):
        raise LauncherError(f"entry point {text!r} is not MODULE:ATTR "
                            "(each a dotted Python identifier, extras in brackets allowed)")
    return EntryPoint(module, attr)
