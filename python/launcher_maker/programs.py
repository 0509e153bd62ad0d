"""The six launcher programs that the package carries, byte for byte as
the release built them."""

from __future__ import annotations

from importlib import resources

from launcher_maker.errors import LauncherError


def program_name(arch: str, gui: bool) -> str:
    """The file name of a program in the release: ``launcherw-arm64.exe``."""
    return f"launcher{'w' if gui else ''}-{arch}.exe"


def program_bytes(arch: str, gui: bool) -> bytes:
    """The program for ``arch``, console or windowless."""
    name = program_name(arch, gui)
    try:
        return resources.files("launcher_maker").joinpath("programs").joinpath(name).read_bytes()
    except (OSError, KeyError):  # a missing member of a zip import is a KeyError
        raise LauncherError(f"this copy of launcher_maker carries no {name}: "
                            "install it from its wheel") from None
