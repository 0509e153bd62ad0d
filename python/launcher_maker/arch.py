"""Which of the launcher's architectures a launcher is made for."""

from __future__ import annotations

import os
import struct
import sys
from typing import Optional

from launcher_maker.errors import LauncherError

ARCHITECTURES = ("x86", "x64", "arm64")
# The machine field of a PE file's header.
_MACHINES = {0x014C: "x86", 0x8664: "x64", 0xAA64: "arm64"}


def program_machine(path: str) -> str:
    """The architecture of the Windows program at ``path``, read from its
    PE header; LauncherError when it is not one of ours."""
    try:
        with open(path, "rb") as f:
            head = f.read(64)
            pe_offset = struct.unpack_from("<I", head, 0x3C)[0] if len(head) == 64 else 0
            f.seek(pe_offset)
            signature = f.read(6)
    except OSError as e:
        raise LauncherError(f"interpreter {path!r} cannot be read ({e.strerror}): "
                            "give the architecture (--arch)") from None
    if head[:2] != b"MZ" or len(signature) < 6 or signature[:4] != b"PE\0\0":
        raise LauncherError(f"interpreter {path!r} is not a Windows program: "
                            "give the architecture (--arch)")
    machine = struct.unpack_from("<H", signature, 4)[0]
    if machine not in _MACHINES:
        raise LauncherError(f"interpreter {path!r} is a Windows program for machine "
                            f"{machine:#06x}, which has no launcher: give the architecture (--arch)")
    return _MACHINES[machine]


def windows_machine() -> Optional[str]:
    """The architecture of the Windows machine this runs on (the machine's
    own, not the one an emulated Python reports); None elsewhere."""
    if sys.platform != "win32":
        return None
    import ctypes

    kernel32 = ctypes.windll.kernel32
    process, native = ctypes.c_ushort(0), ctypes.c_ushort(0)
    wow64_process2 = getattr(kernel32, "IsWow64Process2", None)
    current = ctypes.c_void_p(-1)  # the current process's pseudo handle, pointer-wide
    if wow64_process2 and wow64_process2(current, ctypes.byref(process), ctypes.byref(native)):
        return _MACHINES.get(native.value)
    # Before Windows 10 1709: the variable that WOW64 sets for a 32-bit process.
    name = os.environ.get("PROCESSOR_ARCHITEW6432") or os.environ.get("PROCESSOR_ARCHITECTURE") or ""
    return {"X86": "x86", "AMD64": "x64", "ARM64": "arm64"}.get(name.upper())


def choose_architecture(arch: str, interpreter: Optional[str]) -> str:
    """``arch`` itself, or for ``auto``: the interpreter's own when it is a
    file here, else the Windows machine's."""
    if arch in ARCHITECTURES:
        return arch
    if arch != "auto":
        raise LauncherError(f"architecture {arch!r} is not one of auto, {', '.join(ARCHITECTURES)}")
    if interpreter is not None and os.path.isfile(interpreter):
        return program_machine(interpreter)
    machine = windows_machine()
    if machine is None:
        raise LauncherError("no interpreter here to read the architecture from, and this is not "
                            "Windows: give the architecture (--arch x86, x64 or arm64)")
    return machine
