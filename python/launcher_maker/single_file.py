"""The single-file form: the program, its interpreter line and a zip
archive holding ``__main__.py``, the layout every installer writes."""

from __future__ import annotations

import io
import zipfile

# Fixed, so that the same launcher is the same bytes on any machine.
_DATE = (1980, 1, 1, 0, 0, 0)
_LINE_END = b"\n"


def main_archive(code: bytes) -> bytes:
    """A zip archive holding ``code`` as ``__main__.py``, stored (no zlib),
    with a fixed date and the attributes of no particular system."""
    member = zipfile.ZipInfo("__main__.py", _DATE)
    member.create_system = 0  # else the writing machine's own
    member.external_attr = 0
    member.compress_type = zipfile.ZIP_STORED
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr(member, code)
    return archive.getvalue()


def single_file(program: bytes, line: str, code: bytes) -> bytes:
    """``program``, then ``line`` and its end, then the archive: the
    launcher finds the archive at its own end and reads the line just
    before it; Python runs the archive's ``__main__.py``."""
    return program + line.encode("utf-8") + _LINE_END + main_archive(code)
