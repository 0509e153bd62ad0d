"""Makes launchers for Python scripts on Windows: ``tool.exe`` beside
``tool-script.py``, or one ``tool.exe`` that carries its script, from an
entry point or an existing script."""

from launcher_maker.errors import LauncherError
from launcher_maker.maker import Launcher, WrittenFile, make_launcher, make_launchers

__version__ = "0.1.0"

__all__ = ["Launcher", "LauncherError", "WrittenFile", "make_launcher", "make_launchers",
           "__version__"]
