"""Installing wheels into a Windows layout from any machine, through
pypa/installer: a destination that gives a wheel's scripts Windows
launchers, the layout's scheme folders, and an all-or-nothing install.

Each entry point, and each file in the wheel's ``scripts`` whose first line
names a Python, becomes ``NAME.exe`` beside its companion script, both
written through installer's own file writing and both listed in RECORD (or
one ``NAME.exe`` that carries its script, with ``single_file``).
Every file lands inside its scheme's folder (whole path components
compared, after ``..`` and links are resolved) and never over a file that is
already there. This is the one module that imports pypa/installer.
"""

from __future__ import annotations

import io
import os
import zipfile
from typing import (BinaryIO, Dict, Iterable, Iterator, List, NamedTuple, Optional, Sequence,
                    Set, Tuple, Union)

import installer
from installer.destinations import SchemeDictionaryDestination
from installer.exceptions import InstallerError
from installer.records import Hash, InvalidRecordEntry, RecordEntry
from installer.sources import WheelFile
from installer.utils import Scheme, copyfileobj_with_hashing

from launcher_maker.errors import LauncherError
from launcher_maker.maker import Launcher, plan_launchers
from launcher_maker.scripts import names_python

__all__ = ["InstalledWheel", "LauncherDestination", "install_wheels", "windows_scheme"]

_SCRIPTS = Scheme("scripts")


def windows_scheme(prefix: str, distribution: str) -> Dict[str, str]:
    """The scheme folders of a Windows Python installed at ``prefix``
    (``Lib\\site-packages``, ``Scripts``, ``Include\\<distribution>``, the
    prefix itself for data), as paths of the machine this runs on."""
    prefix = os.path.abspath(prefix)
    site = os.path.join(prefix, "Lib", "site-packages")
    return {"purelib": site, "platlib": site, "scripts": os.path.join(prefix, "Scripts"),
            "headers": os.path.join(prefix, "Include", distribution), "data": prefix}


def member_parts(path: str) -> List[str]:
    """The components of a wheel member's path within its scheme folder,
    ``.`` and ``..`` resolved; LauncherError when the path is absolute,
    names a drive or a stream (``:``), uses ``\\`` (a separator on
    Windows), or climbs out of the folder."""
    if not path or path[0] == "/" or ":" in path or "\\" in path:
        raise LauncherError(f"wheel member {path!r} is absolute, names a drive or holds a "
                            "backslash: it would land outside its folder on Windows")
    parts: List[str] = []
    for part in path.split("/"):
        if part == "..":
            if not parts:
                raise LauncherError(f"wheel member {path!r} climbs out of its folder through ..")
            parts.pop()
        elif part not in ("", "."):
            parts.append(part)
    if not parts:
        raise LauncherError(f"wheel member {path!r} names its folder, not a file")
    return parts


def _inside(folder: str, target: str) -> bool:
    real_folder, real_target = os.path.realpath(folder), os.path.realpath(target)
    try:
        return os.path.commonpath([real_folder, real_target]) == real_folder
    except ValueError:  # on Windows: another drive
        return False


def _launcher_for(file_name: str, data: bytes) -> Optional[Launcher]:
    """The launcher for a ``scripts`` file whose first line names a Python
    (``tool.py``: ``tool``; ``.pyw``: windowless), or None."""
    first = data.split(b"\n", 1)[0].decode("utf-8", "replace").lstrip("\ufeff")
    if not names_python(first):
        return None
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        raise LauncherError(f"script {file_name!r} names a Python but is not UTF-8 text") from None
    stem, extension = os.path.splitext(file_name)
    if extension.lower() not in (".py", ".pyw"):
        stem = file_name
    return Launcher(stem, script=text, gui=extension.lower() == ".pyw")


class LauncherDestination(SchemeDictionaryDestination):
    """Writes a wheel's files under ``scheme_dict``'s folders, with a
    launcher for each script. The launcher options are make_launchers's:
    ``interpreter`` (None: the machine's Python), ``relative``, ``options``,
    ``arch``, ``single_file``. ``dry_run`` checks everything and writes
    nothing.

    After a failed ``installer.install``, ``discard()`` removes what this
    destination wrote, and the folders it made."""

    def __init__(self, scheme_dict: Dict[str, str], *, interpreter: Optional[str] = None,
                 relative: bool = False, options: Sequence[str] = (), arch: str = "auto",
                 single_file: bool = False, dry_run: bool = False,
                 hash_algorithm: str = "sha256") -> None:
        folders = {name: os.path.abspath(folder) for name, folder in scheme_dict.items()}
        # installer's own interpreter fixes "#!python..." lines that name no
        # Python we know; its script kind is unused (write_script is ours).
        super().__init__(folders, interpreter or "python.exe", "win-amd64", hash_algorithm)
        self.launcher_interpreter, self.relative = interpreter, relative
        self.options, self.arch, self.dry_run = list(options), arch, dry_run
        self.single_file = single_file
        self.files: List[str] = []  # every file, in order (written unless dry_run)
        self._made_folders: List[str] = []
        self._targets: Set[str] = set()  # folded: Windows ignores case
        # Each program's RECORD path and its script's row, added at the end.
        self._companions: Dict[str, RecordEntry] = {}

    def write_to_fs(self, scheme: Scheme, path: str, stream: BinaryIO,
                    is_executable: bool) -> RecordEntry:
        folder = self.scheme_dict[scheme]
        parts = member_parts(path)
        inner, target = "/".join(parts), os.path.join(folder, *parts)
        if not _inside(folder, target):
            raise LauncherError(f"wheel member {path!r} would land outside {folder!r} "
                                f"(at {os.path.realpath(target)!r})")
        if target.lower() in self._targets:
            raise LauncherError(f"{target!r} would be written twice")
        if os.path.lexists(target):
            raise LauncherError(f"{target!r} is already there")
        self._targets.add(target.lower())
        self.files.append(target)
        if self.dry_run:
            hash_, size = copyfileobj_with_hashing(stream, io.BytesIO(), self.hash_algorithm)
            return RecordEntry(inner, Hash(self.hash_algorithm, hash_), size)
        self._note_missing_folders(os.path.dirname(target))
        return super().write_to_fs(scheme, inner, stream, is_executable)

    def _note_missing_folders(self, folder: str) -> None:
        missing = []
        while not os.path.isdir(folder):
            missing.append(folder)
            parent = os.path.dirname(folder)
            if parent == folder:
                break
            folder = parent
        self._made_folders.extend(reversed(missing))

    def write_script(self, name: str, module: str, attr: str, section: str) -> RecordEntry:
        launcher = Launcher(name, entry_point=f"{module}:{attr}", gui=section == "gui")
        return self._write_launcher(launcher, "")

    def write_file(self, scheme: Scheme, path: Union[str, "os.PathLike[str]"],
                   stream: BinaryIO, is_executable: bool) -> RecordEntry:
        if scheme == _SCRIPTS:
            data = stream.read()
            parent, _, file_name = "/".join(member_parts(os.fspath(path))).rpartition("/")
            launcher = _launcher_for(file_name, data)
            if launcher is not None:
                return self._write_launcher(launcher, parent)
            stream = io.BytesIO(data)
        return super().write_file(scheme, path, stream, is_executable)

    def _write_launcher(self, launcher: Launcher, parent: str) -> RecordEntry:
        """Writes the launcher's script, then its program, in ``parent`` of
        the scripts folder; returns the program's row, keeps the script's.
        A single file is one row, as installer's own scripts are."""
        scripts = self.scheme_dict[_SCRIPTS]
        folder = os.path.join(scripts, *parent.split("/")) if parent else scripts
        planned = plan_launchers([launcher], folder, interpreter=self.launcher_interpreter,
                                 relative=self.relative, options=self.options, arch=self.arch,
                                 single_file=self.single_file)
        *script_row, program_row = [
            self.write_to_fs(_SCRIPTS, os.path.relpath(p.path, scripts).replace(os.sep, "/"),
                             io.BytesIO(p.data), is_executable=bool(p.mode & 0o111))
            for p in planned]
        if script_row:
            self._companions[program_row.path] = script_row[0]
        return program_row

    def finalize_installation(self, scheme: Scheme, record_file_path: str,
                              records: Iterable[Tuple[Scheme, RecordEntry]]) -> None:
        super().finalize_installation(scheme, record_file_path, self._with_companions(records))

    def _with_companions(self, records: Iterable[Tuple[Scheme, RecordEntry]]
                         ) -> Iterator[Tuple[Scheme, RecordEntry]]:
        for file_scheme, record in records:
            companion = self._companions.get(record.path) if file_scheme == _SCRIPTS else None
            if companion is not None:
                yield _SCRIPTS, companion
            yield file_scheme, record

    def discard(self) -> None:
        """Removes every file this destination wrote and the folders it
        made (when empty): what was there before stays as it was."""
        if self.dry_run:
            return
        for path in reversed(self.files):
            try:
                os.remove(path)
            except FileNotFoundError:  # its write failed before the file was made
                pass
        for folder in reversed(self._made_folders):
            try:
                os.rmdir(folder)
            except OSError:
                pass
        self.files, self._made_folders = [], []


class InstalledWheel(NamedTuple):
    """A wheel installed (or, in a dry run, checked) and the files it has."""

    distribution: str
    version: str
    files: List[str]


# What installer raises for an archive that is not a wheel it can install.
_NOT_A_WHEEL = (zipfile.BadZipFile, KeyError, AssertionError, ValueError, InstallerError,
                InvalidRecordEntry)


def install_wheels(wheels: Sequence[str], prefix: str, *, interpreter: Optional[str] = None,
                   relative: bool = False, options: Sequence[str] = (), arch: str = "auto",
                   single_file: bool = False, dry_run: bool = False) -> List[InstalledWheel]:
    """Installs each wheel into the Windows layout under ``prefix``, with
    launchers for its scripts (the options are LauncherDestination's).
    All or nothing: when a wheel is refused (LauncherError) or a write
    fails, every file this call wrote is removed again."""
    done: List[LauncherDestination] = []
    installed = []
    try:
        for wheel in wheels:
            try:
                archive = zipfile.ZipFile(wheel)
            except (OSError, zipfile.BadZipFile) as e:
                raise LauncherError(f"wheel {wheel!r} cannot be read: {e}") from None
            with archive:
                try:
                    source = WheelFile(archive)
                    destination = LauncherDestination(
                        windows_scheme(prefix, source.distribution), interpreter=interpreter,
                        relative=relative, options=options, arch=arch,
                        single_file=single_file, dry_run=dry_run)
                    done.append(destination)
                    installer.install(source, destination, {"INSTALLER": b"launcher_maker\n"})
                except LauncherError:
                    raise
                except _NOT_A_WHEEL as e:
                    raise LauncherError(f"wheel {wheel!r} cannot be installed: "
                                        f"{type(e).__name__}: {e}") from None
            installed.append(InstalledWheel(source.distribution, source.version,
                                            destination.files))
    except BaseException:
        for destination in reversed(done):
            destination.discard()
        raise
    return installed
