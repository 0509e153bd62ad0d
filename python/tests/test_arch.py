"""Which program a launcher gets: read from the interpreter's PE header."""

import struct
import zipfile

import pytest
from conftest import WHEEL

from launcher_maker import LauncherError, make_launcher
from launcher_maker.arch import program_machine


def pe(machine):
    head = bytearray(64)
    head[:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 64)
    return bytes(head) + b"PE\0\0" + struct.pack("<H", machine) + bytes(18)


@pytest.mark.parametrize("data, message", [
    (b"\x7fELF\x02\x01\x01" + bytes(100), "not a Windows program"),
    (b"MZ", "not a Windows program"),
    (pe(0x014C)[:66], "not a Windows program"),
    (pe(0x01C4), "machine 0x01c4"),
])
def test_files_that_are_not_our_programs_ask_for_arch(tmp_path, data, message):
    path = tmp_path / "python.exe"
    path.write_bytes(data)
    with pytest.raises(LauncherError, match=message + ".*--arch"):
        program_machine(str(path))


def test_six_programs_and_auto(tmp_path):
    if not WHEEL:
        pytest.skip("LAUNCHER_WHEEL is not set: no Windows programs in this build")
    with zipfile.ZipFile(WHEEL) as wheel:
        for arch in ("x86", "x64", "arm64"):
            for w in ("", "w"):
                path = tmp_path / f"launcher{w}-{arch}.exe"
                path.write_bytes(wheel.read(f"launcher_maker/programs/{path.name}"))
                assert program_machine(str(path)) == arch
    # auto: the launcher for an interpreter is of the interpreter's machine.
    interpreter = tmp_path / "launcher-arm64.exe"
    make_launcher("tool", str(tmp_path / "out"), entry_point="m:f", interpreter=str(interpreter))
    assert (tmp_path / "out" / "tool.exe").read_bytes() == interpreter.read_bytes()
