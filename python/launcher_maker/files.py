"""Putting files in place whole: written under a temporary name in the
target folder and moved over the old file in one step."""

from __future__ import annotations

import base64
import hashlib
import os
import sys
import tempfile
from typing import NamedTuple

# Temporary files and programs moved aside while running carry this prefix
# (a leading dot: hidden on POSIX; Windows gets the hidden attribute).
_PREFIX = ".launcher-maker-"
_ASIDE = ".old"


class WrittenFile(NamedTuple):
    """A file the maker wrote, as RECORD lists it."""

    path: str
    hash: str  # "sha256=" and the digest in URL-safe base64 without padding
    size: int


def record_of(path: str, data: bytes) -> WrittenFile:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
    return WrittenFile(path, "sha256=" + digest.decode("ascii"), len(data))


def _hide(path: str) -> None:
    if sys.platform == "win32":
        import ctypes

        ctypes.windll.kernel32.SetFileAttributesW(path, 0x2)  # FILE_ATTRIBUTE_HIDDEN


def remove_leftovers(folder: str) -> None:
    """Removes the programs an earlier make moved aside, those that are no
    longer running (Windows refuses to delete a running one)."""
    try:
        names = os.listdir(folder)
    except OSError:
        return
    for name in names:
        if name.startswith(_PREFIX) and name.endswith(_ASIDE):
            try:
                os.remove(os.path.join(folder, name))
            except OSError:
                pass  # still running: a later make removes it


def put_file(path: str, data: bytes, mode: int) -> None:
    """Writes ``data`` to ``path`` whole or not at all. A program that
    Windows will not replace because it is running is moved aside first."""
    folder = os.path.dirname(path)
    fd, temporary = tempfile.mkstemp(prefix=_PREFIX, suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(temporary, mode)
        try:
            os.replace(temporary, path)
        except PermissionError:
            # A running program cannot be replaced, but it can be renamed.
            aside = os.path.join(folder, _PREFIX + os.urandom(8).hex() + _ASIDE)
            os.replace(path, aside)
            _hide(aside)
            try:
                os.replace(temporary, path)
            except OSError:
                os.replace(aside, path)
                raise
    except BaseException:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise
