"""The release's wheel installs offline with pip and with pypa/installer,
and the installed package finds the release's six programs."""

import hashlib
import os
import subprocess

import pytest
from conftest import PROGRAMS, WHEEL

CHECK = ("import hashlib; from launcher_maker.programs import program_bytes as p; "
         "[print(hashlib.sha256(p(a, g)).hexdigest(), f'launcher{\"w\" if g else \"\"}-{a}.exe') "
         "for a in ('x86', 'x64', 'arm64') for g in (False, True)]")


@pytest.mark.parametrize("installer", ["pip", "installer"])
def test_installs_offline_and_carries_the_release(tmp_path, installer):
    if not WHEEL:
        pytest.skip("LAUNCHER_WHEEL is not set: no wheel in this build")
    venv = tmp_path / "env"
    # Debian's pypa/installer is a system package: the environment sees it.
    shared = ["--system-site-packages"] if installer == "installer" else []
    subprocess.run(["/usr/bin/python3", "-m", "venv", *shared, str(venv)], check=True)
    python = str(venv / "bin" / "python")
    command = {"pip": ["-m", "pip", "install", "--no-index", "--no-deps", "-q", WHEEL],
               "installer": ["-m", "installer", WHEEL]}[installer]
    subprocess.run([python, *command], check=True, cwd=tmp_path)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    run = dict(env=env, cwd=tmp_path, stdout=subprocess.PIPE, text=True, check=True)
    assert "entry-points" in subprocess.run([python, "-m", "launcher_maker", "--help"], **run).stdout
    found = subprocess.run([python, "-c", CHECK], **run).stdout
    with open(os.path.join(os.path.dirname(WHEEL), "SHA256SUMS")) as f:
        released = [line for line in f.read().splitlines() if line.split()[-1] in PROGRAMS]
    assert sorted(found.replace("  ", " ").splitlines()) == sorted(
        " ".join(line.split()) for line in released)
    assert len(released) == 6
