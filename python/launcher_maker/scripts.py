"""The companion scripts: code that runs an entry point, or an existing
script with its interpreter line put right."""

from __future__ import annotations

import re

from launcher_maker.names import EntryPoint

# A first line that names a Python: "#!/usr/bin/env python3",
# "#!/usr/bin/python3.12 -u", "#!python", "#! pythonw.exe" and the like.
_PYTHON_LINE = re.compile(
    r"#!\s*(?:\S*[/\\])?(?:env\s+(?:-\S+\s+)*(?:\S*[/\\])?)?pythonw?[0-9.]*(?:\.exe)?(?:\s.*)?",
    re.IGNORECASE)


def script_suffix(gui: bool) -> str:
    """What the launcher puts in place of its own extension."""
    return "-script.pyw" if gui else "-script.py"


def entry_point_script(line: str, entry: EntryPoint, gui: bool, single_file: bool = False) -> str:
    """The least code that runs ``entry`` as the launcher's program.

    The script is started as ``DIR\\NAME-script.py`` (``DIR\\NAME.exe`` in
    the single-file form); ``sys.argv[0]`` becomes ``DIR\\NAME``, which
    starts the launcher again (Windows adds ``.exe``) and which argparse
    shows as ``NAME``. The guard keeps a multiprocessing child, which
    imports this file under another name, from running the entry point
    again. ``raise SystemExit`` rather than ``sys.exit``: the entry point's
    own name may be ``sys``. The system may give the program's extension in
    capitals (``TOOL.EXE``).
    """
    suffix = ".exe" if single_file else script_suffix(gui)
    ending = "sys.argv[0].lower()" if single_file else "sys.argv[0]"
    head = entry.attr.split(".")[0]
    return (f"{line}\n"
            "import sys\n"
            "if __name__ == \"__main__\":\n"
            f"    if {ending}.endswith(\"{suffix}\"):\n"
            f"        sys.argv[0] = sys.argv[0][:-{len(suffix)}]\n"
            f"    from {entry.module} import {head}\n"
            f"    raise SystemExit({entry.attr}())\n")


def names_python(first_line: str) -> bool:
    """Whether a script's first line is an interpreter line naming a Python."""
    return _PYTHON_LINE.fullmatch(first_line.rstrip("\r")) is not None


def replace_interpreter_line(line: str, text: str) -> str:
    """``text`` with a first line that names a Python replaced by ``line``;
    any other first line stays, below ``line``."""
    text = text[1:] if text.startswith("\ufeff") else text
    first, _, rest = text.partition("\n")
    if names_python(first):
        return f"{line}\n{rest}"
    return f"{line}\n{text}"
