"""A real client: pip's own launchers, made by the package for a fresh
virtual environment, run pip from that environment."""

import os
import shutil
import subprocess

from conftest import PACKAGE_PATH, need


def test_pip_runs_through_the_launchers_made_for_it(tmp_path):
    launcher = need("LAUNCHER")
    venv = tmp_path / "env"
    subprocess.run(["/usr/bin/python3", "-m", "venv", str(venv)], check=True)
    python, scripts = str(venv / "bin" / "python"), str(venv / "bin")
    made = subprocess.run(
        [python, "-m", "launcher_maker", "entry-points", "pip", "--interpreter", python,
         "--dest", scripts, "--arch", "x64"],
        env=dict(os.environ, PYTHONPATH=PACKAGE_PATH), cwd=tmp_path, stdout=subprocess.PIPE, text=True,
        check=True).stdout
    programs = [line.split(" ", 1)[1].split(",")[0] for line in made.splitlines()
                if line.split(",")[0].endswith(".exe")]
    assert sorted(os.path.basename(p) for p in programs) == ["pip.exe", "pip3.11.exe", "pip3.exe"]
    expected = subprocess.run([python, "-m", "pip", "--version"], stdout=subprocess.PIPE,
                              check=True).stdout
    assert str(venv) in expected.decode()
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    for program in programs:
        shutil.copy(launcher, program)  # the native launcher finds NAME-script.py as on Windows
        ran = subprocess.run([program, "--version"], stdout=subprocess.PIPE, env=env, check=True)
        assert ran.stdout == expected
