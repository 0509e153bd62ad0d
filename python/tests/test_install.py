"""Wheels installed into a Windows layout: pip's own wheel by the command
line, a wheel of scripts through pypa/installer's API, and the wheels that
are refused with the prefix left as it was."""

import base64
import csv
import glob
import hashlib
import os
import shutil
import subprocess

import installer
import pytest
from conftest import PACKAGE_PATH, first_line_tokens, make_wheel, need
from installer.sources import WheelFile

from launcher_maker.cli import main
from launcher_maker.destination import LauncherDestination, install_wheels, windows_scheme
from launcher_maker.programs import program_bytes

PIP_WHEEL = (glob.glob("/usr/share/python-wheels/pip-*.whl") or [""])[0]


def on_disk(prefix):
    return {os.path.join(root, name) for root, _, names in os.walk(prefix) for name in names}


def snapshot(prefix):
    """Every folder and file under ``prefix``, with the files' bytes (a
    link's target for a link)."""
    folders = {root: None for root, _, _ in os.walk(prefix)}
    return {**folders, **{p: os.readlink(p) if os.path.islink(p) else open(p, "rb").read()
                          for p in on_disk(prefix)}}


def check_record(prefix, dist_info):
    """Every file on disk has exactly one RECORD row, which names its hash
    and size."""
    site = os.path.join(prefix, "Lib", "site-packages")
    with open(os.path.join(site, dist_info, "RECORD"), newline="") as f:
        rows = list(csv.reader(f))
    listed = []
    for path, digest, size in rows:
        full = os.path.normpath(os.path.join(site, path))
        listed.append(full)
        if path != f"{dist_info}/RECORD":
            data = open(full, "rb").read()
            expected = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
            assert (digest, int(size)) == ("sha256=" + expected.decode(), len(data)), path
    assert sorted(listed) == sorted(on_disk(prefix))


def python_stand_in(path, site):
    """The prefix's interpreter, played by Debian's Python on its site-packages."""
    with open(path, "w") as f:
        f.write(f'#!/bin/sh\nPYTHONPATH="{site}" exec /usr/bin/python3 "$@"\n')
    os.chmod(path, 0o755)


def test_pip_wheel_by_the_command_line(tmp_path):
    if not PIP_WHEEL:
        pytest.skip("Debian's pip wheel is not installed (python3-pip-whl)")
    prefix = str(tmp_path / "env")
    assert main(["install", PIP_WHEEL, "--prefix", prefix, "--relative", "--arch", "x64"]) == 0
    site = os.path.join(prefix, "Lib", "site-packages")
    (dist_info,) = [n for n in os.listdir(site) if n.endswith(".dist-info")]
    check_record(prefix, dist_info)
    scripts = os.path.join(prefix, "Scripts")
    assert open(os.path.join(scripts, "pip.exe"), "rb").read() == program_bytes("x64", False)
    assert first_line_tokens(os.path.join(scripts, "pip-script.py")) == [
        "<launcher_dir>\\..\\python.exe"]

    # On Linux "\" is no separator, so the native launcher reads that line
    # as a bare name: the machine's Python, python3 along PATH. The prefix's
    # interpreter is first there.
    python_stand_in(os.path.join(prefix, "python3"), site)
    shutil.copy(need("LAUNCHER"), os.path.join(scripts, "pip.exe"))
    env = {"PATH": f"{prefix}:/usr/bin:/bin"}
    ran = subprocess.run([os.path.join(scripts, "pip.exe"), "--version"], env=env,
                         stdout=subprocess.PIPE, text=True, check=True)
    assert ran.stdout.startswith(f"pip {dist_info[4:-10]} from {site}/pip ")


def test_pip_wheel_as_single_files(tmp_path):
    """One file a script, one RECORD row each; Python runs it as it stands,
    and the native launcher in its place runs it as itself."""
    if not PIP_WHEEL:
        pytest.skip("Debian's pip wheel is not installed (python3-pip-whl)")
    prefix = str(tmp_path / "env")
    command = ["install", PIP_WHEEL, "--prefix", prefix, "--relative", "--arch", "x64",
               "--single-file"]
    assert main([*command, "--dry-run"]) == 0
    assert not os.path.exists(prefix)
    assert main(command) == 0
    site = os.path.join(prefix, "Lib", "site-packages")
    (dist_info,) = [n for n in os.listdir(site) if n.endswith(".dist-info")]
    check_record(prefix, dist_info)
    scripts = os.path.join(prefix, "Scripts")
    assert sorted(os.listdir(scripts)) == ["pip.exe", "pip3.11.exe", "pip3.exe"]
    python = os.path.join(prefix, "python3")
    python_stand_in(python, site)
    expected = f"pip {dist_info[4:-10]} from {site}/pip "
    ran = subprocess.run([python, os.path.join(scripts, "pip.exe"), "--version"],
                         stdout=subprocess.PIPE, text=True, check=True)
    assert ran.stdout.startswith(expected)
    # "\" is no separator here: the line's interpreter is the machine's
    # Python, python3 along PATH, the prefix's own.
    pip = os.path.join(scripts, "pip.exe")
    data = open(pip, "rb").read()
    program = program_bytes("x64", False)
    assert data.startswith(program)
    with open(pip, "wb") as f:
        f.write(open(need("LAUNCHER"), "rb").read() + data[len(program):])
    ran = subprocess.run([pip, "--version"], env={"PATH": f"{prefix}:/usr/bin:/bin"},
                         stdout=subprocess.PIPE, text=True, check=True)
    assert ran.stdout.startswith(expected)


@pytest.mark.parametrize("single_file", [False, True], ids=["companion", "single file"])
def test_windowless_scripts_and_headers(tmp_path, single_file):
    """A .pyw script, in any case, gets the windowless program (one file, one
    RECORD row, as a single file), a .py after a byte-order mark the console
    one; headers land in Include\\<distribution>."""
    prefix = str(tmp_path / "env")
    wheel = make_wheel(str(tmp_path), "paint", "1.0", {
        "paint-1.0.data/scripts/PAINT.PYW": "#!python\nimport tkinter\n",
        "paint-1.0.data/scripts/tool.py": "\ufeff#!python\nprint()\n",
        "paint-1.0.data/headers/paint.h": "int paint(void);\n",
    })
    install_wheels([wheel], prefix, arch="x64", single_file=single_file)
    check_record(prefix, "paint-1.0.dist-info")
    scripts = os.path.join(prefix, "Scripts")
    program = open(os.path.join(scripts, "PAINT.exe"), "rb").read()
    if single_file:
        assert sorted(os.listdir(scripts)) == ["PAINT.exe", "tool.exe"]
        assert program.startswith(program_bytes("x64", True) + b"#!pythonw.exe\n")
    else:
        assert sorted(os.listdir(scripts)) == ["PAINT-script.pyw", "PAINT.exe", "tool-script.py",
                                               "tool.exe"]
        assert program == program_bytes("x64", True)
    assert os.path.isfile(os.path.join(prefix, "Include", "paint", "paint.h"))


def test_write_that_fails_mid_install_leaves_nothing(tmp_path, monkeypatch, capsys):
    prefix = tmp_path / "env"
    prefix.mkdir()  # the folders made are removed, the innermost first
    before = snapshot(str(prefix))
    wheel = make_wheel(str(tmp_path), "full", "1.0", {"a.py": "a\n", "b.py": "b\n", "c.py": "c\n"},
                       entry_points="[console_scripts]\nfull = a:f\n")
    real = installer.destinations.SchemeDictionaryDestination.write_to_fs
    written = []

    def disk_fills(self, scheme, path, stream, is_executable):
        if len(written) == 3:
            raise OSError(28, "No space left on device")
        written.append(path)
        return real(self, scheme, path, stream, is_executable)

    monkeypatch.setattr(installer.destinations.SchemeDictionaryDestination, "write_to_fs",
                        disk_fills)
    assert main(["install", wheel, "--prefix", str(prefix), "--arch", "x64"]) == 2
    assert "No space left" in capsys.readouterr().err
    assert len(written) == 3 and snapshot(str(prefix)) == before


def test_entry_point_and_scripts_through_installers_api(tmp_path):
    prefix = str(tmp_path / "env")
    python = str(tmp_path / "python3")
    python_stand_in(python, os.path.join(prefix, "Lib", "site-packages"))
    wheel = make_wheel(str(tmp_path), "show", "1.0", {
        "show.py": "import sys\ndef main():\n    print(sys.argv[0])\n    return 3\n",
        "show-1.0.data/scripts/hello.py": "#!python\nimport sys\nprint('hello', sys.argv[1:])\n",
        "show-1.0.data/scripts/run.sh*": "#!/bin/sh\necho run\n",
    }, entry_points="[console_scripts]\nshow = show:main\n")
    with WheelFile.open(wheel) as source:
        installer.install(source, LauncherDestination(windows_scheme(prefix, "show"),
                                                      interpreter=python, arch="x64"), {})
    check_record(prefix, "show-1.0.dist-info")
    scripts = os.path.join(prefix, "Scripts")
    assert sorted(os.listdir(scripts)) == ["hello-script.py", "hello.exe", "run.sh",
                                           "show-script.py", "show.exe"]
    assert os.access(os.path.join(scripts, "run.sh"), os.X_OK)
    assert open(os.path.join(scripts, "run.sh")).read() == "#!/bin/sh\necho run\n"

    launcher = need("LAUNCHER")
    for name in ("show", "hello"):
        shutil.copy(launcher, os.path.join(scripts, name + ".exe"))
    show = subprocess.run([os.path.join(scripts, "show.exe")], stdout=subprocess.PIPE, text=True)
    # sys.argv[0] names the launcher without its extension, as on Windows.
    assert (show.returncode, show.stdout) == (3, os.path.join(scripts, "show") + "\n")
    hello = subprocess.run([os.path.join(scripts, "hello.exe"), "a b"], stdout=subprocess.PIPE,
                           text=True, check=True)
    assert hello.stdout == "hello ['a b']\n"
    # Imported under another name (a multiprocessing child), it runs nothing.
    child = subprocess.run([python, "-c", "import runpy, sys; runpy.run_path(sys.argv[1], "
                            "run_name='__mp_main__')", os.path.join(scripts, "show-script.py")],
                           stdout=subprocess.PIPE, text=True)
    assert (child.returncode, child.stdout) == (0, "")


GOOD = {"good.py": "x = 1\n"}


@pytest.mark.parametrize("files, entry_points, message", [
    ({"../evil.py": ""}, "", "climbs out of its folder"),
    ({"pkg/../../evil.py": ""}, "", "climbs out of its folder"),
    ({"/etc/evil.py": ""}, "", "is absolute"),
    ({"C:evil.py": ""}, "", "names a drive"),
    ({"pkg\\..\\..\\evil.py": ""}, "", "holds a backslash"),
    # A link inside the folder to a sibling whose name begins with the
    # folder's: a character-wise prefix test would let it pass.
    ({"link/evil.py": ""}, "", "would land outside"),
    ({"kept.py": ""}, "", "is already there"),
    ({"dangling.py": ""}, "", "is already there"),
    ({"pkg/Twice.py": "", "pkg/twice.py": ""}, "", "would be written twice"),
    ({}, "[console_scripts]\nCON = good:f\n", "reserved device name"),
    ({"bad-1.0.data/scripts/tool.py": b"#!python\n\xff\n"}, "", "not UTF-8"),
    (None, "", "cannot be read"),
])
def test_refused_wheel_leaves_the_prefix_as_it_was(tmp_path, capsys, files, entry_points,
                                                   message):
    prefix = tmp_path / "env"
    site = prefix / "Lib" / "site-packages"
    (prefix / "Lib" / "site-packages-evil").mkdir(parents=True)
    site.mkdir()
    (site / "link").symlink_to("../site-packages-evil")
    (site / "kept.py").write_text("kept\n")
    (site / "dangling.py").symlink_to("nowhere.py")
    before = snapshot(str(prefix))
    first = make_wheel(str(tmp_path), "good", "1.0", GOOD)
    if files is None:
        bad = str(tmp_path / "bad-1.0-py3-none-any.whl")
        open(bad, "wb").write(b"not a zip")
    else:
        bad = make_wheel(str(tmp_path), "bad", "1.0", files, entry_points)
    status = main(["install", first, bad, "--prefix", str(prefix), "--arch", "x64"])
    err = capsys.readouterr().err
    assert status == 2 and err.count("\n") == 1 and message in err, err
    assert snapshot(str(prefix)) == before  # the first wheel's files and folders are gone too


def test_without_pypa_installer_install_says_so_and_make_still_works(tmp_path):
    # -S: without site, Debian's dist-packages (pypa/installer) are out of reach.
    run = ["/usr/bin/python3", "-S", "-c", f"import sys; sys.path.insert(0, {PACKAGE_PATH!r}); "
           "from launcher_maker.cli import main; sys.exit(main(sys.argv[1:]))"]
    out = subprocess.run([*run, "install", "x.whl", "--prefix", str(tmp_path)],
                         stderr=subprocess.PIPE, text=True)
    assert out.returncode == 2 and out.stderr.count("\n") == 1
    assert "install needs pypa/installer" in out.stderr
    made = subprocess.run([*run, "make", "t=m:f", "--dest", str(tmp_path), "--arch", "x64"])
    assert made.returncode == 0 and sorted(os.listdir(tmp_path)) == ["t-script.py", "t.exe"]
