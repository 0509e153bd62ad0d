"""The Windows launcher under Wine: real registry, real PATH, real files."""
import glob
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from emulated import sign_in_place, throwaway_certificate
from winetest import (CORE, LAUNCHER, LAUNCHERW, STUB, USER, USER_CORE, WINE, Box, WineCase,
                      add_version, clear_registry, on_a_terminal, utf8_copy, wine, wine_env,
                      winpath)

REGISTRY_WARNING = (b"Found python in the registry, but the internal buffer was not long "
                    b"enough (partial path=")
PATH_WARNING = (b"Found python on the path, but the internal buffer was not long enough "
                b"(partial path=")


def cound_not_exec(path):
    return b"Cound not exec " + path.encode()


class Registry(WineCase):
    def setUp(self):
        super().setUp()
        clear_registry()
        self.addCleanup(clear_registry)
        self.launcher = self.box.install("Py/Scripts/run.exe", "#!python.exe\n")

    def exec_failure(self):
        outcome = self.box.run(winpath(self.launcher))
        self.assertEqual(outcome.status, 2, outcome.err)
        return outcome.err

    def test_64_bit_view_first_then_32(self):
        add_version(32, "2.7", "C:\\Py32")
        add_version(64, "2.7", "C:\\Py64")
        self.assertEqual(self.exec_failure(), cound_not_exec("C:\\Py64\\python.exe"))
        wine("reg", "delete", "HKLM\\SOFTWARE\\Python", "/f", "/reg:64")
        self.assertEqual(self.exec_failure(), cound_not_exec("C:\\Py32\\python.exe"))

    def test_version_choice(self):
        cases = [
            (["2.6", "2.7"], "2.7"),
            (["2.7", "2.6"], "2.7"),
            (["2.5", "2.6", "3.1"], "2.6"),
            (["2.7.1", "2.6"], "2.6"),
            (["2.7.1", "2.7-32", "2.5"], "2.7.1"),
            # Read in string order: the newest is not the last.
            (["3.9", "3.10", "3.14"], "3.14"),
            (["3.13", "3.14", "3.14-32", "3.14-arm64", "3.14t"], "3.14"),
        ]
        for names, chosen in cases:
            with self.subTest(names=names):
                clear_registry()
                for name in names:
                    add_version(64, name, "C:\\Py" + name)
                self.assertEqual(self.exec_failure(), cound_not_exec(f"C:\\Py{chosen}\\python.exe"))

    def test_install_key_without_a_value_is_not_a_long_value(self):
        # reg.exe always writes a default value; an import can leave the key empty.
        reg_file = self.box.path("empty.reg")
        with open(reg_file, "w") as f:
            f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Python\\PythonCore\\2.7"
                    "\\InstallPath]\n\n")
        self.assertEqual(wine("regedit", "/S", winpath(reg_file)).returncode, 0)
        self.assertEqual(self.exec_failure(),
                         cound_not_exec(winpath(self.box.path("Py/python.exe"))))

    def test_stale_entry_is_passed_over(self):
        add_version(64, "3.14", "C:\\P\\py314")
        add_version(64, "3.15", winpath(self.box.path("gone315")))
        self.assertEqual(self.exec_failure(), cound_not_exec("C:\\P\\py314\\python.exe"))

    def test_lone_free_threaded_install(self):
        found = winpath(self.box.copy_stub("U/314t/python3.14t.exe"))
        add_version(64, "3.14t", found[:-len("\\python3.14t.exe")])
        wine("reg", "add", CORE + "\\3.14t\\InstallPath", "/v", "ExecutablePath", "/d", found, "/f")
        self.assertEqual(self.box.run(winpath(self.launcher), env=self.stub_env()).status, 0)
        self.assertEqual(self.box.recorded()[1][0], found.encode())

    def test_trailing_backslash_install_dir(self):
        for name, folder in (("2.5", "C:\\Python25\\"), ("2.6", "C:\\Python26\\"),
                             ("3.1", "C:\\Python31\\")):
            add_version(64, name, folder)
        self.assertEqual(self.exec_failure(), cound_not_exec("C:\\Python26\\\\python.exe"))

    def test_install_dir_lengths(self):
        fallback = cound_not_exec(winpath(self.box.path("Py/python.exe")))
        for size in (249, 250, 259, 260, 261):  # bytes, terminator included
            with self.subTest(size=size):
                clear_registry()
                folder = "C:\\" + "d" * (size - 4)
                add_version(64, "2.7", folder)
                err = self.exec_failure()
                if size <= 249:
                    self.assertEqual(err, cound_not_exec(folder + "\\python.exe"))
                    continue
                # Cut short, the path could only fail: warn and look on.
                shown = folder.encode() if size <= 260 else b""
                self.assertEqual(err, REGISTRY_WARNING + shown + b"\r\n" + fallback)


class PythonOfTheUser(WineCase):
    """Per-user installs, a Microsoft\\WindowsApps folder on PATH, and
    interpreter lines relative to the launcher's own folder."""

    def setUp(self):
        super().setUp()
        clear_registry()
        self.addCleanup(clear_registry)

    def test_per_user_install_not_on_path(self):
        found = self.box.copy_stub("Users/u/Py312/python.exe")
        add_version(USER, "3.12", winpath(self.box.path("Users/u/Py312")))
        launcher = self.box.install("tool/Scripts/run.exe", "#!python.exe\n")
        outcome = self.box.run(winpath(launcher), env=self.stub_env(STUB_STATUS=4))
        self.assertEqual(outcome.status, 4, outcome.err)
        self.assertEqual(self.box.recorded()[1][0], winpath(found).encode())

    def test_ordinary_file_in_windows_apps_is_used(self):
        # Wine has no reparse points: a plain file there is an interpreter.
        apps = self.box.path("Local/Microsoft/WindowsApps")
        found = self.box.copy_stub("Local/Microsoft/WindowsApps/python.exe")
        launcher = self.box.install("tool/run.exe", "#!python.exe\n")
        outcome = self.box.run(winpath(launcher), env=self.stub_env(WINEPATH=winpath(apps)))
        self.assertEqual(outcome.status, 0, outcome.err)
        self.assertEqual(self.box.recorded()[1][0], winpath(found).encode())

    def test_launcher_dir_environment_moves_with_its_folder(self):
        # A byte-order mark first, as some editors save it.
        self.box.copy_stub("env/python.exe")
        self.box.install("env/Scripts/run.exe",
                         '\ufeff#!"<launcher_dir>\\..\\python.exe" -u\n'.encode())
        shutil.copytree(self.box.path("env"), self.box.path("moved env"))
        shutil.rmtree(self.box.path("env"))
        self.box.copy_stub("bin/python.exe")  # another one on PATH is not taken
        env = self.stub_env(WINEPATH=winpath(self.box.path("bin")), STUB_STATUS=5)
        launcher = winpath(self.box.path("moved env/Scripts/run.exe"))
        outcome = self.box.run(f'"{launcher}" "a b"', env=env)
        self.assertEqual(outcome.status, 5, outcome.err)
        moved = winpath(self.box.path("moved env"))
        self.assertEqual(self.box.recorded()[1], [
            (moved + "\\python.exe").encode(), b"-u",
            (moved + "\\Scripts\\run-script.py").encode(), b"a b"])


    def test_moved_venv_and_install(self):
        for python in ("new/Scripts/python.exe", "new/python.exe"):  # a venv, an install
            with self.subTest(python=python):
                found = self.box.copy_stub(python)
                old = winpath(self.box.path(python.replace("new", "old")))
                launcher = self.box.install("new/Scripts/tool.exe", f'#!"{old}" -u\n')
                self.assertEqual(self.box.run(winpath(launcher), env=self.stub_env()).status, 0)
                self.assertEqual(self.box.recorded()[1][:2], [winpath(found).encode(), b"-u"])
                os.remove(found)


class SearchPath(WineCase):
    def setUp(self):
        super().setUp()
        clear_registry()
        self.addCleanup(clear_registry)

    def test_python_on_path_comes_before_the_registry(self):
        add_version(64, "2.7", "C:\\Py27")
        found = self.box.copy_stub("bin/python.exe")
        launcher = self.box.install("tool/run.exe", "#!python.exe -E\n")
        env = self.stub_env(WINEPATH=winpath(self.box.path("bin")), STUB_STATUS=5)
        outcome = self.box.run(winpath(launcher) + " a", env=env)
        self.assertEqual(outcome.status, 5, outcome.err)
        _, argv, _ = self.box.recorded()
        self.assertEqual(argv, [winpath(found).encode(), b"-E",
                                winpath(self.box.path("tool/run-script.py")).encode(), b"a"])

    def test_working_directory_is_not_searched(self):
        work = self.box.path("work")
        planted = self.box.copy_stub("work/python.exe")
        launcher = self.box.install("Py/Scripts/run.exe", "#!python.exe\n")
        # Only in the working directory: never run, the fallback is tried.
        outcome = self.box.run(winpath(launcher), env=self.stub_env(), cwd=work)
        self.assertEqual(outcome.err, cound_not_exec(winpath(self.box.path("Py/python.exe"))))
        self.assertFalse(os.path.exists(self.out))
        # Empty PATH entries do not bring it back; one on PATH wins over it.
        found = self.box.copy_stub("bin/python.exe")
        env = self.stub_env(WINEPATH=f";;{winpath(self.box.path('bin'))};", STUB_STATUS=4)
        self.assertEqual(self.box.run(winpath(launcher), env=env, cwd=work).status, 4)
        self.assertEqual(self.box.recorded()[1][0], winpath(found).encode())
        # "." written into PATH is honoured as written.
        env = self.stub_env(WINEPATH=".", STUB_STATUS=6)
        self.assertEqual(self.box.run(winpath(launcher), env=env, cwd=work).status, 6)
        self.assertEqual(self.box.recorded()[1][0], winpath(planted).encode())
        # The launcher's own directory comes first of all.
        beside = self.box.copy_stub("Py/Scripts/python.exe")
        self.assertEqual(self.box.run(winpath(launcher), env=env, cwd=work).status, 6)
        self.assertEqual(self.box.recorded()[1][0], winpath(beside).encode())

    def test_path_too_deep_warns_and_falls_back(self):
        deep = self.box.path(*(["d" * 50] * 5))
        found = winpath(os.path.join(deep, "python.exe"))
        self.assertGreaterEqual(len(found), 260)
        self.box.copy_stub(os.path.relpath(os.path.join(deep, "python.exe"), self.box.root))
        launcher = self.box.install("Py/Scripts/run.exe", "#!python.exe\n")
        outcome = self.box.run(winpath(launcher), env={"WINEPATH": winpath(deep)})
        self.assertEqual(outcome.status, 2)
        self.assertEqual(outcome.err, PATH_WARNING + found[:259].encode() + b"\r\n" +
                         cound_not_exec(winpath(self.box.path("Py/python.exe"))))


class Absolute(WineCase):
    def test_absolute_tokens_are_started_as_they_stand(self):
        cases = [
            ("C:\\Nowhere\\python.exe", "C:\\Nowhere\\python.exe"),
            ("C:python.exe", "C:python.exe"),
            ("\\Py\\python.exe", "\\Py\\python.exe"),
            ("\\\\server\\share\\python.exe", "\\\\server\\share\\python.exe"),
            ("/usr/bin/python", "\\usr\\bin\\python"),
        ]
        launcher = self.box.install("run.exe", None)
        for token, started in cases:
            with self.subTest(token=token):
                with open(self.box.path("run-script.py"), "w") as f:
                    f.write(f"#!{token} -u\n")
                outcome = self.box.run(winpath(launcher))
                self.assertEqual(outcome.status, 2)
                self.assertEqual(outcome.err, cound_not_exec(started))

    def test_absolute_stub_runs(self):
        launcher = self.box.install("run.exe", f'#!"{winpath(STUB)}" -u\n')
        outcome = self.box.run(winpath(launcher) + " x", env=self.stub_env(STUB_STATUS=3))
        self.assertEqual(outcome.status, 3, outcome.err)
        line, argv, _ = self.box.recorded()
        script = winpath(self.box.path("run-script.py"))
        self.assertEqual(line, f'"{winpath(STUB)}" "-u" "{script}" "x"'.encode())


class Fallback(WineCase):
    def test_directory_above_the_launcher(self):
        clear_registry()
        stub = self.box.copy_stub("Py/python.exe")
        launcher = self.box.install("Py/Scripts/run.exe", "#!python.exe\n")
        outcome = self.box.run(winpath(launcher), env=self.stub_env())
        self.assertEqual(outcome.status, 0, outcome.err)
        self.assertEqual(self.box.recorded()[1][0], winpath(stub).encode())


class Failures(WineCase):
    def test_missing_script(self):
        launcher = self.box.install("run.exe", None)
        outcome = self.box.run(winpath(launcher))
        self.assertEqual(outcome.status, 2)
        message = b"Cannot open " + winpath(self.box.path("run-script.py")).encode() + b"\r\n"
        self.assertEqual(outcome.err, message)
        # Debian's wine command too: the set-up installs no 32-bit Wine that
        # it would try first.
        started = wine(launcher, loader="/usr/bin/wine")
        self.assertEqual((started.returncode, started.stderr), (2, message))

    def test_not_a_program(self):
        script = self.box.path("run-script.py")
        launcher = self.box.install("run.exe", f"#!{winpath(script)}\n")
        outcome = self.box.run(winpath(launcher))
        self.assertEqual((outcome.status, outcome.err), (2, cound_not_exec(winpath(script))))


def trace_message_boxes(case):
    """Relay tracing of MessageBoxW alone, for the rest of the test."""
    debug_key = "HKCU\\Software\\Wine\\Debug"
    wine("reg", "add", debug_key, "/v", "RelayInclude", "/d", "user32.MessageBoxW", "/f")
    case.addCleanup(wine, "reg", "delete", debug_key, "/v", "RelayInclude", "/f")


def traced_text(text):
    """A wide string as the relay trace writes it (\\\\, \\n, and \\ with four
    hex digits for a unit outside ASCII), as WTF-8 bytes."""
    def unescape(match):
        code = match[1].decode()
        return (chr(int(code, 16)) if len(code) == 4 else
                {"n": "\n", "r": "\r", "t": "\t"}.get(code, code)).encode("utf-8", "surrogatepass")
    return re.sub(rb'\\([0-9a-f]{4}|.)', unescape, text)


def message_boxes(box, launcher, env=None):
    """Runs the launcher and returns its status and the (text, title, style)
    of every message box it showed, the texts as UTF-8 bytes. Wine cuts a
    traced text after 300 characters."""
    outcome = box.run(winpath(launcher), env=dict(env or {}, WINEDEBUG="+relay"))
    boxes = re.findall(rb'Call user32\.MessageBoxW\([0-9a-f]+,[0-9a-f]+ L"((?:[^"\\]|\\.)*)"'
                       rb'(?:\.\.\.)?,[0-9a-f]+ L"((?:[^"\\]|\\.)*)",([0-9a-f]+)\)', outcome.err)
    return outcome.status, [(traced_text(text), traced_text(title), int(style, 16))
                            for text, title, style in boxes]


class Windowless(WineCase):
    """launcherw.exe: -script.pyw, pythonw.exe, and failures in a message box."""

    def setUp(self):
        super().setUp()
        clear_registry()
        self.addCleanup(clear_registry)

    def install(self, script_text):
        return self.box.install("tool/paint.exe", script_text, LAUNCHERW, "-script.pyw")

    def test_pyw_script_runs_with_pythonw_from_path(self):
        found = self.box.copy_stub("bin/pythonw.exe")
        self.box.copy_stub("bin/python.exe")  # the console interpreter is not taken
        launcher = self.install("import tkinter\n")
        env = self.stub_env(WINEPATH=winpath(self.box.path("bin")), STUB_STATUS=7)
        outcome = self.box.run(winpath(launcher) + ' a "b c"', env=env)
        self.assertEqual(outcome.status, 7, outcome.err)
        self.assertEqual(self.box.recorded()[1], [
            winpath(found).encode(), winpath(self.box.path("tool/paint-script.pyw")).encode(),
            b"a", b"b c"])

    def test_pythonw_from_the_registry(self):
        found = self.box.copy_stub("Py27/pythonw.exe")
        add_version(64, "2.7", winpath(self.box.path("Py27")))
        launcher = self.install("#!pythonw.exe\n")
        outcome = self.box.run(winpath(launcher), env=self.stub_env(STUB_STATUS=3))
        self.assertEqual(outcome.status, 3, outcome.err)
        self.assertEqual(self.box.recorded()[1][0], winpath(found).encode())

    def test_pythonw_of_a_per_user_install(self):
        found = self.box.copy_stub("Users/u/Py312/pythonw.exe")
        add_version(USER, "3.12", winpath(self.box.path("Users/u/Py312")))
        launcher = self.install("#!pythonw.exe\n")
        outcome = self.box.run(winpath(launcher), env=self.stub_env(STUB_STATUS=6))
        self.assertEqual(outcome.status, 6, outcome.err)
        self.assertEqual(self.box.recorded()[1][0], winpath(found).encode())

    def test_failure_shows_one_message_box(self):
        trace_message_boxes(self)
        launcher = self.install(None)
        status, boxes = message_boxes(self.box, launcher)
        script = winpath(self.box.path("tool/paint-script.pyw")).encode()
        self.assertEqual((status, boxes), (2, [(b"Cannot open " + script + b"\n", b"paint.exe", 0x10)]))
        # A warning and the failure after it share one box, warning first.
        add_version(64, "2.7", "C:\\" + "d" * 255)
        self.install("#!pythonw.exe\n")
        status, boxes = message_boxes(self.box, launcher)
        self.assertEqual((status, len(boxes)), (2, 1))
        self.assertTrue(boxes[0][0].startswith(REGISTRY_WARNING + b"C:\\ddd"), boxes[0][0])


class SingleFile(WineCase):
    """A program with an archive appended runs itself, with the interpreter
    line before the archive; a companion beside it is not read."""

    def setUp(self):
        super().setUp()
        clear_registry()
        self.addCleanup(clear_registry)

    def test_each_kind_of_line(self):
        bin_dir = os.path.dirname(self.box.copy_stub("bin/python.exe"))
        found_w = self.box.copy_stub("bin/pythonw.exe")
        blank = winpath(self.box.copy_stub("Py 3/python.exe"))
        beside = winpath(self.box.copy_stub("tool/py env/python.exe"))
        cases = [
            ("console", LAUNCHER, f"#!{winpath(STUB)} -u\r\n".encode(), [winpath(STUB), "-u"]),
            ("windowless", LAUNCHERW, b"#!pythonw.exe\n", [winpath(found_w)]),
            ("<launcher_dir>", LAUNCHER, b'#!"<launcher_dir>\\py env\\python.exe" -E\n',
             [beside, "-E"]),
            ("quoted, with a blank", LAUNCHER, f'#!"{blank}"\n'.encode(), [blank]),
            ("no interpreter line", LAUNCHER, b"", [winpath(os.path.join(bin_dir, "python.exe"))]),
        ]
        for name, program, line, interpreter in cases:
            with self.subTest(name):
                launcher = self.box.install_single("tool/run.exe", line, program)
                with open(self.box.path("tool/run-script.py"), "w") as f:
                    f.write("#!C:\\companion\\python.exe\n")
                env = self.stub_env(WINEPATH=winpath(bin_dir), STUB_STATUS=3)
                outcome = self.box.run(f'{winpath(launcher)} "a b"', env=env)
                self.assertEqual(outcome.status, 3, outcome.err)
                self.assertEqual(self.box.recorded()[1],
                                 [arg.encode() for arg in interpreter + [winpath(launcher), "a b"]])

    def test_pypa_installers_own_script_with_our_program(self):
        # Debian's pypa/installer belongs to Debian's Python; its launcher
        # data is swapped for our program, as a tool would hand it over.
        target = self.box.path("tool.exe")
        subprocess.run(["/usr/bin/python3", "-c", INSTALLER_SCRIPT, LAUNCHER, winpath(STUB),
                        target], check=True)
        outcome = self.box.run(f'{winpath(target)} "a b"', env=self.stub_env(STUB_STATUS=3))
        self.assertEqual(outcome.status, 3, outcome.err)
        self.assertEqual(self.box.recorded()[1],
                         [winpath(STUB).encode(), winpath(target).encode(), b"a b"])


# argv: our program, the interpreter, the file to write.
INSTALLER_SCRIPT = """
import sys
from unittest import mock
from installer.scripts import Script
program = open(sys.argv[1], "rb").read()
with mock.patch.object(Script, "_get_launcher_data", lambda self, kind: program):
    name, data = Script("tool", "tool.cli", "main", "console").generate(sys.argv[2], "win-amd64")
assert name == "tool.exe" and data.startswith(program)
open(sys.argv[3], "wb").write(data)
"""


class Statuses(WineCase):
    def test_statuses_pass_through_unchanged(self):
        launcher = self.box.install("run.exe", f"#!{winpath(STUB)}\n")
        for status in (0, 3, 2, 0xC0000005, 0xFFFFFFFF):
            with self.subTest(status=hex(status)):
                outcome = self.box.run(winpath(launcher), env={"STUB_STATUS": str(status)})
                self.assertEqual(outcome.status, status)
                self.assertEqual(outcome.err, b"")


def quote(arg):
    """A command-line form that the runtime splits back to `arg`."""
    out, backslashes = '"', 0
    for c in arg:
        if c == "\\":
            backslashes += 1
        elif c == '"':
            out += "\\" * (backslashes + 1)
            backslashes = 0
        else:
            backslashes = 0
        out += c
    return out + "\\" * backslashes + '"'


class Arguments(WineCase):
    def launched_and_direct(self, tail, cwd=None):
        """The stub's argv through the launcher, and the launcher runtime's own split."""
        launcher = self.box.install("run.exe", f"#!{winpath(STUB)} -u\n")
        outcome = self.box.run(winpath(launcher) + tail, env=self.stub_env(), cwd=cwd)
        self.assertEqual(outcome.status, 0, outcome.err)
        self.line_through, through = self.box.recorded()[0], self.box.recorded()[1][3:]
        outcome = self.box.run(winpath(STUB) + tail, env=self.stub_env(), cwd=cwd)
        direct = self.box.recorded()[1][1:]
        return through, direct

    def test_hand_picked(self):
        tail = (' a "b c" "" "" x\\\\\\"y "tab\there" back\\ "q\\"uote" '
                'trail\\\\ "end\\\\" \\\\\\\\"x" ab"c d"e')
        through, direct = self.launched_and_direct(tail)
        self.assertEqual(through, direct)
        self.assertIn(b"b c", direct)
        self.assertIn(b"", direct)

    def test_random(self):
        rng = random.Random(3)
        alphabet = ' \t"\\\\abZ'
        args = ["".join(rng.choice(alphabet) for _ in range(rng.randrange(9))) for _ in range(60)]
        # Random raw tails, and the quoted forms of random arguments.
        raw = " " + " ".join(args)
        through, direct = self.launched_and_direct(raw)
        self.assertEqual(through, direct)
        through, direct = self.launched_and_direct(" " + " ".join(quote(a) for a in args))
        self.assertEqual([a.decode() for a in direct], args)
        self.assertEqual(through, direct)

    def test_wildcards(self):
        work = self.box.path("work")
        os.makedirs(work)
        for name in ("a.txt", "b.txt", "c.log"):
            open(os.path.join(work, name), "w").close()
        through, direct = self.launched_and_direct(' *.txt ?.log "*.txt" *.none', cwd=work)
        self.assertEqual(through, direct)
        self.assertEqual(direct[:3], [b"a.txt", b"b.txt", b"c.log"])
        # Expanded by the launcher's runtime, not only by the stub's own.
        self.assertIn(b' "a.txt" "b.txt" "c.log" ', self.line_through)


class Processes(WineCase):
    def start_sleeping(self, action, **extra):
        launcher = self.box.install("run.exe", f"#!{winpath(STUB)}\n")
        ready = self.box.path("ready")
        env = self.stub_env(STUB_READY=winpath(ready), RUNNER_READY=winpath(ready),
                            RUNNER_ACTION=action, **extra)
        return self.box.run(winpath(launcher), env=env)

    def test_killed_launcher_takes_the_interpreter_with_it(self):
        wake = self.box.path("woke")
        outcome = self.start_sleeping("kill", STUB_SLEEP_MS=1500, STUB_WAKE=winpath(wake))
        self.assertEqual(outcome.status, 77, outcome.out)
        time.sleep(2.5)
        self.assertFalse(os.path.exists(wake))

    def test_detached_grandchild_outlives_the_script(self):
        wake = self.box.path("grandchild")
        launcher = self.box.install("run.exe", f"#!{winpath(STUB)}\n")
        outcome = self.box.run(winpath(launcher), env={"STUB_GRANDCHILD": winpath(wake)})
        self.assertEqual(outcome.status, 0)
        for _ in range(100):
            if os.path.exists(wake):
                break
            time.sleep(0.05)
        self.assertTrue(os.path.exists(wake))

    def test_ctrl_c_belongs_to_the_script(self):
        # Sent to the whole console: the launcher must outlive it and pass on
        # the status the script chose (not end with STATUS_CONTROL_C_EXIT).
        outcome = self.start_sleeping("ctrlc", STUB_TRAP=42)
        self.assertIn("runner: event 1", outcome.out)
        self.assertEqual(outcome.status, 42, outcome.out)

    def test_ctrl_break_belongs_to_the_script(self):
        outcome = self.start_sleeping("break", STUB_TRAP=43)
        if "runner: event 0" in outcome.out:
            self.skipTest("this Wine cannot deliver console control events: " + outcome.out)
        self.assertEqual(outcome.status, 43, outcome.out)


# Arguments that a best-fit conversion would change or split: fullwidth
# quote and backslash, division slash, letters of several scripts, a pair,
# lone surrogates of both halves, and an empty one.
AWKWARD_ARGUMENTS = ["\uff02", 'a\uff02 b"', "x\uff3c", '\uff3c"\\', "C:\u2215Windows", "Ωmega",
                     "Виктор", "中文 日本語", "mixé", "\U0001f600", "a\ud800", "\udc00b",
                     "\ude00\ud83d", ""]


class Unicode(WineCase):
    """Text in any language, on the programs as built (no code page asked
    for: every Windows runs them in its legacy one, 1252 here) and on
    copies that ask for UTF-8, as Windows 10 1903 and later grant it."""

    def setUp(self):
        super().setUp()
        clear_registry()
        self.addCleanup(clear_registry)
        self.copies = {"as built": (LAUNCHER, LAUNCHERW),
                       "UTF-8 code page": (utf8_copy(LAUNCHER, self.box.path("utf8.exe")),
                                           utf8_copy(LAUNCHERW, self.box.path("utf8w.exe")))}

    def each_copy(self):
        """Each copy's name and programs, the registry cleared before each;
        a test runs its body in a subTest of that name."""
        for name, programs in self.copies.items():
            clear_registry()
            yield name, programs

    def started(self, launcher, tail="", **env):
        outcome = self.box.run(winpath(launcher) + tail, env=self.stub_env(STUB_STATUS=3, **env))
        self.assertEqual(outcome.status, 3, outcome.err)
        return [a.decode("utf-8", "surrogatepass") for a in self.box.recorded()[1]]

    def test_arguments_arrive_as_sent(self):
        tail = " " + " ".join(quote(a) for a in AWKWARD_ARGUMENTS)
        for name, (console, windowless) in self.each_copy():
            with self.subTest(name):
                for program, suffix in ((console, "-script.py"), (windowless, "-script.pyw")):
                    launcher = self.box.install("run.exe", f"#!{winpath(STUB)}\n", program, suffix)
                    self.assertEqual(self.started(launcher, tail)[2:], AWKWARD_ARGUMENTS)

    def test_launcher_in_a_folder_of_any_language(self):
        for name, (console, windowless) in self.each_copy():
            with self.subTest(name):
                folder = "Виктор 中文/Scripts"
                line = f"#!{winpath(STUB)}\n"
                companion = self.box.install(f"{folder}/tool.exe", line, console)
                self.assertEqual(self.started(companion)[1],
                                 winpath(self.box.path(folder, "tool-script.py")))
                single = self.box.install_single(f"{folder}/one.exe", line.encode(), console)
                self.assertEqual(self.started(single)[1], winpath(single))
                gui = self.box.install("窗口/paint.exe", line, windowless, "-script.pyw")
                self.assertEqual(self.started(gui)[1],
                                 winpath(self.box.path("窗口/paint-script.pyw")))

    def test_interpreter_lines_naming_folders_of_any_language(self):
        for name, (console, _) in self.each_copy():
            with self.subTest(name):
                python = winpath(self.box.copy_stub("Программы/Python 3/python.exe"))
                launcher = self.box.install("tool/run.exe", f'#!"{python}" -u\n', console)
                self.assertEqual(self.started(launcher)[:2], [python, "-u"])
                beside = winpath(self.box.copy_stub("Γιάννης/env/python.exe"))
                launcher = self.box.install("Γιάννης/env/Scripts/run.exe",
                                            '#!"<launcher_dir>\\..\\python.exe"\n', console)
                self.assertEqual(self.started(launcher)[0], beside)
                # Moved: the recorded interpreter is gone, the one above the launcher runs.
                launcher = self.box.install("Γιάννης/env/Scripts/old.exe",
                                            "#!C:\\中文\\env\\python.exe\n", console)
                self.assertEqual(self.started(launcher)[0], beside)

    def test_registry_and_path_naming_folders_of_any_language(self):
        user = winpath(self.box.copy_stub("Users/王小明/Py312/python.exe"))
        machine = winpath(self.box.copy_stub("Γιάννης/Python27/python.exe"))
        on_path = winpath(self.box.copy_stub("Инструменты/python.exe"))
        for name, (console, _) in self.each_copy():
            with self.subTest(name):
                launcher = self.box.install("tool/run.exe", "#!python.exe\n", console)
                add_version(USER, "3.12", "C:\\nowhere")
                wine("reg", "add", USER_CORE + "\\3.12\\InstallPath", "/v", "ExecutablePath", "/d",
                     user, "/f")
                self.assertEqual(self.started(launcher)[0], user)
                clear_registry()
                add_version(64, "2.7", machine[:-len("\\python.exe")])
                self.assertEqual(self.started(launcher)[0], machine)
                self.assertEqual(self.started(launcher, WINEPATH=on_path[:-len("\\python.exe")])[0],
                                 on_path)

    def test_lines_that_are_not_utf8(self):
        python = winpath(self.box.copy_stub("Pythön/python.exe"))
        for name, (console, _) in self.each_copy():
            with self.subTest(name):
                line = f"#!{python} -u\n".encode("cp1252")
                launcher = self.box.install("tool/run.exe", line, console)
                if name == "as built":
                    self.assertEqual(self.started(launcher)[:2], [python, "-u"])
                else:  # where the legacy code page is UTF-8, the line is not in it
                    outcome = self.box.run(winpath(launcher))
                    self.assertEqual((outcome.status, outcome.err),
                                     (2, cound_not_exec(python.replace("ö", "\ufffd"))))
                # A line that names nothing: status 2 and a message that reads as UTF-8.
                self.box.install("tool/run.exe", b"#!\x81\xff \n", console)
                outcome = self.box.run(winpath(launcher))
                self.assertEqual(outcome.status, 2)
                self.assertTrue(outcome.err.startswith(b"Cound not exec "), outcome.err)
                outcome.err.decode()

    def test_messages_read_right_on_a_console_and_in_a_box(self):
        folder = "Виктор中文"
        trace_message_boxes(self)
        for name, (console, windowless) in self.each_copy():
            with self.subTest(name):
                launcher = self.box.install(f"{folder}/tool.exe", None, console)
                script = winpath(self.box.path(folder, "tool-script.py"))
                expected = f"Cannot open {script}\n"
                # Redirected: UTF-8 bytes, as the runtime's text mode writes them.
                outcome = self.box.run(winpath(launcher))
                self.assertEqual(outcome.err, expected.replace("\n", "\r\n").encode())
                status, shown = on_a_terminal([WINE, winpath(launcher)])
                self.assertEqual(status, 2)
                self.assertIn(expected.replace(" ", "").strip(), shown.replace(" ", ""))
                gui = self.box.install(f"{folder}/paint.exe", None, windowless, "-script.pyw")
                text = f"Cannot open {winpath(self.box.path(folder, 'paint-script.pyw'))}\n"
                self.assertEqual(message_boxes(self.box, gui),
                                 (2, [(text.encode(), b"paint.exe", 0x10)]))

    def test_ansi_code_page_without_the_setting_is_western(self):
        # The locale really is a legacy one for a program that asks for none.
        result = wine(STUB, env={"STUB_OUT": winpath(self.out)})
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.box.recorded()[2], b"acp=1252")


class Packaging(WineCase):
    """Launchers made by the Python package from the release's wheel."""

    def setUp(self):
        super().setUp()
        wheel = os.environ.get("LAUNCHER_WHEEL", "")
        if not wheel:
            self.skipTest("LAUNCHER_WHEEL is not set (tools/test sets it)")
        if wheel not in sys.path:
            sys.path.insert(0, wheel)  # the wheel imports as a zip
        # The interpreter's folder has a blank: its path is written quoted.
        self.python = winpath(self.box.copy_stub("Py 3/python.exe"))
        self.box.copy_stub("Py 3/pythonw.exe")

    def make_and_run(self, gui):
        from launcher_maker import make_launcher
        written = make_launcher("tool", self.box.path("tool"), entry_point="tool.cli:main",
                                gui=gui, interpreter=self.python, arch="x64")
        launcher, script = written[1].path, written[0].path
        outcome = self.box.run(winpath(launcher) + ' "a b" "q\\"uote" trail\\',
                               env=self.stub_env(STUB_STATUS=4))
        self.assertEqual(outcome.status, 4, outcome.err)
        return self.box.recorded()[1], winpath(script).encode()

    def test_entry_point_gets_the_arguments_unchanged(self):
        argv, script = self.make_and_run(gui=False)
        self.assertEqual(argv, [self.python.encode(), script, b"a b", b'q"uote', b"trail\\"])

    def test_windowless_runs_pythonw(self):
        argv, script = self.make_and_run(gui=True)
        self.assertEqual(argv[0], self.python.replace("python.exe", "pythonw.exe").encode())
        self.assertEqual(argv[1:], [script, b"a b", b'q"uote', b"trail\\"])

    def test_environment_made_here_runs_where_it_is_moved(self):
        pip = glob.glob("/usr/share/python-wheels/pip-*.whl")
        if not pip:
            self.skipTest("Debian's pip wheel is not installed (python3-pip-whl)")
        made = self.box.path("made")
        subprocess.run(["/usr/bin/python3", "-m", "launcher_maker", "install", pip[0], "--prefix",
                        made, "--relative", "--arch", "x64"], check=True, stdout=subprocess.DEVNULL,
                       env=dict(os.environ, PYTHONPATH=os.environ["LAUNCHER_WHEEL"]))
        moved = self.box.path("moved env")
        os.rename(made, moved)
        python = winpath(self.box.copy_stub("moved env/python.exe"))
        outcome = self.box.run(winpath(os.path.join(moved, "Scripts", "pip.exe")) + ' "a b"',
                               env=self.stub_env(STUB_STATUS=4))
        self.assertEqual(outcome.status, 4, outcome.err)
        script = winpath(os.path.join(moved, "Scripts", "pip-script.py"))
        self.assertEqual(self.box.recorded()[1], [python.encode(), script.encode(), b"a b"])


class Signed(WineCase):
    """Signed once with a throwaway certificate, the programs verify and
    still run; the script beside a signed launcher is not part of the
    signature and can change freely."""

    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.mkdtemp(prefix="signing-")
        cls.cert, key = throwaway_certificate(cls.keys)
        cls.signed = {}
        for arch in ("x86", "x64", "arm64"):
            for name in ("launcher.exe", "launcherw.exe"):
                unsigned = os.path.join(os.path.dirname(LAUNCHER), "..", f"windows-{arch}", name)
                signed = os.path.join(cls.keys, f"{arch}-{name}")
                subprocess.run(["osslsigncode", "sign", "-certs", cls.cert, "-key", key,
                                "-n", "launcher", "-in", unsigned, "-out", signed],
                               check=True, capture_output=True)
                cls.signed[arch, name] = signed

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    def assert_verifies(self, exe):
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", exe],
                                capture_output=True, text=True, check=False)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Signature verification: ok", result.stdout)

    def test_all_six_verify(self):
        for (arch, name), signed in self.signed.items():
            with self.subTest(arch=arch, program=name):
                self.assert_verifies(signed)

    def test_signed_console_runs_a_script_changed_after_signing(self):
        launcher = self.box.install("tool/run.exe", f"#!{winpath(STUB)} -u\n",
                                    self.signed["x64", "launcher.exe"])
        tail = ' a "b c" "q\\"uote"'
        outcome = self.box.run(winpath(launcher) + tail, env=self.stub_env(STUB_STATUS=3))
        self.assertEqual(outcome.status, 3, outcome.err)
        script = winpath(self.box.path("tool/run-script.py")).encode()
        self.assertEqual(self.box.recorded()[1],
                         [winpath(STUB).encode(), b"-u", script, b"a", b"b c", b'q"uote'])
        with open(self.box.path("tool/run-script.py"), "w") as f:
            f.write(f"#!{winpath(STUB)} -E -s\nprint('another script')\n")
        outcome = self.box.run(winpath(launcher) + tail, env=self.stub_env(STUB_STATUS=4))
        self.assertEqual(outcome.status, 4, outcome.err)
        self.assertEqual(self.box.recorded()[1][:4], [winpath(STUB).encode(), b"-E", b"-s", script])
        self.assert_verifies(launcher)

    def test_single_file_signed_twice_after_it_was_written_runs(self):
        launcher = self.box.install_single("tool/run.exe", f"#!{winpath(STUB)}\n".encode())
        sign_in_place(launcher, nest=True)
        outcome = self.box.run(f'{winpath(launcher)} "a b"', env=self.stub_env(STUB_STATUS=3))
        self.assertEqual(outcome.status, 3, outcome.err)
        self.assertEqual(self.box.recorded()[1],
                         [winpath(STUB).encode(), winpath(launcher).encode(), b"a b"])

    def test_signed_windowless_runs(self):
        found = self.box.copy_stub("bin/pythonw.exe")
        launcher = self.box.install("tool/paint.exe", "#!pythonw.exe\n",
                                    self.signed["x64", "launcherw.exe"], "-script.pyw")
        env = self.stub_env(WINEPATH=winpath(self.box.path("bin")), STUB_STATUS=5)
        outcome = self.box.run(winpath(launcher) + ' "a b" "c\\"d"', env=env)
        self.assertEqual(outcome.status, 5, outcome.err)
        self.assertEqual(self.box.recorded()[1], [
            winpath(found).encode(), winpath(self.box.path("tool/paint-script.pyw")).encode(),
            b"a b", b'c"d'])


class Build(unittest.TestCase):
    """The PE files of every architecture: format, subsystem, imports,
    manifest, hardening, size (read with llvm-readobj, which knows all three)."""
    CONSOLE = ("launcher.exe", "CUI", ["ADVAPI32.dll", "KERNEL32.dll", "msvcrt.dll"])
    WINDOWLESS = ("launcherw.exe", "GUI", ["ADVAPI32.dll", "KERNEL32.dll", "USER32.dll",
                                           "msvcrt.dll"])
    # The console programs' size bars, in bytes.
    BARS = {"x86": 12288, "x64": 13312, "arm64": 13312}

    def check(self, arch, machine):
        build = os.path.join(os.path.dirname(LAUNCHER), "..", f"windows-{arch}")
        for name, subsystem, imports in (self.CONSOLE, self.WINDOWLESS):
            with self.subTest(arch=arch, program=name):
                exe = os.path.join(build, name)
                self.assertTrue(os.path.exists(exe), f"build the windows-{arch} preset first")
                self.check_program(exe, arch, machine, subsystem, imports)
        # The windowless twin costs at most a KiB more than the console one.
        sizes = [os.path.getsize(os.path.join(build, name))
                 for name in ("launcher.exe", "launcherw.exe")]
        self.assertLessEqual(sizes[0], self.BARS[arch])
        self.assertLessEqual(sizes[1], sizes[0] + 1024)

    def check_program(self, exe, arch, machine, subsystem, imports):
        dump = subprocess.run(["llvm-readobj", "--file-headers", "--coff-imports", exe],
                              capture_output=True, text=True, check=True).stdout
        self.assertIn(f"Machine: IMAGE_FILE_MACHINE_{machine} ", dump)
        self.assertIn(f"Subsystem: IMAGE_SUBSYSTEM_WINDOWS_{subsystem} ", dump)
        self.assertEqual(sorted(re.findall(r"^  Name: (\S+\.dll)$", dump, re.M)), imports)
        # Nothing narrow reaches the system: no call that takes or gives
        # text in the legacy code page, so the manifest asks for none.
        narrow = [name for name in re.findall(r"^  Symbol: (\w+)", dump, re.M)
                  if re.search(r"[a-z]A$", name) or name in ("__getmainargs", "_open")]
        self.assertEqual(narrow, [])
        with open(exe, "rb") as f:
            program = f.read()
        self.assertNotIn(b"activeCodePage", program)
        self.assertIn(b'level="asInvoker"', program)
        # A plain program is never taken for one with an archive appended:
        # the end record's signature is nowhere in it, not even in the code
        # that looks for one.
        self.assertNotIn(b"PK\x05\x06", program)
        # ASLR and DEP: the flags, relocations never stripped, and a
        # relocation table where code has absolute addresses (x86). x64 and
        # ARM64 code addresses relative to itself and may need none.
        flags = set(re.findall(r"IMAGE_DLL_CHARACTERISTICS_(\w+)", dump))
        wanted = {"DYNAMIC_BASE", "NX_COMPAT"} | ({"HIGH_ENTROPY_VA"} if arch != "x86" else set())
        self.assertLessEqual(wanted, flags)
        self.assertNotIn("IMAGE_FILE_RELOCS_STRIPPED", dump)
        if arch == "x86":
            self.assertNotRegex(dump, r"BaseRelocationTableSize: 0x0\n", "no relocation table")
        # Writable data was merged into the read-only code to save a
        # section: none of ours may exist (the link's map lists each of our
        # globals in a piece of its own, named after it).
        with open(os.path.splitext(exe)[0] + ".map") as f:
            writable = re.findall(r"^ [0-9a-f]{4}:[0-9a-f]{8} ([0-9a-f]{8})H (\.(?:data|bss)\$\S+)",
                                  f.read(), re.M)
        self.assertEqual([name for size, name in writable if int(size, 16)], [])

    def test_x86(self):
        self.check("x86", "I386")

    def test_x64(self):
        self.check("x64", "AMD64")

    def test_arm64(self):
        self.check("arm64", "ARM64")


def prepare():
    """Creates the private prefix and keeps a wine server running for the suite."""
    prefix = os.environ["WINEPREFIX"]
    if not os.path.isdir(os.path.join(prefix, "drive_c")):
        subprocess.run([WINE, "wineboot", "-i"], env=wine_env(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    subprocess.Popen(["/usr/lib/wine/wineserver", "-p"], env=wine_env(),
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop():
    subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=wine_env(), check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    if sys.argv[1:] == ["--prepare"]:
        prepare()
    elif sys.argv[1:] == ["--stop"]:
        stop()
    else:
        unittest.main()
