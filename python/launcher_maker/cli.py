"""The command line: make launchers for entry points, scripts or a whole
installed distribution."""

from __future__ import annotations

import argparse
import os
import sys
import sysconfig
from importlib import metadata
from typing import List, NoReturn, Optional, Sequence

from launcher_maker import __version__
from launcher_maker.errors import LauncherError
from launcher_maker.maker import Launcher, make_launchers

_EXAMPLES = r"""
examples:
  python -m launcher_maker make tool=tool.cli:main --dest build/Scripts --arch x64
  python -m launcher_maker make paint=paint.app:run --gui --dest C:\Env\Scripts ^
      --interpreter C:\Env\python.exe --relative
  python -m launcher_maker script tidy=tidy.py --dest out --arch arm64
  python -m launcher_maker entry-points pip --dest venv/Scripts ^
      --interpreter "C:\Program Files\Python312\python.exe" --dry-run
  python -m launcher_maker install dist/*.whl --prefix build/app --relative --arch x64
  python -m launcher_maker make tool=tool.cli:main --dest out --arch x64 --single-file

Each launcher is NAME.exe beside NAME-script.py (NAME-script.pyw with --gui);
with --single-file, one NAME.exe that carries its script.
Without --interpreter the launcher runs the machine's Python; install
--relative without it runs the prefix's own python.exe.
"""


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        raise LauncherError(message)


def _parser() -> argparse.ArgumentParser:
    parser = _Parser(prog="python -m launcher_maker", epilog=_EXAMPLES,
                     formatter_class=argparse.RawDescriptionHelpFormatter,
                     description="Makes Windows launchers (NAME.exe) for Python entry points "
                                 "and scripts.")
    parser.add_argument("--version", action="version", version=__version__)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    make = commands.add_parser("make", help="launchers for entry points NAME=MODULE:ATTR")
    make.add_argument("pairs", nargs="+", metavar="NAME=MODULE:ATTR")
    script = commands.add_parser("script", help="launchers for existing scripts NAME=FILE")
    script.add_argument("pairs", nargs="+", metavar="NAME=FILE")
    dist = commands.add_parser("entry-points",
                               help="launchers for an installed distribution's scripts")
    dist.add_argument("distribution", metavar="DIST")
    install = commands.add_parser("install", help="wheels into a Windows layout under --prefix, "
                                                  "with launchers for their scripts")
    install.add_argument("wheels", nargs="+", metavar="WHEEL")
    install.add_argument("--prefix", required=True, metavar="DIR",
                         help="the Windows Python's folder: Lib\\site-packages, Scripts...")
    for command in (make, script, dist, install):
        if command is not install:
            command.add_argument("--dest", required=command is not dist, metavar="DIR",
                                 help="the folder to write to" +
                                      (" (on Windows: this Python's scripts folder)"
                                       if command is dist else ""))
        command.add_argument("--interpreter", metavar="PATH",
                             help="absolute path, or <launcher_dir>\\PATH" +
                                  (" (on Windows: this Python)" if command is dist else
                                   " (default: the machine's Python)"))
        command.add_argument("--relative", action="store_true",
                             help="write the interpreter relative to the launcher's folder "
                                  "(relocatable)" + (": by default the prefix's python.exe"
                                                     if command is install else ""))
        command.add_argument("--interpreter-option", action="append", default=[],
                             metavar="OPTION", help="an interpreter option, e.g. "
                                                    "--interpreter-option=-E (repeatable)")
        if command in (make, script):
            command.add_argument("--gui", action="store_true",
                                 help="windowless launchers (NAME-script.pyw, pythonw.exe)")
        command.add_argument("--arch", default="auto", choices=("auto", "x86", "x64", "arm64"),
                             help="default: the interpreter's, else this Windows machine's")
        command.add_argument("--single-file", action="store_true",
                             help="one NAME.exe holding the program, the interpreter line and "
                                  "the script as a zip archive (no longer the signed program)")
        command.add_argument("--dry-run", action="store_true",
                             help="print what would be written; write nothing")
    return parser


def _split_pair(pair: str) -> List[str]:
    name, equals, value = pair.partition("=")
    if not equals or not name.strip() or not value.strip():
        raise LauncherError(f"{pair!r} is not NAME=VALUE")
    return [name.strip(), value.strip()]


def _read_script(path: str) -> str:
    try:
        with open(path, encoding="utf-8", newline="") as f:
            return f.read()
    except (OSError, UnicodeDecodeError) as e:
        raise LauncherError(f"script {path!r} cannot be read as UTF-8 text: {e}") from None


def _distribution_launchers(name: str) -> List[Launcher]:
    try:
        entries = metadata.distribution(name).entry_points
    except metadata.PackageNotFoundError:
        raise LauncherError(f"distribution {name!r} is not installed here") from None
    return [Launcher(e.name, entry_point=e.value, gui=e.group == "gui_scripts")
            for e in entries if e.group in ("console_scripts", "gui_scripts")]


def _absolute_if_here(interpreter: Optional[str]) -> Optional[str]:
    """A file here, named from the working folder, made absolute."""
    if interpreter is not None and os.path.exists(interpreter):
        return os.path.abspath(interpreter)
    return interpreter


def _install(args: argparse.Namespace) -> None:
    try:
        from launcher_maker.destination import install_wheels
    except ImportError as e:
        if not (e.name or "").startswith("installer"):
            raise
        raise LauncherError("install needs pypa/installer, which is not installed here "
                            "(pip install installer, or apt-get install python3-installer)"
                            ) from None
    interpreter: Optional[str] = args.interpreter
    if interpreter is None and args.relative:
        interpreter = os.path.join(os.path.abspath(args.prefix), "python.exe")
    else:
        interpreter = _absolute_if_here(interpreter)
    installed = install_wheels(args.wheels, args.prefix, interpreter=interpreter,
                               relative=args.relative, options=args.interpreter_option,
                               arch=args.arch, single_file=args.single_file,
                               dry_run=args.dry_run)
    verb = "would install" if args.dry_run else "installed"
    for wheel in installed:
        print(f"{verb} {wheel.distribution} {wheel.version}: {len(wheel.files)} files "
              f"in {os.path.abspath(args.prefix)}")


def _run(args: argparse.Namespace) -> None:
    if args.command == "install":
        _install(args)
        return
    interpreter: Optional[str] = args.interpreter
    dest: Optional[str] = args.dest
    if args.command == "make":
        pairs = [_split_pair(p) for p in args.pairs]
        launchers = [Launcher(n, entry_point=v, gui=args.gui) for n, v in pairs]
    elif args.command == "script":
        pairs = [_split_pair(p) for p in args.pairs]
        launchers = [Launcher(n, script=_read_script(v), gui=args.gui) for n, v in pairs]
    else:
        launchers = _distribution_launchers(args.distribution)
        if os.name == "nt":
            interpreter = interpreter or sys.executable
            dest = dest or sysconfig.get_path("scripts")
        elif interpreter is None or dest is None:
            raise LauncherError("entry-points needs --interpreter and --dest "
                                "(they default to this Python's only on Windows)")
    interpreter = _absolute_if_here(interpreter)
    assert dest is not None
    written = make_launchers(launchers, dest, interpreter=interpreter, relative=args.relative,
                             options=args.interpreter_option, arch=args.arch,
                             single_file=args.single_file, dry_run=args.dry_run)
    verb = "would write" if args.dry_run else "wrote"
    for path, digest, size in written:
        print(f"{verb} {path},{digest},{size}")


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs the command line; 0 on success, 2 with one line on standard
    error when the input or the folder cannot be used."""
    try:
        _run(_parser().parse_args(argv))
    except (LauncherError, OSError) as e:
        print(f"launcher_maker: {e}", file=sys.stderr)
        return 2
    return 0
